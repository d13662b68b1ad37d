// QoS modes as field-processor rules (on the 52-port board's chip) and DSCP map modes, the IP table
// and the "qos" settings item.
#include "qosmgr.h"

#include <gtest/gtest.h>

#include "feature_fixture.h"
#include "port_reserve.h"

namespace {

class qosmgr : public feature_test::BoardTest {
  protected:
    sim::ChipKind chip() const override { return sim::ChipKind::DXP7101; }
    void SetUp() override {
        BoardTest::SetUp();
        ASSERT_EQ(qosmgr_init(), 1);
    }
    static int rules() {
        dxp_field_group_status_t st{};
        EXPECT_EQ(dxp_field_group_status_get(0, qosmgr_group_get(), &st), 0);
        return st.entries_total - st.entries_free;
    }
    static int add(uint8_t last, int priority) {
        const uint8_t ip[4] = {10, 0, 0, last}, mask[4] = {255, 255, 255, 255};
        return qosmgr_ip_base_add(ip, mask, priority);
    }
};

TEST_F(qosmgr, ModesInstallAndRemoveTheirRules) {
    ASSERT_EQ(qosmgr_mode_set(ENHANCE_MODE_PORT_BASED_QOS), 1);
    EXPECT_EQ(rules(), 52);
    ASSERT_EQ(qos_port_mod_priority_by_index(2, 6), 1);
    EXPECT_EQ(rules(), 52);
    EXPECT_EQ(qos_port_mod_priority_by_index(52, 6), 0);
    ASSERT_EQ(qosmgr_mode_set(ENHANCE_MODE_PORT_BASED_QOS), 1);  // again: no change

    ASSERT_EQ(qosmgr_mode_set(ENHANCE_MODE_DISABLED), 1);
    EXPECT_EQ(rules(), 0);
}

// A refused change of one port's priority leaves the port's rule sending
// its frames to the old priority's queue.
TEST_F(qosmgr, ARefusedPortPriorityKeepsThePortsRule) {
    ASSERT_EQ(qosmgr_mode_set(ENHANCE_MODE_PORT_BASED_QOS), 1);
    int queue = -1;
    ASSERT_EQ(dxpx_cosq_mapping_get(7, &queue), 0);
    const auto rules_to_queue = [&] {
        int n = 0;
        for (int entry = 1; entry <= 64; entry++) {
            uint32_t q = 0, unused = 0;
            n += dxp_field_action_get(0, entry, dxpFieldActionPrioIntNew, &q, &unused) == 0 &&
                 static_cast<int>(q) == queue;
        }
        return n;
    };
    const int before = rules_to_queue();
    ASSERT_EQ(qos_port_mod_priority_by_index(2, 7), 1);
    EXPECT_EQ(rules_to_queue(), before + 1);
    EXPECT_EQ(qos_port_mod_priority_by_index(2, 9), 0);  // no such priority
    EXPECT_EQ(rules_to_queue(), before + 1);
    EXPECT_EQ(rules(), 52);
    int now = -1;
    ASSERT_EQ(qos_port_priority_get_by_index(2, &now), 1);
    EXPECT_EQ(now, 7);
}

// The port form's priorities are one change: all of them or, when the chip
// refuses one port's rule, none.
TEST_F(qosmgr, PortPrioritiesChangeTogetherOrNotAtAll) {
    ASSERT_EQ(qosmgr_mode_set(ENHANCE_MODE_PORT_BASED_QOS), 1);
    int prio[52];
    for (int i = 0; i < 52; i++)
        prio[i] = i % 8;
    ASSERT_EQ(qos_port_priorities_set(prio, 52), 1);
    EXPECT_EQ(rules(), 52);
    prio[30] = 9;  // no queue: the rule cannot be made
    prio[3] = 7;
    EXPECT_EQ(qos_port_priorities_set(prio, 52), 0);
    EXPECT_EQ(rules(), 52);
    for (int i = 0; i < 52; i++) {
        int now = -1;
        ASSERT_EQ(qos_port_priority_get_by_index(i, &now), 1);
        EXPECT_EQ(now, i % 8) << i;
    }
    EXPECT_EQ(qos_port_priorities_set(prio, 53), 0);
}

// The DSCP map on the 26-port board's chip, which has no field processor:
// the manager comes up without its group and the DSCP modes still work.
class qosmgr_dscp : public feature_test::BoardTest {};

TEST_F(qosmgr_dscp, DscpModesKeepPortPrioritiesAndDscpWords) {
    EXPECT_EQ(qosmgr_init(), 1);
    ASSERT_EQ(qosmgr_mode_set(ENHANCE_MODE_DSCP_BASED_QOS), 1);
    EXPECT_EQ(qos_port_mod_priority_by_index(2, 1), 1);
    int priority = -1;
    ASSERT_EQ(qos_port_priority_get_by_index(2, &priority), 1);
    EXPECT_EQ(priority, 0);

    ASSERT_EQ(qosmgr_tos_base_set_by_index(5, 6), 1);
    ASSERT_EQ(qosmgr_dscp_base_get_by_index(40, &priority), 1);
    EXPECT_EQ(priority, 0);  // the DSCP words stay as they were
    EXPECT_EQ(qosmgr_tos_base_set_by_index(8, 6), 0);
    // No field processor: the rule modes are refused, with no entry to add
    // later, and the DSCP mode stays.
    EXPECT_EQ(qosmgr_mode_set(ENHANCE_MODE_PORT_BASED_QOS), 0);
    EXPECT_EQ(qosmgr_mode_set(ENHANCE_MODE_IP_BASED_QOS), 0);
    int mode = -1;
    ASSERT_EQ(qosmgr_mode_get(&mode), 1);
    EXPECT_EQ(mode, ENHANCE_MODE_DSCP_BASED_QOS);
}

TEST_F(qosmgr, IpEntriesAreKeptInEveryModeAndInstalledInTheIpMode) {
    EXPECT_EQ(add(1, 1), 0);  // stored, although not in the IP mode
    EXPECT_EQ(add(2, 2), 1);
    EXPECT_EQ(add(3, 3), 2);
    EXPECT_EQ(rules(), 0);
    ASSERT_EQ(qosmgr_mode_set(ENHANCE_MODE_IP_BASED_QOS), 1);
    EXPECT_EQ(rules(), 3);
    ASSERT_EQ(qosmgr_ip_base_delete_by_index(0), 1);
    EXPECT_EQ(rules(), 2);
    uint8_t ip[4], mask[4];
    int priority = 0;
    ASSERT_EQ(qosmgr_ip_base_get_by_index(0, ip, mask, &priority), 1);
    EXPECT_EQ(ip[3], 2);
    EXPECT_EQ(qosmgr_ip_base_find(ip, mask), 0);

    ASSERT_EQ(qosmgr_mode_set(ENHANCE_MODE_DISABLED), 1);
    for (int i = 2; i < MAX_QOS_IP_BASE_NUM; i++)
        ASSERT_EQ(add(static_cast<uint8_t>(i + 2), 0), i);
    EXPECT_EQ(qosmgr_ip_base_full(), 1);
    EXPECT_EQ(add(200, 0), SOC_E_FULL);
}

TEST_F(qosmgr, ItemRestoresModeAndTables) {
    add(1, 4);
    add(2, 5);
    ASSERT_EQ(qosmgr_dscp_base_set_by_index(10, 3), 1);
    ASSERT_EQ(qosmgr_mode_set(ENHANCE_MODE_IP_BASED_QOS), 1);
    ASSERT_EQ(dxpx_cosq_config_set(2), 0);
    ASSERT_EQ(dxpx_cosq_mapping_set(0, 1), 0);
    feature_test::MemoryMedium saved;
    ASSERT_EQ(saved.save(qosmgr_item), 2424);
    ASSERT_EQ(qosmgr_init(), 1);
    ASSERT_EQ(dxpx_cosq_mapping_set(0, 0), 0);
    ASSERT_EQ(dxpx_cosq_config_set(4), 0);
    // The never-scheduled chip's state, the priority map and the queue count
    // come back too.
    ASSERT_EQ(saved.load(qosmgr_item), 2424);
    int queue = -1, queues = 0;
    ASSERT_EQ(dxpx_cosq_mapping_get(0, &queue), 0);
    EXPECT_EQ(queue, 1);
    ASSERT_EQ(dxpx_cosq_config_get(&queues), 0);
    EXPECT_EQ(queues, 2);
    int mode = 0, priority = 0;
    qosmgr_mode_get(&mode);
    EXPECT_EQ(mode, ENHANCE_MODE_IP_BASED_QOS);
    EXPECT_EQ(qosmgr_ip_base_cnt_get(), 2);
    EXPECT_EQ(rules(), 2);
    ASSERT_EQ(qosmgr_dscp_base_get_by_index(10, &priority), 1);
    EXPECT_EQ(priority, 3);
}

// A load of what runs keeps the rules; one that differs in a port's
// priority or a DSCP word brings the stored ones back.
TEST_F(qosmgr, LoadOfTheRunningRecordKeepsItAndAChangeIsUndone) {
    add(1, 4);
    ASSERT_EQ(qosmgr_mode_set(ENHANCE_MODE_PORT_BASED_QOS), 1);
    ASSERT_EQ(qos_port_mod_priority_by_index(3, 6), 1);
    feature_test::MemoryMedium saved;
    ASSERT_EQ(saved.save(qosmgr_item), 2424);
    for (int round = 0; round < 2; round++) {
        ASSERT_EQ(saved.load(qosmgr_item), 2424);
        EXPECT_EQ(rules(), 52) << round;
    }
    ASSERT_EQ(qos_port_mod_priority_by_index(3, 2), 1);
    ASSERT_EQ(qosmgr_dscp_base_set_by_index(10, 3), 1);
    ASSERT_EQ(saved.load(qosmgr_item), 2424);
    int priority = -1, mode = -1;
    ASSERT_EQ(qos_port_priority_get_by_index(3, &priority), 1);
    EXPECT_EQ(priority, 6);
    ASSERT_EQ(qosmgr_dscp_base_get_by_index(10, &priority), 1);
    EXPECT_EQ(priority, 0);
    qosmgr_mode_get(&mode);
    EXPECT_EQ(mode, ENHANCE_MODE_PORT_BASED_QOS);
    EXPECT_EQ(rules(), 52);
    EXPECT_EQ(qosmgr_ip_base_cnt_get(), 1);
}

TEST_F(qosmgr, RecordWithoutTheQueueCountIsStillRead) {
    ASSERT_EQ(qosmgr_dscp_base_set_by_index(10, 3), 1);
    feature_test::MemoryMedium saved;
    ASSERT_EQ(saved.save(qosmgr_item), 2424);
    saved.bytes.resize(2420);
    saved.version = 0x88740003;
    ASSERT_EQ(dxpx_cosq_config_set(3), 0);
    ASSERT_EQ(qosmgr_dscp_base_set_by_index(10, 0), 1);
    ASSERT_EQ(saved.load(qosmgr_item), 2420);
    int queues = 0, priority = 0;
    ASSERT_EQ(dxpx_cosq_config_get(&queues), 0);
    EXPECT_EQ(queues, 3);  // kept: the old record has none
    ASSERT_EQ(qosmgr_dscp_base_get_by_index(10, &priority), 1);
    EXPECT_EQ(priority, 3);
}

// While a self-test holds a port, a mode change that reaches every port's
// rule is refused by name, by the manager and by a load alike; a load in the
// running mode rebuilds the rules in place, and after the test the stored
// mode comes back.
TEST_F(qosmgr, ATestedPortKeepsThePortModeUntilItsTestEnds) {
    feature_test::MemoryMedium disabled, port_mode;
    ASSERT_EQ(disabled.save(qosmgr_item), 2424);
    ASSERT_EQ(qosmgr_mode_set(ENHANCE_MODE_PORT_BASED_QOS), 1);
    ASSERT_EQ(port_mode.save(qosmgr_item), 2424);
    int unit = 0;
    dxp_pbmp_t held{};
    reserve_uport(3, "Traffic Test", &unit, &held);
    for (int next : {ENHANCE_MODE_DISABLED, ENHANCE_MODE_IP_BASED_QOS}) {
        EXPECT_EQ(qosmgr_mode_set(next), 0);
        EXPECT_STREQ(qosmgr_refusal(), "Port 3: port under self-test (Traffic Test)");
    }
    ASSERT_EQ(dxpx_cosq_mapping_set(7, 0), 0);
    ASSERT_EQ(port_mode.load(qosmgr_item), 2424);
    int mode = -1, queue = -1;
    ASSERT_EQ(dxpx_cosq_mapping_get(7, &queue), 0);
    EXPECT_NE(queue, 0);
    EXPECT_EQ(rules(), 52);
    ASSERT_EQ(disabled.load(qosmgr_item), 2424);
    qosmgr_mode_get(&mode);
    EXPECT_EQ(mode, ENHANCE_MODE_PORT_BASED_QOS);
    EXPECT_EQ(rules(), 52);
    port_reserve_release(unit, held);
    ASSERT_EQ(disabled.load(qosmgr_item), 2424);
    qosmgr_mode_get(&mode);
    EXPECT_EQ(mode, ENHANCE_MODE_DISABLED);
    EXPECT_EQ(rules(), 0);
}

// The queue count reaches a tested port's queues: while a test holds a port
// a new count is refused by the switch and a load that carries one waits
// whole; the count that runs is taken.
TEST_F(qosmgr, ATestedPortKeepsTheQueueCountUntilItsTestEnds) {
    feature_test::MemoryMedium four_queues;
    ASSERT_EQ(dxpx_cosq_config_set(4), 0);
    ASSERT_EQ(four_queues.save(qosmgr_item), 2424);
    ASSERT_EQ(dxpx_cosq_config_set(2), 0);
    int unit = 0, queues = 0;
    dxp_pbmp_t held{};
    reserve_uport(3, "Traffic Test", &unit, &held);
    port_reserve_step_aside(1);  // this thread is a manager now, not the test
    EXPECT_EQ(dxpx_cosq_config_set(3), DXP_E_BUSY);
    EXPECT_EQ(dxpx_cosq_config_set(2), 0);
    ASSERT_EQ(four_queues.load(qosmgr_item), 2424);
    ASSERT_EQ(dxpx_cosq_config_get(&queues), 0);
    EXPECT_EQ(queues, 2);
    port_reserve_step_aside(0);
    port_reserve_release(unit, held);
    ASSERT_EQ(four_queues.load(qosmgr_item), 2424);
    ASSERT_EQ(dxpx_cosq_config_get(&queues), 0);
    EXPECT_EQ(queues, 4);
}

}  // namespace
