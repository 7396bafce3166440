// Run-time binding of the DPI functions of user32.
#include "platform/dpi_win32.h"

namespace kelvane::platform {
namespace {

constexpr UINT standard_dpi = USER_DEFAULT_SCREEN_DPI;

using SetProcessContextFunction = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
using DpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustForDpiFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using ParametersForDpiFunction = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);

// GetProcAddress hands out a generic function pointer; the real signature is known from the name.
template <typename Function>
Function user32_function(const char* name) noexcept {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                             : nullptr;
}

UINT system_dpi() noexcept {
    const HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? static_cast<UINT>(dpi) : standard_dpi;
}

}  // namespace

void set_per_monitor_dpi_awareness() noexcept {
    if (const auto set_context = user32_function<SetProcessContextFunction>("SetProcessDpiAwarenessContext")) {
        // Refused when the manifest has set it already, which is the same outcome.
        set_context(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    }
}

UINT window_dpi(HWND window) noexcept {
    static const auto dpi_for_window = user32_function<DpiForWindowFunction>("GetDpiForWindow");
    const UINT dpi = dpi_for_window != nullptr ? dpi_for_window(window) : 0;
    return dpi != 0 ? dpi : system_dpi();
}

RECT outer_rect_for_client(const RECT& client, DWORD style, DWORD ex_style, UINT dpi) noexcept {
    static const auto adjust_for_dpi = user32_function<AdjustForDpiFunction>("AdjustWindowRectExForDpi");
    RECT outer = client;
    if (adjust_for_dpi == nullptr || adjust_for_dpi(&outer, style, FALSE, ex_style, dpi) == FALSE) {
        outer = client;
        AdjustWindowRectEx(&outer, style, FALSE, ex_style);
    }
    return outer;
}

HFONT create_message_font(UINT dpi) noexcept {
    static const auto parameters_for_dpi = user32_function<ParametersForDpiFunction>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (parameters_for_dpi == nullptr ||
        parameters_for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi) == FALSE) {
        // The system DPI's metrics, scaled to the window's DPI.
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) == FALSE) {
            return nullptr;
        }
        metrics.lfMessageFont.lfHeight =
            MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(system_dpi()));
    }
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

}  // namespace kelvane::platform
