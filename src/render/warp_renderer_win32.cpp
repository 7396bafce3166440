// WarpRenderer: device, swap chain, composition, pipeline, warp upload and drawing.
#include "render/warp_renderer_win32.h"

#include <d3dcompiler.h>

#include <cstring>
#include <iterator>
#include <string>

#include "platform/log.h"
#include "render/texture_upload_win32.h"
#include "render/warp_hlsl.h"

namespace kelvane {
namespace {

constexpr const char* shader_source_name = "warp.hlsl";
constexpr UINT shader_compile_flags = D3DCOMPILE_OPTIMIZATION_LEVEL3;
constexpr UINT cursor_vertex_stride = sizeof(CursorVertex);
constexpr UINT cursor_vertex_count = 4;
constexpr UINT warp_vertex_count = 3;
constexpr UINT present_sync_interval = 1;
constexpr float clear_colour[4] = {0.0f, 0.0f, 0.0f, 1.0f};

DXGI_SWAP_CHAIN_DESC1 swap_chain_description(int width, int height) {
    DXGI_SWAP_CHAIN_DESC1 desc{};
    desc.Width = static_cast<UINT>(width);
    desc.Height = static_cast<UINT>(height);
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.Stereo = FALSE;
    desc.SampleDesc.Count = 1;
    desc.SampleDesc.Quality = 0;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 2;
    desc.Scaling = DXGI_SCALING_STRETCH;
    desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
    desc.AlphaMode = DXGI_ALPHA_MODE_IGNORE;
    desc.Flags = 0;
    return desc;
}

// Compiles one entry point; logs the compiler's message on failure.
ComPtr<ID3DBlob> compile_shader(std::string_view source, const char* entry, const char* profile) {
    ComPtr<ID3DBlob> code;
    ComPtr<ID3DBlob> errors;
    const HRESULT hr = D3DCompile(source.data(), source.size(), shader_source_name, nullptr, nullptr, entry, profile,
                                  shader_compile_flags, 0, &code, &errors);
    if (FAILED(hr)) {
        if (errors != nullptr && errors->GetBufferSize() > 0) {
            const auto* text = static_cast<const char*>(errors->GetBufferPointer());
            const std::string message(text, strnlen(text, errors->GetBufferSize()));
            log_message("shader compile (%s) failed: %s", entry, message.c_str());
        } else {
            log_message("shader compile (%s) failed: %s", entry, "no log");
        }
        return nullptr;
    }
    return code;
}

}  // namespace

std::string_view embedded_shader_source() noexcept {
    return {reinterpret_cast<const char*>(warp_hlsl), warp_hlsl_size};
}

bool WarpRenderer::initialize(IDXGIAdapter1* adapter, HWND window, int width_px, int height_px) {
    return initialize_with_shader(adapter, window, width_px, height_px, embedded_shader_source());
}

bool WarpRenderer::initialize_with_shader(IDXGIAdapter1* adapter, HWND window, int width_px, int height_px,
                                          std::string_view shader_source) {
    release_all();
    width = width_px;
    height = height_px;
    if (!create_device(adapter) || !create_presentation(adapter, window) || !create_pipeline(shader_source)) {
        return false;
    }
    update_warp(WarpParams{});
    log_message("renderer: initialized %dx%d", width, height);
    return true;
}

bool WarpRenderer::create_device(IDXGIAdapter1* adapter) {
    const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};
    HRESULT hr = D3D11CreateDevice(adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, levels,
                                   static_cast<UINT>(std::size(levels)), D3D11_SDK_VERSION, &device, nullptr, &context);
    if (FAILED(hr)) {
        // Runtimes that predate 11_1 refuse the whole list; their own default list still gives 11_0.
        context.Reset();
        device.Reset();
        hr = D3D11CreateDevice(adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, nullptr, 0,
                               D3D11_SDK_VERSION, &device, nullptr, &context);
    }
    if (FAILED(hr)) {
        log_failed_call("D3D11CreateDevice", hr);
        return false;
    }
    return true;
}

bool WarpRenderer::create_presentation(IDXGIAdapter1* adapter, HWND window) {
    ComPtr<IDXGIFactory2> factory;
    HRESULT hr = adapter->GetParent(IID_PPV_ARGS(&factory));
    if (FAILED(hr)) {
        log_failed_call("adapter GetParent factory", hr);
        return false;
    }
    if (create_composition(factory.Get(), window)) {
        return true;
    }
    // Composition is missing (or refused): present to the overlay window itself, so the mirror still runs.
    release_composition();
    const DXGI_SWAP_CHAIN_DESC1 desc = swap_chain_description(width, height);
    hr = factory->CreateSwapChainForHwnd(device.Get(), window, &desc, nullptr, nullptr, &swap_chain);
    if (FAILED(hr)) {
        log_failed_call("CreateSwapChainForHwnd", hr);
        return false;
    }
    log_message("renderer: composition unavailable, presenting to the window directly");
    return true;
}

bool WarpRenderer::create_composition(IDXGIFactory2* factory, HWND window) {
    const DXGI_SWAP_CHAIN_DESC1 desc = swap_chain_description(width, height);
    HRESULT hr = factory->CreateSwapChainForComposition(device.Get(), &desc, nullptr, &swap_chain);
    if (FAILED(hr)) {
        log_failed_call("CreateSwapChainForComposition", hr);
        return false;
    }
    ComPtr<IDXGIDevice> dxgi_device;
    device.As(&dxgi_device);
    hr = DCompositionCreateDevice(dxgi_device.Get(), IID_PPV_ARGS(&dcomp_device));
    if (FAILED(hr)) {
        log_failed_call("DCompositionCreateDevice", hr);
        return false;
    }
    hr = dcomp_device->CreateTargetForHwnd(window, TRUE, &dcomp_target);
    if (FAILED(hr)) {
        log_failed_call("CreateTargetForHwnd", hr);
        return false;
    }
    hr = dcomp_device->CreateVisual(&dcomp_visual);
    if (FAILED(hr)) {
        log_failed_call("CreateVisual", hr);
        return false;
    }
    dcomp_visual->SetContent(swap_chain.Get());
    dcomp_target->SetRoot(dcomp_visual.Get());
    hr = dcomp_device->Commit();
    if (FAILED(hr)) {
        log_failed_call("DComp Commit", hr);
        return false;
    }
    return true;
}

void WarpRenderer::release_composition() noexcept {
    dcomp_visual.Reset();
    dcomp_target.Reset();
    dcomp_device.Reset();
    swap_chain.Reset();
}

bool WarpRenderer::create_pipeline(std::string_view shader_source) {
    const ComPtr<ID3DBlob> vs_code = compile_shader(shader_source, "VSMain", "vs_4_0");
    if (vs_code == nullptr) {
        return false;
    }
    const ComPtr<ID3DBlob> ps_code = compile_shader(shader_source, "PSMain", "ps_4_0");
    if (ps_code == nullptr) {
        return false;
    }
    HRESULT hr = device->CreateVertexShader(vs_code->GetBufferPointer(), vs_code->GetBufferSize(), nullptr, &warp_vs);
    if (SUCCEEDED(hr)) {
        hr = device->CreatePixelShader(ps_code->GetBufferPointer(), ps_code->GetBufferSize(), nullptr, &warp_ps);
    }
    if (FAILED(hr)) {
        log_failed_call("create shaders", hr);
        return false;
    }

    D3D11_BUFFER_DESC cb_desc{};
    cb_desc.ByteWidth = sizeof(WarpCB);
    cb_desc.Usage = D3D11_USAGE_DEFAULT;
    cb_desc.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
    hr = device->CreateBuffer(&cb_desc, nullptr, &warp_cb);
    if (FAILED(hr)) {
        log_failed_call("create cbuffer", hr);
        return false;
    }

    const ComPtr<ID3DBlob> cursor_vs_code = compile_shader(shader_source, "VSCursor", "vs_4_0");
    if (cursor_vs_code == nullptr) {
        return false;
    }
    const ComPtr<ID3DBlob> cursor_ps_code = compile_shader(shader_source, "PSCursor", "ps_4_0");
    if (cursor_ps_code == nullptr) {
        return false;
    }
    hr = device->CreateVertexShader(cursor_vs_code->GetBufferPointer(), cursor_vs_code->GetBufferSize(), nullptr,
                                    &cursor_vs);
    if (SUCCEEDED(hr)) {
        hr = device->CreatePixelShader(cursor_ps_code->GetBufferPointer(), cursor_ps_code->GetBufferSize(), nullptr,
                                       &cursor_ps);
    }
    if (FAILED(hr)) {
        log_failed_call("create cursor shaders", hr);
        return false;
    }

    const D3D11_INPUT_ELEMENT_DESC layout[] = {
        {"POSITION", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
        {"TEXCOORD", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 8, D3D11_INPUT_PER_VERTEX_DATA, 0},
    };
    hr = device->CreateInputLayout(layout, static_cast<UINT>(std::size(layout)), cursor_vs_code->GetBufferPointer(),
                                   cursor_vs_code->GetBufferSize(), &cursor_layout);
    if (FAILED(hr)) {
        log_failed_call("create cursor input layout", hr);
        return false;
    }

    D3D11_BUFFER_DESC vb_desc{};
    vb_desc.ByteWidth = cursor_vertex_stride * cursor_vertex_count;
    vb_desc.Usage = D3D11_USAGE_DYNAMIC;
    vb_desc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
    vb_desc.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    hr = device->CreateBuffer(&vb_desc, nullptr, &cursor_vb);
    if (FAILED(hr)) {
        log_failed_call("create cursor vb", hr);
        return false;
    }

    // Straight-alpha "over": colour = source * source alpha + destination * (1 - source alpha).
    D3D11_BLEND_DESC blend_desc{};
    blend_desc.AlphaToCoverageEnable = FALSE;
    blend_desc.IndependentBlendEnable = FALSE;
    D3D11_RENDER_TARGET_BLEND_DESC& target = blend_desc.RenderTarget[0];
    target.BlendEnable = TRUE;
    target.SrcBlend = D3D11_BLEND_SRC_ALPHA;
    target.DestBlend = D3D11_BLEND_INV_SRC_ALPHA;
    target.BlendOp = D3D11_BLEND_OP_ADD;
    target.SrcBlendAlpha = D3D11_BLEND_ONE;
    target.DestBlendAlpha = D3D11_BLEND_INV_SRC_ALPHA;
    target.BlendOpAlpha = D3D11_BLEND_OP_ADD;
    target.RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_ALL;
    hr = device->CreateBlendState(&blend_desc, &cursor_blend);
    if (FAILED(hr)) {
        log_failed_call("create blend state", hr);
        return false;
    }

    D3D11_RASTERIZER_DESC raster_desc{};
    raster_desc.FillMode = D3D11_FILL_SOLID;
    raster_desc.CullMode = D3D11_CULL_NONE;
    raster_desc.FrontCounterClockwise = FALSE;
    raster_desc.DepthClipEnable = FALSE;
    raster_desc.ScissorEnable = FALSE;
    raster_desc.MultisampleEnable = FALSE;
    raster_desc.AntialiasedLineEnable = FALSE;
    hr = device->CreateRasterizerState(&raster_desc, &rasterizer);
    if (FAILED(hr)) {
        log_failed_call("create rasterizer state", hr);
        return false;
    }

    D3D11_SAMPLER_DESC sampler_desc{};
    sampler_desc.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
    sampler_desc.AddressU = D3D11_TEXTURE_ADDRESS_CLAMP;
    sampler_desc.AddressV = D3D11_TEXTURE_ADDRESS_CLAMP;
    sampler_desc.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
    sampler_desc.MipLODBias = 0.0f;
    sampler_desc.MaxAnisotropy = 0;
    sampler_desc.ComparisonFunc = static_cast<D3D11_COMPARISON_FUNC>(0);
    sampler_desc.MinLOD = 0.0f;
    sampler_desc.MaxLOD = D3D11_FLOAT32_MAX;
    hr = device->CreateSamplerState(&sampler_desc, &sampler);
    if (FAILED(hr)) {
        log_failed_call("create sampler", hr);
        return false;
    }
    return true;
}

void WarpRenderer::release_all() noexcept {
    cursor_srv.Reset();
    cursor_texture.Reset();
    cursor_blend.Reset();
    cursor_vb.Reset();
    cursor_layout.Reset();
    cursor_ps.Reset();
    cursor_vs.Reset();
    rasterizer.Reset();
    sampler.Reset();
    warp_cb.Reset();
    warp_ps.Reset();
    warp_vs.Reset();
    dcomp_visual.Reset();
    dcomp_target.Reset();
    dcomp_device.Reset();
    swap_chain.Reset();
    context.Reset();
    device.Reset();
}

void WarpRenderer::update_warp(const WarpParams& params) noexcept {
    if (context == nullptr) {
        return;
    }
    const WarpState state = compute_warp(params, width, height);
    forward_h = state.forward_h;
    context->UpdateSubresource(warp_cb.Get(), 0, nullptr, &state.warp_cb, 0, 0);
}

void WarpRenderer::set_cursor_image(int image_width, int image_height, const std::uint32_t* pixels) {
    cursor_srv.Reset();
    cursor_texture.Reset();
    cursor_width = image_width;
    cursor_height = image_height;
    if (image_width <= 0 || image_height <= 0 || pixels == nullptr || device == nullptr) {
        return;
    }
    if (FAILED(create_immutable_image(device.Get(), image_width, image_height, pixels, cursor_texture, cursor_srv))) {
        log_message("renderer: cursor texture creation failed");
    }
}

bool WarpRenderer::draw(ID3D11ShaderResourceView* source, bool cursor_visible, int cursor_x, int cursor_y,
                        bool cursor_rotated_180) {
    if (swap_chain == nullptr || source == nullptr) {
        return false;
    }
    ComPtr<ID3D11Texture2D> back_buffer;
    HRESULT hr = swap_chain->GetBuffer(0, IID_PPV_ARGS(&back_buffer));
    if (FAILED(hr)) {
        log_failed_call("GetBuffer", hr);
        return false;
    }
    ComPtr<ID3D11RenderTargetView> target;
    hr = device->CreateRenderTargetView(back_buffer.Get(), nullptr, &target);
    if (FAILED(hr)) {
        log_failed_call("CreateRenderTargetView", hr);
        return false;
    }
    render_passes(target.Get(), source, cursor_visible, cursor_x, cursor_y, cursor_rotated_180);
    hr = swap_chain->Present(present_sync_interval, 0);
    if (FAILED(hr)) {
        log_failed_call("Present", hr);
        return false;
    }
    return true;
}

void WarpRenderer::render_passes(ID3D11RenderTargetView* target, ID3D11ShaderResourceView* source,
                                 bool cursor_visible, int cursor_x, int cursor_y, bool cursor_rotated_180) noexcept {
    if (context == nullptr || target == nullptr) {
        return;
    }
    context->ClearRenderTargetView(target, clear_colour);

    D3D11_VIEWPORT viewport{};
    viewport.TopLeftX = 0.0f;
    viewport.TopLeftY = 0.0f;
    viewport.Width = static_cast<float>(width);
    viewport.Height = static_cast<float>(height);
    viewport.MinDepth = 0.0f;
    viewport.MaxDepth = 1.0f;
    context->RSSetViewports(1, &viewport);
    context->RSSetState(rasterizer.Get());
    context->OMSetRenderTargets(1, &target, nullptr);

    // Warp pass: three vertices made from their ids, no blending.
    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    context->IASetInputLayout(nullptr);
    context->VSSetShader(warp_vs.Get(), nullptr, 0);
    context->PSSetShader(warp_ps.Get(), nullptr, 0);
    ID3D11Buffer* constant_buffers[] = {warp_cb.Get()};
    context->PSSetConstantBuffers(0, 1, constant_buffers);
    context->PSSetShaderResources(0, 1, &source);
    ID3D11SamplerState* samplers[] = {sampler.Get()};
    context->PSSetSamplers(0, 1, samplers);
    context->Draw(warp_vertex_count, 0);

    if (cursor_visible && cursor_srv != nullptr) {
        const CursorPlacement placement{cursor_x, cursor_y, cursor_width, cursor_height, cursor_rotated_180};
        const std::array<CursorVertex, cursor_vertex_count> quad = cursor_quad(forward_h, placement, width, height);

        D3D11_MAPPED_SUBRESOURCE mapped{};
        if (SUCCEEDED(context->Map(cursor_vb.Get(), 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped))) {
            std::memcpy(mapped.pData, quad.data(), sizeof quad);
            context->Unmap(cursor_vb.Get(), 0);

            context->IASetInputLayout(cursor_layout.Get());
            ID3D11Buffer* vertex_buffers[] = {cursor_vb.Get()};
            const UINT stride = cursor_vertex_stride;
            const UINT offset = 0;
            context->IASetVertexBuffers(0, 1, vertex_buffers, &stride, &offset);
            context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
            context->VSSetShader(cursor_vs.Get(), nullptr, 0);
            context->PSSetShader(cursor_ps.Get(), nullptr, 0);
            ID3D11ShaderResourceView* cursor_views[] = {cursor_srv.Get()};
            context->PSSetShaderResources(0, 1, cursor_views);
            context->OMSetBlendState(cursor_blend.Get(), nullptr, 0xFFFFFFFFu);
            context->Draw(cursor_vertex_count, 0);
            context->OMSetBlendState(nullptr, nullptr, 0xFFFFFFFFu);
        }
    }

    ID3D11ShaderResourceView* no_view = nullptr;
    context->PSSetShaderResources(0, 1, &no_view);
    ID3D11RenderTargetView* no_target = nullptr;
    context->OMSetRenderTargets(1, &no_target, nullptr);
}

}  // namespace kelvane
