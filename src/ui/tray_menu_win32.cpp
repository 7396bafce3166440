// The tray menu on Windows: the popup built from the menu model, and the commands.
#include "ui/tray_menu_win32.h"

#include <shellapi.h>

#include <string>
#include <utility>
#include <vector>

#include "app/app_controller_win32.h"
#include "session/mirror_control_win32.h"
#include "settings/settings.h"
#include "ui/adjust_window_win32.h"

namespace kelvane {
namespace {

constexpr wchar_t open_verb[] = L"open";

// Appends the items of the model; the submenu item takes `submenu`, which the menu then owns.
// Failures of single items are not reported: the menu is shown with what could be added.
void append_items(HMENU menu, const std::vector<MenuItem>& items, UniqueMenu* submenu) {
    for (const MenuItem& item : items) {
        switch (item.kind) {
            case MenuItemKind::separator:
                AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
                break;
            case MenuItemKind::submenu:
                if (submenu != nullptr && *submenu &&
                    AppendMenuW(menu, MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(submenu->get()),
                                item.text.c_str())) {
                    static_cast<void>(submenu->release());
                }
                break;
            case MenuItemKind::command:
                AppendMenuW(menu, MF_STRING | (item.checked ? MF_CHECKED : MF_UNCHECKED), item.id, item.text.c_str());
                break;
        }
    }
}

// A warp value changed from the menu: keep it, hand it to the mirror, show it in the open window.
void warp_changed_from_menu(AppController& app) {
    save_settings(app.settings);
    publish_warp_params(app);
    refresh_adjust_window(app);
}

void flip_mirror_axis(AppController& app, bool WarpParams::*axis) {
    app.settings.warp.*axis = !(app.settings.warp.*axis);
    warp_changed_from_menu(app);
}

void reset_warp_from_menu(AppController& app) {
    reset_warp_correction(app.settings);
    warp_changed_from_menu(app);
}

// Records the monitor choice; a running mirror moves to it at once, even when it is the same one.
void choose_monitor(AppController& app, std::wstring device_name) {
    app.settings.monitor = std::move(device_name);
    save_settings(app.settings);
    if (app.running) {
        stop_mirror(app);
        start_mirror(app);
    }
}

void open_web_page() {
    // Whether a browser opened is not ours to report.
    static_cast<void>(ShellExecuteW(nullptr, open_verb, maker_web_page, nullptr, nullptr, SW_SHOWNORMAL));
}

}  // namespace

void show_tray_menu(AppController& app) {
    app.menu_monitors = enumerate_monitors();

    UniqueMenu monitor_menu(CreatePopupMenu());
    if (monitor_menu) {
        append_items(monitor_menu.get(), build_monitor_menu(app.menu_monitors, app.settings.monitor), nullptr);
    }
    const UniqueMenu menu(CreatePopupMenu());
    if (!menu) {
        return;
    }
    append_items(menu.get(), build_main_menu(app.settings, app.running), &monitor_menu);

    POINT cursor{};
    GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(app.control_hwnd);
    TrackPopupMenu(menu.get(), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, app.control_hwnd, nullptr);
    // Lets the switch away from a tray menu work the next time too (a known need of tray menus).
    PostMessageW(app.control_hwnd, WM_NULL, 0, 0);
}

void on_command(AppController& app, unsigned id) {
    const DecodedCommand decoded = decode_command(id, app.menu_monitors.size());
    switch (decoded.command) {
        case MenuCommand::toggle_mirror:
            toggle_mirror(app);
            break;
        case MenuCommand::flip_mirror_h:
            flip_mirror_axis(app, &WarpParams::mirror_h);
            break;
        case MenuCommand::flip_mirror_v:
            flip_mirror_axis(app, &WarpParams::mirror_v);
            break;
        case MenuCommand::open_adjust_window:
            open_adjust_window(app);
            break;
        case MenuCommand::reset_warp:
            reset_warp_from_menu(app);
            break;
        case MenuCommand::open_web_page:
            open_web_page();
            break;
        case MenuCommand::exit:
            PostQuitMessage(0);
            break;
        case MenuCommand::monitor_auto:
            choose_monitor(app, std::wstring());
            break;
        case MenuCommand::monitor:
            choose_monitor(app, app.menu_monitors[decoded.monitor_index].device_name);
            break;
        case MenuCommand::none:
            break;
    }
}

}  // namespace kelvane
