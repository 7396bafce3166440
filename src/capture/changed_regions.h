// Where a desktop frame changed, in the frame's own pixels: the rectangles Desktop Duplication reports
// turned into the tiles to compare, the tiles that really differ turned back into a few boxes to copy
// and redraw. Free of Windows headers, so that the arithmetic is tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvane {

// A rectangle of pixels, right and bottom exclusive (as RECT).
struct PixelBox {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    [[nodiscard]] constexpr bool empty() const noexcept { return right <= left || bottom <= top; }
    [[nodiscard]] std::int64_t area() const noexcept;
    friend constexpr bool operator==(const PixelBox& a, const PixelBox& b) noexcept {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
};

[[nodiscard]] PixelBox unite(const PixelBox& a, const PixelBox& b) noexcept;
[[nodiscard]] PixelBox intersect(const PixelBox& a, const PixelBox& b) noexcept;
[[nodiscard]] bool overlap(const PixelBox& a, const PixelBox& b) noexcept;

// Edge of the square tiles in which frames are compared: small enough that a blinking caret or a
// ticking clock changes a few hundred pixels, large enough that a 4K frame has some 32 000 tiles.
inline constexpr std::int32_t change_tile_size = 16;
// Boxes copied or drawn for one frame at most; more are merged, at the least growth of area.
inline constexpr std::size_t max_change_boxes = 8;

// A grid of tiles over a `width` x `height` frame, one byte a tile (non-zero: set), row-major.
class TileGrid {
public:
    TileGrid() = default;
    TileGrid(std::int32_t width, std::int32_t height, std::int32_t tile = change_tile_size);

    [[nodiscard]] std::int32_t columns() const noexcept { return columns_; }
    [[nodiscard]] std::int32_t rows() const noexcept { return rows_; }
    [[nodiscard]] std::int32_t tile() const noexcept { return tile_; }
    [[nodiscard]] std::int32_t width() const noexcept { return width_; }
    [[nodiscard]] std::int32_t height() const noexcept { return height_; }
    [[nodiscard]] std::vector<std::uint8_t>& flags() noexcept { return flags_; }
    [[nodiscard]] const std::vector<std::uint8_t>& flags() const noexcept { return flags_; }
    [[nodiscard]] bool any() const noexcept;

    void clear() noexcept;
    // Sets every tile that `box` (in pixels, clipped to the frame) touches.
    void mark(const PixelBox& box) noexcept;
    // The set tiles as at most `max_boxes` boxes in pixels, clipped to the frame, covering every set
    // tile (and, where boxes had to be merged, some unset ones).
    [[nodiscard]] std::vector<PixelBox> boxes(std::size_t max_boxes = max_change_boxes) const;

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t tile_ = change_tile_size;
    std::int32_t columns_ = 0;
    std::int32_t rows_ = 0;
    std::vector<std::uint8_t> flags_;
};

// What changed: nothing, a few boxes, or everything.
struct Damage {
    bool everything = false;
    std::vector<PixelBox> boxes;

    [[nodiscard]] bool none() const noexcept { return !everything && boxes.empty(); }
    void add(const PixelBox& box);
    void add(const Damage& other);
    // Merges the boxes to a few, and to everything when they cover most of a `width` x `height` area.
    void simplify(std::int32_t width, std::int32_t height);
};

// Above this share of the area, one whole copy or redraw is cheaper than many partial ones.
inline constexpr double whole_redraw_share = 0.6;

// Unites overlapping boxes, then merges pairs, the one whose union adds the least area first, until at
// most `max_boxes` remain. Empty boxes go. Every pixel of the input stays covered.
void merge_boxes(std::vector<PixelBox>& boxes, std::size_t max_boxes = max_change_boxes);

}  // namespace kelvane
