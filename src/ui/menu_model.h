// The tray menu as data: the command ids, the items of the main menu and of the "Monitor" submenu
// with their texts and check marks, and the decoding of a chosen id into a command. The Windows shell
// (tray_menu_win32.cpp) turns the items into a popup menu and carries the commands out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "display/monitor_list.h"
#include "settings/settings.h"

namespace kelvane {

// Menu command ids, as they come back in the low word of WM_COMMAND's wParam.
namespace menu_id {
inline constexpr unsigned mirror_active = 100;
inline constexpr unsigned mirror_h = 101;
inline constexpr unsigned adjust_warp = 102;
inline constexpr unsigned reset_warp = 103;
inline constexpr unsigned web_page = 104;
inline constexpr unsigned exit = 105;
inline constexpr unsigned mirror_v = 106;
inline constexpr unsigned hotkey = 107;
inline constexpr unsigned start_with_windows = 108;
inline constexpr unsigned monitor_auto = 110;
// Monitor i of the listed monitors has the id monitor_first + i; only ids up to monitor_last are
// commands, so at most this many monitors can be chosen from the menu.
inline constexpr unsigned monitor_first = 111;
inline constexpr unsigned monitor_last = 174;
inline constexpr std::size_t monitor_command_count = monitor_last - monitor_first + 1;
// The "Source" submenu: the region items, the mirrored monitor itself, and monitor i of the listed
// monitors as source_first + i (the mirrored one is not listed, so its id is never shown). Far above
// the monitor ids, which go on past monitor_last on a desktop of very many monitors; source items past
// source_last likewise choose nothing.
inline constexpr unsigned choose_region = 398;
inline constexpr unsigned whole_monitor = 399;
inline constexpr unsigned source_this = 400;
inline constexpr unsigned source_first = 401;
inline constexpr unsigned source_last = 464;
}  // namespace menu_id

// The project's own page, opened by the web-page item.
inline constexpr wchar_t maker_web_page[] = L"https://kelvane2.example.org/";

namespace menu_text {
inline constexpr wchar_t mirror_active[] = L"Mirror active\t";  // the tab right-aligns the hotkey after it
inline constexpr wchar_t monitor[] = L"Monitor";
inline constexpr wchar_t mirror_h[] = L"Mirror horizontally";
inline constexpr wchar_t mirror_v[] = L"Mirror vertically";
inline constexpr wchar_t adjust_warp[] = L"Adjust warp...";
inline constexpr wchar_t hotkey[] = L"Hotkey...";
inline constexpr wchar_t reset_warp[] = L"Reset warp";
inline constexpr wchar_t start_with_windows[] = L"Start with Windows";
inline constexpr wchar_t web_page[] = L"Make apps like this with Orvendt...";
inline constexpr wchar_t exit[] = L"Exit";
inline constexpr wchar_t monitor_auto[] = L"Auto (topmost screen)";
inline constexpr wchar_t source[] = L"Source";
inline constexpr wchar_t source_this[] = L"This monitor";
inline constexpr wchar_t choose_region[] = L"Choose region...";
inline constexpr wchar_t whole_monitor[] = L"Whole monitor";
}  // namespace menu_text

enum class MenuItemKind {
    command,    // a text with a command id
    separator,  // a line between groups
    submenu,    // a text that opens its children
};

struct MenuItem {
    MenuItemKind kind = MenuItemKind::command;
    std::wstring text;  // empty for a separator
    unsigned id = 0;    // 0 for a separator or the submenu
    bool checked = false;
    std::vector<MenuItem> children;  // a submenu's items

    friend bool operator==(const MenuItem& a, const MenuItem& b) {
        return a.kind == b.kind && a.text == b.text && a.id == b.id && a.checked == b.checked &&
               a.children == b.children;
    }
    friend bool operator!=(const MenuItem& a, const MenuItem& b) { return !(a == b); }
};

// The "Monitor" submenu: the automatic choice, a separator, then one item per monitor in list order.
// `selected` is settings.monitor; an item is checked only on an exact (case-sensitive) name match.
// Every monitor is listed, also past the last command id; those items carry ids that choose nothing.
[[nodiscard]] std::vector<MenuItem> build_monitor_menu(const std::vector<MonitorEntry>& monitors,
                                                       std::wstring_view selected);

// The "Source" submenu: "This monitor" (checked when the mirror shows its own monitor), a separator,
// every other monitor in list order (checked when it is the source), a separator, "Choose region..."
// and "Whole monitor" (checked when no region is set). `mirrored` is the position of the mirrored
// monitor in `monitors` (-1: none known); `source` that of the source monitor, -1 when the settings
// name none or it is not attached (then no monitor is checked, and "This monitor" only when the
// settings name no source).
[[nodiscard]] std::vector<MenuItem> build_source_menu(const std::vector<MonitorEntry>& monitors, int mirrored,
                                                      int source, const Settings& settings);

// The main menu. "Mirror active" follows whether the mirror runs, not settings.active, and names the
// hotkey; "Start with Windows" shows what the system will do at the next sign-in. The "Monitor" and
// "Source" submenus hold the given items.
[[nodiscard]] std::vector<MenuItem> build_main_menu(const Settings& settings, bool running,
                                                    bool starts_with_windows = false,
                                                    std::vector<MenuItem> monitor_items = {},
                                                    std::vector<MenuItem> source_items = {});

enum class MenuCommand {
    none,  // not a command: ignored
    toggle_mirror,
    flip_mirror_h,
    flip_mirror_v,
    open_adjust_window,
    open_hotkey_window,
    reset_warp,
    toggle_start_with_windows,
    open_web_page,
    exit,
    monitor_auto,
    monitor,  // choose the listed monitor at DecodedCommand::monitor_index
    source_this,
    source_monitor,  // show the listed monitor at DecodedCommand::monitor_index
    choose_region,
    whole_monitor,
};

struct DecodedCommand {
    MenuCommand command = MenuCommand::none;
    std::size_t monitor_index = 0;  // meaningful for MenuCommand::monitor and source_monitor only
};

// What a chosen id does, given how many monitors the last menu listed. A monitor id whose index lies
// past the listed monitors, and every id not in the menu, decode to MenuCommand::none.
[[nodiscard]] DecodedCommand decode_command(unsigned id, std::size_t listed_monitors) noexcept;

}  // namespace kelvane
