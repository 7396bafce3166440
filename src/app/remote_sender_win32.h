// The sending side of --send: hands a command to the running copy's control window on this desktop.
#pragma once

#include "ui/remote_command.h"

namespace kelvane {

enum class SendResult {
    delivered,   // the running copy carried it out
    no_copy,     // no copy runs on this desktop
    unanswered,  // a copy runs but did not take the command in time (hung, or refused it)
};

// A copy that does not answer within this time counts as unanswered.
inline constexpr unsigned send_timeout_ms = 2000;

[[nodiscard]] SendResult send_to_running_copy(RemoteCommand command);

}  // namespace kelvane
