// Output lookup: the adapters in the system's order of preference and the output that shows a monitor.
#include "capture/output_lookup_win32.h"

#include <dxgi1_6.h>

#include <vector>

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

}  // namespace kelvane
