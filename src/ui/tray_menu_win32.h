// The tray icon's popup menu, built afresh each time it opens, and the commands it sends back to the
// control window. The items and ids themselves are in menu_model.h.
#pragma once

#include <windows.h>

#include "platform/unique_handle_win32.h"
#include "ui/menu_model.h"

namespace kelvane {

class AppController;

// Lists the monitors afresh into app.menu_monitors, shows the menu at the mouse position and returns
// when it closes; the chosen command arrives afterwards as WM_COMMAND at the control window.
void show_tray_menu(AppController& app);

// Carries out the menu command `id` (the low word of WM_COMMAND's wParam); other ids do nothing.
void on_command(AppController& app, unsigned id);

}  // namespace kelvane
