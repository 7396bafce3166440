// Win32 implementation of the platform seam.
#include "platform/platform.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>

#include <cstdint>

namespace kelvane::platform {

std::wstring roaming_app_data_folder() {
    PWSTR raw = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &raw);
    std::wstring path;
    if (SUCCEEDED(hr) && raw != nullptr) {
        path = raw;
    }
    // The shell allocates the buffer even on some failures; it is always ours to free.
    CoTaskMemFree(raw);
    return path;
}

bool create_folder(const std::wstring& path) noexcept {
    return CreateDirectoryW(path.c_str(), nullptr) != 0 || GetLastError() == ERROR_ALREADY_EXISTS;
}

LocalTime local_time() noexcept {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return LocalTime{st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

void debug_output(const char* text) noexcept {
    OutputDebugStringA(text);
}

std::FILE* open_file_shared(const std::wstring& path, const wchar_t* mode) noexcept {
    return _wfsopen(path.c_str(), mode, _SH_DENYNO);
}

std::FILE* open_file_for_reading(const std::wstring& path, unsigned long& error) noexcept {
    // CreateFileW rather than _wfsopen: only the system's own error code tells a missing file from
    // one that a virus scanner or a backup holds.
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(handle);
        error = ERROR_TOO_MANY_OPEN_FILES;
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, "rb");
    if (file == nullptr) {
        _close(descriptor);  // closes the handle too
        error = ERROR_TOO_MANY_OPEN_FILES;
        return nullptr;
    }
    error = 0;
    return file;
}

unsigned long flush_file_to_disk(std::FILE* file) noexcept {
    if (std::fflush(file) != 0) {
        return ERROR_WRITE_FAULT;
    }
    // The C runtime hands out the system handle of a stream as an integer.
    auto* const handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));  // NOLINT(performance-no-int-to-ptr)
    if (FlushFileBuffers(handle) == 0) {
        const DWORD error = GetLastError();
        return error != 0 ? error : ERROR_GEN_FAILURE;
    }
    return 0;
}

FileFailure classify_file_error(unsigned long error) noexcept {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            return FileFailure::missing;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return FileFailure::busy;
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
            return FileFailure::unsupported;
        default:
            return FileFailure::other;
    }
}

unsigned long replace_file(const std::wstring& source, const std::wstring& target) noexcept {
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
        return 0;
    }
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

bool delete_file(const std::wstring& path) noexcept {
    return DeleteFileW(path.c_str()) != 0;
}

void sleep_ms(unsigned milliseconds) noexcept {
    Sleep(milliseconds);
}

}  // namespace kelvane::platform
