// Command-line options: the argument walk and the active-flag overrides.
#include "app/command_line.h"

#include "platform/log.h"
#include "platform/utf8.h"

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
        } else if (arg == L"--source" || arg == L"--region") {
            // Values as --monitor's: consumed whatever they look like, ignored when none follows.
            if (i + 1 < args.size()) {
                (arg == L"--source" ? options.source_arg : options.region_arg) = args[++i];
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

void apply_source_arguments(const CommandLineOptions& options, const std::vector<MonitorEntry>& monitors,
                            Settings& settings) {
    if (!options.source_arg.empty()) {
        const int chosen = find_monitor_by_name(monitors, resolve_monitor_argument(monitors, options.source_arg));
        if (chosen >= 0) {
            const MonitorEntry& entry = monitors[static_cast<std::size_t>(chosen)];
            if (entry.device_name != settings.source_monitor) {
                settings.source_region.clear();
            }
            settings.source_monitor = entry.device_name;
            settings.source_monitor_id = entry.id;
        }
    }
    if (!options.region_arg.empty()) {
        const std::string text = wide_to_utf8(options.region_arg);
        RegionProblem problem = RegionProblem::none;
        if (const std::optional<SourceRect> region = parse_source_region(text, problem)) {
            settings.source_region = format_source_region(*region);
        } else {
            log_message("region arg '%s' %s; ignoring", text.c_str(), region_problem_text(problem));
        }
    }
}

}  // namespace kelvane
