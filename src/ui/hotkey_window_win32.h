// The Hotkey window: the standard hotkey control, a Win-key box (the control cannot take Win), a line
// that says what the chosen combination costs or why it was refused, and OK/Cancel. OK reports the
// choice; the window closes once it is in use and stays open, saying so, when the system refuses it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "ui/dialog_layout_win32.h"
#include "ui/user_actions.h"

namespace kelvane {

inline constexpr wchar_t hotkey_class_name[] = L"Kelvane2Hotkey";
inline constexpr wchar_t hotkey_window_title[] = L"Kelvane2 - Hotkey";
inline constexpr DWORD hotkey_window_ex_style = WS_EX_TOPMOST;
inline constexpr DWORD hotkey_window_style = WS_CAPTION | WS_SYSMENU;
inline constexpr int hotkey_client_width = 320;
inline constexpr int hotkey_client_height = 156;

namespace hotkey_window_id {
inline constexpr int combination = 402;
inline constexpr int win_key = 403;
inline constexpr int message = 404;
inline constexpr int none = 0;
}  // namespace hotkey_window_id

inline constexpr DialogControl hotkey_controls[] = {
    {static_class, L"Press the new combination:", 0, {12, 12, 296, 20}, hotkey_window_id::none},
    {HOTKEY_CLASSW, L"", WS_BORDER | tab_stop, {12, 34, 190, 24}, hotkey_window_id::combination},
    {button_class, L"Win key", BS_AUTOCHECKBOX | tab_stop, {214, 34, 94, 24}, hotkey_window_id::win_key},
    {static_class, L"", 0, {12, 66, 296, 44}, hotkey_window_id::message},
    {button_class, L"OK", BS_DEFPUSHBUTTON | tab_stop, {122, 118, 90, 28}, IDOK},
    {button_class, L"Cancel", BS_PUSHBUTTON | tab_stop, {218, 118, 90, 28}, IDCANCEL},
};

// The character that AltGr (which Windows also reads from Ctrl+Alt) with `key`, and Shift when
// `shift`, types on the keyboard layout in use; empty when it types none.
[[nodiscard]] std::wstring altgr_character(unsigned key, bool shift);
// The character that `hotkey` takes from typing: what AltGr types with its key, where the hotkey is
// Ctrl+Alt (with or without Shift) and no Win; empty otherwise.
[[nodiscard]] std::wstring hotkey_character(const Hotkey& hotkey);

class HotkeyWindow {
public:
    explicit HotkeyWindow(UserActions& actions) noexcept : actions_(actions) {}
    ~HotkeyWindow() { close(); }
    HotkeyWindow(const HotkeyWindow&) = delete;
    HotkeyWindow& operator=(const HotkeyWindow&) = delete;

    // Opens the window centred on the work area showing `hotkey`, or brings the open one forward.
    void open(HINSTANCE instance, const Hotkey& hotkey);
    void close() noexcept;
    [[nodiscard]] HWND hwnd() const noexcept { return window_; }
    // Keyboard use as in a dialog; true when the message was the window's and has been handled.
    [[nodiscard]] bool dialog_message(MSG& msg) noexcept;

    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

private:
    // What the controls hold now.
    [[nodiscard]] Hotkey chosen() const noexcept;
    void on_ok();
    // The line under the control: what the combination would cost, if anything.
    void describe_choice();
    void apply_dpi(int dpi, const POINT* corner);

    UserActions& actions_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;  // the controls' font at the window's DPI, owned
    HWND focus_ = nullptr;  // the focused control while the window is inactive
};

}  // namespace kelvane
