// Desktop Duplication: output lookup, duplication start, frame acquisition and pointer shapes.
#include "capture/desktop_capture_win32.h"

#include <dxgi1_6.h>

#include <iterator>

#include "platform/log.h"

namespace kelvane {

bool DesktopCapture::start_duplication(ID3D11Device* new_device, IDXGIOutput1* output) {
    duplication.Reset();
    acquired_view_.Reset();
    acquired_texture_.Reset();
    frame_srv.Reset();
    frame_texture.Reset();
    context.Reset();
    device.Reset();
    has_frame = false;
    damage_ = Damage{true, {}};

    device = new_device;
    device->GetImmediateContext(&context);

    // The output's description is the fallback for a duplication that does not say.
    DXGI_OUTPUT_DESC output_desc{};
    if (SUCCEEDED(output->GetDesc(&output_desc))) {
        output_rotation = static_cast<std::uint32_t>(output_desc.Rotation);
    }

    // Where the system can hand over the desktop in its own format, it is asked for FP16 too, so that an
    // HDR desktop arrives unclipped; an SDR desktop still comes as B8G8R8A8.
    static constexpr DXGI_FORMAT formats[] = {DXGI_FORMAT_R16G16B16A16_FLOAT, DXGI_FORMAT_B8G8R8A8_UNORM};
    ComPtr<IDXGIOutput5> output5;
    HRESULT hr = E_NOTIMPL;
    if (SUCCEEDED(output->QueryInterface(IID_PPV_ARGS(&output5)))) {
        hr = output5->DuplicateOutput1(device.Get(), 0, static_cast<UINT>(std::size(formats)), formats, &duplication);
    }
    const char* call = "DuplicateOutput1";
    if (hr == E_NOTIMPL) {
        call = "DuplicateOutput";
        hr = output->DuplicateOutput(device.Get(), &duplication);
    }
    duplicate_result = hr;
    if (FAILED(hr)) {
        log_failed_call(call, hr);
        return false;
    }
    // The frames come in the panel's orientation, which the duplication itself describes.
    DXGI_OUTDUPL_DESC duplication_desc{};
    duplication->GetDesc(&duplication_desc);
    if (duplication_desc.Rotation != DXGI_MODE_ROTATION_UNSPECIFIED) {
        output_rotation = static_cast<std::uint32_t>(duplication_desc.Rotation);
    }
    if (output_rotation > output_rotation_identity) {
        log_message("capture: output rotation=%d (frames turned to the desktop's orientation)",
                    static_cast<int>(output_rotation));
    }
    log_message("capture: duplication started");
    return true;
}

AcquireResult DesktopCapture::acquire_frame(unsigned timeout_ms) {
    if (duplication == nullptr) {
        return AcquireResult::Failed;
    }
    DXGI_OUTDUPL_FRAME_INFO info{};
    ComPtr<IDXGIResource> resource;
    HRESULT hr = duplication->AcquireNextFrame(timeout_ms, &info, &resource);
    if (hr == DXGI_ERROR_WAIT_TIMEOUT) {
        return AcquireResult::Timeout;
    }
    if (hr == DXGI_ERROR_ACCESS_LOST) {
        return lose_access();
    }
    if (FAILED(hr)) {
        log_failed_call("AcquireNextFrame", hr);
        return AcquireResult::Failed;
    }

    // A new shape takes effect even if the rest of this frame fails.
    if (update_pointer_shape(info) == DXGI_ERROR_ACCESS_LOST) {
        return lose_access();
    }
    update_pointer_position(info);
    const bool pointer_changed = info.LastMouseUpdateTime.QuadPart != 0 || info.PointerShapeBufferSize != 0;

    // Without a present time only the pointer changed, and the image is not the desktop's to copy: also
    // not as a new duplication's first frame.
    bool desktop_changed = false;
    if (info.LastPresentTime.QuadPart != 0) {
        const AcquireResult taken = take_changes(info, resource.Get(), desktop_changed);
        if (taken != AcquireResult::NewFrame) {
            return taken;
        }
    }
    if (duplication->ReleaseFrame() == DXGI_ERROR_ACCESS_LOST) {
        return lose_access();
    }
    return desktop_changed || pointer_changed ? AcquireResult::NewFrame : AcquireResult::Timeout;
}

Damage DesktopCapture::take_damage() {
    Damage taken = std::move(damage_);
    damage_ = Damage{};
    return taken;
}

AcquireResult DesktopCapture::lose_access() noexcept {
    // DXGI answers nothing more on a duplication that lost access: it is given up at once.
    log_message("capture: access lost");
    duplication.Reset();
    return AcquireResult::AccessLost;
}

bool DesktopCapture::ensure_frame_texture(const D3D11_TEXTURE2D_DESC& desc, bool& made) {
    made = false;
    if (frame_texture != nullptr) {
        D3D11_TEXTURE2D_DESC own{};
        frame_texture->GetDesc(&own);
        if (own.Width == desc.Width && own.Height == desc.Height && own.Format == desc.Format) {
            return true;
        }
    }
    frame_srv.Reset();
    frame_texture.Reset();
    D3D11_TEXTURE2D_DESC copy_desc{};
    copy_desc.Width = desc.Width;
    copy_desc.Height = desc.Height;
    copy_desc.MipLevels = 1;
    copy_desc.ArraySize = 1;
    copy_desc.Format = desc.Format;
    copy_desc.SampleDesc.Count = 1;
    copy_desc.SampleDesc.Quality = 0;
    copy_desc.Usage = D3D11_USAGE_DEFAULT;
    copy_desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    HRESULT hr = device->CreateTexture2D(&copy_desc, nullptr, &frame_texture);
    if (SUCCEEDED(hr)) {
        hr = device->CreateShaderResourceView(frame_texture.Get(), nullptr, &frame_srv);
    }
    if (FAILED(hr)) {
        log_failed_call("create capture texture/srv", hr);
        // A half-made pair would pass the size check next time without a view to draw.
        frame_srv.Reset();
        frame_texture.Reset();
        return false;
    }
    log_message("capture: texture %ux%u fmt=%d", desc.Width, desc.Height, static_cast<int>(desc.Format));
    tiles_ = TileGrid(static_cast<std::int32_t>(desc.Width), static_cast<std::int32_t>(desc.Height));
    made = true;
    return true;
}

void DesktopCapture::update_pointer_position(const DXGI_OUTDUPL_FRAME_INFO& info) noexcept {
    // Only a mouse update says whether the pointer shows; other frames leave it as it was.
    if (info.LastMouseUpdateTime.QuadPart == 0) {
        return;
    }
    pointer.state = info.PointerPosition.Visible != FALSE ? PointerState::shown : PointerState::hidden;
    pointer.update_time = info.LastMouseUpdateTime.QuadPart;
}

HRESULT DesktopCapture::update_pointer_shape(const DXGI_OUTDUPL_FRAME_INFO& info) {
    if (info.PointerShapeBufferSize == 0) {
        return S_OK;
    }
    shape_buffer.assign(info.PointerShapeBufferSize, 0);
    UINT required = 0;
    DXGI_OUTDUPL_POINTER_SHAPE_INFO shape{};
    const HRESULT hr = duplication->GetFramePointerShape(static_cast<UINT>(shape_buffer.size()), shape_buffer.data(),
                                                         &required, &shape);
    if (FAILED(hr)) {
        return hr;
    }
    PointerShapeInfo shape_info;
    shape_info.type = shape.Type;
    shape_info.width = shape.Width;
    shape_info.height = shape.Height;
    shape_info.pitch = shape.Pitch;
    shape_info.hotspot_x = shape.HotSpot.x;
    shape_info.hotspot_y = shape.HotSpot.y;
    convert_pointer_shape(shape_buffer.data(), shape_buffer.size(), shape_info, cursor);
    return S_OK;
}

}  // namespace kelvane
