// What the user is told, as a tray notification and a "notify:" log line: each at most once a run.
#pragma once

#include <cstddef>
#include <string>

#include "session/session_backend.h"

namespace kelvane {

enum class Notice : unsigned {
    old_windows,          // the overlay could only show black on this Windows: the mirror stays off
    waiting_locked,       // the mirror waits: a locked desktop or a secure prompt
    waiting_busy,         // the mirror waits: another program holds duplication
    waiting_unsupported,  // the mirror waits: no duplication on this GPU
    waiting_other,        // the mirror waits for another reason
    mirror_stopped,       // the mirror could not run and was stopped
    settings_unreadable,  // the settings file could not be read and is not saved over this run
    hotkey_taken,         // another program holds the hotkey
    hotkey_types,         // the hotkey is what AltGr types a character with on the user's keyboard
};
inline constexpr std::size_t notice_count = static_cast<std::size_t>(Notice::hotkey_types) + 1;

// The notice for a mirror that has waited long for the desktop.
[[nodiscard]] Notice waiting_notice(WaitReason reason) noexcept;

// The text shown to the user, in the words of someone presenting, not of a developer.
[[nodiscard]] const char* notice_text(Notice notice) noexcept;

// The hotkey_types notice for `hotkey` (its text form) that takes `character` (UTF-8) from typing.
[[nodiscard]] std::string hotkey_types_text(const std::string& hotkey, const std::string& character);

}  // namespace kelvane
