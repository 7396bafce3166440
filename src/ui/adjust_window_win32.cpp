// The Adjust-warp window on Windows: creation and placement, the controls, and the procedure that
// turns slider moves, check-box clicks and Reset into settings, published and saved.
#include "ui/adjust_window_win32.h"

#include <string>
#include <vector>

#include "app/app_controller_win32.h"
#include "display/monitor_list.h"
#include "session/mirror_control_win32.h"
#include "settings/settings.h"
#include "ui/adjust_warp.h"

namespace kelvane {
namespace {

// The system colour brush value of COLOR_BTNFACE, as a window class takes it.
const HBRUSH button_face_brush = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));

// What a slider edits and how its positions map to the value and the label.
struct SliderBinding {
    int id;
    int value_label_id;
    int range_max;
    int tick;
    float WarpParams::*field;
    float (*from_position)(int) noexcept;
    int (*to_position)(float) noexcept;
    std::wstring (*label)(float);
};

const SliderBinding slider_bindings[] = {
    {adjust_id::keystone_tb, adjust_id::keystone_tb_value, keystone_slider_max, keystone_slider_tick,
     &WarpParams::keystone_tb, keystone_from_position, keystone_to_position, keystone_label},
    {adjust_id::keystone_lr, adjust_id::keystone_lr_value, keystone_slider_max, keystone_slider_tick,
     &WarpParams::keystone_lr, keystone_from_position, keystone_to_position, keystone_label},
    {adjust_id::rotation, adjust_id::rotation_value, rotation_slider_max, rotation_slider_tick, &WarpParams::rotation,
     rotation_from_position, rotation_to_position, rotation_label},
};

const SliderBinding* find_slider(int id) noexcept {
    for (const SliderBinding& binding : slider_bindings) {
        if (binding.id == id) {
            return &binding;
        }
    }
    return nullptr;
}

void register_adjust_class(HINSTANCE instance) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = adjust_window_proc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = button_face_brush;
    window_class.lpszClassName = adjust_class_name;
    // Registered on every opening; after the first time it already exists, which is fine.
    RegisterClassExW(&window_class);
}

// Where the window opens: centred on the host monitor, or on the primary work area when there is
// no monitor to host it.
WindowPosition adjust_window_position(const AppController& app) {
    const std::vector<MonitorEntry> monitors = enumerate_monitors();
    const int host = choose_host_monitor(monitors, designated_monitor(monitors, app.settings.monitor));
    if (host >= 0) {
        return centre_in(monitors[static_cast<std::size_t>(host)].rect, adjust_window_width, adjust_window_height);
    }
    RECT work{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        return WindowPosition{CW_USEDEFAULT, CW_USEDEFAULT};
    }
    return centre_in(MonitorRect{work.left, work.top, work.right, work.bottom}, adjust_window_width,
                     adjust_window_height);
}

void create_controls(HWND window, HINSTANCE instance) {
    for (const AdjustControl& control : adjust_controls) {
        const HWND child =
            CreateWindowExW(0, control.class_name, control.text, WS_CHILD | WS_VISIBLE | control.style, control.x,
                            control.y, control.width, control.height, window,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
        const SliderBinding* slider = find_slider(control.id);
        if (child != nullptr && slider != nullptr) {
            SendMessageW(child, TBM_SETRANGE, TRUE, MAKELPARAM(0, slider->range_max));
            SendMessageW(child, TBM_SETTICFREQ, static_cast<WPARAM>(slider->tick), 0);
        }
    }
}

UINT check_state(bool checked) noexcept {
    return checked ? BST_CHECKED : BST_UNCHECKED;
}

bool is_checked(HWND window, int id) noexcept {
    return IsDlgButtonChecked(window, id) == BST_CHECKED;
}

// A slider moved: the mirror follows every step, the file is written once the slider is let go.
void on_slider_moved(AppController& app, HWND window, const SliderBinding& slider, WORD code) {
    const auto position = static_cast<int>(SendDlgItemMessageW(window, slider.id, TBM_GETPOS, 0, 0));
    app.settings.warp.*slider.field = slider.from_position(position);
    publish_warp_params(app);
    refresh_adjust_window(app);
    if (code == TB_ENDTRACK) {
        save_settings(app.settings);
    }
}

void on_mirror_box_clicked(AppController& app, HWND window, int id, bool WarpParams::*axis) {
    app.settings.warp.*axis = is_checked(window, id);
    publish_warp_params(app);
    save_settings(app.settings);
}

void on_reset_clicked(AppController& app) {
    reset_warp_correction(app.settings);
    publish_warp_params(app);
    save_settings(app.settings);
    refresh_adjust_window(app);
}

void on_adjust_destroyed(AppController& app, HWND window) {
    save_settings(app.settings);
    if (app.adjust_hwnd == window) {
        app.adjust_hwnd = nullptr;
    }
}

LRESULT on_hscroll(AppController& app, HWND window, WPARAM wparam, LPARAM lparam) {
    const auto sender = reinterpret_cast<HWND>(lparam);
    const SliderBinding* slider = sender != nullptr ? find_slider(GetDlgCtrlID(sender)) : nullptr;
    if (slider == nullptr) {
        return DefWindowProcW(window, WM_HSCROLL, wparam, lparam);
    }
    on_slider_moved(app, window, *slider, LOWORD(wparam));
    return 0;
}

LRESULT on_adjust_command(AppController& app, HWND window, WPARAM wparam, LPARAM lparam) {
    switch (LOWORD(wparam)) {
        case adjust_id::mirror_h:
            on_mirror_box_clicked(app, window, adjust_id::mirror_h, &WarpParams::mirror_h);
            return 0;
        case adjust_id::mirror_v:
            on_mirror_box_clicked(app, window, adjust_id::mirror_v, &WarpParams::mirror_v);
            return 0;
        case adjust_id::reset:
            on_reset_clicked(app);
            return 0;
        case adjust_id::close:
            DestroyWindow(window);
            return 0;
        default:
            return DefWindowProcW(window, WM_COMMAND, wparam, lparam);
    }
}

}  // namespace

void open_adjust_window(AppController& app) {
    if (app.adjust_hwnd != nullptr) {
        SetForegroundWindow(app.adjust_hwnd);
        return;
    }
    register_adjust_class(app.instance);
    const WindowPosition position = adjust_window_position(app);
    app.adjust_hwnd =
        CreateWindowExW(adjust_window_ex_style, adjust_class_name, adjust_window_title, adjust_window_style, position.x,
                        position.y, adjust_window_width, adjust_window_height, nullptr, nullptr, app.instance, nullptr);
    if (app.adjust_hwnd == nullptr) {
        return;  // a later "Adjust warp..." tries again
    }
    create_controls(app.adjust_hwnd, app.instance);
    refresh_adjust_window(app);
    ShowWindow(app.adjust_hwnd, SW_SHOW);
}

void refresh_adjust_window(AppController& app) {
    const HWND window = app.adjust_hwnd;
    if (window == nullptr) {
        return;
    }
    CheckDlgButton(window, adjust_id::mirror_h, check_state(app.settings.warp.mirror_h));
    CheckDlgButton(window, adjust_id::mirror_v, check_state(app.settings.warp.mirror_v));
    for (const SliderBinding& slider : slider_bindings) {
        const float value = app.settings.warp.*slider.field;
        SendDlgItemMessageW(window, slider.id, TBM_SETPOS, TRUE, slider.to_position(value));
        SetDlgItemTextW(window, slider.value_label_id, slider.label(value).c_str());
    }
}

LRESULT CALLBACK adjust_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (app_instance == nullptr) {
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    AppController& app = *app_instance;
    switch (message) {
        case WM_HSCROLL:
            return on_hscroll(app, hwnd, wparam, lparam);
        case WM_COMMAND:
            return on_adjust_command(app, hwnd, wparam, lparam);
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            on_adjust_destroyed(app, hwnd);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

}  // namespace kelvane
