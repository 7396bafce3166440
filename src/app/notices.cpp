// The notices' texts.
#include "app/notices.h"

namespace kelvane {

Notice waiting_notice(WaitReason reason) noexcept {
    switch (reason) {
        case WaitReason::locked_desktop:
            return Notice::waiting_locked;
        case WaitReason::duplication_busy:
            return Notice::waiting_busy;
        case WaitReason::unsupported:
            return Notice::waiting_unsupported;
        case WaitReason::other:
            break;
    }
    return Notice::waiting_other;
}

const char* notice_text(Notice notice) noexcept {
    switch (notice) {
        case Notice::old_windows:
            return "The mirror needs Windows 10 version 2004 or later. On this Windows it could only show a black "
                   "screen, so it stays off.";
        case Notice::waiting_locked:
            return "The mirror is waiting: the screen is locked or a security prompt is open. It comes back by "
                   "itself when the desktop returns.";
        case Notice::waiting_busy:
            return "The mirror is waiting: another program is capturing this screen (a recorder, a game in full "
                   "screen). It comes back by itself when that program lets go.";
        case Notice::waiting_unsupported:
            return "The mirror is waiting: the graphics card cannot capture this screen.";
        case Notice::waiting_other:
            return "The mirror is waiting for the screen to become available.";
        case Notice::mirror_stopped:
            return "The mirror stopped because it could not run. Your settings are kept; switch it on again from "
                   "the tray icon.";
        case Notice::settings_unreadable:
            return "Your saved settings could not be read. The mirror uses the defaults this time and leaves your "
                   "settings file as it is.";
        case Notice::hotkey_taken:
            return "The hotkey is taken by another program. Switch the mirror on and off from the tray icon.";
        case Notice::hotkey_types:
            return "The hotkey is also how your keyboard types a character. Choose another one with Hotkey... in "
                   "the tray menu.";
    }
    return "";
}

std::string hotkey_types_text(const std::string& hotkey, const std::string& character) {
    return hotkey + " switches the mirror, but on your keyboard it also types " + character +
           " (Ctrl+Alt is AltGr there), which you cannot type while the mirror holds it. To choose another "
           "hotkey, pick Hotkey... in the tray menu.";
}

}  // namespace kelvane
