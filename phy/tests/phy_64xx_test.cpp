// The gigabit model drivers: their register settings after init, per port,
// and the link-down reset that keeps the user's settings.
#include "chipdata/ids.h"
#include "phy_fixture.h"

namespace {

using phy_test::PhyTest;
using Pair = std::pair<int, uint16_t>;

class phy_64xx : public PhyTest {
  protected:
    // Both gigabit ports of the DXP7102 fitted with the model.
    void fit(uint16_t model) {
        startPhy(sim::ChipKind::DXP7102A1);
        for (int port : {25, 26}) {
            chip().phyPoke(port, 2, phy_id0(PHY_OUI_KEY_D));
            chip().phyPoke(port, 3, phy_id1(PHY_OUI_KEY_D, model, 1));
        }
    }
    std::vector<Pair> lastWrites(int port, size_t n) {
        std::vector<Pair> w = phyWrites(port);
        return w.size() < n ? w : std::vector<Pair>(w.end() - static_cast<long>(n), w.end());
    }
};

TEST_F(phy_64xx, SettingsFollowTheModelAndThePort) {
    fit(PHY_MODEL_6407);
    logAccesses();
    EXPECT_EQ(attach(25), &phy_6407_drv);
    EXPECT_EQ(attach(26), &phy_6407_drv);
    const std::vector<Pair> tail = {{24, 0x0c20}, {23, 0x0007}, {21, 0x8107}, {24, 0x0420}};
    std::vector<Pair> odd = {{24, 0x0212}};
    odd.insert(odd.end(), tail.begin(), tail.end());
    EXPECT_EQ(lastWrites(25, 5), odd);
    EXPECT_EQ(lastWrites(26, 4), tail);
    EXPECT_NE(lastWrites(26, 5).front(), Pair(24, 0x0212));
}

TEST_F(phy_64xx, Model6408AddsItsSettingOnEveryFourthPort) {
    fit(PHY_MODEL_6408);
    logAccesses();
    EXPECT_EQ(attach(26), &phy_6408_drv);
    EXPECT_EQ(lastWrites(26, 3), (std::vector<Pair>{{24, 0x0592}, {28, 0x8820}, {4, 0x05de}}));
    EXPECT_EQ(attach(25), &phy_6408_drv);
    EXPECT_NE(lastWrites(25, 3).front(), Pair(24, 0x0592));
}

TEST_F(phy_64xx, LinkDownKeepsControlAndAdvertisement) {
    fit(PHY_MODEL_6410);
    const phy_driver_t *d = attach(25);
    ASSERT_EQ(d, &phy_6410_drv);
    ASSERT_EQ(d->autoneg_set(0, 25, 0), 0);
    ASSERT_EQ(d->speed_set(0, 25, 100), 0);
    ASSERT_EQ(d->adv_local_set(0, 25, DRV_PA_100MB_FD | DRV_PA_1000MB_HD), 0);
    const uint16_t kept[] = {reg(25, 0), reg(25, 4), reg(25, 9)};
    logAccesses();
    ASSERT_EQ(d->linkdown_event(0, 25), 0);
    EXPECT_EQ(reg(25, 0), kept[0]);
    EXPECT_EQ(reg(25, 4), kept[1]);
    EXPECT_EQ(reg(25, 9), kept[2]);
    EXPECT_TRUE(reg(25, 16) & 0x0021);
    EXPECT_EQ(lastWrites(25, 3), (std::vector<Pair>{{0, kept[0]}, {4, kept[1]}, {9, kept[2]}}));
}

}  // namespace
