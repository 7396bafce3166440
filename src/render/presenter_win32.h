// The swap chain shown in the overlay window: through DirectComposition, or straight on the window
// where composition is missing. Holds the one render-target view of the back buffer that every frame
// draws into, and classifies what Present answered.
#pragma once

#include <windows.h>
#include <d3d11.h>
#include <dcomp.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <vector>

#include "capture/changed_regions.h"
#include "platform/unique_handle_win32.h"

namespace kelvane {

// Buffers of the swap chain: the one drawn into was last shown this many presents ago, less one.
inline constexpr std::size_t swap_chain_buffer_count = 2;

// What a present came to.
enum class PresentResult {
    ok,
    occluded,     // presented, but nothing of the window is visible (DXGI_STATUS_OCCLUDED)
    device_lost,  // the device was removed or reset; only a new device helps
    failed,       // any other refusal
};

class Presenter {
public:
    Presenter() = default;
    ~Presenter() { release(); }
    Presenter(const Presenter&) = delete;
    Presenter& operator=(const Presenter&) = delete;

    // Makes a `width` x `height` swap chain on `device` (which lives on `adapter`) shown in `window`:
    // with `hdr`, FP16 in linear scRGB, which the compositor shows untouched on an HDR output; where that
    // colour space cannot be set (logged once), the 8-bit sRGB swap chain instead.
    [[nodiscard]] bool create(ID3D11Device* device, IDXGIAdapter1* adapter, HWND window, int width, int height,
                              bool hdr = false);

    // Releases the view first, then composition and the swap chain.
    void release() noexcept;

    // The back buffer's render-target view, made on first use and kept; null after logging when it
    // cannot be made, or before create.
    [[nodiscard]] ID3D11RenderTargetView* back_buffer_view();

    // Waits (a frame at most) until the swap chain takes another frame without queueing it behind
    // one already waiting: drawing then shows the newest desktop with one frame of latency.
    void wait_until_ready() noexcept;

    // Presents with vertical sync, telling the system that only `dirty` (back-buffer pixels) changed
    // since the last present, or everything when null; logs refusals. Fails quietly before create.
    [[nodiscard]] PresentResult present(const std::vector<PixelBox>* dirty = nullptr) noexcept;

    [[nodiscard]] IDXGISwapChain1* swap_chain() const noexcept { return swap_chain_.Get(); }
    [[nodiscard]] bool uses_composition() const noexcept { return dcomp_visual_ != nullptr; }
    // True when the swap chain is FP16 linear scRGB.
    [[nodiscard]] bool hdr() const noexcept { return hdr_; }

private:
    [[nodiscard]] bool create_swap_chain(ID3D11Device* device, IDXGIAdapter1* adapter, HWND window,
                                         const DXGI_SWAP_CHAIN_DESC1& desc);
    [[nodiscard]] bool set_linear_colour_space();
    [[nodiscard]] HRESULT create_composition(IDXGIFactory2* factory, HWND window, const DXGI_SWAP_CHAIN_DESC1& desc);
    void release_composition() noexcept;
    void limit_frame_latency();

    Microsoft::WRL::ComPtr<ID3D11Device> device_;
    Microsoft::WRL::ComPtr<IDXGISwapChain1> swap_chain_;
    Microsoft::WRL::ComPtr<IDCompositionDevice> dcomp_device_;
    Microsoft::WRL::ComPtr<IDCompositionTarget> dcomp_target_;
    Microsoft::WRL::ComPtr<IDCompositionVisual> dcomp_visual_;
    Microsoft::WRL::ComPtr<ID3D11RenderTargetView> back_buffer_view_;
    bool hdr_ = false;
    UniqueHandle frame_latency_waitable_;
    std::vector<RECT> dirty_rects_;  // kept, so that a present allocates nothing once warm
};

}  // namespace kelvane
