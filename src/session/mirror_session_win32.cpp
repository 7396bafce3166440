// A mirror run: overlay and thread up in that order, down in the reverse one.
#include "session/mirror_session_win32.h"

#include <system_error>

#include "platform/log.h"
#include "session/session_loop.h"

namespace kelvane {
namespace {

[[nodiscard]] MonitorRect desktop_rect_of(const MirrorPlan& plan) noexcept {
    const MonitorRect& source = plan.source.rect;
    return MonitorRect{source.left + plan.region.x, source.top + plan.region.y,
                       source.left + plan.region.x + plan.region.width,
                       source.top + plan.region.y + plan.region.height};
}

// The session thread: runs the mirror `plan` describes into `overlay` until the channel asks it to stop.
void session_thread(WarpChannel& channel, bool pattern, HWND overlay, const MirrorPlan& plan,
                    const OutputFinder& find_output) {
    const SourceFit fit{plan.source.rect.right - plan.source.rect.left, plan.source.rect.bottom - plan.source.rect.top,
                        plan.region, plan.fit};
    SessionBackendWin32 backend(overlay, static_cast<HMONITOR>(plan.source.handle),
                                static_cast<HMONITOR>(plan.target.handle), fit, find_output);
    run_session(backend, channel, SessionTarget(plan.target.rect, pattern, plan.source.rect, desktop_rect_of(plan)));
}

}  // namespace

MirrorSession::MirrorSession(const MirrorPlan& plan, MagnificationApi& magnification, HWND report_window)
    : rect_{plan.target.rect.left, plan.target.rect.top, plan.target.rect.right, plan.target.rect.bottom},
      device_name_(plan.target.device_name),
      hides_cursor_(!plan.separate_source()),
      magnification_(magnification),
      report_window_(report_window) {}

std::unique_ptr<MirrorSession> MirrorSession::start(const MirrorOptions& options, const MirrorPlan& plan,
                                                    const WarpParams& warp, MagnificationApi& magnification) {
    std::unique_ptr<MirrorSession> session(new MirrorSession(plan, magnification, options.report_window));
    if (!create_overlay(session->overlay_, options.instance, session->rect_, options.exclude_from_capture)) {
        return nullptr;
    }
    session->channel_.reset(warp);
    try {
        session->thread_ = std::thread(session_thread, std::ref(session->channel_), options.pattern, session->overlay_,
                                       plan, options.find_output);
    } catch (const std::system_error& error) {
        // Without its thread the overlay would only cover the monitor in black.
        log_message("start: session thread could not be started (%s)", error.what());
        return nullptr;
    }
    set_overlay_timer_sink(session->overlay_, session.get());
    SetTimer(session->overlay_, topmost_timer_id, topmost_timer_ms, nullptr);
    SetTimer(session->overlay_, cursor_timer_id, cursor_timer_ms, nullptr);
    return session;
}

MirrorSession::~MirrorSession() {
    if (overlay_ != nullptr) {
        KillTimer(overlay_, topmost_timer_id);
        KillTimer(overlay_, cursor_timer_id);
        set_overlay_timer_sink(overlay_, nullptr);
    }
    if (cursor_hidden_) {
        channel_.set_cursor_hiding(cursor_hiding_changing);
        magnification_.show_system_cursor(true);
        channel_.set_cursor_hiding(cursor_hiding_off);
        cursor_hidden_ = false;
    }
    channel_.request_stop();
    if (thread_.joinable()) {
        thread_.join();
    }
    destroy_overlay(overlay_);
}

void MirrorSession::on_overlay_timer(UINT_PTR id) {
    if (id == topmost_timer_id) {
        keep_on_top();
    } else if (id == cursor_timer_id) {
        update_cursor_visibility();
    }
}

void MirrorSession::on_session_report(WPARAM report, LPARAM reason) {
    switch (static_cast<SessionReport>(report)) {
        case SessionReport::presenting:
            set_presenting(true);
            break;
        case SessionReport::not_presenting:
            set_presenting(false);
            break;
        case SessionReport::waiting:
            PostMessageW(report_window_, mirror_waiting_message, static_cast<WPARAM>(reason), 0);
            break;
        case SessionReport::ended:
            ended_ = true;
            set_presenting(false);
            PostMessageW(report_window_, mirror_ended_message, 0, 0);
            break;
    }
}

void MirrorSession::set_presenting(bool presenting) noexcept {
    if (presenting == presenting_) {
        return;
    }
    presenting_ = presenting;
    show_overlay(overlay_, presenting);
    log_message(presenting ? "overlay: shown" : "overlay: hidden, nothing presented");
    update_cursor_visibility();
}

void MirrorSession::keep_on_top() noexcept {
    if (presenting_) {
        keep_overlay_topmost(overlay_);
    }
}

void MirrorSession::update_cursor_visibility() noexcept {
    POINT position{};
    // A hidden overlay covers nothing: the user needs the cursor then.
    const bool inside = hides_cursor_ && presenting_ && GetCursorPos(&position) != 0 && PtInRect(&rect_, position) != 0;
    if (inside == cursor_hidden_) {
        return;
    }
    if (!magnification_.initialize()) {
        // Tried again on every change of side, but said once a run: it would otherwise be ten lines a
        // second while the pointer rests on the mirror.
        if (!magnification_failure_logged_) {
            log_message("MagInitialize failed; system cursor will stay visible on the mirror");
            magnification_failure_logged_ = true;
        }
        return;
    }
    // The session tells our hiding from an application's by it: it must never see the cursor hidden or
    // shown by us at a time it takes for settled.
    channel_.set_cursor_hiding(cursor_hiding_changing);
    const bool done = magnification_.show_system_cursor(!inside);
    cursor_hidden_ = inside;
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    channel_.set_cursor_hiding(inside && done ? now.QuadPart : cursor_hiding_off);
}

}  // namespace kelvane
