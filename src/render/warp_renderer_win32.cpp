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
    width_ = width;
    height_ = height;
    history_.forget();
    drawn_cursor_ = PixelBox{};
    drawn_source_.Reset();
    update_warp(WarpParams{});
    log_message("renderer: initialized %dx%d", width, height);
    return true;
}

void WarpRenderer::release_all() noexcept {
    drawn_source_.Reset();
    passes_.release();
    presenter_.release();
    gpu_.release();
}

PixelBox WarpRenderer::cursor_box(bool cursor_visible, int cursor_x, int cursor_y) const noexcept {
    if (!cursor_visible || !passes_.has_cursor_image()) {
        return PixelBox{};
    }
    const PixelSize size = passes_.cursor_size();
    return screen_box_of_cursor(passes_.cursor_forward(), CursorPlacement{cursor_x, cursor_y, size.width, size.height},
                                width_, height_);
}

ScreenDamage WarpRenderer::frame_screen_damage(ID3D11ShaderResourceView* source, const Damage& frame_damage,
                                               const PixelBox& cursor) {
    ScreenDamage damage;
    if (source != drawn_source_.Get()) {
        // Another image (the pattern, a new capture's first frame): nothing on screen is of it yet.
        ComPtr<ID3D11Resource> resource;
        ComPtr<ID3D11Texture2D> texture;
        source->GetResource(&resource);
        D3D11_TEXTURE2D_DESC desc{};
        if (resource != nullptr && SUCCEEDED(resource.As(&texture))) {
            texture->GetDesc(&desc);
        }
        drawn_source_size_ = PixelSize{static_cast<int>(desc.Width), static_cast<int>(desc.Height)};
        damage.everything = true;
    }
    if (redraw_everything_ || frame_damage.everything) {
        damage.everything = true;
    }
    if (!damage.everything) {
        const FrameView view{drawn_source_size_.width, drawn_source_size_.height, frame_rotation_, width_, height_,
                             passes_.frame_forward()};
        for (const PixelBox& box : frame_damage.boxes) {
            damage.add(screen_box_of_frame_box(view, box));
        }
    }
    if (cursor_changed_ || !(cursor == drawn_cursor_)) {
        damage.add(drawn_cursor_);
        damage.add(cursor);
    }
    damage.simplify(width_, height_);
    return damage;
}

bool WarpRenderer::draw(ID3D11ShaderResourceView* source, bool cursor_visible, int cursor_x, int cursor_y,
                        const Damage& frame_damage) {
    return render_frame(source, cursor_visible, cursor_x, cursor_y, frame_damage) && present_frame();
}

bool WarpRenderer::render_frame(ID3D11ShaderResourceView* source, bool cursor_visible, int cursor_x, int cursor_y,
                                const Damage& frame_damage) {
    last_redraw_ = ScreenDamage{};
    pending_ = ScreenDamage{};
    if (presenter_.swap_chain() == nullptr || source == nullptr) {
        return false;
    }
    ID3D11RenderTargetView* const target = presenter_.back_buffer_view();
    if (target == nullptr) {
        return false;
    }
    pending_cursor_ = cursor_box(cursor_visible, cursor_x, cursor_y);
    pending_ = frame_screen_damage(source, frame_damage, pending_cursor_);
    drawn_source_ = source;
    if (pending_.none()) {
        return true;  // the picture on screen is already this one
    }
    last_redraw_ = history_.redraw(pending_, width_, height_);
    presenter_.wait_until_ready();
    passes_.render(target, source, cursor_visible, cursor_x, cursor_y,
                   last_redraw_.everything ? nullptr : &last_redraw_.boxes);
    return true;
}

bool WarpRenderer::present_frame() {
    if (pending_.none()) {
        // Nothing to show, so no present tells whether the device still works: it is asked instead.
        return gpu_.device() != nullptr && SUCCEEDED(gpu_.device()->GetDeviceRemovedReason());
    }
    const bool whole = history_.present_whole() || pending_.everything;
    const PresentResult result = presenter_.present(whole ? nullptr : &pending_.boxes);
    if (result == PresentResult::ok) {
        history_.presented(pending_);
        redraw_everything_ = false;
        cursor_changed_ = false;
        drawn_cursor_ = pending_cursor_;
        pending_ = ScreenDamage{};
        return true;
    }
    // What the screen shows is no longer known: the next draw starts from a whole picture.
    history_.forget();
    redraw_everything_ = true;
    pending_ = ScreenDamage{};
    return result == PresentResult::occluded;
}

}  // namespace kelvane
