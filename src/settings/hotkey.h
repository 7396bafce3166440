// The global hotkey as the settings file writes it: modifiers and a key joined by "+" ("Ctrl+Alt+M",
// "Ctrl+Shift+F9", "Win+Alt+P"). The numbers are those RegisterHotKey takes, so the Windows shell
// passes them on unchanged.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvane {

namespace hotkey_modifier {
inline constexpr unsigned alt = 0x1;
inline constexpr unsigned control = 0x2;
inline constexpr unsigned shift = 0x4;
inline constexpr unsigned win = 0x8;
inline constexpr unsigned all = alt | control | shift | win;
}  // namespace hotkey_modifier

struct Hotkey {
    unsigned modifiers = hotkey_modifier::control | hotkey_modifier::alt;
    unsigned key = 'M';  // a virtual-key code

    friend bool operator==(const Hotkey& a, const Hotkey& b) { return a.modifiers == b.modifiers && a.key == b.key; }
    friend bool operator!=(const Hotkey& a, const Hotkey& b) { return !(a == b); }
};

// Longer text is refused before it is looked at.
inline constexpr std::size_t hotkey_text_limit = 64;

// The key's name in the text ("M", "F9", "PageUp", "Num5", "OemComma"); empty for a key that has none.
[[nodiscard]] std::string hotkey_key_name(unsigned key);

// Whether a hotkey may be used: a key with a name, and Ctrl, Alt or Win with it, or a function key. A
// letter, digit or other typing key with no modifier or Shift alone would take that key from every
// program.
[[nodiscard]] bool hotkey_is_usable(const Hotkey& hotkey);

// The text form, modifiers in the order Win, Ctrl, Alt, Shift; empty for a hotkey that is not usable.
[[nodiscard]] std::string format_hotkey(const Hotkey& hotkey);

// Reads the text form. Names are matched ignoring case and blanks around "+" are allowed; each
// modifier at most once, exactly one key, last. None when the text is not a usable hotkey.
[[nodiscard]] std::optional<Hotkey> parse_hotkey(std::string_view text);

}  // namespace kelvane
