// The session loop: attempts, the frame loop and the cursor draw.
#include "session/session_loop.h"

#include "platform/log.h"

namespace kelvane {

namespace {

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

[[nodiscard]] constexpr bool same_point(const CursorPoint& a, const CursorPoint& b) noexcept {
    return a.x == b.x && a.y == b.y;
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

    void run() {
        if (stop_requested()) {
            return;
        }
        watch_.stall();
        AttemptEnd end = AttemptEnd::retry;
        while ((end = attempt()) == AttemptEnd::retry && !stop_requested()) {
        }
        if (renderer_kept_) {
            backend_.release_attempt();
            renderer_kept_ = false;
        }
        if (end == AttemptEnd::end_run && !stop_requested()) {
            backend_.report(SessionReport::ended);
        }
    }

private:
    [[nodiscard]] bool stop_requested() const noexcept { return channel_.stop_requested(); }

    // As wait_unless_stopped, watching the time without a present at every slice.
    void pause(unsigned limit_ms) noexcept {
        for (unsigned elapsed = 0; !stop_requested() && !channel_.take_wake() && elapsed < limit_ms;
             elapsed += pause_slice_ms) {
            backend_.sleep_ms(pause_slice_ms);
            watch_.watch();
        }
    }

    [[nodiscard]] AttemptEnd attempt() {
        // A wake-up that came while the mirror ran (or before) is for a pause still to come only; the
        // attempt reads the output's colour itself.
        static_cast<void>(channel_.take_wake());
        static_cast<void>(channel_.take_colour_change());
        if (!renderer_kept_) {
            if (!backend_.find_output()) {
                pause(find_output_retry_pause_ms);
                backend_.release_attempt();
                return AttemptEnd::retry;
            }
            if (!backend_.initialize_renderer(width_, height_)) {
                pause(renderer_retry_pause_ms);
                backend_.release_attempt();
                return AttemptEnd::retry;
            }
        }
        renderer_kept_ = false;
        if (pattern_) {
            if (!backend_.make_pattern(width_, height_)) {
                backend_.release_attempt();
                return AttemptEnd::end_run;
            }
        } else {
            switch (backend_.start_duplication()) {
                case DuplicationStart::started:
                    duplication_failures_ = 0;
                    break;
                case DuplicationStart::failed:
                    if (rebuilt_for_removed_device()) {
                        return AttemptEnd::retry;
                    }
                    pause(duplication_retry_pause(duplication_failures_));
                    ++duplication_failures_;
                    if (duplication_failures_ % duplication_failures_per_rebuild == 0) {
                        backend_.release_attempt();
                    } else {
                        backend_.release_capture();
                        renderer_kept_ = true;
                    }
                    return AttemptEnd::retry;
                case DuplicationStart::unsupported:
                    // The next attempt finds the monitor's output on another adapter: all goes.
                    pause(duplication_retry_pause_ms);
                    backend_.release_attempt();
                    return AttemptEnd::retry;
            }
        }

        backend_.update_warp(channel_.take());

        idle_ms_ = 0;
        force_redraw_ = true;
        last_generation_ = 0;
        last_cursor_pos_ = CursorPoint{unknown_cursor_coordinate, unknown_cursor_coordinate};
        const LoopEnd end = stop_requested() ? LoopEnd::stop_requested : frame_loop();
        if (end != LoopEnd::stop_requested) {
            watch_.stall();
        }
        if (end != LoopEnd::stop_requested && rebuilt_for_removed_device()) {
            return AttemptEnd::retry;
        }
        if (end == LoopEnd::duplication_lost || end == LoopEnd::capture_failed) {
            log_message("session: duplication lost, reinitializing");
            pause(reinitialize_pause_ms);
            if (end == LoopEnd::duplication_lost && !stop_requested()) {
                // The device still works: only the duplication is made again, and the overlay keeps
                // the last picture meanwhile instead of going black for a whole rebuild.
                backend_.release_capture();
                renderer_kept_ = true;
                return AttemptEnd::retry;
            }
        } else if (end == LoopEnd::colour_changed) {
            log_message("session: output colour changed, rebuilding");
        } else if (end == LoopEnd::draw_failed) {
            log_message("session: draw failed, reinitializing");
            pause(reinitialize_pause_ms);
        }
        backend_.release_attempt();
        return AttemptEnd::retry;
    }

    // A removed device fails whatever is made on it, for good: keeping the renderer would retry the
    // duplication on it with ever longer pauses. Everything is made again at once instead; only a
    // device that is removed again before anything was presented on it waits a little first.
    [[nodiscard]] bool rebuilt_for_removed_device() noexcept {
        const std::uint32_t reason = backend_.device_removed_reason();
        if (reason == 0) {
            removals_in_a_row_ = 0;
            return false;
        }
        log_message("session: GPU device removed (reason 0x%08X), rebuilding everything",
                    static_cast<unsigned>(reason));
        if (removals_in_a_row_++ > 0) {
            pause(reinitialize_pause_ms);
        }
        backend_.release_attempt();
        duplication_failures_ = 0;
        return true;
    }

    [[nodiscard]] LoopEnd frame_loop() {
        for (;;) {
            WarpParams params;
            if (channel_.take_if_changed(params)) {
                backend_.update_warp(params);
                force_redraw_ = true;
            }
            force_redraw_ = channel_.take_redraw() || force_redraw_;
            if (channel_.take_colour_change()) {
                if (!backend_.follow_colour_settings()) {
                    return LoopEnd::colour_changed;
                }
                force_redraw_ = true;
            }

            if (pattern_) {
                if (force_redraw_ || idle_ms_ >= pattern_refresh_ms) {
                    // A still pattern is drawn again only when asked to; the periodic draw finds a lost
                    // device without presenting. A draw that cannot present must not be repeated at
                    // once: it ends the attempt.
                    const bool drawn = backend_.draw(DrawSource::pattern, force_redraw_, false, 0, 0);
                    watch_.presented(drawn);
                    removals_in_a_row_ = drawn ? 0 : removals_in_a_row_;
                    if (!drawn) {
                        return LoopEnd::draw_failed;
                    }
                    force_redraw_ = false;
                    idle_ms_ = 0;
                } else {
                    // A still picture needs no drawing: wait as a capture waits for its next frame, so
                    // that a warp change or a stop is seen as soon.
                    backend_.sleep_ms(acquire_timeout_ms);
                    idle_ms_ += acquire_timeout_ms;
                }
            } else {
                switch (backend_.acquire_frame(acquire_timeout_ms)) {
                    case AcquireResult::NewFrame:
                        cursor_draw();
                        break;
                    case AcquireResult::Timeout:
                        on_timeout();
                        break;
                    case AcquireResult::AccessLost:
                        return LoopEnd::duplication_lost;
                    case AcquireResult::Failed:
                        return LoopEnd::capture_failed;
                }
            }
            watch_.watch();

            if (stop_requested()) {
                return LoopEnd::stop_requested;
            }
        }
    }

    // Without a new frame, the last one is drawn again only for a moved, shown or hidden cursor or a
    // forced redraw.
    void on_timeout() {
        if (!force_redraw_ && same_point(read_cursor_position(), last_cursor_pos_) &&
            pointer_shown() == last_pointer_shown_) {
            return;
        }
        if (backend_.has_frame()) {
            cursor_draw();
        }
    }

    [[nodiscard]] CursorPoint read_cursor_position() noexcept {
        CursorPoint position;
        if (!backend_.cursor_position(position)) {
            position = CursorPoint{unknown_cursor_coordinate, unknown_cursor_coordinate};
        }
        return position;
    }

    [[nodiscard]] bool pointer_shown() noexcept {
        const std::int64_t hiding_before = channel_.cursor_hiding();
        const PointerSignals signals = backend_.pointer_signals();
        return pointer_visibility_.shown(signals, hiding_before, channel_.cursor_hiding());
    }

    void cursor_draw() {
        const CursorImage& cursor = backend_.cursor_image();
        if (cursor.generation != last_generation_) {
            last_generation_ = cursor.generation;
            backend_.set_cursor_image(cursor.width, cursor.height, cursor.pixels.data(), cursor.screen_xor);
        }

        const CursorPoint position = read_cursor_position();
        last_pointer_shown_ = pointer_shown();
        const bool visible = rect_contains(shown_rect_, position.x, position.y) && last_pointer_shown_;
        // The frame is drawn in the desktop's orientation whatever the display's rotation, so the sprite,
        // which comes upright, goes where the pointer is, in the captured monitor's pixels.
        std::int32_t x = 0;
        std::int32_t y = 0;
        if (visible) {
            x = to_int32(std::int64_t{position.x} - source_rect_.left - cursor.hotspot_x);
            y = to_int32(std::int64_t{position.y} - source_rect_.top - cursor.hotspot_y);
        }
        // In capture mode a failed draw ends nothing (the next acquire tells whether the device and
        // the duplication still work); it only counts as time without a present.
        const bool drawn = backend_.draw(DrawSource::frame, force_redraw_, visible, x, y);
        watch_.presented(drawn);
        removals_in_a_row_ = drawn ? 0 : removals_in_a_row_;
        last_cursor_pos_ = position;
        force_redraw_ = false;
    }

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

}  // namespace

unsigned duplication_retry_pause(unsigned failures_in_a_row) noexcept {
    unsigned pause = duplication_retry_pause_ms;
    for (unsigned i = 0; i < failures_in_a_row && pause < duplication_retry_pause_max_ms; ++i) {
        pause *= 2;
    }
    return pause < duplication_retry_pause_max_ms ? pause : duplication_retry_pause_max_ms;
}

void wait_unless_stopped(SessionBackend& backend, WarpChannel& channel, unsigned limit_ms) noexcept {
    for (unsigned elapsed = 0; !channel.stop_requested() && !channel.take_wake() && elapsed < limit_ms;
         elapsed += pause_slice_ms) {
        backend.sleep_ms(pause_slice_ms);
    }
}

void run_session(SessionBackend& backend, WarpChannel& channel, const SessionTarget& target) {
    SessionRun(backend, channel, target).run();
}

}  // namespace kelvane
