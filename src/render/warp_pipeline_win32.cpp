// WarpPipeline: shader compilation per colour mode and footprint grid, the input layouts and the fixed
// states.
#include "render/warp_pipeline_win32.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "platform/log.h"
#include "render/shader_cache_win32.h"
#include "render/warp_geometry.h"

namespace kelvane {
namespace {

using Microsoft::WRL::ComPtr;

constexpr const char* pixel_profile = "ps_4_0";
constexpr const char* vertex_profile = "vs_4_0";
// The define that compiles each colour variant, in ColourVariant's order (plain needs none).
constexpr const char* variant_defines[colour_variant_count] = {nullptr, "COLOUR_DECODE", "COLOUR_ENCODE"};
constexpr ShaderDefine xor_scaled{"XOR_SCALED", "1"};
constexpr const char* taps_define = "FOOTPRINT_TAPS";
constexpr const char* grid_sizes[footprint_sample_cap] = {"1", "2", "3", "4"};

std::vector<ShaderDefine> variant_defines_for(std::size_t variant, std::size_t samples_index) {
    std::vector<ShaderDefine> defines;
    if (variant_defines[variant] != nullptr) {
        defines.push_back({variant_defines[variant], "1"});
    }
    if (samples_index > 0) {
        defines.push_back({taps_define, grid_sizes[samples_index]});
    }
    return defines;
}

// Straight-alpha "over": colour = source * source alpha + destination * (1 - source alpha).
D3D11_BLEND_DESC cursor_blend_description() {
    D3D11_BLEND_DESC desc{};
    desc.AlphaToCoverageEnable = FALSE;
    desc.IndependentBlendEnable = FALSE;
    D3D11_RENDER_TARGET_BLEND_DESC& target = desc.RenderTarget[0];
    target.BlendEnable = TRUE;
    target.SrcBlend = D3D11_BLEND_SRC_ALPHA;
    target.DestBlend = D3D11_BLEND_INV_SRC_ALPHA;
    target.BlendOp = D3D11_BLEND_OP_ADD;
    target.SrcBlendAlpha = D3D11_BLEND_ONE;
    target.DestBlendAlpha = D3D11_BLEND_INV_SRC_ALPHA;
    target.BlendOpAlpha = D3D11_BLEND_OP_ADD;
    target.RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_ALL;
    return desc;
}

// "XOR" with x: x * (1 - frame) + frame * (1 - x); white inverts the frame, black keeps it, alpha stays.
D3D11_BLEND_DESC cursor_xor_blend_description() {
    D3D11_BLEND_DESC desc = cursor_blend_description();
    D3D11_RENDER_TARGET_BLEND_DESC& target = desc.RenderTarget[0];
    target.SrcBlend = D3D11_BLEND_INV_DEST_COLOR;
    target.DestBlend = D3D11_BLEND_INV_SRC_COLOR;
    target.SrcBlendAlpha = D3D11_BLEND_ZERO;
    target.DestBlendAlpha = D3D11_BLEND_ONE;
    return desc;
}

// The same relative to SDR white W on a linear target: the shader writes 2x, the blend factor is W / 2,
// so colour = W x + frame (1 - 2x). A float target keeps the negative factor unclamped.
D3D11_BLEND_DESC cursor_xor_scaled_blend_description() {
    D3D11_BLEND_DESC desc = cursor_xor_blend_description();
    desc.RenderTarget[0].SrcBlend = D3D11_BLEND_BLEND_FACTOR;
    return desc;
}

// max(source, destination) on every channel: with a source of 0, nothing stays below black.
D3D11_BLEND_DESC cursor_floor_blend_description() {
    D3D11_BLEND_DESC desc = cursor_blend_description();
    D3D11_RENDER_TARGET_BLEND_DESC& target = desc.RenderTarget[0];
    target.SrcBlend = D3D11_BLEND_ONE;
    target.DestBlend = D3D11_BLEND_ONE;
    target.BlendOp = D3D11_BLEND_OP_MAX;
    target.SrcBlendAlpha = D3D11_BLEND_ONE;
    target.DestBlendAlpha = D3D11_BLEND_ONE;
    target.BlendOpAlpha = D3D11_BLEND_OP_MAX;
    return desc;
}

// Everything not set is zero: no culling of either winding, no multisampling. The scissor keeps a
// partial redraw to the boxes that changed.
D3D11_RASTERIZER_DESC rasterizer_description() {
    D3D11_RASTERIZER_DESC desc{};
    desc.FillMode = D3D11_FILL_SOLID;
    desc.CullMode = D3D11_CULL_NONE;
    desc.DepthClipEnable = FALSE;
    desc.ScissorEnable = TRUE;
    return desc;
}

D3D11_SAMPLER_DESC sampler_description() {
    D3D11_SAMPLER_DESC desc{};
    desc.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
    desc.AddressU = D3D11_TEXTURE_ADDRESS_CLAMP;
    desc.AddressV = D3D11_TEXTURE_ADDRESS_CLAMP;
    desc.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
    desc.MinLOD = 0.0f;
    desc.MaxLOD = D3D11_FLOAT32_MAX;
    return desc;
}

bool make_pixel_shader(ID3D11Device* device, std::string_view source, const char* entry,
                       const std::vector<ShaderDefine>& defines, ComPtr<ID3D11PixelShader>& shader) {
    const std::vector<std::uint8_t> code = compiled_shader(source, entry, pixel_profile, defines);
    if (code.empty()) {
        return false;
    }
    const HRESULT hr = device->CreatePixelShader(code.data(), code.size(), nullptr, &shader);
    if (FAILED(hr)) {
        log_failed_call("create pixel shader", hr);
        return false;
    }
    return true;
}

bool make_blend_state(ID3D11Device* device, const D3D11_BLEND_DESC& desc, ComPtr<ID3D11BlendState>& state) {
    const HRESULT hr = device->CreateBlendState(&desc, &state);
    if (FAILED(hr)) {
        log_failed_call("create blend state", hr);
        return false;
    }
    return true;
}

}  // namespace

bool WarpPipeline::create(ID3D11Device* device, std::string_view shader_source) {
    release();
    return create_warp_shaders(device, shader_source) && create_cursor_shaders(device, shader_source) &&
           create_states(device);
}

bool WarpPipeline::create_warp_shaders(ID3D11Device* device, std::string_view shader_source) {
    const std::vector<std::uint8_t> vs_code = compiled_shader(shader_source, "VSMain", vertex_profile);
    if (vs_code.empty()) {
        return false;
    }
    for (std::size_t samples = 0; samples < warp_ps.size(); ++samples) {
        for (std::size_t variant = 0; variant < warp_ps[samples].size(); ++variant) {
            if (!make_pixel_shader(device, shader_source, "PSMain", variant_defines_for(variant, samples),
                                   warp_ps[samples][variant])) {
                return false;
            }
        }
    }
    const std::vector<std::uint8_t> tile_code = compiled_shader(shader_source, "VSTiles", vertex_profile);
    if (tile_code.empty()) {
        return false;
    }
    HRESULT hr = device->CreateVertexShader(vs_code.data(), vs_code.size(), nullptr, &warp_vs);
    if (SUCCEEDED(hr)) {
        hr = device->CreateVertexShader(tile_code.data(), tile_code.size(), nullptr, &tile_vs);
    }
    if (FAILED(hr)) {
        log_failed_call("create shaders", hr);
        return false;
    }
    const D3D11_INPUT_ELEMENT_DESC layout[] = {
        {"POSITION", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
    };
    hr = device->CreateInputLayout(layout, 1, tile_code.data(), tile_code.size(), &tile_layout);
    if (FAILED(hr)) {
        log_failed_call("create tile input layout", hr);
        return false;
    }
    return true;
}

bool WarpPipeline::create_cursor_shaders(ID3D11Device* device, std::string_view shader_source) {
    const std::vector<std::uint8_t> vs_code = compiled_shader(shader_source, "VSCursor", vertex_profile);
    if (vs_code.empty()) {
        return false;
    }
    const std::vector<ShaderDefine> decode = variant_defines_for(static_cast<std::size_t>(ColourVariant::decode), 0);
    if (!make_pixel_shader(device, shader_source, "PSCursor", {}, cursor_ps) ||
        !make_pixel_shader(device, shader_source, "PSCursor", decode, cursor_decode_ps) ||
        !make_pixel_shader(device, shader_source, "PSCursorXor", {}, cursor_xor_ps) ||
        !make_pixel_shader(device, shader_source, "PSCursorXor", {xor_scaled}, cursor_xor_scaled_ps) ||
        !make_pixel_shader(device, shader_source, "PSCursorFloor", {}, cursor_floor_ps)) {
        return false;
    }
    HRESULT hr = device->CreateVertexShader(vs_code.data(), vs_code.size(), nullptr, &cursor_vs);
    if (FAILED(hr)) {
        log_failed_call("create cursor shaders", hr);
        return false;
    }
    const D3D11_INPUT_ELEMENT_DESC layout[] = {
        {"POSITION", 0, DXGI_FORMAT_R32G32_FLOAT, 0, offsetof(CursorVertex, x), D3D11_INPUT_PER_VERTEX_DATA, 0},
        {"TEXCOORD", 0, DXGI_FORMAT_R32G32_FLOAT, 0, offsetof(CursorVertex, u), D3D11_INPUT_PER_VERTEX_DATA, 0},
    };
    hr = device->CreateInputLayout(layout, static_cast<UINT>(std::size(layout)), vs_code.data(), vs_code.size(),
                                   &cursor_layout);
    if (FAILED(hr)) {
        log_failed_call("create cursor input layout", hr);
        return false;
    }
    return make_blend_state(device, cursor_blend_description(), cursor_blend) &&
           make_blend_state(device, cursor_xor_blend_description(), cursor_xor_blend) &&
           make_blend_state(device, cursor_xor_scaled_blend_description(), cursor_xor_scaled_blend) &&
           make_blend_state(device, cursor_floor_blend_description(), cursor_floor_blend);
}

bool WarpPipeline::create_states(ID3D11Device* device) {
    const D3D11_RASTERIZER_DESC raster_desc = rasterizer_description();
    HRESULT hr = device->CreateRasterizerState(&raster_desc, &rasterizer);
    if (FAILED(hr)) {
        log_failed_call("create rasterizer state", hr);
        return false;
    }
    const D3D11_SAMPLER_DESC sampler_desc = sampler_description();
    hr = device->CreateSamplerState(&sampler_desc, &sampler);
    if (FAILED(hr)) {
        log_failed_call("create sampler", hr);
        return false;
    }
    return true;
}

void WarpPipeline::release() noexcept {
    rasterizer.Reset();
    sampler.Reset();
    cursor_floor_blend.Reset();
    cursor_xor_scaled_blend.Reset();
    cursor_xor_blend.Reset();
    cursor_blend.Reset();
    cursor_floor_ps.Reset();
    cursor_xor_scaled_ps.Reset();
    cursor_xor_ps.Reset();
    cursor_decode_ps.Reset();
    cursor_ps.Reset();
    cursor_layout.Reset();
    cursor_vs.Reset();
    tile_layout.Reset();
    tile_vs.Reset();
    for (auto& grid : warp_ps) {
        for (auto& shader : grid) {
            shader.Reset();
        }
    }
    warp_vs.Reset();
}

ID3D11PixelShader* WarpPipeline::warp_shader(ColourVariant variant, int samples) const noexcept {
    if (samples < 1 || samples > footprint_sample_cap) {
        return nullptr;
    }
    return warp_ps[static_cast<std::size_t>(samples - 1)][static_cast<std::size_t>(variant)].Get();
}

ID3D11PixelShader* WarpPipeline::cursor_shader(ColourVariant variant) const noexcept {
    return variant == ColourVariant::decode ? cursor_decode_ps.Get() : cursor_ps.Get();
}

ID3D11PixelShader* WarpPipeline::cursor_xor_shader(ColourVariant variant) const noexcept {
    return variant == ColourVariant::decode ? cursor_xor_scaled_ps.Get() : cursor_xor_ps.Get();
}

}  // namespace kelvane
