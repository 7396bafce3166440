// The real Kelvane2.exe mirroring a live desktop of the scripted duplication on the primary monitor:
// the settings it starts with, the duplication placed in it, the reference picture and a clean exit.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "duplication/script_files_win32.h"
#include "platform/log.h"
#include "kelvane_process.h"
#include "render/colour_space.h"
#include "render/warp_geometry.h"
#include "support/cpu_reference.h"
#include "support/screens_win32.h"
#include "support/temp_folder.h"

namespace kelvane::test {

using Clock = std::chrono::steady_clock;

inline constexpr int tolerance = 8;
inline constexpr double required_share = 0.99;
inline constexpr double required_cursor_share = 0.98;
inline constexpr DWORD picture_limit_ms = 30000;
inline constexpr WPARAM mirror_h_command = 101;
// A lost duplication is replaced after the loop's pause and a rebuilt renderer: up to 3.2 s measured
// under Wine on a loaded machine.
inline constexpr long long lost_recovery_limit_ms = 15000;
// Five refusals take the loop's pauses of 0.5, 1, 2 and 4 s and the attempts between them.
inline constexpr DWORD refusal_limit_ms = 60000;

inline long long elapsed_ms(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// The primary monitor, named by its device name on the command line.
inline Screen primary_screen() {
    for (const Screen& screen : screens()) {
        if (screen.primary) {
            return screen;
        }
    }
    return Screen{};
}

class LiveMirror : public testing::Test {
protected:
    void SetUp() override {
        data_ = data_folder();
        ASSERT_FALSE(data_.empty());
        DeleteFileW(log_file().c_str());
        width_ = monitor_.rect.right - monitor_.rect.left;
        height_ = monitor_.rect.bottom - monitor_.rect.top;
        desktop_ = Image(width_, height_);
        desktop_.pixels = paint_test_desktop(width_, height_);
    }

    void TearDown() override { SetEnvironmentVariableW(scripted_duplication_variable, nullptr); }

    // Starts Kelvane2.exe on the monitor with `warp` in its settings and the scripted duplication in it.
    // `rotation`: the display is turned, and the duplication delivers the desktop in the panel's
    // orientation.
    void start(const WarpParams& warp, DXGI_MODE_ROTATION rotation = DXGI_MODE_ROTATION_IDENTITY) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "active=1\r\nmirror_h=%d\r\nmirror_v=%d\r\nkeystone_tb=%g\r\nkeystone_lr=%g\r\n"
                      "rotation=%g\r\n",
                      warp.mirror_h ? 1 : 0, warp.mirror_v ? 1 : 0, static_cast<double>(warp.keystone_tb),
                      static_cast<double>(warp.keystone_lr), static_cast<double>(warp.rotation));
        write_file_bytes(std::filesystem::path(data_ + L"\\settings.ini"), text);
        SetEnvironmentVariableW(scripted_duplication_variable, writer_.folder().c_str());
        writer_.set_rotation(rotation);
        writer_.set_desktop(panel_frame(desktop_, rotation));
        // Where the overlay is excluded from capture (real Windows), a screen read would not see it.
        process_.emplace(L"--no-exclude --monitor \"" + monitor_.name + L"\"");
        control_ = process_->control_window();
        ASSERT_NE(control_, nullptr);
        ASSERT_TRUE(install_duplication_hook(control_, writer_, 20000)) << "the duplication hook did not report";
    }

    DuplicationCounts counts() const {
        DuplicationCounts now;
        EXPECT_TRUE(writer_.read_counts(now));
        return now;
    }

    // The desktop under `warp`, with `cursor` (if any) at the pointer `at`.
    Image reference(const WarpParams& warp, const std::optional<Image>& cursor, POINT at) const {
        return mirror_reference(desktop_, warp, cursor ? &*cursor : nullptr, test_arrow_shape().hotspot,
                                POINT{at.x - monitor_.rect.left, at.y - monitor_.rect.top});
    }

    double wait_for_picture(const Image& expected, DWORD limit_ms = picture_limit_ms) const {
        return wait_for_screen(monitor_.rect, expected, tolerance, required_share, limit_ms);
    }

    // The test desktop as an HDR output composes it: FP16 scRGB with highlights at four times SDR white.
    std::vector<std::uint16_t> hdr_desktop() const {
        std::vector<std::uint16_t> halves;
        for (const std::uint32_t word : desktop_.pixels) {
            for (const int shift : {16, 8, 0}) {
                halves.push_back(
                    float_to_half(4.0f * srgb_to_linear(static_cast<float>((word >> shift) & 0xFFu) / 255.0f)));
            }
            halves.push_back(float_to_half(1.0f));
        }
        return halves;
    }

    std::wstring log_file() const { return data_ + L"\\Kelvane2.log"; }

    void exit_cleanly() {
        PostMessageW(control_, WM_COMMAND, exit_command, 0);
        EXPECT_EQ(process_->wait_exit(), exit_ok);
        const DuplicationCounts end = counts();
        EXPECT_GE(end.acquisitions, 1);
        EXPECT_EQ(end.acquisitions, end.releases);
        EXPECT_EQ(end.misuse, 0);
        EXPECT_EQ(end.live, 0) << "a duplication was left alive";
    }

    const Screen monitor_ = primary_screen();
    std::wstring data_;
    int width_ = 0;
    int height_ = 0;
    Image desktop_;
    TempFolder folder_;
    ScriptWriter writer_{folder_.path().wstring()};
    std::optional<KelvaneProcess> process_;
    HWND control_ = nullptr;
};

}  // namespace kelvane::test
