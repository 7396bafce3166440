// The present hook: a throw-away device and swap chain show where the system's swap-chain methods
// are; their Present and Present1 slots then point here, and the system's own are called from here.
#include "duplication/present_hook_win32.h"

#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <atomic>

namespace kelvane::test {
namespace {

using Microsoft::WRL::ComPtr;

// IUnknown (3), IDXGIObject (4), IDXGIDeviceSubObject (1), then Present; Present1 is the fifth method
// of IDXGISwapChain1, after the ten of IDXGISwapChain.
constexpr std::size_t present_slot = 3 + 4 + 1;
constexpr std::size_t present1_slot = present_slot + 10 + 4;
constexpr std::size_t max_tables = 2;

using PresentMethod = HRESULT(STDMETHODCALLTYPE*)(IDXGISwapChain*, UINT, UINT);
using Present1Method = HRESULT(STDMETHODCALLTYPE*)(IDXGISwapChain1*, UINT, UINT, const DXGI_PRESENT_PARAMETERS*);

struct Table {
    void** slots = nullptr;
    PresentMethod present = nullptr;
    Present1Method present1 = nullptr;
};

DuplicationScript* script = nullptr;
Table tables[max_tables];
std::size_t table_count = 0;
// A system Present1 may call Present through its table: one present is counted once.
thread_local int depth = 0;

const Table* table_of(void* swap_chain) {
    void** slots = *static_cast<void***>(swap_chain);
    for (std::size_t i = 0; i < table_count; ++i) {
        if (tables[i].slots == slots) {
            return &tables[i];
        }
    }
    return nullptr;
}

void counted(HRESULT hr) {
    if (depth == 0 && SUCCEEDED(hr) && hr != DXGI_STATUS_OCCLUDED) {
        script->present();
    }
}

HRESULT STDMETHODCALLTYPE counting_present(IDXGISwapChain* swap_chain, UINT interval, UINT flags) {
    const Table* table = table_of(swap_chain);
    ++depth;
    const HRESULT hr = table->present(swap_chain, interval, flags);
    --depth;
    counted(hr);
    return hr;
}

HRESULT STDMETHODCALLTYPE counting_present1(IDXGISwapChain1* swap_chain, UINT interval, UINT flags,
                                            const DXGI_PRESENT_PARAMETERS* parameters) {
    const Table* table = table_of(swap_chain);
    ++depth;
    const HRESULT hr = table->present1(swap_chain, interval, flags, parameters);
    --depth;
    counted(hr);
    return hr;
}

bool patch(void** slots, std::size_t index, void* function) {
    DWORD old_protection = 0;
    if (VirtualProtect(slots + index, sizeof(void*), PAGE_READWRITE, &old_protection) == 0) {
        return false;
    }
    slots[index] = function;
    VirtualProtect(slots + index, sizeof(void*), old_protection, &old_protection);
    return true;
}

void patch_table(IDXGISwapChain1* swap_chain) {
    void** slots = *reinterpret_cast<void***>(swap_chain);
    if (table_of(swap_chain) != nullptr || table_count == max_tables) {
        return;
    }
    // The system's methods are known before the slots change: another thread may present at once.
    Table& table = tables[table_count];
    table.slots = slots;
    table.present = reinterpret_cast<PresentMethod>(slots[present_slot]);
    table.present1 = reinterpret_cast<Present1Method>(slots[present1_slot]);
    ++table_count;
    patch(slots, present_slot, reinterpret_cast<void*>(&counting_present));
    patch(slots, present1_slot, reinterpret_cast<void*>(&counting_present1));
}

}  // namespace

bool hook_presents(DuplicationScript& target) {
    if (script != nullptr) {
        return table_count != 0;
    }
    script = &target;
    ComPtr<ID3D11Device> device;
    if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, nullptr,
                                 0, D3D11_SDK_VERSION, &device, nullptr, nullptr))) {
        return false;
    }
    ComPtr<IDXGIDevice> dxgi_device;
    ComPtr<IDXGIAdapter> adapter;
    ComPtr<IDXGIFactory2> factory;
    if (FAILED(device.As(&dxgi_device)) || FAILED(dxgi_device->GetAdapter(&adapter)) ||
        FAILED(adapter->GetParent(IID_PPV_ARGS(&factory)))) {
        return false;
    }
    DXGI_SWAP_CHAIN_DESC1 desc{};
    desc.Width = 16;
    desc.Height = 16;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 2;
    desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_SEQUENTIAL;
    ComPtr<IDXGISwapChain1> composition;
    if (SUCCEEDED(factory->CreateSwapChainForComposition(device.Get(), &desc, nullptr, &composition))) {
        patch_table(composition.Get());
    }
    const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 16, 16, nullptr, nullptr, nullptr, nullptr);
    ComPtr<IDXGISwapChain1> windowed;
    if (window != nullptr &&
        SUCCEEDED(factory->CreateSwapChainForHwnd(device.Get(), window, &desc, nullptr, nullptr, &windowed))) {
        patch_table(windowed.Get());
    }
    windowed.Reset();
    if (window != nullptr) {
        DestroyWindow(window);
    }
    return table_count != 0;
}

}  // namespace kelvane::test
