// The last-chance handler of an unhandled exception: the system cursor shown again (a crash must not
// leave the desktop without one), one line in the log, a small minidump beside it, and the end of the
// process. It does as little as it can: the process is in an unknown state.
#pragma once

#include <string>

namespace kelvane {

inline constexpr wchar_t crash_dump_name[] = L"Kelvane2.dmp";

// Installs the handler; `log_path` is the log file, the dump goes into the same folder. Call once the
// log is open; the paths are prepared now, so that nothing is built while crashing.
void install_crash_handler(const std::wstring& log_path);

}  // namespace kelvane
