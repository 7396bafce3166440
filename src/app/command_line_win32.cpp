// The process's own command line, split by the shell's rules.
#include "app/command_line.h"

#include <windows.h>
#include <shellapi.h>

namespace kelvane {

std::optional<std::vector<std::wstring>> split_command_line(const wchar_t* command_line) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(command_line, &count);
    if (argv == nullptr) {
        return std::nullopt;
    }
    std::vector<std::wstring> args(argv, argv + count);
    LocalFree(static_cast<HLOCAL>(argv));
    return args;
}

CommandLineOptions parse_command_line() {
    const auto args = split_command_line(GetCommandLineW());
    return args ? parse_arguments(*args) : CommandLineOptions{};
}

}  // namespace kelvane
