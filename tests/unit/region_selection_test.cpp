// The region selection's decisions: drags in every direction and past the monitor, clicks that take
// the window under them or nothing, Enter and Esc, and the pixels the window shows for a selection.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "ui/region_selection.h"

namespace kelvane {
namespace {

// A monitor left of and below the primary, so that desktop and monitor coordinates differ.
constexpr MonitorRect monitor{-1920, 180, 0, 1260};
constexpr std::int32_t threshold = 4;

testing::AssertionResult rect_is(const std::optional<MonitorRect>& rect, const MonitorRect& expected) {
    if (!rect) {
        return testing::AssertionFailure() << "no rectangle";
    }
    if (!same_rect(*rect, expected)) {
        return testing::AssertionFailure()
               << "(" << rect->left << "," << rect->top << ")-(" << rect->right << "," << rect->bottom << ")";
    }
    return testing::AssertionSuccess();
}

TEST(RegionSelection, ReleasingADragTakesTheRectangleBetweenPressAndReleaseOnTheMonitor) {
    const struct Case {
        SelectionPoint press, through, release;
        MonitorRect taken;
    } cases[] = {
        {{-1800, 300}, {-1500, 500}, {-1600, 400}, {-1800, 300, -1599, 401}},  // down-right; the way there is not kept
        {{-1000, 900}, {-1000, 900}, {-1100, 700}, {-1100, 700, -999, 901}},   // up-left
        {{-10, 190}, {-10, 190}, {200, 100}, {-10, 180, 0, 191}},              // up-right, past two edges
        {{-1900, 1250}, {-1900, 1250}, {-5000, 30000}, {-1920, 1250, -1899, 1260}},  // far outside: clipped
        {{-1920, 180}, {-1920, 180}, {-1, 1259}, monitor},  // corner pixel to corner pixel: the whole monitor
        {{-1000, 500}, {-1000, 500}, {-995, 500}, {-1000, 500, -994, 501}},  // just past the threshold, one row
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.release.x << "," << c.release.y);
        RegionSelection selection(monitor, threshold);
        EXPECT_EQ(selection.press(c.press.x, c.press.y), SelectionStep::redraw);
        EXPECT_FALSE(selection.shown());  // nothing dragged yet
        selection.move(c.through.x, c.through.y);
        ASSERT_EQ(selection.release(c.release.x, c.release.y), SelectionStep::take);
        EXPECT_TRUE(rect_is(selection.taken(), c.taken));
        EXPECT_TRUE(selection.finished());
        EXPECT_FALSE(selection.shown());
        // Nothing more happens once taken.
        EXPECT_EQ(selection.press(c.press.x, c.press.y), SelectionStep::none);
        EXPECT_EQ(selection.enter(), SelectionStep::none);
        EXPECT_EQ(selection.escape(), SelectionStep::none);
    }
}

TEST(RegionSelection, MovesShowTheDragOnceItLeavesTheThresholdAndRedrawOnlyOnChange) {
    RegionSelection selection(monitor, threshold);
    EXPECT_EQ(selection.move(-1500, 500), SelectionStep::none);  // no button down
    ASSERT_EQ(selection.press(-1500, 500), SelectionStep::redraw);
    EXPECT_EQ(selection.move(-1496, 504), SelectionStep::none);  // still a click
    EXPECT_FALSE(selection.shown());
    EXPECT_EQ(selection.move(-1495, 500), SelectionStep::redraw);
    EXPECT_TRUE(rect_is(selection.shown(), {-1500, 500, -1494, 501}));
    EXPECT_EQ(selection.move(-1495, 500), SelectionStep::none);
    EXPECT_EQ(selection.move(100, 2000), SelectionStep::redraw);
    EXPECT_TRUE(rect_is(selection.shown(), {-1500, 500, 0, 1260}));
    EXPECT_EQ(selection.move(5000, 5000), SelectionStep::none);  // the same once clipped
    // Back inside the threshold: a release there is a click.
    EXPECT_EQ(selection.move(-1498, 498), SelectionStep::redraw);
    EXPECT_EQ(selection.release(-1498, 498), SelectionStep::find_window);
    EXPECT_EQ(selection.click_point().x, -1500);
    EXPECT_EQ(selection.click_point().y, 500);
}

TEST(RegionSelection, AClickTakesTheWindowUnderItOnTheMonitorOrNothingAndGoesOn) {
    const struct Case {
        std::optional<MonitorRect> window;
        std::optional<MonitorRect> taken;
    } cases[] = {
        {MonitorRect{-1700, 300, -900, 900}, MonitorRect{-1700, 300, -900, 900}},
        {MonitorRect{-2500, 100, -1000, 800}, MonitorRect{-1920, 180, -1000, 800}},  // reaching off the monitor
        {MonitorRect{-3000, 0, 500, 2000}, monitor},
        {MonitorRect{0, 180, 800, 900}, std::nullopt},        // beside the monitor only
        {MonitorRect{-1700, 300, -1700, 900}, std::nullopt},  // no width
        {std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.window ? c.window->left : 0);
        RegionSelection selection(monitor, threshold);
        selection.press(-1600, 500);
        selection.move(-1597, 503);
        ASSERT_EQ(selection.release(-1597, 503), SelectionStep::find_window);
        EXPECT_EQ(selection.press(-1600, 500), SelectionStep::none);  // the lookup first
        EXPECT_EQ(selection.enter(), SelectionStep::none);
        const SelectionStep step = selection.window_found(c.window);
        if (c.taken) {
            ASSERT_EQ(step, SelectionStep::take);
            EXPECT_TRUE(rect_is(selection.taken(), *c.taken));
        } else {
            EXPECT_EQ(step, SelectionStep::redraw);
            EXPECT_FALSE(selection.finished());
            EXPECT_EQ(selection.window_found(MonitorRect{-1700, 300, -900, 900}), SelectionStep::none);  // not asked
            EXPECT_EQ(selection.press(-1600, 500), SelectionStep::redraw);                               // goes on
        }
    }
}

TEST(RegionSelection, EnterTakesWhatIsShownEscCancelsAndStrayInputIsIgnored) {
    RegionSelection selection(monitor, threshold);
    EXPECT_EQ(selection.enter(), SelectionStep::none);  // nothing shown: the window stays
    EXPECT_EQ(selection.release(-1500, 500), SelectionStep::none);
    EXPECT_EQ(selection.press(0, 500), SelectionStep::none);  // right edge: off the monitor
    EXPECT_EQ(selection.press(-1500, 179), SelectionStep::none);
    EXPECT_FALSE(selection.pressed());

    // The window under the resting pointer, then the drag over it.
    EXPECT_EQ(selection.hover(MonitorRect{-2000, 200, -1000, 700}), SelectionStep::redraw);
    EXPECT_EQ(selection.hover(MonitorRect{-2000, 200, -1000, 700}), SelectionStep::none);
    EXPECT_TRUE(rect_is(selection.shown(), {-1920, 200, -1000, 700}));
    selection.press(-1500, 500);
    EXPECT_TRUE(rect_is(selection.shown(), {-1920, 200, -1000, 700}));  // a click would take it
    EXPECT_EQ(selection.hover(std::nullopt), SelectionStep::none);      // not while the button is down
    selection.move(-1400, 600);
    EXPECT_EQ(selection.capture_lost(), SelectionStep::redraw);
    EXPECT_FALSE(selection.pressed());
    EXPECT_FALSE(selection.shown());
    EXPECT_EQ(selection.release(-1400, 600), SelectionStep::none);

    selection.press(-1500, 500);
    selection.move(-1400, 600);
    ASSERT_EQ(selection.enter(), SelectionStep::take);
    EXPECT_TRUE(rect_is(selection.taken(), {-1500, 500, -1399, 601}));

    RegionSelection hovered(monitor, threshold);
    hovered.hover(MonitorRect{-100, 1000, 50, 1300});
    ASSERT_EQ(hovered.enter(), SelectionStep::take);
    EXPECT_TRUE(rect_is(hovered.taken(), {-100, 1000, 0, 1260}));

    for (const bool mid_drag : {false, true}) {
        RegionSelection cancelled(monitor, threshold);
        if (mid_drag) {
            cancelled.press(-1500, 500);
            cancelled.move(-1000, 900);
        }
        EXPECT_EQ(cancelled.escape(), SelectionStep::cancel);
        EXPECT_TRUE(cancelled.finished());
        EXPECT_EQ(cancelled.release(-1000, 900), SelectionStep::none);
    }
}

// Each pixel of a small monitor as the drawing paints it, against where it lies: in the selection
// clear, within the outline's width around it blue, elsewhere dim.
TEST(RegionSelectionDrawing, DimsAllButTheSelectionAndFramesItFromOutsideOnTheMonitor) {
    constexpr MonitorRect small{-20, 10, 20, 40};
    constexpr std::int32_t width = 3;
    const std::optional<MonitorRect> selections[] = {
        std::nullopt,
        MonitorRect{-10, 20, 5, 30},
        MonitorRect{-20, 10, -15, 14},  // top-left corner
        MonitorRect{15, 35, 20, 40},    // bottom-right corner
        MonitorRect{-19, 11, 19, 39},   // a pixel inside each edge: the outline is cut to the monitor
        small,
        MonitorRect{0, 0, 100, 100},      // partly off the monitor
        MonitorRect{100, 100, 120, 120},  // wholly off: nothing selected
    };
    for (const std::optional<MonitorRect>& selected : selections) {
        SCOPED_TRACE(selected ? selected->left * 1000 + selected->top : -1);
        const SelectionDrawing drawing = selection_drawing(small, selected, width);
        EXPECT_LE(drawing.dim.size(), 4u);
        EXPECT_LE(drawing.outline.size(), 4u);
        std::vector<std::uint32_t> pixels(40 * 30, 0);
        paint_selection(drawing, small, pixels.data());
        const std::optional<MonitorRect> inside = selected ? clip_rect(*selected, small) : std::nullopt;
        int wrong = 0;
        for (std::int32_t y = small.top; y < small.bottom; ++y) {
            for (std::int32_t x = small.left; x < small.right; ++x) {
                std::uint32_t expected = dim_pixel;
                if (inside && rect_contains(*inside, x, y)) {
                    expected = selected_pixel;
                } else if (inside && rect_contains({inside->left - width, inside->top - width, inside->right + width,
                                                    inside->bottom + width},
                                                   x, y)) {
                    expected = outline_pixel;
                }
                if (pixels[static_cast<std::size_t>((y - small.top) * 40 + (x - small.left))] != expected &&
                    ++wrong < 5) {
                    ADD_FAILURE() << "pixel " << x << "," << y;
                }
            }
        }
        // No dim is painted over the selection and then painted back.
        for (const MonitorRect& dim : drawing.dim) {
            EXPECT_FALSE(inside && clip_rect(dim, *inside));
        }
    }
}

}  // namespace
}  // namespace kelvane
