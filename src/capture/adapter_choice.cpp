// The adapter choice.
#include "capture/adapter_choice.h"

#include <algorithm>

namespace kelvane {

std::size_t AdapterChoice::pick(const std::vector<std::uint64_t>& candidates) const noexcept {
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (std::find(ruled_out_.begin(), ruled_out_.end(), candidates[i]) == ruled_out_.end()) {
            return i;
        }
    }
    return 0;
}

bool AdapterChoice::rule_out(std::uint64_t adapter) {
    if (std::find(ruled_out_.begin(), ruled_out_.end(), adapter) != ruled_out_.end()) {
        return false;
    }
    ruled_out_.push_back(adapter);
    return true;
}

}  // namespace kelvane
