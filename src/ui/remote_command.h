// Commands another process sends to the running copy (Kelvane2.exe --send COMMAND, a Stream Deck
// button, a show-control script): their names, and the check of the bytes that arrive with
// WM_COPYDATA before anything is done with them.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace kelvane {

enum class RemoteCommand {
    toggle,
    on,
    off,
    mirror_h,
    mirror_v,
    reset_warp,
    adjust,
    exit,
};

// The dwData of a command's WM_COPYDATA: other programs' copy-data messages carry other numbers.
inline constexpr std::size_t remote_protocol_id = 0x4B324D31;  // "K2M1"
// A payload longer than this is refused unread.
inline constexpr std::size_t remote_payload_limit = 64;

// The command named exactly (case-sensitively) by `name`; none for any other text.
[[nodiscard]] std::optional<RemoteCommand> remote_command_from_name(std::string_view name) noexcept;
[[nodiscard]] const char* remote_command_name(RemoteCommand command) noexcept;

// The command in a received payload: the name in ASCII, with or without one terminating NUL, read by
// the size alone (the sender's memory is never searched for a terminator). None when the size exceeds
// the limit, the data is missing, a NUL stands inside the name or the name is unknown.
[[nodiscard]] std::optional<RemoteCommand> decode_remote_payload(const void* data, std::size_t size) noexcept;

}  // namespace kelvane
