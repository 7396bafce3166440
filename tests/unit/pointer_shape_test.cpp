// Pointer-shape conversion: the three shape types, the hot spot and generation, and shapes whose
// sizes do not fit their bytes (each buffer is allocated at its exact size, so AddressSanitizer sees
// any read past it).
#include "capture/pointer_shape.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "support/log_capture.h"

namespace kelvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put_word(Bytes& bytes, std::size_t offset, std::uint32_t word) {
    bytes.at(offset) = static_cast<std::uint8_t>(word);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(word >> 8);
    bytes.at(offset + 2) = static_cast<std::uint8_t>(word >> 16);
    bytes.at(offset + 3) = static_cast<std::uint8_t>(word >> 24);
}

// A cursor that already holds an earlier shape, so that "unchanged" is visible.
CursorImage earlier_cursor() {
    CursorImage cursor;
    cursor.width = 2;
    cursor.height = 1;
    cursor.hotspot_x = 1;
    cursor.hotspot_y = 0;
    cursor.pixels = {0x11223344u, 0x55667788u};
    cursor.generation = 7;
    return cursor;
}

void expect_unchanged(const CursorImage& cursor) {
    const CursorImage before = earlier_cursor();
    EXPECT_EQ(cursor.width, before.width);
    EXPECT_EQ(cursor.height, before.height);
    EXPECT_EQ(cursor.hotspot_x, before.hotspot_x);
    EXPECT_EQ(cursor.hotspot_y, before.hotspot_y);
    EXPECT_EQ(cursor.pixels, before.pixels);
    EXPECT_EQ(cursor.generation, before.generation);
}

bool convert(const Bytes& bytes, const PointerShapeInfo& info, CursorImage& cursor) {
    return convert_pointer_shape(bytes.data(), bytes.size(), info, cursor);
}

TEST(PointerShape, MonochromeMaskPairsFollowTheTable) {
    // One image row of four pixels: AND bits 0011, XOR bits 0101, most significant bit first.
    const Bytes bytes = {0x30, 0x50};
    const PointerShapeInfo info{pointer_shape_monochrome, 4, 2, 1, 0, 0};
    CursorImage cursor;
    ASSERT_TRUE(convert(bytes, info, cursor));
    ASSERT_EQ(cursor.pixels.size(), 4u);
    EXPECT_EQ(cursor.pixels[0], 0xFF000000u);  // AND 0, XOR 0: black
    EXPECT_EQ(cursor.pixels[1], 0xFFFFFFFFu);  // AND 0, XOR 1: white
    EXPECT_EQ(cursor.pixels[2], 0x00000000u);  // AND 1, XOR 0: transparent
    EXPECT_EQ(cursor.pixels[3], 0x00FFFFFFu);  // AND 1, XOR 1: the screen XOR white, inverted
    EXPECT_TRUE(cursor.screen_xor);
}

TEST(PointerShape, MonochromeShapeIsHalfAsHighAsReported) {
    // 32 x 64: AND rows 0-31, XOR rows 32-63, 4 bytes a row.
    constexpr std::uint32_t pitch = 4;
    Bytes bytes(64 * pitch, 0xFF);  // AND all set and XOR all set: inverting everywhere but row 5
    const std::size_t and_row = 5 * pitch;
    const std::size_t xor_row = (32 + 5) * pitch;
    bytes[and_row] = 0xC5;  // 1100 0101
    bytes[xor_row] = 0xA3;  // 1010 0011
    bytes[and_row + 1] = 0xFF;
    bytes[xor_row + 1] = 0x00;  // pixels 8-15: transparent
    bytes[and_row + 2] = 0x00;
    bytes[xor_row + 2] = 0x00;  // pixels 16-23: black
    const PointerShapeInfo info{pointer_shape_monochrome, 32, 64, pitch, 3, 4};
    CursorImage cursor;
    ASSERT_TRUE(convert(bytes, info, cursor));
    EXPECT_EQ(cursor.width, 32);
    EXPECT_EQ(cursor.height, 32);
    ASSERT_EQ(cursor.pixels.size(), 32u * 32u);
    const std::uint32_t* row = &cursor.pixels[5 * 32];
    const std::uint32_t first_byte[8] = {0x00FFFFFFu, 0x00000000u, 0xFFFFFFFFu, 0xFF000000u,
                                         0xFF000000u, 0x00000000u, 0xFFFFFFFFu, 0x00FFFFFFu};
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(row[x], first_byte[x]) << "pixel " << x;
    }
    for (int x = 8; x < 16; ++x) {
        EXPECT_EQ(row[x], 0x00000000u) << "pixel " << x;
    }
    for (int x = 16; x < 24; ++x) {
        EXPECT_EQ(row[x], 0xFF000000u) << "pixel " << x;
    }
    EXPECT_EQ(row[24], 0x00FFFFFFu);
    EXPECT_EQ(cursor.pixels[4 * 32], 0x00FFFFFFu);
    EXPECT_EQ(cursor.pixels[32 * 32 - 1], 0x00FFFFFFu);
}

TEST(PointerShape, MaskedColorKeepsTheColourOfXorPixelsWithoutAlpha) {
    struct Case {
        std::uint32_t source;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {0xFF000000u, 0x00000000u},  // mask set, colour black: the screen XOR black, unchanged
        {0x01000000u, 0x00000000u},  // any non-zero mask byte counts as set
        {0xFF123456u, 0x00123456u},  // mask set, colour: XORed onto the screen
        {0xFFFFFFFFu, 0x00FFFFFFu},  // white: the screen inverted
        {0x80000001u, 0x00000001u}, {0x00ABCDEFu, 0xFFABCDEFu},  // mask clear: the colour, opaque
        {0x00000000u, 0xFF000000u},                              // mask clear, black: opaque black
    };
    Bytes bytes(std::size(cases) * 4);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        put_word(bytes, i * 4, cases[i].source);
    }
    const auto count = static_cast<std::uint32_t>(std::size(cases));
    const PointerShapeInfo info{pointer_shape_masked_color, count, 1, count * 4, 0, 0};
    CursorImage cursor;
    ASSERT_TRUE(convert(bytes, info, cursor));
    ASSERT_EQ(cursor.pixels.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cursor.pixels[i], cases[i].expected) << std::hex << cases[i].source;
    }
}

TEST(PointerShape, ColorRowsAreCopiedWithoutThePitchPadding) {
    // Two rows of two pixels, 12 bytes a row: 4 bytes of padding that must not appear in the image.
    Bytes bytes(2 * 12, 0xEE);
    put_word(bytes, 0, 0x80FF0000u);  // semi-transparent red: the alpha stays as it is
    put_word(bytes, 4, 0x00000000u);
    put_word(bytes, 12, 0xFF00FF00u);
    put_word(bytes, 16, 0x010203FFu);
    const PointerShapeInfo info{pointer_shape_color, 2, 2, 12, 1, 1};
    CursorImage cursor;
    ASSERT_TRUE(convert(bytes, info, cursor));
    EXPECT_EQ(cursor.width, 2);
    EXPECT_EQ(cursor.height, 2);
    const std::vector<std::uint32_t> expected = {0x80FF0000u, 0x00000000u, 0xFF00FF00u, 0x010203FFu};
    EXPECT_EQ(cursor.pixels, expected);
}

TEST(PointerShape, EachConversionSetsTheHotSpotCountsAndLogs) {
    test::LogCapture log;
    CursorImage cursor;
    const Bytes mono(64 * 4, 0);
    ASSERT_TRUE(convert(mono, {pointer_shape_monochrome, 32, 64, 4, 5, 7}, cursor));
    EXPECT_EQ(cursor.generation, 1u);
    EXPECT_EQ(cursor.hotspot_x, 5);
    EXPECT_EQ(cursor.hotspot_y, 7);

    const Bytes color(48 * 48 * 4, 0);
    EXPECT_TRUE(cursor.screen_xor);
    ASSERT_TRUE(convert(color, {pointer_shape_color, 48, 48, 48 * 4, 0, 47}, cursor));
    EXPECT_FALSE(cursor.screen_xor);  // alpha-blended, never XORed
    ASSERT_TRUE(convert(color, {pointer_shape_masked_color, 24, 48, 48 * 4, -2, 3}, cursor));
    EXPECT_TRUE(cursor.screen_xor);
    EXPECT_EQ(cursor.generation, 3u);
    EXPECT_EQ(cursor.hotspot_x, -2);
    EXPECT_EQ(cursor.hotspot_y, 3);
    // The image shrinks with the shape: no words of the larger one are left behind.
    EXPECT_EQ(cursor.pixels.size(), 24u * 48u);

    const std::vector<std::string> expected = {
        "capture: cursor shape 32x32 hot=(5,7) type=1",
        "capture: cursor shape 48x48 hot=(0,47) type=2",
        "capture: cursor shape 24x48 hot=(-2,3) type=4",
    };
    EXPECT_EQ(log.messages(), expected);
}

TEST(PointerShape, UnknownTypeChangesNothingAndLogsNothing) {
    test::LogCapture log;
    const Bytes bytes(16 * 16 * 4, 0xFF);
    for (const std::uint32_t type : {0u, 3u, 8u, 0xFFFFFFFFu}) {
        CursorImage cursor = earlier_cursor();
        EXPECT_FALSE(convert(bytes, {type, 16, 16, 64, 1, 1}, cursor)) << type;
        expect_unchanged(cursor);
    }
    EXPECT_TRUE(log.messages().empty());
}

TEST(PointerShape, ShapesThatDoNotFitTheirBytesAreIgnoredWithAReason) {
    struct Case {
        const char* what;
        PointerShapeInfo info;
        std::size_t size;
        const char* reason;
    };
    const Case cases[] = {
        {"colour one byte short",
         {pointer_shape_color, 4, 4, 20, 0, 0},
         3 * 20 + 16 - 1,
         "buffer shorter than the shape"},
        {"masked one byte short", {pointer_shape_masked_color, 4, 4, 16, 0, 0}, 63, "buffer shorter than the shape"},
        {"monochrome XOR rows missing",
         {pointer_shape_monochrome, 32, 64, 4, 0, 0},
         32 * 4,
         "buffer shorter than the shape"},
        {"empty buffer", {pointer_shape_color, 1, 1, 4, 0, 0}, 0, "buffer shorter than the shape"},
        {"pitch past the buffer", {pointer_shape_color, 2, 2, 0xFFFFFFFFu, 0, 0}, 64, "buffer shorter than the shape"},
        {"colour pitch below a row", {pointer_shape_color, 4, 4, 15, 0, 0}, 256, "pitch shorter than a row"},
        {"monochrome pitch below a row", {pointer_shape_monochrome, 9, 4, 1, 0, 0}, 256, "pitch shorter than a row"},
        {"zero pitch", {pointer_shape_masked_color, 1, 1, 0, 0, 0}, 256, "pitch shorter than a row"},
        {"zero width", {pointer_shape_color, 0, 4, 16, 0, 0}, 256, "empty image"},
        {"zero height", {pointer_shape_masked_color, 4, 0, 16, 0, 0}, 256, "empty image"},
        {"monochrome of one row", {pointer_shape_monochrome, 8, 1, 1, 0, 0}, 256, "empty image"},
        {"too wide",
         {pointer_shape_color, max_cursor_side + 1, 1, (max_cursor_side + 1) * 4, 0, 0},
         8192,
         "image too large"},
        {"too high", {pointer_shape_color, 1, max_cursor_side + 1, 4, 0, 0}, 8192, "image too large"},
        {"monochrome too high",
         {pointer_shape_monochrome, 8, 2 * max_cursor_side + 2, 1, 0, 0},
         8192,
         "image too large"},
        {"width that overflows a row", {pointer_shape_color, 0x40000001u, 1, 4, 0, 0}, 8192, "image too large"},
        {"largest sizes",
         {pointer_shape_monochrome, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0},
         8192,
         "image too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::LogCapture log;
        const Bytes bytes(c.size, 0x5A);
        CursorImage cursor = earlier_cursor();
        EXPECT_FALSE(convert(bytes, c.info, cursor));
        expect_unchanged(cursor);
        const std::vector<std::string> lines = log.messages();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].rfind(std::string("capture: cursor shape ignored, ") + c.reason + ":", 0), 0u) << lines[0];
    }
}

TEST(PointerShape, RejectionLineNamesTheShape) {
    test::LogCapture log;
    CursorImage cursor = earlier_cursor();
    const Bytes bytes(75, 0);
    EXPECT_FALSE(convert(bytes, {pointer_shape_color, 4, 4, 20, 0, 0}, cursor));
    const std::vector<std::string> expected = {
        "capture: cursor shape ignored, buffer shorter than the shape: type=2 4x4 pitch=20, 75 bytes"};
    EXPECT_EQ(log.messages(), expected);
}

TEST(PointerShape, NullBytesCountAsAnEmptyBuffer) {
    test::LogCapture log;
    CursorImage cursor = earlier_cursor();
    EXPECT_FALSE(convert_pointer_shape(nullptr, 4096, {pointer_shape_color, 2, 2, 8, 0, 0}, cursor));
    expect_unchanged(cursor);
    const std::vector<std::string> expected = {
        "capture: cursor shape ignored, buffer shorter than the shape: type=2 2x2 pitch=8, 0 bytes"};
    EXPECT_EQ(log.messages(), expected);
}

TEST(PointerShape, ShapesThatJustFitAreConverted) {
    struct Case {
        const char* what;
        PointerShapeInfo info;
        std::size_t size;
    };
    const Case cases[] = {
        // The last row needs only its own bytes, not a whole pitch.
        {"colour, short last row", {pointer_shape_color, 4, 4, 20, 0, 0}, 3 * 20 + 16},
        {"monochrome, odd width", {pointer_shape_monochrome, 9, 4, 2, 0, 0}, 3 * 2 + 2},
        {"monochrome, odd height", {pointer_shape_monochrome, 8, 5, 1, 0, 0}, 4},
        {"largest colour",
         {pointer_shape_color, max_cursor_side, max_cursor_side, max_cursor_side * 4, 0, 0},
         std::size_t{max_cursor_side} * max_cursor_side * 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes bytes(c.size, 0);
        CursorImage cursor;
        EXPECT_TRUE(convert(bytes, c.info, cursor));
        EXPECT_EQ(cursor.generation, 1u);
        EXPECT_EQ(cursor.pixels.size(),
                  static_cast<std::size_t>(cursor.width) * static_cast<std::size_t>(cursor.height));
    }
}

}  // namespace
}  // namespace kelvane
