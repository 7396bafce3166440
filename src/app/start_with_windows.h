// "Start with Windows": the value Kelvane2 under the user's Run key names the quoted executable, and
// Task Manager's start-up list may switch it off with a record of its own (StartupApproved), which
// only the user changes there; checking the menu item again clears it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kelvane {

inline constexpr wchar_t run_key_path[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t startup_approved_key_path[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
inline constexpr wchar_t run_value_name[] = L"Kelvane2";

// The Run value for the executable at `exe_path`: the path in quotes, as a path with blanks needs.
[[nodiscard]] std::wstring start_command(const std::wstring& exe_path);

// Whether sign-in starts the executable at `exe_path`: the Run value (none when absent) names it,
// ignoring the case of letters as Windows paths do, and the StartupApproved record, when there is one,
// does not switch it off. Windows writes that record's first byte even (02, 06) for on and odd (03,
// 07) for off; an empty record switches nothing off.
[[nodiscard]] bool start_entry_enabled(const std::optional<std::wstring>& run_value, const std::wstring& exe_path,
                                       const std::vector<unsigned char>& approved_record);

#ifdef _WIN32
// What the registry says for this executable now.
[[nodiscard]] bool read_start_with_windows();
// Writes the Run value and clears a record that switched it off, or deletes both; false (logged) when
// the registry refused.
bool write_start_with_windows(bool on);
#endif

}  // namespace kelvane
