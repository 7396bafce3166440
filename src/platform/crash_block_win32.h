// The page that the program and its crash watcher share: what the watcher needs to write the log line
// and the dump of a crashed program, filled at start-up except for the crash's own facts, which the
// crashing thread stores with plain writes before it wakes the watcher.
#pragma once

#include <windows.h>

#include <cstdint>

namespace kelvane {

// The command-line word that starts Kelvane2.exe as the watcher; the page's handle follows it.
inline constexpr wchar_t crash_watcher_argument[] = L"--crash-watcher";

// What ended the program; the log line names it.
enum class CrashCause : std::uint32_t {
    exception,          // a structured exception (access violation and the like), its code in `code`
    terminate,          // std::terminate: an uncaught C++ exception
    pure_virtual,       // a pure virtual call
    invalid_parameter,  // the C runtime's invalid parameter handler
    abort,              // abort(), through SIGABRT
};

// Exit codes of a program ended by a crash that is not a structured exception (those keep their code).
inline constexpr DWORD crash_code_terminate = 0xE04B0001;
inline constexpr DWORD crash_code_pure_virtual = 0xE04B0002;
inline constexpr DWORD crash_code_invalid_parameter = 0xE04B0003;
inline constexpr DWORD crash_code_abort = 0xE04B0004;

// Handles are stored as numbers: both processes see the same values (the watcher inherits them).
struct CrashBlock {
    // Set at start-up.
    std::uint64_t program = 0;         // the program's process, for reading its memory and ending it
    std::uint64_t crashed_event = 0;   // the crashing thread signals it once the facts are stored
    std::uint64_t undone_event = 0;    // ... and this once the overlay is hidden and the cursor shown
    std::uint64_t dumped_event = 0;    // the watcher signals it when the dump is written (or given up)
    wchar_t log_path[MAX_PATH] = {};   // empty: no line is written
    wchar_t dump_path[MAX_PATH] = {};  // empty: no dump is written
    // Set by the crashing thread.
    CrashCause cause = CrashCause::exception;
    std::uint32_t code = 0;       // the exception code, and the program's exit code
    std::uint32_t thread_id = 0;  // the crashed thread
    std::uint64_t address = 0;    // where it happened
    std::uint64_t pointers = 0;   // EXCEPTION_POINTERS in the program's memory
};

}  // namespace kelvane
