// The fast-Ethernet PHYs' own controls: power down, and MDI-X through the
// auxiliary register and its shadow bank.
#include "chipdata/ids.h"
#include "phy_fixture.h"

namespace {

using phy_test::PhyTest;

class phy_631x : public PhyTest {
  protected:
    uint16_t shadow(int port, int r) {
        uint16_t v = 0;
        EXPECT_EQ(soc_miim_write(0, port + 1, 31, 0x008b), 0);
        EXPECT_EQ(soc_miim_read(0, port + 1, r, &v), 0);
        EXPECT_EQ(soc_miim_write(0, port + 1, 31, 0x000b), 0);
        return v;
    }
    int mdix(int port) {
        int mode = -1;
        EXPECT_EQ(phy_631x_drv.mdix_get(0, port, &mode), 0);
        return mode;
    }
};

TEST_F(phy_631x, PowerDownDropsTheLinkEvenLoopedBack) {
    startPhy(sim::ChipKind::DXP7101);
    const phy_driver_t *d = attach(4);
    chip().linkUp(4, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    EXPECT_EQ(link(d, 4), 1);
    ASSERT_EQ(d->enable_set(0, 4, 0), 0);
    EXPECT_TRUE(reg(4, 30) & 0x0008);
    EXPECT_FALSE(chip().portLink(4).up);
    ASSERT_EQ(d->loopback_set(0, 4, 1), 0);
    EXPECT_FALSE(chip().portLink(4).up);
    EXPECT_EQ(link(d, 4), 0);
    ASSERT_EQ(d->enable_set(0, 4, 1), 0);
    EXPECT_TRUE(chip().portLink(4).up);  // looped back now
}

TEST_F(phy_631x, MdixModesThroughTheShadowBank) {
    startPhy(sim::ChipKind::DXP7102A1);
    const phy_driver_t *d = attach(3);
    ASSERT_STREQ(soc_phy_name_get(0, 3), "DXP7102/FE");
    ASSERT_EQ(d->mdix_set(0, 3, PHY_MDIX_FORCEAUTO), 0);
    EXPECT_EQ(reg(3, 28) & 0x1800, 0);
    EXPECT_EQ(reg(3, 31), 0x000b);  // the bank is closed again
    EXPECT_EQ(shadow(3, 16) & 0x4000, 0x4000);
    EXPECT_EQ(mdix(3), PHY_MDIX_FORCEAUTO);

    ASSERT_EQ(d->mdix_set(0, 3, PHY_MDIX_XOVER), 0);
    EXPECT_EQ(shadow(3, 16) & 0x4000, 0);
    EXPECT_EQ(mdix(3), PHY_MDIX_XOVER);
    sim::LinkPartner crossed = sim::LinkPartner::autonegotiating(sim::kAbilityAll);
    crossed.needs_crossover = true;
    chip().linkUp(3, crossed);
    int status = -1;
    ASSERT_EQ(d->mdix_status_get(0, 3, &status), 0);
    EXPECT_EQ(status, 1);
    // Forced MDI on a cable that needs the crossover side: no link.
    ASSERT_EQ(d->mdix_set(0, 3, PHY_MDIX_NORMAL), 0);
    EXPECT_EQ(mdix(3), PHY_MDIX_NORMAL);
    EXPECT_EQ(link(d, 3), 0);
    ASSERT_EQ(d->mdix_set(0, 3, PHY_MDIX_AUTO), 0);
    EXPECT_EQ(link(d, 3), 1);
    EXPECT_EQ(d->mdix_set(0, 3, 7), SOC_E_UNAVAIL);
    EXPECT_EQ(reg(3, 31), 0x000b);
}

TEST_F(phy_631x, ModelsWithoutForcedAutoMdix) {
    startPhy(sim::ChipKind::DXP7101);
    const phy_driver_t *d = attach(4);
    logAccesses();
    EXPECT_EQ(d->mdix_set(0, 4, PHY_MDIX_FORCEAUTO), SOC_E_UNAVAIL);
    EXPECT_TRUE(phyWrites(4).empty());
    // A model with fixed MDI.
    chip().phyPoke(4, 2, phy_id0(PHY_OUI_KEY_A));
    chip().phyPoke(4, 3, phy_id1(PHY_OUI_KEY_A, PHY_MODEL_6311, 0));
    EXPECT_EQ(d->mdix_set(0, 4, PHY_MDIX_AUTO), SOC_E_UNAVAIL);
    EXPECT_EQ(d->mdix_set(0, 4, PHY_MDIX_NORMAL), 0);
    EXPECT_EQ(mdix(4), PHY_MDIX_NORMAL);
    EXPECT_TRUE(phyWrites(4).empty());
}

}  // namespace
