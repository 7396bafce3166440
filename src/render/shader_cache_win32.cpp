// The process's compiled shaders.
#include "render/shader_cache_win32.h"

#include <windows.h>
#include <d3dcompiler.h>
#include <wrl/client.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/log.h"

namespace kelvane {
namespace {

using Microsoft::WRL::ComPtr;

constexpr const char* shader_source_name = "warp.hlsl";
constexpr UINT shader_compile_flags = D3DCOMPILE_OPTIMIZATION_LEVEL3;

std::atomic<unsigned long> compilations{0};

struct Cache {
    std::mutex lock;
    std::map<std::string, std::vector<std::uint8_t>> code;  // by profile, entry, defines and source text
};

Cache& cache() {
    static Cache instance;
    return instance;
}

// The defines as the compiler's log line names them: " NAME=value" each.
std::string defines_text(const std::vector<ShaderDefine>& defines) {
    std::string text;
    for (const ShaderDefine& define : defines) {
        text.append(" ").append(define.name).append("=").append(define.value);
    }
    return text;
}

std::vector<std::uint8_t> compile(std::string_view source, const char* entry, const char* profile,
                                  const std::vector<ShaderDefine>& defines) {
    compilations.fetch_add(1, std::memory_order_relaxed);
    ComPtr<ID3DBlob> code;
    ComPtr<ID3DBlob> errors;
    std::vector<D3D_SHADER_MACRO> macros;
    macros.reserve(defines.size() + 1);
    for (const ShaderDefine& define : defines) {
        macros.push_back({define.name, define.value});
    }
    macros.push_back({nullptr, nullptr});
    const HRESULT hr = D3DCompile(source.data(), source.size(), shader_source_name, macros.data(), nullptr, entry,
                                  profile, shader_compile_flags, 0, &code, &errors);
    const std::string name = entry + defines_text(defines);
    if (FAILED(hr)) {
        if (errors != nullptr && errors->GetBufferSize() > 0) {
            const auto* text = static_cast<const char*>(errors->GetBufferPointer());
            const std::string message(text, strnlen(text, errors->GetBufferSize()));
            log_message("shader compile (%s) failed: %s", name.c_str(), message.c_str());
        } else {
            log_message("shader compile (%s) failed: %s", name.c_str(), "no log");
        }
        return {};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(code->GetBufferPointer());
    return {bytes, bytes + code->GetBufferSize()};
}

}  // namespace

std::vector<std::uint8_t> compiled_shader(std::string_view source, const char* entry, const char* profile,
                                          const std::vector<ShaderDefine>& defines) {
    std::string key = std::string(profile) + '\n' + entry + defines_text(defines) + '\n';
    key.append(source);
    Cache& shaders = cache();
    const std::lock_guard<std::mutex> hold(shaders.lock);
    const auto found = shaders.code.find(key);
    if (found != shaders.code.end()) {
        return found->second;
    }
    std::vector<std::uint8_t> code = compile(source, entry, profile, defines);
    if (!code.empty()) {
        shaders.code.emplace(std::move(key), code);
    }
    return code;
}

unsigned long shader_compilations() noexcept {
    return compilations.load(std::memory_order_relaxed);
}

}  // namespace kelvane
