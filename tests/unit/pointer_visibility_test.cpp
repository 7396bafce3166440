// The pointer visibility rule over every combination of what duplication and GetCursorInfo may say,
// with the mirror's own hiding off, settled or being switched, before and after a signal has shown
// that our hiding does not reach it.
#include "session/pointer_visibility.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

constexpr PointerState states[] = {PointerState::unknown, PointerState::shown, PointerState::hidden};
constexpr std::int64_t hidden_at = 1000;  // our hiding is in effect from this time

// What each signal says, with the duplication's mouse update made before or after our hiding began.
struct Answer {
    PointerState duplication;
    PointerState system;
    std::int64_t update_time;
};

template <typename Check>
void for_every_answer(Check check) {
    for (const PointerState duplication : states) {
        for (const PointerState system : states) {
            for (const std::int64_t update_time : {hidden_at - 10, hidden_at + 10}) {
                check(Answer{duplication, system, update_time});
            }
        }
    }
}

PointerSignals signals_of(const Answer& a) {
    return PointerSignals{ReportedPointer{a.duplication, a.update_time}, a.system};
}

TEST(PointerVisibility, OurHidingNeverHidesTheCursorAndAnApplicationsAlwaysDoes) {
    // Nothing of ours hides it: either signal saying hidden hides the drawn cursor.
    for_every_answer([](const Answer& a) {
        PointerVisibility rule;
        const bool hidden = a.duplication == PointerState::hidden || a.system == PointerState::hidden;
        EXPECT_EQ(rule.shown(signals_of(a), cursor_hiding_off, cursor_hiding_off), !hidden);
    });
    // While our hiding is (or may be) in effect and no signal has proved to be beyond it, whatever they
    // say may be our own doing.
    for (const auto& [before, after] : {std::pair<std::int64_t, std::int64_t>{hidden_at, hidden_at},
                                        {cursor_hiding_changing, hidden_at},
                                        {cursor_hiding_off, cursor_hiding_changing},
                                        {hidden_at, cursor_hiding_changing}}) {
        for_every_answer([before = before, after = after](const Answer& a) {
            PointerVisibility rule;
            EXPECT_TRUE(rule.shown(signals_of(a), before, after));
        });
    }
    // A signal that said "shown" while our hiding was settled is believed from then on; the other one
    // stays aside. A duplication report only counts when its mouse update came after our hiding began.
    for_every_answer([](const Answer& a) {
        PointerVisibility system_proved;
        ASSERT_TRUE(system_proved.shown({{}, PointerState::shown}, hidden_at, hidden_at));
        EXPECT_EQ(system_proved.shown(signals_of(a), hidden_at, hidden_at), a.system != PointerState::hidden);

        PointerVisibility duplication_proved;
        ASSERT_TRUE(duplication_proved.shown({{PointerState::shown, hidden_at + 1}, {}}, hidden_at, hidden_at));
        EXPECT_EQ(duplication_proved.shown(signals_of(a), hidden_at, hidden_at), a.duplication != PointerState::hidden);
    });
    // No proof: "shown" read while our hiding was being switched, or reported by an update older than it.
    for (const auto& [proof, before, after] : {std::tuple<PointerSignals, std::int64_t, std::int64_t>{
                                                   {{}, PointerState::shown}, cursor_hiding_changing, hidden_at},
                                               {{{}, PointerState::shown}, hidden_at, cursor_hiding_changing},
                                               {{{PointerState::shown, hidden_at}, {}}, hidden_at, hidden_at}}) {
        PointerVisibility rule;
        ASSERT_TRUE(rule.shown(proof, before, after));
        EXPECT_TRUE(rule.shown({{PointerState::hidden, hidden_at + 5}, PointerState::hidden}, hidden_at, hidden_at));
    }
}

TEST(PointerVisibility, AReportMadeDuringOurHidingIsNotBelievedAfterItUntilTheNextUpdate) {
    PointerVisibility rule;
    const ReportedPointer during{PointerState::hidden, hidden_at + 5};
    EXPECT_TRUE(rule.shown({during, PointerState::shown}, hidden_at, hidden_at));
    EXPECT_TRUE(rule.shown({during, PointerState::shown}, cursor_hiding_off, cursor_hiding_off));
    EXPECT_FALSE(rule.shown({{PointerState::hidden, hidden_at + 50}, PointerState::shown}, cursor_hiding_off,
                            cursor_hiding_off));
}

}  // namespace
}  // namespace kelvane
