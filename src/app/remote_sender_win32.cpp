// --send over WM_COPYDATA.
#include "app/remote_sender_win32.h"

#include <windows.h>

#include <cstring>

#include "platform/log.h"
#include "ui/control_window_win32.h"

namespace kelvane {

SendResult send_to_running_copy(RemoteCommand command) {
    // FindWindow looks on the caller's desktop only, which is the one the command is meant for.
    const HWND target = FindWindowW(control_class_name, nullptr);
    if (target == nullptr) {
        return SendResult::no_copy;
    }
    const char* name = remote_command_name(command);
    COPYDATASTRUCT data{};
    data.dwData = remote_protocol_id;
    data.cbData = static_cast<DWORD>(std::strlen(name) + 1);
    data.lpData = const_cast<char*>(name);  // read only by the receiver
    DWORD_PTR answer = FALSE;
    const LRESULT sent = SendMessageTimeoutW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                             SMTO_ABORTIFHUNG | SMTO_ERRORONEXIT, send_timeout_ms, &answer);
    if (sent == 0) {
        log_message("send: %s not answered, err=%lu", name, GetLastError());
        return SendResult::unanswered;
    }
    if (answer != TRUE) {
        log_message("send: %s refused by the running copy", name);
        return SendResult::unanswered;
    }
    return SendResult::delivered;
}

}  // namespace kelvane
