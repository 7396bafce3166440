// Changed regions: box arithmetic, the tile grid, and merging boxes down to a few.
#include "capture/changed_regions.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace kelvane {
namespace {

// Past this many boxes, pairwise merging costs more than it saves: everything becomes one box.
constexpr std::size_t pairwise_merge_limit = 64;

[[nodiscard]] std::int32_t ceil_div(std::int32_t value, std::int32_t divisor) noexcept {
    return static_cast<std::int32_t>((static_cast<std::int64_t>(value) + divisor - 1) / divisor);
}

void unite_overlapping(std::vector<PixelBox>& boxes) {
    bool merged = true;
    while (merged) {
        merged = false;
        for (std::size_t i = 0; i < boxes.size() && !merged; ++i) {
            for (std::size_t j = i + 1; j < boxes.size(); ++j) {
                if (overlap(boxes[i], boxes[j])) {
                    boxes[i] = unite(boxes[i], boxes[j]);
                    boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(j));
                    merged = true;
                    break;
                }
            }
        }
    }
}

}  // namespace

std::int64_t PixelBox::area() const noexcept {
    return empty() ? 0 : (static_cast<std::int64_t>(right) - left) * (static_cast<std::int64_t>(bottom) - top);
}

PixelBox unite(const PixelBox& a, const PixelBox& b) noexcept {
    if (a.empty()) {
        return b;
    }
    if (b.empty()) {
        return a;
    }
    return PixelBox{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                    std::max(a.bottom, b.bottom)};
}

PixelBox intersect(const PixelBox& a, const PixelBox& b) noexcept {
    const PixelBox box{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                       std::min(a.bottom, b.bottom)};
    return box.empty() ? PixelBox{} : box;
}

bool overlap(const PixelBox& a, const PixelBox& b) noexcept {
    return !intersect(a, b).empty();
}

TileGrid::TileGrid(std::int32_t width, std::int32_t height, std::int32_t tile)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      tile_(std::max(tile, 1)),
      columns_(ceil_div(width_, tile_)),
      rows_(ceil_div(height_, tile_)),
      flags_(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_), 0) {}

bool TileGrid::any() const noexcept {
    return std::any_of(flags_.begin(), flags_.end(), [](std::uint8_t flag) { return flag != 0; });
}

void TileGrid::clear() noexcept {
    std::fill(flags_.begin(), flags_.end(), std::uint8_t{0});
}

void TileGrid::mark(const PixelBox& box) noexcept {
    const PixelBox inside = intersect(box, PixelBox{0, 0, width_, height_});
    if (inside.empty()) {
        return;
    }
    const std::int32_t column_end = ceil_div(inside.right, tile_);
    const std::int32_t row_end = ceil_div(inside.bottom, tile_);
    for (std::int32_t row = inside.top / tile_; row < row_end; ++row) {
        for (std::int32_t column = inside.left / tile_; column < column_end; ++column) {
            flags_[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) +
                   static_cast<std::size_t>(column)] = 1;
        }
    }
}

std::vector<PixelBox> TileGrid::boxes(std::size_t max_boxes) const {
    // Runs of set tiles in each row; a run continues the box above it when it spans the same columns.
    std::vector<PixelBox> boxes;
    std::vector<std::size_t> open;  // boxes that end at the row above
    for (std::int32_t row = 0; row < rows_; ++row) {
        std::vector<std::size_t> still_open;
        const std::uint8_t* row_flags =
            flags_.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_);
        for (std::int32_t column = 0; column < columns_;) {
            if (row_flags[column] == 0) {
                ++column;
                continue;
            }
            const std::int32_t start = column;
            while (column < columns_ && row_flags[column] != 0) {
                ++column;
            }
            const PixelBox run{start * tile_, row * tile_, std::min(column * tile_, width_),
                               std::min((row + 1) * tile_, height_)};
            const auto above = std::find_if(open.begin(), open.end(), [&](std::size_t index) {
                return boxes[index].left == run.left && boxes[index].right == run.right;
            });
            if (above != open.end()) {
                boxes[*above].bottom = run.bottom;
                still_open.push_back(*above);
            } else {
                boxes.push_back(run);
                still_open.push_back(boxes.size() - 1);
            }
        }
        open = std::move(still_open);
    }
    merge_boxes(boxes, max_boxes);
    return boxes;
}

void Damage::add(const PixelBox& box) {
    if (!everything && !box.empty()) {
        boxes.push_back(box);
    }
}

void Damage::add(const Damage& other) {
    if (other.everything) {
        everything = true;
        boxes.clear();
        return;
    }
    for (const PixelBox& box : other.boxes) {
        add(box);
    }
}

void Damage::simplify(std::int32_t width, std::int32_t height) {
    if (everything) {
        boxes.clear();
        return;
    }
    merge_boxes(boxes, max_change_boxes);
    const std::int64_t covered =
        std::accumulate(boxes.begin(), boxes.end(), std::int64_t{0},
                        [](std::int64_t sum, const PixelBox& box) { return sum + box.area(); });
    const double screen = static_cast<double>(width) * static_cast<double>(height);
    if (screen > 0.0 && static_cast<double>(covered) > whole_redraw_share * screen) {
        everything = true;
        boxes.clear();
    }
}

void merge_boxes(std::vector<PixelBox>& boxes, std::size_t max_boxes) {
    boxes.erase(std::remove_if(boxes.begin(), boxes.end(), [](const PixelBox& box) { return box.empty(); }),
                boxes.end());
    max_boxes = std::max<std::size_t>(max_boxes, 1);
    if (boxes.size() > pairwise_merge_limit) {
        const PixelBox all = std::accumulate(boxes.begin(), boxes.end(), PixelBox{}, unite);
        boxes.assign(1, all);
        return;
    }
    unite_overlapping(boxes);
    while (boxes.size() > max_boxes) {
        std::size_t best_i = 0;
        std::size_t best_j = 1;
        std::int64_t best_growth = std::numeric_limits<std::int64_t>::max();
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            for (std::size_t j = i + 1; j < boxes.size(); ++j) {
                const std::int64_t growth = unite(boxes[i], boxes[j]).area() - boxes[i].area() - boxes[j].area();
                if (growth < best_growth) {
                    best_growth = growth;
                    best_i = i;
                    best_j = j;
                }
            }
        }
        boxes[best_i] = unite(boxes[best_i], boxes[best_j]);
        boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(best_j));
        // A merged box may now overlap a third; overlapping boxes would be drawn twice.
        unite_overlapping(boxes);
    }
}

}  // namespace kelvane
