// The region selection's decisions as scripted inputs mapped to the steps the window is told to take
// and what is taken: drags in every direction and past the monitor, clicks that take the window under
// them or nothing, Enter and Esc; and the pixels the window shows for a selection.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/region_selection.h"

namespace kelvane {
namespace {

// A monitor left of and below the primary, so that desktop and monitor coordinates differ.
constexpr MonitorRect monitor{-1920, 180, 0, 1260};
constexpr std::int32_t threshold = 4;
constexpr MonitorRect window{-1700, 300, -900, 900};

std::vector<int> box(const MonitorRect& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

// Press, move and release at a point; hover and window found with a window or none; Enter, Esc and
// the capture lost.
struct Input {
    char kind;
    MonitorRect rect;
};
const auto p = [](std::int32_t x, std::int32_t y) { return Input{'p', {x, y, 0, 0}}; };
const auto m = [](std::int32_t x, std::int32_t y) { return Input{'m', {x, y, 0, 0}}; };
const auto r = [](std::int32_t x, std::int32_t y) { return Input{'r', {x, y, 0, 0}}; };
const auto h = [](const MonitorRect& window) { return Input{'h', window}; };
const auto f = [](const MonitorRect& window) { return Input{'f', window}; };
const Input e{'e', {}}, x{'x', {}}, l{'l', {}}, no_hover{'H', {}}, no_window{'F', {}};

// One character per input: . none, R redraw, F find the window, T take, C cancel.
std::string run(RegionSelection& selection, const std::vector<Input>& inputs) {
    std::string steps;
    for (const Input& input : inputs) {
        const MonitorRect& at = input.rect;
        const std::optional<MonitorRect> none;
        const SelectionStep step = input.kind == 'p'   ? selection.press(at.left, at.top)
                                   : input.kind == 'm' ? selection.move(at.left, at.top)
                                   : input.kind == 'r' ? selection.release(at.left, at.top)
                                   : input.kind == 'h' ? selection.hover(at)
                                   : input.kind == 'H' ? selection.hover(none)
                                   : input.kind == 'f' ? selection.window_found(at)
                                   : input.kind == 'F' ? selection.window_found(none)
                                   : input.kind == 'e' ? selection.enter()
                                   : input.kind == 'x' ? selection.escape()
                                                       : selection.capture_lost();
        steps += ".RFTC"[static_cast<int>(step)];
    }
    return steps;
}

TEST(RegionSelection, ScriptedInputsGiveTheirStepsAndTheRectangleTaken) {
    const struct Scenario {
        const char* steps;
        MonitorRect taken;  // none with no area
        std::vector<Input> inputs;
    } scenarios[] = {
        // drag down-right: the release decides, not the way there
        {"RRT", {-1800, 300, -1599, 401}, {p(-1800, 300), m(-1500, 500), r(-1600, 400)}},
        // drag up-left, then nothing more happens
        {"RT....", {-1100, 700, -999, 901}, {p(-1000, 900), r(-1100, 700), p(-1000, 900), e, x, r(-1000, 900)}},
        {"RRT", {-10, 180, 0, 191}, {p(-10, 190), m(200, 100), r(200, 100)}},   // out past two edges
        {"RT", {-1920, 1250, -1899, 1260}, {p(-1900, 1250), r(-5000, 30000)}},  // far outside
        {"RT", monitor, {p(-1920, 180), r(-1, 1259)}},                          // corner pixel to corner pixel
        // a drag begins past the threshold; redraws only on change
        {"R.R.T", {-1000, 500, -994, 501}, {p(-1000, 500), m(-996, 504), m(-995, 500), m(-995, 500), r(-995, 500)}},
        // taken back to the press: a click
        {"RRRFT", window, {p(-1500, 500), m(-1400, 600), m(-1498, 498), r(-1498, 498), f(window)}},
        // a window reaching off the monitor
        {"RFT", {-1920, 180, -1000, 800}, {p(-1600, 500), r(-1597, 503), f({-2500, 100, -1000, 800})}},
        // a window beside the monitor: the selection goes on
        {"RFR.R", {}, {p(-1600, 500), r(-1600, 500), f({0, 180, 800, 900}), f(window), p(-1600, 500)}},
        {"RFR", {}, {p(-1600, 500), r(-1600, 500), f({-1700, 300, -1700, 900})}},        // a window with no width
        {"RFR.", {}, {p(-1600, 500), r(-1600, 500), no_window, e}},                      // no window under the click
        {"RF..T", window, {p(-1600, 500), r(-1600, 500), p(-1600, 500), e, f(window)}},  // the lookup first
        // stray input: no press, presses off the monitor
        {".....", {}, {e, r(-1500, 500), m(-1500, 500), p(0, 500), p(-1500, 179)}},
        // Enter takes the window under the resting pointer
        {"R.T", {-100, 1000, 0, 1260}, {h({-100, 1000, 50, 1300}), h({-100, 1000, 50, 1300}), e}},
        // it stays shown while the button is down
        {"RR.T", {-1920, 200, -1000, 700}, {h({-2000, 200, -1000, 700}), p(-1500, 500), no_hover, e}},
        // a lost capture drops the press and what was under the pointer
        {"RRRR..", {}, {h(window), p(-1500, 500), m(-1400, 600), l, r(-1400, 600), e}},
        // Enter takes the drag in progress, clipped
        {"RR.T", {-1500, 500, 0, 1260}, {p(-1500, 500), m(100, 2000), m(5000, 5000), e}},
        {"C.", {}, {x, p(-1500, 500)}},                                  // Esc
        {"RRC.", {}, {p(-1500, 500), m(-1400, 600), x, r(-1400, 600)}},  // Esc in a drag
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(&s - scenarios);
        RegionSelection selection(monitor, threshold);
        const std::string steps = run(selection, s.inputs);
        EXPECT_EQ(steps, s.steps);
        EXPECT_EQ(selection.finished(), steps.find_first_of("TC") != std::string::npos);
        if (rect_has_area(s.taken)) {
            EXPECT_EQ(box(selection.taken()), box(s.taken));
        }
    }
    RegionSelection selection(monitor, threshold);
    run(selection, {p(-1500, 500), m(-1498, 503), r(-1498, 503)});
    EXPECT_EQ(selection.click_point().x, -1500);  // where the button went down
    EXPECT_EQ(selection.click_point().y, 500);
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
        std::vector<std::uint32_t> pixels(40 * 30, 0);
        paint_selection(drawing, small, pixels.data());
        const std::optional<MonitorRect> in = selected ? clip_rect(*selected, small) : std::nullopt;
        int wrong = 0;
        for (std::int32_t y = small.top; y < small.bottom; ++y) {
            for (std::int32_t x = small.left; x < small.right; ++x) {
                const bool outline =
                    in &&
                    rect_contains({in->left - width, in->top - width, in->right + width, in->bottom + width}, x, y);
                const std::uint32_t expected = in && rect_contains(*in, x, y) ? selected_pixel
                                               : outline                      ? outline_pixel
                                                                              : dim_pixel;
                const std::uint32_t painted = pixels[static_cast<std::size_t>((y - small.top) * 40 + (x - small.left))];
                if (painted != expected && ++wrong < 5) {
                    ADD_FAILURE() << "pixel " << x << "," << y;
                }
            }
        }
        // No dim is painted over the selection and then painted back.
        for (const MonitorRect& dim : drawing.dim) {
            EXPECT_FALSE(in && clip_rect(dim, *in));
        }
    }
}

}  // namespace
}  // namespace kelvane
