// Colour constants: made once per device, uploaded when the output or the source's format changes.
#include "render/colour_constants_win32.h"

#include "platform/log.h"

namespace kelvane {

namespace {
constexpr UINT colour_slot = 1;
}  // namespace

bool is_linear_format(DXGI_FORMAT format) noexcept {
    return format == DXGI_FORMAT_R16G16B16A16_FLOAT;
}

bool ColourConstants::create(ID3D11Device* device) {
    D3D11_BUFFER_DESC desc{};
    desc.ByteWidth = sizeof(ColourCB);
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
    const HRESULT hr = device->CreateBuffer(&desc, nullptr, &buffer_);
    if (FAILED(hr)) {
        log_failed_call("create colour cbuffer", hr);
        return false;
    }
    uploaded_ = false;
    return true;
}

void ColourConstants::set_output(const OutputColour& output) noexcept {
    output_ = output;
    uploaded_ = false;
}

void ColourConstants::set_source_white(float nits) noexcept {
    source_white_nits_ = nits;
    uploaded_ = false;
}

ColourCB ColourConstants::bind(ID3D11DeviceContext* context, ID3D11ShaderResourceView* source) noexcept {
    if (buffer_ == nullptr || source == nullptr) {
        return ColourCB{};
    }
    D3D11_SHADER_RESOURCE_VIEW_DESC view{};
    source->GetDesc(&view);
    const bool linear = is_linear_format(view.Format);
    if (!uploaded_ || linear != uploaded_linear_) {
        modes_ = colour_constants(linear, output_, source_white_nits_);
        context->UpdateSubresource(buffer_.Get(), 0, nullptr, &modes_, 0, 0);
        uploaded_ = true;
        uploaded_linear_ = linear;
    }
    ID3D11Buffer* buffers[] = {buffer_.Get()};
    context->PSSetConstantBuffers(colour_slot, 1, buffers);
    return modes_;
}

}  // namespace kelvane
