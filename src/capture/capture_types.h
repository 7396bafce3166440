// What desktop capture reports to its user, free of Windows headers so that the session loop, which
// decides on these values, is built and tested natively: the result of one frame acquisition and the
// output rotations (the values of DXGI_MODE_ROTATION) and what duplication says of the pointer.
#pragma once

#include <cstdint>

namespace kelvane {

enum class AcquireResult {
    NewFrame = 0,    // a frame was copied into the capture's own texture; has_frame is set
    Timeout = 1,     // nothing new within the timeout
    AccessLost = 2,  // the duplication is unusable and must be opened again
    Failed = 3,      // no duplication, or the acquisition or the copy failed
};

// Whether a source says that the desktop shows the pointer.
enum class PointerState : std::uint8_t { unknown, shown, hidden };

// The pointer as duplication reported it with its last mouse update (PointerPosition.Visible). It is
// hidden also while the pointer is on another output.
struct ReportedPointer {
    PointerState state = PointerState::unknown;
    std::int64_t update_time = 0;  // LastMouseUpdateTime of that update (QueryPerformanceCounter)
};

inline constexpr std::uint32_t output_rotation_identity = 1;
inline constexpr std::uint32_t output_rotation_90 = 2;
inline constexpr std::uint32_t output_rotation_180 = 3;
inline constexpr std::uint32_t output_rotation_270 = 4;

}  // namespace kelvane
