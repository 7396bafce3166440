// sRGB transfer curve, SDR white level, half floats and the shader's colour constants.
#include "render/colour_space.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kelvane {

namespace {

// The white levels a display configuration can sensibly report: 80 to 10000 nits.
constexpr std::uint32_t lowest_white_level = 1000;
constexpr std::uint32_t highest_white_level = 125000;
constexpr float white_level_unit = 1000.0f;

}  // namespace

float srgb_to_linear(float encoded) noexcept {
    if (std::isnan(encoded) || encoded <= 0.04045f) {
        return std::isnan(encoded) ? 0.0f : encoded / 12.92f;
    }
    return std::pow((encoded + 0.055f) / 1.055f, 2.4f);
}

float linear_to_srgb(float linear) noexcept {
    const float c = std::isnan(linear) ? 0.0f : std::clamp(linear, 0.0f, 1.0f);
    return c <= 0.0031308f ? c * 12.92f : 1.055f * std::pow(c, 1.0f / 2.4f) - 0.055f;
}

float srgb_to_scrgb(float encoded, float white_nits) noexcept {
    return srgb_to_linear(encoded) * (white_nits / scrgb_unit_nits);
}

float sdr_white_nits_from_level(bool read, std::uint32_t level) noexcept {
    if (!read || level < lowest_white_level || level > highest_white_level) {
        return default_sdr_white_nits;
    }
    return static_cast<float>(level) / white_level_unit * scrgb_unit_nits;
}

std::uint16_t float_to_half(float value) noexcept {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const auto sign = static_cast<std::uint16_t>((bits >> 16) & 0x8000u);
    const std::uint32_t exponent = (bits >> 23) & 0xFFu;
    std::uint32_t mantissa = bits & 0x7FFFFFu;
    if (exponent == 0xFFu) {  // infinity stays infinity, NaN stays NaN
        return static_cast<std::uint16_t>(sign | 0x7C00u | (mantissa != 0 ? 0x200u : 0u));
    }
    const int rebased = static_cast<int>(exponent) - 127 + 15;
    if (rebased >= 0x1F) {
        return static_cast<std::uint16_t>(sign | 0x7C00u);
    }
    if (rebased <= 0) {
        if (rebased < -10) {
            return sign;
        }
        mantissa |= 0x800000u;
        const auto shift = static_cast<std::uint32_t>(14 - rebased);
        const std::uint32_t half_mantissa = mantissa >> shift;
        const std::uint32_t rest = mantissa & ((1u << shift) - 1u);
        const std::uint32_t halfway = 1u << (shift - 1u);
        const std::uint32_t rounded =
            half_mantissa + ((rest > halfway || (rest == halfway && (half_mantissa & 1u))) ? 1u : 0u);
        return static_cast<std::uint16_t>(sign | rounded);
    }
    std::uint32_t half = (static_cast<std::uint32_t>(rebased) << 10) | (mantissa >> 13);
    const std::uint32_t rest = mantissa & 0x1FFFu;
    if (rest > 0x1000u || (rest == 0x1000u && (half & 1u))) {
        ++half;  // may carry into the exponent, which is the right result (up to infinity)
    }
    return static_cast<std::uint16_t>(sign | half);
}

float half_to_float(std::uint16_t half) noexcept {
    const std::uint32_t sign = (half & 0x8000u) != 0 ? 1u : 0u;
    const std::uint32_t exponent = (half >> 10) & 0x1Fu;
    const std::uint32_t mantissa = half & 0x3FFu;
    float magnitude = 0.0f;
    if (exponent == 0) {
        magnitude = std::ldexp(static_cast<float>(mantissa), -24);
    } else if (exponent == 0x1F) {
        magnitude = mantissa == 0 ? INFINITY : NAN;
    } else {
        magnitude = std::ldexp(static_cast<float>(mantissa | 0x400u), static_cast<int>(exponent) - 25);
    }
    return sign != 0 ? -magnitude : magnitude;
}

ColourCB colour_constants(bool linear_source, const OutputColour& output) noexcept {
    ColourCB constants;
    const float white_scale = output.sdr_white_nits / scrgb_unit_nits;
    if (output.hdr) {
        constants.warp.decode_scale = linear_source ? 0.0f : white_scale;
        constants.cursor.decode_scale = white_scale;
    } else if (linear_source) {
        // A linear desktop on an SDR output (or one caught mid-switch): 1.0 is the output's white.
        constants.warp.encode = 1.0f;
    }
    return constants;
}

}  // namespace kelvane
