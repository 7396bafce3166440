// The hidden control window and what it receives from the outside: the hotkey, the tray icon's mouse
// messages, menu commands, display changes and the re-created taskbar. It reports them as user
// actions; the window is reached through its user data, set at creation.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/unique_handle_win32.h"
#include "ui/tray_icon_win32.h"
#include "ui/user_actions.h"

namespace kelvane {

inline constexpr wchar_t control_class_name[] = L"Kelvane2Msg";
inline constexpr wchar_t control_window_title[] = L"Kelvane2";
inline constexpr int hotkey_id = 1;
inline constexpr wchar_t taskbar_created_name[] = L"TaskbarCreated";
// Posted to itself: the commands other processes sent are carried out from the message loop.
inline constexpr UINT remote_command_message = WM_APP + 2;
// The quiet time after display changes runs on this timer of the control window.
inline constexpr UINT_PTR display_settle_timer_id = 1;

class ControlWindow {
public:
    ControlWindow(UserActions& actions, TrayIcon& tray) noexcept : actions_(actions), tray_(tray) {}
    ControlWindow(const ControlWindow&) = delete;
    ControlWindow& operator=(const ControlWindow&) = delete;
    ~ControlWindow();

    // Creates the window; false (logged) when it cannot be made.
    [[nodiscard]] bool create(HINSTANCE instance);
    [[nodiscard]] HWND hwnd() const noexcept { return window_.get(); }

    // The window procedure (exposed for tests that drive it directly).
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

    // Every message of the window, from WM_NCCREATE on.
    LRESULT handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

private:
    void on_tray_message(LPARAM mouse_message);
    // A command from another process; TRUE when it was one and has been taken on.
    LRESULT on_copy_data(HWND hwnd, const COPYDATASTRUCT* data);
    void carry_out_remote_commands();

    UserActions& actions_;
    TrayIcon& tray_;
    UINT taskbar_created_message_ = 0;
    bool session_notifications_ = false;
    std::vector<RemoteCommand> remote_commands_;  // taken on, not yet carried out
    UniqueWindow window_;
};

}  // namespace kelvane
