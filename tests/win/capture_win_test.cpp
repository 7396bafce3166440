// Desktop capture: the DXGI output of each monitor, the no-match line, and a duplication that starts
// where the platform offers it and is reported where it cannot (Wine).
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "capture/desktop_capture_win32.h"
#include "d3d_test_support_win32.h"
#include "render/warp_renderer_win32.h"
#include "support/log_capture.h"

namespace kelvane {
namespace {

std::vector<HMONITOR> all_monitors() {
    std::vector<HMONITOR> monitors;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HMONITOR>*>(list)->push_back(monitor);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

TEST(Capture, FindsTheOutputOfEveryMonitor) {
    const std::vector<HMONITOR> monitors = all_monitors();
    // Every monitor there is: Wine's test display has two.
    ASSERT_FALSE(monitors.empty());
    for (HMONITOR monitor : monitors) {
        ComPtr<IDXGIAdapter1> adapter;
        ComPtr<IDXGIOutput1> output;
        AdapterChoice choice;
        const test::LogCapture log;
        ASSERT_TRUE(find_output_for_monitor(monitor, adapter, output, choice));
        EXPECT_TRUE(log.messages().empty());
        ASSERT_NE(adapter, nullptr);
        ASSERT_NE(output, nullptr);
        DXGI_OUTPUT_DESC desc{};
        ASSERT_EQ(output->GetDesc(&desc), S_OK);
        EXPECT_EQ(desc.Monitor, monitor);
        MONITORINFOEXW info{};
        info.cbSize = sizeof info;
        ASSERT_TRUE(GetMonitorInfoW(monitor, &info));
        EXPECT_STREQ(desc.DeviceName, info.szDevice);
    }
}

TEST(Capture, UnknownMonitorLogsAndLeavesTheReferencesAlone) {
    ComPtr<IDXGIAdapter1> adapter = test::first_adapter();
    IDXGIAdapter1* const before = adapter.Get();
    ComPtr<IDXGIOutput1> output;
    const test::LogCapture log;
    const auto bogus = reinterpret_cast<HMONITOR>(static_cast<std::uintptr_t>(0x7777));
    AdapterChoice choice;
    EXPECT_FALSE(find_output_for_monitor(bogus, adapter, output, choice));
    EXPECT_EQ(adapter.Get(), before);
    EXPECT_EQ(output.Get(), nullptr);
    const auto lines = log.messages();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("FindOutputForMonitor: no DXGI output matches monitor ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("7777"), std::string::npos) << lines[0];
}

TEST(Capture, FreshCaptureFailsQuietly) {
    DesktopCapture capture;
    const test::LogCapture log;
    EXPECT_EQ(capture.acquire_frame(16), AcquireResult::Failed);
    EXPECT_TRUE(log.messages().empty());
    EXPECT_FALSE(capture.has_frame);
    EXPECT_EQ(capture.output_rotation, output_rotation_identity);
    EXPECT_EQ(capture.cursor.generation, 0u);
}

TEST(Capture, DuplicationThatCannotStartIsReported) {
    const HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    ComPtr<IDXGIAdapter1> adapter;
    ComPtr<IDXGIOutput1> output;
    AdapterChoice choice;
    ASSERT_TRUE(find_output_for_monitor(primary, adapter, output, choice));
    test::TestWindow window(64, 48);
    WarpRenderer renderer;
    ASSERT_TRUE(renderer.initialize(adapter.Get(), window.get(), 64, 48));

    DesktopCapture capture;
    const test::LogCapture log;
    const bool started = capture.start_duplication(renderer.device(), output.Get());
    const auto lines = log.messages();
    if (started) {
        // Where duplication exists (real Windows), it starts and the first wait gives a frame or a timeout.
        EXPECT_EQ(lines.back(), "capture: duplication started");
        const AcquireResult result = capture.acquire_frame(100);
        EXPECT_TRUE(result == AcquireResult::NewFrame || result == AcquireResult::Timeout);
        EXPECT_EQ(capture.has_frame, result == AcquireResult::NewFrame);
    } else {
        // The line carries the platform's own answer (E_NOTIMPL under Wine), asked for again here.
        const test::DuplicationAnswer answer = test::duplicate_as_the_mirror_does(output.Get(), renderer.device());
        ASSERT_TRUE(FAILED(answer.hr));
        EXPECT_EQ(lines, std::vector<std::string>{test::failed_call_line(answer.call, answer.hr)});
        EXPECT_EQ(capture.duplication.Get(), nullptr);
        EXPECT_EQ(capture.acquire_frame(16), AcquireResult::Failed);
        EXPECT_FALSE(capture.has_frame);
    }
    // The capture holds its own reference to the device; a second start starts from scratch.
    EXPECT_EQ(capture.device.Get(), renderer.device());
    EXPECT_NE(capture.context.Get(), nullptr);
    EXPECT_EQ(capture.start_duplication(renderer.device(), output.Get()), started);
    EXPECT_EQ(capture.device.Get(), renderer.device());
    EXPECT_FALSE(capture.has_frame);
}

}  // namespace
}  // namespace kelvane
