// The real Kelvane2.exe with the scripted duplication: its overlay is hidden before the first frame and
// while duplication is refused, with the system cursor shown, and back within a second of frames; a
// long refusal is told to the user once; a lost duplication keeps the last picture on the screen.
#include <windows.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "app/notices.h"
#include "duplication/script_files_win32.h"
#include "kelvane_process.h"
#include "platform/log.h"
#include "support/screens_win32.h"

namespace kelvane {
namespace {

using namespace test;  // NOLINT(google-build-using-namespace): the e2e helpers

constexpr int tolerance = 8;
constexpr double required_share = 0.99;

class OverlayVisibility : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(data_.empty());
        DeleteFileW(log_file().c_str());
        for (const Screen& screen : screens()) {
            monitor_ = screen.primary ? screen : monitor_;
        }
        const int width = monitor_.rect.right - monitor_.rect.left;
        const int height = monitor_.rect.bottom - monitor_.rect.top;
        desktop_ = Image(width, height);
        desktop_.pixels = paint_test_desktop(width, height);
    }
    void TearDown() override { SetEnvironmentVariableW(scripted_duplication_variable, nullptr); }

    // Kelvane2.exe mirroring the scripted desktop; the overlay is looked at before the hook is placed.
    void start() {
        write_file_bytes(std::filesystem::path(data_ + L"\\settings.ini"), "active=1\r\n");
        SetEnvironmentVariableW(scripted_duplication_variable, writer_.folder().c_str());
        writer_.set_desktop(desktop_);
        process_.emplace(L"--no-exclude --monitor \"" + monitor_.name + L"\"");
        control_ = process_->control_window();
        ASSERT_NE(control_, nullptr);
        ASSERT_TRUE(wait_until(overlay_exists));
        overlay_ = FindWindowW(L"Kelvane2Overlay", nullptr);
        EXPECT_FALSE(IsWindowVisible(overlay_)) << "shown before any frame";
        ASSERT_TRUE(install_duplication_hook(control_, writer_, 20000)) << "the duplication hook did not report";
    }

    DuplicationCounts counts() const {
        DuplicationCounts now;
        EXPECT_TRUE(writer_.read_counts(now));
        return now;
    }
    std::wstring log_file() const { return data_ + L"\\Kelvane2.log"; }
    long logged(const std::string& line) const {
        const std::vector<std::string> lines = log_messages(log_file());
        return static_cast<long>(std::count(lines.begin(), lines.end(), line));
    }
    void exit_cleanly() {
        PostMessageW(control_, WM_COMMAND, exit_command, 0);
        EXPECT_EQ(process_->wait_exit(), exit_ok);
        EXPECT_EQ(counts().live, 0) << "a duplication was left alive";
    }

    const std::wstring data_ = data_folder();
    Screen monitor_;
    Image desktop_;
    TempFolder folder_;
    ScriptWriter writer_{folder_.path().wstring()};
    std::optional<KelvaneProcess> process_;
    HWND control_ = nullptr;
    HWND overlay_ = nullptr;
};

TEST_F(OverlayVisibility, HiddenWhileRefusedToldOnceAndShownWithinASecondOfFrames) {
    writer_.fail_duplicate_output(E_ACCESSDENIED, -1);
    start();
    // Refusals at 0, 0.5, 1.5 and 3.5 s: past two seconds of them, the desktop is the user's.
    ASSERT_TRUE(wait_until([&] { return counts().refused >= 4; }, 30000));
    EXPECT_FALSE(IsWindowVisible(overlay_));
    CURSORINFO cursor{};
    cursor.cbSize = sizeof cursor;
    ASSERT_TRUE(GetCursorInfo(&cursor));
    EXPECT_NE(cursor.flags & CURSOR_SHOWING, 0u);
    // Ten seconds without a frame: the user is told why, once, and the refusals go on past 12 s.
    const std::string told = std::string("notify: ") + notice_text(Notice::waiting_locked);
    ASSERT_TRUE(wait_until([&] { return logged(told) >= 1; }, 30000));
    const long refused = counts().refused;
    ASSERT_TRUE(wait_until([&] { return counts().refused > refused; }, 30000));
    EXPECT_EQ(logged(told), 1);
    EXPECT_FALSE(IsWindowVisible(overlay_));

    writer_.fail_duplicate_output(S_OK, 0);
    Sleep(200);  // the library reads its commands every 20 ms
    PostMessageW(control_, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
    ASSERT_TRUE(wait_until([&] { return counts().acquisitions >= 1; }, 10000));
    const ULONGLONG framed_at = GetTickCount64();
    ASSERT_TRUE(wait_until([&] { return IsWindowVisible(overlay_) != FALSE; }, 10000));
    const ULONGLONG shown_after = GetTickCount64() - framed_at;
    std::printf("overlay shown %llu ms after the first frame\n", shown_after);
    EXPECT_LT(shown_after, 1000u);
    exit_cleanly();
    EXPECT_EQ(logged(told), 1);
}

TEST_F(OverlayVisibility, ALostDuplicationKeepsTheLastPictureOnTheScreen) {
    start();
    const Image expected = mirror_reference(desktop_, WarpParams{}, nullptr, POINT{}, POINT{});
    ASSERT_GE(wait_for_screen(monitor_.rect, expected, tolerance, required_share, 30000), required_share);
    const long created = counts().created;
    writer_.lose_access();
    // Every 50 ms until a second after the new duplication: never black, never the desktop behind.
    int shots = 0;
    double worst = 1.0;
    ULONGLONG recovered_at = 0;
    for (const ULONGLONG limit = GetTickCount64() + 20000; GetTickCount64() < limit; Sleep(50)) {
        worst = std::min(worst, compare_images(read_screen(monitor_.rect), expected, tolerance).within_tolerance);
        ++shots;
        if (recovered_at == 0 && counts().created > created) {
            recovered_at = GetTickCount64();
        }
        if (recovered_at != 0 && GetTickCount64() - recovered_at > 1000) {
            break;
        }
    }
    std::printf("%d screenshots through the recovery, worst share %.4f\n", shots, worst);
    EXPECT_NE(recovered_at, 0u);
    EXPECT_GE(worst, required_share);
    EXPECT_EQ(logged("session: duplication lost, reinitializing"), 1);
    EXPECT_EQ(logged("overlay: hidden, nothing presented"), 0);
    exit_cleanly();
}

}  // namespace
}  // namespace kelvane
