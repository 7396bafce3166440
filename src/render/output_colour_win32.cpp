// Output colour: IDXGIOutput6's colour space and the display configuration's SDR white level.
#include "render/output_colour_win32.h"

#include <dxgi1_6.h>
#include <wrl/client.h>

#include <cwchar>
#include <vector>

namespace kelvane {

namespace {

using Microsoft::WRL::ComPtr;

[[nodiscard]] bool same_luid(const LUID& a, const LUID& b) noexcept {
    return a.LowPart == b.LowPart && a.HighPart == b.HighPart;
}

}  // namespace

void renew_stale_output(ComPtr<IDXGIOutput1>& output) {
    ComPtr<IDXGIAdapter1> adapter;
    ComPtr<IDXGIFactory1> factory;
    DXGI_ADAPTER_DESC1 adapter_desc{};
    DXGI_OUTPUT_DESC output_desc{};
    if (output == nullptr || FAILED(output->GetParent(IID_PPV_ARGS(&adapter))) ||
        FAILED(adapter->GetParent(IID_PPV_ARGS(&factory))) || factory->IsCurrent() != FALSE ||
        FAILED(adapter->GetDesc1(&adapter_desc)) || FAILED(output->GetDesc(&output_desc))) {
        return;
    }
    ComPtr<IDXGIFactory1> current;
    if (FAILED(CreateDXGIFactory1(IID_PPV_ARGS(&current)))) {
        return;
    }
    ComPtr<IDXGIAdapter1> candidate;
    for (UINT a = 0; SUCCEEDED(current->EnumAdapters1(a, &candidate)); ++a, candidate.Reset()) {
        DXGI_ADAPTER_DESC1 desc{};
        if (FAILED(candidate->GetDesc1(&desc)) || !same_luid(desc.AdapterLuid, adapter_desc.AdapterLuid)) {
            continue;
        }
        ComPtr<IDXGIOutput> fresh;
        for (UINT o = 0; SUCCEEDED(candidate->EnumOutputs(o, &fresh)); ++o, fresh.Reset()) {
            DXGI_OUTPUT_DESC fresh_desc{};
            ComPtr<IDXGIOutput1> fresh1;
            if (SUCCEEDED(fresh->GetDesc(&fresh_desc)) && fresh_desc.Monitor == output_desc.Monitor &&
                SUCCEEDED(fresh.As(&fresh1))) {
                output = fresh1;
                return;
            }
        }
    }
}

OutputColour read_output_colour(IDXGIOutput* output) {
    OutputColour colour;
    Microsoft::WRL::ComPtr<IDXGIOutput6> output6;
    DXGI_OUTPUT_DESC1 desc{};
    if (output == nullptr || FAILED(output->QueryInterface(IID_PPV_ARGS(&output6))) ||
        FAILED(output6->GetDesc1(&desc))) {
        return colour;
    }
    colour.hdr = desc.ColorSpace == DXGI_COLOR_SPACE_RGB_FULL_G2084_NONE_P2020;
    if (colour.hdr) {
        colour.sdr_white_nits = read_sdr_white_nits(desc.DeviceName);
    }
    return colour;
}

float read_sdr_white_nits(const wchar_t* gdi_name) {
    std::vector<DISPLAYCONFIG_PATH_INFO> paths;
    std::vector<DISPLAYCONFIG_MODE_INFO> modes;
    LONG result = ERROR_INSUFFICIENT_BUFFER;
    // The configuration can change between the size query and the read: a few tries, then give up.
    for (int attempt = 0; attempt < 3 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        UINT32 path_count = 0;
        UINT32 mode_count = 0;
        if (GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &path_count, &mode_count) != ERROR_SUCCESS) {
            break;
        }
        paths.resize(path_count);
        modes.resize(mode_count);
        result =
            QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &path_count, paths.data(), &mode_count, modes.data(), nullptr);
        paths.resize(path_count);
    }
    if (result != ERROR_SUCCESS) {
        return sdr_white_nits_from_level(false, 0);
    }
    // The path whose source is the output's GDI device leads to the monitor (its target) that has the level.
    for (const DISPLAYCONFIG_PATH_INFO& path : paths) {
        DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
        source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
        source.header.size = sizeof source;
        source.header.adapterId = path.sourceInfo.adapterId;
        source.header.id = path.sourceInfo.id;
        if (DisplayConfigGetDeviceInfo(&source.header) != ERROR_SUCCESS ||
            std::wcscmp(source.viewGdiDeviceName, gdi_name) != 0) {
            continue;
        }
        DISPLAYCONFIG_SDR_WHITE_LEVEL white{};
        white.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL;
        white.header.size = sizeof white;
        white.header.adapterId = path.targetInfo.adapterId;
        white.header.id = path.targetInfo.id;
        const bool read = DisplayConfigGetDeviceInfo(&white.header) == ERROR_SUCCESS;
        return sdr_white_nits_from_level(read, white.SDRWhiteLevel);
    }
    return sdr_white_nits_from_level(false, 0);
}

}  // namespace kelvane
