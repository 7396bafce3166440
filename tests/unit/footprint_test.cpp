// Footprint sampling's decisions: the sample count per reach, the closed-form reach against the
// mapping it differentiates, the cursor triangles' reach, and the tiles that choose the warp's grids.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/footprint.h"

namespace kelvane {
namespace {

constexpr int width = 320;
constexpr int height = 200;

const WarpParams warps[] = {
    WarpParams{false, false, 0.0f, 0.0f, 0.0f},     WarpParams{true, false, 0.5f, 0.0f, 0.0f},
    WarpParams{false, true, 0.85f, -0.3f, 0.0f},    WarpParams{true, true, 0.45f, -0.35f, 4.0f},
    WarpParams{false, false, -0.6f, 0.7f, -135.0f},
};

TEST(Footprint, SamplesGrowOnePerTexelOfReachFromTheSingleSampleUpToTheCap) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr float infinity = std::numeric_limits<float>::infinity();
    const std::pair<float, int> table[] = {{nan, 1},
                                           {-2.0f, 1},
                                           {0.0f, 1},
                                           {1.0f, 1},
                                           {1.2499f, 1},
                                           {1.25f, 2},
                                           {2.2499f, 2},
                                           {2.25f, 3},
                                           {3.25f, 4},
                                           {40.0f, 4},
                                           {infinity, footprint_sample_cap}};
    for (const auto& [reach, samples] : table) {
        EXPECT_EQ(footprint_samples(reach), samples) << reach;
    }
}

// The source point of output pixel (x, y) in source texels, through the float rows as the shader has them.
std::array<double, 2> source_texel(const WarpCB& rows, double x, double y, int source_width, int source_height) {
    const double cx = 2.0 * x / width - 1.0;
    const double cy = 2.0 * y / height - 1.0;
    const float* r[3] = {rows.row0, rows.row1, rows.row2};
    double h[3];
    for (int i = 0; i < 3; ++i) {
        h[i] = r[i][0] * cx + r[i][1] * cy + r[i][2];
    }
    return {(h[0] / h[2] + 1.0) * 0.5 * source_width, (h[1] / h[2] + 1.0) * 0.5 * source_height};
}

TEST(Footprint, WarpReachIsTheDerivativeOfTheMappingInTexelsPerPixel) {
    for (const auto& [source_width, source_height] : {std::pair{width, height}, std::pair{2 * width, height / 2}}) {
        for (const WarpParams& params : warps) {
            const WarpCB rows = compute_warp(params, width, height).warp_cb;
            for (const auto& [x, y] : {std::pair{10.5, 5.5}, std::pair{160.5, 100.5}, std::pair{300.5, 190.5}}) {
                const Reach r =
                    warp_reach(rows, static_cast<float>(2.0 * x / width - 1.0),
                               static_cast<float>(2.0 * y / height - 1.0), source_width, source_height, width, height);
                constexpr double step = 0.01;
                const auto right_a = source_texel(rows, x - step, y, source_width, source_height);
                const auto right_b = source_texel(rows, x + step, y, source_width, source_height);
                const auto down_a = source_texel(rows, x, y - step, source_width, source_height);
                const auto down_b = source_texel(rows, x, y + step, source_width, source_height);
                const double expected[4] = {(right_b[0] - right_a[0]) / (2 * step),
                                            (right_b[1] - right_a[1]) / (2 * step),
                                            (down_b[0] - down_a[0]) / (2 * step), (down_b[1] - down_a[1]) / (2 * step)};
                const float got[4] = {r.right_x, r.right_y, r.down_x, r.down_y};
                for (int i = 0; i < 4; ++i) {
                    EXPECT_NEAR(got[i], expected[i], 1e-3 * (1.0 + std::fabs(expected[i])))
                        << i << " at " << x << "," << y << " keystone " << params.keystone_tb;
                }
            }
        }
    }
    // A plain 1:1 mirror reaches exactly one texel along each axis.
    const Reach plain =
        warp_reach(compute_warp(warps[0], width, height).warp_cb, 0.3f, -0.2f, width, height, width, height);
    EXPECT_EQ(plain.right_x, 1.0f);
    EXPECT_EQ(plain.down_y, 1.0f);
    EXPECT_EQ(plain.right_y, 0.0f);
    EXPECT_EQ(plain.down_x, 0.0f);
}

TEST(Footprint, CursorReachMapsEachTriangleEdgeOntoTheSpritesEdge) {
    constexpr int sprite = 32;
    for (const WarpParams& params : warps) {
        const Mat3 forward = compute_warp(params, width, height).forward_h;
        const auto quad = cursor_quad(forward, CursorPlacement{150, 80, sprite, sprite}, width, height);
        const auto reach = cursor_reach(quad, sprite, sprite, width, height);
        const auto screen = [&](int i) {
            return std::array<double, 2>{(quad[i].x + 1.0) * 0.5 * width, (1.0 - quad[i].y) * 0.5 * height};
        };
        // Each triangle's edges in output pixels, and the texels they span on the sprite.
        const int edges[2][2][2] = {{{0, 1}, {0, 2}}, {{3, 2}, {3, 1}}};
        const double texels[2][2][2] = {{{sprite, 0}, {0, sprite}}, {{-sprite, 0}, {0, -sprite}}};
        for (int t = 0; t < 2; ++t) {
            for (int e = 0; e < 2; ++e) {
                const auto a = screen(edges[t][e][0]);
                const auto b = screen(edges[t][e][1]);
                const double dx = b[0] - a[0], dy = b[1] - a[1];
                EXPECT_NEAR(reach[t].right_x * dx + reach[t].down_x * dy, texels[t][e][0], 1e-3);
                EXPECT_NEAR(reach[t].right_y * dx + reach[t].down_y * dy, texels[t][e][1], 1e-3);
            }
        }
    }
    // A quad with no area draws nothing and asks for no grid.
    const auto flat =
        cursor_reach(cursor_quad(Mat3::identity(), CursorPlacement{5, 5, 0, 10}, width, height), 0, 10, width, height);
    EXPECT_EQ(flat[0].right_x, 0.0f);
    EXPECT_EQ(flat[1].down_y, 0.0f);
}

TEST(Footprint, EveryTileHoldsTheSamplesOfItsNeediestShownPixelAndTheTrianglesCoverTheOutputOnce) {
    for (const WarpParams& params : warps) {
        const WarpCB rows = compute_warp(params, width, height).warp_cb;
        const FootprintTiles tiles = footprint_tiles(rows, width, height, width, height);
        ASSERT_EQ(tiles.columns, (width + footprint_tile_size - 1) / footprint_tile_size);
        ASSERT_EQ(tiles.rows, (height + footprint_tile_size - 1) / footprint_tile_size);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const Reach r = warp_reach(rows, 2.0f * ((x + 0.5f) / width) - 1.0f,
                                           2.0f * ((y + 0.5f) / height) - 1.0f, width, height, width, height);
                const int needed = std::max(footprint_samples(std::hypot(r.right_x, r.right_y)),
                                            footprint_samples(std::hypot(r.down_x, r.down_y)));
                // A pixel outside the source shows black and needs no sample at all.
                const std::array<double, 2> texel = source_texel(rows, x + 0.5, y + 0.5, width, height);
                const bool shown = texel[0] >= 0.0 && texel[0] <= width && texel[1] >= 0.0 && texel[1] <= height;
                ASSERT_GE(tile_samples(tiles, x, y), shown ? needed : 1)
                    << x << "," << y << " keystone " << params.keystone_tb;
            }
        }
        double area = 0.0;
        std::size_t vertices = 0;
        for (int samples = 1; samples <= footprint_sample_cap; ++samples) {
            const std::vector<float> v = tile_triangles(tiles, samples, width, height);
            vertices += v.size();
            for (std::size_t i = 0; i + 5 < v.size(); i += 6) {
                area +=
                    std::fabs((v[i + 2] - v[i]) * (v[i + 5] - v[i + 1]) - (v[i + 4] - v[i]) * (v[i + 3] - v[i + 1])) /
                    2;
            }
        }
        EXPECT_EQ(vertices, tiles.samples.size() * 12);
        EXPECT_NEAR(area, 4.0, 1e-4);  // clip space is 2 x 2
    }
    // The plain mirror needs no grid anywhere, and a cap of 1 allows none.
    const FootprintTiles plain =
        footprint_tiles(compute_warp(warps[0], width, height).warp_cb, width, height, width, height);
    EXPECT_EQ(std::count(plain.samples.begin(), plain.samples.end(), 1), static_cast<long>(plain.samples.size()));
    const FootprintTiles capped =
        footprint_tiles(compute_warp(warps[2], width, height).warp_cb, width, height, width, height, 1);
    EXPECT_EQ(std::count(capped.samples.begin(), capped.samples.end(), 1), static_cast<long>(capped.samples.size()));
    EXPECT_EQ(tile_samples(capped, -1, 0), 1);
    EXPECT_EQ(tile_samples(capped, width * 2, 0), 1);
}

}  // namespace
}  // namespace kelvane
