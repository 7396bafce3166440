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

#include "capture/adapter_choice.h"
#include "capture/capture_types.h"
#include "capture/pointer_shape.h"

namespace kelvane {

using Microsoft::WRL::ComPtr;

// Finds the adapter and output that show `monitor`: among the adapters that do, in the system's
// minimum-power order where it offers one (else enumeration order), the one `choice` picks. On false
// the out-references are left as they were.
[[nodiscard]] bool find_output_for_monitor(HMONITOR monitor, ComPtr<IDXGIAdapter1>& adapter,
                                           ComPtr<IDXGIOutput1>& output, AdapterChoice& choice);

// The adapter's LUID as one number, as AdapterChoice knows adapters; 0 when it cannot be read.
[[nodiscard]] std::uint64_t adapter_id(IDXGIAdapter1* adapter) noexcept;

class DesktopCapture {
public:
    DesktopCapture() = default;
    ~DesktopCapture() = default;  // members release in reverse order of declaration
    DesktopCapture(const DesktopCapture&) = delete;
    DesktopCapture& operator=(const DesktopCapture&) = delete;

    // Opens a duplication of `output` on `device`, starting from scratch.
    [[nodiscard]] bool start_duplication(ID3D11Device* new_device, IDXGIOutput1* output);
    // Waits up to `timeout_ms` for a frame, copies it into frame_texture when the desktop changed and
    // releases it. NewFrame when the desktop or the pointer changed; Timeout for a frame that changed
    // nothing. After AccessLost the duplication is gone.
    [[nodiscard]] AcquireResult acquire_frame(unsigned timeout_ms);

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
    std::uint64_t frames_copied = 0;
    HRESULT duplicate_result = S_OK;  // DuplicateOutput1's (or DuplicateOutput's) answer at the last start

private:
    // GetFramePointerShape's answer (S_OK without a new shape).
    HRESULT update_pointer_shape(const DXGI_OUTDUPL_FRAME_INFO& info);
    void update_pointer_position(const DXGI_OUTDUPL_FRAME_INFO& info) noexcept;
    // Whether the held frame has move or dirty rectangles; the failing call's answer, if any.
    HRESULT frame_has_changes(const DXGI_OUTDUPL_FRAME_INFO& info, bool& changed);
    [[nodiscard]] AcquireResult copy_frame(IDXGIResource* resource);
    AcquireResult lose_access() noexcept;
    // Makes frame_texture and frame_srv match `desc`; false (after logging) when they cannot be made.
    [[nodiscard]] bool ensure_frame_texture(const D3D11_TEXTURE2D_DESC& desc);
};

}  // namespace kelvane
