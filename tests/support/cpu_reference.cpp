// CPU reference of the warp and cursor passes: sampler, warp pass, cursor rasteriser and blending.
#include "support/cpu_reference.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <utility>
#include <cstdlib>
#include <stdexcept>

namespace kelvane::test {
namespace {

constexpr float unorm_steps = 255.0f;
constexpr std::uint32_t opaque_black = 0xFF000000u;

std::uint32_t channel_to_unorm(float value) noexcept {
    const float clamped = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
    return static_cast<std::uint32_t>(clamped * unorm_steps + 0.5f);
}

struct Vertex {
    double x;  // viewport pixels, y downwards
    double y;
    float u;
    float v;
};

// Twice the signed area of (a, b, p); positive when p lies to the right of a->b on a y-down screen.
double edge(const Vertex& a, const Vertex& b, double px, double py) noexcept {
    return (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
}

// Direct3D's top-left rule for a triangle wound so that its area is positive: a pixel centre exactly
// on an edge belongs to the triangle only when the edge is a top or a left edge, so a centre on the
// diagonal shared by the quad's two triangles is drawn once.
bool is_top_left(const Vertex& a, const Vertex& b) noexcept {
    const bool top = a.y == b.y && b.x > a.x;
    const bool left = b.y < a.y;
    return top || left;
}

bool covers(double e, bool top_left) noexcept {
    return e > 0.0 || (e == 0.0 && top_left);
}

Rgba blend_over(const Rgba& source, const Rgba& destination) noexcept {
    const float keep = 1.0f - source.a;
    return {source.r * source.a + destination.r * keep, source.g * source.a + destination.g * keep,
            source.b * source.a + destination.b * keep, source.a + destination.a * keep};
}

Rgba blend_xor(const Rgba& source, const Rgba& destination) noexcept {
    const auto channel = [&](float s, float d) {
        const float x = s * (1.0f - source.a);
        return x * (1.0f - d) + d * (1.0f - x);
    };
    return {channel(source.r, destination.r), channel(source.g, destination.g), channel(source.b, destination.b),
            destination.a};
}

// Hands each covered pixel of the target and the sprite's sample there to `blend`.
template <typename Target, typename Blend>
void draw_triangle(Target& target, const Image& sprite, Vertex v0, Vertex v1, Vertex v2, const Reach& reach,
                   Blend blend) {
    double area = edge(v0, v1, v2.x, v2.y);
    if (area == 0.0 || std::isnan(area)) {
        return;
    }
    if (area < 0.0) {
        std::swap(v1, v2);
        area = -area;
    }
    const double min_x = std::min({v0.x, v1.x, v2.x});
    const double max_x = std::max({v0.x, v1.x, v2.x});
    const double min_y = std::min({v0.y, v1.y, v2.y});
    const double max_y = std::max({v0.y, v1.y, v2.y});
    // Clamped in double before any integer conversion: far-away corners must not overflow an int.
    const double w = target.width, h = target.height;
    const int x_begin = static_cast<int>(std::floor(std::clamp(min_x - 0.5, 0.0, w)));
    const int x_end = static_cast<int>(std::ceil(std::clamp(max_x, 0.0, w)));
    const int y_begin = static_cast<int>(std::floor(std::clamp(min_y - 0.5, 0.0, h)));
    const int y_end = static_cast<int>(std::ceil(std::clamp(max_y, 0.0, h)));
    const bool tl0 = is_top_left(v1, v2);
    const bool tl1 = is_top_left(v2, v0);
    const bool tl2 = is_top_left(v0, v1);
    for (int y = y_begin; y < y_end; ++y) {
        const double py = y + 0.5;
        for (int x = x_begin; x < x_end; ++x) {
            const double px = x + 0.5;
            const double e0 = edge(v1, v2, px, py);  // weight of v0
            const double e1 = edge(v2, v0, px, py);  // weight of v1
            const double e2 = edge(v0, v1, px, py);  // weight of v2
            if (!covers(e0, tl0) || !covers(e1, tl1) || !covers(e2, tl2)) {
                continue;
            }
            // All vertices have w = 1, so perspective-correct interpolation is plain barycentric.
            const double w0 = e0 / area, w1 = e1 / area, w2 = e2 / area;
            const float u = static_cast<float>(w0 * v0.u + w1 * v1.u + w2 * v2.u);
            const float v = static_cast<float>(w0 * v0.v + w1 * v1.v + w2 * v2.v);
            blend(target.at(x, y), sample_footprint(sprite, u, v, reach));
        }
    }
}

}  // namespace

Image::Image(int w, int h, std::uint32_t fill)
    : width(w),
      height(h),
      pixels(static_cast<std::size_t>(std::max(w, 0)) * static_cast<std::size_t>(std::max(h, 0)), fill) {}

std::uint32_t Image::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) {
        throw std::out_of_range("pixel outside the image");
    }
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
}

std::uint32_t& Image::at(int x, int y) {
    if (x < 0 || y < 0 || x >= width || y >= height) {
        throw std::out_of_range("pixel outside the image");
    }
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
}

std::uint16_t float_to_half(float value) noexcept {
    // Rounded to the nearest half by adding half a step of the half's mantissa, then truncated.
    const float magnitude = std::fabs(value);
    const std::uint16_t sign = std::signbit(value) ? 0x8000u : 0u;
    int exponent = 0;
    std::frexp(magnitude, &exponent);               // magnitude = m * 2^exponent, 0.5 <= m < 1
    const int step = std::max(exponent - 11, -24);  // the spacing of halves near the value
    const float steps = std::nearbyint(std::ldexp(magnitude, -step));
    const float rounded = std::ldexp(steps, step);
    if (std::isnan(value)) {
        return 0x7E00u;
    }
    if (rounded >= 65520.0f) {
        return static_cast<std::uint16_t>(sign | 0x7C00u);
    }
    int half_exponent = 0;
    const float mantissa = std::frexp(rounded, &half_exponent);
    if (rounded < std::ldexp(1.0f, -14)) {  // subnormal: counted in steps of 2^-24
        return static_cast<std::uint16_t>(sign | static_cast<std::uint16_t>(std::ldexp(rounded, 24)));
    }
    const auto bits = static_cast<std::uint32_t>(half_exponent + 14) << 10 |
                      (static_cast<std::uint32_t>(std::ldexp(mantissa, 11)) & 0x3FFu);
    return static_cast<std::uint16_t>(sign | bits);
}

float half_to_float(std::uint16_t half) noexcept {
    const int exponent = (half >> 10) & 0x1F;
    const auto mantissa = static_cast<float>(half & 0x3FF);
    float magnitude = exponent == 0 ? std::ldexp(mantissa, -24) : std::ldexp(mantissa + 1024.0f, exponent - 25);
    if (exponent == 0x1F) {
        magnitude = mantissa == 0.0f ? INFINITY : NAN;
    }
    return (half & 0x8000u) != 0 ? -magnitude : magnitude;
}

Rgba unpack_unorm(std::uint32_t word) noexcept {
    return {static_cast<float>((word >> 16) & 0xFFu) / unorm_steps,
            static_cast<float>((word >> 8) & 0xFFu) / unorm_steps, static_cast<float>(word & 0xFFu) / unorm_steps,
            static_cast<float>((word >> 24) & 0xFFu) / unorm_steps};
}

std::uint32_t pack_unorm(Rgba colour) noexcept {
    return (channel_to_unorm(colour.a) << 24) | (channel_to_unorm(colour.r) << 16) | (channel_to_unorm(colour.g) << 8) |
           channel_to_unorm(colour.b);
}

Rgba convert_colour(Rgba colour, const ColourMode& mode) noexcept {
    for (float* channel : {&colour.r, &colour.g, &colour.b}) {
        *channel =
            mode.decode_scale > 0.0f ? srgb_to_linear(std::clamp(*channel, 0.0f, 1.0f)) * mode.decode_scale : *channel;
        *channel = mode.encode > 0.0f ? linear_to_srgb(*channel * mode.encode) : *channel;
    }
    return colour;
}

ImageF to_float_image(const Image& image) {
    ImageF out{image.width, image.height, {}};
    std::transform(image.pixels.begin(), image.pixels.end(), std::back_inserter(out.pixels), unpack_unorm);
    return out;
}

// The warp pass into `out` (opaque black to start with), each sample stored by `store`.
template <typename Target, typename Source, typename Store>
void warp_into(Target& out, const Source& source, const WarpCB& rows, int width, int height, Store store) {
    const float* r[3] = {rows.row0, rows.row1, rows.row2};
    const FootprintTiles tiles = footprint_tiles(rows, source.width, source.height, width, height);
    const SampleBounds bounds{rows.bounds[0], rows.bounds[1], rows.bounds[2], rows.bounds[3]};
    for (int y = 0; y < height; ++y) {
        const float cy = 2.0f * ((static_cast<float>(y) + 0.5f) / static_cast<float>(height)) - 1.0f;
        for (int x = 0; x < width; ++x) {
            const float cx = 2.0f * ((static_cast<float>(x) + 0.5f) / static_cast<float>(width)) - 1.0f;
            float h[3];
            for (int i = 0; i < 3; ++i) {
                h[i] = r[i][0] * cx + r[i][1] * cy + r[i][2] * 1.0f;
            }
            const float tx = (h[0] / h[2] + 1.0f) * 0.5f;
            const float ty = (h[1] / h[2] + 1.0f) * 0.5f;
            if (tx < bounds.u0 || tx > bounds.u1 || ty < bounds.v0 || ty > bounds.v1) {
                continue;  // stays opaque black
            }
            const Reach reach = warp_reach(rows, cx, cy, source.width, source.height, width, height);
            Rgba colour = sample_grid(source, tx, ty, reach, tile_samples(tiles, x, y), bounds);
            colour.a = 1.0f;
            store(out.at(x, y), colour);
        }
    }
}

Image reference_warp_pass(const Image& source, const WarpCB& rows, int width, int height) {
    Image out(width, height, opaque_black);
    warp_into(out, source, rows, width, height, [](std::uint32_t& pixel, Rgba colour) { pixel = pack_unorm(colour); });
    return out;
}

ImageF reference_warp_pass(const ImageF& source, const WarpCB& rows, int width, int height, const ColourMode& mode) {
    ImageF out{width, height, std::vector<Rgba>(static_cast<std::size_t>(width) * height, Rgba{0, 0, 0, 1})};
    warp_into(out, source, rows, width, height,
              [&](Rgba& pixel, Rgba colour) { pixel = convert_colour(colour, mode); });
    return out;
}

template <typename Target, typename Blend>
void cursor_pass(Target& target, const Image& cursor, const Mat3& forward_h, int cursor_x, int cursor_y, Blend blend) {
    if (cursor.width <= 0 || cursor.height <= 0 || target.width <= 0 || target.height <= 0) {
        return;
    }
    const float x0 = static_cast<float>(cursor_x);
    const float y0 = static_cast<float>(cursor_y);
    const float x1 = static_cast<float>(cursor_x + cursor.width);
    const float y1 = static_cast<float>(cursor_y + cursor.height);
    constexpr float a = 0.0f;
    constexpr float b = 1.0f;
    const auto vertex = [&](float px, float py, float u, float v) {
        const ClipPoint clip = map_forward(forward_h, px, py, target.width, target.height);
        // The viewport transform: clip (-1, 1) is the top-left corner of the target.
        const float sx = (clip.x + 1.0f) * 0.5f * static_cast<float>(target.width);
        const float sy = (1.0f - clip.y) * 0.5f * static_cast<float>(target.height);
        return Vertex{sx, sy, u, v};
    };
    // The triangle strip's four vertices and its two triangles.
    const Vertex v0 = vertex(x0, y0, a, a);
    const Vertex v1 = vertex(x1, y0, b, a);
    const Vertex v2 = vertex(x0, y1, a, b);
    const Vertex v3 = vertex(x1, y1, b, b);
    const std::array<Reach, 2> reach =
        cursor_reach(cursor_quad(forward_h, CursorPlacement{cursor_x, cursor_y, cursor.width, cursor.height},
                                 target.width, target.height),
                     cursor.width, cursor.height, target.width, target.height);
    draw_triangle(target, cursor, v0, v1, v2, reach[0], blend);
    draw_triangle(target, cursor, v2, v1, v3, reach[1], blend);
}

void reference_cursor_pass(Image& target, const Image& cursor, const Mat3& forward_h, int cursor_x, int cursor_y,
                           bool screen_xor) {
    cursor_pass(target, cursor, forward_h, cursor_x, cursor_y, [&](std::uint32_t& pixel, Rgba sample) {
        // Each pass writes the 8-bit target the next one reads.
        pixel = pack_unorm(blend_over(sample, unpack_unorm(pixel)));
        if (screen_xor) {
            pixel = pack_unorm(blend_xor(sample, unpack_unorm(pixel)));
        }
    });
}

void reference_cursor_pass(ImageF& target, const Image& cursor, const Mat3& forward_h, int cursor_x, int cursor_y,
                           const ColourMode& mode, bool screen_xor) {
    const float white = mode.decode_scale > 0.0f ? mode.decode_scale : 1.0f;
    cursor_pass(target, cursor, forward_h, cursor_x, cursor_y, [&](Rgba& pixel, Rgba sample) {
        pixel = blend_over(convert_colour(sample, mode), pixel);
        const auto invert = [&](float frame, float colour) {
            const float x = colour * (1.0f - sample.a);
            return std::max(white * x + frame * (1.0f - 2.0f * x), 0.0f);
        };
        if (screen_xor) {
            pixel = {invert(pixel.r, sample.r), invert(pixel.g, sample.g), invert(pixel.b, sample.b), pixel.a};
        }
    });
}

namespace {

int channel(std::uint32_t word, int shift) {
    return static_cast<int>((word >> shift) & 0xFFu);
}

int worst_channel_difference(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        worst = std::max(worst, std::abs(channel(a, shift) - channel(b, shift)));
    }
    return worst;
}

}  // namespace

LinearComparison compare_linear(const ImageF& actual, const ImageF& reference, float relative, float absolute) {
    LinearComparison result;
    std::size_t within = 0;
    for (std::size_t i = 0; i < reference.pixels.size() && actual.pixels.size() == reference.pixels.size(); ++i) {
        const Rgba& a = actual.pixels[i];
        const Rgba& r = reference.pixels[i];
        bool close = true;
        for (const auto& [got, want] :
             {std::pair{a.r, r.r}, std::pair{a.g, r.g}, std::pair{a.b, r.b}, std::pair{a.a, r.a}}) {
            result.brightest = std::max(result.brightest, got);
            close = close && (std::fabs(got - want) <= std::max(absolute, relative * std::fabs(want)));
        }
        within += close ? 1u : 0u;
    }
    result.within_tolerance =
        static_cast<double>(within) / static_cast<double>(std::max<std::size_t>(reference.pixels.size(), 1));
    return result;
}

Comparison compare_images(const Image& actual, const Image& reference, int tolerance) {
    Comparison result;
    if (actual.width != reference.width || actual.height != reference.height || reference.pixels.empty()) {
        return result;
    }
    std::size_t within = 0;
    for (std::size_t i = 0; i < reference.pixels.size(); ++i) {
        const std::uint32_t a = actual.pixels[i];
        const std::uint32_t r = reference.pixels[i];
        const int worst = worst_channel_difference(a, r);
        result.worst_channel_difference = std::max(result.worst_channel_difference, worst);
        if (worst <= tolerance) {
            ++within;
        }
        if (channel(a, 24) != 0xFF) {
            ++result.transparent;
        }
        if (r == 0xFF000000u && a != 0xFF000000u) {
            ++result.outside_not_black;
        }
    }
    result.within_tolerance = static_cast<double>(within) / static_cast<double>(reference.pixels.size());
    return result;
}

Footprint compare_footprint(const Image& actual, const Image& reference, const Image& without, int tolerance) {
    Footprint result;
    if (actual.width != reference.width || actual.height != reference.height || without.width != reference.width ||
        without.height != reference.height) {
        return result;
    }
    for (std::size_t i = 0; i < reference.pixels.size(); ++i) {
        if (worst_channel_difference(reference.pixels[i], without.pixels[i]) > tolerance) {
            ++result.pixels;
            if (worst_channel_difference(actual.pixels[i], reference.pixels[i]) <= tolerance) {
                ++result.matching;
            }
        }
    }
    return result;
}

}  // namespace kelvane::test
