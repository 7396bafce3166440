// WarpRenderer on a real Direct3D 11 device: the calibration pattern drawn through the warp into an
// offscreen target and compared with the CPU reference, the cursor pass, initialisation with its
// fallback to window presentation, and the failure paths.
#include <gtest/gtest.h>

#include <dxgi1_3.h>

#include "capture/pointer_shape.h"
#include "d3d_test_support_win32.h"
#include "render/calibration_pattern.h"
#include "render/pattern_texture_win32.h"
#include "render/shader_cache_win32.h"
#include "render/warp_renderer_win32.h"
#include "support/log_capture.h"

#include <algorithm>
#include <cstring>

namespace kelvane {
namespace {

using test::Image;

// A non-square output, so that rotation in pixel units differs from rotation in normalised units.
constexpr int out_width = 320;
constexpr int out_height = 200;
constexpr int colour_tolerance = 3;
constexpr double required_share = 0.995;

Image painted_pattern(int width, int height) {
    Image image(width, height);
    paint_pattern(image.pixels.data(), image.pixels.size(), width, height);
    return image;
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class Renderer : public testing::Test {
protected:
    void SetUp() override {
        adapter_ = test::first_adapter();
        ASSERT_NE(adapter_, nullptr);
        ASSERT_NE(window_.get(), nullptr);
        ASSERT_TRUE(renderer_.initialize(adapter_.Get(), window_.get(), out_width, out_height));
    }

    // Draws `source` with `params` into an offscreen target and reads it back.
    Image render(const WarpParams& params, ID3D11ShaderResourceView* source, bool cursor_visible = false,
                 int cursor_x = 0, int cursor_y = 0) {
        test::OffscreenTarget target(renderer_.device(), out_width, out_height);
        EXPECT_TRUE(target.valid());
        renderer_.update_warp(params);
        renderer_.render_passes(target.view(), source, cursor_visible, cursor_x, cursor_y);
        return target.read_back();
    }

    static Image reference(const WarpParams& params, const Image& source) {
        const WarpState state = compute_warp(params, out_width, out_height);
        return test::reference_warp_pass(source, state.warp_cb, out_width, out_height);
    }

    ComPtr<IDXGIAdapter1> adapter_;
    test::TestWindow window_{out_width, out_height};
    WarpRenderer renderer_;
};

TEST_F(Renderer, PatternThroughTheWarpMatchesTheCpuReference) {
    const ComPtr<ID3D11ShaderResourceView> pattern = make_pattern(renderer_.device(), out_width, out_height);
    ASSERT_NE(pattern, nullptr);
    const Image source = painted_pattern(out_width, out_height);

    struct Case {
        const char* name;
        WarpParams params;
    };
    const Case cases[] = {
        {"default", WarpParams{}},
        {"all off", WarpParams{false, false, 0.0f, 0.0f, 0.0f}},
        {"both mirrors", WarpParams{true, true, 0.0f, 0.0f, 0.0f}},
        {"keystone_tb +0.5", WarpParams{false, false, 0.5f, 0.0f, 0.0f}},
        {"keystone_tb -0.5", WarpParams{false, false, -0.5f, 0.0f, 0.0f}},
        {"keystone_lr +0.5", WarpParams{false, false, 0.0f, 0.5f, 0.0f}},
        {"keystone_lr -0.5", WarpParams{false, false, 0.0f, -0.5f, 0.0f}},
        {"rotation 30", WarpParams{false, false, 0.0f, 0.0f, 30.0f}},
        {"rotation 90", WarpParams{false, false, 0.0f, 0.0f, 90.0f}},
        {"combined", WarpParams{true, true, 0.3f, -0.4f, 20.0f}},
        {"keystones past the clamp", WarpParams{true, false, 1.0f, -1.0f, -135.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Image actual = render(c.params, pattern.Get());
        const Image expected = reference(c.params, source);
        const test::Comparison result = test::compare_images(actual, expected, colour_tolerance);
        std::printf("  %-26s within +-%d: %.4f%%  worst channel %d  not-black outside %d\n", c.name, colour_tolerance,
                    100.0 * result.within_tolerance, result.worst_channel_difference, result.outside_not_black);
        EXPECT_GE(result.within_tolerance, required_share);
        EXPECT_EQ(result.transparent, 0);
        EXPECT_EQ(result.outside_not_black, 0);
    }
}

TEST_F(Renderer, DefaultWarpShowsTheRedCornerTopRight) {
    const ComPtr<ID3D11ShaderResourceView> pattern = make_pattern(renderer_.device(), out_width, out_height);
    ASSERT_NE(pattern, nullptr);
    const Image mirrored = render(WarpParams{}, pattern.Get());
    EXPECT_EQ(mirrored.at(out_width - 3, 2), pattern_top_left);
    EXPECT_EQ(mirrored.at(2, 2), pattern_top_right);
    const Image both = render(WarpParams{true, true, 0.0f, 0.0f, 0.0f}, pattern.Get());
    EXPECT_EQ(both.at(out_width - 3, out_height - 3), pattern_top_left);
}

TEST_F(Renderer, CursorBlendsStraightAlphaAtItsWarpedPlace) {
    const Image source = painted_pattern(out_width, out_height);
    const ComPtr<ID3D11ShaderResourceView> pattern = test::upload_image(renderer_.device(), source);
    ASSERT_NE(pattern, nullptr);

    // Half-transparent red on the left half, opaque white on the right, clear in the last row: its
    // place, blending and orientation all show.
    Image sprite(16, 16, 0x80FF0000u);
    for (int y = 0; y < 16; ++y) {
        for (int x = 8; x < 16; ++x) {
            sprite.at(x, y) = 0xFFFFFFFFu;
        }
        sprite.at(y, 15) = 0x00000000u;
    }
    renderer_.set_cursor_image(sprite.width, sprite.height, sprite.pixels.data());
    ASSERT_TRUE(renderer_.has_cursor_image());

    struct Case {
        const char* name;
        WarpParams params;
        int x, y;
    };
    const Case cases[] = {
        {"all off", WarpParams{false, false, 0.0f, 0.0f, 0.0f}, 100, 60},
        {"default mirror", WarpParams{}, 100, 60},
        {"keystone and rotation", WarpParams{true, false, 0.4f, 0.2f, 25.0f}, 150, 90},
        {"partly outside", WarpParams{false, false, 0.0f, 0.0f, 0.0f}, out_width - 6, -5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Image actual = render(c.params, pattern.Get(), true, c.x, c.y);
        Image expected = reference(c.params, source);
        const WarpState state = compute_warp(c.params, out_width, out_height);
        test::reference_cursor_pass(expected, sprite, state.forward_h, c.x, c.y);
        const test::Comparison result = test::compare_images(actual, expected, colour_tolerance);
        std::printf("  cursor %-22s within +-%d: %.4f%%  worst channel %d\n", c.name, colour_tolerance,
                    100.0 * result.within_tolerance, result.worst_channel_difference);
        EXPECT_GE(result.within_tolerance, required_share);
        // Without the cursor the frames would differ: the sprite really is there.
        const Image bare = reference(c.params, source);
        EXPECT_LT(test::compare_images(actual, bare, 0).within_tolerance, 1.0);
    }

    // Unwarped, the pixel under the sprite's left half is half red over the dark square.
    const Image plain = render(WarpParams{false, false, 0.0f, 0.0f, 0.0f}, pattern.Get(), true, 100, 60);
    const std::uint32_t blended = plain.at(102, 62);
    EXPECT_NEAR(static_cast<int>((blended >> 16) & 0xFF), (255 * 128 + 0x3A * 127) / 255, 3);
    EXPECT_NEAR(static_cast<int>(blended & 0xFF), 0x3A * 127 / 255, 3);
    EXPECT_EQ(plain.at(110, 62), 0xFFFFFFFFu);
}

// An I-beam as Windows draws it over a text editor: strokes that invert the screen, so that it shows
// over a white page and over a black one; beside them one opaque white and one opaque black pixel.
TEST_F(Renderer, InvertingPointerPartsInvertTheFrameUnderThem) {
    constexpr std::uint32_t width = 8;
    constexpr std::uint32_t height = 16;
    std::vector<std::uint8_t> and_rows(height, 0xFF);
    std::vector<std::uint8_t> xor_rows(height, 0x18);  // the stem: columns 3 and 4
    xor_rows[0] = xor_rows[height - 1] = 0x7E;         // the serifs: columns 1 to 6
    and_rows[7] = and_rows[8] = 0x7F;                  // column 0: white, then black
    xor_rows[7] |= 0x80;
    std::vector<std::uint8_t> monochrome(2 * height);
    std::vector<std::uint8_t> masked;
    for (std::uint32_t y = 0; y < height; ++y) {
        monochrome[y] = and_rows[y];
        monochrome[height + y] = xor_rows[y];
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t colour = ((xor_rows[y] >> (7 - x)) & 1) != 0 ? 0xFF : 0x00;
            masked.resize(masked.size() + 3, colour);
            masked.push_back(((and_rows[y] >> (7 - x)) & 1) != 0 ? 0xFF : 0x00);
        }
    }
    const WarpParams plain{false, false, 0.0f, 0.0f, 0.0f};
    const WarpState state = compute_warp(plain, out_width, out_height);
    for (const bool is_masked : {false, true}) {
        const std::vector<std::uint8_t>& bytes = is_masked ? masked : monochrome;
        const PointerShapeInfo info{is_masked ? pointer_shape_masked_color : pointer_shape_monochrome,
                                    width,
                                    is_masked ? height : 2 * height,
                                    is_masked ? 4 * width : 1,
                                    0,
                                    0};
        CursorImage cursor;
        ASSERT_TRUE(convert_pointer_shape(bytes.data(), bytes.size(), info, cursor));
        ASSERT_TRUE(cursor.screen_xor);
        renderer_.set_cursor_image(cursor.width, cursor.height, cursor.pixels.data(), cursor.screen_xor);
        Image sprite(cursor.width, cursor.height);
        sprite.pixels = cursor.pixels;
        for (const std::uint32_t page : {0xFFFFFFFFu, 0xFF000000u}) {
            SCOPED_TRACE(std::string(is_masked ? "masked colour" : "monochrome") +
                         (page == 0xFFFFFFFFu ? ", white" : ", black"));
            const Image source(out_width, out_height, page);
            const ComPtr<ID3D11ShaderResourceView> view = test::upload_image(renderer_.device(), source);
            ASSERT_NE(view, nullptr);
            const Image actual = render(plain, view.Get(), true, 100, 60);
            Image expected = reference(plain, source);
            test::reference_cursor_pass(expected, sprite, state.forward_h, 100, 60, true);
            EXPECT_GE(test::compare_images(actual, expected, colour_tolerance).within_tolerance, required_share);
            EXPECT_EQ(actual.at(103, 65), page ^ 0x00FFFFFFu);  // the stem: the page inverted
            EXPECT_EQ(actual.at(101, 60), page ^ 0x00FFFFFFu);  // a serif
            EXPECT_EQ(actual.at(101, 65), page);                // beside the stem: the page
            EXPECT_EQ(actual.at(100, 67), 0xFFFFFFFFu);
            EXPECT_EQ(actual.at(100, 68), 0xFF000000u);
        }
    }
}

TEST_F(Renderer, WithoutACursorTextureOnlyTheWarpIsDrawn) {
    const Image source = painted_pattern(out_width, out_height);
    const ComPtr<ID3D11ShaderResourceView> pattern = test::upload_image(renderer_.device(), source);
    const Image expected = reference(WarpParams{}, source);

    // Never set, then empty, then a width of 0 with pixels.
    EXPECT_GE(test::compare_images(render(WarpParams{}, pattern.Get(), true, 50, 50), expected, 3).within_tolerance,
              required_share);
    const test::LogCapture log;
    const std::uint32_t pixel = 0xFFFFFFFFu;
    renderer_.set_cursor_image(0, 1, &pixel);
    EXPECT_EQ(renderer_.cursor_size().width, 0);
    EXPECT_FALSE(renderer_.has_cursor_image());
    renderer_.set_cursor_image(4, 4, nullptr);
    EXPECT_EQ(renderer_.cursor_size().width, 4);
    EXPECT_FALSE(renderer_.has_cursor_image());
    EXPECT_TRUE(log.messages().empty());
    EXPECT_GE(test::compare_images(render(WarpParams{}, pattern.Get(), true, 50, 50), expected, 3).within_tolerance,
              required_share);
    // A texture too large for the device fails with its line and leaves no cursor.
    const std::vector<std::uint32_t> huge(static_cast<std::size_t>(20000), 0xFFFFFFFFu);
    renderer_.set_cursor_image(20000, 1, huge.data());
    EXPECT_FALSE(renderer_.has_cursor_image());
    EXPECT_EQ(log.messages(), std::vector<std::string>{"renderer: cursor texture creation failed"});
    // And the frame is still presented.
    EXPECT_TRUE(renderer_.draw(pattern.Get(), true, 10, 10));
}

TEST_F(Renderer, DrawPresentsIntoTheWindow) {
    const ComPtr<ID3D11ShaderResourceView> pattern = make_pattern(renderer_.device(), out_width, out_height);
    ASSERT_NE(pattern, nullptr);
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_TRUE(renderer_.draw(pattern.Get(), false, 0, 0));
    }
    EXPECT_FALSE(renderer_.draw(nullptr, false, 0, 0));
    // What the screen shows at the window's top-left: the mirrored pattern puts the green corner there.
    // Through composition the desktop shows a present a little later, so the read is repeated briefly.
    COLORREF top_left = CLR_INVALID;
    for (int attempt = 0; attempt < 40 && top_left != RGB(48, 192, 48); ++attempt) {
        Sleep(attempt == 0 ? 0 : 50);
        const HDC screen = GetDC(nullptr);
        top_left = GetPixel(screen, 3, 3);
        ReleaseDC(nullptr, screen);
    }
    EXPECT_EQ(top_left, RGB(48, 192, 48));
}

TEST(RendererInit, FallsBackToTheWindowWhenCompositionIsMissing) {
    const ComPtr<IDXGIAdapter1> adapter = test::first_adapter();
    ASSERT_NE(adapter, nullptr);
    test::TestWindow window(out_width, out_height);
    WarpRenderer renderer;
    const test::LogCapture log;
    ASSERT_TRUE(renderer.initialize(adapter.Get(), window.get(), out_width, out_height));
    const auto lines = log.messages();
    if (renderer.uses_composition()) {
        EXPECT_EQ(lines, std::vector<std::string>{"renderer: initialized 320x200"});
    } else {
        // The platform's answer to the composition swap chain the renderer asks for (E_NOTIMPL under Wine).
        ComPtr<IDXGIFactory2> factory;
        ASSERT_EQ(adapter->GetParent(IID_PPV_ARGS(&factory)), S_OK);
        DXGI_SWAP_CHAIN_DESC1 desc{};
        desc.Width = out_width;
        desc.Height = out_height;
        desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
        desc.BufferCount = 2;
        desc.Scaling = DXGI_SCALING_STRETCH;
        desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
        ComPtr<IDXGISwapChain1> probe;
        const HRESULT answer = factory->CreateSwapChainForComposition(renderer.device(), &desc, nullptr, &probe);
        if (FAILED(answer)) {
            EXPECT_TRUE(contains(lines, test::failed_call_line("CreateSwapChainForComposition", answer))) << log.text();
        } else {
            // The swap chain was granted; a later composition step refused and said so first.
            ASSERT_FALSE(lines.empty());
            EXPECT_NE(lines[0].find(" failed, hr=0x"), std::string::npos) << log.text();
        }
        EXPECT_TRUE(contains(lines, "renderer: composition unavailable, presenting to the window directly"));
        EXPECT_EQ(lines.back(), "renderer: initialized 320x200");
    }
    ASSERT_NE(renderer.swap_chain(), nullptr);
    // One frame of latency: kept by a waitable swap chain where it offers IDXGISwapChain2 (not Wine's
    // window swap chain), else by the device.
    UINT latency = 0;
    ComPtr<IDXGISwapChain2> chain2;
    ComPtr<IDXGIDevice1> device1;
    if (SUCCEEDED(renderer.swap_chain()->QueryInterface(IID_PPV_ARGS(&chain2)))) {
        DXGI_SWAP_CHAIN_DESC1 chain_desc{};
        ASSERT_EQ(renderer.swap_chain()->GetDesc1(&chain_desc), S_OK);
        EXPECT_NE(chain_desc.Flags & DXGI_SWAP_CHAIN_FLAG_FRAME_LATENCY_WAITABLE_OBJECT, 0u);
        EXPECT_EQ(chain2->GetMaximumFrameLatency(&latency), S_OK);
    } else {
        ASSERT_EQ(renderer.device()->QueryInterface(IID_PPV_ARGS(&device1)), S_OK);
        EXPECT_EQ(device1->GetMaximumFrameLatency(&latency), S_OK);
    }
    EXPECT_EQ(latency, 1u);
    EXPECT_NE(renderer.warp_constants(), nullptr);
    EXPECT_FALSE(renderer.has_cursor_image());
    // initialize ends with the default warp: a horizontal mirror.
    EXPECT_DOUBLE_EQ(renderer.forward().m[0][0], -1.0);
    EXPECT_DOUBLE_EQ(renderer.forward().m[1][1], 1.0);
}

TEST(RendererInit, InitializingAgainReleasesTheFirstSetAndCompilesNothing) {
    const ComPtr<IDXGIAdapter1> adapter = test::first_adapter();
    test::TestWindow window(64, 48);
    WarpRenderer renderer;
    const unsigned long compiled_before = shader_compilations();
    ASSERT_TRUE(renderer.initialize(adapter.Get(), window.get(), 64, 48));
    const unsigned long compiled = shader_compilations();
    // Every entry point and variant: three vertex shaders, the warp's 3 colour modes x 4 footprint grids,
    // the cursor's 2 colour modes, its XOR's 2 and its floor; fewer when an earlier build compiled them.
    EXPECT_LE(compiled - compiled_before, 20u);
    // A level the shader-model-4 program runs on.
    EXPECT_GE(renderer.device()->GetFeatureLevel(), D3D_FEATURE_LEVEL_10_0);
    EXPECT_LE(renderer.device()->GetFeatureLevel(), D3D_FEATURE_LEVEL_11_1);
    const ComPtr<ID3D11Buffer> first_cb = renderer.warp_constants();
    const ComPtr<IDXGISwapChain1> first_chain = renderer.swap_chain();
    for (int build = 0; build < 10; ++build) {
        ASSERT_TRUE(renderer.initialize(adapter.Get(), window.get(), 64, 48));
    }
    EXPECT_EQ(shader_compilations(), compiled);
    EXPECT_NE(renderer.warp_constants(), first_cb.Get());
    // Only this test still holds the first objects.
    EXPECT_EQ(first_cb->AddRef(), 2u);
    first_cb->Release();
    EXPECT_EQ(first_chain->AddRef(), 2u);
    first_chain->Release();
    renderer.release_all();
    EXPECT_EQ(renderer.device(), nullptr);
    EXPECT_EQ(renderer.swap_chain(), nullptr);
    // Drawing and warp updates on an empty renderer do nothing.
    EXPECT_FALSE(renderer.draw(nullptr, false, 0, 0));
    const Mat3 before = renderer.forward();
    renderer.update_warp(WarpParams{false, true, 0.0f, 0.0f, 0.0f});
    EXPECT_EQ(std::memcmp(&before, &renderer.forward(), sizeof before), 0);
}

TEST(RendererInit, BrokenShaderIsReportedBeforeLaterObjectsAreMade) {
    const ComPtr<IDXGIAdapter1> adapter = test::first_adapter();
    test::TestWindow window(64, 48);
    WarpRenderer renderer;
    // The vertex entry compiles; the pixel entry is missing.
    std::string broken(embedded_shader_source());
    const std::size_t ps = broken.find("float4 PSMain(");
    ASSERT_NE(ps, std::string::npos);
    broken.replace(ps, 13, "float4 PSGone");
    const test::LogCapture log;
    EXPECT_FALSE(renderer.initialize_with_shader(adapter.Get(), window.get(), 64, 48, broken));
    const std::string text = log.text();
    EXPECT_NE(text.find("shader compile (PSMain) failed: "), std::string::npos) << text;
    EXPECT_EQ(text.find("shader compile (VSMain)"), std::string::npos) << text;
    EXPECT_EQ(renderer.warp_constants(), nullptr);
    EXPECT_NE(renderer.device(), nullptr);  // held until released
}

TEST(PatternTexture, EmptySizeFailsWithItsLine) {
    const ComPtr<IDXGIAdapter1> adapter = test::first_adapter();
    test::TestWindow window(64, 48);
    WarpRenderer renderer;
    ASSERT_TRUE(renderer.initialize(adapter.Get(), window.get(), 64, 48));
    for (const auto& size : {std::pair{0, 0}, std::pair{0, 10}, std::pair{-5, 10}, std::pair{100000, 2}}) {
        const test::LogCapture log;
        EXPECT_EQ(make_pattern(renderer.device(), size.first, size.second), nullptr);
        EXPECT_EQ(log.messages(), std::vector<std::string>{"pattern: texture creation failed"});
    }
    EXPECT_NE(make_pattern(renderer.device(), 7, 5), nullptr);
}

}  // namespace
}  // namespace kelvane
