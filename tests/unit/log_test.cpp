// The diagnostic log: message formatting, the line format, the cut at 1023 bytes, the file and
// lines written from two threads at once.
#include "platform/log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace kelvane {
namespace {

std::string format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_log_message(format, args);
    va_end(args);
    return text;
}

// The POSIX platform layer writes debugger output to standard error, where a test can read it; on
// Windows it goes to OutputDebugString, which only a debugger sees, so there the check is skipped.
class DebuggerOutput {
public:
#ifdef _WIN32
    static constexpr bool visible = false;
    DebuggerOutput() = default;
    [[nodiscard]] std::string take() {
        return {};
    }
#else
    static constexpr bool visible = true;
    DebuggerOutput() {
        testing::internal::CaptureStderr();
    }
    [[nodiscard]] std::string take() {
        return testing::internal::GetCapturedStderr();
    }
#endif
};

#define EXPECT_DEBUGGER_OUTPUT(capture, expected)   \
    do {                                            \
        const std::string seen_ = (capture).take(); \
        if constexpr (DebuggerOutput::visible) {    \
            EXPECT_EQ(seen_, expected);             \
        }                                           \
    } while (false)

// Each test gets its own log file; the log goes back to "no file" afterwards.
class LogFile : public testing::Test {
protected:
    void SetUp() override {
        path_ = folder_.file("Kelvane2.log");
        ASSERT_TRUE(open_log_file(path_, LogOpenMode::truncate));
    }
    void TearDown() override { close_log(); }
    std::vector<std::string> lines() const { return test::split_crlf_lines(test::read_file_bytes(path_)); }

    test::TempFolder folder_;
    std::wstring path_;
};

TEST(LogFormat, FormatsLikePrintf) {
    EXPECT_EQ(format("start: %s on %d monitors", "mirror", 2), "start: mirror on 2 monitors");
    EXPECT_EQ(format("%5.1f|%-4d|%04x|%c|%%|%lu|%lld", 12.345, 7, 255u, 'q', 123456789ul, -5ll),
              " 12.3|7   |00ff|q|%|123456789|-5");
    EXPECT_EQ(format("%*d|%.*s|%zu", 4, 42, 3, "abcdef", static_cast<std::size_t>(99)), "  42|abc|99");
    EXPECT_EQ(format("rot=%.1f ktb=%.3f", -12.25, 0.5), "rot=-12.2 ktb=0.500");
    EXPECT_EQ(format("no arguments"), "no arguments");
    EXPECT_EQ(format("monitor '%s'", "B\xC3\xBChne \xE2\x82\xAC"), "monitor 'B\xC3\xBChne \xE2\x82\xAC'");
}

TEST(LogFormat, FailedCallLineShowsTheCodeAsUnsignedHex) {
    struct Case {
        long hr;
        const char* hex;
    };
    const Case cases[] = {{static_cast<long>(static_cast<std::int32_t>(0x887A0026u)), "887A0026"},
                          {0, "00000000"},
                          {-1, "FFFFFFFF"},
                          {0x1400, "00001400"}};
    for (const Case& c : cases) {
        const test::LogCapture log;
        log_failed_call("AcquireNextFrame", c.hr);
        EXPECT_EQ(log.text(), std::string("AcquireNextFrame failed, hr=0x") + c.hex + "\n");
    }
}

TEST(LogFormat, LineHasTimeStampAndCrLf) {
    EXPECT_EQ(format_log_line({14, 3, 7, 42}, "Kelvane2 starting"), "[14:03:07.042] Kelvane2 starting\r\n");
    EXPECT_EQ(format_log_line({0, 0, 0, 0}, ""), "[00:00:00.000] \r\n");
    EXPECT_EQ(format_log_line({23, 59, 59, 999}, "x"), "[23:59:59.999] x\r\n");
}

TEST(LogFormat, LongMessagesAreCutAt1023Bytes) {
    const std::string long_text(5000, 'x');
    EXPECT_EQ(format("%s", long_text.c_str()), long_text.substr(0, 1023));
    EXPECT_EQ(format("%s", long_text.substr(0, 1023).c_str()).size(), 1023u);
    EXPECT_EQ(format("ab%s", long_text.c_str()).substr(0, 3), "abx");
    EXPECT_EQ(format("%s", long_text.c_str()).size(), 1023u);
}

TEST_F(LogFile, WritesStampedLinesAndDebuggerOutput) {
    DebuggerOutput debugger;
    log_message("Kelvane2 starting");
    log_message("settings: loaded (%s)", "x");
    EXPECT_DEBUGGER_OUTPUT(debugger, "Kelvane2 starting\nsettings: loaded (x)\n");
    const auto written = lines();
    ASSERT_EQ(written.size(), 2u);
    const std::regex stamped(R"(\[\d\d:\d\d:\d\d\.\d\d\d\] (.*))");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(written[0], match, stamped)) << written[0];
    EXPECT_EQ(match[1], "Kelvane2 starting");
    ASSERT_TRUE(std::regex_match(written[1], match, stamped)) << written[1];
    EXPECT_EQ(match[1], "settings: loaded (x)");
    EXPECT_EQ(test::read_file_bytes(path_).back(), '\n');
}

TEST_F(LogFile, CutAppliesToFileAndDebuggerAlike) {
    const std::string long_text(3000, 'y');
    DebuggerOutput debugger;
    log_message("%s", long_text.c_str());
    EXPECT_DEBUGGER_OUTPUT(debugger, long_text.substr(0, 1023) + "\n");
    const auto written = lines();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].substr(15), long_text.substr(0, 1023));
}

// The fake clock of the repeat count.
std::int64_t fake_now_ms = 0;
std::int64_t fake_clock() {
    return fake_now_ms;
}

// Messages of the file without their stamps.
std::vector<std::string> messages_of(const std::vector<std::string>& lines) {
    std::vector<std::string> messages;
    for (const std::string& line : lines) {
        messages.push_back(line.substr(15));
    }
    return messages;
}

TEST_F(LogFile, RepeatedLinesAreCountedNotWritten) {
    fake_now_ms = 0;
    set_log_clock(fake_clock);
    log_message("MagInitialize failed");
    log_message("MagInitialize failed");
    log_message("MagInitialize failed");
    log_message("start: mirroring");
    log_message("start: mirroring");
    // While the repeats go on, their count is written once a minute.
    for (int i = 0; i < 1500; ++i) {
        fake_now_ms += 100;
        log_message("MagInitialize failed");
    }
    fake_now_ms += 100;
    log_message("stop: mirror stopped");
    log_message("stop: mirror stopped");
    close_log();  // a count still open is written at the end
    set_log_clock(nullptr);
    EXPECT_EQ(messages_of(lines()),
              (std::vector<std::string>{"MagInitialize failed", "(previous line repeated 2 times)", "start: mirroring",
                                        "(previous line repeated 1 times)", "MagInitialize failed",
                                        "(previous line repeated 601 times)", "(previous line repeated 601 times)",
                                        "(previous line repeated 297 times)", "stop: mirror stopped",
                                        "(previous line repeated 1 times)"}));
}

TEST_F(LogFile, StopsGrowingAtTheSizeLimit) {
    const std::string text(1000, 'z');
    for (int i = 0; i < 9000; ++i) {
        log_message("%d %s", i, text.c_str());  // every line differs
    }
    const std::string bytes = test::read_file_bytes(path_);
    EXPECT_LE(static_cast<std::int64_t>(bytes.size()), log_size_limit + 64);
    EXPECT_GT(static_cast<std::int64_t>(bytes.size()), log_size_limit - 2048);
    const std::vector<std::string> written = lines();
    EXPECT_EQ(written.back().substr(15), "log: size limit reached");
    EXPECT_EQ(std::count(written.begin(), written.end(), written.back()), 1);
    // Reopened for appending (a second copy), the file counts as full from the start.
    ASSERT_TRUE(open_log_file(path_, LogOpenMode::append));
    log_message("another instance is running; exiting");
    EXPECT_EQ(test::read_file_bytes(path_), bytes);
}

TEST_F(LogFile, TruncateStartsAfreshAndAppendKeepsEarlierLines) {
    log_message("first run");
    ASSERT_TRUE(open_log_file(path_, LogOpenMode::truncate));
    log_message("second run");
    auto written = lines();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_NE(written[0].find("second run"), std::string::npos);

    // A second copy appends through a handle of its own while this one keeps writing: no line of
    // either may land over another.
    {
        std::ofstream other(std::filesystem::path(path_), std::ios::binary | std::ios::app);
        other << "[10:00:00.000] another instance is running; exiting\r\n";
    }
    log_message("still running");
    written = lines();
    ASSERT_EQ(written.size(), 3u);
    EXPECT_NE(written[0].find("second run"), std::string::npos);
    EXPECT_EQ(written[1], "[10:00:00.000] another instance is running; exiting");
    EXPECT_EQ(written[2].substr(15), "still running");

    ASSERT_TRUE(open_log_file(path_, LogOpenMode::append));
    log_message("another instance is running; exiting");
    written = lines();
    ASSERT_EQ(written.size(), 4u);
    EXPECT_NE(written[3].find("another instance"), std::string::npos);
}

TEST_F(LogFile, TwoThreadsWriteWholeLines) {
    constexpr int per_thread = 2000;
    const auto writer = [](char tag) {
        const std::string body(200, tag);
        for (int i = 0; i < per_thread; ++i) {
            log_message("%c%d %s", tag, i, body.c_str());
        }
    };
    DebuggerOutput capture;
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    const std::string debugger = capture.take();

    const auto written = lines();
    ASSERT_EQ(written.size(), 2u * per_thread);
    const std::regex whole(R"(\[\d\d:\d\d:\d\d\.\d\d\d\] ([ab])(\d+) (a{200}|b{200}))");
    int next[2] = {0, 0};
    for (const std::string& line : written) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, whole)) << line;
        const int which = match[1] == "a" ? 0 : 1;
        ASSERT_EQ(match[3].str()[0], match[1].str()[0]) << line;
        // Lines of one thread keep their order.
        ASSERT_EQ(std::stoi(match[2]), next[which]++);
    }
    EXPECT_EQ(next[0], per_thread);
    EXPECT_EQ(next[1], per_thread);

    if constexpr (!DebuggerOutput::visible) {
        return;
    }
    std::istringstream debug_lines(debugger);
    std::string line;
    int count = 0;
    while (std::getline(debug_lines, line)) {
        // tag, 1 to 4 digits, blank, 200 tag characters
        ASSERT_TRUE(line.size() >= 203 && line.size() <= 206) << line;
        ASSERT_EQ(line.substr(line.size() - 200), std::string(200, line[0])) << line;
        ++count;
    }
    EXPECT_EQ(count, 2 * per_thread);
}

TEST(LogWithoutFile, StillReachesTheDebuggerOutput) {
    close_log();
    DebuggerOutput debugger;
    log_message("no file %d", 1);
    EXPECT_DEBUGGER_OUTPUT(debugger, "no file 1\n");
}

#ifndef _WIN32
// Without a data folder there is no log file, and logging still works.
TEST(LogWithoutFile, NoDataFolderMeansNoFile) {
    const char* home = std::getenv("HOME");
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string saved_home = home != nullptr ? home : "";
    const std::string saved_xdg = xdg != nullptr ? xdg : "";
    unsetenv("HOME");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(data_folder().empty());
    open_log();
    DebuggerOutput debugger;
    log_message("debugger only");
    EXPECT_DEBUGGER_OUTPUT(debugger, "debugger only\n");
    if (home != nullptr)
        setenv("HOME", saved_home.c_str(), 1);
    if (xdg != nullptr)
        setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1);
}

TEST(LogWithoutFile, DataFolderIsMadeUnderTheConfigFolder) {
    test::TempFolder base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string saved_xdg = xdg != nullptr ? xdg : "";
    setenv("XDG_CONFIG_HOME", base.path().c_str(), 1);
    const std::wstring folder = data_folder();
    EXPECT_EQ(folder, (base.path() / "Kelvane").wstring());
    EXPECT_TRUE(std::filesystem::is_directory(base.path() / "Kelvane"));
    EXPECT_EQ(log_file_path(folder), (base.path() / "Kelvane" / "Kelvane2.log").wstring());
    if (xdg != nullptr) {
        setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}
#endif

}  // namespace
}  // namespace kelvane
