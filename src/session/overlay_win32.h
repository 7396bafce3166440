// The overlay: a borderless, topmost, click-through, never-activated popup over the mirrored monitor,
// excluded from screen capture, whose whole content is the swap chain the session thread binds to it.
#pragma once

#include <windows.h>

namespace kelvane {

inline constexpr wchar_t overlay_class_name[] = L"Kelvane2Overlay";
inline constexpr DWORD overlay_ex_style =
    WS_EX_TOPMOST | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_NOACTIVATE;
inline constexpr DWORD overlay_style = WS_POPUP;

// The session thread's reports, posted to the overlay: wParam a SessionReport, lParam a WaitReason.
// Posted to the overlay rather than to a longer-lived window, so that a report still queued when its
// mirror ends goes with the overlay.
inline constexpr UINT overlay_report_message = WM_APP + 20;
// The mirror's owner learns from these on the control window: the mirror waits (wParam a WaitReason),
// or its session ended for good.
inline constexpr UINT mirror_waiting_message = WM_APP + 21;
inline constexpr UINT mirror_ended_message = WM_APP + 22;

// Receives the overlay's timers (WM_TIMER) and the session's reports; attached as the window's user data.
class OverlayTimerSink {
public:
    virtual void on_overlay_timer(UINT_PTR id) = 0;
    virtual void on_session_report(WPARAM report, LPARAM reason) = 0;
    // The window needs its content again (shown, uncovered).
    virtual void on_overlay_paint() = 0;
    // The display's colour settings changed (WM_SETTINGCHANGE "ImmersiveColorSet").
    virtual void on_colour_settings_changed() = 0;

protected:
    OverlayTimerSink() = default;
    ~OverlayTimerSink() = default;
    OverlayTimerSink(const OverlayTimerSink&) = default;
    OverlayTimerSink& operator=(const OverlayTimerSink&) = default;
};

void set_overlay_timer_sink(HWND overlay, OverlayTimerSink* sink) noexcept;

// Creates the overlay on `monitor_rect`, hidden until it has a picture, replacing any overlay in
// `overlay_hwnd`.
bool create_overlay(HWND& overlay_hwnd, HINSTANCE instance, const RECT& monitor_rect, bool exclude_from_capture);

// Destroys the overlay if there is one.
void destroy_overlay(HWND& overlay_hwnd) noexcept;

// Shows the overlay on top without activating it, or hides it.
void show_overlay(HWND overlay_hwnd, bool show) noexcept;

// Puts the overlay back on top when a visible window above it overlaps it.
void keep_overlay_topmost(HWND overlay_hwnd) noexcept;

}  // namespace kelvane
