// The shell's splitting rules, as CommandLineToArgvW applies them, feeding the option parser.
#include "app/command_line.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

TEST(CommandLineWin, SplitsByTheShellRules) {
    struct Case {
        const wchar_t* command_line;
        std::vector<std::wstring> args;
    };
    const Case cases[] = {
        {L"Kelvane2.exe", {L"Kelvane2.exe"}},
        {L"\"C:\\Program Files\\Kelvane2\\Kelvane2.exe\" --pattern",
         {L"C:\\Program Files\\Kelvane2\\Kelvane2.exe", L"--pattern"}},
        {L"k.exe --monitor \"\"", {L"k.exe", L"--monitor", L""}},
        {L"k.exe -m \"Dell U2720Q\"", {L"k.exe", L"-m", L"Dell U2720Q"}},
        {L"k.exe -m \\\\.\\DISPLAY2", {L"k.exe", L"-m", L"\\\\.\\DISPLAY2"}},
        // Backslashes are literal unless they precede a quote: 2n+1 of them give n and a quote.
        {L"k.exe -m a\\\\\\\"b", {L"k.exe", L"-m", L"a\\\"b"}},
        {L"k.exe -m \"a\\\\\" --active", {L"k.exe", L"-m", L"a\\", L"--active"}},
        {L"k.exe   --active\t--inactive", {L"k.exe", L"--active", L"--inactive"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.command_line)));
        const auto args = split_command_line(c.command_line);
        ASSERT_TRUE(args.has_value());
        EXPECT_EQ(*args, c.args);
    }
}

TEST(CommandLineWin, EmptyQuotedMonitorLeavesNoMonitor) {
    const auto args = split_command_line(L"Kelvane2.exe --monitor \"\" --active");
    ASSERT_TRUE(args.has_value());
    const CommandLineOptions options = parse_arguments(*args);
    EXPECT_TRUE(options.monitor_arg.empty());
    EXPECT_TRUE(options.force_active);
}

TEST(CommandLineWin, QuotedMonitorWithDashIsTheValue) {
    const auto args = split_command_line(L"Kelvane2.exe -m \"--active\"");
    ASSERT_TRUE(args.has_value());
    const CommandLineOptions options = parse_arguments(*args);
    EXPECT_EQ(options.monitor_arg, L"--active");
    EXPECT_FALSE(options.force_active);
}

TEST(CommandLineWin, ThisProcessCommandLineParses) {
    // The test runner itself was started without any of the options.
    const CommandLineOptions options = parse_command_line();
    EXPECT_FALSE(options.pattern || options.no_exclude || options.force_active || options.force_inactive);
}

}  // namespace
}  // namespace kelvane
