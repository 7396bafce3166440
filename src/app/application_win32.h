// The running application: the controller that decides and the Windows host that carries out, the
// control window with the tray icon and the hotkey, the foreground hook, and the message loop.
#pragma once

#include <windows.h>

#include <vector>

#include "app/controller.h"
#include "app/windows_host_win32.h"
#include "platform/unique_handle_win32.h"
#include "ui/control_window_win32.h"
#include "ui/tray_icon_win32.h"

namespace kelvane {

class Application {
public:
    Application(HINSTANCE instance, Settings settings, bool pattern, bool no_exclude);
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
    ~Application();

    // Control window, tray icon, hotkey, hook, the mirror when it is active, the message loop until
    // Exit, then the teardown. Returns the exit code.
    [[nodiscard]] unsigned run();

    // The set-up and the teardown of run, for tests that drive the windows themselves.
    [[nodiscard]] bool set_up();
    void tear_down();

    // A notice for the user once the tray icon is there.
    void notify_at_start(Notice notice) { start_notices_.push_back(notice); }

    [[nodiscard]] Controller& controller() noexcept { return controller_; }
    [[nodiscard]] WindowsHost& host() noexcept { return host_; }
    [[nodiscard]] HWND control_window() const noexcept { return control_window_.hwnd(); }

private:
    static void CALLBACK system_event(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object, LONG child,
                                      DWORD thread, DWORD time);

    HINSTANCE instance_;
    // The controller acts through the host, and the host's windows report to the controller: the
    // host goes first, once its Adjust-warp window has reported its closing.
    Controller controller_;
    WindowsHost host_;
    TrayIcon tray_;
    ControlWindow control_window_;
    UniqueWinEventHook foreground_hook_;
    UniqueWinEventHook desktop_switch_hook_;
    std::vector<Notice> start_notices_;
    bool set_up_ = false;
};

}  // namespace kelvane
