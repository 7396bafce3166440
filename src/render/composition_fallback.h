// Whether a failure to present through DirectComposition means the system has no composition (then
// the overlay window is presented to directly) or that it failed now (then the attempt fails and is
// made again, so that a real failure does not hide behind a window swap chain).
#pragma once

#include <cstdint>

namespace kelvane {

// `hr`: the HRESULT of the first composition step that failed.
[[nodiscard]] bool composition_missing(std::int32_t hr) noexcept;

}  // namespace kelvane
