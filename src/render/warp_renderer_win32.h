// The GPU side of the mirror: the Direct3D 11 device on the mirrored monitor's adapter, the swap chain
// shown in the overlay window (through DirectComposition, or straight on the window where composition
// is missing), the compiled shader program, the pipeline objects of the warp and cursor passes, and
// the per-frame drawing. Created, used and released on the session thread alone.
#pragma once

#include <windows.h>
#include <d3d11.h>
#include <dcomp.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <cstdint>
#include <string_view>

#include "render/warp_geometry.h"

namespace kelvane {

using Microsoft::WRL::ComPtr;

// The shader program as embedded in the executable.
[[nodiscard]] std::string_view embedded_shader_source() noexcept;

class WarpRenderer {
public:
    WarpRenderer() = default;
    ~WarpRenderer() { release_all(); }
    WarpRenderer(const WarpRenderer&) = delete;
    WarpRenderer& operator=(const WarpRenderer&) = delete;

    // Builds everything for a `width` x `height` output on `adapter`, shown in `window`.
    [[nodiscard]] bool initialize(IDXGIAdapter1* adapter, HWND window, int width, int height);
    // The same with another shader text; lets tests check how a broken program is reported.
    [[nodiscard]] bool initialize_with_shader(IDXGIAdapter1* adapter, HWND window, int width, int height,
                                              std::string_view shader_source);

    // Releases every interface, in reverse order of declaration.
    void release_all() noexcept;

    // Recomputes the homography pair and uploads the shader rows. Does nothing before initialize.
    void update_warp(const WarpParams& params) noexcept;

    // Replaces the cursor sprite: `width` x `height` straight-alpha B8G8R8A8 words.
    void set_cursor_image(int width, int height, const std::uint32_t* pixels);

    // Draws the frame into the swap chain's back buffer and presents it with vertical sync.
    [[nodiscard]] bool draw(ID3D11ShaderResourceView* source, bool cursor_visible, int cursor_x, int cursor_y,
                            bool cursor_rotated_180);

    // The two passes of draw into any render target of the output's size (draw's back buffer, or an
    // offscreen texture), leaving nothing bound afterwards.
    void render_passes(ID3D11RenderTargetView* target, ID3D11ShaderResourceView* source, bool cursor_visible,
                       int cursor_x, int cursor_y, bool cursor_rotated_180) noexcept;

    // True when the swap chain is shown through DirectComposition, false when it presents to the
    // window directly.
    [[nodiscard]] bool uses_composition() const noexcept { return dcomp_visual != nullptr; }

    ComPtr<ID3D11Device> device;
    ComPtr<ID3D11DeviceContext> context;
    ComPtr<IDXGISwapChain1> swap_chain;
    ComPtr<IDCompositionDevice> dcomp_device;
    ComPtr<IDCompositionTarget> dcomp_target;
    ComPtr<IDCompositionVisual> dcomp_visual;
    ComPtr<ID3D11VertexShader> warp_vs;
    ComPtr<ID3D11PixelShader> warp_ps;
    ComPtr<ID3D11Buffer> warp_cb;
    ComPtr<ID3D11SamplerState> sampler;
    ComPtr<ID3D11RasterizerState> rasterizer;
    ComPtr<ID3D11VertexShader> cursor_vs;
    ComPtr<ID3D11PixelShader> cursor_ps;
    ComPtr<ID3D11InputLayout> cursor_layout;
    ComPtr<ID3D11Buffer> cursor_vb;
    ComPtr<ID3D11BlendState> cursor_blend;
    ComPtr<ID3D11Texture2D> cursor_texture;
    ComPtr<ID3D11ShaderResourceView> cursor_srv;
    int cursor_width = 0;
    int cursor_height = 0;
    Mat3 forward_h{};
    int width = 0;
    int height = 0;

private:
    [[nodiscard]] bool create_device(IDXGIAdapter1* adapter);
    [[nodiscard]] bool create_presentation(IDXGIAdapter1* adapter, HWND window);
    [[nodiscard]] bool create_composition(IDXGIFactory2* factory, HWND window);
    [[nodiscard]] bool create_pipeline(std::string_view shader_source);
    void release_composition() noexcept;
};

}  // namespace kelvane
