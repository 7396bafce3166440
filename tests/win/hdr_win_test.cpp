// An HDR output over the scripted duplication: FP16 frames with highlights above 1.0 warped into the
// FP16 scRGB swap chain's back buffer, the cursor and the pattern at the SDR white level, and a
// desktop whose format changes between two frames, all read back against the CPU reference's
// linear-light path.
#include <gtest/gtest.h>

#include "capture/desktop_capture_win32.h"
#include "d3d_test_support_win32.h"
#include "duplication/script_files_win32.h"
#include "duplication/scripted_duplication_win32.h"
#include "render/calibration_pattern.h"
#include "render/output_colour_win32.h"
#include "render/pattern_texture_win32.h"
#include "render/warp_renderer_win32.h"

namespace kelvane {
namespace {

using test::Image;
using test::ImageF;

constexpr int width = 320;
constexpr int height = 200;
constexpr float relative = 0.002f;
constexpr float absolute = 1.0f / 1024.0f;
constexpr double required_share = 0.995;

// The test desktop in linear light at 2.0 for its white, with a highlight band rising to 4.0; as half
// floats for the duplication and, rounded alike, as the reference's source.
std::vector<std::uint16_t> hdr_desktop(ImageF& reference) {
    const std::vector<std::uint32_t> sdr = test::paint_test_desktop(width, height);
    std::vector<std::uint16_t> halves;
    reference = ImageF{width, height, std::vector<test::Rgba>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            test::Rgba colour = test::convert_colour(test::unpack_unorm(sdr[static_cast<std::size_t>(y * width + x)]),
                                                     ColourMode{2.0f, 0.0f, {}});
            if (y >= 80 && y < 120) {
                colour.r = colour.g = colour.b = 1.0f + 3.0f * static_cast<float>(x) / (width - 1);
            }
            for (float* channel : {&colour.r, &colour.g, &colour.b, &colour.a}) {
                halves.push_back(test::float_to_half(*channel));
                *channel = test::half_to_float(halves.back());
            }
            reference.at(x, y) = colour;
        }
    }
    return halves;
}

TEST(HdrOutput, LinearFramesCursorAndPatternMatchTheReferenceInTheFp16BackBuffer) {
    const ComPtr<IDXGIAdapter1> adapter = test::first_adapter();
    test::TestWindow window(width, height);
    const OutputColour colour{true, 240.0f};
    WarpRenderer renderer;
    ASSERT_TRUE(renderer.initialize(adapter.Get(), window.get(), width, height, colour));
    // FP16 in linear scRGB: set, or the default where the swap chain has no IDXGISwapChain3 (Wine).
    DXGI_SWAP_CHAIN_DESC1 chain{};
    ASSERT_EQ(renderer.swap_chain()->GetDesc1(&chain), S_OK);
    ASSERT_TRUE(renderer.output_colour().hdr);
    ASSERT_EQ(chain.Format, DXGI_FORMAT_R16G16B16A16_FLOAT);
    ComPtr<ID3D11Texture2D> back_buffer;
    ComPtr<ID3D11RenderTargetView> target;
    ASSERT_EQ(renderer.swap_chain()->GetBuffer(0, IID_PPV_ARGS(&back_buffer)), S_OK);
    ASSERT_EQ(renderer.device()->CreateRenderTargetView(back_buffer.Get(), nullptr, &target), S_OK);

    test::DuplicationScript script;
    ComPtr<IDXGIOutput6> output;
    output.Attach(test::make_scripted_output(MonitorFromWindow(window.get(), MONITOR_DEFAULTTOPRIMARY), script));
    EXPECT_FALSE(read_output_colour(output.Get()).hdr);
    script.set_hdr(true);
    const OutputColour reported = read_output_colour(output.Get());
    EXPECT_TRUE(reported.hdr);
    EXPECT_GE(reported.sdr_white_nits, 80.0f);
    Image sdr_desktop(width, height);
    sdr_desktop.pixels = test::paint_test_desktop(width, height);
    script.set_desktop(width, height, sdr_desktop.pixels);
    DesktopCapture capture;
    ASSERT_TRUE(capture.start_duplication(renderer.device(), output.Get()));
    const Image sprite = test::colour_shape_image(test::test_arrow_shape());
    renderer.set_cursor_image(sprite.width, sprite.height, sprite.pixels.data());
    const ColourCB sdr_modes = colour_constants(false, colour);
    const ColourCB hdr_modes = colour_constants(true, colour);

    // Drawn into the back buffer and compared; the warp goes through keystone, rotation and mirror.
    const WarpParams warp{true, true, 0.3f, -0.2f, 17.0f};
    const WarpState state = compute_warp(warp, width, height);
    const auto check = [&](const char* name, ID3D11ShaderResourceView* source, const ImageF& source_reference,
                           const ColourMode& mode, bool cursor, float low, float high) {
        SCOPED_TRACE(name);
        renderer.update_warp(warp);
        renderer.render_passes(target.Get(), source, cursor, 100, 60);
        const ImageF actual = test::read_back_fp16(renderer.device(), back_buffer.Get());
        ImageF expected = test::reference_warp_pass(source_reference, state.warp_cb, width, height, mode);
        if (cursor) {
            test::reference_cursor_pass(expected, sprite, state.forward_h, 100, 60, hdr_modes.cursor);
        }
        const test::LinearComparison result = test::compare_linear(actual, expected, relative, absolute);
        // An 8-bit source is filtered at 8-bit precision before it is decoded: it is held to the SDR
        // path's measure, three steps of its own encoding, taken back from the white level.
        const auto encoded = [&](const ImageF& image) {
            Image words(width, height);
            for (std::size_t i = 0; i < image.pixels.size(); ++i) {
                const test::Rgba& p = image.pixels[i];
                const float scale = mode.decode_scale;
                words.pixels[i] = test::pack_unorm(
                    {linear_to_srgb(p.r / scale), linear_to_srgb(p.g / scale), linear_to_srgb(p.b / scale), p.a});
            }
            return words;
        };
        const double share = mode.decode_scale > 0.0f
                                 ? test::compare_images(encoded(actual), encoded(expected), 3).within_tolerance
                                 : result.within_tolerance;
        std::printf("  %-22s within 0.2%% / 1/1024: %.4f%%  as sRGB within +-3: %.4f%%  brightest %.3f\n", name,
                    100.0 * result.within_tolerance, 100.0 * share, static_cast<double>(result.brightest));
        EXPECT_GE(share, required_share);
        // Highlights above the SDR range survive, and nothing goes past the brightest source value.
        EXPECT_GT(result.brightest, low);
        EXPECT_LT(result.brightest, high);
    };

    // An 8-bit frame first (an SDR desktop, or the moment before a display switches), then FP16.
    ASSERT_EQ(capture.acquire_frame(100), AcquireResult::NewFrame);
    check("B8G8R8A8 frame", capture.frame_srv.Get(), test::to_float_image(sdr_desktop), sdr_modes.warp, true, 2.0f,
          3.01f);
    ImageF linear_desktop;
    script.set_desktop_fp16(width, height, hdr_desktop(linear_desktop));
    ASSERT_EQ(capture.acquire_frame(100), AcquireResult::NewFrame);
    D3D11_TEXTURE2D_DESC frame{};
    capture.frame_texture->GetDesc(&frame);
    EXPECT_EQ(frame.Format, DXGI_FORMAT_R16G16B16A16_FLOAT);
    check("FP16 frame", capture.frame_srv.Get(), linear_desktop, hdr_modes.warp, false, 3.5f, 4.01f);
    check("FP16 frame and cursor", capture.frame_srv.Get(), linear_desktop, hdr_modes.warp, true, 3.5f, 4.01f);

    // The pattern is sRGB content: at 240 nits its white is 3.0.
    Image pattern(width, height);
    paint_pattern(pattern.pixels.data(), pattern.pixels.size(), width, height);
    const ComPtr<ID3D11ShaderResourceView> pattern_view = make_pattern(renderer.device(), width, height);
    check("pattern", pattern_view.Get(), test::to_float_image(pattern), sdr_modes.warp, false, 2.0f, 3.01f);
}

}  // namespace
}  // namespace kelvane
