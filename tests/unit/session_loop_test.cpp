// The session loop driven by a scripted backend and a fake clock: attempts and their pauses, stops,
// the redraw rules, cursor image and position, rotation, calibration mode, and a run on a real thread
// with warp changes published from another.
#include "session/session_loop.h"

#include "platform/log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "support/log_capture.h"
#include "support/session_fake.h"

namespace kelvane {
namespace {

using test::FakeCall;
using test::FakeOp;
using test::FrameStep;

constexpr MonitorRect mirrored_rect{100, 50, 1380, 1074};  // 1280x1024

// One session run over the fake, with the shared fields a controller would hold.
struct Session {
    WarpChannel fields;
    test::FakeBackend fake{fields};
    SessionTarget target{mirrored_rect, false};

    void run() {
        run_session(fake, fields, target);
        ASSERT_FALSE(fake.runaway) << "the loop did not end";
        EXPECT_FALSE(fake.holds_anything()) << "an attempt was left unreleased";
    }
};

std::string repeat(const std::string& words, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += (text.empty() ? "" : " ") + words;
    }
    return text;
}

FrameStep new_frame() {
    return FrameStep{AcquireResult::NewFrame, {}, false, false, {}, false, 0, {}, {}};
}

FrameStep timeout() {
    return FrameStep{};
}

FrameStep timeout_with_cursor_at(std::int32_t x, std::int32_t y) {
    FrameStep step;
    step.move_cursor = CursorPoint{x, y};
    return step;
}

TEST(SessionLoop, StopRequestedBeforeTheRunCreatesNothing) {
    Session session;
    session.fields.request_stop();
    session.run();
    EXPECT_TRUE(session.fake.calls.empty()) << session.fake.trace();
}

TEST(SessionLoop, PausesSleepInSlicesUpToTheLimit) {
    struct Case {
        unsigned limit;
        bool stopped;
        const char* trace;
    };
    const Case cases[] = {
        {1000, false, "sleep50*20"},
        {300, false, "sleep50*6"},
        {75, false, "sleep50*2"},
        {0, false, ""},
        {1000, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limit);
        Session session;
        if (c.stopped) {
            session.fields.request_stop();
        }
        wait_unless_stopped(session.fake, session.fields, c.limit);
        EXPECT_EQ(session.fake.trace(), c.trace);
    }
}

TEST(SessionLoop, EachFailingStagePausesAndRetriesFromTheStartWithoutLimit) {
    struct Case {
        const char* stage;
        test::ResultScript test::FakeBackend::*script;
        const char* failed_attempt;
    };
    const Case cases[] = {
        {"output", &test::FakeBackend::find_results, "find-fail sleep50*20 release"},
        {"renderer", &test::FakeBackend::init_results, "find init-fail sleep50*20 release"},
    };
    constexpr int failures = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stage);
        Session session;
        (session.fake.*c.script).results.assign(failures, false);
        session.run();
        EXPECT_EQ(session.fake.trace(), repeat(c.failed_attempt, failures) + " find init dup warp timeout release");
    }
}

TEST(SessionLoop, AttemptUsesTheMonitorSizeAndTheFrameTimeout) {
    Session session;
    session.run();
    const auto inits = session.fake.calls_of(FakeOp::initialize_renderer);
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].width, 1280);
    EXPECT_EQ(inits[0].height, 1024);
    for (const FakeCall& call : session.fake.calls_of(FakeOp::acquire_frame)) {
        EXPECT_EQ(call.ms, 16u);
    }
}

TEST(SessionLoop, LostDuplicationKeepsTheRendererAndRedrawsTheLastFrameAFailedCaptureRebuilds) {
    struct Case {
        AcquireResult result;
        const char* trace;
    };
    const Case cases[] = {
        {AcquireResult::AccessLost,
         "find init dup warp new pos draw lost sleep50*6 release-capture dup warp timeout pos draw new pos draw "
         "timeout pos release"},
        {AcquireResult::Failed,
         "find init dup warp new pos draw failed sleep50*6 release find init dup warp timeout new pos draw timeout pos "
         "release"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trace);
        test::LogCapture log;
        Session session;
        session.fake.steps = {new_frame(), FrameStep{c.result, {}, false, false, {}, false, 0, {}, {}}, timeout(),
                              new_frame()};
        session.run();
        EXPECT_EQ(session.fake.trace(), c.trace);
        EXPECT_EQ(log.messages(), std::vector<std::string>{"session: duplication lost, reinitializing"});
        // The overlay stayed up: the picture was back well within the second without a present.
        ASSERT_EQ(session.fake.reports.size(), 1u);
        EXPECT_EQ(session.fake.reports[0].first, SessionReport::presenting);
    }
}

TEST(SessionLoop, ARemovedDeviceRebuildsEverythingAtOnceWhateverFailedOnIt) {
    const struct {
        AcquireResult met_by;      // the acquire that meets the removal; Timeout: a device removed from the start
        std::size_t removed;       // renderers whose device comes removed
        std::vector<bool> starts;  // duplication starts
        bool pattern;
        const char* trace;
    } cases[] = {
        {AcquireResult::AccessLost,
         0,
         {},
         false,
         "find init dup warp new pos draw lost release find init dup warp new pos draw timeout pos release"},
        {AcquireResult::Failed,
         0,
         {},
         false,
         "find init dup warp new pos draw failed release find init dup warp new pos draw timeout pos release"},
        {AcquireResult::Timeout, 1, {false}, false, "find init dup-fail release find init dup warp timeout release"},
        // Removed again before anything was presented on the new device: the second rebuild waits.
        {AcquireResult::Timeout,
         2,
         {false, false},
         false,
         "find init dup-fail release find init dup-fail sleep50*6 release find init dup warp timeout release"},
        {AcquireResult::Timeout,
         1,
         {},
         true,
         "find init pattern warp draw-fail release find init pattern warp draw release"},
    };
    constexpr std::uint32_t reset = 0x887A0007;  // DXGI_ERROR_DEVICE_RESET: a timeout detection and recovery
    for (const auto& c : cases) {
        SCOPED_TRACE(c.trace);
        test::LogCapture log;
        Session session;
        session.target.pattern = c.pattern;
        session.fake.device_removals.assign(c.removed, reset);
        session.fake.duplication_results.results = c.starts;
        if (c.met_by != AcquireResult::Timeout) {
            session.fake.steps = {new_frame(), FrameStep{c.met_by, {}, false, false, {}, false, reset, {}, {}},
                                  new_frame()};
        } else if (c.pattern) {
            session.fake.draw_results.results = {false};
            session.fake.stop_after_draws = 2;
        }
        session.run();
        EXPECT_EQ(session.fake.trace(), c.trace);
        // (A second removal in a row is the same line, which the log counts instead of repeating.)
        EXPECT_EQ(log.messages(),
                  std::vector<std::string>{"session: GPU device removed (reason 0x887A0007), rebuilding everything"});
    }
}

TEST(SessionLoop, ReportsPresentingAtTheFirstPresentAndNotPresentingAfterASecondWithout) {
    using Reports = std::vector<std::pair<SessionReport, std::int64_t>>;
    constexpr auto presenting = SessionReport::presenting;
    constexpr auto not_presenting = SessionReport::not_presenting;
    constexpr auto waiting = SessionReport::waiting;
    struct Case {
        const char* name;
        void (*script)(Session&);
        Reports reports;
    };
    const Case cases[] = {
        {"frames flow on a still desktop",
         [](Session& s) { s.fake.steps.assign(300, timeout()), s.fake.steps[0] = new_frame(); },
         {{presenting, 0}}},
        {"duplication refused for 12 s",
         [](Session& s) { s.fake.duplication_results.then = false, s.fake.stop_at_ms = 12000; },
         {{waiting, 10000}}},
        {"lost, refused for 11.8 s, back",
         [](Session& s) {
             s.fake.duplication_results.results = {true, false, false, false, false, false, true};
             s.fake.steps = {new_frame(), FrameStep{AcquireResult::AccessLost, {}, false, false, {}, false, 0, {}, {}},
                             new_frame()};
         },
         {{presenting, 0}, {not_presenting, 1000}, {waiting, 10000}, {presenting, 11800}}},
        {"draws fail while frames flow, then succeed",
         [](Session& s) {
             s.fake.draw_results.results.assign(80, false);
             s.fake.draw_results.results[0] = true;
             s.fake.steps.push_back(new_frame());
             for (std::int32_t i = 1; i < 100; ++i) {
                 s.fake.steps.push_back(timeout_with_cursor_at(400 + i, 300));
             }
         },
         {{presenting, 0}, {not_presenting, 1024}, {presenting, 1280}}},
        {"calibration pattern cannot be made",
         [](Session& s) { s.target.pattern = true, s.fake.pattern_results.results = {false}; },
         {{SessionReport::ended, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session session;
        c.script(session);
        session.run();
        EXPECT_EQ(session.fake.reports, c.reports);
    }
}

TEST(SessionLoop, ASecondLongStallInTheSameRunIsToldAgainWithItsOwnReason) {
    // Locked for 11.5 s; unlocked, the mirror shows; later another program takes duplication for as long.
    Session session;
    const std::vector<bool> refused_five_times = {false, false, false, false, false, true};
    auto& starts = session.fake.duplication_results.results;
    starts = refused_five_times;
    starts.insert(starts.end(), refused_five_times.begin(), refused_five_times.end());
    session.fake.refusals.assign(5, duplicate_access_denied);
    session.fake.refusals.resize(10, duplicate_not_currently_available);
    session.fake.steps = {new_frame(), FrameStep{AcquireResult::AccessLost, {}, false, false, {}, false, 0, {}, {}},
                          new_frame()};
    session.run();
    std::vector<std::int64_t> waiting_at;
    for (const auto& [report, at] : session.fake.reports) {
        if (report == SessionReport::waiting) {
            waiting_at.push_back(at);
        }
    }
    // Each 10 s after its stall began: the run's start, and the loss at 11.5 s.
    EXPECT_EQ(waiting_at, (std::vector<std::int64_t>{10000, 21500}));
    EXPECT_EQ(session.fake.waiting_reasons,
              (std::vector<WaitReason>{WaitReason::locked_desktop, WaitReason::duplication_busy}));
}

TEST(SessionLoop, DuplicationThatCannotStartBacksOffKeepsTheRendererAndWakesUp) {
    const std::pair<unsigned, unsigned> pauses[] = {{0, 500}, {1, 1000}, {2, 2000}, {3, 4000}, {4, 4000}, {40, 4000}};
    for (const auto& [failures, pause] : pauses) {
        EXPECT_EQ(duplication_retry_pause(failures), pause) << failures;
    }
    {
        // The renderer stays for the next try and is rebuilt every fourth failure; a success resets
        // the pause.
        Session session;
        session.fake.duplication_results.results = {false, false, false, false, false, true, false};
        session.fake.steps = {new_frame(),
                              FrameStep{AcquireResult::AccessLost, {}, false, false, {}, false, 0, {}, {}}};
        session.run();
        EXPECT_EQ(
            session.fake.trace(),
            "find init dup-fail sleep50*10 release-capture dup-fail sleep50*20 release-capture dup-fail sleep50*40 "
            "release-capture dup-fail sleep50*80 release find init dup-fail sleep50*80 release-capture dup warp "
            "new pos draw lost sleep50*6 release-capture dup-fail sleep50*10 release-capture dup warp timeout pos "
            "draw release");
    }
    {
        // Ten minutes of a locked desktop: a few attempts a minute, not two a second.
        Session session;
        session.fake.duplication_results.then = false;
        session.fake.stop_at_ms = 10 * 60 * 1000;
        session.run();
        const std::size_t attempts = session.fake.calls_of(FakeOp::start_duplication).size();
        std::printf("  10 minutes without duplication: %zu attempts, %zu renderer builds\n", attempts,
                    session.fake.calls_of(FakeOp::initialize_renderer).size());
        EXPECT_LE(attempts, 160u);
        EXPECT_FALSE(session.fake.holds_anything());
    }
    {
        // Not on this adapter (a hybrid-GPU laptop): everything goes, to be found on another one, and
        // the back-off of refusals is not counted up by it.
        Session session;
        session.fake.duplication_results.results = {false, false, false};
        session.fake.duplication_supported.results = {false, true, false};
        session.run();
        EXPECT_EQ(session.fake.trace(),
                  "find init dup-unsupported sleep50*10 release find init dup-fail sleep50*10 release-capture "
                  "dup-unsupported sleep50*10 release find init dup warp timeout release");
    }
    {
        // A desktop switch during the 2 s pause ends it at the next slice.
        Session session;
        session.fake.duplication_results.results = {false, false, false};
        session.fake.wake_at_ms = 2000;
        session.run();
        const auto starts = session.fake.calls_of(FakeOp::start_duplication);
        ASSERT_EQ(starts.size(), 4u);
        EXPECT_EQ(starts[2].time_ms, 1500);
        EXPECT_EQ(starts[3].time_ms, 2000);
    }
}

TEST(SessionLoop, StopDuringAnyPauseEndsItWithinOneSliceAndReleases) {
    struct Case {
        const char* pause;
        bool pattern;
        const char* trace;
    };
    const Case cases[] = {
        {"no output", false, "find-fail sleep50*3 release"},
        {"no renderer", false, "find init-fail sleep50*3 release"},
        {"no duplication", false, "find init dup-fail sleep50*3 release-capture release"},
        {"duplication lost", false, "find init dup warp lost sleep50*3 release"},
        {"pattern not drawn", true, "find init pattern warp draw-fail sleep50*3 release"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pause);
        test::LogCapture log;
        Session session;
        session.target.pattern = c.pattern;
        session.fake.find_results.then = std::string(c.pause) != "no output";
        session.fake.init_results.then = std::string(c.pause) != "no renderer";
        session.fake.duplication_results.then = std::string(c.pause) != "no duplication";
        session.fake.draw_results.then = false;
        session.fake.steps.assign(10, FrameStep{AcquireResult::AccessLost, {}, false, false, {}, false, 0, {}, {}});
        session.fake.stop_at_ms = 120;
        session.run();
        EXPECT_EQ(session.fake.trace(), c.trace);
        EXPECT_EQ(session.fake.now_ms, 150);
    }
}

TEST(SessionLoop, StopInTheTurnOfALossStillLogsItButDoesNotPause) {
    test::LogCapture log;
    Session session;
    session.fake.steps = {FrameStep{AcquireResult::AccessLost, {}, false, false, {}, true, 0, {}, {}}};
    session.run();
    EXPECT_EQ(session.fake.trace(), "find init dup warp lost release");
    EXPECT_EQ(log.messages(), std::vector<std::string>{"session: duplication lost, reinitializing"});
}

TEST(SessionLoop, StopBeforeTheFirstTurnReleasesTheStartedAttempt) {
    for (const bool pattern : {false, true}) {
        Session session;
        session.target.pattern = pattern;
        session.fake.stop_at_call = pattern ? FakeOp::make_pattern : FakeOp::start_duplication;
        session.run();
        EXPECT_EQ(session.fake.trace(), pattern ? "find init pattern warp release" : "find init dup warp release");
    }
}

TEST(SessionLoop, TimeoutRedrawsOnlyForAMovedCursorAndNeverBeforeTheFirstFrame) {
    Session session;
    session.fake.steps = {
        timeout(),                         // forced, but nothing was copied yet
        timeout_with_cursor_at(500, 400),  // still nothing to draw
        new_frame(),
        timeout(),                         // cursor where it was drawn
        timeout_with_cursor_at(510, 400),  // moved: the last frame again
        timeout(),
    };
    session.run();
    EXPECT_EQ(session.fake.trace(),
              "find init dup warp timeout timeout new pos draw timeout pos timeout pos pos draw timeout pos "
              "timeout pos release");
    const auto draws = session.fake.calls_of(FakeOp::draw);
    ASSERT_EQ(draws.size(), 2u);
    // Cursor image top-left in source pixels: position minus monitor origin (100, 50) minus hot spot (3, 5).
    EXPECT_EQ(draws[0].x, 397);
    EXPECT_EQ(draws[0].y, 345);
    EXPECT_EQ(draws[1].x, 407);
    EXPECT_EQ(draws[1].y, 345);
    for (const FakeCall& draw : draws) {
        EXPECT_EQ(draw.source, DrawSource::frame);
        EXPECT_TRUE(draw.visible);
    }
}

TEST(SessionLoop, WarpChangeRedrawsTheLastFrameWithTheNewValues) {
    const WarpParams initial{false, true, 0.25f, -0.5f, 10.0f};
    const WarpParams changed{true, true, -0.75f, 0.125f, -90.0f};
    Session session;
    session.fields.publish(initial);  // raised before the start: the first warp covers it
    FrameStep publish = timeout();
    publish.publish = changed;
    session.fake.steps = {new_frame(), publish, timeout(), timeout()};
    session.run();
    EXPECT_EQ(session.fake.trace(),
              "find init dup warp new pos draw timeout pos warp timeout pos draw timeout pos timeout pos release");
    const auto warps = session.fake.calls_of(FakeOp::update_warp);
    ASSERT_EQ(warps.size(), 2u);
    const WarpParams expected[] = {initial, changed};
    for (std::size_t i = 0; i < warps.size(); ++i) {
        EXPECT_EQ(warps[i].warp.mirror_h, expected[i].mirror_h);
        EXPECT_EQ(warps[i].warp.mirror_v, expected[i].mirror_v);
        EXPECT_EQ(warps[i].warp.keystone_tb, expected[i].keystone_tb);
        EXPECT_EQ(warps[i].warp.keystone_lr, expected[i].keystone_lr);
        EXPECT_EQ(warps[i].warp.rotation, expected[i].rotation);
    }
}

TEST(SessionLoop, AColourSettingChangeIsFollowedBeforeTheNextFrameOrRebuildsWhenHdrSwitched) {
    const auto colour_change = [] {
        FrameStep step;
        step.colour_change = true;
        return step;
    };
    // A new white level: read and drawn with at once, the last frame again. HDR switched: all is made anew.
    Session session;
    session.fake.colour_results.results = {true, false};
    session.fake.steps = {new_frame(), colour_change(), timeout(), colour_change(), timeout()};
    const test::LogCapture log;
    session.run();
    // Each change comes during a turn's wait and is followed at the top of the next turn.
    EXPECT_EQ(session.fake.trace(),
              "find init dup warp new pos draw timeout pos colour timeout pos draw timeout pos colour-changed release "
              "find init dup warp timeout timeout release");
    EXPECT_EQ(log.messages(), std::vector<std::string>{"session: output colour changed, rebuilding"});
}

TEST(SessionLoop, WarpChangeBeforeTheFirstFrameDrawsNothing) {
    Session session;
    FrameStep publish = timeout();
    publish.publish = WarpParams{};
    session.fake.steps = {publish, timeout()};
    session.run();
    EXPECT_EQ(session.fake.trace(), "find init dup warp timeout warp timeout timeout release");
}

TEST(SessionLoop, CursorImageIsUploadedOnlyWhenTheGenerationChanges) {
    Session session;
    session.fake.image.screen_xor = true;  // an I-beam's inverting parts go along with the image
    FrameStep shape = new_frame();
    shape.new_shape = true;
    session.fake.steps = {
        new_frame(),  // generation 0: no shape yet
        shape,        // generation 1
        new_frame(),
        timeout_with_cursor_at(600, 600),
        FrameStep{AcquireResult::AccessLost, {}, false, false, {}, false, 0, {}, {}},
        shape,  // the rebuilt capture counts from 0 again: generation 1 once more, a new renderer
        shape,  // generation 2
    };
    session.run();
    EXPECT_EQ(session.fake.trace(),
              "find init dup warp new pos draw new image pos draw new pos draw timeout pos pos draw lost sleep50*6 "
              "release-capture dup warp new image pos draw new image pos draw timeout pos release");
    for (const FakeCall& call : session.fake.calls_of(FakeOp::set_cursor_image)) {
        EXPECT_EQ(call.width, 32);
        EXPECT_EQ(call.height, 48);
        EXPECT_EQ(call.pixels, session.fake.image.pixels.data());
        EXPECT_EQ(call.screen_xor, session.fake.image.screen_xor);
    }
}

TEST(SessionLoop, CursorPlacementByMonitor) {
    // The frame is drawn in the desktop's orientation on every display rotation (the backend turns a
    // rotated output's frames), so the sprite goes where the pointer is: the hot spot at the pointer.
    struct Case {
        const char* what;
        MonitorRect rect;
        CursorPoint cursor;
        bool visible;
        std::int32_t x, y;     // expected only when visible
        MonitorRect source{};  // another monitor's picture, and the part of it shown
        MonitorRect shown{};
    };
    constexpr MonitorRect operator_screen{-1920, 0, 0, 1080};
    constexpr MonitorRect region{-1800, 100, -1000, 600};
    // Cursor image 32x48 with its hot spot at (3, 5).
    const Case cases[] = {
        {"inside", mirrored_rect, {400, 300}, true, 297, 245},
        {"left of the origin", {-1920, -200, 0, 880}, {-1000, 100}, true, 917, 295},
        {"top-left pixel", mirrored_rect, {100, 50}, true, -3, -5},
        {"bottom-right pixel", mirrored_rect, {1379, 1073}, true, 1276, 1018},
        {"right edge is outside", mirrored_rect, {1380, 300}, false, 0, 0},
        {"bottom edge is outside", mirrored_rect, {400, 1074}, false, 0, 0},
        {"another monitor", mirrored_rect, {-500, 300}, false, 0, 0},
        // The source's pointer, in the source's pixels, while it is in the part shown.
        {"in the source's region", mirrored_rect, {-1500, 200}, true, 417, 195, operator_screen, region},
        {"on the source, past the region", mirrored_rect, {-1900, 200}, false, 0, 0, operator_screen, region},
        {"on the mirrored monitor", mirrored_rect, {400, 300}, false, 0, 0, operator_screen, region},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session session;
        session.target = SessionTarget(c.rect, false, c.source, c.shown);
        session.fake.cursor = c.cursor;
        session.fake.steps = {new_frame()};
        session.run();
        const auto draws = session.fake.calls_of(FakeOp::draw);
        ASSERT_EQ(draws.size(), 1u);
        EXPECT_EQ(draws[0].source, DrawSource::frame);
        EXPECT_EQ(draws[0].visible, c.visible);
        if (c.visible) {
            EXPECT_EQ(draws[0].x, c.x);
            EXPECT_EQ(draws[0].y, c.y);
        }
    }
}

TEST(SessionLoop, TheCursorIsDrawnWhileTheDesktopShowsItAndRedrawnWhenThatChanges) {
    const auto said = [](PointerState system, std::optional<std::int64_t> hiding = std::nullopt) {
        FrameStep step;
        step.pointer = PointerSignals{{}, system};
        step.hiding = hiding;
        return step;
    };
    Session session;
    // Hidden by an application, then by our own hiding, which GetCursorInfo then proves not to reach it,
    // so that its "hidden" is an application's again; no step moves the pointer.
    session.fake.steps = {new_frame(),
                          said(PointerState::hidden),
                          timeout(),
                          said(PointerState::hidden, 1000),
                          said(PointerState::shown),
                          said(PointerState::hidden)};
    session.run();
    std::vector<bool> shown;
    for (const FakeCall& draw : session.fake.calls_of(FakeOp::draw)) {
        shown.push_back(draw.visible);
    }
    EXPECT_EQ(shown, (std::vector<bool>{true, false, true, false}));
}

TEST(SessionLoop, FailingCursorPositionRedrawsAtMostOnce) {
    Session session;
    FrameStep lose_cursor = timeout();
    lose_cursor.cursor_fails = true;
    session.fake.steps = {new_frame(), lose_cursor, timeout(), timeout(), new_frame()};
    session.run();
    EXPECT_EQ(session.fake.trace(),
              "find init dup warp new pos draw timeout pos-fail pos-fail draw timeout pos-fail timeout pos-fail "
              "new pos-fail draw timeout pos-fail release");
    const auto draws = session.fake.calls_of(FakeOp::draw);
    ASSERT_EQ(draws.size(), 3u);
    EXPECT_TRUE(draws[0].visible);
    EXPECT_FALSE(draws[1].visible);
    EXPECT_FALSE(draws[2].visible);
}

TEST(SessionLoop, CaptureModeGoesOnAfterAFailedDraw) {
    test::LogCapture log;
    Session session;
    session.fake.draw_results.then = false;
    session.fake.steps = {new_frame(), timeout_with_cursor_at(700, 700), new_frame()};
    session.run();
    EXPECT_EQ(session.fake.trace(),
              "find init dup warp new pos draw-fail timeout pos pos draw-fail new pos draw-fail timeout pos release");
    EXPECT_EQ(log.messages(), std::vector<std::string>{});
}

TEST(SessionLoop, CalibrationDrawsThePatternOnceThenOnlyOnAChangeOrTheRefresh) {
    Session session;
    session.target.pattern = true;
    session.fake.publish_at_ms = {{300, WarpParams{false, true, 0.5f, 0.0f, 0.0f}}};
    session.fake.stop_at_ms = 2500;
    session.run();
    const auto patterns = session.fake.calls_of(FakeOp::make_pattern);
    ASSERT_EQ(patterns.size(), 1u);
    EXPECT_EQ(patterns[0].width, 1280);
    EXPECT_EQ(patterns[0].height, 1024);
    // The first picture, the warp change at 300 ms, then a refresh after each second without one.
    const auto draws = session.fake.calls_of(FakeOp::draw);
    ASSERT_EQ(draws.size(), 4u);
    EXPECT_EQ(draws[0].time_ms, 0);
    EXPECT_EQ(draws[1].time_ms, 304);
    EXPECT_EQ(draws[2].time_ms, 304 + 1008);
    EXPECT_EQ(draws[3].time_ms, 304 + 2016);
    for (const FakeCall& draw : draws) {
        EXPECT_EQ(draw.source, DrawSource::pattern);
        EXPECT_FALSE(draw.visible);
    }
    // Between them it waits in acquire-length slices, and the stop ends the wait within one.
    for (const FakeCall& sleep : session.fake.calls_of(FakeOp::sleep)) {
        EXPECT_EQ(sleep.ms, acquire_timeout_ms);
    }
    EXPECT_LE(session.fake.ms_after_stop(), static_cast<std::int64_t>(acquire_timeout_ms));
    EXPECT_EQ(session.fake.calls_of(FakeOp::update_warp).size(), 2u);
}

TEST(SessionLoop, CalibrationPatternFailureEndsTheRunForGood) {
    Session session;
    session.target.pattern = true;
    session.fake.pattern_results.then = false;
    session.run();
    EXPECT_EQ(session.fake.trace(), "find init pattern-fail release");
    EXPECT_FALSE(session.fields.stop_requested());
}

TEST(SessionLoop, CalibrationFailedDrawRebuildsAfterAPauseInsteadOfSpinning) {
    test::LogCapture log;
    Session session;
    session.target.pattern = true;
    session.fake.draw_results.results = {false, false};
    session.fake.stop_after_draws = 4;
    session.run();
    EXPECT_EQ(session.fake.trace(),
              "find init pattern warp draw-fail sleep50*6 release find init pattern warp draw-fail sleep50*6 "
              "release find init pattern warp draw sleep16*63 draw release");
    // The second line repeats the first and is only counted (written with the next other line).
    EXPECT_EQ(log.messages(), std::vector<std::string>{"session: draw failed, reinitializing"});
}

TEST(SessionLoop, CalibrationWithADrawThatNeverSucceedsIsPacedByThePause) {
    test::LogCapture log;
    Session session;
    session.target.pattern = true;
    session.fake.draw_results.then = false;
    session.fake.stop_at_ms = 3000;
    session.run();
    // One failed draw per 300 ms pause: ten attempts in three seconds of the fake clock.
    EXPECT_EQ(session.fake.calls_of(FakeOp::draw).size(), 10u);
    log_message("session: test ends");
    EXPECT_EQ(log.messages(), (std::vector<std::string>{"session: draw failed, reinitializing",
                                                        "(previous line repeated 9 times)", "session: test ends"}));
}

// A backend for a run on a real thread: frames come every millisecond of real time, and the values
// each update_warp receives are kept for the main thread to check.
class ThreadedBackend final : public SessionBackend {
public:
    std::atomic<int> acquires{0};
    std::atomic<int> sleeps{0};
    std::atomic<bool> find_output_fails{false};

    [[nodiscard]] std::vector<WarpParams> received() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

    bool find_output() override { return !find_output_fails; }
    bool initialize_renderer(std::int32_t, std::int32_t) override { return true; }
    bool make_pattern(std::int32_t, std::int32_t) override { return true; }
    DuplicationStart start_duplication() override { return DuplicationStart::started; }
    void release_attempt() noexcept override {}
    void release_capture() noexcept override {}
    std::uint32_t device_removed_reason() noexcept override { return 0; }
    bool follow_colour_settings() override { return true; }
    void update_warp(const WarpParams& params) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        received_.push_back(params);
    }
    AcquireResult acquire_frame(unsigned) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return ++acquires % 2 == 0 ? AcquireResult::NewFrame : AcquireResult::Timeout;
    }
    bool has_frame() const noexcept override { return true; }
    const CursorImage& cursor_image() const noexcept override { return image_; }
    void set_cursor_image(std::int32_t, std::int32_t, const std::uint32_t*, bool) override {}
    PointerSignals pointer_signals() noexcept override { return {}; }
    bool cursor_position(CursorPoint& position) noexcept override {
        position = CursorPoint{400, 300};
        return true;
    }
    bool draw(DrawSource, bool, bool, std::int32_t, std::int32_t) override { return true; }
    void sleep_ms(unsigned milliseconds) noexcept override {
        ++sleeps;
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    std::int64_t clock_ms() noexcept override { return 0; }
    void report(SessionReport /*report*/) noexcept override {}

private:
    std::mutex mutex_;
    std::vector<WarpParams> received_;
    CursorImage image_;
};

// Each published set is recognisable as a whole: a torn copy would mix two of them.
WarpParams numbered_params(int n) {
    const float value = static_cast<float>(n);
    return WarpParams{n % 2 == 0, n % 3 == 0, value, -value, value};
}

template <typename Condition>
bool wait_for(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(SessionLoopThreaded, PublishedWarpsArriveWholeAndInOrderAndStopEndsWithinOneTurn) {
    WarpChannel fields;
    ThreadedBackend backend;
    std::thread thread([&] { run_session(backend, fields, SessionTarget{mirrored_rect, false}); });

    constexpr int publications = 200;
    for (int n = 1; n <= publications; ++n) {
        fields.publish(numbered_params(n));
        if (n % 10 == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    const bool final_seen = wait_for([&] {
        const auto received = backend.received();
        return !received.empty() && received.back().keystone_tb == static_cast<float>(publications);
    });

    fields.request_stop();
    const int acquires_at_stop = backend.acquires;
    thread.join();

    EXPECT_TRUE(final_seen);
    EXPECT_LE(backend.acquires, acquires_at_stop + 1);
    const auto received = backend.received();
    ASSERT_GE(received.size(), 2u);
    float previous = -1.0f;
    for (const WarpParams& params : received) {
        const int n = static_cast<int>(params.keystone_tb);
        const WarpParams expected = n == 0 ? WarpParams{} : numbered_params(n);
        EXPECT_EQ(params.mirror_h, expected.mirror_h);
        EXPECT_EQ(params.mirror_v, expected.mirror_v);
        EXPECT_EQ(params.keystone_lr, expected.keystone_lr);
        EXPECT_EQ(params.rotation, expected.rotation);
        EXPECT_GE(params.keystone_tb, previous);
        previous = params.keystone_tb;
    }
}

TEST(SessionLoopThreaded, StopDuringAPauseEndsWithinOneSlice) {
    WarpChannel fields;
    ThreadedBackend backend;
    backend.find_output_fails = true;
    std::thread thread([&] { run_session(backend, fields, SessionTarget{mirrored_rect, false}); });
    const bool pausing = wait_for([&] { return backend.sleeps >= 2; });
    fields.request_stop();
    const int sleeps_at_stop = backend.sleeps;
    thread.join();
    EXPECT_TRUE(pausing);
    EXPECT_LE(backend.sleeps, sleeps_at_stop + 1);
    EXPECT_EQ(backend.acquires, 0);
}

}  // namespace
}  // namespace kelvane
