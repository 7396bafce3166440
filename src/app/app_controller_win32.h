// The one application object: the settings, the option flags, the window, hook and tray handles, the
// monitor list of the last tray menu, the session thread and the few values the session thread shares
// with the user-interface thread. Window procedures reach it through app_instance.
#pragma once

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "display/monitor_list.h"
#include "render/warp_geometry.h"
#include "session/magnification_win32.h"
#include "session/warp_channel.h"
#include "settings/settings.h"

namespace kelvane {

class AppController {
public:
    AppController(HINSTANCE instance, Settings settings, bool pattern, bool no_exclude);
    // The session thread must have been joined (stop_mirror); a joinable thread ends the process here.
    ~AppController() = default;
    AppController(const AppController&) = delete;
    AppController& operator=(const AppController&) = delete;

    // Set-up, message loop and teardown of the application; returns the exit code.
    [[nodiscard]] unsigned run();

    HINSTANCE instance;
    Settings settings;
    bool pattern;
    bool no_exclude;
    HWND control_hwnd = nullptr;
    HWND adjust_hwnd = nullptr;
    HWND overlay_hwnd = nullptr;
    HWINEVENTHOOK win_event_hook = nullptr;
    UINT taskbar_created_msg = 0;
    bool tray_added = false;
    std::vector<MonitorEntry> menu_monitors;
    std::thread session_thread;
    WarpChannel warp_channel;
    bool running = false;
    RECT mirror_rect{};
    std::wstring mirror_monitor_name;
    bool mag_initialized = false;
    bool cursor_hidden = false;
    MagnificationApi magnification;
};

// The one controller, set by its constructor and never reset; null before it exists.
extern AppController* app_instance;

}  // namespace kelvane
