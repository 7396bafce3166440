// RtlGetVersion, looked up in ntdll at run time: no import library offers it to every toolchain.
#include <windows.h>

#include "platform/os_version.h"

namespace kelvane {

bool read_os_version(OsVersion& version) noexcept {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) {
        return false;
    }
    const auto get_version =
        reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (get_version == nullptr || get_version(&info) != 0) {
        return false;
    }
    version = OsVersion{info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
    return true;
}

}  // namespace kelvane
