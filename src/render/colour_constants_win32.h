// The shader's colour constants on the renderer's device: which conversion the warp and cursor passes
// apply, chosen from the output (SDR or HDR, the SDR white level) and the format of the image drawn.
#pragma once

#include <windows.h>
#include <d3d11.h>
#include <wrl/client.h>

#include "render/colour_space.h"

namespace kelvane {

class ColourConstants {
public:
    [[nodiscard]] bool create(ID3D11Device* device);
    void release() noexcept { buffer_.Reset(); }

    // The output the passes draw for; takes effect at the next bind.
    void set_output(const OutputColour& output) noexcept;
    [[nodiscard]] const OutputColour& output() const noexcept { return output_; }
    // The SDR white level of a linear source shown on an SDR output; takes effect at the next bind.
    void set_source_white(float nits) noexcept;

    // Uploads the constants for drawing `source` (when they changed) and binds them to the pixel shader.
    // Returns the modes bound, from which the passes pick their shader variants; plain modes when
    // nothing could be bound.
    ColourCB bind(ID3D11DeviceContext* context, ID3D11ShaderResourceView* source) noexcept;

private:
    Microsoft::WRL::ComPtr<ID3D11Buffer> buffer_;
    OutputColour output_;
    float source_white_nits_ = scrgb_unit_nits;
    ColourCB modes_{};
    bool uploaded_ = false;
    bool uploaded_linear_ = false;
};

// True for the image formats that hold linear light (the FP16 desktop of an HDR output).
[[nodiscard]] bool is_linear_format(DXGI_FORMAT format) noexcept;

}  // namespace kelvane
