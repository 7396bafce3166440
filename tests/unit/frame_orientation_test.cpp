// Frames of turned displays read in the desktop's orientation: where the shader rows send the corners
// and an inner point of the desktop for each rotation, and the cursor's homography left alone.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "render/warp_geometry.h"

namespace kelvane {
namespace {

// The texture coordinate the rows send the desktop's (u, v) to, with no warp of its own.
std::pair<double, double> frame_coordinate(std::uint32_t rotation, double u, double v) {
    const WarpCB rows = compute_warp(WarpParams{false, false, 0.0f, 0.0f, 0.0f}, 320, 200, rotation).warp_cb;
    const double x = 2.0 * u - 1.0;
    const double y = 2.0 * v - 1.0;
    const double sx = rows.row0[0] * x + rows.row0[1] * y + rows.row0[2];
    const double sy = rows.row1[0] * x + rows.row1[1] * y + rows.row1[2];
    const double w = rows.row2[0] * x + rows.row2[1] * y + rows.row2[2];
    return {(sx / w + 1.0) / 2.0, (sy / w + 1.0) / 2.0};
}

TEST(FrameOrientation, EachRotationReadsTheDesktopWhereThePanelHoldsIt) {
    // Identity (u, v); a quarter turn (v, 1-u); half a turn (1-u, 1-v); three quarters (1-v, u).
    const auto expected = [](std::uint32_t rotation, double u, double v) -> std::pair<double, double> {
        switch (rotation) {
            case 2:
                return {v, 1.0 - u};
            case 3:
                return {1.0 - u, 1.0 - v};
            case 4:
                return {1.0 - v, u};
            default:
                return {u, v};
        }
    };
    const std::pair<double, double> points[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0.25, 0.625}};
    for (const std::uint32_t rotation : {0u, 1u, 2u, 3u, 4u, 7u}) {
        for (const auto& [u, v] : points) {
            SCOPED_TRACE(testing::Message() << "rotation " << rotation << " at (" << u << ", " << v << ")");
            const auto [fu, fv] = frame_coordinate(rotation, u, v);
            const auto [eu, ev] = expected(rotation, u, v);
            EXPECT_NEAR(fu, eu, 1e-6);
            EXPECT_NEAR(fv, ev, 1e-6);
        }
    }
}

TEST(FrameOrientation, TheWarpStaysInTheDesktopsOrientation) {
    const WarpParams warp{true, false, 0.3f, -0.2f, 17.0f};
    const WarpState upright = compute_warp(warp, 320, 200);
    for (const std::uint32_t rotation : {2u, 3u, 4u}) {
        const WarpState turned = compute_warp(warp, 320, 200, rotation);
        // The cursor is placed through the forward homography, which no rotation changes.
        EXPECT_EQ(std::memcmp(&turned.forward_h, &upright.forward_h, sizeof upright.forward_h), 0);
        EXPECT_NE(std::memcmp(&turned.warp_cb, &upright.warp_cb, sizeof upright.warp_cb), 0);
    }
}

}  // namespace
}  // namespace kelvane
