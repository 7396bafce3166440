// Footprint tile buffers: made from the portable tiles, drawn grid by grid.
#include "render/footprint_tiles_win32.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/log.h"

namespace kelvane {
namespace {

constexpr UINT tile_vertex_stride = 2 * sizeof(float);

}  // namespace

void FootprintTileBuffers::set_warp(const WarpCB& rows) noexcept {
    rows_ = rows;
    current_ = false;
}

void FootprintTileBuffers::set_cap(int cap) noexcept {
    cap_ = std::clamp(cap, 1, footprint_sample_cap);
    current_ = false;
}

void FootprintTileBuffers::release() noexcept {
    for (auto& buffer : buffers_) {
        buffer.Reset();
    }
    vertex_counts_ = {};
    current_ = false;
}

void FootprintTileBuffers::build(ID3D11Device* device, int source_width, int source_height, int width,
                                 int height) noexcept {
    if (current_ && source_width == source_width_ && source_height == source_height_) {
        return;
    }
    release();
    current_ = true;
    source_width_ = source_width;
    source_height_ = source_height;
    if (cap_ == 1 || device == nullptr) {
        return;
    }
    const FootprintTiles tiles = footprint_tiles(rows_, source_width, source_height, width, height, cap_);
    if (std::all_of(tiles.samples.begin(), tiles.samples.end(), [](std::uint8_t n) { return n == 1; })) {
        return;  // one full-screen triangle draws it all
    }
    for (int samples = 1; samples <= cap_; ++samples) {
        const std::vector<float> vertices = tile_triangles(tiles, samples, width, height);
        if (vertices.empty()) {
            continue;
        }
        D3D11_BUFFER_DESC desc{};
        desc.ByteWidth = static_cast<UINT>(vertices.size() * sizeof(float));
        desc.Usage = D3D11_USAGE_IMMUTABLE;
        desc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
        D3D11_SUBRESOURCE_DATA data{};
        data.pSysMem = vertices.data();
        const auto index = static_cast<std::size_t>(samples - 1);
        const HRESULT hr = device->CreateBuffer(&desc, &data, &buffers_[index]);
        if (FAILED(hr)) {
            // The whole output then keeps the single sample: a picture with no hole in it.
            log_failed_call("create footprint tiles", hr);
            release();
            current_ = true;
            return;
        }
        vertex_counts_[index] = static_cast<UINT>(vertices.size() / 2);
    }
}

bool FootprintTileBuffers::draw(ID3D11DeviceContext* context, const WarpPipeline& pipeline,
                                ColourVariant variant) const noexcept {
    bool drawn = false;
    for (std::size_t index = 0; index < buffers_.size(); ++index) {
        if (vertex_counts_[index] == 0) {
            continue;
        }
        context->IASetInputLayout(pipeline.tile_layout.Get());
        ID3D11Buffer* buffers[] = {buffers_[index].Get()};
        const UINT stride = tile_vertex_stride;
        const UINT offset = 0;
        context->IASetVertexBuffers(0, 1, buffers, &stride, &offset);
        context->VSSetShader(pipeline.tile_vs.Get(), nullptr, 0);
        context->PSSetShader(pipeline.warp_shader(variant, static_cast<int>(index) + 1), nullptr, 0);
        context->Draw(vertex_counts_[index], 0);
        drawn = true;
    }
    return drawn;
}

}  // namespace kelvane
