// PHY pages with link partners: auto-negotiation, forced modes, the latched
// link bit, the SERDES pages, and the port status registers that follow them.
#include <gtest/gtest.h>

#include <array>
#include <utility>

#include "chipdata/ids.h"
#include "sim/board.h"
#include "sim/phy_model.h"

namespace {

using sim::BusPath;
using sim::LinkPartner;
using sim::LinkState;

constexpr uint8_t kLnk = 0x00, kSpd = 0x08, kDup = 0x10;

class phy_link : public ::testing::Test {
  protected:
    explicit phy_link(sim::BoardKind kind = sim::BoardKind::RW3090)
        : board(sim::BoardConfig::preset(kind)) {}
    void TearDown() override {
        for (const sim::Anomaly &a : allowed.unexpected(board.anomalies()))
            ADD_FAILURE() << a.text;
    }

    uint16_t phyRead(int page, int reg) {
        uint8_t b[2] = {};
        EXPECT_EQ(chip().read(BusPath::Direct, page, 2 * reg, b, 2), 0);
        return static_cast<uint16_t>(b[0] | b[1] << 8);
    }
    void phyWrite(int page, int reg, uint16_t v) {
        const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
        ASSERT_EQ(chip().write(BusPath::Direct, page, 2 * reg, b, 2), 0);
    }
    // Port status registers on page 0x02: LNKSTS 0x00, SPDSTS 0x08, DUPSTS 0x10.
    uint64_t status(uint8_t offset) {
        uint8_t b[8] = {};
        int len = chip().widthAt(0x02, offset);
        EXPECT_EQ(chip().read(BusPath::Direct, 0x02, offset, b, len), 0);
        uint64_t v = 0;
        for (int i = 0; i < len; i++)
            v |= uint64_t(b[i]) << (8 * i);
        return v;
    }
    sim::Chip &chip() { return board.chip(); }
    int page(int port) { return chip().profile().phyPage(port); }

    sim::Board board;
    sim::AnomalyAllowList allowed;
};

class phy_link_dxp7106 : public phy_link {
  protected:
    phy_link_dxp7106() : phy_link(sim::BoardKind::RW3070) {}
};

class phy_link_dxp7102 : public phy_link {
  protected:
    phy_link_dxp7102() : phy_link(sim::BoardKind::DXP97102R24GM) {}
};

TEST_F(phy_link, AutonegotiationPicksTheBestCommonModeAndTheStatusFollows) {
    EXPECT_EQ(phyRead(page(3), 1) & 0x0024, 0);
    chip().linkUp(3, LinkPartner::autonegotiating(sim::kAbility100Full | sim::kAbility10Full |
                                                  sim::kAbilityPause));
    EXPECT_EQ(chip().portLink(3), (LinkState{true, 100, true}));
    EXPECT_EQ(phyRead(page(3), 1) & 0x0024, 0x0024);
    EXPECT_EQ(phyRead(page(3), 5), 0x4000 | 0x0100 | 0x0040 | 0x0400 | 0x0001);
    // Advertising 10 Mb/s only and restarting leaves 10 full.
    phyWrite(page(3), 4, 0x0061);
    phyWrite(page(3), 0, 0x1200);
    EXPECT_EQ(chip().portLink(3), (LinkState{true, 10, true}));
    chip().linkUp(7, LinkPartner::autonegotiating(sim::kAbility100Half));
    EXPECT_EQ(status(kLnk), (1ull << 3) | (1ull << 7) | (1ull << 48));
    EXPECT_EQ(status(kDup), (1ull << 3) | (1ull << 48));
    // Port 7 at 100 sets its speed bit; the CPU port's two bits say 1000.
    EXPECT_EQ(status(kSpd), (1ull << 7) | (2ull << 48));
    EXPECT_TRUE(board.anomalies().empty());
}

TEST_F(phy_link, ForcedModesAndParallelDetection) {
    // A forced partner against local auto-negotiation: its speed, half duplex.
    chip().linkUp(5, LinkPartner::forced(100, true));
    EXPECT_EQ(chip().portLink(5), (LinkState{true, 100, false}));
    EXPECT_EQ(phyRead(page(5), 5), 0x0080);
    // Local forced 10 full against the forced 100 partner: no link.
    phyWrite(page(5), 0, 0x0100);
    EXPECT_FALSE(chip().portLink(5).up);
    chip().linkUp(5, LinkPartner::forced(10, true));
    EXPECT_EQ(chip().portLink(5), (LinkState{true, 10, true}));
    EXPECT_EQ(phyRead(page(5), 1) & 0x0020, 0);  // no auto-negotiation
}

TEST_F(phy_link, LinkBitIsLatchedLowUntilRead) {
    chip().linkUp(2);
    EXPECT_TRUE(phyRead(page(2), 1) & 0x0004);
    chip().linkDown(2);
    chip().linkUp(2);
    EXPECT_FALSE(phyRead(page(2), 1) & 0x0004);
    EXPECT_TRUE(phyRead(page(2), 1) & 0x0004);
}

TEST_F(phy_link, PowerDownLoopbackResetAndChipReset) {
    chip().linkUp(4);
    phyWrite(page(4), 0, 0x3900);  // power down
    EXPECT_FALSE(chip().portLink(4).up);
    phyWrite(page(4), 0, 0x8000);  // reset: defaults back, the cable stays
    EXPECT_EQ(chip().phyPeek(4, 0), 0x3100);
    EXPECT_EQ(chip().portLink(4), (LinkState{true, 100, true}));
    chip().linkDown(6);
    phyWrite(page(6), 0, 0x6100);  // loopback, 100 full
    EXPECT_EQ(chip().portLink(6), (LinkState{true, 100, true}));
    chip().reset();
    EXPECT_FALSE(chip().portLink(6).up);
    EXPECT_TRUE(chip().portLink(4).up);
    EXPECT_EQ(chip().peek("LNKSTS") & 0xff, 1u << 4);
}

TEST_F(phy_link, GigabitPortsRunOnTheSerdesPage) {
    const int port = 50;
    const int serdes = chip().profile().serdesPage(port);
    ASSERT_EQ(serdes, 0xb8 + 2);
    EXPECT_EQ(phyRead(page(port), 2), 0xffff);  // no external PHY
    EXPECT_EQ(phyRead(serdes, 15), 0x8000);
    chip().linkUp(port, LinkPartner::autonegotiating(sim::kAbility1000Full | sim::kAbilityPause));
    EXPECT_EQ(chip().portLink(port), (LinkState{true, 1000, true}));
    EXPECT_EQ(phyRead(serdes, 1) & 0x0024, 0x0024);
    EXPECT_EQ(phyRead(serdes, 5), 0x4000 | 0x0020 | 0x0080);
    // Two-bit field at q = 2 * port - cpu.
    EXPECT_EQ(status(kSpd), (2ull << 48) | (2ull << (2 * port - 48)));
    // A 100 Mb/s partner cannot talk to 1000BASE-X.
    chip().linkUp(port, LinkPartner::autonegotiating(sim::kAbility100Full));
    EXPECT_FALSE(chip().portLink(port).up);
    EXPECT_TRUE(board.anomalies().empty());
}

TEST_F(phy_link_dxp7106, StatusBitsSitTwentyFourHigher) {
    chip().linkUp(0, LinkPartner::autonegotiating(sim::kAbility100Full));
    chip().linkUp(26, LinkPartner::autonegotiating(sim::kAbility1000Full));
    EXPECT_EQ(status(kLnk), (1ull << 24) | (1ull << 48) | (1ull << 50));
    EXPECT_EQ(status(kDup), (1ull << 24) | (1ull << 48) | (1ull << 50));
    // q = 2 * port - cpu + 24.
    EXPECT_EQ(status(kSpd), (1ull << 24) | (2ull << 48) | (2ull << (2 * 26 - 24 + 24)));
}

TEST_F(phy_link_dxp7102, GigabitPortsCarryCopperPhys) {
    EXPECT_EQ(phyRead(page(25), 2), phy_id0(PHY_OUI_KEY_D));
    EXPECT_EQ(phyRead(page(25), 3), phy_id1(PHY_OUI_KEY_D, PHY_MODEL_6405, 0));
    EXPECT_EQ(chip().profile().serdesPage(25), -1);
    chip().linkUp(25);
    EXPECT_EQ(chip().portLink(25), (LinkState{true, 1000, true}));
    EXPECT_EQ(phyRead(page(25), 10), 0x0c00);
    // Dropping 1000 from register 9 falls back to 100 full.
    phyWrite(page(25), 9, 0x0000);
    phyWrite(page(25), 0, 0x1200);
    EXPECT_EQ(chip().portLink(25), (LinkState{true, 100, true}));
    chip().linkUp(1, LinkPartner::autonegotiating(sim::kAbility100Full));
    // CPU port 24 one bit at 100; gigabit port 25 two bits at q = 2 * 25 - 25.
    EXPECT_EQ(status(kSpd), (1ull << 1) | (1ull << 24) | (1ull << 25));
    EXPECT_EQ(status(kLnk), (1ull << 1) | (1ull << 24) | (1ull << 25));
    EXPECT_TRUE(board.anomalies().empty());
}

}  // namespace

// A dual-media PHY: both media's signal show in register 12 whatever runs,
// and the port's link is the one of the medium the auxiliary control selects.
TEST(phy_link_dual_media, BothSignalsShowAndTheSelectedMediumLinks) {
    sim::PhyModel phy(sim::PhyKind::GigabitDualMedia, phy_id0(PHY_OUI_KEY_D),
                      phy_id1(PHY_OUI_KEY_D, PHY_MODEL_6401S, 0));
    phy.connect(LinkPartner::autonegotiating(sim::kAbilityAll));
    phy.connect(LinkPartner::fiber());
    EXPECT_EQ(phy.read(12) & 0xa000, 0xa000);
    EXPECT_EQ(phy.state(), (LinkState{true, 1000, true}));  // copper, after reset
    // Select fibre: read the shadow, write it back with bit 11.
    phy.write(24, 0x2007);
    phy.write(24, phy.read(24) | 0x0800);
    EXPECT_EQ(phy.state(), (LinkState{true, 1000, true}));
    EXPECT_EQ(phy.read(12) & 0x0002, 0x0002);
    // Loopback follows the active medium: the fibre control's bit, not copper's.
    phy.write(0, phy.read(0) | 0x4000);
    EXPECT_FALSE(phy.loopedBack());
    phy.write(0, phy.read(0) & ~0x4000);
    phy.write(11, 0x0001);
    EXPECT_TRUE(phy.loopedBack());
    // Fibre auto-negotiation off against a negotiating partner: in sync at
    // 1000, without the negotiation done; none without a partner.
    phy.write(11, 0x0004);
    EXPECT_EQ(phy.state(), (LinkState{true, 1000, true}));
    EXPECT_EQ(phy.read(12) & 0x0002, 0);
    phy.write(28, 0x2000);
    EXPECT_EQ(phy.read(28) & 0x0020, 0);
    phy.disconnectFiber();
    EXPECT_FALSE(phy.state().up);
    phy.write(28, 0x2000);
    EXPECT_EQ(phy.read(28) & 0x0020, 0x0020);
    phy.write(11, 0x0000);
    EXPECT_EQ(phy.read(12) & 0xa000, 0x8000);
    // A bare selector leaves the medium; writing the cleared value back selects copper.
    phy.write(24, 0x2007);
    phy.write(24, phy.read(24) & ~0x0800);
    EXPECT_TRUE(phy.state().up);
}

// A faulted pair is what the PHYs' cable tests find, with a partner at the
// cable's end as without one, and it keeps the speeds that need the pair
// from linking.
namespace {

using sim::PairFault;
using sim::PhyKind;
using sim::PhyModel;

// The fast-Ethernet test: status (pair states in bits 11:10 and 13:12),
// then both lengths in 0.8 m steps.
std::pair<uint16_t, uint16_t> fe_test(PhyModel &phy) {
    phy.write(31, 0x008b);
    phy.write(19, 0x8006);
    const uint16_t status = phy.read(19);
    const uint16_t lengths = phy.read(19);
    phy.write(31, 0x000b);
    return {status, lengths};
}

// The gigabit built-in test: start, then status and the lengths in metres.
std::array<uint16_t, 3> giga_test(PhyModel &phy) {
    phy.write(23, 0x0f10);
    phy.write(21, 0x0001);
    std::array<uint16_t, 3> out{};
    for (uint16_t i = 0; i < 3; i++) {
        phy.write(23, static_cast<uint16_t>(0x0f11 + i));
        out[i] = phy.read(21);
    }
    return out;
}

TEST(phy_cable_fault, FastEthernetFindsAFaultBehindAPartnerAndLosesLinkOnlyForPairsAOrB) {
    PhyModel phy(PhyKind::FastEthernet, 0, 0);
    phy.setCableLength(30);
    phy.connect(LinkPartner{});
    phy.setPairFault(0, PairFault::Open, 10);
    EXPECT_FALSE(phy.state().up);
    EXPECT_EQ(phy.read(25) & 0x0004, 0);
    // Pair A open at 13 steps (10 m); pair B ok over the 30 m cable.
    EXPECT_EQ(fe_test(phy), std::make_pair(uint16_t{0x0300 | 1 << 10}, uint16_t{13 | 38 << 8}));
    phy.setPairFault(0, PairFault::None, 0);
    phy.setPairFault(3, PairFault::Short, 5);
    EXPECT_EQ(phy.state(), (LinkState{true, 100, true}));
}

TEST(phy_cable_fault, GigabitFindsAFaultBehindAPartnerAndFallsBackWithoutPairsCOrD) {
    PhyModel phy(PhyKind::GigabitCombo, 0, 0);
    phy.setCableLength(30);
    phy.connect(LinkPartner{});
    EXPECT_EQ(phy.state(), (LinkState{true, 1000, true}));
    phy.setPairFault(0, PairFault::Open, 10);
    EXPECT_FALSE(phy.state().up);
    EXPECT_EQ(giga_test(phy), (std::array<uint16_t, 3>{0x0103, 10 | 30 << 8, 30 | 30 << 8}));
    // A faulted pair C leaves 100 Mb/s on pairs A and B.
    phy.setPairFault(0, PairFault::None, 0);
    phy.setPairFault(2, PairFault::Short, 7);
    EXPECT_EQ(phy.state(), (LinkState{true, 100, true}));
    EXPECT_EQ(giga_test(phy)[0], 0x0403);
    phy.setPairFault(2, PairFault::None, 0);
    EXPECT_EQ(phy.state(), (LinkState{true, 1000, true}));
}

// The copper/fibre PHY takes a 100BASE-FX fibre only with its 100FX/1000X
// auto-detect on; a reset turns the detect off again.
TEST(phy_combo, A100BaseFxFibreLinksOnlyWithTheFxDetectOn) {
    PhyModel phy(PhyKind::GigabitCombo, 0, 0);
    phy.connect(LinkPartner::fiber(100));
    phy.write(28, 0xfc03);  // fibre mode
    EXPECT_FALSE(phy.state().up);
    phy.write(28, 0xcc04);  // 100FX/1000X auto-detect on
    EXPECT_EQ(phy.state(), (LinkState{true, 100, true}));
    phy.write(28, 0xfc02);  // copper bank, to reset the PHY
    phy.write(0, 0x8000);
    phy.write(28, 0xfc03);
    EXPECT_FALSE(phy.state().up);
}

}  // namespace
