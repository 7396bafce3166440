// The Direct3D 11 device and its immediate context on the mirrored monitor's adapter. Everything else
// the renderer makes lives on this device, so it is released last.
#pragma once

#include <windows.h>
#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

namespace kelvane {

class GpuDevice {
public:
    GpuDevice() = default;
    ~GpuDevice() { release(); }
    GpuDevice(const GpuDevice&) = delete;
    GpuDevice& operator=(const GpuDevice&) = delete;

    // Creates the device on `adapter`; logs and returns false when the runtime refuses.
    [[nodiscard]] bool create(IDXGIAdapter1* adapter);

    // Releases the context, then the device.
    void release() noexcept;

    [[nodiscard]] ID3D11Device* device() const noexcept { return device_.Get(); }
    [[nodiscard]] ID3D11DeviceContext* context() const noexcept { return context_.Get(); }

private:
    Microsoft::WRL::ComPtr<ID3D11Device> device_;
    Microsoft::WRL::ComPtr<ID3D11DeviceContext> context_;
};

}  // namespace kelvane
