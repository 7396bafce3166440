// The crash handler in a process of its own that raises an access violation: the process ends with the
// exception's code, its log ends with the crash line, and a minidump lies beside the log.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/crash_handler_win32.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace kelvane {
namespace {

TEST(CrashHandler, AnAccessViolationLeavesALogLineAndADumpAndEndsTheProcess) {
    const test::TempFolder folder;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = self;
    command = L"\"" + command.substr(0, command.find_last_of(L'\\') + 1) + L"kelvane_crash_victim.exe\" \"" +
              folder.path().wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    const DWORD waited = WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the crashed process did not end";
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));

    const auto lines = test::split_crlf_lines(test::read_file_bytes(folder.path() / "Kelvane2.log"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(15), "victim: crashing");
    const std::string crash = lines[1].substr(15);
    EXPECT_EQ(crash.rfind("Kelvane2 crashed: exception 0xC0000005 at ", 0), 0u) << crash;
    EXPECT_GT(crash.size(), std::string("Kelvane2 crashed: exception 0xC0000005 at ").size()) << crash;
    EXPECT_GT(test::read_file_bytes(folder.path() / crash_dump_name).size(), 0u);
}

}  // namespace
}  // namespace kelvane
