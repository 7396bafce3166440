// The application's host on Windows: the monitor list, the mirror session, the settings file, the tray
// menu, the Adjust-warp window, the browser and the message loop's end.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <utility>

#include "app/app_host.h"
#include "session/mirror_session_win32.h"
#include "ui/adjust_window_win32.h"
#include "ui/hotkey_window_win32.h"
#include "ui/region_picker_win32.h"
#include "ui/tray_icon_win32.h"

namespace kelvane {

class WindowsHost final : public AppHost {
public:
    WindowsHost(MirrorOptions options, UserActions& actions) noexcept
        : options_(std::move(options)), adjust_window_(actions), hotkey_window_(actions), region_picker_(actions) {}
    WindowsHost(const WindowsHost&) = delete;
    WindowsHost& operator=(const WindowsHost&) = delete;
    ~WindowsHost() = default;

    // The window that owns the tray menu, receives its commands and the hotkey, and hears the mirror's reports.
    void set_menu_owner(HWND owner) noexcept {
        menu_owner_ = owner;
        options_.report_window = owner;
    }
    void set_tray(TrayIcon* tray) noexcept { tray_ = tray; }
    void close_adjust_window() noexcept { adjust_window_.close(); }
    void close_hotkey_window() noexcept { hotkey_window_.close(); }
    void close_region_picker() noexcept { region_picker_.close(); }
    // Keyboard use of the Adjust-warp window; true when the message has been handled there.
    [[nodiscard]] bool adjust_dialog_message(MSG& msg) noexcept { return adjust_window_.dialog_message(msg); }
    [[nodiscard]] bool hotkey_dialog_message(MSG& msg) noexcept { return hotkey_window_.dialog_message(msg); }
    void unregister_hotkey() noexcept;

    // For the foreground hook and tests: the running mirror, or null.
    [[nodiscard]] MirrorSession* session() const noexcept { return session_.get(); }
    [[nodiscard]] HWND adjust_window() const noexcept { return adjust_window_.hwnd(); }
    [[nodiscard]] HWND hotkey_window() const noexcept { return hotkey_window_.hwnd(); }
    [[nodiscard]] HWND region_picker() const noexcept { return region_picker_.hwnd(); }

    std::vector<MonitorEntry> monitors() override;
    bool start_mirror(const MirrorPlan& plan, const WarpParams& warp) override;
    void stop_mirror() override;
    bool mirror_ended() override;
    void notify(const std::string& text) override;
    [[nodiscard]] std::string hotkey_character(const Hotkey& hotkey) override;
    void settle_display_changes(unsigned quiet_ms) override;
    void wake_mirror() override;
    void publish_warp(const WarpParams& warp) override;
    bool save_settings(const Settings& settings) override;
    void show_menu(const std::vector<MenuItem>& items) override;
    bool open_region_picker(const MonitorRect& monitor) override;
    void open_adjust_window(const WarpParams& warp, const std::optional<WindowPosition>& position) override;
    void show_warp(const WarpParams& warp) override;
    void open_web_page() override;
    void quit() override;
    bool register_hotkey(const Hotkey& hotkey) override;
    void show_hotkey(const Hotkey& hotkey) override;
    void open_hotkey_window(const Hotkey& hotkey) override;
    bool starts_with_windows() override;
    bool set_start_with_windows(bool on) override;

private:
    MirrorOptions options_;
    HWND menu_owner_ = nullptr;
    TrayIcon* tray_ = nullptr;
    MagnificationApi magnification_;
    std::unique_ptr<MirrorSession> session_;
    AdjustWindow adjust_window_;
    HotkeyWindow hotkey_window_;
    RegionPicker region_picker_;
    std::optional<Hotkey> registered_hotkey_;
};

}  // namespace kelvane
