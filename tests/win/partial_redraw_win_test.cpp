// Partial redraws on the real renderer and swap chain: a run of desktop changes of several sizes (at
// edges and corners) with a moving cursor, found by the tile comparison and drawn only where they
// land on the screen, leaves the back buffer equal (within 1 per channel) to a whole redraw of the same
// kept frame, under keystone, rotation and mirroring, on a turned output, for SDR and FP16 frames, and
// for another monitor's region fitted onto the output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "capture/desktop_capture_win32.h"
#include "d3d_test_support_win32.h"
#include "duplication/script_files_win32.h"
#include "duplication/scripted_duplication_win32.h"
#include "render/warp_renderer_win32.h"

namespace kelvane {
namespace {

using Microsoft::WRL::ComPtr;
using test::Image;
using test::ImageF;

constexpr int width = 240;
constexpr int height = 160;

struct Case {
    const char* name;
    WarpParams warp;
    DXGI_MODE_ROTATION rotation;
    bool fp16;
    SourceFit fit = {};
};

// The pixels of an SDR or FP16 texture as floats in [0, 1] steps of 1/255 for SDR.
ImageF read_texture(ID3D11Device* device, ID3D11Texture2D* texture, bool fp16) {
    if (fp16) {
        return test::read_back_fp16(device, texture);
    }
    D3D11_TEXTURE2D_DESC desc{};
    texture->GetDesc(&desc);
    test::OffscreenTarget copy(device, static_cast<int>(desc.Width), static_cast<int>(desc.Height));
    ComPtr<ID3D11Resource> destination;
    copy.view()->GetResource(&destination);
    ComPtr<ID3D11DeviceContext> context;
    device->GetImmediateContext(&context);
    context->CopyResource(destination.Get(), texture);
    return test::to_float_image(copy.read_back());
}

std::vector<std::uint16_t> halves_of(const Image& image) {
    std::vector<std::uint16_t> halves;
    for (const std::uint32_t word : image.pixels) {
        for (const int shift : {16, 8, 0, 24}) {
            halves.push_back(test::float_to_half(static_cast<float>((word >> shift) & 0xFFu) / 255.0f * 1.5f));
        }
    }
    return halves;
}

TEST(PartialRedraw, EverySequenceOfChangesLeavesTheWholePicture) {
    const Case cases[] = {
        {"keystone, rotation, mirror", {true, false, 0.4f, -0.25f, 8.0f}, DXGI_MODE_ROTATION_IDENTITY, false},
        {"turned output, mirror v", {false, true, 0.2f, 0.1f, -5.0f}, DXGI_MODE_ROTATION_ROTATE90, false},
        {"FP16, keystone both ways", {true, true, -0.5f, 0.3f, 3.0f}, DXGI_MODE_ROTATION_IDENTITY, true},
        {"region of a larger monitor",
         {true, false, 0.3f, 0.0f, 4.0f},
         DXGI_MODE_ROTATION_IDENTITY,
         false,
         SourceFit{320, 210, {30, 20, 200, 150}, FitMode::contain}},
    };
    const ComPtr<IDXGIAdapter1> adapter = test::first_adapter();
    ASSERT_NE(adapter, nullptr);
    const test::TestWindow window(width, height);
    const Image arrow = test::colour_shape_image(test::test_arrow_shape());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WarpRenderer renderer;
        ASSERT_TRUE(renderer.initialize(adapter.Get(), window.get(), width, height, OutputColour{c.fp16, 80.0f}));
        ASSERT_EQ(renderer.output_colour().hdr, c.fp16);
        renderer.set_cursor_image(arrow.width, arrow.height, arrow.pixels.data());
        test::DuplicationScript script;
        script.set_rotation(c.rotation);
        const bool turned = c.rotation == DXGI_MODE_ROTATION_ROTATE90;
        renderer.set_source_fit(c.fit);
        const int desktop_width = c.fit.source_width > 0 ? c.fit.source_width : width;
        const int desktop_height = c.fit.source_height > 0 ? c.fit.source_height : height;
        Image frame(turned ? desktop_height : desktop_width, turned ? desktop_width : desktop_height);
        frame.pixels = test::paint_test_desktop(frame.width, frame.height);
        const auto serve = [&] {
            c.fp16 ? script.set_desktop_fp16(frame.width, frame.height, halves_of(frame))
                   : script.set_desktop(frame.width, frame.height, frame.pixels);
        };
        serve();
        ComPtr<IDXGIOutput1> output;
        output.Attach(test::make_scripted_output(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), script));
        DesktopCapture capture;
        ASSERT_TRUE(capture.start_duplication(renderer.device(), output.Get()));
        renderer.update_warp(c.warp, capture.output_rotation);
        // Corners, edges, a line, a block in the middle, an unchanged repaint; the cursor moves each time.
        const PixelBox changes[] = {{0, 0, 5, 5},
                                    {frame.width - 7, frame.height - 3, frame.width, frame.height},
                                    {0, 40, 1, 90},
                                    {frame.width / 2 - 30, 10, frame.width / 2 + 30, 30},
                                    {frame.width - 1, 0, frame.width, frame.height},
                                    {60, 60, 64, 64},
                                    {0, 0, 0, 0}};
        int partial_draws = 0;
        for (std::size_t step = 0; step < std::size(changes); ++step) {
            const PixelBox& box = changes[step];
            for (int y = box.top; y < box.bottom; ++y) {
                for (int x = box.left; x < box.right; ++x) {
                    frame.at(x, y) ^= 0x00FFFFFFu;
                }
            }
            serve();
            ASSERT_EQ(capture.acquire_frame(100),
                      step + 1 < std::size(changes) ? AcquireResult::NewFrame : AcquireResult::Timeout);
            const int cursor_x = 20 + 31 * static_cast<int>(step);
            const int cursor_y = 150 - 23 * static_cast<int>(step);
            ASSERT_TRUE(
                renderer.render_frame(capture.frame_srv.Get(), true, cursor_x, cursor_y, capture.take_damage()));
            partial_draws += renderer.last_redraw().everything ? 0 : 1;
            ComPtr<ID3D11Texture2D> back_buffer;
            ASSERT_EQ(renderer.swap_chain()->GetBuffer(0, IID_PPV_ARGS(&back_buffer)), S_OK);
            const ImageF drawn = read_texture(renderer.device(), back_buffer.Get(), c.fp16);
            D3D11_TEXTURE2D_DESC desc{};
            back_buffer->GetDesc(&desc);
            desc.BindFlags = D3D11_BIND_RENDER_TARGET;
            ComPtr<ID3D11Texture2D> whole_texture;
            ComPtr<ID3D11RenderTargetView> whole_view;
            ASSERT_EQ(renderer.device()->CreateTexture2D(&desc, nullptr, &whole_texture), S_OK);
            ASSERT_EQ(renderer.device()->CreateRenderTargetView(whole_texture.Get(), nullptr, &whole_view), S_OK);
            renderer.render_passes(whole_view.Get(), capture.frame_srv.Get(), true, cursor_x, cursor_y);
            const ImageF whole = read_texture(renderer.device(), whole_texture.Get(), c.fp16);
            ASSERT_EQ(drawn.pixels.size(), whole.pixels.size());
            float worst = 0.0f;
            for (std::size_t i = 0; i < whole.pixels.size(); ++i) {
                worst = std::max({worst, std::fabs(drawn.pixels[i].r - whole.pixels[i].r),
                                  std::fabs(drawn.pixels[i].g - whole.pixels[i].g),
                                  std::fabs(drawn.pixels[i].b - whole.pixels[i].b)});
            }
            EXPECT_LE(worst, 1.0f / 255.0f + 1e-4f) << "step " << step;
            ASSERT_TRUE(renderer.present_frame());
        }
        // The first two frames fill both buffers; the small changes after them must have been partial.
        EXPECT_GE(partial_draws, 3);
        std::printf("  %-28s partial draws %d of %zu\n", c.name, partial_draws, std::size(changes));
    }
}

}  // namespace
}  // namespace kelvane
