// WarpPasses: the constant buffers, warp upload, cursor sprite, footprint constants and the two passes.
#include "render/warp_passes_win32.h"

#include <cstring>

#include "platform/log.h"
#include "render/texture_upload_win32.h"
#include "render/warp_hlsl.h"

namespace kelvane {
namespace {

using Microsoft::WRL::ComPtr;

constexpr UINT cursor_vertex_stride = sizeof(CursorVertex);
constexpr UINT cursor_vertex_count = 4;
constexpr UINT warp_vertex_count = 3;
constexpr UINT footprint_slot = 2;
constexpr UINT all_samples = 0xFFFFFFFFu;
constexpr float clear_colour[4] = {0.0f, 0.0f, 0.0f, 1.0f};

HRESULT make_constant_buffer(ID3D11Device* device, UINT size, ComPtr<ID3D11Buffer>& buffer) {
    D3D11_BUFFER_DESC desc{};
    desc.ByteWidth = size;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
    return device->CreateBuffer(&desc, nullptr, &buffer);
}

// The size of the texture behind `view`, or 0 x 0 without a 2D texture.
PixelSize texture_size(ID3D11ShaderResourceView* view) noexcept {
    ComPtr<ID3D11Resource> resource;
    if (view != nullptr) {
        view->GetResource(&resource);
    }
    ComPtr<ID3D11Texture2D> texture;
    if (resource == nullptr || FAILED(resource.As(&texture))) {
        return {};
    }
    D3D11_TEXTURE2D_DESC desc{};
    texture->GetDesc(&desc);
    return {static_cast<int>(desc.Width), static_cast<int>(desc.Height)};
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
    return pipeline_.create(device_.Get(), shader_source) && create_buffers() && colour_.create(device_.Get());
}

bool WarpPasses::create_buffers() {
    HRESULT hr = make_constant_buffer(device_.Get(), sizeof(WarpCB), warp_cb_);
    if (SUCCEEDED(hr)) {
        hr = make_constant_buffer(device_.Get(), sizeof(FootprintCB), footprint_cb_);
    }
    if (FAILED(hr)) {
        log_failed_call("create cbuffer", hr);
        return false;
    }
    footprint_uploaded_ = false;
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
    return true;
}

void WarpPasses::release() noexcept {
    colour_.release();
    cursor_srv_.Reset();
    cursor_texture_.Reset();
    tiles_.release();
    cursor_vb_.Reset();
    footprint_cb_.Reset();
    warp_cb_.Reset();
    pipeline_.release();
    context_.Reset();
    device_.Reset();
}

void WarpPasses::update_warp(const WarpParams& params, std::uint32_t frame_rotation) noexcept {
    params_ = params;
    frame_rotation_ = frame_rotation;
    if (context_ == nullptr || warp_cb_ == nullptr) {
        return;
    }
    warp_ = compute_warp(params, width_, height_, frame_rotation, fit_);
    tiles_.set_warp(warp_.warp_cb);
    context_->UpdateSubresource(warp_cb_.Get(), 0, nullptr, &warp_.warp_cb, 0, 0);
}

void WarpPasses::set_source_fit(const SourceFit& fit) noexcept {
    fit_ = fit;
    update_warp(params_, frame_rotation_);
}

void WarpPasses::set_sample_cap(int cap) noexcept {
    tiles_.set_cap(cap);
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

void WarpPasses::update_footprint(ID3D11ShaderResourceView* source, const std::array<CursorVertex, 4>* quad) noexcept {
    FootprintCB constants = footprint_;
    const PixelSize source_size = texture_size(source);
    tiles_.build(device_.Get(), source_size.width, source_size.height, width_, height_);
    set_footprint_source(constants, source_size.width, source_size.height, width_, height_);
    if (quad != nullptr) {
        set_footprint_sprite(constants, cursor_size_.width, cursor_size_.height,
                             cursor_reach(*quad, cursor_size_.width, cursor_size_.height, width_, height_));
    }
    if (!footprint_uploaded_ || constants != footprint_) {
        context_->UpdateSubresource(footprint_cb_.Get(), 0, nullptr, &constants, 0, 0);
        footprint_ = constants;
        footprint_uploaded_ = true;
    }
}

void WarpPasses::render(ID3D11RenderTargetView* target, ID3D11ShaderResourceView* source, bool cursor_visible,
                        int cursor_x, int cursor_y, const std::vector<PixelBox>* boxes) noexcept {
    if (context_ == nullptr || target == nullptr || footprint_cb_ == nullptr) {
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
    context_->RSSetState(pipeline_.rasterizer.Get());
    context_->OMSetRenderTargets(1, &target, nullptr);
    const CursorPlacement placement{cursor_x, cursor_y, cursor_size_.width, cursor_size_.height};
    const std::array<CursorVertex, cursor_vertex_count> quad =
        cursor_quad(warp_.cursor_forward, placement, width_, height_);
    const bool cursor = cursor_visible && cursor_srv_ != nullptr && upload_cursor_quad(quad);
    update_footprint(source, cursor ? &quad : nullptr);
    // The colour modes follow the output and the source's format; each picks its compiled variant.
    const ColourCB modes = colour_.bind(context_.Get(), source);
    const ColourVariant warp_variant = colour_variant(modes.warp);
    ID3D11Buffer* constant_buffers[] = {warp_cb_.Get()};
    context_->PSSetConstantBuffers(0, 1, constant_buffers);
    ID3D11Buffer* footprint_buffers[] = {footprint_cb_.Get()};
    context_->PSSetConstantBuffers(footprint_slot, 1, footprint_buffers);
    ID3D11SamplerState* samplers[] = {pipeline_.sampler.Get()};
    context_->PSSetSamplers(0, 1, samplers);
    const PixelBox whole{0, 0, width_, height_};
    const std::size_t count = boxes != nullptr ? boxes->size() : 1;
    for (std::size_t i = 0; i < count; ++i) {
        const PixelBox& box = boxes != nullptr ? (*boxes)[i] : whole;
        const D3D11_RECT scissor{box.left, box.top, box.right, box.bottom};
        context_->RSSetScissorRects(1, &scissor);
        // Warp pass: triangles, no blending; where the warp shrinks the source, tile by tile with the
        // grid each needs, else one triangle.
        context_->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
        context_->PSSetShaderResources(0, 1, &source);
        if (!tiles_.draw(context_.Get(), pipeline_, warp_variant)) {
            context_->IASetInputLayout(nullptr);
            context_->VSSetShader(pipeline_.warp_vs.Get(), nullptr, 0);
            context_->PSSetShader(pipeline_.warp_shader(warp_variant, 1), nullptr, 0);
            context_->Draw(warp_vertex_count, 0);
        }
        if (cursor) {
            draw_cursor(modes.cursor);
        }
    }

    ID3D11ShaderResourceView* no_view = nullptr;
    context_->PSSetShaderResources(0, 1, &no_view);
    ID3D11RenderTargetView* no_target = nullptr;
    context_->OMSetRenderTargets(1, &no_target, nullptr);
}

bool WarpPasses::upload_cursor_quad(const std::array<CursorVertex, 4>& quad) noexcept {
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(context_->Map(cursor_vb_.Get(), 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped))) {
        return false;
    }
    std::memcpy(mapped.pData, quad.data(), sizeof quad);
    context_->Unmap(cursor_vb_.Get(), 0);
    return true;
}

void WarpPasses::draw_cursor(const ColourMode& mode) noexcept {
    context_->IASetInputLayout(pipeline_.cursor_layout.Get());
    ID3D11Buffer* vertex_buffers[] = {cursor_vb_.Get()};
    const UINT stride = cursor_vertex_stride;
    const UINT offset = 0;
    context_->IASetVertexBuffers(0, 1, vertex_buffers, &stride, &offset);
    context_->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
    context_->VSSetShader(pipeline_.cursor_vs.Get(), nullptr, 0);
    const ColourVariant variant = colour_variant(mode);
    context_->PSSetShader(pipeline_.cursor_shader(variant), nullptr, 0);
    ID3D11ShaderResourceView* cursor_views[] = {cursor_srv_.Get()};
    context_->PSSetShaderResources(0, 1, cursor_views);
    context_->OMSetBlendState(pipeline_.cursor_blend.Get(), nullptr, all_samples);
    context_->Draw(cursor_vertex_count, 0);
    if (cursor_xor_) {
        // The parts Windows XORs onto the screen, over what the first pass left; on a linear target
        // relative to SDR white, then lifted back to black where a highlight went below it.
        context_->PSSetShader(pipeline_.cursor_xor_shader(variant), nullptr, 0);
        if (variant == ColourVariant::decode) {
            const float half_white = mode.decode_scale * 0.5f;
            const float factor[4] = {half_white, half_white, half_white, 1.0f};
            context_->OMSetBlendState(pipeline_.cursor_xor_scaled_blend.Get(), factor, all_samples);
            context_->Draw(cursor_vertex_count, 0);
            context_->PSSetShader(pipeline_.cursor_floor_ps.Get(), nullptr, 0);
            context_->OMSetBlendState(pipeline_.cursor_floor_blend.Get(), nullptr, all_samples);
        } else {
            context_->OMSetBlendState(pipeline_.cursor_xor_blend.Get(), nullptr, all_samples);
        }
        context_->Draw(cursor_vertex_count, 0);
    }
    context_->OMSetBlendState(nullptr, nullptr, all_samples);
}

}  // namespace kelvane
