// The crash handlers' victim: its log in the folder named on the command line, the handlers installed
// (and so its crash watcher started), then the crash the second argument names. A third argument names
// an event that a stand-in for the Magnification API sets when asked to show the cursor.
#include <windows.h>
#include <io.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/crash_handler_win32.h"
#include "platform/log.h"

namespace {

HANDLE cursor_shown_event = nullptr;

BOOL WINAPI show_cursor_stand_in(BOOL show) {
    if (show != FALSE) {
        SetEvent(cursor_shown_event);
    }
    return TRUE;
}

// A write to the first page, which is never mapped; the address is read at run time, so that the
// compiler neither warns about nor removes the write.
void access_violation() {
    volatile std::uintptr_t address = 16;
    *reinterpret_cast<volatile int*>(address) = 1;
}

}  // namespace

// Calls the pure virtual method from the base's constructor, through a function the compiler cannot
// see into (it would otherwise call the one override directly, or skip the base's own table).
struct PureVirtualBase;
void (*volatile call_run)(PureVirtualBase&) = nullptr;
struct PureVirtualBase {
    PureVirtualBase() { call_run(*this); }
    virtual ~PureVirtualBase() = default;
    PureVirtualBase(const PureVirtualBase&) = delete;
    PureVirtualBase& operator=(const PureVirtualBase&) = delete;
    virtual void run() = 0;
};
struct PureVirtualDerived final : PureVirtualBase {
    void run() override {}
};

int wmain(int argc, wchar_t** argv) {
    if (const auto code = kelvane::run_crash_watcher_if_asked()) {
        return *code;
    }
    if (argc < 3) {
        return 2;
    }
    const std::wstring log = kelvane::log_file_path(argv[1]);
    const std::wstring mode = argv[2];
    kelvane::open_log_file(log, kelvane::LogOpenMode::truncate);
    kelvane::log_message("victim: started");
    kelvane::install_crash_handler(log);
    if (argc > 3) {
        cursor_shown_event = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
        kelvane::note_system_cursor_hidden(show_cursor_stand_in);
        if (mode == L"cursor_shown_again") {
            kelvane::note_system_cursor_hidden(nullptr);
        }
    }
    if (mode == L"exit") {
        return 0;
    }
    if (mode == L"heap_locked") {
        // Another thread holds the heap's lock at the moment of the crash, and keeps it.
        const HANDLE locked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread([locked] {
            HeapLock(GetProcessHeap());
            SetEvent(locked);
            Sleep(INFINITE);
        }).detach();
        WaitForSingleObject(locked, INFINITE);
    } else if (mode == L"uncaught_on_thread") {
        std::thread([] { throw std::runtime_error("uncaught"); }).join();
    } else if (mode == L"pure_virtual") {
        call_run = [](PureVirtualBase& object) { object.run(); };
        const PureVirtualDerived derived;
    } else if (mode == L"invalid_parameter") {
        volatile int descriptor = -5;
        static_cast<void>(_close(descriptor));
    }
    access_violation();
    return 0;
}
