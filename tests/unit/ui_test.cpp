// The portable rules of the control surface: the Adjust-warp sliders' positions and labels, the
// monitor that hosts the Adjust-warp window, and the tray menu's items and command decoding.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "display/monitor_list.h"
#include "settings/settings.h"
#include "ui/adjust_warp.h"
#include "ui/menu_model.h"

namespace kelvane {
namespace {

// ---- Slider positions and labels ----

struct PositionCase {
    int position;
    float value;
    const wchar_t* label;
};

TEST(UiSliders, KeystonePositionsGiveValuesAndLabels) {
    const PositionCase cases[] = {
        {0, -1.0f, L"-1.00"},   {100, 0.0f, L"0.00"},  {200, 1.0f, L"1.00"},  {125, 0.25f, L"0.25"},
        {75, -0.25f, L"-0.25"}, {1, -0.99f, L"-0.99"}, {199, 0.99f, L"0.99"},
    };
    for (const PositionCase& c : cases) {
        SCOPED_TRACE(c.position);
        const float value = keystone_from_position(c.position);
        EXPECT_NEAR(value, c.value, 1e-6f);
        EXPECT_EQ(keystone_label(value), c.label);
    }
    // The ends and the middle are exact, so a reset slider reads exactly zero.
    EXPECT_EQ(keystone_from_position(0), -1.0f);
    EXPECT_EQ(keystone_from_position(100), 0.0f);
    EXPECT_EQ(keystone_from_position(200), 1.0f);
}

TEST(UiSliders, RotationPositionsGiveDegreesAndLabels) {
    const PositionCase cases[] = {
        {0, -180.0f, L"-180.0\u00B0"}, {360, 0.0f, L"0.0\u00B0"},   {720, 180.0f, L"180.0\u00B0"},
        {1, -179.5f, L"-179.5\u00B0"}, {450, 45.0f, L"45.0\u00B0"}, {359, -0.5f, L"-0.5\u00B0"},
    };
    for (const PositionCase& c : cases) {
        SCOPED_TRACE(c.position);
        const float degrees = rotation_from_position(c.position);
        EXPECT_EQ(degrees, c.value);  // steps of 0.5 are exact in binary
        EXPECT_EQ(rotation_label(degrees), c.label);
    }
}

TEST(UiSliders, StoredValuesPutTheSliderAtTheTruncatedPosition) {
    EXPECT_EQ(keystone_to_position(0.255f), 126);
    EXPECT_EQ(rotation_to_position(-0.3f), 359);
    EXPECT_EQ(keystone_to_position(-1.0f), 0);
    EXPECT_EQ(keystone_to_position(1.0f), 200);
    EXPECT_EQ(keystone_to_position(0.0f), 100);
    EXPECT_EQ(rotation_to_position(-180.0f), 0);
    EXPECT_EQ(rotation_to_position(180.0f), 720);
    EXPECT_EQ(rotation_to_position(0.0f), 360);
    // Half a step below a position still rounds up to it; a bit less rounds down.
    EXPECT_EQ(keystone_to_position(-0.996f), 0);
    EXPECT_EQ(keystone_to_position(-0.994f), 1);
    EXPECT_EQ(rotation_to_position(0.2f), 360);
    EXPECT_EQ(rotation_to_position(0.3f), 361);
    // Truncation toward zero: just above -1 still lands on position 0, not below it.
    EXPECT_EQ(keystone_to_position(-0.9999f), 0);
}

TEST(UiSliders, ValuesOffTheSliderStayOnIt) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(keystone_to_position(-5.0f), 0);
    EXPECT_EQ(keystone_to_position(5.0f), keystone_slider_max);
    EXPECT_EQ(keystone_to_position(nan), 0);
    EXPECT_EQ(keystone_to_position(inf), keystone_slider_max);
    EXPECT_EQ(keystone_to_position(-inf), 0);
    EXPECT_EQ(rotation_to_position(-1000.0f), 0);
    EXPECT_EQ(rotation_to_position(1e30f), rotation_slider_max);
    EXPECT_EQ(rotation_to_position(nan), 0);
}

TEST(UiSliders, EveryPositionSurvivesTheRoundTrip) {
    // A drag writes position -> value, then the refresh writes value -> position: the thumb must not move.
    for (int position = 0; position <= keystone_slider_max; ++position) {
        EXPECT_EQ(keystone_to_position(keystone_from_position(position)), position) << position;
    }
    for (int position = 0; position <= rotation_slider_max; ++position) {
        EXPECT_EQ(rotation_to_position(rotation_from_position(position)), position) << position;
    }
}

TEST(UiSliders, EveryPositionsLabelIsItsOwnStep) {
    // The label of a slider value names that step: "-0.99", "-0.98", ..., no "-0.00" in between.
    std::vector<std::wstring> seen;
    for (int position = 0; position <= keystone_slider_max; ++position) {
        seen.push_back(keystone_label(keystone_from_position(position)));
    }
    EXPECT_EQ(seen[99], L"-0.01");
    EXPECT_EQ(seen[101], L"0.01");
    EXPECT_EQ(seen[150], L"0.50");
    EXPECT_EQ(seen[33], L"-0.67");
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_NE(seen[i], seen[i - 1]) << i;
    }
}

TEST(UiSliders, LabelsRoundLikeFixedPointPrintingWithoutANegativeZero) {
    const struct {
        float value;
        const wchar_t* keystone;
        const wchar_t* rotation;
    } cases[] = {
        {0.255f, L"0.25", L"0.3\u00B0"},  // 0.255f lies just below 0.255
        {0.125f, L"0.12", L"0.1\u00B0"},  // exact ties go to the even digit
        {-0.3f, L"-0.30", L"-0.3\u00B0"}, {-0.004f, L"0.00", L"0.0\u00B0"},     {-0.04f, L"-0.04", L"0.0\u00B0"},
        {-0.0f, L"0.00", L"0.0\u00B0"},   {179.96f, L"179.96", L"180.0\u00B0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(keystone_label(c.value), c.keystone);
        EXPECT_EQ(rotation_label(c.value), c.rotation);
    }
}

TEST(UiSliders, LabelsKeepThePointUnderADecimalCommaLocale) {
    const char* const comma_locales[] = {"de_DE.UTF-8", "de_DE", "German_Germany.1252", "de-DE", "fr_FR.UTF-8"};
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* found = nullptr;
    for (const char* name : comma_locales) {
        if (std::setlocale(LC_ALL, name) != nullptr && *std::localeconv()->decimal_point == ',') {
            found = name;
            break;
        }
    }
    if (found == nullptr) {
        std::setlocale(LC_ALL, previous.c_str());
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    const std::wstring keystone = keystone_label(-0.25f);
    const std::wstring rotation = rotation_label(45.5f);
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(keystone, L"-0.25") << found;
    EXPECT_EQ(rotation, L"45.5\u00B0") << found;
}

// ---- Host monitor of the Adjust-warp window ----

MonitorEntry monitor(const wchar_t* name, MonitorRect rect, bool primary) {
    MonitorEntry entry;
    entry.device_name = name;
    entry.rect = rect;
    entry.primary = primary;
    entry.label = make_monitor_label(entry.device_name, rect, primary);
    return entry;
}

const MonitorRect main_screen{0, 0, 1920, 1080};
const MonitorRect side_screen{1920, 0, 3200, 1024};
const MonitorRect upper_screen{0, -900, 1600, 0};

TEST(UiHostMonitor, ChoosesThePrimaryOrElseTheFirstOtherMonitor) {
    const std::vector<MonitorEntry> one = {monitor(L"\\\\.\\DISPLAY1", main_screen, true)};
    const std::vector<MonitorEntry> two = {monitor(L"\\\\.\\DISPLAY1", main_screen, true),
                                           monitor(L"\\\\.\\DISPLAY2", side_screen, false)};
    const std::vector<MonitorEntry> primary_last = {monitor(L"\\\\.\\DISPLAY1", side_screen, false),
                                                    monitor(L"\\\\.\\DISPLAY2", upper_screen, false),
                                                    monitor(L"\\\\.\\DISPLAY3", main_screen, true)};
    const std::vector<MonitorEntry> no_primary = {monitor(L"\\\\.\\DISPLAY1", side_screen, false),
                                                  monitor(L"\\\\.\\DISPLAY2", upper_screen, false),
                                                  monitor(L"\\\\.\\DISPLAY3", main_screen, false)};
    const struct {
        const char* what;
        const std::vector<MonitorEntry>& list;
        int designated;
        int expected;
    } cases[] = {
        {"one monitor, designated: itself", one, 0, 0},
        {"one monitor, none designated", one, -1, 0},
        {"two, primary designated: the secondary", two, 0, 1},
        {"two, secondary designated: the primary", two, 1, 0},
        {"two, designated name absent: the primary", two, -1, 0},
        {"three, first designated: the primary", primary_last, 0, 2},
        {"three, second designated: the primary", primary_last, 1, 2},
        {"three, primary designated: the first other", primary_last, 2, 0},
        {"three, no primary, first designated: the next", no_primary, 0, 1},
        {"three, no primary, second designated: the first", no_primary, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(choose_host_monitor(c.list, c.designated), c.expected);
    }
}

TEST(UiHostMonitor, EmptyListHasNoHost) {
    EXPECT_EQ(choose_host_monitor({}, -1), -1);
    EXPECT_EQ(designated_monitor({}, L""), -1);
    EXPECT_EQ(designated_monitor({}, L"\\\\.\\DISPLAY1"), -1);
}

TEST(UiHostMonitor, DesignatedIsTheStoredNameOrTheTopmostScreen) {
    const std::vector<MonitorEntry> list = {monitor(L"\\\\.\\DISPLAY1", main_screen, true),
                                            monitor(L"\\\\.\\DISPLAY2", upper_screen, false),
                                            monitor(L"\\\\.\\DISPLAY3", side_screen, false)};
    EXPECT_EQ(designated_monitor(list, L""), 1);  // the one above
    EXPECT_EQ(designated_monitor(list, L"\\\\.\\DISPLAY3"), 2);
    EXPECT_EQ(designated_monitor(list, L"\\\\.\\display3"), -1);
    EXPECT_EQ(designated_monitor(list, L"\\\\.\\DISPLAY9"), -1);
    // Auto designates the monitor upper_screen, so the window goes to the primary.
    EXPECT_EQ(choose_host_monitor(list, designated_monitor(list, L"")), 0);
}

TEST(UiHostMonitor, WindowIsCentredWithTruncatingDivision) {
    const struct {
        MonitorRect area;
        int x;
        int y;
    } cases[] = {
        {{0, 0, 1920, 1080}, 720, 380},      {{1920, 0, 3200, 1024}, 2320, 352},
        {{-1920, 180, 0, 1260}, -1200, 560}, {{0, 0, 1281, 1025}, 400, 352},  // odd sizes: the half pixel is dropped
        {{0, 0, 401, 301}, -39, -9},  // smaller than the window: toward zero, not down
        {{100, 50, 100, 50}, -140, -110},
    };
    for (const auto& c : cases) {
        const WindowPosition position = centre_in(c.area, adjust_window_width, adjust_window_height);
        EXPECT_EQ(position.x, c.x) << c.area.left << "," << c.area.top;
        EXPECT_EQ(position.y, c.y) << c.area.left << "," << c.area.top;
    }
}

// ---- Tray menu ----

MenuItem item(const wchar_t* text, unsigned id, bool checked = false) {
    return MenuItem{MenuItemKind::command, text, id, checked, {}};
}
const MenuItem separator{MenuItemKind::separator, L"", 0, false, {}};

std::vector<MonitorEntry> two_monitors() {
    return {monitor(L"\\\\.\\DISPLAY1", main_screen, true), monitor(L"\\\\.\\DISPLAY2", side_screen, false)};
}

TEST(TrayMenuModel, MainMenuItemsInOrder) {
    Settings settings;
    settings.warp.mirror_h = false;
    settings.warp.mirror_v = false;
    const std::vector<MenuItem> expected = {
        item(L"Mirror active\tCtrl+Alt+M", 100),
        separator,
        MenuItem{MenuItemKind::submenu, L"Monitor", 0, false, {}},
        MenuItem{MenuItemKind::submenu, L"Source", 0, false, {}},
        item(L"Mirror horizontally", 101),
        item(L"Mirror vertically", 106),
        item(L"Adjust warp...", 102),
        item(L"Hotkey...", 107),
        item(L"Reset warp", 103),
        separator,
        item(L"Start with Windows", 108),
        separator,
        item(L"Make apps like this with Orvendt...", 104),
        item(L"Exit", 105),
    };
    EXPECT_EQ(build_main_menu(settings, false), expected);
    // The shortcut shown is the hotkey in use, and the start-up item shows what the system says.
    settings.hotkey = Hotkey{hotkey_modifier::control | hotkey_modifier::shift, 0x78};
    const std::vector<MenuItem> changed = build_main_menu(settings, false, true);
    EXPECT_EQ(changed[0].text, L"Mirror active\tCtrl+Shift+F9");
    EXPECT_TRUE(changed[10].checked);
}

TEST(TrayMenuModel, CheckMarksFollowRunningAndTheMirrorFlags) {
    const struct {
        bool running;
        bool active;
        bool mirror_h;
        bool mirror_v;
    } cases[] = {
        {false, false, false, false},
        {true, true, true, false},
        {false, true, false, true},
        {true, false, true, true},  // running wins over active, both ways
    };
    for (const auto& c : cases) {
        Settings settings;
        settings.active = c.active;
        settings.warp.mirror_h = c.mirror_h;
        settings.warp.mirror_v = c.mirror_v;
        settings.warp.keystone_tb = 0.5f;
        const std::vector<MenuItem> menu = build_main_menu(settings, c.running);
        ASSERT_EQ(menu.size(), 14u);
        EXPECT_EQ(menu[0].checked, c.running);
        EXPECT_EQ(menu[4].checked, c.mirror_h);
        EXPECT_EQ(menu[5].checked, c.mirror_v);
        for (std::size_t i : {1u, 2u, 3u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u}) {
            EXPECT_FALSE(menu[i].checked) << i;
        }
    }
}

TEST(TrayMenuModel, EmptyMonitorSettingChecksAutoOnly) {
    const std::vector<MenuItem> expected = {
        item(L"Auto (topmost screen)", 110, true),
        separator,
        item(L"DISPLAY1  1920x1080 @ (0,0)  [primary]", 111),
        item(L"DISPLAY2  1280x1024 @ (1920,0)", 112),
    };
    EXPECT_EQ(build_monitor_menu(two_monitors(), L""), expected);
}

TEST(TrayMenuModel, SavedMonitorIsCheckedByExactName) {
    const std::vector<MenuItem> menu = build_monitor_menu(two_monitors(), L"\\\\.\\DISPLAY2");
    ASSERT_EQ(menu.size(), 4u);
    EXPECT_FALSE(menu[0].checked);
    EXPECT_FALSE(menu[2].checked);
    EXPECT_TRUE(menu[3].checked);
    EXPECT_EQ(menu[3].id, 112u);
}

TEST(TrayMenuModel, UnknownOrDifferentlyWrittenNameChecksNothing) {
    for (const wchar_t* name : {L"\\\\.\\DISPLAY9", L"\\\\.\\display2", L"\\\\.\\DISPLAY", L"\\\\.\\DISPLAY22"}) {
        const std::vector<MenuItem> menu = build_monitor_menu(two_monitors(), name);
        for (const MenuItem& entry : menu) {
            EXPECT_FALSE(entry.checked) << entry.id;
        }
    }
}

TEST(TrayMenuModel, NoMonitorsLeavesAutoAndTheSeparator) {
    const std::vector<MenuItem> expected = {item(L"Auto (topmost screen)", 110, true), separator};
    EXPECT_EQ(build_monitor_menu({}, L""), expected);
}

TEST(TrayMenuModel, MoreThanSixtyFourMonitorsAreListedButOnlySixtyFourChoosable) {
    std::vector<MonitorEntry> many;
    for (int i = 0; i < 70; ++i) {
        const std::wstring name = L"\\\\.\\DISPLAY" + std::to_wstring(100 + i);
        many.push_back(monitor(name.c_str(), {i * 100, 0, i * 100 + 100, 100}, i == 0));
    }
    const std::vector<MenuItem> menu = build_monitor_menu(many, L"\\\\.\\DISPLAY169");
    ASSERT_EQ(menu.size(), 72u);
    EXPECT_EQ(menu[2].id, 111u);
    EXPECT_EQ(menu[65].id, 174u);
    EXPECT_EQ(menu[66].id, 175u);
    EXPECT_EQ(menu[71].text, many[69].label);
    EXPECT_TRUE(menu[71].checked);  // listed and marked, although not choosable

    const DecodedCommand last = decode_command(174, many.size());
    EXPECT_EQ(last.command, MenuCommand::monitor);
    EXPECT_EQ(last.monitor_index, 63u);
    for (const MenuItem& entry : menu) {
        if (entry.id > 174) {
            EXPECT_EQ(decode_command(entry.id, many.size()).command, MenuCommand::none) << entry.id;
        }
    }
}

TEST(TrayMenuModel, DecodesEveryCommandId) {
    const struct {
        unsigned id;
        MenuCommand command;
    } cases[] = {
        {100, MenuCommand::toggle_mirror},
        {101, MenuCommand::flip_mirror_h},
        {106, MenuCommand::flip_mirror_v},
        {102, MenuCommand::open_adjust_window},
        {103, MenuCommand::reset_warp},
        {104, MenuCommand::open_web_page},
        {105, MenuCommand::exit},
        {107, MenuCommand::open_hotkey_window},
        {108, MenuCommand::toggle_start_with_windows},
        {110, MenuCommand::monitor_auto},
        {0, MenuCommand::none},
        {99, MenuCommand::none},
        {109, MenuCommand::none},
        {175, MenuCommand::none},
        {301, MenuCommand::none},
        {65535, MenuCommand::none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decode_command(c.id, 2).command, c.command) << c.id;
    }
    EXPECT_EQ(menu_id::exit, 105u);
}

TEST(TrayMenuModel, MonitorIdsAreBoundedByTheListedMonitors) {
    const DecodedCommand first = decode_command(111, 2);
    EXPECT_EQ(first.command, MenuCommand::monitor);
    EXPECT_EQ(first.monitor_index, 0u);
    const DecodedCommand second = decode_command(112, 2);
    EXPECT_EQ(second.command, MenuCommand::monitor);
    EXPECT_EQ(second.monitor_index, 1u);
    EXPECT_EQ(decode_command(113, 2).command, MenuCommand::none);
    EXPECT_EQ(decode_command(111, 0).command, MenuCommand::none);
    EXPECT_EQ(decode_command(174, 63).command, MenuCommand::none);
    EXPECT_EQ(decode_command(174, 64).command, MenuCommand::monitor);
}

}  // namespace
}  // namespace kelvane
