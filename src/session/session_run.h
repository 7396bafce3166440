// The state of one session run and its two halves: the attempts (session_loop.cpp), each finding the
// output, building the renderer and starting the source, and the frame loop with its redraw and cursor
// rules (session_frames.cpp). Used by those two files only.
#pragma once

#include <cstdint>

#include "session/pointer_visibility.h"
#include "session/session_loop.h"

namespace kelvane {

// Why the frame loop of an attempt ended.
enum class LoopEnd {
    stop_requested,
    duplication_lost,  // AccessLost: a mode change, a secure desktop, a full-screen program
    capture_failed,    // any other failure of the capture, the device's loss among them
    draw_failed,       // calibration mode: the pattern could not be presented (a lost device)
    colour_changed,    // the output's colour changed beyond what the renderer can follow
};

enum class AttemptEnd {
    retry,    // next attempt, unless a stop was requested
    end_run,  // the calibration pattern cannot be made: no retry
};

[[nodiscard]] constexpr bool is_empty(const MonitorRect& rect) noexcept {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

// Sums of a few 32-bit values formed in 64 bits and brought back to 32 bits, so that no corrupt hot
// spot or size can overflow.
[[nodiscard]] constexpr std::int32_t to_int32(std::int64_t value) noexcept {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

class SessionRun {
public:
    SessionRun(SessionBackend& backend, WarpChannel& channel, const SessionTarget& target) noexcept
        : backend_(backend),
          channel_(channel),
          rect_(target.monitor_rect),
          source_rect_(is_empty(target.source_rect) ? target.monitor_rect : target.source_rect),
          shown_rect_(is_empty(target.shown_rect) ? source_rect_ : target.shown_rect),
          pattern_(target.pattern),
          width_(to_int32(static_cast<std::int64_t>(rect_.right) - rect_.left)),
          height_(to_int32(static_cast<std::int64_t>(rect_.bottom) - rect_.top)) {}

    void run();

private:
    [[nodiscard]] bool stop_requested() const noexcept { return channel_.stop_requested(); }

    // As wait_unless_stopped, watching the time without a present at every slice.
    void pause(unsigned limit_ms) noexcept;

    [[nodiscard]] AttemptEnd attempt();

    // A removed device fails whatever is made on it, for good: keeping the renderer would retry the
    // duplication on it with ever longer pauses. Everything is made again at once instead; only a
    // device that is removed again before anything was presented on it waits a little first.
    [[nodiscard]] bool rebuilt_for_removed_device() noexcept;

    [[nodiscard]] LoopEnd frame_loop();

    // Without a new frame, the last one is drawn again only for a moved, shown or hidden cursor or a
    // forced redraw.
    void on_timeout();

    [[nodiscard]] CursorPoint read_cursor_position() noexcept;

    [[nodiscard]] bool pointer_shown() noexcept;

    void cursor_draw();

    SessionBackend& backend_;
    WarpChannel& channel_;
    const MonitorRect rect_;
    const MonitorRect source_rect_;  // the captured monitor
    const MonitorRect shown_rect_;   // the part of it the mirror shows
    const bool pattern_;
    const std::int32_t width_;
    const std::int32_t height_;

    bool force_redraw_ = true;
    unsigned idle_ms_ = 0;               // calibration mode: time since the last draw
    unsigned duplication_failures_ = 0;  // in a row
    bool renderer_kept_ = false;         // the last attempt ended at the duplication only
    unsigned removals_in_a_row_ = 0;     // device removals without a present on a new device between
    PresentWatch watch_{backend_};
    std::uint64_t last_generation_ = 0;
    CursorPoint last_cursor_pos_{unknown_cursor_coordinate, unknown_cursor_coordinate};
    PointerVisibility pointer_visibility_;  // for the whole run: what it learnt of our hiding stays true
    bool last_pointer_shown_ = true;        // as the last cursor draw decided
};

}  // namespace kelvane
