// What the fuzz targets share: the invariant check, which reports the broken rule and aborts so that
// libFuzzer keeps the input as a crash, and a reader that takes fields off the front of the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The message goes to standard output as well as to standard error, because runs that mute the
// product's log with -close_fd_mask=2 lose standard error.
#define FUZZ_CHECK(condition)                                                \
    do {                                                                     \
        if (!(condition)) {                                                  \
            kelvane::fuzz::invariant_failed(#condition, __FILE__, __LINE__); \
        }                                                                    \
    } while (false)

namespace kelvane::fuzz {

[[noreturn]] inline void invariant_failed(const char* condition, const char* file, int line) {
    std::fprintf(stdout, "invariant failed: %s (%s:%d)\n", condition, file, line);
    std::fflush(stdout);
    std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", condition, file, line);
    std::abort();
}

}  // namespace kelvane::fuzz

namespace kelvane::fuzz {

// Consumes the input from the front; past the end every read yields zeros.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }

    std::uint32_t u32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= static_cast<std::uint32_t>(byte()) << (8 * i);
        }
        return value;
    }

    std::uint16_t u16() {
        const std::uint32_t low = byte();
        return static_cast<std::uint16_t>(low | (static_cast<std::uint32_t>(byte()) << 8));
    }

    [[nodiscard]] std::size_t remaining() const { return size_ - at_; }
    [[nodiscard]] const std::uint8_t* rest() const { return data_ + at_; }
    void skip(std::size_t count) { at_ += count < remaining() ? count : remaining(); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// One wide character per byte, except that 0xFF escapes the next four bytes as a raw wchar_t value
// (any 32-bit pattern where wchar_t has 32 bits), so that surrogates, values past U+10FFFF and
// negative values reach the code too. Stops after the byte `stop` (not included) or at the end.
inline std::wstring read_wide(ByteReader& in, int stop) {
    std::wstring text;
    while (in.remaining() > 0) {
        const std::uint8_t b = in.byte();
        if (static_cast<int>(b) == stop) {
            break;
        }
        if (b == 0xFF) {
            text.push_back(static_cast<wchar_t>(in.u32()));
        } else {
            text.push_back(static_cast<wchar_t>(b));
        }
    }
    return text;
}

}  // namespace kelvane::fuzz
