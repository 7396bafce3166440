// The window under a point, walked in z-order over the top-level windows.
#include "ui/window_under_point_win32.h"

#include <dwmapi.h>

namespace kelvane {

bool window_of_another_process(HWND window) noexcept {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process != 0 && process != GetCurrentProcessId();
}

bool window_shown(HWND window) noexcept {
    if (IsWindowVisible(window) == FALSE || IsIconic(window) != FALSE) {
        return false;
    }
    DWORD cloaked = 0;
    // Without composition (or on a system that does not know the attribute) nothing is cloaked.
    const HRESULT hr = DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof cloaked);
    return FAILED(hr) || cloaked == 0;
}

MonitorRect window_frame(HWND window) noexcept {
    RECT rect{};
    if (FAILED(DwmGetWindowAttribute(window, DWMWA_EXTENDED_FRAME_BOUNDS, &rect, sizeof rect)) ||
        rect.right <= rect.left || rect.bottom <= rect.top) {
        if (GetWindowRect(window, &rect) == FALSE) {
            return MonitorRect{};
        }
    }
    return MonitorRect{rect.left, rect.top, rect.right, rect.bottom};
}

namespace {

// A layered window marked transparent lets every click through to the windows below it.
bool click_through(HWND window) noexcept {
    const auto ex_style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    return (ex_style & (WS_EX_LAYERED | WS_EX_TRANSPARENT)) == (WS_EX_LAYERED | WS_EX_TRANSPARENT);
}

struct Search {
    POINT point;
    HWND skipped;
    WindowFilter filter;
    std::optional<MonitorRect> found;
};

BOOL CALLBACK visit(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<Search*>(data);
    if (window == search.skipped || !window_shown(window) || click_through(window) || !search.filter(window)) {
        return TRUE;
    }
    const MonitorRect frame = window_frame(window);
    if (!rect_contains(frame, search.point.x, search.point.y)) {
        return TRUE;
    }
    search.found = frame;
    return FALSE;
}

}  // namespace

std::optional<MonitorRect> window_rect_at(POINT point, HWND skipped, WindowFilter filter) {
    Search search{point, skipped, filter, std::nullopt};
    // EnumWindows visits the top-level windows from the top of the z-order down (every version does,
    // though the documentation does not promise it), and it cannot loop or stumble on a destroyed
    // window the way a GetWindow walk can. It answers FALSE when the search ends early.
    EnumWindows(visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace kelvane
