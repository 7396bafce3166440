// The region selection window's decisions: what a press, the moves, a release, Enter and Esc make of
// the selection on one monitor, and what the window shows for it (the dim around the selected
// rectangle and its outline) as rectangles and pixels. Everything is in desktop pixels; the window
// turns its client coordinates into them and finds the window under a click (region_picker_win32).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "display/monitor_list.h"

namespace kelvane {

// How far the pointer may move from where the button went down, in each direction, and still make a
// click rather than a drag: the system's default drag distance at 96 DPI (SM_CXDRAG), scaled by the
// window with its monitor's DPI.
inline constexpr std::int32_t default_drag_threshold = 4;
// The outline's thickness at 96 DPI.
inline constexpr std::int32_t default_outline_width = 2;

[[nodiscard]] constexpr bool rect_has_area(const MonitorRect& rect) noexcept {
    return rect.right > rect.left && rect.bottom > rect.top;
}

[[nodiscard]] constexpr bool same_rect(const MonitorRect& a, const MonitorRect& b) noexcept {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

[[nodiscard]] constexpr bool same_rect(const std::optional<MonitorRect>& a,
                                       const std::optional<MonitorRect>& b) noexcept {
    return a.has_value() == b.has_value() && (!a || same_rect(*a, *b));
}

// The part of `rect` inside `bounds`; none when nothing with area is left.
[[nodiscard]] std::optional<MonitorRect> clip_rect(const MonitorRect& rect, const MonitorRect& bounds) noexcept;

// What the window does after an input.
enum class SelectionStep {
    none,         // nothing it shows has changed
    redraw,       // the rectangle it shows has changed
    find_window,  // a click: look up the window under click_point() and hand it to window_found
    take,         // report taken() and close
    cancel,       // close without a choice
};

struct SelectionPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

class RegionSelection {
public:
    // A selection on `monitor` (desktop pixels, with area) whose clicks may wander `drag_threshold`
    // pixels.
    RegionSelection(const MonitorRect& monitor, std::int32_t drag_threshold) noexcept
        : monitor_(monitor), drag_threshold_(drag_threshold) {}

    // The left button went down at (x, y); a press outside the monitor is not one the window can get
    // from the pointer and is ignored.
    SelectionStep press(std::int32_t x, std::int32_t y) noexcept;
    // The pointer moved while the button is down (anywhere: the window holds the capture).
    SelectionStep move(std::int32_t x, std::int32_t y) noexcept;
    // The button came up at (x, y): a drag takes its rectangle, a click asks for the window under it.
    SelectionStep release(std::int32_t x, std::int32_t y) noexcept;
    // The window a click landed on (none: no window there). Takes the part of it on the monitor; with
    // no window, or none of it on the monitor, nothing is taken and the selection goes on.
    SelectionStep window_found(const std::optional<MonitorRect>& window) noexcept;
    // The window under the pointer while no button is down: shown as what a click or Enter would take.
    SelectionStep hover(const std::optional<MonitorRect>& window) noexcept;
    // Enter takes the rectangle shown, when there is one.
    SelectionStep enter() noexcept;
    SelectionStep escape() noexcept;
    // Another window took the pointer in the middle of a press: that press is dropped.
    SelectionStep capture_lost() noexcept;

    [[nodiscard]] const MonitorRect& monitor() const noexcept { return monitor_; }
    [[nodiscard]] bool pressed() const noexcept { return state_ == State::pressed; }
    [[nodiscard]] bool finished() const noexcept { return state_ == State::finished; }
    // The rectangle shown now: the one being dragged, else the window under the pointer; always on
    // the monitor and with area.
    [[nodiscard]] std::optional<MonitorRect> shown() const noexcept;
    // Where the last click went down.
    [[nodiscard]] SelectionPoint click_point() const noexcept { return press_; }
    // What a take step took.
    [[nodiscard]] const MonitorRect& taken() const noexcept { return taken_; }

private:
    enum class State { idle, pressed, clicked, finished };

    [[nodiscard]] bool beyond_threshold(SelectionPoint point) const noexcept;
    [[nodiscard]] SelectionStep take(const std::optional<MonitorRect>& rect) noexcept;

    MonitorRect monitor_;
    std::int32_t drag_threshold_;
    State state_ = State::idle;
    SelectionPoint press_;
    SelectionPoint current_;
    std::optional<MonitorRect> hovered_;
    MonitorRect taken_;
};

// What the window paints: `dim` covers the monitor but the selection; `outline` frames the selection
// from outside, so that every selected pixel stays as the desktop shows it. Both lie on the monitor.
struct SelectionDrawing {
    std::vector<MonitorRect> dim;
    std::vector<MonitorRect> outline;
};

[[nodiscard]] SelectionDrawing selection_drawing(const MonitorRect& monitor, const std::optional<MonitorRect>& selected,
                                                 std::int32_t outline_width);

// The window's pixels are premultiplied BGRA for a per-pixel-alpha layered window. The selection is
// not fully transparent: a layered window lets the pointer through where its alpha is zero, and the
// selection must keep taking clicks and drags.
inline constexpr std::uint32_t dim_pixel = 0x80000000u;       // black at half opacity
inline constexpr std::uint32_t selected_pixel = 0x01000000u;  // all but clear
inline constexpr std::uint32_t outline_pixel = 0xFF0078D7u;   // opaque blue

// Paints `drawing` into `pixels`: the monitor's width x height, top-down rows, the monitor's top-left
// corner first.
void paint_selection(const SelectionDrawing& drawing, const MonitorRect& monitor, std::uint32_t* pixels) noexcept;

}  // namespace kelvane
