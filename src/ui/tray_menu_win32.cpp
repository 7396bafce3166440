// The tray menu on Windows: the popup built from the menu model.
#include "ui/tray_menu_win32.h"

#include "platform/unique_handle_win32.h"

namespace kelvane {
namespace {

// Appends the items of the model, each submenu as a popup of its own that the menu then owns.
// Failures of single items are not reported: the menu is shown with what could be added.
void append_items(HMENU menu, const std::vector<MenuItem>& items) {
    for (const MenuItem& item : items) {
        switch (item.kind) {
            case MenuItemKind::separator:
                AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
                break;
            case MenuItemKind::submenu: {
                UniqueMenu submenu(CreatePopupMenu());
                if (!submenu) {
                    break;
                }
                append_items(submenu.get(), item.children);
                if (AppendMenuW(menu, MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(submenu.get()),
                                item.text.c_str()) != FALSE) {
                    static_cast<void>(submenu.release());
                }
                break;
            }
            case MenuItemKind::command:
                AppendMenuW(menu, MF_STRING | (item.checked ? MF_CHECKED : MF_UNCHECKED), item.id, item.text.c_str());
                break;
        }
    }
}

}  // namespace

void show_tray_menu(HWND owner, const std::vector<MenuItem>& items) {
    const UniqueMenu menu(CreatePopupMenu());
    if (!menu) {
        return;
    }
    append_items(menu.get(), items);

    POINT cursor{};
    GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(owner);
    TrackPopupMenu(menu.get(), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, owner, nullptr);
    // Lets the switch away from a tray menu work the next time too (a known need of tray menus).
    PostMessageW(owner, WM_NULL, 0, 0);
}

}  // namespace kelvane
