// Remote command names and the payload check.
#include "ui/remote_command.h"

#include <algorithm>
#include <iterator>

namespace kelvane {
namespace {

struct NamedCommand {
    RemoteCommand command;
    const char* name;
};

constexpr NamedCommand remote_commands[] = {
    {RemoteCommand::toggle, "toggle"},     {RemoteCommand::on, "on"},
    {RemoteCommand::off, "off"},           {RemoteCommand::mirror_h, "mirror-h"},
    {RemoteCommand::mirror_v, "mirror-v"}, {RemoteCommand::reset_warp, "reset-warp"},
    {RemoteCommand::adjust, "adjust"},     {RemoteCommand::exit, "exit"},
};

}  // namespace

std::optional<RemoteCommand> remote_command_from_name(std::string_view name) noexcept {
    const auto* const known = std::find_if(std::begin(remote_commands), std::end(remote_commands),
                                           [name](const NamedCommand& c) { return name == c.name; });
    return known != std::end(remote_commands) ? std::optional<RemoteCommand>(known->command) : std::nullopt;
}

const char* remote_command_name(RemoteCommand command) noexcept {
    const auto* const known = std::find_if(std::begin(remote_commands), std::end(remote_commands),
                                           [command](const NamedCommand& c) { return c.command == command; });
    return known != std::end(remote_commands) ? known->name : "";
}

std::optional<RemoteCommand> decode_remote_payload(const void* data, std::size_t size) noexcept {
    if (data == nullptr || size == 0 || size > remote_payload_limit) {
        return std::nullopt;
    }
    std::string_view text(static_cast<const char*>(data), size);
    if (text.back() == '\0') {
        text.remove_suffix(1);
    }
    if (text.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    return remote_command_from_name(text);
}

}  // namespace kelvane
