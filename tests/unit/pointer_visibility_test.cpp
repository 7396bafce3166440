// The pointer visibility rule over every combination of what duplication and GetCursorInfo say, with
// the mirror's own hiding off, settled or being switched, before and after a signal has shown that our
// hiding does not reach it.
#include "session/pointer_visibility.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

constexpr std::int64_t hid = 1000;  // our hiding is in effect from this time
constexpr auto shown = PointerState::shown;
constexpr auto hidden = PointerState::hidden;

// Every answer: each signal unknown, shown or hidden, the mouse update made before or after `hid`.
template <typename Check>
void for_every_answer(Check check) {
    for (const PointerState duplication : {PointerState::unknown, shown, hidden}) {
        for (const PointerState system : {PointerState::unknown, shown, hidden}) {
            for (const std::int64_t update : {hid - 10, hid + 10}) {
                check(PointerSignals{{duplication, update}, system});
            }
        }
    }
}

TEST(PointerVisibility, OurHidingNeverHidesTheCursorAndAnApplicationsAlwaysDoes) {
    for_every_answer([](const PointerSignals& s) {
        const bool application_hides = s.duplication.state == hidden || s.system == hidden;
        EXPECT_EQ(PointerVisibility().shown(s, cursor_hiding_off, cursor_hiding_off), !application_hides);
        // Our hiding in effect or being switched, no signal proved beyond it: all may be our own doing.
        for (const auto& [before, after] : {std::pair<std::int64_t, std::int64_t>{hid, hid},
                                            {cursor_hiding_changing, hid},
                                            {cursor_hiding_off, cursor_hiding_changing},
                                            {hid, cursor_hiding_changing}}) {
            EXPECT_TRUE(PointerVisibility().shown(s, before, after));
        }
        // A signal that said "shown" while our hiding was settled is believed from then on, the other
        // one not; a mouse update counts only when it was made after our hiding began.
        PointerVisibility system_proved, duplication_proved;
        ASSERT_TRUE(system_proved.shown({{}, shown}, hid, hid));
        EXPECT_EQ(system_proved.shown(s, hid, hid), s.system != hidden);
        ASSERT_TRUE(duplication_proved.shown({{shown, hid + 1}, {}}, hid, hid));
        EXPECT_EQ(duplication_proved.shown(s, hid, hid), s.duplication.state != hidden);
    });
    // No proof: "shown" read while our hiding was being switched, or from an update older than it.
    for (const auto& [proof, before, after] :
         {std::tuple<PointerSignals, std::int64_t, std::int64_t>{{{}, shown}, cursor_hiding_changing, hid},
          {{{}, shown}, hid, cursor_hiding_changing},
          {{{shown, hid}, {}}, hid, hid}}) {
        PointerVisibility rule;
        ASSERT_TRUE(rule.shown(proof, before, after));
        EXPECT_TRUE(rule.shown({{hidden, hid + 5}, hidden}, hid, hid));
    }
    // A report made during our hiding is not believed after it either, until the next mouse update.
    PointerVisibility rule;
    EXPECT_TRUE(rule.shown({{hidden, hid + 5}, shown}, hid, hid));
    EXPECT_TRUE(rule.shown({{hidden, hid + 5}, shown}, cursor_hiding_off, cursor_hiding_off));
    EXPECT_FALSE(rule.shown({{hidden, hid + 50}, shown}, cursor_hiding_off, cursor_hiding_off));
}

}  // namespace
}  // namespace kelvane
