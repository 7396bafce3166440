// A CPU reference of the two GPU passes, for checking rendered frames pixel by pixel: the warp pass
// (each output pixel centre taken through the inverse rows, black outside the rows' bounds, bilinear
// sampling with clamp addressing and every sample kept half a texel inside the bounds) and the cursor pass (the quad
// placed with map_forward, the sprite interpolated over its two triangles and blended straight-alpha "over" the frame).
// Images are B8G8R8A8 words (0xAARRGGBB), row-major, rows back to back; the FP16 path (an HDR output's
// linear scRGB frames and back buffer) uses images of float colours, filtered in linear light.
#pragma once

#include <cstdint>
#include <vector>

#include "render/colour_space.h"
#include "render/footprint.h"
#include "render/warp_geometry.h"

namespace kelvane::test {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    Image() = default;
    Image(int w, int h, std::uint32_t fill = 0);

    [[nodiscard]] std::uint32_t at(int x, int y) const;
    [[nodiscard]] std::uint32_t& at(int x, int y);
};

// A colour as the shader sees it: four channels from 0 to 1.
struct Rgba {
    float r;
    float g;
    float b;
    float a;
};

// An image of float colours, as an FP16 texture holds it (rounding to half floats aside).
struct ImageF {
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels;

    [[nodiscard]] const Rgba& at(int x, int y) const { return pixels.at(static_cast<std::size_t>(y * width + x)); }
    [[nodiscard]] Rgba& at(int x, int y) { return pixels.at(static_cast<std::size_t>(y * width + x)); }
};

// Half floats as FP16 textures hold them; values past the half range become infinity, tiny ones 0.
[[nodiscard]] std::uint16_t float_to_half(float value) noexcept;
[[nodiscard]] float half_to_float(std::uint16_t half) noexcept;

[[nodiscard]] Rgba unpack_unorm(std::uint32_t word) noexcept;
[[nodiscard]] ImageF to_float_image(const Image& image);
// What the shader's convert_colour makes of a sampled colour (alpha untouched).
[[nodiscard]] Rgba convert_colour(Rgba colour, const ColourMode& mode) noexcept;
// Clamps to [0, 1] and rounds each channel to the nearest of 256 steps.
[[nodiscard]] std::uint32_t pack_unorm(Rgba colour) noexcept;

// The sampler both passes use: linear filtering, clamp addressing, texture coordinates (0, 0) at the
// top-left corner of the top-left texel and (1, 1) at the bottom-right corner of the last one.
// A NaN coordinate samples as 0. An empty image samples as transparent black.
[[nodiscard]] Rgba sample_linear_clamp(const Image& texture, float u, float v) noexcept;
[[nodiscard]] Rgba sample_linear_clamp(const ImageF& texture, float u, float v) noexcept;
// The cursor's footprint filter at (u, v) for a pixel of that `reach`: the sampler's one sample where
// it reaches about one texel, else the mean of an even grid of such samples over the footprint.
[[nodiscard]] Rgba sample_footprint(const Image& texture, float u, float v, const Reach& reach) noexcept;
[[nodiscard]] Rgba sample_footprint(const ImageF& texture, float u, float v, const Reach& reach) noexcept;
// The part of a texture the warp pass shows (WarpCB::bounds), in texture coordinates.
struct SampleBounds {
    float u0 = 0.0f;
    float v0 = 0.0f;
    float u1 = 1.0f;
    float v1 = 1.0f;
};
// The warp pass's: `samples` x `samples` over the footprint, as its pixel's tile asks, each sample
// kept half a texel inside `bounds` (for the whole texture the same as clamp addressing).
[[nodiscard]] Rgba sample_grid(const Image& texture, float u, float v, const Reach& reach, int samples,
                               const SampleBounds& bounds = {}) noexcept;
[[nodiscard]] Rgba sample_grid(const ImageF& texture, float u, float v, const Reach& reach, int samples,
                               const SampleBounds& bounds = {}) noexcept;

// The warp pass over a `width` x `height` output: opaque everywhere, black where the inverse rows map
// the pixel centre outside their bounds, each pixel with the footprint grid of its tile.
[[nodiscard]] Image reference_warp_pass(const Image& source, const WarpCB& rows, int width, int height);

// The cursor pass: blends `cursor` over `target` with its top-left corner at (`cursor_x`, `cursor_y`)
// in source pixels, the corners pushed through `forward_h` (cursor_forward for a fitted source) with
// map_forward at the target's size. With
// `screen_xor` a second blend XORs the colour of the sprite's transparent parts onto the result:
// x * (1 - frame) + frame * (1 - x) with x = colour * (1 - alpha), which inverts the frame under white.
void reference_cursor_pass(Image& target, const Image& cursor, const Mat3& forward_h, int cursor_x, int cursor_y,
                           bool screen_xor = false);

// The same two passes into a float target, each sample turned by its pass's colour mode. With
// `screen_xor` the XOR inverts relative to SDR white (the mode's decode scale) and never goes below 0:
// max(W x + frame (1 - 2 x), 0).
[[nodiscard]] ImageF reference_warp_pass(const ImageF& source, const WarpCB& rows, int width, int height,
                                         const ColourMode& mode);
void reference_cursor_pass(ImageF& target, const Image& cursor, const Mat3& forward_h, int cursor_x, int cursor_y,
                           const ColourMode& mode, bool screen_xor = false);

// A float image against its reference: the share of pixels whose every channel is within `relative` of
// the reference's value or within `absolute` of it, and the brightest channel value seen.
struct LinearComparison {
    double within_tolerance = 0.0;
    float brightest = 0.0f;
};
[[nodiscard]] LinearComparison compare_linear(const ImageF& actual, const ImageF& reference, float relative,
                                              float absolute);

// How closely a rendered image follows its reference.
struct Comparison {
    double within_tolerance = 0.0;  // share of pixels within the tolerance on every channel
    int transparent = 0;            // pixels with alpha below 255
    int outside_not_black = 0;      // pixels the reference leaves black that are not opaque black
    int worst_channel_difference = 0;
};

[[nodiscard]] Comparison compare_images(const Image& actual, const Image& reference, int tolerance);

// Where `reference` differs from `without` by more than the tolerance (the footprint of what was drawn
// over it, such as the cursor): how many such pixels there are and how many of them `actual` matches.
struct Footprint {
    int pixels = 0;
    int matching = 0;
};
[[nodiscard]] Footprint compare_footprint(const Image& actual, const Image& reference, const Image& without,
                                          int tolerance);

}  // namespace kelvane::test
