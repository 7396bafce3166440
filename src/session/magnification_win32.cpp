// Run-time binding of Magnification.dll.
#include "session/magnification_win32.h"

#include "platform/crash_handler_win32.h"

namespace kelvane {
namespace {

// GetProcAddress hands out a generic function pointer; the real signature is known from the name.
template <typename Function>
Function find_function(HMODULE library, const char* name) noexcept {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

void MagnificationApi::load() noexcept {
    if (load_attempted_) {
        return;
    }
    load_attempted_ = true;
    library_ = LoadLibraryExW(L"Magnification.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library_ == nullptr) {
        return;
    }
    initialize_ = find_function<InitializeFunction>(library_, "MagInitialize");
    show_system_cursor_ = find_function<ShowCursorFunction>(library_, "MagShowSystemCursor");
}

bool MagnificationApi::initialize() noexcept {
    if (!initialized_) {
        load();
        initialized_ = initialize_ != nullptr && show_system_cursor_ != nullptr && initialize_() != FALSE;
    }
    return initialized_;
}

bool MagnificationApi::show_system_cursor(bool show) noexcept {
    load();
    if (show_system_cursor_ == nullptr || show_system_cursor_(show ? TRUE : FALSE) == FALSE) {
        return false;
    }
    // A crash while the cursor is hidden shows it again: nothing else would.
    note_system_cursor_hidden(show ? nullptr : show_system_cursor_);
    return true;
}

}  // namespace kelvane
