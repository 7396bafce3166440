// The region selection window: a dimmed, topmost, full-screen window over one monitor, on which the
// user drags a rectangle or clicks a window to take its rectangle; Enter takes what is shown, Esc
// cancels. At most one exists. The decisions are in region_selection.h; this window feeds it its
// input in desktop pixels, finds the window under a click, paints what it shows and reports the
// outcome as user actions, from the thread that opened it.
#pragma once

#include <windows.h>

#include <optional>

#include "display/monitor_list.h"
#include "ui/layered_surface_win32.h"
#include "ui/region_selection.h"
#include "ui/user_actions.h"
#include "ui/window_under_point_win32.h"

namespace kelvane {

inline constexpr wchar_t region_class_name[] = L"Kelvane2Region";
inline constexpr DWORD region_window_style = WS_POPUP;
// A tool window has no taskbar button; the layered window's own pixels carry the dim.
inline constexpr DWORD region_window_ex_style = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_LAYERED;

class RegionPicker {
public:
    // `filter` decides which windows a click may take (tests take their own windows).
    explicit RegionPicker(UserActions& actions, WindowFilter filter = window_of_another_process) noexcept
        : actions_(actions), filter_(filter) {}
    ~RegionPicker() { close(); }
    RegionPicker(const RegionPicker&) = delete;
    RegionPicker& operator=(const RegionPicker&) = delete;

    // Shows the window over `monitor` (desktop pixels) in the foreground with the keyboard focus, or
    // brings the open one forward (on the monitor it was opened on). False (logged) when it cannot be
    // shown; nothing is reported then.
    [[nodiscard]] bool open(HINSTANCE instance, const MonitorRect& monitor);
    // Closes the window without a report: whoever closes it knows why.
    void close() noexcept;
    [[nodiscard]] HWND hwnd() const noexcept { return window_; }

    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    // Every message of the window, from WM_NCCREATE on.
    LRESULT handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

private:
    // The point of a mouse message, from its client coordinates to desktop pixels.
    [[nodiscard]] POINT desktop_point(LPARAM lparam) const noexcept;
    LRESULT on_button_down(LPARAM lparam);
    LRESULT on_mouse_move(LPARAM lparam);
    LRESULT on_button_up(LPARAM lparam);
    LRESULT on_key_down(WPARAM wparam, LPARAM lparam);
    // Carries out what the selection decided after an input.
    void carry_out(SelectionStep step);
    // Paints what the selection shows and hands it to the window; false (logged) when it cannot.
    bool draw();
    void finish_chosen();
    void finish_cancelled();

    UserActions& actions_;
    WindowFilter filter_;
    HWND window_ = nullptr;
    std::optional<RegionSelection> selection_;
    LayeredSurface surface_;
    int outline_width_ = default_outline_width;
};

}  // namespace kelvane
