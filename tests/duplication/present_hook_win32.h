// Counting the presents of every swap chain in this process into a scripted duplication (which, in
// echo mode, makes each one a frame), by pointing Present and Present1 of the system's swap-chain
// method tables at a counting wrapper.
#pragma once

#include "duplication/scripted_duplication_win32.h"

namespace kelvane::test {

// Patches the method tables of the system's window and composition swap chains (whichever it can
// make); true when at least one was patched. Once per process; `script` must live as long.
bool hook_presents(DuplicationScript& script);

}  // namespace kelvane::test
