// The clause-22 routines of the generic drivers over the chip model: speed
// and duplex resolution, advertisement encodings, the reset time-out, bad
// input and failed accesses, and the null driver's fallbacks.
#include "phy_fixture.h"

namespace {

using phy_test::PhyTest;
using Pair = std::pair<int, uint16_t>;

class phy_generic : public PhyTest {
  protected:
    void SetUp() override { startPhy(sim::ChipKind::DXP7102A1); }
    std::pair<int, int> speedDuplex(const phy_driver_t *d, int port) {
        int speed = -1, full = -1;
        EXPECT_EQ(d->speed_get(0, port, &speed), 0);
        EXPECT_EQ(d->duplex_get(0, port, &full), 0);
        return {speed, full};
    }
};

TEST_F(phy_generic, AutonegotiationResolvesTheBestCommonMode) {
    const phy_driver_t *ge = attach(25);
    ASSERT_EQ(ge, &phy_ge_drv);
    EXPECT_EQ(speedDuplex(ge, 25), std::make_pair(0, 0));  // not complete yet
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    EXPECT_EQ(link(ge, 25), 1);
    EXPECT_EQ(speedDuplex(ge, 25), std::make_pair(1000, 1));
    chip().linkUp(25,
                  sim::LinkPartner::autonegotiating(sim::kAbility100Half | sim::kAbility10Full));
    EXPECT_EQ(speedDuplex(ge, 25), std::make_pair(100, 0));
    uint32_t remote = 0;
    ASSERT_EQ(ge->adv_remote_get(0, 25, &remote), 0);
    EXPECT_EQ(remote, DRV_PA_100MB_HD | DRV_PA_10MB_FD);

    ASSERT_EQ(ge->autoneg_set(0, 25, 0), 0);
    EXPECT_EQ(ge->adv_remote_get(0, 25, &remote), SOC_E_DISABLED);
    ASSERT_EQ(ge->speed_set(0, 25, 10), 0);
    ASSERT_EQ(ge->duplex_set(0, 25, 1), 0);
    EXPECT_EQ(speedDuplex(ge, 25), std::make_pair(10, 1));
    logAccesses();
    EXPECT_EQ(ge->speed_set(0, 25, 55), SOC_E_CONFIG);
    EXPECT_TRUE(phyWrites(25).empty());
}

// A speed forced and auto-negotiation switched on again leaves the control
// register as after the PHY's reset: the port's top speed at full duplex.
TEST_F(phy_generic, AutonegotiationOnAgainLeavesTheControlAsAfterReset) {
    for (int port : {2, 25}) {
        const phy_driver_t *d = attach(port);
        const uint16_t restart = 0x0200, before = reg(port, 0) & ~restart;
        ASSERT_EQ(d->autoneg_set(0, port, 0), 0);
        ASSERT_EQ(d->speed_set(0, port, 10), 0);
        ASSERT_EQ(d->duplex_set(0, port, 0), 0);
        EXPECT_EQ(reg(port, 0) & 0x3140, 0) << port;
        ASSERT_EQ(d->autoneg_set(0, port, 1), 0);
        EXPECT_EQ(reg(port, 0) & ~restart, before) << port;
    }
}

TEST_F(phy_generic, AdvertisementEncodingsOfBothClasses) {
    const phy_driver_t *fe = attach(2);
    const phy_driver_t *ge = attach(25);
    const uint16_t before = reg(2, 4);
    EXPECT_EQ(fe->adv_local_set(0, 2, DRV_PA_100MB_FD | DRV_PA_PAUSE_TX), SOC_E_UNAVAIL);
    EXPECT_EQ(reg(2, 4), before);
    ASSERT_EQ(fe->adv_local_set(0, 2, DRV_PA_10MB_HD | DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX), 0);
    EXPECT_EQ(reg(2, 4), 0x0421);

    ASSERT_EQ(ge->adv_local_set(0, 25, DRV_PA_1000MB_FD | DRV_PA_100MB_FD | DRV_PA_PAUSE_RX), 0);
    EXPECT_EQ(reg(25, 4), 0x0d01);
    EXPECT_EQ(reg(25, 9) & 0x0300, 0x0200);
    uint32_t a = 0;
    ASSERT_EQ(ge->adv_local_get(0, 25, &a), 0);
    EXPECT_EQ(a, DRV_PA_1000MB_FD | DRV_PA_100MB_FD | DRV_PA_PAUSE_RX);
    ASSERT_EQ(ge->adv_local_set(0, 25, DRV_PA_PAUSE_TX), 0);
    EXPECT_EQ(reg(25, 4), 0x0801);
}

TEST_F(phy_generic, BadInputAndFailedAccessesStopTheOperation) {
    const phy_driver_t *fe = attach(2);
    const phy_driver_t *ge = attach(25);
    EXPECT_EQ(fe->interface_set(0, 2, 9), SOC_E_UNAVAIL);
    EXPECT_EQ(ge->interface_set(0, 25, 9), SOC_E_UNAVAIL);
    EXPECT_EQ(ge->mdix_set(0, 25, PHY_MDIX_AUTO), SOC_E_UNAVAIL);
    EXPECT_EQ(ge->mdix_set(0, 25, PHY_MDIX_NORMAL), 0);
    EXPECT_EQ(ge->mdix_get(0, 25, nullptr), SOC_E_PARAM);
    EXPECT_EQ(fe->medium_get(0, 2, nullptr), SOC_E_PARAM);
    EXPECT_EQ(fe->link_get(0, 2, nullptr), SOC_E_PARAM);

    // A disabled port is down without any access.
    chip().linkUp(2, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    ASSERT_EQ(phy_fe_drv.enable_set(0, 2, 0), 0);
    logAccesses();
    EXPECT_EQ(link(fe, 2), 0);
    EXPECT_TRUE(board->accessLog().entries().empty());
    ASSERT_EQ(phy_fe_drv.enable_set(0, 2, 1), 0);
    EXPECT_EQ(link(fe, 2), 1);

    // An address without a register page: the access's code, nothing written.
    soc_phy_info(0, 25)->phy_addr = 63;
    logAccesses();
    EXPECT_EQ(ge->init(0, 25), SOC_E_RESOURCE);
    EXPECT_EQ(ge->adv_local_set(0, 25, DRV_PA_1000MB_FD), SOC_E_RESOURCE);
    EXPECT_TRUE(board->accessLog().entries().empty());
}

TEST_F(phy_generic, ResetThatNeverCompletesRestoresTheControlRegister) {
    sal_config_set("phy_reset_timeout", "2000");
    // The CPU port's page answers 0xffff: bit 15 never clears.
    const int cpu = unit0()->cmic_port;
    logAccesses();
    EXPECT_EQ(phy_ge_drv.reset(0, cpu, nullptr), 0);
    EXPECT_EQ(phyWrites(cpu), (std::vector<Pair>{{0, 0xffff}, {0, 0xffff}}));
    EXPECT_GE(phyWrites(cpu, sim::BusOp::Read).size(), 2u);
}

TEST_F(phy_generic, NullDriverFallsBackToTheChipPort) {
    sal_config_set("phy_null", "1");
    const phy_driver_t *fe = attach(2);
    ASSERT_EQ(fe, &phy_null);
    uint32_t a = 0;
    ASSERT_EQ(fe->ability_get(0, 2, &a), 0);
    EXPECT_EQ(a, 0x4008u);
    int v = -1;
    ASSERT_EQ(fe->speed_get(0, 2, &v), 0);  // the MAC's speed
    EXPECT_EQ(fe->link_get(0, 2, &v), 0);
    EXPECT_EQ(v, 1);

    // With the simulation flag a gigabit port's null driver drives register 0.
    const phy_driver_t *ge = attach(25);
    sal_boot_flags_set(0x10000);
    ASSERT_EQ(ge->speed_set(0, 25, 100), 0);
    ASSERT_EQ(ge->duplex_set(0, 25, 0), 0);
    EXPECT_EQ(reg(25, 0) & 0x2140, 0x2000);
    ASSERT_EQ(ge->speed_get(0, 25, &v), 0);
    EXPECT_EQ(v, 100);
    ASSERT_EQ(ge->ability_get(0, 25, &a), 0);
    EXPECT_EQ(a, 0x8020u);
}

}  // namespace
