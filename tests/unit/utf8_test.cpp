// UTF-8 <-> wide conversion, including the replacement of ill-formed input.
#include "platform/utf8.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

constexpr wchar_t fffd = 0xFFFD;

TEST(Utf8, RoundTripsEveryPlane) {
    // A, e-acute, euro sign, CJK, and U+1F600 outside the basic plane.
    const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD\xF0\x9F\x98\x80";
    const std::wstring wide = utf8_to_wide(utf8);
    if constexpr (sizeof(wchar_t) == 2) {
        EXPECT_EQ(wide, (std::wstring{L'A', 0xE9, 0x20AC, 0x4E2D, static_cast<wchar_t>(0xD83D),
                                      static_cast<wchar_t>(0xDE00)}));
    } else {
        EXPECT_EQ(wide, (std::wstring{L'A', 0xE9, 0x20AC, 0x4E2D, static_cast<wchar_t>(0x1F600)}));
    }
    EXPECT_EQ(wide_to_utf8(wide), utf8);
}

TEST(Utf8, IllFormedBytesBecomeReplacementCharacters) {
    struct Case {
        std::string bytes;
        std::wstring wide;
    };
    const Case cases[] = {
        {"\xFF", {fffd}},
        {"a\x80"
         "b",
         {L'a', fffd, L'b'}},
        {"\xC3", {fffd}},                                // truncated at the end
        {"\xC3(", {fffd, L'('}},                         // bad continuation keeps the next byte
        {"\xC0\xAF", {fffd, fffd}},                      // overlong '/'
        {"\xE0\x80\xAF", {fffd, fffd, fffd}},            // overlong three-byte form
        {"\xED\xA0\x80", {fffd, fffd, fffd}},            // an encoded surrogate
        {"\xF4\x90\x80\x80", {fffd, fffd, fffd, fffd}},  // past U+10FFFF
        {"\xE2\x82", {fffd}},                            // one replacement for the valid prefix
        {std::string("x\0y", 3), {L'x', L'\0', L'y'}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8_to_wide(c.bytes), c.wide) << testing::PrintToString(c.bytes);
    }
}

TEST(Utf8, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(wide_to_utf8(std::wstring{static_cast<wchar_t>(0xD800)}), replacement);
    EXPECT_EQ(wide_to_utf8(std::wstring{L'a', static_cast<wchar_t>(0xDC00), L'b'}), "a" + replacement + "b");
    EXPECT_EQ(wide_to_utf8(std::wstring{static_cast<wchar_t>(0xD800), L'z'}), replacement + "z");
}

}  // namespace
}  // namespace kelvane
