// Fuzz target: the pointer-shape conversion with every field of the shape information and the buffer
// length taken from the input. Layout: one selector byte (type choice, null buffer), then width,
// height, pitch, hot spot x and y as 32-bit little-endian values (a raw type too when the selector
// asks for one); the rest is the shape buffer, copied to an allocation of exactly its size so that
// AddressSanitizer sees any read past it.
//
// Invariants:
//   - the conversion accepts exactly the shapes whose sizes fit their bytes (checked here with the
//     layout rules of the shape types in 64-bit arithmetic);
//   - on success: width and height of the image (half the reported height for monochrome), pixel
//     count width x height, hot spot copied, generation one more, the screen-XOR flag for the masked
//     types, and every pixel the one its type defines from the bytes at row y * pitch;
//   - on failure the cursor is unchanged.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "capture/pointer_shape.h"
#include "fuzz_check.h"

namespace {

bool same_cursor(const kelvane::CursorImage& a, const kelvane::CursorImage& b) {
    return a.width == b.width && a.height == b.height && a.hotspot_x == b.hotspot_x && a.hotspot_y == b.hotspot_y &&
           a.pixels == b.pixels && a.generation == b.generation;
}

std::uint32_t word_at(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool bit_at(const std::uint8_t* row, std::uint64_t x) {
    return ((row[x / 8] >> (7 - x % 8)) & 1u) != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelvane::fuzz::ByteReader in(data, size);
    const std::uint8_t selector = in.byte();
    static constexpr std::uint32_t types[] = {kelvane::pointer_shape_monochrome, kelvane::pointer_shape_color,
                                              kelvane::pointer_shape_masked_color, 0u, 3u};
    kelvane::PointerShapeInfo info;
    info.type = (selector & 0x07u) < 5 ? types[selector & 0x07u] : 0u;
    const bool null_buffer = (selector & 0x08u) != 0;
    info.width = in.u32();
    info.height = in.u32();
    info.pitch = in.u32();
    info.hotspot_x = static_cast<std::int32_t>(in.u32());
    info.hotspot_y = static_cast<std::int32_t>(in.u32());
    if ((selector & 0x07u) >= 5) {
        info.type = in.u32();
    }

    const std::size_t length = in.remaining();
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[length > 0 ? length : 1]);
    if (length > 0) {
        std::memcpy(buffer.get(), in.rest(), length);
    }
    const std::uint8_t* bytes = null_buffer ? nullptr : buffer.get();
    const std::size_t available = null_buffer ? 0 : length;

    // What must be accepted.
    const bool mono = info.type == kelvane::pointer_shape_monochrome;
    const bool known =
        mono || info.type == kelvane::pointer_shape_color || info.type == kelvane::pointer_shape_masked_color;
    const std::uint64_t image_width = info.width;
    const std::uint64_t image_height = mono ? info.height / 2u : info.height;
    const std::uint64_t rows = mono ? 2 * image_height : image_height;
    const std::uint64_t row_bytes = mono ? (image_width + 7) / 8 : image_width * 4;
    const bool fits = known && image_width >= 1 && image_height >= 1 && image_width <= kelvane::max_cursor_side &&
                      image_height <= kelvane::max_cursor_side && info.pitch >= row_bytes &&
                      (rows - 1) * info.pitch + row_bytes <= available;

    kelvane::CursorImage cursor;
    cursor.width = 3;
    cursor.height = 2;
    cursor.hotspot_x = -7;
    cursor.hotspot_y = 9;
    cursor.pixels.assign(6, 0x12345678u);
    cursor.generation = 41;
    const kelvane::CursorImage before = cursor;

    const bool ok = kelvane::convert_pointer_shape(bytes, length, info, cursor);
    FUZZ_CHECK(ok == fits);
    if (!ok) {
        FUZZ_CHECK(same_cursor(cursor, before));
        return 0;
    }

    FUZZ_CHECK(static_cast<std::uint64_t>(cursor.width) == image_width);
    FUZZ_CHECK(static_cast<std::uint64_t>(cursor.height) == image_height);
    FUZZ_CHECK(cursor.pixels.size() ==
               static_cast<std::size_t>(cursor.width) * static_cast<std::size_t>(cursor.height));
    FUZZ_CHECK(cursor.hotspot_x == info.hotspot_x && cursor.hotspot_y == info.hotspot_y);
    FUZZ_CHECK(cursor.generation == before.generation + 1);
    FUZZ_CHECK(cursor.screen_xor == (info.type != kelvane::pointer_shape_color));

    for (std::uint64_t y = 0; y < image_height; ++y) {
        const std::uint8_t* row = bytes + y * info.pitch;
        for (std::uint64_t x = 0; x < image_width; ++x) {
            const std::uint32_t got = cursor.pixels[y * image_width + x];
            std::uint32_t want = 0;
            if (mono) {
                const bool and_bit = bit_at(row, x);
                const bool xor_bit = bit_at(bytes + (y + image_height) * info.pitch, x);
                // (screen AND and_bit) XOR xor_bit.
                want = and_bit ? (xor_bit ? kelvane::cursor_inverting : kelvane::cursor_transparent)
                               : (xor_bit ? kelvane::cursor_opaque_white : kelvane::cursor_opaque_black);
            } else if (info.type == kelvane::pointer_shape_color) {
                want = word_at(row + 4 * x);
            } else {
                const std::uint32_t c = word_at(row + 4 * x);
                const std::uint32_t color = c & 0x00FFFFFFu;
                // A set mask byte: the colour is XORed onto the screen (alpha 0); a clear one replaces it.
                want = (c >> 24) != 0 ? color : (color | 0xFF000000u);
            }
            FUZZ_CHECK(got == want);
        }
    }
    return 0;
}
