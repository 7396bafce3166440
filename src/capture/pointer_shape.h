// Pointer shapes as Desktop Duplication delivers them (monochrome masks, colour, masked colour) turned
// into the straight-alpha cursor image the renderer uploads. The shape bytes come from the operating
// system and are checked against the shape information before a single byte is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvane {

// Shape types, with the values of DXGI_OUTDUPL_POINTER_SHAPE_TYPE.
inline constexpr std::uint32_t pointer_shape_monochrome = 1;
inline constexpr std::uint32_t pointer_shape_color = 2;
inline constexpr std::uint32_t pointer_shape_masked_color = 4;

// Largest cursor image side accepted. Windows draws cursors of at most 256 pixels a side; anything far
// beyond is a corrupt shape, not a cursor.
inline constexpr std::uint32_t max_cursor_side = 1024;

// The shape information that comes with the bytes (DXGI_OUTDUPL_POINTER_SHAPE_INFO).
struct PointerShapeInfo {
    std::uint32_t type = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;  // for monochrome shapes: both masks, twice the image height
    std::uint32_t pitch = 0;   // bytes from one row to the next
    std::int32_t hotspot_x = 0;
    std::int32_t hotspot_y = 0;
};

// The converted cursor: B8G8R8A8 words (0xAARRGGBB) with straight alpha, row-major, rows back to back.
// In an image with `screen_xor` set (from a monochrome or masked-colour shape) every pixel is opaque or
// has alpha 0, and the colour of an alpha-0 pixel is XORed onto the screen as Windows draws it: white
// inverts what lies under it, black leaves it alone.
struct CursorImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t hotspot_x = 0;
    std::int32_t hotspot_y = 0;
    std::vector<std::uint32_t> pixels;
    std::uint64_t generation = 0;  // one more after every converted shape
    bool screen_xor = false;
};

// Opaque black, transparent, opaque white and inverting, as the monochrome mask pairs produce them.
inline constexpr std::uint32_t cursor_opaque_black = 0xFF000000u;
inline constexpr std::uint32_t cursor_transparent = 0x00000000u;
inline constexpr std::uint32_t cursor_opaque_white = 0xFFFFFFFFu;
inline constexpr std::uint32_t cursor_inverting = 0x00FFFFFFu;

// Converts the shape in `bytes` (`size` bytes) into `cursor`, sets the hot spot, counts the generation
// and logs the new shape. Returns false and leaves `cursor` untouched for an unknown type (silently) and
// for a shape whose sizes do not fit its bytes (with one log line saying why).
bool convert_pointer_shape(const std::uint8_t* bytes, std::size_t size, const PointerShapeInfo& info,
                           CursorImage& cursor);

}  // namespace kelvane
