// Another monitor's desktop, or a region of it, drawn onto a monitor of another size on a real Direct3D
// 11 device and compared with the CPU reference built from the product's own fit: a 1920 x 1080 source
// contained on 1280 x 1024 (black bands, the footprint grid of shrinking), regions under a keystone
// with no desktop beside them blending into their edges, and the cursor, given in source pixels,
// placed and scaled through the fit.
#include <gtest/gtest.h>

#include <cstdio>

#include "d3d_test_support_win32.h"
#include "render/warp_renderer_win32.h"

namespace kelvane {
namespace {

using test::Image;

constexpr int source_width = 1920;
constexpr int source_height = 1080;
constexpr int out_width = 1280;
constexpr int out_height = 1024;
constexpr int colour_tolerance = 3;
constexpr double required_share = 0.995;
constexpr std::uint32_t white = 0xFFFFFFFFu;

// Gradients, with a checker of sharp edges in blue whose cells the regions below start and end on, so
// that the texel just outside a region is always of the other colour.
Image desktop() {
    Image image(source_width, source_height);
    for (int y = 0; y < source_height; ++y) {
        for (int x = 0; x < source_width; ++x) {
            const auto r = static_cast<std::uint32_t>(x * 255 / (source_width - 1));
            const auto g = static_cast<std::uint32_t>(y * 255 / (source_height - 1));
            const std::uint32_t b = ((x / 20 + y / 20) % 2) != 0 ? 0xFFu : 0x00u;
            image.at(x, y) = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    return image;
}

// The share of `actual`'s pixels within the tolerance among those the rows sample inside the bounds but
// within 1.5 texels of their edge: where a region would blend in its surroundings.
double edge_share(const Image& actual, const Image& expected, const WarpCB& r) {
    int edge = 0;
    int matching = 0;
    const float* b = r.bounds;
    const double du = 1.5 / source_width, dv = 1.5 / source_height;
    for (int y = 0; y < out_height; ++y) {
        for (int x = 0; x < out_width; ++x) {
            const double cx = 2.0 * (x + 0.5) / out_width - 1.0, cy = 2.0 * (y + 0.5) / out_height - 1.0;
            const double hz = r.row2[0] * cx + r.row2[1] * cy + r.row2[2];
            const double s = ((r.row0[0] * cx + r.row0[1] * cy + r.row0[2]) / hz + 1.0) / 2.0;
            const double t = ((r.row1[0] * cx + r.row1[1] * cy + r.row1[2]) / hz + 1.0) / 2.0;
            if (s >= b[0] && s <= b[2] && t >= b[1] && t <= b[3] &&
                (s < b[0] + du || s > b[2] - du || t < b[1] + dv || t > b[3] - dv)) {
                ++edge;
                matching +=
                    test::compare_images(Image(1, 1, actual.at(x, y)), Image(1, 1, expected.at(x, y)), colour_tolerance)
                        .within_tolerance == 1.0;
            }
        }
    }
    EXPECT_GT(edge, out_width);
    return edge > 0 ? static_cast<double>(matching) / edge : 0.0;
}

TEST(FittedSource, ContainedRegionsAndTheCursorMatchTheCpuReference) {
    const test::TestWindow window(out_width, out_height);
    WarpRenderer renderer;
    ASSERT_TRUE(renderer.initialize(test::first_adapter().Get(), window.get(), out_width, out_height));
    const Image frame = desktop();
    const ComPtr<ID3D11ShaderResourceView> source = test::upload_image(renderer.device(), frame);
    ASSERT_NE(source, nullptr);
    const Image sprite(24, 24, white);
    renderer.set_cursor_image(sprite.width, sprite.height, sprite.pixels.data());
    const auto render = [&](const SourceFit& fit, const WarpParams& params, int x, int y) {
        test::OffscreenTarget target(renderer.device(), out_width, out_height);
        EXPECT_TRUE(target.valid());
        renderer.set_source_fit(fit);
        renderer.update_warp(params);
        renderer.render_passes(target.view(), source.Get(), true, x, y);
        return target.read_back();
    };
    const SourceFit contain{source_width, source_height, {0, 0, source_width, source_height}, FitMode::contain};
    struct Case {
        const char* name;
        SourceFit fit;
        WarpParams params;
        int cursor_x, cursor_y;  // in source-monitor pixels
    };
    const Case cases[] = {
        {"contain", contain, WarpParams{}, 1200, 600},
        {"contain, keystone",
         {source_width, source_height, {}, FitMode::contain},
         {false, true, 0.5f, -0.3f, 10.0f},
         300,
         900},
        {"region, stretch, keystone",
         {source_width, source_height, {600, 300, 500, 400}, FitMode::stretch},
         {false, false, 0.4f, -0.2f, 0.0f},
         800,
         500},
        {"corner region, contain",
         {source_width, source_height, {1400, 760, 520, 320}, FitMode::contain},
         {true, false, 0.0f, 0.3f, -5.0f},
         1600,
         900},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Image actual = render(c.fit, c.params, c.cursor_x, c.cursor_y);
        const WarpState state = compute_warp(c.params, out_width, out_height, output_rotation_identity, c.fit);
        const Image bare = test::reference_warp_pass(frame, state.warp_cb, out_width, out_height);
        Image expected = bare;
        test::reference_cursor_pass(expected, sprite, state.cursor_forward, c.cursor_x, c.cursor_y);
        const test::Comparison result = test::compare_images(actual, expected, colour_tolerance);
        const double edges = edge_share(actual, expected, state.warp_cb);
        const test::Footprint cursor = test::compare_footprint(actual, expected, bare, colour_tolerance);
        std::printf("  %-26s within +-%d: %.4f%%  edges %.4f%%  worst channel %d  cursor %d of %d px\n", c.name,
                    colour_tolerance, 100.0 * result.within_tolerance, 100.0 * edges, result.worst_channel_difference,
                    cursor.matching, cursor.pixels);
        EXPECT_GE(result.within_tolerance, required_share);
        EXPECT_GE(edges, required_share);
        EXPECT_EQ(result.transparent, 0);
        EXPECT_EQ(result.outside_not_black, 0);
        EXPECT_GT(cursor.pixels, 100);
        EXPECT_GE(cursor.matching, cursor.pixels * 99 / 100);
    }
    // Unwarped and contained, 1920 x 1080 fills the width between black bands of 152 rows, a source pixel
    // two thirds of an output pixel: the 24 px sprite at (1200, 600) covers output pixels 800 to 815
    // across and 552 to 567 down.
    const Image plain = render(contain, WarpParams{false, false, 0.0f, 0.0f, 0.0f}, 1200, 600);
    EXPECT_EQ(plain.at(out_width / 2, 150), 0xFF000000u);
    EXPECT_NE(plain.at(out_width / 2, 154), 0xFF000000u);
    EXPECT_EQ(plain.at(out_width / 2, out_height - 151), 0xFF000000u);
    EXPECT_EQ(plain.at(801, 553), white);
    EXPECT_EQ(plain.at(814, 566), white);
    EXPECT_NE(plain.at(818, 570), white);
}

}  // namespace
}  // namespace kelvane
