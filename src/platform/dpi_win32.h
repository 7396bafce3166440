// Per-monitor DPI through functions that came after Windows 10 1507. They are looked up at run time:
// imported at load time, they would make the loader refuse the program on 1507 to 1607. Each falls
// back to what the older system offers.
#pragma once

#include <windows.h>

namespace kelvane::platform {

// Marks the process per-monitor-v2 DPI aware (the manifest asks for it too); nothing where unknown.
void set_per_monitor_dpi_awareness() noexcept;

// The DPI of the monitor the window is on; the system DPI where per-window DPI is unknown.
[[nodiscard]] UINT window_dpi(HWND window) noexcept;

// The outer rectangle of a window whose client area is `client`, with caption and borders as they
// are at `dpi`.
[[nodiscard]] RECT outer_rect_for_client(const RECT& client, DWORD style, DWORD ex_style, UINT dpi) noexcept;

// The system's message font (the one dialogs use) at `dpi`; null when it cannot be made.
[[nodiscard]] HFONT create_message_font(UINT dpi) noexcept;

}  // namespace kelvane::platform
