// The monitor list rules on hand-made lists: text order, labels, lookup by name, the topmost choice
// and the --monitor argument with its no-match line.
#include "display/monitor_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/log_capture.h"

namespace kelvane {
namespace {

MonitorEntry monitor(const std::wstring& name, MonitorRect rect = {0, 0, 1920, 1080}, bool primary = false) {
    MonitorEntry entry;
    entry.device_name = name;
    entry.rect = rect;
    entry.primary = primary;
    entry.label = make_monitor_label(name, rect, primary);
    return entry;
}

std::vector<std::wstring> names_of(const std::vector<MonitorEntry>& list) {
    std::vector<std::wstring> names;
    for (const MonitorEntry& entry : list) {
        names.push_back(entry.device_name);
    }
    return names;
}

TEST(MonitorList, SortsInTextOrderNotNumericOrder) {
    std::vector<MonitorEntry> list = {monitor(L"\\\\.\\DISPLAY2"), monitor(L"\\\\.\\DISPLAY10"),
                                      monitor(L"\\\\.\\DISPLAY1"), monitor(L"\\\\.\\DISPLAY"),
                                      monitor(L"\\\\.\\DISPLAY3")};
    sort_monitors(list);
    EXPECT_EQ(names_of(list), (std::vector<std::wstring>{L"\\\\.\\DISPLAY", L"\\\\.\\DISPLAY1", L"\\\\.\\DISPLAY10",
                                                         L"\\\\.\\DISPLAY2", L"\\\\.\\DISPLAY3"}));
}

TEST(MonitorList, SortKeepsEachEntryWhole) {
    std::vector<MonitorEntry> list = {monitor(L"\\\\.\\DISPLAY2", {-1920, 180, 0, 1260}),
                                      monitor(L"\\\\.\\DISPLAY1", {0, 0, 2560, 1440}, true)};
    sort_monitors(list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].label, L"DISPLAY1  2560x1440 @ (0,0)  [primary]");
    EXPECT_TRUE(list[0].primary);
    EXPECT_EQ(list[1].rect.left, -1920);
    EXPECT_FALSE(list[1].primary);
}

TEST(MonitorList, Labels) {
    struct Case {
        const wchar_t* name;
        MonitorRect rect;
        bool primary;
        const wchar_t* label;
    };
    const Case cases[] = {
        {L"\\\\.\\DISPLAY1", {0, 0, 2560, 1440}, true, L"DISPLAY1  2560x1440 @ (0,0)  [primary]"},
        {L"\\\\.\\DISPLAY2", {-1920, 180, 0, 1260}, false, L"DISPLAY2  1920x1080 @ (-1920,180)"},
        {L"\\\\.\\DISPLAY3", {-1280, -1024, 0, 0}, false, L"DISPLAY3  1280x1024 @ (-1280,-1024)"},
        {L"\\\\.\\DISPLAY12", {2560, -300, 4720, 3540}, true, L"DISPLAY12  2160x3840 @ (2560,-300)  [primary]"},
        {L"MONITOR", {10, 20, 810, 620}, false, L"MONITOR  800x600 @ (10,20)"},
        {L"\\\\.\\", {0, 0, 640, 480}, false, L"  640x480 @ (0,0)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        EXPECT_EQ(make_monitor_label(c.name, c.rect, c.primary), c.label);
    }
}

TEST(MonitorList, FindByNameIsExactAndCaseSensitive) {
    const std::vector<MonitorEntry> list = {monitor(L"\\\\.\\DISPLAY1"), monitor(L"\\\\.\\DISPLAY10"),
                                            monitor(L"\\\\.\\DISPLAY2"), monitor(L"\\\\.\\DISPLAY2")};
    EXPECT_EQ(find_monitor_by_name(list, L"\\\\.\\DISPLAY1"), 0);
    EXPECT_EQ(find_monitor_by_name(list, L"\\\\.\\DISPLAY10"), 1);
    EXPECT_EQ(find_monitor_by_name(list, L"\\\\.\\DISPLAY2"), 2);
    EXPECT_EQ(find_monitor_by_name(list, L"\\\\.\\display1"), -1);
    EXPECT_EQ(find_monitor_by_name(list, L"DISPLAY1"), -1);
    EXPECT_EQ(find_monitor_by_name(list, L"\\\\.\\DISPLAY"), -1);
    EXPECT_EQ(find_monitor_by_name(list, L""), -1);
    EXPECT_EQ(find_monitor_by_name({}, L"\\\\.\\DISPLAY1"), -1);
}

TEST(MonitorList, FindByPathThenByNameOverRenumberedLists) {
    const auto with_id = [](const wchar_t* name, const wchar_t* id) {
        MonitorEntry entry = monitor(name);
        entry.id = id;
        return entry;
    };
    // Before: A is DISPLAY1, B is DISPLAY2. After a dock: B came back as DISPLAY3, C took DISPLAY2.
    const std::vector<MonitorEntry> after = {with_id(L"\\\\.\\DISPLAY1", L"A"), with_id(L"\\\\.\\DISPLAY2", L"C"),
                                             with_id(L"\\\\.\\DISPLAY3", L"B")};
    const std::vector<MonitorEntry> no_paths = {monitor(L"\\\\.\\DISPLAY1"), monitor(L"\\\\.\\DISPLAY2")};
    struct Case {
        const std::vector<MonitorEntry>* list;
        const wchar_t* id;
        const wchar_t* name;
        int expected;
    };
    const Case cases[] = {
        {&after, L"B", L"\\\\.\\DISPLAY2", 2},  // by path, whatever the name says
        {&after, L"", L"\\\\.\\DISPLAY2", 1},   // a file without a path: by name
        {&after, L"B", L"", 2},
        {&after, L"Z", L"\\\\.\\DISPLAY2", -1},  // DISPLAY2 is now another monitor
        {&after, L"Z", L"", -1},
        {&after, L"", L"", -1},
        {&no_paths, L"B", L"\\\\.\\DISPLAY2", 1},  // no paths known: by name
        {&no_paths, L"B", L"\\\\.\\DISPLAY9", -1},
        {&no_paths, L"", L"", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.id) + L"|" + c.name));
        EXPECT_EQ(find_monitor(*c.list, c.id, c.name), c.expected);
    }
}

TEST(MonitorList, TheMonitorPathIsTheFirstActiveEntrysOfTheDisplayDevice) {
    // Inactive entries (a monitor attached there before) come before, between and after the active one;
    // other flags (primary, mirroring driver) do not make an entry active.
    const DisplayDeviceMonitor old_panel{0x4, L"old"}, active{0x1 | 0x2, L"now"}, removed{0x0, L"gone"};
    const struct {
        std::vector<DisplayDeviceMonitor> listed;
        const wchar_t* expected;
    } cases[] = {
        {{old_panel, active, removed}, L"now"},
        {{active, old_panel}, L"now"},
        {{removed, old_panel, {0x1, L"second"}, active}, L"second"},
        {{old_panel, removed}, L""},  // none active: known by its device name only
        {{}, L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(active_monitor_path(c.listed), c.expected);
    }
}

TEST(MonitorList, TopmostChoice) {
    struct Case {
        const char* what;
        std::vector<MonitorEntry> list;
        int expected;
    };
    const Case cases[] = {
        {"empty list", {}, -1},
        {"single monitor", {monitor(L"A", {0, 0, 1920, 1080}, true)}, 0},
        {"a monitor above the primary wins",
         {monitor(L"A", {0, 0, 1920, 1080}, true), monitor(L"B", {0, -1080, 1920, 0})},
         1},
        {"lower monitors never replace a higher one",
         {monitor(L"A", {0, -200, 1280, 824}), monitor(L"B", {1280, 0, 2560, 1024}),
          monitor(L"C", {-800, 100, 0, 700})},
         0},
        {"equal tops: the smaller area",
         {monitor(L"A", {0, 0, 2560, 1440}, true), monitor(L"B", {2560, 0, 3840, 1024}),
          monitor(L"C", {-1920, 0, 0, 1080})},
         1},
        {"equal tops, the larger later does not replace",
         {monitor(L"A", {0, 0, 1280, 1024}), monitor(L"B", {1280, 0, 3200, 1080})},
         0},
        {"equal tops and equal areas: the earlier entry",
         {monitor(L"A", {0, 0, 1920, 1080}), monitor(L"B", {1920, 0, 3840, 1080}), monitor(L"C", {-1080, 0, 0, 1920})},
         0},
        {"a higher monitor after a tie still wins",
         {monitor(L"A", {0, 0, 1920, 1080}), monitor(L"B", {1920, 0, 3840, 1080}), monitor(L"C", {0, -1, 3840, 2159})},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(pick_topmost_monitor(c.list), c.expected);
    }
}

class MonitorArgument : public testing::Test {
protected:
    // Already in list order, as enumerate_monitors hands it over.
    const std::vector<MonitorEntry> list_ = {monitor(L"\\\\.\\DISPLAY1"), monitor(L"\\\\.\\DISPLAY10"),
                                             monitor(L"\\\\.\\DISPLAY2"), monitor(L"\\\\.\\Display3")};
    test::LogCapture log_;
};

TEST_F(MonitorArgument, MatchesByPositionOrByTextInAnyCase) {
    struct Case {
        const wchar_t* argument;
        const wchar_t* expected;
    };
    const Case cases[] = {
        // 1-based positions in list order: 2 is DISPLAY10, not DISPLAY2.
        {L"1", L"\\\\.\\DISPLAY1"},
        {L"2", L"\\\\.\\DISPLAY10"},
        {L"4", L"\\\\.\\Display3"},
        {L"+3", L"\\\\.\\DISPLAY2"},
        {L" \t3", L"\\\\.\\DISPLAY2"},
        {L"03", L"\\\\.\\DISPLAY2"},
        // Out of range, so searched as text: 0 and 10 are found in DISPLAY10.
        {L"0", L"\\\\.\\DISPLAY10"},
        {L"10", L"\\\\.\\DISPLAY10"},
        // Text, ignoring case; the first entry in list order wins; the name comes back as stored.
        {L"display2", L"\\\\.\\DISPLAY2"},
        {L"DISPLAY1", L"\\\\.\\DISPLAY1"},
        {L"dIsPlAy10", L"\\\\.\\DISPLAY10"},
        {L"DISPLAY3", L"\\\\.\\Display3"},
        {L"y2", L"\\\\.\\DISPLAY2"},
        {L"\\\\.\\DISPLAY2", L"\\\\.\\DISPLAY2"},
        {L"\\\\.\\display10", L"\\\\.\\DISPLAY10"},
        {L"\\\\.\\Display3", L"\\\\.\\Display3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.argument)));
        EXPECT_EQ(resolve_monitor_argument(list_, c.argument), c.expected);
    }
    EXPECT_EQ(log_.messages(), std::vector<std::string>{});
}

TEST_F(MonitorArgument, NoMatchLogsTheArgumentAsGiven) {
    // A number with anything after it, a negative number and one beyond the list are searched as text.
    const wchar_t* arguments[] = {
        L"2x", L"2 ", L"-1", L"5", L"dIsPlAy9", L"\\\\.\\DISPLAY1 ", L"99999999999999999999999", L"-", L""};
    for (const wchar_t* argument : arguments) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(argument)));
        EXPECT_EQ(resolve_monitor_argument(list_, argument), L"");
    }
    EXPECT_EQ(log_.messages(), (std::vector<std::string>{
                                   "monitor arg '2x' did not match anything; ignoring",
                                   "monitor arg '2 ' did not match anything; ignoring",
                                   "monitor arg '-1' did not match anything; ignoring",
                                   "monitor arg '5' did not match anything; ignoring",
                                   "monitor arg 'dIsPlAy9' did not match anything; ignoring",
                                   "monitor arg '\\\\.\\DISPLAY1 ' did not match anything; ignoring",
                                   "monitor arg '99999999999999999999999' did not match anything; ignoring",
                                   "monitor arg '-' did not match anything; ignoring",
                                   "monitor arg '' did not match anything; ignoring",
                               }));
}

TEST_F(MonitorArgument, EmptyListMatchesNothing) {
    EXPECT_EQ(resolve_monitor_argument({}, L"1"), L"");
    EXPECT_EQ(resolve_monitor_argument({}, L"DISPLAY1"), L"");
    EXPECT_EQ(log_.messages(), (std::vector<std::string>{
                                   "monitor arg '1' did not match anything; ignoring",
                                   "monitor arg 'DISPLAY1' did not match anything; ignoring",
                               }));
}

TEST_F(MonitorArgument, TextSearchUsesTheGivenUpperCasing) {
    // A folding that knows nothing of case: only exact-case text then matches.
    const UpperCaseFunction unchanged = [](std::wstring_view text) { return std::wstring(text); };
    EXPECT_EQ(resolve_monitor_argument(list_, L"Display3", unchanged), L"\\\\.\\Display3");
    EXPECT_EQ(resolve_monitor_argument(list_, L"display2", unchanged), L"");
}

}  // namespace
}  // namespace kelvane
