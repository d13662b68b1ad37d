// Port properties set on port bitmaps and read per port through the MAC and
// PHY drivers and the chip registers.
#include <set>

#include "drv_if.h"
#include "port_fixture.h"

namespace {

using port_test::PortUnitTest;

class drv_port_prop : public PortUnitTest, public ::testing::WithParamInterface<sim::ChipKind> {
  protected:
    void SetUp() override {
        startPorts(GetParam());
        for (int p : {1, 2, 3})
            attach(p);
    }
};

TEST_P(drv_port_prop, EveryTypeAnswersWithoutStoppingTheSystem) {
    const std::set<int> answers = {0, -1, SOC_E_PARAM, SOC_E_UNAVAIL};
    for (uint32_t type = 0; type <= DRV_PORT_PROP_COUNT; type++) {
        uint32_t value[16] = {};  // room for the largest record, the cable test's
        EXPECT_TRUE(answers.count(drv_port_get(0, 2, type, value))) << "get " << type;
        // Set back what was read, so the unit stays usable.
        EXPECT_TRUE(answers.count(drv_port_set(0, ports({2}), type, value[0]))) << "set " << type;
    }
    for (uint32_t type : {0u, 37u, 54u}) {
        uint32_t v = 0;
        EXPECT_EQ(drv_port_set(0, ports({2}), type, 0), SOC_E_PARAM);
        EXPECT_EQ(drv_port_get(0, 2, type, &v), SOC_E_PARAM);
    }
    EXPECT_EQ(drv_port_set(0, ports({2}), PROP_PHY_MEDIUM, 1), SOC_E_UNAVAIL);
}

TEST_P(drv_port_prop, ForcedSpeedTurnsThePhyAutonegotiationOff) {
    ASSERT_TRUE(phyReg(2, 0) & port_test::c22::kAneg);
    const uint16_t before = phyReg(2, 0);
    EXPECT_EQ(drv_port_set(0, ports({2}), PROP_SPEED, 4), SOC_E_PARAM);
    EXPECT_EQ(phyReg(2, 0), before);

    ASSERT_EQ(drv_port_set(0, ports({2}), PROP_SPEED, 1), 0);
    EXPECT_FALSE(phyReg(2, 0) & port_test::c22::kAneg);
    EXPECT_FALSE(phyReg(2, 0) & port_test::c22::kSpeed100);
    ASSERT_EQ(drv_port_set(0, ports({2}), PROP_DUPLEX, 2), 0);
    EXPECT_TRUE(phyReg(2, 0) & port_test::c22::kFull);

    uint32_t v = 0;
    ASSERT_EQ(drv_port_get(0, 2, PROP_SPEED, &v), 0);
    EXPECT_EQ(v, 1u);  // without link, the forced 10 Mb/s
    ASSERT_EQ(drv_port_get(0, 2, PROP_AUTONEG, &v), 0);
    EXPECT_EQ(v, DRV_PORT_AUTONEG_OFF);
    ASSERT_EQ(drv_port_set(0, ports({2}), PROP_AUTONEG, 1), 0);
    // Negotiating without link: no speed (4), not a speed it never ran.
    ASSERT_EQ(drv_port_get(0, 2, PROP_SPEED, &v), 0);
    EXPECT_EQ(v, 4u);
    ASSERT_EQ(drv_port_get(0, 2, PROP_AUTONEG, &v), 0);
    EXPECT_EQ(v, DRV_PORT_AUTONEG_ON);
}

TEST_P(drv_port_prop, AbilityOfThePortIsWhatBothSidesCanDo) {
    uint32_t mac = 0, port = 0;
    ASSERT_EQ(drv_port_get(0, 2, PROP_MAC_ABILITY, &mac), 0);
    ASSERT_EQ(drv_port_get(0, 2, PROP_PORT_ABILITY, &port), 0);
    uint32_t phy = 0;
    ASSERT_EQ(drv_port_get(0, 2, PROP_PHY_ABILITY, &phy), 0);
    EXPECT_EQ(phy, 0x104c0fu);  // the fast-Ethernet PHY's 10/100 modes, pause, MII
    // Bits 0x300000 come from the PHY whatever the MAC says.
    EXPECT_EQ(port, ((mac | 0x300000) & phy));
}

TEST_P(drv_port_prop, AFailingPortInTheMiddleIsReportedAndTheOthersAreStillSet) {
    // Port 5 was never attached: it has no drivers.
    EXPECT_EQ(drv_port_set(0, ports({1, 5, 3}), PROP_PHY_LOOPBACK, 1), SOC_E_PARAM);
    EXPECT_TRUE(phyReg(1, 0) & port_test::c22::kLoop);
    EXPECT_TRUE(phyReg(3, 0) & port_test::c22::kLoop);

    // The same for a register property: the CPU port has no receive switch.
    const int cpu = unit0()->cmic_port;
    EXPECT_EQ(drv_port_set(0, ports({1, cpu, 3}), PROP_ENABLE_RX, 0), SOC_E_PARAM);
    uint32_t on = 1;
    ASSERT_EQ(drv_port_get(0, 3, PROP_ENABLE_RX, &on), 0);
    EXPECT_EQ(on, 0u);

    EXPECT_EQ(drv_port_set(0, ports({}), PROP_SPEED, 2), 0);
}

TEST_P(drv_port_prop, NothingBeforeTheFirstAttach) {
    drv_port_info_host_forget();
    uint32_t v = 0;
    EXPECT_EQ(drv_port_set(0, ports({1}), PROP_SPEED, 2), SOC_E_INIT);
    EXPECT_EQ(drv_port_get(0, 1, PROP_BPDU_RX, &v), SOC_E_INIT);
    EXPECT_EQ(DRV_SERVICES(0)->port_oper_mode_set(0, ports({1}), 1), SOC_E_UNAVAIL);
}

INSTANTIATE_TEST_SUITE_P(models, drv_port_prop,
                         ::testing::Values(sim::ChipKind::DXP7102A1, sim::ChipKind::DXP7101),
                         port_test::chip_name);

}  // namespace
