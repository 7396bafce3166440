// One scripted duplication, as DXGI hands it out: serves what changed since its last frame (a new
// desktop, an echo, a partial change, the pointer), holds at most one frame, and answers misuse and lost
// access as DXGI documents.
#include <algorithm>
#include <cstring>
#include <utility>

#include "duplication/scripted_state_win32.h"

namespace kelvane::test {

using Microsoft::WRL::ComPtr;

namespace {

// The refresh period of the scripted output, at which a partial desktop changes.
constexpr std::chrono::microseconds refresh_period{16667};

LONGLONG performance_counter() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// One duplication, as DXGI hands it out: serves what changed since its last frame, holds at most one
// frame, and keeps the desktop in one texture of the caller's device until the image changes.
class ScriptedDuplication final : public DxgiObject<IDXGIOutputDuplication> {
public:
    ScriptedDuplication(std::shared_ptr<DuplicationScript::State> state, ComPtr<ID3D11Device> device,
                        std::uint64_t loss_epoch)
        : state_(std::move(state)), device_(std::move(device)), loss_epoch_(loss_epoch) {}
    ~ScriptedDuplication() override {
        state_->count([](DuplicationCounts& c) { --c.live; });
    }
    ScriptedDuplication(const ScriptedDuplication&) = delete;
    ScriptedDuplication& operator=(const ScriptedDuplication&) = delete;

    void STDMETHODCALLTYPE GetDesc(DXGI_OUTDUPL_DESC* desc) override {
        if (desc == nullptr) {
            return;
        }
        const std::lock_guard<std::mutex> guard(state_->lock);
        *desc = DXGI_OUTDUPL_DESC{};
        if (state_->desktop != nullptr) {
            desc->ModeDesc.Width = static_cast<UINT>(state_->desktop->width);
            desc->ModeDesc.Height = static_cast<UINT>(state_->desktop->height);
        }
        desc->ModeDesc.RefreshRate = DXGI_RATIONAL{60, 1};
        desc->ModeDesc.Format = state_->desktop != nullptr && !state_->desktop->halves.empty()
                                    ? DXGI_FORMAT_R16G16B16A16_FLOAT
                                    : DXGI_FORMAT_B8G8R8A8_UNORM;
        desc->Rotation = state_->rotation;
        desc->DesktopImageInSystemMemory = FALSE;
    }

    HRESULT STDMETHODCALLTYPE AcquireNextFrame(UINT timeout_ms, DXGI_OUTDUPL_FRAME_INFO* info,
                                               IDXGIResource** resource) override {
        if (info == nullptr || resource == nullptr) {
            return misuse(E_INVALIDARG);
        }
        *resource = nullptr;
        *info = DXGI_OUTDUPL_FRAME_INFO{};
        if (held_ || reported_lost_) {
            return misuse(held_ ? DXGI_ERROR_INVALID_CALL : DXGI_ERROR_ACCESS_LOST);
        }
        std::shared_ptr<const DesktopImage> desktop;
        bool new_desktop = false;
        bool empty_present = false;
        bool new_pointer = false;
        bool echo = false;
        bool partial = false;
        RECT partial_area{};
        std::uint64_t accumulated = 0;
        {
            std::unique_lock<std::mutex> guard(state_->lock);
            const auto something_new = [&] {
                return lost() ||
                       (state_->desktop != nullptr &&
                        (state_->desktop_version != served_desktop_ || state_->pointer_version != served_pointer_ ||
                         state_->shape_version != served_shape_ || state_->empty_present_version != served_present_ ||
                         state_->echo_version != served_echo_ || partial_frame() != served_partial_));
            };
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
            while (!something_new()) {
                // A partial desktop changes at the next refresh without anyone telling.
                auto wake = deadline;
                if (!IsRectEmpty(&state_->partial)) {
                    const auto tick = state_->partial_start + refresh_period * static_cast<long long>(partial_frame());
                    wake = std::min(wake, std::chrono::time_point_cast<decltype(wake)::duration>(tick));
                }
                state_->changed.wait_until(guard, wake);
                if (std::chrono::steady_clock::now() >= deadline && !something_new()) {
                    guard.unlock();
                    state_->count([](DuplicationCounts& c) { ++c.timeouts; });
                    return DXGI_ERROR_WAIT_TIMEOUT;
                }
            }
            if (lost()) {
                return report_lost();
            }
            desktop = state_->desktop;
            empty_present = state_->empty_present_version != served_present_;
            echo = state_->echo_version != served_echo_;
            const std::uint64_t frame = partial_frame();
            partial = frame != served_partial_ && !IsRectEmpty(&state_->partial);
            partial_area = state_->partial;
            served_echo_ = state_->echo_version;
            served_partial_ = frame;
            new_desktop = state_->desktop_version != served_desktop_;
            accumulated = state_->desktop_version - served_desktop_;
            new_pointer = state_->pointer_version != served_pointer_ || state_->shape_version != served_shape_;
            if (new_pointer) {
                info->PointerPosition.Position = state_->pointer;
                info->PointerPosition.Visible = state_->pointer_visible ? TRUE : FALSE;
            }
            if (state_->shape_version != served_shape_ && state_->shape != nullptr) {
                frame_shape_ = state_->shape;
                info->PointerShapeBufferSize = static_cast<UINT>(frame_shape_->bytes.size());
            }
            served_desktop_ = state_->desktop_version;
            served_pointer_ = state_->pointer_version;
            served_shape_ = state_->shape_version;
            served_present_ = state_->empty_present_version;
        }
        if (texture_ == nullptr || texture_desktop_ != desktop) {
            texture_.Reset();
            if (FAILED(make_texture(*desktop))) {
                return DXGI_ERROR_DEVICE_REMOVED;
            }
            texture_desktop_ = desktop;
        }
        const LONGLONG now = performance_counter();
        // A new image is one dirty rectangle over the whole desktop, and so is an echo of the program's
        // own present; a partial change is its area; a present that changed nothing has a present time
        // and no rectangles.
        dirty_ = RECT{0, 0, desktop->width, desktop->height};
        if (partial && !new_desktop) {
            RECT inside{};
            IntersectRect(&inside, &partial_area, &dirty_);
            paint_partial(inside);
            if (!echo) {
                dirty_ = inside;
            }
        }
        const bool dirty = new_desktop || echo || partial;
        dirty_count_ = dirty ? 1 : 0;
        if (dirty || empty_present) {
            info->LastPresentTime.QuadPart = now;
            info->AccumulatedFrames = static_cast<UINT>(accumulated) + (empty_present || echo || partial ? 1u : 0u);
            info->TotalMetadataBufferSize = dirty ? static_cast<UINT>(sizeof(RECT)) : 0;
        }
        if (new_pointer) {
            info->LastMouseUpdateTime.QuadPart = now;
        }
        const HRESULT hr = texture_.CopyTo(resource);
        if (FAILED(hr)) {
            return hr;
        }
        held_ = true;
        state_->count([](DuplicationCounts& c) { ++c.acquisitions; });
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetFrameDirtyRects(UINT size, RECT* rects, UINT* required) override {
        const HRESULT hr = metadata(required, dirty_count_ * static_cast<UINT>(sizeof(RECT)));
        if (hr == S_OK && dirty_count_ != 0) {
            if (size < sizeof(RECT) || rects == nullptr) {
                return DXGI_ERROR_MORE_DATA;
            }
            *rects = dirty_;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetFrameMoveRects(UINT, DXGI_OUTDUPL_MOVE_RECT*, UINT* required) override {
        return metadata(required, 0);
    }

    HRESULT STDMETHODCALLTYPE GetFramePointerShape(UINT size, void* buffer, UINT* required,
                                                   DXGI_OUTDUPL_POINTER_SHAPE_INFO* info) override {
        if (!held_ || reported_lost_) {
            return misuse(reported_lost_ ? DXGI_ERROR_ACCESS_LOST : DXGI_ERROR_INVALID_CALL);
        }
        if (required == nullptr || info == nullptr) {
            return misuse(E_INVALIDARG);
        }
        {
            const std::lock_guard<std::mutex> guard(state_->lock);
            if (lost()) {
                return report_lost();
            }
            if (state_->shape_failures_left > 0) {
                --state_->shape_failures_left;
                return state_->shape_failure;
            }
        }
        const std::shared_ptr<const ScriptedShape> shape = frame_shape_;
        if (shape == nullptr) {
            *required = 0;
            *info = DXGI_OUTDUPL_POINTER_SHAPE_INFO{};
            return S_OK;
        }
        *required = static_cast<UINT>(shape->bytes.size());
        if (size < shape->bytes.size() || buffer == nullptr) {
            return DXGI_ERROR_MORE_DATA;
        }
        std::memcpy(buffer, shape->bytes.data(), shape->bytes.size());
        info->Type = shape->type;
        info->Width = shape->width;
        info->Height = shape->height;
        info->Pitch = shape->pitch;
        info->HotSpot = shape->hotspot;
        state_->count([](DuplicationCounts& c) { ++c.shape_reads; });
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE MapDesktopSurface(DXGI_MAPPED_RECT*) override { return DXGI_ERROR_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE UnMapDesktopSurface() override { return misuse(DXGI_ERROR_INVALID_CALL); }

    HRESULT STDMETHODCALLTYPE ReleaseFrame() override {
        if (!held_ || reported_lost_) {
            return misuse(reported_lost_ ? DXGI_ERROR_ACCESS_LOST : DXGI_ERROR_INVALID_CALL);
        }
        held_ = false;
        state_->count([](DuplicationCounts& c) { ++c.releases; });
        const std::lock_guard<std::mutex> guard(state_->lock);
        return lost() ? report_lost() : S_OK;
    }

private:
    [[nodiscard]] bool accepts(REFIID riid) const noexcept override { return riid == __uuidof(IDXGIOutputDuplication); }

    // Called with the state's lock held.
    [[nodiscard]] bool lost() const noexcept { return state_->loss_epoch != loss_epoch_; }
    // The refresh count of a partial desktop, 0 without one. Called with the state's lock held.
    [[nodiscard]] std::uint64_t partial_frame() const noexcept {
        if (IsRectEmpty(&state_->partial)) {
            return 0;
        }
        return static_cast<std::uint64_t>((std::chrono::steady_clock::now() - state_->partial_start) / refresh_period) +
               1;
    }

    // The area of a partial desktop in this frame's colour, written into the served texture alone.
    void paint_partial(const RECT& area) {
        if (IsRectEmpty(&area)) {
            return;
        }
        const auto width = static_cast<std::size_t>(area.right - area.left);
        const auto height = static_cast<std::size_t>(area.bottom - area.top);
        const auto step = static_cast<std::uint32_t>(served_partial_);
        partial_pixels_.assign(width * height, 0xFF000000u | (step * 0x00104729u & 0x00FFFFFFu));
        const D3D11_BOX box{static_cast<UINT>(area.left),  static_cast<UINT>(area.top),    0,
                            static_cast<UINT>(area.right), static_cast<UINT>(area.bottom), 1};
        ComPtr<ID3D11DeviceContext> context;
        device_->GetImmediateContext(&context);
        context->UpdateSubresource(texture_.Get(), 0, &box, partial_pixels_.data(), static_cast<UINT>(width * 4), 0);
    }

    HRESULT misuse(HRESULT hr) {
        state_->count([](DuplicationCounts& c) { ++c.misuse; });
        return hr;
    }

    // Once a duplication said so, DXGI answers nothing more on it: every later call is misuse.
    HRESULT report_lost() noexcept {
        reported_lost_ = true;
        return DXGI_ERROR_ACCESS_LOST;
    }

    HRESULT metadata(UINT* required, UINT bytes) {
        if (!held_ || reported_lost_) {
            return misuse(reported_lost_ ? DXGI_ERROR_ACCESS_LOST : DXGI_ERROR_INVALID_CALL);
        }
        if (required != nullptr) {
            *required = bytes;
        }
        return S_OK;
    }

    HRESULT make_texture(const DesktopImage& image) {
        const bool fp16 = !image.halves.empty();
        D3D11_TEXTURE2D_DESC desc{};
        desc.Width = static_cast<UINT>(image.width);
        desc.Height = static_cast<UINT>(image.height);
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = fp16 ? DXGI_FORMAT_R16G16B16A16_FLOAT : DXGI_FORMAT_B8G8R8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE;
        D3D11_SUBRESOURCE_DATA data{};
        data.pSysMem = fp16 ? static_cast<const void*>(image.halves.data()) : image.pixels.data();
        data.SysMemPitch = static_cast<UINT>(image.width) * (fp16 ? 8u : 4u);
        return device_->CreateTexture2D(&desc, &data, &texture_);
    }

    std::shared_ptr<DuplicationScript::State> state_;
    ComPtr<ID3D11Device> device_;
    const std::uint64_t loss_epoch_;
    // What this duplication has served; a new one starts with everything unserved, as DXGI sends the
    // whole desktop and the current shape with the first frame.
    std::uint64_t served_desktop_ = 0;
    std::uint64_t served_pointer_ = 0;
    std::uint64_t served_shape_ = 0;
    std::uint64_t served_present_ = 0;
    std::uint64_t served_echo_ = 0;
    std::uint64_t served_partial_ = 0;
    std::vector<std::uint32_t> partial_pixels_;
    bool held_ = false;
    bool reported_lost_ = false;
    RECT dirty_{};
    UINT dirty_count_ = 0;
    std::shared_ptr<const ScriptedShape> frame_shape_;
    std::shared_ptr<const DesktopImage> texture_desktop_;
    ComPtr<ID3D11Texture2D> texture_;
};

}  // namespace

IDXGIOutputDuplication* new_scripted_duplication(std::shared_ptr<DuplicationScript::State> state,
                                                 ComPtr<ID3D11Device> device, std::uint64_t loss_epoch) {
    return new ScriptedDuplication(std::move(state), std::move(device), loss_epoch);
}

}  // namespace kelvane::test
