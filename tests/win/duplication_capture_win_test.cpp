// DesktopCapture over the scripted duplication on a real Direct3D 11 device: frames copied exactly into
// the capture's own texture, reused while the size stays and remade when it changes, pointer updates
// and shapes, timeouts and lost access; after every path each acquired frame was released and DXGI
// was never misused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <thread>

#include "capture/desktop_capture_win32.h"
#include "render/warp_renderer_win32.h"
#include "session/session_backend_win32.h"
#include "session/session_loop.h"
#include "d3d_test_support_win32.h"
#include "duplication/script_files_win32.h"
#include "duplication/scripted_duplication_win32.h"
#include "platform/log.h"
#include "support/log_capture.h"

namespace kelvane {
namespace {

using test::DuplicationCounts;
using test::Image;
using test::ScriptedShape;

Image test_desktop(int width, int height, std::uint32_t salt = 0) {
    Image image(width, height);
    image.pixels = test::paint_test_desktop(width, height);
    for (std::uint32_t& word : image.pixels) {
        word ^= salt;
    }
    return image;
}

std::size_t count_prefix(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

class ScriptedCapture : public testing::Test {
protected:
    void SetUp() override {
        const ComPtr<IDXGIAdapter1> adapter = test::first_adapter();
        ASSERT_NE(adapter, nullptr);
        ASSERT_EQ(D3D11CreateDevice(adapter.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT,
                                    nullptr, 0, D3D11_SDK_VERSION, &device_, nullptr, nullptr),
                  S_OK);
        output_.Attach(test::make_scripted_output(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), script_));
    }

    void TearDown() override {
        capture_.reset();
        // Every path leaves each acquired frame released, DXGI never misused and no duplication alive.
        const DuplicationCounts counts = script_.counts();
        EXPECT_EQ(counts.acquisitions, counts.releases);
        EXPECT_EQ(counts.misuse, expected_misuse_);
        EXPECT_EQ(counts.live, 0);
    }

    void start() {
        capture_.emplace();
        ASSERT_TRUE(capture_->start_duplication(device_.Get(), output_.Get()));
    }

    Image frame_copy() const {
        D3D11_TEXTURE2D_DESC desc{};
        capture_->frame_texture->GetDesc(&desc);
        test::OffscreenTarget target(device_.Get(), static_cast<int>(desc.Width), static_cast<int>(desc.Height));
        ComPtr<ID3D11Resource> destination;
        target.view()->GetResource(&destination);
        capture_->context->CopyResource(destination.Get(), capture_->frame_texture.Get());
        return target.read_back();
    }

    ComPtr<ID3D11Device> device_;
    test::DuplicationScript script_;
    ComPtr<IDXGIOutput1> output_;
    std::optional<DesktopCapture> capture_;
    long expected_misuse_ = 0;
};

TEST_F(ScriptedCapture, ChangedFramesAreCopiedExactlyIntoOneTexturePerDuplicationOthersNot) {
    const test::LogCapture log;
    script_.set_desktop(64, 48, test_desktop(64, 48).pixels);
    start();
    for (std::uint32_t salt = 0; salt < 4; ++salt) {
        const Image desktop = test_desktop(64, 48, salt * 0x00010203u);
        script_.set_desktop(desktop.width, desktop.height, desktop.pixels);
        ASSERT_EQ(capture_->acquire_frame(16), AcquireResult::NewFrame);
        EXPECT_TRUE(capture_->has_frame);
        EXPECT_EQ(frame_copy().pixels, desktop.pixels) << "frame " << salt;
    }
    EXPECT_EQ(count_prefix(log.messages(), "capture: texture "), 1u);
    EXPECT_EQ(log.messages().back(), "capture: texture 64x48 fmt=87");
    EXPECT_EQ(capture_->frames_copied, 4u);

    // A present without dirty or move rectangles (a window excluded from capture) is neither copied
    // nor a new frame to draw; with a pointer move it is one for the cursor only.
    script_.present_unchanged();
    EXPECT_EQ(capture_->acquire_frame(16), AcquireResult::Timeout);
    script_.present_unchanged();
    script_.move_pointer(5, 6, true);
    EXPECT_EQ(capture_->acquire_frame(16), AcquireResult::NewFrame);
    EXPECT_EQ(capture_->frames_copied, 4u);
    EXPECT_EQ(script_.counts().acquisitions, 6);

    // A new display mode ends the duplication; the next one's frames get a texture of their size.
    const Image larger = test_desktop(80, 60, 0x00FF00FFu);
    script_.set_desktop(larger.width, larger.height, larger.pixels);
    EXPECT_EQ(capture_->acquire_frame(16), AcquireResult::AccessLost);
    start();
    ASSERT_EQ(capture_->acquire_frame(16), AcquireResult::NewFrame);
    EXPECT_EQ(frame_copy().pixels, larger.pixels);
    EXPECT_EQ(count_prefix(log.messages(), "capture: texture "), 2u);
    EXPECT_EQ(log.messages().back(), "capture: texture 80x60 fmt=87");

    // A still desktop: the wait runs out, and the last copy stays to be drawn again.
    EXPECT_EQ(capture_->acquire_frame(16), AcquireResult::Timeout);
    EXPECT_TRUE(capture_->has_frame);
    EXPECT_EQ(frame_copy().pixels, larger.pixels);
    EXPECT_GE(script_.counts().timeouts, 1);
}

TEST_F(ScriptedCapture, PointerUpdatesAndShapes) {
    // Each kind of shape as DXGI hands it over: the capture must pass type, size, pitch and hot spot on
    // unchanged, so that its image is the conversion of exactly these bytes.
    ScriptedShape monochrome;
    monochrome.type = DXGI_OUTDUPL_POINTER_SHAPE_TYPE_MONOCHROME;
    monochrome.width = 16;
    monochrome.height = 32;
    monochrome.pitch = 4;
    monochrome.hotspot = POINT{3, 5};
    for (std::size_t i = 0; i < 128; ++i) {
        monochrome.bytes.push_back(static_cast<std::uint8_t>(i * 37u + (i >= 64 ? 0x5Au : 0u)));
    }
    ScriptedShape masked = test::test_arrow_shape();
    masked.type = DXGI_OUTDUPL_POINTER_SHAPE_TYPE_MASKED_COLOR;
    for (std::size_t i = 3; i < masked.bytes.size(); i += 4 * 7) {
        masked.bytes[i] = 0xFF;  // some XOR pixels; an XOR pixel of colour 0 is transparent
    }
    const ScriptedShape shapes[] = {test::test_arrow_shape(), monochrome, masked};

    script_.set_desktop(32, 32, test_desktop(32, 32).pixels);
    start();
    ASSERT_EQ(capture_->acquire_frame(16), AcquireResult::NewFrame);  // the desktop, no shape yet
    EXPECT_EQ(capture_->cursor.generation, 0u);
    std::uint64_t generation = 0;
    for (const ScriptedShape& shape : shapes) {
        script_.set_shape(shape);
        ASSERT_EQ(capture_->acquire_frame(16), AcquireResult::NewFrame) << "type " << shape.type;
        CursorImage expected;
        PointerShapeInfo info{shape.type, shape.width, shape.height, shape.pitch, shape.hotspot.x, shape.hotspot.y};
        ASSERT_TRUE(convert_pointer_shape(shape.bytes.data(), shape.bytes.size(), info, expected));
        EXPECT_EQ(capture_->cursor.generation, ++generation);
        EXPECT_EQ(capture_->cursor.pixels, expected.pixels) << "type " << shape.type;
        EXPECT_EQ(capture_->cursor.width, expected.width);
        EXPECT_EQ(capture_->cursor.height, expected.height);
        EXPECT_EQ(capture_->cursor.hotspot_x, shape.hotspot.x);
        EXPECT_EQ(capture_->cursor.hotspot_y, shape.hotspot.y);
    }
    const std::vector<std::uint32_t> kept = capture_->cursor.pixels;

    // A frame that carries only a pointer move (PointerShapeBufferSize 0) keeps the image.
    script_.move_pointer(10, 12, true);
    EXPECT_EQ(capture_->acquire_frame(16), AcquireResult::NewFrame);
    EXPECT_EQ(capture_->cursor.generation, generation);

    // A shape that cannot be read keeps the image as well; the frame is still taken.
    script_.fail_shape_reads(DXGI_ERROR_MORE_DATA, 1);
    script_.set_shape(shapes[0]);
    EXPECT_EQ(capture_->acquire_frame(16), AcquireResult::NewFrame);
    EXPECT_EQ(capture_->cursor.generation, generation);
    EXPECT_EQ(capture_->cursor.pixels, kept);
    EXPECT_EQ(script_.counts().shape_reads, 3);
}

TEST_F(ScriptedCapture, LostAccessIsReportedUntilANewDuplication) {
    script_.set_desktop(32, 32, test_desktop(32, 32).pixels);
    start();
    ASSERT_EQ(capture_->acquire_frame(16), AcquireResult::NewFrame);
    const test::LogCapture log;
    script_.lose_access();
    EXPECT_EQ(capture_->acquire_frame(16), AcquireResult::AccessLost);
    // Nothing more is asked of a duplication that lost access (the script counts it as misuse).
    EXPECT_EQ(capture_->acquire_frame(16), AcquireResult::Failed);
    EXPECT_EQ(log.messages(), std::vector<std::string>{"capture: access lost"});

    // Starting again opens a new duplication, which serves the desktop as its first frame.
    ASSERT_TRUE(capture_->start_duplication(device_.Get(), output_.Get()));
    EXPECT_FALSE(capture_->has_frame);
    EXPECT_EQ(capture_->acquire_frame(16), AcquireResult::NewFrame);
    EXPECT_EQ(script_.counts().created, 2);
    EXPECT_EQ(script_.counts().live, 1);

    // The stand-in's own bookkeeping, which the other checks rely on: misuse is seen and counted, as
    // DXGI refuses it: a release without a frame, a second live duplication of the output, any call
    // after a reported loss; and a device from another adapter is refused.
    EXPECT_EQ(capture_->duplication->ReleaseFrame(), DXGI_ERROR_INVALID_CALL);
    ComPtr<IDXGIOutputDuplication> second;
    EXPECT_EQ(output_->DuplicateOutput(device_.Get(), &second), E_INVALIDARG);
    EXPECT_EQ(second, nullptr);
    script_.lose_access();
    ComPtr<IDXGIOutputDuplication> lost = capture_->duplication;
    DXGI_OUTDUPL_FRAME_INFO info{};
    ComPtr<IDXGIResource> resource;
    EXPECT_EQ(lost->AcquireNextFrame(0, &info, &resource), DXGI_ERROR_ACCESS_LOST);
    EXPECT_EQ(lost->AcquireNextFrame(0, &info, &resource), DXGI_ERROR_ACCESS_LOST);
    EXPECT_EQ(script_.counts().misuse, 3);
    lost.Reset();
    capture_.reset();
    script_.set_adapter(LUID{0x7777, 0});
    ComPtr<IDXGIOutputDuplication> elsewhere;
    EXPECT_EQ(output_->DuplicateOutput(device_.Get(), &elsewhere), E_INVALIDARG);
    EXPECT_EQ(script_.counts().refused, 1);
    expected_misuse_ = 3;
}

// The session's Windows backend on the stand-in: duplications refused the way a lock screen and a
// hybrid-GPU laptop refuse them are retried until one starts (on the only adapter, "not on this adapter"
// is a refusal too, on the renderer made for it), the desktop then reaches the window,
// and a stop leaves no frame held and no duplication alive.
TEST(ScriptedSession, RetriesRefusedDuplicationsThenMirrorsAndReleasesAll) {
    constexpr int width = 160;
    constexpr int height = 120;
    test::TestWindow window(width, height);
    const HMONITOR monitor = MonitorFromWindow(window.get(), MONITOR_DEFAULTTOPRIMARY);
    test::DuplicationScript script;
    Image desktop(width, height);
    desktop.pixels = test::paint_test_desktop(width, height);
    script.set_desktop(width, height, desktop.pixels);
    SessionBackendWin32 backend(
        window.get(), monitor,
        [&](HMONITOR shown, ComPtr<IDXGIAdapter1>& adapter, ComPtr<IDXGIOutput1>& output, AdapterChoice& choice) {
            adapter = test::first_adapter();
            static_cast<void>(choice.pick({adapter_id(adapter.Get())}));
            output.Attach(test::make_scripted_output(shown, script));
            return adapter != nullptr;
        });
    for (const HRESULT answer : {DXGI_ERROR_UNSUPPORTED, E_INVALIDARG}) {
        script.fail_duplicate_output(answer, 1);
        ASSERT_TRUE(backend.find_output() && backend.initialize_renderer(width, height));
        EXPECT_EQ(backend.start_duplication(), DuplicationStart::failed);
        backend.release_attempt();
    }
    script.fail_duplicate_output(E_ACCESSDENIED, 2);
    WarpParams warp;
    warp.keystone_tb = 0.2f;
    WarpChannel channel;
    channel.reset(warp);
    const test::LogCapture log;
    std::thread session([&] { run_session(backend, channel, SessionTarget{MonitorRect{0, 0, width, height}, false}); });
    const RECT area{0, 0, width, height};
    const double share =
        test::wait_for_screen(area, test::mirror_reference(desktop, warp, nullptr, POINT{}, POINT{}), 8, 0.99, 20000);
    channel.request_stop();
    session.join();

    EXPECT_GE(share, 0.99);
    const std::vector<std::string> lines = log.messages();
    // Both refusals on one renderer, kept between them; the second line is counted, not written.
    const auto refused = std::find(lines.begin(), lines.end(), "DuplicateOutput1 failed, hr=0x80070005");
    ASSERT_NE(refused, lines.end());
    ASSERT_NE(refused + 1, lines.end());
    EXPECT_EQ(*(refused + 1), "(previous line repeated 1 times)");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.rfind("renderer: initialized", 0) == 0; }),
              1);
    const test::DuplicationCounts counts = script.counts();
    EXPECT_EQ(counts.refused, 4);
    EXPECT_EQ(counts.created, 1);
    EXPECT_GE(counts.acquisitions, 1);
    EXPECT_EQ(counts.acquisitions, counts.releases);
    EXPECT_EQ(counts.misuse, 0);
    EXPECT_EQ(counts.live, 0);
}

// Frames of a turned display come in the panel's orientation; drawn through a warp they must give the
// upright desktop through that warp, with the cursor upright where the pointer is; and so must a
// region of them.
TEST(ScriptedRotation, TurnedFramesAreDrawnInTheDesktopsOrientation) {
    constexpr int width = 320;
    constexpr int height = 200;
    const ComPtr<IDXGIAdapter1> adapter = test::first_adapter();
    test::TestWindow window(width, height);
    WarpRenderer renderer;
    ASSERT_TRUE(renderer.initialize(adapter.Get(), window.get(), width, height));
    Image desktop(width, height);
    desktop.pixels = test::paint_test_desktop(width, height);
    const test::ScriptedShape arrow = test::test_arrow_shape();
    const Image sprite = test::colour_shape_image(arrow);
    renderer.set_cursor_image(sprite.width, sprite.height, sprite.pixels.data());
    const WarpParams warp{true, false, 0.3f, -0.2f, 12.0f};
    const WarpState state = compute_warp(warp, width, height);
    Image expected = test::reference_warp_pass(desktop, state.warp_cb, width, height);
    test::reference_cursor_pass(expected, sprite, state.forward_h, 100, 60);
    // A region of the turned desktop, stretched: its bounds turn with the frame.
    const SourceFit region{width, height, {40, 30, 150, 100}, FitMode::stretch};
    const WarpState fitted = compute_warp(warp, width, height, output_rotation_identity, region);
    Image expected_region = test::reference_warp_pass(desktop, fitted.warp_cb, width, height);
    test::reference_cursor_pass(expected_region, sprite, fitted.cursor_forward, 100, 60);

    for (const DXGI_MODE_ROTATION rotation : {DXGI_MODE_ROTATION_IDENTITY, DXGI_MODE_ROTATION_ROTATE90,
                                              DXGI_MODE_ROTATION_ROTATE180, DXGI_MODE_ROTATION_ROTATE270}) {
        SCOPED_TRACE(static_cast<int>(rotation));
        test::DuplicationScript script;
        const Image frame = test::panel_frame(desktop, rotation);
        script.set_desktop(frame.width, frame.height, frame.pixels);
        script.set_rotation(rotation);
        ComPtr<IDXGIOutput1> output;
        output.Attach(test::make_scripted_output(MonitorFromWindow(window.get(), MONITOR_DEFAULTTOPRIMARY), script));
        DesktopCapture capture;
        const test::LogCapture log;
        ASSERT_TRUE(capture.start_duplication(renderer.device(), output.Get()));
        ASSERT_EQ(capture.acquire_frame(16), AcquireResult::NewFrame);
        EXPECT_EQ(capture.output_rotation, static_cast<std::uint32_t>(rotation));
        const std::vector<std::string> lines = log.messages();
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             "capture: output rotation=" + std::to_string(static_cast<int>(rotation)) +
                                 " (frames turned to the desktop's orientation)"),
                  rotation == DXGI_MODE_ROTATION_IDENTITY ? 0 : 1);

        renderer.update_warp(warp, capture.output_rotation);
        test::OffscreenTarget target(renderer.device(), width, height);
        renderer.render_passes(target.view(), capture.frame_srv.Get(), true, 100, 60);
        const test::Comparison result = test::compare_images(target.read_back(), expected, 3);
        std::printf("  rotation %d: %.4f%% within +-3, worst channel %d\n", static_cast<int>(rotation),
                    100.0 * result.within_tolerance, result.worst_channel_difference);
        EXPECT_GE(result.within_tolerance, 0.995);
        renderer.set_source_fit(region);
        renderer.render_passes(target.view(), capture.frame_srv.Get(), true, 100, 60);
        const test::Comparison in_region = test::compare_images(target.read_back(), expected_region, 3);
        std::printf("  rotation %d, region: %.4f%% within +-3, worst channel %d\n", static_cast<int>(rotation),
                    100.0 * in_region.within_tolerance, in_region.worst_channel_difference);
        EXPECT_GE(in_region.within_tolerance, 0.995);
        renderer.set_source_fit(SourceFit{});
        capture.duplication.Reset();
        const DuplicationCounts counts = script.counts();
        EXPECT_EQ(counts.acquisitions, counts.releases);
        EXPECT_EQ(counts.misuse, 0);
        EXPECT_EQ(counts.live, 0);
    }
}

}  // namespace
}  // namespace kelvane
