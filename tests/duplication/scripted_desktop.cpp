// Gives a running Kelvane2.exe a live desktop to mirror where the system has no Desktop Duplication:
// waits for its overlay, serves a painted desktop of the overlay's size with an arrow pointer through
// the scripted duplication, points the mouse at it, and waits until the screen shows that desktop
// under the default warp. Prints a one-line verdict; exit code 0 when the mirror showed it.
//
//   scripted_desktop <folder>     the folder named by KELVANE_SCRIPTED_DUPLICATION in Kelvane2's environment
#include <windows.h>

#include <cstdio>

#include "duplication/script_files_win32.h"

namespace {

constexpr DWORD wait_ms = 30000;
constexpr int tolerance = 8;
constexpr double required_share = 0.99;

HWND wait_for_window(const wchar_t* class_name) {
    const ULONGLONG deadline = GetTickCount64() + wait_ms;
    HWND window = nullptr;
    while ((window = FindWindowW(class_name, nullptr)) == nullptr && GetTickCount64() < deadline) {
        Sleep(100);
    }
    return window;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace kelvane::test;  // NOLINT(google-build-using-namespace)
    if (argc != 2) {
        std::fputs("usage: scripted_desktop <folder>\n", stderr);
        return 2;
    }
    const HWND control = wait_for_window(L"Kelvane2Msg");
    const HWND overlay = wait_for_window(L"Kelvane2Overlay");
    RECT area{};
    if (control == nullptr || overlay == nullptr || GetWindowRect(overlay, &area) == 0) {
        std::puts("live mirror of a scripted desktop on screen: no (Kelvane2's windows did not appear)");
        return 1;
    }
    Image desktop(area.right - area.left, area.bottom - area.top);
    desktop.pixels = paint_test_desktop(desktop.width, desktop.height);
    const ScriptedShape arrow = test_arrow_shape();
    const POINT pointer{desktop.width / 3, desktop.height / 3};
    ScriptWriter writer(argv[1]);
    writer.set_desktop(desktop);
    writer.set_shape(arrow);
    SetCursorPos(area.left + pointer.x, area.top + pointer.y);
    if (!install_duplication_hook(control, writer, wait_ms)) {
        std::puts("live mirror of a scripted desktop on screen: no (the scripted duplication did not start)");
        return 1;
    }
    const Image cursor = colour_shape_image(arrow);
    const Image expected = mirror_reference(desktop, kelvane::WarpParams{}, &cursor, arrow.hotspot, pointer);
    const double share = wait_for_screen(area, expected, tolerance, required_share, wait_ms);
    const bool shown = share >= required_share;
    std::printf(
        "live mirror of a scripted desktop on screen: %s (%.2f %% of %ldx%ld pixels within +-%d of the "
        "reference, default warp, cursor at (%ld,%ld))\n",
        shown ? "yes" : "no", share * 100.0, static_cast<long>(desktop.width), static_cast<long>(desktop.height),
        tolerance, static_cast<long>(area.left + pointer.x), static_cast<long>(area.top + pointer.y));
    return shown ? 0 : 1;
}
