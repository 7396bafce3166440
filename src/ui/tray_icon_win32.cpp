// The tray icon through Shell_NotifyIconW.
#include "ui/tray_icon_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <iterator>

#include "platform/log.h"

namespace kelvane {

namespace {

using LoadIconMetricFunction = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, HICON*);

// The icon's own image for the system's small-icon size at the current DPI, so that it is crisp rather
// than a 16 x 16 image scaled up. LoadIconMetric comes with common controls 6, which the manifest
// asks for; it is looked up at run time, as a process without that manifest has a comctl32 without it.
HICON load_tray_icon(HINSTANCE instance) {
    HICON icon = nullptr;
    const HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    const auto load_metric = comctl != nullptr ? reinterpret_cast<LoadIconMetricFunction>(
                                                     reinterpret_cast<void*>(GetProcAddress(comctl, "LoadIconMetric")))
                                               : nullptr;
    if (load_metric != nullptr &&
        SUCCEEDED(load_metric(instance, MAKEINTRESOURCEW(tray_icon_resource), LIM_SMALL, &icon))) {
        return icon;
    }
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(tray_icon_resource), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
}

// What names our icon to the shell; each call adds the fields it changes.
NOTIFYICONDATAW icon_identity(HWND owner) noexcept {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = tray_icon_id;
    return data;
}

NOTIFYICONDATAW icon_data(HWND owner, HICON icon, const std::wstring& tooltip) {
    NOTIFYICONDATAW data = icon_identity(owner);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = tray_callback_message;
    data.hIcon = icon != nullptr ? icon : LoadIconW(nullptr, IDI_APPLICATION);
    std::wcsncpy(data.szTip, tooltip.c_str(), std::size(data.szTip) - 1);
    return data;
}

}  // namespace

void TrayIcon::add(HWND owner, HINSTANCE instance) {
    owner_ = owner;
    if (icon_ == nullptr) {
        icon_ = load_tray_icon(instance);
    }
    NOTIFYICONDATAW data = icon_data(owner, icon_, tooltip_);
    if (Shell_NotifyIconW(NIM_ADD, &data) != FALSE) {
        shown_ = true;
    } else {
        log_message("tray: NIM_ADD failed");
    }
}

void TrayIcon::add_again() {
    NOTIFYICONDATAW data = icon_data(owner_, icon_, tooltip_);
    if (Shell_NotifyIconW(NIM_ADD, &data) != FALSE) {
        shown_ = true;
        return;
    }
    // A taskbar that kept our icon refuses a second one: bring the one it has up to date instead of
    // leaving it a ghost that no longer answers.
    if (Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE) {
        shown_ = true;
        log_message("tray: icon still there after TaskbarCreated, updated it");
        return;
    }
    // shown_ stays as it was: an icon shown before is still deleted at exit, in case it survived.
    log_message("tray: NIM_ADD failed");
}

void TrayIcon::show_balloon(const std::wstring& text) noexcept {
    if (!shown_) {
        return;  // the refused icon was logged; the log line of the notice stands alone
    }
    NOTIFYICONDATAW data = icon_identity(owner_);
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_WARNING;
    std::wcsncpy(data.szInfo, text.c_str(), std::size(data.szInfo) - 1);
    std::wcsncpy(data.szInfoTitle, tray_balloon_title, std::size(data.szInfoTitle) - 1);
    if (Shell_NotifyIconW(NIM_MODIFY, &data) == FALSE) {
        log_message("tray: notification refused");
    }
}

void TrayIcon::remove() noexcept {
    if (!shown_) {
        return;
    }
    NOTIFYICONDATAW data = icon_identity(owner_);
    if (Shell_NotifyIconW(NIM_DELETE, &data) == FALSE) {
        log_message("tray: NIM_DELETE failed");
    }
    shown_ = false;
}

void TrayIcon::set_hotkey_text(const std::wstring& hotkey_text) {
    tooltip_ = std::wstring(tray_tooltip) + L" (" + hotkey_text + L")";
    if (!shown_) {
        return;
    }
    NOTIFYICONDATAW data = icon_identity(owner_);
    data.uFlags = NIF_TIP;
    std::wcsncpy(data.szTip, tooltip_.c_str(), std::size(data.szTip) - 1);
    if (Shell_NotifyIconW(NIM_MODIFY, &data) == FALSE) {
        log_message("tray: NIM_MODIFY failed");
    }
}

TrayIcon::~TrayIcon() {
    remove();
    if (icon_ != nullptr) {
        DestroyIcon(icon_);
    }
}

}  // namespace kelvane
