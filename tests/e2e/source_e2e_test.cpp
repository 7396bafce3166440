// Kelvane2.exe showing another monitor's picture: the scripted duplication serves the primary
// monitor's desktop, the mirror stands on the other monitor, and the screen there is compared with
// the CPU reference of the fitted, warped picture; a region is then chosen by a drag in the selection
// window, driven by its own messages, and shown.
#include <gtest/gtest.h>

#include <algorithm>

#include "live_mirror.h"
#include "render/source_fit.h"

namespace kelvane {
namespace {

using namespace test;  // NOLINT(google-build-using-namespace): the e2e helpers

constexpr WPARAM choose_region_command = 398;

class SourceMirror : public testing::Test {
protected:
    void SetUp() override {
        for (const Screen& screen : screens()) {
            if (screen.primary) {
                source_ = screen;
            } else if (target_.handle == nullptr) {
                target_ = screen;
            }
        }
        if (source_.handle == nullptr || target_.handle == nullptr) {
            GTEST_SKIP() << "two monitors are needed";
        }
        data_ = data_folder();
        ASSERT_FALSE(data_.empty());
        DeleteFileW((data_ + L"\\Kelvane2.log").c_str());
        desktop_ = Image(source_.width(), source_.height());
        desktop_.pixels = paint_test_desktop(source_.width(), source_.height());
    }

    void TearDown() override { SetEnvironmentVariableW(scripted_duplication_variable, nullptr); }

    void start(const std::string& settings) {
        const std::string text = "active=1\r\nmonitor=" + narrow(target_.name) +
                                 "\r\nsource_monitor=" + narrow(source_.name) + "\r\n" + settings;
        write_file_bytes(std::filesystem::path(data_ + L"\\settings.ini"), text);
        SetEnvironmentVariableW(scripted_duplication_variable, writer_.folder().c_str());
        writer_.set_desktop(desktop_);
        writer_.set_shape(test_arrow_shape());
        process_.emplace(L"--no-exclude");
        control_ = process_->control_window();
        ASSERT_NE(control_, nullptr);
        ASSERT_TRUE(install_duplication_hook(control_, writer_, 20000)) << "the duplication hook did not report";
    }

    // The source's `region` fitted whole onto the mirrored monitor under `warp`, with `cursor` (if any) for
    // the pointer at `pointer` (desktop pixels).
    Image reference(const WarpParams& warp, const SourceRect& region, const Image* cursor, POINT pointer) const {
        const SourceFit fit{source_.width(), source_.height(), region, FitMode::contain};
        return mirror_reference(desktop_, warp, cursor, test_arrow_shape().hotspot,
                                POINT{pointer.x - source_.rect.left, pointer.y - source_.rect.top}, fit,
                                SIZE{target_.width(), target_.height()});
    }

    [[nodiscard]] int logged(const std::string& line) const {
        const std::vector<std::string> messages = log_messages(data_ + L"\\Kelvane2.log");
        return static_cast<int>(std::count(messages.begin(), messages.end(), line));
    }
    [[nodiscard]] int logged_start(const std::string& start) const {
        const std::vector<std::string> messages = log_messages(data_ + L"\\Kelvane2.log");
        return static_cast<int>(std::count_if(messages.begin(), messages.end(),
                                              [&](const std::string& line) { return line.rfind(start, 0) == 0; }));
    }

    void exit_cleanly() {
        PostMessageW(control_, WM_COMMAND, exit_command, 0);
        EXPECT_EQ(process_->wait_exit(), exit_ok);
        DuplicationCounts end;
        EXPECT_TRUE(writer_.read_counts(end));
        EXPECT_EQ(end.live, 0) << "a duplication was left alive";
    }

    Screen source_;
    Screen target_;
    std::wstring data_;
    Image desktop_;
    TempFolder folder_;
    ScriptWriter writer_{folder_.path().wstring()};
    std::optional<KelvaneProcess> process_;
    HWND control_ = nullptr;
};

TEST_F(SourceMirror, AnotherMonitorIsShownFittedAndWarpedWithTheOperatorsCursorLeftAlone) {
    const WarpParams warp{true, false, 0.3f, 0.0f, 0.0f};
    const POINT pointer{source_.rect.left + source_.width() / 3, source_.rect.top + source_.height() / 3};
    SetCursorPos(pointer.x, pointer.y);
    start("mirror_h=1\r\nkeystone_tb=0.3\r\n");
    const SourceRect whole{0, 0, source_.width(), source_.height()};
    const Image cursor = colour_shape_image(test_arrow_shape());
    const Image expected = reference(warp, whole, &cursor, pointer);
    EXPECT_GE(wait_for_screen(target_.rect, expected, tolerance, required_share, picture_limit_ms), required_share);
    // The drawn cursor is at the pointer's place in the fitted, warped picture.
    const Footprint footprint =
        compare_footprint(read_screen(target_.rect), expected, reference(warp, whole, nullptr, pointer), tolerance);
    EXPECT_GT(footprint.pixels, 100);
    EXPECT_GE(footprint.matching, footprint.pixels * required_cursor_share)
        << footprint.matching << " of " << footprint.pixels;

    // The overlay covers the mirrored monitor only, and the system cursor stays the operator's: it is
    // never hidden (where Magnification is missing, an attempt would have said so in the log).
    const HWND overlay = FindWindowW(L"Kelvane2Overlay", nullptr);
    ASSERT_NE(overlay, nullptr);
    RECT placed{};
    GetWindowRect(overlay, &placed);
    EXPECT_TRUE(EqualRect(&placed, &target_.rect) != FALSE);
    CURSORINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetCursorInfo(&info));
    EXPECT_NE(info.flags & CURSOR_SHOWING, 0u);
    EXPECT_EQ(logged("MagInitialize failed; system cursor will stay visible on the mirror"), 0);
    EXPECT_EQ(logged_start("start: showing " + narrow(source_.label()) + ", region"), 1);
    EXPECT_EQ(logged_start("source: captured"), 1) << "the adapters were not named";
    exit_cleanly();
}

TEST_F(SourceMirror, ARegionDraggedInTheSelectionWindowIsSavedAndShown) {
    // The pointer rests outside the region: no cursor in the picture.
    const POINT pointer{source_.rect.right - 5, source_.rect.bottom - 5};
    SetCursorPos(pointer.x, pointer.y);
    start("");
    EXPECT_GE(
        wait_for_screen(target_.rect,
                        reference(WarpParams{}, SourceRect{0, 0, source_.width(), source_.height()}, nullptr, pointer),
                        tolerance, required_share, picture_limit_ms),
        required_share);

    PostMessageW(control_, WM_COMMAND, choose_region_command, 0);
    HWND picker = nullptr;
    ASSERT_TRUE(wait_until([&] { return (picker = FindWindowW(L"Kelvane2Region", nullptr)) != nullptr; }));
    RECT covered{};
    GetWindowRect(picker, &covered);
    EXPECT_TRUE(EqualRect(&covered, &source_.rect) != FALSE);
    // Dragged from bottom-right to top-left: the rectangle is the same, and holds both corner pixels.
    PostMessageW(picker, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1000, 750));
    PostMessageW(picker, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(600, 400));
    PostMessageW(picker, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(200, 150));
    PostMessageW(picker, WM_LBUTTONUP, 0, MAKELPARAM(200, 150));
    EXPECT_TRUE(wait_until([&] { return FindWindowW(L"Kelvane2Region", nullptr) == nullptr; }));
    const std::string saved = "source_region=200,150,801,601";
    EXPECT_TRUE(wait_until([&] {
        const std::vector<std::string> lines =
            split_crlf_lines(read_file_bytes(std::filesystem::path(data_ + L"\\settings.ini")));
        return std::find(lines.begin(), lines.end(), saved) != lines.end();
    }));
    const Image expected = reference(WarpParams{}, SourceRect{200, 150, 801, 601}, nullptr, pointer);
    EXPECT_GE(wait_for_screen(target_.rect, expected, tolerance, required_share, picture_limit_ms), required_share);
    EXPECT_EQ(logged_start("start: showing " + narrow(source_.label()) + ", region 200,150,801,601, fit contain"), 1);
    exit_cleanly();
}

}  // namespace
}  // namespace kelvane
