// GpuDevice: device creation, with a second attempt for runtimes that do not know feature level 11_1.
#include "render/gpu_device_win32.h"

#include <iterator>

#include "platform/log.h"

namespace kelvane {

bool GpuDevice::create(IDXGIAdapter1* adapter) {
    release();
    const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};
    HRESULT hr =
        D3D11CreateDevice(adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, levels,
                          static_cast<UINT>(std::size(levels)), D3D11_SDK_VERSION, &device_, nullptr, &context_);
    if (FAILED(hr)) {
        // Runtimes that predate 11_1 refuse the whole list; their own default list still gives 11_0.
        release();
        hr = D3D11CreateDevice(adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, nullptr, 0,
                               D3D11_SDK_VERSION, &device_, nullptr, &context_);
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
