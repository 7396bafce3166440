// The host's operations over Win32, the mirror session and the windows of the control surface.
#include "app/windows_host_win32.h"

#include <shellapi.h>

#include "app/start_with_windows.h"
#include "platform/utf8.h"
#include "ui/control_window_win32.h"
#include "ui/tray_menu_win32.h"

namespace kelvane {
namespace {

constexpr wchar_t open_verb[] = L"open";

}  // namespace

std::vector<MonitorEntry> WindowsHost::monitors() {
    return enumerate_monitors();
}

bool WindowsHost::start_mirror(const MirrorPlan& plan, const WarpParams& warp) {
    session_ = MirrorSession::start(options_, plan, warp, magnification_);
    return session_ != nullptr;
}

void WindowsHost::stop_mirror() {
    session_.reset();
}

bool WindowsHost::mirror_ended() {
    return session_ != nullptr && session_->ended();
}

void WindowsHost::notify(const std::string& text) {
    if (tray_ != nullptr) {
        tray_->show_balloon(utf8_to_wide(text));
    }
}

std::string WindowsHost::hotkey_character(const Hotkey& hotkey) {
    return wide_to_utf8(kelvane::hotkey_character(hotkey));
}

void WindowsHost::settle_display_changes(unsigned quiet_ms) {
    // The same timer again: a change within the quiet time starts it afresh.
    SetTimer(menu_owner_, display_settle_timer_id, quiet_ms, nullptr);
}

void WindowsHost::wake_mirror() {
    if (session_) {
        session_->wake();
    }
}

void WindowsHost::publish_warp(const WarpParams& warp) {
    if (session_) {
        session_->publish(warp);
    }
}

bool WindowsHost::save_settings(const Settings& settings) {
    return kelvane::save_settings(settings);
}

void WindowsHost::show_menu(const std::vector<MenuItem>& items) {
    show_tray_menu(menu_owner_, items);
}

bool WindowsHost::open_region_picker(const MonitorRect& monitor) {
    return region_picker_.open(options_.instance, monitor);
}

void WindowsHost::open_adjust_window(const WarpParams& warp, const std::optional<WindowPosition>& position) {
    adjust_window_.open(options_.instance, warp, position);
}

void WindowsHost::show_warp(const WarpParams& warp) {
    adjust_window_.show(warp);
}

void WindowsHost::open_web_page() {
    // Whether a browser opened is not ours to report.
    static_cast<void>(ShellExecuteW(nullptr, open_verb, maker_web_page, nullptr, nullptr, SW_SHOWNORMAL));
}

void WindowsHost::quit() {
    PostQuitMessage(0);
}

bool WindowsHost::register_hotkey(const Hotkey& hotkey) {
    // The same combination again must not be refused as taken by ourselves.
    const std::optional<Hotkey> previous = registered_hotkey_;
    unregister_hotkey();
    const auto put = [this](const Hotkey& wanted) {
        return RegisterHotKey(menu_owner_, hotkey_id, wanted.modifiers | MOD_NOREPEAT, wanted.key) != FALSE;
    };
    if (put(hotkey)) {
        registered_hotkey_ = hotkey;
        return true;
    }
    const DWORD error = GetLastError();
    if (previous && put(*previous)) {
        registered_hotkey_ = previous;
    }
    SetLastError(error);
    return false;
}

void WindowsHost::unregister_hotkey() noexcept {
    if (registered_hotkey_) {
        UnregisterHotKey(menu_owner_, hotkey_id);
        registered_hotkey_.reset();
    }
}

void WindowsHost::show_hotkey(const Hotkey& hotkey) {
    if (tray_ != nullptr) {
        tray_->set_hotkey_text(utf8_to_wide(format_hotkey(hotkey)));
    }
}

void WindowsHost::open_hotkey_window(const Hotkey& hotkey) {
    hotkey_window_.open(options_.instance, hotkey);
}

bool WindowsHost::starts_with_windows() {
    return read_start_with_windows();
}

bool WindowsHost::set_start_with_windows(bool on) {
    return write_start_with_windows(on);
}

}  // namespace kelvane
