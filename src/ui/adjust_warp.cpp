// Slider mapping, value labels and the host-monitor choice of the Adjust-warp window.
#include "ui/adjust_warp.h"

#include <charconv>
#include <cstddef>
#include <system_error>

namespace kelvane {
namespace {

constexpr float keystone_steps_per_unit = 100.0f;
constexpr float keystone_offset = 1.0f;
constexpr float rotation_step_degrees = 0.5f;
constexpr float rotation_steps_per_degree = 2.0f;
constexpr float rotation_offset = 180.0f;
constexpr float round_half = 0.5f;

constexpr int keystone_decimals = 2;
constexpr int rotation_decimals = 1;
constexpr wchar_t degree_sign = L'\u00B0';

// The raw float position truncated toward zero, kept within 0..max so that the conversion to int
// is always defined (it is not for NaN or values beyond the int range).
int truncate_onto_slider(float raw, int max) noexcept {
    if (!(raw >= 0.0f)) {  // also catches NaN
        return 0;
    }
    if (raw >= static_cast<float>(max)) {
        return max;
    }
    return static_cast<int>(raw);
}

// Fixed-point text of the value widened to double, as "%.<decimals>f" prints it in the "C" locale,
// but without the minus sign of a value that rounds to zero.
std::wstring fixed_text(float value, int decimals) {
    char buffer[64];
    const std::to_chars_result result =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value), std::chars_format::fixed, decimals);
    const char* end = result.ec == std::errc() ? result.ptr : buffer;
    const char* begin = buffer;
    if (begin != end && *begin == '-') {
        bool all_zero = true;
        for (const char* c = begin + 1; c != end; ++c) {
            if (*c != '0' && *c != '.') {
                all_zero = false;
            }
        }
        if (all_zero) {
            ++begin;
        }
    }
    // The text is plain ASCII (digits, sign, point; "inf"/"nan" at worst), so widening is a copy.
    return std::wstring(begin, end);
}

}  // namespace

float keystone_from_position(int position) noexcept {
    return static_cast<float>(position) / keystone_steps_per_unit - keystone_offset;
}

int keystone_to_position(float value) noexcept {
    return truncate_onto_slider((value + keystone_offset) * keystone_steps_per_unit + round_half, keystone_slider_max);
}

float rotation_from_position(int position) noexcept {
    return static_cast<float>(position) * rotation_step_degrees - rotation_offset;
}

int rotation_to_position(float degrees) noexcept {
    return truncate_onto_slider((degrees + rotation_offset) * rotation_steps_per_degree + round_half,
                                rotation_slider_max);
}

std::wstring keystone_label(float value) {
    return fixed_text(value, keystone_decimals);
}

std::wstring rotation_label(float degrees) {
    std::wstring text = fixed_text(degrees, rotation_decimals);
    text += degree_sign;
    return text;
}

int designated_monitor(const std::vector<MonitorEntry>& monitors, std::wstring_view stored_name) noexcept {
    return stored_name.empty() ? pick_topmost_monitor(monitors) : find_monitor_by_name(monitors, stored_name);
}

int choose_host_monitor(const std::vector<MonitorEntry>& monitors, int designated) noexcept {
    if (monitors.empty()) {
        return -1;
    }
    int candidate = -1;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const int index = static_cast<int>(i);
        if (index == designated) {
            continue;
        }
        if (candidate < 0 || monitors[i].primary) {
            candidate = index;
        }
    }
    return candidate < 0 ? 0 : candidate;
}

int scale_to_dpi(int value, int dpi) noexcept {
    // In 64 bits, and rounding half away from zero for negative values as for positive ones.
    const long long scaled = static_cast<long long>(value) * dpi;
    const long long half = standard_dpi / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / standard_dpi : (scaled - half) / standard_dpi);
}

Box scale_to_dpi(const Box& box, int dpi) noexcept {
    const int left = scale_to_dpi(box.x, dpi);
    const int top = scale_to_dpi(box.y, dpi);
    return Box{left, top, scale_to_dpi(box.x + box.width, dpi) - left, scale_to_dpi(box.y + box.height, dpi) - top};
}

WindowPosition centre_in(const MonitorRect& area, int width, int height) noexcept {
    const int area_width = area.right - area.left;
    const int area_height = area.bottom - area.top;
    return WindowPosition{area.left + (area_width - width) / 2, area.top + (area_height - height) / 2};
}

}  // namespace kelvane
