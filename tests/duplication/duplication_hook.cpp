// A library that a test places in the running Kelvane2.exe (through a WH_GETMESSAGE hook on its
// control window's thread). At its first call it pins itself, points DuplicateOutput and DuplicateOutput1
// of the system's DXGI output objects at a scripted duplication and lets GetDesc1 report the script's
// colour space, counts the program's presents, and then follows the commands that the test appends
// to script.txt in the folder named by KELVANE_SCRIPTED_DUPLICATION, writing counts.txt after every
// change of the counts. Without that variable it does nothing.
#include <windows.h>
#include <dxgi1_6.h>
#include <wrl/client.h>

#include <string>
#include <thread>

#include "duplication/crash_request_win32.h"
#include "duplication/present_hook_win32.h"
#include "duplication/script_files_win32.h"

namespace {

using kelvane::test::DuplicationScript;
using Microsoft::WRL::ComPtr;

// IUnknown (3), IDXGIObject (4), IDXGIOutput (12), then GetDisplayModeList1, FindClosestMatchingMode1,
// GetDisplaySurfaceData1 and DuplicateOutput of IDXGIOutput1.
constexpr std::size_t duplicate_output_slot = 3 + 4 + 12 + 3;
// Then SupportsOverlays (IDXGIOutput2), CheckOverlaySupport (3), CheckOverlayColorSpaceSupport (4),
// DuplicateOutput1 (5) and GetDesc1 (6).
constexpr std::size_t duplicate_output1_slot = duplicate_output_slot + 4;
constexpr std::size_t get_desc1_slot = duplicate_output_slot + 5;
constexpr DWORD poll_ms = 20;

DuplicationScript* script = nullptr;  // lives as long as the process: the library is pinned

HRESULT STDMETHODCALLTYPE scripted_duplicate_output(IDXGIOutput1* /*output*/, IUnknown* device,
                                                    IDXGIOutputDuplication** duplication) {
    const HRESULT hr = script->duplicate_output(device, duplication);
    kelvane::test::crash_on_request(SUCCEEDED(hr) ? *duplication : nullptr);
    return hr;
}

HRESULT STDMETHODCALLTYPE scripted_duplicate_output1(IDXGIOutput5* /*output*/, IUnknown* device, UINT flags,
                                                     UINT format_count, const DXGI_FORMAT* formats,
                                                     IDXGIOutputDuplication** duplication) {
    const HRESULT hr = script->duplicate_output1(device, flags, format_count, formats, duplication);
    kelvane::test::crash_on_request(SUCCEEDED(hr) ? *duplication : nullptr);
    return hr;
}

using GetDesc1 = HRESULT(STDMETHODCALLTYPE*)(IDXGIOutput6*, DXGI_OUTPUT_DESC1*);
GetDesc1 system_get_desc1 = nullptr;

// The system's description, in HDR's colour space while the script says so.
HRESULT STDMETHODCALLTYPE scripted_get_desc1(IDXGIOutput6* output, DXGI_OUTPUT_DESC1* desc) {
    const HRESULT hr = system_get_desc1(output, desc);
    if (SUCCEEDED(hr) && script->hdr()) {
        desc->ColorSpace = DXGI_COLOR_SPACE_RGB_FULL_G2084_NONE_P2020;
        desc->BitsPerColor = 10;
    }
    return hr;
}

bool patch_slot(void** table, std::size_t index, void* function) {
    void** slot = table + index;
    DWORD old_protection = 0;
    if (VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old_protection) == 0) {
        return false;
    }
    *slot = function;
    VirtualProtect(slot, sizeof *slot, old_protection, &old_protection);
    return true;
}

// All of the system's output objects share one table of methods: patching the slot in the table of one
// output changes DuplicateOutput of every output, made before or after.
bool patch_outputs() {
    ComPtr<IDXGIFactory1> factory;
    ComPtr<IDXGIAdapter1> adapter;
    ComPtr<IDXGIOutput> output;
    ComPtr<IDXGIOutput1> output1;
    if (FAILED(CreateDXGIFactory1(IID_PPV_ARGS(&factory))) || FAILED(factory->EnumAdapters1(0, &adapter)) ||
        FAILED(adapter->EnumOutputs(0, &output)) || FAILED(output.As(&output1))) {
        return false;
    }
    void** table = *reinterpret_cast<void***>(output1.Get());
    if (!patch_slot(table, duplicate_output_slot, reinterpret_cast<void*>(&scripted_duplicate_output))) {
        return false;
    }
    // The later slots exist only where the system's outputs are IDXGIOutput6 too.
    ComPtr<IDXGIOutput6> output6;
    if (SUCCEEDED(output.As(&output6)) && *reinterpret_cast<void***>(output6.Get()) == table) {
        // The program's session thread may call GetDesc1 the moment the slot changes: the system's
        // method must be known before.
        system_get_desc1 = reinterpret_cast<GetDesc1>(table[get_desc1_slot]);
        if (!patch_slot(table, get_desc1_slot, reinterpret_cast<void*>(&scripted_get_desc1))) {
            return false;
        }
        return patch_slot(table, duplicate_output1_slot, reinterpret_cast<void*>(&scripted_duplicate_output1));
    }
    return true;
}

void start() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(kelvane::test::scripted_duplication_variable, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&start), &self);
    const std::wstring path = folder;
    script = new DuplicationScript();
    script->on_counts_changed(
        [path](const kelvane::test::DuplicationCounts& counts) { kelvane::test::write_counts(path, counts); });
    std::size_t applied = kelvane::test::apply_script_lines(path, *script, 0);
    if (!patch_outputs()) {
        return;
    }
    kelvane::test::write_counts(path, script->counts());
    std::thread([path, applied]() mutable {
        // Presents are counted, and in echo mode make frames, as they do on Windows 11. Not on the
        // program's window thread: making the swap chains that show where to patch needs it free.
        kelvane::test::hook_presents(*script);
        for (;;) {
            applied = kelvane::test::apply_script_lines(path, *script, applied);
            kelvane::test::poll_crash_request(path);
            Sleep(poll_ms);
        }
    }).detach();
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK duplication_hook(int code, WPARAM wparam, LPARAM lparam) {
    // Runs start() once, at the first call (a function-local static is initialised exactly once).
    static const bool started = (start(), true);
    static_cast<void>(started);
    return CallNextHookEx(nullptr, code, wparam, lparam);
}
