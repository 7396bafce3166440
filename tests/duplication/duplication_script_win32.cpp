// The script: what a test sets (desktop, pointer, modes, failures), under the state's lock, and the
// answers of DuplicateOutput on it.
#include <utility>

#include "duplication/scripted_state_win32.h"

namespace kelvane::test {

using Microsoft::WRL::ComPtr;

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

double process_cpu_ms() {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 10000.0;
}

void DuplicationScript::read_cpu_time() {
    const auto ms = static_cast<long>(process_cpu_ms());
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
    *duplication = new_scripted_duplication(state_, std::move(d3d_device), epoch);
    return S_OK;
}

}  // namespace kelvane::test
