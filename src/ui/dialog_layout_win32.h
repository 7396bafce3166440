// What the small windows of the control surface (Adjust warp, Hotkey) share: child controls given in
// client units of 96 DPI, laid out again with the system's message font whenever the window's DPI
// changes, and a place on the work area when no monitor is chosen to host the window.
#pragma once

#include <windows.h>

#include <cstddef>

#include "ui/adjust_warp.h"

namespace kelvane {

// One child control; all get WS_CHILD | WS_VISIBLE plus `style`, at `place` in client units of 96 DPI.
struct DialogControl {
    const wchar_t* class_name;
    const wchar_t* text;
    DWORD style;
    Box place;
    int id;
};

inline constexpr wchar_t button_class[] = L"BUTTON";
inline constexpr wchar_t static_class[] = L"STATIC";

// Controls the keyboard reaches with Tab, each a group of its own so that the arrow keys stay with
// the focused control.
inline constexpr DWORD tab_stop = WS_TABSTOP | WS_GROUP;

// The system colour brush value of COLOR_BTNFACE, as a window class takes it.
inline HBRUSH button_face_brush() noexcept {
    return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
}

// Creates the controls as children of `window`, in order (which is also their tab and z order).
void create_dialog_controls(HWND window, HINSTANCE instance, const DialogControl* controls, std::size_t count);

// Lays the children (created from `controls`) out at `dpi` with a message font of that DPI and gives
// the window (of `style` and `ex_style`) the outer size for a client area of `client_width` x
// `client_height` (96-DPI units), its
// top-left corner at `corner` (none: around its present centre). Returns the new font, which the
// caller owns and the controls use; null when none could be made (the controls keep theirs).
[[nodiscard]] HFONT lay_out_dialog(HWND window, const DialogControl* controls, std::size_t count, DWORD style,
                                   DWORD ex_style, Box client, int dpi, const POINT* corner);

// A window that is not a dialog forgets its focused control when it loses activation: WM_ACTIVATE
// remembers it in `focus` and gives it back. True when the message is handled; otherwise it goes on
// to DefWindowProc.
[[nodiscard]] bool keep_focus_across_activation(HWND window, WPARAM wparam, HWND& focus) noexcept;

// The top-left corner that centres a window of this size on the primary work area.
[[nodiscard]] WindowPosition work_area_position(int width, int height);

}  // namespace kelvane
