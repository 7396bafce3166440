// The CPU reference of the warp and cursor passes against hand-derived pixels, so that a later
// comparison with GPU output compares against something known to be right.
#include "support/cpu_reference.h"

#include <gtest/gtest.h>

#include "render/calibration_pattern.h"
#include "render/warp_geometry.h"

namespace kelvane {
namespace {

using test::Image;

constexpr std::uint32_t black = 0xFF000000u;
constexpr std::uint32_t white = 0xFFFFFFFFu;
constexpr std::uint32_t red = 0xFFFF0000u;
constexpr std::uint32_t green = 0xFF00FF00u;
constexpr std::uint32_t blue = 0xFF0000FFu;
constexpr std::uint32_t yellow = 0xFFFFFF00u;

WarpParams plain() {
    WarpParams params;
    params.mirror_h = false;
    return params;
}

// A source whose every pixel differs, including in alpha.
Image numbered(int width, int height) {
    Image image(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto n = static_cast<std::uint32_t>(y * width + x);
            image.at(x, y) = ((n * 37u) & 0xFFu) << 24 | (n * 11u & 0xFFu) << 16 | (n * 5u & 0xFFu) << 8 | (n & 0xFFu);
        }
    }
    return image;
}

Image warp(const Image& source, const WarpParams& params, int width, int height) {
    return test::reference_warp_pass(source, compute_warp(params, width, height).warp_cb, width, height);
}

TEST(CpuReferenceWarp, NeutralWarpCopiesTheSourceAndMakesItOpaque) {
    const Image source = numbered(13, 7);
    const Image out = warp(source, plain(), 13, 7);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 13; ++x) {
            ASSERT_EQ(out.at(x, y), source.at(x, y) | 0xFF000000u) << "(" << x << "," << y << ")";
        }
    }
}

TEST(CpuReferenceWarp, MirrorsFlipThePicture) {
    const Image source = numbered(9, 6);
    WarpParams both = plain();
    both.mirror_h = true;
    both.mirror_v = true;
    const Image horizontal = warp(source, WarpParams{}, 9, 6);
    const Image vertical_and_horizontal = warp(source, both, 9, 6);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 9; ++x) {
            ASSERT_EQ(horizontal.at(x, y), source.at(8 - x, y) | 0xFF000000u);
            ASSERT_EQ(vertical_and_horizontal.at(x, y), source.at(8 - x, 5 - y) | 0xFF000000u);
        }
    }
}

TEST(CpuReferenceWarp, SamplesBilinearlyWithClampedEdges) {
    // Two texels stretched over four pixels: centres at texel positions -0.25, 0.25, 0.75 and 1.25.
    Image source(2, 1);
    source.at(0, 0) = black;
    source.at(1, 0) = white;
    const Image out = warp(source, plain(), 4, 1);
    EXPECT_EQ(out.at(0, 0), 0xFF000000u);  // clamped to the first texel
    EXPECT_EQ(out.at(1, 0), 0xFF404040u);  // 0.25 * 255 = 63.75
    EXPECT_EQ(out.at(2, 0), 0xFFBFBFBFu);  // 0.75 * 255 = 191.25
    EXPECT_EQ(out.at(3, 0), 0xFFFFFFFFu);  // clamped to the last texel
}

TEST(CpuReferenceWarp, OutsideTheKeystoneQuadIsOpaqueBlack) {
    const Image source(100, 100, 0x00FFFFFFu);  // white with zero alpha: the pass must still be opaque
    WarpParams params = plain();
    params.keystone_tb = 0.2f;
    const Image out = warp(source, params, 100, 100);
    // The top edge is narrowed to x in [-0.8, 0.8]: pixels 0-9 and 90-99 of the top row are outside.
    EXPECT_EQ(out.at(0, 0), black);
    EXPECT_EQ(out.at(9, 0), black);
    EXPECT_EQ(out.at(11, 0), white);
    EXPECT_EQ(out.at(88, 0), white);
    EXPECT_EQ(out.at(99, 0), black);
    // The bottom edge keeps its full width.
    EXPECT_EQ(out.at(0, 99), white);
    EXPECT_EQ(out.at(99, 99), white);
}

TEST(CpuReferenceWarp, QuarterTurnMovesTheTopToTheRight) {
    // 160 x 90, top half red, bottom half blue, turned clockwise by 90 degrees in pixel units: the
    // picture becomes 90 pixels wide (normalised half-width 0.5625) with its top on the right.
    Image source(160, 90, blue);
    for (int y = 0; y < 45; ++y) {
        for (int x = 0; x < 160; ++x) {
            source.at(x, y) = red;
        }
    }
    WarpParams params = plain();
    params.rotation = 90.0f;
    const Image out = warp(source, params, 160, 90);
    EXPECT_EQ(out.at(100, 45), red);    // normalised x 0.26: source y -0.46
    EXPECT_EQ(out.at(60, 45), blue);    // normalised x -0.24
    EXPECT_EQ(out.at(125, 45), black);  // normalised x 0.57: beyond the turned picture
    EXPECT_EQ(out.at(34, 45), black);
}

TEST(CpuReferenceWarp, DefaultWarpShowsThePatternMirrored) {
    constexpr int width = 192, height = 108;
    Image pattern(width, height);
    ASSERT_TRUE(paint_pattern(pattern.pixels.data(), pattern.pixels.size(), width, height));
    const Image out = warp(pattern, WarpParams{}, width, height);
    // The red top-left square shows at the top-right of the screen, the green one at the top-left.
    EXPECT_EQ(out.at(width - 3, 2), pattern_top_left);
    EXPECT_EQ(out.at(2, 2), pattern_top_right);
    EXPECT_EQ(out.at(2, height - 3), pattern_bottom_right);
}

class CpuReferenceCursor : public testing::Test {
protected:
    // Four distinct opaque texels: red, green / blue, yellow.
    CpuReferenceCursor() : sprite(2, 2) {
        sprite.at(0, 0) = red;
        sprite.at(1, 0) = green;
        sprite.at(0, 1) = blue;
        sprite.at(1, 1) = yellow;
    }
    Image sprite;
};

TEST_F(CpuReferenceCursor, LandsWhereItLiesWithoutAWarp) {
    Image target(4, 4, black);
    test::reference_cursor_pass(target, sprite, Mat3::identity(), 1, 1);
    const std::uint32_t expected[4][4] = {
        {black, black, black, black},
        {black, red, green, black},
        {black, blue, yellow, black},
        {black, black, black, black},
    };
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(target.at(x, y), expected[y][x]) << "(" << x << "," << y << ")";
        }
    }
}

TEST_F(CpuReferenceCursor, FollowsTheMirror) {
    Image target(8, 8, black);
    const Mat3 mirror = build_forward(WarpParams{}, 8, 8);
    test::reference_cursor_pass(target, sprite, mirror, 0, 0);
    EXPECT_EQ(target.at(7, 0), red);
    EXPECT_EQ(target.at(6, 0), green);
    EXPECT_EQ(target.at(7, 1), blue);
    EXPECT_EQ(target.at(6, 1), yellow);
    EXPECT_EQ(target.at(0, 0), black);
}

TEST_F(CpuReferenceCursor, PartlyOutsideTheTargetDrawsTheVisiblePart) {
    Image target(3, 3, black);
    test::reference_cursor_pass(target, sprite, Mat3::identity(), -1, -1);
    EXPECT_EQ(target.at(0, 0), yellow);
    EXPECT_EQ(target.at(1, 0), black);
    EXPECT_EQ(target.at(0, 1), black);
}

TEST(CpuReferenceBlend, StraightAlphaOverThenXorOfTheTransparentColour) {
    struct Case {
        std::uint32_t cursor;
        std::uint32_t below;
        std::uint32_t expected;
        bool screen_xor = false;
    };
    const Case cases[] = {
        {0x80FFFFFFu, black, 0xFF808080u},        // half white over black: 128/255 of white
        {0x00FFFFFFu, 0xFF123456u, 0xFF123456u},  // transparent: the frame stays
        {0xFF0000FFu, 0xFF123456u, 0xFF0000FFu},  // opaque: replaces
        {0x40FF0000u, 0xFF0000FFu, 0xFF4000BFu},  // a quarter red over blue
        // XORed: white inverts, black keeps, a colour flips its full channels; opaque is not XORed.
        {0x00FFFFFFu, 0xFF123456u, 0xFFEDCBA9u, true},
        {0x00FFFFFFu, 0xFFFFFFFFu, 0xFF000000u, true},
        {0x00000000u, 0xFF123456u, 0xFF123456u, true},
        {0x00FF0000u, 0xFF00FF00u, 0xFFFFFF00u, true},
        {0xFFFFFFFFu, 0xFF123456u, 0xFFFFFFFFu, true},
    };
    for (const Case& c : cases) {
        Image target(4, 4, c.below);
        const Image cursor(2, 2, c.cursor);
        test::reference_cursor_pass(target, cursor, Mat3::identity(), 1, 1, c.screen_xor);
        EXPECT_EQ(target.at(1, 1), c.expected) << std::hex << c.cursor << " over " << c.below;
        EXPECT_EQ(target.at(0, 0), c.below);
    }
}

TEST(CpuReferenceBlend, PixelsOnTheSharedDiagonalAreBlendedOnce) {
    // The quad's diagonal runs exactly through pixel centres; blending one of them twice would show
    // as 0xFFC0C0C0 instead of 0xFF808080.
    Image target(8, 8, black);
    const Image cursor(4, 4, 0x80FFFFFFu);
    test::reference_cursor_pass(target, cursor, Mat3::identity(), 2, 2);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 6 && y >= 2 && y < 6;
            EXPECT_EQ(target.at(x, y), inside ? 0xFF808080u : black) << "(" << x << "," << y << ")";
        }
    }
}

TEST(CpuReferenceBlend, CornersAtInfinityDrawNothingAndDoNotCrash) {
    Image target(8, 8, black);
    const Image cursor(4, 4, white);
    const Mat3 horizon{{{1, 0, 0}, {0, 1, 0}, {0, 0, 0}}};
    test::reference_cursor_pass(target, cursor, horizon, 2, 2);
    test::reference_cursor_pass(target, Image(), Mat3::identity(), 2, 2);
    for (const std::uint32_t pixel : target.pixels) {
        EXPECT_EQ(pixel, black);
    }
}

}  // namespace
}  // namespace kelvane
