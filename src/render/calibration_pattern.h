// The calibration test image painted on the CPU: a checkerboard that shows keystone distortion, a
// white border at the image edges, four differently coloured corner squares and a letter F, which has
// no mirror or rotation symmetry, in the centre. The GPU upload lives with the renderer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvane {

// Opaque B8G8R8A8 words (0xAARRGGBB).
inline constexpr std::uint32_t pattern_dark = 0xFF202020u;
inline constexpr std::uint32_t pattern_light = 0xFF3A3A3Au;
inline constexpr std::uint32_t pattern_white = 0xFFFFFFFFu;
inline constexpr std::uint32_t pattern_top_left = 0xFFE03030u;      // red
inline constexpr std::uint32_t pattern_top_right = 0xFF30C030u;     // green
inline constexpr std::uint32_t pattern_bottom_left = 0xFF3060E0u;   // blue
inline constexpr std::uint32_t pattern_bottom_right = 0xFFE0D030u;  // yellow

inline constexpr int pattern_square_size = 64;
inline constexpr int pattern_border_width = 8;
inline constexpr int pattern_corner_max = 160;
inline constexpr int pattern_corner_divisor = 6;   // corner side = smaller image side / 6, at most 160
inline constexpr int pattern_letter_divisor = 14;  // letter unit = height / 14, at least 8
inline constexpr int pattern_letter_min_unit = 8;

// Side of the corner squares for an image of this size.
[[nodiscard]] int pattern_corner_side(int width, int height) noexcept;
// Unit of the letter F (it is 4 units wide and 6 high) for an image of this height.
[[nodiscard]] int pattern_letter_unit(int height) noexcept;

// Paints the pattern into `pixels`, `width` x `height` words, rows back to back from the top row.
// An image with no pixels paints nothing and succeeds. Returns false, paints nothing and logs when
// `pixel_count` is smaller than the image.
bool paint_pattern(std::uint32_t* pixels, std::size_t pixel_count, int width, int height) noexcept;

}  // namespace kelvane
