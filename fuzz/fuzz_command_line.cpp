// Fuzz target: the command-line parser over argument vectors decoded from the input. Arguments are
// separated by the byte 0x00; within one, each byte is one wide character and 0xFF escapes a raw
// 32-bit character (see read_wide). The first argument is the module path.
//
// Invariants:
//   - the monitor value is empty or one of the arguments, standing right after a -m / --monitor that
//     is itself not the value of another -m or --send (which takes the next argument the same way);
//   - each flag is set exactly when its option text is present as an argument (not the first) that
//     is not consumed as the value of a -m / --monitor;
//   - the monitor value is the value of the last consuming -m / --monitor, the send command that of
//     the last consuming --send, and send is set exactly when a --send is present unconsumed;
//   - the first argument never matters;
//   - the active overrides: --active wins, --inactive alone clears, neither leaves the record as is.
#include <string>
#include <vector>

#include "app/command_line.h"
#include "fuzz_check.h"

namespace {

bool is_monitor_option(const std::wstring& arg) {
    return arg == L"-m" || arg == L"--monitor";
}

bool takes_value(const std::wstring& arg) {
    return is_monitor_option(arg) || arg == L"--send";
}

// Which positions hold the value of a -m / --monitor / --send: the option takes the next argument
// whatever it is, so an option that is itself a value takes nothing.
std::vector<bool> consumed_positions(const std::vector<std::wstring>& args) {
    std::vector<bool> consumed(args.size(), false);
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (!consumed[i] && takes_value(args[i]) && i + 1 < args.size()) {
            consumed[i + 1] = true;
        }
    }
    return consumed;
}

bool flag_present(const std::vector<std::wstring>& args, const std::vector<bool>& consumed, const wchar_t* option) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (!consumed[i] && args[i] == option) {
            return true;
        }
    }
    return false;
}

bool same_options(const kelvane::CommandLineOptions& a, const kelvane::CommandLineOptions& b) {
    return a.pattern == b.pattern && a.no_exclude == b.no_exclude && a.monitor_arg == b.monitor_arg &&
           a.force_inactive == b.force_inactive && a.force_active == b.force_active && a.send == b.send &&
           a.send_command == b.send_command;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelvane::fuzz::ByteReader in(data, size);
    std::vector<std::wstring> args;
    while (in.remaining() > 0) {
        args.push_back(kelvane::fuzz::read_wide(in, 0x00));
    }

    const kelvane::CommandLineOptions options = kelvane::parse_arguments(args);
    const std::vector<bool> consumed = consumed_positions(args);

    FUZZ_CHECK(options.pattern == flag_present(args, consumed, L"--pattern"));
    FUZZ_CHECK(options.no_exclude == flag_present(args, consumed, L"--no-exclude"));
    FUZZ_CHECK(options.force_inactive == flag_present(args, consumed, L"--inactive"));
    FUZZ_CHECK(options.force_active == flag_present(args, consumed, L"--active"));

    FUZZ_CHECK(options.send == flag_present(args, consumed, L"--send"));

    std::wstring last_value;
    std::wstring last_send;
    bool any_value = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (consumed[i] && is_monitor_option(args[i - 1])) {
            last_value = args[i];
            any_value = true;
        } else if (consumed[i]) {
            last_send = args[i];
        }
    }
    FUZZ_CHECK(options.monitor_arg == last_value);
    FUZZ_CHECK(options.send_command == last_send);
    if (!options.monitor_arg.empty()) {
        FUZZ_CHECK(any_value);
        bool listed = false;
        for (std::size_t i = 2; i < args.size(); ++i) {
            listed = listed || (args[i] == options.monitor_arg && is_monitor_option(args[i - 1]));
        }
        FUZZ_CHECK(listed);
    }

    if (!args.empty()) {
        std::vector<std::wstring> other_first = args;
        other_first[0] = args.size() > 1 ? args[1] : L"--pattern";
        FUZZ_CHECK(same_options(kelvane::parse_arguments(other_first), options));
    }

    for (const bool initially_active : {false, true}) {
        kelvane::Settings settings;
        settings.active = initially_active;
        kelvane::apply_active_overrides(options, settings);
        const bool expected = options.force_active ? true : (options.force_inactive ? false : initially_active);
        FUZZ_CHECK(settings.active == expected);
    }
    return 0;
}
