// The two Magnification API calls that hide and show the system cursor, taken from Magnification.dll
// at run time: the library is not present on every system (Wine has none), and mingw ships no import
// library for it.
#pragma once

#include <windows.h>

namespace kelvane {

// The library, once loaded, stays loaded to the end of the process: the API is never uninitialised.
class MagnificationApi {
public:
    MagnificationApi() = default;
    MagnificationApi(const MagnificationApi&) = delete;
    MagnificationApi& operator=(const MagnificationApi&) = delete;

    // MagInitialize, once it has succeeded never again; false when the library or the call is
    // missing, or the call fails (a later call tries again).
    [[nodiscard]] bool initialize() noexcept;
    // MagShowSystemCursor; false when it is not available.
    bool show_system_cursor(bool show) noexcept;

private:
    using InitializeFunction = BOOL(WINAPI*)();
    using ShowCursorFunction = BOOL(WINAPI*)(BOOL);

    // Loads the library once; later calls reuse what the first one found.
    void load() noexcept;

    bool load_attempted_ = false;
    bool initialized_ = false;
    HMODULE library_ = nullptr;
    InitializeFunction initialize_ = nullptr;
    ShowCursorFunction show_system_cursor_ = nullptr;
};

}  // namespace kelvane
