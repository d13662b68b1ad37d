// Port properties kept in chip registers.
#include "port_fixture.h"

namespace {

using port_test::PortUnitTest;

class drv_port_reg_prop : public PortUnitTest {
  protected:
    void startWith(sim::ChipKind chip) {
        startPorts(chip);
        attach(1);
    }
    soc_pbmp_t all() { return unit0()->all.bitmap; }
};

TEST_F(drv_port_reg_prop, GapIsChipWideAndCoded) {
    startWith(sim::ChipKind::DXP7102A1);
    const uint64_t before = reg("SWMODE");
    EXPECT_EQ(drv_port_set(0, ports({1}), PROP_IPG_FE, 90), 0);
    EXPECT_EQ(reg("SWMODE"), before);
    ASSERT_EQ(drv_port_set(0, all(), PROP_IPG_FE, 90), 0);
    EXPECT_EQ((reg("SWMODE") >> 2) & 3, 2u);
    EXPECT_EQ(get(1, PROP_IPG_FE), 92u);
    ASSERT_EQ(drv_port_set(0, all(), PROP_IPG_GE, 90), 0);
    EXPECT_EQ(get(1, PROP_IPG_GE), 96u);
    ASSERT_EQ(drv_port_set(0, all(), PROP_IPG_GE, 88), 0);
    EXPECT_EQ(get(1, PROP_IPG_GE), 88u);
}

TEST_F(drv_port_reg_prop, SecurityModesOfTheDxp7102) {
    startWith(sim::ChipKind::DXP7102A1);
    ASSERT_EQ(drv_port_set(0, ports({20}), PROP_SEC_MODE_STATIC_ACCEPT, 0), 0);
    EXPECT_EQ((reg("MAC_SEC_CON1") >> 12) & 7, 4u);
    EXPECT_EQ(get(20, PROP_SEC_MODE_STATIC_ACCEPT), 1u);
    EXPECT_EQ(reg("PORT_MAX_LEARN", 20), 0x1fffu);
    EXPECT_EQ(drv_port_set(0, ports({25}), PROP_SEC_MODE_NONE, 0), SOC_E_PARAM);
    // A limit wider than the learn-limit field is refused before any write.
    EXPECT_EQ(drv_port_set(0, ports({3}), PROP_SEC_MODE_DYNAMIC_SA_NUM, 0x2000), SOC_E_PARAM);
    EXPECT_EQ(get(3, PROP_SEC_MODE_NONE), 1u);
}

TEST_F(drv_port_reg_prop, SecurityModesOfTheDxp7101) {
    startWith(sim::ChipKind::DXP7101);
    uint32_t v = 0;
    EXPECT_EQ(drv_port_set(0, ports({4}), PROP_SEC_MODE_STATIC_ACCEPT, 0), SOC_E_UNAVAIL);
    EXPECT_EQ(drv_port_get(0, 4, PROP_SEC_MODE_STATIC_REJECT, &v), SOC_E_UNAVAIL);
    board->accessLog().enable(true);
    ASSERT_EQ(drv_port_set(0, ports({40}), PROP_SEC_MODE_DYNAMIC_SA_NUM, 10), 0);
    EXPECT_EQ((reg("MAC_SEC_CON1") >> 16) & 3, 2u);
    EXPECT_EQ(reg("PORT_MAX_LEARN", 40), 10u);
    // The learned-address count of the port was cleared by a pulse.
    int pulses = 0;
    for (const sim::BusAccess &a : board->accessLog().entries())
        if (a.op == sim::BusOp::Write && a.page == 0x41 && a.offset == 0x18 &&
            a.value == 1ull << 40)
            pulses++;
    EXPECT_EQ(pulses, 1);
    EXPECT_EQ(reg("MAC_SEC_CON3"), 0u);
    EXPECT_EQ(get(40, PROP_SEC_MODE_DYNAMIC_SA_NUM), 10u);
    EXPECT_EQ(get(40, PROP_SEC_MODE_DYNAMIC_SA_MATCH), 0u);
}

TEST_F(drv_port_reg_prop, SwitchesOfOnePort) {
    startWith(sim::ChipKind::DXP7101);
    const int ge = unit0()->ge.max;
    ASSERT_EQ(drv_port_set(0, ports({ge}), PROP_ENABLE_TX, 0), 0);
    EXPECT_EQ(get(ge, PROP_ENABLE_TX), 0u);
    EXPECT_EQ(get(ge, PROP_ENABLE_RX), 1u);
    EXPECT_EQ(get(ge, PROP_ENABLE_TXRX), 0u);
    ASSERT_EQ(drv_port_set(0, ports({50, 2}), PROP_ENABLE_DROP_NON1Q, 1), 0);
    EXPECT_EQ(reg("VLAN_CTRL3"), (1ull << 50) | 4);
    EXPECT_EQ(get(50, PROP_ENABLE_DROP_NON1Q), 1u);
    ASSERT_EQ(drv_port_set(0, ports({30}), PROP_802_1X_BLK_RX, 1), 0);
    EXPECT_EQ(get(30, PROP_802_1X_BLK_RX), 1u);
    EXPECT_EQ(get(30, PROP_802_1X_MODE), 0u);
    ASSERT_EQ(drv_port_set(0, ports({45}), PROP_DTAG_ISP_PORT, 1), 0);
    EXPECT_EQ(get(45, PROP_DTAG_ISP_PORT), 1u);

    board->accessLog().enable(true);
    ASSERT_EQ(drv_port_set(0, ports({2}), PROP_RESTART_AUTONEG, 0), 0);
    const auto log = board->accessLog().entries();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().op, sim::BusOp::Write);
    EXPECT_TRUE(log.back().value & 0x200);
}

TEST_F(drv_port_reg_prop, ChipWideValuesMustFitTheirFields) {
    startWith(sim::ChipKind::DXP7101);
    const uint64_t ctrl4 = reg("VLAN_CTRL4");
    EXPECT_EQ(drv_port_set(0, ports({}), PROP_INGRESS_VLAN_CHK, 4), SOC_E_PARAM);
    EXPECT_EQ(drv_port_set(0, ports({}), PROP_DTAG_MODE, 2), SOC_E_PARAM);
    EXPECT_EQ(drv_port_set(0, ports({}), PROP_DTAG_TPID, 0x10000), SOC_E_PARAM);
    EXPECT_EQ(reg("VLAN_CTRL4"), ctrl4);
    ASSERT_EQ(drv_port_set(0, ports({}), PROP_INGRESS_VLAN_CHK, 3), 0);
    EXPECT_EQ(get(0, PROP_INGRESS_VLAN_CHK), 3u);
    ASSERT_EQ(drv_port_set(0, ports({}), PROP_DTAG_TPID, 0x9100), 0);
    EXPECT_EQ(get(0, PROP_DTAG_TPID), 0x9100u);
    ASSERT_EQ(drv_port_set(0, all(), PROP_BPDU_RX, 7), 0);
    EXPECT_EQ(get(0, PROP_BPDU_RX), 1u);
}

TEST_F(drv_port_reg_prop, ServiceProviderTaggingIsAbsentOnTheDxp7102) {
    startWith(sim::ChipKind::DXP7102A1);
    uint32_t v = 0;
    EXPECT_EQ(drv_port_set(0, ports({1}), PROP_DTAG_ISP_PORT, 1), SOC_E_UNAVAIL);
    EXPECT_EQ(drv_port_get(0, 1, PROP_DTAG_ISP_PORT, &v), SOC_E_UNAVAIL);
    EXPECT_EQ(drv_port_set(0, ports({}), PROP_DTAG_TPID, 0x9100), SOC_E_UNAVAIL);
    ASSERT_EQ(drv_port_set(0, ports({}), PROP_DTAG_MODE, 1), 0);
    EXPECT_EQ(reg("VLAN_CTRL4") & 1, 1u);
}

}  // namespace
