// Mirror start and stop, warp publishing and cursor hiding.
#include "session/mirror_control_win32.h"

#include <system_error>

#include "app/app_controller_win32.h"
#include "platform/log.h"
#include "platform/utf8.h"
#include "session/overlay_win32.h"
#include "session/session_backend_win32.h"

namespace kelvane {
namespace {

RECT to_rect(const MonitorRect& rect) noexcept {
    return RECT{rect.left, rect.top, rect.right, rect.bottom};
}

}  // namespace

void start_mirror(AppController& app) {
    if (app.running) {
        return;
    }
    const std::vector<MonitorEntry> monitors = enumerate_monitors();
    if (monitors.empty()) {
        log_message("start: no monitors?!");
        return;
    }
    int chosen = -1;
    if (!app.settings.monitor.empty()) {
        chosen = find_monitor_by_name(monitors, app.settings.monitor);
        if (chosen < 0) {
            log_message("start: saved monitor not found, falling back to auto");
        }
    }
    if (chosen < 0) {
        chosen = pick_topmost_monitor(monitors);
    }
    const MonitorEntry& entry = monitors[static_cast<std::size_t>(chosen)];
    log_message("start: mirroring %s", wide_to_utf8(entry.label).c_str());

    app.mirror_rect = to_rect(entry.rect);
    app.mirror_monitor_name = entry.device_name;
    if (!create_overlay(app.overlay_hwnd, app.instance, app.mirror_rect, !app.no_exclude)) {
        return;
    }
    app.warp_channel.reset(app.settings.warp);
    try {
        app.session_thread = std::thread(session_proc, &app, app.overlay_hwnd,
                                         static_cast<HMONITOR>(entry.handle), app.mirror_rect);
    } catch (const std::system_error& error) {
        // Without its thread the overlay would only cover the monitor in black.
        log_message("start: session thread could not be started (%s)", error.what());
        destroy_overlay(app.overlay_hwnd);
        return;
    }
    SetTimer(app.control_hwnd, topmost_timer_id, topmost_timer_ms, nullptr);
    SetTimer(app.control_hwnd, cursor_timer_id, cursor_timer_ms, nullptr);
    app.running = true;
}

void stop_mirror(AppController& app) {
    if (!app.running) {
        return;
    }
    KillTimer(app.control_hwnd, topmost_timer_id);
    KillTimer(app.control_hwnd, cursor_timer_id);
    if (app.cursor_hidden) {
        app.magnification.show_system_cursor(true);
        app.cursor_hidden = false;
    }
    app.warp_channel.request_stop();
    if (app.session_thread.joinable()) {
        app.session_thread.join();
    }
    // The thread has released the swap chain bound to the overlay: the window may go now.
    destroy_overlay(app.overlay_hwnd);
    app.running = false;
    log_message("stop: mirror stopped");
}

void toggle_mirror(AppController& app) {
    const bool was_running = app.running;
    app.settings.active = !was_running;
    if (was_running) {
        stop_mirror(app);
    } else {
        start_mirror(app);
    }
    save_settings(app.settings);
}

void publish_warp_params(AppController& app) {
    app.warp_channel.publish(app.settings.warp);
}

void update_cursor_visibility(AppController& app) {
    POINT position{};
    const bool inside = app.running && GetCursorPos(&position) != 0 && PtInRect(&app.mirror_rect, position) != 0;
    if (inside == app.cursor_hidden) {
        return;
    }
    if (!app.mag_initialized) {
        if (!app.magnification.initialize()) {
            log_message("MagInitialize failed; system cursor will stay visible on the mirror");
            return;
        }
        app.mag_initialized = true;
    }
    app.magnification.show_system_cursor(!inside);
    app.cursor_hidden = inside;
}

}  // namespace kelvane
