// The chip's own SERDES on a gigabit port without an external PHY.
#include "phy_fixture.h"

namespace {

using phy_test::PhyTest;

class phy_serdes : public PhyTest {
  protected:
    uint16_t serdesReg(int port, int r) {
        uint8_t b[2] = {};
        const int page = chip().profile().serdesPage(port);
        EXPECT_EQ(chip().read(sim::BusPath::Direct, page, 2 * r, b, 2), 0);
        return static_cast<uint16_t>(b[0] | b[1] << 8);
    }
};

TEST_F(phy_serdes, OneThousandFullOverTheSerdesPage) {
    startPhy(sim::ChipKind::DXP7106);
    const int port = unit0()->ge.min;
    const phy_driver_t *d = attach(port);
    ASSERT_EQ(d, &phy_serdes_drv);
    EXPECT_EQ(serdesReg(port, 16) & 0x0011, 0x0001);
    EXPECT_EQ(link(d, port), 0);
    chip().linkUp(port, sim::LinkPartner::autonegotiating(sim::kAbility1000Full));
    EXPECT_EQ(link(d, port), 1);

    ASSERT_EQ(d->adv_local_set(0, port, DRV_PA_1000MB_FD | DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX), 0);
    EXPECT_EQ(serdesReg(port, 4), 0x00a0);
    ASSERT_EQ(d->adv_local_set(0, port, DRV_PA_1000MB_HD | DRV_PA_PAUSE_RX), 0);
    uint32_t a = 0;
    ASSERT_EQ(d->adv_local_get(0, port, &a), 0);
    EXPECT_EQ(a, DRV_PA_1000MB_HD | DRV_PA_PAUSE_RX);
    EXPECT_EQ(d->duplex_set(0, port, 0), SOC_E_UNAVAIL);
    EXPECT_EQ(d->speed_set(0, port, 100), SOC_E_CONFIG);
    EXPECT_EQ(d->speed_set(0, port, 1000), 0);
    ASSERT_EQ(d->loopback_set(0, port, 1), 0);
    EXPECT_TRUE(serdesReg(port, 0) & 0x4000);
    // A second init reuses the descriptor.
    EXPECT_EQ(d->init(0, port), 0);
}

}  // namespace
