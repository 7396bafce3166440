// The tray icon's popup menu, built afresh each time it opens, and the commands it sends back to the
// control window. The items and ids themselves are in menu_model.h.
#pragma once

#include <windows.h>

#include "ui/menu_model.h"

namespace kelvane {

class AppController;

// Owns a menu handle; destroying a menu destroys the submenus attached to it.
class UniqueMenu {
public:
    UniqueMenu() noexcept = default;
    explicit UniqueMenu(HMENU menu) noexcept : menu_(menu) {}
    ~UniqueMenu() { reset(); }
    UniqueMenu(const UniqueMenu&) = delete;
    UniqueMenu& operator=(const UniqueMenu&) = delete;

    [[nodiscard]] HMENU get() const noexcept { return menu_; }
    explicit operator bool() const noexcept { return menu_ != nullptr; }
    // Gives up ownership, e.g. once the menu has become a submenu of another.
    [[nodiscard]] HMENU release() noexcept {
        const HMENU menu = menu_;
        menu_ = nullptr;
        return menu;
    }
    void reset() noexcept {
        if (menu_ != nullptr) {
            DestroyMenu(menu_);
        }
        menu_ = nullptr;
    }

private:
    HMENU menu_ = nullptr;
};

// Lists the monitors afresh into app.menu_monitors, shows the menu at the mouse position and returns
// when it closes; the chosen command arrives afterwards as WM_COMMAND at the control window.
void show_tray_menu(AppController& app);

// Carries out the menu command `id` (the low word of WM_COMMAND's wParam); other ids do nothing.
void on_command(AppController& app, unsigned id);

}  // namespace kelvane
