// The monitors as the system reports them, read here without the product's own list, and what the
// Windows tests expect of them: the automatic choice, the Adjust-warp window's host, the log lines.
// Wine's test display has two heads at the origin; a real Windows desktop puts them side by side,
// so the expected places and sizes come from the system instead of being written down.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dpi_win32.h"

namespace kelvane::test {

// The screen is read in the coordinates the product works in: the test executables are per-monitor-v2
// DPI aware as Kelvane2.exe is, before their first window (at 150 % an unaware reader sees scaled
// rectangles).
inline const bool screens_read_per_monitor_aware = (platform::set_per_monitor_dpi_awareness(), true);

struct Screen {
    HMONITOR handle = nullptr;
    std::wstring name;
    RECT rect{};
    bool primary = false;

    [[nodiscard]] int width() const { return rect.right - rect.left; }
    [[nodiscard]] int height() const { return rect.bottom - rect.top; }
    // As the tray menu and the log show it: "DISPLAY2  1280x1024 @ (0,0)", "  [primary]" after the primary.
    [[nodiscard]] std::wstring label() const {
        return name.substr(name.rfind(L'\\') + 1) + L"  " + std::to_wstring(width()) + L'x' +
               std::to_wstring(height()) + L" @ (" + std::to_wstring(rect.left) + L',' + std::to_wstring(rect.top) +
               L')' + (primary ? L"  [primary]" : L"");
    }
};

// Device names and labels are ASCII.
[[nodiscard]] inline std::string narrow(const std::wstring& text) {
    std::string result;
    for (const wchar_t c : text) {
        result += static_cast<char>(c);
    }
    return result;
}

// Every monitor, in device-name order as the tray menu lists them.
[[nodiscard]] inline std::vector<Screen> screens() {
    std::vector<Screen> list;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
            MONITORINFOEXW info{};
            info.cbSize = sizeof info;
            if (GetMonitorInfoW(monitor, &info)) {
                reinterpret_cast<std::vector<Screen>*>(data)->push_back(
                    Screen{monitor, info.szDevice, info.rcMonitor, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&list));
    std::sort(list.begin(), list.end(), [](const Screen& a, const Screen& b) { return a.name < b.name; });
    return list;
}

// The automatic choice: the highest top edge, the smaller area between equal tops, the first on a full tie.
[[nodiscard]] inline std::size_t auto_screen(const std::vector<Screen>& list) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < list.size(); ++i) {
        const auto area = [](const Screen& s) { return static_cast<std::int64_t>(s.width()) * s.height(); };
        if (list[i].rect.top < list[best].rect.top ||
            (list[i].rect.top == list[best].rect.top && area(list[i]) < area(list[best]))) {
            best = i;
        }
    }
    return best;
}

// Index of the monitor named `name`, or -1.
[[nodiscard]] inline int screen_named(const std::vector<Screen>& list, const std::wstring& name) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

[[nodiscard]] inline std::string mirroring_line(const Screen& s) {
    return "start: mirroring " + narrow(s.label());
}

[[nodiscard]] inline std::string overlay_line(const Screen& s) {
    return "overlay: created at (" + std::to_string(s.rect.left) + "," + std::to_string(s.rect.top) + ") " +
           std::to_string(s.width()) + "x" + std::to_string(s.height());
}

}  // namespace kelvane::test
