// Calibration pattern painting: four layers, each later one over the earlier ones, every rectangle
// clipped to the image.
#include "render/calibration_pattern.h"

#include <algorithm>

#include "platform/log.h"

namespace kelvane {
namespace {

class Canvas {
public:
    Canvas(std::uint32_t* pixels, int width, int height) noexcept : pixels_(pixels), width_(width), height_(height) {}

    // Fills columns [x0, x1) of rows [y0, y1), clipped to the image. Bounds are 64-bit so that the
    // letter's offsets from the centre cannot overflow on any image size.
    void fill(std::int64_t x0, std::int64_t x1, std::int64_t y0, std::int64_t y1, std::uint32_t colour) noexcept {
        x0 = std::max<std::int64_t>(x0, 0);
        y0 = std::max<std::int64_t>(y0, 0);
        x1 = std::min<std::int64_t>(x1, width_);
        y1 = std::min<std::int64_t>(y1, height_);
        if (x0 >= x1 || y0 >= y1) {
            return;
        }
        for (std::int64_t y = y0; y < y1; ++y) {
            std::uint32_t* row = pixels_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
            std::fill(row + x0, row + x1, colour);
        }
    }

    void checkerboard() noexcept {
        for (int y = 0; y < height_; ++y) {
            std::uint32_t* row = pixels_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
            const int band = y / pattern_square_size;
            for (int x0 = 0; x0 < width_; x0 += pattern_square_size) {
                const int x1 = std::min(width_ - x0, pattern_square_size) + x0;
                const bool light = ((x0 / pattern_square_size + band) & 1) != 0;
                std::fill(row + x0, row + x1, light ? pattern_light : pattern_dark);
            }
        }
    }

private:
    std::uint32_t* pixels_;
    int width_;
    int height_;
};

}  // namespace

int pattern_corner_side(int width, int height) noexcept {
    return std::min(std::min(width, height) / pattern_corner_divisor, pattern_corner_max);
}

int pattern_letter_unit(int height) noexcept {
    return std::max(height / pattern_letter_divisor, pattern_letter_min_unit);
}

bool paint_pattern(std::uint32_t* pixels, std::size_t pixel_count, int width, int height) noexcept {
    if (width <= 0 || height <= 0) {
        return true;
    }
    const std::uint64_t needed = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    if (pixels == nullptr || needed > pixel_count) {
        log_message("pattern: image buffer of %zu pixels is too small for %dx%d", pixels != nullptr ? pixel_count : 0,
                    width, height);
        return false;
    }

    Canvas canvas(pixels, width, height);
    const std::int64_t w = width;
    const std::int64_t h = height;

    canvas.checkerboard();

    const std::int64_t border = pattern_border_width;
    canvas.fill(0, w, 0, border, pattern_white);
    canvas.fill(0, w, h - border, h, pattern_white);
    canvas.fill(0, border, 0, h, pattern_white);
    canvas.fill(w - border, w, 0, h, pattern_white);

    const std::int64_t d = pattern_corner_side(width, height);
    canvas.fill(0, d, 0, d, pattern_top_left);
    canvas.fill(w - d, w, 0, d, pattern_top_right);
    canvas.fill(0, d, h - d, h, pattern_bottom_left);
    canvas.fill(w - d, w, h - d, h, pattern_bottom_right);

    // The letter F: stem on the left, bars pointing right, read upright when neither mirrored nor turned.
    const std::int64_t cx = w / 2;
    const std::int64_t cy = h / 2;
    const std::int64_t u = pattern_letter_unit(height);
    canvas.fill(cx - 2 * u, cx - u, cy - 3 * u, cy + 3 * u, pattern_white);
    canvas.fill(cx - 2 * u, cx + 2 * u, cy - 3 * u, cy - 2 * u, pattern_white);
    canvas.fill(cx - 2 * u, cx + u, cy - u / 2, cy + u / 2, pattern_white);
    return true;
}

}  // namespace kelvane
