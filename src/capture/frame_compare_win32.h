// The GPU side of finding what really changed in a desktop frame: the new frame compared with the kept
// one in tiles (only where the frame's rectangles say a change may be), the per-tile answer read back
// through a tiny staging texture, and the changed boxes copied into the kept frame. Windows 11 reports
// dirty rectangles for a window excluded from capture each time it presents, with the pixels unchanged,
// so only the pixels can tell the mirror's own echo from a change. Used on the session thread alone.
#pragma once

#include <windows.h>
#include <d3d11.h>
#include <wrl/client.h>

#include <cstdint>

#include "capture/changed_regions.h"

namespace kelvane {

class FrameCompare {
public:
    FrameCompare() = default;
    ~FrameCompare() = default;  // members release in reverse order of declaration
    FrameCompare(const FrameCompare&) = delete;
    FrameCompare& operator=(const FrameCompare&) = delete;

    // Leaves set in `tiles` only those of its set tiles where `fresh` differs from `kept` (views of
    // two textures of the same size and format on `device`). False, after logging once, when the
    // comparison cannot be made: then nothing can be said, and the caller copies everything.
    [[nodiscard]] bool keep_changed_tiles(ID3D11Device* device, ID3D11DeviceContext* context,
                                          ID3D11ShaderResourceView* fresh, ID3D11ShaderResourceView* kept,
                                          TileGrid& tiles);

    // How long the last comparison kept the CPU waiting for the GPU's answer, in microseconds.
    [[nodiscard]] std::int64_t last_wait_us() const noexcept { return last_wait_us_; }

private:
    [[nodiscard]] bool create(ID3D11Device* device);
    [[nodiscard]] bool ensure_maps(const TileGrid& tiles);
    // One pass: `shader` into `target` (`width` x `height`), reading `views` from slot `first_slot`,
    // inside `boxes` (frame pixels) scaled down by `scale`.
    void run_pass(ID3D11DeviceContext* context, ID3D11PixelShader* shader, ID3D11RenderTargetView* target,
                  std::int32_t width, std::int32_t height, ID3D11Buffer* constants, UINT first_slot,
                  std::size_t view_count, ID3D11ShaderResourceView* const* views, const std::vector<PixelBox>& boxes,
                  std::int32_t scale) noexcept;
    void fail(const char* call, HRESULT hr) noexcept;

    Microsoft::WRL::ComPtr<ID3D11Device> device_;
    Microsoft::WRL::ComPtr<ID3D11VertexShader> vertex_shader_;
    Microsoft::WRL::ComPtr<ID3D11PixelShader> block_shader_;
    Microsoft::WRL::ComPtr<ID3D11PixelShader> reduce_shader_;
    Microsoft::WRL::ComPtr<ID3D11Buffer> block_constants_;
    Microsoft::WRL::ComPtr<ID3D11Buffer> reduce_constants_;
    Microsoft::WRL::ComPtr<ID3D11RasterizerState> rasterizer_;
    // One texel for each 4x4 block of the frame, then one for each tile (4x4 blocks).
    Microsoft::WRL::ComPtr<ID3D11Texture2D> blocks_;
    Microsoft::WRL::ComPtr<ID3D11RenderTargetView> blocks_target_;
    Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> blocks_view_;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> flags_;
    Microsoft::WRL::ComPtr<ID3D11RenderTargetView> flags_target_;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> staging_;
    std::int32_t width_ = 0;  // of the frame the maps were made for
    std::int32_t height_ = 0;
    bool failed_ = false;  // told once; every later frame is copied whole
    std::int64_t last_wait_us_ = 0;
};

// Copies `boxes` of `source` into the same places of `destination` (two textures of one size and format).
void copy_boxes(ID3D11DeviceContext* context, ID3D11Texture2D* destination, ID3D11Texture2D* source,
                const std::vector<PixelBox>& boxes) noexcept;

}  // namespace kelvane
