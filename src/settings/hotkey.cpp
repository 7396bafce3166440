// The hotkey's text form: key names, the modifier order and the reading of the text.
#include "settings/hotkey.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace kelvane {
namespace {

struct Named {
    unsigned code;
    const char* name;
};

// Keys named by what they do; letters, digits, function and keypad digit keys follow their patterns.
// The keys whose character depends on the layout are named after their virtual-key codes.
constexpr Named named_keys[] = {
    {0x08, "Backspace"},  {0x09, "Tab"},       {0x0D, "Enter"},       {0x13, "Pause"},      {0x1B, "Esc"},
    {0x20, "Space"},      {0x21, "PageUp"},    {0x22, "PageDown"},    {0x23, "End"},        {0x24, "Home"},
    {0x25, "Left"},       {0x26, "Up"},        {0x27, "Right"},       {0x28, "Down"},       {0x2C, "PrintScreen"},
    {0x2D, "Insert"},     {0x2E, "Delete"},    {0x6A, "NumMultiply"}, {0x6B, "NumAdd"},     {0x6D, "NumSubtract"},
    {0x6E, "NumDecimal"}, {0x6F, "NumDivide"}, {0x90, "NumLock"},     {0x91, "ScrollLock"}, {0xBA, "Oem1"},
    {0xBB, "OemPlus"},    {0xBC, "OemComma"},  {0xBD, "OemMinus"},    {0xBE, "OemPeriod"},  {0xBF, "Oem2"},
    {0xC0, "Oem3"},       {0xDB, "Oem4"},      {0xDC, "Oem5"},        {0xDD, "Oem6"},       {0xDE, "Oem7"},
    {0xDF, "Oem8"},       {0xE2, "Oem102"},
};

// In the order they are written.
constexpr Named modifier_names[] = {
    {hotkey_modifier::win, "Win"},
    {hotkey_modifier::control, "Ctrl"},
    {hotkey_modifier::alt, "Alt"},
    {hotkey_modifier::shift, "Shift"},
};

constexpr unsigned first_function_key = 0x70;  // F1
constexpr unsigned function_key_count = 24;
constexpr unsigned first_keypad_digit = 0x60;  // Num0

char lower(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_ignoring_case(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view trimmed(std::string_view text) noexcept {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool is_function_key(unsigned key) noexcept {
    return key >= first_function_key && key < first_function_key + function_key_count;
}

std::optional<unsigned> key_from_name(std::string_view name) {
    // Every name comes from hotkey_key_name, so the two can never disagree.
    for (unsigned code = 1; code < 0x100; ++code) {
        const std::string known = hotkey_key_name(code);
        if (!known.empty() && same_ignoring_case(known, name)) {
            return code;
        }
    }
    return std::nullopt;
}

}  // namespace

std::string hotkey_key_name(unsigned key) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) {
        return std::string(1, static_cast<char>(key));
    }
    if (is_function_key(key)) {
        return "F" + std::to_string(key - first_function_key + 1);
    }
    if (key >= first_keypad_digit && key < first_keypad_digit + 10) {
        return "Num" + std::to_string(key - first_keypad_digit);
    }
    const auto* const named =
        std::find_if(std::begin(named_keys), std::end(named_keys), [key](const Named& n) { return n.code == key; });
    return named != std::end(named_keys) ? std::string(named->name) : std::string();
}

bool hotkey_is_usable(const Hotkey& hotkey) {
    if ((hotkey.modifiers & ~hotkey_modifier::all) != 0 || hotkey_key_name(hotkey.key).empty()) {
        return false;
    }
    constexpr unsigned holding = hotkey_modifier::control | hotkey_modifier::alt | hotkey_modifier::win;
    return (hotkey.modifiers & holding) != 0 || is_function_key(hotkey.key);
}

std::string format_hotkey(const Hotkey& hotkey) {
    if (!hotkey_is_usable(hotkey)) {
        return std::string();
    }
    std::string text;
    for (const Named& modifier : modifier_names) {
        if ((hotkey.modifiers & modifier.code) != 0) {
            text += modifier.name;
            text += '+';
        }
    }
    return text + hotkey_key_name(hotkey.key);
}

std::optional<Hotkey> parse_hotkey(std::string_view text) {
    if (text.size() > hotkey_text_limit) {
        return std::nullopt;
    }
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t plus = text.find('+');
        parts.push_back(trimmed(text.substr(0, plus)));
        if (plus == std::string_view::npos) {
            break;
        }
        text.remove_prefix(plus + 1);
    }
    Hotkey hotkey{0, 0};
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        unsigned found = 0;
        for (const Named& modifier : modifier_names) {
            if (same_ignoring_case(parts[i], modifier.name)) {
                found = modifier.code;
            }
        }
        if (found == 0 || (hotkey.modifiers & found) != 0) {
            return std::nullopt;  // not a modifier, or one written twice
        }
        hotkey.modifiers |= found;
    }
    const std::optional<unsigned> key = key_from_name(parts.back());
    if (!key) {
        return std::nullopt;
    }
    hotkey.key = *key;
    if (!hotkey_is_usable(hotkey)) {
        return std::nullopt;
    }
    return hotkey;
}

}  // namespace kelvane
