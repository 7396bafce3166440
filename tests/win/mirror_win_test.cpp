// The mirror end to end on Windows, under Wine: start and stop with the overlay, the warped pattern on
// the screen, live warp changes, capture mode, the overlay's z-order upkeep, the monitor choice and the
// cursor hiding. Where the outcome depends on the platform (capture exclusion, Desktop Duplication,
// Magnification, the monitor layout) the test asks the platform and expects what it answered.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "app/application_win32.h"
#include "app/notices.h"
#include "d3d_test_support_win32.h"
#include "render/calibration_pattern.h"
#include "session/overlay_win32.h"
#include "settings/settings.h"
#include "support/log_capture.h"
#include "support/screens_win32.h"

namespace kelvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto picture_timeout = std::chrono::seconds(20);

COLORREF rgb_of(std::uint32_t word) {
    return RGB((word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF);
}

COLORREF screen_pixel(int x, int y) {
    const HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return colour;
}

// Waits until `condition` holds, pumping this thread's messages meanwhile.
template <typename Condition>
bool pump_until(Condition condition, std::chrono::milliseconds limit = picture_timeout) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
        Sleep(50);
    }
    return false;
}

// Waits until the screen shows `colour` at (x, y).
bool wait_for_pixel(int x, int y, COLORREF colour, std::chrono::milliseconds limit = picture_timeout) {
    return pump_until([&] { return screen_pixel(x, y) == colour; }, limit);
}

bool contains_line(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::size_t count_lines(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

// Waits until the log holds `count` copies of `line`.
bool wait_for_lines(const test::LogCapture& log, const std::string& line, std::size_t count,
                    std::chrono::milliseconds limit = picture_timeout) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        if (count_lines(log.messages(), line) >= count) {
            return true;
        }
        Sleep(50);
    }
    return false;
}

// The application's controller and Windows host, without the control window: the mirror as the
// tray and the hotkey start it.
class Mirror : public testing::Test {
protected:
    void make_app(bool pattern, Settings settings = Settings{}) {
        app_ = std::make_unique<Application>(GetModuleHandleW(nullptr), std::move(settings), pattern, false);
    }

    void TearDown() override {
        if (app_) {
            app_->controller().stop_mirror();
        }
    }

    [[nodiscard]] Controller& controller() const { return app_->controller(); }
    [[nodiscard]] MirrorSession* session() const { return app_->host().session(); }
    [[nodiscard]] HWND overlay_window() const { return session() != nullptr ? session()->overlay() : nullptr; }

    std::unique_ptr<Application> app_;
};

// The monitor the automatic choice mirrors (with Wine's two heads at the origin, the smaller one:
// DISPLAY2, 1280x1024).
test::Screen auto_choice() {
    const std::vector<test::Screen> list = test::screens();
    return list.empty() ? test::Screen{} : list[test::auto_screen(list)];
}

TEST_F(Mirror, CalibrationPatternIsShownThroughTheWarpAndFollowsChanges) {
    const test::Screen screen = auto_choice();
    const int auto_width = screen.width();
    const int auto_height = screen.height();
    const int left = screen.rect.left;
    const int top = screen.rect.top;
    make_app(true);
    const test::LogCapture log;
    controller().start_mirror();
    ASSERT_TRUE(controller().running());
    ASSERT_NE(overlay_window(), nullptr);
    EXPECT_TRUE((session() != nullptr));

    const HWND overlay = overlay_window();
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(overlay, GWL_EXSTYLE)), 0x080800A8u);
    // The system adds WS_CLIPSIBLINGS to every top-level window; showing adds WS_VISIBLE.
    EXPECT_EQ(
        static_cast<DWORD>(GetWindowLongW(overlay, GWL_STYLE)) & ~static_cast<DWORD>(WS_VISIBLE | WS_CLIPSIBLINGS),
        static_cast<DWORD>(WS_POPUP));
    // Hidden until the session reports its first present, which only this thread's messages can bring.
    EXPECT_FALSE(IsWindowVisible(overlay));
    EXPECT_TRUE(pump_until([&] { return IsWindowVisible(overlay) != FALSE; }));
    EXPECT_TRUE(session()->presenting());
    RECT rect{};
    GetWindowRect(overlay, &rect);
    EXPECT_EQ(rect.right - rect.left, auto_width);
    EXPECT_EQ(rect.bottom - rect.top, auto_height);

    // Where the platform excludes the overlay from capture, no screen read shows it; where it cannot
    // (Wine), the failure is reported, the mirror goes on and the screen shows the pattern.
    const auto started = log.messages();
    const bool refusal_logged = std::any_of(started.begin(), started.end(), [](const std::string& line) {
        return line.rfind("overlay: SetWindowDisplayAffinity failed, err=", 0) == 0 &&
               line.find(" - feedback loop likely!") != std::string::npos;
    });
    DWORD affinity = WDA_NONE;
    const bool excluded = GetWindowDisplayAffinity(overlay, &affinity) && affinity == WDA_EXCLUDEFROMCAPTURE;
    EXPECT_NE(refusal_logged, excluded);
    if (excluded) {
        std::printf("  the overlay is excluded from capture: its pixels cannot be read back here\n");
    } else {
        // Default warp: mirrored horizontally, so the red top-left corner shows at the top-right.
        const COLORREF red = rgb_of(pattern_top_left);
        EXPECT_TRUE(wait_for_pixel(left + auto_width - 10, top + 10, red))
            << "top-right pixel " << std::hex << screen_pixel(left + auto_width - 10, top + 10);
        EXPECT_EQ(screen_pixel(left + 10, top + 10), rgb_of(pattern_top_right));
    }

    // Both mirrors, published to the running session: red goes to the bottom-right, with no restart.
    WarpParams flipped = controller().settings().warp;
    flipped.mirror_v = true;
    controller().warp_edited(flipped, false);
    if (!excluded) {
        EXPECT_TRUE(wait_for_pixel(left + auto_width - 10, top + auto_height - 10, rgb_of(pattern_top_left)));
    }
    EXPECT_EQ(overlay_window(), overlay);

    const auto lines = log.messages();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], test::mirroring_line(screen));
    EXPECT_TRUE(contains_line(lines, test::overlay_line(screen)));
    EXPECT_EQ(count_lines(lines, "overlay: shown"), 1u);
    EXPECT_TRUE(contains_line(
        lines, "renderer: initialized " + std::to_string(auto_width) + "x" + std::to_string(auto_height)));

    const auto before = Clock::now();
    controller().stop_mirror();
    const auto stop_ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before).count();
    std::printf("  stop_mirror in calibration mode took %lld ms\n", static_cast<long long>(stop_ms));
    // The figure is printed for the record (typically 50-160 ms here); the bound only catches a stop
    // that is not seen at all, without making the test depend on the machine's load.
    EXPECT_LT(stop_ms, 1000);
    EXPECT_FALSE(controller().running());
    EXPECT_FALSE((session() != nullptr));
    EXPECT_EQ(overlay_window(), nullptr);
    EXPECT_FALSE(IsWindow(overlay));
    EXPECT_EQ(log.messages().back(), "stop: mirror stopped");
}

TEST_F(Mirror, StartWhileRunningAndStopWhileStoppedDoNothing) {
    make_app(true);
    const test::LogCapture log;
    controller().stop_mirror();
    EXPECT_TRUE(log.messages().empty());
    controller().start_mirror();
    const HWND overlay = overlay_window();
    controller().start_mirror();
    EXPECT_EQ(overlay_window(), overlay);
    EXPECT_TRUE(IsWindow(overlay));
    EXPECT_EQ(count_lines(log.messages(), test::mirroring_line(auto_choice())), 1u);
    EXPECT_EQ(count_lines(log.messages(), test::overlay_line(auto_choice())), 1u);
}

TEST_F(Mirror, CaptureModeStartsOrRetriesAndStillStopsPromptly) {
    // Asked before the mirror starts, so that the two duplications never overlap.
    const test::DuplicationAnswer answer = test::duplication_answer(auto_choice().handle);
    make_app(false);
    const test::LogCapture log;
    controller().start_mirror();
    ASSERT_TRUE(controller().running());
    if (SUCCEEDED(answer.hr)) {
        EXPECT_TRUE(wait_for_lines(log, "capture: duplication started", 1));
    } else {
        // Where duplication cannot start (Wine: E_NOTIMPL), the session reports it on every retry.
        EXPECT_TRUE(wait_for_lines(log, test::failed_call_line(answer.call, answer.hr), 2));
    }
    const auto before = Clock::now();
    controller().stop_mirror();
    const auto stop_ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before).count();
    std::printf("  stop_mirror in capture mode took %lld ms\n", static_cast<long long>(stop_ms));
    EXPECT_LT(stop_ms, 2000);
    EXPECT_EQ(log.messages().back(), "stop: mirror stopped");
}

TEST_F(Mirror, SavedMonitorChoosesTheScreenAndAnUnknownOneFallsBack) {
    const std::vector<test::Screen> list = test::screens();
    if (list.size() < 2) {
        GTEST_SKIP() << "needs two monitors";
    }
    // The first monitor that the automatic choice would not take (DISPLAY1 under Wine).
    const test::Screen& saved = list[test::auto_screen(list) == 0 ? 1 : 0];
    Settings first;
    first.monitor = saved.name;
    make_app(true, first);
    {
        const test::LogCapture log;
        controller().start_mirror();
        EXPECT_TRUE(contains_line(log.messages(), test::overlay_line(saved)));
        EXPECT_EQ(session()->device_name(), saved.name);
        controller().stop_mirror();
    }
    Settings unknown;
    unknown.monitor = L"\\\\.\\DISPLAY9";
    make_app(true, unknown);
    const test::LogCapture log;
    controller().start_mirror();
    const auto lines = log.messages();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "start: saved monitor not found, falling back to auto");
    EXPECT_EQ(lines[1], test::mirroring_line(list[test::auto_screen(list)]));
    EXPECT_EQ(controller().settings().monitor, L"\\\\.\\DISPLAY9");
    EXPECT_EQ(session()->device_name(), list[test::auto_screen(list)].name);
}

TEST_F(Mirror, ToggleRecordsTheChoiceAndSavesEachTime) {
    make_app(true);
    const std::wstring path = settings_path();
    DeleteFileW(path.c_str());
    controller().toggle_mirror();
    EXPECT_TRUE(controller().running());
    Settings saved;
    saved.active = false;
    load_settings(saved);
    EXPECT_TRUE(saved.active);
    controller().toggle_mirror();
    EXPECT_FALSE(controller().running());
    load_settings(saved);
    EXPECT_FALSE(saved.active);
}

TEST_F(Mirror, CursorIsHiddenOnTheMirrorOrMissingMagnificationReportedOnce) {
    // A point on another monitor, off the mirrored one (bottom-right of DISPLAY1 under Wine).
    const std::vector<test::Screen> list = test::screens();
    const RECT mirrored = list.empty() ? RECT{} : list[test::auto_screen(list)].rect;
    POINT off{};
    bool found = false;
    for (const test::Screen& s : list) {
        const POINT corner{s.rect.right - 20, s.rect.bottom - 20};
        if (!found && PtInRect(&mirrored, corner) == 0) {
            off = corner;
            found = true;
        }
    }
    if (!found) {
        GTEST_SKIP() << "needs a monitor that reaches past the mirrored one";
    }
    // What the platform offers: Magnification.dll with the two calls the cursor hiding uses.
    const HMODULE magnification = LoadLibraryExW(L"Magnification.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const bool has_magnification = magnification != nullptr &&
                                   GetProcAddress(magnification, "MagInitialize") != nullptr &&
                                   GetProcAddress(magnification, "MagShowSystemCursor") != nullptr;
    make_app(true);
    controller().start_mirror();
    // The cursor is hidden only over a shown overlay.
    SetCursorPos(mirrored.left + 100, mirrored.top + 100);
    session()->update_cursor_visibility();
    EXPECT_FALSE(session()->cursor_hidden());
    SetCursorPos(off.x, off.y);
    ASSERT_TRUE(pump_until([&] { return session()->presenting(); }));
    const test::LogCapture log;
    session()->update_cursor_visibility();
    EXPECT_TRUE(log.messages().empty());
    SetCursorPos(mirrored.left + 100, mirrored.top + 100);
    session()->update_cursor_visibility();
    session()->update_cursor_visibility();
    if (has_magnification) {
        EXPECT_TRUE(log.messages().empty()) << log.text();
        EXPECT_TRUE(session()->cursor_hidden());
        // Off the mirror again: the cursor comes back.
        SetCursorPos(off.x, off.y);
        session()->update_cursor_visibility();
        EXPECT_FALSE(session()->cursor_hidden());
    } else {
        // Tried on every tick on the mirror, said once a run.
        EXPECT_EQ(log.messages(),
                  std::vector<std::string>{"MagInitialize failed; system cursor will stay visible on the mirror"});
        EXPECT_FALSE(session()->cursor_hidden());
    }
    if (magnification != nullptr) {
        FreeLibrary(magnification);
    }
}

// The session's end for good, as its thread reports it, goes from the overlay to the control window:
// the mirror stops as by the user, the settings stay, and the user is told once.
TEST_F(Mirror, ASessionThatEndsByItselfStopsTheMirrorAndTellsTheUser) {
    make_app(true);
    const test::LogCapture log;
    ASSERT_TRUE(app_->set_up());
    ASSERT_TRUE(controller().running());
    const HWND overlay = overlay_window();
    ASSERT_TRUE(pump_until([&] { return session()->presenting(); }));
    PostMessageW(overlay, overlay_report_message, static_cast<WPARAM>(SessionReport::ended), 0);
    EXPECT_TRUE(pump_until([&] { return !controller().running(); }));
    EXPECT_FALSE(IsWindow(overlay));
    EXPECT_TRUE(controller().settings().active);
    const std::string told = std::string("notify: ") + notice_text(Notice::mirror_stopped);
    EXPECT_EQ(count_lines(log.messages(), told), 1u);
    app_->tear_down();
}

// Counts the z-order changes of the overlay by listening to its position messages.
class OverlayZOrder : public testing::Test {
protected:
    void SetUp() override {
        const RECT rect{0, 0, 400, 300};
        ASSERT_TRUE(create_overlay(overlay_, GetModuleHandleW(nullptr), rect, false));
        show_overlay(overlay_, true);
        original_proc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(overlay_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OverlayZOrder::counting_proc)));
        position_changes_ = 0;
    }

    void TearDown() override {
        for (HWND window : windows_) {
            DestroyWindow(window);
        }
        destroy_overlay(overlay_);
        EXPECT_EQ(overlay_, nullptr);
    }

    HWND add_window(int x, int y, int width, int height, bool visible) {
        const HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, L"STATIC", L"above",
                                            WS_POPUP | (visible ? WS_VISIBLE : 0), x, y, width, height, nullptr,
                                            nullptr, GetModuleHandleW(nullptr), nullptr);
        windows_.push_back(window);
        return window;
    }

    // True when `window` lies above the overlay in z-order.
    bool above_overlay(HWND window) const {
        for (HWND w = GetWindow(overlay_, GW_HWNDPREV); w != nullptr; w = GetWindow(w, GW_HWNDPREV)) {
            if (w == window) {
                return true;
            }
        }
        return false;
    }

    static LRESULT CALLBACK counting_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_WINDOWPOSCHANGED) {
            const auto* pos = reinterpret_cast<const WINDOWPOS*>(lparam);
            if ((pos->flags & SWP_NOZORDER) == 0) {
                ++position_changes_;
            }
        }
        return CallWindowProcW(original_proc_, hwnd, message, wparam, lparam);
    }

    HWND overlay_ = nullptr;
    std::vector<HWND> windows_;
    static inline WNDPROC original_proc_ = nullptr;
    static inline int position_changes_ = 0;
};

TEST_F(OverlayZOrder, OnlyAVisibleOverlappingWindowAboveBringsItBack) {
    const HWND elsewhere = add_window(600, 500, 100, 100, true);
    const HWND hidden = add_window(50, 50, 100, 100, false);
    const HWND minimised = add_window(60, 60, 100, 100, true);
    ShowWindow(minimised, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(minimised));
    ASSERT_TRUE(above_overlay(elsewhere));
    ASSERT_TRUE(above_overlay(hidden));

    keep_overlay_topmost(overlay_);
    EXPECT_EQ(position_changes_, 0);
    EXPECT_TRUE(above_overlay(elsewhere));

    const HWND first = add_window(100, 100, 200, 100, true);
    const HWND second = add_window(150, 120, 200, 100, true);
    ASSERT_TRUE(above_overlay(first));
    ASSERT_TRUE(above_overlay(second));
    position_changes_ = 0;
    keep_overlay_topmost(overlay_);
    EXPECT_EQ(position_changes_, 1);
    EXPECT_FALSE(above_overlay(first));
    EXPECT_FALSE(above_overlay(second));

    // Already on top: nothing more to do.
    position_changes_ = 0;
    keep_overlay_topmost(overlay_);
    keep_overlay_topmost(nullptr);
    EXPECT_EQ(position_changes_, 0);
}

TEST_F(OverlayZOrder, NoExcludeLogsTheDebugLineAndReplacesTheOldOverlay) {
    const HWND old = overlay_;
    const test::LogCapture log;
    const RECT rect{1920, 0, 3840, 1080};
    ASSERT_TRUE(create_overlay(overlay_, GetModuleHandleW(nullptr), rect, false));
    EXPECT_FALSE(IsWindow(old));
    EXPECT_EQ(log.messages(), (std::vector<std::string>{"overlay: capture exclusion DISABLED (debug mode)",
                                                        "overlay: created at (1920,0) 1920x1080"}));
    HWND none = nullptr;
    destroy_overlay(none);
    EXPECT_EQ(none, nullptr);
}

}  // namespace
}  // namespace kelvane
