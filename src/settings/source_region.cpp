// The source region's text, its checks, and its place on a monitor of a given size.
#include "settings/source_region.h"

#include <algorithm>
#include <array>
#include <limits>

namespace kelvane {
namespace {

[[nodiscard]] bool is_blank(char c) noexcept {
    return c == ' ' || c == '\t';
}

// One whole number with blanks around it, in 32 bits.
[[nodiscard]] bool read_whole_number(std::string_view text, std::int32_t& value) noexcept {
    std::size_t at = 0;
    while (at < text.size() && is_blank(text[at])) {
        ++at;
    }
    std::size_t end = text.size();
    while (end > at && is_blank(text[end - 1])) {
        --end;
    }
    bool negative = false;
    if (at < end && (text[at] == '-' || text[at] == '+')) {
        negative = text[at] == '-';
        ++at;
    }
    if (at == end) {
        return false;
    }
    std::int64_t magnitude = 0;
    for (; at < end; ++at) {
        if (text[at] < '0' || text[at] > '9') {
            return false;
        }
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
            return false;
        }
    }
    const std::int64_t signed_value = negative ? -magnitude : magnitude;
    if (signed_value > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    value = static_cast<std::int32_t>(signed_value);
    return true;
}

}  // namespace

std::optional<FitMode> parse_fit_mode(std::string_view text) noexcept {
    if (text == "contain") {
        return FitMode::contain;
    }
    if (text == "stretch") {
        return FitMode::stretch;
    }
    return std::nullopt;
}

const char* fit_mode_name(FitMode mode) noexcept {
    return mode == FitMode::stretch ? "stretch" : "contain";
}

std::optional<SourceRect> parse_source_region(std::string_view text, RegionProblem& problem) noexcept {
    std::array<std::int32_t, 4> numbers{};
    std::size_t count = 0;
    for (;;) {
        const std::size_t comma = text.find(',');
        if (count == numbers.size() || !read_whole_number(text.substr(0, comma), numbers[count])) {
            problem = RegionProblem::not_four_numbers;
            return std::nullopt;
        }
        ++count;
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    if (count != numbers.size()) {
        problem = RegionProblem::not_four_numbers;
        return std::nullopt;
    }
    const SourceRect rect{numbers[0], numbers[1], numbers[2], numbers[3]};
    if (rect.x < 0 || rect.y < 0) {
        problem = RegionProblem::negative;
        return std::nullopt;
    }
    if (rect.width <= 0 || rect.height <= 0) {
        problem = RegionProblem::empty;
        return std::nullopt;
    }
    problem = RegionProblem::none;
    return rect;
}

std::string format_source_region(const SourceRect& rect) {
    return std::to_string(rect.x) + ',' + std::to_string(rect.y) + ',' + std::to_string(rect.width) + ',' +
           std::to_string(rect.height);
}

const char* region_problem_text(RegionProblem problem) noexcept {
    switch (problem) {
        case RegionProblem::not_four_numbers:
            return "is not four whole numbers X,Y,W,H";
        case RegionProblem::negative:
            return "starts left of or above the monitor";
        case RegionProblem::empty:
            return "has no width or no height";
        case RegionProblem::none:
            break;
    }
    return "can be used";
}

RegionOnMonitor place_region(const SourceRect& region, std::int32_t monitor_width,
                             std::int32_t monitor_height) noexcept {
    RegionOnMonitor placed;
    placed.rect = SourceRect{0, 0, std::max(monitor_width, 0), std::max(monitor_height, 0)};
    if (region.x < 0 || region.y < 0 || region.width <= 0 || region.height <= 0) {
        return placed;
    }
    // Right and bottom edges in 64 bits: a region near the 32-bit limit must not wrap.
    const std::int64_t right = std::min<std::int64_t>(std::int64_t{region.x} + region.width, placed.rect.width);
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{region.y} + region.height, placed.rect.height);
    if (right <= region.x || bottom <= region.y) {
        placed.outside = true;
        return placed;
    }
    placed.whole = false;
    placed.rect = SourceRect{region.x, region.y, static_cast<std::int32_t>(right - region.x),
                             static_cast<std::int32_t>(bottom - region.y)};
    placed.clamped = placed.rect != region;
    return placed;
}

RegionOnMonitor place_source_region(std::string_view text, std::int32_t monitor_width, std::int32_t monitor_height,
                                    RegionProblem& problem) noexcept {
    problem = RegionProblem::none;
    const std::optional<SourceRect> region = text.empty() ? std::nullopt : parse_source_region(text, problem);
    return region ? place_region(*region, monitor_width, monitor_height)
                  : place_region(SourceRect{}, monitor_width, monitor_height);
}

}  // namespace kelvane
