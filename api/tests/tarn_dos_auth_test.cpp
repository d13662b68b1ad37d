// Switch controls (DoS entries and trap bits) and Ethernet AV of the family,
// on the chips with the field processor, after a full unit initialisation.
#include "../../drv/tests/port_fixture.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "dxp_tarn_eav.h"

namespace {

class tarn_dos_auth : public port_test::PortUnitTest,
                      public ::testing::WithParamInterface<sim::ChipKind> {
  protected:
    void SetUp() override {
        PortUnitTest::SetUp();
        startPorts(GetParam());
        ASSERT_EQ(soc_init(0), 0);
        ASSERT_EQ(dxp_dispatch_register(&dxp_tarn_dispatch), 0);
        ASSERT_EQ(dxp_init(0), 0);
    }
    void TearDown() override {
        dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 0);
        dxp_field_detach(0);
        dxp_linkscan_detach(0);
        dxp_detach(0);
        PortUnitTest::TearDown();
    }
    static bool installed(int entry) {
        int prio = 0;
        return dxp_field_entry_prio_get(0, entry, &prio) == 0;
    }
    static int portGet(int port, int type) {
        int v = -1;
        EXPECT_EQ(dxp_switch_control_port_get(0, port, type, &v), 0);
        return v;
    }
};

TEST_P(tarn_dos_auth, DosTypesNeedTheMasterSwitchAndFirstFragment) {
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackSipEqualDip, 1), DXP_E_INIT);
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 1), 0);
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackTcpFlags, 1), DXP_E_INIT);
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackTcpFrag, 1), DXP_E_INIT);
    EXPECT_FALSE(installed(1));
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackIcmp, 1), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchCpuProtocolPrio, 7), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_switch_control_port_set(0, 53, dxpSwitchDosAttackSipEqualDip, 1), DXP_E_PORT);
    EXPECT_EQ(dxp_switch_control_port_set(0, 5, dxpSwitchIgmpToCPU, 1), DXP_E_UNAVAIL);

    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackMinTcpHdrSize, 300), 0);
    int v = 0;
    ASSERT_EQ(dxp_switch_control_get(0, dxpSwitchDosAttackMinTcpHdrSize, &v), 0);
    EXPECT_EQ(v, 44);
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackV4FirstFrag, 1), 0);
    EXPECT_EQ(portGet(7, dxpSwitchDosAttackV4FirstFrag), 1);
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackTcpFlags, 1), 0);
    EXPECT_EQ(portGet(7, dxpSwitchDosAttackTcpFlags), 1);
    for (int entry = 1; entry <= 4; entry++)
        EXPECT_TRUE(installed(entry)) << entry;
    uint32_t rate = 0, burst = 0;
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackPingFlood, 1), 0);
    ASSERT_EQ(dxp_field_meter_get(0, 5, 2, &rate, &burst), 0);
    EXPECT_EQ(rate, 64u);
    EXPECT_EQ(burst, 1024u);
    uint32_t p0 = 0, p1 = 0;
    ASSERT_EQ(dxp_field_action_get(0, 5, dxpFieldActionRpDrop, &p0, &p1), 0);
}

TEST_P(tarn_dos_auth, DisablesRemoveEveryInstalledEntryOnce) {
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 1), 0);
    // Disabling what was never enabled has nothing to remove.
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackL4Port, 0), 0);
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackSipEqualDip, 1), 0);
    ASSERT_TRUE(installed(1));
    ASSERT_EQ(dxp_switch_control_port_set(0, 5, dxpSwitchDosAttackSipEqualDip, 0), 0);
    EXPECT_FALSE(installed(1));
    EXPECT_EQ(portGet(5, dxpSwitchDosAttackSipEqualDip), 0);
    EXPECT_EQ(portGet(4, dxpSwitchDosAttackSipEqualDip), 1);
    // The shared entry is gone from every record: a later all-ports disable
    // does not hit an id that another entry may hold by now.
    ASSERT_EQ(dxp_switch_control_port_set(0, 3, dxpSwitchDosAttackSynFlood, 1), 0);
    EXPECT_EQ(portGet(3, dxpSwitchDosAttackSynFlood), 1);
    EXPECT_EQ(portGet(4, dxpSwitchDosAttackSynFlood), 0);
    ASSERT_TRUE(installed(1));  // the SYN-flood entry took the free id
    EXPECT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackSipEqualDip, 0), 0);
    EXPECT_TRUE(installed(1));
    // Switching DoS control off removes what is still installed.
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 0), 0);
    EXPECT_FALSE(installed(1));
    EXPECT_FALSE(installed(2));
    EXPECT_EQ(portGet(3, dxpSwitchDosAttackSynFlood), 0);
}

TEST_P(tarn_dos_auth, PerPortEntriesMatchTheirPortOnly) {
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 1), 0);
    ASSERT_EQ(dxp_switch_control_port_set(0, 3, dxpSwitchDosAttackTcpSmurf, 1), 0);
    // SrcPort answers -7 on an entry that does not qualify it.
    EXPECT_EQ(dxp_field_qualify_SrcPort(0, 1, 0, -1, 3, -1), 0);
    dxp_field_qset_t q{};
    int group = 0, entry = 0;
    ASSERT_EQ(dxp_field_group_create(0, q, -1, &group), 0);
    ASSERT_EQ(dxp_field_entry_create(0, group, &entry), 0);
    EXPECT_LT(dxp_field_qualify_SrcPort(0, entry, 0, -1, 3, -1), 0);
}

TEST_P(tarn_dos_auth, TrapControlsWriteOnlyChanges) {
    board->accessLog().enable(true);
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchBpduToCPU, 1), 0);
    int v = 0;
    ASSERT_EQ(dxp_switch_control_get(0, dxpSwitchBpduToCPU, &v), 0);
    EXPECT_EQ(v, 1);
    board->accessLog().clear();
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchBpduToCPU, 1), 0);
    EXPECT_EQ(board->accessLog().count(sim::BusOp::Write), 0u);
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchBpduToCPU, 0), 0);
    EXPECT_GT(board->accessLog().count(sim::BusOp::Write), 0u);
    ASSERT_EQ(dxp_switch_control_get(0, dxpSwitchBpduToCPU, &v), 0);
    EXPECT_EQ(v, 0);
}

TEST_P(tarn_dos_auth, EavWritesItsThresholdsThenAnswersUnavailable) {
    board->accessLog().enable(true);
    EXPECT_EQ(dxp_tarn_eav_init(0), DXP_E_UNAVAIL);
    size_t writes = 0;
    for (const sim::BusAccess &a : board->accessLog().entries())
        if (a.op == sim::BusOp::Write && a.length == 2 && (a.page == 0x0a || a.page == 0x0d))
            writes++;
    EXPECT_EQ(writes, size_t{DXP_EAV_REG_WRITES});
    uint32_t p0 = 0, p1 = 0;
    EXPECT_EQ(dxp_eav_control_get(0, 7, &p0, &p1), DXP_E_PARAM);
    EXPECT_EQ(dxp_eav_control_get(0, 3, &p0, &p1), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_tarn_eav_port_enable_set(0, 53, 1), DXP_E_PORT);
    EXPECT_EQ(dxp_tarn_eav_port_enable_set(0, 1, -1), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_tarn_eav_init(9), DXP_E_UNIT);
}

INSTANTIATE_TEST_SUITE_P(chips, tarn_dos_auth,
                         ::testing::Values(sim::ChipKind::DXP7101, sim::ChipKind::DXP7106),
                         port_test::chip_name);

}  // namespace
