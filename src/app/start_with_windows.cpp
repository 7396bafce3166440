// Whether the Run entry starts this executable.
#include "app/start_with_windows.h"

namespace kelvane {
namespace {

wchar_t fold(wchar_t c) noexcept {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool same_ignoring_case(const std::wstring& a, const std::wstring& b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::wstring start_command(const std::wstring& exe_path) {
    return L"\"" + exe_path + L"\"";
}

bool start_entry_enabled(const std::optional<std::wstring>& run_value, const std::wstring& exe_path,
                         const std::vector<unsigned char>& approved_record) {
    if (!run_value || exe_path.empty() || !same_ignoring_case(*run_value, start_command(exe_path))) {
        return false;
    }
    return approved_record.empty() || (approved_record.front() & 1U) == 0;
}

}  // namespace kelvane
