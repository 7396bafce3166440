// The colour maths of HDR outputs against known values, and the CPU reference's linear-light path.
#include "render/colour_space.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "support/cpu_reference.h"

namespace kelvane {
namespace {

TEST(ColourSpace, SrgbBecomesScrgbAtTheWhiteLevelAndModesTouchOnlyWhatNeedsIt) {
    // 0.5 sRGB is 0.2140 in linear light; 1.0 in scRGB is 80 nits.
    for (const auto& [nits, half_grey] : {std::pair{80.0f, 0.21404f}, {200.0f, 0.53510f}, {480.0f, 1.28425f}}) {
        for (const auto& [encoded, scrgb] : {std::pair{0.0f, 0.0f}, {0.5f, half_grey}, {1.0f, nits / 80.0f}}) {
            EXPECT_NEAR(srgb_to_scrgb(encoded, nits), scrgb, 1e-4f) << encoded << " at " << nits;
            const ColourCB modes = colour_constants(false, OutputColour{true, nits});
            const test::Rgba cursor = test::convert_colour({encoded, encoded, encoded, 0.25f}, modes.cursor);
            EXPECT_NEAR(cursor.g, scrgb, 1e-4f);
            EXPECT_EQ(cursor.a, 0.25f);
            EXPECT_NEAR(test::convert_colour({encoded, 0, 0, 1}, modes.warp).r, scrgb, 1e-4f);
            EXPECT_NEAR(linear_to_srgb(scrgb * 80.0f / nits), encoded, 1e-4f);
        }
    }
    EXPECT_NEAR(srgb_to_linear(0.04f), 0.04f / 12.92f, 1e-7f);  // the curve's straight part
    EXPECT_FLOAT_EQ(linear_to_srgb(4.0f), 1.0f);                // an 8-bit target clips highlights
    EXPECT_EQ(srgb_to_linear(std::numeric_limits<float>::quiet_NaN()), 0.0f);
    // SDR: today's pixels, untouched; an FP16 frame on HDR goes through unchanged; on SDR it is encoded.
    const auto plain = [](const ColourMode& mode) { return mode.decode_scale == 0.0f && mode.encode == 0.0f; };
    EXPECT_TRUE(plain(colour_constants(false, OutputColour{false, 300.0f}).warp));
    EXPECT_TRUE(plain(colour_constants(false, OutputColour{false, 300.0f}).cursor));
    EXPECT_TRUE(plain(colour_constants(true, OutputColour{true, 300.0f}).warp));
    EXPECT_EQ(colour_constants(true, OutputColour{false, 300.0f}).warp.encode, 1.0f);
    EXPECT_TRUE(plain(colour_constants(true, OutputColour{false, 300.0f}).cursor));
    // Each mode picks the shader variant that converts only what it must.
    for (const auto& [linear, hdr, warp, cursor] :
         {std::tuple{false, false, ColourVariant::plain, ColourVariant::plain},
          std::tuple{true, true, ColourVariant::plain, ColourVariant::decode},
          std::tuple{false, true, ColourVariant::decode, ColourVariant::decode},
          std::tuple{true, false, ColourVariant::encode, ColourVariant::plain}}) {
        const ColourCB modes = colour_constants(linear, OutputColour{hdr, 300.0f});
        EXPECT_EQ(colour_variant(modes.warp), warp) << linear << hdr;
        EXPECT_EQ(colour_variant(modes.cursor), cursor) << linear << hdr;
    }

    // The display configuration's level: 1000 is 80 nits; unread or absurd levels give 200 nits.
    EXPECT_FLOAT_EQ(sdr_white_nits_from_level(true, 2500), 200.0f);
    EXPECT_FLOAT_EQ(sdr_white_nits_from_level(true, 6000), 480.0f);
    for (const auto& [read, level] : {std::pair{false, 6000u}, {true, 0u}, {true, 999u}, {true, 4000000000u}}) {
        EXPECT_FLOAT_EQ(sdr_white_nits_from_level(read, level), 200.0f) << read << " " << level;
    }
}

TEST(ColourSpace, TheSrgbCurvesMatchTheStandardOverTheirWholeRangeTheDarkPartIncluded) {
    // IEC 61966-2-1 values: the straight part below 0.04045 (0.0031308 linear), the power part above.
    const std::pair<float, float> known[] = {
        {0.0f, 0.0f},       {0.01f, 0.0007740f}, {0.02f, 0.0015480f}, {0.04045f, 0.0031308f}, {0.05f, 0.0039359f},
        {0.1f, 0.0100228f}, {0.3f, 0.0732390f},  {0.7f, 0.4479884f},  {0.9f, 0.7874123f},     {1.0f, 1.0f}};
    for (const auto& [encoded, linear] : known) {
        EXPECT_NEAR(srgb_to_linear(encoded), linear, 2e-7f + linear * 1e-5f) << encoded;
        EXPECT_NEAR(linear_to_srgb(linear), encoded, 2e-6f) << linear;
    }
    // Every 8-bit code goes there and back, and both curves rise all the way, also across the join.
    float previous = -1.0f;
    for (int code = 0; code <= 255; ++code) {
        const float encoded = static_cast<float>(code) / 255.0f;
        const float linear = srgb_to_linear(encoded);
        EXPECT_GT(linear, previous) << code;
        EXPECT_NEAR(linear_to_srgb(linear), encoded, 1e-5f) << code;
        previous = linear;
    }
}

TEST(ColourSpace, CpuReferenceHalfFloatsRoundToNearestEven) {
    const float tiny = std::ldexp(1.0f, -24);
    const float step = std::ldexp(1.0f, -11);
    for (const auto& [value, half] : {std::pair<float, std::uint16_t>{0.0f, 0x0000},
                                      {1.0f, 0x3C00},
                                      {-2.0f, 0xC000},
                                      {4.0f, 0x4400},
                                      {65504.0f, 0x7BFF},
                                      {70000.0f, 0x7C00},
                                      {1e-9f, 0x0000},
                                      {tiny, 0x0001},
                                      {1.0f + step, 0x3C00},
                                      {1.0f + 3.0f * step, 0x3C02}}) {
        EXPECT_EQ(test::float_to_half(value), half) << value;
    }
    EXPECT_TRUE(std::isnan(test::half_to_float(test::float_to_half(std::numeric_limits<float>::quiet_NaN()))));
    for (float value = 1e-4f; value < 60000.0f; value *= 1.37f) {
        EXPECT_NEAR(test::half_to_float(test::float_to_half(value)), value, value * step) << value;
    }
}

TEST(ColourSpace, CpuReferenceFiltersAndBlendsInLinearLight) {
    // Half-way between black and a 4.0 highlight is 2.0 in linear light.
    const test::ImageF source{2, 1, {{0, 0, 0, 1}, {4.0f, 4.0f, 4.0f, 1.0f}}};
    EXPECT_FLOAT_EQ(test::sample_linear_clamp(source, 0.5f, 0.5f).r, 2.0f);
    // A half-transparent white cursor at 200 nits (2.5 in scRGB) over the 4.0 highlight.
    const WarpState plain = compute_warp(WarpParams{false, false, 0.0f, 0.0f, 0.0f}, 8, 8);
    const test::ImageF bright{1, 1, {{4.0f, 4.0f, 4.0f, 1.0f}}};
    test::ImageF frame = test::reference_warp_pass(bright, plain.warp_cb, 8, 8, ColourMode{});
    test::reference_cursor_pass(frame, test::Image(2, 2, 0x80FFFFFFu), plain.forward_h, 3, 3,
                                colour_constants(true, OutputColour{true, 200.0f}).cursor);
    const float alpha = 128.0f / 255.0f;
    EXPECT_NEAR(frame.at(3, 3).g, 2.5f * alpha + 4.0f * (1.0f - alpha), 1e-5f);
    EXPECT_FLOAT_EQ(frame.at(5, 5).g, 4.0f);
    EXPECT_EQ(test::compare_linear(frame, frame, 0.002f, 1.0f / 1024.0f).within_tolerance, 1.0);
    EXPECT_FLOAT_EQ(test::compare_linear(frame, frame, 0.002f, 1.0f / 1024.0f).brightest, 4.0f);
    test::ImageF off = frame;
    off.at(0, 0).r = 4.01f;  // 0.25 % off
    EXPECT_EQ(test::compare_linear(off, frame, 0.002f, 1.0f / 1024.0f).within_tolerance, 63.0 / 64.0);
}

}  // namespace
}  // namespace kelvane
