// WarpPasses: shader compilation, pipeline objects, warp upload, cursor sprite and the two passes.
#include "render/warp_passes_win32.h"

#include <cstddef>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "platform/log.h"
#include "render/shader_cache_win32.h"
#include "render/texture_upload_win32.h"
#include "render/warp_hlsl.h"

namespace kelvane {
namespace {

using Microsoft::WRL::ComPtr;

constexpr UINT cursor_vertex_stride = sizeof(CursorVertex);
constexpr UINT cursor_vertex_count = 4;
constexpr UINT warp_vertex_count = 3;
constexpr float clear_colour[4] = {0.0f, 0.0f, 0.0f, 1.0f};

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

}  // namespace

std::string_view embedded_shader_source() noexcept {
    return {reinterpret_cast<const char*>(warp_hlsl), warp_hlsl_size};
}

bool WarpPasses::create(ID3D11Device* device, ID3D11DeviceContext* context, std::string_view shader_source, int width,
                        int height) {
    release();
    device_ = device;
    context_ = context;
    width_ = width;
    height_ = height;
    return create_warp_pass(shader_source) && create_cursor_pass(shader_source) && create_states() &&
           colour_.create(device_.Get());
}

bool WarpPasses::create_warp_pass(std::string_view shader_source) {
    const std::vector<std::uint8_t> vs_code = compiled_shader(shader_source, "VSMain", "vs_4_0");
    if (vs_code.empty()) {
        return false;
    }
    const std::vector<std::uint8_t> ps_code = compiled_shader(shader_source, "PSMain", "ps_4_0");
    if (ps_code.empty()) {
        return false;
    }
    HRESULT hr = device_->CreateVertexShader(vs_code.data(), vs_code.size(), nullptr, &warp_vs_);
    if (SUCCEEDED(hr)) {
        hr = device_->CreatePixelShader(ps_code.data(), ps_code.size(), nullptr, &warp_ps_);
    }
    if (FAILED(hr)) {
        log_failed_call("create shaders", hr);
        return false;
    }
    D3D11_BUFFER_DESC cb_desc{};
    cb_desc.ByteWidth = sizeof(WarpCB);
    cb_desc.Usage = D3D11_USAGE_DEFAULT;
    cb_desc.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
    hr = device_->CreateBuffer(&cb_desc, nullptr, &warp_cb_);
    if (FAILED(hr)) {
        log_failed_call("create cbuffer", hr);
        return false;
    }
    return true;
}

bool WarpPasses::create_cursor_pass(std::string_view shader_source) {
    const std::vector<std::uint8_t> vs_code = compiled_shader(shader_source, "VSCursor", "vs_4_0");
    if (vs_code.empty()) {
        return false;
    }
    const std::vector<std::uint8_t> ps_code = compiled_shader(shader_source, "PSCursor", "ps_4_0");
    const std::vector<std::uint8_t> xor_code = compiled_shader(shader_source, "PSCursorXor", "ps_4_0");
    if (ps_code.empty() || xor_code.empty()) {
        return false;
    }
    HRESULT hr = device_->CreateVertexShader(vs_code.data(), vs_code.size(), nullptr, &cursor_vs_);
    if (SUCCEEDED(hr)) {
        hr = device_->CreatePixelShader(ps_code.data(), ps_code.size(), nullptr, &cursor_ps_);
    }
    if (SUCCEEDED(hr)) {
        hr = device_->CreatePixelShader(xor_code.data(), xor_code.size(), nullptr, &cursor_xor_ps_);
    }
    if (FAILED(hr)) {
        log_failed_call("create cursor shaders", hr);
        return false;
    }
    const D3D11_INPUT_ELEMENT_DESC layout[] = {
        {"POSITION", 0, DXGI_FORMAT_R32G32_FLOAT, 0, offsetof(CursorVertex, x), D3D11_INPUT_PER_VERTEX_DATA, 0},
        {"TEXCOORD", 0, DXGI_FORMAT_R32G32_FLOAT, 0, offsetof(CursorVertex, u), D3D11_INPUT_PER_VERTEX_DATA, 0},
    };
    hr = device_->CreateInputLayout(layout, static_cast<UINT>(std::size(layout)), vs_code.data(), vs_code.size(),
                                    &cursor_layout_);
    if (FAILED(hr)) {
        log_failed_call("create cursor input layout", hr);
        return false;
    }
    D3D11_BUFFER_DESC vb_desc{};
    vb_desc.ByteWidth = cursor_vertex_stride * cursor_vertex_count;
    vb_desc.Usage = D3D11_USAGE_DYNAMIC;
    vb_desc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
    vb_desc.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    hr = device_->CreateBuffer(&vb_desc, nullptr, &cursor_vb_);
    if (FAILED(hr)) {
        log_failed_call("create cursor vb", hr);
        return false;
    }
    const D3D11_BLEND_DESC blend_desc = cursor_blend_description();
    hr = device_->CreateBlendState(&blend_desc, &cursor_blend_);
    if (SUCCEEDED(hr)) {
        const D3D11_BLEND_DESC xor_desc = cursor_xor_blend_description();
        hr = device_->CreateBlendState(&xor_desc, &cursor_xor_blend_);
    }
    if (FAILED(hr)) {
        log_failed_call("create blend state", hr);
        return false;
    }
    return true;
}

bool WarpPasses::create_states() {
    const D3D11_RASTERIZER_DESC raster_desc = rasterizer_description();
    HRESULT hr = device_->CreateRasterizerState(&raster_desc, &rasterizer_);
    if (FAILED(hr)) {
        log_failed_call("create rasterizer state", hr);
        return false;
    }
    const D3D11_SAMPLER_DESC sampler_desc = sampler_description();
    hr = device_->CreateSamplerState(&sampler_desc, &sampler_);
    if (FAILED(hr)) {
        log_failed_call("create sampler", hr);
        return false;
    }
    return true;
}

void WarpPasses::release() noexcept {
    colour_.release();
    cursor_srv_.Reset();
    cursor_texture_.Reset();
    cursor_xor_blend_.Reset();
    cursor_xor_ps_.Reset();
    cursor_blend_.Reset();
    cursor_vb_.Reset();
    cursor_layout_.Reset();
    cursor_ps_.Reset();
    cursor_vs_.Reset();
    rasterizer_.Reset();
    sampler_.Reset();
    warp_cb_.Reset();
    warp_ps_.Reset();
    warp_vs_.Reset();
    context_.Reset();
    device_.Reset();
}

void WarpPasses::update_warp(const WarpParams& params, std::uint32_t frame_rotation) noexcept {
    if (context_ == nullptr) {
        return;
    }
    const WarpState state = compute_warp(params, width_, height_, frame_rotation);
    forward_h_ = state.forward_h;
    context_->UpdateSubresource(warp_cb_.Get(), 0, nullptr, &state.warp_cb, 0, 0);
}

void WarpPasses::set_cursor_image(int width, int height, const std::uint32_t* pixels, bool screen_xor) {
    cursor_srv_.Reset();
    cursor_texture_.Reset();
    cursor_size_ = PixelSize{width, height};
    cursor_xor_ = screen_xor;
    if (width <= 0 || height <= 0 || pixels == nullptr || device_ == nullptr) {
        return;
    }
    if (FAILED(create_immutable_image(device_.Get(), width, height, pixels, cursor_texture_, cursor_srv_))) {
        log_message("renderer: cursor texture creation failed");
    }
}

void WarpPasses::render(ID3D11RenderTargetView* target, ID3D11ShaderResourceView* source, bool cursor_visible,
                        int cursor_x, int cursor_y, const std::vector<PixelBox>* boxes) noexcept {
    if (context_ == nullptr || target == nullptr) {
        return;
    }
    if (boxes == nullptr) {
        context_->ClearRenderTargetView(target, clear_colour);
    }
    D3D11_VIEWPORT viewport{};
    viewport.TopLeftX = 0.0f;
    viewport.TopLeftY = 0.0f;
    viewport.Width = static_cast<float>(width_);
    viewport.Height = static_cast<float>(height_);
    viewport.MinDepth = 0.0f;
    viewport.MaxDepth = 1.0f;
    context_->RSSetViewports(1, &viewport);
    context_->RSSetState(rasterizer_.Get());
    context_->OMSetRenderTargets(1, &target, nullptr);
    const bool cursor = cursor_visible && cursor_srv_ != nullptr && upload_cursor_quad(cursor_x, cursor_y);
    const PixelBox whole{0, 0, width_, height_};
    const std::size_t count = boxes != nullptr ? boxes->size() : 1;
    for (std::size_t i = 0; i < count; ++i) {
        const PixelBox& box = boxes != nullptr ? (*boxes)[i] : whole;
        const D3D11_RECT scissor{box.left, box.top, box.right, box.bottom};
        context_->RSSetScissorRects(1, &scissor);
        draw_warp(source);
        if (cursor) {
            draw_cursor();
        }
    }

    ID3D11ShaderResourceView* no_view = nullptr;
    context_->PSSetShaderResources(0, 1, &no_view);
    ID3D11RenderTargetView* no_target = nullptr;
    context_->OMSetRenderTargets(1, &no_target, nullptr);
}

void WarpPasses::draw_warp(ID3D11ShaderResourceView* source) noexcept {
    // Three vertices made from their ids, no blending.
    context_->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    context_->IASetInputLayout(nullptr);
    context_->VSSetShader(warp_vs_.Get(), nullptr, 0);
    context_->PSSetShader(warp_ps_.Get(), nullptr, 0);
    ID3D11Buffer* constant_buffers[] = {warp_cb_.Get()};
    context_->PSSetConstantBuffers(0, 1, constant_buffers);
    context_->PSSetShaderResources(0, 1, &source);
    ID3D11SamplerState* samplers[] = {sampler_.Get()};
    context_->PSSetSamplers(0, 1, samplers);
    colour_.bind(context_.Get(), source);
    context_->Draw(warp_vertex_count, 0);
}

bool WarpPasses::upload_cursor_quad(int cursor_x, int cursor_y) noexcept {
    const CursorPlacement placement{cursor_x, cursor_y, cursor_size_.width, cursor_size_.height};
    const std::array<CursorVertex, cursor_vertex_count> quad = cursor_quad(forward_h_, placement, width_, height_);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(context_->Map(cursor_vb_.Get(), 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped))) {
        return false;
    }
    std::memcpy(mapped.pData, quad.data(), sizeof quad);
    context_->Unmap(cursor_vb_.Get(), 0);
    return true;
}

void WarpPasses::draw_cursor() noexcept {
    context_->IASetInputLayout(cursor_layout_.Get());
    ID3D11Buffer* vertex_buffers[] = {cursor_vb_.Get()};
    const UINT stride = cursor_vertex_stride;
    const UINT offset = 0;
    context_->IASetVertexBuffers(0, 1, vertex_buffers, &stride, &offset);
    context_->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
    context_->VSSetShader(cursor_vs_.Get(), nullptr, 0);
    context_->PSSetShader(cursor_ps_.Get(), nullptr, 0);
    ID3D11ShaderResourceView* cursor_views[] = {cursor_srv_.Get()};
    context_->PSSetShaderResources(0, 1, cursor_views);
    context_->OMSetBlendState(cursor_blend_.Get(), nullptr, 0xFFFFFFFFu);
    context_->Draw(cursor_vertex_count, 0);
    if (cursor_xor_) {
        // The parts Windows XORs onto the screen, over what the first pass left.
        context_->PSSetShader(cursor_xor_ps_.Get(), nullptr, 0);
        context_->OMSetBlendState(cursor_xor_blend_.Get(), nullptr, 0xFFFFFFFFu);
        context_->Draw(cursor_vertex_count, 0);
    }
    context_->OMSetBlendState(nullptr, nullptr, 0xFFFFFFFFu);
}

}  // namespace kelvane
