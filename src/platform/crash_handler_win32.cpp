// The crash handlers of the running program and the start of its watcher. Everything a crash needs is
// made at installation: the shared page, the events, the watcher process. The crashing thread then only
// stores a few numbers, signals an event, undoes what would stay on the screen and waits a bounded time;
// it opens no file, loads no library and formats no text, so a lock held elsewhere (the loader's, the
// heap's, the log's) cannot stop it, and the watcher ends the process should anything still block.
#include "platform/crash_handler_win32.h"

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <exception>
#include <iterator>
#include <memory>
#include <new>
#include <string>

#include "platform/crash_block_win32.h"
#include "platform/log.h"
#include "platform/unique_handle_win32.h"

namespace kelvane {
namespace {

CrashBlock* crash_block = nullptr;
HANDLE crashed_event = nullptr;
HANDLE undone_event = nullptr;
HANDLE dumped_event = nullptr;
HANDLE watcher_process = nullptr;

std::atomic<ShowSystemCursorFunction> cursor_show{nullptr};
std::atomic<HWND> crash_overlay{nullptr};
// The first thread that crashed; any later one waits for the end that thread brings.
std::atomic<DWORD> crashing_thread{0};

static_assert(std::atomic<ShowSystemCursorFunction>::is_always_lock_free && std::atomic<HWND>::is_always_lock_free &&
                  std::atomic<DWORD>::is_always_lock_free,
              "the crash path reads these without a lock");

std::uint64_t handle_number(HANDLE handle) noexcept {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
}

// What the crash would otherwise leave on the screen until the process is gone. The overlay belongs to
// the main thread: from any other thread it is hidden by a request posted to that thread, which does
// not wait for it; on the main thread itself the hiding runs at once, and should it block on a lock
// the crash left held, the watcher ends the process all the same.
void undo_what_shows() noexcept {
    if (const ShowSystemCursorFunction show = cursor_show.load()) {
        show(TRUE);
    }
    if (const HWND overlay = crash_overlay.load()) {
        SetWindowPos(overlay, nullptr, 0, 0, 0, 0,
                     SWP_ASYNCWINDOWPOS | SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER |
                         SWP_NOOWNERZORDER);
    }
}

[[noreturn]] void end_crashed_process(CrashCause cause, DWORD code, EXCEPTION_POINTERS* pointers,
                                      const void* address) noexcept {
    const DWORD self = GetCurrentThreadId();
    DWORD first = 0;
    if (!crashing_thread.compare_exchange_strong(first, self)) {
        if (first == self) {
            // A crash inside this path: nothing of it can be trusted any more.
            TerminateProcess(GetCurrentProcess(), code);
        }
        for (;;) {
            Sleep(INFINITE);
        }
    }
    if (crash_block != nullptr) {
        crash_block->cause = cause;
        crash_block->code = code;
        crash_block->thread_id = self;
        crash_block->address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(address));
        crash_block->pointers = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pointers));
    }
    // The watcher first: should undoing block after all, the watcher still writes and ends.
    if (crashed_event != nullptr) {
        SetEvent(crashed_event);
    }
    undo_what_shows();
    if (undone_event != nullptr) {
        SetEvent(undone_event);
    }
    if (dumped_event != nullptr && watcher_process != nullptr) {
        // A watcher that is gone writes nothing: no reason to wait for it.
        const HANDLE waits[] = {dumped_event, watcher_process};
        WaitForMultipleObjects(static_cast<DWORD>(std::size(waits)), waits, FALSE, crash_dump_wait_ms);
    }
    TerminateProcess(GetCurrentProcess(), code);
    for (;;) {
        Sleep(INFINITE);
    }
}

// The handlers that are not structured exceptions get an exception record of their own, so that the
// dump shows the thread where it happened.
[[noreturn]] void end_here(CrashCause cause, DWORD code) noexcept {
    CONTEXT context{};
    RtlCaptureContext(&context);
    EXCEPTION_RECORD record{};
    record.ExceptionCode = code;
    record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
#if defined(_M_X64) || defined(__x86_64__)
    record.ExceptionAddress = reinterpret_cast<void*>(static_cast<std::uintptr_t>(context.Rip));
#endif
    EXCEPTION_POINTERS pointers{&record, &context};
    end_crashed_process(cause, code, &pointers, record.ExceptionAddress);
}

LONG WINAPI crash_filter(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers != nullptr ? pointers->ExceptionRecord : nullptr;
    end_crashed_process(CrashCause::exception, record != nullptr ? record->ExceptionCode : 0, pointers,
                        record != nullptr ? record->ExceptionAddress : nullptr);
}

[[noreturn]] void on_terminate() noexcept {
    end_here(CrashCause::terminate, crash_code_terminate);
}
[[noreturn]] void __cdecl on_pure_virtual_call() {
    end_here(CrashCause::pure_virtual, crash_code_pure_virtual);
}
[[noreturn]] void __cdecl on_invalid_parameter(const wchar_t* /*expression*/, const wchar_t* /*function*/,
                                               const wchar_t* /*file*/, unsigned /*line*/,
                                               std::uintptr_t /*reserved*/) {
    end_here(CrashCause::invalid_parameter, crash_code_invalid_parameter);
}
[[noreturn]] void __cdecl on_abort_signal(int /*signal*/) {
    end_here(CrashCause::abort, crash_code_abort);
}

void install_invalid_parameter_handler() noexcept {
#if defined(__MINGW32__) && !defined(_UCRT)
    // MinGW's _set_invalid_parameter_handler keeps the handler to itself, while the checks inside
    // msvcrt.dll call the one that msvcrt.dll keeps: that one is set directly.
    if (const HMODULE runtime = GetModuleHandleW(L"msvcrt.dll")) {
        using SetHandler = _invalid_parameter_handler(__cdecl*)(_invalid_parameter_handler);
        if (const auto set = reinterpret_cast<SetHandler>(
                reinterpret_cast<void*>(GetProcAddress(runtime, "_set_invalid_parameter_handler")))) {
            set(on_invalid_parameter);
            return;
        }
    }
#endif
    _set_invalid_parameter_handler(on_invalid_parameter);
}

// Copies `text` into `target`; empty when it does not fit.
void copy_path(wchar_t (&target)[MAX_PATH], const std::wstring& text) noexcept {
    target[0] = L'\0';
    if (text.size() < std::size(target)) {
        std::wcsncpy(target, text.c_str(), std::size(target) - 1);
        target[std::size(target) - 1] = L'\0';
    }
}

// `path` with its last component replaced by `name`.
std::wstring beside(const std::wstring& path, const wchar_t* name) {
    const std::wstring::size_type slash = path.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) + name;
}

HANDLE make_event(SECURITY_ATTRIBUTES& inherited) noexcept {
    return CreateEventW(&inherited, TRUE, FALSE, nullptr);
}

// Kelvane2.exe again, with the page's handle; it inherits exactly the handles the page names.
bool start_watcher(HANDLE section, HANDLE program) {
    wchar_t executable[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, executable, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        log_failed_call("crash: GetModuleFileNameW", HRESULT_FROM_WIN32(GetLastError()));
        return false;
    }
    std::wstring command = L"\"" + std::wstring(executable) + L"\" " + crash_watcher_argument + L" " +
                           std::to_wstring(handle_number(section));
    HANDLE inherited[] = {section, program, crashed_event, undone_event, dumped_event};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::unique_ptr<unsigned char[]> storage(new (std::nothrow) unsigned char[size]);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.get());
    if (attributes == nullptr || InitializeProcThreadAttributeList(attributes, 1, 0, &size) == 0) {
        log_failed_call("crash: InitializeProcThreadAttributeList", HRESULT_FROM_WIN32(GetLastError()));
        return false;
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.lpAttributeList = attributes;
    PROCESS_INFORMATION process{};
    const bool started = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                                   sizeof inherited, nullptr, nullptr) != 0 &&
                         CreateProcessW(executable, command.data(), nullptr, nullptr, TRUE,
                                        EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW, nullptr, nullptr,
                                        &startup.StartupInfo, &process) != 0;
    const DWORD error = GetLastError();
    DeleteProcThreadAttributeList(attributes);
    if (!started) {
        log_failed_call("crash: starting the watcher", HRESULT_FROM_WIN32(error));
        return false;
    }
    CloseHandle(process.hThread);
    watcher_process = process.hProcess;
    return true;
}

}  // namespace

#if !defined(_MSC_VER)
// GCC's tables point a pure virtual method here. The runtime's own version is only weakly referenced
// and, in a static link, left out: the call would jump to address zero.
// NOLINTNEXTLINE(bugprone-reserved-identifier,readability-identifier-naming): the runtime's own name
extern "C" [[noreturn]] void __cxa_pure_virtual() {
    end_here(CrashCause::pure_virtual, crash_code_pure_virtual);
}
#endif

void note_system_cursor_hidden(ShowSystemCursorFunction show) noexcept {
    cursor_show.store(show);
}

void note_crash_overlay(HWND overlay) noexcept {
    crash_overlay.store(overlay);
}

void install_crash_handler(const std::wstring& log_path) {
    SetUnhandledExceptionFilter(crash_filter);
    std::set_terminate(on_terminate);
    _set_purecall_handler(on_pure_virtual_call);
    install_invalid_parameter_handler();
    std::signal(SIGABRT, on_abort_signal);

    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle section(CreateFileMappingW(INVALID_HANDLE_VALUE, &inherited, PAGE_READWRITE, 0,
                                            static_cast<DWORD>(sizeof(CrashBlock)), nullptr));
    void* view = section ? MapViewOfFile(section.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(CrashBlock)) : nullptr;
    HANDLE program = nullptr;
    crashed_event = make_event(inherited);
    undone_event = make_event(inherited);
    dumped_event = make_event(inherited);
    if (view == nullptr || crashed_event == nullptr || undone_event == nullptr || dumped_event == nullptr ||
        DuplicateHandle(
            GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &program,
            PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE | PROCESS_TERMINATE | SYNCHRONIZE, TRUE,
            0) == 0) {
        log_failed_call("crash: preparing the watcher", HRESULT_FROM_WIN32(GetLastError()));
        return;
    }
    UniqueHandle program_handle(program);
    crash_block = new (view) CrashBlock();
    crash_block->program = handle_number(program);
    crash_block->crashed_event = handle_number(crashed_event);
    crash_block->undone_event = handle_number(undone_event);
    crash_block->dumped_event = handle_number(dumped_event);
    if (!log_path.empty()) {
        copy_path(crash_block->log_path, log_path);
        copy_path(crash_block->dump_path, beside(log_path, crash_dump_name));
    }
    if (!start_watcher(section.get(), program)) {
        return;
    }
    // The copies this process keeps go to no later child.
    for (const HANDLE kept : {crashed_event, undone_event, dumped_event}) {
        SetHandleInformation(kept, HANDLE_FLAG_INHERIT, 0);
    }
}

}  // namespace kelvane
