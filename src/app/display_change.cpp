// The display-change rule.
#include "app/display_change.h"

namespace kelvane {

DisplayChangeAction decide_display_change(bool running, const std::vector<MonitorEntry>& monitors, MonitorKey mirrored,
                                          MonitorKey awaited) noexcept {
    if (running) {
        return find_monitor(monitors, mirrored.id, mirrored.name) < 0 ? DisplayChangeAction::wait
                                                                      : DisplayChangeAction::restart;
    }
    if (find_monitor(monitors, awaited.id, awaited.name) >= 0) {
        return DisplayChangeAction::resume;
    }
    return DisplayChangeAction::none;
}

}  // namespace kelvane
