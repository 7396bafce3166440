// What the system says about an output's colour: whether Windows HDR is on for it (the colour space of
// IDXGIOutput6::GetDesc1) and, when it is, the SDR white level the user has set for that monitor.
#pragma once

#include <windows.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include "render/colour_space.h"

namespace kelvane {

// An output describes the display as its factory saw it when it was made: after the display's colour
// settings changed, a factory that is no longer current (IsCurrent) keeps the old colour space. Such
// an output is replaced by the same one (same adapter, same monitor) from a new factory; it stays as
// it is when its factory is current or no new one shows it.
void renew_stale_output(Microsoft::WRL::ComPtr<IDXGIOutput1>& output);

// SDR on an output that does not describe its colour space (before IDXGIOutput6).
[[nodiscard]] OutputColour read_output_colour(IDXGIOutput* output);

// The SDR white level of the monitor shown by the GDI device `gdi_name` (\\.\DISPLAY1), from the
// display configuration; the default where it cannot be read.
[[nodiscard]] float read_sdr_white_nits(const wchar_t* gdi_name);

}  // namespace kelvane
