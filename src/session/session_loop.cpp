// The session loop: the run and its attempts.
#include "platform/log.h"
#include "session/session_run.h"

namespace kelvane {

void SessionRun::run() {
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

void SessionRun::pause(unsigned limit_ms) noexcept {
    for (unsigned elapsed = 0; !stop_requested() && !channel_.take_wake() && elapsed < limit_ms;
         elapsed += pause_slice_ms) {
        backend_.sleep_ms(pause_slice_ms);
        watch_.watch();
    }
}

AttemptEnd SessionRun::attempt() {
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

bool SessionRun::rebuilt_for_removed_device() noexcept {
    const std::uint32_t reason = backend_.device_removed_reason();
    if (reason == 0) {
        removals_in_a_row_ = 0;
        return false;
    }
    log_message("session: GPU device removed (reason 0x%08X), rebuilding everything", static_cast<unsigned>(reason));
    if (removals_in_a_row_++ > 0) {
        pause(reinitialize_pause_ms);
    }
    backend_.release_attempt();
    duplication_failures_ = 0;
    return true;
}

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
