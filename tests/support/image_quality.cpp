// Ideal area resampling, the shrink mask, PSNR and SSIM.
#include "support/image_quality.h"

#include <algorithm>
#include <cmath>

namespace kelvane::test {
namespace {

constexpr double peak = 255.0;
constexpr int ssim_radius = 3;
constexpr double ssim_c1 = (0.01 * peak) * (0.01 * peak);
constexpr double ssim_c2 = (0.03 * peak) * (0.03 * peak);

int channel(std::uint32_t word, int shift) {
    return static_cast<int>((word >> shift) & 0xFFu);
}

double luminance(std::uint32_t word) {
    return 0.2126 * channel(word, 16) + 0.7152 * channel(word, 8) + 0.0722 * channel(word, 0);
}

// The source point of output point (px, py) in pixels, in texture coordinates.
Point2 source_point(const WarpCB& rows, double px, double py, int width, int height) {
    const double cx = 2.0 * px / width - 1.0;
    const double cy = 2.0 * py / height - 1.0;
    const float* r[3] = {rows.row0, rows.row1, rows.row2};
    double h[3];
    for (int i = 0; i < 3; ++i) {
        h[i] = r[i][0] * cx + r[i][1] * cy + r[i][2];
    }
    return {(h[0] / h[2] + 1.0) * 0.5, (h[1] / h[2] + 1.0) * 0.5};
}

bool inside(const Point2& t) {
    return t.x >= 0.0 && t.x < 1.0 && t.y >= 0.0 && t.y < 1.0;
}

}  // namespace

Image ideal_warp(const Image& source, const WarpCB& rows, int width, int height, int grid) {
    Image out(width, height, 0xFF000000u);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double sum[3] = {0.0, 0.0, 0.0};
            for (int j = 0; j < grid; ++j) {
                for (int i = 0; i < grid; ++i) {
                    const Point2 t = source_point(rows, x + (i + 0.5) / grid, y + (j + 0.5) / grid, width, height);
                    if (!inside(t)) {
                        continue;
                    }
                    const std::uint32_t texel =
                        source.at(static_cast<int>(t.x * source.width), static_cast<int>(t.y * source.height));
                    for (int c = 0; c < 3; ++c) {
                        sum[c] += channel(texel, 16 - 8 * c);
                    }
                }
            }
            const double count = static_cast<double>(grid) * grid;
            std::uint32_t word = 0xFF000000u;
            for (int c = 0; c < 3; ++c) {
                word |= static_cast<std::uint32_t>(std::lround(sum[c] / count)) << (16 - 8 * c);
            }
            out.at(x, y) = word;
        }
    }
    return out;
}

std::vector<bool> shrunk_pixels(const WarpCB& rows, int source_width, int source_height, int width, int height,
                                float area) {
    std::vector<bool> mask(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), false);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float cx = 2.0f * ((static_cast<float>(x) + 0.5f) / static_cast<float>(width)) - 1.0f;
            const float cy = 2.0f * ((static_cast<float>(y) + 0.5f) / static_cast<float>(height)) - 1.0f;
            const Reach r = warp_reach(rows, cx, cy, source_width, source_height, width, height);
            const bool corners_inside = inside(source_point(rows, x, y, width, height)) &&
                                        inside(source_point(rows, x + 1, y, width, height)) &&
                                        inside(source_point(rows, x, y + 1, width, height)) &&
                                        inside(source_point(rows, x + 1, y + 1, width, height));
            mask[static_cast<std::size_t>(y) * width + x] =
                corners_inside && std::fabs(r.right_x * r.down_y - r.right_y * r.down_x) >= area;
        }
    }
    return mask;
}

Quality picture_quality(const Image& actual, const Image& ideal, const std::vector<bool>& mask) {
    Quality quality;
    double squared = 0.0;
    double ssim_sum = 0.0;
    for (int y = 0; y < ideal.height; ++y) {
        for (int x = 0; x < ideal.width; ++x) {
            if (!mask[static_cast<std::size_t>(y) * ideal.width + x]) {
                continue;
            }
            for (int shift = 0; shift < 24; shift += 8) {
                const double d = channel(actual.at(x, y), shift) - channel(ideal.at(x, y), shift);
                squared += d * d;
            }
            double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0, n = 0;
            for (int v = std::max(y - ssim_radius, 0); v <= std::min(y + ssim_radius, ideal.height - 1); ++v) {
                for (int u = std::max(x - ssim_radius, 0); u <= std::min(x + ssim_radius, ideal.width - 1); ++u) {
                    const double a = luminance(actual.at(u, v));
                    const double b = luminance(ideal.at(u, v));
                    sa += a, sb += b, saa += a * a, sbb += b * b, sab += a * b, n += 1;
                }
            }
            const double ma = sa / n, mb = sb / n;
            const double va = saa / n - ma * ma, vb = sbb / n - mb * mb, cov = sab / n - ma * mb;
            ssim_sum +=
                ((2 * ma * mb + ssim_c1) * (2 * cov + ssim_c2)) / ((ma * ma + mb * mb + ssim_c1) * (va + vb + ssim_c2));
            ++quality.pixels;
        }
    }
    if (quality.pixels > 0) {
        const double mse = squared / (3.0 * quality.pixels);
        quality.psnr = mse > 0.0 ? 10.0 * std::log10(peak * peak / mse) : INFINITY;
        quality.ssim = ssim_sum / quality.pixels;
    }
    return quality;
}

}  // namespace kelvane::test
