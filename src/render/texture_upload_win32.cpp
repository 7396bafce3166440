// Upload of immutable images.
#include "render/texture_upload_win32.h"

namespace kelvane {

HRESULT create_immutable_image(ID3D11Device* device, int width, int height, const std::uint32_t* pixels,
                               Microsoft::WRL::ComPtr<ID3D11Texture2D>& texture,
                               Microsoft::WRL::ComPtr<ID3D11ShaderResourceView>& view) {
    texture.Reset();
    view.Reset();
    if (device == nullptr || pixels == nullptr || width <= 0 || height <= 0) {
        return E_INVALIDARG;
    }
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = static_cast<UINT>(width);
    desc.Height = static_cast<UINT>(height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.SampleDesc.Quality = 0;
    desc.Usage = D3D11_USAGE_IMMUTABLE;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    D3D11_SUBRESOURCE_DATA data{};
    data.pSysMem = pixels;
    data.SysMemPitch = desc.Width * 4u;
    HRESULT hr = device->CreateTexture2D(&desc, &data, &texture);
    if (SUCCEEDED(hr)) {
        hr = device->CreateShaderResourceView(texture.Get(), nullptr, &view);
    }
    if (FAILED(hr)) {
        view.Reset();
        texture.Reset();
    }
    return hr;
}

}  // namespace kelvane
