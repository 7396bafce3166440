// The warp pass's footprint tiles on the GPU: one immutable vertex buffer of tile triangles per grid
// size, made again only when the warp, the source's size or the sample cap changes, and drawn with
// the pixel shader variant of each grid.
#pragma once

#include <windows.h>
#include <d3d11.h>
#include <wrl/client.h>

#include <array>

#include "render/footprint.h"
#include "render/warp_pipeline_win32.h"

namespace kelvane {

class FootprintTileBuffers {
public:
    FootprintTileBuffers() = default;
    FootprintTileBuffers(const FootprintTileBuffers&) = delete;
    FootprintTileBuffers& operator=(const FootprintTileBuffers&) = delete;

    // Takes the next build's inputs; nothing is made until build.
    void set_warp(const WarpCB& rows) noexcept;
    void set_cap(int cap) noexcept;

    // The buffers for a `source_width` x `source_height` source on a `width` x `height` output, made
    // when anything changed. Nothing where no tile needs more than one sample, or when a buffer cannot
    // be made (logged): the caller then draws the whole output with the single sample.
    void build(ID3D11Device* device, int source_width, int source_height, int width, int height) noexcept;

    // Draws every tile with its grid's `variant` shader; false when there was nothing to draw.
    [[nodiscard]] bool draw(ID3D11DeviceContext* context, const WarpPipeline& pipeline,
                            ColourVariant variant) const noexcept;

    void release() noexcept;

private:
    // By samples per axis less one.
    std::array<Microsoft::WRL::ComPtr<ID3D11Buffer>, footprint_sample_cap> buffers_;
    std::array<UINT, footprint_sample_cap> vertex_counts_{};
    WarpCB rows_{};
    int cap_ = footprint_sample_cap;
    int source_width_ = 0;
    int source_height_ = 0;
    bool current_ = false;
};

}  // namespace kelvane
