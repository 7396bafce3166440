// WarpRenderer: the device, the presenter and the passes made in turn, and the frame drawn and shown.
#include "render/warp_renderer_win32.h"

#include "platform/log.h"

namespace kelvane {

bool WarpRenderer::initialize(IDXGIAdapter1* adapter, HWND window, int width, int height, const OutputColour& colour) {
    return initialize_with_shader(adapter, window, width, height, embedded_shader_source(), colour);
}

bool WarpRenderer::initialize_with_shader(IDXGIAdapter1* adapter, HWND window, int width, int height,
                                          std::string_view shader_source, const OutputColour& colour) {
    release_all();
    if (!gpu_.create(adapter) || !presenter_.create(gpu_.device(), adapter, window, width, height, colour.hdr) ||
        !passes_.create(gpu_.device(), gpu_.context(), shader_source, width, height)) {
        return false;
    }
    passes_.set_output_colour(OutputColour{presenter_.hdr(), colour.sdr_white_nits});
    update_warp(WarpParams{});
    log_message("renderer: initialized %dx%d", width, height);
    return true;
}

void WarpRenderer::release_all() noexcept {
    passes_.release();
    presenter_.release();
    gpu_.release();
}

bool WarpRenderer::draw(ID3D11ShaderResourceView* source, bool cursor_visible, int cursor_x, int cursor_y) {
    if (presenter_.swap_chain() == nullptr || source == nullptr) {
        return false;
    }
    ID3D11RenderTargetView* const target = presenter_.back_buffer_view();
    if (target == nullptr) {
        return false;
    }
    presenter_.wait_until_ready();
    passes_.render(target, source, cursor_visible, cursor_x, cursor_y);
    const PresentResult result = presenter_.present();
    return result == PresentResult::ok || result == PresentResult::occluded;
}

}  // namespace kelvane
