// The selection's state through press, moves and release, and the rectangles and pixels it is shown with.
#include "ui/region_selection.h"

#include <algorithm>
#include <cstdlib>

namespace kelvane {

std::optional<MonitorRect> clip_rect(const MonitorRect& rect, const MonitorRect& bounds) noexcept {
    const MonitorRect clipped{std::max(rect.left, bounds.left), std::max(rect.top, bounds.top),
                              std::min(rect.right, bounds.right), std::min(rect.bottom, bounds.bottom)};
    if (!rect_has_area(clipped)) {
        return std::nullopt;
    }
    return clipped;
}

namespace {

// The pixels under the press and under the pointer both belong to the rectangle, so a drag from one
// corner pixel of the monitor to the opposite one takes the whole monitor.
MonitorRect rect_between(SelectionPoint a, SelectionPoint b) noexcept {
    return MonitorRect{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x) + 1, std::max(a.y, b.y) + 1};
}

}  // namespace

bool RegionSelection::beyond_threshold(SelectionPoint point) const noexcept {
    // In 64 bits: a point from a message may be anywhere in 32.
    const std::int64_t dx = std::int64_t{point.x} - press_.x;
    const std::int64_t dy = std::int64_t{point.y} - press_.y;
    return std::llabs(dx) > drag_threshold_ || std::llabs(dy) > drag_threshold_;
}

SelectionStep RegionSelection::take(const std::optional<MonitorRect>& rect) noexcept {
    if (!rect) {
        return SelectionStep::none;
    }
    taken_ = *rect;
    state_ = State::finished;
    return SelectionStep::take;
}

SelectionStep RegionSelection::press(std::int32_t x, std::int32_t y) noexcept {
    if (state_ != State::idle || !rect_contains(monitor_, x, y)) {
        return SelectionStep::none;
    }
    state_ = State::pressed;
    press_ = SelectionPoint{x, y};
    current_ = press_;
    return SelectionStep::redraw;
}

SelectionStep RegionSelection::move(std::int32_t x, std::int32_t y) noexcept {
    if (state_ != State::pressed) {
        return SelectionStep::none;
    }
    const std::optional<MonitorRect> before = shown();
    current_ = SelectionPoint{x, y};
    return same_rect(before, shown()) ? SelectionStep::none : SelectionStep::redraw;
}

SelectionStep RegionSelection::release(std::int32_t x, std::int32_t y) noexcept {
    if (state_ != State::pressed) {
        return SelectionStep::none;
    }
    current_ = SelectionPoint{x, y};
    // Decided by where the button comes up, not by the way there: a pointer taken back to where it
    // went down has dragged nothing.
    if (beyond_threshold(current_)) {
        return take(shown());
    }
    state_ = State::clicked;
    return SelectionStep::find_window;
}

SelectionStep RegionSelection::window_found(const std::optional<MonitorRect>& window) noexcept {
    if (state_ != State::clicked) {
        return SelectionStep::none;
    }
    state_ = State::idle;
    const std::optional<MonitorRect> on_monitor = window ? clip_rect(*window, monitor_) : std::nullopt;
    if (!on_monitor) {
        return SelectionStep::redraw;  // what the press showed goes
    }
    return take(on_monitor);
}

SelectionStep RegionSelection::hover(const std::optional<MonitorRect>& window) noexcept {
    if (state_ != State::idle) {
        return SelectionStep::none;
    }
    const std::optional<MonitorRect> before = hovered_;
    hovered_ = window ? clip_rect(*window, monitor_) : std::nullopt;
    return same_rect(before, hovered_) ? SelectionStep::none : SelectionStep::redraw;
}

SelectionStep RegionSelection::enter() noexcept {
    if (state_ == State::finished || state_ == State::clicked) {
        return SelectionStep::none;
    }
    return take(shown());
}

SelectionStep RegionSelection::escape() noexcept {
    if (state_ == State::finished) {
        return SelectionStep::none;
    }
    state_ = State::finished;
    return SelectionStep::cancel;
}

SelectionStep RegionSelection::capture_lost() noexcept {
    if (state_ != State::pressed) {
        return SelectionStep::none;
    }
    state_ = State::idle;
    hovered_.reset();  // the pointer is no longer where it was
    return SelectionStep::redraw;
}

std::optional<MonitorRect> RegionSelection::shown() const noexcept {
    if (state_ == State::pressed && beyond_threshold(current_)) {
        // The press lies on the monitor, so the pointer held there gives the same clipped rectangle,
        // with no overflow for a point from a message far outside it.
        const SelectionPoint held{std::clamp(current_.x, monitor_.left, monitor_.right - 1),
                                  std::clamp(current_.y, monitor_.top, monitor_.bottom - 1)};
        return rect_between(press_, held);
    }
    if (state_ == State::finished) {
        return std::nullopt;
    }
    return hovered_;
}

SelectionDrawing selection_drawing(const MonitorRect& monitor, const std::optional<MonitorRect>& selected,
                                   std::int32_t outline_width) {
    SelectionDrawing drawing;
    const std::optional<MonitorRect> inside = selected ? clip_rect(*selected, monitor) : std::nullopt;
    if (!inside) {
        if (rect_has_area(monitor)) {
            drawing.dim.push_back(monitor);
        }
        return drawing;
    }
    const MonitorRect& s = *inside;
    const auto add = [&monitor](std::vector<MonitorRect>& list, const MonitorRect& rect) {
        if (const std::optional<MonitorRect> part = clip_rect(rect, monitor)) {
            list.push_back(*part);
        }
    };
    // Full-width bands above and below, and the two pieces beside the selection between them.
    add(drawing.dim, MonitorRect{monitor.left, monitor.top, monitor.right, s.top});
    add(drawing.dim, MonitorRect{monitor.left, s.bottom, monitor.right, monitor.bottom});
    add(drawing.dim, MonitorRect{monitor.left, s.top, s.left, s.bottom});
    add(drawing.dim, MonitorRect{s.right, s.top, monitor.right, s.bottom});
    if (outline_width > 0) {
        const std::int32_t w = outline_width;
        add(drawing.outline, MonitorRect{s.left - w, s.top - w, s.right + w, s.top});
        add(drawing.outline, MonitorRect{s.left - w, s.bottom, s.right + w, s.bottom + w});
        add(drawing.outline, MonitorRect{s.left - w, s.top, s.left, s.bottom});
        add(drawing.outline, MonitorRect{s.right, s.top, s.right + w, s.bottom});
    }
    return drawing;
}

namespace {

void fill(const MonitorRect& rect, const MonitorRect& monitor, std::uint32_t value, std::uint32_t* pixels) noexcept {
    const std::optional<MonitorRect> part = clip_rect(rect, monitor);
    if (!part) {
        return;
    }
    const auto stride = static_cast<std::size_t>(monitor.right - monitor.left);
    for (std::int32_t y = part->top; y < part->bottom; ++y) {
        std::uint32_t* row = pixels + static_cast<std::size_t>(y - monitor.top) * stride;
        std::fill(row + (part->left - monitor.left), row + (part->right - monitor.left), value);
    }
}

}  // namespace

void paint_selection(const SelectionDrawing& drawing, const MonitorRect& monitor, std::uint32_t* pixels) noexcept {
    fill(monitor, monitor, selected_pixel, pixels);
    for (const MonitorRect& rect : drawing.dim) {
        fill(rect, monitor, dim_pixel, pixels);
    }
    for (const MonitorRect& rect : drawing.outline) {
        fill(rect, monitor, outline_pixel, pixels);
    }
}

}  // namespace kelvane
