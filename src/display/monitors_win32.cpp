// The monitor list from the system: EnumDisplayMonitors, GetMonitorInfoW and the monitors' device
// interface paths, and the command-line argument resolved with the system's upper-casing.
#include "display/monitor_list.h"

#include <windows.h>

#include <cwchar>
#include <iterator>

namespace kelvane {

namespace {

// The device interface path of the monitor shown on a display device: unlike the device name it stays
// when Windows numbers the display devices anew. Empty when the system does not say.
std::wstring monitor_interface_path(const wchar_t* device_name) {
    std::vector<DisplayDeviceMonitor> monitors;
    DISPLAY_DEVICEW device{};
    device.cb = sizeof device;
    for (DWORD index = 0; EnumDisplayDevicesW(device_name, index, &device, EDD_GET_DEVICE_INTERFACE_NAME) != FALSE;
         ++index) {
        monitors.push_back(DisplayDeviceMonitor{
            device.StateFlags, std::wstring(device.DeviceID, wcsnlen(device.DeviceID, std::size(device.DeviceID)))});
        device = DISPLAY_DEVICEW{};
        device.cb = sizeof device;
    }
    return active_monitor_path(monitors);
}

BOOL CALLBACK add_monitor(HMONITOR monitor, HDC /*dc*/, LPRECT /*rect*/, LPARAM data) {
    auto& list = *reinterpret_cast<std::vector<MonitorEntry>*>(data);
    MONITORINFOEXW info{};
    info.cbSize = sizeof(info);
    // A monitor that cannot be described cannot be mirrored; leaving it out is all there is to do.
    if (GetMonitorInfoW(monitor, &info) != FALSE) {
        MonitorEntry entry;
        entry.handle = static_cast<MonitorHandle>(monitor);
        entry.rect = MonitorRect{info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right, info.rcMonitor.bottom};
        entry.device_name = info.szDevice;
        entry.id = monitor_interface_path(info.szDevice);
        entry.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
        entry.label = make_monitor_label(entry.device_name, entry.rect, entry.primary);
        list.push_back(std::move(entry));
    }
    return TRUE;
}

std::wstring upper_case_system(std::wstring_view text) {
    std::wstring upper(text);
    if (!upper.empty()) {
        CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    }
    return upper;
}

}  // namespace

std::vector<MonitorEntry> enumerate_monitors() {
    std::vector<MonitorEntry> list;
    EnumDisplayMonitors(nullptr, nullptr, add_monitor, reinterpret_cast<LPARAM>(&list));
    sort_monitors(list);
    return list;
}

std::wstring resolve_monitor_argument(std::wstring_view argument) {
    return resolve_monitor_argument(enumerate_monitors(), argument, upper_case_system);
}

}  // namespace kelvane
