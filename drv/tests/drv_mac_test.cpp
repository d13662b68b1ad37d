// The port MAC drivers on units of every chip model over the chip model.
#include <gtest/gtest.h>

#include <ostream>

#include "drv_mac.h"
#include "../../soc/tests/unit_fixture.h"

namespace {

using soc_test::UnitTest;

struct Model {
    sim::ChipKind chip;
    const char *name;
    int cpu;  // fast-Ethernet ports are 0 .. cpu-1, gigabit ports follow the CPU port
    int last;
    int off;  // chip numbering offset of the port bitmaps
    bool wide;
};

void PrintTo(const Model &m, std::ostream *os) {
    *os << m.name;
}

const Model kModels[] = {
    {sim::ChipKind::DXP7102A0, "DXP7102A0", 24, 26, 0, false},
    {sim::ChipKind::DXP7102A1, "DXP7102", 24, 26, 0, false},
    {sim::ChipKind::DXP7106, "DXP7106", 24, 28, 24, true},
    {sim::ChipKind::DXP7101, "DXP7101", 48, 52, 0, true},
};

class drv_mac_models : public UnitTest, public ::testing::WithParamInterface<Model> {
  protected:
    void SetUp() override { start(GetParam().chip); }
    const Model &m() { return GetParam(); }
    int q(int port) { return m().wide ? 2 * port - m().cpu + m().off : 2 * port - 25; }
    uint64_t reg(const char *name, int index = 0) { return board->chip().peek(name, index); }
    bool bit(const char *name, int k) { return (reg(name) >> k) & 1; }
};

TEST_P(drv_mac_models, ProbePicksTheDriverByPortClass) {
    const mac_driver_t *d = nullptr;
    ASSERT_EQ(drv_mac_probe(0, 3, &d), 0);
    EXPECT_EQ(d, &drv_mac_fe);
    EXPECT_STREQ(d->drv_name, "drv 10/100mb MAC Driver");
    ASSERT_EQ(drv_mac_probe(0, m().last, &d), 0);
    EXPECT_EQ(d, &drv_mac_ge);
    EXPECT_STREQ(d->drv_name, "drv 10/100/1000Mb MAC Driver");
    ASSERT_EQ(drv_mac_probe(0, m().cpu, &d), 0);
    EXPECT_EQ(d, m().wide ? &drv_mac_ge : &drv_mac_fe);
    d = nullptr;
    EXPECT_EQ(drv_mac_probe(0, m().last + 1, &d), -16);
    EXPECT_EQ(d, nullptr);
}

TEST_P(drv_mac_models, PauseUsesTheModelsBitPositions) {
    const int fe = 5, ge = m().last;
    ASSERT_EQ(drv_mac_fe_ge_pause_set(0, fe, 1, -1), 0);
    EXPECT_TRUE(bit("SW_FLOW_CON", fe + m().off));
    EXPECT_TRUE(bit("QOS_PAUSE_EN", fe + m().off));
    const int enable_bit = m().wide ? 63 : 31;
    EXPECT_TRUE(bit("SW_FLOW_CON", enable_bit));

    ASSERT_EQ(drv_mac_fe_ge_pause_set(0, ge, 1, 0), 0);
    EXPECT_TRUE(bit("SW_FLOW_CON", q(ge) + 1));
    EXPECT_FALSE(bit("SW_FLOW_CON", q(ge)));
    EXPECT_TRUE(bit("QOS_PAUSE_EN", ge + m().off));
    int tx = -1, rx = -1;
    ASSERT_EQ(drv_mac_fe_ge_pause_get(0, ge, &tx, &rx), 0);
    EXPECT_EQ(tx, 1);
    EXPECT_EQ(rx, 0);
    ASSERT_EQ(drv_mac_fe_ge_pause_set(0, ge, -1, 1), 0);
    ASSERT_EQ(drv_mac_fe_ge_pause_get(0, ge, &tx, &rx), 0);
    EXPECT_EQ(tx, 1);
    EXPECT_EQ(rx, 1);

    // Turning pause off on a gigabit port clears its own QOS_PAUSE_EN bit only.
    ASSERT_EQ(drv_mac_fe_ge_pause_set(0, ge, 0, 0), 0);
    EXPECT_FALSE(bit("QOS_PAUSE_EN", ge + m().off));
    EXPECT_TRUE(bit("QOS_PAUSE_EN", fe + m().off));
    ASSERT_EQ(drv_mac_fe_ge_pause_get(0, ge, &tx, &rx), 0);
    EXPECT_EQ(tx + rx, 0);
    // ... and so does a fast-Ethernet port, as it was before its pause.
    ASSERT_EQ(drv_mac_fe_ge_pause_set(0, fe, 0, -1), 0);
    EXPECT_FALSE(bit("SW_FLOW_CON", fe + m().off));
    EXPECT_FALSE(bit("QOS_PAUSE_EN", fe + m().off));
    // A gigabit port that still pauses one way keeps its bit.
    ASSERT_EQ(drv_mac_fe_ge_pause_set(0, ge, 1, 1), 0);
    ASSERT_EQ(drv_mac_fe_ge_pause_set(0, ge, -1, 0), 0);
    EXPECT_TRUE(bit("QOS_PAUSE_EN", ge + m().off));
    EXPECT_TRUE(board->anomalies().empty());
}

TEST_P(drv_mac_models, PauseWithNothingToChangeTouchesNoRegister) {
    board->accessLog().enable(true);
    EXPECT_EQ(drv_mac_fe_ge_pause_set(0, m().last, -1, -1), 0);
    EXPECT_EQ(drv_mac_fe_ge_pause_set(0, 2, -1, 1), 0);  // receive pause has no bit of its own
    EXPECT_EQ(board->accessLog().count(sim::BusOp::Write), 0u);
    EXPECT_FALSE(bit("SW_FLOW_CON", 2 + m().off));
}

TEST_P(drv_mac_models, GigabitInitClearsExactlyItsTwoFlowControlBits) {
    const int ge = m().last;
    // Every port bit of the register on.
    board->chip().poke("SW_FLOW_CON", 0, (~0ull >> (m().wide ? 6 : 35)) & ~((1ull << m().off) - 1));
    const uint64_t before = reg("SW_FLOW_CON");
    ASSERT_EQ(drv_mac_ge_init(0, ge), 0);
    const uint64_t cleared = before & ~reg("SW_FLOW_CON");
    EXPECT_EQ(cleared, 3ull << q(ge));
    // The enable and half-duplex bits are set; the port's MAC is on.
    EXPECT_TRUE(bit("SW_FLOW_CON", m().wide ? 63 : 31));
    EXPECT_TRUE(bit("SW_FLOW_CON", m().wide ? 62 : 30));
    EXPECT_EQ(reg("G_PCTL", ge - m().cpu - 1) & 3, 0u);
    int enable = 0;
    ASSERT_EQ(drv_mac_ge_enable_get(0, ge, &enable), 0);
    EXPECT_EQ(enable, 1);
    ASSERT_EQ(drv_mac_ge_enable_set(0, ge, 0), 0);
    EXPECT_EQ(reg("G_PCTL", ge - m().cpu - 1) & 3, 3u);
    ASSERT_EQ(drv_mac_ge_enable_get(0, ge, &enable), 0);
    EXPECT_EQ(enable, 0);
    EXPECT_TRUE(board->anomalies().empty());
}

TEST_P(drv_mac_models, CpuPortInitOnTheWideModelsReachesItsOwnRegisters) {
    if (!m().wide) GTEST_SKIP() << "the fast-Ethernet driver serves this CPU port";
    board->chip().poke("MII_PCTL", 0, 3);
    board->chip().poke("STS_OVERRIDE_IMP", 0, 0x80);
    ASSERT_EQ(drv_mac_ge_init(0, m().cpu), 0);
    EXPECT_EQ(reg("MII_PCTL") & 3, 0u);
    // The management port's forced link stays.
    EXPECT_EQ(reg("STS_OVERRIDE_IMP") & 0x80, 0x80u);
    EXPECT_TRUE(board->anomalies().empty());
}

TEST_P(drv_mac_models, FastEthernetInitEnablesTheMac) {
    board->chip().poke("TH_PCTL", 7, 3);
    ASSERT_EQ(drv_mac_fe_init(0, 7), 0);
    EXPECT_EQ(reg("TH_PCTL", 7) & 3, 0u);
    EXPECT_FALSE(bit("SW_FLOW_CON", 7 + m().off));
    if (m().wide) {
        EXPECT_EQ(reg("STS_OVERRIDE_P", 7) & 0x80, 0u);  // no PHY scan
    }
    ASSERT_EQ(drv_mac_fe_enable_set(0, 7, 0), 0);
    EXPECT_EQ(reg("TH_PCTL", 7) & 3, 3u);
    EXPECT_TRUE(board->anomalies().empty());
}

TEST_P(drv_mac_models, OverridesAreInvertedOnDxp7102FastEthernetPorts) {
    const int fe = 4, ge = m().cpu + 1;
    ASSERT_EQ(drv_mac_fe_ge_duplex_set(0, fe, 1), 0);
    EXPECT_EQ((reg("STS_OVERRIDE_P", fe) >> 1) & 1, m().wide ? 1u : 0u);
    ASSERT_EQ(drv_mac_fe_ge_speed_set(0, fe, 1000), 0);
    EXPECT_EQ((reg("STS_OVERRIDE_P", fe) >> 2) & 1, m().wide ? 0u : 1u);
    ASSERT_EQ(drv_mac_fe_ge_duplex_set(0, ge, 1), 0);
    EXPECT_EQ((reg("STS_OVERRIDE_GP", 0) >> 1) & 1, 1u);
    ASSERT_EQ(drv_mac_fe_ge_speed_set(0, ge, 100), 0);
    EXPECT_EQ((reg("STS_OVERRIDE_GP", 0) >> 2) & 3, 1u);
    ASSERT_EQ(drv_mac_fe_ge_speed_set(0, ge, 1000), 0);
    EXPECT_EQ((reg("STS_OVERRIDE_GP", 0) >> 2) & 3, 2u);
    // The CPU port has no status override here.
    EXPECT_EQ(drv_mac_fe_ge_duplex_set(0, m().cpu, 1), -4);
    EXPECT_EQ(drv_mac_fe_ge_speed_set(0, m().cpu, 100), -4);
}

TEST_P(drv_mac_models, SpeedAndDuplexFollowThePortStatus) {
    const int fe = 6, ge = m().last;
    board->chip().linkUp(fe, sim::LinkPartner::autonegotiating(sim::kAbility100Full));
    board->chip().linkUp(ge, sim::LinkPartner::autonegotiating(sim::kAbility1000Full));
    int speed = 0, duplex = 0;
    ASSERT_EQ(drv_mac_fe_ge_speed_get(0, fe, &speed), 0);
    EXPECT_EQ(speed, 100);
    ASSERT_EQ(drv_mac_fe_ge_duplex_get(0, fe, &duplex), 0);
    EXPECT_EQ(duplex, 1);
    ASSERT_EQ(drv_mac_fe_ge_speed_get(0, ge, &speed), 0);
    EXPECT_EQ(speed, 1000);
    ASSERT_EQ(drv_mac_fe_ge_speed_get(0, m().cpu, &speed), 0);
    EXPECT_EQ(speed, m().wide ? 1000 : 100);
    ASSERT_EQ(drv_mac_fe_ge_speed_get(0, 7, &speed), 0);
    EXPECT_EQ(speed, 10);  // no link: the speed bit is clear
    // Duplex of the CPU port: only the DXP7102 answers it.
    EXPECT_EQ(drv_mac_fe_ge_duplex_get(0, m().cpu, &duplex), m().wide ? -4 : 0);

    // A two-bit speed code of 3 is no speed at all.
    board->chip().poke("SPDSTS", 0, reg("SPDSTS") | 3ull << q(ge));
    speed = 55;
    EXPECT_EQ(drv_mac_fe_ge_speed_get(0, ge, &speed), -11);
    EXPECT_EQ(speed, 55);
}

TEST_P(drv_mac_models, PortsOfTheWrongClassAreRefused) {
    int v = 0;
    uint32_t ability = 0;
    board->accessLog().enable(true);
    for (int port : {m().last + 1, 60, -1}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(drv_mac_fe_init(0, port), -4);
        EXPECT_EQ(drv_mac_ge_init(0, port), -4);
        EXPECT_EQ(drv_mac_fe_enable_set(0, port, 1), -4);
        EXPECT_EQ(drv_mac_fe_enable_get(0, port, &v), -4);
        EXPECT_EQ(drv_mac_ge_enable_set(0, port, 1), -4);
        EXPECT_EQ(drv_mac_ge_enable_get(0, port, &v), -4);
        EXPECT_EQ(drv_mac_fe_ge_interface_get(0, port, &v), -4);
        EXPECT_EQ(drv_mac_fe_ge_ability_get(0, port, &ability), -4);
        EXPECT_EQ(drv_mac_fe_ge_speed_get(0, port, &v), -4);
        EXPECT_EQ(drv_mac_fe_ge_speed_set(0, port, 100), -4);
        EXPECT_EQ(drv_mac_fe_ge_duplex_get(0, port, &v), -4);
        EXPECT_EQ(drv_mac_fe_ge_duplex_set(0, port, 1), -4);
        EXPECT_EQ(drv_mac_fe_ge_pause_set(0, port, 1, 1), -4);
        EXPECT_EQ(drv_mac_fe_ge_pause_get(0, port, &v, &v), -4);
    }
    // Each driver keeps to its own ports.
    EXPECT_EQ(drv_mac_fe_init(0, m().last), -4);
    EXPECT_EQ(drv_mac_fe_enable_get(0, m().last, &v), -4);
    EXPECT_EQ(drv_mac_ge_init(0, 3), -4);
    EXPECT_EQ(drv_mac_ge_enable_set(0, 3, 0), -4);
    EXPECT_EQ(board->accessLog().count(sim::BusOp::Write), 0u);
    EXPECT_TRUE(board->anomalies().empty());
}

TEST_P(drv_mac_models, FixedAnswers) {
    int v = 0;
    uint32_t ability = 0;
    ASSERT_EQ(drv_mac_fe_ge_frame_max_get(0, 1, &v), 0);
    EXPECT_EQ(v, m().wide ? 2048 : 1536);
    EXPECT_EQ(drv_mac_fe_ge_frame_max_set(0, 1, 1518), -16);
    ASSERT_EQ(drv_mac_fe_ge_interface_get(0, 1, &v), 0);
    EXPECT_EQ(v, SOC_PORT_IF_MII);
    ASSERT_EQ(drv_mac_fe_ge_interface_get(0, m().cpu, &v), 0);
    EXPECT_EQ(v, m().wide ? SOC_PORT_IF_GMII : SOC_PORT_IF_MII);
    ASSERT_EQ(drv_mac_fe_ge_ability_get(0, 1, &ability), 0);
    EXPECT_EQ(ability, 0x4c0fu);
    ASSERT_EQ(drv_mac_fe_ge_ability_get(0, m().last, &ability), 0);
    EXPECT_EQ(ability, 0x1fc2fu);
    ASSERT_EQ(drv_mac_fe_ge_ability_get(0, m().cpu, &ability), 0);
    EXPECT_EQ(ability, m().wide ? 0x1fc2fu : 0x4c0fu);
    EXPECT_EQ(drv_mac_fe_ge_loopback_set(0, 1, 1), -16);
    EXPECT_EQ(drv_mac_fe_ge_loopback_set(0, 1, 0), 0);
    v = 7;
    ASSERT_EQ(drv_mac_fe_ge_loopback_get(0, 1, &v), 0);
    EXPECT_EQ(v, 0);
    uint8_t mac[6] = {};
    EXPECT_EQ(drv_mac_fe_ge_pause_addr_set(0, 1, mac), 0);
    EXPECT_EQ(drv_mac_fe_ge_pause_addr_get(0, 1, mac), -16);
    EXPECT_EQ(drv_mac_fe_ge_interface_set(0, 1, SOC_PORT_IF_MII), -16);
    v = 9;
    EXPECT_EQ(drv_mac_fe_ge_ifg_get(0, 1, 100, 1, &v), 0);
    EXPECT_EQ(v, 9);
}

INSTANTIATE_TEST_SUITE_P(models, drv_mac_models, ::testing::ValuesIn(kModels),
                         [](const auto &info) { return std::string(info.param.name); });

class drv_mac : public UnitTest {};

TEST_F(drv_mac, Dxp7102GigabitInterfaceFollowsTheStraps) {
    start(sim::ChipKind::DXP7102A1);
    // Port 25 strapped to GMII, port 26 to TBI.
    board->chip().setResetValue("STRAP_STS", 0, (2u << 16) | (1u << 18));
    int intf = 0;
    ASSERT_EQ(drv_mac_fe_ge_interface_get(0, 25, &intf), 0);
    EXPECT_EQ(intf, SOC_PORT_IF_GMII);
    ASSERT_EQ(drv_mac_fe_ge_interface_get(0, 26, &intf), 0);
    EXPECT_EQ(intf, SOC_PORT_IF_TBI);
    board->chip().setResetValue("STRAP_STS", 0, 3u << 16);
    ASSERT_EQ(drv_mac_fe_ge_interface_get(0, 25, &intf), 0);
    EXPECT_EQ(intf, SOC_PORT_IF_MII);
    ASSERT_EQ(drv_mac_fe_ge_interface_get(0, 26, &intf), 0);
    EXPECT_EQ(intf, SOC_PORT_IF_RGMII);
}

TEST_F(drv_mac, WideGigabitPortsAreSgmii) {
    start(sim::ChipKind::DXP7101);
    int intf = 0;
    ASSERT_EQ(drv_mac_fe_ge_interface_get(0, 50, &intf), 0);
    EXPECT_EQ(intf, SOC_PORT_IF_SGMII);
}

}  // namespace
