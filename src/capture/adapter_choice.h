// Which GPU adapter to duplicate a monitor on. On a hybrid-GPU laptop the monitor's output can be
// enumerated on more than one adapter, and duplication on an adapter that does not drive the panel
// answers DXGI_ERROR_UNSUPPORTED (or E_INVALIDARG for a device made on another adapter); such an
// adapter is ruled out and the next one tried. The same UNSUPPORTED answer also means that the current
// desktop mode or session cannot be duplicated at all (some remote sessions): with no other adapter
// left to try it is a refusal for now, not a reason to give up on the only adapter there is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvane {

class AdapterChoice {
public:
    // Position in `candidates` (the adapters, by id, that show the monitor, in the order to try them)
    // of the one to use: the first not ruled out; when every one is ruled out, the first again, since
    // what ruled them out may have changed. 0 for an empty list. The list is kept for rule_out.
    [[nodiscard]] std::size_t pick(const std::vector<std::uint64_t>& candidates);
    // `adapter` answered that it cannot duplicate the monitor. Rules it out and returns true while
    // another candidate of the last pick is left to try; false: treat the answer as a refusal.
    bool rule_out(std::uint64_t adapter);
    // Duplication started (or the displays changed): every adapter gets its chance again.
    void clear() noexcept { ruled_out_.clear(); }

private:
    [[nodiscard]] bool is_ruled_out(std::uint64_t adapter) const noexcept;

    std::vector<std::uint64_t> candidates_;
    std::vector<std::uint64_t> ruled_out_;
};

}  // namespace kelvane
