// The per-port reset and medium-change hooks, the record accessors and the
// byte-wise bit reversal.
#include <gtest/gtest.h>

#include "phy.h"
#include "soc_error.h"

namespace {

int calls = 0;
int hook_a(int, int, void *) {
    calls++;
    return 7;
}
int hook_b(int, int, void *) {
    return 9;
}
int last_medium_common = -1;
void on_medium_common(int, int, int medium, void *) {
    last_medium_common = medium;
    calls++;
}

class phy_common : public ::testing::Test {
  protected:
    void TearDown() override { phy_host_forget(); }
};

TEST_F(phy_common, ResetHooksRegisterOnceAndTheUserHookWins) {
    EXPECT_EQ(phy_common_reset_register(0, 1, hook_a, nullptr, 1), SOC_E_INIT);
    EXPECT_EQ(phy_common_reset(0, 1), SOC_E_INIT);
    ASSERT_EQ(phy_common_init(0), 0);
    EXPECT_EQ(phy_common_reset(0, 1), SOC_E_INTERNAL);  // no hook at all
    EXPECT_EQ(phy_common_reset_register(0, 53, hook_a, nullptr, 1), SOC_E_PARAM);
    EXPECT_EQ(phy_common_reset_register(0, 1, nullptr, nullptr, 0), SOC_E_PARAM);

    ASSERT_EQ(phy_common_reset_register(0, 1, hook_b, nullptr, 1), 0);
    EXPECT_EQ(phy_common_reset(0, 1), 9);
    int data = 0;
    ASSERT_EQ(phy_common_reset_register(0, 1, hook_a, &data, 0), 0);
    EXPECT_EQ(phy_common_reset_register(0, 1, hook_a, &data, 0), SOC_E_EXISTS);
    EXPECT_EQ(phy_common_reset_register(0, 1, hook_b, &data, 0), SOC_E_FULL);
    calls = 0;
    EXPECT_EQ(phy_common_reset(0, 1), 7);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(phy_common_reset_unregister(0, 1, hook_a, nullptr), SOC_E_NOT_FOUND);
    ASSERT_EQ(phy_common_reset_unregister(0, 1, hook_a, &data), 0);
    EXPECT_EQ(phy_common_reset(0, 1), 9);
    // A new init clears every hook.
    ASSERT_EQ(phy_common_init(0), 0);
    EXPECT_EQ(phy_common_reset(0, 1), SOC_E_INTERNAL);
}

TEST_F(phy_common, MediumChangeReachesTheRegisteredCallbackOnly) {
    phy_common_medium_change_notify(0, 2, PHY_MEDIUM_FIBER);  // no table: nothing
    ASSERT_EQ(phy_common_init(0), 0);
    calls = 0;
    phy_common_medium_change_notify(0, 2, PHY_MEDIUM_FIBER);
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(phy_common_medium_change_register(0, 2, on_medium_common, nullptr), 0);
    EXPECT_EQ(phy_common_medium_change_register(0, 2, on_medium_common, nullptr), SOC_E_EXISTS);
    phy_common_medium_change_notify(0, 2, PHY_MEDIUM_FIBER);
    phy_common_medium_change_notify(0, 3, PHY_MEDIUM_COPPER);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(last_medium_common, PHY_MEDIUM_FIBER);
    ASSERT_EQ(phy_common_medium_change_unregister(0, 2, on_medium_common, nullptr), 0);
    EXPECT_EQ(phy_common_medium_change_unregister(0, 2, on_medium_common, nullptr),
              SOC_E_NOT_FOUND);
}

TEST_F(phy_common, AccessorsOfAPortWithoutRecordAndBitReversal) {
    EXPECT_STREQ(soc_phy_name_get(0, 4), "<Unnamed PHY>");
    EXPECT_EQ(soc_phy_addr_to_port(0, 3), -1);
    EXPECT_EQ(shr_bit_rev_by_byte(0x00000001), 0x00000080u);
    EXPECT_EQ(shr_bit_rev_by_byte(0x00008000), 0x00000100u);
    EXPECT_EQ(shr_bit_rev_by_byte(0x0f0103c0), 0xf080c003u);
}

}  // namespace
