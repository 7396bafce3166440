// What a desktop frame changed: its rectangles read, the tiles they touch compared with the kept frame
// on the GPU, and only the tiles that differ copied. A frame whose rectangles cover unchanged pixels
// (the mirror's own overlay presenting, which Windows 11 reports as dirty although the window is
// excluded from capture) changes nothing and costs no copy, draw or present.
#include <dxgi1_2.h>

#include "capture/desktop_capture_win32.h"
#include "platform/log.h"

namespace kelvane {

AcquireResult DesktopCapture::take_changes(const DXGI_OUTDUPL_FRAME_INFO& info, IDXGIResource* resource,
                                           bool& changed) {
    changed = false;
    ComPtr<ID3D11Texture2D> acquired;
    const HRESULT hr = resource->QueryInterface(IID_PPV_ARGS(&acquired));
    if (FAILED(hr)) {
        duplication->ReleaseFrame();
        log_failed_call("frame QI ID3D11Texture2D", hr);
        return AcquireResult::Failed;
    }
    D3D11_TEXTURE2D_DESC desc{};
    acquired->GetDesc(&desc);
    if (desc.Format != DXGI_FORMAT_B8G8R8A8_UNORM && desc.Format != DXGI_FORMAT_R16G16B16A16_FLOAT) {
        duplication->ReleaseFrame();
        log_message("capture: frame format %d cannot be drawn", static_cast<int>(desc.Format));
        return AcquireResult::Failed;
    }
    bool made = false;
    if (!ensure_frame_texture(desc, made)) {
        duplication->ReleaseFrame();
        return AcquireResult::Failed;
    }
    // A first frame, or one of a new size or format, is taken whole; so is one whose rectangles cannot
    // be read, or whose tiles cannot be compared.
    Damage found{true, {}};
    if (has_frame && !made) {
        bool readable = false;
        if (mark_changed_rects(info, readable) == DXGI_ERROR_ACCESS_LOST) {
            return lose_access();
        }
        if (readable && !tiles_.any()) {
            ++frames_unchanged;
            return AcquireResult::NewFrame;
        }
        if (readable && compare_tiles(acquired.Get())) {
            if (!tiles_.any()) {
                ++frames_unchanged;
                return AcquireResult::NewFrame;
            }
            found = Damage{false, tiles_.boxes()};
            found.simplify(static_cast<std::int32_t>(desc.Width), static_cast<std::int32_t>(desc.Height));
        }
    }
    if (found.everything) {
        context->CopyResource(frame_texture.Get(), acquired.Get());
    } else {
        copy_boxes(context.Get(), frame_texture.Get(), acquired.Get(), found.boxes);
    }
    damage_.add(found);
    ++frames_copied;
    has_frame = true;
    changed = true;
    return AcquireResult::NewFrame;
}

HRESULT DesktopCapture::mark_changed_rects(const DXGI_OUTDUPL_FRAME_INFO& info, bool& readable) {
    tiles_.clear();
    readable = true;
    if (info.TotalMetadataBufferSize == 0) {
        return S_OK;
    }
    metadata_buffer.resize(info.TotalMetadataBufferSize);
    const auto size = static_cast<UINT>(metadata_buffer.size());
    // A move's destination holds new pixels unless what moved there was the same; comparing it with
    // the kept frame tells, as for a dirty rectangle. Moves come first, as DXGI orders them.
    UINT bytes = 0;
    HRESULT hr =
        duplication->GetFrameMoveRects(size, reinterpret_cast<DXGI_OUTDUPL_MOVE_RECT*>(metadata_buffer.data()), &bytes);
    if (FAILED(hr)) {
        readable = false;
        return hr;
    }
    const auto* moves = reinterpret_cast<const DXGI_OUTDUPL_MOVE_RECT*>(metadata_buffer.data());
    for (UINT i = 0; i < bytes / sizeof(DXGI_OUTDUPL_MOVE_RECT); ++i) {
        const RECT& to = moves[i].DestinationRect;
        tiles_.mark(PixelBox{to.left, to.top, to.right, to.bottom});
    }
    hr = duplication->GetFrameDirtyRects(size, reinterpret_cast<RECT*>(metadata_buffer.data()), &bytes);
    if (FAILED(hr)) {
        readable = false;
        return hr;
    }
    const auto* dirty = reinterpret_cast<const RECT*>(metadata_buffer.data());
    for (UINT i = 0; i < bytes / sizeof(RECT); ++i) {
        tiles_.mark(PixelBox{dirty[i].left, dirty[i].top, dirty[i].right, dirty[i].bottom});
    }
    return S_OK;
}

bool DesktopCapture::compare_tiles(ID3D11Texture2D* acquired) {
    if (acquired != acquired_texture_.Get()) {
        acquired_view_.Reset();
        acquired_texture_ = acquired;
        const HRESULT hr = device->CreateShaderResourceView(acquired, nullptr, &acquired_view_);
        if (FAILED(hr)) {
            // Not every system's desktop image can be sampled; then it cannot be compared either.
            acquired_view_.Reset();
            return false;
        }
    }
    return acquired_view_ != nullptr &&
           compare.keep_changed_tiles(device.Get(), context.Get(), acquired_view_.Get(), frame_srv.Get(), tiles_);
}

}  // namespace kelvane
