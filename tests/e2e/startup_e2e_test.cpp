// Black-box runs of the real Kelvane2.exe: exit codes, the log, the settings file, the
// single-instance guard and the command-line overrides.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/controller.h"
#include "platform/log.h"
#include "settings/settings.h"
#include "support/log_capture.h"
#include "support/screens_win32.h"
#include "support/temp_folder.h"

#include "kelvane_process.h"

namespace kelvane {
namespace {

using namespace test;  // NOLINT(google-build-using-namespace): the e2e helpers

constexpr UINT tray_message = WM_APP + 1;

// Runs Kelvane2.exe with `arguments`, chooses Exit as the tray menu would once its control window
// is up, and returns its exit code (-1 when it could not be run or did not end in time).
int run_kelvane(const std::wstring& arguments) {
    const KelvaneProcess process(arguments);
    const HWND control = process.control_window();
    if (control == nullptr) {
        return process.wait_exit();
    }
    PostMessageW(control, WM_COMMAND, exit_command, 0);
    return process.wait_exit();
}

// Takes the single-instance guard, standing in for a running instance. Under Wine the guard of a
// run that has just ended can outlive its process by a moment, so this waits for it to go.
HANDLE hold_guard() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        SetLastError(ERROR_SUCCESS);
        const HANDLE guard = CreateMutexW(nullptr, TRUE, L"Kelvane2SingleInstance");
        if (guard != nullptr && GetLastError() != ERROR_ALREADY_EXISTS) {
            return guard;
        }
        if (guard != nullptr) {
            CloseHandle(guard);
        }
        Sleep(50);
    }
    ADD_FAILURE() << "the single-instance guard is still held by someone else";
    return nullptr;
}

// Every test starts from an empty data folder: no log, no settings.
class Startup : public testing::Test {
protected:
    void SetUp() override {
        folder_ = data_folder();
        ASSERT_FALSE(folder_.empty());
        DeleteFileW(settings_file().c_str());
        DeleteFileW((settings_file() + L".tmp").c_str());
        DeleteFileW(log_file().c_str());
    }

    std::wstring settings_file() const { return folder_ + L"\\settings.ini"; }
    std::wstring log_file() const { return folder_ + L"\\Kelvane2.log"; }
    bool settings_exist() const { return GetFileAttributesW(settings_file().c_str()) != INVALID_FILE_ATTRIBUTES; }
    std::string settings_text() const { return test::read_file_bytes(std::filesystem::path(settings_file())); }
    void write_settings(const std::string& text) const {
        test::write_file_bytes(std::filesystem::path(settings_file()), text);
    }
    Settings saved_settings() const {
        Settings settings;
        apply_settings_text(settings_text(), settings);
        return settings;
    }
    std::vector<std::string> log_lines() const {
        return test::split_crlf_lines(test::read_file_bytes(std::filesystem::path(log_file())));
    }
    std::vector<std::string> log_messages() const { return test::log_messages(log_file()); }

    std::wstring folder_;
};

TEST_F(Startup, NormalRunEndsWithCodeZeroAndWritesTheSettings) {
    ASSERT_EQ(run_kelvane(L""), exit_ok);
    const auto messages = log_messages();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages.front(), "Kelvane2 starting");
    EXPECT_EQ(messages[1], "settings: no file yet (first run), using defaults");
    EXPECT_EQ(messages.back(), "Kelvane2 exiting (0)");
    EXPECT_EQ(settings_text(), format_settings_text(Settings{}));
    EXPECT_EQ(settings_text().find("\r\n"), std::string("# Kelvane2 settings").size());
}

TEST_F(Startup, EachRunStartsAFreshLog) {
    ASSERT_EQ(run_kelvane(L""), exit_ok);
    ASSERT_EQ(run_kelvane(L""), exit_ok);
    const auto messages = log_messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Kelvane2 starting"), 1);
    EXPECT_EQ(messages.front(), "Kelvane2 starting");
}

TEST_F(Startup, SecondInstanceAppendsItsLineAndLeavesEverythingElse) {
    const std::string earlier = "[10:00:00.000] Kelvane2 starting\r\n[10:00:00.100] settings: loaded\r\n";
    test::write_file_bytes(std::filesystem::path(log_file()), earlier);
    const std::string settings = "# Kelvane2 settings\r\nactive=0\r\nrotation=7\r\n";
    write_settings(settings);

    // This test stands in for the running instance.
    const HANDLE guard = hold_guard();
    ASSERT_NE(guard, nullptr);
    const int code = run_kelvane(L"--active");
    ReleaseMutex(guard);
    CloseHandle(guard);

    EXPECT_EQ(code, exit_already_running);
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "[10:00:00.000] Kelvane2 starting");
    EXPECT_EQ(lines[1], "[10:00:00.100] settings: loaded");
    EXPECT_EQ(log_messages()[2], "another instance is running; exiting");
    EXPECT_EQ(settings_text(), settings);  // neither read into a save nor rewritten
}

TEST_F(Startup, SecondInstanceWithoutAnyFilesCreatesNoSettings) {
    const HANDLE guard = hold_guard();
    ASSERT_NE(guard, nullptr);
    const int code = run_kelvane(L"");
    CloseHandle(guard);
    EXPECT_EQ(code, exit_already_running);
    EXPECT_FALSE(settings_exist());
    EXPECT_EQ(log_messages(), std::vector<std::string>{"another instance is running; exiting"});
}

TEST_F(Startup, GuardIsFreeAgainAfterARun) {
    ASSERT_EQ(run_kelvane(L""), exit_ok);
    ASSERT_EQ(run_kelvane(L""), exit_ok);
    const HANDLE guard = hold_guard();
    EXPECT_NE(guard, nullptr);
    CloseHandle(guard);
}

TEST_F(Startup, ActiveOverridesAreSavedOnTheRecord) {
    struct Case {
        const char* saved;
        const wchar_t* arguments;
        bool active;
    };
    const Case cases[] = {
        {"active=1\r\n", L"--inactive", false},
        {"active=0\r\n", L"--active", true},
        {"active=0\r\n", L"--active --inactive", true},
        {"active=0\r\n", L"--inactive --active", true},
        {"active=0\r\n", L"--Active -a --active=1", false},
        {"active=1\r\n", L"", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.arguments)));
        write_settings(c.saved);
        ASSERT_EQ(run_kelvane(c.arguments), exit_ok);
        EXPECT_EQ(saved_settings().active, c.active);
    }
}

TEST_F(Startup, SavedValuesSurviveARunWithAnEmptyMonitorArgument) {
    write_settings("monitor=\\\\.\\DISPLAY2\r\nmirror_v=1\r\nkeystone_tb=0.25\r\nrotation=-720\r\nunknown=1\r\n");
    ASSERT_EQ(run_kelvane(L"--monitor \"\" --monitor=DISPLAY1"), exit_ok);
    Settings expected;
    expected.monitor = L"\\\\.\\DISPLAY2";
    expected.warp.mirror_v = true;
    expected.warp.keystone_tb = 0.25f;
    expected.warp.rotation = -180.0f;  // clamped when read, saved clamped
    EXPECT_EQ(saved_settings(), expected);
    EXPECT_EQ(settings_text(), format_settings_text(expected));
    const auto messages = log_messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "settings: loaded (monitor='\\\\.\\DISPLAY2' active=1 mirrorH=1 mirrorV=1 ktb=0.250 "
                        "klr=0.000 rot=-180.0)"),
              messages.end());
}

TEST_F(Startup, InactiveStartsWithoutOverlayAndActiveWins) {
    write_settings("active=1\r\n");
    {
        const KelvaneProcess process(L"--inactive --pattern");
        const HWND control = process.control_window();
        ASSERT_NE(control, nullptr);
        // The start-up is over once the message loop takes a posted message: a display change it logs.
        PostMessageW(control, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080));
        EXPECT_TRUE(wait_until([&] {
            const auto messages = log_messages();
            return std::find(messages.begin(), messages.end(), "display change detected") != messages.end();
        }));
        for (const std::string& message : log_messages()) {
            EXPECT_NE(message.rfind("start:", 0), 0u) << message;
        }
        EXPECT_FALSE(overlay_exists());
        PostMessageW(control, WM_COMMAND, exit_command, 0);
        EXPECT_EQ(process.wait_exit(), exit_ok);
    }
    EXPECT_FALSE(saved_settings().active);
    {
        const KelvaneProcess process(L"--active --inactive --pattern");
        const HWND control = process.control_window();
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(wait_until(overlay_exists));
        PostMessageW(control, WM_COMMAND, exit_command, 0);
        EXPECT_EQ(process.wait_exit(), exit_ok);
        EXPECT_FALSE(overlay_exists());
    }
    EXPECT_TRUE(saved_settings().active);
}

TEST_F(Startup, DisplayChangeRestartsARunningMirrorAndOnlyLogsOtherwise) {
    const KelvaneProcess process(L"--pattern --inactive");
    const HWND control = process.control_window();
    ASSERT_NE(control, nullptr);
    const auto count = [this](const std::string& line) {
        const auto messages = log_messages();
        return std::count(messages.begin(), messages.end(), line);
    };
    PostMessageW(control, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080));
    EXPECT_TRUE(wait_until([&] { return count("display change detected") == 1; }));
    EXPECT_EQ(count("stop: mirror stopped"), 0);

    PostMessageW(control, tray_message, 1, WM_LBUTTONDBLCLK);  // mirror on
    ASSERT_TRUE(wait_until(overlay_exists));
    const HWND first_overlay = FindWindowW(L"Kelvane2Overlay", nullptr);
    // A burst of ten (a monitor waking, a dock) restarts the mirror once, after it has settled.
    for (int i = 0; i < 10; ++i) {
        PostMessageW(control, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080));
    }
    // On the automatic choice (DISPLAY2, 1280x1024 at the origin under Wine).
    const std::vector<test::Screen> screens = test::screens();
    ASSERT_FALSE(screens.empty());
    const std::string overlay_line = test::overlay_line(screens[test::auto_screen(screens)]);
    EXPECT_TRUE(wait_until([&] { return count(overlay_line) == 2; }));
    // A second restart of the same burst would come within one more quiet time.
    Sleep(3 * display_settle_ms);
    EXPECT_EQ(count("stop: mirror stopped"), 1);
    EXPECT_EQ(count("display change detected"), 2);  // the repeats of the burst are counted, not written
    EXPECT_EQ(count("(previous line repeated 9 times)"), 1);
    const HWND second_overlay = FindWindowW(L"Kelvane2Overlay", nullptr);
    EXPECT_NE(second_overlay, nullptr);
    EXPECT_NE(second_overlay, first_overlay);
    // The restart keeps the choice: the settings still say the mirror is on.
    PostMessageW(control, WM_COMMAND, exit_command, 0);
    EXPECT_EQ(process.wait_exit(), exit_ok);
    EXPECT_TRUE(saved_settings().active);
}

TEST_F(Startup, MonitorArgumentIsResolvedAndSaved) {
    // \\.\DISPLAY1 and \\.\DISPLAY2 under Wine.
    const std::vector<test::Screen> screens = test::screens();
    if (screens.size() < 2) {
        GTEST_SKIP() << "needs two monitors";
    }
    std::wstring first_lower = screens[0].name.substr(screens[0].name.rfind(L'\\') + 1);
    std::transform(first_lower.begin(), first_lower.end(), first_lower.begin(),
                   [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; });
    write_settings("monitor=" + test::narrow(screens[0].name) + "\r\n");
    ASSERT_EQ(run_kelvane(L"--monitor 2"), exit_ok);
    EXPECT_EQ(saved_settings().monitor, screens[1].name);
    ASSERT_EQ(run_kelvane(L"-m " + first_lower), exit_ok);
    EXPECT_EQ(saved_settings().monitor, screens[0].name);

    ASSERT_EQ(run_kelvane(L"--monitor nomatch"), exit_ok);
    EXPECT_EQ(saved_settings().monitor, screens[0].name);
    const auto messages = log_messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(), "monitor arg 'nomatch' did not match anything; ignoring"),
              messages.end());
}

}  // namespace
}  // namespace kelvane
