// Footprint sampling on a real Direct3D 11 device: a page of small GDI text through strong keystones
// scored against an ideal area-resampled picture (beside the single bilinear sample's score), a 1:1
// mirror and rotations left as the single sample draws them, every shader variant compiled, and the
// inverting cursor on a linear HDR target inverting relative to SDR white.
#include <gtest/gtest.h>

#include "capture/pointer_shape.h"
#include "d3d_test_support_win32.h"
#include "render/warp_pipeline_win32.h"
#include "render/warp_renderer_win32.h"
#include "support/image_quality.h"

#include <cstdio>

namespace kelvane {
namespace {

using test::Image;
using test::ImageF;

constexpr int width = 480;
constexpr int height = 300;
constexpr int ideal_grid = 8;
constexpr float shrunk_area = 1.5f;
constexpr double required_psnr = 32.0;
constexpr double required_ssim = 0.99;

// Lines of 13 px document text, dark on white, drawn by GDI with its own anti-aliasing.
Image text_page() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const HDC dc = CreateCompatibleDC(nullptr);
    const HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
    const HFONT font = CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Tahoma");
    const HGDIOBJ old_font = SelectObject(dc, font);
    RECT all{0, 0, width, height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(dc, RGB(20, 20, 20));
    SetBkMode(dc, TRANSPARENT);
    const wchar_t line[] = L"The quick brown fox jumps over the lazy dog; 0123456789 (Kelvane2) WMil|/";
    for (int y = 2, n = 0; y + 14 < height; y += 16, ++n) {
        TextOutW(dc, 4 - (n % 5) * 7, y, line, static_cast<int>(std::size(line) - 1));
    }
    GdiFlush();
    Image page(width, height);
    const auto* words = static_cast<const std::uint32_t*>(bits);
    for (std::size_t i = 0; i < page.pixels.size(); ++i) {
        page.pixels[i] = words[i] | 0xFF000000u;  // GDI leaves alpha at 0
    }
    SelectObject(dc, old_font);
    DeleteObject(font);
    SelectObject(dc, old_bitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return page;
}

class Footprint : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(renderer_.initialize(test::first_adapter().Get(), window_.get(), width, height));
    }

    Image render(const WarpParams& params, ID3D11ShaderResourceView* source, int sample_cap) {
        test::OffscreenTarget target(renderer_.device(), width, height);
        EXPECT_TRUE(target.valid());
        renderer_.set_sample_cap(sample_cap);
        renderer_.update_warp(params);
        renderer_.render_passes(target.view(), source, false, 0, 0);
        return target.read_back();
    }

    test::TestWindow window_{width, height};
    WarpRenderer renderer_;
};

TEST_F(Footprint, SmallTextThroughStrongKeystonesComesCloseToTheAreaAverage) {
    const Image page = text_page();
    const ComPtr<ID3D11ShaderResourceView> source = test::upload_image(renderer_.device(), page);
    ASSERT_NE(source, nullptr);
    struct Case {
        const char* name;
        WarpParams params;
    };
    const Case cases[] = {
        {"keystone_tb 0.5", WarpParams{false, false, 0.5f, 0.0f, 0.0f}},
        {"keystone_tb 0.7", WarpParams{false, false, 0.7f, 0.0f, 0.0f}},
        {"mixed", WarpParams{true, false, 0.45f, -0.35f, 4.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WarpCB rows = compute_warp(c.params, width, height).warp_cb;
        const Image ideal = test::ideal_warp(page, rows, width, height, ideal_grid);
        const std::vector<bool> mask = test::shrunk_pixels(rows, width, height, width, height, shrunk_area);
        const test::Quality footprint = test::picture_quality(render(c.params, source.Get(), 4), ideal, mask);
        const test::Quality single = test::picture_quality(render(c.params, source.Get(), 1), ideal, mask);
        std::printf("  %-16s %6d px shrunk %.1fx: footprint %.2f dB SSIM %.4f | one sample %.2f dB SSIM %.4f\n", c.name,
                    footprint.pixels, static_cast<double>(shrunk_area), footprint.psnr, footprint.ssim, single.psnr,
                    single.ssim);
        EXPECT_GT(footprint.pixels, width * height / 8);
        EXPECT_GE(footprint.psnr, required_psnr);
        EXPECT_GE(footprint.ssim, required_ssim);
    }
}

TEST_F(Footprint, MirrorAndRotationsStayAsTheSingleSampleDrawsThem) {
    const Image page = text_page();
    const ComPtr<ID3D11ShaderResourceView> source = test::upload_image(renderer_.device(), page);
    ASSERT_NE(source, nullptr);
    const WarpParams plain{false, false, 0.0f, 0.0f, 0.0f};
    EXPECT_EQ(test::compare_images(render(plain, source.Get(), 4), page, 0).within_tolerance, 1.0);
    for (const WarpParams& params :
         {WarpParams{}, WarpParams{false, false, 0.0f, 0.0f, 7.0f}, WarpParams{true, true, 0.0f, 0.0f, -30.0f},
          WarpParams{false, false, 0.0f, 0.0f, 90.0f}}) {
        SCOPED_TRACE(params.rotation);
        const test::Comparison result =
            test::compare_images(render(params, source.Get(), 4), render(params, source.Get(), 1), 1);
        EXPECT_EQ(result.within_tolerance, 1.0) << "worst " << result.worst_channel_difference;
    }
}

TEST(FootprintPipeline, EveryShaderVariantCompiles) {
    const ComPtr<IDXGIAdapter1> adapter = test::first_adapter();
    ComPtr<ID3D11Device> device;
    ASSERT_EQ(D3D11CreateDevice(adapter.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                &device, nullptr, nullptr),
              S_OK);
    WarpPipeline pipeline;
    ASSERT_TRUE(pipeline.create(device.Get(), embedded_shader_source()));
    for (const ColourVariant variant : {ColourVariant::plain, ColourVariant::decode, ColourVariant::encode}) {
        for (int samples = 1; samples <= footprint_sample_cap; ++samples) {
            EXPECT_NE(pipeline.warp_shader(variant, samples), nullptr);
        }
        EXPECT_NE(pipeline.cursor_shader(variant), nullptr);
        EXPECT_NE(pipeline.cursor_xor_shader(variant), nullptr);
    }
    EXPECT_NE(pipeline.cursor_shader(ColourVariant::decode), pipeline.cursor_shader(ColourVariant::plain));
    EXPECT_NE(pipeline.cursor_xor_shader(ColourVariant::decode), pipeline.cursor_xor_shader(ColourVariant::plain));
    EXPECT_NE(pipeline.cursor_floor_ps, nullptr);
    EXPECT_NE(pipeline.tile_layout, nullptr);
}

// An FP16 texture of `image`'s colours, as an HDR desktop frame.
ComPtr<ID3D11ShaderResourceView> upload_fp16(ID3D11Device* device, const ImageF& image) {
    std::vector<std::uint16_t> halves;
    for (const test::Rgba& p : image.pixels) {
        halves.insert(halves.end(), {test::float_to_half(p.r), test::float_to_half(p.g), test::float_to_half(p.b),
                                     test::float_to_half(p.a)});
    }
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = static_cast<UINT>(image.width);
    desc.Height = static_cast<UINT>(image.height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R16G16B16A16_FLOAT;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_IMMUTABLE;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    const D3D11_SUBRESOURCE_DATA data{halves.data(), static_cast<UINT>(image.width * 8), 0};
    ComPtr<ID3D11Texture2D> texture;
    ComPtr<ID3D11ShaderResourceView> view;
    if (SUCCEEDED(device->CreateTexture2D(&desc, &data, &texture))) {
        device->CreateShaderResourceView(texture.Get(), nullptr, &view);
    }
    return view;
}

// An I-beam over three bands of an HDR frame: black, SDR white and twice SDR white. Where it inverts,
// black becomes SDR white and both whites become black, never below.
TEST(FootprintHdr, InvertingCursorInvertsRelativeToSdrWhite) {
    const OutputColour colour{true, 240.0f};
    const float white = colour.sdr_white_nits / scrgb_unit_nits;
    test::TestWindow window(width, height);
    WarpRenderer renderer;
    ASSERT_TRUE(renderer.initialize(test::first_adapter().Get(), window.get(), width, height, colour));
    ASSERT_TRUE(renderer.output_colour().hdr);
    ImageF frame{width, height, std::vector<test::Rgba>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float level = x < 110 ? 0.0f : (x < 120 ? white : 2.0f * white);
            frame.at(x, y) = {level, level, level, 1.0f};
        }
    }
    const ComPtr<ID3D11ShaderResourceView> source = upload_fp16(renderer.device(), frame);
    ASSERT_NE(source, nullptr);
    // The I-beam's stem inverts (AND 1, XOR 1); its left column is opaque black, the rest transparent.
    constexpr std::uint32_t beam_width = 32;
    constexpr std::uint32_t beam_height = 32;
    std::vector<std::uint8_t> mask(2 * beam_height * 4, 0xFF);
    for (std::uint32_t y = 0; y < beam_height; ++y) {
        std::fill_n(mask.begin() + (beam_height + y) * 4, 4, 0x00);
        mask[(beam_height + y) * 4 + 1] = 0xFF;  // XOR: columns 8 to 15, the stem
        mask[y * 4] = 0x7F;                      // AND: column 0 draws
    }
    CursorImage cursor;
    ASSERT_TRUE(convert_pointer_shape(mask.data(), mask.size(),
                                      PointerShapeInfo{pointer_shape_monochrome, beam_width, 2 * beam_height, 4, 0, 0},
                                      cursor));
    ASSERT_TRUE(cursor.screen_xor);
    renderer.set_cursor_image(cursor.width, cursor.height, cursor.pixels.data(), true);
    Image sprite(cursor.width, cursor.height);
    sprite.pixels = cursor.pixels;

    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = width;
    desc.Height = height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R16G16B16A16_FLOAT;
    desc.SampleDesc.Count = 1;
    desc.BindFlags = D3D11_BIND_RENDER_TARGET;
    ComPtr<ID3D11Texture2D> target_texture;
    ComPtr<ID3D11RenderTargetView> target;
    ASSERT_EQ(renderer.device()->CreateTexture2D(&desc, nullptr, &target_texture), S_OK);
    ASSERT_EQ(renderer.device()->CreateRenderTargetView(target_texture.Get(), nullptr, &target), S_OK);
    const ColourCB modes = colour_constants(true, colour);
    for (const int cursor_x : {94, 102, 106}) {  // the stem over black, over SDR white, over the highlight
        SCOPED_TRACE(cursor_x);
        const WarpParams plain{false, false, 0.0f, 0.0f, 0.0f};
        renderer.update_warp(plain);
        renderer.render_passes(target.Get(), source.Get(), true, cursor_x, 40);
        const ImageF actual = test::read_back_fp16(renderer.device(), target_texture.Get());
        const WarpState state = compute_warp(plain, width, height);
        ImageF expected = test::reference_warp_pass(frame, state.warp_cb, width, height, modes.warp);
        test::reference_cursor_pass(expected, sprite, state.forward_h, cursor_x, 40, modes.cursor, true);
        EXPECT_GE(test::compare_linear(actual, expected, 0.002f, 1.0f / 1024.0f).within_tolerance, 0.999);
        const test::Rgba stem = actual.at(cursor_x + 12, 50);
        const float page = frame.at(cursor_x + 12, 50).r;
        EXPECT_NEAR(stem.r, page == 0.0f ? white : 0.0f, 1.0f / 256.0f) << "page " << page;
        EXPECT_GE(stem.g, 0.0f);
        EXPECT_EQ(actual.at(cursor_x + 20, 50).r, frame.at(cursor_x + 20, 50).r);  // transparent: as it was
        EXPECT_EQ(actual.at(cursor_x, 50).r, 0.0f);                                // the opaque black column
    }
}

}  // namespace
}  // namespace kelvane
