// The real Kelvane2.exe against what real machines do to it: a second copy writing to the shared log,
// a settings file held by a virus scanner or a backup at start, a guard that an elevated copy holds,
// and a restarted Explorer that kept the tray icon.
#include <windows.h>
#include <aclapi.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/notices.h"
#include "platform/log.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

#include "kelvane_process.h"

namespace kelvane {
namespace {

using namespace test;  // NOLINT(google-build-using-namespace): the e2e helpers

const std::string user_settings = "# Kelvane2 settings\r\nkeystone_tb=0.25\r\nrotation=7\r\n";

class RealFiles : public testing::Test {
protected:
    void SetUp() override {
        folder_ = data_folder();
        ASSERT_FALSE(folder_.empty());
        DeleteFileW(settings_file().c_str());
        DeleteFileW(log_file().c_str());
    }
    std::wstring settings_file() const { return folder_ + L"\\settings.ini"; }
    std::wstring log_file() const { return folder_ + L"\\Kelvane2.log"; }
    std::string settings_text() const { return read_file_bytes(std::filesystem::path(settings_file())); }
    std::vector<std::string> messages() const { return log_messages(log_file()); }
    bool logged(const std::string& message) const {
        const auto all = messages();
        return std::find(all.begin(), all.end(), message) != all.end();
    }
    std::wstring folder_;
};

TEST_F(RealFiles, TwoCopiesShareOneLogAndEveryLineSurvivesWhole) {
    const KelvaneProcess first(L"--inactive");
    const HWND control = first.control_window();
    ASSERT_NE(control, nullptr);
    {
        const KelvaneProcess second(L"--inactive");
        EXPECT_EQ(second.wait_exit(), exit_already_running);
    }
    // The running copy writes on after the second one's line: a toggle on and off logs.
    PostMessageW(control, WM_COMMAND, 100, 0);
    PostMessageW(control, WM_COMMAND, 100, 0);
    PostMessageW(control, WM_COMMAND, exit_command, 0);
    EXPECT_EQ(first.wait_exit(), exit_ok);

    const std::vector<std::string> lines = split_crlf_lines(read_file_bytes(std::filesystem::path(log_file())));
    const std::regex stamped(R"(\[\d\d:\d\d:\d\d\.\d\d\d\] [a-zA-Z].*)");
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, stamped)) << line;
    }
    const auto all = messages();
    EXPECT_EQ(std::count(all.begin(), all.end(), "another instance is running; exiting"), 1);
    EXPECT_EQ(std::count(all.begin(), all.end(), "Kelvane2 starting"), 1);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), "Kelvane2 exiting (0)");
    EXPECT_GT(lines.size(), 4u);
}

// Holds `path` open with no sharing at all, as a virus scanner or a backup may, until `release_when`
// is true (or the run's time is up).
std::thread hold_without_sharing(const std::wstring& path, std::function<bool()> release_when) {
    const HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(lock, INVALID_HANDLE_VALUE);
    return std::thread([lock, release_when = std::move(release_when)] {
        wait_until(release_when, run_timeout_ms);
        CloseHandle(lock);
    });
}

TEST_F(RealFiles, SettingsHeldAtStartAreReadAfterABriefLockAndNeverOverwrittenAfterALongOne) {
    const std::string given_up = "settings: cannot read the file (err=32); using defaults, not saving over it this run";
    for (const bool brief : {true, false}) {
        SCOPED_TRACE(brief ? "brief lock" : "long lock");
        DeleteFileW(log_file().c_str());
        write_file_bytes(std::filesystem::path(settings_file()), user_settings);
        // A brief lock ends once the program has started: its first reads may meet it, and the retries
        // (about a second) outlast the test's reaction. A long one lasts until the program gave up.
        std::thread holder =
            hold_without_sharing(settings_file(), [&] { return logged(brief ? "Kelvane2 starting" : given_up); });
        const KelvaneProcess process(L"--inactive");
        const HWND control = process.control_window();
        holder.join();
        ASSERT_NE(control, nullptr);
        // Toggles and menu changes, each of which saves, then Exit, which saves again.
        for (const WPARAM command : {101, 106, 100, 100, 103}) {
            PostMessageW(control, WM_COMMAND, command, 0);
        }
        PostMessageW(control, WM_COMMAND, exit_command, 0);
        EXPECT_EQ(process.wait_exit(), exit_ok);
        if (brief) {
            EXPECT_TRUE(
                logged("settings: loaded (monitor='' active=1 mirrorH=1 mirrorV=0 ktb=0.250 klr=0.000 rot=7.0)"));
            EXPECT_NE(settings_text().find("mirror_v=1\r\n"), std::string::npos);
        } else {
            EXPECT_TRUE(logged(given_up));
            EXPECT_EQ(settings_text(), user_settings);
        }
        EXPECT_FALSE(logged("settings: no file yet (first run), using defaults"));
        // The user is told once, and only about a file that could not be read.
        const std::vector<std::string> lines = messages();
        EXPECT_EQ(
            std::count(lines.begin(), lines.end(), std::string("notify: ") + notice_text(Notice::settings_unreadable)),
            brief ? 0 : 1);
    }
}

TEST_F(RealFiles, GuardThatThisUserMayNotOpenMeansAnotherCopyRuns) {
    // An elevated copy's guard: a mutex whose empty access list lets nobody else open it.
    SECURITY_DESCRIPTOR descriptor{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ACL empty{};
    ASSERT_TRUE(InitializeAcl(&empty, sizeof empty, ACL_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, &empty, FALSE));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    const HANDLE guard = CreateMutexW(&attributes, TRUE, L"Kelvane2SingleInstance");
    ASSERT_NE(guard, nullptr);
    ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "an earlier run's guard is still held";
    // What a second opening meets: access denied where access lists are enforced, otherwise the
    // guard as it is. Either way the copy must see another one running.
    SetLastError(ERROR_SUCCESS);
    const HANDLE probe = CreateMutexW(nullptr, TRUE, L"Kelvane2SingleInstance");
    const DWORD seen = GetLastError();
    if (probe != nullptr) {
        CloseHandle(probe);
    }
    EXPECT_TRUE(seen == ERROR_ACCESS_DENIED || seen == ERROR_ALREADY_EXISTS) << seen;

    const KelvaneProcess process(L"--inactive");
    EXPECT_EQ(process.wait_exit(), exit_already_running) << "the guard answered " << seen;
    CloseHandle(guard);
    EXPECT_EQ(messages(), std::vector<std::string>{"another instance is running; exiting"});
    EXPECT_EQ(GetFileAttributesW(settings_file().c_str()), INVALID_FILE_ATTRIBUTES);
}

// The icon as the shell knows it: NIM_MODIFY succeeds for an icon that is there, from any process.
bool tray_has_icon(HWND owner) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = 1;
    data.uFlags = NIF_TIP;
    wcscpy_s(data.szTip, L"Kelvane2 - teleprompter mirror (Ctrl+Alt+M)");
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

TEST_F(RealFiles, TaskbarCreatedLeavesOneAnsweringIconThatGoesAtExit) {
    const KelvaneProcess process(L"--inactive --pattern");
    const HWND control = process.control_window();
    ASSERT_NE(control, nullptr);
    const auto count = [this](const std::string& line) {
        const auto all = messages();
        return std::count(all.begin(), all.end(), line);
    };
    EXPECT_TRUE(wait_until([&] { return tray_has_icon(control); }));
    EXPECT_EQ(count("tray: NIM_ADD failed"), 0);
    // Broadcast as Explorer does after a restart. A taskbar that kept the icon (Wine's does) refuses
    // a second NIM_ADD: the icon it has is updated instead; a new taskbar takes it silently.
    PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    // Still answering: the tray's mouse message, queued behind the broadcast, reaches the program,
    // which toggles the mirror; the broadcast has been handled by then.
    PostMessageW(control, WM_APP + 1, 1, WM_LBUTTONDBLCLK);  // the tray callback
    EXPECT_TRUE(wait_until(overlay_exists));
    EXPECT_LE(count("tray: icon still there after TaskbarCreated, updated it"), 1);
    EXPECT_EQ(count("tray: NIM_ADD failed"), 0);
    EXPECT_TRUE(tray_has_icon(control));
    PostMessageW(control, WM_COMMAND, exit_command, 0);
    EXPECT_EQ(process.wait_exit(), exit_ok);
    EXPECT_FALSE(tray_has_icon(control));
    EXPECT_EQ(count("tray: NIM_DELETE failed"), 0);
}

}  // namespace
}  // namespace kelvane
