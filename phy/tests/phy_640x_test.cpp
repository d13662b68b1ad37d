// The copper/fibre gigabit PHY driver over the model's copper/fibre PHY:
// automatic medium switching, 100BASE-FX, per-side configurations and the
// fibre detect check.
#include <string>

#include "chipdata/ids.h"
#include "phy_fixture.h"

namespace {

using phy_test::PhyTest;

int switches_640x = 0;
int last_medium_640x = 0;
void on_medium_640x(int, int, int medium, void *) {
    switches_640x++;
    last_medium_640x = medium;
}

class phy_640x : public PhyTest {
  protected:
    // Port 25 of the DXP7102 carries the PHY; strap: fibre fitted.
    const phy_driver_t *startCombo(
        bool strap, std::initializer_list<std::pair<const char *, const char *>> properties = {}) {
        startPhy(sim::ChipKind::DXP7102A1, sim::PhyKind::GigabitCombo);
        for (const auto &[name, value] : properties)
            sal_config_set(name, value);
        if (strap) chip().phyPoke(25, 28, 0x7c00 | 0x0008);
        switches_640x = 0;
        return attach(25);
    }
    int medium(const phy_driver_t *d) {
        int m = -1;
        EXPECT_EQ(d->medium_get(0, 25, &m), 0);
        return m;
    }
    int speed(const phy_driver_t *d) {
        int s = -1;
        EXPECT_EQ(d->speed_get(0, 25, &s), 0);
        return s;
    }
};

TEST_F(phy_640x, WithoutFibreTheCopperSideRuns) {
    const phy_driver_t *d = startCombo(false);
    ASSERT_EQ(d, &phy_640x_drv);
    EXPECT_STREQ(soc_phy_name_get(0, 25), "DXP6416");
    EXPECT_EQ(medium(d), PHY_MEDIUM_COPPER);
    // The fibre nobody set negotiates: nothing reports or stores it forced.
    phy_medium_config_t fiber{};
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
    EXPECT_EQ(fiber.words[PHY_MC_ENABLE], 0u);
    EXPECT_EQ(fiber.words[PHY_MC_AN_ENABLE], 1u);
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    EXPECT_EQ(link(d, 25), 1);
    EXPECT_EQ(speed(d), 1000);
    int changed = 0;
    ASSERT_EQ(d->link_change(0, 25, &changed), 0);
    EXPECT_EQ(changed, 1);
    ASSERT_EQ(d->link_change(0, 25, &changed), 0);
    EXPECT_EQ(changed, 0);
    // Forced MDI needs 10 or 100 Mb/s.
    EXPECT_EQ(d->mdix_set(0, 25, PHY_MDIX_NORMAL), SOC_E_UNAVAIL);
    EXPECT_EQ(d->mdix_set(0, 25, PHY_MDIX_FORCEAUTO), 0);

    // A disabled port is down, its fibre side powered down.
    ASSERT_EQ(d->enable_set(0, 25, 0), 0);
    EXPECT_EQ(link(d, 25), 0);
    EXPECT_FALSE(chip().portLink(25).up);
}

TEST_F(phy_640x, AutomediumSwitchesSidesAndNotifiesOnce) {
    const phy_driver_t *d = startCombo(true, {{"phy_automedium", "1"}, {"phy_fiber_pref", "0"}});
    ASSERT_EQ(phy_common_medium_change_register(0, 25, on_medium_640x, nullptr), 0);
    EXPECT_EQ(medium(d), PHY_MEDIUM_COPPER);

    chip().linkUp(25, sim::LinkPartner::fiber());
    EXPECT_EQ(link(d, 25), 1);
    EXPECT_EQ(link(d, 25), 1);
    EXPECT_EQ(switches_640x, 1);
    EXPECT_EQ(last_medium_640x, PHY_MEDIUM_FIBER);
    EXPECT_EQ(medium(d), PHY_MEDIUM_FIBER);
    EXPECT_EQ(speed(d), 1000);
    EXPECT_EQ(d->speed_set(0, 25, 100), SOC_E_CONFIG);
    phy_medium_config_t fiber{};
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
    EXPECT_EQ(fiber.words[PHY_MC_FORCE_SPEED], 1000u);
    EXPECT_EQ(d->duplex_set(0, 25, 0), SOC_E_UNAVAIL);

    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbility100Full));
    EXPECT_EQ(link(d, 25), 1);
    EXPECT_EQ(switches_640x, 2);
    EXPECT_EQ(last_medium_640x, PHY_MEDIUM_COPPER);
    EXPECT_EQ(speed(d), 100);
}

// Auto-negotiation set on one side reaches the other as far as it runs it;
// a side's own configuration applied at a switch carries nothing back.
TEST_F(phy_640x, AutoNegotiationReachesTheOtherSide) {
    const phy_driver_t *d = startCombo(true, {{"phy_automedium", "1"}, {"phy_fiber_pref", "0"}});
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    ASSERT_EQ(link(d, 25), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_COPPER);
    auto an = [d](int m) {
        phy_medium_config_t cfg{};
        EXPECT_EQ(d->medium_config_get(0, 25, m, &cfg), 0);
        return cfg.words[PHY_MC_AN_ENABLE];
    };
    ASSERT_EQ(d->autoneg_set(0, 25, 0), 0);
    ASSERT_EQ(d->speed_set(0, 25, 100), 0);
    // Forced to 100 full: for a 100BASE-FX fibre; a 1000BASE-X one negotiates.
    EXPECT_EQ(an(PHY_MEDIUM_FIBER), 0u);
    ASSERT_EQ(d->speed_set(0, 25, 1000), 0);
    EXPECT_EQ(an(PHY_MEDIUM_FIBER), 0u);
    ASSERT_EQ(d->autoneg_set(0, 25, 1), 0);
    EXPECT_EQ(an(PHY_MEDIUM_FIBER), 1u);
    // The fibre's own forced 1000, or 100 for a 100BASE-FX fibre, outlasts an
    // Apply that passes forced 1000 full on the way to 10 full.
    for (const uint32_t own_mbps : {1000u, 100u}) {
        phy_medium_config_t fiber{};
        ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
        fiber.words[PHY_MC_AN_ENABLE] = 0, fiber.words[PHY_MC_FORCE_SPEED] = own_mbps;
        ASSERT_EQ(d->medium_config_set(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
        ASSERT_EQ(d->speed_set(0, 25, 1000), 0);
        ASSERT_EQ(d->autoneg_set(0, 25, 0), 0);
        ASSERT_EQ(d->speed_set(0, 25, 10), 0);
        ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
        EXPECT_EQ(fiber.words[PHY_MC_AN_ENABLE] ? 0u : fiber.words[PHY_MC_FORCE_SPEED], own_mbps);
        ASSERT_EQ(d->autoneg_set(0, 25, 1), 0);
    }
    ASSERT_EQ(d->autoneg_set(0, 25, 0), 0);
    ASSERT_EQ(d->speed_set(0, 25, 100), 0);

    chip().linkDown(25);
    chip().linkUp(25, sim::LinkPartner::fiber());
    EXPECT_EQ(link(d, 25), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_FIBER);
    auto copper_advert = [d] {
        phy_medium_config_t cfg{};
        EXPECT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_COPPER, &cfg), 0);
        return cfg.words[PHY_MC_AN_ADVERT] & 0x3f;
    };
    // Unchanged, the fibre's auto-negotiation leaves the copper forced.
    ASSERT_EQ(d->autoneg_set(0, 25, 1), 0);
    EXPECT_EQ(an(PHY_MEDIUM_COPPER), 0u);
    // Forced, it reaches the copper as the copper's forced gigabit.
    ASSERT_EQ(d->autoneg_set(0, 25, 0), 0);
    EXPECT_EQ(an(PHY_MEDIUM_COPPER), 1u);
    EXPECT_EQ(copper_advert(), 0x20u);
    ASSERT_EQ(d->autoneg_set(0, 25, 1), 0);
    EXPECT_EQ(an(PHY_MEDIUM_COPPER), 1u);
    EXPECT_EQ(copper_advert(), 0x2fu);
}

TEST_F(phy_640x, FibreAt100BaseFxLinksAt100) {
    const phy_driver_t *d = startCombo(true, {{"phy_automedium", "1"}});
    EXPECT_EQ(medium(d), PHY_MEDIUM_FIBER);  // the strap prefers fibre here
    chip().linkUp(25, sim::LinkPartner::fiber(100));
    EXPECT_EQ(link(d, 25), 1);
    EXPECT_EQ(speed(d), 100);
    EXPECT_TRUE(chip().portLink(25).up);
}

// A forced 100 full reaches a 100BASE-FX fibre however it arrives: by a
// medium switch or found on the fibre that already was active. A 1000BASE-X
// fibre cannot run it and negotiates.
TEST_F(phy_640x, AForced100FullReachesA100BaseFxFibreWhenItArrives) {
    auto autoneg = [](const phy_driver_t *d) {
        int an = -1, done = 0;
        EXPECT_EQ(d->autoneg_get(0, 25, &an, &done), 0);
        return an;
    };
    const phy_driver_t *d = startCombo(true, {{"phy_automedium", "1"}, {"phy_fiber_pref", "0"}});
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    ASSERT_EQ(link(d, 25), 1);
    ASSERT_EQ(d->autoneg_set(0, 25, 0), 0);
    ASSERT_EQ(d->speed_set(0, 25, 100), 0);
    ASSERT_EQ(d->duplex_set(0, 25, 1), 0);
    chip().linkDown(25);
    chip().linkUp(25, sim::LinkPartner::fiber(100));
    EXPECT_EQ(link(d, 25), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_FIBER);
    EXPECT_EQ(speed(d), 100);
    EXPECT_EQ(autoneg(d), 0);
    // It negotiates no speed: what it is given to advertise leaves the
    // 1000BASE-X speeds stored, with which the next fibre links.
    ASSERT_EQ(d->adv_local_set(0, 25, DRV_PA_100MB_FD | DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX), 0);
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    ASSERT_EQ(link(d, 25), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_COPPER);
    chip().linkDown(25);
    chip().linkUp(25, sim::LinkPartner::fiber());
    EXPECT_EQ(link(d, 25), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_FIBER);
    EXPECT_EQ(autoneg(d), 1);

    // Preferred and active without a signal, as after a restart: the fibre
    // keeps its forced 100 full and takes it once it is found at 100, while
    // the copper's own setting stays the copper's.
    d = startCombo(true, {{"phy_automedium", "1"}});
    ASSERT_EQ(medium(d), PHY_MEDIUM_FIBER);
    phy_medium_config_t fiber{};
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
    fiber.words[PHY_MC_AN_ENABLE] = 0;
    fiber.words[PHY_MC_FORCE_SPEED] = 100;
    ASSERT_EQ(d->medium_config_set(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
    phy_medium_config_t copper{};
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_COPPER, &copper), 0);
    copper.words[PHY_MC_AN_ENABLE] = 1;
    ASSERT_EQ(d->medium_config_set(0, 25, PHY_MEDIUM_COPPER, &copper), 0);
    EXPECT_EQ(autoneg(d), 1);
    chip().linkUp(25, sim::LinkPartner::fiber(100));
    EXPECT_EQ(link(d, 25), 1);
    EXPECT_EQ(autoneg(d), 0);
    // Negotiation set on it reaches the copper and holds.
    ASSERT_EQ(d->autoneg_set(0, 25, 1), 0);
    EXPECT_EQ(link(d, 25), 1);
    EXPECT_EQ(autoneg(d), 1);
}

TEST_F(phy_640x, ARefusedFibreConfigurationChangesNothing) {
    const phy_driver_t *d = startCombo(true);
    ASSERT_EQ(medium(d), PHY_MEDIUM_FIBER);
    ASSERT_EQ(d->adv_local_set(0, 25, 0x309020), 0);
    phy_medium_config_t before{};
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &before), 0);
    EXPECT_EQ(before.words[PHY_MC_AN_ADVERT], 0x20u);
    phy_medium_config_t bad = before;
    bad.words[PHY_MC_FORCE_SPEED] = 10;
    EXPECT_EQ(d->medium_config_set(0, 25, PHY_MEDIUM_FIBER, &bad), SOC_E_CONFIG);
    phy_medium_config_t after{};
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &after), 0);
    EXPECT_EQ(after.words[PHY_MC_FORCE_SPEED], 1000u);
    EXPECT_EQ(after.words[PHY_MC_AN_ENABLE], before.words[PHY_MC_AN_ENABLE]);
}

// The link scan's link-down call and a disable/enable both reset the PHY:
// fibre forced to 1000 comes back forced, as its stored configuration says,
// not negotiating again.
TEST_F(phy_640x, AResetOnTheFibreKeepsItsForcedSetting) {
    const phy_driver_t *d = startCombo(true, {{"phy_automedium", "1"}, {"phy_fiber_pref", "1"}});
    chip().linkUp(25, sim::LinkPartner::fiber());
    ASSERT_EQ(link(d, 25), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_FIBER);
    ASSERT_EQ(d->autoneg_set(0, 25, 0), 0);
    ASSERT_EQ(d->speed_set(0, 25, 1000), 0);
    ASSERT_EQ(d->duplex_set(0, 25, 1), 0);
    auto expect_forced = [&](const char *after) {
        SCOPED_TRACE(after);
        int an = -1, done = 0;
        ASSERT_EQ(d->autoneg_get(0, 25, &an, &done), 0);
        EXPECT_EQ(an, 0);
        EXPECT_EQ(chip().phyModel(25).peekFiber(0) & 0x1000, 0);
        phy_medium_config_t fiber{};
        ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
        EXPECT_EQ(fiber.words[PHY_MC_AN_ENABLE], 0u);
        EXPECT_EQ(medium(d), PHY_MEDIUM_FIBER);
    };
    ASSERT_EQ(d->linkdown_event(0, 25), 0);
    expect_forced("link down");
    ASSERT_EQ(d->enable_set(0, 25, 0), 0);
    ASSERT_EQ(d->enable_set(0, 25, 1), 0);
    expect_forced("disable and enable");
}

// The port's pause setting reaches the side that does not run, so the
// fibre advertises no pause the port was set without; a speed the fibre
// cannot run and a stored value out of range are refused unstored.
TEST_F(phy_640x, TheOtherSideKeepsThePortsPauseAndRefusesWhatItCannotRun) {
    const phy_driver_t *d = startCombo(true, {{"phy_automedium", "1"}, {"phy_fiber_pref", "0"}});
    ASSERT_EQ(medium(d), PHY_MEDIUM_COPPER);
    ASSERT_EQ(d->adv_local_set(0, 25, 0x2f), 0);
    ASSERT_EQ(d->speed_set(0, 25, 100), 0);
    phy_medium_config_t fiber{};
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
    EXPECT_EQ(fiber.words[PHY_MC_AN_ADVERT], DRV_PA_1000MB_FD);
    EXPECT_EQ(fiber.words[PHY_MC_FORCE_SPEED], 1000u);
    expectRefusedUnstored(d, 25, PHY_MEDIUM_FIBER, {{PHY_MC_AN_ENABLE, 5u}});
    expectRefusedUnstored(d, 25, PHY_MEDIUM_COPPER, {{PHY_MC_FORCE_SPEED, 12345u}});

    chip().linkUp(25, sim::LinkPartner::fiber());
    EXPECT_EQ(link(d, 25), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_FIBER);
    uint32_t local = 0;
    ASSERT_EQ(d->adv_local_get(0, 25, &local), 0);
    EXPECT_EQ(local, DRV_PA_1000MB_FD);
    phy_medium_config_t copper{};
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_COPPER, &copper), 0);
    EXPECT_EQ(copper.words[PHY_MC_FORCE_SPEED], 100u);
}

// On the DXP7101 the fibre side runs through the switch chip's SERDES: its
// status register gives the link, and copper takes over when the fibre goes.
TEST_F(phy_640x, FibreThroughTheSwitchSerdesLinksAndGivesWayToCopper) {
    startPhy(sim::ChipKind::DXP7101, sim::PhyKind::GigabitCombo);
    sal_config_set("phy_automedium", "1");
    chip().fiberStrapSet(49);
    const phy_driver_t *d = attach(49);
    ASSERT_EQ(d, &phy_640x_drv);
    ASSERT_EQ(phy_common_medium_change_register(0, 49, on_medium_640x, nullptr), 0);
    switches_640x = 0;
    chip().linkUp(49, sim::LinkPartner::fiber());
    EXPECT_EQ(link(d, 49), 1);
    EXPECT_EQ(last_medium_640x, PHY_MEDIUM_FIBER);
    chip().linkUp(49, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    chip().fiberDown(49);
    link(d, 49);
    EXPECT_EQ(link(d, 49), 1);
    EXPECT_EQ(last_medium_640x, PHY_MEDIUM_COPPER);
    EXPECT_EQ(switches_640x, 2);
}

// A copper/fibre model on port 25 with a fibre fitted, its automatic medium
// selection on.
struct DetectCase {
    uint16_t model;
    uint32_t key;
    const char *stored;  // null: the board's default (-10 on this chip)
    const char *line;    // the log line, "" for none
};

void PrintTo(const DetectCase &c, std::ostream *os) {
    *os << (c.stored ? c.stored : "default") << " on model 0x" << std::hex << c.model;
}

class phy_640x_detect : public phy_640x, public ::testing::WithParamInterface<DetectCase> {};

// A fibre detect value the model does not take, stored or the board's
// default, gives way to the nearest one it takes (a tie away from zero), and
// the log names the port, the setting and both values; the port starts and
// moves to its fibre as usual. A value the model takes goes by without a line.
TEST_P(phy_640x_detect, AValueTheModelDoesNotTakeGivesWayToTheNearest) {
    const DetectCase &c = GetParam();
    startPhy(sim::ChipKind::DXP7102A1, sim::PhyKind::GigabitCombo);
    chip().phyPoke(25, 2, phy_id0(c.key));
    chip().phyPoke(25, 3, phy_id1(c.key, c.model, 0));
    chip().phyPoke(25, 28, 0x7c00 | 0x0008);
    sal_config_set("phy_automedium", "1");
    if (c.stored != nullptr) sal_config_set("phy_fiber_detect", c.stored);
    logClear();
    const phy_driver_t *d = attach(25);
    ASSERT_EQ(d, &phy_640x_drv);
    EXPECT_EQ(logged(), *c.line ? std::vector<std::string>{std::string("ge0: ") + c.line}
                                : std::vector<std::string>{});
    chip().linkUp(25, sim::LinkPartner::fiber());
    link(d, 25);
    EXPECT_EQ(link(d, 25), 1);
    EXPECT_EQ(medium(d), PHY_MEDIUM_FIBER);
}

INSTANTIATE_TEST_SUITE_P(
    Models, phy_640x_detect,
    ::testing::Values(
        DetectCase{PHY_MODEL_6416, PHY_OUI_KEY_B, "7",
                   "phy_fiber_detect 7 is not one the DXP6416 takes; using 10"},
        DetectCase{PHY_MODEL_6416, PHY_OUI_KEY_B, "-2",
                   "phy_fiber_detect -2 is not one the DXP6416 takes; using -4"},
        DetectCase{PHY_MODEL_6416, PHY_OUI_KEY_B, nullptr, ""},
        DetectCase{PHY_MODEL_6412, PHY_OUI_KEY_D, "-4",
                   "phy_fiber_detect -4 is not one the DXP6412 takes; using -1"},
        DetectCase{PHY_MODEL_6412, PHY_OUI_KEY_D, "99999999999",
                   "phy_fiber_detect 2147483647 is not one the DXP6412 takes; using 10"},
        DetectCase{PHY_MODEL_6402, PHY_OUI_KEY_D, nullptr,
                   "phy_fiber_detect -10 (default) is not one the DXP6402 takes; using -4"},
        DetectCase{PHY_MODEL_6402, PHY_OUI_KEY_D, "0x63",
                   "phy_fiber_detect 99 is not one the DXP6402 takes; using 4"},
        DetectCase{PHY_MODEL_6402, PHY_OUI_KEY_D, "4", ""}),
    [](const ::testing::TestParamInfo<DetectCase> &info) {
        // The model's name in the log line and the stored value, e.g. "Dxp6416_Minus2".
        const DetectCase &c = info.param;
        const std::string model = c.model == PHY_MODEL_6412 ? "Dxp6412"
                                  : c.key == PHY_OUI_KEY_B  ? "Dxp6416"
                                                            : "Dxp6402";
        std::string stored = c.stored ? c.stored : "Default";
        if (stored[0] == '-') stored = "Minus" + stored.substr(1);
        return model + "_" + stored;
    });

// A default nobody uses (no automatic medium, no fibre preference) goes by
// without a line.
TEST_F(phy_640x, AnUnusedFibreDetectDefaultIsNotLogged) {
    startPhy(sim::ChipKind::DXP7102A1, sim::PhyKind::GigabitCombo);
    chip().phyPoke(25, 2, phy_id0(PHY_OUI_KEY_D));
    chip().phyPoke(25, 3, phy_id1(PHY_OUI_KEY_D, PHY_MODEL_6402, 0));
    logClear();
    attach(25);
    EXPECT_EQ(logged(), std::vector<std::string>{});
}

}  // namespace
