// Output, numbers and exit codes shared by the driver's commands.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace kelvane::driver {

constexpr int exit_done = 0;
constexpr int exit_fault = 1;
constexpr int exit_usage = 2;
constexpr int exit_not_found = 3;

// Prints wide text as UTF-8: the scripts read it from a pipe.
inline void print(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

inline unsigned long long number(const wchar_t* text) {
    return std::wcstoull(text, nullptr, 0);
}

}  // namespace kelvane::driver
