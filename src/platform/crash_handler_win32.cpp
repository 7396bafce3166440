// The unhandled-exception filter. Everything it needs is prepared at installation; dbghelp is loaded
// only when a crash happens, and the log is written through a handle of its own, not through the
// log's lock, which the crashed thread may hold.
#include "platform/crash_handler_win32.h"

#include <windows.h>
#include <dbghelp.h>

#include <cstdio>
#include <cwchar>
#include <iterator>

namespace kelvane {
namespace {

wchar_t crash_log_path[MAX_PATH] = {};
wchar_t crash_dump_path[MAX_PATH] = {};

template <typename Function>
Function find_function(HMODULE library, const char* name) noexcept {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// Only a library already loaded can have hidden the cursor: nothing new is loaded for it.
void show_system_cursor() noexcept {
    const HMODULE magnification = GetModuleHandleW(L"Magnification.dll");
    if (magnification == nullptr) {
        return;
    }
    using ShowCursorFunction = BOOL(WINAPI*)(BOOL);
    if (const auto show = find_function<ShowCursorFunction>(magnification, "MagShowSystemCursor")) {
        show(TRUE);
    }
}

void append_to_log(const char* text, int length) noexcept {
    if (crash_log_path[0] == L'\0' || length <= 0) {
        return;
    }
    const HANDLE file =
        CreateFileW(crash_log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}

void write_dump(EXCEPTION_POINTERS* pointers) noexcept {
    if (crash_dump_path[0] == L'\0') {
        return;
    }
    const HMODULE dbghelp = LoadLibraryExW(L"dbghelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (dbghelp == nullptr) {
        return;
    }
    using WriteDumpFunction = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                            PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);
    const auto write = find_function<WriteDumpFunction>(dbghelp, "MiniDumpWriteDump");
    const HANDLE file = write == nullptr ? INVALID_HANDLE_VALUE
                                         : CreateFileW(crash_dump_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    MINIDUMP_EXCEPTION_INFORMATION exception{};
    exception.ThreadId = GetCurrentThreadId();
    exception.ExceptionPointers = pointers;
    exception.ClientPointers = FALSE;
    write(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal, &exception, nullptr, nullptr);
    CloseHandle(file);
}

LONG WINAPI crash_filter(EXCEPTION_POINTERS* pointers) {
    show_system_cursor();
    const EXCEPTION_RECORD* record = pointers != nullptr ? pointers->ExceptionRecord : nullptr;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char line[128];
    const int length = std::snprintf(
        line, sizeof line, "[%02u:%02u:%02u.%03u] Kelvane2 crashed: exception 0x%08X at %p\r\n", now.wHour, now.wMinute,
        now.wSecond, now.wMilliseconds, record != nullptr ? static_cast<unsigned>(record->ExceptionCode) : 0u,
        record != nullptr ? record->ExceptionAddress : nullptr);
    append_to_log(line, length < static_cast<int>(sizeof line) ? length : static_cast<int>(sizeof line) - 1);
    write_dump(pointers);
    // The process ends here, without the system's error report on top of an unknown state.
    return EXCEPTION_EXECUTE_HANDLER;
}

// Copies `path` with its last component replaced by `name`; empty when it does not fit.
void copy_beside(wchar_t (&target)[MAX_PATH], const std::wstring& path, const wchar_t* name) {
    const std::wstring::size_type slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    const std::wstring full = folder + name;
    target[0] = L'\0';
    if (full.size() < std::size(target)) {
        std::wcsncpy(target, full.c_str(), std::size(target) - 1);
    }
}

}  // namespace

void install_crash_handler(const std::wstring& log_path) {
    crash_log_path[0] = L'\0';
    if (!log_path.empty() && log_path.size() < std::size(crash_log_path)) {
        std::wcsncpy(crash_log_path, log_path.c_str(), std::size(crash_log_path) - 1);
        copy_beside(crash_dump_path, log_path, crash_dump_name);
    }
    SetUnhandledExceptionFilter(crash_filter);
}

}  // namespace kelvane
