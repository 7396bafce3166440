// The real Kelvane2.exe mirroring a live desktop: the scripted duplication placed in the running
// program serves a desktop and a pointer shape, and the screen is compared with the CPU reference of
// that desktop under the warp, with the cursor where the warp maps the pointer; a warp change on a
// still desktop, lost access, and a clean exit with every frame given back.
#include <windows.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

#include "platform/log.h"
#include "duplication/script_files_win32.h"
#include "kelvane_process.h"
#include "live_mirror.h"
#include "render/colour_space.h"
#include "render/warp_geometry.h"
#include "session/session_loop.h"
#include "support/cpu_reference.h"
#include "support/screens_win32.h"

namespace kelvane {
namespace {

using namespace test;  // NOLINT(google-build-using-namespace): the e2e helpers

TEST_F(LiveMirror, DesktopAndCursorThroughTheDefaultWarpAndBackAfterLostAccess) {
    const ScriptedShape arrow = test_arrow_shape();
    const Image cursor = colour_shape_image(arrow);
    const WarpParams warp;
    POINT pointer{monitor_.rect.left + width_ / 3, monitor_.rect.top + height_ / 4};
    SetCursorPos(pointer.x, pointer.y);
    writer_.set_shape(arrow);
    start(warp);

    Image expected = reference(warp, cursor, pointer);
    EXPECT_GE(wait_for_picture(expected), required_share);
    const Image without_cursor = reference(warp, std::nullopt, pointer);
    Footprint footprint = compare_footprint(read_screen(monitor_.rect), expected, without_cursor, tolerance);
    EXPECT_GT(footprint.pixels, 200);
    EXPECT_GE(footprint.matching, footprint.pixels * required_cursor_share)
        << footprint.matching << " of " << footprint.pixels;

    // The pointer moves on a still desktop: the cursor follows on the last frame.
    pointer = POINT{monitor_.rect.left + width_ * 3 / 5, monitor_.rect.top + height_ * 2 / 3};
    SetCursorPos(pointer.x, pointer.y);
    expected = reference(warp, cursor, pointer);
    EXPECT_GE(wait_for_picture(expected), required_share);
    footprint =
        compare_footprint(read_screen(monitor_.rect), expected, reference(warp, std::nullopt, pointer), tolerance);
    EXPECT_GE(footprint.matching, footprint.pixels * required_cursor_share)
        << footprint.matching << " of " << footprint.pixels;

    // Duplication says that the desktop hides the pointer (an application does): no cursor is drawn,
    // although nothing of ours hides it (Wine has no Magnification); shown again, it is drawn again.
    // The cursor's own pixels (where the two pictures differ) tell which one is shown.
    const Image hidden = reference(warp, std::nullopt, pointer);
    const auto shows = [&](const Image& wanted, const Image& other) {
        footprint = compare_footprint(read_screen(monitor_.rect), wanted, other, tolerance);
        return footprint.pixels > 200 && footprint.matching >= footprint.pixels * required_cursor_share;
    };
    writer_.move_pointer(pointer.x - monitor_.rect.left, pointer.y - monitor_.rect.top, false);
    EXPECT_TRUE(wait_until([&] { return shows(hidden, expected); }))
        << footprint.matching << " of " << footprint.pixels;
    writer_.move_pointer(pointer.x - monitor_.rect.left, pointer.y - monitor_.rect.top, true);
    EXPECT_TRUE(wait_until([&] { return shows(expected, hidden); }))
        << footprint.matching << " of " << footprint.pixels;

    // Access lost, and the desktop changes meanwhile: only a new duplication can show the new image.
    const long created = counts().created;
    const auto lost_at = Clock::now();
    writer_.lose_access();
    for (std::uint32_t& word : desktop_.pixels) {
        word ^= 0x00FFFFFFu;
    }
    writer_.set_desktop(desktop_);
    expected = reference(warp, cursor, pointer);
    EXPECT_TRUE(wait_until([&] { return counts().created > created; }));
    const auto duplicated_after = elapsed_ms(lost_at);
    EXPECT_GE(wait_for_picture(expected), required_share);
    std::printf("access lost: new duplication after %lld ms, picture back after %lld ms\n",
                static_cast<long long>(duplicated_after), static_cast<long long>(elapsed_ms(lost_at)));
    EXPECT_LT(duplicated_after, lost_recovery_limit_ms);
    EXPECT_EQ(counts().created, created + 1);
    const std::vector<std::string> messages = log_messages(log_file());
    EXPECT_NE(std::find(messages.begin(), messages.end(), "session: duplication lost, reinitializing"), messages.end());

    exit_cleanly();
}

TEST_F(LiveMirror, FullWarpAndATrayChangeShownOnTheLastFrame) {
    WarpParams warp;
    warp.mirror_h = true;
    warp.mirror_v = true;
    warp.keystone_tb = 0.3f;
    warp.keystone_lr = -0.25f;
    warp.rotation = 8.0f;
    // No pointer shape is served, so no cursor is drawn.
    start(warp);
    EXPECT_GE(wait_for_picture(reference(warp, std::nullopt, POINT{})), required_share);

    // The desktop sends nothing new; the menu's mirror flip still shows at once, from the last frame.
    const long acquisitions = counts().acquisitions;
    PostMessageW(control_, WM_COMMAND, mirror_h_command, 0);
    warp.mirror_h = false;
    EXPECT_GE(wait_for_picture(reference(warp, std::nullopt, POINT{})), required_share);
    EXPECT_EQ(counts().acquisitions, acquisitions);

    exit_cleanly();
}

// Duplication refused several times in a row on the only adapter there is: a lock screen
// (E_ACCESSDENIED, ended by an unlock), or a desktop mode or session that cannot be duplicated
// (DXGI_ERROR_UNSUPPORTED, which just stops). The attempts back off instead of churning, the renderer is
// not rebuilt for each, the log stays short, and the mirror comes back at once after an unlock, else
// after the pause under way.
class RefusedDuplication : public LiveMirror, public testing::WithParamInterface<HRESULT> {};

TEST_P(RefusedDuplication, BacksOffKeepsTheRendererAndComesBack) {
    constexpr int refusals = 5;
    const bool lock_screen = GetParam() == E_ACCESSDENIED;
    writer_.fail_duplicate_output(GetParam(), refusals);
    start(WarpParams{});
    // The pause after each refusal starts once its count is written, so from a count seen to the last
    // refusal at least the pauses in between pass.
    EXPECT_TRUE(wait_until([&] { return counts().refused >= 1; }, refusal_limit_ms));
    const auto first_seen_at = Clock::now();
    const long first_seen = counts().refused;
    EXPECT_TRUE(wait_until([&] { return counts().refused == refusals; }, refusal_limit_ms));
    const auto refused_for = elapsed_ms(first_seen_at);
    // The pause after refusal n is duplication_retry_pause(n - 1); the one after first_seen may have
    // begun before it was seen.
    long long backed_off_ms = 0;
    for (long failures = first_seen; failures + 1 < refusals; ++failures) {
        backed_off_ms += duplication_retry_pause(static_cast<unsigned>(failures));
    }
    const std::vector<std::string> during = log_messages(log_file());
    const auto builds = std::count_if(during.begin(), during.end(), [](const std::string& line) {
        return line.rfind("renderer: initialized", 0) == 0;
    });
    std::printf("refusals %ld to %d took %lld ms, backing off for at least %lld ms; %lld renderer builds\n", first_seen,
                refusals, refused_for, backed_off_ms, static_cast<long long>(builds));
    EXPECT_GE(refused_for, backed_off_ms * 9 / 10);  // a sleep may end a timer tick early on Windows
    // One, and one more after every few refusals in a row (in case the device was lost meanwhile).
    EXPECT_LE(builds, 1 + refusals / static_cast<int>(duplication_failures_per_rebuild));
    EXPECT_EQ(counts().created, 0);

    // The unlock comes at the start of the longest pause, which it must cut short; without one the
    // mirror comes back when that pause ends.
    const auto unlocked_at = Clock::now();
    if (lock_screen) {
        PostMessageW(control_, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
    }
    EXPECT_TRUE(wait_until([&] { return counts().created == 1; }));
    const auto back_after = elapsed_ms(unlocked_at);
    std::printf("answers stopped: new duplication after %lld ms\n", static_cast<long long>(back_after));
    const auto longest_pause = static_cast<long long>(duplication_retry_pause(static_cast<unsigned>(refusals - 1)));
    EXPECT_LT(back_after, lock_screen ? longest_pause * 3 / 4 : longest_pause * 3);
    // A wait that went on long enough has been told in a notification, which covers part of the screen
    // for a while.
    EXPECT_TRUE(wait_until([] { return !notification_shown(); }, 30000));
    EXPECT_GE(wait_for_picture(reference(WarpParams{}, std::nullopt, POINT{})), required_share);
    exit_cleanly();
    const std::vector<std::string> messages = log_messages(log_file());
    std::printf("log: %zu lines for the whole run\n", messages.size());
    EXPECT_LT(messages.size(), 40u);
}

INSTANTIATE_TEST_SUITE_P(OnTheOnlyAdapter, RefusedDuplication, testing::Values(E_ACCESSDENIED, DXGI_ERROR_UNSUPPORTED));

// Windows HDR on the mirrored monitor: the duplication hands over FP16 frames with highlights above the
// SDR range, and the mirror presents them through its FP16 scRGB swap chain.
TEST_F(LiveMirror, HdrDesktopRunsThroughTheFp16SwapChain) {
    writer_.set_hdr(true);
    start(WarpParams{});
    const long before = counts().acquisitions;
    writer_.set_desktop_fp16(width_, height_, hdr_desktop());
    const std::string prefix = "renderer: HDR output, FP16 scRGB swap chain, SDR white ";
    const auto said = [&] {
        const std::vector<std::string> messages = log_messages(log_file());
        return std::count_if(messages.begin(), messages.end(), [&](const std::string& line) {
            return line.rfind(prefix, 0) == 0 && line.size() > prefix.size() + 5 &&
                   line.compare(line.size() - 5, 5, " nits") == 0;
        });
    };
    for (int i = 0; i < 400 && (said() == 0 || counts().acquisitions <= before); ++i) {
        Sleep(50);
    }
    EXPECT_EQ(said(), 1);
    EXPECT_GT(counts().acquisitions, before);
    exit_cleanly();
}

// HDR switched on while mirroring, with no display change: the colour setting change that Windows
// broadcasts makes the mirror read the output's colour again and present through the FP16 swap chain.
TEST_F(LiveMirror, AColourSettingChangeWhileMirroringIsFollowed) {
    start(WarpParams{});
    EXPECT_GE(wait_for_picture(reference(WarpParams{}, std::nullopt, POINT{})), required_share);
    // The script is read by the program in its own time, line after line: once the FP16 desktop written
    // after the switch has been acquired, the output reports HDR.
    const long before = counts().acquisitions;
    writer_.set_hdr(true);
    writer_.set_desktop_fp16(width_, height_, hdr_desktop());
    ASSERT_TRUE(wait_until([&] { return counts().acquisitions > before; }));
    const auto said = [&](const std::string& wanted) {
        const std::vector<std::string> messages = log_messages(log_file());
        return std::any_of(messages.begin(), messages.end(),
                           [&](const std::string& line) { return line.rfind(wanted, 0) == 0; });
    };
    const auto changed_at = Clock::now();
    // Sent as Windows broadcasts it, to the overlay: the mirror's window that is on screen.
    const HWND overlay = FindWindowW(L"Kelvane2Overlay", nullptr);
    ASSERT_NE(overlay, nullptr);
    DWORD_PTR result = 0;
    EXPECT_NE(SendMessageTimeoutW(overlay, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"ImmersiveColorSet"),
                                  SMTO_ABORTIFHUNG, 5000, &result),
              0);
    EXPECT_TRUE(wait_until([&] { return said("renderer: HDR output, FP16 scRGB swap chain, SDR white "); }));
    std::printf("colour setting change: HDR presented after %lld ms\n", static_cast<long long>(elapsed_ms(changed_at)));
    EXPECT_TRUE(said("session: output colour changed, rebuilding"));
    exit_cleanly();
}

// A turned display: its frames come in the panel's orientation, and the mirror still shows the desktop
// as the user sees it, mirrored, with the cursor where the pointer is.
class TurnedDisplay : public LiveMirror, public testing::WithParamInterface<DXGI_MODE_ROTATION> {};

TEST_P(TurnedDisplay, IsMirroredUprightWithTheCursorAtThePointer) {
    const ScriptedShape arrow = test_arrow_shape();
    const Image cursor = colour_shape_image(arrow);
    const WarpParams warp;
    const POINT pointer{monitor_.rect.left + width_ / 4, monitor_.rect.top + height_ * 3 / 5};
    SetCursorPos(pointer.x, pointer.y);
    writer_.set_shape(arrow);
    start(warp, GetParam());

    const Image expected = reference(warp, cursor, pointer);
    EXPECT_GE(wait_for_picture(expected), required_share);
    const Footprint footprint =
        compare_footprint(read_screen(monitor_.rect), expected, reference(warp, std::nullopt, pointer), tolerance);
    EXPECT_GT(footprint.pixels, 200);
    EXPECT_GE(footprint.matching, footprint.pixels * required_cursor_share)
        << footprint.matching << " of " << footprint.pixels;
    const std::vector<std::string> messages = log_messages(log_file());
    const std::string rotation_line = "capture: output rotation=" + std::to_string(static_cast<int>(GetParam())) +
                                      " (frames turned to the desktop's orientation)";
    EXPECT_NE(std::find(messages.begin(), messages.end(), rotation_line), messages.end());
    exit_cleanly();
}

INSTANTIATE_TEST_SUITE_P(Rotations, TurnedDisplay,
                         testing::Values(DXGI_MODE_ROTATION_ROTATE90, DXGI_MODE_ROTATION_ROTATE180,
                                         DXGI_MODE_ROTATION_ROTATE270));

}  // namespace
}  // namespace kelvane
