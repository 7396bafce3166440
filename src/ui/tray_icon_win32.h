// The notification-area icon: added at start, added again when Explorer restarts ("TaskbarCreated"),
// deleted at exit. It reports the mouse through the owner window's tray callback message.
#pragma once

#include <windows.h>

#include <string>

namespace kelvane {

inline constexpr UINT tray_icon_id = 1;
inline constexpr UINT tray_callback_message = WM_APP + 1;
inline constexpr int tray_icon_resource = 101;
// Followed by the hotkey in brackets.
inline constexpr wchar_t tray_tooltip[] = L"Kelvane2 - teleprompter mirror";
inline constexpr wchar_t tray_balloon_title[] = L"Kelvane2";

class TrayIcon {
public:
    TrayIcon() = default;
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Adds the icon to `owner`; logs when the shell refuses it.
    void add(HWND owner, HINSTANCE instance);
    // Explorer restarted: the old icon normally went with the old taskbar; one that stayed is updated.
    void add_again();
    // Deletes the icon whenever one was shown since it was added; logs when the shell refuses.
    void remove() noexcept;
    // The tooltip names `hotkey_text`, from now on and on the icon that is shown.
    void set_hotkey_text(const std::wstring& hotkey_text);
    [[nodiscard]] bool shown() const noexcept { return shown_; }
    // A warning balloon (the system's notification of a tray program) with `text`; logs a refusal.
    void show_balloon(const std::wstring& text) noexcept;

private:
    HWND owner_ = nullptr;
    HICON icon_ = nullptr;  // loaded once, at the size for the DPI at start
    bool shown_ = false;
    std::wstring tooltip_ = tray_tooltip;
};

}  // namespace kelvane
