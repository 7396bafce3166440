// The Adjust-warp window's sizes at other DPIs: rounding, and that scaled boxes never come to overlap
// or leave their area at any DPI a monitor may have.
#include <gtest/gtest.h>

#include "ui/adjust_warp.h"

namespace kelvane {
namespace {

TEST(AdjustDpi, LengthsRoundToTheNearestPixel) {
    struct Case {
        int value;
        int dpi;
        int scaled;
    };
    const Case cases[] = {
        {480, 96, 480},  {480, 144, 720}, {480, 192, 960}, {283, 120, 354},  // 353.75
        {15, 144, 23},                                                       // 22.5 rounds up
        {-15, 144, -23}, {1, 168, 2},     {0, 288, 0},     {100000, 480, 500000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(scale_to_dpi(c.value, c.dpi), c.scaled) << c.value << " at " << c.dpi;
    }
}

TEST(AdjustDpi, BoxesThatKeepApartAtStandardDpiNeverOverlapAndStayInside) {
    // Neighbours one unit apart, touching, and odd sizes whose rounded sizes would collide.
    const Box boxes[] = {{20, 15, 200, 24}, {221, 15, 1, 1}, {222, 15, 3, 3}, {20, 39, 1, 13}, {21, 52, 179, 20}};
    const Box area{0, 0, adjust_client_width, adjust_client_height};
    for (int dpi = 72; dpi <= 480; ++dpi) {
        const Box outer = scale_to_dpi(area, dpi);
        for (std::size_t i = 0; i < std::size(boxes); ++i) {
            const Box a = scale_to_dpi(boxes[i], dpi);
            ASSERT_GE(a.x, outer.x) << dpi;
            ASSERT_LE(a.x + a.width, outer.x + outer.width) << dpi;
            ASSERT_GE(a.width, boxes[i].width * dpi / standard_dpi) << dpi;
            for (std::size_t j = i + 1; j < std::size(boxes); ++j) {
                const Box b = scale_to_dpi(boxes[j], dpi);
                const bool apart =
                    a.x + a.width <= b.x || b.x + b.width <= a.x || a.y + a.height <= b.y || b.y + b.height <= a.y;
                ASSERT_TRUE(apart) << "boxes " << i << " and " << j << " at " << dpi;
            }
        }
    }
}

}  // namespace
}  // namespace kelvane
