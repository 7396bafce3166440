// Saves two different settings records in turn to the file named on the command line, forever:
// the victim of the crash-safety test, which kills it at random moments.
#include <windows.h>

#include "settings/settings.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        return 2;
    }
    kelvane::Settings first;
    first.monitor = L"\\\\.\\DISPLAY1";
    first.warp.keystone_tb = 0.25f;
    kelvane::Settings second;
    second.monitor = L"\\\\.\\DISPLAY2 with a longer name, so that the two texts differ in length";
    second.active = false;
    second.warp.mirror_v = true;
    second.warp.rotation = -12.5f;
    // Tell the test that saving has begun.
    const HANDLE started = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"Kelvane2SaveLoopStarted");
    for (unsigned long turn = 0;; ++turn) {
        kelvane::save_settings_to(argv[1], (turn % 2) == 0 ? first : second);
        if (turn == 0 && started != nullptr) {
            SetEvent(started);
        }
    }
}
