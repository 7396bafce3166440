// The Windows side of the session: output lookup, renderer, duplication or pattern, and the thread.
#include "session/session_backend_win32.h"

#include "platform/log.h"
#include "platform/platform.h"
#include "platform/utf8.h"
#include "render/output_colour_win32.h"
#include "render/pattern_texture_win32.h"
#include "session/overlay_win32.h"

namespace kelvane {

// The portable reading of duplication's refusals uses the SDK's values.
static_assert(duplicate_access_denied == static_cast<std::uint32_t>(E_ACCESSDENIED));
static_assert(duplicate_session_disconnected == static_cast<std::uint32_t>(DXGI_ERROR_SESSION_DISCONNECTED));
static_assert(duplicate_not_currently_available == static_cast<std::uint32_t>(DXGI_ERROR_NOT_CURRENTLY_AVAILABLE));
static_assert(duplicate_unsupported == static_cast<std::uint32_t>(DXGI_ERROR_UNSUPPORTED));

bool SessionBackendWin32::find_output() {
    last_duplicate_result_ = S_OK;
    if (!find_output_(monitor_, adapter_, output_, adapter_choice_)) {
        return false;
    }
    if (target_ == nullptr) {
        return true;
    }
    // The overlay's output tells its colour. Its adapter does not have to be the captured one's: the
    // device stays on the adapter that can duplicate, and presenting to a window on another adapter's
    // monitor is the system's to carry across.
    AdapterChoice any;
    if (!find_output_(target_, target_adapter_, target_output_, any)) {
        log_message("source: the mirrored monitor's output was not found");
        return false;
    }
    say_adapters();
    return true;
}

void SessionBackendWin32::say_adapters() {
    if (adapters_said_) {
        return;
    }
    adapters_said_ = true;
    DXGI_ADAPTER_DESC1 source{};
    DXGI_ADAPTER_DESC1 shown{};
    if (FAILED(adapter_->GetDesc1(&source)) || FAILED(target_adapter_->GetDesc1(&shown))) {
        return;
    }
    if (adapter_id(adapter_.Get()) == adapter_id(target_adapter_.Get())) {
        log_message("source: captured and shown on adapter '%s'", wide_to_utf8(source.Description).c_str());
    } else {
        log_message(
            "source: captured on adapter '%s', shown on a monitor of '%s': the frames are drawn on the "
            "capturing adapter and the system copies each present across",
            wide_to_utf8(source.Description).c_str(), wide_to_utf8(shown.Description).c_str());
    }
}

bool SessionBackendWin32::initialize_renderer(std::int32_t width, std::int32_t height) {
    width_ = width;
    height_ = height;
    return build_renderer(read_output_colour(shown_output()));
}

void SessionBackendWin32::follow_source_white() {
    if (target_ == nullptr) {
        return;  // the frames' white is the overlay's own
    }
    const OutputColour source = read_output_colour(output_.Get());
    renderer_.set_source_white(source.hdr ? source.sdr_white_nits : scrgb_unit_nits);
}

bool SessionBackendWin32::build_renderer(const OutputColour& colour) {
    if (!renderer_.initialize(adapter_.Get(), overlay_, width_, height_, colour)) {
        return false;
    }
    asked_colour_ = colour;
    say_output_colour();
    return true;
}

bool SessionBackendWin32::follow_output_colour() {
    // A renderer kept across refused duplications may predate a switch of HDR or of the white level.
    return follow_colour_settings() || build_renderer(read_output_colour(shown_output()));
}

bool SessionBackendWin32::follow_colour_settings() {
    renew_stale_output(output_);
    if (target_ != nullptr) {
        renew_stale_output(target_output_);
        follow_source_white();
    }
    const OutputColour colour = read_output_colour(shown_output());
    if (colour.hdr != asked_colour_.hdr) {
        return false;
    }
    if (colour.sdr_white_nits != asked_colour_.sdr_white_nits) {
        asked_colour_ = colour;
        renderer_.set_sdr_white(colour.sdr_white_nits);
        say_output_colour();
    }
    return true;
}

void SessionBackendWin32::say_output_colour() {
    const OutputColour& colour = renderer_.output_colour();
    if (colour.hdr && (!said_colour_.hdr || said_colour_.sdr_white_nits != colour.sdr_white_nits)) {
        log_message("renderer: HDR output, FP16 scRGB swap chain, SDR white %.0f nits",
                    static_cast<double>(colour.sdr_white_nits));
    }
    said_colour_ = colour;
}

bool SessionBackendWin32::make_pattern(std::int32_t width, std::int32_t height) {
    // The pattern calibrates the mirrored monitor itself: it is shown whole, whatever the source.
    renderer_.set_source_fit(SourceFit{});
    capture_.emplace();
    pattern_srv_ = kelvane::make_pattern(renderer_.device(), width, height);
    return pattern_srv_ != nullptr;
}

DuplicationStart SessionBackendWin32::start_duplication() {
    if (!follow_output_colour()) {
        return DuplicationStart::failed;
    }
    renderer_.set_source_fit(fit_);
    capture_.emplace();
    if (capture_->start_duplication(renderer_.device(), output_.Get())) {
        last_duplicate_result_ = S_OK;
        adapter_choice_.clear();
        return DuplicationStart::started;
    }
    last_duplicate_result_ = capture_->duplicate_result;
    // E_INVALIDARG: the device is not on the output's adapter. UNSUPPORTED: not on this adapter, or not
    // in this desktop mode or session at all, which is a refusal when no other adapter is left.
    const HRESULT hr = capture_->duplicate_result;
    if ((hr != DXGI_ERROR_UNSUPPORTED && hr != E_INVALIDARG) || !adapter_choice_.rule_out(adapter_id(adapter_.Get()))) {
        return DuplicationStart::failed;
    }
    DXGI_ADAPTER_DESC1 desc{};
    if (SUCCEEDED(adapter_->GetDesc1(&desc))) {
        log_message("capture: adapter '%s' cannot duplicate this monitor, trying another",
                    wide_to_utf8(desc.Description).c_str());
    }
    return DuplicationStart::unsupported;
}

void SessionBackendWin32::release_capture() noexcept {
    if (capture_ && capture_->has_frame) {
        kept_frame_ = capture_->frame_srv;
    }
    capture_.reset();
}

std::uint32_t SessionBackendWin32::device_removed_reason() noexcept {
    ID3D11Device* device = renderer_.device();
    return device != nullptr ? static_cast<std::uint32_t>(device->GetDeviceRemovedReason()) : 0;
}

void SessionBackendWin32::release_attempt() noexcept {
    pattern_srv_.Reset();
    capture_.reset();
    kept_frame_.Reset();
    renderer_.release_all();
    target_output_.Reset();
    target_adapter_.Reset();
    output_.Reset();
    adapter_.Reset();
}

void SessionBackendWin32::update_warp(const WarpParams& params) {
    // The pattern is drawn upright; a duplication's frames come in the panel's orientation.
    renderer_.update_warp(params,
                          capture_ && pattern_srv_ == nullptr ? capture_->output_rotation : output_rotation_identity);
}

AcquireResult SessionBackendWin32::acquire_frame(unsigned timeout_ms) {
    const AcquireResult result = capture_ ? capture_->acquire_frame(timeout_ms) : AcquireResult::Failed;
    if (result == AcquireResult::NewFrame && capture_->has_frame) {
        kept_frame_.Reset();
    }
    return result;
}

bool SessionBackendWin32::has_frame() const noexcept {
    return (capture_ && capture_->has_frame) || kept_frame_ != nullptr;
}

const CursorImage& SessionBackendWin32::cursor_image() const noexcept {
    return capture_ ? capture_->cursor : no_cursor_;
}

void SessionBackendWin32::set_cursor_image(std::int32_t width, std::int32_t height, const std::uint32_t* pixels,
                                           bool screen_xor) {
    renderer_.set_cursor_image(width, height, pixels, screen_xor);
}

PointerSignals SessionBackendWin32::pointer_signals() noexcept {
    PointerSignals signals;
    if (capture_) {
        signals.duplication = capture_->pointer;
    }
    CURSORINFO info{};
    info.cbSize = sizeof info;
    if (GetCursorInfo(&info) != FALSE) {
        // CURSOR_SUPPRESSED: the system draws no cursor while touch or pen is used.
        const bool showing = (info.flags & CURSOR_SHOWING) != 0 && (info.flags & CURSOR_SUPPRESSED) == 0;
        signals.system = showing ? PointerState::shown : PointerState::hidden;
    }
    return signals;
}

bool SessionBackendWin32::cursor_position(CursorPoint& position) noexcept {
    POINT point{};
    if (GetCursorPos(&point) == 0) {
        return false;
    }
    position = CursorPoint{point.x, point.y};
    return true;
}

bool SessionBackendWin32::draw(DrawSource source, bool whole, bool cursor_visible, std::int32_t cursor_x,
                               std::int32_t cursor_y) {
    // What changed since the last draw: in the capture's frame, the texels it copied; the pattern and a
    // kept frame never change (their first draw is whole, as every new image's is).
    Damage damage;
    ID3D11ShaderResourceView* view = kept_frame_.Get();
    if (source == DrawSource::pattern) {
        view = pattern_srv_.Get();
    } else if (capture_ && capture_->has_frame) {
        view = capture_->frame_srv.Get();
        damage = capture_->take_damage();
    }
    if (whole) {
        renderer_.redraw_everything();
    }
    return renderer_.draw(view, cursor_visible, cursor_x, cursor_y, damage);
}

void SessionBackendWin32::sleep_ms(unsigned milliseconds) noexcept {
    platform::sleep_ms(milliseconds);
}

std::int64_t SessionBackendWin32::clock_ms() noexcept {
    return static_cast<std::int64_t>(GetTickCount64());
}

void SessionBackendWin32::report(SessionReport report) noexcept {
    PostMessageW(overlay_, overlay_report_message, static_cast<WPARAM>(report),
                 static_cast<LPARAM>(wait_reason_for(static_cast<std::uint32_t>(last_duplicate_result_))));
}

}  // namespace kelvane
