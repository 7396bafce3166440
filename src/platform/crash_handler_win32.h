// The last chance of a crashed program: the system cursor shown again and the overlay hidden (a crash
// must leave neither a desktop without a cursor nor a stale picture on top), one line in the log, a
// small minidump beside it, and the end of the process within a bound. The line and the dump are
// written by a watcher, the program itself started again at start-up, because the crashed process may
// hold the very locks (loader, heap) that writing them would need.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace kelvane {

inline constexpr wchar_t crash_dump_name[] = L"Kelvane2.dmp";

// How long the crashed program waits for its dump before it ends itself.
inline constexpr DWORD crash_dump_wait_ms = 2500;

// When this process was started as a crash watcher, watches to the program's end and returns the exit
// code; none otherwise. Call first thing at process entry, before anything that the watcher must not
// do (windows, the single-instance guard, the log).
[[nodiscard]] std::optional<int> run_crash_watcher_if_asked();

// Starts the watcher and installs the handlers (unhandled exceptions, std::terminate, the C runtime's
// pure virtual call and invalid parameter handlers, abort); `log_path` is the log file, the dump goes
// into the same folder. Call once the log is open; everything the crash needs is prepared now. Without
// a watcher (logged) a crash still shows the cursor, hides the overlay and ends the process.
void install_crash_handler(const std::wstring& log_path);

// The call that shows the system cursor again, while the program keeps the cursor hidden; null once it
// is shown again.
using ShowSystemCursorFunction = BOOL(WINAPI*)(BOOL);
void note_system_cursor_hidden(ShowSystemCursorFunction show) noexcept;

// The overlay that a crash hides; null when there is none.
void note_crash_overlay(HWND overlay) noexcept;

}  // namespace kelvane
