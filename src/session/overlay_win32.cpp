// Overlay window: class, creation, z-order upkeep and the window procedure.
#include "session/overlay_win32.h"

#include <dwmapi.h>

#include <cwchar>

#include "platform/crash_handler_win32.h"
#include "platform/log.h"

namespace kelvane {
namespace {

constexpr wchar_t overlay_title[] = L"Kelvane2";
// The WM_SETTINGCHANGE section of the display's colour settings.
constexpr wchar_t colour_settings_section[] = L"ImmersiveColorSet";
constexpr BYTE overlay_alpha = 255;
constexpr UINT topmost_flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOSENDCHANGING;

LRESULT CALLBACK overlay_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_PAINT: {
            // The swap chain is the content; the window itself draws nothing. A window swap chain need
            // not keep what it showed while the window was hidden or covered: the session draws it again.
            PAINTSTRUCT paint{};
            BeginPaint(hwnd, &paint);
            EndPaint(hwnd, &paint);
            if (auto* sink = reinterpret_cast<OverlayTimerSink*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
                sink->on_overlay_paint();
            }
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_NCHITTEST:
            return HTTRANSPARENT;
        case WM_TIMER:
            if (auto* sink = reinterpret_cast<OverlayTimerSink*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
                sink->on_overlay_timer(static_cast<UINT_PTR>(wparam));
            }
            return 0;
        case WM_SETTINGCHANGE:
            // Windows says so when HDR or the SDR content brightness changed; no display change follows
            // a brightness change.
            if (lparam != 0 && std::wcscmp(reinterpret_cast<const wchar_t*>(lparam), colour_settings_section) == 0) {
                if (auto* sink = reinterpret_cast<OverlayTimerSink*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
                    sink->on_colour_settings_changed();
                }
            }
            return DefWindowProcW(hwnd, message, wparam, lparam);
        case overlay_report_message:
            if (auto* sink = reinterpret_cast<OverlayTimerSink*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
                sink->on_session_report(wparam, lparam);
            }
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

void register_overlay_class(HINSTANCE instance) noexcept {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = 0;
    wc.lpfnWndProc = overlay_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = overlay_class_name;
    // From the second mirror start on the class exists already and this fails without harm.
    RegisterClassExW(&wc);
}

bool is_cloaked(HWND window) noexcept {
    DWORD cloaked = 0;
    return SUCCEEDED(DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof cloaked)) && cloaked != 0;
}

}  // namespace

bool create_overlay(HWND& overlay_hwnd, HINSTANCE instance, const RECT& monitor_rect, bool exclude_from_capture) {
    destroy_overlay(overlay_hwnd);
    register_overlay_class(instance);
    const int width = monitor_rect.right - monitor_rect.left;
    const int height = monitor_rect.bottom - monitor_rect.top;
    overlay_hwnd =
        CreateWindowExW(overlay_ex_style, overlay_class_name, overlay_title, overlay_style, monitor_rect.left,
                        monitor_rect.top, width, height, nullptr, nullptr, instance, nullptr);
    if (overlay_hwnd == nullptr) {
        log_message("overlay: CreateWindowEx failed, err=%lu", GetLastError());
        return false;
    }
    note_crash_overlay(overlay_hwnd);
    SetLayeredWindowAttributes(overlay_hwnd, 0, overlay_alpha, LWA_ALPHA);
    if (exclude_from_capture) {
        // Without this the duplication would capture the overlay itself: a feedback loop.
        if (SetWindowDisplayAffinity(overlay_hwnd, WDA_EXCLUDEFROMCAPTURE) == 0) {
            log_message("overlay: SetWindowDisplayAffinity failed, err=%lu - feedback loop likely!", GetLastError());
        }
    } else {
        log_message("overlay: capture exclusion DISABLED (debug mode)");
    }
    log_message("overlay: created at (%ld,%ld) %dx%d", static_cast<long>(monitor_rect.left),
                static_cast<long>(monitor_rect.top), width, height);
    return true;
}

void set_overlay_timer_sink(HWND overlay, OverlayTimerSink* sink) noexcept {
    SetWindowLongPtrW(overlay, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(sink));
}

void destroy_overlay(HWND& overlay_hwnd) noexcept {
    if (overlay_hwnd != nullptr) {
        note_crash_overlay(nullptr);
        DestroyWindow(overlay_hwnd);
        overlay_hwnd = nullptr;
    }
}

void show_overlay(HWND overlay_hwnd, bool show) noexcept {
    if (show) {
        SetWindowPos(overlay_hwnd, HWND_TOPMOST, 0, 0, 0, 0, topmost_flags | SWP_SHOWWINDOW);
    } else {
        ShowWindow(overlay_hwnd, SW_HIDE);
    }
}

void keep_overlay_topmost(HWND overlay_hwnd) noexcept {
    RECT overlay_rect{};
    if (overlay_hwnd == nullptr || GetWindowRect(overlay_hwnd, &overlay_rect) == 0) {
        return;
    }
    for (HWND above = GetWindow(overlay_hwnd, GW_HWNDPREV); above != nullptr; above = GetWindow(above, GW_HWNDPREV)) {
        if (IsWindowVisible(above) == 0 || IsIconic(above) != 0 || is_cloaked(above)) {
            continue;
        }
        RECT above_rect{};
        RECT overlap{};
        if (GetWindowRect(above, &above_rect) == 0 || IntersectRect(&overlap, &above_rect, &overlay_rect) == 0) {
            continue;
        }
        SetWindowPos(overlay_hwnd, HWND_TOPMOST, 0, 0, 0, 0, topmost_flags);
        return;
    }
}

}  // namespace kelvane
