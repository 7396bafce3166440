// Which GPU adapter to duplicate a monitor on. On a hybrid-GPU laptop the monitor's output can be
// enumerated on more than one adapter, and duplication on an adapter that does not drive the panel
// answers DXGI_ERROR_UNSUPPORTED; such an adapter is ruled out and the next one tried.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvane {

class AdapterChoice {
public:
    // Position in `candidates` (the adapters, by id, that show the monitor, in the order to try them)
    // of the one to use: the first not ruled out; when every one is ruled out, the first again, since
    // what ruled them out may have changed. 0 for an empty list.
    [[nodiscard]] std::size_t pick(const std::vector<std::uint64_t>& candidates) const noexcept;
    // The adapter cannot duplicate the monitor; true when that is news (worth one log line).
    bool rule_out(std::uint64_t adapter);

private:
    std::vector<std::uint64_t> ruled_out_;
};

}  // namespace kelvane
