// Control window: its class, creation and the procedure that turns messages into user actions.
#include "ui/control_window_win32.h"

#include <shellapi.h>
#include <wtsapi32.h>

#include <utility>

#include "platform/log.h"
#include "platform/window_owner_win32.h"
#include "session/overlay_win32.h"

namespace kelvane {
namespace {

// In the user's editor for log files: what to make of a notification is written there.
void open_log_in_editor() noexcept {
    const std::wstring folder = data_folder();
    if (folder.empty()) {
        return;
    }
    const std::wstring path = log_file_path(folder);
    const auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32) {
        log_message("tray: the log could not be opened (%d)", static_cast<int>(result));
    }
}

}  // namespace

bool ControlWindow::create(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.lpszClassName = control_class_name;
    RegisterClassExW(&wc);
    taskbar_created_message_ = RegisterWindowMessageW(taskbar_created_name);
    // A hidden top-level window rather than a message-only one: only top-level windows receive the
    // WM_DISPLAYCHANGE and "TaskbarCreated" broadcasts.
    window_.reset(
        CreateWindowExW(0, control_class_name, control_window_title, 0, 0, 0, 0, 0, nullptr, nullptr, instance, this));
    if (!window_) {
        log_message("msgwnd: create failed, err=%lu", GetLastError());
        return false;
    }
    // Unlocks and reconnections arrive as WM_WTSSESSION_CHANGE; without them a locked night only ends
    // a pause when it runs out.
    session_notifications_ = WTSRegisterSessionNotification(window_.get(), NOTIFY_FOR_THIS_SESSION) != FALSE;
    // Commands come from the user's own programs, which may run without the elevation this copy has.
    ChangeWindowMessageFilterEx(window_.get(), WM_COPYDATA, MSGFLT_ALLOW, nullptr);
    return true;
}

ControlWindow::~ControlWindow() {
    if (session_notifications_) {
        WTSUnRegisterSessionNotification(window_.get());
    }
}

LRESULT CALLBACK ControlWindow::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return owner_window_procedure<ControlWindow>(hwnd, message, wparam, lparam);
}

LRESULT ControlWindow::handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_DISPLAYCHANGE:
            actions_.display_changed();
            return 0;
        case WM_TIMER:
            if (wparam == display_settle_timer_id) {
                KillTimer(hwnd, display_settle_timer_id);
                actions_.display_settled();
            }
            return 0;
        case WM_WTSSESSION_CHANGE:
            if (wparam == WTS_SESSION_UNLOCK || wparam == WTS_CONSOLE_CONNECT || wparam == WTS_REMOTE_CONNECT) {
                actions_.desktop_switched();
            }
            return 0;
        case WM_COMMAND:
            actions_.command(LOWORD(wparam));
            return 0;
        case WM_HOTKEY:
            if (wparam == static_cast<WPARAM>(hotkey_id)) {
                actions_.toggle_mirror();
            }
            return 0;
        case WM_COPYDATA:
            return on_copy_data(hwnd, reinterpret_cast<const COPYDATASTRUCT*>(lparam));
        case remote_command_message:
            carry_out_remote_commands();
            return 0;
        case tray_callback_message:
            on_tray_message(lparam);
            return 0;
        case mirror_waiting_message:
            actions_.mirror_waiting(static_cast<WaitReason>(wparam));
            return 0;
        case mirror_ended_message:
            actions_.mirror_ended();
            return 0;
        default:
            if (taskbar_created_message_ != 0 && message == taskbar_created_message_) {
                tray_.add_again();
                return 0;
            }
            return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

// The tray icon speaks the version-0 protocol: lParam is the mouse message itself.
void ControlWindow::on_tray_message(LPARAM mouse_message) {
    switch (static_cast<UINT>(mouse_message)) {
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU:
            actions_.open_menu();
            break;
        case WM_LBUTTONDBLCLK:
            actions_.toggle_mirror();
            break;
        case NIN_BALLOONUSERCLICK:
            open_log_in_editor();
            break;
        default:
            break;
    }
}

// A sent message can arrive while this thread waits inside another operation (a mirror starting):
// the command waits for the message loop instead of running in the middle of it.
LRESULT ControlWindow::on_copy_data(HWND hwnd, const COPYDATASTRUCT* data) {
    if (data == nullptr || data->dwData != remote_protocol_id) {
        return FALSE;  // another program's message, not a command
    }
    const std::optional<RemoteCommand> command = decode_remote_payload(data->lpData, data->cbData);
    if (!command) {
        log_message("control: unknown command");
        return FALSE;
    }
    if (PostMessageW(hwnd, remote_command_message, 0, 0) == FALSE) {
        log_message("control: cannot queue %s, err=%lu", remote_command_name(*command), GetLastError());
        return FALSE;
    }
    remote_commands_.push_back(*command);
    return TRUE;
}

void ControlWindow::carry_out_remote_commands() {
    const std::vector<RemoteCommand> commands = std::move(remote_commands_);
    remote_commands_.clear();
    for (const RemoteCommand command : commands) {
        actions_.remote_command(command);
    }
}

}  // namespace kelvane
