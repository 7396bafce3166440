// Child controls and their layout at a DPI.
#include "ui/dialog_layout_win32.h"

#include "platform/dpi_win32.h"

namespace kelvane {

void create_dialog_controls(HWND window, HINSTANCE instance, const DialogControl* controls, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const DialogControl& control = controls[i];
        const Box& place = control.place;
        CreateWindowExW(0, control.class_name, control.text, WS_CHILD | WS_VISIBLE | control.style, place.x, place.y,
                        place.width, place.height, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)),
                        instance, nullptr);
    }
}

HFONT lay_out_dialog(HWND window, const DialogControl* controls, std::size_t count, DWORD style, DWORD ex_style,
                     Box client_box, int dpi, const POINT* corner) {
    const HFONT font = platform::create_message_font(static_cast<UINT>(dpi));
    HWND child = GetWindow(window, GW_CHILD);
    for (std::size_t i = 0; i < count && child != nullptr; ++i) {
        const Box place = scale_to_dpi(controls[i].place, dpi);
        SetWindowPos(child, nullptr, place.x, place.y, place.width, place.height, SWP_NOZORDER | SWP_NOACTIVATE);
        if (font != nullptr) {
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    const Box client = scale_to_dpi(client_box, dpi);
    const RECT outer = platform::outer_rect_for_client(RECT{0, 0, client.width, client.height}, style, ex_style,
                                                       static_cast<UINT>(dpi));
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    POINT place{};
    if (corner != nullptr) {
        place = *corner;
    } else {
        RECT now{};
        GetWindowRect(window, &now);
        const WindowPosition centred = centre_in(MonitorRect{now.left, now.top, now.right, now.bottom}, width, height);
        place = POINT{centred.x, centred.y};
    }
    SetWindowPos(window, nullptr, place.x, place.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    return font;
}

WindowPosition work_area_position(int width, int height) {
    RECT work{};
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) == FALSE) {
        return WindowPosition{CW_USEDEFAULT, CW_USEDEFAULT};
    }
    return centre_in(MonitorRect{work.left, work.top, work.right, work.bottom}, width, height);
}

bool keep_focus_across_activation(HWND window, WPARAM wparam, HWND& focus) noexcept {
    if (LOWORD(wparam) == WA_INACTIVE) {
        focus = GetFocus();
        return false;
    }
    if (focus != nullptr && IsChild(window, focus) != FALSE) {
        SetFocus(focus);
        return true;
    }
    return false;
}

}  // namespace kelvane
