// Port attach, link, speed and duplex status, advertisement and the software
// MAC update.
#include "drv_if.h"
#include "port_fixture.h"

namespace {

using port_test::PortUnitTest;

class drv_port_status : public PortUnitTest {
  protected:
    uint32_t status(int port, uint32_t type) { return get(port, type, true); }
};

TEST_F(drv_port_status, ProbeRecordsBothDriversOfThePort) {
    startPorts(sim::ChipKind::DXP7102A1);
    uint32_t v = 0;
    EXPECT_EQ(status(4, PORT_STATUS_INIT), 0u);
    EXPECT_EQ(drv_port_status_get(0, 4, PORT_STATUS_PHY_DRV_NAME, &v), SOC_E_INIT);
    EXPECT_EQ(drv_port_status_get(0, 4, PORT_STATUS_LINK, &v), SOC_E_INIT);
    EXPECT_EQ(status(4, PORT_STATUS_PROBE), 1u);
    EXPECT_EQ(drv_port_driver_get(0, 4, 1), &phy_631x_drv);
    EXPECT_EQ(drv_port_driver_get(0, 4, 0), &drv_mac_fe);
    EXPECT_EQ(drv_port_info(0)[4].medium, DRV_PORT_MEDIUM_COPPER);
    EXPECT_EQ(status(4, PORT_STATUS_INIT), 1u);
    EXPECT_EQ(drv_port_status_get(0, 4, 5, &v), SOC_E_PARAM);

    // A port whose PHY does not answer runs the generic fast-Ethernet driver.
    int ok = 0;
    EXPECT_EQ(drv_port_attach(0, unit0()->cmic_port, &ok), 0);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(drv_port_driver_get(0, unit0()->cmic_port, 1), &phy_fe_drv);
    EXPECT_STREQ(soc_phy_name_get(0, unit0()->cmic_port), "Unknown");
}

TEST_F(drv_port_status, LinkSpeedAndDuplexFollowTheCable) {
    for (sim::ChipKind chip : {sim::ChipKind::DXP7102A1, sim::ChipKind::DXP7101}) {
        SCOPED_TRACE(sim::ChipProfile::get(chip).name);
        startPorts(chip);
        attach(6);
        EXPECT_EQ(status(6, PORT_STATUS_LINK), 0u);
        board->chip().linkUp(6, sim::LinkPartner::forced(100, true));
        ASSERT_EQ(drv_port_set(0, port_test::PortUnitTest::ports({6}), PROP_SPEED, 2), 0);
        ASSERT_EQ(drv_port_set(0, ports({6}), PROP_DUPLEX, 2), 0);
        EXPECT_EQ(status(6, PORT_STATUS_LINK), 1u);
        EXPECT_EQ(status(6, PORT_STATUS_SPEED), 2u);
        EXPECT_EQ(status(6, PORT_STATUS_DUPLEX), 2u);
        ASSERT_EQ(drv_port_sw_mac_update(0, ports({6})), 0);
        EXPECT_EQ(drv_port_sw_mac_update(0, ports({6, 7})), SOC_E_PARAM);  // 7 not attached

        drv_port_info(0)[6].medium = DRV_PORT_MEDIUM_FIBER;
        board->chip().linkDown(6);
        EXPECT_EQ(status(6, PORT_STATUS_LINK), 0u);
        EXPECT_EQ(drv_port_info(0)[6].medium, DRV_PORT_MEDIUM_COPPER);
        TearDown();
    }
}

TEST_F(drv_port_status, APhyInLoopbackReportsTheChipsLinkBit) {
    startPorts(sim::ChipKind::DXP7101);
    attach(40);
    ASSERT_EQ(drv_port_set(0, ports({40}), PROP_PHY_LOOPBACK, 1), 0);
    drv_port_info(0)[40].medium = DRV_PORT_MEDIUM_FIBER;
    board->chip().poke("LNKSTS", 0, 0);
    EXPECT_EQ(status(40, PORT_STATUS_LINK), 0u);
    board->chip().poke("LNKSTS", 0, 1ull << 40);
    EXPECT_EQ(status(40, PORT_STATUS_LINK), 1u);
    EXPECT_EQ(drv_port_info(0)[40].medium, DRV_PORT_MEDIUM_FIBER);
}

TEST_F(drv_port_status, AdvertisementStopsAtTheFirstRefusal) {
    startPorts(sim::ChipKind::DXP7102A1);
    attach(1);
    attach(2);
    uint32_t adv = 0;
    ASSERT_EQ(drv_port_advertise_get(0, 2, &adv), 0);
    EXPECT_EQ(drv_port_advertise_set(0, ports({1, 2}), DRV_PA_100MB_FD | DRV_PA_PAUSE_TX),
              SOC_E_UNAVAIL);
    uint32_t now = 0;
    ASSERT_EQ(drv_port_advertise_get(0, 2, &now), 0);
    EXPECT_EQ(now, adv);
    ASSERT_EQ(drv_port_advertise_set(0, ports({1, 2}), DRV_PA_10MB_FD), 0);
    ASSERT_EQ(drv_port_advertise_get(0, 2, &now), 0);
    EXPECT_EQ(now, DRV_PA_10MB_FD);
}

TEST_F(drv_port_status, BitmapsOfTheUnit) {
    startPorts(sim::ChipKind::DXP7101);
    soc_pbmp_t b{{7, 7}};
    ASSERT_EQ(drv_port_bitmap_get(0, 7, &b), 0);
    EXPECT_EQ(b.w[0], 7u);
    ASSERT_EQ(DRV_SERVICES(0)->port_bitmap_get(0, DRV_PBMP_ALL, &b), 0);
    EXPECT_EQ(b.w[1], 0x1fffffu);
    ASSERT_EQ(drv_port_bitmap_get(0, DRV_PBMP_GE, &b), 0);
    EXPECT_EQ(b.w[1], 0x1eu << 16);
}

}  // namespace
