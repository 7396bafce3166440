// The Adjust-warp window by keyboard, as a dialog is used: Tab and Shift+Tab through the controls,
// arrow and Page keys moving the focused slider (every step live, finished once on release), Enter
// pressing the focused button, Esc closing. Keys are posted to the focused control and go through
// the window's dialog handling, as the application's message loop does.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

#include "ui/adjust_window_win32.h"

namespace kelvane {
namespace {

struct Edit {
    WarpParams warp;
    bool finished;
};

class RecordedActions final : public UserActions {
public:
    void toggle_mirror() override {}
    void open_menu() override {}
    void command(unsigned /*id*/) override {}
    void display_changed() override {}
    void display_settled() override {}
    void desktop_switched() override {}
    void mirror_waiting(WaitReason /*reason*/) override {}
    void mirror_ended() override {}
    void warp_edited(const WarpParams& warp, bool finished) override { edits.push_back(Edit{warp, finished}); }
    void warp_reset() override { ++resets; }
    void adjust_closed() override { ++closings; }
    bool hotkey_chosen(const Hotkey& /*hotkey*/) override { return false; }
    void remote_command(RemoteCommand /*command*/) override {}
    void region_chosen(const MonitorRect& /*rect*/) override {}
    void region_cancelled() override {}

    std::vector<Edit> edits;
    int resets = 0;
    int closings = 0;
};

class AdjustKeyboard : public testing::Test {
protected:
    void SetUp() override {
        window_.open(GetModuleHandleW(nullptr), WarpParams{}, WindowPosition{100, 100});
        ASSERT_NE(window_.hwnd(), nullptr);
        SetForegroundWindow(window_.hwnd());
        pump();
    }
    void TearDown() override {
        window_.close();
        set_shift(false);
    }

    // Runs the messages as the application's loop does: the window's dialog handling first.
    void pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!window_.dialog_message(msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    void key(UINT virtual_key, bool down = true) {
        const HWND focus = GetFocus();
        PostMessageW(focus != nullptr ? focus : window_.hwnd(), down ? WM_KEYDOWN : WM_KEYUP, virtual_key,
                     down ? 1 : static_cast<LPARAM>(0xC0000001u));
        pump();
    }
    static void set_shift(bool down) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_SHIFT] = down ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    int focused_id() const { return GetFocus() != nullptr ? GetDlgCtrlID(GetFocus()) : -1; }

    RecordedActions actions_;
    AdjustWindow window_{actions_};
};

TEST_F(AdjustKeyboard, TabAndShiftTabGoThroughEveryControlInOrder) {
    const std::vector<int> order = {adjust_id::mirror_h,    adjust_id::mirror_v, adjust_id::keystone_tb,
                                    adjust_id::keystone_lr, adjust_id::rotation, adjust_id::reset,
                                    adjust_id::close};
    ASSERT_EQ(focused_id(), order.front());
    std::vector<int> forward;
    for (std::size_t i = 0; i < order.size(); ++i) {
        key(VK_TAB);
        forward.push_back(focused_id());
    }
    std::vector<int> round(order.begin() + 1, order.end());
    round.push_back(order.front());
    EXPECT_EQ(forward, round);
    set_shift(true);
    std::vector<int> backward;
    for (std::size_t i = 0; i < order.size(); ++i) {
        key(VK_TAB);
        backward.push_back(focused_id());
    }
    EXPECT_EQ(backward, (std::vector<int>{order.rbegin(), order.rend()}));
}

TEST_F(AdjustKeyboard, KeysMoveTheFocusedSliderLiveAndFinishOnceOnRelease) {
    struct Case {
        int slider;
        UINT key;
        int presses;
        float WarpParams::*field;
        float value;
    };
    const Case cases[] = {
        {adjust_id::keystone_tb, VK_RIGHT, 3, &WarpParams::keystone_tb, keystone_from_position(103)},
        {adjust_id::keystone_lr, VK_LEFT, 2, &WarpParams::keystone_lr, keystone_from_position(98)},
        {adjust_id::rotation, VK_NEXT, 1, &WarpParams::rotation, 72.0f},  // a page is a fifth of the range
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slider);
        window_.show(WarpParams{});
        SetFocus(GetDlgItem(window_.hwnd(), c.slider));
        actions_.edits.clear();
        for (int i = 0; i < c.presses; ++i) {
            key(c.key);
        }
        ASSERT_EQ(actions_.edits.size(), static_cast<std::size_t>(c.presses));
        for (const Edit& edit : actions_.edits) {
            EXPECT_FALSE(edit.finished);
        }
        EXPECT_EQ(actions_.edits.back().warp.*c.field, c.value);
        key(c.key, false);
        ASSERT_EQ(actions_.edits.size(), static_cast<std::size_t>(c.presses) + 1);
        EXPECT_TRUE(actions_.edits.back().finished);
        EXPECT_EQ(actions_.edits.back().warp.*c.field, c.value);
        EXPECT_EQ(focused_id(), c.slider);  // the keys stay with the slider
    }
}

TEST_F(AdjustKeyboard, EnterPressesTheFocusedButtonAndEscCloses) {
    SetFocus(GetDlgItem(window_.hwnd(), adjust_id::reset));
    key(VK_RETURN);
    EXPECT_EQ(actions_.resets, 1);
    EXPECT_NE(window_.hwnd(), nullptr);
    SetFocus(GetDlgItem(window_.hwnd(), adjust_id::close));
    key(VK_RETURN);
    EXPECT_EQ(window_.hwnd(), nullptr);
    EXPECT_EQ(actions_.closings, 1);

    window_.open(GetModuleHandleW(nullptr), WarpParams{}, WindowPosition{100, 100});
    SetFocus(GetDlgItem(window_.hwnd(), adjust_id::keystone_lr));
    key(VK_ESCAPE);
    EXPECT_EQ(window_.hwnd(), nullptr);
    EXPECT_EQ(actions_.closings, 2);  // the application saves on every closing
    EXPECT_EQ(actions_.resets, 1);
}

}  // namespace
}  // namespace kelvane
