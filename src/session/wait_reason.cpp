// Why the mirror waits, from duplication's answers.
#include "session/session_backend.h"

namespace kelvane {

WaitReason wait_reason_for(std::uint32_t duplicate_result) noexcept {
    switch (duplicate_result) {
        case duplicate_access_denied:         // a lock screen or a secure prompt (E_ACCESSDENIED)
        case duplicate_session_disconnected:  // the session is not on the console
            return WaitReason::locked_desktop;
        case duplicate_not_currently_available:  // every duplication of the output is taken
            return WaitReason::duplication_busy;
        case duplicate_unsupported:
            return WaitReason::unsupported;
        default:
            return WaitReason::other;
    }
}

}  // namespace kelvane
