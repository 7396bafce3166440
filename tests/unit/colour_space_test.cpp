// The colour maths of HDR outputs (sRGB to scRGB at a white level, the white level read, half floats,
// the shader's modes) against known values, and the CPU reference's linear-light path built on them.
#include "render/colour_space.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/cpu_reference.h"

namespace kelvane {
namespace {

TEST(ColourSpace, SrgbBecomesScrgbAtTheWhiteLevel) {
    // 0.5 sRGB is 0.2140 in linear light; 1.0 in scRGB is 80 nits.
    struct Case {
        float encoded, nits, scrgb;
    };
    const Case cases[] = {{0.0f, 80.0f, 0.0f},       {0.5f, 80.0f, 0.21404f},  {1.0f, 80.0f, 1.0f},
                          {0.0f, 200.0f, 0.0f},      {0.5f, 200.0f, 0.53510f}, {1.0f, 200.0f, 2.5f},
                          {0.0f, 480.0f, 0.0f},      {0.5f, 480.0f, 1.28425f}, {1.0f, 480.0f, 6.0f},
                          {0.04f, 80.0f, 0.0030960f}};  // on the curve's straight part
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.encoded << " at " << c.nits << " nits");
        EXPECT_NEAR(srgb_to_scrgb(c.encoded, c.nits), c.scrgb, 1e-4f);
        // The shader's mode for an sRGB image on an HDR output does the same, and the way back holds.
        const ColourCB modes = colour_constants(false, OutputColour{true, c.nits});
        const test::Rgba converted = test::convert_colour({c.encoded, c.encoded, c.encoded, 0.25f}, modes.cursor);
        EXPECT_NEAR(converted.g, c.scrgb, 1e-4f);
        EXPECT_EQ(converted.a, 0.25f);
        EXPECT_NEAR(linear_to_srgb(c.scrgb * 80.0f / c.nits), c.encoded, 1e-4f);
    }
    EXPECT_FLOAT_EQ(linear_to_srgb(4.0f), 1.0f);  // an 8-bit target clips highlights
    EXPECT_EQ(linear_to_srgb(-1.0f), 0.0f);
    EXPECT_EQ(srgb_to_linear(std::numeric_limits<float>::quiet_NaN()), 0.0f);

    // The display configuration's level: 1000 is 80 nits; unread or absurd levels give 200 nits.
    EXPECT_FLOAT_EQ(sdr_white_nits_from_level(true, 1000), 80.0f);
    EXPECT_FLOAT_EQ(sdr_white_nits_from_level(true, 2500), 200.0f);
    EXPECT_FLOAT_EQ(sdr_white_nits_from_level(true, 6000), 480.0f);
    for (const auto& [read, level] :
         {std::pair{false, 6000u}, std::pair{true, 0u}, std::pair{true, 999u}, std::pair{true, 4000000000u}}) {
        EXPECT_FLOAT_EQ(sdr_white_nits_from_level(read, level), 200.0f) << read << " " << level;
    }
}

TEST(ColourSpace, ModesLeaveTheSdrPathAloneAndConvertOnlyWhatNeedsIt) {
    const OutputColour sdr{false, 300.0f};
    const OutputColour hdr{true, 240.0f};
    const auto is_plain = [](const ColourMode& mode) { return mode.decode_scale == 0.0f && mode.encode == 0.0f; };
    EXPECT_TRUE(is_plain(colour_constants(false, sdr).warp));  // today's pixels, untouched
    EXPECT_TRUE(is_plain(colour_constants(false, sdr).cursor));
    EXPECT_TRUE(is_plain(colour_constants(true, hdr).warp));  // an FP16 frame goes through unchanged
    EXPECT_FLOAT_EQ(colour_constants(true, hdr).cursor.decode_scale, 3.0f);
    EXPECT_FLOAT_EQ(colour_constants(false, hdr).warp.decode_scale, 3.0f);
    const ColourCB linear_on_sdr = colour_constants(true, sdr);
    EXPECT_EQ(linear_on_sdr.warp.encode, 1.0f);
    EXPECT_EQ(linear_on_sdr.warp.decode_scale, 0.0f);
    EXPECT_TRUE(is_plain(linear_on_sdr.cursor));
}

TEST(ColourSpace, HalfFloatsRoundToNearest) {
    struct Case {
        float value;
        std::uint16_t half;
    };
    const Case exact[] = {{0.0f, 0x0000},
                          {1.0f, 0x3C00},
                          {-2.0f, 0xC000},
                          {0.5f, 0x3800},
                          {4.0f, 0x4400},
                          {65504.0f, 0x7BFF},
                          {70000.0f, 0x7C00},
                          {1e-9f, 0x0000},
                          {std::ldexp(1.0f, -24), 0x0001},
                          {std::ldexp(1.0f, -14), 0x0400},
                          {1.0f + std::ldexp(1.0f, -11), 0x3C00},  // a tie goes to the even neighbour
                          {1.0f + 3.0f * std::ldexp(1.0f, -11), 0x3C02}};
    for (const Case& c : exact) {
        EXPECT_EQ(float_to_half(c.value), c.half) << c.value;
    }
    EXPECT_TRUE(std::isnan(half_to_float(float_to_half(std::numeric_limits<float>::quiet_NaN()))));
    EXPECT_TRUE(std::isinf(half_to_float(0x7C00)));
    for (float value = 1e-4f; value < 60000.0f; value *= 1.37f) {
        EXPECT_NEAR(half_to_float(float_to_half(value)), value, value * std::ldexp(1.0f, -11)) << value;
    }
}

TEST(ColourSpace, CpuReferenceFiltersAndBlendsInLinearLight) {
    // Half-way between black and a 4.0 highlight is 2.0 in linear light.
    test::ImageF source(2, 1);
    source.at(1, 0) = {4.0f, 4.0f, 4.0f, 1.0f};
    EXPECT_FLOAT_EQ(test::sample_linear_clamp(source, 0.5f, 0.5f).r, 2.0f);
    // A half-transparent white cursor at 200 nits (2.5) over a 4.0 highlight.
    const WarpState plain = compute_warp(WarpParams{false, false, 0.0f, 0.0f, 0.0f}, 8, 8);
    test::ImageF frame =
        test::reference_warp_pass(test::ImageF(1, 1, {4.0f, 4.0f, 4.0f, 1.0f}), plain.warp_cb, 8, 8, ColourMode{});
    const test::Image cursor(2, 2, 0x80FFFFFFu);
    test::reference_cursor_pass(frame, cursor, plain.forward_h, 3, 3,
                                colour_constants(true, OutputColour{true, 200.0f}).cursor);
    const float alpha = 128.0f / 255.0f;
    EXPECT_NEAR(frame.at(3, 3).g, 2.5f * alpha + 4.0f * (1.0f - alpha), 1e-5f);
    EXPECT_FLOAT_EQ(frame.at(0, 0).g, 4.0f);
    EXPECT_FLOAT_EQ(frame.at(5, 5).g, 4.0f);
    const test::LinearComparison same = test::compare_linear(frame, frame, 0.002f, 1.0f / 1024.0f);
    EXPECT_EQ(same.within_tolerance, 1.0);
    EXPECT_FLOAT_EQ(same.brightest, 4.0f);
    test::ImageF off = frame;
    off.at(0, 0).r = 4.01f;  // 0.25 % off
    EXPECT_LT(test::compare_linear(off, frame, 0.002f, 1.0f / 1024.0f).within_tolerance, 1.0);
}

}  // namespace
}  // namespace kelvane
