// The layout and keyboard commands of the driver.
#include "window_checks.h"

#include <windows.h>

#include <iterator>
#include <string>
#include <vector>

#include "driver_io.h"

namespace kelvane::driver {
namespace {

// The text a control shows needs this much room besides its text: the box of a check box.
int decoration_width(HWND control, const SIZE& text) {
    wchar_t class_name[64] = {};
    GetClassNameW(control, class_name, static_cast<int>(std::size(class_name)));
    const auto type = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE)) & BS_TYPEMASK;
    const bool check_box = _wcsicmp(class_name, L"Button") == 0 && (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX);
    return check_box ? text.cy + text.cy / 2 : 0;  // a box as high as the text and a gap
}

HWND focused_control(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) != 0 && info.hwndFocus != nullptr &&
        IsChild(window, info.hwndFocus) != 0) {
        return info.hwndFocus;
    }
    return nullptr;
}

}  // namespace

int layout(const wchar_t* class_name) {
    const HWND window = FindWindowW(class_name, nullptr);
    RECT client{};
    if (window == nullptr || GetClientRect(window, &client) == 0) {
        return exit_not_found;
    }
    print(L"dpi " + std::to_wstring(GetDpiForWindow(window)) + L" client " + std::to_wstring(client.right) + L"x" +
          std::to_wstring(client.bottom) + L"\n");
    struct Child {
        HWND window;
        RECT rect;
        int id;
    };
    std::vector<Child> children;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        children.push_back(Child{child, rect, GetDlgCtrlID(child)});
    }
    int faults = 0;
    const auto fault = [&faults](const std::wstring& text) {
        print(L"FAIL " + text + L"\n");
        ++faults;
    };
    for (std::size_t i = 0; i < children.size(); ++i) {
        const Child& c = children[i];
        const std::wstring name = L"control " + std::to_wstring(i) + L" (id " + std::to_wstring(c.id) + L")";
        const RECT& r = c.rect;
        wchar_t text[256] = {};
        GetWindowTextW(c.window, text, static_cast<int>(std::size(text)));
        SIZE extent{};
        const HDC dc = GetDC(c.window);
        const auto font = reinterpret_cast<HFONT>(SendMessageW(c.window, WM_GETFONT, 0, 0));
        const HGDIOBJ old =
            SelectObject(dc, font != nullptr ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
        GetTextExtentPoint32W(dc, text, static_cast<int>(std::wcslen(text)), &extent);
        SelectObject(dc, old);
        ReleaseDC(c.window, dc);
        const int needed = text[0] != L'\0' ? extent.cx + decoration_width(c.window, extent) : 0;
        print(name + L" " + std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L" " +
              std::to_wstring(r.right - r.left) + L"x" + std::to_wstring(r.bottom - r.top) + L" text " +
              std::to_wstring(needed) + L"x" + std::to_wstring(extent.cy) + L"\n");
        if (r.left < 0 || r.top < 0 || r.right > client.right || r.bottom > client.bottom) {
            fault(name + L" leaves the client area");
        }
        if (text[0] != L'\0' && (needed > r.right - r.left || extent.cy > r.bottom - r.top)) {
            fault(name + L" is too small for its text");
        }
        for (std::size_t j = i + 1; j < children.size(); ++j) {
            RECT overlap{};
            if (IntersectRect(&overlap, &r, &children[j].rect) != 0) {
                fault(name + L" overlaps control " + std::to_wstring(j));
            }
        }
    }
    return faults == 0 ? exit_done : exit_fault;
}

int key(const wchar_t* class_name, const wchar_t* virtual_key, const wchar_t* direction) {
    const HWND window = FindWindowW(class_name, nullptr);
    if (window == nullptr) {
        return exit_not_found;
    }
    // A key reaches only the active window. One posted while the window is not active (for a moment,
    // say) is one no user could type: a Tab then starts from no focus and the window's reactivation
    // puts the focus back where it was. Wait for the window to be active, 10 s at most.
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    for (int wait = 0; GetGUIThreadInfo(thread, &info) == 0 || info.hwndActive != window; ++wait) {
        if (wait == 200) {
            return exit_fault;
        }
        Sleep(50);
    }
    const HWND focus = focused_control(window);
    const bool down = std::wcscmp(direction, L"down") == 0;
    // Repeat count 1; a release has the previous-state and transition bits set.
    const LPARAM flags = down ? 1 : static_cast<LPARAM>(0xC0000001u);
    return PostMessageW(focus != nullptr ? focus : window, down ? WM_KEYDOWN : WM_KEYUP,
                        static_cast<WPARAM>(number(virtual_key)), flags) != 0
               ? exit_done
               : exit_not_found;
}

int focus_id(const wchar_t* class_name) {
    const HWND window = FindWindowW(class_name, nullptr);
    if (window == nullptr) {
        return exit_not_found;
    }
    const HWND focus = focused_control(window);
    print(std::to_wstring(focus != nullptr ? GetDlgCtrlID(focus) : -1) + L"\n");
    return exit_done;
}

}  // namespace kelvane::driver
