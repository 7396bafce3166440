// Shader bytecode compiled once per process: a renderer is built again after every lost device,
// display change and refused duplication, and the compiler is by far the slowest part of a build.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kelvane {

// A preprocessor definition handed to the compiler, as `#define name value` would be.
struct ShaderDefine {
    const char* name;
    const char* value;
};

// The bytecode of `entry` in `source` for `profile` with `defines`: compiled at the first request and
// kept for the process's life. Empty, after logging the compiler's message, when it does not compile;
// a failure is not kept, so every build reports it.
[[nodiscard]] std::vector<std::uint8_t> compiled_shader(std::string_view source, const char* entry, const char* profile,
                                                        const std::vector<ShaderDefine>& defines = {});

// How often the compiler ran in this process.
[[nodiscard]] unsigned long shader_compilations() noexcept;

}  // namespace kelvane
