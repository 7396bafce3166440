// The Windows version the program runs on, and what it allows.
#pragma once

#include <cstdint>

namespace kelvane {

struct OsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
};

// The first build (Windows 10 version 2004) on which a window excluded from capture is left out of
// the capture; before it the window is captured as black, and a mirror of it could only show black.
inline constexpr std::uint32_t capture_exclusion_first_build = 19041;

[[nodiscard]] constexpr bool excludes_from_capture(const OsVersion& version) noexcept {
    if (version.major != 10) {
        return version.major > 10;
    }
    return version.minor > 0 || version.build >= capture_exclusion_first_build;
}

// The true version from the kernel (RtlGetVersion), which does not depend on the program's manifest
// as GetVersionEx does; false when it cannot be read.
[[nodiscard]] bool read_os_version(OsVersion& version) noexcept;

}  // namespace kelvane
