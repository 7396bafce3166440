// Calibration pattern upload.
#include "render/pattern_texture_win32.h"

#include <cstdint>
#include <vector>

#include "app/log.h"
#include "render/calibration_pattern.h"

namespace kelvane {

using Microsoft::WRL::ComPtr;

ComPtr<ID3D11ShaderResourceView> make_pattern(ID3D11Device* device, int width, int height) {
    // A size with no pixels, or one past what a texture can hold, paints nothing and is refused below.
    constexpr int largest_side = D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION;
    std::vector<std::uint32_t> image;
    if (width > 0 && height > 0 && width <= largest_side && height <= largest_side) {
        image.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        paint_pattern(image.data(), image.size(), width, height);
    }

    ComPtr<ID3D11Texture2D> texture;
    ComPtr<ID3D11ShaderResourceView> view;
    HRESULT hr = E_INVALIDARG;
    if (device != nullptr) {
        D3D11_TEXTURE2D_DESC desc{};
        desc.Width = static_cast<UINT>(width > 0 ? width : 0);
        desc.Height = static_cast<UINT>(height > 0 ? height : 0);
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.SampleDesc.Quality = 0;
        desc.Usage = D3D11_USAGE_IMMUTABLE;
        desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
        D3D11_SUBRESOURCE_DATA data{};
        data.pSysMem = image.data();
        data.SysMemPitch = desc.Width * 4u;
        hr = image.empty() ? E_INVALIDARG : device->CreateTexture2D(&desc, &data, &texture);
        if (SUCCEEDED(hr)) {
            hr = device->CreateShaderResourceView(texture.Get(), nullptr, &view);
        }
    }
    if (FAILED(hr)) {
        log_message("pattern: texture creation failed");
        return nullptr;
    }
    return view;
}

}  // namespace kelvane
