// The composition answers that mean "not on this system".
#include "render/composition_fallback.h"

namespace kelvane {

bool composition_missing(std::int32_t hr) noexcept {
    constexpr std::uint32_t not_implemented = 0x80004001u;       // E_NOTIMPL
    constexpr std::uint32_t class_not_registered = 0x80040154u;  // REGDB_E_CLASSNOTREG
    constexpr std::uint32_t module_not_found = 0x8007007Eu;      // HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)
    constexpr std::uint32_t procedure_not_found = 0x8007007Fu;   // HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)
    const auto code = static_cast<std::uint32_t>(hr);
    return code == not_implemented || code == class_not_registered || code == module_not_found ||
           code == procedure_not_found;
}

}  // namespace kelvane
