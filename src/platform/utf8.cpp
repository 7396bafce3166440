// UTF-8 codec shared by the settings file, the log and the POSIX platform layer.
#include "platform/utf8.h"

#include <cstdint>
#include <type_traits>

namespace kelvane {
namespace {

constexpr char32_t replacement_char = 0xFFFD;

void append_wide(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(cp));
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool is_continuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

}  // namespace

std::wstring utf8_to_wide(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<wchar_t>(lead));
            ++i;
            continue;
        }
        // Length and the allowed range of the second byte (which rules out overlong forms,
        // surrogates and values past U+10FFFF), per the Unicode table of well-formed sequences.
        std::size_t length = 0;
        unsigned char second_min = 0x80;
        unsigned char second_max = 0xBF;
        char32_t cp = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0F;
            if (lead == 0xE0) {
                second_min = 0xA0;
            }
            if (lead == 0xED) {
                second_max = 0x9F;
            }
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07;
            if (lead == 0xF0) {
                second_min = 0x90;
            }
            if (lead == 0xF4) {
                second_max = 0x8F;
            }
        } else {
            append_wide(out, replacement_char);
            ++i;
            continue;
        }
        std::size_t used = 1;
        bool valid = true;
        while (used < length) {
            if (i + used >= text.size()) {
                valid = false;
                break;
            }
            const auto byte = static_cast<unsigned char>(text[i + used]);
            const bool fits = used == 1 ? (byte >= second_min && byte <= second_max) : is_continuation(byte);
            if (!fits) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (byte & 0x3F);
            ++used;
        }
        // An ill-formed sequence is replaced by one U+FFFD for the bytes that were a valid prefix.
        append_wide(out, valid ? cp : replacement_char);
        i += used;
    }
    return out;
}

std::string wide_to_utf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto cp = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i]));
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
            const auto low = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i + 1]));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            cp = replacement_char;
        }
        append_utf8(out, cp);
    }
    return out;
}

}  // namespace kelvane
