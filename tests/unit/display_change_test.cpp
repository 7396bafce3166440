// The display-change rule: a restart while the mirrored monitor is present, a wait while it is gone,
// a restart on it when it is back, nothing otherwise.
#include "app/display_change.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

MonitorEntry monitor(const wchar_t* name, const wchar_t* id = L"") {
    MonitorEntry entry;
    entry.device_name = name;
    entry.id = id;
    return entry;
}

TEST(DisplayChange, DecidesByRunningStateAndPresence) {
    const std::vector<MonitorEntry> two = {monitor(L"\\\\.\\DISPLAY1"), monitor(L"\\\\.\\DISPLAY2")};
    const std::vector<MonitorEntry> renumbered = {monitor(L"\\\\.\\DISPLAY1", L"path-a"),
                                                  monitor(L"\\\\.\\DISPLAY3", L"path-b")};
    struct Case {
        bool running;
        std::vector<MonitorEntry> monitors;
        const wchar_t* mirrored;
        const wchar_t* awaited;
        DisplayChangeAction action;
        const wchar_t* id = L"";      // the device interface path of the mirrored or awaited monitor
        const wchar_t* source = L"";  // the source monitor apart from the mirrored one
    };
    const Case cases[] = {
        {false, two, L"", L"", DisplayChangeAction::none},
        {false, {}, L"", L"\\\\.\\DISPLAY2", DisplayChangeAction::none},
        {false, {monitor(L"\\\\.\\DISPLAY1")}, L"", L"\\\\.\\DISPLAY2", DisplayChangeAction::none},
        {false, two, L"", L"\\\\.\\DISPLAY2", DisplayChangeAction::resume},
        {true, two, L"\\\\.\\DISPLAY2", L"", DisplayChangeAction::restart},
        {true, two, L"\\\\.\\DISPLAY1", L"", DisplayChangeAction::restart},
        {true, {monitor(L"\\\\.\\DISPLAY1")}, L"\\\\.\\DISPLAY2", L"", DisplayChangeAction::wait},
        {true, {}, L"\\\\.\\DISPLAY1", L"", DisplayChangeAction::wait},
        // Names are compared exactly: another case or a prefix is another monitor.
        {true, two, L"\\\\.\\display2", L"", DisplayChangeAction::wait},
        {false, two, L"", L"\\\\.\\DISPLAY", DisplayChangeAction::none},
        // Renumbered after sleep or docking: found by its path under its new name.
        {false, renumbered, L"", L"\\\\.\\DISPLAY2", DisplayChangeAction::resume, L"path-b"},
        {true, renumbered, L"\\\\.\\DISPLAY2", L"", DisplayChangeAction::restart, L"path-b"},
        // A source apart from the mirrored monitor: waited for as the mirrored one; the mirrored one goes first.
        {true, two, L"\\\\.\\DISPLAY2", L"", DisplayChangeAction::restart, L"", L"\\\\.\\DISPLAY1"},
        {true,
         {monitor(L"\\\\.\\DISPLAY2")},
         L"\\\\.\\DISPLAY2",
         L"",
         DisplayChangeAction::wait_for_source,
         L"",
         L"\\\\.\\DISPLAY1"},
        {true,
         {monitor(L"\\\\.\\DISPLAY3")},
         L"\\\\.\\DISPLAY2",
         L"",
         DisplayChangeAction::wait,
         L"",
         L"\\\\.\\DISPLAY1"},
        {false,
         {monitor(L"\\\\.\\DISPLAY2")},
         L"",
         L"\\\\.\\DISPLAY2",
         DisplayChangeAction::none,
         L"",
         L"\\\\.\\DISPLAY1"},
        {false, two, L"", L"\\\\.\\DISPLAY2", DisplayChangeAction::resume, L"", L"\\\\.\\DISPLAY1"},
    };
    for (const Case& c : cases) {
        const MonitorKey mirrored{*c.mirrored != 0 ? c.id : L"", c.mirrored};
        const MonitorKey awaited{*c.awaited != 0 ? c.id : L"", c.awaited};
        EXPECT_EQ(decide_display_change(c.running, c.monitors, mirrored, awaited, MonitorKey{L"", c.source}), c.action)
            << testing::PrintToString(std::wstring(c.mirrored)) << testing::PrintToString(std::wstring(c.awaited))
            << " running=" << c.running;
    }
}

}  // namespace
}  // namespace kelvane
