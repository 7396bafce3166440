// GpuDevice: device creation on the feature levels the shaders need, with a second attempt for
// runtimes that do not know feature level 11_1.
#include "render/gpu_device_win32.h"

#include <iterator>

#include "platform/log.h"

namespace kelvane {

bool GpuDevice::create(IDXGIAdapter1* adapter) {
    release();
    // The shaders are shader model 4: every level from 10_0 up runs them, and none below does.
    const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1,
                                        D3D_FEATURE_LEVEL_10_0};
    HRESULT hr =
        D3D11CreateDevice(adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, levels,
                          static_cast<UINT>(std::size(levels)), D3D11_SDK_VERSION, &device_, nullptr, &context_);
    if (hr == E_INVALIDARG) {
        // Runtimes that predate 11_1 refuse the whole list for naming it.
        release();
        hr = D3D11CreateDevice(adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, levels + 1,
                               static_cast<UINT>(std::size(levels) - 1), D3D11_SDK_VERSION, &device_, nullptr,
                               &context_);
    }
    if (hr == DXGI_ERROR_UNSUPPORTED) {
        log_message("renderer: the GPU offers none of the Direct3D feature levels 11_1, 11_0, 10_1, 10_0");
    }
    if (FAILED(hr)) {
        log_failed_call("D3D11CreateDevice", hr);
        return false;
    }
    return true;
}

void GpuDevice::release() noexcept {
    context_.Reset();
    device_.Reset();
}

}  // namespace kelvane
