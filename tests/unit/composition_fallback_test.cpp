// Only a system without composition is presented to through the window; other failures are retried.
#include "render/composition_fallback.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

TEST(CompositionFallback, OnlyMissingCompositionFallsBackToTheWindow) {
    const struct {
        std::uint32_t hr;
        bool missing;
    } cases[] = {
        {0x80004001u, true},   // E_NOTIMPL (as under Wine)
        {0x80040154u, true},   // REGDB_E_CLASSNOTREG
        {0x8007007Eu, true},   // dcomp.dll not found
        {0x8007007Fu, true},   // its export not found
        {0x887A0005u, false},  // DXGI_ERROR_DEVICE_REMOVED
        {0x8007000Eu, false},  // E_OUTOFMEMORY
        {0x80070005u, false},  // E_ACCESSDENIED
        {0x80004005u, false},  // E_FAIL
    };
    for (const auto& c : cases) {
        EXPECT_EQ(composition_missing(static_cast<std::int32_t>(c.hr)), c.missing) << std::hex << c.hr;
    }
}

}  // namespace
}  // namespace kelvane
