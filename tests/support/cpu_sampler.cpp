// The CPU reference's sampler: bilinear filtering with clamp addressing, and the footprint grids of
// the warp pass (per tile) and of the cursor pass (per pixel).
#include <algorithm>
#include <cmath>

#include "support/cpu_reference.h"

namespace kelvane::test {
namespace {

Rgba lerp(const Rgba& a, const Rgba& b, float t) noexcept {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Rgba texel_colour(std::uint32_t word) noexcept {
    return unpack_unorm(word);
}

const Rgba& texel_colour(const Rgba& colour) noexcept {
    return colour;
}

// Bilinear filtering at texel position (x, y), where texel centres sit at whole numbers.
template <typename Texture>
Rgba sample_at_texel(const Texture& texture, float x, float y) noexcept {
    const float x_floor = std::floor(x);
    const float y_floor = std::floor(y);
    const float fx = x - x_floor;
    const float fy = y - y_floor;
    // Clamp in float first: an infinite coordinate must not reach an integer conversion.
    const auto texel = [](float position, int size) {
        return static_cast<int>(std::clamp(position, 0.0f, static_cast<float>(size - 1)));
    };
    const int x0 = texel(x_floor, texture.width), x1 = texel(x_floor + 1.0f, texture.width);
    const int y0 = texel(y_floor, texture.height), y1 = texel(y_floor + 1.0f, texture.height);
    const Rgba top = lerp(texel_colour(texture.at(x0, y0)), texel_colour(texture.at(x1, y0)), fx);
    const Rgba bottom = lerp(texel_colour(texture.at(x0, y1)), texel_colour(texture.at(x1, y1)), fx);
    return lerp(top, bottom, fy);
}

template <typename Texture>
Rgba sample_texels(const Texture& texture, float u, float v) noexcept {
    if (texture.width <= 0 || texture.height <= 0) {
        return {0, 0, 0, 0};
    }
    // Texel centres sit at half-integer positions: coordinate u covers texel space u * width - 0.5.
    const float x = (std::isnan(u) ? 0.0f : u) * static_cast<float>(texture.width) - 0.5f;
    const float y = (std::isnan(v) ? 0.0f : v) * static_cast<float>(texture.height) - 0.5f;
    return sample_at_texel(texture, x, y);
}

// The mean of an `nx` x `ny` grid of bilinear samples spread evenly over the footprint, each kept half
// a texel inside `bounds` (unless null), as the shader keeps them; the sampler's one sample for a grid
// of one.
template <typename Texture>
Rgba grid_texels(const Texture& texture, float u, float v, const Reach& reach, int nx, int ny,
                 const SampleBounds* bounds = nullptr) noexcept {
    if (texture.width <= 0 || texture.height <= 0) {
        return sample_texels(texture, u, v);
    }
    const auto w = static_cast<float>(texture.width);
    const auto h = static_cast<float>(texture.height);
    const auto kept = [&](float x, float y) {
        return bounds == nullptr
                   ? sample_at_texel(texture, x, y)
                   : sample_at_texel(texture, std::min(std::max(x, bounds->u0 * w), bounds->u1 * w - 1.0f),
                                     std::min(std::max(y, bounds->v0 * h), bounds->v1 * h - 1.0f));
    };
    const float qx = (std::isnan(u) ? 0.0f : u) * w - 0.5f;
    const float qy = (std::isnan(v) ? 0.0f : v) * h - 0.5f;
    if (nx * ny == 1) {
        return kept(qx, qy);
    }
    Rgba sum{0, 0, 0, 0};
    for (int j = 0; j < ny; ++j) {
        const float b = (static_cast<float>(j) + 0.5f) / static_cast<float>(ny) - 0.5f;
        for (int k = 0; k < nx; ++k) {
            const float a = (static_cast<float>(k) + 0.5f) / static_cast<float>(nx) - 0.5f;
            const Rgba one = kept(qx + reach.right_x * a + reach.down_x * b, qy + reach.right_y * a + reach.down_y * b);
            sum = {sum.r + one.r, sum.g + one.g, sum.b + one.b, sum.a + one.a};
        }
    }
    const auto count = static_cast<float>(nx * ny);
    return {sum.r / count, sum.g / count, sum.b / count, sum.a / count};
}

// The cursor's footprint filter: as many samples per axis as the pixel's own reach asks for.
template <typename Texture>
Rgba footprint_texels(const Texture& texture, float u, float v, const Reach& reach) noexcept {
    return grid_texels(texture, u, v, reach, footprint_samples(std::hypot(reach.right_x, reach.right_y)),
                       footprint_samples(std::hypot(reach.down_x, reach.down_y)));
}

}  // namespace

Rgba sample_linear_clamp(const Image& texture, float u, float v) noexcept {
    return sample_texels(texture, u, v);
}

Rgba sample_linear_clamp(const ImageF& texture, float u, float v) noexcept {
    return sample_texels(texture, u, v);
}

Rgba sample_footprint(const Image& texture, float u, float v, const Reach& reach) noexcept {
    return footprint_texels(texture, u, v, reach);
}

Rgba sample_footprint(const ImageF& texture, float u, float v, const Reach& reach) noexcept {
    return footprint_texels(texture, u, v, reach);
}

Rgba sample_grid(const Image& texture, float u, float v, const Reach& reach, int samples,
                 const SampleBounds& bounds) noexcept {
    return grid_texels(texture, u, v, reach, samples, samples, &bounds);
}

Rgba sample_grid(const ImageF& texture, float u, float v, const Reach& reach, int samples,
                 const SampleBounds& bounds) noexcept {
    return grid_texels(texture, u, v, reach, samples, samples, &bounds);
}

}  // namespace kelvane::test
