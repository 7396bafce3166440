// A crash asked of the program's session thread: the test writes crash.txt into the script folder, and
// the duplication hook library makes the next AcquireNextFrame write to an unmapped address, after
// another thread of the program took the process heap's lock (and keeps it) when the request says so.
#pragma once

#include <windows.h>
#include <dxgi1_2.h>

#include <string>

namespace kelvane::test {

// The test's side: asks for the crash and returns an event (the caller closes it) that the session
// thread sets the moment before it crashes.
[[nodiscard]] HANDLE request_crash(const std::wstring& folder, bool heap_locked);
// The library wrote that its thread held the heap's lock when the session thread went to crash.
[[nodiscard]] bool heap_was_locked(const std::wstring& folder);

// The library's side: AcquireNextFrame of every duplication of `duplication`'s class checks for the
// request first (patched once), and the library's reading thread polls for it.
void crash_on_request(IDXGIOutputDuplication* duplication);
void poll_crash_request(const std::wstring& folder);

}  // namespace kelvane::test
