// The display-change rule.
#include "app/display_change.h"

namespace kelvane {

DisplayChangeAction decide_display_change(bool running, const std::vector<MonitorEntry>& monitors,
                                          std::wstring_view mirrored_name, std::wstring_view awaited_name) noexcept {
    if (running) {
        return find_monitor_by_name(monitors, mirrored_name) < 0 ? DisplayChangeAction::wait
                                                                 : DisplayChangeAction::restart;
    }
    if (!awaited_name.empty() && find_monitor_by_name(monitors, awaited_name) >= 0) {
        return DisplayChangeAction::resume;
    }
    return DisplayChangeAction::none;
}

}  // namespace kelvane
