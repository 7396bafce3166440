// The scripted duplication's insides, shared by its files: the state under one lock that the script
// sets and the duplications read, the COM plumbing of its objects, and the duplication's maker.
#pragma once

#include <windows.h>
#include <d3d11.h>
#include <dxgi1_6.h>
#include <wrl/client.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "duplication/scripted_duplication_win32.h"

namespace kelvane::test {

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

// A new duplication of the script's output on `device`, as DuplicateOutput hands it out (one reference).
[[nodiscard]] IDXGIOutputDuplication* new_scripted_duplication(std::shared_ptr<DuplicationScript::State> state,
                                                               Microsoft::WRL::ComPtr<ID3D11Device> device,
                                                               std::uint64_t loss_epoch);

}  // namespace kelvane::test
