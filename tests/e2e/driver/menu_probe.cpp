// A hook library that the end-to-end driver places in Kelvane2's user-interface thread: when a popup
// menu is about to open there, it writes the menu's items (and those of its submenus) to a file in
// the temporary folder. Menus cannot be read from another process, so the reading happens inside.
#include <windows.h>

#include <string>

namespace {

constexpr wchar_t dump_name[] = L"kelvane_menu_probe.txt";

std::wstring dump_path() {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + dump_name;
}

void describe(HMENU menu, int level, std::wstring& out) {
    const int items = GetMenuItemCount(menu);
    for (int i = 0; i < items; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 255;
        if (GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info) == 0) {
            out += std::to_wstring(level) + L"|?|?|(unreadable)\n";
            continue;
        }
        if ((info.fType & MFT_SEPARATOR) != 0) {
            out += std::to_wstring(level) + L"|-|-|---\n";
            continue;
        }
        std::wstring shown;
        for (const wchar_t* c = text; *c != L'\0'; ++c) {
            shown += *c == L'\t' ? std::wstring(L"\\t") : std::wstring(1, *c);
        }
        out += std::to_wstring(level) + L"|" + std::to_wstring(info.hSubMenu != nullptr ? 0u : info.wID) + L"|" +
               ((info.fState & MFS_CHECKED) != 0 ? L"1" : L"0") + L"|" + shown +
               ((info.fState & MFS_DISABLED) != 0 ? L" (disabled)" : L"") + L"\n";
        if (info.hSubMenu != nullptr) {
            describe(info.hSubMenu, level + 1, out);
        }
    }
}

void write_dump(HMENU menu) {
    std::wstring text;
    describe(menu, 0, text);
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    // Written under another name and renamed, so the reader never sees half a file.
    const std::wstring path = dump_path();
    const std::wstring partial = path + L".part";
    const HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
    MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK menu_probe_hook(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HC_ACTION) {
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lparam);
        // The top-level popup (not a submenu, not the window menu) is about to be shown, complete.
        if (call->message == WM_INITMENUPOPUP && HIWORD(call->lParam) == 0 && LOWORD(call->lParam) == 0) {
            write_dump(reinterpret_cast<HMENU>(call->wParam));
        }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}
