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

// A monitor as the mirror knows it: device interface path (empty: unknown) and device name.
struct MonitorKey {
    std::wstring_view id;
    std::wstring_view name;
};

// `mirrored`: the running mirror's monitor; `awaited`: the monitor a stopped mirror waits for (both
// empty: none). A monitor that came back under another device name is found by its path.
[[nodiscard]] DisplayChangeAction decide_display_change(bool running, const std::vector<MonitorEntry>& monitors,
                                                        MonitorKey mirrored, MonitorKey awaited) noexcept;

}  // namespace kelvane
