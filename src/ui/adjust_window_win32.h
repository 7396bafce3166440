// The Adjust-warp window: an always-on-top window with two check boxes and three sliders that edit
// the five warp values, reported as user actions while they change. At most one exists. The slider
// mapping, labels and placement rules are in adjust_warp.h.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <optional>

#include "ui/adjust_warp.h"
#include "ui/dialog_layout_win32.h"
#include "ui/user_actions.h"

namespace kelvane {

inline constexpr wchar_t adjust_class_name[] = L"Kelvane2Adjust";
inline constexpr wchar_t adjust_window_title[] = L"Kelvane2 - Adjust Warp";
inline constexpr DWORD adjust_window_ex_style = WS_EX_TOPMOST;
// A caption with a close box; no resizing border, no minimise or maximise box.
inline constexpr DWORD adjust_window_style = WS_CAPTION | WS_SYSMENU;

// Control ids.
namespace adjust_id {
inline constexpr int mirror_h = 301;
inline constexpr int keystone_tb = 302;
inline constexpr int keystone_lr = 303;
inline constexpr int rotation = 304;
inline constexpr int reset = 305;
inline constexpr int close = 306;
inline constexpr int mirror_v = 307;
inline constexpr int keystone_tb_value = 312;
inline constexpr int keystone_lr_value = 313;
inline constexpr int rotation_value = 314;
inline constexpr int none = 0;  // the caption texts are never addressed
}  // namespace adjust_id

inline constexpr wchar_t trackbar_class[] = L"msctls_trackbar32";

using AdjustControl = DialogControl;

// The controls in creation order (which is also their tab and z order).
inline constexpr AdjustControl adjust_controls[] = {
    {button_class, L"Mirror horizontally", BS_AUTOCHECKBOX | tab_stop, {20, 15, 200, 24}, adjust_id::mirror_h},
    {button_class, L"Mirror vertically", BS_AUTOCHECKBOX | tab_stop, {240, 15, 200, 24}, adjust_id::mirror_v},
    {static_class, L"Keystone top/bottom", 0, {20, 52, 180, 20}, adjust_id::none},
    {static_class, L"", 0, {400, 52, 60, 20}, adjust_id::keystone_tb_value},
    {trackbar_class, L"", TBS_AUTOTICKS | tab_stop, {20, 72, 430, 30}, adjust_id::keystone_tb},
    {static_class, L"Keystone left/right", 0, {20, 112, 180, 20}, adjust_id::none},
    {static_class, L"", 0, {400, 112, 60, 20}, adjust_id::keystone_lr_value},
    {trackbar_class, L"", TBS_AUTOTICKS | tab_stop, {20, 132, 430, 30}, adjust_id::keystone_lr},
    {static_class, L"Rotation (degrees)", 0, {20, 172, 180, 20}, adjust_id::none},
    {static_class, L"", 0, {400, 172, 60, 20}, adjust_id::rotation_value},
    {trackbar_class, L"", TBS_AUTOTICKS | tab_stop, {20, 192, 430, 30}, adjust_id::rotation},
    {button_class, L"Reset", BS_PUSHBUTTON | tab_stop, {250, 235, 100, 28}, adjust_id::reset},
    {button_class, L"Close", BS_DEFPUSHBUTTON | tab_stop, {360, 235, 90, 28}, adjust_id::close},
};

class AdjustWindow {
public:
    explicit AdjustWindow(UserActions& actions) noexcept : actions_(actions) {}
    // Closing reports adjust_closed, so the window goes before its owner does.
    ~AdjustWindow() { close(); }
    AdjustWindow(const AdjustWindow&) = delete;
    AdjustWindow& operator=(const AdjustWindow&) = delete;

    // Opens the window at `position` (none: centred on the work area) showing `warp`, or brings the
    // open one forward.
    void open(HINSTANCE instance, const WarpParams& warp, const std::optional<WindowPosition>& position);
    // Writes `warp` into the open window's controls; nothing when it is closed.
    void show(const WarpParams& warp);
    void close() noexcept;
    [[nodiscard]] HWND hwnd() const noexcept { return window_; }
    // Keyboard use as in a dialog (Tab, Shift+Tab, arrow and Page keys, Esc, Enter): the message loop
    // offers every message here first; true when it was the window's and has been handled.
    [[nodiscard]] bool dialog_message(MSG& msg) noexcept;
    // The DPI the window is laid out for.
    [[nodiscard]] int dpi() const noexcept { return dpi_; }

    // The window procedure (exposed for tests that drive it directly).
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

    // Every message of the window, from WM_NCCREATE on.
    LRESULT handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

private:
    LRESULT on_hscroll(WPARAM wparam, LPARAM lparam);
    LRESULT on_command(WPARAM wparam, LPARAM lparam);
    // Lays the controls out at `dpi` with a font of that DPI and gives the window the size they need,
    // its top-left corner at `corner` (none: around its present centre).
    void apply_dpi(int dpi, const POINT* corner);

    UserActions& actions_;
    // What the window was last told: a moved slider changes its own value only, so the others keep
    // more precision than a slider position holds.
    WarpParams shown_;
    HWND window_ = nullptr;
    int dpi_ = standard_dpi;
    HFONT font_ = nullptr;  // the controls' font at dpi_, owned
    HWND focus_ = nullptr;  // the focused control while the window is inactive
};

}  // namespace kelvane
