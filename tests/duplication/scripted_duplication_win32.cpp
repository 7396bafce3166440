// The scripted duplication: shared state under one lock, the duplication objects that read it, and the
// output that makes them.
#include "duplication/scripted_duplication_win32.h"

#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <utility>

namespace kelvane::test {

using Microsoft::WRL::ComPtr;

struct DesktopImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // B8G8R8A8
    std::vector<std::uint16_t> halves;  // or RGBA half floats: an FP16 desktop
};

struct DuplicationScript::State {
    std::mutex lock;
    std::condition_variable changed;
    std::shared_ptr<const DesktopImage> desktop;
    std::uint64_t desktop_version = 0;
    std::uint64_t empty_present_version = 0;
    std::optional<LUID> adapter;  // the adapter the output is on; unset: whichever the device's is
    POINT pointer{};
    bool pointer_visible = true;  // a desktop shows its pointer until the test hides it
    std::uint64_t pointer_version = 0;
    std::shared_ptr<const ScriptedShape> shape;
    std::uint64_t shape_version = 0;
    HRESULT shape_failure = S_OK;
    int shape_failures_left = 0;
    std::uint64_t loss_epoch = 0;
    HRESULT duplicate_failure = S_OK;
    int duplicate_failures_left = 0;
    DXGI_MODE_ROTATION rotation = DXGI_MODE_ROTATION_IDENTITY;
    bool hdr = false;
    bool echo = false;
    std::uint64_t echo_version = 0;
    RECT partial{};  // empty: no partial mode
    std::chrono::steady_clock::time_point partial_start;
    DuplicationCounts counts;
    std::function<void(const DuplicationCounts&)> listener;

    // Applies `change` to the counts under the lock, then tells the listener outside it.
    template <typename Change>
    void count(Change change) {
        std::function<void(const DuplicationCounts&)> tell;
        DuplicationCounts now;
        {
            const std::lock_guard<std::mutex> guard(lock);
            change(counts);
            now = counts;
            tell = listener;
        }
        if (tell) {
            tell(now);
        }
    }
};

namespace {

// The refresh period of the scripted output, at which a partial desktop changes.
constexpr std::chrono::microseconds refresh_period{16667};

LONGLONG performance_counter() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// IUnknown and IDXGIObject for an object of this file: one counted reference at creation, the
// interfaces that `accepts` names, no private data and no parent.
template <typename Interface>
class DxgiObject : public Interface {
public:
    DxgiObject() = default;
    virtual ~DxgiObject() = default;
    DxgiObject(const DxgiObject&) = delete;
    DxgiObject& operator=(const DxgiObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IDXGIObject) || accepts(riid)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, UINT*, void*) override { return DXGI_ERROR_NOT_FOUND; }
    HRESULT STDMETHODCALLTYPE GetParent(REFIID, void** parent) override {
        if (parent != nullptr) {
            *parent = nullptr;
        }
        return E_NOINTERFACE;
    }

protected:
    [[nodiscard]] virtual bool accepts(REFIID riid) const noexcept = 0;

private:
    std::atomic<ULONG> references_{1};
};

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

class ScriptedOutput final : public DxgiObject<IDXGIOutput6> {
public:
    ScriptedOutput(HMONITOR monitor, DuplicationScript& script) : monitor_(monitor), script_(script) {}

    HRESULT STDMETHODCALLTYPE GetDesc(DXGI_OUTPUT_DESC* desc) override {
        if (desc == nullptr) {
            return E_INVALIDARG;
        }
        MONITORINFOEXW info{};
        info.cbSize = sizeof info;
        if (GetMonitorInfoW(monitor_, &info) == 0) {
            return DXGI_ERROR_NOT_FOUND;
        }
        *desc = DXGI_OUTPUT_DESC{};
        std::memcpy(desc->DeviceName, info.szDevice, sizeof desc->DeviceName);
        desc->DesktopCoordinates = info.rcMonitor;
        desc->AttachedToDesktop = TRUE;
        desc->Rotation = script_.rotation();
        desc->Monitor = monitor_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDisplayModeList(DXGI_FORMAT, UINT, UINT*, DXGI_MODE_DESC*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindClosestMatchingMode(const DXGI_MODE_DESC*, DXGI_MODE_DESC*, IUnknown*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE WaitForVBlank() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TakeOwnership(IUnknown*, BOOL) override { return E_NOTIMPL; }
    void STDMETHODCALLTYPE ReleaseOwnership() override {}
    HRESULT STDMETHODCALLTYPE GetGammaControlCapabilities(DXGI_GAMMA_CONTROL_CAPABILITIES*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetGammaControl(const DXGI_GAMMA_CONTROL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetGammaControl(DXGI_GAMMA_CONTROL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDisplaySurface(IDXGISurface*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDisplaySurfaceData(IDXGISurface*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFrameStatistics(DXGI_FRAME_STATISTICS*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDisplayModeList1(DXGI_FORMAT, UINT, UINT*, DXGI_MODE_DESC1*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindClosestMatchingMode1(const DXGI_MODE_DESC1*, DXGI_MODE_DESC1*, IUnknown*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDisplaySurfaceData1(IDXGIResource*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DuplicateOutput(IUnknown* device, IDXGIOutputDuplication** duplication) override {
        return script_.duplicate_output(device, duplication);
    }
    BOOL STDMETHODCALLTYPE SupportsOverlays() override { return FALSE; }
    HRESULT STDMETHODCALLTYPE CheckOverlaySupport(DXGI_FORMAT, IUnknown*, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckOverlayColorSpaceSupport(DXGI_FORMAT, DXGI_COLOR_SPACE_TYPE, IUnknown*,
                                                            UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DuplicateOutput1(IUnknown* device, UINT flags, UINT format_count,
                                               const DXGI_FORMAT* formats,
                                               IDXGIOutputDuplication** duplication) override {
        return script_.duplicate_output1(device, flags, format_count, formats, duplication);
    }
    HRESULT STDMETHODCALLTYPE GetDesc1(DXGI_OUTPUT_DESC1* desc) override {
        DXGI_OUTPUT_DESC plain{};
        if (desc == nullptr) {
            return E_INVALIDARG;
        }
        const HRESULT hr = GetDesc(&plain);
        if (FAILED(hr)) {
            return hr;
        }
        *desc = DXGI_OUTPUT_DESC1{};
        std::memcpy(desc->DeviceName, plain.DeviceName, sizeof desc->DeviceName);
        desc->DesktopCoordinates = plain.DesktopCoordinates;
        desc->AttachedToDesktop = plain.AttachedToDesktop;
        desc->Rotation = plain.Rotation;
        desc->Monitor = plain.Monitor;
        const bool hdr = script_.hdr();
        desc->BitsPerColor = hdr ? 10 : 8;
        desc->ColorSpace = hdr ? DXGI_COLOR_SPACE_RGB_FULL_G2084_NONE_P2020 : DXGI_COLOR_SPACE_RGB_FULL_G22_NONE_P709;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CheckHardwareCompositionSupport(UINT*) override { return E_NOTIMPL; }

private:
    [[nodiscard]] bool accepts(REFIID riid) const noexcept override {
        return riid == __uuidof(IDXGIOutput) || riid == __uuidof(IDXGIOutput1) || riid == __uuidof(IDXGIOutput2) ||
               riid == __uuidof(IDXGIOutput3) || riid == __uuidof(IDXGIOutput4) || riid == __uuidof(IDXGIOutput5) ||
               riid == __uuidof(IDXGIOutput6);
    }

    HMONITOR monitor_;
    DuplicationScript& script_;
};

}  // namespace

DuplicationScript::DuplicationScript() : state_(std::make_shared<State>()) {}

void DuplicationScript::set_desktop(int width, int height, std::vector<std::uint32_t> pixels) {
    auto image = std::make_shared<DesktopImage>();
    image->width = width;
    image->height = height;
    image->pixels = std::move(pixels);
    {
        const std::lock_guard<std::mutex> guard(state_->lock);
        // A new display mode ends every duplication, as DXGI ends them.
        if (state_->desktop != nullptr && (state_->desktop->width != width || state_->desktop->height != height)) {
            ++state_->loss_epoch;
        }
        state_->desktop = std::move(image);
        ++state_->desktop_version;
    }
    state_->changed.notify_all();
}

void DuplicationScript::set_echo(bool echo) {
    {
        const std::lock_guard<std::mutex> guard(state_->lock);
        state_->echo = echo;
    }
    state_->changed.notify_all();
}

void DuplicationScript::present() {
    state_->count([](DuplicationCounts& c) { ++c.presents; });
    {
        const std::lock_guard<std::mutex> guard(state_->lock);
        if (!state_->echo) {
            return;
        }
        ++state_->echo_version;
    }
    state_->changed.notify_all();
}

void DuplicationScript::read_cpu_time() {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    const auto ms = static_cast<long>((ticks(kernel) + ticks(user)) / 10000u);
    state_->count([ms](DuplicationCounts& c) {
        c.cpu_ms = ms;
        ++c.cpu_readings;
    });
}

void DuplicationScript::set_partial(RECT area) {
    {
        const std::lock_guard<std::mutex> guard(state_->lock);
        state_->partial = area;
        state_->partial_start = std::chrono::steady_clock::now();
    }
    state_->changed.notify_all();
}

void DuplicationScript::set_desktop_fp16(int width, int height, std::vector<std::uint16_t> halves) {
    auto image = std::make_shared<DesktopImage>();
    image->width = width;
    image->height = height;
    image->halves = std::move(halves);
    {
        const std::lock_guard<std::mutex> guard(state_->lock);
        state_->desktop = std::move(image);
        ++state_->desktop_version;
    }
    state_->changed.notify_all();
}

void DuplicationScript::present_unchanged() {
    {
        const std::lock_guard<std::mutex> guard(state_->lock);
        ++state_->empty_present_version;
    }
    state_->changed.notify_all();
}

void DuplicationScript::set_hdr(bool hdr) {
    const std::lock_guard<std::mutex> guard(state_->lock);
    state_->hdr = hdr;
}

bool DuplicationScript::hdr() const {
    const std::lock_guard<std::mutex> guard(state_->lock);
    return state_->hdr;
}

void DuplicationScript::set_adapter(LUID adapter) {
    const std::lock_guard<std::mutex> guard(state_->lock);
    state_->adapter = adapter;
}

void DuplicationScript::move_pointer(int x, int y, bool visible) {
    {
        const std::lock_guard<std::mutex> guard(state_->lock);
        state_->pointer = POINT{x, y};
        state_->pointer_visible = visible;
        ++state_->pointer_version;
    }
    state_->changed.notify_all();
}

void DuplicationScript::set_shape(ScriptedShape shape) {
    auto stored = std::make_shared<const ScriptedShape>(std::move(shape));
    {
        const std::lock_guard<std::mutex> guard(state_->lock);
        state_->shape = std::move(stored);
        ++state_->shape_version;
    }
    state_->changed.notify_all();
}

void DuplicationScript::fail_shape_reads(HRESULT hr, int count) {
    const std::lock_guard<std::mutex> guard(state_->lock);
    state_->shape_failure = hr;
    state_->shape_failures_left = count;
}

void DuplicationScript::lose_access() {
    {
        const std::lock_guard<std::mutex> guard(state_->lock);
        ++state_->loss_epoch;
    }
    state_->changed.notify_all();
}

void DuplicationScript::fail_duplicate_output(HRESULT hr, int count) {
    const std::lock_guard<std::mutex> guard(state_->lock);
    state_->duplicate_failure = hr;
    state_->duplicate_failures_left = count;
}

void DuplicationScript::set_rotation(DXGI_MODE_ROTATION rotation) {
    const std::lock_guard<std::mutex> guard(state_->lock);
    state_->rotation = rotation;
}

DXGI_MODE_ROTATION DuplicationScript::rotation() const {
    const std::lock_guard<std::mutex> guard(state_->lock);
    return state_->rotation;
}

DuplicationCounts DuplicationScript::counts() const {
    const std::lock_guard<std::mutex> guard(state_->lock);
    return state_->counts;
}

void DuplicationScript::on_counts_changed(std::function<void(const DuplicationCounts&)> listener) {
    const std::lock_guard<std::mutex> guard(state_->lock);
    state_->listener = std::move(listener);
}

HRESULT DuplicationScript::duplicate_output1(IUnknown* device, UINT flags, UINT format_count,
                                             const DXGI_FORMAT* formats, IDXGIOutputDuplication** duplication) {
    if (flags != 0 || format_count == 0 || formats == nullptr) {
        return E_INVALIDARG;
    }
    return duplicate_output(device, duplication);
}

HRESULT DuplicationScript::duplicate_output(IUnknown* device, IDXGIOutputDuplication** duplication) {
    if (duplication == nullptr || device == nullptr) {
        return E_INVALIDARG;
    }
    *duplication = nullptr;
    ComPtr<ID3D11Device> d3d_device;
    if (FAILED(device->QueryInterface(IID_PPV_ARGS(&d3d_device)))) {
        return E_INVALIDARG;
    }
    // DXGI's answer to a device made on another adapter than the output's.
    LUID device_adapter{};
    ComPtr<IDXGIDevice> dxgi_device;
    ComPtr<IDXGIAdapter> adapter;
    DXGI_ADAPTER_DESC adapter_desc{};
    if (SUCCEEDED(d3d_device.As(&dxgi_device)) && SUCCEEDED(dxgi_device->GetAdapter(&adapter)) &&
        SUCCEEDED(adapter->GetDesc(&adapter_desc))) {
        device_adapter = adapter_desc.AdapterLuid;
    }
    HRESULT refusal = S_OK;
    std::uint64_t epoch = 0;
    bool second = false;
    {
        const std::lock_guard<std::mutex> guard(state_->lock);
        // One live duplication of an output per process: a second is the caller's mistake.
        second = state_->counts.live > 0;
        if (second) {
            refusal = E_INVALIDARG;
        } else if (state_->adapter && (state_->adapter->LowPart != device_adapter.LowPart ||
                                       state_->adapter->HighPart != device_adapter.HighPart)) {
            refusal = E_INVALIDARG;
        } else if (state_->duplicate_failures_left != 0) {
            if (state_->duplicate_failures_left > 0) {
                --state_->duplicate_failures_left;
            }
            refusal = state_->duplicate_failure;
        }
        epoch = state_->loss_epoch;
    }
    if (second) {
        state_->count([](DuplicationCounts& c) { ++c.misuse; });
        return refusal;
    }
    if (FAILED(refusal)) {
        state_->count([](DuplicationCounts& c) { ++c.refused; });
        return refusal;
    }
    state_->count([](DuplicationCounts& c) {
        ++c.created;
        ++c.live;
    });
    *duplication = new ScriptedDuplication(state_, std::move(d3d_device), epoch);
    return S_OK;
}

IDXGIOutput6* make_scripted_output(HMONITOR monitor, DuplicationScript& script) {
    return new ScriptedOutput(monitor, script);
}

std::vector<std::uint32_t> paint_test_desktop(int width, int height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    struct Block {
        int left, top, right, bottom;  // in 1/16ths of the size
        std::uint32_t colour;
    };
    static constexpr Block blocks[] = {
        {1, 1, 6, 5, 0xFFE8E8E8u},     // a light window at the top-left
        {1, 1, 6, 2, 0xFF2050A0u},     // its blue title bar
        {9, 3, 15, 9, 0xFF303030u},    // a dark window at the right
        {2, 11, 5, 15, 0xFFD04020u},   // an orange tile at the bottom-left
        {0, 15, 16, 16, 0xFF101820u},  // the task bar
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto r = static_cast<std::uint32_t>(40 + 180 * x / (width > 1 ? width - 1 : 1));
            const auto g = static_cast<std::uint32_t>(60 + 120 * y / (height > 1 ? height - 1 : 1));
            const auto b = static_cast<std::uint32_t>(200 - 150 * (x + y) / (width + height));
            std::uint32_t colour = 0xFF000000u | (r << 16) | (g << 8) | b;
            for (const Block& block : blocks) {
                if (x * 16 >= block.left * width && x * 16 < block.right * width && y * 16 >= block.top * height &&
                    y * 16 < block.bottom * height) {
                    colour = block.colour;
                }
            }
            // Grid lines every 64 pixels, two pixels wide: sharp edges for the sampling to follow.
            if (x % 64 < 2 || y % 64 < 2) {
                colour ^= 0x00404040u;
            }
            pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                colour;
        }
    }
    return pixels;
}

}  // namespace kelvane::test
