// The program's warp channel, built once here rather than in every file that uses it.
#include "session/warp_channel.h"

namespace kelvane {

template class BasicWarpChannel<std::mutex>;

}  // namespace kelvane
