// Control window, tray icon, hotkey, foreground hook, display changes and the message loop.
#include "ui/control_window_win32.h"

#include <shellapi.h>

#include <cwchar>
#include <iterator>

#include "app/app_controller_win32.h"
#include "platform/log.h"
#include "platform/utf8.h"
#include "session/mirror_control_win32.h"
#include "session/overlay_win32.h"
#include "ui/display_change.h"
#include "ui/tray_menu_win32.h"

namespace kelvane {
namespace {

constexpr DWORD foreground_hook_flags = WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS;

void CALLBACK foreground_changed(HWINEVENTHOOK /*hook*/, DWORD event, HWND /*window*/, LONG /*object*/,
                                 LONG /*child*/, DWORD /*thread*/, DWORD /*time*/) {
    if (app_instance != nullptr && event == EVENT_SYSTEM_FOREGROUND) {
        keep_overlay_topmost(app_instance->overlay_hwnd);
    }
}

void on_timer(AppController& app, WPARAM id) {
    if (id == topmost_timer_id) {
        keep_overlay_topmost(app.overlay_hwnd);
    } else if (id == cursor_timer_id) {
        update_cursor_visibility(app);
    }
}

// The tray icon speaks the version-0 protocol: lParam is the mouse message itself.
void on_tray_message(AppController& app, LPARAM mouse_message) {
    switch (static_cast<UINT>(mouse_message)) {
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
        show_tray_menu(app);
        break;
    case WM_LBUTTONDBLCLK:
        toggle_mirror(app);
        break;
    default:
        break;
    }
}

void on_taskbar_created(AppController& app) {
    // Explorer restarted: the old icon is gone with the old taskbar.
    app.tray_added = false;
    add_tray_icon(app);
}

void remove_tray_icon(AppController& app) {
    if (!app.tray_added) {
        return;
    }
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = app.control_hwnd;
    data.uID = tray_icon_id;
    Shell_NotifyIconW(NIM_DELETE, &data);
    app.tray_added = false;
}

bool create_control_window(AppController& app) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = control_window_proc;
    wc.hInstance = app.instance;
    wc.lpszClassName = control_class_name;
    RegisterClassExW(&wc);
    // A hidden top-level window rather than a message-only one: only top-level windows receive the
    // WM_DISPLAYCHANGE and "TaskbarCreated" broadcasts.
    app.control_hwnd = CreateWindowExW(0, control_class_name, control_window_title, 0, 0, 0, 0, 0, nullptr, nullptr,
                                       app.instance, nullptr);
    if (app.control_hwnd == nullptr) {
        log_message("msgwnd: create failed, err=%lu", GetLastError());
        return false;
    }
    return true;
}

}  // namespace

void add_tray_icon(AppController& app) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = app.control_hwnd;
    data.uID = tray_icon_id;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = tray_callback_message;
    data.hIcon = LoadIconW(app.instance, MAKEINTRESOURCEW(tray_icon_resource));
    if (data.hIcon == nullptr) {
        data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    }
    std::wcsncpy(data.szTip, tray_tooltip, std::size(data.szTip) - 1);
    if (Shell_NotifyIconW(NIM_ADD, &data) != FALSE) {
        app.tray_added = true;
    } else {
        log_message("tray: NIM_ADD failed");
    }
}

void on_display_change(AppController& app) {
    log_message("display change detected");
    if (!app.running) {
        return;
    }
    on_display_change(app, enumerate_monitors());
}

void on_display_change(AppController& app, const std::vector<MonitorEntry>& monitors) {
    switch (decide_display_change(app.running, monitors, app.mirror_monitor_name)) {
    case DisplayChangeAction::none:
        break;
    case DisplayChangeAction::deactivate:
        log_message("display change: warped monitor '%s' is gone - deactivating mirror",
                    wide_to_utf8(app.mirror_monitor_name).c_str());
        stop_mirror(app);
        app.settings.active = false;
        save_settings(app.settings);
        break;
    case DisplayChangeAction::restart:
        stop_mirror(app);
        start_mirror(app);
        break;
    }
}

LRESULT CALLBACK control_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (app_instance == nullptr) {
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    AppController& app = *app_instance;
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_DISPLAYCHANGE:
        on_display_change(app);
        return 0;
    case WM_COMMAND:
        on_command(app, LOWORD(wparam));
        return 0;
    case WM_TIMER:
        on_timer(app, wparam);
        return 0;
    case WM_HOTKEY:
        if (wparam == static_cast<WPARAM>(hotkey_id)) {
            toggle_mirror(app);
        }
        return 0;
    case tray_callback_message:
        on_tray_message(app, lparam);
        return 0;
    default:
        if (app.taskbar_created_msg != 0 && message == app.taskbar_created_msg) {
            on_taskbar_created(app);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

unsigned run_application(AppController& app) {
    if (!create_control_window(app)) {
        return 1;
    }
    app.taskbar_created_msg = RegisterWindowMessageW(taskbar_created_name);
    add_tray_icon(app);
    // Another program may hold the combination; the tray menu still works then.
    RegisterHotKey(app.control_hwnd, hotkey_id, hotkey_modifiers, hotkey_key);
    app.win_event_hook = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                                         foreground_changed, 0, 0, foreground_hook_flags);
    if (app.settings.active) {
        start_mirror(app);
    }

    MSG msg{};
    unsigned code = 0;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            code = static_cast<unsigned>(msg.wParam);
            break;
        }
        if (got == -1) {
            // Only a broken message queue gets here; going round again would spin.
            log_message("msgwnd: GetMessage failed, err=%lu", GetLastError());
            code = 1;
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    stop_mirror(app);
    // An Adjust-warp window still open saves on its way out; later it would outlive the controller.
    if (app.adjust_hwnd != nullptr) {
        DestroyWindow(app.adjust_hwnd);
    }
    if (app.win_event_hook != nullptr) {
        UnhookWinEvent(app.win_event_hook);
        app.win_event_hook = nullptr;
    }
    UnregisterHotKey(app.control_hwnd, hotkey_id);
    remove_tray_icon(app);
    save_settings(app.settings);
    return code;
}

}  // namespace kelvane
