// The pixels of a per-pixel-alpha layered window: a top-down 32-bit premultiplied BGRA bitmap in a
// memory device context, handed to the window with UpdateLayeredWindow.
#pragma once

#include <windows.h>

#include <cstdint>

namespace kelvane {

class LayeredSurface {
public:
    LayeredSurface() noexcept = default;
    ~LayeredSurface() { reset(); }
    LayeredSurface(const LayeredSurface&) = delete;
    LayeredSurface& operator=(const LayeredSurface&) = delete;

    // A surface of `width` x `height` pixels; false (logged) when the bitmap cannot be made.
    [[nodiscard]] bool create(int width, int height) noexcept;
    void reset() noexcept;

    // The pixels, row by row from the top; null before create.
    [[nodiscard]] std::uint32_t* pixels() const noexcept { return pixels_; }
    // Shows the pixels as `window`'s content with its top-left corner at `corner` (desktop pixels).
    [[nodiscard]] bool present(HWND window, POINT corner) const noexcept;

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ replaced_ = nullptr;  // the DC's own bitmap, selected back before the DC goes
    std::uint32_t* pixels_ = nullptr;
    SIZE size_{};
};

}  // namespace kelvane
