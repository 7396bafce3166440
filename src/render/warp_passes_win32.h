// The drawing on the renderer's device: the pipeline of the warp and cursor passes, their constant
// buffers (warp rows, colour modes, footprint), the cursor sprite, and the two passes into a given
// render target with the shader variant of the colour mode in force.
#pragma once

#include <windows.h>
#include <d3d11.h>
#include <wrl/client.h>

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "capture/changed_regions.h"
#include "render/colour_constants_win32.h"
#include "render/footprint.h"
#include "render/footprint_tiles_win32.h"
#include "render/source_fit.h"
#include "render/warp_geometry.h"
#include "render/warp_pipeline_win32.h"

namespace kelvane {

// The shader program as embedded in the executable.
[[nodiscard]] std::string_view embedded_shader_source() noexcept;

struct PixelSize {
    int width = 0;
    int height = 0;
};

class WarpPasses {
public:
    WarpPasses() = default;
    ~WarpPasses() { release(); }
    WarpPasses(const WarpPasses&) = delete;
    WarpPasses& operator=(const WarpPasses&) = delete;

    // Compiles `shader_source` and makes the pipeline objects for a `width` x `height` output on
    // `device`. Stops at the first failure, after logging it; what was made so far is kept until release.
    [[nodiscard]] bool create(ID3D11Device* device, ID3D11DeviceContext* context, std::string_view shader_source,
                              int width, int height);

    // Releases every object, in reverse order of declaration. The warp and the cursor size are kept.
    void release() noexcept;

    // Recomputes the homography pair and uploads the shader rows for a source delivered turned by
    // `frame_rotation` (a DXGI_MODE_ROTATION value), fitted as the last set_source_fit said. Does
    // nothing before create.
    void update_warp(const WarpParams& params, std::uint32_t frame_rotation) noexcept;
    // Lays the source onto the output as `fit` says, kept until changed (also across create), and
    // recomputes the warp with the last parameters and rotation.
    void set_source_fit(const SourceFit& fit) noexcept;
    [[nodiscard]] const SourceFit& source_fit() const noexcept { return fit_; }

    // The output drawn for: on HDR, sRGB images (a B8G8R8A8 frame, the pattern, the cursor) become
    // linear light at its SDR white level; on SDR a linear FP16 frame is encoded as sRGB.
    void set_output_colour(const OutputColour& output) noexcept { colour_.set_output(output); }
    [[nodiscard]] const OutputColour& output_colour() const noexcept { return colour_.output(); }
    // The SDR white level of an FP16 source shown on an SDR output (ColourConstants::set_source_white).
    void set_source_white(float nits) noexcept { colour_.set_source_white(nits); }

    // Replaces the cursor sprite: `width` x `height` straight-alpha B8G8R8A8 words; with `screen_xor`
    // the colour of its alpha-0 pixels is XORed onto the frame (CursorImage::screen_xor).
    void set_cursor_image(int width, int height, const std::uint32_t* pixels, bool screen_xor = false);

    // The most footprint samples per axis of the warp pass, 1 to footprint_sample_cap (the default);
    // 1 draws the single bilinear sample everywhere, as before footprint sampling, for comparisons.
    void set_sample_cap(int cap) noexcept;

    // The warp pass, then the cursor pass, into `target` (of the output's size), leaving nothing bound:
    // only inside `boxes` (target pixels), or everywhere when null. The cursor's top-left corner
    // (`cursor_x`, `cursor_y`) is in source-monitor pixels, placed through the fit.
    void render(ID3D11RenderTargetView* target, ID3D11ShaderResourceView* source, bool cursor_visible, int cursor_x,
                int cursor_y, const std::vector<PixelBox>* boxes = nullptr) noexcept;

    // The fitted picture's forward homography of the last warp upload (WarpState::forward_h): what the
    // warp does on the output, whatever the source; for the mirror of a monitor on itself also where
    // the desktop's points go.
    [[nodiscard]] const Mat3& forward() const noexcept { return warp_.forward_h; }
    // Where the frame's points go (WarpState::frame_forward), for the frame's damage.
    [[nodiscard]] const Mat3& frame_forward() const noexcept { return warp_.frame_forward; }
    // Where the cursor's source-monitor pixels go (WarpState::cursor_forward), for its quad and box.
    [[nodiscard]] const Mat3& cursor_forward() const noexcept { return warp_.cursor_forward; }
    // The size of the last cursor image given, whether or not it could be uploaded.
    [[nodiscard]] PixelSize cursor_size() const noexcept { return cursor_size_; }
    [[nodiscard]] bool has_cursor_image() const noexcept { return cursor_srv_ != nullptr; }
    [[nodiscard]] ID3D11Buffer* warp_constants() const noexcept { return warp_cb_.Get(); }

private:
    [[nodiscard]] bool create_buffers();
    // The footprint constants for `source` and, when drawn, the cursor quad; uploaded when they changed.
    void update_footprint(ID3D11ShaderResourceView* source, const std::array<CursorVertex, 4>* quad) noexcept;
    // Places the cursor quad; false when it cannot. The cursor pass then draws it, once per box.
    [[nodiscard]] bool upload_cursor_quad(const std::array<CursorVertex, 4>& quad) noexcept;
    void draw_cursor(const ColourMode& mode) noexcept;

    Microsoft::WRL::ComPtr<ID3D11Device> device_;
    Microsoft::WRL::ComPtr<ID3D11DeviceContext> context_;
    WarpPipeline pipeline_;
    Microsoft::WRL::ComPtr<ID3D11Buffer> warp_cb_;
    Microsoft::WRL::ComPtr<ID3D11Buffer> footprint_cb_;
    Microsoft::WRL::ComPtr<ID3D11Buffer> cursor_vb_;
    FootprintTileBuffers tiles_;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> cursor_texture_;
    Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> cursor_srv_;
    ColourConstants colour_;
    FootprintCB footprint_{};
    bool footprint_uploaded_ = false;
    PixelSize cursor_size_;
    bool cursor_xor_ = false;
    WarpState warp_{};
    WarpParams params_{};
    std::uint32_t frame_rotation_ = output_rotation_identity;
    SourceFit fit_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace kelvane
