// The real Kelvane2.exe crashing on its session thread, alone and while another of its threads holds
// the process heap's lock: it ends within the bound with its overlay gone, the crash line in its log
// and a minidump beside it. Its crash watcher comes with it, shows no window, and goes with it; a
// second copy that is refused starts none.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "duplication/crash_request_win32.h"
#include "duplication/script_files_win32.h"
#include "kelvane_process.h"
#include "platform/crash_handler_win32.h"
#include "platform/log.h"
#include "support/child_processes_win32.h"
#include "support/screens_win32.h"

namespace kelvane {
namespace {

using namespace test;  // NOLINT(google-build-using-namespace): the e2e helpers

// What a crash may take to the process's end: the dump's wait and the watcher's bounds.
constexpr ULONGLONG crash_end_limit_ms = 3000;
constexpr DWORD watcher_end_limit_ms = 10000;

DWORD process_of(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    return id;
}

// The one watcher of the program that owns `control`, opened for waiting on its end; null when there
// is not exactly one.
HANDLE open_watcher(HWND control) {
    const std::vector<DWORD> children = children_of(process_of(control));
    EXPECT_EQ(children.size(), 1u) << "the program should have started exactly its watcher";
    return children.size() == 1 ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, children[0])
                                : nullptr;
}

bool has_windows(DWORD process) {
    struct Search {
        DWORD process;
        bool found;
    } search{process, false};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(parameter);
            s.found = s.found || process_of(window) == s.process;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST(CrashE2e, ACrashOnTheSessionThreadEndsTheProgramWithItsOverlayGoneALineAndADump) {
    const std::wstring data = data_folder();
    const std::wstring log_file = log_file_path(data);
    const std::wstring dump_file = data + L"\\" + crash_dump_name;
    Screen monitor;
    for (const Screen& screen : screens()) {
        monitor = screen.primary ? screen : monitor;
    }
    Image desktop(monitor.rect.right - monitor.rect.left, monitor.rect.bottom - monitor.rect.top);
    desktop.pixels = paint_test_desktop(desktop.width, desktop.height);
    for (const bool heap_locked : {false, true}) {
        SCOPED_TRACE(heap_locked ? "with the heap's lock held by another thread" : "alone");
        DeleteFileW(log_file.c_str());
        DeleteFileW(dump_file.c_str());
        const TempFolder folder;
        ScriptWriter writer(folder.path().wstring());
        write_file_bytes(std::filesystem::path(data + L"\\settings.ini"), "active=1\r\n");
        SetEnvironmentVariableW(scripted_duplication_variable, writer.folder().c_str());
        writer.set_desktop(desktop);
        const KelvaneProcess process(L"--no-exclude --monitor \"" + monitor.name + L"\"");
        SetEnvironmentVariableW(scripted_duplication_variable, nullptr);
        const HWND control = process.control_window();
        ASSERT_NE(control, nullptr);
        const HANDLE watcher = open_watcher(control);
        ASSERT_TRUE(install_duplication_hook(control, writer, 20000)) << "the duplication hook did not report";
        ASSERT_TRUE(wait_until([] { return IsWindowVisible(FindWindowW(L"Kelvane2Overlay", nullptr)) != FALSE; }))
            << "the mirror never showed";

        const HANDLE crashing = request_crash(writer.folder(), heap_locked);
        ASSERT_NE(crashing, nullptr);
        EXPECT_EQ(WaitForSingleObject(crashing, run_timeout_ms), WAIT_OBJECT_0) << "the session thread never crashed";
        CloseHandle(crashing);
        const ULONGLONG crashed_at = GetTickCount64();
        const int code = process.wait_exit();
        const ULONGLONG ended_after = GetTickCount64() - crashed_at;
        EXPECT_EQ(code, static_cast<int>(EXCEPTION_ACCESS_VIOLATION));
        EXPECT_LT(ended_after, crash_end_limit_ms);
        EXPECT_FALSE(overlay_exists());
        EXPECT_EQ(heap_was_locked(writer.folder()), heap_locked);
        const std::vector<std::string> lines = log_messages(log_file);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("Kelvane2 crashed: exception 0xC0000005 at ", 0), 0u) << lines.back();
        std::error_code error;
        EXPECT_GT(std::filesystem::file_size(std::filesystem::path(dump_file), error), 0u) << error.message();
        EXPECT_EQ(WaitForSingleObject(watcher, watcher_end_limit_ms), WAIT_OBJECT_0) << "the watcher stayed";
        CloseHandle(watcher);
    }
}

TEST(CrashE2e, TheWatcherShowsNoWindowAndEndsWithTheProgramAndARefusedSecondCopyStartsNone) {
    const std::wstring data = data_folder();
    write_file_bytes(std::filesystem::path(data + L"\\settings.ini"), "active=0\r\n");
    const KelvaneProcess first(L"");
    const HWND control = first.control_window();
    ASSERT_NE(control, nullptr);
    const HANDLE watcher = open_watcher(control);
    ASSERT_NE(watcher, nullptr);
    EXPECT_FALSE(has_windows(GetProcessId(watcher)));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION second{};
    std::wstring command = L"\"" + executable_path() + L"\"";
    ASSERT_TRUE(
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &second));
    EXPECT_EQ(WaitForSingleObject(second.hProcess, run_timeout_ms), WAIT_OBJECT_0);
    DWORD second_code = 0;
    GetExitCodeProcess(second.hProcess, &second_code);
    EXPECT_EQ(second_code, static_cast<DWORD>(exit_already_running));
    EXPECT_TRUE(children_of(second.dwProcessId).empty());
    CloseHandle(second.hThread);
    CloseHandle(second.hProcess);

    PostMessageW(control, WM_COMMAND, exit_command, 0);
    EXPECT_EQ(first.wait_exit(), exit_ok);
    EXPECT_EQ(WaitForSingleObject(watcher, watcher_end_limit_ms), WAIT_OBJECT_0) << "the watcher outlived the program";
    CloseHandle(watcher);
}

}  // namespace
}  // namespace kelvane
