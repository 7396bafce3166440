// What the mirror shows when it is not its own monitor's desktop: a rectangle of the source monitor
// (the `source_region` setting, "X,Y,W,H" in that monitor's pixels from its top-left corner) and how
// it is fitted onto the mirrored monitor. The region is read and checked against the monitor's size
// each time a mirror starts, because a mode change may shrink the monitor under a region that fitted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvane {

// How the source picture is laid onto the mirrored monitor.
enum class FitMode {
    contain,  // scaled to fit with its aspect kept, centred, black around
    stretch,  // scaled to fill, each axis on its own
};

// "contain" or "stretch"; none for anything else.
[[nodiscard]] std::optional<FitMode> parse_fit_mode(std::string_view text) noexcept;
[[nodiscard]] const char* fit_mode_name(FitMode mode) noexcept;

// A rectangle in a monitor's pixels, from its top-left corner.
struct SourceRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    friend bool operator==(const SourceRect& a, const SourceRect& b) {
        return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
    }
    friend bool operator!=(const SourceRect& a, const SourceRect& b) { return !(a == b); }
};

// Why a region's text cannot be used.
enum class RegionProblem {
    none,
    not_four_numbers,  // not "X,Y,W,H" with four whole numbers
    negative,          // a corner left of or above the monitor's
    empty,             // no width or no height
};

// Reads "X,Y,W,H" (blanks around the numbers allowed). None, with the reason in `problem`, when the
// text is not four whole numbers in 32 bits, or the rectangle has a negative corner or no area.
[[nodiscard]] std::optional<SourceRect> parse_source_region(std::string_view text, RegionProblem& problem) noexcept;
[[nodiscard]] std::string format_source_region(const SourceRect& rect);
[[nodiscard]] const char* region_problem_text(RegionProblem problem) noexcept;

// What a region comes to on a monitor of `monitor_width` x `monitor_height`.
struct RegionOnMonitor {
    SourceRect rect;       // the part of the monitor that is shown
    bool whole = true;     // the whole monitor (no region, or one that cannot be used there)
    bool clamped = false;  // the region reached past the monitor and was cut to it
    bool outside = false;  // the region lies wholly past the monitor: the whole monitor is shown
};

// `region` on a monitor of that size: cut to it where it reaches past; the whole monitor where it lies
// wholly past it, or has a negative corner or no area.
[[nodiscard]] RegionOnMonitor place_region(const SourceRect& region, std::int32_t monitor_width,
                                           std::int32_t monitor_height) noexcept;

// The region text of the settings on a monitor of that size: empty text means the whole monitor; a
// text that cannot be read (logged by the caller from `problem`) or a region wholly past the monitor
// gives the whole monitor; one partly past it is cut to it.
[[nodiscard]] RegionOnMonitor place_source_region(std::string_view text, std::int32_t monitor_width,
                                                  std::int32_t monitor_height, RegionProblem& problem) noexcept;

}  // namespace kelvane
