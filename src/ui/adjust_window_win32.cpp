// The Adjust-warp window on Windows: creation, the controls, and the procedure that turns slider
// moves, check-box clicks and Reset into user actions.
#include "ui/adjust_window_win32.h"

#include <iterator>
#include <string>
#include <vector>

#include "platform/dpi_win32.h"
#include "platform/window_owner_win32.h"
#include "settings/settings.h"

namespace kelvane {
namespace {

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
    window_class.lpfnWndProc = AdjustWindow::procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = button_face_brush();
    window_class.lpszClassName = adjust_class_name;
    // Registered on every opening; after the first time it already exists, which is fine.
    RegisterClassExW(&window_class);
}

void create_controls(HWND window, HINSTANCE instance) {
    create_dialog_controls(window, instance, adjust_controls, std::size(adjust_controls));
    for (const SliderBinding& slider : slider_bindings) {
        SendDlgItemMessageW(window, slider.id, TBM_SETRANGE, TRUE, MAKELPARAM(0, slider.range_max));
        SendDlgItemMessageW(window, slider.id, TBM_SETTICFREQ, static_cast<WPARAM>(slider.tick), 0);
    }
}

UINT check_state(bool checked) noexcept {
    return checked ? BST_CHECKED : BST_UNCHECKED;
}

bool is_checked(HWND window, int id) noexcept {
    return IsDlgButtonChecked(window, id) == BST_CHECKED;
}

}  // namespace

void AdjustWindow::open(HINSTANCE instance, const WarpParams& warp, const std::optional<WindowPosition>& position) {
    if (window_ != nullptr) {
        SetForegroundWindow(window_);
        return;
    }
    register_adjust_class(instance);
    const WindowPosition place = position ? *position : work_area_position(adjust_window_width, adjust_window_height);
    window_ =
        CreateWindowExW(adjust_window_ex_style, adjust_class_name, adjust_window_title, adjust_window_style, place.x,
                        place.y, adjust_window_width, adjust_window_height, nullptr, nullptr, instance, this);
    if (window_ == nullptr) {
        return;  // a later "Adjust warp..." tries again
    }
    create_controls(window_, instance);
    apply_dpi(static_cast<int>(platform::window_dpi(window_)), nullptr);
    show(warp);
    ShowWindow(window_, SW_SHOW);
    SetFocus(GetNextDlgTabItem(window_, nullptr, FALSE));
}

void AdjustWindow::apply_dpi(int dpi, const POINT* corner) {
    dpi_ = dpi;
    const HFONT font =
        lay_out_dialog(window_, adjust_controls, std::size(adjust_controls), adjust_window_style,
                       adjust_window_ex_style, Box{0, 0, adjust_client_width, adjust_client_height}, dpi, corner);
    if (font != nullptr) {
        if (font_ != nullptr) {
            DeleteObject(font_);  // no control uses it any more
        }
        font_ = font;
    }
}

bool AdjustWindow::dialog_message(MSG& msg) noexcept {
    return window_ != nullptr && (msg.hwnd == window_ || IsChild(window_, msg.hwnd) != FALSE) &&
           IsDialogMessageW(window_, &msg) != FALSE;
}

void AdjustWindow::show(const WarpParams& warp) {
    shown_ = warp;
    if (window_ == nullptr) {
        return;
    }
    CheckDlgButton(window_, adjust_id::mirror_h, check_state(warp.mirror_h));
    CheckDlgButton(window_, adjust_id::mirror_v, check_state(warp.mirror_v));
    for (const SliderBinding& slider : slider_bindings) {
        const float value = warp.*slider.field;
        SendDlgItemMessageW(window_, slider.id, TBM_SETPOS, TRUE, slider.to_position(value));
        SetDlgItemTextW(window_, slider.value_label_id, slider.label(value).c_str());
    }
}

void AdjustWindow::close() noexcept {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK AdjustWindow::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return owner_window_procedure<AdjustWindow>(hwnd, message, wparam, lparam);
}

LRESULT AdjustWindow::handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_HSCROLL:
            return on_hscroll(wparam, lparam);
        case WM_COMMAND:
            return on_command(wparam, lparam);
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_DPICHANGED: {
            // Moved to a monitor of another DPI: the system suggests where the window goes.
            const auto* suggested = reinterpret_cast<const RECT*>(lparam);
            const POINT corner{suggested->left, suggested->top};
            apply_dpi(HIWORD(wparam), &corner);
            return 0;
        }
        case WM_ACTIVATE:
            return keep_focus_across_activation(hwnd, wparam, focus_) ? 0
                                                                      : DefWindowProcW(hwnd, message, wparam, lparam);
        case WM_DESTROY:
            if (window_ == hwnd) {
                window_ = nullptr;
            }
            if (font_ != nullptr) {
                DeleteObject(font_);  // the controls have gone with their window
                font_ = nullptr;
            }
            focus_ = nullptr;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            actions_.adjust_closed();
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

// A slider moved: the mirror follows every step, the change is complete once the slider is let go.
LRESULT AdjustWindow::on_hscroll(WPARAM wparam, LPARAM lparam) {
    auto* const sender = reinterpret_cast<HWND>(lparam);
    const SliderBinding* slider = sender != nullptr ? find_slider(GetDlgCtrlID(sender)) : nullptr;
    if (slider == nullptr || window_ == nullptr) {
        return DefWindowProcW(window_, WM_HSCROLL, wparam, lparam);
    }
    const auto position = static_cast<int>(SendDlgItemMessageW(window_, slider->id, TBM_GETPOS, 0, 0));
    WarpParams warp = shown_;
    warp.*slider->field = slider->from_position(position);
    actions_.warp_edited(warp, LOWORD(wparam) == TB_ENDTRACK);
    return 0;
}

LRESULT AdjustWindow::on_command(WPARAM wparam, LPARAM lparam) {
    WarpParams warp = shown_;
    switch (LOWORD(wparam)) {
        case adjust_id::mirror_h:
            warp.mirror_h = is_checked(window_, adjust_id::mirror_h);
            actions_.warp_edited(warp, true);
            return 0;
        case adjust_id::mirror_v:
            warp.mirror_v = is_checked(window_, adjust_id::mirror_v);
            actions_.warp_edited(warp, true);
            return 0;
        case adjust_id::reset:
            actions_.warp_reset();
            return 0;
        case adjust_id::close:
        case IDCANCEL:  // Esc
            close();
            return 0;
        case IDOK:  // Enter, on a control that is not the default button: press the focused button
            if (GetFocus() == GetDlgItem(window_, adjust_id::reset)) {
                actions_.warp_reset();
            } else {
                close();
            }
            return 0;
        default:
            return DefWindowProcW(window_, WM_COMMAND, wparam, lparam);
    }
}

}  // namespace kelvane
