// The scripted output that hands out the script's duplications, and the painted test desktop.
#include <cstring>

#include "duplication/scripted_state_win32.h"

namespace kelvane::test {

namespace {

class ScriptedOutput final : public DxgiObject<IDXGIOutput6> {
public:
    ScriptedOutput(HMONITOR monitor, DuplicationScript& script) : monitor_(monitor), script_(script) {}

    HRESULT STDMETHODCALLTYPE GetDesc(DXGI_OUTPUT_DESC* desc) override {
        if (desc == nullptr) {
            return E_INVALIDARG;
        }
        MONITORINFOEXW info{};
        info.cbSize = sizeof info;
        if (GetMonitorInfoW(monitor_, &info) == 0) {
            return DXGI_ERROR_NOT_FOUND;
        }
        *desc = DXGI_OUTPUT_DESC{};
        std::memcpy(desc->DeviceName, info.szDevice, sizeof desc->DeviceName);
        desc->DesktopCoordinates = info.rcMonitor;
        desc->AttachedToDesktop = TRUE;
        desc->Rotation = script_.rotation();
        desc->Monitor = monitor_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDisplayModeList(DXGI_FORMAT, UINT, UINT*, DXGI_MODE_DESC*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindClosestMatchingMode(const DXGI_MODE_DESC*, DXGI_MODE_DESC*, IUnknown*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE WaitForVBlank() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TakeOwnership(IUnknown*, BOOL) override { return E_NOTIMPL; }
    void STDMETHODCALLTYPE ReleaseOwnership() override {}
    HRESULT STDMETHODCALLTYPE GetGammaControlCapabilities(DXGI_GAMMA_CONTROL_CAPABILITIES*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetGammaControl(const DXGI_GAMMA_CONTROL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetGammaControl(DXGI_GAMMA_CONTROL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDisplaySurface(IDXGISurface*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDisplaySurfaceData(IDXGISurface*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFrameStatistics(DXGI_FRAME_STATISTICS*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDisplayModeList1(DXGI_FORMAT, UINT, UINT*, DXGI_MODE_DESC1*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindClosestMatchingMode1(const DXGI_MODE_DESC1*, DXGI_MODE_DESC1*, IUnknown*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDisplaySurfaceData1(IDXGIResource*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DuplicateOutput(IUnknown* device, IDXGIOutputDuplication** duplication) override {
        return script_.duplicate_output(device, duplication);
    }
    BOOL STDMETHODCALLTYPE SupportsOverlays() override { return FALSE; }
    HRESULT STDMETHODCALLTYPE CheckOverlaySupport(DXGI_FORMAT, IUnknown*, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckOverlayColorSpaceSupport(DXGI_FORMAT, DXGI_COLOR_SPACE_TYPE, IUnknown*,
                                                            UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DuplicateOutput1(IUnknown* device, UINT flags, UINT format_count,
                                               const DXGI_FORMAT* formats,
                                               IDXGIOutputDuplication** duplication) override {
        return script_.duplicate_output1(device, flags, format_count, formats, duplication);
    }
    HRESULT STDMETHODCALLTYPE GetDesc1(DXGI_OUTPUT_DESC1* desc) override {
        DXGI_OUTPUT_DESC plain{};
        if (desc == nullptr) {
            return E_INVALIDARG;
        }
        const HRESULT hr = GetDesc(&plain);
        if (FAILED(hr)) {
            return hr;
        }
        *desc = DXGI_OUTPUT_DESC1{};
        std::memcpy(desc->DeviceName, plain.DeviceName, sizeof desc->DeviceName);
        desc->DesktopCoordinates = plain.DesktopCoordinates;
        desc->AttachedToDesktop = plain.AttachedToDesktop;
        desc->Rotation = plain.Rotation;
        desc->Monitor = plain.Monitor;
        const bool hdr = script_.hdr();
        desc->BitsPerColor = hdr ? 10 : 8;
        desc->ColorSpace = hdr ? DXGI_COLOR_SPACE_RGB_FULL_G2084_NONE_P2020 : DXGI_COLOR_SPACE_RGB_FULL_G22_NONE_P709;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CheckHardwareCompositionSupport(UINT*) override { return E_NOTIMPL; }

private:
    [[nodiscard]] bool accepts(REFIID riid) const noexcept override {
        return riid == __uuidof(IDXGIOutput) || riid == __uuidof(IDXGIOutput1) || riid == __uuidof(IDXGIOutput2) ||
               riid == __uuidof(IDXGIOutput3) || riid == __uuidof(IDXGIOutput4) || riid == __uuidof(IDXGIOutput5) ||
               riid == __uuidof(IDXGIOutput6);
    }

    HMONITOR monitor_;
    DuplicationScript& script_;
};

}  // namespace

IDXGIOutput6* make_scripted_output(HMONITOR monitor, DuplicationScript& script) {
    return new ScriptedOutput(monitor, script);
}

std::vector<std::uint32_t> paint_test_desktop(int width, int height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    struct Block {
        int left, top, right, bottom;  // in 1/16ths of the size
        std::uint32_t colour;
    };
    static constexpr Block blocks[] = {
        {1, 1, 6, 5, 0xFFE8E8E8u},     // a light window at the top-left
        {1, 1, 6, 2, 0xFF2050A0u},     // its blue title bar
        {9, 3, 15, 9, 0xFF303030u},    // a dark window at the right
        {2, 11, 5, 15, 0xFFD04020u},   // an orange tile at the bottom-left
        {0, 15, 16, 16, 0xFF101820u},  // the task bar
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto r = static_cast<std::uint32_t>(40 + 180 * x / (width > 1 ? width - 1 : 1));
            const auto g = static_cast<std::uint32_t>(60 + 120 * y / (height > 1 ? height - 1 : 1));
            const auto b = static_cast<std::uint32_t>(200 - 150 * (x + y) / (width + height));
            std::uint32_t colour = 0xFF000000u | (r << 16) | (g << 8) | b;
            for (const Block& block : blocks) {
                if (x * 16 >= block.left * width && x * 16 < block.right * width && y * 16 >= block.top * height &&
                    y * 16 < block.bottom * height) {
                    colour = block.colour;
                }
            }
            // Grid lines every 64 pixels, two pixels wide: sharp edges for the sampling to follow.
            if (x % 64 < 2 || y % 64 < 2) {
                colour ^= 0x00404040u;
            }
            pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                colour;
        }
    }
    return pixels;
}

}  // namespace kelvane::test
