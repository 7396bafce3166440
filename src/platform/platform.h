// The one seam between the portable core and the operating system: the few services that portable
// code needs. platform_win32.cpp implements it for the product, platform_posix.cpp for native builds.
#pragma once

#include <cstdio>
#include <string>

namespace kelvane::platform {

// Separator between folder and file names in the paths this seam hands out.
#ifdef _WIN32
inline constexpr wchar_t path_separator = L'\\';
#else
inline constexpr wchar_t path_separator = L'/';
#endif

// The user's roaming application-data folder (no trailing separator), or empty when it cannot be
// looked up.
[[nodiscard]] std::wstring roaming_app_data_folder();

// Creates one folder; an existing folder is fine. Returns false when the folder cannot be made.
bool create_folder(const std::wstring& path) noexcept;

struct LocalTime {
    int hour = 0;         // 0-23
    int minute = 0;       // 0-59
    int second = 0;       // 0-59
    int millisecond = 0;  // 0-999
};
[[nodiscard]] LocalTime local_time() noexcept;

// Debugger output (OutputDebugString on Windows, standard error elsewhere).
void debug_output(const char* text) noexcept;

// Opens a file in binary mode with sharing that denies nobody read or write access.
// `mode` is a C stdio mode such as L"rb", L"wb" or L"ab". Returns null on failure.
[[nodiscard]] std::FILE* open_file_shared(const std::wstring& path, const wchar_t* mode) noexcept;

// Opens an existing file for reading in binary mode, denying nobody read, write or delete access.
// Returns null on failure, with the system's error code (GetLastError / errno) in `error`.
[[nodiscard]] std::FILE* open_file_for_reading(const std::wstring& path, unsigned long& error) noexcept;

// Forces the written contents of an open file out to the disk. Returns 0 on success, otherwise the
// system's error code.
[[nodiscard]] unsigned long flush_file_to_disk(std::FILE* file) noexcept;

// What a system error code of a file operation means to the portable code.
enum class FileFailure {
    missing,      // the file does not exist (its folder does)
    busy,         // another program holds the file, or access is refused for now
    unsupported,  // the file system does not offer the operation
    other,
};
[[nodiscard]] FileFailure classify_file_error(unsigned long error) noexcept;

// Replaces `target` with `source` in a single rename; an existing target is replaced.
// Returns 0 on success, otherwise the system's error code (GetLastError / errno).
[[nodiscard]] unsigned long replace_file(const std::wstring& source, const std::wstring& target) noexcept;

// Deletes a file. Returns false when it could not be deleted (or did not exist).
bool delete_file(const std::wstring& path) noexcept;

void sleep_ms(unsigned milliseconds) noexcept;

}  // namespace kelvane::platform
