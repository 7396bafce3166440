// Fitting the source onto the output: the picture's rectangle, the affine maps between the frame's
// coordinates and the picture's, and the region's bounds in the frame texture.
#include "render/source_fit.h"

#include <algorithm>
#include <cstdint>

#include "capture/capture_types.h"

namespace kelvane {
namespace {

bool has_source(const SourceFit& fit) noexcept {
    return fit.source_width > 0 && fit.source_height > 0;
}

// One axis of F: q = scale * n + offset.
struct AxisMap {
    double scale = 1.0;
    double offset = 0.0;
};

// The axis that takes source pixels [start, start + length) of a source `source` pixels long onto
// output pixels [place, place + size) of an output `output` pixels long. With px = (n + 1) * source / 2
// and q = 2 * (place + (px - start) * size / length) / output - 1.
AxisMap axis_map(double start, double length, double source, double place, double size, double output) noexcept {
    const double per_pixel = size / length;
    return AxisMap{per_pixel * source / output, (2.0 * place + per_pixel * (source - 2.0 * start)) / output - 1.0};
}

struct FitAxes {
    AxisMap x;
    AxisMap y;
};

FitAxes fit_axes(const SourceFit& fit, int width, int height) noexcept {
    const SourceRect region = shown_region(fit);
    const FittedPicture picture = fit_picture(fit, width, height);
    return FitAxes{axis_map(region.x, region.width, fit.source_width, picture.left, picture.width, width),
                   axis_map(region.y, region.height, fit.source_height, picture.top, picture.height, height)};
}

Mat3 affine(const AxisMap& x, const AxisMap& y) noexcept {
    return Mat3{{{x.scale, 0, x.offset}, {0, y.scale, y.offset}, {0, 0, 1}}};
}

}  // namespace

SourceRect shown_region(const SourceFit& fit) noexcept {
    const SourceRect whole{0, 0, std::max(fit.source_width, 0), std::max(fit.source_height, 0)};
    const SourceRect& r = fit.region;
    // In 64 bits: a region's far corner may lie past the 32-bit range.
    const std::int64_t left = std::clamp<std::int64_t>(r.x, 0, whole.width);
    const std::int64_t top = std::clamp<std::int64_t>(r.y, 0, whole.height);
    const std::int64_t right = std::clamp<std::int64_t>(static_cast<std::int64_t>(r.x) + r.width, 0, whole.width);
    const std::int64_t bottom = std::clamp<std::int64_t>(static_cast<std::int64_t>(r.y) + r.height, 0, whole.height);
    if (r.width <= 0 || r.height <= 0 || right <= left || bottom <= top) {
        return whole;
    }
    return SourceRect{static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                      static_cast<std::int32_t>(right - left), static_cast<std::int32_t>(bottom - top)};
}

FittedPicture fit_picture(const SourceFit& fit, int width, int height) noexcept {
    const FittedPicture whole{0.0, 0.0, static_cast<double>(std::max(width, 0)),
                              static_cast<double>(std::max(height, 0))};
    if (!has_source(fit) || width <= 0 || height <= 0 || fit.fit == FitMode::stretch) {
        return whole;
    }
    const SourceRect region = shown_region(fit);
    // The side that limits the scale is the output's own length exactly; only the other is computed.
    const std::int64_t across = static_cast<std::int64_t>(width) * region.height;
    const std::int64_t down = static_cast<std::int64_t>(height) * region.width;
    FittedPicture picture = whole;
    if (across <= down) {
        picture.height = static_cast<double>(region.height) * width / region.width;
        picture.top = (height - picture.height) * 0.5;
    } else {
        picture.width = static_cast<double>(region.width) * height / region.height;
        picture.left = (width - picture.width) * 0.5;
    }
    return picture;
}

bool is_identity_fit(const SourceFit& fit, int width, int height) noexcept {
    if (!has_source(fit) || width <= 0 || height <= 0) {
        return true;
    }
    return fit.source_width == width && fit.source_height == height &&
           shown_region(fit) == SourceRect{0, 0, width, height};
}

Mat3 fit_matrix(const SourceFit& fit, int width, int height) noexcept {
    if (is_identity_fit(fit, width, height)) {
        return Mat3::identity();
    }
    const FitAxes axes = fit_axes(fit, width, height);
    return affine(axes.x, axes.y);
}

Mat3 fit_inverse(const SourceFit& fit, int width, int height) noexcept {
    if (is_identity_fit(fit, width, height)) {
        return Mat3::identity();
    }
    const FitAxes axes = fit_axes(fit, width, height);
    // n = (q - offset) / scale; the region and the picture are never empty, so no scale is 0.
    const auto invert = [](const AxisMap& a) { return AxisMap{1.0 / a.scale, -a.offset / a.scale}; };
    return affine(invert(axes.x), invert(axes.y));
}

Mat3 cursor_normalisation(const SourceFit& fit, int width, int height) noexcept {
    if (is_identity_fit(fit, width, height)) {
        return Mat3::identity();
    }
    // n = 2 * px / source - 1 with px = (c + 1) * output / 2.
    const double sx = static_cast<double>(width) / fit.source_width;
    const double sy = static_cast<double>(height) / fit.source_height;
    return affine(AxisMap{sx, sx - 1.0}, AxisMap{sy, sy - 1.0});
}

std::array<float, 4> frame_bounds(const SourceFit& fit, std::uint32_t frame_rotation) noexcept {
    if (!has_source(fit)) {
        return {0.0f, 0.0f, 1.0f, 1.0f};
    }
    const SourceRect r = shown_region(fit);
    const double u0 = static_cast<double>(r.x) / fit.source_width;
    const double v0 = static_cast<double>(r.y) / fit.source_height;
    const double u1 = static_cast<double>(static_cast<std::int64_t>(r.x) + r.width) / fit.source_width;
    const double v1 = static_cast<double>(static_cast<std::int64_t>(r.y) + r.height) / fit.source_height;
    // Where the frame texture holds the desktop's (u, v), as frame_orientation turns it; a rectangle
    // stays a rectangle, with its corners swapped.
    std::array<double, 4> b{u0, v0, u1, v1};
    switch (frame_rotation) {
        case output_rotation_90:  // (v, 1 - u)
            b = {v0, 1.0 - u1, v1, 1.0 - u0};
            break;
        case output_rotation_180:  // (1 - u, 1 - v)
            b = {1.0 - u1, 1.0 - v1, 1.0 - u0, 1.0 - v0};
            break;
        case output_rotation_270:  // (1 - v, u)
            b = {1.0 - v1, u0, 1.0 - v0, u1};
            break;
        default:
            break;
    }
    return {static_cast<float>(b[0]), static_cast<float>(b[1]), static_cast<float>(b[2]), static_cast<float>(b[3])};
}

}  // namespace kelvane
