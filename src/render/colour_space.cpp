// sRGB transfer curve, SDR white level, half floats and the shader's colour constants.
#include "render/colour_space.h"

#include <algorithm>
#include <cmath>

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

ColourVariant colour_variant(const ColourMode& mode) noexcept {
    if (mode.decode_scale > 0.0f) {
        return ColourVariant::decode;
    }
    return mode.encode > 0.0f ? ColourVariant::encode : ColourVariant::plain;
}

ColourCB colour_constants(bool linear_source, const OutputColour& output, float source_white_nits) noexcept {
    ColourCB constants;
    const float white_scale = output.sdr_white_nits / scrgb_unit_nits;
    if (output.hdr) {
        constants.warp.decode_scale = linear_source ? 0.0f : white_scale;
        constants.cursor.decode_scale = white_scale;
    } else if (linear_source) {
        // A linear desktop on an SDR output (or one caught mid-switch): the source's SDR white becomes
        // the output's white, and what is brighter clips.
        const bool usable = std::isfinite(source_white_nits) && source_white_nits > 0.0f;
        constants.warp.encode = usable ? scrgb_unit_nits / source_white_nits : 1.0f;
    }
    return constants;
}

}  // namespace kelvane
