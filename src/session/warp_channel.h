// What the session thread shares with the user-interface thread: the warp values with their lock and
// change flag, the stop flag, and whether the user side hides the system cursor. The user side publishes values and
// asks for the stop; the session side takes the values and watches the flag. The only lock between the two threads.
//
// The hand-off: values under the lock, the flag raised after them and lowered before they are read,
// so that no publication is lost between a read and the lowering. The lock is a parameter so that a
// test can step the other side in at the moment a read lets go of it; the program uses std::mutex.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "settings/warp_params.h"

namespace kelvane {

template <class Lock>
class BasicWarpChannel {
public:
    BasicWarpChannel() = default;
    BasicWarpChannel(const BasicWarpChannel&) = delete;
    BasicWarpChannel& operator=(const BasicWarpChannel&) = delete;

    // Before a run starts: these values, nothing pending, no stop.
    void reset(const WarpParams& params) {
        {
            const std::lock_guard<Lock> guard(lock_);
            params_ = params;
        }
        changed_.exchange(false);
        stop_requested_.exchange(false);
    }
    // Stores all five values at once, then raises the change flag.
    void publish(const WarpParams& params) {
        {
            const std::lock_guard<Lock> guard(lock_);
            params_ = params;
        }
        changed_.exchange(true);
    }
    void request_stop() noexcept { stop_requested_.exchange(true); }
    // Something that may let a failed attempt succeed happened (a desktop switch, an unlock, a new
    // display layout): a pause before the next attempt ends at once.
    void wake() noexcept { wake_requested_.exchange(true); }
    // The overlay needs its content again (shown, uncovered): a window swap chain does not keep what
    // it presented while hidden, so the last frame is drawn again.
    void request_redraw() noexcept { redraw_requested_.exchange(true); }
    // The user changed the display's colour settings (HDR, the SDR content brightness), which sends no
    // display change: the output's colour is read again before the next frame.
    void colour_settings_changed() noexcept { colour_changed_.exchange(true); }
    [[nodiscard]] bool take_colour_change() noexcept { return colour_changed_.exchange(false); }
    // The mirror's own hiding of the system cursor: cursor_hiding_off, cursor_hiding_changing, or the
    // time from which it is in effect (see PointerVisibility).
    void set_cursor_hiding(std::int64_t hiding) noexcept { cursor_hiding_.store(hiding); }
    [[nodiscard]] std::int64_t cursor_hiding() const noexcept { return cursor_hiding_.load(); }

    [[nodiscard]] bool stop_requested() const noexcept { return stop_requested_.load(); }
    // Whether a wake-up came since the last call.
    [[nodiscard]] bool take_wake() noexcept { return wake_requested_.exchange(false); }
    [[nodiscard]] bool take_redraw() noexcept { return redraw_requested_.exchange(false); }
    // The current values, whether or not they changed; a publication after this call is taken by the
    // next take_if_changed. For the first warp of an attempt.
    [[nodiscard]] WarpParams take() {
        changed_.exchange(false);
        const std::lock_guard<Lock> guard(lock_);
        return params_;
    }
    // The values when they changed since the last take; false (and `params` untouched) otherwise.
    [[nodiscard]] bool take_if_changed(WarpParams& params) {
        if (!changed_.exchange(false)) {
            return false;
        }
        const std::lock_guard<Lock> guard(lock_);
        params = params_;
        return true;
    }

private:
    std::atomic<bool> stop_requested_{false};
    std::atomic<bool> changed_{false};
    std::atomic<bool> wake_requested_{false};
    std::atomic<bool> redraw_requested_{false};
    std::atomic<bool> colour_changed_{false};
    std::atomic<std::int64_t> cursor_hiding_{0};
    Lock lock_;
    WarpParams params_;
};

extern template class BasicWarpChannel<std::mutex>;
using WarpChannel = BasicWarpChannel<std::mutex>;

}  // namespace kelvane
