// The application's set-up, message loop and teardown.
#include "app/application_win32.h"

#include <utility>

#include "platform/log.h"
#include "platform/utf8.h"

namespace kelvane {
namespace {

constexpr DWORD foreground_hook_flags = WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS;

// WinEvent callbacks carry no context of their own: the one application that set the hook.
Application* hooked_application = nullptr;

}  // namespace

Application::Application(HINSTANCE instance, Settings settings, bool pattern, bool no_exclude)
    : instance_(instance),
      controller_(host_, std::move(settings)),
      host_(MirrorOptions{instance, pattern, !no_exclude, find_output_for_monitor}, controller_),
      control_window_(controller_, tray_) {}

Application::~Application() {
    tear_down();
}

void CALLBACK Application::system_event(HWINEVENTHOOK /*hook*/, DWORD event, HWND /*window*/, LONG /*object*/,
                                        LONG /*child*/, DWORD /*thread*/, DWORD /*time*/) {
    if (hooked_application == nullptr) {
        return;
    }
    if (event == EVENT_SYSTEM_FOREGROUND) {
        if (MirrorSession* session = hooked_application->host_.session()) {
            session->keep_on_top();
        }
    } else if (event == EVENT_SYSTEM_DESKTOPSWITCH) {
        hooked_application->controller_.desktop_switched();
    }
}

bool Application::set_up() {
    if (!control_window_.create(instance_)) {
        return false;
    }
    host_.set_menu_owner(control_window_.hwnd());
    host_.set_tray(&tray_);
    tray_.set_hotkey_text(utf8_to_wide(format_hotkey(controller_.settings().hotkey)));
    tray_.add(control_window_.hwnd(), instance_);
    for (const Notice notice : start_notices_) {
        controller_.notify(notice);
    }
    hooked_application = this;
    foreground_hook_.reset(SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, system_event, 0,
                                           0, foreground_hook_flags));
    desktop_switch_hook_.reset(SetWinEventHook(EVENT_SYSTEM_DESKTOPSWITCH, EVENT_SYSTEM_DESKTOPSWITCH, nullptr,
                                               system_event, 0, 0, foreground_hook_flags));
    set_up_ = true;
    controller_.start();
    return true;
}

void Application::tear_down() {
    if (!set_up_) {
        return;
    }
    set_up_ = false;
    controller_.stop_mirror();
    // An Adjust-warp window still open saves on its way out.
    host_.close_adjust_window();
    host_.close_hotkey_window();
    host_.close_region_picker();
    foreground_hook_.reset();
    desktop_switch_hook_.reset();
    hooked_application = nullptr;
    host_.unregister_hotkey();
    tray_.remove();
    host_.set_tray(nullptr);
    controller_.save();
}

unsigned Application::run() {
    if (!set_up()) {
        return 1;
    }
    MSG msg{};
    unsigned code = 0;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            code = static_cast<unsigned>(msg.wParam);
            break;
        }
        if (got == -1) {
            // Only a broken message queue gets here; going round again would spin.
            log_message("msgwnd: GetMessage failed, err=%lu", GetLastError());
            code = 1;
            break;
        }
        if (host_.adjust_dialog_message(msg) || host_.hotkey_dialog_message(msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    tear_down();
    return code;
}

}  // namespace kelvane
