// Cable tests over the model's PHYs: no cable, a connected cable and an
// injected fault give each pair's state and length, for the fast-Ethernet
// PHYs and the copper/fibre gigabit PHY's built-in test.
#include "chipdata/ids.h"
#include "phy_fixture.h"

namespace {

using phy_test::PhyTest;
using sim::PairFault;

struct Pairs {
    int state;
    std::vector<int> states;
    std::vector<int> lengths;
    int fuzz;
    bool operator==(const Pairs &) const = default;
};
std::ostream &operator<<(std::ostream &os, const Pairs &p) {
    os << "state " << p.state << " fuzz " << p.fuzz << " pairs";
    for (size_t i = 0; i < p.states.size(); i++)
        os << " " << p.states[i] << "@" << p.lengths[i];
    return os;
}

class cable_diag : public PhyTest {
  protected:
    Pairs run(const phy_driver_t *d, int port, int expect_rv = 0) {
        phy_cable_diag_t r{};
        EXPECT_EQ(d->cable_diag(0, port, &r), expect_rv);
        Pairs p{r.state, {}, {}, r.fuzz_len};
        for (int i = 0; i < r.npairs && i < 4; i++) {
            p.states.push_back(r.pair_state[i]);
            p.lengths.push_back(r.pair_len[i]);
        }
        return p;
    }
};

TEST_F(cable_diag, FastEthernetPhysMeasureTwoPairs) {
    startPhy(sim::ChipKind::DXP7101);
    const phy_driver_t *d = attach(4);
    ASSERT_EQ(d, &phy_631x_drv);
    EXPECT_EQ(run(d, 4), (Pairs{1, {1, 1}, {0, 0}, 0}));  // no cable: both open

    sim::PhyModel &phy = chip().phyModel(4);
    phy.setPairFault(1, PairFault::Short, 7);
    phy.setPairFault(0, PairFault::Unknown, 33);
    EXPECT_EQ(run(d, 4), (Pairs{5, {5, 2}, {33, 7}, 0}));
    EXPECT_EQ(reg(4, 31), 0x000b);  // shadow bank closed again

    phy.setPairFault(0, PairFault::None, 0);
    phy.setPairFault(1, PairFault::None, 0);
    phy.setCableLength(20);
    chip().linkUp(4, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    EXPECT_EQ(run(d, 4), (Pairs{0, {0, 0}, {20, 20}, 5}));  // estimated with link

    // Failed register access: its code.
    soc_phy_info(0, 4)->phy_addr = 63;
    phy_cable_diag_t r{};
    EXPECT_EQ(d->cable_diag(0, 4, &r), SOC_E_RESOURCE);
}

TEST_F(cable_diag, GenericFastEthernetDriverTestsUnlinkedAndEstimatesLinked) {
    startPhy(sim::ChipKind::DXP7102A1);
    attach(2);
    chip().phyModel(2).setCableLength(55);
    chip().linkUp(2, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    EXPECT_EQ(run(&phy_fe_drv, 2), (Pairs{0, {0, 0}, {55, 55}, 10}));
    chip().linkDown(2);
    chip().phyModel(2).setPairFault(0, PairFault::Open, 12);
    EXPECT_EQ(run(&phy_fe_drv, 2), (Pairs{1, {1, 1}, {12, 0}, 1}));
}

class cable_diag_640x : public cable_diag {
  protected:
    const phy_driver_t *start() {
        startPhy(sim::ChipKind::DXP7102A1, sim::PhyKind::GigabitCombo);
        sal_config_set("cable_diag_hw", "1");
        return attach(25);
    }
};

TEST_F(cable_diag_640x, BuiltInTestReportsFourPairs) {
    const phy_driver_t *d = start();
    ASSERT_EQ(d, &phy_640x_drv);
    EXPECT_EQ(run(d, 25), (Pairs{3, {3, 3, 3, 3}, {0, 0, 0, 0}, 0}));  // no cable

    sim::PhyModel &phy = chip().phyModel(25);
    phy.setCableLength(42);
    phy.setPairFault(2, PairFault::Short, 9);
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    // Linked: lengths only; the answer says the pairs were not tested.
    EXPECT_EQ(run(d, 25, PHY_CABLE_DIAG_LINK_UP), (Pairs{0, {0, 0, 0, 0}, {42, 42, 9, 42}, 0}));

    chip().linkDown(25);
    phy.setPairFault(1, PairFault::Unknown, 3);
    EXPECT_EQ(run(d, 25), (Pairs{3, {3, 5, 3, 3}, {0, 3, 9, 0}, 0}));
    EXPECT_EQ(link(d, 25), 0);
}

// A port on its fibre side leaves the copper pairs alone, with either test:
// no PHY register is written, and the answer says so.
TEST_F(cable_diag_640x, APortOnFibreTestsNoCopperPair) {
    startPhy(sim::ChipKind::DXP7102A1, sim::PhyKind::GigabitCombo);
    chip().phyPoke(25, 28, 0x7c00 | 0x0008);  // fibre fitted: this board takes it first
    const phy_driver_t *d = attach(25);
    chip().phyModel(25).setCableLength(40);
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    chip().linkUp(25, sim::LinkPartner::fiber());
    ASSERT_EQ(link(d, 25), 1);
    for (const char *hw : {"0", "1"}) {
        sal_config_set("cable_diag_hw", hw);
        logAccesses();
        EXPECT_EQ(run(d, 25, PHY_CABLE_DIAG_ON_FIBER),
                  (Pairs{0, {0, 0, 0, 0}, {-1, -1, -1, -1}, 0}))
            << hw;
        EXPECT_TRUE(phyWrites(25).empty()) << hw;
    }
    EXPECT_EQ(link(d, 25), 1);
}

TEST_F(cable_diag_640x, UnlinkedRunsRepeatOnlyWithoutAFaultAndLinkedLengthsAreMended) {
    const phy_driver_t *d = start();
    const auto runs = [&] {
        int n = 0;
        for (const auto &[r, v] : phyWrites(25))
            n += r == 23 && v == 0x0f10;
        return n;
    };
    logAccesses();
    run(d, 25);  // no cable: open/short at the first run
    EXPECT_EQ(runs(), 1);

    sim::PhyModel &phy = chip().phyModel(25);
    phy.setCableLength(25);
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    ASSERT_EQ(d->enable_set(0, 25, 0), 0);  // cable in, no link
    logAccesses();
    EXPECT_EQ(run(d, 25), (Pairs{0, {0, 0, 0, 0}, {25, 25, 25, 25}, 0}));
    EXPECT_EQ(runs(), 3);

    ASSERT_EQ(d->enable_set(0, 25, 1), 0);
    ASSERT_EQ(link(d, 25), 1);
    // A lost echo on pair D (the link falls back to 100 Mb/s and stays).
    phy.setPairFault(3, PairFault::Open, 150);
    EXPECT_EQ(run(d, 25, PHY_CABLE_DIAG_LINK_UP), (Pairs{0, {0, 0, 0, 0}, {25, 25, 25, 25}, 0}));
}

TEST_F(cable_diag_640x, UnsupportedVariantsAndFailedAccessesGiveTheirCodes) {
    const phy_driver_t *d = start();
    EXPECT_EQ(d->cable_diag(0, 25, nullptr), SOC_E_PARAM);
    phy_cable_diag_t r{};
    // Variant 13 has no built-in test.
    chip().phyPoke(25, 3, phy_id1(PHY_OUI_KEY_B, PHY_MODEL_7104, 0));
    ASSERT_EQ(d->init(0, 25), 0);
    EXPECT_EQ(d->cable_diag(0, 25, &r), SOC_E_UNAVAIL);
    chip().phyPoke(25, 3, phy_id1(PHY_OUI_KEY_B, PHY_MODEL_6416, 0));
    ASSERT_EQ(d->init(0, 25), 0);
    soc_phy_info(0, 25)->phy_addr = 63;
    EXPECT_EQ(d->cable_diag(0, 25, &r), SOC_E_RESOURCE);
    sal_config_set("cable_diag_hw", "0");  // the echo analysis: any failure is -11
    EXPECT_EQ(d->cable_diag(0, 25, &r), SOC_E_FAIL);
}

TEST_F(cable_diag_640x, EchoAnalysisFindsFaultsAndEstimatesALinkedCable) {
    const phy_driver_t *d = start();
    sal_config_set("cable_diag_hw", "0");
    sim::PhyModel &phy = chip().phyModel(25);
    phy.setPairFault(1, PairFault::Short, 36);
    phy.setPairFault(2, PairFault::Open, 78);
    phy.setPairFault(3, PairFault::Unknown, 0);  // the line never settles
    EXPECT_EQ(run(d, 25), (Pairs{5, {1, 2, 1, 5}, {0, 36, 78, 0}, 0}));

    for (int pair : {1, 2, 3})
        phy.setPairFault(pair, PairFault::None, 0);
    phy.setCableLength(40);
    chip().linkUp(25, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    ASSERT_EQ(link(d, 25), 1);
    EXPECT_EQ(run(d, 25, PHY_CABLE_DIAG_LINK_UP), (Pairs{0, {0, 0, 0, 0}, {40, 40, 40, 40}, 0}));

    // A PHY the analysis does not know.
    chip().phyPoke(25, 3, phy_id1(PHY_OUI_KEY_B, PHY_MODEL_6405, 0));
    phy_cable_diag_t r{};
    EXPECT_EQ(d->cable_diag(0, 25, &r), SOC_E_FAIL);
}

}  // namespace
