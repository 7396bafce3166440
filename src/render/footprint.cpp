// Footprint sampling: the count rule, the two reaches and the shader's constants.
#include "render/footprint.h"

#include <algorithm>
#include <cmath>

namespace kelvane {
namespace {

float ratio(int numerator, int denominator) noexcept {
    return denominator > 0 && numerator > 0 ? static_cast<float>(numerator) / static_cast<float>(denominator) : 0.0f;
}

struct ScreenPoint {
    double x;
    double y;
};

// The viewport transform of a clip-space vertex: (-1, 1) is the output's top-left corner.
ScreenPoint to_screen(const CursorVertex& v, int width, int height) noexcept {
    return {(static_cast<double>(v.x) + 1.0) * 0.5 * width, (1.0 - static_cast<double>(v.y)) * 0.5 * height};
}

// The reach of a triangle whose texture coordinates step by `sign` along the edges base->a (in u) and
// base->b (in v): the inverse of the edge matrix, scaled to texels.
Reach triangle_reach(ScreenPoint base, ScreenPoint a, ScreenPoint b, double sign, int sprite_width,
                     int sprite_height) noexcept {
    const double ax = a.x - base.x, ay = a.y - base.y;
    const double bx = b.x - base.x, by = b.y - base.y;
    const double det = ax * by - bx * ay;
    if (!(std::fabs(det) >= singular_threshold)) {
        return {};
    }
    // [du/dx du/dy; dv/dx dv/dy] = sign * inverse([ax bx; ay by]).
    const double s = sign / det;
    const double su = s * sprite_width;
    const double sv = s * sprite_height;
    return {static_cast<float>(by * su), static_cast<float>(-ay * sv), static_cast<float>(-bx * su),
            static_cast<float>(ax * sv)};
}

// True when every pixel centre of the tile with corner pixels (x0, y0) and (x1, y1) samples outside
// the rows' bounds, beyond one of their four edges, where the shader shows black. Each edge is a line
// on the screen wherever the homogeneous weight stays positive, so the tile is wholly beyond it when
// its four corners are.
bool tile_outside_bounds(const WarpCB& rows, float x0, float y0, float x1, float y1) noexcept {
    const float* r[3] = {rows.row0, rows.row1, rows.row2};
    const std::array<std::array<float, 2>, 4> corners{{{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}}};
    // Per edge (left, top, right, bottom of the bounds), how many corners lie beyond it.
    int beyond[4] = {0, 0, 0, 0};
    for (const auto& corner : corners) {
        float h[3];
        for (int i = 0; i < 3; ++i) {
            h[i] = r[i][0] * corner[0] + r[i][1] * corner[1] + r[i][2];
        }
        if (!(h[2] > 0.0f)) {
            return false;
        }
        const float s = (h[0] / h[2] + 1.0f) * 0.5f;
        const float t = (h[1] / h[2] + 1.0f) * 0.5f;
        beyond[0] += s < rows.bounds[0] ? 1 : 0;
        beyond[1] += t < rows.bounds[1] ? 1 : 0;
        beyond[2] += s > rows.bounds[2] ? 1 : 0;
        beyond[3] += t > rows.bounds[3] ? 1 : 0;
    }
    return std::any_of(std::begin(beyond), std::end(beyond), [](int n) { return n == 4; });
}

}  // namespace

int footprint_samples(float length) noexcept {
    if (!(length >= footprint_single_reach)) {
        return 1;
    }
    // 2 from footprint_single_reach on, one more per texel after it.
    const float count = std::floor(length + (2.0f - footprint_single_reach));
    return count >= static_cast<float>(footprint_sample_cap) ? footprint_sample_cap : static_cast<int>(count);
}

Reach warp_reach(const WarpCB& rows, float cx, float cy, int source_width, int source_height, int width,
                 int height) noexcept {
    const float* r[3] = {rows.row0, rows.row1, rows.row2};
    float h[3];
    for (int i = 0; i < 3; ++i) {
        h[i] = r[i][0] * cx + r[i][1] * cy + r[i][2];
    }
    const float sx = h[0] / h[2];
    const float sy = h[1] / h[2];
    // d(h.xy / h.z) = (d h.xy - s d h.z) / h.z, per unit of normalised output x and y.
    const float dxx = (r[0][0] - sx * r[2][0]) / h[2];
    const float dxy = (r[1][0] - sy * r[2][0]) / h[2];
    const float dyx = (r[0][1] - sx * r[2][1]) / h[2];
    const float dyy = (r[1][1] - sy * r[2][1]) / h[2];
    return {dxx * ratio(source_width, width), dxy * ratio(source_height, width), dyx * ratio(source_width, height),
            dyy * ratio(source_height, height)};
}

std::array<Reach, 2> cursor_reach(const std::array<CursorVertex, 4>& quad, int sprite_width, int sprite_height,
                                  int width, int height) noexcept {
    const ScreenPoint tl = to_screen(quad[0], width, height);
    const ScreenPoint tr = to_screen(quad[1], width, height);
    const ScreenPoint bl = to_screen(quad[2], width, height);
    const ScreenPoint br = to_screen(quad[3], width, height);
    // The first triangle's texture coordinates grow from the top-left corner, the second's shrink
    // from the bottom-right one.
    return {triangle_reach(tl, tr, bl, 1.0, sprite_width, sprite_height),
            triangle_reach(br, bl, tr, -1.0, sprite_width, sprite_height)};
}

FootprintTiles footprint_tiles(const WarpCB& rows, int source_width, int source_height, int width, int height,
                               int cap) {
    FootprintTiles tiles;
    if (width <= 0 || height <= 0) {
        return tiles;
    }
    cap = std::clamp(cap, 1, footprint_sample_cap);
    tiles.columns = (width + footprint_tile_size - 1) / footprint_tile_size;
    tiles.rows = (height + footprint_tile_size - 1) / footprint_tile_size;
    tiles.samples.assign(static_cast<std::size_t>(tiles.columns) * static_cast<std::size_t>(tiles.rows), 1);
    const auto normalised = [](int pixel, int size) {
        return 2.0f * ((static_cast<float>(pixel) + 0.5f) / static_cast<float>(size)) - 1.0f;
    };
    for (int row = 0; row < tiles.rows; ++row) {
        const int y0 = row * footprint_tile_size;
        const int y1 = std::min(y0 + footprint_tile_size, height) - 1;
        for (int column = 0; column < tiles.columns; ++column) {
            const int x0 = column * footprint_tile_size;
            const int x1 = std::min(x0 + footprint_tile_size, width) - 1;
            const int points[5][2] = {{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}, {(x0 + x1) / 2, (y0 + y1) / 2}};
            int most = 1;
            // Black bands beside a fitted picture (and what a keystone leaves) need no samples.
            if (tile_outside_bounds(rows, normalised(x0, width), normalised(y0, height), normalised(x1, width),
                                    normalised(y1, height))) {
                continue;
            }
            for (const auto& point : points) {
                const Reach r = warp_reach(rows, normalised(point[0], width), normalised(point[1], height),
                                           source_width, source_height, width, height);
                most = std::max({most, footprint_samples(std::hypot(r.right_x, r.right_y)),
                                 footprint_samples(std::hypot(r.down_x, r.down_y))});
            }
            tiles.samples[static_cast<std::size_t>(row) * tiles.columns + column] =
                static_cast<std::uint8_t>(std::min(most, cap));
        }
    }
    return tiles;
}

int tile_samples(const FootprintTiles& tiles, int x, int y) noexcept {
    const int column = x / footprint_tile_size;
    const int row = y / footprint_tile_size;
    if (x < 0 || y < 0 || column >= tiles.columns || row >= tiles.rows) {
        return 1;
    }
    return tiles.samples[static_cast<std::size_t>(row) * tiles.columns + column];
}

std::vector<float> tile_triangles(const FootprintTiles& tiles, int samples, int width, int height) {
    std::vector<float> vertices;
    const auto clip_x = [&](int x) { return 2.0f * static_cast<float>(x) / static_cast<float>(width) - 1.0f; };
    const auto clip_y = [&](int y) { return 1.0f - 2.0f * static_cast<float>(y) / static_cast<float>(height); };
    for (int row = 0; row < tiles.rows; ++row) {
        for (int column = 0; column < tiles.columns; ++column) {
            if (tiles.samples[static_cast<std::size_t>(row) * tiles.columns + column] != samples) {
                continue;
            }
            const float left = clip_x(column * footprint_tile_size);
            const float right = clip_x(std::min((column + 1) * footprint_tile_size, width));
            const float top = clip_y(row * footprint_tile_size);
            const float bottom = clip_y(std::min((row + 1) * footprint_tile_size, height));
            vertices.insert(vertices.end(),
                            {left, top, right, top, left, bottom, left, bottom, right, top, right, bottom});
        }
    }
    return vertices;
}

bool operator==(const FootprintCB& a, const FootprintCB& b) noexcept {
    const auto same = [](const float* x, const float* y, std::size_t n) { return std::equal(x, x + n, y); };
    return same(a.source_size, b.source_size, 4) && same(a.reach_scale, b.reach_scale, 4) &&
           same(a.sprite_size, b.sprite_size, 4) && same(a.sprite_reach[0], b.sprite_reach[0], 4) &&
           same(a.sprite_reach[1], b.sprite_reach[1], 4);
}

void set_footprint_source(FootprintCB& constants, int source_width, int source_height, int width, int height) noexcept {
    const bool sized = source_width > 0 && source_height > 0 && width > 0 && height > 0;
    constants.source_size[0] = sized ? static_cast<float>(source_width) : 0.0f;
    constants.source_size[1] = sized ? static_cast<float>(source_height) : 0.0f;
    constants.source_size[2] = sized ? 1.0f / static_cast<float>(source_width) : 0.0f;
    constants.source_size[3] = sized ? 1.0f / static_cast<float>(source_height) : 0.0f;
    constants.reach_scale[0] = sized ? ratio(source_width, width) : 0.0f;
    constants.reach_scale[1] = sized ? ratio(source_height, width) : 0.0f;
    constants.reach_scale[2] = sized ? ratio(source_width, height) : 0.0f;
    constants.reach_scale[3] = sized ? ratio(source_height, height) : 0.0f;
}

void set_footprint_sprite(FootprintCB& constants, int sprite_width, int sprite_height,
                          const std::array<Reach, 2>& reach) noexcept {
    constants.sprite_size[0] = static_cast<float>(std::max(sprite_width, 0));
    constants.sprite_size[1] = static_cast<float>(std::max(sprite_height, 0));
    for (std::size_t i = 0; i < reach.size(); ++i) {
        const Reach& r = reach[i];
        const float values[4] = {r.right_x, r.right_y, r.down_x, r.down_y};
        std::copy(std::begin(values), std::end(values), constants.sprite_reach[i]);
    }
}

}  // namespace kelvane
