// The tray icon's popup menu, built afresh from the menu model each time it opens. The chosen command
// arrives afterwards as WM_COMMAND at the owner window.
#pragma once

#include <windows.h>

#include <vector>

#include "ui/menu_model.h"

namespace kelvane {

// Shows `items` and their submenus at the mouse position and returns when the menu closes.
void show_tray_menu(HWND owner, const std::vector<MenuItem>& items);

}  // namespace kelvane
