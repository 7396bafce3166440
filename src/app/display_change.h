// What a change of the display layout does to the mirror: nothing while it is stopped, a restart
// while its monitor is still there, and the end of the mirror when its monitor is gone.
#pragma once

#include <string_view>
#include <vector>

#include "display/monitor_list.h"

namespace kelvane {

enum class DisplayChangeAction {
    none,        // the mirror is not running
    restart,     // rebuild overlay and capture for the new layout
    deactivate,  // the mirrored monitor is gone: stop and remember the mirror as off
};

[[nodiscard]] DisplayChangeAction decide_display_change(bool running, const std::vector<MonitorEntry>& monitors,
                                                        std::wstring_view mirrored_name) noexcept;

}  // namespace kelvane
