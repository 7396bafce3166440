// The layered window's bitmap and its hand-over to the window.
#include "ui/layered_surface_win32.h"

#include "platform/log.h"

namespace kelvane {

bool LayeredSurface::create(int width, int height) noexcept {
    reset();
    dc_ = CreateCompatibleDC(nullptr);
    if (dc_ == nullptr) {
        log_failed_call("region: CreateCompatibleDC", HRESULT_FROM_WIN32(GetLastError()));
        return false;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap_ == nullptr || bits == nullptr) {
        log_failed_call("region: CreateDIBSection", HRESULT_FROM_WIN32(GetLastError()));
        reset();
        return false;
    }
    replaced_ = SelectObject(dc_, bitmap_);
    pixels_ = static_cast<std::uint32_t*>(bits);
    size_ = SIZE{width, height};
    return true;
}

void LayeredSurface::reset() noexcept {
    if (dc_ != nullptr && replaced_ != nullptr) {
        SelectObject(dc_, replaced_);
    }
    if (bitmap_ != nullptr) {
        DeleteObject(bitmap_);
    }
    if (dc_ != nullptr) {
        DeleteDC(dc_);
    }
    dc_ = nullptr;
    bitmap_ = nullptr;
    replaced_ = nullptr;
    pixels_ = nullptr;
    size_ = SIZE{};
}

bool LayeredSurface::present(HWND window, POINT corner) const noexcept {
    if (dc_ == nullptr) {
        return false;
    }
    POINT source{0, 0};
    SIZE size = size_;
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    if (UpdateLayeredWindow(window, nullptr, &corner, &size, dc_, &source, 0, &blend, ULW_ALPHA) == FALSE) {
        log_failed_call("region: UpdateLayeredWindow", HRESULT_FROM_WIN32(GetLastError()));
        return false;
    }
    return true;
}

}  // namespace kelvane
