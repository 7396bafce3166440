// The command-line options of one run, and --send, which hands a command to the running copy.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "display/monitor_list.h"
#include "settings/settings.h"

namespace kelvane {

struct CommandLineOptions {
    bool pattern = false;         // --pattern
    bool no_exclude = false;      // --no-exclude
    std::wstring monitor_arg;     // the argument after -m / --monitor
    std::wstring source_arg;      // the argument after --source: the monitor whose picture is shown
    std::wstring region_arg;      // the argument after --region: X,Y,W,H of the source monitor
    bool force_inactive = false;  // --inactive
    bool force_active = false;    // --active
    bool send = false;            // --send
    std::wstring send_command;    // the argument after --send; empty when none followed
};

// Reads the options from an argument vector whose first element is the module path. Never fails:
// unknown arguments are ignored.
[[nodiscard]] CommandLineOptions parse_arguments(const std::vector<std::wstring>& args);

// --inactive switches the mirror off, then --active switches it on, so --active wins.
void apply_active_overrides(const CommandLineOptions& options, Settings& settings) noexcept;

// --source (resolved in `monitors` as --monitor is) and --region replace the saved source and region;
// another source monitor than the saved one starts without a region unless --region gives one. A value
// that matches no monitor or is no usable region is logged and changes nothing.
void apply_source_arguments(const CommandLineOptions& options, const std::vector<MonitorEntry>& monitors,
                            Settings& settings);

#ifdef _WIN32
// Splits a command line by the rules of CommandLineToArgvW; empty when the split fails.
[[nodiscard]] std::optional<std::vector<std::wstring>> split_command_line(const wchar_t* command_line);

// The options of this process's own command line.
[[nodiscard]] CommandLineOptions parse_command_line();
#endif

}  // namespace kelvane
