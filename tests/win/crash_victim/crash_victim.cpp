// The crash handler's victim: its log in the folder named on the command line, the handler installed,
// then an access violation.
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/crash_handler_win32.h"
#include "platform/log.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        return 2;
    }
    const std::wstring log = kelvane::log_file_path(argv[1]);
    kelvane::open_log_file(log, kelvane::LogOpenMode::truncate);
    kelvane::log_message("victim: crashing");
    kelvane::install_crash_handler(log);
    // A write to the first page, which is never mapped; the address is read at run time, so that the
    // compiler neither warns about nor removes the write.
    volatile std::uintptr_t address = 16;
    *reinterpret_cast<volatile int*>(address) = 1;
    return 0;
}
