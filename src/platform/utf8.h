// UTF-8 <-> wide-string conversion, the same on every platform.
//
// Wide strings are UTF-16 where wchar_t has 16 bits (Windows) and UTF-32 elsewhere. Invalid input
// never fails: each maximal ill-formed UTF-8 subsequence, and each unpaired surrogate of a wide
// string, becomes U+FFFD, as the Windows converters do with flags 0.
#pragma once

#include <string>
#include <string_view>

namespace kelvane {

[[nodiscard]] std::wstring utf8_to_wide(std::string_view text);
[[nodiscard]] std::string wide_to_utf8(std::wstring_view text);

}  // namespace kelvane
