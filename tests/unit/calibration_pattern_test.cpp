// Calibration pattern: the documented 1920x1080 pixels, the size formulas, and small or lopsided
// images painted without a write outside the image (guard words here, AddressSanitizer in that build).
#include "render/calibration_pattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <string>
#include <vector>

#include "support/log_capture.h"

namespace kelvane {
namespace {

constexpr std::uint32_t guard_word = 0xDEADBEEFu;
constexpr std::size_t guard_words = 64;

// An image with guard words on both sides of it.
class GuardedImage {
public:
    GuardedImage(int width, int height)
        : width_(width),
          height_(height),
          words_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 2 * guard_words, guard_word) {}

    bool paint() { return paint_pattern(words_.data() + guard_words, pixel_count(), width_, height_); }

    [[nodiscard]] std::uint32_t at(int x, int y) const {
        return words_.at(guard_words + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                         static_cast<std::size_t>(x));
    }
    [[nodiscard]] bool guards_intact() const {
        for (std::size_t i = 0; i < guard_words; ++i) {
            if (words_[i] != guard_word || words_[words_.size() - 1 - i] != guard_word) {
                return false;
            }
        }
        return true;
    }
    [[nodiscard]] std::size_t pixel_count() const { return words_.size() - 2 * guard_words; }

private:
    int width_;
    int height_;
    std::vector<std::uint32_t> words_;
};

bool is_white(std::uint32_t word) {
    return word == pattern_white;
}

class FullHdPattern : public testing::Test {
protected:
    static void SetUpTestSuite() {
        image_ = new GuardedImage(1920, 1080);
        ASSERT_TRUE(image_->paint());
    }
    static void TearDownTestSuite() {
        delete image_;
        image_ = nullptr;
    }
    static GuardedImage* image_;
};
GuardedImage* FullHdPattern::image_ = nullptr;

TEST_F(FullHdPattern, CornerSquaresHaveTheirColours) {
    EXPECT_EQ(image_->at(0, 0), 0xFFE03030u);
    EXPECT_EQ(image_->at(1919, 0), 0xFF30C030u);
    EXPECT_EQ(image_->at(0, 1079), 0xFF3060E0u);
    EXPECT_EQ(image_->at(1919, 1079), 0xFFE0D030u);
    EXPECT_EQ(image_->at(159, 159), 0xFFE03030u);
    EXPECT_EQ(image_->at(1760, 920), 0xFFE0D030u);
    EXPECT_NE(image_->at(1760, 919), 0xFFE0D030u);
    EXPECT_EQ(image_->at(160, 160), 0xFF202020u);  // the square ends at 160: a dark checker square
    EXPECT_EQ(image_->at(1759, 0), 0xFFFFFFFFu);   // left of the green square: the border
}

TEST_F(FullHdPattern, CheckerboardStartsDark) {
    EXPECT_EQ(image_->at(200, 100), 0xFF202020u);  // squares (3, 1): even
    EXPECT_EQ(image_->at(883, 400), 0xFF3A3A3Au);  // squares (13, 6): odd
    EXPECT_EQ(image_->at(255, 200), 0xFF202020u);  // squares (3, 3): even
    EXPECT_EQ(image_->at(256, 200), 0xFF3A3A3Au);  // squares (4, 3): odd
}

TEST_F(FullHdPattern, BorderIsEightPixelsWide) {
    EXPECT_EQ(image_->at(500, 7), 0xFFFFFFFFu);
    EXPECT_NE(image_->at(500, 8), 0xFFFFFFFFu);
    EXPECT_EQ(image_->at(500, 1072), 0xFFFFFFFFu);
    EXPECT_NE(image_->at(500, 1071), 0xFFFFFFFFu);
    EXPECT_EQ(image_->at(7, 500), 0xFFFFFFFFu);
    EXPECT_NE(image_->at(8, 300), 0xFFFFFFFFu);
    EXPECT_EQ(image_->at(1912, 300), 0xFFFFFFFFu);
    EXPECT_NE(image_->at(1911, 300), 0xFFFFFFFFu);
}

TEST_F(FullHdPattern, LetterFCoversItsThreeBars) {
    struct Bar {
        const char* name;
        int x0, x1, y0, y1;  // inclusive
    };
    const Bar bars[] = {
        {"stem", 806, 882, 309, 770}, {"top bar", 806, 1113, 309, 385}, {"middle bar", 806, 1036, 502, 577}};
    for (const Bar& bar : bars) {
        for (int y = bar.y0; y <= bar.y1; ++y) {
            for (int x = bar.x0; x <= bar.x1; ++x) {
                ASSERT_TRUE(is_white(image_->at(x, y))) << bar.name << " at (" << x << "," << y << ")";
            }
        }
    }
    // Just outside the letter.
    const int outside[][2] = {{805, 309}, {1114, 309}, {806, 308}, {806, 771}, {883, 386},
                              {883, 501}, {1037, 502}, {883, 578}, {1114, 385}};
    for (const auto& p : outside) {
        EXPECT_FALSE(is_white(image_->at(p[0], p[1]))) << "(" << p[0] << "," << p[1] << ")";
    }
}

TEST(PatternSizes, CornerSideIsASixthOfTheSmallerSideUpTo160) {
    EXPECT_EQ(pattern_corner_side(1920, 1080), 160);
    EXPECT_EQ(pattern_corner_side(3840, 2160), 160);
    EXPECT_EQ(pattern_corner_side(800, 600), 100);
    EXPECT_EQ(pattern_corner_side(600, 800), 100);
    EXPECT_EQ(pattern_corner_side(959, 4000), 159);
    EXPECT_EQ(pattern_corner_side(100, 4000), 16);
    EXPECT_EQ(pattern_corner_side(7, 5), 0);
}

TEST(PatternSizes, LetterUnitIsAFourteenthOfTheHeightAtLeast8) {
    EXPECT_EQ(pattern_letter_unit(1080), 77);
    EXPECT_EQ(pattern_letter_unit(2160), 154);
    EXPECT_EQ(pattern_letter_unit(100), 8);
    EXPECT_EQ(pattern_letter_unit(1), 8);
}

TEST(PatternSizes, PaintedCornersAndLetterFollowTheFormulas) {
    GuardedImage image(800, 600);  // corner side 100, unit 42, centre (400, 300)
    ASSERT_TRUE(image.paint());
    EXPECT_EQ(image.at(99, 99), pattern_top_left);
    EXPECT_EQ(image.at(100, 99), pattern_dark);  // past the square: checker squares (1, 1)
    EXPECT_EQ(image.at(700, 500), pattern_bottom_right);
    EXPECT_NE(image.at(699, 500), pattern_bottom_right);
    // Stem [316, 358) x [174, 426), top bar to x = 484, middle bar to x = 442 over rows [279, 321).
    EXPECT_TRUE(is_white(image.at(316, 174)));
    EXPECT_TRUE(is_white(image.at(357, 425)));
    EXPECT_FALSE(is_white(image.at(315, 300)));
    EXPECT_FALSE(is_white(image.at(316, 426)));
    EXPECT_TRUE(is_white(image.at(483, 215)));
    EXPECT_FALSE(is_white(image.at(484, 215)));
    EXPECT_FALSE(is_white(image.at(483, 216)));
    EXPECT_TRUE(is_white(image.at(441, 279)));
    EXPECT_TRUE(is_white(image.at(441, 320)));
    EXPECT_FALSE(is_white(image.at(442, 300)));
    EXPECT_FALSE(is_white(image.at(441, 321)));
}

TEST(PatternSizes, SmallAndLopsidedImagesStayInside) {
    struct Case {
        int width, height;
    };
    const Case cases[] = {{1, 1}, {7, 5}, {100, 4000}, {4000, 100}, {2, 3000}, {17, 17}, {64, 1}};
    const std::uint32_t palette[] = {pattern_dark,      pattern_light,       pattern_white,       pattern_top_left,
                                     pattern_top_right, pattern_bottom_left, pattern_bottom_right};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        GuardedImage image(c.width, c.height);
        ASSERT_TRUE(image.paint());
        EXPECT_TRUE(image.guards_intact());
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const std::uint32_t word = image.at(x, y);
                ASSERT_NE(std::find(std::begin(palette), std::end(palette), word), std::end(palette))
                    << "(" << x << "," << y << ") = " << std::hex << word;
            }
        }
    }
}

TEST(PatternSizes, TinyImagesAreAllBorder) {
    // Narrower than two borders: every pixel is white, and no corner square is left (side 0).
    GuardedImage image(7, 5);
    ASSERT_TRUE(image.paint());
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(image.at(x, y), pattern_white);
        }
    }
}

TEST(PatternSizes, LopsidedImagesClipTheLetter) {
    GuardedImage tall(100, 4000);  // corner side 16, unit 285: the letter is far wider than the image
    ASSERT_TRUE(tall.paint());
    EXPECT_EQ(tall.at(15, 15), pattern_top_left);
    EXPECT_EQ(tall.at(84, 3984), pattern_bottom_right);
    // Stem [-520, -235) is clipped away; the top bar covers the whole width over rows [1145, 1430).
    EXPECT_TRUE(is_white(tall.at(50, 1145)));
    EXPECT_FALSE(is_white(tall.at(50, 1144)));
    EXPECT_FALSE(is_white(tall.at(50, 1430)));

    GuardedImage wide(4000, 100);  // corner side 16, unit 8, centre (2000, 50)
    ASSERT_TRUE(wide.paint());
    EXPECT_EQ(wide.at(3990, 50), pattern_dark);  // inside the last checker column, left of the border
    EXPECT_TRUE(is_white(wide.at(1984, 26)));
    EXPECT_FALSE(is_white(wide.at(1983, 50)));
}

TEST(PatternSizes, ImageWithoutPixelsPaintsNothing) {
    std::vector<std::uint32_t> words(16, guard_word);
    for (const auto& size : {std::array<int, 2>{0, 0}, std::array<int, 2>{0, 1080}, std::array<int, 2>{1920, 0},
                             std::array<int, 2>{-4, 4}, std::array<int, 2>{4, -4}}) {
        EXPECT_TRUE(paint_pattern(words.data(), words.size(), size[0], size[1]));
        EXPECT_TRUE(paint_pattern(nullptr, 0, size[0], size[1]));
    }
    EXPECT_EQ(words, std::vector<std::uint32_t>(16, guard_word));
}

TEST(PatternSizes, BufferSmallerThanTheImageIsRefused) {
    test::LogCapture log;
    std::vector<std::uint32_t> words(15, guard_word);
    EXPECT_FALSE(paint_pattern(words.data(), words.size(), 4, 4));
    EXPECT_FALSE(paint_pattern(nullptr, 16, 4, 4));
    EXPECT_EQ(words, std::vector<std::uint32_t>(15, guard_word));
    const std::vector<std::string> expected = {"pattern: image buffer of 15 pixels is too small for 4x4",
                                               "pattern: image buffer of 0 pixels is too small for 4x4"};
    EXPECT_EQ(log.messages(), expected);
}

}  // namespace
}  // namespace kelvane
