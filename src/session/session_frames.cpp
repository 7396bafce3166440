// The frame loop of an attempt: what is drawn for a new frame, a timeout and a warp or colour change,
// and where the cursor goes.
#include "session/session_run.h"

namespace kelvane {
namespace {

[[nodiscard]] constexpr bool same_point(const CursorPoint& a, const CursorPoint& b) noexcept {
    return a.x == b.x && a.y == b.y;
}

}  // namespace

LoopEnd SessionRun::frame_loop() {
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

void SessionRun::on_timeout() {
    if (!force_redraw_ && same_point(read_cursor_position(), last_cursor_pos_) &&
        pointer_shown() == last_pointer_shown_) {
        return;
    }
    if (backend_.has_frame()) {
        cursor_draw();
    }
}

CursorPoint SessionRun::read_cursor_position() noexcept {
    CursorPoint position;
    if (!backend_.cursor_position(position)) {
        position = CursorPoint{unknown_cursor_coordinate, unknown_cursor_coordinate};
    }
    return position;
}

bool SessionRun::pointer_shown() noexcept {
    const std::int64_t hiding_before = channel_.cursor_hiding();
    const PointerSignals signals = backend_.pointer_signals();
    return pointer_visibility_.shown(signals, hiding_before, channel_.cursor_hiding());
}

void SessionRun::cursor_draw() {
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

}  // namespace kelvane
