// The tray icon through Shell_NotifyIconW.
#include "ui/tray_icon_win32.h"

#include <shellapi.h>

#include <cwchar>
#include <iterator>

#include "platform/log.h"

namespace kelvane {

void TrayIcon::add(HWND owner, HINSTANCE instance) {
    owner_ = owner;
    instance_ = instance;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = tray_icon_id;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = tray_callback_message;
    data.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(tray_icon_resource));
    if (data.hIcon == nullptr) {
        data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    }
    std::wcsncpy(data.szTip, tray_tooltip, std::size(data.szTip) - 1);
    if (Shell_NotifyIconW(NIM_ADD, &data) != FALSE) {
        shown_ = true;
    } else {
        log_message("tray: NIM_ADD failed");
    }
}

void TrayIcon::add_again() {
    shown_ = false;
    add(owner_, instance_);
}

void TrayIcon::remove() noexcept {
    if (!shown_) {
        return;
    }
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = owner_;
    data.uID = tray_icon_id;
    Shell_NotifyIconW(NIM_DELETE, &data);
    shown_ = false;
}

}  // namespace kelvane
