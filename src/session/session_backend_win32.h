// The session loop's operations over DXGI, Direct3D 11 and the overlay window, and the session
// thread's procedure. Everything here lives on the session thread.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <utility>

#include "capture/desktop_capture_win32.h"
#include "render/source_fit.h"
#include "render/warp_renderer_win32.h"
#include "session/session_backend.h"

namespace kelvane {

// Finds the adapter and output that show a monitor; find_output_for_monitor, or a test's stand-in.
using OutputFinder = std::function<bool(HMONITOR, ComPtr<IDXGIAdapter1>&, ComPtr<IDXGIOutput1>&, AdapterChoice&)>;

class SessionBackendWin32 final : public SessionBackend {
public:
    // Captures `monitor` and shows it, fitted as `fit` says, in `overlay` on `target` (the same monitor
    // when null).
    SessionBackendWin32(HWND overlay, HMONITOR monitor, OutputFinder find_output = find_output_for_monitor)
        : SessionBackendWin32(overlay, monitor, nullptr, SourceFit{}, std::move(find_output)) {}
    SessionBackendWin32(HWND overlay, HMONITOR monitor, HMONITOR target, const SourceFit& fit,
                        OutputFinder find_output = find_output_for_monitor)
        : overlay_(overlay),
          monitor_(monitor),
          target_(target != nullptr && target != monitor ? target : nullptr),
          fit_(fit),
          find_output_(std::move(find_output)) {}
    ~SessionBackendWin32() override { release_attempt(); }

    [[nodiscard]] bool find_output() override;
    [[nodiscard]] bool initialize_renderer(std::int32_t width, std::int32_t height) override;
    [[nodiscard]] bool make_pattern(std::int32_t width, std::int32_t height) override;
    [[nodiscard]] DuplicationStart start_duplication() override;
    void release_attempt() noexcept override;
    void release_capture() noexcept override;
    [[nodiscard]] std::uint32_t device_removed_reason() noexcept override;
    [[nodiscard]] bool follow_colour_settings() override;
    void update_warp(const WarpParams& params) override;
    [[nodiscard]] AcquireResult acquire_frame(unsigned timeout_ms) override;
    [[nodiscard]] bool has_frame() const noexcept override;
    [[nodiscard]] const CursorImage& cursor_image() const noexcept override;
    void set_cursor_image(std::int32_t width, std::int32_t height, const std::uint32_t* pixels,
                          bool screen_xor) override;
    [[nodiscard]] PointerSignals pointer_signals() noexcept override;
    [[nodiscard]] bool cursor_position(CursorPoint& position) noexcept override;
    [[nodiscard]] bool draw(DrawSource source, bool whole, bool cursor_visible, std::int32_t cursor_x,
                            std::int32_t cursor_y) override;
    void sleep_ms(unsigned milliseconds) noexcept override;
    [[nodiscard]] std::int64_t clock_ms() noexcept override;
    // Posted to the overlay window, whose owner on the user-interface thread acts on it.
    void report(SessionReport report) noexcept override;

private:
    [[nodiscard]] bool build_renderer(const OutputColour& colour);
    [[nodiscard]] bool follow_output_colour();
    void say_output_colour();
    // The output the overlay is shown on: the captured one, or the target's.
    [[nodiscard]] IDXGIOutput1* shown_output() const noexcept {
        return target_ != nullptr ? target_output_.Get() : output_.Get();
    }
    // What the frames' colours are scaled by when they are encoded for an SDR overlay: the captured
    // output's SDR white where it is HDR.
    void follow_source_white();
    void say_adapters();

    HWND overlay_;
    HMONITOR monitor_;
    HMONITOR target_;  // null: the overlay stands on the captured monitor
    SourceFit fit_;
    OutputFinder find_output_;
    ComPtr<IDXGIAdapter1> target_adapter_;
    ComPtr<IDXGIOutput1> target_output_;
    bool adapters_said_ = false;
    AdapterChoice adapter_choice_;  // for the whole run, which a display change ends
    // One attempt's objects, released in reverse order: pattern, capture, renderer, output, adapter.
    ComPtr<IDXGIAdapter1> adapter_;
    ComPtr<IDXGIOutput1> output_;
    WarpRenderer renderer_;
    std::optional<DesktopCapture> capture_;
    ComPtr<ID3D11ShaderResourceView> pattern_srv_;
    // The last frame of a capture that went (a lost duplication), shown until the next one has a frame.
    ComPtr<ID3D11ShaderResourceView> kept_frame_;
    HRESULT last_duplicate_result_ = S_OK;  // why duplication last failed to start
    CursorImage no_cursor_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    OutputColour asked_colour_;  // what the output reported when the renderer was made for it
    OutputColour said_colour_;   // what the log last said of the output's colour
};

}  // namespace kelvane
