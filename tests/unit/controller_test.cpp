// The application's decisions against a fake host: what starts, stops, restarts and publishes to the
// mirror, what is saved and when, for every user action and display change.
#include "app/controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/os_version.h"
#include "platform/utf8.h"
#include "support/log_capture.h"

namespace kelvane {
namespace {

MonitorEntry monitor(const wchar_t* name, MonitorRect rect) {
    MonitorEntry entry;
    entry.device_name = name;
    entry.rect = rect;
    entry.label = make_monitor_label(name, rect, rect.left == 0 && rect.top == 0);
    return entry;
}

const std::vector<MonitorEntry> two_monitors = {monitor(L"\\\\.\\DISPLAY1", {0, 0, 1920, 1080}),
                                                monitor(L"\\\\.\\DISPLAY2", {1920, -200, 3200, 824})};

// Records what the controller asks for, one word each.
class FakeHost final : public AppHost {
public:
    std::vector<MonitorEntry> shown_monitors = two_monitors;
    bool mirror_starts = true;
    bool session_ended = false;
    std::vector<std::string> calls;
    std::vector<std::string> notices;
    Settings saved;
    WarpParams last_warp;
    std::optional<WindowPosition> adjust_position;

    std::vector<MonitorEntry> monitors() override { return shown_monitors; }
    // "start TARGET", then " <- SOURCE" for another monitor's picture and " X,Y,W,H fit" for a region.
    bool start_mirror(const MirrorPlan& plan, const WarpParams& warp) override {
        std::string call = "start " + wide_to_utf8(plan.target.device_name);
        if (plan.separate_source()) {
            call += " <- " + wide_to_utf8(plan.source.device_name);
        }
        if (plan.region != self_mirror_plan(plan.source).region) {
            call += " " + format_source_region(plan.region) + " " + fit_mode_name(plan.fit);
        }
        calls.push_back(call);
        last_warp = warp;
        return mirror_starts;
    }
    void stop_mirror() override { calls.emplace_back("stop"); }
    bool mirror_ended() override { return session_ended; }
    void notify(const std::string& text) override {
        calls.emplace_back("notify");
        notices.push_back(text);
    }
    void wake_mirror() override { calls.emplace_back("wake"); }
    void settle_display_changes(unsigned quiet_ms) override { calls.push_back("settle " + std::to_string(quiet_ms)); }
    void publish_warp(const WarpParams& warp) override {
        calls.emplace_back("publish");
        last_warp = warp;
    }
    bool save_settings(const Settings& settings) override {
        calls.emplace_back("save");
        saved = settings;
        return true;
    }
    // "menu N": the "Monitor" submenu's item count; the "Source" submenu is kept for a look.
    void show_menu(const std::vector<MenuItem>& items) override {
        calls.push_back("menu " + std::to_string(items.at(2).children.size()));
        source_menu = items.at(3).children;
    }
    bool open_region_picker(const MonitorRect& rect) override {
        calls.push_back("picker " + std::to_string(rect.left) + "," + std::to_string(rect.top));
        return picker_opens;
    }
    std::vector<MenuItem> source_menu;
    bool picker_opens = true;
    void open_adjust_window(const WarpParams& warp, const std::optional<WindowPosition>& position) override {
        calls.emplace_back("adjust");
        last_warp = warp;
        adjust_position = position;
    }
    void show_warp(const WarpParams& warp) override {
        calls.emplace_back("show");
        last_warp = warp;
    }
    void open_web_page() override { calls.emplace_back("web"); }
    void quit() override { calls.emplace_back("quit"); }
    // Registering is kept apart from the calls: every start does it.
    bool register_hotkey(const Hotkey& hotkey) override {
        if (format_hotkey(hotkey) == taken) {
            return false;
        }
        registered = format_hotkey(hotkey);
        return true;
    }
    std::string hotkey_character(const Hotkey& hotkey) override {
        return format_hotkey(hotkey) == "Ctrl+Alt+M" ? altgr_m : std::string();
    }
    std::string altgr_m;  // what AltGr+M types on the fake keyboard
    void show_hotkey(const Hotkey& hotkey) override { calls.push_back("tooltip " + format_hotkey(hotkey)); }
    void open_hotkey_window(const Hotkey& hotkey) override { calls.push_back("hotkey " + format_hotkey(hotkey)); }
    bool starts_with_windows() override { return start_entry; }
    bool set_start_with_windows(bool on) override {
        calls.push_back(on ? "startup on" : "startup off");
        start_entry = on;
        return true;
    }
    std::string registered;
    std::string taken;  // held by another program
    bool start_entry = false;

    // The calls since the last look.
    std::vector<std::string> take() { return std::exchange(calls, {}); }
};

Settings with_warp() {
    Settings settings;
    settings.warp = WarpParams{false, true, 0.25f, -0.5f, 12.0f};
    return settings;
}

using Calls = std::vector<std::string>;

TEST(Controller, StartPicksTheSavedMonitorOrFallsBackToTheTopmostOne) {
    struct Case {
        bool active;
        const wchar_t* saved;
        std::vector<MonitorEntry> monitors;
        Calls calls;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {true, L"", two_monitors, {"start \\\\.\\DISPLAY2"}, {"start: mirroring DISPLAY2  1280x1024 @ (1920,-200)"}},
        {true,
         L"\\\\.\\DISPLAY1",
         two_monitors,
         {"start \\\\.\\DISPLAY1"},
         {"start: mirroring DISPLAY1  1920x1080 @ (0,0)  [primary]"}},
        {true,
         L"\\\\.\\DISPLAY9",
         two_monitors,
         {"start \\\\.\\DISPLAY2"},
         {"start: saved monitor not found, falling back to auto",
          "start: mirroring DISPLAY2  1280x1024 @ (1920,-200)"}},
        {true, L"", {}, {}, {"start: no monitors?!"}},
        {false, L"\\\\.\\DISPLAY1", two_monitors, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(wide_to_utf8(c.saved) + (c.active ? " active" : " inactive"));
        FakeHost host;
        host.shown_monitors = c.monitors;
        Settings settings = with_warp();
        settings.active = c.active;
        settings.monitor = c.saved;
        Controller controller(host, settings);
        const test::LogCapture log;
        controller.start();
        EXPECT_EQ(host.calls, c.calls);
        EXPECT_EQ(log.messages(), c.log);
        EXPECT_EQ(controller.running(), !c.calls.empty());
        if (!c.calls.empty()) {
            EXPECT_TRUE(host.last_warp == settings.warp);
        }
    }
}

TEST(Controller, AMirrorThatCannotStartDoesNotCountAsRunning) {
    FakeHost host;
    host.mirror_starts = false;
    Controller controller(host, Settings{});
    controller.toggle_mirror();
    EXPECT_FALSE(controller.running());
    EXPECT_TRUE(host.saved.active);  // the user's wish is kept
    controller.stop_mirror();
    EXPECT_EQ(host.calls, (Calls{"start \\\\.\\DISPLAY2", "save"}));
}

TEST(Controller, ToggleRecordsTheChoiceAndSavesEachTime) {
    FakeHost host;
    Settings settings;
    settings.active = false;
    Controller controller(host, settings);
    const test::LogCapture log;
    controller.toggle_mirror();
    EXPECT_EQ(host.take(), (Calls{"start \\\\.\\DISPLAY2", "save"}));
    EXPECT_TRUE(host.saved.active);
    controller.toggle_mirror();
    EXPECT_EQ(host.take(), (Calls{"stop", "save"}));
    EXPECT_FALSE(host.saved.active);
    EXPECT_EQ(log.messages().back(), "stop: mirror stopped");
    controller.command(menu_id::mirror_active);
    EXPECT_TRUE(controller.running());
}

TEST(Controller, MenuWarpCommandsSavePublishWhileRunningAndShow) {
    struct Case {
        unsigned id;
        bool running;
        WarpParams after;
        Calls calls;
    };
    const WarpParams start = with_warp().warp;
    const Case cases[] = {
        {menu_id::mirror_h, true, {true, true, 0.25f, -0.5f, 12.0f}, {"save", "publish", "show"}},
        {menu_id::mirror_v, true, {false, false, 0.25f, -0.5f, 12.0f}, {"save", "publish", "show"}},
        {menu_id::mirror_v, false, {false, false, 0.25f, -0.5f, 12.0f}, {"save", "show"}},
        // Reset takes the correction away; the mirror flags are orientation and stay.
        {menu_id::reset_warp, true, {false, true, 0.0f, 0.0f, 0.0f}, {"save", "publish", "show"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        FakeHost host;
        Settings settings = with_warp();
        settings.active = c.running;
        settings.monitor = L"\\\\.\\DISPLAY1";
        Controller controller(host, settings);
        controller.start();
        host.take();
        controller.command(c.id);
        EXPECT_EQ(host.take(), c.calls);
        EXPECT_TRUE(controller.settings().warp == c.after);
        EXPECT_TRUE(host.saved.warp == c.after);
        EXPECT_TRUE(host.last_warp == c.after);
        EXPECT_EQ(host.saved.monitor, L"\\\\.\\DISPLAY1");
        EXPECT_FALSE(start == c.after);
    }
}

TEST(Controller, MonitorChoiceFromTheMenu) {
    struct Case {
        bool running;
        unsigned id;
        const wchar_t* saved;  // nullptr: nothing saved
        Calls calls;
    };
    const Case cases[] = {
        // A running mirror moves to the chosen screen at once, even to the one it shows.
        {true, menu_id::monitor_first, L"\\\\.\\DISPLAY1", {"save", "stop", "start \\\\.\\DISPLAY1"}},
        {true, menu_id::monitor_first + 1, L"\\\\.\\DISPLAY2", {"save", "stop", "start \\\\.\\DISPLAY2"}},
        {true, menu_id::monitor_auto, L"", {"save", "stop", "start \\\\.\\DISPLAY2"}},
        {false, menu_id::monitor_first + 1, L"\\\\.\\DISPLAY2", {"save"}},
        // Past the monitors the menu listed, and outside the menu, nothing happens.
        {true, menu_id::monitor_first + 2, nullptr, {}},
        {true, menu_id::monitor_last, nullptr, {}},
        {true, 99, nullptr, {}},
        {true, 109, nullptr, {}},
        {true, 175, nullptr, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        FakeHost host;
        Settings settings;
        settings.active = c.running;
        Controller controller(host, settings);
        controller.start();
        controller.open_menu();
        EXPECT_EQ(host.take(), c.running ? (Calls{"start \\\\.\\DISPLAY2", "menu 4"}) : (Calls{"menu 4"}));
        controller.command(c.id);
        EXPECT_EQ(host.take(), c.calls);
        EXPECT_EQ(controller.running(), c.running);
        if (c.saved != nullptr) {
            EXPECT_EQ(host.saved.monitor, c.saved);
        }
    }
}

TEST(Controller, MonitorCommandsNeedTheMenusListEvenWhenTheScreensChanged) {
    FakeHost host;
    Controller controller(host, Settings{});
    controller.command(menu_id::monitor_first);  // no menu was opened: no list to choose from
    EXPECT_TRUE(host.calls.empty());
    controller.open_menu();
    host.shown_monitors.pop_back();  // the layout changes while the menu is open
    controller.command(menu_id::monitor_first + 1);
    EXPECT_EQ(host.saved.monitor, L"\\\\.\\DISPLAY2");
}

TEST(Controller, OtherMenuCommands) {
    FakeHost host;
    Controller controller(host, with_warp());
    controller.command(menu_id::web_page);
    controller.command(menu_id::exit);
    EXPECT_EQ(host.take(), (Calls{"web", "quit"}));

    // The Adjust-warp window opens centred on a monitor other than the mirrored one, or on the work
    // area when there is no monitor at all.
    controller.command(menu_id::adjust_warp);
    EXPECT_EQ(host.take(), Calls{"adjust"});
    ASSERT_TRUE(host.adjust_position.has_value());
    EXPECT_EQ(host.adjust_position->x, (1920 - adjust_window_width) / 2);
    EXPECT_EQ(host.adjust_position->y, (1080 - adjust_window_height) / 2);
    EXPECT_TRUE(host.last_warp == with_warp().warp);
    host.shown_monitors.clear();
    controller.command(menu_id::adjust_warp);
    EXPECT_FALSE(host.adjust_position.has_value());
}

TEST(Controller, DisplayChangesAreActedOnOnceSettledAndAGoneMonitorIsAwaited) {
    FakeHost host;
    Settings settings;
    settings.monitor = L"\\\\.\\DISPLAY2";
    Controller controller(host, settings);
    controller.start();
    host.take();
    const test::LogCapture log;
    // A burst: each message starts the quiet time again; nothing happens to the mirror yet.
    for (int i = 0; i < 10; ++i) {
        controller.display_changed();
    }
    EXPECT_EQ(host.take(), Calls(10, "settle 500"));
    controller.display_settled();
    EXPECT_EQ(host.take(), (Calls{"stop", "start \\\\.\\DISPLAY2"}));

    // The mirrored monitor sleeps: the mirror stops and waits, and nothing is saved.
    host.shown_monitors = {two_monitors[0]};
    controller.display_settled();
    EXPECT_EQ(host.take(), Calls{"stop"});
    EXPECT_FALSE(controller.running());
    EXPECT_TRUE(controller.settings().active);
    controller.display_settled();  // still away
    EXPECT_TRUE(host.take().empty());
    // It wakes up: the mirror comes back on it.
    host.shown_monitors = two_monitors;
    controller.display_settled();
    EXPECT_EQ(host.take(), Calls{"start \\\\.\\DISPLAY2"});
    EXPECT_TRUE(controller.running());
    const std::vector<std::string> lines = log.messages();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "display change: mirrored monitor gone, waiting for it"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "display change: mirrored monitor back, restarting"), lines.end());

    // Switched off while waiting, the mirror stays off when the monitor returns.
    host.shown_monitors = {two_monitors[0]};
    controller.display_settled();
    controller.toggle_mirror();  // on: starts on what is there
    controller.toggle_mirror();  // off
    host.take();
    host.shown_monitors = two_monitors;
    controller.display_settled();
    EXPECT_TRUE(host.take().empty());
    EXPECT_FALSE(controller.running());
}

TEST(Controller, TheAwaitedMonitorGetsTheMirrorBackWhicheverScreenIsTopmostNow) {
    // Each layout the awaited monitor returns into has another screen on top.
    const std::vector<std::vector<MonitorEntry>> returns = {
        {two_monitors[0], two_monitors[1], monitor(L"\\\\.\\DISPLAY3", {-1280, -900, 0, 124})},
        {monitor(L"\\\\.\\DISPLAY1", {0, -600, 1920, 480}), two_monitors[1]},
    };
    for (const auto& layout : returns) {
        FakeHost host;
        Controller controller(host, Settings{});  // the automatic choice: the topmost screen, DISPLAY2
        controller.start();
        host.shown_monitors = {two_monitors[0]};
        controller.display_settled();
        host.shown_monitors = layout;
        controller.display_settled();
        EXPECT_EQ(host.take(), (Calls{"start \\\\.\\DISPLAY2", "stop", "start \\\\.\\DISPLAY2"}));
    }
}

TEST(Controller, AMonitorIsFollowedByItsPathThroughRenumbering) {
    const auto with_id = [](const wchar_t* name, const wchar_t* id, MonitorRect rect) {
        MonitorEntry entry = monitor(name, rect);
        entry.id = id;
        return entry;
    };
    const MonitorEntry a = with_id(L"\\\\.\\DISPLAY1", L"path-a", {0, 0, 1920, 1080});
    FakeHost host;
    // Saved as DISPLAY2; after a dock it is DISPLAY3 and another monitor is DISPLAY2.
    host.shown_monitors = {a, with_id(L"\\\\.\\DISPLAY2", L"path-c", {0, -900, 1600, 0}),
                           with_id(L"\\\\.\\DISPLAY3", L"path-b", {1920, 0, 3840, 1080})};
    Settings settings;
    settings.monitor = L"\\\\.\\DISPLAY2";
    settings.monitor_id = L"path-b";
    Controller controller(host, settings);
    controller.start();
    EXPECT_EQ(host.take(), Calls{"start \\\\.\\DISPLAY3"});
    // It sleeps, and wakes up renumbered again: the waiting mirror resumes on it, not on DISPLAY3.
    host.shown_monitors = {a};
    controller.display_settled();
    host.shown_monitors = {a, with_id(L"\\\\.\\DISPLAY3", L"path-d", {0, -900, 1600, 0}),
                           with_id(L"\\\\.\\DISPLAY4", L"path-b", {1920, 0, 3840, 1080})};
    controller.display_settled();
    EXPECT_EQ(host.take(), (Calls{"stop", "start \\\\.\\DISPLAY4"}));
    // A choice from the menu records both the name and the path.
    controller.open_menu();
    controller.command(menu_id::monitor_first + 1);
    EXPECT_EQ(host.saved.monitor, L"\\\\.\\DISPLAY3");
    EXPECT_EQ(host.saved.monitor_id, L"path-d");
    controller.command(menu_id::monitor_auto);
    EXPECT_TRUE(host.saved.monitor.empty());
    EXPECT_TRUE(host.saved.monitor_id.empty());
    // Switched off from another program while it sleeps once more, it stays off when it wakes.
    host.take();
    host.shown_monitors = {a};
    controller.display_settled();
    controller.remote_command(RemoteCommand::off);
    host.shown_monitors.push_back(with_id(L"\\\\.\\DISPLAY2", L"path-d", {1920, 0, 3840, 1080}));
    controller.display_settled();
    EXPECT_EQ(host.take(), (Calls{"stop", "save"}));
    EXPECT_FALSE(host.saved.active);
}

TEST(Controller, ADesktopSwitchWakesARunningMirrorOnly) {
    FakeHost host;
    Controller controller(host, Settings{});
    controller.desktop_switched();
    EXPECT_TRUE(host.calls.empty());
    controller.start();
    host.take();
    controller.desktop_switched();
    EXPECT_EQ(host.take(), Calls{"wake"});
}

TEST(Controller, AdjustWarpEditsArePublishedLiveAndSavedWhenFinished) {
    FakeHost host;
    Controller controller(host, Settings{});
    controller.start();
    host.take();
    WarpParams edited = controller.settings().warp;
    edited.keystone_tb = 0.5f;
    controller.warp_edited(edited, false);
    EXPECT_EQ(host.take(), (Calls{"publish", "show"}));
    EXPECT_TRUE(controller.settings().warp == edited);
    edited.keystone_tb = 0.75f;
    controller.warp_edited(edited, true);
    EXPECT_EQ(host.take(), (Calls{"publish", "show", "save"}));
    EXPECT_EQ(host.saved.warp.keystone_tb, 0.75f);
    controller.warp_reset();
    EXPECT_EQ(host.take(), (Calls{"publish", "save", "show"}));
    EXPECT_EQ(host.saved.warp.keystone_tb, 0.0f);
    controller.adjust_closed();
    EXPECT_EQ(host.take(), Calls{"save"});

    // Values edited while the mirror is off reach it when it starts.
    controller.stop_mirror();
    edited.rotation = -10.0f;
    controller.warp_edited(edited, true);
    EXPECT_EQ(host.take(), (Calls{"stop", "show", "save"}));
    controller.start_mirror();
    EXPECT_EQ(host.last_warp.rotation, -10.0f);
}

TEST(Controller, HotkeyStartupItemAndCommandsFromOtherPrograms) {
    FakeHost host;
    host.taken = "Ctrl+Alt+M";
    Settings settings;
    settings.active = false;
    Controller controller(host, settings);
    const test::LogCapture log;
    controller.start();
    EXPECT_EQ(host.registered, "");
    ASSERT_EQ(log.messages().size(), 2U);
    EXPECT_EQ(log.messages()[0], "hotkey: Ctrl+Alt+M could not be registered; another program may hold it");
    EXPECT_EQ(host.take(), Calls{"notify"});

    // A refused choice keeps the setting and writes nothing; an accepted one is saved and shown.
    controller.command(107);
    EXPECT_EQ(host.take(), Calls{"hotkey Ctrl+Alt+M"});
    host.taken = "Ctrl+Shift+F9";
    EXPECT_FALSE(controller.hotkey_chosen(*parse_hotkey("Ctrl+Shift+F9")));
    EXPECT_TRUE(host.take().empty());
    EXPECT_TRUE(controller.hotkey_chosen(*parse_hotkey("Win+Alt+P")));
    EXPECT_EQ(host.take(), (Calls{"save", "tooltip Win+Alt+P"}));
    EXPECT_EQ(format_hotkey(host.saved.hotkey), "Win+Alt+P");
    EXPECT_EQ(host.registered, "Win+Alt+P");

    // "Start with Windows" follows what the system says each time.
    controller.command(108);
    host.start_entry = false;  // switched off elsewhere
    controller.command(108);
    controller.command(108);
    EXPECT_EQ(host.take(), (Calls{"startup on", "startup on", "startup off"}));

    // Each command does what its hotkey or menu item does; on and off only when they change something.
    const struct {
        RemoteCommand command;
        Calls calls;
    } sent[] = {
        {RemoteCommand::off, {}},
        {RemoteCommand::on, {"start \\\\.\\DISPLAY2", "save"}},
        {RemoteCommand::on, {}},
        {RemoteCommand::mirror_v, {"save", "publish", "show"}},
        {RemoteCommand::mirror_h, {"save", "publish", "show"}},
        {RemoteCommand::reset_warp, {"save", "publish", "show"}},
        {RemoteCommand::adjust, {"adjust"}},
        {RemoteCommand::toggle, {"stop", "save"}},
        {RemoteCommand::toggle, {"start \\\\.\\DISPLAY2", "save"}},
        {RemoteCommand::off, {"stop", "save"}},
        {RemoteCommand::exit, {"quit"}},
    };
    for (const auto& c : sent) {
        const test::LogCapture lines;
        controller.remote_command(c.command);
        EXPECT_EQ(host.take(), c.calls) << remote_command_name(c.command);
        ASSERT_FALSE(lines.messages().empty());
        EXPECT_EQ(lines.messages().front(), std::string("control: ") + remote_command_name(c.command));
    }
    EXPECT_FALSE(controller.running());
    EXPECT_FALSE(host.saved.active);
    EXPECT_TRUE(host.saved.warp.mirror_v);

    // Off also gives up a mirror that could not start.
    host.mirror_starts = false;
    controller.remote_command(RemoteCommand::on);
    controller.remote_command(RemoteCommand::off);
    EXPECT_EQ(host.take(), (Calls{"start \\\\.\\DISPLAY2", "save", "save"}));
    EXPECT_FALSE(host.saved.active);
}

TEST(Controller, AtTheFirstStartTheUserLearnsWhichCharacterTheDefaultHotkeyTakes) {
    // German: AltGr+M is µ. Only at the first start, only for a character, and not for a hotkey that
    // another program holds (which is said instead).
    const char* const mu = "\xC2\xB5";
    for (const auto& [first_start, altgr_m, taken, told] : {std::tuple{true, mu, "", true},
                                                            {false, mu, "", false},
                                                            {true, "", "", false},
                                                            {true, mu, "Ctrl+Alt+M", false}}) {
        FakeHost host;
        host.altgr_m = altgr_m;
        host.taken = taken;
        Controller controller(host, Settings{});
        if (first_start) {
            controller.first_start();
        }
        controller.start();
        const bool named = !host.notices.empty() && host.notices[0].find(std::string("Ctrl+Alt+M") + " ") == 0 &&
                           host.notices[0].find(mu) != std::string::npos &&
                           host.notices[0].find("Hotkey...") != std::string::npos;
        EXPECT_EQ(named, told) << first_start << altgr_m << taken;
        EXPECT_LE(host.notices.size(), 1u);
    }
}

TEST(Controller, AMirrorThatEndsByItselfIsStoppedAsByTheUserAndTheSettingsStay) {
    FakeHost host;
    Controller controller(host, with_warp());
    controller.start();
    host.take();
    // A report of an earlier mirror's end does not stop this one.
    controller.mirror_ended();
    EXPECT_TRUE(controller.running());
    host.session_ended = true;
    controller.mirror_ended();
    controller.mirror_ended();
    EXPECT_EQ(host.take(), (Calls{"stop", "notify"}));
    EXPECT_FALSE(controller.running());  // the menu shows the mirror off
    EXPECT_TRUE(controller.settings().active);
    EXPECT_TRUE(controller.settings().warp == with_warp().warp);
    // Switched on again, the same failure stops it without a second notice.
    controller.toggle_mirror();
    controller.mirror_ended();
    EXPECT_EQ(host.take(), (Calls{"start \\\\.\\DISPLAY2", "save", "stop"}));
}

TEST(Controller, EachWaitReasonGivesItsOwnNoticeFromTheDuplicationAnswersThatMeanIt) {
    const std::pair<std::uint32_t, Notice> answers[] = {
        {duplicate_access_denied, Notice::waiting_locked},
        {duplicate_session_disconnected, Notice::waiting_locked},
        {duplicate_not_currently_available, Notice::waiting_busy},
        {duplicate_unsupported, Notice::waiting_unsupported},
        {0x80004005, Notice::waiting_other},  // E_FAIL
        {0x887A0005, Notice::waiting_other},  // DXGI_ERROR_DEVICE_REMOVED
        {0, Notice::waiting_other},
    };
    for (const auto& [answer, notice] : answers) {
        FakeHost host;
        Controller controller(host, Settings{});
        controller.start();
        controller.mirror_waiting(wait_reason_for(answer));
        ASSERT_EQ(host.notices.size(), 1u) << std::hex << answer;
        EXPECT_EQ(host.notices[0], notice_text(notice)) << std::hex << answer;
    }
}

TEST(Controller, EachNoticeIsGivenOnceARunAndLoggedAsGiven) {
    // The mirror is refused where an excluded window is captured as black: before Windows 10 2004.
    for (const auto& [version, excludes] : {std::pair<OsVersion, bool>{{6, 3, 9600}, false},
                                            {{10, 0, 19040}, false},
                                            {{10, 0, 19041}, true},
                                            {{11, 0, 0}, true}}) {
        EXPECT_EQ(excludes_from_capture(version), excludes) << version.build;
    }
    FakeHost host;
    const test::LogCapture log;
    Controller refused(host, with_warp());
    refused.refuse_mirror(Notice::old_windows);
    refused.start();
    refused.toggle_mirror();                             // refused again; the choice is kept
    refused.mirror_waiting(WaitReason::locked_desktop);  // no mirror runs: nothing to tell
    EXPECT_EQ(host.take(), (Calls{"notify", "save"}));
    EXPECT_TRUE(host.saved.active);
    Controller controller(host, with_warp());
    controller.start();
    for (const WaitReason reason :
         {WaitReason::locked_desktop, WaitReason::locked_desktop, WaitReason::duplication_busy, WaitReason::unsupported,
          WaitReason::other, WaitReason::duplication_busy}) {
        controller.mirror_waiting(reason);
    }
    controller.notify(Notice::hotkey_taken);
    controller.notify(Notice::hotkey_taken);
    std::vector<std::string> notified;
    for (const std::string& line : log.messages()) {
        if (line.rfind("notify: ", 0) == 0) {
            notified.push_back(line.substr(8));
        }
    }
    EXPECT_EQ(notified, host.notices);
    std::sort(notified.begin(), notified.end());
    EXPECT_EQ(std::unique(notified.begin(), notified.end()) - notified.begin(), 6) << "one text for each cause";
}

TEST(Controller, AnotherMonitorsPictureIsShownAwaitedWhileAwayAndChosenFromTheMenu) {
    FakeHost host;
    Settings settings;
    settings.monitor = L"\\\\.\\DISPLAY2";
    settings.source_monitor = L"\\\\.\\DISPLAY1";
    settings.source_region = "1900,0,100,100";
    settings.fit = FitMode::stretch;
    const test::LogCapture log;
    Controller controller(host, settings);
    // The overlay does not stand over what is captured: a Windows too old to exclude it still works.
    controller.refuse_mirror(Notice::old_windows);
    controller.start();
    const Calls shown{"start \\\\.\\DISPLAY2 <- \\\\.\\DISPLAY1 1900,0,20,100 stretch"};
    EXPECT_EQ(host.take(), shown);
    // The source sleeps: the mirror waits for it, with the settings untouched, and comes back with it.
    host.shown_monitors = {two_monitors[1]};
    controller.display_settled();
    controller.display_settled();
    EXPECT_EQ(host.take(), Calls{"stop"});
    host.shown_monitors = two_monitors;
    controller.display_settled();
    EXPECT_EQ(host.take(), shown);
    // Switched on while the source is away: nothing starts until it is back.
    controller.toggle_mirror();
    host.shown_monitors = {two_monitors[1]};
    controller.toggle_mirror();
    EXPECT_EQ(host.take(), (Calls{"stop", "save", "save"}));
    host.shown_monitors = two_monitors;
    controller.display_settled();
    EXPECT_EQ(host.take(), shown);
    EXPECT_EQ(
        log.messages(),
        (std::vector<std::string>{
            "start: mirroring DISPLAY2  1280x1024 @ (1920,-200)",
            "source: region 1900,0,100,100 reaches past 1920x1080; showing 1900,0,20,100",
            "start: showing DISPLAY1  1920x1080 @ (0,0)  [primary], region 1900,0,20,100, fit stretch",
            "display change: source monitor gone, waiting for it", "stop: mirror stopped",
            "display change: mirrored monitor back, restarting", "start: mirroring DISPLAY2  1280x1024 @ (1920,-200)",
            "source: region 1900,0,100,100 reaches past 1920x1080; showing 1900,0,20,100",
            "start: showing DISPLAY1  1920x1080 @ (0,0)  [primary], region 1900,0,20,100, fit stretch",
            "stop: mirror stopped", "start: source monitor not found, waiting for it",
            "display change: mirrored monitor back, restarting", "start: mirroring DISPLAY2  1280x1024 @ (1920,-200)",
            "source: region 1900,0,100,100 reaches past 1920x1080; showing 1900,0,20,100",
            "start: showing DISPLAY1  1920x1080 @ (0,0)  [primary], region 1900,0,20,100, fit stretch"}));

    // The menu shows the source; "This monitor" goes back to the mirrored monitor, whole.
    controller.open_menu();
    ASSERT_EQ(host.source_menu.size(), 6u);  // with two separators
    EXPECT_FALSE(host.source_menu[0].checked);
    EXPECT_TRUE(host.source_menu[2].checked);
    EXPECT_FALSE(host.source_menu[5].checked);
    host.take();
    // On the old Windows the mirror over its own monitor is refused, and the choice kept.
    controller.command(menu_id::source_this);
    EXPECT_EQ(host.take(), (Calls{"save", "stop", "notify"}));
    EXPECT_TRUE(host.saved.source_monitor.empty());
    EXPECT_TRUE(host.saved.source_region.empty());
    controller.command(menu_id::source_first);
    EXPECT_EQ(host.take(), Calls{"save"});
    EXPECT_EQ(host.saved.source_monitor, L"\\\\.\\DISPLAY1");
}

TEST(Controller, ARegionIsChosenOverTheDesktopItselfAndSavedAtOnce) {
    const struct {
        const wchar_t* source;  // the source the settings name
        bool picker_opens;
        bool cancel;
        Calls opening;
        Calls outcome;
        std::string region;
    } cases[] = {
        // A region of the mirrored monitor: the mirror makes way while the user chooses.
        {L"",
         true,
         false,
         {"stop", "picker 1920,-200"},
         {"save", "start \\\\.\\DISPLAY2 80,100,400,300 contain"},
         "80,100,400,300"},
        {L"", true, true, {"stop", "picker 1920,-200"}, {"start \\\\.\\DISPLAY2"}, ""},
        {L"", false, false, {"stop", "picker 1920,-200", "start \\\\.\\DISPLAY2"}, {}, ""},
        // Another monitor's region: the mirror goes on meanwhile. The choice is cut to the monitor.
        {L"\\\\.\\DISPLAY1",
         true,
         false,
         {"picker 0,0"},
         {"save", "stop", "start \\\\.\\DISPLAY2 <- \\\\.\\DISPLAY1 1800,900,120,180 contain"},
         "1800,900,120,180"},
    };
    for (const auto& c : cases) {
        FakeHost host;
        host.picker_opens = c.picker_opens;
        Settings settings;
        settings.monitor = L"\\\\.\\DISPLAY2";
        settings.source_monitor = c.source;
        Controller controller(host, settings);
        controller.start();
        host.take();
        controller.command(menu_id::choose_region);
        EXPECT_EQ(host.take(), c.opening);
        if (!c.picker_opens) {
            continue;
        }
        if (c.cancel) {
            controller.region_cancelled();
        } else if (c.source[0] == 0) {
            controller.region_chosen(MonitorRect{2000, -100, 2400, 200});
        } else {
            controller.region_chosen(MonitorRect{1800, 900, 2500, 1500});
        }
        EXPECT_EQ(host.take(), c.outcome);
        EXPECT_EQ(controller.settings().source_region, c.region);
        EXPECT_TRUE(controller.running());
    }
}

}  // namespace
}  // namespace kelvane
