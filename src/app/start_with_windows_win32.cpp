// "Start with Windows" in the user's part of the registry.
#include "app/start_with_windows.h"

#include <windows.h>

#include <cstring>

#include "platform/log.h"

namespace kelvane {
namespace {

// Long paths are allowed; a path does not grow past this.
constexpr DWORD path_limit = 32768;

std::wstring own_path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= path_limit) {
            return std::wstring();
        }
        path.resize(path.size() * 2);
    }
}

// The bytes of one value of `type`; none when it is absent or of another type.
std::optional<std::vector<unsigned char>> read_value(const wchar_t* key, DWORD type) {
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, key, run_value_name, type, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<unsigned char> bytes(size);
    if (RegGetValueW(HKEY_CURRENT_USER, key, run_value_name, type, nullptr, bytes.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;  // changed in between: read again at the next look
    }
    bytes.resize(size);
    return bytes;
}

std::optional<std::wstring> read_run_value() {
    const std::optional<std::vector<unsigned char>> bytes = read_value(run_key_path, RRF_RT_REG_SZ);
    if (!bytes) {
        return std::nullopt;
    }
    std::wstring text(bytes->size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) {
        std::memcpy(text.data(), bytes->data(), text.size() * sizeof(wchar_t));
    }
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

bool delete_value(const wchar_t* key, const char* what) {
    const LSTATUS status = RegDeleteKeyValueW(HKEY_CURRENT_USER, key, run_value_name);
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) {
        return true;
    }
    log_failed_call(what, HRESULT_FROM_WIN32(static_cast<DWORD>(status)));
    return false;
}

}  // namespace

bool read_start_with_windows() {
    const std::optional<std::vector<unsigned char>> record = read_value(startup_approved_key_path, RRF_RT_REG_BINARY);
    return start_entry_enabled(read_run_value(), own_path(), record.value_or(std::vector<unsigned char>()));
}

bool write_start_with_windows(bool on) {
    if (!on) {
        const bool run_deleted = delete_value(run_key_path, "delete Run value");
        return delete_value(startup_approved_key_path, "delete StartupApproved value") && run_deleted;
    }
    const std::wstring path = own_path();
    if (path.empty()) {
        log_message("startup: the program's own path is unknown");
        return false;
    }
    const std::wstring command = start_command(path);
    const LSTATUS status = RegSetKeyValueW(HKEY_CURRENT_USER, run_key_path, run_value_name, REG_SZ, command.c_str(),
                                           static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) {
        log_failed_call("write Run value", HRESULT_FROM_WIN32(static_cast<DWORD>(status)));
        return false;
    }
    // Switched off in Task Manager before: the user has switched it on again here.
    return delete_value(startup_approved_key_path, "delete StartupApproved value");
}

}  // namespace kelvane
