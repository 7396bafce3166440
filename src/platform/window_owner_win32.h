// Windows that belong to one object each: the object, passed as the creation parameter, is kept in
// the window's user data from WM_NCCREATE on and handles the window's messages through its member
// `handle(hwnd, message, wparam, lparam)`. Before WM_NCCREATE, and after an owner has cleared the user
// data, the default procedure answers.
#pragma once

#include <windows.h>

namespace kelvane {

template <typename Owner>
LRESULT CALLBACK owner_window_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* owner = reinterpret_cast<Owner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return owner != nullptr ? owner->handle(hwnd, message, wparam, lparam)
                            : DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace kelvane
