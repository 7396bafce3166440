# Writes a C++ header that holds the bytes of INPUT as `inline constexpr unsigned char NAME[]`, with
# NAME_size its exact length (no terminating zero). Run with cmake -P at build time:
#   cmake -DINPUT=... -DOUTPUT=... -DNAME=... -P embed_file.cmake
file(READ "${INPUT}" content HEX)
string(LENGTH "${content}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n    " bytes "${bytes}")
get_filename_component(source_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.new"
"// Generated from ${source_name} at build time; do not edit.
#pragma once
#include <cstddef>
namespace kelvane {
inline constexpr unsigned char ${NAME}[] = {
    ${bytes}
};
inline constexpr std::size_t ${NAME}_size = ${size};
}  // namespace kelvane
")
# Only a changed text touches the header, so dependants are not rebuilt for nothing.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
