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
    std::map<std::string, std::vector<std::uint8_t>> code;  // by profile, entry, define and source text
};

Cache& cache() {
    static Cache instance;
    return instance;
}

std::vector<std::uint8_t> compile(std::string_view source, const char* entry, const char* profile, const char* define) {
    compilations.fetch_add(1, std::memory_order_relaxed);
    ComPtr<ID3DBlob> code;
    ComPtr<ID3DBlob> errors;
    const D3D_SHADER_MACRO macros[] = {{define, "1"}, {nullptr, nullptr}};
    const HRESULT hr =
        D3DCompile(source.data(), source.size(), shader_source_name, define != nullptr ? macros : nullptr, nullptr,
                   entry, profile, shader_compile_flags, 0, &code, &errors);
    if (FAILED(hr)) {
        if (errors != nullptr && errors->GetBufferSize() > 0) {
            const auto* text = static_cast<const char*>(errors->GetBufferPointer());
            const std::string message(text, strnlen(text, errors->GetBufferSize()));
            log_message("shader compile (%s%s%s) failed: %s", entry, define != nullptr ? " " : "",
                        define != nullptr ? define : "", message.c_str());
        } else {
            log_message("shader compile (%s%s%s) failed: %s", entry, define != nullptr ? " " : "",
                        define != nullptr ? define : "", "no log");
        }
        return {};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(code->GetBufferPointer());
    return {bytes, bytes + code->GetBufferSize()};
}

}  // namespace

std::vector<std::uint8_t> compiled_shader(std::string_view source, const char* entry, const char* profile,
                                          const char* define) {
    std::string key = std::string(profile) + '\n' + entry + '\n' + (define != nullptr ? define : "") + '\n';
    key.append(source);
    Cache& shaders = cache();
    const std::lock_guard<std::mutex> hold(shaders.lock);
    const auto found = shaders.code.find(key);
    if (found != shaders.code.end()) {
        return found->second;
    }
    std::vector<std::uint8_t> code = compile(source, entry, profile, define);
    if (!code.empty()) {
        shaders.code.emplace(std::move(key), code);
    }
    return code;
}

unsigned long shader_compilations() noexcept {
    return compilations.load(std::memory_order_relaxed);
}

}  // namespace kelvane
