// The crash handlers in a process of their own (the victim) that crashes in each way the program can:
// the process ends within the bound with the crash's code, its log ends with the crash line, a minidump
// lies beside the log, and its watcher is gone with it. A normal end leaves neither line nor dump nor
// watcher.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <filesystem>
#include <string>

#include "platform/crash_block_win32.h"
#include "platform/crash_handler_win32.h"
#include "support/child_processes_win32.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace kelvane {
namespace {

// A crash ends within the dump's wait and the watcher's bounds; measured well under a second here.
constexpr ULONGLONG crash_end_limit_ms = 3000;
constexpr DWORD hang_limit_ms = 60000;

struct Victim {
    DWORD code = 0;
    ULONGLONG elapsed_ms = 0;
    DWORD id = 0;
};

Victim run_victim(const test::TempFolder& folder, const std::wstring& mode, const std::wstring& event_name = {}) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = self;
    command = L"\"" + command.substr(0, command.find_last_of(L'\\') + 1) + L"kelvane_crash_victim.exe\" \"" +
              folder.path().wstring() + L"\" " + mode + (event_name.empty() ? L"" : L" " + event_name);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    Victim victim;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process) ==
        0) {
        ADD_FAILURE() << "CreateProcessW failed, error " << GetLastError();
        return victim;
    }
    const ULONGLONG start = GetTickCount64();
    const DWORD waited = WaitForSingleObject(process.hProcess, hang_limit_ms);
    victim.elapsed_ms = GetTickCount64() - start;
    victim.id = process.dwProcessId;
    GetExitCodeProcess(process.hProcess, &victim.code);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        ADD_FAILURE() << "the victim did not end";
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return victim;
}

// Windows' msvcrt.dll lets the handler be set and calls it; Wine's offers no way to set it, and its
// check returns instead, so that the victim goes on to its access violation.
bool runtime_takes_invalid_parameter_handler() {
#if defined(__MINGW32__) && !defined(_UCRT)
    const HMODULE runtime = GetModuleHandleW(L"msvcrt.dll");
    return runtime != nullptr && GetProcAddress(runtime, "_set_invalid_parameter_handler") != nullptr;
#else
    return true;
#endif
}

TEST(CrashHandler, EveryKindOfCrashEndsTheProcessWithALineAndADumpAndNoWatcherLeft) {
    struct Case {
        const wchar_t* mode;
        DWORD code;  // 0: a normal end, neither line nor dump
        const char* line;
    };
    constexpr DWORD violation = EXCEPTION_ACCESS_VIOLATION;
    const bool invalid_parameter_handled = runtime_takes_invalid_parameter_handler();
    const Case cases[] = {
        {L"access_violation", violation, "Kelvane2 crashed: exception 0xC0000005 at "},
        // Opening a file, formatting a line or loading a library would wait for that lock forever.
        {L"heap_locked", violation, "Kelvane2 crashed: exception 0xC0000005 at "},
        {L"uncaught_on_thread", crash_code_terminate,
         "Kelvane2 crashed: terminate called (an uncaught C++ exception) at "},
        {L"pure_virtual", crash_code_pure_virtual, "Kelvane2 crashed: pure virtual call at "},
        {L"invalid_parameter", invalid_parameter_handled ? crash_code_invalid_parameter : violation,
         invalid_parameter_handled ? "Kelvane2 crashed: invalid parameter to the C runtime at "
                                   : "Kelvane2 crashed: exception 0xC0000005 at "},
        {L"exit", 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.mode, c.mode + std::wcslen(c.mode)));
        const test::TempFolder folder;
        const Victim victim = run_victim(folder, c.mode);
        EXPECT_EQ(victim.code, c.code);
        EXPECT_LT(victim.elapsed_ms, crash_end_limit_ms);
        const auto lines = test::split_crlf_lines(test::read_file_bytes(folder.path() / "Kelvane2.log"));
        ASSERT_EQ(lines.size(), c.line != nullptr ? 2u : 1u);
        EXPECT_EQ(lines[0].substr(15), "victim: started");
        const std::uintmax_t dump = std::filesystem::exists(folder.path() / crash_dump_name)
                                        ? std::filesystem::file_size(folder.path() / crash_dump_name)
                                        : 0;
        if (c.line != nullptr) {
            const std::string crash = lines[1].substr(15);
            EXPECT_EQ(crash.rfind(c.line, 0), 0u) << crash;
            EXPECT_GT(crash.size(), std::string(c.line).size()) << crash;
            EXPECT_GT(dump, 0u);
        } else {
            EXPECT_EQ(dump, 0u);
        }
        // The watcher waits on the program: it goes within moments of the program's end.
        const ULONGLONG deadline = GetTickCount64() + hang_limit_ms;
        while (!test::children_of(victim.id).empty() && GetTickCount64() < deadline) {
            Sleep(20);
        }
        EXPECT_TRUE(test::children_of(victim.id).empty()) << "the watcher outlived its program";
    }
}

TEST(CrashHandler, ShowsTheSystemCursorAgainOnlyWhenTheProgramHadHiddenIt) {
    for (const bool hidden : {true, false}) {
        SCOPED_TRACE(hidden ? "hidden at the crash" : "shown again before the crash");
        const test::TempFolder folder;
        const std::wstring name = L"Kelvane2CrashTestCursor" + std::to_wstring(GetCurrentProcessId());
        const HANDLE shown = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
        ASSERT_NE(shown, nullptr);
        const Victim victim = run_victim(folder, hidden ? L"cursor_hidden" : L"cursor_shown_again", name);
        EXPECT_EQ(victim.code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
        EXPECT_EQ(WaitForSingleObject(shown, 0) == WAIT_OBJECT_0, hidden);
        CloseHandle(shown);
    }
}

}  // namespace
}  // namespace kelvane
