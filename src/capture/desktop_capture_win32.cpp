// Desktop Duplication: output lookup, duplication start, frame acquisition and pointer shapes.
#include "capture/desktop_capture_win32.h"

#include <dxgi1_6.h>

#include <iterator>

#include "platform/log.h"

namespace kelvane {

namespace {

struct Candidate {
    ComPtr<IDXGIAdapter1> adapter;
    ComPtr<IDXGIOutput1> output;
};

// The adapters in the order to try them: the system's minimum-power order where it offers one (the
// integrated GPU, which drives a laptop's panel, first), else enumeration order.
std::vector<ComPtr<IDXGIAdapter1>> adapters_in_order(IDXGIFactory1* factory) {
    std::vector<ComPtr<IDXGIAdapter1>> adapters;
    ComPtr<IDXGIFactory6> factory6;
    if (SUCCEEDED(factory->QueryInterface(IID_PPV_ARGS(&factory6)))) {
        for (UINT i = 0;; ++i) {
            ComPtr<IDXGIAdapter1> adapter;
            if (FAILED(factory6->EnumAdapterByGpuPreference(i, DXGI_GPU_PREFERENCE_MINIMUM_POWER,
                                                            IID_PPV_ARGS(&adapter)))) {
                break;
            }
            adapters.push_back(adapter);
        }
        if (!adapters.empty()) {
            return adapters;
        }
    }
    for (UINT i = 0;; ++i) {
        ComPtr<IDXGIAdapter1> adapter;
        if (FAILED(factory->EnumAdapters1(i, &adapter))) {
            break;
        }
        adapters.push_back(adapter);
    }
    return adapters;
}

}  // namespace

std::uint64_t adapter_id(IDXGIAdapter1* adapter) noexcept {
    DXGI_ADAPTER_DESC1 desc{};
    if (adapter == nullptr || FAILED(adapter->GetDesc1(&desc))) {
        return 0;
    }
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(desc.AdapterLuid.HighPart)) << 32) |
           desc.AdapterLuid.LowPart;
}

bool find_output_for_monitor(HMONITOR monitor, ComPtr<IDXGIAdapter1>& adapter, ComPtr<IDXGIOutput1>& output,
                             AdapterChoice& choice) {
    ComPtr<IDXGIFactory1> factory;
    const HRESULT hr = CreateDXGIFactory1(IID_PPV_ARGS(&factory));
    if (FAILED(hr)) {
        log_failed_call("CreateDXGIFactory1", hr);
        return false;
    }
    std::vector<Candidate> candidates;
    std::vector<std::uint64_t> ids;
    for (const ComPtr<IDXGIAdapter1>& candidate_adapter : adapters_in_order(factory.Get())) {
        ComPtr<IDXGIOutput> candidate;
        for (UINT output_index = 0; SUCCEEDED(candidate_adapter->EnumOutputs(output_index, &candidate));
             ++output_index) {
            DXGI_OUTPUT_DESC desc{};
            ComPtr<IDXGIOutput1> candidate1;
            if (SUCCEEDED(candidate->GetDesc(&desc)) && desc.Monitor == monitor &&
                SUCCEEDED(candidate.As(&candidate1))) {
                candidates.push_back(Candidate{candidate_adapter, candidate1});
                ids.push_back(adapter_id(candidate_adapter.Get()));
                break;  // one output of an adapter shows a monitor once
            }
            candidate.Reset();
        }
    }
    if (candidates.empty()) {
        log_message("FindOutputForMonitor: no DXGI output matches monitor %p", static_cast<void*>(monitor));
        return false;
    }
    Candidate& chosen = candidates[choice.pick(ids)];
    adapter = chosen.adapter;
    output = chosen.output;
    return true;
}

bool DesktopCapture::start_duplication(ID3D11Device* new_device, IDXGIOutput1* output) {
    duplication.Reset();
    frame_srv.Reset();
    frame_texture.Reset();
    context.Reset();
    device.Reset();
    has_frame = false;

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

    // Without a present time only the pointer changed. A present that changed nothing duplicated (a window
    // excluded from capture) is not copied or drawn either: no redraw at full rate over a still desktop.
    bool desktop_changed = info.LastPresentTime.QuadPart != 0 || !has_frame;
    if (desktop_changed && has_frame) {
        hr = frame_has_changes(info, desktop_changed);
        if (hr == DXGI_ERROR_ACCESS_LOST) {
            return lose_access();
        }
    }
    if (desktop_changed) {
        const AcquireResult copied = copy_frame(resource.Get());
        if (copied != AcquireResult::NewFrame) {
            return copied;
        }
    }
    if (duplication->ReleaseFrame() == DXGI_ERROR_ACCESS_LOST) {
        return lose_access();
    }
    return desktop_changed || pointer_changed ? AcquireResult::NewFrame : AcquireResult::Timeout;
}

AcquireResult DesktopCapture::lose_access() noexcept {
    // DXGI answers nothing more on a duplication that lost access: it is given up at once.
    log_message("capture: access lost");
    duplication.Reset();
    return AcquireResult::AccessLost;
}

HRESULT DesktopCapture::frame_has_changes(const DXGI_OUTDUPL_FRAME_INFO& info, bool& changed) {
    changed = true;  // what cannot be told is copied
    if (info.TotalMetadataBufferSize == 0) {
        changed = false;
        return S_OK;
    }
    metadata_buffer.resize(info.TotalMetadataBufferSize);
    const auto size = static_cast<UINT>(metadata_buffer.size());
    UINT moves = 0;
    HRESULT hr =
        duplication->GetFrameMoveRects(size, reinterpret_cast<DXGI_OUTDUPL_MOVE_RECT*>(metadata_buffer.data()), &moves);
    if (FAILED(hr) || moves != 0) {
        return hr;
    }
    UINT dirty = 0;
    hr = duplication->GetFrameDirtyRects(size, reinterpret_cast<RECT*>(metadata_buffer.data()), &dirty);
    if (SUCCEEDED(hr) && dirty == 0) {
        changed = false;
    }
    return hr;
}

// Copies the acquired desktop into frame_texture; releases the frame itself on failure.
AcquireResult DesktopCapture::copy_frame(IDXGIResource* resource) {
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
    if (!ensure_frame_texture(desc)) {
        duplication->ReleaseFrame();
        return AcquireResult::Failed;
    }
    context->CopyResource(frame_texture.Get(), acquired.Get());
    ++frames_copied;
    has_frame = true;
    return AcquireResult::NewFrame;
}

bool DesktopCapture::ensure_frame_texture(const D3D11_TEXTURE2D_DESC& desc) {
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
