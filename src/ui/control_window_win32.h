// The hidden control window and what it receives from the outside: the hotkey, the tray icon's mouse
// messages, menu commands, the mirror timers, display changes and the re-created taskbar; and the
// application's message loop with its set-up and teardown.
#pragma once

#include <windows.h>

#include <vector>

#include "display/monitor_list.h"

namespace kelvane {

class AppController;

inline constexpr wchar_t control_class_name[] = L"Kelvane2Msg";
inline constexpr wchar_t control_window_title[] = L"Kelvane2";
inline constexpr int hotkey_id = 1;
inline constexpr UINT hotkey_modifiers = MOD_CONTROL | MOD_ALT | MOD_NOREPEAT;
inline constexpr UINT hotkey_key = 0x4D;  // M
inline constexpr UINT tray_icon_id = 1;
inline constexpr UINT tray_callback_message = WM_APP + 1;
inline constexpr int tray_icon_resource = 101;
inline constexpr wchar_t tray_tooltip[] = L"Kelvane2 - teleprompter mirror (Ctrl+Alt+M)";
inline constexpr wchar_t taskbar_created_name[] = L"TaskbarCreated";

// Runs the application: control window, tray icon, hotkey, hook, the mirror when it is active, the
// message loop until Exit, then the teardown. Returns the exit code.
[[nodiscard]] unsigned run_application(AppController& app);

// Adds the tray icon; logs when the shell refuses it.
void add_tray_icon(AppController& app);

// The display-change rule over the current monitors, and over a given list.
void on_display_change(AppController& app);
void on_display_change(AppController& app, const std::vector<MonitorEntry>& monitors);

// The control window procedure (exposed for tests that drive it directly).
LRESULT CALLBACK control_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace kelvane
