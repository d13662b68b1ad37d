// The dual-media gigabit PHY driver over the model's dual-media PHY: the
// medium each link poll picks, the fibre deglitch, the per-medium
// configurations and the limits of the fibre side.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "phy_fixture.h"
#include "sal_host.h"

namespace {

using phy_test::PhyTest;

int switches = 0;
int last_medium = -1;
void on_medium(int, int, int medium, void *) {
    switches++;
    last_medium = medium;
}

class phy_6401s : public PhyTest {
  protected:
    // Port 25 of the DXP7102 carries the PHY.
    const phy_driver_t *start(
        std::initializer_list<std::pair<const char *, const char *>> properties = {}) {
        startPhy(sim::ChipKind::DXP7102A1, sim::PhyKind::GigabitDualMedia);
        for (const auto &[name, value] : properties)
            sal_config_set(name, value);
        switches = 0;
        last_medium = -1;
        const phy_driver_t *d = attach(25);
        EXPECT_EQ(phy_common_medium_change_register(0, 25, on_medium, nullptr), 0);
        return d;
    }
    void TearDown() override {
        sal_clock_real();
        PhyTest::TearDown();
    }
    int medium(const phy_driver_t *d) {
        int m = -1;
        EXPECT_EQ(d->medium_get(0, 25, &m), 0);
        return m;
    }
    // Polls the link until the medium settles (a switch costs one poll).
    int settle(const phy_driver_t *d) {
        link(d, 25);
        return link(d, 25);
    }
    // After `waited` more microseconds of fibre signal no medium is active
    // yet; after `more` the fibre is.
    void fibreAfter(const phy_driver_t *d, int waited, int more) {
        sal_clock_advance(waited);
        EXPECT_EQ(link(d, 25), 0);
        EXPECT_EQ(medium(d), PHY_MEDIUM_NONE);
        sal_clock_advance(more);
        EXPECT_EQ(settle(d), 1);
        EXPECT_EQ(medium(d), PHY_MEDIUM_FIBER);
    }
    void plugBoth() {
        chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
        chip().linkUp(25, sim::LinkPartner::fiber());
    }
};

TEST_F(phy_6401s, TheProbeFitsTheDriverAndTheFirstPollSelectsAMedium) {
    const phy_driver_t *d = start();
    ASSERT_EQ(d, &phy_6401s_drv);
    EXPECT_STREQ(soc_phy_name_get(0, 25), "DXP6401S");
    EXPECT_EQ(medium(d), PHY_MEDIUM_NONE);
    int speed = -1;
    ASSERT_EQ(d->speed_get(0, 25, &speed), 0);
    EXPECT_EQ(speed, 0);

    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    EXPECT_EQ(link(d, 25), 0);  // the switch itself reports down once
    EXPECT_EQ(switches, 1);
    EXPECT_EQ(last_medium, PHY_MEDIUM_COPPER);
    EXPECT_EQ(link(d, 25), 1);
    ASSERT_EQ(d->speed_get(0, 25, &speed), 0);
    EXPECT_EQ(speed, 1000);
    EXPECT_TRUE(chip().portLink(25).up);
}

TEST_F(phy_6401s, BothMediaRunTheOnePreferred) {
    const phy_driver_t *d = start();
    plugBoth();
    EXPECT_EQ(settle(d), 1);
    EXPECT_EQ(medium(d), PHY_MEDIUM_FIBER);
    EXPECT_EQ(chip().portLink(25).speed, 1000);
    uint32_t remote = 0;
    ASSERT_EQ(d->adv_remote_get(0, 25, &remote), 0);
    EXPECT_EQ(remote & DRV_PA_1000MB_FD, DRV_PA_1000MB_FD);

    // The fibre goes: copper takes over and its configuration comes back.
    chip().fiberDown(25);
    EXPECT_EQ(settle(d), 1);
    EXPECT_EQ(medium(d), PHY_MEDIUM_COPPER);
    EXPECT_EQ(last_medium, PHY_MEDIUM_COPPER);
    EXPECT_EQ(switches, 2);

    const phy_driver_t *c = start({{"phy_fiber_pref", "0"}});
    plugBoth();
    EXPECT_EQ(settle(c), 1);
    EXPECT_EQ(medium(c), PHY_MEDIUM_COPPER);
}

TEST_F(phy_6401s, FibreSignalCountsOnlyAfterTheDeglitchTime) {
    const phy_driver_t *d = start({{"phy_fiber_deglitch_usecs", "500000"}});
    sal_clock_manual(1000000);
    chip().linkUp(25, sim::LinkPartner::fiber());
    EXPECT_EQ(link(d, 25), 0);
    EXPECT_EQ(medium(d), PHY_MEDIUM_NONE);
    sal_clock_advance(400000);
    EXPECT_EQ(link(d, 25), 0);
    EXPECT_EQ(medium(d), PHY_MEDIUM_NONE);
    // A drop of the signal starts the wait again.
    chip().fiberDown(25);
    EXPECT_EQ(link(d, 25), 0);
    chip().linkUp(25, sim::LinkPartner::fiber());
    EXPECT_EQ(link(d, 25), 0);
    fibreAfter(d, 450000, 100000);
}

// A deglitch time below zero means none, one beyond a minute waits a
// minute; the log names the port, the setting and both values.
TEST_F(phy_6401s, ADeglitchTimeOutsideItsRangeIsHeldAtItsEnd) {
    logClear();
    const phy_driver_t *d = start({{"phy_fiber_deglitch_usecs", "-5"}});
    chip().linkUp(25, sim::LinkPartner::fiber());
    EXPECT_EQ(settle(d), 1);
    EXPECT_EQ(medium(d), PHY_MEDIUM_FIBER);

    d = start({{"phy_fiber_deglitch_usecs", "99999999999"}});
    sal_clock_manual(1000000);
    chip().linkUp(25, sim::LinkPartner::fiber());
    EXPECT_EQ(link(d, 25), 0);
    fibreAfter(d, 59999999, 1);
    EXPECT_EQ(logged(),
              (std::vector<std::string>{
                  "ge0: phy_fiber_deglitch_usecs -5 is not one the DXP6401S takes; using 0",
                  "ge0: phy_fiber_deglitch_usecs 2147483647 is not one the DXP6401S takes; "
                  "using 60000000"}));
}

TEST_F(phy_6401s, WithoutAutomediumThePreferredMediumStays) {
    const phy_driver_t *d = start({{"phy_automedium", "0"}});
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    EXPECT_EQ(settle(d), 0);  // copper has signal, but fibre is preferred
    EXPECT_EQ(medium(d), PHY_MEDIUM_FIBER);
    chip().linkUp(25, sim::LinkPartner::fiber());
    EXPECT_EQ(link(d, 25), 1);
    EXPECT_EQ(switches, 1);
}

TEST_F(phy_6401s, TheFibreSideRefusesWhatItCannotDo) {
    const phy_driver_t *d = start();
    chip().linkUp(25, sim::LinkPartner::fiber());
    ASSERT_EQ(settle(d), 1);
    EXPECT_EQ(d->speed_set(0, 25, 0), SOC_E_CONFIG);
    EXPECT_EQ(d->speed_set(0, 25, 100), SOC_E_CONFIG);
    EXPECT_EQ(d->speed_set(0, 25, 1000), 0);
    EXPECT_EQ(d->duplex_set(0, 25, 0), SOC_E_UNAVAIL);
    EXPECT_EQ(d->mdix_set(0, 25, PHY_MDIX_AUTO), SOC_E_UNAVAIL);
    EXPECT_EQ(d->mdix_set(0, 25, PHY_MDIX_NORMAL), 0);
    int master = -1;
    ASSERT_EQ(d->master_get(0, 25, &master), 0);
    EXPECT_EQ(master, PHY_MS_NONE);

    // Fibre auto-negotiation off: the link follows the fibre sync.
    ASSERT_EQ(d->autoneg_set(0, 25, 0), 0);
    int an = -1, done = -1;
    ASSERT_EQ(d->autoneg_get(0, 25, &an, &done), 0);
    EXPECT_EQ(an, 0);
    EXPECT_EQ(link(d, 25), 1);  // in sync with the negotiating partner
    EXPECT_EQ(d->adv_remote_get(0, 25, nullptr), SOC_E_PARAM);
    uint32_t remote = 0;
    EXPECT_EQ(d->adv_remote_get(0, 25, &remote), SOC_E_DISABLED);
    ASSERT_EQ(d->autoneg_set(0, 25, 1), 0);
    EXPECT_EQ(link(d, 25), 1);

    // Pause advertisement on fibre lands in the fibre control register.
    ASSERT_EQ(d->adv_local_set(0, 25, DRV_PA_1000MB_FD | DRV_PA_PAUSE_RX), 0);
    uint32_t local = 0;
    ASSERT_EQ(d->adv_local_get(0, 25, &local), 0);
    EXPECT_EQ(local, DRV_PA_1000MB_FD | DRV_PA_PAUSE_RX);
}

// Before either medium has signal, what the port is set to is kept for the
// medium that links up, and the port offers what both media can run.
TEST_F(phy_6401s, SettingsWithoutAMediumHoldWhenOneLinksUp) {
    const phy_driver_t *d = start();
    ASSERT_EQ(medium(d), PHY_MEDIUM_NONE);
    uint32_t ability = 0;
    ASSERT_EQ(d->ability_get(0, 25, &ability), 0);
    EXPECT_EQ(ability & 0x2f, 0x2fu);  // 10, 100 and 1000 full
    ASSERT_EQ(d->autoneg_set(0, 25, 0), 0);
    ASSERT_EQ(d->speed_set(0, 25, 1000), 0);
    ASSERT_EQ(d->duplex_set(0, 25, 1), 0);
    int an = -1, done = -1, speed = 0;
    ASSERT_EQ(d->autoneg_get(0, 25, &an, &done), 0);
    EXPECT_EQ(an, 0);
    ASSERT_EQ(d->speed_get(0, 25, &speed), 0);
    EXPECT_EQ(speed, 1000);
    phy_medium_config_t fiber{};
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
    EXPECT_EQ(fiber.words[PHY_MC_AN_ENABLE], 0u);

    // 100 Mb/s is for copper only; the fibre side keeps gigabit.
    ASSERT_EQ(d->speed_set(0, 25, 100), 0);
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
    EXPECT_EQ(fiber.words[PHY_MC_FORCE_SPEED], 1000u);
    chip().linkUp(25, sim::LinkPartner::forced(100, true));
    ASSERT_EQ(settle(d), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_COPPER);
    EXPECT_EQ(reg(25, 0) & 0x3140, 0x2100);  // forced 100 full, no negotiation
    EXPECT_EQ(chip().portLink(25).speed, 100);
}

TEST_F(phy_6401s, ConfigurationsFollowTheirMedium) {
    const phy_driver_t *d = start();
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    ASSERT_EQ(settle(d), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_COPPER);
    // Set on the active copper side: kept for the next switch back.
    ASSERT_EQ(d->adv_local_set(0, 25, DRV_PA_100MB_FD | DRV_PA_100MB_HD), 0);
    phy_medium_config_t copper{};
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_COPPER, &copper), 0);
    EXPECT_EQ(copper.words[PHY_MC_AN_ADVERT], DRV_PA_100MB_FD | DRV_PA_100MB_HD);

    // The inactive fibre side is stored without a register write.
    phy_medium_config_t fiber{};
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
    fiber.words[PHY_MC_AN_ADVERT] = 0xffffffff;
    logAccesses();
    ASSERT_EQ(d->medium_config_set(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
    EXPECT_TRUE(phyWrites(25).empty());
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
    EXPECT_EQ(fiber.words[PHY_MC_AN_ADVERT], 0x0c20u);
    EXPECT_EQ(d->medium_config_set(0, 25, 3, &fiber), SOC_E_PARAM);

    chip().linkUp(25, sim::LinkPartner::fiber());
    ASSERT_EQ(settle(d), 1);
    chip().fiberDown(25);
    ASSERT_EQ(settle(d), 1);
    EXPECT_EQ(chip().portLink(25).speed, 100);  // the copper advert came back
}

// A refused fibre configuration leaves the stored one and the PHY as they
// were, so later switches to fibre still apply it; the port layer's whole
// ability word is stored as the fibre bits only.
TEST_F(phy_6401s, ARefusedFibreConfigurationChangesNothing) {
    const phy_driver_t *d = start();
    chip().linkUp(25, sim::LinkPartner::fiber());
    ASSERT_EQ(settle(d), 1);
    ASSERT_EQ(d->adv_local_set(0, 25, 0x309020 | DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX), 0);
    phy_medium_config_t before{};
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &before), 0);
    EXPECT_EQ(before.words[PHY_MC_AN_ADVERT], 0x0c20u);
    const uint16_t ctrl = reg(25, 11);

    for (auto [word, value] : {std::pair{PHY_MC_FORCE_SPEED, 100u},
                               {PHY_MC_FORCE_SPEED, 0u},
                               {PHY_MC_FORCE_DUPLEX, 0u},
                               {PHY_MC_MDIX, 0u}}) {
        phy_medium_config_t bad = before;
        bad.words[word] = value;
        EXPECT_EQ(d->medium_config_set(0, 25, PHY_MEDIUM_FIBER, &bad), SOC_E_CONFIG) << word;
        phy_medium_config_t after{};
        ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &after), 0);
        EXPECT_EQ(std::vector<uint32_t>(std::begin(after.words), std::end(after.words)),
                  std::vector<uint32_t>(std::begin(before.words), std::end(before.words)));
        EXPECT_EQ(reg(25, 11), ctrl);
    }
    // The fibre still comes back whole after copper ran.
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    chip().fiberDown(25);
    ASSERT_EQ(settle(d), 1);
    chip().linkUp(25, sim::LinkPartner::fiber());
    ASSERT_EQ(settle(d), 1);
    EXPECT_EQ(medium(d), PHY_MEDIUM_FIBER);
}

// A port setting made on one medium reaches the other medium's stored
// configuration as far as that medium runs it: no pause comes back with a
// medium change, and the fibre keeps its gigabit full duplex. A medium's own
// configuration applied at a change carries nothing back.
TEST_F(phy_6401s, PortSettingsReachTheOtherMediumAsFarAsItRunsThem) {
    const phy_driver_t *d = start();
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    ASSERT_EQ(settle(d), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_COPPER);
    ASSERT_EQ(d->adv_local_set(0, 25, 0x2f), 0);
    ASSERT_EQ(d->speed_set(0, 25, 100), 0);
    ASSERT_EQ(d->duplex_set(0, 25, 0), 0);
    phy_medium_config_t fiber{}, copper{};
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_FIBER, &fiber), 0);
    EXPECT_EQ(fiber.words[PHY_MC_AN_ADVERT], DRV_PA_1000MB_FD);
    EXPECT_EQ(fiber.words[PHY_MC_FORCE_SPEED], 1000u);
    EXPECT_EQ(fiber.words[PHY_MC_FORCE_DUPLEX], 1u);

    chip().linkUp(25, sim::LinkPartner::fiber());
    ASSERT_EQ(settle(d), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_FIBER);
    EXPECT_EQ(reg(25, 11) & 0x1800, 0);  // no pause advertised on the fibre
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_COPPER, &copper), 0);
    EXPECT_EQ(copper.words[PHY_MC_FORCE_SPEED], 100u);
    EXPECT_EQ(copper.words[PHY_MC_FORCE_DUPLEX], 0u);

    // Pause set on the fibre reaches copper, whose speeds stay; the speed
    // and duplex the fibre runs anyway leave the copper's forced ones.
    ASSERT_EQ(d->adv_local_set(0, 25, DRV_PA_1000MB_FD | DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX), 0);
    ASSERT_EQ(d->speed_set(0, 25, 1000), 0);
    ASSERT_EQ(d->duplex_set(0, 25, 1), 0);
    ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_COPPER, &copper), 0);
    EXPECT_EQ(copper.words[PHY_MC_AN_ADVERT], 0x2fu | DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX);
    EXPECT_EQ(copper.words[PHY_MC_FORCE_SPEED], 100u);
    EXPECT_EQ(copper.words[PHY_MC_FORCE_DUPLEX], 0u);
}

// Auto-negotiation reaches the other medium as far as that one runs it: the
// fibre is forced only to 1000 full, so a copper port forced to 100 leaves it
// negotiating; a forced fibre forces the copper to 1000 full. Only a change
// of the fibre's auto-negotiation reaches the copper.
TEST_F(phy_6401s, AutoNegotiationReachesTheOtherMediumAsFarAsItRunsIt) {
    const phy_driver_t *d = start();
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    ASSERT_EQ(settle(d), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_COPPER);
    auto config = [d](int m) {
        phy_medium_config_t cfg{};
        EXPECT_EQ(d->medium_config_get(0, 25, m, &cfg), 0);
        return cfg;
    };
    ASSERT_EQ(d->autoneg_set(0, 25, 0), 0);
    ASSERT_EQ(d->speed_set(0, 25, 100), 0);
    EXPECT_EQ(config(PHY_MEDIUM_FIBER).words[PHY_MC_AN_ENABLE], 1u);
    ASSERT_EQ(d->speed_set(0, 25, 1000), 0);
    EXPECT_EQ(config(PHY_MEDIUM_FIBER).words[PHY_MC_AN_ENABLE], 0u);
    ASSERT_EQ(d->autoneg_set(0, 25, 1), 0);
    EXPECT_EQ(config(PHY_MEDIUM_FIBER).words[PHY_MC_AN_ENABLE], 1u);
    ASSERT_EQ(d->autoneg_set(0, 25, 0), 0);
    ASSERT_EQ(d->speed_set(0, 25, 10), 0);

    chip().linkUp(25, sim::LinkPartner::fiber());
    ASSERT_EQ(settle(d), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_FIBER);
    EXPECT_EQ(reg(25, 11) & 0x0004, 0);  // the fibre negotiates
    // Set as it runs, the fibre's auto-negotiation leaves the copper forced.
    ASSERT_EQ(d->autoneg_set(0, 25, 1), 0);
    phy_medium_config_t copper = config(PHY_MEDIUM_COPPER);
    EXPECT_EQ(copper.words[PHY_MC_AN_ENABLE], 0u);
    EXPECT_EQ(copper.words[PHY_MC_FORCE_SPEED], 10u);
    // A forced fibre reaches the copper as its forced gigabit: negotiating
    // 1000 full alone, which a 1000BASE-T partner links with.
    ASSERT_EQ(d->autoneg_set(0, 25, 0), 0);
    copper = config(PHY_MEDIUM_COPPER);
    EXPECT_EQ(copper.words[PHY_MC_AN_ENABLE], 1u);
    EXPECT_EQ(copper.words[PHY_MC_AN_ADVERT] & 0x3f, 0x20u);
    EXPECT_EQ(copper.words[PHY_MC_FORCE_SPEED], 1000u);
    EXPECT_EQ(copper.words[PHY_MC_FORCE_DUPLEX], 1u);
    ASSERT_EQ(d->autoneg_set(0, 25, 1), 0);
    EXPECT_EQ(config(PHY_MEDIUM_COPPER).words[PHY_MC_AN_ADVERT] & 0x3f, 0x2fu);
    chip().fiberDown(25);
    ASSERT_EQ(settle(d), 1);
    EXPECT_EQ(reg(25, 0) & 0x1000, 0x1000);  // copper negotiates again
    EXPECT_EQ(chip().portLink(25).speed, 1000);
}

// Loopback set on one medium is cleared on both: a medium change during a
// loopback test would otherwise bring it back with the medium.
TEST_F(phy_6401s, LoopbackOffClearsBothMedia) {
    const phy_driver_t *d = start();
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    ASSERT_EQ(settle(d), 1);
    ASSERT_EQ(d->loopback_set(0, 25, 1), 0);
    ASSERT_EQ(reg(25, 0) & 0x4000, 0x4000);
    chip().linkUp(25, sim::LinkPartner::fiber());
    ASSERT_EQ(settle(d), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_FIBER);
    ASSERT_EQ(d->loopback_set(0, 25, 1), 0);
    ASSERT_EQ(d->loopback_set(0, 25, 0), 0);
    EXPECT_EQ(reg(25, 0) & 0x4000, 0);
    EXPECT_EQ(reg(25, 11) & 0x0001, 0);
    chip().fiberDown(25);
    EXPECT_EQ(settle(d), 1);
    int looped = -1;
    ASSERT_EQ(d->loopback_get(0, 25, &looped), 0);
    EXPECT_EQ(looped, 0);
}

// A port with no medium loops back all the same: up at 1000 Mb/s with its
// frames returned, and down again once the loopback is off.
TEST_F(phy_6401s, ALoopbackWithoutAMediumLoops) {
    const phy_driver_t *d = start();
    ASSERT_EQ(settle(d), 0);
    ASSERT_EQ(d->loopback_set(0, 25, 1), 0);
    EXPECT_EQ(settle(d), 1);
    EXPECT_EQ(medium(d), PHY_MEDIUM_NONE);
    EXPECT_TRUE(chip().phyLoopedBack(25));
    int mbps = 0, looped = 0;
    ASSERT_EQ(d->speed_get(0, 25, &mbps), 0);
    EXPECT_EQ(mbps, 1000);
    ASSERT_EQ(d->loopback_get(0, 25, &looped), 0);
    EXPECT_EQ(looped, 1);
    ASSERT_EQ(d->loopback_set(0, 25, 0), 0);
    EXPECT_EQ(settle(d), 0);
    EXPECT_FALSE(chip().phyLoopedBack(25));
    // A copper cable plugged afterwards links as ever.
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    EXPECT_EQ(settle(d), 1);
    EXPECT_EQ(medium(d), PHY_MEDIUM_COPPER);
}

// A stored configuration the medium cannot run would break the next switch
// to it: it is refused, for the medium that does not run as well.
TEST_F(phy_6401s, AnInactiveMediumRefusesWhatItCannotRun) {
    const phy_driver_t *d = start();
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    chip().linkUp(25, sim::LinkPartner::fiber());
    ASSERT_EQ(settle(d), 1);
    ASSERT_EQ(medium(d), PHY_MEDIUM_FIBER);
    expectRefusedUnstored(d, 25, PHY_MEDIUM_COPPER,
                          {{PHY_MC_FORCE_SPEED, 12345u},
                           {PHY_MC_FORCE_DUPLEX, 2u},
                           {PHY_MC_AN_ENABLE, 7u},
                           {PHY_MC_MDIX, PHY_MDIX_FORCEAUTO},
                           {PHY_MC_MASTER, 9u}});
    chip().fiberDown(25);
    EXPECT_EQ(settle(d), 1);
    EXPECT_EQ(medium(d), PHY_MEDIUM_COPPER);
}

TEST_F(phy_6401s, ADisabledPortOnFibreHasNoLink) {
    const phy_driver_t *d = start();
    chip().linkUp(25, sim::LinkPartner::fiber());
    ASSERT_EQ(settle(d), 1);
    ASSERT_EQ(d->enable_set(0, 25, 0), 0);
    EXPECT_EQ(link(d, 25), 0);
    ASSERT_EQ(d->enable_set(0, 25, 1), 0);
    EXPECT_EQ(link(d, 25), 1);
}

// Link scan and a manager change the port's state together: each slot runs
// whole under the port's lock, and the medium-change callback runs after it
// (it may call the driver again).
int reentered = 0;
void on_medium_reenter(int unit, int port, int, void *) {
    int m = -1;
    if (phy_6401s_drv.medium_get(unit, port, &m) == 0) reentered++;
}

TEST_F(phy_6401s, LinkScanAndManagersShareThePortSafely) {
    const phy_driver_t *d = start();
    ASSERT_EQ(phy_common_medium_change_unregister(0, 25, on_medium, nullptr), 0);
    ASSERT_EQ(phy_common_medium_change_register(0, 25, on_medium_reenter, nullptr), 0);
    reentered = 0;
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    std::atomic<bool> stop{false};
    std::thread scan([&] {
        for (int i = 0; i < 200; i++) {
            if (i % 2)
                chip().fiberDown(25);
            else
                chip().linkUp(25, sim::LinkPartner::fiber());
            int up = 0;
            d->link_get(0, 25, &up);
            d->link_get(0, 25, &up);
        }
        stop = true;
    });
    while (!stop) {
        phy_medium_config_t cfg{};
        ASSERT_EQ(d->medium_config_get(0, 25, PHY_MEDIUM_COPPER, &cfg), 0);
        d->medium_config_set(0, 25, PHY_MEDIUM_COPPER, &cfg);
        uint32_t ability = 0;
        d->ability_get(0, 25, &ability);
    }
    scan.join();
    EXPECT_GT(reentered, 0);
}

TEST_F(phy_6401s, CopperLinkDownResetsThePhyAndKeepsTheUsersSettings) {
    const phy_driver_t *d = start();
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    ASSERT_EQ(settle(d), 1);
    ASSERT_EQ(d->adv_local_set(0, 25, DRV_PA_100MB_FD), 0);
    const uint16_t advert = reg(25, 4), gig = reg(25, 9);
    logAccesses();
    ASSERT_EQ(d->linkdown_event(0, 25), 0);
    EXPECT_EQ(reg(25, 4), advert);
    EXPECT_EQ(reg(25, 9), gig);
    const auto writes = phyWrites(25);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front().first, 0);  // the reset comes first
    EXPECT_EQ(writes.front().second & 0x8000, 0x8000);
}

TEST_F(phy_6401s, TbiModeTakesOnlyStoredSettings) {
    const phy_driver_t *d = start();
    ASSERT_EQ(d->interface_set(0, 25, PHY_IF_TBI), 0);
    int intf = -1, enabled = -1;
    ASSERT_EQ(d->interface_get(0, 25, &intf), 0);
    EXPECT_EQ(intf, PHY_IF_TBI);
    EXPECT_EQ(reg(25, 16) & 0x8000, 0x8000);
    ASSERT_EQ(d->enable_get(0, 25, &enabled), 0);
    EXPECT_EQ(enabled, 0);
    uint32_t ability = 0;
    ASSERT_EQ(d->ability_get(0, 25, &ability), 0);
    EXPECT_EQ(ability, 0x2000u);
    ASSERT_EQ(d->interface_set(0, 25, PHY_IF_GMII), 0);
    EXPECT_EQ(reg(25, 16) & 0x8000, 0);
}

}  // namespace
