// The GPU side of the mirror, as the session sees it: the device on the mirrored monitor's adapter, the
// presenter that shows frames in the overlay window, and the warp and cursor passes, made, used and
// released together. Created, used and released on the session thread alone.
#pragma once

#include <windows.h>
#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <cstdint>
#include <string_view>

#include "render/gpu_device_win32.h"
#include "render/presenter_win32.h"
#include "render/screen_damage.h"
#include "render/warp_geometry.h"
#include "render/warp_passes_win32.h"

namespace kelvane {

using Microsoft::WRL::ComPtr;

class WarpRenderer {
public:
    WarpRenderer() = default;
    ~WarpRenderer() { release_all(); }
    WarpRenderer(const WarpRenderer&) = delete;
    WarpRenderer& operator=(const WarpRenderer&) = delete;

    // Builds everything for a `width` x `height` output on `adapter`, shown in `window`, presenting as
    // `colour` asks (an HDR output gets the FP16 scRGB swap chain where the system allows it).
    [[nodiscard]] bool initialize(IDXGIAdapter1* adapter, HWND window, int width, int height,
                                  const OutputColour& colour = {});
    // The same with another shader text; lets tests check how a broken program is reported.
    [[nodiscard]] bool initialize_with_shader(IDXGIAdapter1* adapter, HWND window, int width, int height,
                                              std::string_view shader_source, const OutputColour& colour = {});

    // Releases the passes, then the presenter, then the device.
    void release_all() noexcept;

    // Recomputes the homography pair and uploads the shader rows for a source delivered turned by
    // `frame_rotation` (a DXGI_MODE_ROTATION value; the pattern is never turned). Does nothing before
    // initialize.
    void update_warp(const WarpParams& params, std::uint32_t frame_rotation = output_rotation_identity) noexcept {
        passes_.update_warp(params, frame_rotation);
        frame_rotation_ = frame_rotation;
        redraw_everything();
    }

    // Lays the source onto the output as `fit` says (a zero source size: the output's own desktop),
    // kept until changed; the warp is recomputed with the last parameters and rotation and everything
    // is drawn again. Does nothing to the picture before initialize, but is kept for it.
    void set_source_fit(const SourceFit& fit) noexcept {
        passes_.set_source_fit(fit);
        redraw_everything();
    }

    // The SDR white level, in nits, of an HDR source shown on an SDR output: its scRGB values are
    // divided by it (in scRGB units) before they are clipped and encoded. 80 nits (scRGB's 1.0) until
    // set: the source is the output itself.
    void set_source_white(float nits) noexcept {
        passes_.set_source_white(nits);
        redraw_everything();
    }

    // What the frames are drawn for: hdr only when the swap chain really is FP16 scRGB.
    [[nodiscard]] const OutputColour& output_colour() const noexcept { return passes_.output_colour(); }
    // A new SDR white level for the sRGB parts (pattern, cursor, 8-bit frames) on an HDR output.
    void set_sdr_white(float nits) noexcept {
        passes_.set_output_colour(OutputColour{passes_.output_colour().hdr, nits});
        redraw_everything();
    }

    // The most footprint samples per axis (WarpPasses::set_sample_cap); 1 for comparisons with the
    // single bilinear sample.
    void set_sample_cap(int cap) noexcept { passes_.set_sample_cap(cap); }

    // Replaces the cursor sprite: `width` x `height` straight-alpha B8G8R8A8 words; `screen_xor` as
    // CursorImage::screen_xor.
    void set_cursor_image(int width, int height, const std::uint32_t* pixels, bool screen_xor = false) {
        passes_.set_cursor_image(width, height, pixels, screen_xor);
        cursor_changed_ = true;
    }

    // The next draw draws and presents the whole picture (a repaint after the window was hidden).
    void redraw_everything() noexcept { redraw_everything_ = true; }

    // Draws the frame into the swap chain's back buffer and presents it with vertical sync: only what
    // `frame_damage` (texels of `source` that changed since the last draw) and the cursor's old and new
    // places touch on the screen, plus what the back buffer lacks of the last presents. The cursor's
    // top-left corner is in source-monitor pixels. True when the frame was presented, also while the
    // window is hidden from view, or when nothing had changed.
    [[nodiscard]] bool draw(ID3D11ShaderResourceView* source, bool cursor_visible, int cursor_x, int cursor_y,
                            const Damage& frame_damage = Damage{true, {}});
    // The two halves of draw: what changed drawn into the back buffer (false when nothing can be drawn
    // at all), then presented.
    [[nodiscard]] bool render_frame(ID3D11ShaderResourceView* source, bool cursor_visible, int cursor_x, int cursor_y,
                                    const Damage& frame_damage = Damage{true, {}});
    [[nodiscard]] bool present_frame();
    // What the last draw drew into the back buffer (none when it had nothing to do).
    [[nodiscard]] const ScreenDamage& last_redraw() const noexcept { return last_redraw_; }

    // The two passes of draw into any render target of the output's size (draw's back buffer, or an
    // offscreen texture), leaving nothing bound afterwards.
    void render_passes(ID3D11RenderTargetView* target, ID3D11ShaderResourceView* source, bool cursor_visible,
                       int cursor_x, int cursor_y) noexcept {
        passes_.render(target, source, cursor_visible, cursor_x, cursor_y);
    }

    // True when the swap chain is shown through DirectComposition, false when it presents to the
    // window directly.
    [[nodiscard]] bool uses_composition() const noexcept { return presenter_.uses_composition(); }

    // The device everything is made on (capture and the pattern share it); null before initialize.
    [[nodiscard]] ID3D11Device* device() const noexcept { return gpu_.device(); }
    [[nodiscard]] IDXGISwapChain1* swap_chain() const noexcept { return presenter_.swap_chain(); }
    // The fitted picture's forward homography (WarpPasses::forward); the frame's and the cursor's
    // maps through the fit beside it.
    [[nodiscard]] const Mat3& forward() const noexcept { return passes_.forward(); }
    [[nodiscard]] const Mat3& frame_forward() const noexcept { return passes_.frame_forward(); }
    [[nodiscard]] const Mat3& cursor_forward() const noexcept { return passes_.cursor_forward(); }
    [[nodiscard]] PixelSize cursor_size() const noexcept { return passes_.cursor_size(); }
    [[nodiscard]] bool has_cursor_image() const noexcept { return passes_.has_cursor_image(); }
    [[nodiscard]] ID3D11Buffer* warp_constants() const noexcept { return passes_.warp_constants(); }

private:
    // The screen damage of a draw, before the back buffer's history is added.
    [[nodiscard]] ScreenDamage frame_screen_damage(ID3D11ShaderResourceView* source, const Damage& frame_damage,
                                                   const PixelBox& cursor_box);
    [[nodiscard]] PixelBox cursor_box(bool cursor_visible, int cursor_x, int cursor_y) const noexcept;

    GpuDevice gpu_;
    Presenter presenter_;
    WarpPasses passes_;
    // Released first (release_all), with the passes.
    DamageHistory history_{swap_chain_buffer_count};
    std::uint32_t frame_rotation_ = output_rotation_identity;
    bool redraw_everything_ = true;
    bool cursor_changed_ = true;
    PixelBox drawn_cursor_;                          // where the last present shows the cursor
    ComPtr<ID3D11ShaderResourceView> drawn_source_;  // the last image drawn, held so no other takes its address
    PixelSize drawn_source_size_;
    ScreenDamage pending_;  // drawn, not yet presented
    PixelBox pending_cursor_;
    ScreenDamage last_redraw_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace kelvane
