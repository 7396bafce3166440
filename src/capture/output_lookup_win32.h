// Finding the DXGI adapter and output that show a monitor, among the adapters in the system's order of
// preference, and naming an adapter by its LUID.
#pragma once

#include <windows.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <cstdint>

#include "capture/adapter_choice.h"

namespace kelvane {

using Microsoft::WRL::ComPtr;

// Finds the adapter and output that show `monitor`: among the adapters that do, in the system's
// minimum-power order where it offers one (else enumeration order), the one `choice` picks. On false
// the out-references are left as they were.
[[nodiscard]] bool find_output_for_monitor(HMONITOR monitor, ComPtr<IDXGIAdapter1>& adapter,
                                           ComPtr<IDXGIOutput1>& output, AdapterChoice& choice);

// The adapter's LUID as one number, as AdapterChoice knows adapters; 0 when it cannot be read.
[[nodiscard]] std::uint64_t adapter_id(IDXGIAdapter1* adapter) noexcept;

}  // namespace kelvane
