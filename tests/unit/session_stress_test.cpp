// The session loop on its own thread against the fake, started and stopped thousands of times while
// the user side publishes warp changes, the way the controller does: values under the lock, then the
// flag; a stop is the flag, then a join. Each run is stopped at a random point of a different kind of
// run (frames, the calibration pattern, pauses after failures, lost captures), and must end within one
// loop turn or one pause slice of the stop, with every published warp arriving whole and the last one
// arriving at all. Built with ThreadSanitizer (the tsan preset) the same runs check for data races.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "session/session_loop.h"
#include "support/log_capture.h"
#include "support/session_fake.h"

namespace kelvane {
namespace {

using test::FrameStep;

constexpr MonitorRect stress_rect{0, 0, 1920, 1080};
constexpr int stress_runs = 2000;
// How far the loop may run ahead of the user side's next point: far enough that the stop still lands
// anywhere in a turn or pause, near enough that a run whose user side is not scheduled for a while
// stays within its recorded calls (at most five per wait, at most nine points per run).
constexpr std::uint64_t progress_slack = 500;
constexpr std::size_t calls_per_run = 1u << 16;
// A run that has not ended this long after its stop is taken as a deadlock. Only a hang fails on it.
constexpr auto deadlock_limit = std::chrono::seconds(20);

enum class RunKind {
    capture,       // frames and idle turns
    pattern,       // the calibration pattern, drawn every turn
    no_output,     // every attempt fails at the start and pauses
    lost_capture,  // the capture is lost every few frames: pause, rebuild
    late_output,   // a few failed attempts, then frames
    kind_count,
};

// Whether the frame loop runs for long enough in this kind of run to take the last published warp.
bool reaches_frames(RunKind kind) {
    return kind != RunKind::no_output;
}

// Each published set is recognisable as a whole: a torn copy would mix two of them.
WarpParams numbered_params(int n) {
    const float value = static_cast<float>(n);
    return WarpParams{n % 2 == 0, n % 3 == 0, value, -value, value};
}

bool is_whole(const WarpParams& params) {
    const int n = static_cast<int>(params.rotation);
    const WarpParams expected = numbered_params(n);
    return static_cast<float>(n) == params.rotation && params.mirror_h == expected.mirror_h &&
           params.mirror_v == expected.mirror_v && params.keystone_tb == expected.keystone_tb &&
           params.keystone_lr == expected.keystone_lr;
}

void script(test::FakeBackend& fake, RunKind kind, std::mt19937& random) {
    fake.repeat_steps = true;
    fake.yield_calls = true;
    switch (kind) {
        case RunKind::capture:
            fake.steps = {FrameStep{AcquireResult::NewFrame, CursorPoint{500, 400}, false, false, {}, false, 0, {}, {}},
                          FrameStep{},
                          FrameStep{AcquireResult::Timeout, CursorPoint{510, 400}, false, false, {}, false, 0, {}, {}}};
            break;
        case RunKind::pattern:
            break;
        case RunKind::no_output:
            fake.find_results.then = false;
            break;
        case RunKind::lost_capture:
            fake.steps = {FrameStep{AcquireResult::NewFrame, {}, false, true, {}, false, 0, {}, {}}, FrameStep{},
                          FrameStep{AcquireResult::AccessLost, {}, false, false, {}, false, 0, {}, {}}};
            break;
        case RunKind::late_output:
            fake.find_results.results.assign(std::uniform_int_distribution<std::size_t>(1, 3)(random), false);
            fake.steps = {FrameStep{AcquireResult::NewFrame, {}, false, false, {}, false, 0, {}, {}}, FrameStep{}};
            break;
        case RunKind::kind_count:
            break;
    }
}

template <typename Condition>
bool wait_until(Condition condition, std::chrono::steady_clock::duration limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

struct StressFigures {
    int runs = 0;
    int publications = 0;
    std::size_t worst_waits_after_stop = 0;
    std::int64_t worst_loop_ms_after_stop = 0;
    std::chrono::steady_clock::duration worst_stop_to_join{};
    std::vector<std::chrono::steady_clock::duration> stop_to_join;
};

TEST(SessionStress, PublishAndStopThousandsOfRunsOnAThread) {
    test::LogCapture log;  // lost captures log from the session thread
    std::mt19937 random(20240807u);
    WarpChannel fields;
    StressFigures figures;
    int published = 0;

    for (int run = 0; run < stress_runs; ++run) {
        const auto kind = static_cast<RunKind>(run % static_cast<int>(RunKind::kind_count));
        SCOPED_TRACE(testing::Message() << "run " << run << ", kind " << static_cast<int>(kind));
        test::FakeBackend fake{fields, calls_per_run};
        script(fake, kind, random);
        fake.progress_limit = progress_slack;

        // As the controller starts a session: the current values, both flags down, then the thread.
        fields.reset(numbered_params(published));
        std::atomic<bool> finished{false};
        std::thread thread([&] {
            run_session(fake, fields, SessionTarget{stress_rect, kind == RunKind::pattern});
            finished.store(true, std::memory_order_relaxed);
        });

        // Lets the loop make `waits` more waits (acquires, pattern draws, pause slices) and waits for them.
        const auto let_run = [&](int waits) {
            const std::uint64_t target = fake.progress.load(std::memory_order_relaxed) + static_cast<unsigned>(waits);
            fake.progress_limit.store(target + progress_slack, std::memory_order_relaxed);
            return wait_until([&] { return fake.progress.load(std::memory_order_relaxed) >= target; }, deadlock_limit);
        };

        // Publications at random points of the run, then a stop at another.
        const int publications = std::uniform_int_distribution<int>(0, 6)(random);
        for (int i = 0; i < publications; ++i) {
            EXPECT_TRUE(let_run(std::uniform_int_distribution<int>(0, 8)(random))) << "the loop stalled";
            fields.publish(numbered_params(++published));
            ++figures.publications;
        }
        if (publications > 0 && reaches_frames(kind)) {
            // No publication may be lost: the last one arrives while the loop runs.
            static_cast<void>(let_run(0));
            EXPECT_TRUE(wait_until(
                [&] { return fake.applied_rotation.load(std::memory_order_relaxed) == static_cast<float>(published); },
                deadlock_limit))
                << "the last published warp never reached the loop";
        }
        EXPECT_TRUE(let_run(std::uniform_int_distribution<int>(0, 40)(random))) << "the loop stalled";

        const auto stop_time = std::chrono::steady_clock::now();
        fields.request_stop();
        if (!wait_until([&] { return finished.load(std::memory_order_relaxed); }, deadlock_limit)) {
            // A join would hang the whole test run.
            std::fprintf(stderr, "session stress: run %d did not end after its stop (kind %d)\n", run,
                         static_cast<int>(kind));
            std::abort();
        }
        thread.join();
        const auto stop_to_join = std::chrono::steady_clock::now() - stop_time;

        ASSERT_FALSE(fake.runaway) << "the run did not end";
        EXPECT_FALSE(fake.holds_anything()) << "an attempt was left unreleased";
        // Once the stop is visible the loop finishes at most the turn or the pause slice it is in.
        EXPECT_LE(fake.waits_after_stop(), 1u) << fake.trace();
        EXPECT_LE(fake.ms_after_stop(), static_cast<std::int64_t>(pause_slice_ms)) << fake.trace();
        float previous = -1.0f;
        for (const test::FakeCall& call : fake.calls_of(test::FakeOp::update_warp)) {
            EXPECT_TRUE(is_whole(call.warp)) << "torn warp values, rotation " << call.warp.rotation;
            EXPECT_GE(call.warp.rotation, previous) << "warp values arrived out of order";
            previous = call.warp.rotation;
        }

        ++figures.runs;
        figures.worst_waits_after_stop = std::max(figures.worst_waits_after_stop, fake.waits_after_stop());
        figures.worst_loop_ms_after_stop = std::max(figures.worst_loop_ms_after_stop, fake.ms_after_stop());
        figures.worst_stop_to_join = std::max(figures.worst_stop_to_join, stop_to_join);
        figures.stop_to_join.push_back(stop_to_join);
        if (HasFatalFailure()) {
            break;
        }
    }

    EXPECT_EQ(figures.runs, stress_runs);
    std::sort(figures.stop_to_join.begin(), figures.stop_to_join.end());
    const auto micros = [](std::chrono::steady_clock::duration d) {
        return static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(d).count());
    };
    const auto median = figures.stop_to_join.empty() ? std::chrono::steady_clock::duration{}
                                                     : figures.stop_to_join[figures.stop_to_join.size() / 2];
    std::printf(
        "session stress: %d runs, %d publications; after a stop at most %zu wait(s) and %lld ms of loop time; "
        "stop to join: median %lld us, worst %lld us\n",
        figures.runs, figures.publications, figures.worst_waits_after_stop,
        static_cast<long long>(figures.worst_loop_ms_after_stop), micros(median), micros(figures.worst_stop_to_join));
}

}  // namespace
}  // namespace kelvane
