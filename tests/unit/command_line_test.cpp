// Command-line options driven from argument vectors.
#include "app/command_line.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

CommandLineOptions parse(std::vector<std::wstring> args) {
    args.insert(args.begin(), L"C:\\Apps\\Kelvane2.exe");
    return parse_arguments(args);
}

TEST(CommandLine, NoArgumentsGivesDefaults) {
    const CommandLineOptions options = parse({});
    EXPECT_FALSE(options.pattern);
    EXPECT_FALSE(options.no_exclude);
    EXPECT_TRUE(options.monitor_arg.empty());
    EXPECT_FALSE(options.force_inactive);
    EXPECT_FALSE(options.force_active);
}

TEST(CommandLine, ModulePathIsNeverAnOption) {
    const CommandLineOptions options = parse_arguments({L"--active"});
    EXPECT_FALSE(options.force_active);
}

TEST(CommandLine, EachFlagSetsOnlyItsField) {
    struct Case {
        const wchar_t* arg;
        bool pattern, no_exclude, inactive, active;
    };
    const Case cases[] = {
        {L"--pattern", true, false, false, false},
        {L"--no-exclude", false, true, false, false},
        {L"--inactive", false, false, true, false},
        {L"--active", false, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.arg)));
        const CommandLineOptions options = parse({c.arg});
        EXPECT_EQ(options.pattern, c.pattern);
        EXPECT_EQ(options.no_exclude, c.no_exclude);
        EXPECT_EQ(options.force_inactive, c.inactive);
        EXPECT_EQ(options.force_active, c.active);
        EXPECT_TRUE(options.monitor_arg.empty());
    }
}

TEST(CommandLine, UnknownSpellingsAreIgnored) {
    for (const wchar_t* arg : {L"--monitor=DISPLAY2", L"--Active", L"-p", L"--PATTERN", L"-M", L"", L"--", L"active"}) {
        const CommandLineOptions options = parse({arg});
        EXPECT_FALSE(options.pattern || options.no_exclude || options.force_inactive || options.force_active);
        EXPECT_TRUE(options.monitor_arg.empty()) << testing::PrintToString(std::wstring(arg));
    }
}

TEST(CommandLine, MonitorTakesTheNextArgument) {
    struct Case {
        std::vector<std::wstring> args;
        std::wstring monitor;
    };
    const Case cases[] = {
        {{L"-m", L"2"}, L"2"},      {{L"--monitor", L"\\\\.\\DISPLAY2"}, L"\\\\.\\DISPLAY2"},
        {{L"--monitor"}, L""},      {{L"--monitor", L"1", L"--monitor", L"2"}, L"2"},
        {{L"--monitor", L""}, L""}, {{L"-m", L"1", L"-m"}, L"1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse(c.args).monitor_arg, c.monitor);
    }
}

TEST(CommandLine, MonitorValueIsConsumedEvenWhenItLooksLikeAnOption) {
    const CommandLineOptions options = parse({L"-m", L"--active", L"--pattern"});
    EXPECT_EQ(options.monitor_arg, L"--active");
    EXPECT_FALSE(options.force_active);
    EXPECT_TRUE(options.pattern);
}

TEST(CommandLine, ActiveWinsOverInactiveInEitherOrder) {
    for (const auto& args : {std::vector<std::wstring>{L"--active", L"--inactive"},
                             std::vector<std::wstring>{L"--inactive", L"--active"}}) {
        const CommandLineOptions options = parse(args);
        EXPECT_TRUE(options.force_active);
        EXPECT_TRUE(options.force_inactive);
        Settings settings;
        settings.active = false;
        apply_active_overrides(options, settings);
        EXPECT_TRUE(settings.active);
    }
}

TEST(CommandLine, InactiveAloneSwitchesTheSavedMirrorOff) {
    Settings settings;  // active by default, as a saved active=1 would leave it
    apply_active_overrides(parse({L"--inactive"}), settings);
    EXPECT_FALSE(settings.active);

    Settings untouched;
    untouched.active = false;
    apply_active_overrides(parse({L"--pattern"}), untouched);
    EXPECT_FALSE(untouched.active);
}

}  // namespace
}  // namespace kelvane
