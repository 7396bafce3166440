// The crash watcher: Kelvane2.exe started again by the running program, with no window, no guard and
// no log of its own. It waits for the program's end or its crash; after a crash it writes the line
// and the minidump from outside, where no lock of the crashed process can stop it, and ends the
// program if it has not ended itself.
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string>

#include "platform/crash_block_win32.h"
#include "platform/crash_handler_win32.h"
#include "platform/log.h"
#include "platform/minidump_win32.h"
#include "platform/unique_handle_win32.h"

namespace kelvane {
namespace {

// The crashed thread's own steps (the cursor, the overlay) go first, unless they block.
constexpr DWORD undo_wait_ms = 200;
// A dump that takes longer is given up (it takes milliseconds): the program must be gone within three
// seconds of its crash.
constexpr DWORD dump_limit_ms = 2000;
// After its dump the program ends itself; should its thread be stuck, the watcher ends it.
constexpr DWORD end_wait_ms = 300;
constexpr int watcher_bad_argument = 1;

HANDLE to_handle(std::uint64_t number) noexcept {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(number));
}

void log_crash_line(const CrashBlock& facts) {
    const void* address = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(facts.address));
    switch (facts.cause) {
        case CrashCause::exception:
            log_message("Kelvane2 crashed: exception 0x%08X at %p", static_cast<unsigned>(facts.code), address);
            break;
        case CrashCause::terminate:
            log_message("Kelvane2 crashed: terminate called (an uncaught C++ exception) at %p", address);
            break;
        case CrashCause::pure_virtual:
            log_message("Kelvane2 crashed: pure virtual call at %p", address);
            break;
        case CrashCause::invalid_parameter:
            log_message("Kelvane2 crashed: invalid parameter to the C runtime at %p", address);
            break;
        case CrashCause::abort:
            log_message("Kelvane2 crashed: abort at %p", address);
            break;
        default:
            log_message("Kelvane2 crashed: cause %u at %p", static_cast<unsigned>(facts.cause), address);
            break;
    }
}

struct DumpJob {
    HANDLE program = nullptr;
    HANDLE file = nullptr;
    DWORD thread_id = 0;
    std::uint64_t pointers = 0;
    DWORD error = ERROR_SUCCESS;  // of a failed write
    bool written = false;
};

DWORD WINAPI write_dump_thread(void* parameter) {
    auto& job = *static_cast<DumpJob*>(parameter);
    job.written = write_minidump(job.program, job.thread_id, job.pointers, job.file, job.error);
    return 0;
}

// The dump, on a thread of its own so that a dump that does not finish in time is given up; the
// program is ended then, which ends the reading too.
void write_dump(const CrashBlock& facts, HANDLE program) {
    if (facts.dump_path[0] == L'\0') {
        return;
    }
    // Outlives this call when the dump is given up.
    static DumpJob job;
    UniqueHandle file(CreateFileW(facts.dump_path, GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        log_failed_call("crash: creating the dump file", HRESULT_FROM_WIN32(GetLastError()));
        return;
    }
    job.program = program;
    job.file = file.get();
    job.thread_id = facts.thread_id;
    job.pointers = facts.pointers;
    const UniqueHandle thread(CreateThread(nullptr, 0, write_dump_thread, &job, 0, nullptr));
    if (!thread) {
        log_failed_call("crash: CreateThread", HRESULT_FROM_WIN32(GetLastError()));
        return;
    }
    if (WaitForSingleObject(thread.get(), dump_limit_ms) != WAIT_OBJECT_0) {
        TerminateProcess(program, facts.code);
        // With nothing left to read the dump gives up, or never does: it is not waited for long, and
        // the file goes with its last handle.
        DeleteFileW(facts.dump_path);
        log_message("crash: the dump took longer than %lu ms; none written", static_cast<unsigned long>(dump_limit_ms));
        if (WaitForSingleObject(thread.get(), end_wait_ms) != WAIT_OBJECT_0) {
            // Its thread may hold locks (the heap's) that an orderly end would wait for.
            close_log();
            TerminateProcess(GetCurrentProcess(), 0);
        }
        return;
    }
    if (!job.written) {
        file.reset();
        DeleteFileW(facts.dump_path);
        log_failed_call("crash: writing the dump", HRESULT_FROM_WIN32(job.error));
    }
}

int watch(HANDLE section) {
    void* view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, sizeof(CrashBlock));
    CloseHandle(section);
    if (view == nullptr) {
        return watcher_bad_argument;
    }
    const auto& block = *static_cast<const CrashBlock*>(view);
    const HANDLE program = to_handle(block.program);
    const HANDLE waits[] = {to_handle(block.crashed_event), program};
    // The program's end, normal or not, ends the watcher too: it never outlives the program.
    if (WaitForMultipleObjects(static_cast<DWORD>(std::size(waits)), waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        return 0;
    }
    WaitForSingleObject(to_handle(block.undone_event), undo_wait_ms);
    const CrashBlock facts = block;
    // Without its file the line still reaches the debugger output.
    if (facts.log_path[0] != L'\0') {
        open_log_file(facts.log_path, LogOpenMode::append);
    }
    log_crash_line(facts);
    write_dump(facts, program);
    close_log();
    SetEvent(to_handle(facts.dumped_event));
    if (WaitForSingleObject(program, end_wait_ms) != WAIT_OBJECT_0) {
        TerminateProcess(program, facts.code);
    }
    return 0;
}

}  // namespace

std::optional<int> run_crash_watcher_if_asked() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) {
        return std::nullopt;
    }
    std::optional<int> code;
    if (count >= 2 && std::wcscmp(arguments[1], crash_watcher_argument) == 0) {
        wchar_t* end = nullptr;
        const unsigned long long section = count == 3 ? std::wcstoull(arguments[2], &end, 10) : 0;
        code =
            end != nullptr && end != arguments[2] && *end == L'\0' ? watch(to_handle(section)) : watcher_bad_argument;
    }
    LocalFree(arguments);
    return code;
}

}  // namespace kelvane
