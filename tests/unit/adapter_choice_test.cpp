// The adapter choice on hybrid-GPU machines: the first usable adapter in the system's order, the next
// one after an adapter could not duplicate, but never the last one left ruled out (the answer then means
// the desktop mode or session refuses); all given their chance again after a success.
#include "capture/adapter_choice.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

TEST(AdapterChoice, TriesTheNextAdapterAfterOneThatCannotDuplicate) {
    const std::vector<std::uint64_t> integrated_first = {0x11, 0x22, 0x33};
    AdapterChoice choice;
    EXPECT_EQ(choice.pick(integrated_first), 0u);
    EXPECT_TRUE(choice.rule_out(0x11));
    EXPECT_EQ(choice.pick(integrated_first), 1u);
    // The order of the list decides, not the order of ruling out.
    EXPECT_TRUE(choice.rule_out(0x33));
    EXPECT_EQ(choice.pick(integrated_first), 1u);
    EXPECT_EQ(choice.pick({0x33, 0x22, 0x11}), 1u);
    // The last adapter left is not ruled out: a refusal, asked again on the same adapter.
    EXPECT_FALSE(choice.rule_out(0x22));
    EXPECT_EQ(choice.pick(integrated_first), 1u);
    EXPECT_EQ(choice.pick({}), 0u);
    EXPECT_FALSE(choice.rule_out(0x22));
    // Candidates that were all ruled out before start over with the first.
    EXPECT_EQ(choice.pick({0x33, 0x11}), 0u);
    EXPECT_FALSE(choice.rule_out(0x33));
    // A success clears the list; a single adapter is never ruled out.
    choice.clear();
    EXPECT_EQ(choice.pick(integrated_first), 0u);
    EXPECT_EQ(choice.pick({0x44}), 0u);
    EXPECT_FALSE(choice.rule_out(0x44));
}

}  // namespace
}  // namespace kelvane
