// Footprint sampling, free of Windows headers: how far one output pixel reaches on the image it shows
// (the Jacobian of the inverse homography for the warp pass, of the quad's texture mapping for the
// cursor sprite), how many bilinear samples per axis that asks for, and the constants the shader's
// footprint filter reads. The shader repeats the count rule; the CPU reference calls it.
#pragma once

#include <array>

#include "render/warp_geometry.h"

namespace kelvane {

// The most samples per axis. Up to this reach the grid's samples lie at most one texel apart, so their
// bilinear taps overlap and the mean follows the area average closely; at the strongest keystone (0.85,
// about seven texels across on the narrow edge) it still spreads its 16 samples over the whole
// footprint, at a cost the benchmark shows, where a mip chain would be a pass over every frame.
inline constexpr int footprint_sample_cap = 4;
// Reach below 1.25 texels on both axes keeps the single bilinear sample: a 1:1 mirror, a rotation and
// the wide side of a keystone stay as sharp as the plain sampler draws them.
inline constexpr float footprint_single_reach = 1.25f;

// Where one output pixel step lands on the image, in texels: a step right and a step down.
struct Reach {
    float right_x = 0.0f;
    float right_y = 0.0f;
    float down_x = 0.0f;
    float down_y = 0.0f;
};

// Samples along one axis for a reach of `length` texels: one below footprint_single_reach, then one
// more per texel, at most footprint_sample_cap; one for a reach that is not a number.
[[nodiscard]] int footprint_samples(float length) noexcept;

// The warp pass's reach at normalised output point (`cx`, `cy`) through the inverse `rows`, for a
// `source_width` x `source_height` source shown on a `width` x `height` output; in single precision, in
// the shader's order.
[[nodiscard]] Reach warp_reach(const WarpCB& rows, float cx, float cy, int source_width, int source_height, int width,
                               int height) noexcept;

// The sprite's reach over the two triangles of the cursor `quad` (cursor_quad's strip order) on a
// `width` x `height` output, for a `sprite_width` x `sprite_height` sprite: the triangle (top-left,
// top-right, bottom-left), then (bottom-left, top-right, bottom-right). A degenerate triangle reaches 0.
[[nodiscard]] std::array<Reach, 2> cursor_reach(const std::array<CursorVertex, 4>& quad, int sprite_width,
                                                int sprite_height, int width, int height) noexcept;

// The shader's FootprintCB, 80 bytes in this order.
struct FootprintCB {
    float source_size[4];  // width, height
    float reach_scale[4];  // source width and height per output width, then per output height
    float sprite_size[4];  // width, height
    float sprite_reach[2][4];
};
static_assert(sizeof(FootprintCB) == 80, "FootprintCB is uploaded as 80 bytes");

// The source's part of the constants; a non-positive size gives zeros (one sample everywhere).
void set_footprint_source(FootprintCB& constants, int source_width, int source_height, int width, int height) noexcept;
// The sprite's part.
void set_footprint_sprite(FootprintCB& constants, int sprite_width, int sprite_height,
                          const std::array<Reach, 2>& reach) noexcept;

}  // namespace kelvane
