// Black-box runs of the real Kelvane2.exe: exit codes, the log, the settings file, the
// single-instance guard and the command-line overrides.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/log.h"
#include "settings/settings.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace kelvane {
namespace {

constexpr DWORD run_timeout_ms = 60000;
constexpr int exit_ok = 0;
constexpr int exit_already_running = 2;

std::wstring executable_path() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"Kelvane2.exe";
}

// Runs Kelvane2.exe with `arguments` and returns its exit code, or -1 when it could not be run or
// did not end in time.
int run_kelvane(const std::wstring& arguments) {
    std::wstring command = L"\"" + executable_path() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "CreateProcessW failed, error " << GetLastError();
        return -1;
    }
    CloseHandle(process.hThread);
    int code = -1;
    if (WaitForSingleObject(process.hProcess, run_timeout_ms) == WAIT_OBJECT_0) {
        DWORD exit_code = 0;
        GetExitCodeProcess(process.hProcess, &exit_code);
        code = static_cast<int>(exit_code);
    } else {
        ADD_FAILURE() << "Kelvane2.exe did not end within " << run_timeout_ms << " ms";
        TerminateProcess(process.hProcess, 99);
    }
    CloseHandle(process.hProcess);
    return code;
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
    // The log's messages without their time stamps.
    std::vector<std::string> log_messages() const {
        std::vector<std::string> messages;
        for (const std::string& line : log_lines()) {
            messages.push_back(line.size() > 15 && line[0] == '[' ? line.substr(15) : line);
        }
        return messages;
    }

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
    expected.mirror_v = true;
    expected.keystone_tb = 0.25f;
    expected.rotation = -180.0f;  // clamped when read, saved clamped
    EXPECT_EQ(saved_settings(), expected);
    EXPECT_EQ(settings_text(), format_settings_text(expected));
    const auto messages = log_messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "settings: loaded (monitor='\\\\.\\DISPLAY2' active=1 mirrorH=1 mirrorV=1 ktb=0.250 "
                        "klr=0.000 rot=-180.0)"),
              messages.end());
}

TEST_F(Startup, MonitorArgumentIsResolvedAndSaved) {
    write_settings("monitor=\\\\.\\DISPLAY1\r\n");
    ASSERT_EQ(run_kelvane(L"--monitor 2"), exit_ok);
    EXPECT_EQ(saved_settings().monitor, L"\\\\.\\DISPLAY2");
    ASSERT_EQ(run_kelvane(L"-m display1"), exit_ok);
    EXPECT_EQ(saved_settings().monitor, L"\\\\.\\DISPLAY1");

    ASSERT_EQ(run_kelvane(L"--monitor nomatch"), exit_ok);
    EXPECT_EQ(saved_settings().monitor, L"\\\\.\\DISPLAY1");
    const auto messages = log_messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(), "monitor arg 'nomatch' did not match anything; ignoring"),
              messages.end());
}

}  // namespace
}  // namespace kelvane
