// The session thread's work for one mirror run: attempts that find the output, build the renderer and
// start the source, the frame loop with its redraw and cursor rules, and the interruptible pauses
// between attempts. Retries have no limit; the run ends on a stop request, or for good when the
// calibration pattern cannot be made. A lost duplication keeps the renderer and the last picture,
// unless the device itself was removed. The cursor is drawn while the desktop shows it.
#pragma once

#include <cstdint>
#include <limits>

#include "display/monitor_list.h"
#include "render/warp_geometry.h"
#include "session/present_watch.h"
#include "session/session_backend.h"
#include "session/warp_channel.h"

namespace kelvane {

// About one refresh period at 60 Hz: the loop wakes at frame rate to follow the cursor and see a stop.
inline constexpr unsigned acquire_timeout_ms = 16;
// A still calibration pattern is drawn again at least this often, so that a lost device shows and the
// picture comes back, although nothing changed.
inline constexpr unsigned pattern_refresh_ms = 1000;
// Pauses sleep in slices of this length and end early on a stop request.
inline constexpr unsigned pause_slice_ms = 50;
// Pauses before the next attempt, by the stage that failed.
inline constexpr unsigned find_output_retry_pause_ms = 1000;
inline constexpr unsigned renderer_retry_pause_ms = 1000;
inline constexpr unsigned duplication_retry_pause_ms = 500;
// Duplication that cannot start again and again (a locked desktop, a UAC prompt, another session):
// the pause doubles with each failure in a row up to this, and the renderer is rebuilt only every
// few failures (in case the device was lost meanwhile).
inline constexpr unsigned duplication_retry_pause_max_ms = 4000;
inline constexpr unsigned duplication_failures_per_rebuild = 4;
inline constexpr unsigned reinitialize_pause_ms = 300;

// The cursor position used when it cannot be read; it lies on no monitor.
inline constexpr std::int32_t unknown_cursor_coordinate = std::numeric_limits<std::int32_t>::min();

// What is fixed for the whole run.
struct SessionTarget {
    SessionTarget() = default;
    SessionTarget(const MonitorRect& monitor, bool calibration, const MonitorRect& source = {},
                  const MonitorRect& shown = {}) noexcept
        : monitor_rect(monitor), pattern(calibration), source_rect(source), shown_rect(shown) {}

    MonitorRect monitor_rect;  // the mirrored monitor's desktop rectangle
    bool pattern = false;      // calibration mode instead of capture
    // The captured monitor's desktop rectangle and the part of it shown (desktop pixels); both empty:
    // the mirrored monitor, whole. The cursor is drawn while the pointer is inside the shown part.
    MonitorRect source_rect;
    MonitorRect shown_rect;
};

// The pause after the n-th (from 0) failure in a row to start duplication.
[[nodiscard]] unsigned duplication_retry_pause(unsigned failures_in_a_row) noexcept;

// Sleeps up to `limit_ms` in slices, returning as soon as a stop is requested or a wake-up comes.
void wait_unless_stopped(SessionBackend& backend, WarpChannel& channel, unsigned limit_ms) noexcept;

// Runs the session until a stop is requested (or the pattern cannot be made, reported as the run's
// end); returns with every object of the last attempt released. Reports presenting at the first
// present after none, not presenting once nothing has been presented for a while.
void run_session(SessionBackend& backend, WarpChannel& channel, const SessionTarget& target);

}  // namespace kelvane
