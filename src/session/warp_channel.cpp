// The warp channel's hand-off: values under the lock, the flag raised after them and lowered before
// they are read, so that no publication is lost between a read and the lowering.
#include "session/warp_channel.h"

namespace kelvane {

void WarpChannel::reset(const WarpParams& params) {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        params_ = params;
    }
    changed_.exchange(false);
    stop_requested_.exchange(false);
}

void WarpChannel::publish(const WarpParams& params) {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        params_ = params;
    }
    changed_.exchange(true);
}

WarpParams WarpChannel::take() {
    changed_.exchange(false);
    const std::lock_guard<std::mutex> guard(lock_);
    return params_;
}

bool WarpChannel::take_if_changed(WarpParams& params) {
    if (!changed_.exchange(false)) {
        return false;
    }
    const std::lock_guard<std::mutex> guard(lock_);
    params = params_;
    return true;
}

}  // namespace kelvane
