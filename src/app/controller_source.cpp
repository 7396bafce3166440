// The controller's part in what the mirror shows: the source monitor and region of the settings
// turned into a plan for a start, the "Source" submenu's choices and the region selection window.
#include <utility>

#include "app/controller.h"
#include "platform/log.h"

namespace kelvane {

int Controller::mirrored_position(const std::vector<MonitorEntry>& monitors) const noexcept {
    if (running_) {
        return find_monitor(monitors, mirrored_id_, mirrored_name_);
    }
    const int saved = find_monitor(monitors, settings_.monitor_id, settings_.monitor);
    return saved >= 0 ? saved : pick_topmost_monitor(monitors);
}

int Controller::source_of_mirror(const std::vector<MonitorEntry>& monitors, int mirrored) const noexcept {
    return mirrored >= 0 ? source_position(monitors, mirrored) : -1;
}

int Controller::source_position(const std::vector<MonitorEntry>& monitors, int target) const noexcept {
    if (settings_.source_monitor.empty() && settings_.source_monitor_id.empty()) {
        return target;
    }
    return find_monitor(monitors, settings_.source_monitor_id, settings_.source_monitor);
}

MirrorPlan Controller::plan_mirror(const MonitorEntry& source, const MonitorEntry& target) const {
    MirrorPlan plan = self_mirror_plan(source);
    plan.target = target;
    plan.fit = settings_.fit;
    const std::int32_t width = source.rect.right - source.rect.left;
    const std::int32_t height = source.rect.bottom - source.rect.top;
    RegionProblem problem = RegionProblem::none;
    const RegionOnMonitor placed = place_source_region(settings_.source_region, width, height, problem);
    // A text that cannot be read was logged when the settings were read; what a mode change did to a
    // region that was fine is told here, each start, while the text itself stays for the mode it was
    // chosen in.
    if (placed.outside) {
        log_message("source: region %s lies outside %dx%d; showing the whole monitor", settings_.source_region.c_str(),
                    width, height);
    } else if (placed.clamped) {
        log_message("source: region %s reaches past %dx%d; showing %s", settings_.source_region.c_str(), width, height,
                    format_source_region(placed.rect).c_str());
    }
    plan.region = placed.rect;
    return plan;
}

// A region belongs to its monitor: another source shows whole until a region of it is chosen.
void Controller::choose_source(const MonitorEntry* entry) {
    const std::wstring name = entry != nullptr ? entry->device_name : std::wstring();
    const std::wstring id = entry != nullptr ? entry->id : std::wstring();
    if (name != settings_.source_monitor || id != settings_.source_monitor_id) {
        settings_.source_region.clear();
    }
    settings_.source_monitor = name;
    settings_.source_monitor_id = id;
    save();
    if (running_) {
        restart_mirror();
    }
}

void Controller::open_region_picker() {
    const std::vector<MonitorEntry> monitors = host_.monitors();
    const int mirrored = mirrored_position(monitors);
    const int source = source_of_mirror(monitors, mirrored);
    if (source < 0) {
        log_message("region: the source monitor is not attached; nothing to choose from");
        return;
    }
    // The user must see the desktop itself, not the mirror over it, to choose a part of it.
    if (running_ && source == mirrored) {
        stop_mirror();
        paused_for_region_ = true;
    }
    if (!host_.open_region_picker(monitors[static_cast<std::size_t>(source)].rect)) {
        region_cancelled();
    }
}

void Controller::region_chosen(const MonitorRect& rect) {
    const std::vector<MonitorEntry> monitors = host_.monitors();
    const int source = source_of_mirror(monitors, mirrored_position(monitors));
    if (source < 0) {
        log_message("region: the source monitor went while choosing; nothing changed");
        region_cancelled();
        return;
    }
    const MonitorRect& monitor = monitors[static_cast<std::size_t>(source)].rect;
    const SourceRect relative{rect.left - monitor.left, rect.top - monitor.top, rect.right - rect.left,
                              rect.bottom - rect.top};
    const RegionOnMonitor placed = place_region(relative, monitor.right - monitor.left, monitor.bottom - monitor.top);
    if (placed.whole) {
        log_message("region: the choice lies outside the source monitor; nothing changed");
        region_cancelled();
        return;
    }
    settings_.source_region = format_source_region(placed.rect);
    log_message("region: source_region=%s saved", settings_.source_region.c_str());
    save();
    const bool restart = running_ || std::exchange(paused_for_region_, false);
    stop_mirror();
    if (restart) {
        start_mirror();
    }
}

void Controller::region_cancelled() {
    if (std::exchange(paused_for_region_, false)) {
        start_mirror();
    }
}

}  // namespace kelvane
