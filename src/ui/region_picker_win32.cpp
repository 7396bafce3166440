// The region selection window on Windows: creation over the monitor, the mouse and keys fed to the
// selection, the window lookup for a click, the layered pixels, and the reports.
#include "ui/region_picker_win32.h"

#include <windowsx.h>

#include "platform/dpi_win32.h"
#include "platform/log.h"
#include "platform/window_owner_win32.h"

namespace kelvane {
namespace {

// Not shown anywhere (no caption, no taskbar button), but named for tools that list windows.
constexpr wchar_t region_window_title[] = L"Kelvane2 - Choose region";

void register_region_class(HINSTANCE instance) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = RegionPicker::procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_CROSS);
    window_class.lpszClassName = region_class_name;
    // Registered on every opening; after the first time it already exists, which is fine.
    RegisterClassExW(&window_class);
}

}  // namespace

bool RegionPicker::open(HINSTANCE instance, const MonitorRect& monitor) {
    if (window_ != nullptr) {
        SetForegroundWindow(window_);
        SetFocus(window_);
        return true;
    }
    if (!rect_has_area(monitor)) {
        log_message("region: no monitor to choose on at (%ld,%ld)-(%ld,%ld)", static_cast<long>(monitor.left),
                    static_cast<long>(monitor.top), static_cast<long>(monitor.right),
                    static_cast<long>(monitor.bottom));
        return false;
    }
    register_region_class(instance);
    const int width = monitor.right - monitor.left;
    const int height = monitor.bottom - monitor.top;
    const HWND window =
        CreateWindowExW(region_window_ex_style, region_class_name, region_window_title, region_window_style,
                        monitor.left, monitor.top, width, height, nullptr, nullptr, instance, this);
    if (window == nullptr) {
        log_failed_call("region: CreateWindowExW", HRESULT_FROM_WIN32(GetLastError()));
        return false;
    }
    window_ = window;
    // Created on the monitor, the window has that monitor's DPI: the pointer's slack and the outline
    // grow with it, as the system's own metrics do.
    const auto dpi = static_cast<int>(platform::window_dpi(window));
    selection_.emplace(monitor, MulDiv(default_drag_threshold, dpi, USER_DEFAULT_SCREEN_DPI));
    outline_width_ = MulDiv(default_outline_width, dpi, USER_DEFAULT_SCREEN_DPI);
    if (!surface_.create(width, height) || !draw()) {
        close();
        return false;
    }
    ShowWindow(window, SW_SHOW);
    // The tray menu's command comes straight from the user's click, so the system lets this process
    // take the foreground; should it refuse, a click on the window activates it.
    if (SetForegroundWindow(window) == FALSE) {
        log_message("region: the selection window is not in the foreground; Enter and Esc work after a click");
    }
    SetFocus(window);
    log_message("region: selection window shown at (%ld,%ld) %dx%d", static_cast<long>(monitor.left),
                static_cast<long>(monitor.top), width, height);
    return true;
}

void RegionPicker::close() noexcept {
    const HWND window = window_;
    if (window == nullptr) {
        return;
    }
    window_ = nullptr;
    // Its last messages (the lost activation and capture) are the default procedure's: nothing more
    // is reported.
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
    selection_.reset();
    surface_.reset();
}

LRESULT CALLBACK RegionPicker::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return owner_window_procedure<RegionPicker>(hwnd, message, wparam, lparam);
}

LRESULT RegionPicker::handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (!selection_ && message != WM_DESTROY) {
        // Between WM_NCCREATE and the end of open: nothing to show or decide yet.
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    switch (message) {
        case WM_LBUTTONDOWN:
            return on_button_down(lparam);
        case WM_MOUSEMOVE:
            return on_mouse_move(lparam);
        case WM_LBUTTONUP:
            return on_button_up(lparam);
        case WM_KEYDOWN:
            return on_key_down(wparam, lparam);
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lparam) != hwnd) {
                carry_out(selection_->capture_lost());
            }
            return 0;
        case WM_ACTIVATEAPP:
            // Another program came forward (Alt+Tab, a notification, a click on the taskbar): the user
            // has turned to something else, and a dimmed screen over it would only be in the way.
            if (wparam == FALSE) {
                log_message("region: another program became active");
                finish_cancelled();
            }
            return 0;
        case WM_CLOSE:  // Alt+F4
            finish_cancelled();
            return 0;
        case WM_DPICHANGED:
            // The window stays over its monitor whatever the system suggests.
            return 0;
        case WM_DESTROY:
            // Only a window destroyed by other means than close gets here.
            if (window_ == hwnd) {
                SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
                window_ = nullptr;
                selection_.reset();
                surface_.reset();
                log_message("region: selection cancelled");
                actions_.region_cancelled();
            }
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

POINT RegionPicker::desktop_point(LPARAM lparam) const noexcept {
    // Signed: with the capture held, a drag past the window's top or left edge comes as negative.
    POINT point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    ClientToScreen(window_, &point);
    return point;
}

LRESULT RegionPicker::on_button_down(LPARAM lparam) {
    const POINT point = desktop_point(lparam);
    const SelectionStep step = selection_->press(point.x, point.y);
    if (selection_->pressed()) {
        // The rest of the drag comes here wherever the pointer goes.
        SetCapture(window_);
    }
    carry_out(step);
    return 0;
}

LRESULT RegionPicker::on_mouse_move(LPARAM lparam) {
    const POINT point = desktop_point(lparam);
    if (selection_->pressed()) {
        carry_out(selection_->move(point.x, point.y));
    } else {
        carry_out(selection_->hover(window_rect_at(point, window_, filter_)));
    }
    return 0;
}

LRESULT RegionPicker::on_button_up(LPARAM lparam) {
    const POINT point = desktop_point(lparam);
    const SelectionStep step = selection_->release(point.x, point.y);
    if (GetCapture() == window_) {
        ReleaseCapture();  // its WM_CAPTURECHANGED finds no press left
    }
    carry_out(step);
    return 0;
}

LRESULT RegionPicker::on_key_down(WPARAM wparam, LPARAM lparam) {
    switch (wparam) {
        case VK_RETURN:
            carry_out(selection_->enter());
            return 0;
        case VK_ESCAPE:
            carry_out(selection_->escape());
            return 0;
        default:
            return DefWindowProcW(window_, WM_KEYDOWN, wparam, lparam);
    }
}

void RegionPicker::carry_out(SelectionStep step) {
    switch (step) {
        case SelectionStep::none:
            return;
        case SelectionStep::redraw:
            draw();
            return;
        case SelectionStep::find_window: {
            const SelectionPoint click = selection_->click_point();
            const SelectionStep next =
                selection_->window_found(window_rect_at(POINT{click.x, click.y}, window_, filter_));
            if (next != SelectionStep::take) {
                log_message("region: no window to take at (%ld,%ld)", static_cast<long>(click.x),
                            static_cast<long>(click.y));
            }
            carry_out(next);
            return;
        }
        case SelectionStep::take:
            finish_chosen();
            return;
        case SelectionStep::cancel:
            finish_cancelled();
            return;
    }
}

bool RegionPicker::draw() {
    const MonitorRect& monitor = selection_->monitor();
    paint_selection(selection_drawing(monitor, selection_->shown(), outline_width_), monitor, surface_.pixels());
    return surface_.present(window_, POINT{monitor.left, monitor.top});
}

// The window goes first, so that the mirror restarted on the report does not capture it.
void RegionPicker::finish_chosen() {
    const MonitorRect rect = selection_->taken();
    log_message("region: chosen (%ld,%ld) %ldx%ld", static_cast<long>(rect.left), static_cast<long>(rect.top),
                static_cast<long>(rect.right - rect.left), static_cast<long>(rect.bottom - rect.top));
    close();
    actions_.region_chosen(rect);
}

void RegionPicker::finish_cancelled() {
    if (window_ == nullptr) {
        return;
    }
    log_message("region: selection cancelled");
    close();
    actions_.region_cancelled();
}

}  // namespace kelvane
