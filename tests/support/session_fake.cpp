#include "support/session_fake.h"

#include <thread>

namespace kelvane::test {

namespace {

constexpr std::int32_t fake_cursor_width = 32;
constexpr std::int32_t fake_cursor_height = 48;
constexpr std::int32_t fake_hotspot_x = 3;
constexpr std::int32_t fake_hotspot_y = 5;

const char* word_of(const FakeCall& call) {
    switch (call.op) {
        case FakeOp::find_output:
            return call.ok ? "find" : "find-fail";
        case FakeOp::initialize_renderer:
            return call.ok ? "init" : "init-fail";
        case FakeOp::make_pattern:
            return call.ok ? "pattern" : "pattern-fail";
        case FakeOp::start_duplication:
            return call.ok ? "dup" : call.unsupported ? "dup-unsupported" : "dup-fail";
        case FakeOp::release_attempt:
            return "release";
        case FakeOp::release_capture:
            return "release-capture";
        case FakeOp::update_warp:
            return "warp";
        case FakeOp::acquire_frame:
            switch (call.acquired) {
                case AcquireResult::NewFrame:
                    return "new";
                case AcquireResult::Timeout:
                    return "timeout";
                case AcquireResult::AccessLost:
                    return "lost";
                case AcquireResult::Failed:
                    return "failed";
            }
            return "?";
        case FakeOp::set_cursor_image:
            return "image";
        case FakeOp::cursor_position:
            return call.ok ? "pos" : "pos-fail";
        case FakeOp::draw:
            return call.ok ? "draw" : "draw-fail";
        case FakeOp::sleep:
            return "sleep";  // the slice length follows
        case FakeOp::follow_colour:
            return call.ok ? "colour" : "colour-changed";
    }
    return "?";
}

}  // namespace

FakeBackend::FakeBackend(WarpChannel& channel, std::size_t capacity) : channel_(channel), capacity_(capacity) {
    calls.reserve(capacity_);
    reports.reserve(capacity_ / 64);
    waiting_reasons.reserve(capacity_ / 64);
    image.width = fake_cursor_width;
    image.height = fake_cursor_height;
    image.hotspot_x = fake_hotspot_x;
    image.hotspot_y = fake_hotspot_y;
    image.pixels.assign(static_cast<std::size_t>(fake_cursor_width * fake_cursor_height), 0xFF000000u);
}

std::vector<FakeCall> FakeBackend::calls_of(FakeOp op) const {
    std::vector<FakeCall> found;
    for (const FakeCall& call : calls) {
        if (call.op == op) {
            found.push_back(call);
        }
    }
    return found;
}

// A wait is an operation that takes loop time: a frame acquire, a pattern draw or a pause slice.
std::size_t FakeBackend::waits_after_stop() const {
    std::size_t count = 0;
    for (const FakeCall& call : calls) {
        const bool wait = call.op == FakeOp::acquire_frame || call.op == FakeOp::sleep ||
                          (call.op == FakeOp::draw && call.source == DrawSource::pattern);
        count += wait && call.after_stop ? 1 : 0;
    }
    return count;
}

std::int64_t FakeBackend::ms_after_stop() const {
    for (const FakeCall& call : calls) {
        if (call.after_stop) {
            return now_ms - call.time_ms;
        }
    }
    return 0;
}

std::string FakeBackend::trace() const {
    std::string text;
    std::size_t i = 0;
    while (i < calls.size()) {
        std::size_t run = 1;
        // Pauses are long runs of slices; they read better counted.
        if (calls[i].op == FakeOp::sleep) {
            while (i + run < calls.size() && calls[i + run].op == FakeOp::sleep && calls[i + run].ms == calls[i].ms) {
                ++run;
            }
        }
        if (!text.empty()) {
            text += ' ';
        }
        text += word_of(calls[i]);
        if (calls[i].op == FakeOp::sleep) {
            text += std::to_string(calls[i].ms) + '*' + std::to_string(run);
        }
        i += run;
    }
    return text;
}

FakeCall& FakeBackend::record(FakeOp op, bool ok) noexcept {
    if (calls.size() >= capacity_) {
        runaway = true;
        request_stop();
        return overflow_;
    }
    FakeCall& call = calls.emplace_back();
    call.op = op;
    call.ok = ok;
    call.time_ms = now_ms;
    call.after_stop = channel_.stop_requested();
    if (stop_at_call == op) {
        request_stop();
    }
    if (wake_at_call == op) {
        channel_.wake();
        wake_at_call.reset();
    }
    return call;
}

void FakeBackend::count_progress() noexcept {
    while (progress.load(std::memory_order_relaxed) >= progress_limit.load(std::memory_order_relaxed) &&
           !channel_.stop_requested()) {
        std::this_thread::yield();
    }
    progress.fetch_add(1, std::memory_order_relaxed);
    if (yield_calls) {
        std::this_thread::yield();
    }
}

void FakeBackend::advance(std::int64_t ms) noexcept {
    now_ms += ms;
    if (wake_at_ms >= 0 && now_ms >= wake_at_ms) {
        channel_.wake();
        wake_at_ms = -1;
    }
    while (!publish_at_ms.empty() && publish_at_ms.front().first <= now_ms) {
        channel_.publish(publish_at_ms.front().second);
        publish_at_ms.erase(publish_at_ms.begin());
    }
    if (stop_at_ms >= 0 && now_ms >= stop_at_ms) {
        request_stop();
    }
}

void FakeBackend::request_stop() noexcept {
    channel_.request_stop();
}

bool FakeBackend::find_output() {
    const bool ok = find_results.next();
    record(FakeOp::find_output, ok);
    holds_output_ = holds_output_ || ok;
    return ok;
}

bool FakeBackend::initialize_renderer(std::int32_t width, std::int32_t height) {
    const bool ok = init_results.next();
    FakeCall& call = record(FakeOp::initialize_renderer, ok);
    call.width = width;
    call.height = height;
    // A renderer that fails half-way still holds what it made; release_attempt must take it.
    holds_renderer_ = true;
    device_removed_ = renderers_ < device_removals.size() ? device_removals[renderers_] : 0;
    ++renderers_;
    return ok;
}

bool FakeBackend::make_pattern(std::int32_t width, std::int32_t height) {
    const bool ok = pattern_results.next();
    FakeCall& call = record(FakeOp::make_pattern, ok);
    call.width = width;
    call.height = height;
    holds_pattern_ = holds_pattern_ || ok;
    return ok;
}

DuplicationStart FakeBackend::start_duplication() {
    const bool ok = duplication_results.next();
    const bool supported = ok || duplication_supported.next();
    FakeCall& call = record(FakeOp::start_duplication, ok);
    call.unsupported = !supported;
    if (!ok && refusal_index_ < refusals.size()) {
        last_refusal_ = refusals[refusal_index_++];
    }
    holds_capture_ = true;
    image.generation = 0;
    return ok ? DuplicationStart::started : supported ? DuplicationStart::failed : DuplicationStart::unsupported;
}

void FakeBackend::release_capture() noexcept {
    record(FakeOp::release_capture);
    holds_capture_ = false;  // the last frame stays drawable
}

void FakeBackend::release_attempt() noexcept {
    record(FakeOp::release_attempt);
    holds_output_ = holds_renderer_ = holds_pattern_ = holds_capture_ = false;
    has_frame_ = false;
    device_removed_ = 0;
}

bool FakeBackend::follow_colour_settings() {
    const bool ok = colour_results.next();
    record(FakeOp::follow_colour, ok);
    return ok;
}

void FakeBackend::update_warp(const WarpParams& params) {
    record(FakeOp::update_warp).warp = params;
    applied_rotation.store(params.rotation, std::memory_order_relaxed);
}

AcquireResult FakeBackend::acquire_frame(unsigned timeout_ms) {
    if (on_step != nullptr) {
        on_step(step_index_);
    }
    count_progress();
    if (repeat_steps && step_index_ >= steps.size()) {
        step_index_ = 0;
    }
    if (step_index_ >= steps.size()) {
        if (!repeat_steps) {
            request_stop();
        }
        FakeCall& call = record(FakeOp::acquire_frame);
        call.ms = timeout_ms;
        advance(timeout_ms);
        return AcquireResult::Timeout;
    }
    const FrameStep& step = steps[step_index_++];
    if (step.move_cursor) {
        cursor = *step.move_cursor;
        cursor_fails = false;
    }
    if (step.cursor_fails) {
        cursor_fails = true;
    }
    if (step.new_shape) {
        ++image.generation;
    }
    if (step.publish) {
        channel_.publish(*step.publish);
    }
    if (step.stop) {
        request_stop();
    }
    if (step.remove_device != 0) {
        device_removed_ = step.remove_device;
    }
    pointer = step.pointer.value_or(pointer);
    if (step.colour_change) {
        channel_.colour_settings_changed();
    }
    if (step.hiding) {
        channel_.set_cursor_hiding(*step.hiding);
    }
    FakeCall& call = record(FakeOp::acquire_frame);
    call.acquired = step.result;
    call.ms = timeout_ms;
    if (step.result == AcquireResult::NewFrame) {
        has_frame_ = true;
    } else if (step.result == AcquireResult::Timeout) {
        advance(timeout_ms);
    }
    return step.result;
}

void FakeBackend::set_cursor_image(std::int32_t width, std::int32_t height, const std::uint32_t* pixels,
                                   bool screen_xor) {
    FakeCall& call = record(FakeOp::set_cursor_image);
    call.width = width;
    call.height = height;
    call.pixels = pixels;
    call.screen_xor = screen_xor;
}

bool FakeBackend::cursor_position(CursorPoint& position) noexcept {
    FakeCall& call = record(FakeOp::cursor_position, !cursor_fails);
    if (cursor_fails) {
        return false;
    }
    position = cursor;
    call.x = cursor.x;
    call.y = cursor.y;
    return true;
}

bool FakeBackend::draw(DrawSource source, bool whole, bool cursor_visible, std::int32_t cursor_x,
                       std::int32_t cursor_y) {
    if (source == DrawSource::pattern) {
        count_progress();
    }
    const bool ok = draw_results.next();
    FakeCall& call = record(FakeOp::draw, ok);
    call.source = source;
    call.whole = whole;
    call.visible = cursor_visible;
    call.x = cursor_x;
    call.y = cursor_y;
    if (stop_after_draws != 0 && ++draws_ >= stop_after_draws) {
        request_stop();
    }
    return ok;
}

void FakeBackend::sleep_ms(unsigned milliseconds) noexcept {
    count_progress();
    record(FakeOp::sleep).ms = milliseconds;
    advance(milliseconds);
}

}  // namespace kelvane::test
