// The controller's answers to what reaches it besides the tray menu: a hotkey chosen in its window,
// the Start-with-Windows switch and commands sent by other programs.
#include "app/controller.h"

#include "platform/log.h"

namespace kelvane {

void Controller::toggle_start_with_windows() {
    const bool on = !host_.starts_with_windows();
    if (host_.set_start_with_windows(on)) {
        log_message(on ? "startup: starts with Windows" : "startup: no longer starts with Windows");
    }
}

bool Controller::hotkey_chosen(const Hotkey& hotkey) {
    const std::string text = format_hotkey(hotkey);
    if (!host_.register_hotkey(hotkey)) {
        log_message("hotkey: %s refused by the system, keeping %s", text.c_str(),
                    format_hotkey(settings_.hotkey).c_str());
        return false;
    }
    log_message("hotkey: %s", text.c_str());
    settings_.hotkey = hotkey;
    save();
    host_.show_hotkey(hotkey);
    return true;
}

// What the matching hotkey or menu command does; "on" and "off" only when they change something.
void Controller::remote_command(RemoteCommand sent) {
    log_message("control: %s", remote_command_name(sent));
    switch (sent) {
        case RemoteCommand::toggle:
            toggle_mirror();
            break;
        case RemoteCommand::on:
            if (!running_) {
                toggle_mirror();
            }
            break;
        case RemoteCommand::off:
            // Also a mirror that waits for its monitor, or that could not start, is given up.
            // The awaited monitor is found again by its path as well as by its name: both go.
            if (running_ || settings_.active || !awaited_name_.empty() || !awaited_id_.empty()) {
                awaited_name_.clear();
                awaited_id_.clear();
                settings_.active = false;
                stop_mirror();
                save();
            }
            break;
        case RemoteCommand::mirror_h:
            command(menu_id::mirror_h);
            break;
        case RemoteCommand::mirror_v:
            command(menu_id::mirror_v);
            break;
        case RemoteCommand::reset_warp:
            command(menu_id::reset_warp);
            break;
        case RemoteCommand::adjust:
            command(menu_id::adjust_warp);
            break;
        case RemoteCommand::exit:
            command(menu_id::exit);
            break;
    }
}

}  // namespace kelvane
