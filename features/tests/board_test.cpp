// Board set-ups, the user-port map and user-port bitmaps.
#include "board.h"

#include <gtest/gtest.h>

#include "chipdata/ids.h"
#include "feature_fixture.h"

namespace {

TEST(board, SetUpsFollowTheChipFlagsInOrder) {
    ASSERT_EQ(board_setup_select(0x02000000), 0);
    EXPECT_EQ(board_num_uports, 8);
    EXPECT_EQ(user_port_map[1], 7);  // the 8-port board counts backwards
    EXPECT_EQ(user_port_map[8], 0);

    // The 52-port flag is tested before the 28-port one.
    ASSERT_EQ(board_setup_select(0x24000000), 0);
    EXPECT_STREQ(board_name, "RW3090");
    EXPECT_EQ(board_num_trunks, 6);
    int lport = 0, uport = 0;
    EXPECT_EQ(ulpm_to_lport(49, &lport), 0);
    EXPECT_EQ(lport, 49);
    EXPECT_EQ(ulpm_to_uport(48, &uport), SOC_E_PORT);

    ASSERT_EQ(board_setup_select(0x20000000), 0);
    EXPECT_EQ(board_num_uports, 28);
    EXPECT_NE(factory_default_image, nullptr);

    ASSERT_EQ(board_setup_select(0x00200000), 0);
    EXPECT_EQ(board_num_uports, 26);
    EXPECT_EQ(factory_default_image, nullptr);
    EXPECT_EQ(ulpm_to_lport(25, &lport), 0);
    EXPECT_EQ(lport, 25);
    EXPECT_EQ(ulpm_to_uport(24, &uport), SOC_E_PORT);
    EXPECT_EQ(ulpm_to_lport(0, &lport), SOC_E_PORT);
    EXPECT_EQ(ulpm_to_lport(27, &lport), SOC_E_PORT);

    // An unknown board changes nothing.
    EXPECT_EQ(board_setup_select(0x00100000), SOC_E_NOT_FOUND);
    EXPECT_EQ(board_num_uports, 26);
}

TEST(board, BitmapsHoldUserPortsOneToN) {
    ASSERT_EQ(board_setup_select(0x04000000), 0);
    upbmp_t a{}, b{};
    ASSERT_EQ(upbmp_alloc(&a, 52), 0);
    EXPECT_EQ(a.byte_count, 7u);
    EXPECT_EQ(upbmp_is_empty(&a), 1);
    EXPECT_EQ(upbmp_add(&a, 53), SOC_E_PORT);
    EXPECT_EQ(upbmp_test(&a, 53), 0);
    ASSERT_EQ(upbmp_add(&a, 1), 0);
    ASSERT_EQ(upbmp_add(&a, 52), 0);
    EXPECT_EQ(upbmp_is_empty(&a), 0);

    ASSERT_EQ(upbmp_alloc(&b, 8), 0);
    EXPECT_EQ(upbmp_equal(&a, &b), 0);
    upbmp_clear_all(&a);
    EXPECT_EQ(upbmp_equal(&a, &b), 0);  // both empty, sizes differ
    upbmp_free(&b);

    // User ports 1, 48 and 49 are logical ports 0, 47 and 49.
    dxpx_lplist_t list{};
    dxpx_lplist_init(&list, 0, 0);
    for (int n : {1, 48, 49})
        upbmp_add(&a, n);
    ASSERT_EQ(upbmp_to_lplist(&a, &list), 0);
    ASSERT_EQ(dxpx_lplist_count(&list), 3);
    EXPECT_EQ(list.lp_ports[1], 47);
    EXPECT_EQ(list.lp_ports[2], 49);
    upbmp_clear_all(&a);
    ASSERT_EQ(upbmp_from_lplist(&list, &a), 0);
    EXPECT_EQ(upbmp_test(&a, 49), 1);
    dxpx_lplist_add(&list, 48);
    EXPECT_EQ(upbmp_from_lplist(&list, &a), SOC_E_PORT);
    dxpx_lplist_free(&list);
    upbmp_free(&a);
}

class board_probe_on_chip : public feature_test::BoardTest {};

TEST_F(board_probe_on_chip, FindsTheBoardOfUnitZero) {
    EXPECT_EQ(board_num_uports, 26);
    EXPECT_STREQ(board_name, "DXP97102R24GM");
    EXPECT_EQ(all_ports_bmp.byte_count, 4u);
}

TEST_F(board_probe_on_chip, RefusesTwoAttachedUnits) {
    int second = add_device(DXP7102_DEVICE_ID, 1);
    ASSERT_EQ(second, 1);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(board_probe(), SOC_E_NOT_FOUND);
    EXPECT_EQ(sal_console_output_flush(), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Board Probe ERROR: Unknown board\n");
    EXPECT_EQ(soc_cm_device_destroy(second), 0);
}

}  // namespace
