// One mirror run on one monitor: the overlay over it, the session thread that draws into the overlay,
// the warp channel between the two, and the overlay's timers that keep it on top and hide the system
// cursor while it is over the mirror. The overlay is shown only while the session presents, and the
// cursor hidden only while it is shown. Made and ended on the main thread.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "display/monitor_list.h"
#include "session/magnification_win32.h"
#include "session/mirror_plan.h"
#include "session/overlay_win32.h"
#include "session/session_backend_win32.h"
#include "session/warp_channel.h"

namespace kelvane {

// Timers of the overlay while the mirror runs.
inline constexpr UINT_PTR topmost_timer_id = 1;
inline constexpr UINT topmost_timer_ms = 500;
inline constexpr UINT_PTR cursor_timer_id = 2;
inline constexpr UINT cursor_timer_ms = 100;

struct MirrorOptions {
    HINSTANCE instance = nullptr;
    bool pattern = false;              // the calibration pattern instead of the desktop
    bool exclude_from_capture = true;  // keep the overlay out of screen capture (and so out of the mirror)
    OutputFinder find_output = find_output_for_monitor;
    HWND report_window = nullptr;  // told when the mirror waits or its session ended for good
};

class MirrorSession final : private OverlayTimerSink {
public:
    // Puts the overlay over the plan's target and starts the session thread with `warp`, capturing the
    // plan's source; null, after logging, when either cannot be made.
    [[nodiscard]] static std::unique_ptr<MirrorSession> start(const MirrorOptions& options, const MirrorPlan& plan,
                                                              const WarpParams& warp, MagnificationApi& magnification);
    // Shows the cursor again, stops and joins the thread and only then destroys the overlay, whose
    // swap chain the thread has released by then.
    ~MirrorSession();
    MirrorSession(const MirrorSession&) = delete;
    MirrorSession& operator=(const MirrorSession&) = delete;

    // Hands new warp values to the running thread.
    void publish(const WarpParams& warp) { channel_.publish(warp); }
    // A pause of the thread before its next attempt ends at once.
    void wake() noexcept { channel_.wake(); }
    // Puts the overlay back on top when a visible window above it overlaps it.
    void keep_on_top() noexcept;
    // Hides the system cursor while the overlay is shown and the cursor is over it, shows it otherwise.
    // A mirror of another monitor never hides it: the operator works with it there.
    void update_cursor_visibility() noexcept;

    [[nodiscard]] HWND overlay() const noexcept { return overlay_; }
    [[nodiscard]] const RECT& rect() const noexcept { return rect_; }
    [[nodiscard]] const std::wstring& device_name() const noexcept { return device_name_; }
    [[nodiscard]] bool cursor_hidden() const noexcept { return cursor_hidden_; }
    [[nodiscard]] bool presenting() const noexcept { return presenting_; }
    // The session thread ended by itself (the mirror cannot run); the thread is still to be joined.
    [[nodiscard]] bool ended() const noexcept { return ended_; }

private:
    MirrorSession(const MirrorPlan& plan, MagnificationApi& magnification, HWND report_window);
    void on_overlay_timer(UINT_PTR id) override;
    void on_session_report(WPARAM report, LPARAM reason) override;
    void on_overlay_paint() override { channel_.request_redraw(); }
    void on_colour_settings_changed() override { channel_.colour_settings_changed(); }
    void set_presenting(bool presenting) noexcept;

    HWND overlay_ = nullptr;
    RECT rect_{};
    std::wstring device_name_;
    bool hides_cursor_ = true;  // the overlay stands over the captured monitor
    MagnificationApi& magnification_;
    HWND report_window_;
    bool cursor_hidden_ = false;
    bool presenting_ = false;
    bool ended_ = false;
    bool magnification_failure_logged_ = false;
    WarpChannel channel_;
    std::thread thread_;
};

}  // namespace kelvane
