// The fixed objects of the warp and cursor passes on one device: the shader program compiled from its
// text (each pixel shader once per colour mode, the warp's once more per footprint grid), the input
// layouts, and the rasterizer, sampler and blend states. Made together, released together, never
// changed while drawing.
#pragma once

#include <windows.h>
#include <d3d11.h>
#include <wrl/client.h>

#include <array>
#include <string_view>

#include "render/colour_space.h"
#include "render/footprint.h"

namespace kelvane {

struct WarpPipeline {
    WarpPipeline() = default;
    WarpPipeline(const WarpPipeline&) = delete;
    WarpPipeline& operator=(const WarpPipeline&) = delete;

    // Compiles every entry and variant of `shader_source` and makes the states on `device`. Stops at the
    // first failure, after logging it; what was made so far is kept until release.
    [[nodiscard]] bool create(ID3D11Device* device, std::string_view shader_source);
    void release() noexcept;

    // The warp pass's pixel shader for `variant` with `samples` x `samples` footprint samples (1: the
    // single bilinear sample); the cursor's for a plain or a decoding mode (the sprite is never
    // linear). An XOR pass on a linear target inverts relative to SDR white.
    [[nodiscard]] ID3D11PixelShader* warp_shader(ColourVariant variant, int samples) const noexcept;
    [[nodiscard]] ID3D11PixelShader* cursor_shader(ColourVariant variant) const noexcept;
    [[nodiscard]] ID3D11PixelShader* cursor_xor_shader(ColourVariant variant) const noexcept;

    Microsoft::WRL::ComPtr<ID3D11VertexShader> warp_vs;
    // By samples per axis (1 to footprint_sample_cap), then colour variant.
    std::array<std::array<Microsoft::WRL::ComPtr<ID3D11PixelShader>, colour_variant_count>, footprint_sample_cap>
        warp_ps;
    Microsoft::WRL::ComPtr<ID3D11VertexShader> tile_vs;
    Microsoft::WRL::ComPtr<ID3D11InputLayout> tile_layout;
    Microsoft::WRL::ComPtr<ID3D11VertexShader> cursor_vs;
    Microsoft::WRL::ComPtr<ID3D11InputLayout> cursor_layout;
    Microsoft::WRL::ComPtr<ID3D11PixelShader> cursor_ps;
    Microsoft::WRL::ComPtr<ID3D11PixelShader> cursor_decode_ps;
    Microsoft::WRL::ComPtr<ID3D11PixelShader> cursor_xor_ps;
    Microsoft::WRL::ComPtr<ID3D11PixelShader> cursor_xor_scaled_ps;
    Microsoft::WRL::ComPtr<ID3D11PixelShader> cursor_floor_ps;
    Microsoft::WRL::ComPtr<ID3D11BlendState> cursor_blend;
    Microsoft::WRL::ComPtr<ID3D11BlendState> cursor_xor_blend;
    // On a linear target: the XOR with the blend factor at half the SDR white, then a MAX with 0.
    Microsoft::WRL::ComPtr<ID3D11BlendState> cursor_xor_scaled_blend;
    Microsoft::WRL::ComPtr<ID3D11BlendState> cursor_floor_blend;
    Microsoft::WRL::ComPtr<ID3D11SamplerState> sampler;
    Microsoft::WRL::ComPtr<ID3D11RasterizerState> rasterizer;

private:
    [[nodiscard]] bool create_warp_shaders(ID3D11Device* device, std::string_view shader_source);
    [[nodiscard]] bool create_cursor_shaders(ID3D11Device* device, std::string_view shader_source);
    [[nodiscard]] bool create_states(ID3D11Device* device);
};

}  // namespace kelvane
