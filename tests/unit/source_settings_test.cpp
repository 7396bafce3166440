// Another monitor or a region as the mirror's source: the region's text and its place on a monitor,
// the settings' round trip with bad values kept, the "Source" submenu, and the command line.
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "settings/settings.h"
#include "support/log_capture.h"
#include "ui/menu_model.h"

namespace kelvane {
namespace {

TEST(SourceRegion, TextIsReadAndPlacedOnTheMonitor) {
    const struct {
        const char* text;
        RegionProblem problem;
        SourceRect rect;  // on a 1920x1080 monitor
        bool whole;
        bool clamped;
        bool outside;
    } cases[] = {
        {"", RegionProblem::none, {0, 0, 1920, 1080}, true, false, false},
        {"100,50,640,360", RegionProblem::none, {100, 50, 640, 360}, false, false, false},
        {" 0 , 0 ,1920, 1080 ", RegionProblem::none, {0, 0, 1920, 1080}, false, false, false},
        // At each edge: what reaches past is cut; a region wholly past shows the whole monitor.
        {"1900,10,100,10", RegionProblem::none, {1900, 10, 20, 10}, false, true, false},
        {"10,1000,10,500", RegionProblem::none, {10, 1000, 10, 80}, false, true, false},
        {"1919,1079,2147483647,2147483647", RegionProblem::none, {1919, 1079, 1, 1}, false, true, false},
        {"1920,0,10,10", RegionProblem::none, {0, 0, 1920, 1080}, true, false, true},
        {"0,1080,10,10", RegionProblem::none, {0, 0, 1920, 1080}, true, false, true},
        // Unusable text: the whole monitor, and why.
        {"-1,0,10,10", RegionProblem::negative, {0, 0, 1920, 1080}, true, false, false},
        {"0,-5,10,10", RegionProblem::negative, {0, 0, 1920, 1080}, true, false, false},
        {"0,0,0,10", RegionProblem::empty, {0, 0, 1920, 1080}, true, false, false},
        {"0,0,10,-3", RegionProblem::empty, {0, 0, 1920, 1080}, true, false, false},
        {"1,2,3", RegionProblem::not_four_numbers, {0, 0, 1920, 1080}, true, false, false},
        {"1,2,3,4,5", RegionProblem::not_four_numbers, {0, 0, 1920, 1080}, true, false, false},
        {"1,2,3,4x", RegionProblem::not_four_numbers, {0, 0, 1920, 1080}, true, false, false},
        {"1,,3,4", RegionProblem::not_four_numbers, {0, 0, 1920, 1080}, true, false, false},
        {"1.5,2,3,4", RegionProblem::not_four_numbers, {0, 0, 1920, 1080}, true, false, false},
        {"0,0,2147483648,10", RegionProblem::not_four_numbers, {0, 0, 1920, 1080}, true, false, false},
        {"whole", RegionProblem::not_four_numbers, {0, 0, 1920, 1080}, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        RegionProblem problem = RegionProblem::none;
        const RegionOnMonitor placed = place_source_region(c.text, 1920, 1080, problem);
        EXPECT_EQ(problem, c.problem);
        EXPECT_EQ(placed.rect, c.rect);
        EXPECT_EQ(placed.whole, c.whole);
        EXPECT_EQ(placed.clamped, c.clamped);
        EXPECT_EQ(placed.outside, c.outside);
        if (c.problem == RegionProblem::none && !c.whole) {
            RegionProblem again = RegionProblem::none;
            EXPECT_EQ(parse_source_region(format_source_region(placed.rect), again), placed.rect);
        }
    }
}

TEST(SourceRegion, SettingsKeepEveryValueAndSayWhatCannotBeUsed) {
    const test::LogCapture log;
    Settings settings;
    apply_settings_text(
        "source_monitor=\\\\.\\DISPLAY1\r\nsource_monitor_id=\\\\?\\DISPLAY#ABC#1\r\n"
        "source_region=0,0,0,10\r\nfit=stretch\r\n",
        settings);
    EXPECT_EQ(settings.source_monitor, L"\\\\.\\DISPLAY1");
    EXPECT_EQ(settings.source_monitor_id, L"\\\\?\\DISPLAY#ABC#1");
    EXPECT_EQ(settings.fit, FitMode::stretch);
    // The text that cannot be used stays, and is written back as it was.
    EXPECT_EQ(settings.source_region, "0,0,0,10");
    Settings again;
    apply_settings_text(format_settings_text(settings), again);
    EXPECT_EQ(again, settings);
    apply_settings_text("fit=zoom\r\nsource_region=1,2,3\r\n", settings);
    EXPECT_EQ(settings.fit, FitMode::stretch);
    EXPECT_EQ(settings.source_region, "1,2,3");
    EXPECT_EQ(log.messages(),
              (std::vector<std::string>{
                  "settings: source_region \"0,0,0,10\" has no width or no height; the whole monitor is shown",
                  "(previous line repeated 1 times)",  // read again in the round trip
                  "settings: fit \"zoom\" is neither contain nor stretch, keeping stretch",
                  "settings: source_region \"1,2,3\" is not four whole numbers X,Y,W,H; the whole monitor is shown"}));
}

MonitorEntry entry(const wchar_t* name, const wchar_t* label) {
    MonitorEntry monitor;
    monitor.device_name = name;
    monitor.label = label;
    return monitor;
}

TEST(SourceMenu, ListsTheOtherMonitorsAndChecksTheSource) {
    const std::vector<MonitorEntry> monitors = {entry(L"\\\\.\\DISPLAY1", L"one"), entry(L"\\\\.\\DISPLAY2", L"two"),
                                                entry(L"\\\\.\\DISPLAY3", L"three")};
    Settings self;
    Settings other;
    other.source_monitor = L"\\\\.\\DISPLAY3";
    other.source_region = "1,2,3,4";
    const struct {
        const Settings* settings;
        int mirrored;
        int source;
        std::vector<bool> checks;  // This monitor, the other monitors, Choose region..., Whole monitor
    } cases[] = {
        {&self, 1, 1, {true, false, false, false, true}},
        {&other, 1, 2, {false, false, true, false, false}},
        {&other, 1, -1, {false, false, false, false, false}},  // the source is not attached
        {&other, 2, 2, {true, false, false, false, false}},    // the source is the mirrored monitor
    };
    for (const auto& c : cases) {
        const std::vector<MenuItem> menu = build_source_menu(monitors, c.mirrored, c.source, *c.settings);
        std::vector<bool> checks;
        std::vector<unsigned> ids;
        for (const MenuItem& item : menu) {
            if (item.kind == MenuItemKind::command) {
                checks.push_back(item.checked);
                ids.push_back(item.id);
            }
        }
        EXPECT_EQ(checks, c.checks) << c.mirrored << " " << c.source;
        ASSERT_EQ(ids.size(), 5u);
        // Every id decodes to what the item says, the monitors to their place in the list.
        EXPECT_EQ(decode_command(ids[0], monitors.size()).command, MenuCommand::source_this);
        for (std::size_t i = 1; i <= 2; ++i) {
            const DecodedCommand decoded = decode_command(ids[i], monitors.size());
            EXPECT_EQ(decoded.command, MenuCommand::source_monitor);
            EXPECT_NE(static_cast<int>(decoded.monitor_index), c.mirrored);
            EXPECT_EQ(menu[i + 1].text, monitors[decoded.monitor_index].label);
        }
        EXPECT_EQ(decode_command(ids[3], monitors.size()).command, MenuCommand::choose_region);
        EXPECT_EQ(decode_command(ids[4], monitors.size()).command, MenuCommand::whole_monitor);
    }
    EXPECT_EQ(decode_command(menu_id::source_first + 3, monitors.size()).command, MenuCommand::none);
}

TEST(SourceArguments, ResolvedLikeTheMonitorAndBadValuesChangeNothing) {
    const std::vector<MonitorEntry> monitors = {entry(L"\\\\.\\DISPLAY1", L"one"), entry(L"\\\\.\\DISPLAY2", L"two")};
    const test::LogCapture log;
    Settings settings;
    settings.source_monitor = L"\\\\.\\DISPLAY1";
    settings.source_region = "1,2,3,4";
    // The same monitor keeps its region; another starts whole unless a region comes with it.
    apply_source_arguments(parse_arguments({L"k", L"--source", L"1"}), monitors, settings);
    EXPECT_EQ(settings.source_region, "1,2,3,4");
    apply_source_arguments(parse_arguments({L"k", L"--source", L"display2"}), monitors, settings);
    EXPECT_EQ(settings.source_monitor, L"\\\\.\\DISPLAY2");
    EXPECT_EQ(settings.source_region, "");
    apply_source_arguments(parse_arguments({L"k", L"--region", L" 10, 20,300,200", L"--source", L"2"}), monitors,
                           settings);
    EXPECT_EQ(settings.source_region, "10,20,300,200");
    const Settings before = settings;
    apply_source_arguments(parse_arguments({L"k", L"--source", L"DISPLAY7", L"--region", L"0,0,-1,5"}), monitors,
                           settings);
    apply_source_arguments(parse_arguments({L"k", L"--region"}), monitors, settings);
    EXPECT_EQ(settings, before);
    EXPECT_EQ(log.messages(), (std::vector<std::string>{"monitor arg 'DISPLAY7' did not match anything; ignoring",
                                                        "region arg '0,0,-1,5' has no width or no height; ignoring"}));
}

}  // namespace
}  // namespace kelvane
