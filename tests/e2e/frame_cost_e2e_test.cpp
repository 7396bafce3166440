// What the mirror spends when little or nothing changes, in the real Kelvane2.exe: over a still desktop
// whose only frames are the echoes of the mirror's own presents (as Windows 11 reports a window
// excluded from capture), it presents once and then rests. The figures of the frame path (CPU per
// frame for a whole and a partly changing desktop, against a minimal loop, and the comparison's wait)
// come from a disabled test run by hand:
//   kelvane_e2e_tests.exe --gtest_also_run_disabled_tests --gtest_filter=FrameCost.*
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "capture/frame_compare_win32.h"
#include "render/texture_upload_win32.h"
#include "duplication/scripted_duplication_win32.h"
#include "live_mirror.h"
#include "render/warp_renderer_win32.h"

namespace kelvane {
namespace {

using namespace test;  // NOLINT(google-build-using-namespace): the e2e helpers

// Ten seconds over a still desktop: the first picture and the echo it makes, and then nothing; a
// mirror that answered its own echoes would present at the refresh rate (600 times).
constexpr DWORD still_window_ms = 10000;
constexpr long max_still_presents = 30;
constexpr DWORD cost_window_ms = 5000;

class FrameCost : public LiveMirror {
protected:
    // Kelvane2.exe's CPU time, read inside it (Wine tells no other process's times) with its presents.
    DuplicationCounts read_cpu() {
        const long readings = counts().cpu_readings;
        writer_.read_cpu_time();
        DuplicationCounts now;
        EXPECT_TRUE(wait_until([&] { return writer_.read_counts(now) && now.cpu_readings > readings; }));
        return now;
    }

    // CPU time of Kelvane2.exe per present over `window_ms`, and the presents.
    std::pair<double, long> cost_per_present(DWORD window_ms) {
        const DuplicationCounts before = read_cpu();
        Sleep(window_ms);
        const DuplicationCounts after = read_cpu();
        const long made = after.presents - before.presents;
        return {made > 0 ? static_cast<double>(after.cpu_ms - before.cpu_ms) / made : 0.0, made};
    }
};

TEST_F(FrameCost, EchoesOfTheMirrorsOwnPresentsMakeNoFrames) {
    writer_.set_echo(true);
    start(WarpParams{});
    ASSERT_GE(wait_for_picture(reference(WarpParams{}, std::nullopt, POINT{})), required_share);
    ASSERT_GE(counts().presents, 1) << "the present hook counted nothing";
    const DuplicationCounts before = read_cpu();
    Sleep(still_window_ms);
    const DuplicationCounts after = read_cpu();
    const long made = after.presents - before.presents;
    const double share = static_cast<double>(after.cpu_ms - before.cpu_ms) / still_window_ms * 100.0;
    std::printf("still desktop in echo mode: %ld presents in %lu ms, %.1f %% of a core (%ld frames, %ld timeouts)\n",
                made, static_cast<unsigned long>(still_window_ms), share, after.acquisitions - before.acquisitions,
                after.timeouts - before.timeouts);
    EXPECT_LT(made, max_still_presents);
    exit_cleanly();
}

// A minimal loop of the same work on the same scripted desktop: acquire, copy, one warp pass, present.
double minimal_loop_cost(const Screen& monitor, const Image& desktop, RECT changing, DWORD window_ms) {
    const int width = monitor.rect.right - monitor.rect.left;
    const int height = monitor.rect.bottom - monitor.rect.top;
    const HWND window = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE, monitor.rect.left,
                                        monitor.rect.top, width, height, nullptr, nullptr, nullptr, nullptr);
    ComPtr<IDXGIFactory1> factory;
    ComPtr<IDXGIAdapter1> adapter;
    CreateDXGIFactory1(IID_PPV_ARGS(&factory));
    factory->EnumAdapters1(0, &adapter);
    WarpRenderer renderer;
    if (!renderer.initialize(adapter.Get(), window, width, height)) {
        DestroyWindow(window);
        return 0.0;
    }
    WarpParams warp;
    warp.keystone_tb = 0.2f;
    renderer.update_warp(warp);
    DuplicationScript script;
    script.set_desktop(desktop.width, desktop.height, desktop.pixels);
    script.set_partial(changing);
    ComPtr<IDXGIOutput1> output;
    output.Attach(make_scripted_output(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), script));
    ComPtr<IDXGIOutputDuplication> duplication;
    output->DuplicateOutput(renderer.device(), &duplication);
    ComPtr<ID3D11DeviceContext> context;
    renderer.device()->GetImmediateContext(&context);
    ComPtr<ID3D11Texture2D> kept;
    ComPtr<ID3D11ShaderResourceView> kept_view;
    long frames = 0;
    double cpu = 0.0;
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG measure_from = start + 1000;  // the first frames compile and allocate
    while (GetTickCount64() < measure_from + window_ms) {
        DXGI_OUTDUPL_FRAME_INFO info{};
        ComPtr<IDXGIResource> resource;
        if (FAILED(duplication->AcquireNextFrame(16, &info, &resource))) {
            continue;
        }
        ComPtr<ID3D11Texture2D> acquired;
        resource.As(&acquired);
        if (kept == nullptr) {
            D3D11_TEXTURE2D_DESC desc{};
            acquired->GetDesc(&desc);
            desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
            renderer.device()->CreateTexture2D(&desc, nullptr, &kept);
            renderer.device()->CreateShaderResourceView(kept.Get(), nullptr, &kept_view);
        }
        context->CopyResource(kept.Get(), acquired.Get());
        duplication->ReleaseFrame();
        const bool presented = renderer.draw(kept_view.Get(), false, 0, 0);
        if (GetTickCount64() >= measure_from) {
            if (frames == 0) {
                cpu = process_cpu_ms();
            }
            frames += presented ? 1 : 0;
        }
    }
    cpu = process_cpu_ms() - cpu;
    renderer.release_all();
    DestroyWindow(window);
    return frames > 1 ? cpu / (frames - 1) : 0.0;
}

// The tile comparison of a frame that changed everywhere: CPU per comparison and the wait for its answer.
std::pair<double, double> compare_cost(const Image& desktop) {
    ComPtr<ID3D11Device> device;
    ComPtr<ID3D11DeviceContext> context;
    D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, nullptr, 0,
                      D3D11_SDK_VERSION, &device, nullptr, &context);
    Image changed = desktop;
    for (std::uint32_t& word : changed.pixels) {
        word ^= 0x00010101u;
    }
    ComPtr<ID3D11Texture2D> textures[2];
    ComPtr<ID3D11ShaderResourceView> views[2];
    for (int i = 0; i < 2; ++i) {
        create_immutable_image(device.Get(), desktop.width, desktop.height, (i == 0 ? desktop : changed).pixels.data(),
                               textures[i], views[i]);
    }
    FrameCompare compare;
    constexpr int rounds = 20;
    double cpu = 0.0;
    double waited_us = 0.0;
    for (int round = -2; round < rounds; ++round) {  // two rounds to warm up
        TileGrid tiles(desktop.width, desktop.height);
        tiles.mark(PixelBox{0, 0, desktop.width, desktop.height});
        const double before = process_cpu_ms();
        EXPECT_TRUE(compare.keep_changed_tiles(device.Get(), context.Get(), views[1].Get(), views[0].Get(), tiles));
        if (round >= 0) {
            cpu += process_cpu_ms() - before;
            waited_us += static_cast<double>(compare.last_wait_us());
        }
    }
    return {cpu / rounds, waited_us / rounds / 1000.0};
}

TEST_F(FrameCost, DISABLED_CpuPerFrameWholeAndPartAgainstAMinimalLoop) {
    WarpParams warp;
    warp.keystone_tb = 0.2f;
    const RECT whole{0, 0, width_, height_};
    const RECT sixteenth{width_ * 3 / 8, height_ * 3 / 8, width_ * 5 / 8, height_ * 5 / 8};
    const double minimal = minimal_loop_cost(monitor_, desktop_, whole, cost_window_ms);
    const auto [compare_cpu, compare_wait] = compare_cost(desktop_);
    writer_.set_partial(whole);
    start(warp);
    ASSERT_GE(wait_until([&] { return counts().presents > 10; }), true);
    const auto [full, full_frames] = cost_per_present(cost_window_ms);
    writer_.set_partial(sixteenth);
    Sleep(500);
    const auto [part, part_frames] = cost_per_present(cost_window_ms);
    std::printf("CPU per frame under Wine, keystone_tb 0.2, %dx%d at 60 Hz:\n", width_, height_);
    std::printf("  minimal loop (acquire, copy, one warp pass, present)  %6.2f ms\n", minimal);
    std::printf("  Kelvane2, whole desktop changing                    %6.2f ms  (%ld frames, %.2fx minimal)\n", full,
                full_frames, minimal > 0.0 ? full / minimal : 0.0);
    std::printf("  Kelvane2, 1/16 of the desktop changing              %6.2f ms  (%ld frames, %.2fx whole)\n", part,
                part_frames, full > 0.0 ? part / full : 0.0);
    std::printf("  tile comparison of a frame changed everywhere       %6.2f ms  (%.2f ms of it waiting)\n",
                compare_cpu, compare_wait);
    exit_cleanly();
}

}  // namespace
}  // namespace kelvane
