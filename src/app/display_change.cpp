// The display-change rule.
#include "app/display_change.h"

namespace kelvane {

DisplayChangeAction decide_display_change(bool running, const std::vector<MonitorEntry>& monitors, MonitorKey mirrored,
                                          MonitorKey awaited, MonitorKey source) noexcept {
    const bool source_gone =
        (!source.id.empty() || !source.name.empty()) && find_monitor(monitors, source.id, source.name) < 0;
    if (running) {
        if (find_monitor(monitors, mirrored.id, mirrored.name) < 0) {
            return DisplayChangeAction::wait;
        }
        return source_gone ? DisplayChangeAction::wait_for_source : DisplayChangeAction::restart;
    }
    if (find_monitor(monitors, awaited.id, awaited.name) >= 0 && !source_gone) {
        return DisplayChangeAction::resume;
    }
    return DisplayChangeAction::none;
}

}  // namespace kelvane
