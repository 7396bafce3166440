// A source laid onto the output: where contain and stretch put the picture (odd sizes, regions at each
// edge), a source point carried to the screen by the forward maps and back onto itself through the
// shader's composite rows and bounds (every rotation), the identity fit bit for bit, and the colour
// scale of an HDR source on an SDR output.
#include "render/source_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "render/colour_space.h"
#include "render/footprint.h"
#include "render/warp_geometry.h"
#include "support/cpu_reference.h"

namespace kelvane {
namespace {

Point2 apply(const Mat3& m, double x, double y) {
    const double w = m.m[2][0] * x + m.m[2][1] * y + m.m[2][2];
    return {(m.m[0][0] * x + m.m[0][1] * y + m.m[0][2]) / w, (m.m[1][0] * x + m.m[1][1] * y + m.m[1][2]) / w};
}

TEST(SourceFit, ContainKeepsTheAspectCentredAndStretchFillsTheOutput) {
    struct Case {
        SourceFit fit;
        int width, height;
        FittedPicture picture;
    };
    const Case cases[] = {
        {SourceFit{}, 1280, 1024, {0, 0, 1280, 1024}},
        {SourceFit{1920, 1080, {0, 0, 1920, 1080}, FitMode::contain}, 1280, 1024, {0, 152, 1280, 720}},
        {SourceFit{1080, 1920, {}, FitMode::contain}, 1280, 1024, {352, 0, 576, 1024}},
        {SourceFit{1920, 1080, {0, 0, 1920, 1080}, FitMode::stretch}, 1280, 1024, {0, 0, 1280, 1024}},
        {SourceFit{1920, 1080, {10, 20, 100, 100}, FitMode::contain}, 1280, 1024, {128, 0, 1024, 1024}},
        {SourceFit{333, 101, {}, FitMode::contain},
         1001,
         777,
         {0, (777 - 101.0 * 1001 / 333) / 2, 1001, 101.0 * 1001 / 333}},
        {SourceFit{97, 601, {1, 3, 95, 597}, FitMode::contain},
         1001,
         777,
         {(1001 - 95.0 * 777 / 597) / 2, 0, 95.0 * 777 / 597, 777}},
        // A region reaching past the monitor is cut to it first: 40 x 1080 of a 1920 x 1080 source.
        {SourceFit{1920, 1080, {1880, -5, 500, 2000}, FitMode::contain},
         1280,
         1024,
         {(1280 - 40 * 1024 / 1080.0) / 2, 0, 40 * 1024 / 1080.0, 1024}},
    };
    for (const Case& c : cases) {
        const FittedPicture p = fit_picture(c.fit, c.width, c.height);
        SCOPED_TRACE(testing::Message() << c.fit.source_width << "x" << c.fit.source_height << " region "
                                        << c.fit.region.width << "x" << c.fit.region.height);
        EXPECT_DOUBLE_EQ(p.left, c.picture.left);
        EXPECT_DOUBLE_EQ(p.top, c.picture.top);
        EXPECT_DOUBLE_EQ(p.width, c.picture.width);
        EXPECT_DOUBLE_EQ(p.height, c.picture.height);
    }
}

TEST(SourceFit, ARegionAtEachEdgeMapsOntoThePictureAndBoundsTheFrame) {
    const int width = 1280;
    const int height = 1024;
    const SourceRect regions[] = {{0, 300, 400, 200},   {1520, 300, 400, 200}, {700, 0, 333, 77},
                                  {700, 1003, 333, 77}, {0, 0, 1920, 1},       {1919, 0, 1, 1080}};
    for (const FitMode mode : {FitMode::contain, FitMode::stretch}) {
        for (const SourceRect& r : regions) {
            const SourceFit fit{1920, 1080, r, mode};
            SCOPED_TRACE(testing::Message()
                         << r.x << "," << r.y << " " << r.width << "x" << r.height << " " << static_cast<int>(mode));
            ASSERT_FALSE(is_identity_fit(fit, width, height));
            const FittedPicture p = fit_picture(fit, width, height);
            // The region's corners, as frame coordinates, land on the picture's corners.
            const Mat3 f = fit_matrix(fit, width, height);
            for (const auto& [cx, cy] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}}) {
                const Point2 q =
                    apply(f, 2.0 * (r.x + cx * r.width) / 1920 - 1.0, 2.0 * (r.y + cy * r.height) / 1080 - 1.0);
                EXPECT_NEAR(q.x, 2.0 * (p.left + cx * p.width) / width - 1.0, 1e-12);
                EXPECT_NEAR(q.y, 2.0 * (p.top + cy * p.height) / height - 1.0, 1e-12);
            }
            const Mat3 back = mat3_mul(fit_inverse(fit, width, height), f);
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j) {
                    EXPECT_NEAR(back.m[i][j], i == j ? 1.0 : 0.0, 1e-12);
                }
            }
            const std::array<float, 4> b = frame_bounds(fit, output_rotation_identity);
            EXPECT_FLOAT_EQ(b[0], r.x / 1920.0f);
            EXPECT_FLOAT_EQ(b[1], r.y / 1080.0f);
            EXPECT_FLOAT_EQ(b[2], (r.x + r.width) / 1920.0f);
            EXPECT_FLOAT_EQ(b[3], (r.y + r.height) / 1080.0f);
        }
    }
}

// A point of the shown region goes to the screen by the frame's map and by the cursor's (from source
// pixels), and the shader's rows read it back at that same place of the (turned) frame, inside the bounds.
TEST(SourceFit, SourcePointsGoToTheScreenAndTheRowsReadThemBack) {
    const int width = 1280;
    const int height = 1024;
    const SourceFit fits[] = {{1920, 1080, {0, 0, 1920, 1080}, FitMode::contain},
                              {1920, 1080, {1500, 800, 420, 280}, FitMode::stretch},
                              {1366, 768, {0, 0, 683, 768}, FitMode::contain},
                              {800, 600, {}, FitMode::contain}};
    const WarpParams warps[] = {
        {false, false, 0.0f, 0.0f, 0.0f}, {true, false, 0.4f, -0.3f, 12.0f}, {false, true, -0.7f, 0.2f, 0.0f}};
    for (std::uint32_t rotation = output_rotation_identity; rotation <= output_rotation_270; ++rotation) {
        const Mat3 orientation = frame_orientation(rotation);
        for (const SourceFit& fit : fits) {
            for (const WarpParams& warp : warps) {
                const WarpState state = compute_warp(warp, width, height, rotation, fit);
                const WarpCB& r = state.warp_cb;
                const SourceRect region = shown_region(fit);
                for (const auto& [a, b] : {std::pair{0.02, 0.03}, {0.5, 0.5}, {0.97, 0.1}, {0.3, 0.98}}) {
                    const double px = region.x + a * region.width;
                    const double py = region.y + b * region.height;
                    const Point2 n{2.0 * px / fit.source_width - 1.0, 2.0 * py / fit.source_height - 1.0};
                    const Point2 screen = apply(state.frame_forward, n.x, n.y);
                    const ClipPoint clip = map_forward(state.cursor_forward, static_cast<float>(px),
                                                       static_cast<float>(py), width, height);
                    EXPECT_NEAR(clip.x, screen.x, 1e-5);
                    EXPECT_NEAR(-clip.y, screen.y, 1e-5);
                    const float* rows[3] = {r.row0, r.row1, r.row2};
                    double h[3];
                    for (int i = 0; i < 3; ++i) {
                        h[i] = rows[i][0] * screen.x + rows[i][1] * screen.y + rows[i][2];
                    }
                    const double s = (h[0] / h[2] + 1.0) / 2.0;
                    const double t = (h[1] / h[2] + 1.0) / 2.0;
                    const Point2 turned = apply(orientation, n.x, n.y);
                    EXPECT_NEAR(s, (turned.x + 1.0) / 2.0, 2e-6) << "rotation " << rotation;
                    EXPECT_NEAR(t, (turned.y + 1.0) / 2.0, 2e-6) << "rotation " << rotation;
                    EXPECT_TRUE(s > r.bounds[0] && s < r.bounds[2] && t > r.bounds[1] && t < r.bounds[3]);
                }
            }
        }
    }
}

TEST(SourceFit, TheOutputsOwnDesktopShownWholeChangesNoBit) {
    const WarpParams warps[] = {WarpParams{}, {true, true, 0.3f, -0.4f, 20.0f}, {false, false, 0.85f, 0.0f, -135.0f}};
    for (const auto& [w, h] : {std::pair{1920, 1080}, {333, 777}}) {
        const SourceFit same[] = {{},
                                  {w, h, {0, 0, w, h}, FitMode::contain},
                                  {w, h, {0, 0, w, h}, FitMode::stretch},
                                  {w, h, {}, FitMode::contain},
                                  {0, h, {5, 5, 9, 9}, FitMode::stretch}};
        for (std::uint32_t rotation = 0; rotation <= output_rotation_270; ++rotation) {
            for (const WarpParams& warp : warps) {
                const WarpState today = compute_warp(warp, w, h, rotation);
                for (const SourceFit& fit : same) {
                    EXPECT_TRUE(is_identity_fit(fit, w, h));
                    const WarpState fitted = compute_warp(warp, w, h, rotation, fit);
                    EXPECT_EQ(std::memcmp(&fitted, &today, sizeof today), 0);
                    EXPECT_EQ(std::memcmp(&fitted.frame_forward, &today.forward_h, sizeof(Mat3)), 0);
                    EXPECT_EQ(std::memcmp(&fitted.cursor_forward, &today.forward_h, sizeof(Mat3)), 0);
                }
            }
        }
        // Another size of the same aspect is a fit: the cursor's pixels are scaled.
        EXPECT_FALSE(is_identity_fit(SourceFit{2 * w, 2 * h, {}, FitMode::contain}, w, h));
    }
}

TEST(SourceFit, ContainedShrinkingSamplesThePictureAndLeavesTheBandsAlone) {
    const SourceFit fit{1920, 1080, {}, FitMode::contain};
    for (const WarpParams& warp :
         {WarpParams{false, false, 0.0f, 0.0f, 0.0f}, WarpParams{true, false, 0.0f, 0.0f, 0.0f}}) {
        const FootprintTiles tiles =
            footprint_tiles(compute_warp(warp, 1280, 1024, 0, fit).warp_cb, 1920, 1080, 1280, 1024);
        ASSERT_EQ(tiles.rows, 32);
        // The picture takes rows 152 to 871: tile rows 0 to 3 and 28 to 31 lie wholly in the bands, rows
        // 4 and 27 cross the picture's edge. Inside it each pixel covers 1.5 texels: two samples per axis.
        for (int row = 0; row < tiles.rows; ++row) {
            const bool band = row < 4 || row > 27;
            for (int column = 0; column < tiles.columns; ++column) {
                EXPECT_EQ(tile_samples(tiles, column * footprint_tile_size, row * footprint_tile_size), band ? 1 : 2)
                    << "tile " << column << "," << row;
            }
        }
    }
}

TEST(SourceFit, AnHdrSourceOnAnSdrOutputIsDividedByItsOwnWhite) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const auto& [white, scale] : {std::pair{80.0f, 1.0f},
                                       {200.0f, 0.4f},
                                       {320.0f, 0.25f},
                                       {0.0f, 1.0f},
                                       {-5.0f, 1.0f},
                                       {nan, 1.0f},
                                       {inf, 1.0f}}) {
        const ColourCB sdr = colour_constants(true, OutputColour{false, 300.0f}, white);
        EXPECT_FLOAT_EQ(sdr.warp.encode, scale) << white;
        EXPECT_EQ(colour_variant(sdr.warp), ColourVariant::encode);
        // The source's white (scRGB white / 80 units) becomes full white; half of it, half in linear light.
        const float unit = std::isfinite(white) && white > 0.0f ? white / scrgb_unit_nits : 1.0f;
        EXPECT_FLOAT_EQ(test::convert_colour({unit, 2.0f * unit, 0.5f * unit, 1}, sdr.warp).r, 1.0f);
        EXPECT_FLOAT_EQ(test::convert_colour({unit, 2.0f * unit, 0.5f * unit, 1}, sdr.warp).g, 1.0f);
        EXPECT_NEAR(test::convert_colour({unit, 2.0f * unit, 0.5f * unit, 1}, sdr.warp).b, linear_to_srgb(0.5f), 1e-6f);
        // An SDR source on an HDR output is decoded at the output's white, whatever the source's.
        const ColourCB hdr = colour_constants(false, OutputColour{true, 300.0f}, white);
        EXPECT_FLOAT_EQ(hdr.warp.decode_scale, 300.0f / scrgb_unit_nits);
        EXPECT_EQ(hdr.warp.encode, 0.0f);
    }
}

}  // namespace
}  // namespace kelvane
