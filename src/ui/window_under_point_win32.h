// Which window a click on the region selection window means: the top-level window under the point in
// z-order that the user sees and can click there, and the rectangle of its visible frame.
#pragma once

#include <windows.h>

#include <optional>

#include "display/monitor_list.h"

namespace kelvane {

// Decides, beyond what every candidate must be (shown and taking the pointer), which windows a click
// may take.
using WindowFilter = bool (*)(HWND window) noexcept;

// A window of another process: this process's own windows (the mirror's overlay, the tray's control
// window, the Adjust-warp window) are not what the user means to mirror.
[[nodiscard]] bool window_of_another_process(HWND window) noexcept;

// Shown: visible, not minimised, and not cloaked (a window on another virtual desktop, or a suspended
// store app, is visible to the window manager but not on the screen).
[[nodiscard]] bool window_shown(HWND window) noexcept;

// The window's visible frame in desktop pixels: Windows 10 and 11 give top-level windows invisible
// resize borders outside it, which the window rectangle includes. Where the compositor does not say
// (no composition), the window rectangle.
[[nodiscard]] MonitorRect window_frame(HWND window) noexcept;

// The frame of the first top-level window from the top of the z-order whose frame holds `point`
// (desktop pixels) and that is shown, takes the pointer (a click-through overlay does not), is not
// `skipped` and passes `filter`. None when no window qualifies.
[[nodiscard]] std::optional<MonitorRect> window_rect_at(POINT point, HWND skipped, WindowFilter filter);

}  // namespace kelvane
