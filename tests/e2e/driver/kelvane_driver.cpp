// A small Windows program that the end-to-end scripts run under Wine beside Kelvane2.exe, to do what
// only a Windows process can: hold the keyboard focus so that X key events reach Wine, post messages
// to Kelvane2's windows, and wait for them to appear.
//
//   kelvane_driver focus <ms>                         a focused window for <ms> milliseconds
//   kelvane_driver post <class> <message> <wparam> <lparam>
//                                                     <message> is a number or "taskbar-created"
//   kelvane_driver wait-window <class> <ms>           exit 0 once a window of <class> exists
//   kelvane_driver wait-gone <class> <ms>             exit 0 once no window of <class> exists
// Exit codes: 0 done, 2 usage, 3 window not found / timed out.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr int exit_done = 0;
constexpr int exit_usage = 2;
constexpr int exit_not_found = 3;
constexpr DWORD poll_ms = 50;

unsigned long long number(const wchar_t* text) {
    return std::wcstoull(text, nullptr, 0);
}

int focus(DWORD duration_ms) {
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"focus" && argc == 3) {
        return focus(static_cast<DWORD>(number(argv[2])));
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
    std::fputws(L"usage: kelvane_driver focus|post|wait-window|wait-gone ...\n", stderr);
    return exit_usage;
}
