// The Hotkey window on Windows.
#include "ui/hotkey_window_win32.h"

#include <iterator>

#include "platform/dpi_win32.h"
#include "platform/utf8.h"
#include "platform/window_owner_win32.h"

namespace kelvane {
namespace {

// ToUnicodeEx leaves the keyboard's dead-key state alone (Windows 10 1607 and later).
constexpr UINT keep_keyboard_state = 0x4;
constexpr unsigned key_down = 0x80;
// VkKeyScanEx's shift state for Ctrl+Alt, and with Shift.
constexpr unsigned altgr_state = 6;
constexpr unsigned altgr_shift_state = 7;

// Where the characters that layouts put on AltGr lie: Latin letters and signs, punctuation, super-
// and subscripts and currency signs.
struct CharacterRange {
    wchar_t first;
    wchar_t last;
};
constexpr CharacterRange altgr_ranges[] = {{0x21, 0x24F}, {0x2010, 0x20CF}};

// The other way round, for systems whose ToUnicodeEx does not take AltGr: which character, typed by
// the layout with AltGr (and Shift) and `key`, has that key as its way of typing it.
std::wstring altgr_character_by_scan(unsigned key, bool shift, HKL layout) {
    const unsigned wanted = shift ? altgr_shift_state : altgr_state;
    for (const CharacterRange& range : altgr_ranges) {
        for (wchar_t c = range.first; c <= range.last; ++c) {
            const SHORT found = VkKeyScanExW(c, layout);
            if (found != -1 && LOBYTE(found) == (key & 0xFF) && HIBYTE(found) == wanted) {
                return std::wstring(1, c);
            }
        }
    }
    return std::wstring();
}

// The hotkey control's modifier flags and the hotkey's, which RegisterHotKey takes.
struct ModifierPair {
    unsigned control_flag;
    unsigned hotkey_flag;
};
constexpr ModifierPair modifier_pairs[] = {
    {HOTKEYF_CONTROL, hotkey_modifier::control},
    {HOTKEYF_ALT, hotkey_modifier::alt},
    {HOTKEYF_SHIFT, hotkey_modifier::shift},
};

}  // namespace

std::wstring altgr_character(unsigned key, bool shift) {
    const HKL layout = GetKeyboardLayout(0);
    BYTE state[256] = {};
    // AltGr arrives as left Ctrl with right Alt.
    for (const int held : {VK_CONTROL, VK_LCONTROL, VK_MENU, VK_RMENU}) {
        state[held] = key_down;
    }
    if (shift) {
        state[VK_SHIFT] = key_down;
        state[VK_LSHIFT] = key_down;
    }
    state[key & 0xFF] = key_down;
    const UINT scan = MapVirtualKeyExW(key, MAPVK_VK_TO_VSC, layout);
    wchar_t text[8] = {};
    const int length =
        ToUnicodeEx(key, scan, state, text, static_cast<int>(std::size(text)) - 1, keep_keyboard_state, layout);
    if (length < 0) {
        // A dead key: it is lost too. Older systems keep it pending; typing it again clears that.
        wchar_t again[8] = {};
        ToUnicodeEx(key, scan, state, again, static_cast<int>(std::size(again)) - 1, keep_keyboard_state, layout);
        return std::wstring(1, text[0]);
    }
    // Control characters are what Ctrl makes of a key, not something AltGr types.
    if (length == 0 || text[0] < L' ') {
        return altgr_character_by_scan(key, shift, layout);
    }
    return std::wstring(text, static_cast<std::size_t>(length));
}

std::wstring hotkey_character(const Hotkey& hotkey) {
    constexpr unsigned altgr = hotkey_modifier::control | hotkey_modifier::alt;
    // With Win held as well, AltGr alone does not make the combination.
    if ((hotkey.modifiers & (altgr | hotkey_modifier::win)) != altgr || !hotkey_is_usable(hotkey)) {
        return std::wstring();
    }
    return altgr_character(hotkey.key, (hotkey.modifiers & hotkey_modifier::shift) != 0);
}

void HotkeyWindow::open(HINSTANCE instance, const Hotkey& hotkey) {
    if (window_ != nullptr) {
        SetForegroundWindow(window_);
        return;
    }
    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = sizeof classes;
    classes.dwICC = ICC_HOTKEY_CLASS;
    InitCommonControlsEx(&classes);
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = button_face_brush();
    window_class.lpszClassName = hotkey_class_name;
    RegisterClassExW(&window_class);  // exists already after the first opening, which is fine

    const WindowPosition place = work_area_position(hotkey_client_width, hotkey_client_height);
    window_ =
        CreateWindowExW(hotkey_window_ex_style, hotkey_class_name, hotkey_window_title, hotkey_window_style, place.x,
                        place.y, hotkey_client_width, hotkey_client_height, nullptr, nullptr, instance, this);
    if (window_ == nullptr) {
        return;  // a later "Hotkey..." tries again
    }
    create_dialog_controls(window_, instance, hotkey_controls, std::size(hotkey_controls));
    apply_dpi(static_cast<int>(platform::window_dpi(window_)), nullptr);
    unsigned flags = 0;
    for (const ModifierPair& pair : modifier_pairs) {
        flags |= (hotkey.modifiers & pair.hotkey_flag) != 0 ? pair.control_flag : 0;
    }
    SendDlgItemMessageW(window_, hotkey_window_id::combination, HKM_SETHOTKEY, MAKEWORD(hotkey.key, flags), 0);
    CheckDlgButton(window_, hotkey_window_id::win_key,
                   (hotkey.modifiers & hotkey_modifier::win) != 0 ? BST_CHECKED : BST_UNCHECKED);
    describe_choice();
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    SetFocus(GetDlgItem(window_, hotkey_window_id::combination));
}

void HotkeyWindow::apply_dpi(int dpi, const POINT* corner) {
    const HFONT font =
        lay_out_dialog(window_, hotkey_controls, std::size(hotkey_controls), hotkey_window_style,
                       hotkey_window_ex_style, Box{0, 0, hotkey_client_width, hotkey_client_height}, dpi, corner);
    if (font != nullptr) {
        if (font_ != nullptr) {
            DeleteObject(font_);  // no control uses it any more
        }
        font_ = font;
    }
}

void HotkeyWindow::close() noexcept {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

bool HotkeyWindow::dialog_message(MSG& msg) noexcept {
    return window_ != nullptr && (msg.hwnd == window_ || IsChild(window_, msg.hwnd) != FALSE) &&
           IsDialogMessageW(window_, &msg) != FALSE;
}

Hotkey HotkeyWindow::chosen() const noexcept {
    const auto value =
        static_cast<WORD>(SendDlgItemMessageW(window_, hotkey_window_id::combination, HKM_GETHOTKEY, 0, 0));
    Hotkey hotkey{0, LOBYTE(value)};
    for (const ModifierPair& pair : modifier_pairs) {
        hotkey.modifiers |= (HIBYTE(value) & pair.control_flag) != 0 ? pair.hotkey_flag : 0;
    }
    if (IsDlgButtonChecked(window_, hotkey_window_id::win_key) == BST_CHECKED) {
        hotkey.modifiers |= hotkey_modifier::win;
    }
    return hotkey;
}

void HotkeyWindow::describe_choice() {
    const Hotkey hotkey = chosen();
    std::wstring text;
    const std::wstring lost = hotkey_character(hotkey);
    if (!lost.empty()) {
        text = L"Ctrl+Alt is AltGr on this keyboard: " + lost + L" (AltGr+" +
               utf8_to_wide(hotkey_key_name(hotkey.key)) + L") could no longer be typed.";
    }
    SetDlgItemTextW(window_, hotkey_window_id::message, text.c_str());
}

void HotkeyWindow::on_ok() {
    const Hotkey hotkey = chosen();
    if (!hotkey_is_usable(hotkey)) {
        SetDlgItemTextW(window_, hotkey_window_id::message, L"Choose a key with Ctrl, Alt or Win, or a function key.");
        return;
    }
    if (actions_.hotkey_chosen(hotkey)) {
        close();
        return;
    }
    const std::wstring text = L"Windows refused " + utf8_to_wide(format_hotkey(hotkey)) +
                              L": another program holds it. The hotkey stays as it was.";
    SetDlgItemTextW(window_, hotkey_window_id::message, text.c_str());
}

LRESULT CALLBACK HotkeyWindow::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return owner_window_procedure<HotkeyWindow>(hwnd, message, wparam, lparam);
}

LRESULT HotkeyWindow::handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDOK:
                    on_ok();
                    return 0;
                case IDCANCEL:  // the button and Esc
                    close();
                    return 0;
                case hotkey_window_id::combination:
                case hotkey_window_id::win_key:
                    describe_choice();
                    return 0;
                default:
                    return DefWindowProcW(hwnd, message, wparam, lparam);
            }
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_DPICHANGED: {
            const auto* suggested = reinterpret_cast<const RECT*>(lparam);
            const POINT corner{suggested->left, suggested->top};
            apply_dpi(HIWORD(wparam), &corner);
            return 0;
        }
        case WM_ACTIVATE:
            return keep_focus_across_activation(hwnd, wparam, focus_) ? 0
                                                                      : DefWindowProcW(hwnd, message, wparam, lparam);
        case WM_DESTROY:
            window_ = nullptr;
            if (font_ != nullptr) {
                DeleteObject(font_);
                font_ = nullptr;
            }
            focus_ = nullptr;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

}  // namespace kelvane
