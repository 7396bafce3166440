// Frame comparison: the block and tile passes, the read-back of their answer, and the partial copy.
#include "capture/frame_compare_win32.h"

#include <vector>

#include "capture/frame_compare_hlsl.h"
#include "platform/log.h"
#include "render/shader_cache_win32.h"

namespace kelvane {
namespace {

using Microsoft::WRL::ComPtr;

// Each pass takes 4x4 texels of what it reads; two passes make a tile.
constexpr std::int32_t block = 4;
static_assert(change_tile_size == block * block, "a tile is 4x4 blocks of 4x4 texels");
constexpr UINT compare_vertex_count = 3;
constexpr float unchanged[4] = {0.0f, 0.0f, 0.0f, 0.0f};

struct CompareCB {
    std::int32_t limit[4];
};

std::string_view compare_shader_source() noexcept {
    return {reinterpret_cast<const char*>(frame_compare_hlsl), frame_compare_hlsl_size};
}

std::int64_t microseconds_now() noexcept {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER now{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return frequency.QuadPart > 0 ? now.QuadPart * 1000000 / frequency.QuadPart : 0;
}

[[nodiscard]] std::int32_t scaled_up(std::int32_t value, std::int32_t scale) noexcept {
    return (value + scale - 1) / scale;
}

HRESULT make_map(ID3D11Device* device, std::int32_t width, std::int32_t height, UINT bind,
                 ComPtr<ID3D11Texture2D>& texture, ComPtr<ID3D11RenderTargetView>& target) {
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = static_cast<UINT>(width);
    desc.Height = static_cast<UINT>(height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = bind;
    HRESULT hr = device->CreateTexture2D(&desc, nullptr, &texture);
    if (SUCCEEDED(hr) && (bind & D3D11_BIND_RENDER_TARGET) != 0) {
        hr = device->CreateRenderTargetView(texture.Get(), nullptr, &target);
    }
    return hr;
}

HRESULT make_constants(ID3D11Device* device, ComPtr<ID3D11Buffer>& buffer) {
    D3D11_BUFFER_DESC desc{};
    desc.ByteWidth = sizeof(CompareCB);
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
    return device->CreateBuffer(&desc, nullptr, &buffer);
}

}  // namespace

bool FrameCompare::create(ID3D11Device* device) {
    device_ = device;
    width_ = 0;
    height_ = 0;
    const std::vector<std::uint8_t> vs_code = compiled_shader(compare_shader_source(), "VSCompare", "vs_4_0");
    const std::vector<std::uint8_t> block_code = compiled_shader(compare_shader_source(), "PSCompareBlock", "ps_4_0");
    const std::vector<std::uint8_t> reduce_code = compiled_shader(compare_shader_source(), "PSReduceBlock", "ps_4_0");
    if (vs_code.empty() || block_code.empty() || reduce_code.empty()) {
        fail("compile frame comparison", E_FAIL);
        return false;
    }
    HRESULT hr = device_->CreateVertexShader(vs_code.data(), vs_code.size(), nullptr, &vertex_shader_);
    if (SUCCEEDED(hr)) {
        hr = device_->CreatePixelShader(block_code.data(), block_code.size(), nullptr, &block_shader_);
    }
    if (SUCCEEDED(hr)) {
        hr = device_->CreatePixelShader(reduce_code.data(), reduce_code.size(), nullptr, &reduce_shader_);
    }
    if (SUCCEEDED(hr)) {
        hr = make_constants(device_.Get(), block_constants_);
    }
    if (SUCCEEDED(hr)) {
        hr = make_constants(device_.Get(), reduce_constants_);
    }
    if (SUCCEEDED(hr)) {
        D3D11_RASTERIZER_DESC raster{};
        raster.FillMode = D3D11_FILL_SOLID;
        raster.CullMode = D3D11_CULL_NONE;
        raster.ScissorEnable = TRUE;
        hr = device_->CreateRasterizerState(&raster, &rasterizer_);
    }
    if (FAILED(hr)) {
        fail("create frame comparison", hr);
        return false;
    }
    return true;
}

bool FrameCompare::ensure_maps(const TileGrid& tiles) {
    if (blocks_ != nullptr && tiles.width() == width_ && tiles.height() == height_) {
        return true;
    }
    staging_.Reset();
    flags_target_.Reset();
    flags_.Reset();
    blocks_view_.Reset();
    blocks_target_.Reset();
    blocks_.Reset();
    const std::int32_t block_columns = scaled_up(tiles.width(), block);
    const std::int32_t block_rows = scaled_up(tiles.height(), block);
    ComPtr<ID3D11RenderTargetView> no_target;
    HRESULT hr = make_map(device_.Get(), block_columns, block_rows,
                          D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE, blocks_, blocks_target_);
    if (SUCCEEDED(hr)) {
        hr = device_->CreateShaderResourceView(blocks_.Get(), nullptr, &blocks_view_);
    }
    if (SUCCEEDED(hr)) {
        hr = make_map(device_.Get(), tiles.columns(), tiles.rows(), D3D11_BIND_RENDER_TARGET, flags_, flags_target_);
    }
    if (SUCCEEDED(hr)) {
        D3D11_TEXTURE2D_DESC desc{};
        flags_->GetDesc(&desc);
        desc.Usage = D3D11_USAGE_STAGING;
        desc.BindFlags = 0;
        desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        hr = device_->CreateTexture2D(&desc, nullptr, &staging_);
    }
    if (FAILED(hr)) {
        fail("create frame comparison maps", hr);
        blocks_.Reset();
        return false;
    }
    const CompareCB block_limits{{tiles.width() - 1, tiles.height() - 1, 0, 0}};
    const CompareCB reduce_limits{{block_columns - 1, block_rows - 1, 0, 0}};
    ComPtr<ID3D11DeviceContext> context;
    device_->GetImmediateContext(&context);
    context->UpdateSubresource(block_constants_.Get(), 0, nullptr, &block_limits, 0, 0);
    context->UpdateSubresource(reduce_constants_.Get(), 0, nullptr, &reduce_limits, 0, 0);
    width_ = tiles.width();
    height_ = tiles.height();
    return true;
}

void FrameCompare::fail(const char* call, HRESULT hr) noexcept {
    if (!failed_) {
        failed_ = true;
        log_failed_call(call, hr);
        log_message("capture: frames cannot be compared, every changed frame is copied whole");
    }
}

void FrameCompare::run_pass(ID3D11DeviceContext* context, ID3D11PixelShader* shader, ID3D11RenderTargetView* target,
                            std::int32_t width, std::int32_t height, ID3D11Buffer* constants, UINT first_slot,
                            std::size_t view_count, ID3D11ShaderResourceView* const* views,
                            const std::vector<PixelBox>& boxes, std::int32_t scale) noexcept {
    context->ClearRenderTargetView(target, unchanged);
    D3D11_VIEWPORT viewport{};
    viewport.Width = static_cast<float>(width);
    viewport.Height = static_cast<float>(height);
    viewport.MaxDepth = 1.0f;
    context->RSSetViewports(1, &viewport);
    context->OMSetRenderTargets(1, &target, nullptr);
    context->PSSetShader(shader, nullptr, 0);
    context->PSSetConstantBuffers(0, 1, &constants);
    context->PSSetShaderResources(first_slot, static_cast<UINT>(view_count), views);
    for (const PixelBox& box : boxes) {
        const D3D11_RECT scissor{box.left / scale, box.top / scale, scaled_up(box.right, scale),
                                 scaled_up(box.bottom, scale)};
        context->RSSetScissorRects(1, &scissor);
        context->Draw(compare_vertex_count, 0);
    }
    ID3D11ShaderResourceView* const no_views[2] = {nullptr, nullptr};
    context->PSSetShaderResources(first_slot, static_cast<UINT>(view_count), no_views);
    ID3D11RenderTargetView* no_target = nullptr;
    context->OMSetRenderTargets(1, &no_target, nullptr);
}

bool FrameCompare::keep_changed_tiles(ID3D11Device* device, ID3D11DeviceContext* context,
                                      ID3D11ShaderResourceView* fresh, ID3D11ShaderResourceView* kept,
                                      TileGrid& tiles) {
    if (failed_ || fresh == nullptr || kept == nullptr || tiles.columns() <= 0 || tiles.rows() <= 0 ||
        tiles.tile() != change_tile_size) {
        return false;
    }
    if ((device_.Get() != device && !create(device)) || !ensure_maps(tiles)) {
        return false;
    }
    // The candidate tiles as a few boxes: one scissored draw each, in each pass.
    const std::vector<PixelBox> candidates = tiles.boxes();
    context->RSSetState(rasterizer_.Get());
    context->OMSetBlendState(nullptr, nullptr, 0xFFFFFFFFu);
    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    context->IASetInputLayout(nullptr);
    context->VSSetShader(vertex_shader_.Get(), nullptr, 0);
    ID3D11ShaderResourceView* const images[] = {fresh, kept};
    run_pass(context, block_shader_.Get(), blocks_target_.Get(), scaled_up(width_, block), scaled_up(height_, block),
             block_constants_.Get(), 0, 2, images, candidates, block);
    ID3D11ShaderResourceView* const blocks[] = {blocks_view_.Get()};
    run_pass(context, reduce_shader_.Get(), flags_target_.Get(), tiles.columns(), tiles.rows(), reduce_constants_.Get(),
             2, 1, blocks, candidates, change_tile_size);
    context->CopyResource(staging_.Get(), flags_.Get());

    // The one wait of the frame: the answer decides what is copied, drawn and presented.
    const std::int64_t started = microseconds_now();
    D3D11_MAPPED_SUBRESOURCE mapped{};
    const HRESULT hr = context->Map(staging_.Get(), 0, D3D11_MAP_READ, 0, &mapped);
    last_wait_us_ = microseconds_now() - started;
    if (FAILED(hr)) {
        // A lost device shows here first; the caller copies whole, and the next frame tells more.
        log_failed_call("Map frame comparison", hr);
        return false;
    }
    std::vector<std::uint8_t>& flags = tiles.flags();
    const auto* rows = static_cast<const std::uint8_t*>(mapped.pData);
    const auto columns = static_cast<std::size_t>(tiles.columns());
    for (std::int32_t row = 0; row < tiles.rows(); ++row) {
        const std::uint8_t* answer = rows + static_cast<std::size_t>(row) * mapped.RowPitch;
        std::uint8_t* flag = flags.data() + static_cast<std::size_t>(row) * columns;
        for (std::size_t column = 0; column < columns; ++column) {
            flag[column] = flag[column] != 0 && answer[column] != 0 ? 1 : 0;
        }
    }
    context->Unmap(staging_.Get(), 0);
    return true;
}

void copy_boxes(ID3D11DeviceContext* context, ID3D11Texture2D* destination, ID3D11Texture2D* source,
                const std::vector<PixelBox>& boxes) noexcept {
    for (const PixelBox& box : boxes) {
        const D3D11_BOX region{static_cast<UINT>(box.left),  static_cast<UINT>(box.top),    0,
                               static_cast<UINT>(box.right), static_cast<UINT>(box.bottom), 1};
        context->CopySubresourceRegion(destination, 0, static_cast<UINT>(box.left), static_cast<UINT>(box.top), 0,
                                       source, 0, &region);
    }
}

}  // namespace kelvane
