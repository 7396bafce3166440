// The calibration pattern uploaded as an immutable texture on the renderer's device.
#pragma once

#include <d3d11.h>
#include <wrl/client.h>

namespace kelvane {

// Paints the pattern at `width` x `height` and returns a view of its texture, or null after logging.
[[nodiscard]] Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> make_pattern(ID3D11Device* device, int width,
                                                                            int height);

}  // namespace kelvane
