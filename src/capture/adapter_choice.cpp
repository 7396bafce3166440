// The adapter choice.
#include "capture/adapter_choice.h"

#include <algorithm>

namespace kelvane {

bool AdapterChoice::is_ruled_out(std::uint64_t adapter) const noexcept {
    return std::find(ruled_out_.begin(), ruled_out_.end(), adapter) != ruled_out_.end();
}

std::size_t AdapterChoice::pick(const std::vector<std::uint64_t>& candidates) {
    candidates_ = candidates;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (!is_ruled_out(candidates[i])) {
            return i;
        }
    }
    return 0;
}

bool AdapterChoice::rule_out(std::uint64_t adapter) {
    const bool other_left = std::any_of(candidates_.begin(), candidates_.end(), [&](std::uint64_t candidate) {
        return candidate != adapter && !is_ruled_out(candidate);
    });
    if (!other_left) {
        return false;
    }
    if (!is_ruled_out(adapter)) {
        ruled_out_.push_back(adapter);
    }
    return true;
}

}  // namespace kelvane
