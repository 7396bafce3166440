// What the user side hands the session thread through the warp channel: publications, none lost however
// close it comes to a read, and wake-ups, which end only a pause that they find waiting or that follows
// them within the same attempt.
#include "session/warp_channel.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <optional>
#include <utility>

#include "support/session_fake.h"

namespace kelvane {
namespace {

// A lock whose next release, once armed, runs one step on the spot: the other side's publication
// arriving the moment a read lets go of the values, where a flag lowered after the copy would drop it.
struct SteppedLock {
    static inline std::function<void()> step;
    std::mutex inner;
    void lock() { inner.lock(); }
    void unlock() {
        inner.unlock();
        if (const std::function<void()> now = std::exchange(step, nullptr)) {
            now();
        }
    }
};

TEST(WarpChannel, APublicationAsTheValuesAreReadIsTakenNext) {
    for (const bool if_changed : {true, false}) {
        SCOPED_TRACE(if_changed ? "take_if_changed" : "take");
        BasicWarpChannel<SteppedLock> channel;
        WarpParams first;
        WarpParams second;
        first.rotation = 1.0f;
        second.rotation = 2.0f;
        channel.reset(WarpParams{});
        channel.publish(first);
        SteppedLock::step = [&] { channel.publish(second); };
        WarpParams taken;
        if (if_changed) {
            ASSERT_TRUE(channel.take_if_changed(taken));
        } else {
            taken = channel.take();
        }
        ASSERT_EQ(taken, first);
        ASSERT_FALSE(SteppedLock::step) << "the read let go of the lock without the publication";
        ASSERT_TRUE(channel.take_if_changed(taken)) << "the publication made as the values were read was lost";
        EXPECT_EQ(taken, second);
    }
}

TEST(WarpChannel, AWakeBetweenAttemptsDoesNotCutTheNextPauseShort) {
    struct Case {
        const char* when;
        bool before_run;
        std::optional<test::FakeOp> at_call;
        const char* trace;
    };
    const char* full_pauses =
        "find-fail sleep50*20 release find-fail sleep50*20 release find init dup warp timeout release";
    const Case cases[] = {
        {"before the run", true, std::nullopt, full_pauses},
        {"in the release after a pause", false, test::FakeOp::release_attempt, full_pauses},
        // Raised in the failing lookup, it may be what lets the next one succeed: that pause ends.
        {"in a failing lookup", false, test::FakeOp::find_output,
         "find-fail release find-fail sleep50*20 release find init dup warp timeout release"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.when);
        WarpChannel channel;
        test::FakeBackend fake(channel);
        fake.find_results.results = {false, false};
        fake.wake_at_call = c.at_call;
        if (c.before_run) {
            channel.wake();
        }
        run_session(fake, channel, SessionTarget{MonitorRect{0, 0, 640, 480}, false});
        EXPECT_EQ(fake.trace(), c.trace);
    }
}

}  // namespace
}  // namespace kelvane
