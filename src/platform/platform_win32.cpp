// Win32 implementation of the platform seam.
#include "platform/platform.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <io.h>
#include <share.h>

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

bool flush_file_to_disk(std::FILE* file) noexcept {
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
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
