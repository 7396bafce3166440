// The real Kelvane2.exe with the scripted duplication: its overlay is hidden before the first frame and
// while duplication is refused, with the system cursor shown, and back within a second of frames; a
// long refusal is told to the user once; a lost duplication keeps the last picture on the screen.
#include <windows.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "app/notices.h"
#include "duplication/script_files_win32.h"
#include "kelvane_process.h"
#include "platform/log.h"
#include "support/screens_win32.h"

namespace kelvane {
namespace {

using namespace test;  // NOLINT(google-build-using-namespace): the e2e helpers

TEST(OverlayVisibility, HiddenWhileNothingIsPresentedAndTheLastPictureKeptThroughALoss) {
    const std::wstring data = data_folder();
    const std::wstring log_file = data + L"\\Kelvane2.log";
    DeleteFileW(log_file.c_str());
    const auto logged = [&](const std::string& line) {
        const std::vector<std::string> lines = log_messages(log_file);
        return std::count(lines.begin(), lines.end(), line);
    };
    Screen monitor;
    for (const Screen& screen : screens()) {
        monitor = screen.primary ? screen : monitor;
    }
    Image desktop(monitor.rect.right - monitor.rect.left, monitor.rect.bottom - monitor.rect.top);
    desktop.pixels = paint_test_desktop(desktop.width, desktop.height);
    const TempFolder folder;
    ScriptWriter writer(folder.path().wstring());
    const auto counts = [&] {
        DuplicationCounts now;
        EXPECT_TRUE(writer.read_counts(now));
        return now;
    };
    write_file_bytes(std::filesystem::path(data + L"\\settings.ini"), "active=1\r\n");
    SetEnvironmentVariableW(scripted_duplication_variable, writer.folder().c_str());
    writer.set_desktop(desktop);
    writer.fail_duplicate_output(E_ACCESSDENIED, -1);
    const KelvaneProcess process(L"--no-exclude --monitor \"" + monitor.name + L"\"");
    SetEnvironmentVariableW(scripted_duplication_variable, nullptr);
    const HWND control = process.control_window();
    ASSERT_NE(control, nullptr);
    ASSERT_TRUE(wait_until(overlay_exists));
    const HWND overlay = FindWindowW(L"Kelvane2Overlay", nullptr);
    EXPECT_FALSE(IsWindowVisible(overlay)) << "shown before any frame";
    ASSERT_TRUE(install_duplication_hook(control, writer, 20000)) << "the duplication hook did not report";

    // Refusals at 0, 0.5, 1.5 and 3.5 s: past two seconds of them the desktop is the user's.
    ASSERT_TRUE(wait_until([&] { return counts().refused >= 4; }, 30000));
    EXPECT_FALSE(IsWindowVisible(overlay));
    CURSORINFO cursor{};
    cursor.cbSize = sizeof cursor;
    ASSERT_TRUE(GetCursorInfo(&cursor));
    EXPECT_NE(cursor.flags & CURSOR_SHOWING, 0u);
    // Ten seconds without a frame: the user is told why, once, and the refusals go on past 12 s.
    const std::string told = std::string("notify: ") + notice_text(Notice::waiting_locked);
    ASSERT_TRUE(wait_until([&] { return logged(told) >= 1; }, 30000));
    const long refused = counts().refused;
    ASSERT_TRUE(wait_until([&] { return counts().refused > refused; }, 30000));
    EXPECT_FALSE(IsWindowVisible(overlay));

    writer.fail_duplicate_output(S_OK, 0);
    Sleep(200);  // the library reads its commands every 20 ms
    PostMessageW(control, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
    ASSERT_TRUE(wait_until([&] { return counts().acquisitions >= 1; }, 10000));
    const ULONGLONG framed_at = GetTickCount64();
    ASSERT_TRUE(wait_until([&] { return IsWindowVisible(overlay) != FALSE; }, 10000));
    const ULONGLONG shown_after = GetTickCount64() - framed_at;
    const Image expected = mirror_reference(desktop, WarpParams{}, nullptr, POINT{}, POINT{});
    constexpr double required_share = 0.99;
    constexpr int tolerance = 8;
    std::printf("overlay shown %llu ms after the first frame\n", shown_after);
    EXPECT_TRUE(wait_until([] { return !notification_shown(); }, 30000));
    EXPECT_GE(wait_for_screen(monitor.rect, expected, tolerance, required_share, 5000), required_share);
    EXPECT_LT(shown_after, 1000u);

    // Every 50 ms until a second after the new duplication: never black, never the desktop behind.
    const long created = counts().created;
    writer.lose_access();
    int shots = 0;
    double worst = 1.0;
    ULONGLONG recovered_at = 0;
    for (const ULONGLONG limit = GetTickCount64() + 20000; GetTickCount64() < limit; Sleep(50), ++shots) {
        worst = std::min(worst, compare_images(read_screen(monitor.rect), expected, tolerance).within_tolerance);
        recovered_at = recovered_at == 0 && counts().created > created ? GetTickCount64() : recovered_at;
        if (recovered_at != 0 && GetTickCount64() - recovered_at > 1000) {
            break;
        }
    }
    std::printf("%d screenshots through the recovery, worst share %.4f\n", shots, worst);
    EXPECT_NE(recovered_at, 0u);
    // A black overlay or the desktop behind it matches a small part of the picture at most; a screen
    // read that meets a present half-way (seen once on a loaded machine, at 98 %) is neither.
    constexpr double never_black_share = 0.95;
    EXPECT_GE(worst, never_black_share);
    EXPECT_EQ(logged("overlay: hidden, nothing presented"), 0);

    PostMessageW(control, WM_COMMAND, exit_command, 0);
    EXPECT_EQ(process.wait_exit(), exit_ok);
    EXPECT_EQ(logged(told), 1);
    EXPECT_EQ(counts().live, 0) << "a duplication was left alive";
}

}  // namespace
}  // namespace kelvane
