// Owning wrappers for Win32 handles: one template, a closer per handle kind. Each closes its handle
// once, when reset or destroyed, and hands it over with release().
#pragma once

#include <windows.h>

namespace kelvane {

template <typename Handle, typename Closer>
class UniqueWin32 {
public:
    UniqueWin32() noexcept = default;
    explicit UniqueWin32(Handle handle) noexcept : handle_(handle) {}
    ~UniqueWin32() { reset(); }
    UniqueWin32(const UniqueWin32&) = delete;
    UniqueWin32& operator=(const UniqueWin32&) = delete;
    UniqueWin32(UniqueWin32&& other) noexcept : handle_(other.release()) {}
    UniqueWin32& operator=(UniqueWin32&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    [[nodiscard]] Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return Closer::valid(handle_); }

    // Gives up ownership, e.g. once a menu has become a submenu of another.
    [[nodiscard]] Handle release() noexcept {
        const Handle handle = handle_;
        handle_ = Handle{};
        return handle;
    }
    void reset(Handle handle = Handle{}) noexcept {
        if (Closer::valid(handle_)) {
            Closer::close(handle_);
        }
        handle_ = handle;
    }

private:
    Handle handle_{};
};

struct KernelHandleCloser {
    static bool valid(HANDLE handle) noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) noexcept { CloseHandle(handle); }
};

// Destroying a menu destroys the submenus attached to it.
struct MenuCloser {
    static bool valid(HMENU menu) noexcept { return menu != nullptr; }
    static void close(HMENU menu) noexcept { DestroyMenu(menu); }
};

struct WinEventHookCloser {
    static bool valid(HWINEVENTHOOK hook) noexcept { return hook != nullptr; }
    static void close(HWINEVENTHOOK hook) noexcept { UnhookWinEvent(hook); }
};

// Only the thread that created a window may destroy it: own windows on that thread.
struct WindowCloser {
    static bool valid(HWND window) noexcept { return window != nullptr; }
    static void close(HWND window) noexcept { DestroyWindow(window); }
};

using UniqueHandle = UniqueWin32<HANDLE, KernelHandleCloser>;
using UniqueMenu = UniqueWin32<HMENU, MenuCloser>;
using UniqueWinEventHook = UniqueWin32<HWINEVENTHOOK, WinEventHookCloser>;
using UniqueWindow = UniqueWin32<HWND, WindowCloser>;

}  // namespace kelvane
