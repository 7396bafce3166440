// Fuzz target: --monitor resolution over a monitor list generated from the input. Layout: one byte
// with the entry count (0..8) and the upper-casing choice; per entry a flags byte (primary, name form),
// the rectangle as four 32-bit values and the name (either "\\.\DISPLAY" and a number byte, or free
// wide text up to the byte 0x00, see read_wide); the rest is the argument, as free wide text.
//
// Invariants:
//   - the result is empty or exactly the device name of a listed entry;
//   - a whole number 1..count (blanks before it, an optional sign) designates that position;
//   - otherwise the result is the first entry whose upper-cased name contains the upper-cased
//     argument, and empty when there is none or the argument is empty;
//   - the labels of the entries start with the part of the name after its last backslash.
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "display/monitor_list.h"
#include "fuzz_check.h"

namespace {

std::wstring identity_case(std::wstring_view text) {
    return std::wstring(text);
}

bool is_blank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// The position a whole-number argument designates, or 0 when it is not a whole number in 1..count.
std::size_t number_position(std::wstring_view text, std::size_t count) {
    std::size_t at = 0;
    while (at < text.size() && is_blank(text[at])) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
        negative = text[at] == L'-';
        ++at;
    }
    if (at == text.size()) {
        return 0;
    }
    std::uint64_t value = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < L'0' || text[at] > L'9') {
            return 0;
        }
        value = value * 10 + static_cast<std::uint64_t>(text[at] - L'0');
        if (value > count) {
            value = count + 1;  // out of range for good
        }
    }
    if (negative || value == 0 || value > count) {
        return 0;
    }
    return static_cast<std::size_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelvane::fuzz::ByteReader in(data, size);
    const std::uint8_t head = in.byte();
    const std::size_t count = head % 9u;
    const bool ascii_upper = (head & 0x80u) == 0;
    const kelvane::UpperCaseFunction upper = ascii_upper ? kelvane::upper_case_ascii : identity_case;

    std::vector<kelvane::MonitorEntry> list;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t flags = in.byte();
        kelvane::MonitorEntry entry;
        entry.handle = reinterpret_cast<kelvane::MonitorHandle>(static_cast<std::uintptr_t>(i + 1));
        entry.primary = (flags & 0x01u) != 0;
        entry.rect.left = static_cast<std::int32_t>(in.u32());
        entry.rect.top = static_cast<std::int32_t>(in.u32());
        entry.rect.right = static_cast<std::int32_t>(in.u32());
        entry.rect.bottom = static_cast<std::int32_t>(in.u32());
        if ((flags & 0x02u) != 0) {
            entry.device_name = L"\\\\.\\DISPLAY" + std::to_wstring(in.byte());
        } else {
            entry.device_name = kelvane::fuzz::read_wide(in, 0x00);
        }
        entry.label = kelvane::make_monitor_label(entry.device_name, entry.rect, entry.primary);
        const std::size_t slash = entry.device_name.rfind(L'\\');
        const std::wstring short_name =
            slash == std::wstring::npos ? entry.device_name : entry.device_name.substr(slash + 1);
        FUZZ_CHECK(entry.label.compare(0, short_name.size(), short_name) == 0);
        list.push_back(std::move(entry));
    }
    if ((head & 0x40u) != 0) {
        kelvane::sort_monitors(list);
        for (std::size_t i = 1; i < list.size(); ++i) {
            FUZZ_CHECK(!(list[i].device_name < list[i - 1].device_name));
        }
    }
    const std::wstring argument = kelvane::fuzz::read_wide(in, -1);

    const std::wstring result = kelvane::resolve_monitor_argument(list, argument, upper);

    bool listed = result.empty();
    for (const kelvane::MonitorEntry& entry : list) {
        listed = listed || entry.device_name == result;
    }
    FUZZ_CHECK(listed);

    if (const std::size_t position = number_position(argument, list.size()); position != 0) {
        FUZZ_CHECK(result == list[position - 1].device_name);
        return 0;
    }
    std::wstring expected;
    if (!argument.empty()) {
        const std::wstring wanted = upper(argument);
        for (const kelvane::MonitorEntry& entry : list) {
            if (upper(entry.device_name).find(wanted) != std::wstring::npos) {
                expected = entry.device_name;
                break;
            }
        }
    }
    FUZZ_CHECK(result == expected);
    return 0;
}
