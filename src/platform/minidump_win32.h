// A small minidump of a crashed process, written from another process: the crashed thread with its
// registers and stack, the exception, the loaded modules with the records that find their symbols,
// and the system. It only reads the process's memory: no thread is stopped, no symbol is loaded, so it
// takes milliseconds where a full dump through dbghelp takes seconds (under Wine).
#pragma once

#include <windows.h>

#include <cstdint>

namespace kelvane {

// `pointers`: the address of the crash's EXCEPTION_POINTERS in `process`, `thread_id` the thread that
// crashed. False, with the system's error code in `error`, when the crash could not be read or the
// file not written.
[[nodiscard]] bool write_minidump(HANDLE process, DWORD thread_id, std::uint64_t pointers, HANDLE file, DWORD& error);

}  // namespace kelvane
