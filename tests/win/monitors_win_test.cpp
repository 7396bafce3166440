// The monitor list read from the system, checked against the system's own answers, whatever the
// layout: Wine's two heads at the origin or monitors side by side.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "display/monitor_list.h"
#include "support/log_capture.h"
#include "support/screens_win32.h"

namespace kelvane {
namespace {

TEST(MonitorsWin, EnumeratesEveryScreenSortedAndLabelled) {
    const std::vector<test::Screen> system = test::screens();
    const std::vector<MonitorEntry> list = enumerate_monitors();
    ASSERT_FALSE(system.empty());
    ASSERT_EQ(list.size(), system.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(testing::PrintToString(system[i].label()));
        EXPECT_EQ(list[i].device_name, system[i].name);
        EXPECT_EQ(list[i].label, system[i].label());
        EXPECT_EQ(list[i].primary, system[i].primary);
        EXPECT_EQ(list[i].rect.left, system[i].rect.left);
        EXPECT_EQ(list[i].rect.top, system[i].rect.top);
        EXPECT_EQ(list[i].rect.right, system[i].rect.right);
        EXPECT_EQ(list[i].rect.bottom, system[i].rect.bottom);
    }
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
    const std::vector<test::Screen> system = test::screens();
    if (system.size() < 2) {
        GTEST_SKIP() << "needs two monitors";
    }
    // A number past the list, unless some device name happens to contain it.
    const std::wstring past = std::to_wstring(system.size() + 1);
    std::wstring past_match;
    for (const test::Screen& s : system) {
        if (past_match.empty() && s.name.find(past) != std::wstring::npos) {
            past_match = s.name;
        }
    }
    // The first device name lower-cased, without its \\.\ prefix: found by its upper-cased form.
    std::wstring first_lower = system[0].name.substr(system[0].name.rfind(L'\\') + 1);
    std::transform(first_lower.begin(), first_lower.end(), first_lower.begin(),
                   [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; });

    test::LogCapture log;
    EXPECT_EQ(resolve_monitor_argument(L"2"), system[1].name);
    EXPECT_EQ(resolve_monitor_argument(first_lower), system[0].name);
    EXPECT_EQ(resolve_monitor_argument(past), past_match);
    EXPECT_EQ(log.messages(), past_match.empty() ? std::vector<std::string>{"monitor arg '" + test::narrow(past) +
                                                                            "' did not match anything; ignoring"}
                                                 : std::vector<std::string>{});

    const std::vector<MonitorEntry> list = enumerate_monitors();
    EXPECT_EQ(pick_topmost_monitor(list), static_cast<int>(test::auto_screen(system)));
    EXPECT_EQ(find_monitor_by_name(list, system[1].name), 1);
}

}  // namespace
}  // namespace kelvane
