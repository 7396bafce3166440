// Cost of one mirrored frame's GPU work (warp pass and cursor pass into an offscreen target of the
// output's size, waited for with an event query) for each colour mode and for the warps that decide
// the sampling: identity, keystone_tb 0.5 and 0.85, each beside the one-sample shader; and another
// monitor's 1920 x 1080 desktop fitted onto a 1280 x 1024 output.
// Prints milliseconds per frame, the median of several runs; nothing here fails on speed.
#include <windows.h>
#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "render/warp_renderer_win32.h"

namespace {

using kelvane::WarpParams;
using Microsoft::WRL::ComPtr;

constexpr int width = 1920;
constexpr int height = 1080;
constexpr int frames_per_run = 12;
constexpr int runs = 5;
constexpr wchar_t window_class[] = L"Kelvane2BenchWindow";

// Fine black-on-white strokes, one and two pixels wide, so that the filter has edges to work on.
std::vector<std::uint32_t> text_like_desktop() {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, 0xFFFFFFFFu);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool stem = (x % 7 == 0) || (x % 11 == 0 && (y / 3) % 2 == 0);
            const bool bar = (y % 13 == 0) && (x / 5) % 3 != 0;
            if (stem || bar) {
                pixels[static_cast<std::size_t>(y) * width + x] = 0xFF202020u;
            }
        }
    }
    return pixels;
}

ComPtr<ID3D11ShaderResourceView> source_view(ID3D11Device* device, bool fp16) {
    const std::vector<std::uint32_t> words = text_like_desktop();
    std::vector<std::uint16_t> halves;
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = width;
    desc.Height = height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = fp16 ? DXGI_FORMAT_R16G16B16A16_FLOAT : DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    D3D11_SUBRESOURCE_DATA data{};
    if (fp16) {
        // White at 2.0 and the strokes near black, as half floats (0x4000 is 2.0, 0x3C00 is 1.0).
        for (const std::uint32_t word : words) {
            const std::uint16_t level = word == 0xFFFFFFFFu ? 0x4000u : 0x2000u;
            halves.insert(halves.end(), {level, level, level, 0x3C00u});
        }
        data.pSysMem = halves.data();
        data.SysMemPitch = width * 8;
    } else {
        data.pSysMem = words.data();
        data.SysMemPitch = width * 4;
    }
    ComPtr<ID3D11Texture2D> texture;
    ComPtr<ID3D11ShaderResourceView> view;
    if (SUCCEEDED(device->CreateTexture2D(&desc, &data, &texture))) {
        device->CreateShaderResourceView(texture.Get(), nullptr, &view);
    }
    return view;
}

struct Target {
    ComPtr<ID3D11Texture2D> texture;
    ComPtr<ID3D11RenderTargetView> view;
};

Target offscreen_target(ID3D11Device* device, bool fp16, int target_width = width, int target_height = height) {
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = static_cast<UINT>(target_width);
    desc.Height = static_cast<UINT>(target_height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = fp16 ? DXGI_FORMAT_R16G16B16A16_FLOAT : DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_RENDER_TARGET;
    Target target;
    if (SUCCEEDED(device->CreateTexture2D(&desc, nullptr, &target.texture))) {
        device->CreateRenderTargetView(target.texture.Get(), nullptr, &target.view);
    }
    return target;
}

// Milliseconds per frame: each frame's passes, then a wait until the GPU has finished them.
double median_frame_ms(kelvane::WarpRenderer& renderer, ID3D11RenderTargetView* target,
                       ID3D11ShaderResourceView* source) {
    ID3D11Device* device = renderer.device();
    ComPtr<ID3D11DeviceContext> context;
    device->GetImmediateContext(&context);
    D3D11_QUERY_DESC query_desc{D3D11_QUERY_EVENT, 0};
    ComPtr<ID3D11Query> done;
    device->CreateQuery(&query_desc, &done);
    const auto wait = [&] {
        context->End(done.Get());
        BOOL finished = FALSE;
        while (context->GetData(done.Get(), &finished, sizeof finished, 0) != S_OK || !finished) {
            SwitchToThread();
        }
    };
    renderer.render_passes(target, source, true, 400, 300);  // warm-up: first use of each object
    wait();
    std::vector<double> per_frame;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        for (int frame = 0; frame < frames_per_run; ++frame) {
            renderer.render_passes(target, source, true, 400 + frame, 300);
            wait();
        }
        const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
        per_frame.push_back(spent.count() / frames_per_run);
    }
    std::sort(per_frame.begin(), per_frame.end());
    return per_frame[per_frame.size() / 2];
}

struct Renderers {
    kelvane::WarpRenderer footprint;
    kelvane::WarpRenderer one_sample;
};

bool make_renderers(Renderers& renderers, IDXGIAdapter1* adapter, HWND window, bool hdr) {
    const kelvane::OutputColour colour{hdr, 240.0f};
    // The warp as it was before footprint sampling: one bilinear sample per pixel.
    renderers.one_sample.set_sample_cap(1);
    return renderers.footprint.initialize(adapter, window, width, height, colour) &&
           renderers.one_sample.initialize(adapter, window, width, height, colour) &&
           renderers.footprint.output_colour().hdr == hdr;
}

void run_colour_modes(IDXGIAdapter1* adapter, HWND window) {
    std::printf("colour modes, mirror at identity (ms per frame, median of %d runs of %d frames)\n", runs,
                frames_per_run);
    for (const bool hdr : {false, true}) {
        Renderers renderers;
        if (!make_renderers(renderers, adapter, window, hdr)) {
            std::printf("  %s output: renderer not made\n", hdr ? "HDR" : "SDR");
            continue;
        }
        const WarpParams identity{false, false, 0.0f, 0.0f, 0.0f};
        renderers.footprint.update_warp(identity);
        const Target target = offscreen_target(renderers.footprint.device(), hdr);
        for (const bool fp16 : {false, true}) {
            const ComPtr<ID3D11ShaderResourceView> source = source_view(renderers.footprint.device(), fp16);
            std::printf("  %-6s frame on %s output: %7.2f\n", fp16 ? "FP16" : "8-bit", hdr ? "HDR" : "SDR",
                        median_frame_ms(renderers.footprint, target.view.Get(), source.Get()));
        }
    }
}

void run_warps(IDXGIAdapter1* adapter, HWND window) {
    std::printf("sampling, 8-bit frame on SDR output (ms per frame: footprint, one sample, ratio)\n");
    Renderers renderers;
    if (!make_renderers(renderers, adapter, window, false)) {
        std::printf("  renderer not made\n");
        return;
    }
    const ComPtr<ID3D11ShaderResourceView> source = source_view(renderers.footprint.device(), false);
    const Target target = offscreen_target(renderers.footprint.device(), false);
    const Target one_target = offscreen_target(renderers.one_sample.device(), false);
    const ComPtr<ID3D11ShaderResourceView> one_source = source_view(renderers.one_sample.device(), false);
    struct Case {
        const char* name;
        WarpParams params;
    };
    const Case cases[] = {
        {"identity", WarpParams{false, false, 0.0f, 0.0f, 0.0f}},
        {"keystone_tb 0.5", WarpParams{false, false, 0.5f, 0.0f, 0.0f}},
        {"keystone_tb 0.85", WarpParams{false, false, 0.85f, 0.0f, 0.0f}},
    };
    for (const Case& c : cases) {
        renderers.footprint.update_warp(c.params);
        renderers.one_sample.update_warp(c.params);
        const double footprint = median_frame_ms(renderers.footprint, target.view.Get(), source.Get());
        const double single = median_frame_ms(renderers.one_sample, one_target.view.Get(), one_source.Get());
        std::printf("  %-18s %7.2f  %7.2f  %5.2fx\n", c.name, footprint, single, footprint / single);
    }
}

void run_fitted(IDXGIAdapter1* adapter, HWND window) {
    constexpr int fitted_width = 1280;
    constexpr int fitted_height = 1024;
    std::printf("1920x1080 source on a %dx%d output, 8-bit on SDR (ms per frame)\n", fitted_width, fitted_height);
    kelvane::WarpRenderer renderer;
    if (!renderer.initialize(adapter, window, fitted_width, fitted_height)) {
        std::printf("  renderer not made\n");
        return;
    }
    const ComPtr<ID3D11ShaderResourceView> source = source_view(renderer.device(), false);
    const Target target = offscreen_target(renderer.device(), false, fitted_width, fitted_height);
    struct Case {
        const char* name;
        kelvane::SourceFit fit;
        WarpParams params;
    };
    const Case cases[] = {
        {"contain", {width, height, {}, kelvane::FitMode::contain}, WarpParams{}},
        {"contain, keystone_tb 0.5", {width, height, {}, kelvane::FitMode::contain}, {true, false, 0.5f, 0.0f, 0.0f}},
        {"region 960x540, stretch", {width, height, {480, 270, 960, 540}, kelvane::FitMode::stretch}, WarpParams{}},
    };
    for (const Case& c : cases) {
        renderer.set_source_fit(c.fit);
        renderer.update_warp(c.params);
        std::printf("  %-26s %7.2f\n", c.name, median_frame_ms(renderer, target.view.Get(), source.Get()));
    }
}

}  // namespace

int main() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = window_class;
    RegisterClassExW(&wc);
    const HWND window = CreateWindowExW(0, window_class, L"Kelvane2 bench", WS_POPUP, 0, 0, width, height, nullptr,
                                        nullptr, GetModuleHandleW(nullptr), nullptr);
    ComPtr<IDXGIFactory1> factory;
    ComPtr<IDXGIAdapter1> adapter;
    if (window == nullptr || FAILED(CreateDXGIFactory1(IID_PPV_ARGS(&factory))) ||
        factory->EnumAdapters1(0, &adapter) != S_OK) {
        std::printf("no window or adapter\n");
        return 1;
    }
    run_colour_modes(adapter.Get(), window);
    run_warps(adapter.Get(), window);
    run_fitted(adapter.Get(), window);
    DestroyWindow(window);
    return 0;
}
