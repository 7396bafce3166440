// What a settled change of the display layout does to the mirror: a restart while its monitor is
// still there; a stop while it is gone (a monitor that sleeps, a laptop undocking), waiting for it with
// the settings untouched; a restart once it is back. A source monitor apart from the mirrored one is
// waited for in the same way.
#pragma once

#include <string_view>
#include <vector>

#include "display/monitor_list.h"

namespace kelvane {

enum class DisplayChangeAction {
    none,             // nothing runs and nothing is awaited, or the awaited monitor is still away
    restart,          // rebuild overlay and capture for the new layout
    wait,             // the mirrored monitor is gone: stop, and wait for it
    wait_for_source,  // the source monitor is gone: stop, and wait for it (and the mirrored one)
    resume,           // the awaited monitors are back: start on them
};

// A monitor as the mirror knows it: device interface path (empty: unknown) and device name.
struct MonitorKey {
    std::wstring_view id;
    std::wstring_view name;
};

// `mirrored`: the running mirror's monitor; `awaited`: the monitor a stopped mirror waits for (both
// empty: none); `source`: the source monitor the settings name (both empty: the mirrored monitor
// itself). A monitor that came back under another device name is found by its path.
[[nodiscard]] DisplayChangeAction decide_display_change(bool running, const std::vector<MonitorEntry>& monitors,
                                                        MonitorKey mirrored, MonitorKey awaited,
                                                        MonitorKey source = {}) noexcept;

}  // namespace kelvane
