// Whether the desktop shows the pointer, so that the mirror draws it only when the desktop would: an
// application that hides it (a prompter while the script scrolls, a game), Windows hiding it while
// the user types, touch or pen input all hide the drawn cursor too.
//
// Two signals say so. Duplication reports with each mouse update whether the hardware cursor is
// visible (PointerPosition.Visible); GetCursorInfo says whether the cursor is showing, hidden or
// suppressed (touch and pen). Neither is documented to ignore the mirror's own hiding of the system
// cursor over the monitor (MagShowSystemCursor), and on some Windows versions that hiding does take
// the cursor out of capture. So while our hiding may be in effect, a signal that says "hidden" is
// believed only once the same signal has said "shown" during our hiding, which proves that our
// hiding does not reach it. A signal that our hiding does reach is left aside while it lasts.
#pragma once

#include <cstdint>

#include "capture/capture_types.h"

namespace kelvane {

// The mirror's own hiding of the system cursor, as the user-interface thread publishes it: off, being
// switched on or off (in effect or not), or else the QueryPerformanceCounter time from which it is
// in effect.
inline constexpr std::int64_t cursor_hiding_off = 0;
inline constexpr std::int64_t cursor_hiding_changing = -1;

struct PointerSignals {
    ReportedPointer duplication;                  // the last mouse update of the capture
    PointerState system = PointerState::unknown;  // GetCursorInfo: showing, or hidden or suppressed
};

class PointerVisibility {
public:
    // `hiding_before` and `hiding_after`: our hiding as published just before and just after the
    // system signal was read. False only when a signal that can be believed says the pointer is hidden.
    [[nodiscard]] bool shown(const PointerSignals& signals, std::int64_t hiding_before,
                             std::int64_t hiding_after) noexcept;

private:
    bool system_beyond_our_hiding_ = false;       // GetCursorInfo said "showing" while we hid the cursor
    bool duplication_beyond_our_hiding_ = false;  // so did a mouse update made while we hid it
    // The update time of a duplication report seen while our hiding may have been in effect: our hiding
    // may have made it, so it is not believed once our hiding ends either, until the next update.
    std::int64_t update_seen_while_hiding_ = -1;
};

}  // namespace kelvane
