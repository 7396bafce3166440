// Damage arithmetic: tiles to a few boxes that cover every changed tile and nothing twice; a changed
// frame box mapped to a screen box that holds every pixel the shader reads that box for (checked
// through the shader's own rows, for warps, mirrors, turned frames and fitted sources); the history of
// a flip chain.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "capture/changed_regions.h"
#include "render/screen_damage.h"

namespace kelvane {
namespace {

bool covered(const std::vector<PixelBox>& boxes, std::int32_t x, std::int32_t y) {
    for (const PixelBox& box : boxes) {
        if (x >= box.left && x < box.right && y >= box.top && y < box.bottom) {
            return true;
        }
    }
    return false;
}

TEST(ChangedRegions, BoxesCoverEveryChangedTileOnceWithinTheFrameAndTheirBound) {
    EXPECT_EQ(TileGrid(100, 70).boxes(), std::vector<PixelBox>{});
    // An L of tiles at the ragged corner: two boxes, clipped to the frame.
    TileGrid corner(100, 70);
    corner.mark(PixelBox{90, 40, 100, 70});
    corner.mark(PixelBox{70, 64, 80, 65});
    EXPECT_EQ(corner.boxes(), (std::vector<PixelBox>{{80, 32, 100, 64}, {64, 64, 100, 70}}));

    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        const std::int32_t width = 1 + static_cast<std::int32_t>(random() % 300);
        const std::int32_t height = 1 + static_cast<std::int32_t>(random() % 200);
        TileGrid grid(width, height);
        const int marks = static_cast<int>(random() % (round < 100 ? 6 : 90));
        for (int i = 0; i < marks; ++i) {
            const auto x = static_cast<std::int32_t>(random() % 320) - 10;
            const auto y = static_cast<std::int32_t>(random() % 220) - 10;
            grid.mark(PixelBox{x, y, x + 1 + static_cast<std::int32_t>(random() % 40),
                               y + 1 + static_cast<std::int32_t>(random() % 40)});
        }
        const std::size_t limit = 1 + random() % max_change_boxes;
        const std::vector<PixelBox> boxes = grid.boxes(limit);
        ASSERT_LE(boxes.size(), limit);
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_FALSE(boxes[i].empty());
            EXPECT_EQ(intersect(boxes[i], PixelBox{0, 0, width, height}), boxes[i]);
            for (std::size_t j = i + 1; j < boxes.size(); ++j) {
                EXPECT_FALSE(overlap(boxes[i], boxes[j])) << "round " << round;
            }
        }
        for (std::int32_t row = 0; row < grid.rows(); ++row) {
            for (std::int32_t column = 0; column < grid.columns(); ++column) {
                if (grid.flags()[static_cast<std::size_t>(row * grid.columns() + column)] != 0) {
                    ASSERT_TRUE(covered(boxes, column * grid.tile(), row * grid.tile())) << "round " << round;
                }
            }
        }
    }
}

TEST(ScreenDamage, AFrameBoxMapsOverEveryScreenPixelThatSamplesIt) {
    constexpr std::int32_t width = 160;
    constexpr std::int32_t height = 100;
    // The output's own desktop under each warp, then other monitors' (whole, and a region) fitted onto it.
    const struct {
        WarpParams warp;
        SourceFit fit;
    } cases[] = {{{false, false, 0.0f, 0.0f, 0.0f}, {}},
                 {{true, false, 0.0f, 0.0f, 0.0f}, {}},
                 {{true, true, 0.5f, -0.3f, 7.0f}, {}},
                 {{false, false, -0.85f, 0.85f, -40.0f}, {}},
                 {{false, true, 0.2f, 0.0f, 180.0f}, {}},
                 {{true, true, 0.5f, -0.3f, 7.0f}, {240, 90, {}, FitMode::contain}},
                 {{false, true, 0.2f, 0.0f, 10.0f}, {130, 170, {20, 30, 90, 60}, FitMode::stretch}}};
    std::mt19937 random(11);
    for (std::uint32_t rotation = output_rotation_identity; rotation <= output_rotation_270; ++rotation) {
        for (const auto& [warp, fit] : cases) {
            const bool turned = rotation == output_rotation_90 || rotation == output_rotation_270;
            const std::int32_t frame_width =
                fit.source_width > 0 ? (turned ? fit.source_height : fit.source_width) : (turned ? height : width);
            const std::int32_t frame_height =
                fit.source_width > 0 ? (turned ? fit.source_width : fit.source_height) : (turned ? width : height);
            const WarpState state = compute_warp(warp, width, height, rotation, fit);
            const FrameView view{frame_width, frame_height, rotation, width, height, state.frame_forward};
            for (int round = 0; round < 6; ++round) {
                const auto x = static_cast<std::int32_t>(random() % static_cast<unsigned>(frame_width));
                const auto y = static_cast<std::int32_t>(random() % static_cast<unsigned>(frame_height));
                const PixelBox frame_box{x, y, x + 1 + static_cast<std::int32_t>(random() % 20),
                                         y + 1 + static_cast<std::int32_t>(random() % 20)};
                const std::vector<PixelBox> screen{screen_box_of_frame_box(view, frame_box)};
                // Every screen pixel whose bilinear sample (from the shader's rows) touches the box.
                const WarpCB& r = state.warp_cb;
                for (std::int32_t py = 0; py < height; ++py) {
                    for (std::int32_t px = 0; px < width; ++px) {
                        const double cx = 2.0 * (px + 0.5) / width - 1.0;
                        const double cy = 2.0 * (py + 0.5) / height - 1.0;
                        const double hz = r.row2[0] * cx + r.row2[1] * cy + r.row2[2];
                        const double s = ((r.row0[0] * cx + r.row0[1] * cy + r.row0[2]) / hz + 1.0) / 2.0;
                        const double t = ((r.row1[0] * cx + r.row1[1] * cy + r.row1[2]) / hz + 1.0) / 2.0;
                        const double tx = s * frame_width - 0.5;
                        const double ty = t * frame_height - 0.5;
                        const bool reads = tx + 1.0 >= frame_box.left && tx < frame_box.right &&
                                           ty + 1.0 >= frame_box.top && ty < frame_box.bottom;
                        const float* b = r.bounds;
                        if (reads && s >= b[0] && s <= b[2] && t >= b[1] && t <= b[3]) {
                            ASSERT_TRUE(covered(screen, px, py)) << "rotation " << rotation << " keystone "
                                                                 << warp.keystone_tb << " pixel " << px << "," << py;
                        }
                    }
                }
            }
        }
    }
}

TEST(ScreenDamage, TheBackBufferIsRedrawnWhereTheLastPresentsChangedIt) {
    DamageHistory history(2);
    const ScreenDamage a{false, {{0, 0, 10, 10}}};
    const ScreenDamage b{false, {{50, 50, 60, 60}}};
    // A new chain: nothing in it can be trusted, and its first present is whole.
    EXPECT_TRUE(history.redraw(a, 100, 100).everything);
    EXPECT_TRUE(history.present_whole());
    EXPECT_TRUE(history.redraw(ScreenDamage{}, 100, 100).none());
    history.presented(a);
    EXPECT_FALSE(history.present_whole());
    EXPECT_TRUE(history.redraw(b, 100, 100).everything);  // the other buffer was never drawn
    history.presented(b);
    // From now on the buffer to draw lacks what the one present before changed.
    EXPECT_EQ(history.redraw(a, 100, 100).boxes, (std::vector<PixelBox>{{0, 0, 10, 10}, {50, 50, 60, 60}}));
    history.presented(a);
    EXPECT_EQ(history.redraw(a, 100, 100).boxes, (std::vector<PixelBox>{{0, 0, 10, 10}}));
    // Most of the screen at once: one whole redraw.
    EXPECT_TRUE(history.redraw(ScreenDamage{false, {{0, 0, 80, 80}}}, 100, 100).everything);
    history.forget();
    EXPECT_TRUE(history.present_whole());
    EXPECT_TRUE(history.redraw(a, 100, 100).everything);
}

}  // namespace
}  // namespace kelvane
