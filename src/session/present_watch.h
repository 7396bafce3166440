// Whether the overlay shows the current picture, followed through the session's presents and the
// time without one: reports presenting at the first present after none, not presenting once nothing
// has been presented for a while (the overlay would only stand in the way), and waiting once per
// stretch without a present that lasts long enough for the user to be told.
#pragma once

#include <cstdint>

#include "session/session_backend.h"

namespace kelvane {

inline constexpr std::int64_t not_presenting_after_ms = 1000;
inline constexpr std::int64_t waiting_report_after_ms = 10000;

class PresentWatch {
public:
    explicit PresentWatch(SessionBackend& backend) noexcept : backend_(backend) {}

    // A stretch without a present begins: the run starts, or a draw or the capture failed.
    void stall() noexcept {
        if (stalled_since_ < 0) {
            stalled_since_ = backend_.clock_ms();
        }
    }

    void presented(bool ok) noexcept {
        if (!ok) {
            stall();
            return;
        }
        stalled_since_ = -1;
        waiting_reported_ = false;
        if (!presenting_) {
            presenting_ = true;
            backend_.report(SessionReport::presenting);
        }
    }

    // Called often (every frame turn, every pause slice): reports what the time without a present
    // amounts to. A mirror whose frames flow without a draw (a still desktop) has no such time.
    void watch() noexcept {
        if (stalled_since_ < 0) {
            return;
        }
        const std::int64_t stalled_ms = backend_.clock_ms() - stalled_since_;
        if (presenting_ && stalled_ms >= not_presenting_after_ms) {
            presenting_ = false;
            backend_.report(SessionReport::not_presenting);
        }
        if (!waiting_reported_ && stalled_ms >= waiting_report_after_ms) {
            waiting_reported_ = true;
            backend_.report(SessionReport::waiting);
        }
    }

private:
    SessionBackend& backend_;
    bool presenting_ = false;  // as last reported
    bool waiting_reported_ = false;
    std::int64_t stalled_since_ = -1;  // -1 while the picture is current
};

}  // namespace kelvane
