// Shared pieces of the GPU tests under Wine: a window to present into, the first adapter, an
// offscreen render target with read-back, and comparison with the CPU reference.
#pragma once

#include <windows.h>
#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>

#include "support/cpu_reference.h"

namespace kelvane::test {

using Microsoft::WRL::ComPtr;

// A visible popup window of the given size at the top-left of the primary monitor.
class TestWindow {
public:
    TestWindow(int width, int height);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    [[nodiscard]] HWND get() const noexcept { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

[[nodiscard]] ComPtr<IDXGIAdapter1> first_adapter();

// The line the product logs for a failed call: "DuplicateOutput failed, hr=0x80004001".
[[nodiscard]] std::string failed_call_line(const char* call, HRESULT hr);

// What the platform answers when `output` is duplicated on `device` as the mirror asks: DuplicateOutput1
// with FP16 and B8G8R8A8 where the output offers it, DuplicateOutput where it does not or answers
// E_NOTIMPL; `call` names the call that gave the answer.
struct DuplicationAnswer {
    HRESULT hr = E_FAIL;
    const char* call = "DuplicateOutput";
};
[[nodiscard]] DuplicationAnswer duplicate_as_the_mirror_does(IDXGIOutput1* output, ID3D11Device* device);

// That answer for the output that shows `monitor`, on a fresh device of its adapter, for tests whose
// outcome depends on it. E_FAIL when no output shows it.
[[nodiscard]] DuplicationAnswer duplication_answer(HMONITOR monitor);

// A BGRA texture that can be rendered into and read back.
class OffscreenTarget {
public:
    OffscreenTarget(ID3D11Device* device, int width, int height);
    [[nodiscard]] ID3D11RenderTargetView* view() const noexcept { return view_.Get(); }
    [[nodiscard]] Image read_back() const;
    [[nodiscard]] bool valid() const noexcept { return view_ != nullptr; }

private:
    ComPtr<ID3D11Device> device_;
    ComPtr<ID3D11Texture2D> texture_;
    ComPtr<ID3D11Texture2D> staging_;
    ComPtr<ID3D11RenderTargetView> view_;
    int width_;
    int height_;
};

// The pixels of an R16G16B16A16_FLOAT texture (an HDR swap chain's back buffer) as floats.
[[nodiscard]] ImageF read_back_fp16(ID3D11Device* device, ID3D11Texture2D* texture);

// An immutable texture view holding `image`.
[[nodiscard]] ComPtr<ID3D11ShaderResourceView> upload_image(ID3D11Device* device, const Image& image);

}  // namespace kelvane::test
