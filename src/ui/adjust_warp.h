// The decisions of the Adjust-warp window that need no window: the slider positions of the warp
// values and back, the value labels, and which monitor hosts the window and where on it. The
// Windows shell (adjust_window_win32.cpp) applies them to its controls.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "display/monitor_list.h"

namespace kelvane {

// Keystone sliders: positions 0..200 stand for -1..+1 in steps of 0.01, with a tick every 0.25.
inline constexpr int keystone_slider_max = 200;
inline constexpr int keystone_slider_tick = 25;
// Rotation slider: positions 0..720 stand for -180..+180 degrees in steps of 0.5, a tick every 45.
inline constexpr int rotation_slider_max = 720;
inline constexpr int rotation_slider_tick = 90;

// Outer size of the Adjust-warp window at 96 DPI, for placing it before its monitor's DPI is known;
// once it exists, it takes the size its client area needs there and keeps its centre.
inline constexpr int adjust_window_width = 480;
inline constexpr int adjust_window_height = 320;
// Its client area at 96 DPI: the controls with a margin of 20 on the left, right and bottom.
inline constexpr int adjust_client_width = 480;
inline constexpr int adjust_client_height = 283;

// The standard DPI, at which the window's sizes are given.
inline constexpr int standard_dpi = 96;

// A rectangle in client coordinates.
struct Box {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// A length at 96 DPI as it is at `dpi`, rounded to the nearest pixel.
[[nodiscard]] int scale_to_dpi(int value, int dpi) noexcept;
// A box at 96 DPI as it is at `dpi`. Its edges are scaled, not its size, so boxes that touch or keep
// apart at 96 DPI do so at any DPI.
[[nodiscard]] Box scale_to_dpi(const Box& box, int dpi) noexcept;

// Slider position to value, in 32-bit float arithmetic: position / 100 - 1.
[[nodiscard]] float keystone_from_position(int position) noexcept;
// Value to slider position: (value + 1) * 100 + 0.5 truncated toward zero, in 32-bit float
// arithmetic. A value outside -1..+1 (or not a number) gives the nearest end of the slider instead
// of an undefined conversion.
[[nodiscard]] int keystone_to_position(float value) noexcept;

// Slider position to degrees: position * 0.5 - 180.
[[nodiscard]] float rotation_from_position(int position) noexcept;
// Degrees to slider position: (value + 180) * 2 + 0.5 truncated toward zero, kept on the slider.
[[nodiscard]] int rotation_to_position(float degrees) noexcept;

// Value labels: the keystone with two decimals ("-0.25"), the rotation with one and a degree sign
// ("45.5\u00B0"). A value that rounds to zero reads 0.00 / 0.0\u00B0, never with a minus sign.
// Locale-free: the decimal separator is always a point.
[[nodiscard]] std::wstring keystone_label(float value);
[[nodiscard]] std::wstring rotation_label(float degrees);

// The monitor designated for mirroring: the stored name when set (which may be absent: -1),
// otherwise the topmost screen. -1 for an empty list.
[[nodiscard]] int designated_monitor(const std::vector<MonitorEntry>& monitors, std::wstring_view stored_name) noexcept;

// The monitor to put the window on: the primary when it is not the designated one, else the first
// other monitor, else the designated one when it is the only one. -1 for an empty list, where the
// caller falls back to the primary monitor's work area.
[[nodiscard]] int choose_host_monitor(const std::vector<MonitorEntry>& monitors, int designated) noexcept;

struct WindowPosition {
    int x = 0;
    int y = 0;
};

// Top-left corner that centres a window of the given outer size on `area` (integer division
// toward zero, so an area smaller than the window gives a corner left of or above it).
[[nodiscard]] WindowPosition centre_in(const MonitorRect& area, int width, int height) noexcept;

}  // namespace kelvane
