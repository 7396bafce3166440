// A library that a test places in the running Kelvane2.exe (through a WH_GETMESSAGE hook on its
// control window's thread). At its first call it pins itself, points DuplicateOutput of the system's
// DXGI output objects at a scripted duplication, and then follows the commands that the test appends
// to script.txt in the folder named by KELVANE_SCRIPTED_DUPLICATION, writing counts.txt after every
// change of the counts. Without that variable it does nothing.
#include <windows.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <string>
#include <thread>

#include "duplication/script_files_win32.h"

namespace {

using kelvane::test::DuplicationScript;
using Microsoft::WRL::ComPtr;

// IUnknown (3), IDXGIObject (4), IDXGIOutput (12), then GetDisplayModeList1, FindClosestMatchingMode1,
// GetDisplaySurfaceData1 and DuplicateOutput of IDXGIOutput1.
constexpr std::size_t duplicate_output_slot = 3 + 4 + 12 + 3;
constexpr DWORD poll_ms = 20;

DuplicationScript* script = nullptr;  // lives as long as the process: the library is pinned

HRESULT STDMETHODCALLTYPE scripted_duplicate_output(IDXGIOutput1* /*output*/, IUnknown* device,
                                                    IDXGIOutputDuplication** duplication) {
    return script->duplicate_output(device, duplication);
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
    void** slot = table + duplicate_output_slot;
    DWORD old_protection = 0;
    if (VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old_protection) == 0) {
        return false;
    }
    *slot = reinterpret_cast<void*>(&scripted_duplicate_output);
    VirtualProtect(slot, sizeof *slot, old_protection, &old_protection);
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
        for (;;) {
            applied = kelvane::test::apply_script_lines(path, *script, applied);
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
