// A scripted SessionBackend with a fake clock for the session loop tests. Each acquire takes the next
// frame step of the script (result, cursor movement, new pointer shape, a warp published from the user
// side); when the script runs out the fake requests a stop, or, for runs stopped from another thread,
// starts it over. Calls are recorded into storage reserved up front, so that a running loop over the
// fake allocates nothing of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "session/session_backend.h"
#include "session/session_loop.h"

namespace kelvane::test {

enum class FakeOp : std::uint8_t {
    find_output,
    initialize_renderer,
    make_pattern,
    start_duplication,
    release_attempt,
    release_capture,
    update_warp,
    acquire_frame,
    set_cursor_image,
    cursor_position,
    draw,
    sleep,
    follow_colour,
};

struct FakeCall {
    FakeOp op = FakeOp::sleep;
    bool ok = true;            // the result, for calls that have one
    std::int64_t time_ms = 0;  // the fake clock when the call was made
    AcquireResult acquired = AcquireResult::Timeout;
    WarpParams warp;                        // update_warp
    std::int32_t width = 0, height = 0;     // initialize_renderer, make_pattern, set_cursor_image
    const std::uint32_t* pixels = nullptr;  // set_cursor_image
    DrawSource source = DrawSource::frame;  // draw
    bool visible = false;                   // draw
    bool whole = false;                     // draw
    std::int32_t x = 0, y = 0;              // draw; cursor_position
    unsigned ms = 0;                        // sleep; acquire_frame's timeout
    bool after_stop = false;                // a stop was already requested when the call began
    bool unsupported = false;               // start_duplication: failed as unsupported
    bool screen_xor = false;                // set_cursor_image
};

// What happens at one acquire_frame call.
struct FrameStep {
    AcquireResult result = AcquireResult::Timeout;
    std::optional<CursorPoint> move_cursor;  // the cursor is read at this position from now on
    bool cursor_fails = false;               // cursor_position fails from now on (until the next move)
    bool new_shape = false;                  // the capture converted a new pointer shape
    std::optional<WarpParams> publish;       // the user side publishes these values
    bool stop = false;                       // the user side requests a stop
    std::uint32_t remove_device = 0;         // the renderer's device is removed with this reason
    std::optional<PointerSignals> pointer;   // what is said of the pointer's visibility from now on
    std::optional<std::int64_t> hiding;      // the user side's cursor hiding from now on
    bool colour_change = false;              // the user side says the display's colour settings changed
};

// Results of one kind of call, in order; `then` once they run out.
struct ResultScript {
    std::vector<bool> results;
    bool then = true;
    std::size_t next_index = 0;

    [[nodiscard]] bool next() noexcept { return next_index < results.size() ? results[next_index++] : then; }
};

class FakeBackend final : public SessionBackend {
public:
    // Records at most this many calls; a loop that goes on beyond it is stopped and marked runaway.
    static constexpr std::size_t max_calls = 1u << 18;

    explicit FakeBackend(WarpChannel& channel, std::size_t capacity = max_calls);

    // Scripts.
    ResultScript find_results, init_results, pattern_results, duplication_results, draw_results;
    // For a failed start_duplication: false answers "unsupported on this adapter" instead of "failed".
    ResultScript duplication_supported;
    // DuplicateOutput's answer at each failed start, in order; the last one stays.
    std::vector<std::uint32_t> refusals;
    // follow_colour_settings' answers: false when HDR was switched.
    ResultScript colour_results;
    std::vector<FrameStep> steps;
    // The removal reason of each new renderer's device, in order (0, also once they run out: it works).
    std::vector<std::uint32_t> device_removals;
    // In calibration mode nothing acquires; the run then ends after this many draws (0: no limit).
    std::size_t stop_after_draws = 0;
    std::int64_t stop_at_ms = -1;                                    // requests a stop once the clock reaches this time
    std::vector<std::pair<std::int64_t, WarpParams>> publish_at_ms;  // publications once the clock gets there
    std::int64_t wake_at_ms = -1;                                    // a wake-up once the clock gets there
    std::optional<FakeOp> stop_at_call;                 // requests a stop at the first call of this operation
    std::optional<FakeOp> wake_at_call;                 // a wake-up at the first call of this operation
    void (*on_step)(std::size_t step_index) = nullptr;  // told at each acquire, before the step applies
    CursorPoint cursor{400, 300};
    PointerSignals pointer;
    bool cursor_fails = false;
    // 32 wide, 48 high, hot spot (3, 5). A fresh capture starts at generation 0 on every
    // start_duplication; each step with a new shape counts it up.
    CursorImage image;
    // For a run on its own thread, stopped by the user side: the script starts over when it runs out
    // (an empty script times out forever), and every acquire, pattern draw and sleep yields the
    // processor so that the user side gets to run on a machine with few cores.
    bool repeat_steps = false;
    bool yield_calls = false;

    // Observations.
    std::vector<FakeCall> calls;
    // The reports apart from the calls, with the fake time of each.
    std::vector<std::pair<SessionReport, std::int64_t>> reports;
    // For each waiting report, why: as the product reads the last refusal.
    std::vector<WaitReason> waiting_reasons;
    std::int64_t now_ms = 0;
    bool runaway = false;
    [[nodiscard]] bool holds_anything() const noexcept {
        return holds_output_ || holds_renderer_ || holds_pattern_ || holds_capture_;
    }
    [[nodiscard]] std::vector<FakeCall> calls_of(FakeOp op) const;
    // The calls as words ("find", "init-fail", "new", "pos", "draw", "sleep50*20" for twenty 50 ms
    // sleeps, "release" ...).
    [[nodiscard]] std::string trace() const;
    // The acquires, draws and sleeps begun after the stop was requested, and the fake time they took.
    [[nodiscard]] std::size_t waits_after_stop() const;
    [[nodiscard]] std::int64_t ms_after_stop() const;

    // Readable from the user side while the loop runs. Relaxed on purpose: these observations must
    // not order the two threads, or they would hide a race of the loop's own protocol.
    std::atomic<std::uint64_t> progress{0};  // acquires, draws and sleeps so far
    // Set by the user side: a wait call that would take progress past this limit holds (yielding)
    // until the limit moves on or a stop is requested, so that a run whose user side is not scheduled
    // for a while cannot use up the recorded calls.
    std::atomic<std::uint64_t> progress_limit{UINT64_MAX};
    std::atomic<float> applied_rotation{-1.0f};  // the rotation of the last update_warp

    // SessionBackend.
    bool find_output() override;
    bool initialize_renderer(std::int32_t width, std::int32_t height) override;
    bool make_pattern(std::int32_t width, std::int32_t height) override;
    DuplicationStart start_duplication() override;
    void release_attempt() noexcept override;
    void release_capture() noexcept override;
    std::uint32_t device_removed_reason() noexcept override { return device_removed_; }
    bool follow_colour_settings() override;
    void update_warp(const WarpParams& params) override;
    AcquireResult acquire_frame(unsigned timeout_ms) override;
    bool has_frame() const noexcept override { return has_frame_; }
    const CursorImage& cursor_image() const noexcept override { return image; }
    void set_cursor_image(std::int32_t width, std::int32_t height, const std::uint32_t* pixels,
                          bool screen_xor) override;
    PointerSignals pointer_signals() noexcept override { return pointer; }
    bool cursor_position(CursorPoint& position) noexcept override;
    bool draw(DrawSource source, bool whole, bool cursor_visible, std::int32_t cursor_x,
              std::int32_t cursor_y) override;
    void sleep_ms(unsigned milliseconds) noexcept override;
    std::int64_t clock_ms() noexcept override { return now_ms; }
    void report(SessionReport report) noexcept override {
        if (reports.size() < reports.capacity()) {
            reports.emplace_back(report, now_ms);
        }
        if (report == SessionReport::waiting && waiting_reasons.size() < waiting_reasons.capacity()) {
            waiting_reasons.push_back(wait_reason_for(last_refusal_));
        }
    }

private:
    FakeCall& record(FakeOp op, bool ok = true) noexcept;
    void count_progress() noexcept;
    void advance(std::int64_t ms) noexcept;
    void request_stop() noexcept;

    WarpChannel& channel_;
    std::size_t capacity_;
    std::size_t step_index_ = 0;
    std::size_t draws_ = 0;
    std::size_t renderers_ = 0;
    std::uint32_t device_removed_ = 0;
    std::size_t refusal_index_ = 0;
    std::uint32_t last_refusal_ = 0;
    bool holds_output_ = false, holds_renderer_ = false, holds_pattern_ = false, holds_capture_ = false;
    bool has_frame_ = false;
    FakeCall overflow_;  // where calls beyond max_calls go
};

}  // namespace kelvane::test
