// The VLAN table and its settings item over a 26-port board.
#include "vlanmgr.h"

#include <gtest/gtest.h>

#include "dxp.h"
#include "feature_fixture.h"
#include "port_reserve.h"

namespace {

using feature_test::Ports;

class vlanmgr : public feature_test::BoardTest {
  protected:
    void SetUp() override {
        BoardTest::SetUp();
        ASSERT_EQ(qsw_vlanmgr_init(), 0);
    }
    std::vector<int> vids() {
        std::vector<int> out;
        for (int i = 0; i < qsw_vlanmgr_count_get(); i++)
            out.push_back(qsw_vlanmgr_vid_get(i));
        return out;
    }
    std::vector<int> members(uint16_t vid, bool untagged = false) {
        Ports m, u;
        upbmp_free(&m.bmp);
        upbmp_free(&u.bmp);
        if (qsw_vlanmgr_vlan_get(vid, &m.bmp, &u.bmp) != 0) return {-1};
        return untagged ? u.list() : m.list();
    }
    std::vector<int> chipMembers(dxp_vlan_t vid) {
        dxpx_lplist_t m{}, u{};
        dxpx_lplist_init(&m, 0, 0);
        dxpx_lplist_init(&u, 0, 0);
        std::vector<int> out;
        if (dxpx_vlan_port_get(vid, &m, &u) == 0) {
            for (int i = 0; i < dxpx_lplist_count(&m); i++)
                out.push_back(m.lp_ports[i]);
        }
        dxpx_lplist_free(&m);
        dxpx_lplist_free(&u);
        return out;
    }
};

TEST_F(vlanmgr, KeepsVidsSortedWithVlanOneFirst) {
    EXPECT_EQ(vids(), (std::vector<int>{1}));
    EXPECT_EQ(qsw_vlanmgr_vid_get(1), 4095);
    Ports a{1, 2}, b{3};
    for (uint16_t vid : {30, 10, 20})
        ASSERT_EQ(qsw_vlanmgr_vlan_set(vid, &a.bmp, &b.bmp), 0);
    EXPECT_EQ(vids(), (std::vector<int>{1, 10, 20, 30}));
    ASSERT_EQ(qsw_vlanmgr_vlan_set(20, &b.bmp, &b.bmp), 0);
    EXPECT_EQ(qsw_vlanmgr_count_get(), 4);
    EXPECT_EQ(members(20), (std::vector<int>{3}));

    qsw_vlanmgr_vlan_delete(1);
    qsw_vlanmgr_vlan_delete(10);
    EXPECT_EQ(vids(), (std::vector<int>{1, 20, 30}));
    EXPECT_EQ(qsw_vlanmgr_vid_get(3), 4095);
    EXPECT_EQ(qsw_vlanmgr_vid_exist(10), 0);
    EXPECT_EQ(members(10), (std::vector<int>{-1}));

    ASSERT_EQ(qsw_vlanmgr_reset(), 0);
    EXPECT_EQ(vids(), (std::vector<int>{1}));
}

TEST_F(vlanmgr, RefusesTheTwoHundredFiftySeventhVlan) {
    Ports none;
    for (uint16_t vid = 2; vid <= 256; vid++)
        ASSERT_EQ(qsw_vlanmgr_vlan_set(vid, &none.bmp, &none.bmp), 0);
    EXPECT_EQ(qsw_vlanmgr_vlan_set(4000, &none.bmp, &none.bmp), SOC_E_FAIL);
    EXPECT_EQ(qsw_vlanmgr_count_get(), 256);
    EXPECT_EQ(qsw_vlanmgr_vid_get(255), 256);
    EXPECT_EQ(qsw_vlanmgr_free_slot_find(), SOC_E_NOT_FOUND);
}

TEST_F(vlanmgr, AWiderSourceBitmapCopiesOnlyWhatTheSlotHolds) {
    upbmp_t wide{};
    ASSERT_EQ(upbmp_alloc(&wide, 52), 0);  // 7 bytes against the board's 4
    std::memset(wide.bits, 0xff, wide.byte_count);
    ASSERT_EQ(qsw_vlanmgr_vlan_set(5, &wide, &wide), 0);
    upbmp_free(&wide);
    EXPECT_EQ(members(5).size(), 26u);
    EXPECT_EQ(members(5).back(), 26);
}

TEST_F(vlanmgr, ItemRebuildsTheChipVlansAndTheTable) {
    Ports m{1, 2, 25}, u{2};
    ASSERT_EQ(dxpx_vlan_create(7), 0);
    dxpx_lplist_t ml{}, ul{};
    dxpx_lplist_init(&ml, 0, 0);
    dxpx_lplist_init(&ul, 0, 0);
    upbmp_to_lplist(&m.bmp, &ml);
    upbmp_to_lplist(&u.bmp, &ul);
    ASSERT_EQ(dxpx_vlan_port_add(7, ml, ul), 0);
    ASSERT_EQ(dxpx_vlan_port_remove(1, ml), 0);
    dxpx_lplist_free(&ml);
    dxpx_lplist_free(&ul);

    feature_test::MemoryMedium saved;
    ASSERT_GT(saved.save(vlanmgr_item), 0);
    EXPECT_EQ(saved.bytes.size(), 3u * 512 + 3328);
    ASSERT_EQ(dxpx_vlan_destroy(7), 0);

    ASSERT_GT(saved.load(vlanmgr_item), 0);
    EXPECT_EQ(vids(), (std::vector<int>{1, 7}));
    EXPECT_EQ(members(7), (std::vector<int>{1, 2, 25}));
    EXPECT_EQ(members(7, true), (std::vector<int>{2}));
    EXPECT_EQ(chipMembers(7), (std::vector<int>{0, 1, 25}));
    EXPECT_EQ(members(1).size(), 23u);

    // A bad VID stops the load at that entry: VLAN 7 follows VLAN 1 (19 bytes).
    saved.bytes[19 + 17] = 0xff;
    saved.bytes[19 + 18] = 0x0f;
    ASSERT_GT(saved.load(vlanmgr_item), 0);
    EXPECT_EQ(vids(), (std::vector<int>{1}));
}

// A stored VLAN goes back into its spanning-tree group through the group
// service, so the group lists what the chip holds. While a self-test holds
// ports the save stores them as the test will give them back, and a load
// leaves the table to the test.
TEST_F(vlanmgr, ItemKeepsGroupsAndWaitsForSelfTests) {
    Ports m{1, 2};
    dxpx_lplist_t ml{}, ul{};
    dxpx_lplist_init(&ml, 0, 0);
    dxpx_lplist_init(&ul, 0, 0);
    upbmp_to_lplist(&m.bmp, &ml);
    ASSERT_EQ(dxpx_vlan_create(7), 0);
    ASSERT_EQ(dxpx_vlan_port_add(7, ml, ul), 0);
    ASSERT_EQ(dxp_stg_create_id(DXPX_CPU_UNIT, 2), 0);
    ASSERT_EQ(dxp_stg_vlan_add(DXPX_CPU_UNIT, 2, 7), 0);
    // A self-test on the second port took it out of VLAN 7 and made VLAN 9.
    dxp_pbmp_t held{};
    dxp_pbmp_port_add(&held, 1);
    ASSERT_EQ(port_reserve(DXPX_CPU_UNIT, held, "Snake"), 0);
    port_reserve_keep_member(DXPX_CPU_UNIT, 7, 1, true, false);
    ASSERT_EQ(dxp_vlan_port_remove(DXPX_CPU_UNIT, 7, held), 0);
    ASSERT_EQ(dxp_vlan_create(DXPX_CPU_UNIT, 9), 0);
    port_reserve_keep_created(DXPX_CPU_UNIT, 9, held);

    feature_test::MemoryMedium saved;
    ASSERT_GT(saved.save(vlanmgr_item), 0);
    ASSERT_GT(saved.load(vlanmgr_item), 0);
    // The managers see VLAN 7 as the test will give it back, and not the
    // test's own VLAN; the chip keeps the test's state.
    EXPECT_EQ(chipMembers(7), (std::vector<int>{0, 1}));
    dxpx_lplist_t seen{};
    dxpx_lplist_init(&seen, 0, 0);
    EXPECT_EQ(dxpx_vlan_port_get(9, &seen, &seen), DXP_E_NOT_FOUND);
    dxpx_lplist_free(&seen);
    dxp_pbmp_t chip{}, untagged{};
    ASSERT_EQ(dxp_vlan_port_get(DXPX_CPU_UNIT, 7, &chip, &untagged), 0);
    EXPECT_FALSE(dxp_pbmp_member(chip, 1));
    EXPECT_EQ(dxp_vlan_port_get(DXPX_CPU_UNIT, 9, &chip, &untagged), 0);
    ASSERT_EQ(dxp_vlan_destroy(DXPX_CPU_UNIT, 9), 0);
    ASSERT_EQ(dxp_vlan_port_add(DXPX_CPU_UNIT, 7, held, dxp_pbmp_t{}), 0);
    port_reserve_release(DXPX_CPU_UNIT, held);

    ASSERT_EQ(dxp_stg_vlan_remove(DXPX_CPU_UNIT, 2, 7), 0);
    ASSERT_EQ(dxpx_vlan_destroy(7), 0);
    ASSERT_GT(saved.load(vlanmgr_item), 0);
    EXPECT_EQ(vids(), (std::vector<int>{1, 7}));
    EXPECT_EQ(chipMembers(7), (std::vector<int>{0, 1}));
    dxp_vlan_t *list = nullptr;
    int count = 0;
    ASSERT_EQ(dxp_stg_vlan_list(DXPX_CPU_UNIT, 2, &list, &count), 0);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(list[0], 7);
    dxp_stg_vlan_list_destroy(DXPX_CPU_UNIT, list, count);
    ASSERT_EQ(dxp_stg_vlan_list(DXPX_CPU_UNIT, 1, &list, &count), 0);
    for (int i = 0; i < count; i++)
        EXPECT_NE(list[i], 7);
    dxp_stg_vlan_list_destroy(DXPX_CPU_UNIT, list, count);
    dxpx_lplist_free(&ml);
    dxpx_lplist_free(&ul);
}

}  // namespace
