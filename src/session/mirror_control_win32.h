// Starting and stopping the mirror, publishing warp changes to the running session and hiding the
// system cursor over the mirrored monitor. All on the main thread.
#pragma once

#include <windows.h>

namespace kelvane {

class AppController;

// Timers of the control window while the mirror runs.
inline constexpr UINT_PTR topmost_timer_id = 1;
inline constexpr UINT topmost_timer_ms = 500;
inline constexpr UINT_PTR cursor_timer_id = 2;
inline constexpr UINT cursor_timer_ms = 100;

void start_mirror(AppController& app);
void stop_mirror(AppController& app);
// Flips the mirror, records the choice in settings.active and saves the settings.
void toggle_mirror(AppController& app);
// Hands the warp values of the settings to the session thread.
void publish_warp_params(AppController& app);
// Hides the system cursor while it is over the mirrored monitor, shows it otherwise.
void update_cursor_visibility(AppController& app);

}  // namespace kelvane
