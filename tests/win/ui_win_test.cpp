// The tray menu and the Adjust-warp window on Windows, under Wine, in process: the menu read back
// while it is open, every command's effect on the settings, the settings file, the published warp
// values and a running mirror, and the Adjust-warp window's placement, controls and messages.
// The monitors, their places and the automatic choice are read from the system: Wine's test display
// has two screens at the origin, \\.\DISPLAY1 1920x1080 (primary) and \\.\DISPLAY2 1280x1024, which is
// the automatic (topmost, smaller) choice; a real desktop puts them side by side.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/application_win32.h"
#include "display/monitor_list.h"
#include "settings/settings.h"
#include "support/log_capture.h"
#include "support/screens_win32.h"
#include "ui/adjust_window_win32.h"
#include "ui/menu_model.h"
#include "ui/tray_menu_win32.h"

namespace kelvane {
namespace {

constexpr wchar_t display1[] = L"\\\\.\\DISPLAY1";
constexpr wchar_t test_control_class[] = L"KelvaneUiTestControl";

// ---- Helpers ----

void pump_messages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            continue;  // a quit posted by a test of Exit must not leak into the next one
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool settings_file_exists() {
    return GetFileAttributesW(settings_path().c_str()) != INVALID_FILE_ATTRIBUTES;
}

void delete_settings_file() {
    DeleteFileW(settings_path().c_str());
    ASSERT_FALSE(settings_file_exists());
}

// The settings as the file has them, read over values that no test writes, so that a field the
// file lacks shows up.
Settings saved_settings() {
    Settings saved;
    saved.monitor = L"<none>";
    saved.active = false;
    saved.warp.mirror_h = false;
    saved.warp.mirror_v = false;
    saved.warp.keystone_tb = 0.77f;
    saved.warp.keystone_lr = 0.77f;
    saved.warp.rotation = 77.0f;
    load_settings(saved);
    return saved;
}

void expect_saved_equals(const Settings& expected) {
    ASSERT_TRUE(settings_file_exists());
    const Settings saved = saved_settings();
    EXPECT_EQ(saved.monitor, expected.monitor);
    EXPECT_EQ(saved.active, expected.active);
    EXPECT_EQ(saved.warp.mirror_h, expected.warp.mirror_h);
    EXPECT_EQ(saved.warp.mirror_v, expected.warp.mirror_v);
    // The file keeps six significant digits.
    EXPECT_FLOAT_EQ(saved.warp.keystone_tb, expected.warp.keystone_tb);
    EXPECT_FLOAT_EQ(saved.warp.keystone_lr, expected.warp.keystone_lr);
    EXPECT_FLOAT_EQ(saved.warp.rotation, expected.warp.rotation);
}

std::wstring class_of(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring text_of(HWND window) {
    wchar_t text[128] = {};
    GetWindowTextW(window, text, 128);
    return text;
}

std::wstring item_text(HWND window, int id) {
    return text_of(GetDlgItem(window, id));
}

bool same_class(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Windows of the Adjust-warp class that this process owns.
int count_adjust_windows() {
    int count = 0;
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process == GetCurrentProcessId() && class_of(window) == adjust_class_name) {
                ++*reinterpret_cast<int*>(param);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

int slider_pos(HWND window, int id) {
    return static_cast<int>(SendDlgItemMessageW(window, id, TBM_GETPOS, 0, 0));
}

// A controller in calibration mode with a hidden top-level control window, as the application has;
// the control window records the commands and WM_NULLs it receives instead of acting on them.
class UiFixture : public testing::Test {
protected:
    void make_app(Settings settings = Settings{}) {
        WNDCLASSEXW window_class{};
        window_class.cbSize = sizeof window_class;
        window_class.lpfnWndProc = &UiFixture::control_proc;
        window_class.hInstance = GetModuleHandleW(nullptr);
        window_class.lpszClassName = test_control_class;
        RegisterClassExW(&window_class);
        control_ = CreateWindowExW(0, test_control_class, L"control", 0, 0, 0, 0, 0, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(control_, nullptr);
        app_ = std::make_unique<Application>(GetModuleHandleW(nullptr), std::move(settings), true, false);
        app_->host().set_menu_owner(control_);
        commands_.clear();
        null_messages_ = 0;
    }

    void TearDown() override {
        if (app_) {
            app_->host().close_adjust_window();
            app_->controller().stop_mirror();
        }
        pump_messages();
        if (control_ != nullptr) {
            DestroyWindow(control_);
            control_ = nullptr;
        }
        app_.reset();
    }

    static LRESULT CALLBACK control_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_COMMAND) {
            commands_.push_back(LOWORD(wparam));
            return 0;
        }
        if (message == WM_NULL) {
            ++null_messages_;
            return 0;
        }
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }

    HWND control_ = nullptr;
    [[nodiscard]] const Settings& settings() const { return app_->controller().settings(); }
    [[nodiscard]] HWND adjust_window() const { return app_->host().adjust_window(); }
    void open_adjust() { app_->controller().command(menu_id::adjust_warp); }

    std::unique_ptr<Application> app_;
    static inline std::vector<unsigned> commands_;
    static inline int null_messages_ = 0;
};

// ---- Tray commands ----

using TrayCommand = UiFixture;

TEST_F(TrayCommand, MirrorFlipsSavePublishAndUpdateTheOpenWindow) {
    Settings initial;
    initial.warp.mirror_h = true;
    initial.warp.mirror_v = false;
    initial.warp.keystone_tb = 0.25f;
    make_app(initial);
    open_adjust();
    const HWND adjust = adjust_window();
    ASSERT_NE(adjust, nullptr);
    ASSERT_EQ(IsDlgButtonChecked(adjust, adjust_id::mirror_h), BST_CHECKED);
    ASSERT_EQ(IsDlgButtonChecked(adjust, adjust_id::mirror_v), BST_UNCHECKED);

    const struct {
        unsigned id;
        bool mirror_h;
        bool mirror_v;
    } steps[] = {
        {menu_id::mirror_h, false, false},
        {menu_id::mirror_v, false, true},
        {menu_id::mirror_h, true, true},
        {menu_id::mirror_v, true, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.id);
        delete_settings_file();
        app_->controller().command(step.id);
        EXPECT_EQ(settings().warp.mirror_h, step.mirror_h);
        EXPECT_EQ(settings().warp.mirror_v, step.mirror_v);
        EXPECT_EQ(settings().warp.keystone_tb, 0.25f);
        expect_saved_equals(settings());
        EXPECT_EQ(IsDlgButtonChecked(adjust, adjust_id::mirror_h), step.mirror_h ? BST_CHECKED : BST_UNCHECKED);
        EXPECT_EQ(IsDlgButtonChecked(adjust, adjust_id::mirror_v), step.mirror_v ? BST_CHECKED : BST_UNCHECKED);
    }
    EXPECT_EQ(adjust_window(), adjust);
}

TEST_F(TrayCommand, FlipWithoutTheWindowStillSavesAndPublishes) {
    make_app();
    delete_settings_file();
    app_->controller().command(menu_id::mirror_v);
    EXPECT_TRUE(settings().warp.mirror_v);
    EXPECT_EQ(adjust_window(), nullptr);
    expect_saved_equals(settings());
}

TEST_F(TrayCommand, ResetClearsKeystonesAndRotationOnly) {
    Settings initial;
    initial.warp.mirror_h = false;
    initial.warp.mirror_v = true;
    initial.warp.keystone_tb = 0.5f;
    initial.warp.keystone_lr = -0.25f;
    initial.warp.rotation = 30.0f;
    initial.monitor = display1;
    make_app(initial);
    open_adjust();
    const HWND adjust = adjust_window();
    ASSERT_NE(adjust, nullptr);
    ASSERT_EQ(slider_pos(adjust, adjust_id::keystone_tb), 150);
    delete_settings_file();

    app_->controller().command(menu_id::reset_warp);
    EXPECT_EQ(settings().warp.keystone_tb, 0.0f);
    EXPECT_EQ(settings().warp.keystone_lr, 0.0f);
    EXPECT_EQ(settings().warp.rotation, 0.0f);
    EXPECT_FALSE(settings().warp.mirror_h);
    EXPECT_TRUE(settings().warp.mirror_v);
    EXPECT_EQ(settings().monitor, display1);
    expect_saved_equals(settings());
    EXPECT_EQ(slider_pos(adjust, adjust_id::keystone_tb), 100);
    EXPECT_EQ(slider_pos(adjust, adjust_id::keystone_lr), 100);
    EXPECT_EQ(slider_pos(adjust, adjust_id::rotation), 360);
    EXPECT_EQ(item_text(adjust, adjust_id::keystone_tb_value), L"0.00");
    EXPECT_EQ(item_text(adjust, adjust_id::keystone_lr_value), L"0.00");
    EXPECT_EQ(item_text(adjust, adjust_id::rotation_value), L"0.0\u00B0");
    EXPECT_EQ(IsDlgButtonChecked(adjust, adjust_id::mirror_h), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(adjust, adjust_id::mirror_v), BST_CHECKED);
}

TEST_F(TrayCommand, MirrorActiveToggles) {
    Settings initial;
    initial.active = false;
    make_app(initial);
    delete_settings_file();
    app_->controller().command(menu_id::mirror_active);
    EXPECT_TRUE(app_->controller().running());
    EXPECT_TRUE(settings().active);
    EXPECT_TRUE(saved_settings().active);
    app_->controller().command(menu_id::mirror_active);
    EXPECT_FALSE(app_->controller().running());
    EXPECT_FALSE(settings().active);
    EXPECT_FALSE(saved_settings().active);
}

TEST_F(TrayCommand, AdjustWarpOpensOneWindowOnly) {
    make_app();
    app_->controller().command(menu_id::adjust_warp);
    const HWND first = adjust_window();
    ASSERT_NE(first, nullptr);
    app_->controller().command(menu_id::adjust_warp);
    EXPECT_EQ(adjust_window(), first);
    EXPECT_EQ(count_adjust_windows(), 1);
    EXPECT_EQ(FindWindowW(adjust_class_name, nullptr), first);
}

TEST_F(TrayCommand, ExitPostsQuitWithCodeZero) {
    make_app();
    app_->controller().command(menu_id::exit);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
}

// ---- The open tray menu, read back ----

struct ReadItem {
    UINT type = 0;
    UINT state = 0;
    UINT id = 0;
    std::wstring text;
    HMENU submenu = nullptr;
};

struct MenuSnapshot {
    bool found = false;
    RECT popup_rect{};
    HMENU menu = nullptr;
    std::vector<ReadItem> main;
    std::vector<ReadItem> monitor;  // the first submenu ("Monitor")
    std::vector<ReadItem> source;   // the second ("Source")
};

std::vector<ReadItem> read_items(HMENU menu) {
    std::vector<ReadItem> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
        info.dwTypeData = text;
        info.cch = 256;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) {
            continue;
        }
        items.push_back(ReadItem{info.fType, info.fState, info.wID, text, info.hSubMenu});
    }
    return items;
}

// How the menu is left once it has been read.
enum class MenuExit { cancel, choose_last_item };

MenuSnapshot* menu_snapshot = nullptr;
MenuExit menu_exit = MenuExit::cancel;

// Runs inside TrackPopupMenu's modal loop, which dispatches thread timers.
void CALLBACK read_open_menu(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND popup = FindWindowW(L"#32768", nullptr);
    if (popup == nullptr || !IsWindowVisible(popup)) {
        return;  // not open yet: try on the next tick
    }
    KillTimer(nullptr, timer);
    MenuSnapshot& snapshot = *menu_snapshot;
    snapshot.found = true;
    GetWindowRect(popup, &snapshot.popup_rect);
    snapshot.menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    snapshot.main = read_items(snapshot.menu);
    for (const ReadItem& item : snapshot.main) {
        if (item.submenu != nullptr) {
            (snapshot.monitor.empty() ? snapshot.monitor : snapshot.source) = read_items(item.submenu);
        }
    }
    if (menu_exit == MenuExit::choose_last_item) {
        // Up from no selection wraps to the last item; Enter chooses it.
        PostMessageW(popup, WM_KEYDOWN, VK_UP, 0);
        PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
    } else {
        EndMenu();
    }
}

class TrayMenu : public UiFixture {
protected:
    // Shows the menu at `cursor`, reads it while it is open and leaves it as `exit` says.
    MenuSnapshot show_and_read(POINT cursor, MenuExit exit = MenuExit::cancel) {
        MenuSnapshot snapshot;
        menu_snapshot = &snapshot;
        menu_exit = exit;
        SetCursorPos(cursor.x, cursor.y);
        const UINT_PTR timer = SetTimer(nullptr, 0, 100, read_open_menu);
        // Should the menu never be seen, close it from outside so that the test fails instead of hanging.
        std::atomic<bool> returned{false};
        std::thread watchdog([&returned] {
            for (int i = 0; i < 150 && !returned; ++i) {
                Sleep(100);
            }
            if (!returned) {
                const HWND popup = FindWindowW(L"#32768", nullptr);
                if (popup != nullptr) {
                    PostMessageW(popup, WM_CANCELMODE, 0, 0);
                }
            }
        });
        app_->controller().open_menu();
        returned = true;
        watchdog.join();
        KillTimer(nullptr, timer);
        menu_snapshot = nullptr;
        return snapshot;
    }
};

void expect_item(const ReadItem& item, const wchar_t* text, UINT id, bool checked) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
    EXPECT_EQ(item.type & MFT_SEPARATOR, 0u);
    EXPECT_EQ(item.text, text);
    EXPECT_EQ(item.id, id);
    EXPECT_EQ((item.state & MFS_CHECKED) != 0, checked);
    EXPECT_EQ(item.state & MFS_DISABLED, 0u);  // nothing greyed
    EXPECT_EQ(item.submenu, nullptr);
}

void expect_separator(const ReadItem& item) {
    EXPECT_NE(item.type & MFT_SEPARATOR, 0u);
}

TEST_F(TrayMenu, ItemsTextsIdsAndCheckMarksAsBuilt) {
    Settings initial;
    initial.active = true;  // not running: "Mirror active" must stay unchecked all the same
    initial.warp.mirror_h = true;
    initial.warp.mirror_v = false;
    // The last listed monitor is the saved one (DISPLAY2 under Wine).
    const std::vector<test::Screen> screens = test::screens();
    ASSERT_FALSE(screens.empty());
    initial.monitor = screens.back().name;
    make_app(initial);
    const MenuSnapshot menu = show_and_read(POINT{400, 300});
    ASSERT_TRUE(menu.found);
    EXPECT_EQ(menu.popup_rect.left, 400);
    EXPECT_EQ(menu.popup_rect.top, 300);

    ASSERT_EQ(menu.main.size(), 14u);
    expect_item(menu.main[0], L"Mirror active\tCtrl+Alt+M", 100, false);
    expect_separator(menu.main[1]);
    EXPECT_EQ(menu.main[2].text, L"Monitor");
    EXPECT_NE(menu.main[2].submenu, nullptr);
    EXPECT_EQ(menu.main[2].state & MFS_DISABLED, 0u);
    EXPECT_EQ(menu.main[3].text, L"Source");
    EXPECT_NE(menu.main[3].submenu, nullptr);
    expect_item(menu.main[4], L"Mirror horizontally", 101, true);
    expect_item(menu.main[5], L"Mirror vertically", 106, false);
    expect_item(menu.main[6], L"Adjust warp...", 102, false);
    expect_item(menu.main[7], L"Hotkey...", 107, false);
    expect_item(menu.main[8], L"Reset warp", 103, false);
    expect_separator(menu.main[9]);
    EXPECT_EQ(menu.main[10].id, 108u);  // its check mark is the registry's
    expect_separator(menu.main[11]);
    expect_item(menu.main[12], L"Make apps like this with Orvendt...", 104, false);
    expect_item(menu.main[13], L"Exit", 105, false);
    // The source is the mirrored monitor; the others follow, then the region items.
    ASSERT_EQ(menu.source.size(), screens.size() + 4);
    expect_item(menu.source.front(), L"This monitor", 400, true);
    for (std::size_t i = 0; i + 1 < screens.size(); ++i) {
        expect_item(menu.source[2 + i], screens[i].label().c_str(), static_cast<UINT>(401 + i), false);
    }
    expect_item(menu.source.back(), L"Whole monitor", 399, true);

    ASSERT_EQ(menu.monitor.size(), 2 + screens.size());
    expect_item(menu.monitor[0], L"Auto (topmost screen)", 110, false);
    expect_separator(menu.monitor[1]);
    // "DISPLAY1  1920x1080 @ (0,0)  [primary]" and "DISPLAY2  1280x1024 @ (0,0)" under Wine.
    for (std::size_t i = 0; i < screens.size(); ++i) {
        expect_item(menu.monitor[2 + i], screens[i].label().c_str(), static_cast<UINT>(111 + i),
                    i + 1 == screens.size());
    }

    // The menu and its submenu are gone once it has closed; the list it showed is kept.
    EXPECT_FALSE(IsMenu(menu.menu));
    EXPECT_FALSE(IsMenu(menu.main[2].submenu));
    pump_messages();
    EXPECT_TRUE(commands_.empty());
    EXPECT_GE(null_messages_, 1);
}

TEST_F(TrayMenu, CheckMarksFollowTheRunningMirrorAndTheAutoChoice) {
    Settings initial;
    initial.active = false;
    initial.warp.mirror_h = false;
    initial.warp.mirror_v = true;
    make_app(initial);
    app_->controller().start_mirror();
    ASSERT_TRUE(app_->controller().running());
    const MenuSnapshot menu = show_and_read(POINT{200, 150});
    ASSERT_TRUE(menu.found);
    ASSERT_EQ(menu.main.size(), 14u);
    expect_item(menu.main[0], L"Mirror active\tCtrl+Alt+M", 100, true);
    expect_item(menu.main[4], L"Mirror horizontally", 101, false);
    expect_item(menu.main[5], L"Mirror vertically", 106, true);
    ASSERT_EQ(menu.monitor.size(), 2 + test::screens().size());
    expect_item(menu.monitor[0], L"Auto (topmost screen)", 110, true);
    for (std::size_t i = 2; i < menu.monitor.size(); ++i) {
        EXPECT_EQ(menu.monitor[i].state & MFS_CHECKED, 0u) << i;
    }
}

TEST_F(TrayMenu, UnknownSavedMonitorChecksNothing) {
    Settings initial;
    // A listed name in lower case (\\.\display2 under Wine): the comparison is case-sensitive.
    const std::vector<test::Screen> screens = test::screens();
    ASSERT_FALSE(screens.empty());
    std::wstring lower = screens.back().name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; });
    initial.monitor = lower;
    make_app(initial);
    const MenuSnapshot menu = show_and_read(POINT{100, 100});
    ASSERT_TRUE(menu.found);
    ASSERT_EQ(menu.monitor.size(), 2 + screens.size());
    for (const ReadItem& item : menu.monitor) {
        EXPECT_EQ(item.state & MFS_CHECKED, 0u) << item.id;
    }
}

TEST_F(TrayMenu, TheChosenItemComesBackAsACommandToTheControlWindow) {
    make_app();
    const MenuSnapshot menu = show_and_read(POINT{300, 200}, MenuExit::choose_last_item);
    ASSERT_TRUE(menu.found);
    pump_messages();
    EXPECT_EQ(commands_, std::vector<unsigned>{menu_id::exit});
}

// ---- The Adjust-warp window ----

using AdjustWarpWindow = UiFixture;

TEST_F(AdjustWarpWindow, OpensCentredOnAMonitorOtherThanTheMirroredOne) {
    const std::vector<test::Screen> screens = test::screens();
    ASSERT_FALSE(screens.empty());
    const auto primary = std::find_if(screens.begin(), screens.end(), [](const test::Screen& s) { return s.primary; });
    ASSERT_NE(primary, screens.end());
    // Under Wine: auto designates DISPLAY2 and the primary hosts; DISPLAY2 designated, the primary;
    // the primary designated, the other one; an absent name has nothing to avoid, the primary.
    const std::wstring monitors[] = {L"", screens.back().name, primary->name, L"\\\\.\\DISPLAY7"};
    for (const std::wstring& monitor : monitors) {
        SCOPED_TRACE(testing::PrintToString(monitor));
        // The host: the primary unless it is the mirrored monitor, then another one; the mirrored
        // monitor itself when it is the only one.
        const int designated =
            monitor.empty() ? static_cast<int>(test::auto_screen(screens)) : test::screen_named(screens, monitor);
        std::size_t host = screens.size();
        for (std::size_t i = 0; i < screens.size(); ++i) {
            if (static_cast<int>(i) != designated && (host == screens.size() || screens[i].primary)) {
                host = i;
            }
        }
        const test::Screen& on = screens[host == screens.size() ? 0 : host];
        Settings initial;
        initial.monitor = monitor;
        make_app(initial);
        open_adjust();
        const HWND window = adjust_window();
        ASSERT_NE(window, nullptr);
        RECT rect{};
        GetWindowRect(window, &rect);
        // Centred (to the pixel that the outer size's rounding allows) on DISPLAY1 or DISPLAY2.
        EXPECT_NEAR(rect.left + rect.right, on.rect.left + on.rect.right, 1);
        EXPECT_NEAR(rect.top + rect.bottom, on.rect.top + on.rect.bottom, 1);
        RECT client{};
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, 480);  // the controls' size at the test prefix's 96 DPI
        EXPECT_EQ(client.bottom, 283);
        TearDown();
    }
}

TEST_F(AdjustWarpWindow, TopmostCaptionWindowOfItsOwnClass) {
    make_app();
    open_adjust();
    const HWND window = adjust_window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(class_of(window), L"Kelvane2Adjust");
    EXPECT_EQ(text_of(window), L"Kelvane2 - Adjust Warp");
    EXPECT_EQ(GetParent(window), nullptr);
    EXPECT_EQ(GetMenu(window), nullptr);
    const auto style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    const DWORD frame_bits =
        WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD | WS_POPUP;
    EXPECT_EQ(style & frame_bits, static_cast<DWORD>(WS_CAPTION | WS_SYSMENU));
    EXPECT_NE(static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)) & WS_EX_TOPMOST, 0u);

    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"Kelvane2Adjust", &window_class));
    EXPECT_EQ(window_class.style, 0u);
    EXPECT_EQ(window_class.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(16)));
    EXPECT_EQ(window_class.hCursor, LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_EQ(window_class.hIcon, nullptr);
    EXPECT_EQ(window_class.cbWndExtra, 0);
}

TEST_F(AdjustWarpWindow, ControlsInOrderWithTheirClassesTextsStylesPlacesAndIds) {
    make_app();
    open_adjust();
    const HWND window = adjust_window();
    ASSERT_NE(window, nullptr);
    const struct {
        const wchar_t* class_name;
        const wchar_t* text;
        DWORD style;
        RECT place;  // x, y, width, height
        int id;
    } expected[] = {
        {L"Button", L"Mirror horizontally", 0x50030003, {20, 15, 200, 24}, 301},
        {L"Button", L"Mirror vertically", 0x50030003, {240, 15, 200, 24}, 307},
        {L"Static", L"Keystone top/bottom", 0x50000000, {20, 52, 180, 20}, 0},
        {L"Static", nullptr, 0x50000000, {400, 52, 60, 20}, 312},
        {L"msctls_trackbar32", L"", 0x50030001, {20, 72, 430, 30}, 302},
        {L"Static", L"Keystone left/right", 0x50000000, {20, 112, 180, 20}, 0},
        {L"Static", nullptr, 0x50000000, {400, 112, 60, 20}, 313},
        {L"msctls_trackbar32", L"", 0x50030001, {20, 132, 430, 30}, 303},
        {L"Static", L"Rotation (degrees)", 0x50000000, {20, 172, 180, 20}, 0},
        {L"Static", nullptr, 0x50000000, {400, 172, 60, 20}, 314},
        {L"msctls_trackbar32", L"", 0x50030001, {20, 192, 430, 30}, 304},
        {L"Button", L"Reset", 0x50030000, {250, 235, 100, 28}, 305},
        {L"Button", L"Close", 0x50030001, {360, 235, 90, 28}, 306},
    };
    HWND child = GetWindow(window, GW_CHILD);
    for (const auto& e : expected) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(e.text != nullptr ? e.text : L"(value)")) + " " +
                     std::to_string(e.id));
        ASSERT_NE(child, nullptr);
        EXPECT_TRUE(same_class(class_of(child), e.class_name)) << testing::PrintToString(class_of(child));
        if (e.text != nullptr) {
            EXPECT_EQ(text_of(child), e.text);
        }
        EXPECT_EQ(GetDlgCtrlID(child), e.id);
        // Trackbars may add bits of their own above the low word; the class styles are exact.
        const auto style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
        EXPECT_EQ(style & 0xFFFF0000u, e.style & 0xFFFF0000u) << std::hex << style;
        EXPECT_EQ(style & 0xFFFFu, e.style & 0xFFFFu) << std::hex << style;
        EXPECT_EQ(GetWindowLongW(child, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, 0);
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.left, e.place.left);
        EXPECT_EQ(rect.top, e.place.top);
        EXPECT_EQ(rect.right - rect.left, e.place.right);
        EXPECT_EQ(rect.bottom - rect.top, e.place.bottom);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr);

    const struct {
        int id;
        LRESULT max;
        LRESULT ticks;  // with automatic ticks: both ends and every tick between
    } sliders[] = {{302, 200, 9}, {303, 200, 9}, {304, 720, 9}};
    for (const auto& s : sliders) {
        SCOPED_TRACE(s.id);
        EXPECT_EQ(SendDlgItemMessageW(window, s.id, TBM_GETRANGEMIN, 0, 0), 0);
        EXPECT_EQ(SendDlgItemMessageW(window, s.id, TBM_GETRANGEMAX, 0, 0), s.max);
        EXPECT_EQ(SendDlgItemMessageW(window, s.id, TBM_GETNUMTICS, 0, 0), s.ticks);
    }
}

TEST_F(AdjustWarpWindow, ShowsTheStoredValuesWhenItOpens) {
    Settings initial;
    initial.warp.mirror_h = false;
    initial.warp.mirror_v = true;
    initial.warp.keystone_tb = 0.255f;
    initial.warp.keystone_lr = -1.0f;
    initial.warp.rotation = -0.3f;
    make_app(initial);
    open_adjust();
    const HWND window = adjust_window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(IsDlgButtonChecked(window, 301), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(window, 307), BST_CHECKED);
    EXPECT_EQ(slider_pos(window, 302), 126);
    EXPECT_EQ(slider_pos(window, 303), 0);
    EXPECT_EQ(slider_pos(window, 304), 359);
    EXPECT_EQ(item_text(window, 312), L"0.25");
    EXPECT_EQ(item_text(window, 313), L"-1.00");
    EXPECT_EQ(item_text(window, 314), L"-0.3\u00B0");
    // Opening edits nothing.
    EXPECT_EQ(settings().warp.keystone_tb, 0.255f);
    EXPECT_EQ(settings().warp.rotation, -0.3f);
}

TEST_F(AdjustWarpWindow, SecondOpeningCreatesNoSecondWindow) {
    make_app();
    open_adjust();
    const HWND first = adjust_window();
    ASSERT_NE(first, nullptr);
    open_adjust();
    EXPECT_EQ(adjust_window(), first);
    EXPECT_EQ(count_adjust_windows(), 1);
    EXPECT_EQ(FindWindowW(adjust_class_name, nullptr), first);
}

// Moves slider `id` to `position` as a drag step does: the control moves, then tells its parent.
void drag_step(HWND window, int id, int position, WORD code) {
    const HWND slider = GetDlgItem(window, id);
    SendMessageW(slider, TBM_SETPOS, TRUE, position);
    SendMessageW(window, WM_HSCROLL, MAKEWPARAM(code, position), reinterpret_cast<LPARAM>(slider));
}

TEST_F(AdjustWarpWindow, DraggingASliderFollowsEachStepAndSavesOnceOnRelease) {
    const struct {
        int id;
        int label_id;
        float WarpParams::*field;
        int positions[3];
        float values[3];
        const wchar_t* labels[3];
    } sliders[] = {
        {302, 312, &WarpParams::keystone_tb, {150, 175, 0}, {0.5f, 0.75f, -1.0f}, {L"0.50", L"0.75", L"-1.00"}},
        {303, 313, &WarpParams::keystone_lr, {99, 200, 100}, {-0.01f, 1.0f, 0.0f}, {L"-0.01", L"1.00", L"0.00"}},
        {304,
         314,
         &WarpParams::rotation,
         {450, 0, 361},
         {45.0f, -180.0f, 0.5f},
         {L"45.0\u00B0", L"-180.0\u00B0", L"0.5\u00B0"}},
    };
    make_app();
    open_adjust();
    const HWND window = adjust_window();
    ASSERT_NE(window, nullptr);
    for (const auto& s : sliders) {
        SCOPED_TRACE(s.id);
        delete_settings_file();
        for (int step = 0; step < 3; ++step) {
            drag_step(window, s.id, s.positions[step], TB_THUMBTRACK);
            EXPECT_NEAR(settings().warp.*s.field, s.values[step], 1e-6f);
            EXPECT_EQ(slider_pos(window, s.id), s.positions[step]);
            EXPECT_EQ(item_text(window, s.label_id), s.labels[step]);
            EXPECT_FALSE(settings_file_exists()) << "written during the drag, step " << step;
        }
        SendMessageW(window, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, s.id)));
        EXPECT_NEAR(settings().warp.*s.field, s.values[2], 1e-6f);
        expect_saved_equals(settings());
    }
    EXPECT_TRUE(settings().warp.mirror_h);
    EXPECT_FALSE(settings().warp.mirror_v);
}

TEST_F(AdjustWarpWindow, ScrollFromAnotherSenderIsLeftToTheDefault) {
    make_app();
    open_adjust();
    const HWND window = adjust_window();
    ASSERT_NE(window, nullptr);
    const Settings before = settings();
    delete_settings_file();
    SendMessageW(window, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(GetDlgItem(window, 312)));
    SendMessageW(window, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), 0);
    EXPECT_TRUE(settings() == before);
    EXPECT_FALSE(settings_file_exists());
}

TEST_F(AdjustWarpWindow, CheckBoxesPublishAndSave) {
    Settings initial;
    initial.warp.mirror_h = true;
    initial.warp.mirror_v = false;
    initial.warp.rotation = 10.0f;
    make_app(initial);
    open_adjust();
    const HWND window = adjust_window();
    ASSERT_NE(window, nullptr);
    const struct {
        int id;
        bool mirror_h;
        bool mirror_v;
    } clicks[] = {{301, false, false}, {307, false, true}, {307, false, false}, {301, true, false}};
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.id);
        delete_settings_file();
        SendDlgItemMessageW(window, click.id, BM_CLICK, 0, 0);
        pump_messages();
        EXPECT_EQ(settings().warp.mirror_h, click.mirror_h);
        EXPECT_EQ(settings().warp.mirror_v, click.mirror_v);
        EXPECT_EQ(settings().warp.rotation, 10.0f);
        expect_saved_equals(settings());
    }
}

TEST_F(AdjustWarpWindow, ResetZeroesTheWarpAndKeepsTheCheckBoxes) {
    Settings initial;
    initial.warp.mirror_h = false;
    initial.warp.mirror_v = true;
    initial.warp.keystone_tb = -0.5f;
    initial.warp.keystone_lr = 0.75f;
    initial.warp.rotation = 90.0f;
    make_app(initial);
    open_adjust();
    const HWND window = adjust_window();
    ASSERT_NE(window, nullptr);
    delete_settings_file();
    SendDlgItemMessageW(window, adjust_id::reset, BM_CLICK, 0, 0);
    pump_messages();
    EXPECT_EQ(settings().warp.keystone_tb, 0.0f);
    EXPECT_EQ(settings().warp.keystone_lr, 0.0f);
    EXPECT_EQ(settings().warp.rotation, 0.0f);
    EXPECT_FALSE(settings().warp.mirror_h);
    EXPECT_TRUE(settings().warp.mirror_v);
    expect_saved_equals(settings());
    EXPECT_EQ(slider_pos(window, 302), 100);
    EXPECT_EQ(slider_pos(window, 303), 100);
    EXPECT_EQ(slider_pos(window, 304), 360);
    EXPECT_EQ(item_text(window, 314), L"0.0\u00B0");
    EXPECT_EQ(IsDlgButtonChecked(window, 301), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(window, 307), BST_CHECKED);
}

TEST_F(AdjustWarpWindow, EveryWayOfClosingSavesAndForgetsTheWindow) {
    const struct {
        const char* how;
        UINT message;
        WPARAM wparam;
    } ways[] = {
        {"close box", WM_SYSCOMMAND, SC_CLOSE},
        {"WM_CLOSE", WM_CLOSE, 0},
        {"Close button", WM_COMMAND, MAKEWPARAM(adjust_id::close, BN_CLICKED)},
    };
    make_app();
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        open_adjust();
        const HWND window = adjust_window();
        ASSERT_NE(window, nullptr);
        delete_settings_file();
        WarpParams changed = settings().warp;
        changed.keystone_lr = 0.25f;  // a change the file does not have yet
        app_->controller().warp_edited(changed, false);
        ASSERT_FALSE(settings_file_exists());
        SendMessageW(window, way.message, way.wparam, 0);
        EXPECT_FALSE(IsWindow(window));
        EXPECT_EQ(adjust_window(), nullptr);
        expect_saved_equals(settings());
        EXPECT_EQ(count_adjust_windows(), 0);
    }
}

}  // namespace
}  // namespace kelvane
