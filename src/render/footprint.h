// Footprint sampling, free of Windows headers: how far one output pixel reaches on the image it shows
// (the Jacobian of the inverse homography for the warp pass, of the quad's texture mapping for the
// cursor sprite), how many bilinear samples per axis that asks for, the output's tiles grouped by the
// samples their pixels need, and the constants the shader's footprint filter reads. The shader repeats
// the count rule for the cursor; the CPU reference calls it.
//
// The warp pass decides per tile, not per pixel: a GPU that runs both sides of a branch (and Wine's,
// which runs the GPU work on the CPU, does) would pay for the largest grid everywhere. So the whole
// output is drawn with the single sample, then each tile that needs more is drawn again with the
// shader variant compiled for its grid, whose samples spread over each pixel's own footprint.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

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

// The output's tiles are this many pixels square (the last row and column may be smaller).
inline constexpr int footprint_tile_size = 32;

// Per tile of a `columns` x `rows` grid, row-major, the samples per axis its pixels get: the most any
// of its pixels asks for, judged at its corner and centre pixels, at most the cap it was made with; 1
// for a tile that shows only black, every pixel of it beyond the same edge of the rows' bounds.
struct FootprintTiles {
    int columns = 0;
    int rows = 0;
    std::vector<std::uint8_t> samples;
};

// The tiles of a `width` x `height` output showing a `source_width` x `source_height` source through
// the inverse `rows`; `cap` (1 to footprint_sample_cap) bounds every tile's samples.
[[nodiscard]] FootprintTiles footprint_tiles(const WarpCB& rows, int source_width, int source_height, int width,
                                             int height, int cap = footprint_sample_cap);

// The samples per axis of output pixel (x, y); 1 outside the tiles.
[[nodiscard]] int tile_samples(const FootprintTiles& tiles, int x, int y) noexcept;

// The tiles with exactly `samples` per axis as two clip-space triangles each (x, y pairs, 12 values
// per tile), on pixel edges of a `width` x `height` output.
[[nodiscard]] std::vector<float> tile_triangles(const FootprintTiles& tiles, int samples, int width, int height);

// The shader's FootprintCB, 80 bytes in this order.
struct FootprintCB {
    float source_size[4];  // width, height, 1 / width, 1 / height
    float reach_scale[4];  // source width and height per output width, then per output height
    float sprite_size[4];  // width, height
    float sprite_reach[2][4];
};
static_assert(sizeof(FootprintCB) == 80, "FootprintCB is uploaded as 80 bytes");

// Value by value, so that a change of any constant is seen.
[[nodiscard]] bool operator==(const FootprintCB& a, const FootprintCB& b) noexcept;
[[nodiscard]] inline bool operator!=(const FootprintCB& a, const FootprintCB& b) noexcept {
    return !(a == b);
}

// The source's part of the constants; a non-positive size gives zeros (one sample everywhere).
void set_footprint_source(FootprintCB& constants, int source_width, int source_height, int width, int height) noexcept;
// The sprite's part.
void set_footprint_sprite(FootprintCB& constants, int sprite_width, int sprite_height,
                          const std::array<Reach, 2>& reach) noexcept;

}  // namespace kelvane
