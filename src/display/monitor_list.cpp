// Labels, order and the three selection rules of the monitor list.
#include "display/monitor_list.h"

#include <algorithm>
#include <limits>

#include "platform/log.h"
#include "platform/utf8.h"

namespace kelvane {

namespace {

// Widths, heights and areas are formed in 64 bits: a corrupt rectangle must not overflow.
[[nodiscard]] std::int64_t rect_width(const MonitorRect& rect) noexcept {
    return static_cast<std::int64_t>(rect.right) - rect.left;
}

[[nodiscard]] std::int64_t rect_height(const MonitorRect& rect) noexcept {
    return static_cast<std::int64_t>(rect.bottom) - rect.top;
}

[[nodiscard]] std::int64_t rect_area(const MonitorRect& rect) noexcept {
    return rect_width(rect) * rect_height(rect);
}

[[nodiscard]] bool is_blank(wchar_t c) noexcept {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

[[nodiscard]] bool is_digit(wchar_t c) noexcept {
    return c >= L'0' && c <= L'9';
}

// The argument as a whole number: leading blanks, an optional sign, at least one digit and nothing
// after. Values beyond any list size are clamped, which keeps them out of range.
[[nodiscard]] bool parse_whole_number(std::wstring_view text, std::int64_t& value) noexcept {
    constexpr std::int64_t clamp = std::numeric_limits<std::int32_t>::max();
    std::size_t at = 0;
    while (at < text.size() && is_blank(text[at])) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
        negative = text[at] == L'-';
        ++at;
    }
    const std::size_t first_digit = at;
    std::int64_t magnitude = 0;
    while (at < text.size() && is_digit(text[at])) {
        magnitude = std::min(clamp, magnitude * 10 + (text[at] - L'0'));
        ++at;
    }
    if (at == first_digit || at != text.size()) {
        return false;
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

std::wstring active_monitor_path(const std::vector<DisplayDeviceMonitor>& monitors) {
    const auto active = std::find_if(monitors.begin(), monitors.end(), [](const DisplayDeviceMonitor& monitor) {
        return (monitor.state_flags & display_device_active) != 0;
    });
    return active != monitors.end() ? active->interface_path : std::wstring();
}

std::wstring make_monitor_label(const std::wstring& device_name, const MonitorRect& rect, bool primary) {
    const std::size_t last_backslash = device_name.rfind(L'\\');
    std::wstring label = last_backslash == std::wstring::npos ? device_name : device_name.substr(last_backslash + 1);
    label += L"  ";
    label += std::to_wstring(rect_width(rect));
    label += L'x';
    label += std::to_wstring(rect_height(rect));
    label += L" @ (";
    label += std::to_wstring(rect.left);
    label += L',';
    label += std::to_wstring(rect.top);
    label += L')';
    if (primary) {
        label += L"  [primary]";
    }
    return label;
}

void sort_monitors(std::vector<MonitorEntry>& list) {
    // Code unit by code unit, the shorter name first on a common prefix: plain wide-string order.
    std::sort(list.begin(), list.end(),
              [](const MonitorEntry& a, const MonitorEntry& b) { return a.device_name < b.device_name; });
}

int find_monitor_by_name(const std::vector<MonitorEntry>& list, std::wstring_view name) noexcept {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].device_name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int find_monitor(const std::vector<MonitorEntry>& list, std::wstring_view id, std::wstring_view name) noexcept {
    if (!id.empty()) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i].id == id) {
                return static_cast<int>(i);
            }
        }
    }
    const int named = name.empty() ? -1 : find_monitor_by_name(list, name);
    if (named < 0 || id.empty() || list[static_cast<std::size_t>(named)].id.empty()) {
        return named;
    }
    return -1;
}

int pick_topmost_monitor(const std::vector<MonitorEntry>& list) noexcept {
    int best = -1;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const MonitorRect& rect = list[i].rect;
        if (best < 0) {
            best = static_cast<int>(i);
            continue;
        }
        const MonitorRect& best_rect = list[static_cast<std::size_t>(best)].rect;
        if (rect.top < best_rect.top || (rect.top == best_rect.top && rect_area(rect) < rect_area(best_rect))) {
            best = static_cast<int>(i);
        }
    }
    return best;
}

std::wstring upper_case_ascii(std::wstring_view text) {
    std::wstring upper(text.size(), L'\0');
    std::transform(text.begin(), text.end(), upper.begin(),
                   [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; });
    return upper;
}

std::wstring resolve_monitor_argument(const std::vector<MonitorEntry>& list, std::wstring_view argument,
                                      UpperCaseFunction upper_case) {
    std::int64_t number = 0;
    if (parse_whole_number(argument, number) && number >= 1 && number <= static_cast<std::int64_t>(list.size())) {
        return list[static_cast<std::size_t>(number - 1)].device_name;
    }
    // Every name contains the empty text; an empty value designates no monitor in particular.
    if (!argument.empty()) {
        const std::wstring wanted = upper_case(argument);
        for (const MonitorEntry& entry : list) {
            if (upper_case(entry.device_name).find(wanted) != std::wstring::npos) {
                return entry.device_name;
            }
        }
    }
    const std::wstring shown(argument);
    log_message("monitor arg '%s' did not match anything; ignoring", wide_to_utf8(shown).c_str());
    return {};
}

}  // namespace kelvane
