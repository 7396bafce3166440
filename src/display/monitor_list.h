// The list of attached monitors and the three ways of choosing one from it: by stored device name,
// automatically (the topmost screen) and from the command-line argument. The rules work on a given
// list, so they carry no Windows header; monitors_win32.cpp builds the list from the system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane {

// A monitor's desktop rectangle in physical pixels, laid out like RECT.
struct MonitorRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// True when (x, y) lies in `rect`, with the right and bottom edges outside, as PtInRect decides.
[[nodiscard]] constexpr bool rect_contains(const MonitorRect& rect, std::int32_t x, std::int32_t y) noexcept {
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

// The monitor handle (HMONITOR), kept opaque so that this header needs no Windows header.
using MonitorHandle = void*;

struct MonitorEntry {
    MonitorHandle handle = nullptr;
    MonitorRect rect;
    std::wstring device_name;  // GDI device name, e.g. \\.\DISPLAY1
    std::wstring id;           // device interface path, kept when the device name changes; empty: unknown
    std::wstring label;        // what the user sees, from make_monitor_label
    bool primary = false;
};

// Short name, size and position, e.g. "DISPLAY2  1920x1080 @ (-1920,180)", with "  [primary]" appended
// for the primary monitor.
[[nodiscard]] std::wstring make_monitor_label(const std::wstring& device_name, const MonitorRect& rect, bool primary);

// One monitor that EnumDisplayDevicesW lists on a display device: its state flags (StateFlags) and its
// device interface path.
struct DisplayDeviceMonitor {
    std::uint32_t state_flags = 0;
    std::wstring interface_path;
};

// DISPLAY_DEVICE_ACTIVE: the monitor is part of the desktop now.
inline constexpr std::uint32_t display_device_active = 0x1;

// The path of the monitor a display device shows: the first active one listed. A display device keeps
// entries of monitors that were attached to it before, and may list such an inactive one first. Empty
// when none is active: an inactive entry's path may be another monitor's, and following it could move
// the mirror to that monitor once it returns, so the monitor is then known by its device name alone.
[[nodiscard]] std::wstring active_monitor_path(const std::vector<DisplayDeviceMonitor>& monitors);

// Puts the list in ascending text order of the device names (DISPLAY10 before DISPLAY2).
void sort_monitors(std::vector<MonitorEntry>& list);

// Position of the first entry whose device name equals `name` exactly (case-sensitive), or -1.
[[nodiscard]] int find_monitor_by_name(const std::vector<MonitorEntry>& list, std::wstring_view name) noexcept;

// Position of the entry with the device interface path `id` (when not empty), else of the one named
// `name` (when not empty), or -1. A monitor that Windows renumbered is still found by its path; a
// settings file that names the monitor only is still understood; but an entry under that name whose
// own known path differs from `id` is another monitor that took the name over, and is not taken.
[[nodiscard]] int find_monitor(const std::vector<MonitorEntry>& list, std::wstring_view id,
                               std::wstring_view name) noexcept;

// Position of the topmost monitor; among equal tops the smaller area, then the earlier entry.
// -1 for an empty list.
[[nodiscard]] int pick_topmost_monitor(const std::vector<MonitorEntry>& list) noexcept;

// Upper-cases text for the argument search. The Windows build passes CharUpperW's mapping.
using UpperCaseFunction = std::wstring (*)(std::wstring_view text);

// Upper-cases the ASCII letters only: enough for device names, and free of the C library's locale.
[[nodiscard]] std::wstring upper_case_ascii(std::wstring_view text);

// The device name that a --monitor value designates in `list`: a 1-based position when the whole
// value is a number in range, otherwise the first entry whose name contains the value, ignoring
// case. Logs the no-match line and returns empty when nothing matches (an empty value matches nothing).
[[nodiscard]] std::wstring resolve_monitor_argument(const std::vector<MonitorEntry>& list, std::wstring_view argument,
                                                    UpperCaseFunction upper_case = upper_case_ascii);

#ifdef _WIN32
// Every monitor of the desktop, sorted and labelled; monitors whose information cannot be read are
// left out.
[[nodiscard]] std::vector<MonitorEntry> enumerate_monitors();

// resolve_monitor_argument over a fresh list, with the system's own upper-casing.
[[nodiscard]] std::wstring resolve_monitor_argument(std::wstring_view argument);
#endif

}  // namespace kelvane
