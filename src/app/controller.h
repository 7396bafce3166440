// The application's decisions: the settings record and whether the mirror runs, and what every user
// action and display change does to them, when the file is written and when the mirror starts,
// stops, restarts or gets new warp values. Portable; it acts through an AppHost.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/app_host.h"
#include "app/notices.h"
#include "ui/user_actions.h"

namespace kelvane {

// A burst of display changes (a monitor waking, a dock) is acted on once it has been quiet this long.
inline constexpr unsigned display_settle_ms = 500;

class Controller final : public UserActions {
public:
    Controller(AppHost& host, Settings settings);
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;
    ~Controller() = default;

    // At start: the hotkey, and the mirror when the settings say it was on.
    void start();
    // The mirror on the saved monitor (or the topmost one), unless it runs; the settings stay.
    void start_mirror();
    // The mirror ends, if it runs; the settings stay.
    void stop_mirror();
    void save();
    // Tells the user once a run: a "notify:" log line and the host's notification.
    void notify(Notice notice);
    // The program runs for the first time here (no settings file yet): the user learns at start when
    // the default hotkey takes a character from the keyboard.
    void first_start() noexcept { first_start_ = true; }
    // The mirror cannot run on this system at all: starting it only tells the user `why`.
    void refuse_mirror(Notice why) noexcept {
        refusal_ = why;
        mirror_refused_ = true;
    }

    [[nodiscard]] const Settings& settings() const noexcept { return settings_; }
    [[nodiscard]] bool running() const noexcept { return running_; }

    void toggle_mirror() override;
    void open_menu() override;
    void command(unsigned id) override;
    void display_changed() override;
    void display_settled() override;
    void desktop_switched() override;
    void mirror_waiting(WaitReason reason) override;
    void mirror_ended() override;
    void warp_edited(const WarpParams& warp, bool finished) override;
    void warp_reset() override;
    void adjust_closed() override;
    bool hotkey_chosen(const Hotkey& hotkey) override;
    void remote_command(RemoteCommand sent) override;
    void region_chosen(const MonitorRect& rect) override;
    void region_cancelled() override;

private:
    // Starts on the monitor with device interface path `id` or device name `device_name` when it is
    // there, else as start_mirror chooses.
    void start_mirror_on(const std::wstring& id, const std::wstring& device_name);
    void restart_mirror();
    void choose_monitor(const MonitorEntry* entry);  // null: automatic
    void choose_source(const MonitorEntry* entry);   // null: the mirrored monitor itself
    void open_region_picker();
    // The position in `monitors` of the running mirror's monitor, or of the one a start would choose.
    [[nodiscard]] int mirrored_position(const std::vector<MonitorEntry>& monitors) const noexcept;
    // The position of the source the settings name for a mirror on `target`: `target` itself when
    // they name none; -1 when the named one is not attached.
    [[nodiscard]] int source_position(const std::vector<MonitorEntry>& monitors, int target) const noexcept;
    // source_position for the mirror at `mirrored` (-1: none, and so no source).
    [[nodiscard]] int source_of_mirror(const std::vector<MonitorEntry>& monitors, int mirrored) const noexcept;
    // The settings' region and fit of `source` shown on `target`; a region that a mode change left
    // past the monitor is cut to it or given up, and logged.
    [[nodiscard]] MirrorPlan plan_mirror(const MonitorEntry& source, const MonitorEntry& target) const;
    // A warp value changed from the menu: keep it, hand it to the mirror, show it in the open window.
    void warp_changed_from_menu();
    void open_adjust_window();
    void toggle_start_with_windows();
    // As notify, with a text of its own.
    void notify(Notice notice, const std::string& text);

    AppHost& host_;
    Settings settings_;
    bool running_ = false;
    std::wstring mirrored_name_;  // device name of the monitor the running mirror shows
    std::wstring mirrored_id_;    // and its device interface path
    std::wstring awaited_name_;   // the monitor a mirror stopped by its going waits for
    std::wstring awaited_id_;
    std::vector<MonitorEntry> menu_monitors_;  // the monitors as the last menu listed them
    std::array<bool, notice_count> notified_{};
    bool mirror_refused_ = false;
    bool paused_for_region_ = false;  // stopped while a region of its own monitor is chosen
    bool first_start_ = false;
    Notice refusal_ = Notice::old_windows;
};

}  // namespace kelvane
