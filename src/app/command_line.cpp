// Command-line options: the argument walk and the active-flag overrides.
#include "app/command_line.h"

namespace kelvane {

CommandLineOptions parse_arguments(const std::vector<std::wstring>& args) {
    CommandLineOptions options;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg == L"-m" || arg == L"--monitor") {
            // The value is consumed even when it looks like an option; a trailing -m is ignored.
            if (i + 1 < args.size()) {
                options.monitor_arg = args[++i];
            }
        } else if (arg == L"--send") {
            options.send = true;
            if (i + 1 < args.size()) {
                options.send_command = args[++i];
            }
        } else if (arg == L"--pattern") {
            options.pattern = true;
        } else if (arg == L"--no-exclude") {
            options.no_exclude = true;
        } else if (arg == L"--inactive") {
            options.force_inactive = true;
        } else if (arg == L"--active") {
            options.force_active = true;
        }
    }
    return options;
}

void apply_active_overrides(const CommandLineOptions& options, Settings& settings) noexcept {
    if (options.force_inactive) {
        settings.active = false;
    }
    if (options.force_active) {
        settings.active = true;
    }
}

}  // namespace kelvane
