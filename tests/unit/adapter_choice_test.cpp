// The adapter choice on hybrid-GPU machines: the first usable adapter in the system's order, the next
// one after an adapter could not duplicate, each ruled-out adapter news once.
#include "capture/adapter_choice.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

TEST(AdapterChoice, TriesTheNextAdapterAfterOneThatCannotDuplicate) {
    const std::vector<std::uint64_t> integrated_first = {0x11, 0x22, 0x33};
    AdapterChoice choice;
    EXPECT_EQ(choice.pick(integrated_first), 0u);
    EXPECT_TRUE(choice.rule_out(0x11));
    EXPECT_FALSE(choice.rule_out(0x11));  // said once
    EXPECT_EQ(choice.pick(integrated_first), 1u);
    // The order of the list decides, not the order of ruling out.
    EXPECT_TRUE(choice.rule_out(0x33));
    EXPECT_EQ(choice.pick(integrated_first), 1u);
    EXPECT_EQ(choice.pick({0x33, 0x22, 0x11}), 1u);
    // All ruled out: start over with the first; a list without candidates gives 0.
    EXPECT_TRUE(choice.rule_out(0x22));
    EXPECT_EQ(choice.pick(integrated_first), 0u);
    EXPECT_EQ(choice.pick({}), 0u);
    EXPECT_EQ(choice.pick({0x44, 0x11}), 0u);
}

}  // namespace
}  // namespace kelvane
