// A source laid onto the output: where contain and stretch put the picture (odd sizes, a region cut to
// the monitor), regions at each edge carried to the screen through the fit and the warp and read back
// by the shader's rows inside their bounds (every rotation), the identity fit bit for bit, the black
// bands left to the single sample, and the colour scale of an HDR source on an SDR output.
#include "render/source_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
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
        {{}, 1280, 1024, {0, 0, 1280, 1024}},
        {{1920, 1080, {0, 0, 1920, 1080}, FitMode::contain}, 1280, 1024, {0, 152, 1280, 720}},
        {{1080, 1920, {}, FitMode::contain}, 1280, 1024, {352, 0, 576, 1024}},
        {{1920, 1080, {0, 0, 1920, 1080}, FitMode::stretch}, 1280, 1024, {0, 0, 1280, 1024}},
        {{1920, 1080, {10, 20, 100, 100}, FitMode::contain}, 1280, 1024, {128, 0, 1024, 1024}},
        {{333, 101, {}, FitMode::contain}, 1001, 777, {0, 236.6966967, 1001, 303.6066066}},
        {{97, 601, {1, 3, 95, 597}, FitMode::contain}, 1001, 777, {438.6783920, 0, 123.6432161, 777}},
        // Cut to the monitor first: 40 x 1080.
        {{1920, 1080, {1880, -5, 500, 2000}, FitMode::contain}, 1280, 1024, {621.0370370, 0, 37.9259259, 1024}},
    };
    for (const Case& c : cases) {
        const FittedPicture p = fit_picture(c.fit, c.width, c.height);
        SCOPED_TRACE(testing::Message() << c.fit.source_width << "x" << c.fit.source_height);
        EXPECT_NEAR(p.left, c.picture.left, 1e-7);
        EXPECT_NEAR(p.top, c.picture.top, 1e-7);
        EXPECT_NEAR(p.width, c.picture.width, 1e-7);
        EXPECT_NEAR(p.height, c.picture.height, 1e-7);
    }
}

// Points of a region go to the screen where the warp puts the matching points of the fitted picture,
// by the frame's map and by the cursor's (from source pixels); the shader's rows read each back at its
// place in the (turned) frame, and the region's opposite corners read back as the bounds' corners.
TEST(SourceFit, RegionsAtEachEdgeGoToThePictureAndTheRowsReadThemBack) {
    const int width = 1280;
    const int height = 1024;
    const SourceFit fits[] = {{1920, 1080, {}, FitMode::contain},
                              {1920, 1080, {0, 300, 400, 200}, FitMode::contain},
                              {1920, 1080, {1520, 300, 400, 200}, FitMode::stretch},
                              {1920, 1080, {700, 0, 333, 77}, FitMode::contain},
                              {1920, 1080, {700, 1003, 333, 77}, FitMode::stretch},
                              {1366, 768, {1365, 0, 1, 768}, FitMode::contain}};
    const WarpParams warps[] = {{false, false, 0.0f, 0.0f, 0.0f}, {true, false, 0.4f, -0.3f, 12.0f}};
    for (std::uint32_t rotation = output_rotation_identity; rotation <= output_rotation_270; ++rotation) {
        for (const SourceFit& fit : fits) {
            for (const WarpParams& warp : warps) {
                SCOPED_TRACE(testing::Message() << "rotation " << rotation << " region " << fit.region.x << ","
                                                << fit.region.y << " keystone " << warp.keystone_tb);
                const WarpState state = compute_warp(warp, width, height, rotation, fit);
                const WarpCB& r = state.warp_cb;
                const SourceRect region = shown_region(fit);
                const FittedPicture picture = fit_picture(fit, width, height);
                double read[2][2] = {};  // (s, t) of the region's top-left and bottom-right corners
                for (const auto& [a, b] : {std::pair{0.0, 0.0}, {1.0, 1.0}, {0.5, 0.5}, {0.97, 0.1}}) {
                    const double px = region.x + a * region.width;
                    const double py = region.y + b * region.height;
                    const Point2 n{2.0 * px / fit.source_width - 1.0, 2.0 * py / fit.source_height - 1.0};
                    const Point2 screen = apply(state.frame_forward, n.x, n.y);
                    const Point2 wanted = apply(state.forward_h, 2.0 * (picture.left + a * picture.width) / width - 1.0,
                                                2.0 * (picture.top + b * picture.height) / height - 1.0);
                    EXPECT_NEAR(screen.x, wanted.x, 1e-9);
                    EXPECT_NEAR(screen.y, wanted.y, 1e-9);
                    const ClipPoint clip = map_forward(state.cursor_forward, static_cast<float>(px),
                                                       static_cast<float>(py), width, height);
                    EXPECT_NEAR(clip.x, screen.x, 1e-5);
                    EXPECT_NEAR(-clip.y, screen.y, 1e-5);
                    const float* rows[3] = {r.row0, r.row1, r.row2};
                    double h[3];
                    for (int i = 0; i < 3; ++i) {
                        h[i] = rows[i][0] * screen.x + rows[i][1] * screen.y + rows[i][2];
                    }
                    const Point2 turned = apply(frame_orientation(rotation), n.x, n.y);
                    const double s = (h[0] / h[2] + 1.0) / 2.0;
                    const double t = (h[1] / h[2] + 1.0) / 2.0;
                    EXPECT_NEAR(s, (turned.x + 1.0) / 2.0, 2e-6);
                    EXPECT_NEAR(t, (turned.y + 1.0) / 2.0, 2e-6);
                    if (a == b && (a == 0.0 || a == 1.0)) {
                        read[static_cast<int>(a)][0] = s;
                        read[static_cast<int>(a)][1] = t;
                    }
                }
                EXPECT_NEAR(std::min(read[0][0], read[1][0]), r.bounds[0], 2e-6);
                EXPECT_NEAR(std::min(read[0][1], read[1][1]), r.bounds[1], 2e-6);
                EXPECT_NEAR(std::max(read[0][0], read[1][0]), r.bounds[2], 2e-6);
                EXPECT_NEAR(std::max(read[0][1], read[1][1]), r.bounds[3], 2e-6);
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
                EXPECT_EQ(std::memcmp(&today.frame_forward, &today.forward_h, sizeof(Mat3)), 0);
                EXPECT_EQ(std::memcmp(&today.cursor_forward, &today.forward_h, sizeof(Mat3)), 0);
                for (const SourceFit& fit : same) {
                    EXPECT_TRUE(is_identity_fit(fit, w, h));
                    const WarpState fitted = compute_warp(warp, w, h, rotation, fit);
                    EXPECT_EQ(std::memcmp(&fitted, &today, sizeof today), 0);
                }
            }
        }
        // Another size of the same aspect is a fit: the cursor's pixels are scaled.
        EXPECT_FALSE(is_identity_fit(SourceFit{2 * w, 2 * h, {}, FitMode::contain}, w, h));
    }
}

TEST(SourceFit, ContainedShrinkingSamplesThePictureAndLeavesTheBandsAlone) {
    const SourceFit fit{1920, 1080, {}, FitMode::contain};
    for (const WarpParams& warp : {WarpParams{false, false, 0.0f, 0.0f, 0.0f}, WarpParams{}}) {
        const WarpCB rows = compute_warp(warp, 1280, 1024, 0, fit).warp_cb;
        const FootprintTiles tiles = footprint_tiles(rows, 1920, 1080, 1280, 1024);
        ASSERT_EQ(tiles.rows, 32);
        // The picture takes rows 152 to 871: tile rows 0 to 3 and 28 to 31 lie wholly in the bands, rows
        // 4 and 27 cross its edge. Inside it each pixel covers 1.5 texels: two samples per axis.
        for (int row = 0; row < tiles.rows; ++row) {
            for (int column = 0; column < tiles.columns; ++column) {
                EXPECT_EQ(tiles.samples[static_cast<std::size_t>(row * tiles.columns + column)],
                          row < 4 || row > 27 ? 1 : 2);
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
        // The source's white (white / 80 in scRGB) and more become full white; half of it, half in linear light.
        const float unit = 1.0f / scale;
        const test::Rgba out = test::convert_colour({unit, 2.0f * unit, 0.5f * unit, 1}, sdr.warp);
        EXPECT_FLOAT_EQ(out.r, 1.0f);
        EXPECT_FLOAT_EQ(out.g, 1.0f);
        EXPECT_NEAR(out.b, linear_to_srgb(0.5f), 1e-6f);
        // An SDR source on an HDR output is decoded at the output's white, whatever the source's.
        const ColourCB hdr = colour_constants(false, OutputColour{true, 300.0f}, white);
        EXPECT_FLOAT_EQ(hdr.warp.decode_scale, 300.0f / scrgb_unit_nits);
        EXPECT_EQ(hdr.warp.encode, 0.0f);
    }
}

}  // namespace
}  // namespace kelvane
