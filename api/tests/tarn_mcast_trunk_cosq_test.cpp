// Multicast groups, trunks and class-of-service queues of the family on a
// DXP7102 unit over the chip model, after a full dxp_init.
#include <string>
#include <vector>

#include "../../drv/tests/port_fixture.h"
#include "drv_mcast.h"
#include "drv_mem.h"
#include "drv_queue.h"
#include "drv_trunk.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "soc_arl.h"
#include "soc_counter.h"
#include "sal_config.h"

namespace {

std::vector<std::string> l2_calls;
dxp_dispatch_t recording{};
dxp_l2_addr l2_answer{};
int l2_get_rv = DXP_E_NOT_FOUND;
std::vector<uint32_t> queue_modes;

class tarn_feature : public port_test::PortUnitTest {
  protected:
    // Unit 0 with the family's table, whose L2 deletes record and whose L2
    // lookup answers l2_answer.
    void bringUp(bool init = true, sim::ChipKind chip = sim::ChipKind::DXP7102A1) {
        startPorts(chip);
        ASSERT_EQ(soc_init(0), 0);
        recording = dxp_tarn_dispatch;
        recording.l2_addr_delete = [](int unit, const dxp_mac_t mac, dxp_vlan_t vid) {
            l2_calls.push_back("delete " + std::to_string(vid));
            dxp_mcast_addr a;
            dxp_mcast_addr_init(&a, mac, vid);
            uint32_t entry[3];
            DRV_SERVICES(unit)->mcast_to_arl_entry(unit, entry, &a);
            return DRV_SERVICES(unit)->mem_delete(
                unit, DRV_MEM_ARL, entry,
                DRV_MEM_OP_DELETE_BY_STATIC | DRV_MEM_OP_BY_MAC | DRV_MEM_OP_BY_VLAN);
        };
        recording.l2_addr_delete_by_trunk = [](int, int tid, uint32_t flags) {
            l2_calls.push_back("trunk " + std::to_string(tid) + "," + std::to_string(flags));
            return 0;
        };
        recording.l2_addr_get = [](int, const dxp_mac_t, dxp_vlan_t, dxp_l2_addr *out) {
            *out = l2_answer;
            return l2_get_rv;
        };
        l2_calls.clear();
        ASSERT_EQ(dxp_dispatch_register(&recording), 0);
        if (init) {
            ASSERT_EQ(dxp_init(0), 0);
        }
    }
    // The unit's services with the queue mode service recording.
    void recordQueueModes() {
        // The unit's threads read the driver record this swaps.
        dxp_linkscan_detach(0);
        soc_tarn_counter_stop(0);
        soc_arl_stop(0);
        services = *DRV_SERVICES(0);
        services.queue_mode_set = [](int, soc_pbmp_t, uint32_t mode) {
            queue_modes.push_back(mode);
            return 0;
        };
        driver = *unit0()->chip_driver;
        driver.services = &services;
        saved = unit0()->chip_driver;
        SOC_CONTROL(0)->chip_driver = &driver;
        queue_modes.clear();
    }
    void TearDown() override {
        if (saved != nullptr) SOC_CONTROL(0)->chip_driver = saved;
        dxp_linkscan_detach(0);  // the scan thread must not outlive the unit
        dxp_detach(0);
        dxp_dispatch_register(&dxp_tarn_dispatch);
        PortUnitTest::TearDown();
    }
    uint64_t row(int r) { return board->chip().tables().memPeek(0x3000 + r); }

    drv_if_t services{};
    soc_driver_t driver{};
    const soc_driver_t *saved = nullptr;
};

const dxp_mac_t kGroup = {0x01, 0x00, 0x5e, 0x00, 0x00, 0x05};
const dxp_mac_t kOther = {0x01, 0x00, 0x5e, 0x00, 0x00, 0x06};

dxp_mcast_addr group(const dxp_mac_t mac, int index, std::initializer_list<int> ports) {
    dxp_mcast_addr a;
    dxp_mcast_addr_init(&a, mac, 1);
    a.l2mc_index = index;
    for (int p : ports)
        dxp_pbmp_port_add(&a.pbmp, p);
    return a;
}

TEST_F(tarn_feature, JoinAndLeaveTellWhatHappenedToTheGroup) {
    bringUp(false);
    EXPECT_EQ(dxp_tarn_mcast_join(0, kGroup, 1, 3, nullptr), DXP_E_INIT);
    ASSERT_EQ(dxp_init(0), 0);

    dxp_mcast_addr got{};
    EXPECT_EQ(dxp_mcast_join(0, kGroup, 1, 3, &got), DXP_MCAST_JOIN_CREATED);
    EXPECT_EQ(dxp_mcast_join(0, kGroup, 1, 5, &got), DXP_MCAST_JOIN_ADDED);
    ASSERT_EQ(dxp_mcast_port_get(0, kGroup, 1, &got), 0);
    EXPECT_EQ(got.pbmp.w[0], (1u << 3) | (1u << 5));
    EXPECT_GT(got.l2mc_index, 0);  // index 0 marks "no group" and is never handed out
    EXPECT_EQ(dxp_mcast_join(0, kOther, 1, -1, nullptr), DXP_E_PARAM);  // no port at all
    // A VLAN id wider than the key's 12 bits would name VLAN id & 0xfff.
    dxp_mcast_addr wide = group(kGroup, -1, {4});
    wide.vid = 4096 + 1;
    EXPECT_EQ(dxp_mcast_addr_add(0, &wide), DXP_E_PARAM);
    EXPECT_EQ(dxp_mcast_port_add(0, &wide), DXP_E_PARAM);
    EXPECT_EQ(dxp_mcast_join(0, kGroup, 4096 + 1, 4, nullptr), DXP_E_PARAM);
    EXPECT_EQ(dxp_mcast_leave(0, kGroup, 4096 + 1, 3), DXP_E_PARAM);
    EXPECT_EQ(dxp_mcast_addr_remove(0, kGroup, 4096 + 1), DXP_E_PARAM);
    ASSERT_EQ(dxp_mcast_port_get(0, kGroup, 1, &got), 0);
    EXPECT_EQ(got.pbmp.w[0], (1u << 3) | (1u << 5));

    EXPECT_EQ(dxp_mcast_leave(0, kGroup, 1, 3), DXP_MCAST_LEAVE_UPDATED);
    EXPECT_EQ(dxp_mcast_leave(0, kGroup, 1, 5), DXP_MCAST_LEAVE_DELETED);
    EXPECT_EQ(dxp_mcast_leave(0, kGroup, 1, 5), DXP_MCAST_LEAVE_NOTFOUND);
    EXPECT_EQ(dxp_mcast_port_get(0, kGroup, 1, &got), DXP_E_NOT_FOUND);
    // The freed index is handed out again.
    dxp_mcast_addr again{};
    EXPECT_EQ(dxp_mcast_join(0, kOther, 1, 7, &again), DXP_MCAST_JOIN_CREATED);
    ASSERT_EQ(dxp_mcast_port_get(0, kOther, 1, &again), 0);
    EXPECT_EQ(again.l2mc_index, got.l2mc_index);

    // A group that keeps ports keeps its index to itself.
    dxp_mcast_addr some = group(kOther, -1, {7});
    ASSERT_EQ(dxp_mcast_join(0, kOther, 1, 8, nullptr), DXP_MCAST_JOIN_ADDED);
    ASSERT_EQ(dxp_mcast_port_remove(0, &some), 0);
    dxp_mcast_addr third{};
    ASSERT_EQ(dxp_mcast_join(0, kGroup, 1, 2, &third), DXP_MCAST_JOIN_CREATED);
    ASSERT_EQ(dxp_mcast_port_get(0, kGroup, 1, &third), 0);
    EXPECT_NE(third.l2mc_index, again.l2mc_index);

    // No free index: nothing is inserted.
    drv_l2mc_table_t *t = drv_mcast_l2mc_table(0);
    for (int g = 0; g < t->count; g++)
        t->used[g] = 1;
    const dxp_mac_t fresh = {0x01, 0x00, 0x5e, 0x00, 0x00, 0x07};
    EXPECT_EQ(dxp_mcast_join(0, fresh, 1, 3, nullptr), DXP_E_FULL);
    EXPECT_EQ(dxp_mcast_port_get(0, fresh, 1, &got), DXP_E_NOT_FOUND);
}

TEST_F(tarn_feature, GroupsShareBitmapRowsByHalves) {
    bringUp();
    dxp_mcast_addr odd = group(kGroup, 5, {1, 2});
    dxp_mcast_addr even = group(kOther, 4, {7});
    ASSERT_EQ(dxp_mcast_addr_add(0, &odd), 0);
    ASSERT_EQ(dxp_mcast_addr_add(0, &even), 0);
    EXPECT_EQ(row(2), (1ull << 57) | (0x6ull << 30) | (1ull << 27) | (1u << 7));
    EXPECT_EQ(board->chip().peek("NEW_CONTROL") & 1, 1u);

    EXPECT_EQ(dxp_mcast_addr_add(0, &odd), 0);  // the same group again
    dxp_mcast_addr moved = group(kGroup, 9, {1});
    EXPECT_EQ(dxp_mcast_addr_add(0, &moved), DXP_E_INTERNAL);

    // Removing every port drops the address and clears only its half.
    dxp_mcast_addr ports = group(kGroup, 5, {1, 2});
    ASSERT_EQ(dxp_mcast_port_remove(0, &ports), 0);
    dxp_mcast_addr got{};
    EXPECT_EQ(dxp_mcast_port_get(0, kGroup, 1, &got), DXP_E_NOT_FOUND);
    EXPECT_EQ(row(2), (1ull << 27) | (1u << 7));
    ports = group(kOther, 4, {3});
    ASSERT_EQ(dxp_mcast_port_add(0, &ports), 0);
    EXPECT_EQ(row(2), (1ull << 27) | (1u << 7) | (1u << 3));

    ASSERT_EQ(dxp_mcast_addr_remove(0, kOther, 1), 0);
    EXPECT_EQ(row(2), 0u);
    EXPECT_EQ(l2_calls, std::vector<std::string>{"delete 1"});
}

TEST_F(tarn_feature, GroupIndexOutsideTheCounterTableIsRefused) {
    bringUp();
    const drv_l2mc_table_t *t = drv_mcast_l2mc_table(0);
    ASSERT_EQ(t->count, 256);
    for (int index : {256, 1000, -2}) {
        dxp_mcast_addr a = group(kGroup, index, {1});
        EXPECT_EQ(dxp_mcast_addr_add(0, &a), DXP_E_PARAM) << index;
        EXPECT_EQ(dxp_mcast_addr_add_w_l2mcindex(0, &a), DXP_E_PARAM) << index;
    }
    // A stored entry with a stray index does not reach the counters either.
    l2_get_rv = 0;
    l2_answer = dxp_l2_addr{};
    l2_answer.flags = DXP_L2_MCAST;
    l2_answer.l2mc_index = 4096;
    dxp_mcast_addr a = group(kGroup, 3, {1});
    EXPECT_EQ(dxp_mcast_addr_add_w_l2mcindex(0, &a), DXP_E_PARAM);
    l2_answer.flags = 0;
    EXPECT_EQ(dxp_mcast_addr_add_w_l2mcindex(0, &a), DXP_E_EXISTS);  // a unicast address
    EXPECT_EQ(dxp_mcast_addr_remove_w_l2mcindex(0, &a), DXP_E_NOT_FOUND);
    l2_get_rv = DXP_E_NOT_FOUND;
    EXPECT_EQ(dxp_mcast_addr_add_w_l2mcindex(0, &a), 0);
    dxp_mcast_addr got{};
    ASSERT_EQ(dxp_mcast_port_get(0, kGroup, 1, &got), 0);
    EXPECT_EQ(got.l2mc_index, 3);
    EXPECT_EQ(t->used[3], 1u);
    EXPECT_EQ(row(1) >> 30, (1ull << 27) | 0x2);
}

dxp_trunk_add_info members(std::initializer_list<int> ports, int psc = 0) {
    dxp_trunk_add_info info{};
    info.psc = psc;
    for (int p : ports)
        info.tp[info.num_ports++] = p;
    return info;
}

TEST_F(tarn_feature, TrunkLifeFromCreateToDestroy) {
    bringUp();
    int tid = -1;
    ASSERT_EQ(dxp_trunk_create(0, &tid), 0);
    EXPECT_EQ(tid, 0);
    dxp_trunk_add_info info = members({3, 1, 2});
    ASSERT_EQ(dxp_trunk_set(0, 0, &info), 0);
    EXPECT_EQ(info.psc, 3);  // the default criterion, written back
    EXPECT_EQ(board->chip().peek("TRUNK_GRP0_CTL"), (1u << 27) | 0xe);
    EXPECT_EQ(board->chip().peek("GLOBAL_TRUNK_CTL") & 0x1a, 0x2u);  // on, both fields hashed

    dxp_trunk_add_info got{};
    ASSERT_EQ(dxp_trunk_get(0, 0, &got), 0);
    EXPECT_EQ(got.num_ports, 3);
    EXPECT_EQ(got.tp[0] * 100 + got.tp[1] * 10 + got.tp[2], 123);
    EXPECT_EQ(got.psc, 3);

    dxp_pbmp_t b{{1u << 2, 0}};
    EXPECT_EQ(dxp_trunk_bitmap_expand(0, &b), 0);
    EXPECT_EQ(b.w[0], 0xeu);

    // Hashing on one field: psc 1 leaves only field 0x2 (seed 1).
    EXPECT_EQ(dxp_trunk_psc_set(0, 0, 1), 0);
    EXPECT_EQ(board->chip().peek("GLOBAL_TRUNK_CTL") >> 3 & 3, 1u);
    int psc = 0;
    EXPECT_EQ(dxp_trunk_psc_get(0, 0, &psc), 0);
    EXPECT_EQ(psc, 1);

    ASSERT_EQ(dxp_trunk_destroy(0, 0), 0);
    EXPECT_EQ(l2_calls, std::vector<std::string>{"trunk 0,0"});
    EXPECT_EQ(board->chip().peek("TRUNK_GRP0_CTL"), 0u);
    // With the last group gone trunking is off and both fields hashed, as
    // before the first.
    EXPECT_EQ(board->chip().peek("GLOBAL_TRUNK_CTL"), 0u);
    EXPECT_EQ(dxp_trunk_psc_get(0, 0, &psc), DXP_E_NOT_FOUND);
    EXPECT_EQ(psc, 0);

    // The gigabit pair trunks as a whole in group 2.
    ASSERT_EQ(dxp_trunk_create_with_tid(0, 2), 0);
    EXPECT_EQ(dxp_trunk_create_with_tid(0, 2), DXP_E_EXISTS);
    info = members({25, 26});
    ASSERT_EQ(dxp_trunk_set(0, 2, &info), 0);
    EXPECT_EQ(board->chip().peek("GLOBAL_TRUNK_CTL") & 1, 1u);

    EXPECT_EQ(dxp_trunk_detach(0), 0);
    EXPECT_EQ(dxp_trunk_create(0, &tid), DXP_E_INIT);
}

TEST_F(tarn_feature, TrunkMembersFollowThePortKinds) {
    bringUp();
    for (int tid : {0, 1, 2})
        ASSERT_EQ(dxp_trunk_create_with_tid(0, tid), 0);
    int tid = -1;
    EXPECT_EQ(dxp_trunk_create(0, &tid), DXP_E_BADID);  // all taken
    EXPECT_EQ(dxp_trunk_create_with_tid(0, 3), DXP_E_BADID);

    dxp_trunk_add_info none = members({});
    dxp_trunk_add_info nine = members({0, 1, 2, 3, 4, 5, 6, 7});
    nine.num_ports = 9;
    dxp_trunk_add_info four = members({0, 1, 2, 3});
    four.num_ports = 5;  // above this chip's four
    EXPECT_EQ(dxp_trunk_set(0, 0, &none), DXP_E_PARAM);
    EXPECT_EQ(dxp_trunk_set(0, 0, &nine), DXP_E_PARAM);
    EXPECT_EQ(dxp_trunk_set(0, 0, &four), DXP_E_PARAM);
    dxp_trunk_add_info bad_psc = members({1, 2}, 7);
    EXPECT_EQ(dxp_trunk_set(0, 0, &bad_psc), DXP_E_PARAM);
    EXPECT_EQ(dxp_trunk_psc_set(0, 0, 4), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_trunk_psc_set(0, 0, 0), DXP_E_BADID);
    dxp_trunk_add_info mixed = members({1, 25});
    EXPECT_EQ(dxp_trunk_set(0, 0, &mixed), DXP_E_CONFIG);
    dxp_trunk_add_info ge = members({25, 26});
    EXPECT_EQ(dxp_trunk_set(0, 0, &ge), DXP_E_PARAM);
    dxp_trunk_add_info fe = members({1, 2});
    EXPECT_EQ(dxp_trunk_set(0, 2, &fe), DXP_E_PARAM);
    dxp_trunk_add_info absent = members({1, 30});
    EXPECT_EQ(dxp_trunk_set(0, 1, &absent), DXP_E_BADID);
    // Nothing reached the chip.
    EXPECT_EQ(board->chip().peek("TRUNK_GRP0_CTL") | board->chip().peek("TRUNK_GRP1_CTL"), 0u);
    dxp_trunk_add_info got{};
    ASSERT_EQ(dxp_trunk_get(0, 0, &got), 0);
    EXPECT_EQ(got.num_ports, 0);
}

TEST_F(tarn_feature, TrunkJoinsAGroupThroughItsDesignatedPort) {
    bringUp();
    ASSERT_EQ(dxp_trunk_create_with_tid(0, 1), 0);
    dxp_trunk_add_info info = members({4, 5});
    info.dlf_index = 1;
    ASSERT_EQ(dxp_trunk_set(0, 1, &info), 0);
    ASSERT_EQ(dxp_mcast_join(0, kGroup, 1, 4, nullptr), DXP_MCAST_JOIN_CREATED);
    ASSERT_EQ(dxp_mcast_join(0, kGroup, 1, 9, nullptr), DXP_MCAST_JOIN_ADDED);
    ASSERT_EQ(dxp_trunk_mcast_join(0, 1, 1, kGroup), 0);
    dxp_mcast_addr got{};
    ASSERT_EQ(dxp_mcast_port_get(0, kGroup, 1, &got), 0);
    EXPECT_EQ(got.pbmp.w[0], (1u << 5) | (1u << 9));
}

TEST_F(tarn_feature, QueueInitSpreadsPrioritiesOverTheQueues) {
    bringUp();
    const struct {
        const char *num_cos;
        int queues;
        const char *map;
    } cases[] = {{"1", 1, "00000000"}, {"2", 2, "00001111"}, {"3", 3, "00112233"},
                 {"4", 4, "00112233"}, {"8", 4, "00112233"}, {"0", 1, "00000000"}};
    for (const auto &c : cases) {
        sal_config_set("dxp_num_cos", c.num_cos);
        ASSERT_EQ(dxp_cosq_init(0), 0) << c.num_cos;
        int count = 0;
        EXPECT_EQ(dxp_cosq_config_get(0, &count), 0);
        EXPECT_EQ(count, c.queues) << c.num_cos;
        std::string map;
        for (int p = 0; p < 8; p++) {
            int q = -1;
            EXPECT_EQ(dxp_cosq_mapping_get(0, p, &q), 0);
            map += std::to_string(q);
        }
        EXPECT_EQ(map, c.map) << c.num_cos;
    }
    // The count service spreads the priorities itself, the top queues taking more.
    const drv_if_t *s = DRV_SERVICES(0);
    ASSERT_EQ(s->queue_count_set(0, 0, 3), 0);
    EXPECT_EQ(board->chip().peek("QOS_TCI_TH"), 0xa950u);  // 0,0,1,1,1,2,2,2
    EXPECT_EQ(board->chip().peek("QOS_CTL"), (1u << 31) | (2u << 27));
    EXPECT_EQ(s->queue_count_set(0, 0, 0), DXP_E_PARAM);
    EXPECT_EQ(s->queue_count_set(0, 0, 5), DXP_E_PARAM);
    EXPECT_EQ(board->chip().peek("QOS_CTL"), (1u << 31) | (2u << 27));
    EXPECT_EQ(dxp_cosq_mapping_set(0, 8, 0), DXP_E_PARAM);
    EXPECT_EQ(dxp_cosq_mapping_set(0, 0, 4), DXP_E_PARAM);
}

TEST_F(tarn_feature, SchedulingPicksTheStrictQueuesFromZeroWeights) {
    bringUp();
    recordQueueModes();
    const uint32_t all = unit0()->port.bitmap.w[0];
    const int weights[][4] = {{10, 20, 30, 40}, {10, 20, 30, 0}, {10, 20, 0, 0}};
    for (const auto &w : weights)
        ASSERT_EQ(dxp_cosq_port_sched_set(0, all, 0, 3, w, 0), 0);
    ASSERT_EQ(dxp_cosq_sched_set(0, 1, weights[0], 0), 0);
    EXPECT_EQ(queue_modes, (std::vector<uint32_t>{2, 4, 5, 1}));
    const int lone_zero[4] = {10, 20, 0, 40};
    EXPECT_EQ(dxp_cosq_port_sched_set(0, all, 0, 3, lone_zero, 0), DXP_E_PARAM);
    EXPECT_EQ(dxp_cosq_port_sched_set(0, all, 0, 2, lone_zero, 0), DXP_E_PARAM);
    const int zero_low[4] = {0, 20, 30, 40};
    EXPECT_EQ(dxp_cosq_port_sched_set(0, all, 0, 3, zero_low, 0), DXP_E_PARAM);
    const int too_heavy[4] = {56, 20, 30, 40};
    EXPECT_EQ(dxp_cosq_port_sched_set(0, all, 0, 3, too_heavy, 0), DXP_E_PARAM);
    const int heaviest[4] = {55, 20, 30, 40};
    EXPECT_EQ(dxp_cosq_port_sched_set(0, all, 0, 3, heaviest, 0), 0);

    int mode = 0, got[4] = {}, delay = 0;
    ASSERT_EQ(dxp_cosq_port_sched_get(0, 1u << 3, 0, &mode, got, &delay), 0);
    EXPECT_EQ(got[0] * 1000000 + got[1] * 10000 + got[2] * 100 + got[3], 55203040);
    EXPECT_EQ(dxp_cosq_port_sched_get(0, 1u << 24, 0, &mode, got, &delay), DXP_E_PARAM);  // CPU
    int max = 0;
    EXPECT_EQ(dxp_cosq_sched_weight_max_get(0, 2, &max), DXP_E_PARAM);
    EXPECT_EQ(max, -1);
    EXPECT_EQ(dxp_cosq_sched_weight_max_get(0, 3, &max), 0);
    EXPECT_EQ(max, 55);  // the driver's largest weight

    // This chip's driver runs no strict queue among weighted ones: such
    // weights are refused before any is written, and named.
    SOC_CONTROL(0)->chip_driver = saved;
    for (const auto &w : {weights[1], weights[2]}) {
        EXPECT_EQ(dxp_cosq_port_sched_set(0, all, 0, 3, w, 0), DXP_E_PARAM);
        ASSERT_EQ(dxp_cosq_port_sched_get(0, 1u << 3, 0, &mode, got, &delay), 0);
        EXPECT_EQ(got[0] * 1000000 + got[1] * 10000 + got[2] * 100 + got[3], 55203040);
    }
    EXPECT_STREQ(dxp_cosq_weights_refusal(0, weights[1]),
                 "Queue 3 weight 0 cannot run on this switch: its weights run 1 to 55");
    EXPECT_EQ(dxp_cosq_weights_refusal(0, heaviest), nullptr);
}

TEST_F(tarn_feature, ClassificationMapsAndSources) {
    bringUp();
    const drv_if_t *s = DRV_SERVICES(0);
    ASSERT_EQ(s->queue_dfsv_set(0, 40, 3), 0);
    EXPECT_EQ(board->chip().peek("QOS_DIFF_DSCP2"), 3ull << 16);
    EXPECT_EQ(board->chip().peek("QOS_DIFF_DSCP1"), 0u);
    uint8_t q = 0;
    EXPECT_EQ(s->queue_dfsv_get(0, 40, &q), 0);
    EXPECT_EQ(q, 3);
    EXPECT_EQ(s->queue_dfsv_set(0, 64, 1), DXP_E_PARAM);
    ASSERT_EQ(s->queue_tos_set(0, 5, 2), 0);
    for (const char *copy : {"QOS_D_TOS_TH", "QOS_T_TOS_TH", "QOS_R_TOS_TH", "QOS_M_TOS_TH"})
        EXPECT_EQ(board->chip().peek(copy), 2u << 10) << copy;

    // DSCP for ports 1-3, then off for port 2 only.
    ASSERT_EQ(s->queue_mapping_type_set(0, ports({1, 2, 3}), DRV_QUEUE_MAP_DFSV, 1), 0);
    ASSERT_EQ(s->queue_mapping_type_set(0, ports({2}), DRV_QUEUE_MAP_DFSV, 0), 0);
    EXPECT_EQ(board->chip().peek("QOS_TOS_DIF_EN"), 0xau);
    // Init had 802.1p on everywhere: port 2 has it back, the others keep DSCP.
    EXPECT_EQ(board->chip().peek("QOS_1P_EN") & 0xe, 0x4u);
    EXPECT_EQ(board->chip().peek("QOS_TOS_DIF_CTL"), 1u);
    // The last port off: the selector is back at its start value too.
    ASSERT_EQ(s->queue_mapping_type_set(0, ports({1, 3}), DRV_QUEUE_MAP_DFSV, 0), 0);
    EXPECT_EQ(board->chip().peek("QOS_1P_EN") & 0xe, 0xeu);
    EXPECT_EQ(board->chip().peek("QOS_TOS_DIF_CTL"), 0u);
    ASSERT_EQ(s->queue_mapping_type_set(0, ports({1, 3}), DRV_QUEUE_MAP_DFSV, 1), 0);
    ASSERT_EQ(s->queue_mapping_type_set(0, ports({1}), DRV_QUEUE_MAP_PRIO_ONLY, 1), 0);
    uint8_t on = 9;
    EXPECT_EQ(s->queue_mapping_type_get(0, 1, DRV_QUEUE_MAP_PRIO, &on), 0);
    EXPECT_EQ(on, 0);  // the IP header wins
    EXPECT_EQ(s->queue_mapping_type_get(0, 1, DRV_QUEUE_MAP_DFSV, &on), 0);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(s->queue_mapping_type_get(0, 1, DRV_QUEUE_MAP_TOS, &on), 0);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(s->queue_mapping_type_set(0, ports({1}), DRV_QUEUE_MAP_MAC, 1), DXP_E_UNAVAIL);
    EXPECT_EQ(s->queue_mapping_type_set(0, ports({1}), 6, 1), DXP_E_PARAM);
}

TEST_F(tarn_feature, WideModelsRunQueuesTrunksAndMulticastGroups) {
    bringUp(true, sim::ChipKind::DXP7101);
    EXPECT_EQ(board->chip().peek("QOS_CTL"), (1ull << 63) | (3ull << 53));
    int q = -1;
    EXPECT_EQ(dxp_cosq_mapping_get(0, 7, &q), 0);
    EXPECT_EQ(q, 3);
    // Trunk and multicast groups run on the wide models' own services.
    int tid = -1;
    EXPECT_EQ(dxp_trunk_create(0, &tid), 0);
    EXPECT_EQ(dxp_mcast_join(0, kGroup, 1, 40, nullptr), DXP_MCAST_JOIN_CREATED);
    dxp_mcast_addr rec{};
    EXPECT_EQ(dxp_mcast_join(0, kGroup, 1, 41, &rec), DXP_MCAST_JOIN_ADDED);
    EXPECT_TRUE(dxp_pbmp_member(rec.pbmp, 40) && dxp_pbmp_member(rec.pbmp, 41));
}

}  // namespace
