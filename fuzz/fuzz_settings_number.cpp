// Fuzz target: the settings file's number rule on any text.
//
// Invariants:
//   - on failure the output is untouched (bit for bit);
//   - text starting with [-]nan (any case) never reads;
//   - on success the result is not NaN; it is infinite exactly when the text starts with [-]inf (any
//     case), and the text then always reads; the sign of the result is the text's leading '-';
//   - a success needs a digit, or a point and a digit, right after the optional '-';
//   - the saved form of a result reads again, to the same value for infinities and otherwise to a
//     value within the six-digit rounding of "%g"; saving and reading once more changes nothing
//     (same text, same bits); text after the saved form that cannot continue a number is ignored.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "settings/settings.h"

namespace {

constexpr float sentinel = 12345.678f;

bool starts_with_word(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = text[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != word[i]) {
            return false;
        }
    }
    return true;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::uint32_t bits_of(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    float value = sentinel;
    const bool ok = kelvane::parse_settings_number(text, value);

    const bool negative = !text.empty() && text[0] == '-';
    const std::string_view rest = text.substr(negative ? 1 : 0);
    const bool says_nan = starts_with_word(rest, "nan");
    const bool says_inf = starts_with_word(rest, "inf");

    if (!ok) {
        FUZZ_CHECK(bits_of(value) == bits_of(sentinel));
        FUZZ_CHECK(!says_inf);
        return 0;
    }
    FUZZ_CHECK(!says_nan);
    FUZZ_CHECK(!std::isnan(value));
    FUZZ_CHECK(std::isinf(value) == says_inf);
    FUZZ_CHECK(std::signbit(value) == negative);
    if (!says_inf) {
        const bool starts_number =
            (!rest.empty() && is_digit(rest[0])) || (rest.size() >= 2 && rest[0] == '.' && is_digit(rest[1]));
        FUZZ_CHECK(starts_number);
    }

    const std::string saved = kelvane::format_settings_number(value);
    float reread = sentinel;
    FUZZ_CHECK(kelvane::parse_settings_number(saved, reread));
    if (std::isinf(value)) {
        FUZZ_CHECK(reread == value);
    } else {
        // Six significant digits (5e-6 relative), then half a float step when read back: 2^-24
        // relative for normal values, an absolute 2^-150 below them.
        const double a = value;
        const double b = reread;
        FUZZ_CHECK(std::fabs(a - b) <= (5.0e-6 + 0x1p-23) * std::fabs(a) + 0x1p-149);
    }
    FUZZ_CHECK(std::signbit(reread) == std::signbit(value));

    const std::string saved_again = kelvane::format_settings_number(reread);
    FUZZ_CHECK(saved_again == saved);
    float reread_again = sentinel;
    FUZZ_CHECK(kelvane::parse_settings_number(saved_again, reread_again));
    FUZZ_CHECK(bits_of(reread_again) == bits_of(reread));

    float with_tail = sentinel;
    FUZZ_CHECK(kelvane::parse_settings_number(saved + " x", with_tail));
    FUZZ_CHECK(bits_of(with_tail) == bits_of(reread));
    return 0;
}
