// Static MAC addresses, the snapshot of the L2 shadow and the "l2" item.
#include "l2mgr.h"

#include <gtest/gtest.h>

#include "feature_fixture.h"
#include "soc_arl.h"

namespace {

class l2mgr : public feature_test::BoardTest {
  protected:
    void SetUp() override {
        BoardTest::SetUp();
        l2mgr_init();
    }
    void TearDown() override {
        soc_arl_stop(0);
        BoardTest::TearDown();
    }
    static dxpx_l2_addr_t addr(uint8_t last, int lport, uint8_t first = 0x00) {
        const dxp_mac_t mac = {first, 0x10, 0x20, 0x30, 0x40, last};
        dxpx_l2_addr_t a{};
        dxpx_l2_addr_init(&a, mac, 1);
        a.lport = lport;
        a.flags = DXP_L2_STATIC;
        return a;
    }
    static int add(const dxpx_l2_addr_t &a) { return l2mgr_static_add(&a); }
    static int del(const dxpx_l2_addr_t &a) { return l2mgr_static_delete(&a); }
    static bool inChip(const dxpx_l2_addr_t &a) {
        dxpx_l2_addr_t out{};
        return dxpx_l2_addr_get(a.mac, a.vid, &out, 0) == 0;
    }
};

TEST_F(l2mgr, KeepsEightStaticUnicastAddressesWithoutGaps) {
    for (uint8_t i = 0; i < 8; i++)
        ASSERT_EQ(add(addr(i, i)), 1) << int(i);
    EXPECT_EQ(add(addr(8, 8)), 0);
    EXPECT_TRUE(inChip(addr(7, 7)));

    ASSERT_EQ(del(addr(0, 0)), 1);
    EXPECT_FALSE(inChip(addr(0, 0)));
    EXPECT_EQ(l2mgr_static_count_get(), 7);
    dxpx_l2_addr_t out{};
    ASSERT_EQ(l2mgr_static_get_by_index(0, &out), 1);
    EXPECT_EQ(out.mac[5], 1);
    EXPECT_EQ(l2mgr_static_get_by_index(7, &out), 0);
    EXPECT_EQ(del(addr(0, 0)), 1);        // gone already
    EXPECT_EQ(add(addr(1, 1, 0x01)), 0);  // a group address
}

TEST_F(l2mgr, SnapshotCountsStaticAndDynamicAddresses) {
    ASSERT_EQ(soc_arl_start(0, 3600000000), 0);
    for (uint8_t i = 0; i < 3; i++)
        ASSERT_EQ(add(addr(i, i)), 1);
    for (uint8_t i = 3; i < 5; i++) {
        dxpx_l2_addr_t dynamic = addr(i, i);
        dynamic.flags = 0;
        ASSERT_EQ(dxpx_l2_addr_add(&dynamic, 0), 0);
    }
    ASSERT_EQ(l2mgr_snapshot_refresh(), 0);
    EXPECT_EQ(l2mgr_snapshot_count_get(0), 5);
    EXPECT_EQ(l2mgr_snapshot_count_get(1), 3);
    EXPECT_EQ(l2mgr_snapshot_count_get(2), 2);
    EXPECT_EQ(l2mgr_snapshot_count_get(3), SOC_E_PARAM);
    l2mgr_snapshot_clear();
    EXPECT_EQ(l2mgr_snapshot_count_get(0), 0);
}

TEST_F(l2mgr, ItemReaddsTheStaticAddresses) {
    for (uint8_t i = 0; i < 3; i++)
        ASSERT_EQ(add(addr(i, i + 1)), 1);
    feature_test::MemoryMedium saved;
    ASSERT_EQ(saved.save(l2mgr_item), 89);
    del(addr(1, 2));
    ASSERT_EQ(saved.load(l2mgr_item), 89);
    EXPECT_EQ(l2mgr_static_count_get(), 3);
    EXPECT_TRUE(inChip(addr(1, 2)));
    dxpx_l2_addr_t out{};
    ASSERT_EQ(l2mgr_static_get_by_index(2, &out), 1);
    EXPECT_EQ(out.lport, 3);

    // The chip lost an entry the list still holds: a load puts it back.
    const dxpx_l2_addr_t lost = addr(0, 1);
    ASSERT_EQ(dxpx_l2_addr_delete(lost.mac, lost.vid), 0);
    ASSERT_EQ(saved.load(l2mgr_item), 89);
    EXPECT_TRUE(inChip(lost));
    EXPECT_EQ(l2mgr_static_count_get(), 3);
}

}  // namespace
