// A small Windows program that the end-to-end scripts run under Wine beside Kelvane2.exe, to do what
// only a Windows process can: hold the keyboard focus so that X key events reach Wine, post messages
// to Kelvane2's windows, and wait for them to appear.
//
//   kelvane_driver focus <ms> [<modifiers> <vk>]      a focused window for <ms> milliseconds, holding
//                                                     that hotkey (exit 1 at once when it is refused)
//   kelvane_driver post <class> <message> <wparam> <lparam>
//                                                     <message> is a number or "taskbar-created"
//   kelvane_driver wait-window <class> <ms>           exit 0 once a window of <class> exists
//   kelvane_driver wait-gone <class> <ms>             exit 0 once no window of <class> exists
//   kelvane_driver menu <class> <message> <wparam> <lparam>
//                                                     posts the message, then prints the popup menu it
//                                                     opens (one line per item: level|id|checked|text)
//                                                     and closes it
//   kelvane_driver send <class> <child id> <message> <wparam> <lparam>
//                                                     SendMessage to a child (id 0: the window itself);
//                                                     prints the result
//   kelvane_driver hscroll <class> <child id> <code> <position>
//                                                     a slider notification as the slider sends it
//   kelvane_driver rect <class>                       prints left top right bottom
//   kelvane_driver count <class>                      prints the number of top-level windows
//   kelvane_driver monitors                           prints each monitor: device left top right bottom,
//                                                     then " primary" for the primary one
//   kelvane_driver layout <class>                     checks the window's children: each inside the client
//                                                     area, none overlapping another, each text (in the
//                                                     control's own font) inside its control; prints the
//                                                     window's DPI, client size and each control; exit 1
//                                                     on a fault
//   kelvane_driver key <class> <vk> down|up           posts a key to the window's focused control (or the
//                                                     window), as the keyboard would
//   kelvane_driver focus-id <class>                   prints the id of the window's focused control
// Exit codes: 0 done, 2 usage, 3 window not found / timed out.
#include <windows.h>

#include "driver_io.h"
#include "window_checks.h"

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <string>

using namespace kelvane::driver;  // NOLINT(google-build-using-namespace): the driver's own helpers

namespace {

constexpr DWORD poll_ms = 50;

int focus(DWORD duration_ms, UINT modifiers, UINT key) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Kelvane2TestFocus";
    RegisterClassExW(&wc);
    // Placed on the second X screen, away from the overlay's pixels.
    const HWND window = CreateWindowExW(0, wc.lpszClassName, L"focus", WS_POPUP | WS_VISIBLE, 1900, 1040, 16, 16,
                                        nullptr, nullptr, wc.hInstance, nullptr);
    if (window == nullptr) {
        return exit_not_found;
    }
    if (key != 0 && RegisterHotKey(window, 1, modifiers, key) == FALSE) {
        DestroyWindow(window);
        return exit_fault;
    }
    SetForegroundWindow(window);
    SetFocus(window);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < duration_ms) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
    DestroyWindow(window);
    return exit_done;
}

int post(const wchar_t* class_name, const wchar_t* message, const wchar_t* wparam, const wchar_t* lparam) {
    const HWND window = FindWindowW(class_name, nullptr);
    if (window == nullptr) {
        return exit_not_found;
    }
    const UINT id = std::wcscmp(message, L"taskbar-created") == 0 ? RegisterWindowMessageW(L"TaskbarCreated")
                                                                  : static_cast<UINT>(number(message));
    return PostMessageW(window, id, static_cast<WPARAM>(number(wparam)), static_cast<LPARAM>(number(lparam))) != 0
               ? exit_done
               : exit_not_found;
}

int wait_window(const wchar_t* class_name, DWORD limit_ms, bool present) {
    const DWORD start = GetTickCount();
    for (;;) {
        if ((FindWindowW(class_name, nullptr) != nullptr) == present) {
            return exit_done;
        }
        if (GetTickCount() - start >= limit_ms) {
            return exit_not_found;
        }
        Sleep(poll_ms);
    }
}

HWND find_child(const wchar_t* class_name, const wchar_t* child_id) {
    const HWND window = FindWindowW(class_name, nullptr);
    if (window == nullptr) {
        return nullptr;
    }
    const auto id = static_cast<int>(number(child_id));
    return id == 0 ? window : GetDlgItem(window, id);
}

int send(const wchar_t* class_name, const wchar_t* child_id, const wchar_t* message, const wchar_t* wparam,
         const wchar_t* lparam) {
    const HWND target = find_child(class_name, child_id);
    if (target == nullptr) {
        return exit_not_found;
    }
    const LRESULT result = SendMessageW(target, static_cast<UINT>(number(message)), static_cast<WPARAM>(number(wparam)),
                                        static_cast<LPARAM>(number(lparam)));
    print(std::to_wstring(static_cast<long long>(result)) + L"\n");
    return exit_done;
}

int hscroll(const wchar_t* class_name, const wchar_t* child_id, const wchar_t* code, const wchar_t* position) {
    const HWND window = FindWindowW(class_name, nullptr);
    const HWND slider = find_child(class_name, child_id);
    if (window == nullptr || slider == nullptr) {
        return exit_not_found;
    }
    const auto wparam = MAKEWPARAM(static_cast<WORD>(number(code)), static_cast<WORD>(number(position)));
    SendMessageW(window, WM_HSCROLL, wparam, reinterpret_cast<LPARAM>(slider));
    return exit_done;
}

int rect(const wchar_t* class_name) {
    const HWND window = FindWindowW(class_name, nullptr);
    RECT r{};
    if (window == nullptr || GetWindowRect(window, &r) == 0) {
        return exit_not_found;
    }
    print(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right) + L" " +
          std::to_wstring(r.bottom) + L"\n");
    return exit_done;
}

int monitors() {
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM) -> BOOL {
            MONITORINFOEXW info{};
            info.cbSize = sizeof info;
            if (GetMonitorInfoW(monitor, &info)) {
                const RECT& r = info.rcMonitor;
                print(std::wstring(info.szDevice) + L" " + std::to_wstring(r.left) + L" " + std::to_wstring(r.top) +
                      L" " + std::to_wstring(r.right) + L" " + std::to_wstring(r.bottom) +
                      ((info.dwFlags & MONITORINFOF_PRIMARY) != 0 ? L" primary\n" : L"\n"));
            }
            return TRUE;
        },
        0);
    return exit_done;
}

int count(const wchar_t* class_name) {
    int windows = 0;
    for (HWND w = FindWindowExW(nullptr, nullptr, class_name, nullptr); w != nullptr;
         w = FindWindowExW(nullptr, w, class_name, nullptr)) {
        ++windows;
    }
    print(std::to_wstring(windows) + L"\n");
    return exit_done;
}

std::wstring temp_file(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

// Menus cannot be read across processes, so a hook library reads the menu inside the owner's thread
// as it opens and leaves its items in a file.
int menu(const wchar_t* class_name, const wchar_t* message, const wchar_t* wparam, const wchar_t* lparam) {
    const HWND window = FindWindowW(class_name, nullptr);
    if (window == nullptr) {
        return exit_not_found;
    }
    const std::wstring dump = temp_file(L"kelvane_menu_probe.txt");
    DeleteFileW(dump.c_str());
    const HMODULE probe = LoadLibraryW(L"menu_probe.dll");
    const auto hook_proc =
        probe != nullptr ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(probe, "menu_probe_hook")))
                         : nullptr;
    const HHOOK hook = hook_proc != nullptr ? SetWindowsHookExW(WH_CALLWNDPROC, hook_proc, probe,
                                                                GetWindowThreadProcessId(window, nullptr))
                                            : nullptr;
    if (hook == nullptr) {
        print(L"menu probe could not be installed\n");
        return exit_not_found;
    }
    post(class_name, message, wparam, lparam);

    HWND popup = nullptr;
    const DWORD start = GetTickCount();
    while ((popup = FindWindowW(L"#32768", nullptr)) == nullptr || IsWindowVisible(popup) == 0 ||
           GetFileAttributesW(dump.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start >= 10000) {
            UnhookWindowsHookEx(hook);
            return exit_not_found;
        }
        Sleep(poll_ms);
    }
    UnhookWindowsHookEx(hook);
    const HANDLE file = CreateFileW(dump.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char buffer[8192];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0 && got > 0) {
            std::fwrite(buffer, 1, got, stdout);
        }
        std::fflush(stdout);
        CloseHandle(file);
    }
    // Escape closes the menu as a user would, and no command is chosen.
    PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(popup, WM_KEYUP, VK_ESCAPE, 0);
    if (wait_window(L"#32768", 10000, false) != exit_done) {
        return exit_not_found;
    }
    // The popup goes before the menu's modal loop ends; a command posted in between would be handled
    // inside that loop, which is not where a user's command arrives.
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    for (const DWORD left = GetTickCount();
         GetGUIThreadInfo(thread, &info) != 0 && (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)) != 0;) {
        if (GetTickCount() - left >= 10000) {
            return exit_not_found;
        }
        Sleep(poll_ms);
    }
    return exit_done;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Physical pixels, as Kelvane2 itself sees its windows at any DPI.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"focus" && (argc == 3 || argc == 5)) {
        return focus(static_cast<DWORD>(number(argv[2])), argc == 5 ? static_cast<UINT>(number(argv[3])) : 0,
                     argc == 5 ? static_cast<UINT>(number(argv[4])) : 0);
    }
    if (command == L"post" && argc == 6) {
        return post(argv[2], argv[3], argv[4], argv[5]);
    }
    if (command == L"wait-window" && argc == 4) {
        return wait_window(argv[2], static_cast<DWORD>(number(argv[3])), true);
    }
    if (command == L"wait-gone" && argc == 4) {
        return wait_window(argv[2], static_cast<DWORD>(number(argv[3])), false);
    }
    if (command == L"menu" && argc == 6) {
        return menu(argv[2], argv[3], argv[4], argv[5]);
    }
    if (command == L"send" && argc == 7) {
        return send(argv[2], argv[3], argv[4], argv[5], argv[6]);
    }
    if (command == L"hscroll" && argc == 6) {
        return hscroll(argv[2], argv[3], argv[4], argv[5]);
    }
    if (command == L"rect" && argc == 3) {
        return rect(argv[2]);
    }
    if (command == L"count" && argc == 3) {
        return count(argv[2]);
    }
    if (command == L"monitors" && argc == 2) {
        return monitors();
    }
    if (command == L"layout" && argc == 3) {
        return layout(argv[2]);
    }
    if (command == L"key" && argc == 5) {
        return key(argv[2], argv[3], argv[4]);
    }
    if (command == L"focus-id" && argc == 3) {
        return focus_id(argv[2]);
    }
    std::fputws(
        L"usage: kelvane_driver "
        L"focus|post|wait-window|wait-gone|menu|send|hscroll|rect|count|monitors|layout|key|focus-id ...\n",
        stderr);
    return exit_usage;
}
