#include "d3d_test_support_win32.h"

#include <dxgi1_6.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/texture_upload_win32.h"

namespace kelvane::test {
namespace {

constexpr wchar_t test_window_class[] = L"Kelvane2TestWindow";

ATOM register_test_class() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = test_window_class;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    return RegisterClassExW(&wc);
}

}  // namespace

TestWindow::TestWindow(int width, int height) {
    static const ATOM atom = register_test_class();
    static_cast<void>(atom);
    hwnd_ = CreateWindowExW(WS_EX_TOPMOST, test_window_class, L"Kelvane2 test", WS_POPUP | WS_VISIBLE, 0, 0, width,
                            height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

TestWindow::~TestWindow() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

ComPtr<IDXGIAdapter1> first_adapter() {
    ComPtr<IDXGIFactory1> factory;
    ComPtr<IDXGIAdapter1> adapter;
    if (SUCCEEDED(CreateDXGIFactory1(IID_PPV_ARGS(&factory)))) {
        factory->EnumAdapters1(0, &adapter);
    }
    return adapter;
}

std::string failed_call_line(const char* call, HRESULT hr) {
    char text[32] = {};
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return std::string(call) + " failed, hr=" + text;
}

DuplicationAnswer duplicate_as_the_mirror_does(IDXGIOutput1* output, ID3D11Device* device) {
    static constexpr DXGI_FORMAT formats[] = {DXGI_FORMAT_R16G16B16A16_FLOAT, DXGI_FORMAT_B8G8R8A8_UNORM};
    DuplicationAnswer answer{E_NOTIMPL, "DuplicateOutput1"};
    ComPtr<IDXGIOutput5> output5;
    ComPtr<IDXGIOutputDuplication> duplication;
    if (SUCCEEDED(output->QueryInterface(IID_PPV_ARGS(&output5)))) {
        answer.hr = output5->DuplicateOutput1(device, 0, 2, formats, &duplication);
    }
    if (answer.hr == E_NOTIMPL) {
        answer = DuplicationAnswer{output->DuplicateOutput(device, &duplication), "DuplicateOutput"};
    }
    return answer;
}

DuplicationAnswer duplication_answer(HMONITOR monitor) {
    ComPtr<IDXGIFactory1> factory;
    if (FAILED(CreateDXGIFactory1(IID_PPV_ARGS(&factory)))) {
        return {};
    }
    ComPtr<IDXGIAdapter1> adapter;
    for (UINT a = 0; factory->EnumAdapters1(a, &adapter) == S_OK; ++a) {
        ComPtr<IDXGIOutput> output;
        for (UINT o = 0; adapter->EnumOutputs(o, &output) == S_OK; ++o) {
            DXGI_OUTPUT_DESC desc{};
            ComPtr<IDXGIOutput1> output1;
            if (FAILED(output->GetDesc(&desc)) || desc.Monitor != monitor || FAILED(output.As(&output1))) {
                continue;
            }
            ComPtr<ID3D11Device> device;
            if (FAILED(D3D11CreateDevice(adapter.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, nullptr, 0,
                                         D3D11_SDK_VERSION, &device, nullptr, nullptr))) {
                return {};
            }
            return duplicate_as_the_mirror_does(output1.Get(), device.Get());
        }
    }
    return {};
}

OffscreenTarget::OffscreenTarget(ID3D11Device* device, int width, int height)
    : device_(device), width_(width), height_(height) {
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = static_cast<UINT>(width);
    desc.Height = static_cast<UINT>(height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_RENDER_TARGET;
    if (FAILED(device->CreateTexture2D(&desc, nullptr, &texture_))) {
        return;
    }
    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    if (FAILED(device->CreateTexture2D(&desc, nullptr, &staging_))) {
        return;
    }
    device->CreateRenderTargetView(texture_.Get(), nullptr, &view_);
}

Image OffscreenTarget::read_back() const {
    Image image(width_, height_);
    ComPtr<ID3D11DeviceContext> context;
    device_->GetImmediateContext(&context);
    context->CopyResource(staging_.Get(), texture_.Get());
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(context->Map(staging_.Get(), 0, D3D11_MAP_READ, 0, &mapped))) {
        return Image();
    }
    for (int y = 0; y < height_; ++y) {
        std::memcpy(&image.at(0, y), static_cast<const std::uint8_t*>(mapped.pData) + y * mapped.RowPitch,
                    static_cast<std::size_t>(width_) * 4u);
    }
    context->Unmap(staging_.Get(), 0);
    return image;
}

ImageF read_back_fp16(ID3D11Device* device, ID3D11Texture2D* texture) {
    D3D11_TEXTURE2D_DESC desc{};
    texture->GetDesc(&desc);
    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    desc.MiscFlags = 0;
    ComPtr<ID3D11Texture2D> staging;
    ComPtr<ID3D11DeviceContext> context;
    device->GetImmediateContext(&context);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (desc.Format != DXGI_FORMAT_R16G16B16A16_FLOAT || FAILED(device->CreateTexture2D(&desc, nullptr, &staging))) {
        return ImageF();
    }
    context->CopyResource(staging.Get(), texture);
    if (FAILED(context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped))) {
        return ImageF();
    }
    ImageF image{static_cast<int>(desc.Width), static_cast<int>(desc.Height),
                 std::vector<Rgba>(static_cast<std::size_t>(desc.Width) * desc.Height)};
    for (int y = 0; y < image.height; ++y) {
        const auto* row = reinterpret_cast<const std::uint16_t*>(static_cast<const std::uint8_t*>(mapped.pData) +
                                                                 static_cast<std::size_t>(y) * mapped.RowPitch);
        for (int x = 0; x < image.width; ++x) {
            const std::uint16_t* texel = row + static_cast<std::size_t>(x) * 4u;
            image.at(x, y) = Rgba{half_to_float(texel[0]), half_to_float(texel[1]), half_to_float(texel[2]),
                                  half_to_float(texel[3])};
        }
    }
    context->Unmap(staging.Get(), 0);
    return image;
}

ComPtr<ID3D11ShaderResourceView> upload_image(ID3D11Device* device, const Image& image) {
    ComPtr<ID3D11Texture2D> texture;
    ComPtr<ID3D11ShaderResourceView> view;
    create_immutable_image(device, image.width, image.height, image.pixels.data(), texture, view);
    return view;
}

}  // namespace kelvane::test
