// Desktop Duplication of one monitor: finding the DXGI output that shows it, duplicating that output
// on the renderer's device, copying each new desktop frame into a texture of our own and turning new
// pointer shapes into the straight-alpha cursor image. Used on the session thread alone.
#pragma once

#include <windows.h>
#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <cstdint>
#include <vector>

#include "capture/capture_types.h"
#include "capture/changed_regions.h"
#include "capture/frame_compare_win32.h"
#include "capture/output_lookup_win32.h"
#include "capture/pointer_shape.h"

namespace kelvane {

using Microsoft::WRL::ComPtr;

class DesktopCapture {
public:
    DesktopCapture() = default;
    ~DesktopCapture() = default;  // members release in reverse order of declaration
    DesktopCapture(const DesktopCapture&) = delete;
    DesktopCapture& operator=(const DesktopCapture&) = delete;

    // Opens a duplication of `output` on `device`, starting from scratch.
    [[nodiscard]] bool start_duplication(ID3D11Device* new_device, IDXGIOutput1* output);
    // Waits up to `timeout_ms` for a frame, copies what changed of the desktop into frame_texture and
    // releases it. NewFrame when the desktop's pixels or the pointer changed; Timeout for a frame that
    // changed neither (also one whose rectangles cover pixels that stayed the same). After AccessLost
    // the duplication is gone.
    [[nodiscard]] AcquireResult acquire_frame(unsigned timeout_ms);

    // What changed in frame_texture since the last call, in its texels; everything at first.
    [[nodiscard]] Damage take_damage();

    ComPtr<ID3D11Device> device;
    ComPtr<ID3D11DeviceContext> context;
    ComPtr<IDXGIOutputDuplication> duplication;
    ComPtr<ID3D11Texture2D> frame_texture;
    ComPtr<ID3D11ShaderResourceView> frame_srv;
    bool has_frame = false;
    CursorImage cursor;
    ReportedPointer pointer;  // visibility as of the last mouse update
    std::uint32_t output_rotation = output_rotation_identity;
    std::vector<std::uint8_t> shape_buffer;
    std::vector<std::uint8_t> metadata_buffer;  // move and dirty rectangles
    std::uint64_t frames_copied = 0;            // frames of which some or all was copied
    std::uint64_t frames_unchanged = 0;         // frames with rectangles whose pixels had not changed
    HRESULT duplicate_result = S_OK;            // DuplicateOutput1's (or DuplicateOutput's) answer at the last start
    FrameCompare compare;

private:
    // GetFramePointerShape's answer (S_OK without a new shape).
    HRESULT update_pointer_shape(const DXGI_OUTDUPL_FRAME_INFO& info);
    void update_pointer_position(const DXGI_OUTDUPL_FRAME_INFO& info) noexcept;
    // Copies what changed of the held frame (which has a present time) into frame_texture; `changed`
    // tells whether any pixel did. On failure the frame is released.
    [[nodiscard]] AcquireResult take_changes(const DXGI_OUTDUPL_FRAME_INFO& info, IDXGIResource* resource,
                                             bool& changed);
    // Sets in `tiles_` the tiles that the held frame's move destinations and dirty rectangles touch;
    // `readable` false when the rectangles cannot be read. The failing call's answer, if any.
    HRESULT mark_changed_rects(const DXGI_OUTDUPL_FRAME_INFO& info, bool& readable);
    // The tiles of `tiles_` where `acquired` differs from frame_texture; false when that cannot be told.
    [[nodiscard]] bool compare_tiles(ID3D11Texture2D* acquired);
    AcquireResult lose_access() noexcept;
    // Makes frame_texture and frame_srv match `desc`; false (after logging) when they cannot be made.
    [[nodiscard]] bool ensure_frame_texture(const D3D11_TEXTURE2D_DESC& desc, bool& made);

    TileGrid tiles_;
    Damage damage_{true, {}};
    // A view of the last acquired texture, which the system usually hands out again and again.
    ComPtr<ID3D11Texture2D> acquired_texture_;
    ComPtr<ID3D11ShaderResourceView> acquired_view_;
};

}  // namespace kelvane
