// What the application's decisions need from the system: the monitors, the mirror, the settings file,
// the menu and the Adjust-warp window. The Windows implementation carries it out; tests fake it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "display/monitor_list.h"
#include "session/mirror_plan.h"
#include "settings/settings.h"
#include "ui/adjust_warp.h"
#include "ui/menu_model.h"

namespace kelvane {

class AppHost {
public:
    [[nodiscard]] virtual std::vector<MonitorEntry> monitors() = 0;
    // Shows the mirror `plan` describes through `warp`; false (logged) when it could not be started.
    [[nodiscard]] virtual bool start_mirror(const MirrorPlan& plan, const WarpParams& warp) = 0;
    // Ends the running mirror; returns once its overlay is gone.
    virtual void stop_mirror() = 0;
    // Whether the running mirror's session ended by itself; a report of an earlier mirror's end is
    // not about this one.
    [[nodiscard]] virtual bool mirror_ended() = 0;
    // Shows `text` (UTF-8) to the user as a notification of the tray icon.
    virtual void notify(const std::string& text) = 0;
    // Reports display_settled once no display change has come for `quiet_ms` (each call starts the
    // wait again), so that a burst of changes is acted on once.
    virtual void settle_display_changes(unsigned quiet_ms) = 0;
    // The running mirror tries again at once instead of finishing a pause.
    virtual void wake_mirror() = 0;
    // New warp values for the running mirror.
    virtual void publish_warp(const WarpParams& warp) = 0;
    // Writes the settings file; false when it could not be replaced (logged).
    virtual bool save_settings(const Settings& settings) = 0;
    // Shows the tray menu and returns when it closes; a chosen command arrives later as a command.
    virtual void show_menu(const std::vector<MenuItem>& items) = 0;
    // Shows the region selection window over `monitor` (desktop pixels); its outcome arrives later as
    // region_chosen or region_cancelled. False (logged) when it could not be shown.
    [[nodiscard]] virtual bool open_region_picker(const MonitorRect& monitor) = 0;
    // Opens the Adjust-warp window at `position` (none: centred on the work area), or brings the open
    // one forward.
    virtual void open_adjust_window(const WarpParams& warp, const std::optional<WindowPosition>& position) = 0;
    // The open Adjust-warp window shows these values; nothing when it is closed.
    virtual void show_warp(const WarpParams& warp) = 0;
    virtual void open_web_page() = 0;
    // Puts `hotkey` in place of the registered one. False when the system refuses it (another program
    // holds it); the one registered before then stays.
    [[nodiscard]] virtual bool register_hotkey(const Hotkey& hotkey) = 0;
    // The character (UTF-8) that `hotkey` types on the keyboard layout in use, where its Ctrl+Alt is
    // AltGr; empty when it types none.
    [[nodiscard]] virtual std::string hotkey_character(const Hotkey& hotkey) = 0;
    // The tray icon's tooltip names the hotkey.
    virtual void show_hotkey(const Hotkey& hotkey) = 0;
    // Opens the Hotkey window showing `hotkey`, or brings the open one forward.
    virtual void open_hotkey_window(const Hotkey& hotkey) = 0;
    // Whether the system will start this program at sign-in, as it stands now (the user may change it
    // elsewhere).
    [[nodiscard]] virtual bool starts_with_windows() = 0;
    // Makes the system start this program at sign-in, or not; false (logged) when it could not.
    virtual bool set_start_with_windows(bool on) = 0;
    // Ends the message loop.
    virtual void quit() = 0;

protected:
    AppHost() = default;
    ~AppHost() = default;
    AppHost(const AppHost&) = default;
    AppHost& operator=(const AppHost&) = default;
};

}  // namespace kelvane
