// What one mirror run shows where: the monitor the overlay stands on, the monitor whose desktop is
// captured (the same one, or another), the part of that desktop shown and how it is fitted.
#pragma once

#include "display/monitor_list.h"
#include "settings/source_region.h"

namespace kelvane {

struct MirrorPlan {
    MonitorEntry target;  // the mirrored monitor: the overlay covers it
    MonitorEntry source;  // the monitor whose picture is shown; the target itself by default
    SourceRect region;    // the part of the source shown, in the source's pixels from its top-left corner
    FitMode fit = FitMode::contain;

    // The overlay does not stand over what is captured: the operator works on the source monitor.
    [[nodiscard]] bool separate_source() const { return source.device_name != target.device_name; }
};

// The plan that shows `monitor` on itself, whole.
[[nodiscard]] inline MirrorPlan self_mirror_plan(const MonitorEntry& monitor) {
    MirrorPlan plan;
    plan.target = monitor;
    plan.source = monitor;
    plan.region = SourceRect{0, 0, monitor.rect.right - monitor.rect.left, monitor.rect.bottom - monitor.rect.top};
    return plan;
}

}  // namespace kelvane
