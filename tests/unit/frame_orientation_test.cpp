// Frames of turned displays read in the desktop's orientation: where the shader rows send the corners
// and an inner point of the desktop for each rotation, and the cursor's homography left alone.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "render/warp_geometry.h"

namespace kelvane {
namespace {

// The texture coordinate the rows of `warp` send the output's (u, v) to.
std::pair<double, double> frame_coordinate(std::uint32_t rotation, double u, double v,
                                           const WarpParams& warp = WarpParams{false, false, 0.0f, 0.0f, 0.0f}) {
    const WarpCB rows = compute_warp(warp, 320, 200, rotation).warp_cb;
    const double x = 2.0 * u - 1.0;
    const double y = 2.0 * v - 1.0;
    const double sx = rows.row0[0] * x + rows.row0[1] * y + rows.row0[2];
    const double sy = rows.row1[0] * x + rows.row1[1] * y + rows.row1[2];
    const double w = rows.row2[0] * x + rows.row2[1] * y + rows.row2[2];
    return {(sx / w + 1.0) / 2.0, (sy / w + 1.0) / 2.0};
}

// Where the panel holds the desktop's (u, v): identity (u, v); a quarter turn (v, 1-u); half a turn
// (1-u, 1-v); three quarters (1-v, u).
std::pair<double, double> expected(std::uint32_t rotation, double u, double v) {
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
}

TEST(FrameOrientation, EachRotationReadsTheDesktopWhereThePanelHoldsIt) {
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

TEST(FrameOrientation, TheWarpPicksTheDesktopPointAndTheTurnFindsItOnThePanel) {
    // Keystones, a rotation and a mirror: the warp first chooses which desktop point an output point
    // shows, in the desktop's orientation; only then is that point looked up on the turned panel.
    const WarpParams warp{true, false, 0.3f, -0.2f, 17.0f};
    const std::pair<double, double> points[] = {{0.1, 0.2}, {0.9, 0.15}, {0.3, 0.85}, {0.5, 0.5}};
    for (const std::uint32_t rotation : {2u, 3u, 4u}) {
        for (const auto& [u, v] : points) {
            SCOPED_TRACE(testing::Message() << "rotation " << rotation << " at (" << u << ", " << v << ")");
            const auto [du, dv] = frame_coordinate(1, u, v, warp);
            const auto [fu, fv] = frame_coordinate(rotation, u, v, warp);
            const auto [eu, ev] = expected(rotation, du, dv);
            EXPECT_NEAR(fu, eu, 1e-5);
            EXPECT_NEAR(fv, ev, 1e-5);
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
