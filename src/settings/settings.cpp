// Settings file text: the format and the number rule.
#include "settings/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/log.h"
#include "platform/utf8.h"

namespace kelvane {
namespace {

constexpr const char* header_line = "# Kelvane2 settings";
constexpr const char* line_end = "\r\n";

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool starts_with_word(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (lower(text[i]) != word[i]) {
            return false;
        }
    }
    return true;
}

float clamp_to(float value, float limit) {
    if (value < -limit) {
        return -limit;
    }
    if (value > limit) {
        return limit;
    }
    return value;
}

void read_number_into(std::string_view value, float& field, float limit) {
    float number = 0.0f;
    if (parse_settings_number(value, number)) {
        field = clamp_to(number, limit);
    }
}

void read_hotkey_into(std::string_view value, Hotkey& hotkey) {
    if (const std::optional<Hotkey> read = parse_hotkey(value)) {
        hotkey = *read;
    } else {
        log_message("settings: hotkey \"%.*s\" cannot be used, keeping %s",
                    static_cast<int>(std::min<std::size_t>(value.size(), hotkey_text_limit)), value.data(),
                    format_hotkey(hotkey).c_str());
    }
}

// Longest value quoted in a log line.
constexpr std::size_t quoted_value_limit = 64;

void read_fit_into(std::string_view value, FitMode& fit) {
    if (const std::optional<FitMode> read = parse_fit_mode(value)) {
        fit = *read;
    } else {
        log_message("settings: fit \"%.*s\" is neither contain nor stretch, keeping %s",
                    static_cast<int>(std::min(value.size(), quoted_value_limit)), value.data(), fit_mode_name(fit));
    }
}

// The text is kept whatever it says, so that nothing the user wrote is lost; a region that cannot be
// used shows the whole monitor.
void read_region_into(std::string_view value, std::string& region) {
    RegionProblem problem = RegionProblem::none;
    if (!value.empty() && !parse_source_region(value, problem)) {
        log_message("settings: source_region \"%.*s\" %s; the whole monitor is shown",
                    static_cast<int>(std::min(value.size(), quoted_value_limit)), value.data(),
                    region_problem_text(problem));
    }
    region = std::string(value);
}

void apply_line(std::string_view line, Settings& settings) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
        line.remove_suffix(1);
    }
    if (line.empty() || line.front() == '#') {
        return;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return;
    }
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    if (key == "monitor") {
        settings.monitor = utf8_to_wide(value);
    } else if (key == "monitor_id") {
        settings.monitor_id = utf8_to_wide(value);
    } else if (key == "source_monitor") {
        settings.source_monitor = utf8_to_wide(value);
    } else if (key == "source_monitor_id") {
        settings.source_monitor_id = utf8_to_wide(value);
    } else if (key == "source_region") {
        read_region_into(value, settings.source_region);
    } else if (key == "fit") {
        read_fit_into(value, settings.fit);
    } else if (key == "active") {
        settings.active = value == "1";
    } else if (key == "mirror_h") {
        settings.warp.mirror_h = value == "1";
    } else if (key == "mirror_v") {
        settings.warp.mirror_v = value == "1";
    } else if (key == "keystone_tb") {
        read_number_into(value, settings.warp.keystone_tb, keystone_limit);
    } else if (key == "keystone_lr") {
        read_number_into(value, settings.warp.keystone_lr, keystone_limit);
    } else if (key == "rotation") {
        read_number_into(value, settings.warp.rotation, rotation_limit);
    } else if (key == "hotkey") {
        read_hotkey_into(value, settings.hotkey);
    }
}

}  // namespace

bool parse_settings_number(std::string_view value, float& out) {
    std::size_t i = 0;
    const bool negative = !value.empty() && value[0] == '-';
    if (negative) {
        ++i;
    }
    const std::string_view rest = value.substr(i);
    if (starts_with_word(rest, "nan")) {
        // A NaN would blank the whole warp: treat it as unreadable.
        return false;
    }
    if (starts_with_word(rest, "inf")) {
        out = negative ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
        return true;
    }

    const std::size_t start = i;
    std::size_t digits = 0;
    bool nonzero_digit = false;
    while (i < value.size() && is_digit(value[i])) {
        nonzero_digit = nonzero_digit || value[i] != '0';
        ++digits;
        ++i;
    }
    if (i < value.size() && value[i] == '.') {
        ++i;
        while (i < value.size() && is_digit(value[i])) {
            nonzero_digit = nonzero_digit || value[i] != '0';
            ++digits;
            ++i;
        }
    }
    if (digits == 0) {
        return false;
    }
    // An exponent belongs to the number only when it has at least one digit.
    if (i < value.size() && (value[i] == 'e' || value[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < value.size() && (value[j] == '+' || value[j] == '-')) {
            ++j;
        }
        if (j < value.size() && is_digit(value[j])) {
            while (j < value.size() && is_digit(value[j])) {
                ++j;
            }
            i = j;
        }
    }

    // The text now holds only digits, one point and a plain exponent, which strtof reads the same
    // in every locale that uses "." as the decimal point (the C locale of this program).
    const std::string number(value.substr(start, i - start));
    const float magnitude = std::strtof(number.c_str(), nullptr);
    if (std::isinf(magnitude)) {
        return false;  // too large for a 32-bit float
    }
    if (magnitude == 0.0f && nonzero_digit) {
        return false;  // not zero, but too small to be anything else
    }
    out = negative ? -magnitude : magnitude;
    return true;
}

std::string format_settings_number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
}

void apply_settings_text(std::string_view text, Settings& settings) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        apply_line(text.substr(0, end), settings);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
}

std::string format_settings_text(const Settings& settings) {
    std::string text;
    const auto add = [&text](const std::string& line) {
        text += line;
        text += line_end;
    };
    const auto flag = [](bool value) { return std::string(value ? "1" : "0"); };
    add(header_line);
    add("monitor=" + wide_to_utf8(settings.monitor));
    add("monitor_id=" + wide_to_utf8(settings.monitor_id));
    add("source_monitor=" + wide_to_utf8(settings.source_monitor));
    add("source_monitor_id=" + wide_to_utf8(settings.source_monitor_id));
    add("source_region=" + settings.source_region);
    add("fit=" + std::string(fit_mode_name(settings.fit)));
    add("active=" + flag(settings.active));
    add("mirror_h=" + flag(settings.warp.mirror_h));
    add("mirror_v=" + flag(settings.warp.mirror_v));
    add("keystone_tb=" + format_settings_number(settings.warp.keystone_tb));
    add("keystone_lr=" + format_settings_number(settings.warp.keystone_lr));
    add("rotation=" + format_settings_number(settings.warp.rotation));
    add("hotkey=" + format_hotkey(settings.hotkey));
    return text;
}

void reset_warp_correction(Settings& settings) noexcept {
    settings.warp.keystone_tb = 0.0f;
    settings.warp.keystone_lr = 0.0f;
    settings.warp.rotation = 0.0f;
}

}  // namespace kelvane
