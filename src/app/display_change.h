// What a settled change of the display layout does to the mirror: a restart while its monitor is
// still there; a stop while it is gone (a monitor that sleeps, a laptop undocking), waiting for it with
// the settings untouched; a restart once it is back.
#pragma once

#include <string_view>
#include <vector>

#include "display/monitor_list.h"

namespace kelvane {

enum class DisplayChangeAction {
    none,     // nothing runs and nothing is awaited, or the awaited monitor is still away
    restart,  // rebuild overlay and capture for the new layout
    wait,     // the mirrored monitor is gone: stop, and wait for it
    resume,   // the awaited monitor is back: start on it
};

// `mirrored_name`: the running mirror's monitor; `awaited_name`: the monitor a stopped mirror waits
// for (empty: none).
[[nodiscard]] DisplayChangeAction decide_display_change(bool running, const std::vector<MonitorEntry>& monitors,
                                                        std::wstring_view mirrored_name,
                                                        std::wstring_view awaited_name) noexcept;

}  // namespace kelvane
