// Presenter: swap chain through composition or on the window, the back buffer's view, Present.
#include "render/presenter_win32.h"

#include <dxgi1_4.h>

#include <atomic>

#include "platform/log.h"
#include "render/composition_fallback.h"

namespace kelvane {
namespace {

using Microsoft::WRL::ComPtr;

constexpr UINT present_sync_interval = 1;
// A presenter reads the glass while speaking: every queued frame is lag.
constexpr UINT max_frame_latency = 1;
// Longer than a frame at any refresh rate; a wait that runs out only costs the pacing of one frame.
constexpr DWORD frame_wait_limit_ms = 100;
// DCOMPOSITION_ERROR_WINDOW_ALREADY_COMPOSED, which not every SDK names.
constexpr HRESULT window_already_composed = static_cast<HRESULT>(0x88980800u);

DXGI_SWAP_CHAIN_DESC1 swap_chain_description(int width, int height, DXGI_FORMAT format) {
    DXGI_SWAP_CHAIN_DESC1 desc{};
    desc.Width = static_cast<UINT>(width);
    desc.Height = static_cast<UINT>(height);
    desc.Format = format;
    desc.Stereo = FALSE;
    desc.SampleDesc.Count = 1;
    desc.SampleDesc.Quality = 0;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = swap_chain_buffer_count;
    desc.Scaling = DXGI_SCALING_STRETCH;
    // Sequential, not discard: a buffer keeps what was drawn into it, so a frame redraws only what
    // changed since that buffer was last shown.
    desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_SEQUENTIAL;
    desc.AlphaMode = DXGI_ALPHA_MODE_IGNORE;
    desc.Flags = DXGI_SWAP_CHAIN_FLAG_FRAME_LATENCY_WAITABLE_OBJECT;
    return desc;
}

}  // namespace

bool Presenter::create(ID3D11Device* device, IDXGIAdapter1* adapter, HWND window, int width, int height, bool hdr) {
    hdr_ = false;
    if (!hdr) {
        return create_swap_chain(device, adapter, window,
                                 swap_chain_description(width, height, DXGI_FORMAT_B8G8R8A8_UNORM));
    }
    if (!create_swap_chain(device, adapter, window,
                           swap_chain_description(width, height, DXGI_FORMAT_R16G16B16A16_FLOAT))) {
        // Some drivers and remote sessions make no FP16 swap chain: the 8-bit one still shows the mirror,
        // with HDR highlights clipped. A device that makes none at all fails the attempt here.
        static std::atomic<bool> said{false};
        if (!said.exchange(true)) {
            log_message("renderer: FP16 swap chain could not be made, presenting in SDR");
        }
        return create_swap_chain(device, adapter, window,
                                 swap_chain_description(width, height, DXGI_FORMAT_B8G8R8A8_UNORM));
    }
    if (set_linear_colour_space()) {
        hdr_ = true;
        return true;
    }
    return create_swap_chain(device, adapter, window,
                             swap_chain_description(width, height, DXGI_FORMAT_B8G8R8A8_UNORM));
}

bool Presenter::set_linear_colour_space() {
    // Linear scRGB is an FP16 swap chain's default: a swap chain that cannot be told (no
    // IDXGISwapChain3) is already in it.
    ComPtr<IDXGISwapChain3> swap_chain3;
    if (FAILED(swap_chain_.As(&swap_chain3))) {
        return true;
    }
    const HRESULT hr = swap_chain3->SetColorSpace1(DXGI_COLOR_SPACE_RGB_FULL_G10_NONE_P709);
    if (SUCCEEDED(hr)) {
        return true;
    }
    static std::atomic<bool> said{false};
    if (!said.exchange(true)) {
        log_failed_call("SetColorSpace1", hr);
        log_message("renderer: HDR colour space refused, presenting in SDR");
    }
    return false;
}

bool Presenter::create_swap_chain(ID3D11Device* device, IDXGIAdapter1* adapter, HWND window,
                                  const DXGI_SWAP_CHAIN_DESC1& desc) {
    release();
    device_ = device;
    ComPtr<IDXGIFactory2> factory;
    HRESULT hr = adapter->GetParent(IID_PPV_ARGS(&factory));
    if (FAILED(hr)) {
        log_failed_call("adapter GetParent factory", hr);
        return false;
    }
    const HRESULT composition = create_composition(factory.Get(), window, desc);
    if (SUCCEEDED(composition)) {
        limit_frame_latency();
        return true;
    }
    release_composition();
    if (!composition_missing(static_cast<std::int32_t>(composition))) {
        // A system with composition that failed now (a lost device, no memory): the attempt fails and
        // is made again, rather than hiding the failure behind a window swap chain.
        return false;
    }
    // The system has no composition: present to the overlay window itself, so the mirror still runs.
    hr = factory->CreateSwapChainForHwnd(device_.Get(), window, &desc, nullptr, nullptr, &swap_chain_);
    if (FAILED(hr)) {
        log_failed_call("CreateSwapChainForHwnd", hr);
        return false;
    }
    log_message("renderer: composition unavailable, presenting to the window directly");
    limit_frame_latency();
    return true;
}

void Presenter::limit_frame_latency() {
    // A waitable swap chain keeps its own limit; a swap chain without IDXGISwapChain2 (Wine's window
    // swap chain) follows the device's.
    ComPtr<IDXGISwapChain2> swap_chain2;
    HRESULT hr = swap_chain_.As(&swap_chain2);
    if (SUCCEEDED(hr)) {
        hr = swap_chain2->SetMaximumFrameLatency(max_frame_latency);
        if (SUCCEEDED(hr)) {
            frame_latency_waitable_.reset(swap_chain2->GetFrameLatencyWaitableObject());
            return;
        }
    }
    ComPtr<IDXGIDevice1> dxgi_device;
    hr = device_.As(&dxgi_device);
    if (SUCCEEDED(hr)) {
        hr = dxgi_device->SetMaximumFrameLatency(max_frame_latency);
    }
    if (FAILED(hr)) {
        log_failed_call("SetMaximumFrameLatency", hr);
    }
}

void Presenter::wait_until_ready() noexcept {
    if (frame_latency_waitable_) {
        WaitForSingleObjectEx(frame_latency_waitable_.get(), frame_wait_limit_ms, TRUE);
    }
}

HRESULT Presenter::create_composition(IDXGIFactory2* factory, HWND window, const DXGI_SWAP_CHAIN_DESC1& desc) {
    HRESULT hr = factory->CreateSwapChainForComposition(device_.Get(), &desc, nullptr, &swap_chain_);
    if (FAILED(hr)) {
        log_failed_call("CreateSwapChainForComposition", hr);
        return hr;
    }
    ComPtr<IDXGIDevice> dxgi_device;
    device_.As(&dxgi_device);
    hr = DCompositionCreateDevice(dxgi_device.Get(), IID_PPV_ARGS(&dcomp_device_));
    if (FAILED(hr)) {
        log_failed_call("DCompositionCreateDevice", hr);
        return hr;
    }
    hr = dcomp_device_->CreateTargetForHwnd(window, TRUE, &dcomp_target_);
    if (hr == window_already_composed) {
        // A game overlay (graphics driver, recording or chat program) already put its topmost target
        // on the window. Below it the picture is the same: the overlay window has no child windows.
        log_message("renderer: the window already has a topmost composition target, composing below it");
        hr = dcomp_device_->CreateTargetForHwnd(window, FALSE, &dcomp_target_);
    }
    if (FAILED(hr)) {
        log_failed_call("CreateTargetForHwnd", hr);
        return hr;
    }
    hr = dcomp_device_->CreateVisual(&dcomp_visual_);
    if (FAILED(hr)) {
        log_failed_call("CreateVisual", hr);
        return hr;
    }
    dcomp_visual_->SetContent(swap_chain_.Get());
    dcomp_target_->SetRoot(dcomp_visual_.Get());
    hr = dcomp_device_->Commit();
    if (FAILED(hr)) {
        log_failed_call("DComp Commit", hr);
        return hr;
    }
    return S_OK;
}

void Presenter::release_composition() noexcept {
    // The view holds the back buffer, which must go before the swap chain is given up.
    back_buffer_view_.Reset();
    frame_latency_waitable_.reset();
    dcomp_visual_.Reset();
    dcomp_target_.Reset();
    dcomp_device_.Reset();
    swap_chain_.Reset();
}

void Presenter::release() noexcept {
    release_composition();
    device_.Reset();
}

ID3D11RenderTargetView* Presenter::back_buffer_view() {
    if (back_buffer_view_ != nullptr || swap_chain_ == nullptr) {
        return back_buffer_view_.Get();
    }
    // With the flip model, buffer 0 is always the one to draw next, so one view serves every frame.
    ComPtr<ID3D11Texture2D> back_buffer;
    HRESULT hr = swap_chain_->GetBuffer(0, IID_PPV_ARGS(&back_buffer));
    if (FAILED(hr)) {
        log_failed_call("GetBuffer", hr);
        return nullptr;
    }
    hr = device_->CreateRenderTargetView(back_buffer.Get(), nullptr, &back_buffer_view_);
    if (FAILED(hr)) {
        log_failed_call("CreateRenderTargetView", hr);
        return nullptr;
    }
    return back_buffer_view_.Get();
}

PresentResult Presenter::present(const std::vector<PixelBox>* dirty) noexcept {
    if (swap_chain_ == nullptr) {
        return PresentResult::failed;
    }
    // The dirty rectangles let the compositor (and a remote or indirect display) take only what changed.
    std::vector<RECT>& rects = dirty_rects_;
    rects.clear();
    if (dirty != nullptr) {
        for (const PixelBox& box : *dirty) {
            rects.push_back(RECT{box.left, box.top, box.right, box.bottom});
        }
    }
    DXGI_PRESENT_PARAMETERS parameters{};
    parameters.DirtyRectsCount = static_cast<UINT>(rects.size());
    parameters.pDirtyRects = rects.empty() ? nullptr : rects.data();
    HRESULT hr = swap_chain_->Present1(present_sync_interval, 0, &parameters);
    if (hr == DXGI_ERROR_INVALID_CALL && !rects.empty()) {
        // A system that takes no dirty rectangles for this swap chain still takes the whole frame.
        static std::atomic<bool> said{false};
        if (!said.exchange(true)) {
            log_failed_call("Present1 with dirty rectangles", hr);
        }
        parameters = DXGI_PRESENT_PARAMETERS{};
        hr = swap_chain_->Present1(present_sync_interval, 0, &parameters);
    }
    if (hr == DXGI_STATUS_OCCLUDED) {
        return PresentResult::occluded;
    }
    if (SUCCEEDED(hr)) {
        return PresentResult::ok;
    }
    log_failed_call("Present", hr);
    if (hr == DXGI_ERROR_DEVICE_REMOVED || hr == DXGI_ERROR_DEVICE_RESET) {
        return PresentResult::device_lost;
    }
    return PresentResult::failed;
}

}  // namespace kelvane
