// The tray menu's items and the decoding of its command ids.
#include "ui/menu_model.h"

#include <utility>

#include "platform/utf8.h"

namespace kelvane {
namespace {

MenuItem command_item(const wchar_t* text, unsigned id, bool checked = false) {
    return MenuItem{MenuItemKind::command, text, id, checked, {}};
}

MenuItem separator_item() {
    return MenuItem{MenuItemKind::separator, std::wstring(), 0, false, {}};
}

MenuItem submenu_item(const wchar_t* text, std::vector<MenuItem> children) {
    return MenuItem{MenuItemKind::submenu, text, 0, false, std::move(children)};
}

// The listed monitor a command id in [first, last] chooses, when the last menu listed it.
bool listed_index(unsigned id, unsigned first, unsigned last, std::size_t listed, std::size_t& index) noexcept {
    if (id < first || id > last || id - first >= listed) {
        return false;
    }
    index = id - first;
    return true;
}

}  // namespace

std::vector<MenuItem> build_monitor_menu(const std::vector<MonitorEntry>& monitors, std::wstring_view selected) {
    std::vector<MenuItem> items;
    items.reserve(monitors.size() + 2);
    items.push_back(command_item(menu_text::monitor_auto, menu_id::monitor_auto, selected.empty()));
    items.push_back(separator_item());
    unsigned id = menu_id::monitor_first;
    for (const MonitorEntry& entry : monitors) {
        const bool checked = !selected.empty() && entry.device_name == selected;
        items.push_back(MenuItem{MenuItemKind::command, entry.label, id, checked, {}});
        ++id;
    }
    return items;
}

std::vector<MenuItem> build_source_menu(const std::vector<MonitorEntry>& monitors, int mirrored, int source,
                                        const Settings& settings) {
    const bool names_source = !settings.source_monitor.empty() || !settings.source_monitor_id.empty();
    std::vector<MenuItem> items;
    items.push_back(command_item(menu_text::source_this, menu_id::source_this,
                                 !names_source || (source >= 0 && source == mirrored)));
    std::vector<MenuItem> others;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const int index = static_cast<int>(i);
        if (index != mirrored) {
            others.push_back(MenuItem{MenuItemKind::command,
                                      monitors[i].label,
                                      menu_id::source_first + static_cast<unsigned>(i),
                                      index == source,
                                      {}});
        }
    }
    if (!others.empty()) {
        items.push_back(separator_item());
        items.insert(items.end(), others.begin(), others.end());
    }
    items.push_back(separator_item());
    items.push_back(command_item(menu_text::choose_region, menu_id::choose_region));
    items.push_back(command_item(menu_text::whole_monitor, menu_id::whole_monitor, settings.source_region.empty()));
    return items;
}

std::vector<MenuItem> build_main_menu(const Settings& settings, bool running, bool starts_with_windows,
                                      std::vector<MenuItem> monitor_items, std::vector<MenuItem> source_items) {
    const std::wstring mirror_active = menu_text::mirror_active + utf8_to_wide(format_hotkey(settings.hotkey));
    return {
        MenuItem{MenuItemKind::command, mirror_active, menu_id::mirror_active, running, {}},
        separator_item(),
        submenu_item(menu_text::monitor, std::move(monitor_items)),
        submenu_item(menu_text::source, std::move(source_items)),
        command_item(menu_text::mirror_h, menu_id::mirror_h, settings.warp.mirror_h),
        command_item(menu_text::mirror_v, menu_id::mirror_v, settings.warp.mirror_v),
        command_item(menu_text::adjust_warp, menu_id::adjust_warp),
        command_item(menu_text::hotkey, menu_id::hotkey),
        command_item(menu_text::reset_warp, menu_id::reset_warp),
        separator_item(),
        command_item(menu_text::start_with_windows, menu_id::start_with_windows, starts_with_windows),
        separator_item(),
        command_item(menu_text::web_page, menu_id::web_page),
        command_item(menu_text::exit, menu_id::exit),
    };
}

DecodedCommand decode_command(unsigned id, std::size_t listed_monitors) noexcept {
    switch (id) {
        case menu_id::mirror_active:
            return {MenuCommand::toggle_mirror, 0};
        case menu_id::mirror_h:
            return {MenuCommand::flip_mirror_h, 0};
        case menu_id::mirror_v:
            return {MenuCommand::flip_mirror_v, 0};
        case menu_id::adjust_warp:
            return {MenuCommand::open_adjust_window, 0};
        case menu_id::hotkey:
            return {MenuCommand::open_hotkey_window, 0};
        case menu_id::reset_warp:
            return {MenuCommand::reset_warp, 0};
        case menu_id::start_with_windows:
            return {MenuCommand::toggle_start_with_windows, 0};
        case menu_id::web_page:
            return {MenuCommand::open_web_page, 0};
        case menu_id::exit:
            return {MenuCommand::exit, 0};
        case menu_id::monitor_auto:
            return {MenuCommand::monitor_auto, 0};
        case menu_id::source_this:
            return {MenuCommand::source_this, 0};
        case menu_id::choose_region:
            return {MenuCommand::choose_region, 0};
        case menu_id::whole_monitor:
            return {MenuCommand::whole_monitor, 0};
        default:
            break;
    }
    std::size_t index = 0;
    if (listed_index(id, menu_id::monitor_first, menu_id::monitor_last, listed_monitors, index)) {
        return {MenuCommand::monitor, index};
    }
    if (listed_index(id, menu_id::source_first, menu_id::source_last, listed_monitors, index)) {
        return {MenuCommand::source_monitor, index};
    }
    return {MenuCommand::none, 0};
}

}  // namespace kelvane
