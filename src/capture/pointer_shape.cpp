// Pointer-shape conversion: validation of the shape against its bytes, then one converter per type.
#include "capture/pointer_shape.h"

#include "platform/log.h"

namespace kelvane {
namespace {

constexpr std::uint32_t bits_per_byte = 8;
constexpr std::uint32_t bytes_per_pixel = 4;
constexpr std::uint32_t color_mask = 0x00FFFFFFu;
constexpr std::uint32_t opaque_alpha = 0xFF000000u;
constexpr int alpha_shift = 24;

struct ShapeLayout {
    std::uint32_t image_width;
    std::uint32_t image_height;
    std::uint32_t rows_read;  // rows of the buffer the conversion reads
    std::uint32_t row_bytes;  // bytes it reads from each of them
};

bool is_known_type(std::uint32_t type) noexcept {
    return type == pointer_shape_monochrome || type == pointer_shape_color || type == pointer_shape_masked_color;
}

ShapeLayout layout_of(const PointerShapeInfo& info) noexcept {
    if (info.type == pointer_shape_monochrome) {
        // The AND mask and the XOR mask share the reported height; one bit per pixel.
        const std::uint32_t height = info.height / 2;
        return {info.width, height, 2 * height, (info.width + bits_per_byte - 1) / bits_per_byte};
    }
    return {info.width, info.height, info.height, info.width * bytes_per_pixel};
}

// Why the shape cannot be read safely, or null when it can.
const char* shape_fault(const ShapeLayout& layout, const PointerShapeInfo& info, std::size_t size) noexcept {
    if (layout.image_width == 0 || layout.image_height == 0) {
        return "empty image";
    }
    if (layout.image_width > max_cursor_side || layout.image_height > max_cursor_side) {
        return "image too large";
    }
    if (info.pitch < layout.row_bytes) {
        return "pitch shorter than a row";
    }
    // The last row needs only its own bytes, not a whole pitch. At most 2047 rows of at most 2^32 bytes:
    // no overflow in 64 bits.
    const std::uint64_t needed =
        static_cast<std::uint64_t>(layout.rows_read - 1) * info.pitch + static_cast<std::uint64_t>(layout.row_bytes);
    if (needed > size) {
        return "buffer shorter than the shape";
    }
    return nullptr;
}

bool mask_bit(const std::uint8_t* row, std::uint32_t x) noexcept {
    // The most significant bit is the leftmost pixel.
    return ((row[x / bits_per_byte] >> (bits_per_byte - 1 - x % bits_per_byte)) & 1u) != 0;
}

std::uint32_t read_word(const std::uint8_t* p) noexcept {
    // Bytes B, G, R, A in memory make the word 0xAARRGGBB on any host.
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << alpha_shift);
}

void convert_monochrome(const std::uint8_t* bytes, const PointerShapeInfo& info, const ShapeLayout& layout,
                        std::uint32_t* out) noexcept {
    for (std::uint32_t y = 0; y < layout.image_height; ++y) {
        const std::uint8_t* and_row = bytes + static_cast<std::size_t>(y) * info.pitch;
        const std::uint8_t* xor_row = bytes + static_cast<std::size_t>(y + layout.image_height) * info.pitch;
        for (std::uint32_t x = 0; x < layout.image_width; ++x) {
            const bool and_bit = mask_bit(and_row, x);
            const bool xor_bit = mask_bit(xor_row, x);
            // (screen AND and_bit) XOR xor_bit: black, white, the screen, or the screen inverted (the
            // I-beam's usual form, which must show over a white page).
            std::uint32_t word = cursor_opaque_black;
            if (and_bit) {
                word = xor_bit ? cursor_inverting : cursor_transparent;
            } else if (xor_bit) {
                word = cursor_opaque_white;
            }
            out[static_cast<std::size_t>(y) * layout.image_width + x] = word;
        }
    }
}

void convert_color(const std::uint8_t* bytes, const PointerShapeInfo& info, const ShapeLayout& layout,
                   std::uint32_t* out) noexcept {
    for (std::uint32_t y = 0; y < layout.image_height; ++y) {
        const std::uint8_t* row = bytes + static_cast<std::size_t>(y) * info.pitch;
        for (std::uint32_t x = 0; x < layout.image_width; ++x) {
            out[static_cast<std::size_t>(y) * layout.image_width + x] =
                read_word(row + static_cast<std::size_t>(x) * bytes_per_pixel);
        }
    }
}

void convert_masked_color(const std::uint8_t* bytes, const PointerShapeInfo& info, const ShapeLayout& layout,
                          std::uint32_t* out) noexcept {
    for (std::uint32_t y = 0; y < layout.image_height; ++y) {
        const std::uint8_t* row = bytes + static_cast<std::size_t>(y) * info.pitch;
        for (std::uint32_t x = 0; x < layout.image_width; ++x) {
            const std::uint32_t c = read_word(row + static_cast<std::size_t>(x) * bytes_per_pixel);
            const bool mask = (c >> alpha_shift) != 0;
            const std::uint32_t color = c & color_mask;
            // A set mask byte means "XOR the screen with the colour" (alpha 0); a clear one, "replace it".
            out[static_cast<std::size_t>(y) * layout.image_width + x] = mask ? color : (color | opaque_alpha);
        }
    }
}

}  // namespace

bool convert_pointer_shape(const std::uint8_t* bytes, std::size_t size, const PointerShapeInfo& info,
                           CursorImage& cursor) {
    if (!is_known_type(info.type)) {
        return false;
    }
    const ShapeLayout layout = layout_of(info);
    if (const char* fault = shape_fault(layout, info, bytes != nullptr ? size : 0)) {
        log_message("capture: cursor shape ignored, %s: type=%u %ux%u pitch=%u, %zu bytes", fault, info.type,
                    info.width, info.height, info.pitch, bytes != nullptr ? size : std::size_t{0});
        return false;
    }

    cursor.width = static_cast<std::int32_t>(layout.image_width);
    cursor.height = static_cast<std::int32_t>(layout.image_height);
    cursor.pixels.assign(static_cast<std::size_t>(layout.image_width) * layout.image_height, 0u);
    std::uint32_t* out = cursor.pixels.data();
    if (info.type == pointer_shape_monochrome) {
        convert_monochrome(bytes, info, layout, out);
    } else if (info.type == pointer_shape_color) {
        convert_color(bytes, info, layout, out);
    } else {
        convert_masked_color(bytes, info, layout, out);
    }

    cursor.hotspot_x = info.hotspot_x;
    cursor.hotspot_y = info.hotspot_y;
    cursor.screen_xor = info.type != pointer_shape_color;
    ++cursor.generation;
    log_message("capture: cursor shape %dx%d hot=(%d,%d) type=%u", cursor.width, cursor.height, cursor.hotspot_x,
                cursor.hotspot_y, info.type);
    return true;
}

}  // namespace kelvane
