// The operations the session loop needs from capture and rendering, one attempt at a time. The product
// implements them over DXGI, Direct3D 11 and the overlay window; tests implement them with a script.
// Every operation is called on the session thread only.
#pragma once

#include <cstdint>

#include "capture/capture_types.h"
#include "capture/pointer_shape.h"
#include "render/warp_geometry.h"
#include "session/pointer_visibility.h"

namespace kelvane {

// A point in desktop coordinates (POINT).
struct CursorPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// How starting desktop duplication went.
enum class DuplicationStart {
    started,
    failed,       // refused for now (a locked desktop, a UAC prompt, another session): try again later
    unsupported,  // not on this adapter (a hybrid-GPU laptop): try another adapter
};

// The image the warp pass samples: the capture's last frame, or the calibration pattern.
enum class DrawSource { frame, pattern };

// What the session tells the user-interface thread about the mirror.
enum class SessionReport {
    presenting,      // a frame has been presented: the overlay shows the mirror
    not_presenting,  // nothing presented for a while: the overlay would only stand in the way
    waiting,         // nothing presented for a long while: the user should learn why
    ended,           // the run ended for good without a stop request
};

// Why duplication keeps failing, as far as the system said (the last refusal).
enum class WaitReason : unsigned {
    other,
    locked_desktop,    // a lock screen, a UAC prompt, a disconnected session
    duplication_busy,  // another program holds duplication, or a full-screen program owns the output
    unsupported,       // this GPU cannot duplicate this output
};

// DuplicateOutput's answers that say why it cannot start now: E_ACCESSDENIED,
// DXGI_ERROR_SESSION_DISCONNECTED, DXGI_ERROR_NOT_CURRENTLY_AVAILABLE and DXGI_ERROR_UNSUPPORTED.
inline constexpr std::uint32_t duplicate_access_denied = 0x80070005;
inline constexpr std::uint32_t duplicate_session_disconnected = 0x887A0028;
inline constexpr std::uint32_t duplicate_not_currently_available = 0x887A0022;
inline constexpr std::uint32_t duplicate_unsupported = 0x887A0004;

// What DuplicateOutput's answer (an HRESULT) says of why duplication cannot start.
[[nodiscard]] WaitReason wait_reason_for(std::uint32_t duplicate_result) noexcept;

class SessionBackend {
public:
    SessionBackend() = default;
    virtual ~SessionBackend() = default;
    SessionBackend(const SessionBackend&) = delete;
    SessionBackend& operator=(const SessionBackend&) = delete;

    // Finds the adapter and output of the mirrored monitor; logs its own failure.
    [[nodiscard]] virtual bool find_output() = 0;
    // Builds the renderer on that adapter and the overlay window; ends by applying the default warp.
    [[nodiscard]] virtual bool initialize_renderer(std::int32_t width, std::int32_t height) = 0;
    // Makes the calibration pattern on the renderer's device; logs its own failure.
    [[nodiscard]] virtual bool make_pattern(std::int32_t width, std::int32_t height) = 0;
    // Starts desktop duplication of the output on the renderer's device, with a fresh capture.
    [[nodiscard]] virtual DuplicationStart start_duplication() = 0;
    // Releases everything the attempt made, whatever stage it reached: pattern, capture, renderer,
    // output and adapter, in that order.
    virtual void release_attempt() noexcept = 0;
    // Releases the capture only, keeping the renderer for the next start_duplication, and the
    // capture's last frame, which draws stay able to show until the next capture has a frame.
    virtual void release_capture() noexcept = 0;

    // Why the renderer's device was removed (GetDeviceRemovedReason: a driver update, a reset after a
    // timeout, a GPU gone); 0 while it works or when there is none. A removed device answers every call
    // with a failure and never recovers: only a new one helps.
    [[nodiscard]] virtual std::uint32_t device_removed_reason() noexcept = 0;

    // Reads the output's colour again (HDR or not, the SDR white level) and draws with it from the next
    // frame; false when the renderer cannot follow the change (HDR switched on or off) and the attempt
    // must be made again.
    [[nodiscard]] virtual bool follow_colour_settings() = 0;

    // The warp for the next draws; a capture whose frames come turned (a rotated display) is sampled
    // in the desktop's orientation.
    virtual void update_warp(const WarpParams& params) = 0;
    [[nodiscard]] virtual AcquireResult acquire_frame(unsigned timeout_ms) = 0;

    // What the loop reads of the capture.
    [[nodiscard]] virtual bool has_frame() const noexcept = 0;
    [[nodiscard]] virtual const CursorImage& cursor_image() const noexcept = 0;

    // `screen_xor`: as CursorImage::screen_xor.
    virtual void set_cursor_image(std::int32_t width, std::int32_t height, const std::uint32_t* pixels,
                                  bool screen_xor) = 0;
    // What the capture's last mouse update and the system (GetCursorInfo) say of the pointer's
    // visibility.
    [[nodiscard]] virtual PointerSignals pointer_signals() noexcept = 0;
    // The system cursor position (GetCursorPos); false when it cannot be read.
    [[nodiscard]] virtual bool cursor_position(CursorPoint& position) noexcept = 0;
    // Draws and presents what changed of one frame (everything with `whole`: a warp change, a repaint
    // after the overlay was hidden); the cursor image's top-left corner at (cursor_x, cursor_y) in
    // desktop pixels of the monitor. False when the picture could not be presented; true also when
    // nothing had changed and nothing needed presenting.
    [[nodiscard]] virtual bool draw(DrawSource source, bool whole, bool cursor_visible, std::int32_t cursor_x,
                                    std::int32_t cursor_y) = 0;
    virtual void sleep_ms(unsigned milliseconds) noexcept = 0;
    // A steady clock in milliseconds.
    [[nodiscard]] virtual std::int64_t clock_ms() noexcept = 0;
    // Hands a report to the user-interface thread without waiting for it.
    virtual void report(SessionReport report) noexcept = 0;
};

}  // namespace kelvane
