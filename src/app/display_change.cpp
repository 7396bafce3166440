// The display-change rule.
#include "app/display_change.h"

namespace kelvane {

DisplayChangeAction decide_display_change(bool running, const std::vector<MonitorEntry>& monitors,
                                          std::wstring_view mirrored_name) noexcept {
    if (!running) {
        return DisplayChangeAction::none;
    }
    return find_monitor_by_name(monitors, mirrored_name) < 0 ? DisplayChangeAction::deactivate
                                                             : DisplayChangeAction::restart;
}

}  // namespace kelvane
