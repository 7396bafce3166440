// The application's decisions.
#include "app/controller.h"

#include <utility>

#include "app/display_change.h"
#include "platform/log.h"
#include "platform/utf8.h"

namespace kelvane {

Controller::Controller(AppHost& host, Settings settings) : host_(host), settings_(std::move(settings)) {}

void Controller::start() {
    // The tray menu still works without it.
    if (!host_.register_hotkey(settings_.hotkey)) {
        log_message("hotkey: %s could not be registered; another program may hold it",
                    format_hotkey(settings_.hotkey).c_str());
        notify(Notice::hotkey_taken);
    } else if (first_start_) {
        const std::string character = host_.hotkey_character(settings_.hotkey);
        if (!character.empty()) {
            notify(Notice::hotkey_types, hotkey_types_text(format_hotkey(settings_.hotkey), character));
        }
    }
    if (settings_.active) {
        start_mirror();
    }
}

void Controller::save() {
    host_.save_settings(settings_);
}

void Controller::start_mirror() {
    start_mirror_on(std::wstring(), std::wstring());
}

void Controller::notify(Notice notice) {
    notify(notice, notice_text(notice));
}

void Controller::notify(Notice notice, const std::string& text) {
    bool& done = notified_[static_cast<std::size_t>(notice)];
    if (done) {
        return;
    }
    done = true;
    log_message("notify: %s", text.c_str());
    host_.notify(text);
}

void Controller::start_mirror_on(const std::wstring& id, const std::wstring& device_name) {
    if (running_) {
        return;
    }
    awaited_name_.clear();
    awaited_id_.clear();
    const std::vector<MonitorEntry> monitors = host_.monitors();
    if (monitors.empty()) {
        log_message("start: no monitors?!");
        return;
    }
    int chosen = find_monitor(monitors, id, device_name);
    if (chosen < 0 && (!settings_.monitor.empty() || !settings_.monitor_id.empty())) {
        chosen = find_monitor(monitors, settings_.monitor_id, settings_.monitor);
        if (chosen < 0) {
            log_message("start: saved monitor not found, falling back to auto");
        }
    }
    if (chosen < 0) {
        chosen = pick_topmost_monitor(monitors);
    }
    const MonitorEntry& entry = monitors[static_cast<std::size_t>(chosen)];
    const int source = source_position(monitors, chosen);
    if (source < 0) {
        // As for a monitor that sleeps: the mirror comes once the source is back.
        log_message("start: source monitor not found, waiting for it");
        awaited_name_ = entry.device_name;
        awaited_id_ = entry.id;
        return;
    }
    // The refusal is about an overlay over what is captured; another monitor's picture shows whatever
    // this Windows does with an excluded window.
    if (mirror_refused_ && source == chosen) {
        notify(refusal_);
        return;
    }
    log_message("start: mirroring %s", wide_to_utf8(entry.label).c_str());
    const MirrorPlan plan = plan_mirror(monitors[static_cast<std::size_t>(source)], entry);
    if (plan.separate_source() || plan.region != self_mirror_plan(plan.source).region) {
        log_message("start: showing %s, region %s, fit %s", wide_to_utf8(plan.source.label).c_str(),
                    format_source_region(plan.region).c_str(), fit_mode_name(plan.fit));
    }
    if (host_.start_mirror(plan, settings_.warp)) {
        running_ = true;
        mirrored_name_ = entry.device_name;
        mirrored_id_ = entry.id;
    }
}

void Controller::stop_mirror() {
    if (!running_) {
        return;
    }
    host_.stop_mirror();
    running_ = false;
    log_message("stop: mirror stopped");
}

void Controller::restart_mirror() {
    stop_mirror();
    start_mirror();
}

void Controller::toggle_mirror() {
    const bool was_running = running_;
    awaited_name_.clear();  // the user decides now
    awaited_id_.clear();
    settings_.active = !was_running;
    if (was_running) {
        stop_mirror();
    } else {
        start_mirror();
    }
    save();
}

void Controller::open_menu() {
    menu_monitors_ = host_.monitors();
    const int mirrored = mirrored_position(menu_monitors_);
    const bool names_source = !settings_.source_monitor.empty() || !settings_.source_monitor_id.empty();
    const int source = names_source ? source_position(menu_monitors_, mirrored) : mirrored;
    host_.show_menu(build_main_menu(settings_, running_, host_.starts_with_windows(),
                                    build_monitor_menu(menu_monitors_, settings_.monitor),
                                    build_source_menu(menu_monitors_, mirrored, source, settings_)));
}

void Controller::command(unsigned id) {
    const DecodedCommand decoded = decode_command(id, menu_monitors_.size());
    switch (decoded.command) {
        case MenuCommand::toggle_mirror:
            toggle_mirror();
            break;
        case MenuCommand::flip_mirror_h:
            settings_.warp.mirror_h = !settings_.warp.mirror_h;
            warp_changed_from_menu();
            break;
        case MenuCommand::flip_mirror_v:
            settings_.warp.mirror_v = !settings_.warp.mirror_v;
            warp_changed_from_menu();
            break;
        case MenuCommand::open_adjust_window:
            open_adjust_window();
            break;
        case MenuCommand::open_hotkey_window:
            host_.open_hotkey_window(settings_.hotkey);
            break;
        case MenuCommand::reset_warp:
            reset_warp_correction(settings_);
            warp_changed_from_menu();
            break;
        case MenuCommand::toggle_start_with_windows:
            toggle_start_with_windows();
            break;
        case MenuCommand::open_web_page:
            host_.open_web_page();
            break;
        case MenuCommand::exit:
            host_.quit();
            break;
        case MenuCommand::monitor_auto:
            choose_monitor(nullptr);
            break;
        case MenuCommand::monitor:
            choose_monitor(&menu_monitors_[decoded.monitor_index]);
            break;
        case MenuCommand::source_this:
            choose_source(nullptr);
            break;
        case MenuCommand::source_monitor:
            choose_source(&menu_monitors_[decoded.monitor_index]);
            break;
        case MenuCommand::choose_region:
            open_region_picker();
            break;
        case MenuCommand::whole_monitor:
            settings_.source_region.clear();
            save();
            if (running_) {
                restart_mirror();
            }
            break;
        case MenuCommand::none:
            break;
    }
}

void Controller::warp_changed_from_menu() {
    save();
    if (running_) {
        host_.publish_warp(settings_.warp);
    }
    host_.show_warp(settings_.warp);
}

// Records the monitor choice; a running mirror moves to it at once, even when it is the same one.
void Controller::choose_monitor(const MonitorEntry* entry) {
    settings_.monitor = entry != nullptr ? entry->device_name : std::wstring();
    settings_.monitor_id = entry != nullptr ? entry->id : std::wstring();
    save();
    if (running_) {
        restart_mirror();
    }
}

// Centred on a monitor other than the mirrored one, or on the work area when there is none to host it.
void Controller::open_adjust_window() {
    const std::vector<MonitorEntry> monitors = host_.monitors();
    const int hosting = choose_host_monitor(monitors, designated_monitor(monitors, settings_.monitor));
    std::optional<WindowPosition> position;
    if (hosting >= 0) {
        position =
            centre_in(monitors[static_cast<std::size_t>(hosting)].rect, adjust_window_width, adjust_window_height);
    }
    host_.open_adjust_window(settings_.warp, position);
}

void Controller::display_changed() {
    log_message("display change detected");
    host_.settle_display_changes(display_settle_ms);
}

void Controller::display_settled() {
    switch (decide_display_change(running_, host_.monitors(), MonitorKey{mirrored_id_, mirrored_name_},
                                  MonitorKey{awaited_id_, awaited_name_},
                                  MonitorKey{settings_.source_monitor_id, settings_.source_monitor})) {
        case DisplayChangeAction::none:
            break;
        case DisplayChangeAction::wait:
            // A monitor that sleeps or a cable pulled for a moment: the user's choice stays as it is.
            log_message("display change: mirrored monitor gone, waiting for it");
            awaited_name_ = mirrored_name_;
            awaited_id_ = mirrored_id_;
            stop_mirror();
            break;
        case DisplayChangeAction::wait_for_source:
            log_message("display change: source monitor gone, waiting for it");
            awaited_name_ = mirrored_name_;
            awaited_id_ = mirrored_id_;
            stop_mirror();
            break;
        case DisplayChangeAction::resume: {
            log_message("display change: mirrored monitor back, restarting");
            const std::wstring awaited = std::exchange(awaited_name_, std::wstring());
            const std::wstring awaited_id = std::exchange(awaited_id_, std::wstring());
            start_mirror_on(awaited_id, awaited);
            break;
        }
        case DisplayChangeAction::restart:
            restart_mirror();
            break;
    }
}

void Controller::desktop_switched() {
    if (running_) {
        host_.wake_mirror();
    }
}

void Controller::mirror_waiting(WaitReason reason) {
    if (running_) {
        notify(waiting_notice(reason));
    }
}

void Controller::mirror_ended() {
    if (!running_ || !host_.mirror_ended()) {
        return;
    }
    // As the user's stop, but the user's choice stays: the next start of the program tries again.
    stop_mirror();
    notify(Notice::mirror_stopped);
}

void Controller::warp_edited(const WarpParams& warp, bool finished) {
    settings_.warp = warp;
    if (running_) {
        host_.publish_warp(settings_.warp);
    }
    host_.show_warp(settings_.warp);
    if (finished) {
        save();
    }
}

void Controller::warp_reset() {
    reset_warp_correction(settings_);
    if (running_) {
        host_.publish_warp(settings_.warp);
    }
    save();
    host_.show_warp(settings_.warp);
}

void Controller::adjust_closed() {
    save();
}

}  // namespace kelvane
