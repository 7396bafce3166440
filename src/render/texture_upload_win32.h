// Immutable B8G8R8A8 images on the GPU: the calibration pattern and the cursor sprite.
#pragma once

#include <windows.h>
#include <d3d11.h>
#include <wrl/client.h>

#include <cstdint>

namespace kelvane {

// Creates an immutable `width` x `height` texture holding `pixels` (rows back to back) and a view of
// the whole texture. Returns the result of the first step that failed, or S_OK; on failure both
// references are left empty.
HRESULT create_immutable_image(ID3D11Device* device, int width, int height, const std::uint32_t* pixels,
                               Microsoft::WRL::ComPtr<ID3D11Texture2D>& texture,
                               Microsoft::WRL::ComPtr<ID3D11ShaderResourceView>& view);

}  // namespace kelvane
