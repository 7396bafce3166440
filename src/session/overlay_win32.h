// The overlay: a borderless, topmost, click-through, never-activated popup over the mirrored monitor,
// excluded from screen capture, whose whole content is the swap chain the session thread binds to it.
#pragma once

#include <windows.h>

namespace kelvane {

inline constexpr wchar_t overlay_class_name[] = L"Kelvane2Overlay";
inline constexpr DWORD overlay_ex_style =
    WS_EX_TOPMOST | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_NOACTIVATE;
inline constexpr DWORD overlay_style = WS_POPUP;

// Receives the overlay's timers (WM_TIMER); attached as the window's user data.
class OverlayTimerSink {
public:
    virtual void on_overlay_timer(UINT_PTR id) = 0;

protected:
    OverlayTimerSink() = default;
    ~OverlayTimerSink() = default;
    OverlayTimerSink(const OverlayTimerSink&) = default;
    OverlayTimerSink& operator=(const OverlayTimerSink&) = default;
};

void set_overlay_timer_sink(HWND overlay, OverlayTimerSink* sink) noexcept;

// Creates and shows the overlay on `monitor_rect`, replacing any overlay in `overlay_hwnd`.
bool create_overlay(HWND& overlay_hwnd, HINSTANCE instance, const RECT& monitor_rect, bool exclude_from_capture);

// Destroys the overlay if there is one.
void destroy_overlay(HWND& overlay_hwnd) noexcept;

// Puts the overlay back on top when a visible window above it overlaps it.
void keep_overlay_topmost(HWND overlay_hwnd) noexcept;

}  // namespace kelvane
