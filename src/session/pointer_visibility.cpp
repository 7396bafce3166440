// The pointer visibility rule.
#include "session/pointer_visibility.h"

namespace kelvane {

bool PointerVisibility::shown(const PointerSignals& signals, std::int64_t hiding_before,
                              std::int64_t hiding_after) noexcept {
    const bool ours = hiding_before != cursor_hiding_off || hiding_after != cursor_hiding_off;
    // Our hiding was in effect all through the read, from a known time on.
    const bool settled = hiding_before == hiding_after && hiding_after > 0;
    const ReportedPointer& reported = signals.duplication;
    if (settled && signals.system == PointerState::shown) {
        system_beyond_our_hiding_ = true;
    }
    // A report is only evidence when its mouse update was made after our hiding took effect; an older
    // one still shows the pointer as it was before.
    if (settled && reported.state == PointerState::shown && reported.update_time > hiding_after) {
        duplication_beyond_our_hiding_ = true;
    }
    if (ours) {
        update_seen_while_hiding_ = reported.update_time;
    }
    const bool report_maybe_ours = ours || reported.update_time == update_seen_while_hiding_;

    const bool system_hides = signals.system == PointerState::hidden && (!ours || system_beyond_our_hiding_);
    const bool duplication_hides =
        reported.state == PointerState::hidden && (!report_maybe_ours || duplication_beyond_our_hiding_);
    return !system_hides && !duplication_hides;
}

}  // namespace kelvane
