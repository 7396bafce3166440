// The display-change rule: nothing while stopped, a restart while the mirrored monitor is present,
// the end of the mirror when it is gone.
#include "app/display_change.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

MonitorEntry monitor(const wchar_t* name) {
    MonitorEntry entry;
    entry.device_name = name;
    return entry;
}

TEST(DisplayChange, DecidesByRunningStateAndPresence) {
    const std::vector<MonitorEntry> two = {monitor(L"\\\\.\\DISPLAY1"), monitor(L"\\\\.\\DISPLAY2")};
    struct Case {
        bool running;
        std::vector<MonitorEntry> monitors;
        const wchar_t* mirrored;
        DisplayChangeAction action;
    };
    const Case cases[] = {
        {false, two, L"\\\\.\\DISPLAY2", DisplayChangeAction::none},
        {false, {}, L"\\\\.\\DISPLAY2", DisplayChangeAction::none},
        {true, two, L"\\\\.\\DISPLAY2", DisplayChangeAction::restart},
        {true, two, L"\\\\.\\DISPLAY1", DisplayChangeAction::restart},
        {true, {monitor(L"\\\\.\\DISPLAY1")}, L"\\\\.\\DISPLAY2", DisplayChangeAction::deactivate},
        {true, {}, L"\\\\.\\DISPLAY1", DisplayChangeAction::deactivate},
        // Names are compared exactly: another case or a prefix is another monitor.
        {true, two, L"\\\\.\\display2", DisplayChangeAction::deactivate},
        {true, two, L"\\\\.\\DISPLAY", DisplayChangeAction::deactivate},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decide_display_change(c.running, c.monitors, c.mirrored), c.action)
            << testing::PrintToString(std::wstring(c.mirrored)) << " running=" << c.running;
    }
}

}  // namespace
}  // namespace kelvane
