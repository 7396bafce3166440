// The colour maths of presenting on an HDR output, free of Windows headers: the sRGB transfer curve,
// the SDR white level, and the constants that tell the shader how to turn what it samples
// into what the swap chain holds. In the linear scRGB colour space 1.0 is 80 nits.
#pragma once

#include <cstdint>

namespace kelvane {

inline constexpr float scrgb_unit_nits = 80.0f;
// The white level assumed where the system does not say: Windows' default SDR brightness on HDR.
inline constexpr float default_sdr_white_nits = 200.0f;

// What the mirrored output shows: SDR (8-bit sRGB swap chain) or HDR (FP16 linear scRGB swap chain),
// and on HDR how bright the user has set SDR content to appear.
struct OutputColour {
    bool hdr = false;
    float sdr_white_nits = default_sdr_white_nits;
};

[[nodiscard]] float srgb_to_linear(float encoded) noexcept;
// Clamps to [0, 1] first: an 8-bit target holds nothing brighter than its white.
[[nodiscard]] float linear_to_srgb(float linear) noexcept;
// An sRGB-encoded channel as scRGB at `white_nits`: its linear value times the white in scRGB units.
[[nodiscard]] float srgb_to_scrgb(float encoded, float white_nits) noexcept;

// The white level the display configuration reports (SDRWhiteLevel, 1000 = 80 nits) in nits, or the
// default when it could not be read or makes no sense.
[[nodiscard]] float sdr_white_nits_from_level(bool read, std::uint32_t level) noexcept;

// How one pass turns a sampled colour into the target's: with `decode_scale` above 0 the sample is
// sRGB-encoded and becomes linear times that scale; with `encode` above 0 a linear value is multiplied
// by it (making the source's SDR white 1.0), clamped and sRGB-encoded for an 8-bit target. Both 0: the
// sample is written as it is.
struct ColourMode {
    float decode_scale = 0.0f;
    float encode = 0.0f;
    float unused[2] = {0.0f, 0.0f};
};

// The shader's constants: the warp pass's mode, then the cursor pass's. Matches ColourCB in warp.hlsl.
struct ColourCB {
    ColourMode warp;
    ColourMode cursor;
};

// The shader variant that carries out a mode: the sample written as it is, decoded from sRGB and
// scaled, or encoded as sRGB. The mode is fixed per draw, so the pixel shader is chosen, not branched.
enum class ColourVariant { plain, decode, encode };
inline constexpr int colour_variant_count = 3;
[[nodiscard]] ColourVariant colour_variant(const ColourMode& mode) noexcept;

// The modes for a source that is linear FP16 (`linear_source`) or sRGB-encoded, on `output`. The cursor
// sprite is always sRGB-encoded. A linear source on an SDR output is divided by the source's own SDR
// white level, `source_white_nits` (80, scRGB's 1.0, when the source is the output itself; a value that
// is not a positive number counts as 80); an sRGB source on an HDR output is decoded at the output's.
[[nodiscard]] ColourCB colour_constants(bool linear_source, const OutputColour& output,
                                        float source_white_nits = scrgb_unit_nits) noexcept;

}  // namespace kelvane
