// The GPU tile comparison on a real device: exactly the candidate tiles that hold a differing texel
// stay set (a one-step change of a single channel of one texel, in each channel, at frame edges that
// cut a tile), an unchanged candidate and a changed tile that is no candidate stay clear.
#include <gtest/gtest.h>

#include <vector>

#include "capture/frame_compare_win32.h"
#include "d3d_test_support_win32.h"

namespace kelvane {
namespace {

using Microsoft::WRL::ComPtr;
using test::Image;

TEST(FrameCompare, KeepsExactlyTheCandidateTilesThatDiffer) {
    const ComPtr<IDXGIAdapter1> adapter = test::first_adapter();
    ASSERT_NE(adapter, nullptr);
    ComPtr<ID3D11Device> device;
    ComPtr<ID3D11DeviceContext> context;
    ASSERT_EQ(D3D11CreateDevice(adapter.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT,
                                nullptr, 0, D3D11_SDK_VERSION, &device, nullptr, &context),
              S_OK);
    // 100 x 70: the last column and row of tiles are cut by the frame's edge.
    Image kept(100, 70);
    for (std::size_t i = 0; i < kept.pixels.size(); ++i) {
        kept.pixels[i] = 0xFF000000u | static_cast<std::uint32_t>(i * 2654435761u >> 8);
    }
    struct Case {
        int x, y;
        std::uint32_t flip;  // XORed into that texel of the fresh frame
        bool candidate;      // the texel's tile is among the candidates
    };
    const std::vector<Case> cases{{0, 0, 0x1u, true},
                                  {99, 69, 0x100u, true},
                                  {47, 31, 0x10000u, true},
                                  {48, 32, 0x1000000u, true},
                                  {70, 10, 0xFFu, false}};
    Image fresh = kept;
    TileGrid tiles(kept.width, kept.height);
    std::vector<std::uint8_t> expected(tiles.flags().size(), 0);
    for (const Case& c : cases) {
        fresh.pixels[static_cast<std::size_t>(c.y) * 100 + static_cast<std::size_t>(c.x)] ^= c.flip;
        const std::size_t tile =
            static_cast<std::size_t>(c.y / change_tile_size * tiles.columns() + c.x / change_tile_size);
        if (c.candidate) {
            tiles.mark(PixelBox{c.x, c.y, c.x + 1, c.y + 1});
            expected[tile] = 1;
        }
    }
    // An unchanged candidate tile must come back cleared.
    tiles.mark(PixelBox{16, 48, 17, 49});
    FrameCompare compare;
    const ComPtr<ID3D11ShaderResourceView> fresh_view = test::upload_image(device.Get(), fresh);
    const ComPtr<ID3D11ShaderResourceView> kept_view = test::upload_image(device.Get(), kept);
    ASSERT_TRUE(compare.keep_changed_tiles(device.Get(), context.Get(), fresh_view.Get(), kept_view.Get(), tiles));
    const auto set_tiles = [](const std::vector<std::uint8_t>& flags) {
        std::vector<std::size_t> set;
        for (std::size_t i = 0; i < flags.size(); ++i) {
            if (flags[i] != 0) {
                set.push_back(i);
            }
        }
        return set;
    };
    EXPECT_EQ(set_tiles(tiles.flags()), set_tiles(expected));
}

}  // namespace
}  // namespace kelvane
