// What the user asks for through the control surface (the hotkey, the tray icon and its menu, the
// Adjust-warp window) and what the system reports there (a display change). The windows only report
// it; the application decides what it means.
#pragma once

#include "display/monitor_list.h"
#include "session/session_backend.h"
#include "settings/hotkey.h"
#include "settings/warp_params.h"
#include "ui/remote_command.h"

namespace kelvane {

class UserActions {
public:
    // The hotkey, a tray double-click, or the menu's "Mirror active".
    virtual void toggle_mirror() = 0;
    // The tray icon's right button: the menu is about to open.
    virtual void open_menu() = 0;
    // A menu command id (the low word of WM_COMMAND's wParam); unknown ids do nothing.
    virtual void command(unsigned id) = 0;
    virtual void display_changed() = 0;
    // No display change came for a while after the last one (see AppHost::settle_display_changes).
    virtual void display_settled() = 0;
    // Another desktop took over or came back (the secure desktop of a lock screen or a UAC prompt, an
    // unlock, a reconnected session): what kept duplication from starting may be gone.
    virtual void desktop_switched() = 0;
    // The running mirror has long been unable to present, for `reason` as far as the system said.
    virtual void mirror_waiting(WaitReason reason) = 0;
    // The running mirror's session ended by itself: the mirror cannot run.
    virtual void mirror_ended() = 0;
    // The Adjust-warp window changed the warp: every step while a slider moves, `finished` once the
    // change is complete (a slider let go, a box clicked).
    virtual void warp_edited(const WarpParams& warp, bool finished) = 0;
    // The Adjust-warp window's Reset.
    virtual void warp_reset() = 0;
    // The Adjust-warp window has gone.
    virtual void adjust_closed() = 0;
    // The Hotkey window's OK: true when `hotkey` is in use now; false when the system refused it and
    // the one before stays.
    [[nodiscard]] virtual bool hotkey_chosen(const Hotkey& hotkey) = 0;
    // A command sent by another process.
    virtual void remote_command(RemoteCommand command) = 0;
    // The region selection window took `rect` (desktop pixels, inside the monitor it was shown on, never
    // empty) and has gone.
    virtual void region_chosen(const MonitorRect& rect) = 0;
    // The region selection window was closed without a choice (Esc, lost to another program).
    virtual void region_cancelled() = 0;

protected:
    UserActions() = default;
    ~UserActions() = default;
    UserActions(const UserActions&) = default;
    UserActions& operator=(const UserActions&) = default;
};

}  // namespace kelvane
