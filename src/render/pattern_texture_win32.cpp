// Calibration pattern upload.
#include "render/pattern_texture_win32.h"

#include <cstdint>
#include <vector>

#include "platform/log.h"
#include "render/calibration_pattern.h"
#include "render/texture_upload_win32.h"

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
    const HRESULT hr =
        image.empty() ? E_INVALIDARG : create_immutable_image(device, width, height, image.data(), texture, view);
    if (FAILED(hr)) {
        log_message("pattern: texture creation failed");
        return nullptr;
    }
    return view;
}

}  // namespace kelvane
