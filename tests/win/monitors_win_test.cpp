// The monitor list read from the system, on the test display's two Xinerama screens (1920x1080 and
// 1280x1024), which Wine reports as \\.\DISPLAY1 (primary) and \\.\DISPLAY2, both at the origin.
#include <windows.h>

#include <gtest/gtest.h>

#include "display/monitor_list.h"
#include "support/log_capture.h"

namespace kelvane {
namespace {

TEST(MonitorsWin, EnumeratesBothScreensSortedAndLabelled) {
    const std::vector<MonitorEntry> list = enumerate_monitors();
    ASSERT_EQ(list.size(), 2u);

    EXPECT_EQ(list[0].device_name, L"\\\\.\\DISPLAY1");
    EXPECT_EQ(list[0].label, L"DISPLAY1  1920x1080 @ (0,0)  [primary]");
    EXPECT_TRUE(list[0].primary);
    EXPECT_EQ(list[0].rect.left, 0);
    EXPECT_EQ(list[0].rect.top, 0);
    EXPECT_EQ(list[0].rect.right, 1920);
    EXPECT_EQ(list[0].rect.bottom, 1080);

    EXPECT_EQ(list[1].device_name, L"\\\\.\\DISPLAY2");
    EXPECT_EQ(list[1].label, L"DISPLAY2  1280x1024 @ (0,0)");
    EXPECT_FALSE(list[1].primary);
    EXPECT_EQ(list[1].rect.right, 1280);
    EXPECT_EQ(list[1].rect.bottom, 1024);
}

TEST(MonitorsWin, HandlesAreTheSystemsOwn) {
    for (const MonitorEntry& entry : enumerate_monitors()) {
        SCOPED_TRACE(testing::PrintToString(entry.device_name));
        MONITORINFOEXW info{};
        info.cbSize = sizeof(info);
        ASSERT_TRUE(GetMonitorInfoW(static_cast<HMONITOR>(entry.handle), &info));
        EXPECT_EQ(entry.device_name, info.szDevice);
        EXPECT_EQ(entry.primary, (info.dwFlags & MONITORINFOF_PRIMARY) != 0);
    }
    const POINT origin{0, 0};
    const std::vector<MonitorEntry> list = enumerate_monitors();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(static_cast<HMONITOR>(list[0].handle), MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY));
}

TEST(MonitorsWin, SelectionOverTheSystemList) {
    test::LogCapture log;
    EXPECT_EQ(resolve_monitor_argument(L"2"), L"\\\\.\\DISPLAY2");
    EXPECT_EQ(resolve_monitor_argument(L"display1"), L"\\\\.\\DISPLAY1");
    EXPECT_EQ(resolve_monitor_argument(L"3"), L"");
    EXPECT_EQ(log.messages(), std::vector<std::string>{"monitor arg '3' did not match anything; ignoring"});

    const std::vector<MonitorEntry> list = enumerate_monitors();
    // Both tops are 0; the smaller screen is the automatic choice.
    EXPECT_EQ(pick_topmost_monitor(list), 1);
    EXPECT_EQ(find_monitor_by_name(list, L"\\\\.\\DISPLAY2"), 1);
}

}  // namespace
}  // namespace kelvane
