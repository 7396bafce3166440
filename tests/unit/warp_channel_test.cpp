// What the user side hands the session thread through the warp channel: publications, the last of
// several back to back never lost while the other side takes in a loop, and wake-ups, which end only a
// pause that they find waiting or that follows them within the same attempt.
#include "session/warp_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "support/session_fake.h"

namespace kelvane {
namespace {

TEST(WarpChannel, TheLastOfPublicationsBackToBackIsAlwaysTaken) {
    // Rounds for a while: where locks are slow to hand over (Wine) there are fewer of them.
    constexpr int max_rounds = 100000;
    constexpr auto budget = std::chrono::seconds(2);
    constexpr int publications = 8;  // a round's, the last one to be taken
    WarpChannel channel;
    channel.reset(WarpParams{});
    std::atomic<int> published{0};  // rounds whose publications are all done
    std::atomic<int> checked{0};    // rounds the taking side has finished
    std::atomic<bool> done{false};
    int lost = 0;
    int first_lost = 0;
    std::thread taker([&] {
        WarpParams params;
        for (int round = 1;; ++round) {
            float seen = -1.0f;
            // Spinning takes the values the moment they come; a yield now and then lets the publishing
            // side run on a machine with few cores.
            for (unsigned idle = 1; published.load() < round; ++idle) {
                if (channel.take_if_changed(params)) {
                    seen = params.rotation;
                } else if (done.load()) {
                    return;
                } else if (idle % 64 == 0) {
                    std::this_thread::yield();
                }
            }
            // The publications are over: whatever the loop missed is still waiting to be taken.
            if (channel.take_if_changed(params)) {
                seen = params.rotation;
            }
            if (seen != static_cast<float>(round)) {
                first_lost = lost++ == 0 ? round : first_lost;
            }
            checked.store(round);
        }
    });
    WarpParams params;
    int round = 1;
    for (const auto end = std::chrono::steady_clock::now() + budget;
         round <= max_rounds && std::chrono::steady_clock::now() < end; ++round) {
        // Several values back to back give the taking side more takes to be caught in by the last.
        for (int earlier = 1; earlier < publications; ++earlier) {
            params.rotation = static_cast<float>(-earlier);
            channel.publish(params);
        }
        params.rotation = static_cast<float>(round);
        channel.publish(params);
        published.store(round);
        while (checked.load() < round) {
            std::this_thread::yield();
        }
    }
    done.store(true);
    taker.join();
    EXPECT_EQ(lost, 0) << "the last publication was lost in " << lost << " of " << round - 1
                       << " rounds, first in round " << first_lost;
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
