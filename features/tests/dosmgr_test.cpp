// DoS prevention on the 52-port board's chip: the switch controls and rules
// each type installs, attack frames dropped while normal ones pass, and the
// "dos" settings item.
#include "dosmgr.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "../src/dosmgr_internal.h"
#include "feature_fixture.h"
#include "soc_arl.h"
#include "soc_counter.h"
#include "sim/board.h"

namespace {

constexpr uint32_t kHostA = 0x0a000001, kHostB = 0x0a000002;

class dosmgr : public feature_test::BoardTest {
  protected:
    sim::ChipKind chip() const override { return sim::ChipKind::DXP7101; }
    void SetUp() override {
        BoardTest::SetUp();
        ASSERT_EQ(dos_init(), 0);
        board->chip().poke("SWMODE", 0, 0x03);  // forwarding on
        dxp_pbmp_t up{};
        for (int u = 1; u <= 3; u++) {
            board->port(chip_port(u)).linkUp();
            ASSERT_EQ(dxp_port_enable_set(0, chip_port(u), 1), 0);
            dxp_pbmp_port_add(&up, chip_port(u));
        }
        ASSERT_EQ(dxp_linkscan_update(0, up), 0);
    }
    void TearDown() override {
        dos_attack_reset();
        BoardTest::TearDown();
    }
    static int chip_port(int uport) {
        int lport = 0, unit = 0, port = 0;
        EXPECT_EQ(ulpm_to_lport(uport, &lport), 0);
        EXPECT_EQ(dxpx_lport_to_unit_port(lport, &unit, &port), 0);
        return port;
    }
    static int control(int type) {
        int value = -1;
        EXPECT_EQ(dxpx_switch_control_get(type, &value), 0);
        return value;
    }
    static int rules() {
        dxp_field_group_status_t st{};
        if (dxp_field_group_status_get(0, dos_group_get(), &st) != 0) return -1;
        return st.entries_total - st.entries_free;
    }
    // How many of n copies of the frame, sent in at user port 1, reach user port 2.
    size_t passed(const sim::Frame &frame, int n = 1) {
        board->port(chip_port(2)).clearSent();
        board->port(chip_port(1)).injectBurst(frame, n);
        board->fabric().drain();
        return board->port(chip_port(2)).sent().size();
    }
    static bool on(int uport, int type) {
        int enabled = 0, rate = 0;
        dos_attack_get(uport, type, &enabled, &rate);
        return enabled != 0;
    }
};

TEST_F(dosmgr, SwitchControlTypesDropTheirAttacksOnEveryPort) {
    const sim::Frame land = sim::FrameBuilder().udp(kHostA, kHostA, 1000, 53).build();
    const sim::Frame xmas = sim::FrameBuilder().tcp(kHostA, kHostB, 2000, 80, 0x29).build();
    const sim::Frame normal = sim::FrameBuilder().tcp(kHostA, kHostB, 2000, 80, 0x10).build();
    EXPECT_EQ(passed(land), 1u);

    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_LAND, 1, 0), 0);
    EXPECT_EQ(control(dxpSwitchDosAttackToCpu), 1);
    EXPECT_EQ(control(dxpSwitchDosAttackSipEqualDip), 1);
    EXPECT_EQ(passed(land), 0u);
    EXPECT_EQ(passed(normal), 1u);
    EXPECT_TRUE(on(52, DOS_ATTACK_LAND));

    // The TCP-flag types share one control; each keeps its own bit.
    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_NULL_SCAN, 1, 0), 0);
    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_XMAS_SCAN, 1, 0), 0);
    EXPECT_EQ(control(dxpSwitchDosAttackTcpFlags), 1);
    EXPECT_EQ(passed(xmas), 0u);
    EXPECT_EQ(passed(normal), 1u);
    EXPECT_FALSE(on(1, DOS_ATTACK_SYN_FIN));
    EXPECT_TRUE(on(1, DOS_ATTACK_XMAS_SCAN));

    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_LAND, 0, 0), 0);
    EXPECT_EQ(control(dxpSwitchDosAttackSipEqualDip), 0);
    EXPECT_EQ(passed(land), 1u);

    // Bad input changes nothing.
    EXPECT_EQ(dos_attack_set(-1, 11, 1, 0), SOC_E_PARAM);
    EXPECT_EQ(dos_attack_set(53, DOS_ATTACK_LAND, 1, 0), SOC_E_PARAM);
    EXPECT_EQ(dos_attack_set(1, DOS_ATTACK_PING_FLOOD, 1, 0), SOC_E_PARAM);
    EXPECT_FALSE(on(1, DOS_ATTACK_LAND));
    EXPECT_FALSE(on(1, DOS_ATTACK_PING_FLOOD));
}

TEST_F(dosmgr, SmurfRulesFollowThePortSet) {
    const sim::Frame smurf = sim::FrameBuilder().ipv4(kHostA, 0x0a0000ff, 1).build();
    const sim::Frame ping = sim::FrameBuilder().ipv4(kHostA, kHostB, 1).build();
    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_SMURF, 1, 0), 0);
    EXPECT_EQ(rules(), 1);  // every port: no port qualifier
    EXPECT_EQ(passed(smurf), 0u);
    EXPECT_EQ(passed(ping), 1u);

    // Taking port 1 out leaves per-port rules that no longer match it.
    ASSERT_EQ(dos_attack_set(1, DOS_ATTACK_SMURF, 0, 0), 0);
    EXPECT_GT(rules(), 1);
    EXPECT_EQ(passed(smurf), 1u);
    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_SMURF, 0, 0), 0);
    ASSERT_EQ(dos_attack_set(1, DOS_ATTACK_SMURF, 1, 0), 0);
    EXPECT_EQ(rules(), 1);
    EXPECT_EQ(passed(smurf), 0u);
    board->port(chip_port(3)).clearSent();
    board->port(chip_port(2)).inject(smurf);  // port 2 is not protected
    board->fabric().drain();
    EXPECT_EQ(board->port(chip_port(3)).sent().size(), 1u);
}

// With the field processor nearly full, a change whose rules do not fit is
// refused, on or off, and every port keeps the protection it had.
TEST_F(dosmgr, ARefusedChangeLeavesEveryPortAsItWas) {
    const sim::Frame smurf = sim::FrameBuilder().ipv4(kHostA, 0x0a0000ff, 1).build();
    const sim::Frame ping = sim::FrameBuilder().ipv4(kHostA, kHostB, 1).build();
    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_SMURF, 1, 0), 0);
    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_PING_FLOOD, 1, DOS_FLOOD_RATE), 0);
    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_SYN_FLOOD, 1, 128), 0);
    // Other rules take every row but two.
    feature_test::FieldFiller filler(2);
    const int before = rules();
    // Port 1 alone off needs a rule for each block of the other ports.
    EXPECT_EQ(dos_attack_set(1, DOS_ATTACK_SMURF, 0, 0), SOC_E_RESOURCE);
    EXPECT_EQ(dos_attack_set(2, DOS_ATTACK_PING_FLOOD, 0, 0), SOC_E_RESOURCE);
    EXPECT_EQ(passed(smurf), 0u);
    EXPECT_EQ(dos_attack_set(2, DOS_ATTACK_SYN_FLOOD, 0, 0), SOC_E_RESOURCE);
    EXPECT_EQ(passed(smurf), 0u);
    feature_test::Ports odd({1, 3, 5, 7, 9, 11});
    EXPECT_EQ(dos_attack_set_ports(&odd.bmp, DOS_ATTACK_SYN_FLOOD, 1, 64), SOC_E_RESOURCE);
    EXPECT_EQ(rules(), before);
    EXPECT_EQ(passed(smurf), 0u);
    EXPECT_LT(passed(ping, 400), 400u);
    board->port(chip_port(3)).clearSent();
    board->port(chip_port(2)).inject(smurf);
    EXPECT_EQ(board->port(chip_port(3)).sent().size(), 0u);
    for (int u : {1, 2, 52}) {
        EXPECT_TRUE(on(u, DOS_ATTACK_SMURF)) << u;
        EXPECT_TRUE(on(u, DOS_ATTACK_PING_FLOOD)) << u;
        EXPECT_TRUE(on(u, DOS_ATTACK_SYN_FLOOD)) << u;
    }
    filler.release();
    EXPECT_EQ(dos_attack_set(1, DOS_ATTACK_SMURF, 0, 0), 0);
    EXPECT_EQ(passed(smurf), 1u);
}

// The chip acts on the first row a frame matches: the smurf drop comes
// before the ping meter, which lets a frame in profile pass, and before
// another feature's rule for the same sender, whichever was made first.
TEST_F(dosmgr, SmurfDropRanksAboveMetersAndOtherRules) {
    const sim::Frame smurf = sim::FrameBuilder().ipv4(kHostA, 0x0a0000ff, 1).build();
    dxp_field_qset_t q{};
    dxp_field_qset_add(&q, dxpFieldQualifySrcIp);
    int group = 0, entry = 0;
    ASSERT_EQ(dxp_field_group_create(0, q, -1, &group), 0);
    ASSERT_EQ(dxp_field_entry_create(0, group, &entry), 0);
    ASSERT_EQ(dxp_field_qualify_SrcIp(0, entry, kHostA, 0xffffffff), 0);
    ASSERT_EQ(dxp_field_action_add(0, entry, dxpFieldActionPrioIntNew, 3, 0), 0);
    ASSERT_EQ(dxp_field_entry_install(0, entry), 0);
    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_PING_FLOOD, 1, DOS_FLOOD_RATE), 0);
    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_SMURF, 1, 0), 0);
    EXPECT_EQ(passed(smurf), 0u);
    ASSERT_EQ(dos_attack_set(2, DOS_ATTACK_SMURF, 0, 0), 0);
    ASSERT_EQ(dos_attack_set(2, DOS_ATTACK_SMURF, 1, 0), 0);
    EXPECT_EQ(passed(smurf), 0u);
    dxp_field_entry_destroy(0, entry);
    dxp_field_group_destroy(0, group);
}

TEST_F(dosmgr, FloodsAreMeteredAtTheirRate) {
    const sim::Frame ping = sim::FrameBuilder().ipv4(kHostA, kHostB, 1).build();
    const sim::Frame udp = sim::FrameBuilder().udp(kHostA, kHostB, 1000, 53).build();
    ASSERT_EQ(dos_attack_set(1, DOS_ATTACK_PING_FLOOD, 1, 128), 0);
    int enabled = 0, rate = 0;
    dos_attack_get(1, DOS_ATTACK_PING_FLOOD, &enabled, &rate);
    EXPECT_EQ(enabled, 1);
    EXPECT_EQ(rate, 128);
    const size_t through = passed(ping, 400);
    EXPECT_GT(through, 0u);
    EXPECT_LT(through, 400u);
    EXPECT_EQ(passed(udp, 400), 400u);
    // Ports off the first rate share one meter rate: the latest.
    ASSERT_EQ(dos_attack_set(3, DOS_ATTACK_PING_FLOOD, 1, 256), 0);
    dos_attack_get(1, DOS_ATTACK_PING_FLOOD, &enabled, &rate);
    EXPECT_EQ(rate, 256);

    ASSERT_EQ(dos_attack_set(1, DOS_ATTACK_SYN_FLOOD, 1, DOS_FLOOD_RATE), 0);
    EXPECT_EQ(rules(), 3);  // SYN and SYN+ACK beside the ping rule
    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_PING_FLOOD, 0, 0), 0);
    EXPECT_EQ(rules(), 2);
    EXPECT_EQ(passed(ping, 400), 400u);
}

// The monitor changes the API's controls directly: the manager shows what
// they do and switches them off again.
TEST_F(dosmgr, ControlsSetBesideTheManagerAreShownAndCleared) {
    const sim::Frame land = sim::FrameBuilder().udp(kHostA, kHostA, 1000, 53).build();
    const sim::Frame smurf = sim::FrameBuilder().ipv4(kHostA, 0x0a0000ff, 1).build();
    ASSERT_EQ(dxpx_switch_control_set(dxpSwitchDosAttackToCpu, 1), 0);
    ASSERT_EQ(dxpx_switch_control_set(dxpSwitchDosAttackSipEqualDip, 1), 0);
    ASSERT_EQ(dxp_switch_control_port_set(0, chip_port(1), dxpSwitchDosAttackTcpSmurf, 1), 0);
    EXPECT_TRUE(on(-1, DOS_ATTACK_LAND));
    EXPECT_TRUE(on(1, DOS_ATTACK_SMURF));
    EXPECT_FALSE(on(2, DOS_ATTACK_SMURF));
    EXPECT_EQ(passed(smurf), 0u);

    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_LAND, 0, 0), 0);
    EXPECT_EQ(control(dxpSwitchDosAttackSipEqualDip), 0);
    EXPECT_EQ(passed(land), 1u);
    ASSERT_EQ(dos_attack_set(1, DOS_ATTACK_SMURF, 0, 0), 0);
    EXPECT_FALSE(on(1, DOS_ATTACK_SMURF));
    EXPECT_EQ(passed(smurf), 1u);
}

// The monitor's DOS sets each port's own control: the manager shows a type
// on where every port has it, on some ports where some have it, and
// switching it off reaches every port.
TEST_F(dosmgr, PortControlsOfTheMonitorShowAndGoOffEverywhere) {
    const sim::Frame blat = sim::FrameBuilder().tcp(kHostA, kHostB, 80, 80, 0x10).build();
    ASSERT_EQ(dxpx_switch_control_set(dxpSwitchDosAttackToCpu, 1), 0);
    dxp_pbmp_t front{};  // as `dos all enable 2`: the front ports, not the CPU's
    for (int u = 1; u <= board_num_uports; u++)
        dxp_pbmp_port_add(&front, chip_port(u));
    ASSERT_EQ(dxp_tarn_switch_control_pbmp_set(0, front, dxpSwitchDosAttackL4Port, 1), 0);
    EXPECT_EQ(dos_attack_reach(DOS_ATTACK_BLAT), DOS_REACH_ALL);
    EXPECT_TRUE(on(-1, DOS_ATTACK_BLAT));
    EXPECT_EQ(passed(blat), 0u);

    ASSERT_EQ(dxp_switch_control_port_set(0, chip_port(2), dxpSwitchDosAttackL4Port, 0), 0);
    EXPECT_EQ(dos_attack_reach(DOS_ATTACK_BLAT), DOS_REACH_SOME);
    EXPECT_FALSE(on(-1, DOS_ATTACK_BLAT));
    EXPECT_TRUE(on(1, DOS_ATTACK_BLAT));
    EXPECT_FALSE(on(2, DOS_ATTACK_BLAT));
    EXPECT_EQ(dos_attack_reach(DOS_ATTACK_LAND), DOS_REACH_NONE);

    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_BLAT, 0, 0), 0);
    EXPECT_EQ(dos_attack_reach(DOS_ATTACK_BLAT), DOS_REACH_NONE);
    for (int u : {1, 3, 52}) {
        int value = -1;
        ASSERT_EQ(dxp_switch_control_port_get(0, chip_port(u), dxpSwitchDosAttackL4Port, &value),
                  0);
        EXPECT_EQ(value, 0) << u;
    }
    EXPECT_EQ(passed(blat), 1u);
    // Back on from the manager: every port again.
    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_BLAT, 1, 0), 0);
    EXPECT_EQ(dos_attack_reach(DOS_ATTACK_BLAT), DOS_REACH_ALL);
}

// A change of many ports builds in one pass the rules that a change of each
// port in turn builds.
TEST_F(dosmgr, ManyPortsInOneChangeBuildWhatPortByPortChangesBuild) {
    const sim::Frame smurf = sim::FrameBuilder().ipv4(kHostA, 0x0a0000ff, 1).build();
    const std::initializer_list<int> some = {1, 2, 5, 9, 10, 11, 30};
    feature_test::Ports ports(some);
    struct Seen {
        int rules;
        std::vector<int> on;
        size_t passed;
    };
    const auto seen = [&](int type) {
        Seen s{rules(), {}, passed(smurf)};
        for (int u = 1; u <= board_num_uports; u++) {
            int enabled = 0, rate = 0;
            dos_attack_get(u, type, &enabled, &rate);
            if (enabled) s.on.push_back(u * 10000 + rate);
        }
        return s;
    };
    for (int type : {DOS_ATTACK_SMURF, DOS_ATTACK_PING_FLOOD, DOS_ATTACK_SYN_FLOOD}) {
        const int rate = type == DOS_ATTACK_SMURF ? 0 : 128;
        for (int u : some)
            ASSERT_EQ(dos_attack_set(u, type, 1, rate), 0);
        const Seen one_by_one = seen(type);
        dos_attack_reset();
        EXPECT_EQ(seen(type).on.size(), 0u);
        ASSERT_EQ(dos_attack_set_ports(&ports.bmp, type, 1, rate), 0);
        const Seen at_once = seen(type);
        EXPECT_EQ(at_once.rules, one_by_one.rules) << type;
        EXPECT_EQ(at_once.on, one_by_one.on) << type;
        EXPECT_EQ(at_once.passed, one_by_one.passed) << type;
        EXPECT_EQ(at_once.on.size(), some.size()) << type;
        dos_attack_reset();
    }
    EXPECT_EQ(passed(smurf), 1u);
    EXPECT_EQ(dos_attack_set_ports(&ports.bmp, 11, 1, 0), SOC_E_PARAM);
    EXPECT_EQ(dos_attack_set_ports(&ports.bmp, DOS_ATTACK_PING_FLOOD, 1, 0), SOC_E_PARAM);
    EXPECT_EQ(dos_attack_set_ports(nullptr, DOS_ATTACK_SMURF, 1, 0), SOC_E_PARAM);
    EXPECT_FALSE(on(1, DOS_ATTACK_PING_FLOOD));
}

// A port added to a type writes its own rules only: the rules of the ports
// that keep the type stay in their rows.
TEST_F(dosmgr, APortAddedLeavesTheRulesOfTheOthers) {
    dxp_linkscan_detach(0);  // only the manager writes while the log counts
    soc_tarn_counter_stop(0);
    soc_arl_stop(0);
    board->accessLog().enable(true);
    const auto writes_of_port_30 = [&] {
        board->accessLog().clear();
        EXPECT_EQ(dos_attack_set(30, DOS_ATTACK_SYN_FLOOD, 1, 128), 0);
        return board->accessLog().count(sim::BusOp::Write);
    };
    const size_t alone = writes_of_port_30();
    dos_attack_reset();
    feature_test::Ports first_eight({1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_EQ(dos_attack_set_ports(&first_eight.bmp, DOS_ATTACK_SYN_FLOOD, 1, 128), 0);
    const int before = rules();
    EXPECT_LE(writes_of_port_30(), alone);
    EXPECT_GT(rules(), before);
    // Another rate for the set: its meters all change.
    ASSERT_EQ(dos_attack_set(30, DOS_ATTACK_SYN_FLOOD, 1, 256), 0);
    int enabled = 0, rate = 0;
    dos_attack_get(1, DOS_ATTACK_SYN_FLOOD, &enabled, &rate);
    EXPECT_EQ(rate, 256);
}

TEST(dos_port_nodes, NeighbouringPortsShareANode) {
    auto nodes = dos_port_node_list(uint64_t{1} << 6 | uint64_t{1} << 7);
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].value, 6);
    EXPECT_EQ(nodes[0].mask, 62);
    nodes = dos_port_node_list(0x0f | uint64_t{1} << 9);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0].value, 0);
    EXPECT_EQ(nodes[0].mask, 60);
    EXPECT_EQ(nodes[1].value, 9);
}

TEST_F(dosmgr, SettingsItemRestoresEveryTypeAndRateSet) {
    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_BLAT, 1, 0), 0);
    ASSERT_EQ(dos_attack_set(3, DOS_ATTACK_SMURF, 1, 0), 0);
    ASSERT_EQ(dos_attack_set(2, DOS_ATTACK_SYN_FLOOD, 1, DOS_FLOOD_RATE), 0);
    ASSERT_EQ(dos_attack_set(5, DOS_ATTACK_SYN_FLOOD, 1, 128), 0);
    feature_test::MemoryMedium saved;
    ASSERT_GT(saved.save(dos_item), 0);
    EXPECT_EQ(saved.bytes.size(), 13u * (8 + 7));

    dos_attack_reset();
    EXPECT_EQ(control(dxpSwitchDosAttackL4Port), 0);
    ASSERT_GT(saved.load(dos_item), 0);
    EXPECT_EQ(control(dxpSwitchDosAttackL4Port), 1);
    EXPECT_TRUE(on(52, DOS_ATTACK_BLAT));
    EXPECT_TRUE(on(3, DOS_ATTACK_SMURF));
    EXPECT_FALSE(on(4, DOS_ATTACK_SMURF));
    int enabled = 0, rate = 0;
    dos_attack_get(5, DOS_ATTACK_SYN_FLOOD, &enabled, &rate);
    EXPECT_EQ(rate, 128);
    dos_attack_get(2, DOS_ATTACK_SYN_FLOOD, &enabled, &rate);
    EXPECT_EQ(rate, DOS_FLOOD_RATE);
    EXPECT_FALSE(on(1, DOS_ATTACK_SYN_FLOOD));
    // Loaded again over what runs, and over a change the monitor made.
    ASSERT_GT(saved.load(dos_item), 0);
    EXPECT_TRUE(on(3, DOS_ATTACK_SMURF));
    ASSERT_EQ(dos_attack_set(4, DOS_ATTACK_SMURF, 1, 0), 0);
    ASSERT_GT(saved.load(dos_item), 0);
    EXPECT_FALSE(on(4, DOS_ATTACK_SMURF));
    EXPECT_TRUE(on(3, DOS_ATTACK_SMURF));
    EXPECT_EQ(control(dxpSwitchDosAttackL4Port), 1);
    saved.bytes.resize(20);
    EXPECT_EQ(saved.load(dos_item), -1);  // a short record changes nothing
    EXPECT_TRUE(on(3, DOS_ATTACK_SMURF));
}

// A type the monitor switched on for some ports only is stored and comes
// back for those ports.
TEST_F(dosmgr, SettingsItemKeepsATypeOfSomePorts) {
    const sim::Frame blat = sim::FrameBuilder().tcp(kHostA, kHostB, 80, 80, 0x10).build();
    ASSERT_EQ(dxpx_switch_control_set(dxpSwitchDosAttackToCpu, 1), 0);
    dxp_pbmp_t two{};
    dxp_pbmp_port_add(&two, chip_port(1));
    dxp_pbmp_port_add(&two, chip_port(3));
    ASSERT_EQ(dxp_tarn_switch_control_pbmp_set(0, two, dxpSwitchDosAttackL4Port, 1), 0);
    ASSERT_EQ(dos_attack_set(-1, DOS_ATTACK_LAND, 1, 0), 0);
    feature_test::MemoryMedium saved;
    ASSERT_GT(saved.save(dos_item), 0);

    dos_attack_reset();
    EXPECT_EQ(dos_attack_reach(DOS_ATTACK_BLAT), DOS_REACH_NONE);
    EXPECT_EQ(passed(blat), 1u);
    ASSERT_GT(saved.load(dos_item), 0);
    EXPECT_EQ(dos_attack_reach(DOS_ATTACK_BLAT), DOS_REACH_SOME);
    EXPECT_EQ(dos_attack_reach(DOS_ATTACK_LAND), DOS_REACH_ALL);
    EXPECT_TRUE(on(1, DOS_ATTACK_BLAT));
    EXPECT_FALSE(on(2, DOS_ATTACK_BLAT));
    EXPECT_TRUE(on(3, DOS_ATTACK_BLAT));
    EXPECT_EQ(passed(blat), 0u);
    feature_test::MemoryMedium again;
    ASSERT_GT(again.save(dos_item), 0);
    EXPECT_EQ(again.bytes, saved.bytes);
}

// The 26-port board's chip has no field processor: the all-port checks are
// refused, not shown on and not saved as on.
class dosmgr_without_field_processor : public feature_test::BoardTest {
  protected:
    void SetUp() override {
        BoardTest::SetUp();
        ASSERT_EQ(dos_init(), 0);
    }
};

TEST_F(dosmgr_without_field_processor, AllPortChecksAreRefused) {
    feature_test::MemoryMedium before;
    ASSERT_GT(before.save(dos_item), 0);
    for (int type : {DOS_ATTACK_LAND, DOS_ATTACK_BLAT, DOS_ATTACK_XMAS_SCAN})
        EXPECT_EQ(dos_attack_set(-1, type, 1, 0), SOC_E_UNAVAIL) << type;
    EXPECT_EQ(dos_attack_set(2, DOS_ATTACK_SMURF, 1, 0), SOC_E_UNAVAIL);
    int enabled = -1, rate = 0;
    dos_attack_get(1, DOS_ATTACK_LAND, &enabled, &rate);
    EXPECT_EQ(enabled, 0);
    feature_test::MemoryMedium after;
    ASSERT_GT(after.save(dos_item), 0);
    EXPECT_EQ(after.bytes, before.bytes);
    EXPECT_EQ(dos_attack_set(-1, DOS_ATTACK_LAND, 0, 0), 0);
}

}  // namespace
