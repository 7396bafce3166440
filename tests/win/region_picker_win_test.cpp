// The region selection window driven from outside, as the end-to-end test drives it: mouse messages
// posted with client coordinates and keys posted to the window. What is reported, the log lines, and
// the window gone by the time of the report.
#include <windows.h>
#include <dwmapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/screens_win32.h"
#include "ui/region_picker_win32.h"

namespace kelvane {
namespace {

class RegionActions final : public UserActions {
public:
    void toggle_mirror() override {}
    void open_menu() override {}
    void command(unsigned /*id*/) override {}
    void display_changed() override {}
    void display_settled() override {}
    void desktop_switched() override {}
    void mirror_waiting(WaitReason /*reason*/) override {}
    void mirror_ended() override {}
    void warp_edited(const WarpParams& /*warp*/, bool /*finished*/) override {}
    void warp_reset() override {}
    void adjust_closed() override {}
    bool hotkey_chosen(const Hotkey& /*hotkey*/) override { return false; }
    void remote_command(RemoteCommand /*command*/) override {}
    void region_chosen(const MonitorRect& rect) override {
        chosen.push_back(rect);
        gone_when_reported = IsWindow(watched) == FALSE;
    }
    void region_cancelled() override {
        ++cancelled;
        gone_when_reported = IsWindow(watched) == FALSE;
    }

    HWND watched = nullptr;
    std::vector<MonitorRect> chosen;
    int cancelled = 0;
    bool gone_when_reported = false;
};

const WindowFilter no_window = [](HWND /*window*/) noexcept { return false; };
// This test's own windows stand for another program's, which the product's filter would take.
const WindowFilter window_of_this_process = [](HWND window) noexcept { return !window_of_another_process(window); };

std::string chosen_line(const MonitorRect& r) {
    return "region: chosen (" + std::to_string(r.left) + "," + std::to_string(r.top) + ") " +
           std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

class RegionPickerTest : public testing::Test {
protected:
    void SetUp() override {
        for (const test::Screen& screen : test::screens()) {
            if (screen.primary) {
                monitor_ = MonitorRect{screen.rect.left, screen.rect.top, screen.rect.right, screen.rect.bottom};
            }
        }
        ASSERT_TRUE(rect_has_area(monitor_));
    }

    void open(RegionPicker& picker) {
        ASSERT_TRUE(picker.open(GetModuleHandleW(nullptr), monitor_));
        actions_.watched = picker.hwnd();
        pump();
    }
    static void pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // A mouse message at (x, y) in the window's client coordinates; negative ones as a drag past the
    // window's edge brings them.
    void mouse(UINT message, int x, int y, WPARAM buttons = MK_LBUTTON) const {
        PostMessageW(actions_.watched, message, message == WM_LBUTTONUP ? 0 : buttons,
                     MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
    }
    void key(UINT virtual_key) const {
        PostMessageW(actions_.watched, WM_KEYDOWN, virtual_key, 1);
        pump();
    }
    [[nodiscard]] MonitorRect on_monitor(int left, int top, int right, int bottom) const {
        return MonitorRect{monitor_.left + left, monitor_.top + top, monitor_.left + right, monitor_.top + bottom};
    }
    [[nodiscard]] int height() const { return monitor_.bottom - monitor_.top; }

    test::LogCapture log_;
    MonitorRect monitor_;
    RegionActions actions_;
};

TEST_F(RegionPickerTest, OpensOverTheMonitorAndADragTakesItsRectangleOnceTheWindowIsGone) {
    const struct Case {
        POINT press, through, release;
        MonitorRect taken;
    } cases[] = {
        {{300, 200}, {350, 260}, {100, 50}, on_monitor(100, 50, 301, 201)},
        {{20, 30}, {-40, 40}, {-40, height() + 50}, on_monitor(0, 30, 21, height())},  // out past two edges
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.release.y);
        RegionPicker picker(actions_, no_window);
        open(picker);
        const HWND window = picker.hwnd();
        EXPECT_EQ(FindWindowW(region_class_name, nullptr), window);
        RECT rect{};
        GetWindowRect(window, &rect);
        EXPECT_TRUE(same_rect(MonitorRect{rect.left, rect.top, rect.right, rect.bottom}, monitor_));
        ASSERT_TRUE(picker.open(GetModuleHandleW(nullptr), monitor_));  // brought forward, not a second one
        EXPECT_EQ(picker.hwnd(), window);

        actions_.chosen.clear();
        mouse(WM_LBUTTONDOWN, c.press.x, c.press.y);
        mouse(WM_MOUSEMOVE, c.through.x, c.through.y);
        mouse(WM_MOUSEMOVE, c.release.x, c.release.y);
        mouse(WM_LBUTTONUP, c.release.x, c.release.y);
        pump();
        ASSERT_EQ(actions_.chosen.size(), 1u);
        EXPECT_TRUE(same_rect(actions_.chosen[0], c.taken));
        EXPECT_TRUE(actions_.gone_when_reported);
        EXPECT_EQ(picker.hwnd(), nullptr);
        EXPECT_NE(log_.text().find(chosen_line(c.taken) + "\n"), std::string::npos) << log_.text();
    }
    EXPECT_EQ(actions_.cancelled, 0);
}

TEST_F(RegionPickerTest, EnterTakesTheDragInProgressAndEscCancels) {
    RegionPicker picker(actions_, no_window);
    open(picker);
    key(VK_RETURN);  // nothing shown yet: nothing to take
    EXPECT_NE(picker.hwnd(), nullptr);
    mouse(WM_LBUTTONDOWN, 400, 300);
    mouse(WM_MOUSEMOVE, 600, 350);
    key(VK_RETURN);
    ASSERT_EQ(actions_.chosen.size(), 1u);
    EXPECT_TRUE(same_rect(actions_.chosen[0], on_monitor(400, 300, 601, 351)));
    EXPECT_TRUE(actions_.gone_when_reported);

    open(picker);
    mouse(WM_LBUTTONDOWN, 400, 300);
    mouse(WM_MOUSEMOVE, 600, 350);
    key(VK_ESCAPE);
    EXPECT_EQ(actions_.cancelled, 1);
    EXPECT_TRUE(actions_.gone_when_reported);
    EXPECT_EQ(actions_.chosen.size(), 1u);
    EXPECT_EQ(picker.hwnd(), nullptr);
    EXPECT_NE(log_.text().find("region: selection cancelled\n"), std::string::npos);

    // Another program coming forward ends the selection as Esc does.
    open(picker);
    SendMessageW(actions_.watched, WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_EQ(actions_.cancelled, 2);
    EXPECT_TRUE(actions_.gone_when_reported);
}

// A plain top-level window of known place under the selection window: a click takes its visible
// frame, a click beside it takes nothing and the selection goes on.
TEST_F(RegionPickerTest, AClickTakesTheFrameOfTheWindowUnderItAndNothingBesideIt) {
    const HWND target = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"target", WS_OVERLAPPEDWINDOW, monitor_.left + 200,
                                        monitor_.top + 150, 400, 300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(target, nullptr);
    ShowWindow(target, SW_SHOWNOACTIVATE);
    EXPECT_FALSE(window_of_another_process(target));
    EXPECT_TRUE(window_shown(target));
    // The frame as the system gives it: without composition (Wine), the window rectangle.
    RECT frame{};
    if (FAILED(DwmGetWindowAttribute(target, DWMWA_EXTENDED_FRAME_BOUNDS, &frame, sizeof frame)) ||
        frame.right <= frame.left) {
        GetWindowRect(target, &frame);
    }
    ASSERT_TRUE(rect_contains(monitor_, (frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2));

    RegionPicker picker(actions_, window_of_this_process);
    open(picker);
    mouse(WM_LBUTTONDOWN, frame.left - monitor_.left - 20, frame.top - monitor_.top - 20);
    mouse(WM_LBUTTONUP, frame.left - monitor_.left - 20, frame.top - monitor_.top - 20);
    pump();
    EXPECT_TRUE(actions_.chosen.empty());
    ASSERT_NE(picker.hwnd(), nullptr);
    EXPECT_NE(log_.text().find("region: no window to take at"), std::string::npos);

    // The pointer may wander a little within a click. The selection window above it is skipped.
    const int x = (frame.left + frame.right) / 2 - monitor_.left;
    const int y = (frame.top + frame.bottom) / 2 - monitor_.top;
    mouse(WM_LBUTTONDOWN, x, y);
    mouse(WM_MOUSEMOVE, x + 2, y - 2);
    mouse(WM_LBUTTONUP, x + 2, y - 2);
    pump();
    ASSERT_EQ(actions_.chosen.size(), 1u);
    EXPECT_TRUE(
        same_rect(actions_.chosen[0], *clip_rect({frame.left, frame.top, frame.right, frame.bottom}, monitor_)));
    EXPECT_TRUE(actions_.gone_when_reported);

    // The pointer resting over it shows it, and Enter takes it. Posted messages all come before the
    // moves the system makes up for a real pointer, so these two are what the window sees.
    open(picker);
    mouse(WM_MOUSEMOVE, x, y, 0);
    key(VK_RETURN);
    ASSERT_EQ(actions_.chosen.size(), 2u);
    EXPECT_TRUE(same_rect(actions_.chosen[1], actions_.chosen[0]));

    // A minimised window is not on the screen to be clicked.
    ShowWindow(target, SW_MINIMIZE);
    if (IsIconic(target) != FALSE) {
        EXPECT_FALSE(window_shown(target));
    }
    DestroyWindow(target);
}

}  // namespace
}  // namespace kelvane
