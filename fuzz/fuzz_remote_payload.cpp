// Fuzz target: the check of a command that another process sent with WM_COPYDATA. The input is the
// payload, allocated at exactly its length so that any read past it is reported.
//
// Invariants:
//   - accepted exactly when the size is 1...64 and the bytes, less one trailing NUL, are a command's
//     name exactly;
//   - an accepted command's name is that text;
//   - the bytes are only read: the same input gives the same answer twice.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "fuzz_check.h"
#include "ui/remote_command.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::unique_ptr<std::uint8_t[]> copy(size > 0 ? new std::uint8_t[size] : nullptr);
    if (size > 0) {
        std::memcpy(copy.get(), data, size);
    }
    const std::optional<kelvane::RemoteCommand> command = kelvane::decode_remote_payload(copy.get(), size);

    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!text.empty() && text.back() == '\0') {
        text.remove_suffix(1);
    }
    const std::optional<kelvane::RemoteCommand> named = kelvane::remote_command_from_name(text);
    const bool fits = size >= 1 && size <= kelvane::remote_payload_limit && text.find('\0') == std::string_view::npos;
    FUZZ_CHECK(command.has_value() == (fits && named.has_value()));
    if (command) {
        FUZZ_CHECK(text == kelvane::remote_command_name(*command));
        FUZZ_CHECK(command == named);
    }
    FUZZ_CHECK(kelvane::decode_remote_payload(copy.get(), size) == command);
    return 0;
}
