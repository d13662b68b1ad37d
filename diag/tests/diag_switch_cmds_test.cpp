// The monitor's switching-feature commands over the chip model: what they
// set is checked in the chip's tables and in where injected frames go.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "diag_shell.h"
#include "diag_unit_fixture.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "port_reserve.h"
#include "sim/board.h"

namespace {

class diag_switch : public diag_test::MonitorUnitTest {
  protected:
    void SetUp() override {
        MonitorUnitTest::SetUp();
        ASSERT_EQ(dxp_dispatch_register(&dxp_tarn_dispatch), 0);
        ASSERT_EQ(dxp_init(0), 0);
        soc_test::PrintCapture::get().clear();
    }
    // Ports fe1-fe4 up and forwarding.
    void linksUp() {
        board->chip().poke("SWMODE", 0, 0x03);  // forwarding on, as the chip reset init leaves it
        dxp_pbmp_t up{};
        for (int p = 1; p <= 4; p++) {
            board->port(p).linkUp();
            ASSERT_EQ(dxp_port_enable_set(0, p, 1), 0);
            dxp_pbmp_port_add(&up, p);
        }
        ASSERT_EQ(dxp_linkscan_update(0, up), 0);
    }
    // How many frames each of fe2-fe4 sent for a broadcast arriving on fe1.
    std::vector<size_t> flood() {
        std::vector<size_t> before;
        for (int p = 2; p <= 4; p++)
            before.push_back(board->port(p).sent().size());
        board->port(1).inject(sim::FrameBuilder().src(0x00102030405aull).build());
        board->fabric().drain();
        std::vector<size_t> got;
        for (int p = 2; p <= 4; p++)
            got.push_back(board->port(p).sent().size() - before[p - 2]);
        return got;
    }
    std::optional<sim::TableEngine::L2Hit> l2(uint64_t mac, uint16_t vid) {
        return board->chip().tables().lookup(mac, vid);
    }
};

TEST_F(diag_switch, AgeAndBpduSlots) {
    EXPECT_EQ(run("AGE 0"), "Set age timer to 0. (disabled)\n");
    EXPECT_EQ(run("AGE"), "Current age timer is 0.\n");
    EXPECT_EQ(run("AGE 300"), "Set age timer to 300. \n");
    // A word that is no count of seconds, or one past an int that would
    // wrap to 0, is refused by its value.
    for (const char *word : {"3x", "-5", "4294967296"})
        EXPECT_EQ(run(std::string("AGE ") + word, -1),
                  std::string("AGE ERROR: age time ") + word +
                      " is not a number of seconds (0 for none); nothing changed\n");
    EXPECT_EQ(run("AGE"), "Current age timer is 300.\n");

    const int slots = dxp_l2_bpdu_count(0);
    ASSERT_GT(slots, 0);
    EXPECT_EQ(run("BPDU add Index=" + std::to_string(slots), -1),
              "BPDU ERROR: support " + std::to_string(slots) + " BUPUs\n");
    EXPECT_EQ(run("BPDU add Index=0 MACaddress=01:80:c2:00:00:05"), "");
    EXPECT_TRUE(has(run("BPDU show"), "\tBPDU 0: 01:80:c2:00:00:05\n")) << run("BPDU show");
    EXPECT_EQ(run("BPDU del Index=0"), "");
    dxp_mac_t mac = {1};
    ASSERT_EQ(dxp_l2_bpdu_get(0, 0, mac), 0);
    EXPECT_EQ(mac[0] | mac[5], 0);
    EXPECT_TRUE(has(run("BPDU", -2), "Usage (BPDU)"));
    EXPECT_TRUE(has(run("BPDU sideways", -2), "Usage (BPDU)"));
}

TEST_F(diag_switch, L2AddressesReachTheChipTable) {
    std::string out = run("L2 add PortBitMap=fe1-fe3 MACaddress=00:00:00:00:aa:01 STatic=true");
    EXPECT_TRUE(has(out, "ADD: mac=00:00:00:00:aa:03 vlan=1 ")) << out;
    for (int i = 1; i <= 3; i++) {
        auto hit = l2(0xaa00 + i, 1);
        ASSERT_TRUE(hit) << i;
        EXPECT_EQ(hit->port, i);
        EXPECT_TRUE(hit->is_static);
    }
    // The next add goes on after the last address added.
    run("L2 add PortBitMap=fe4");
    ASSERT_TRUE(l2(0xaa04, 1));
    EXPECT_EQ(l2(0xaa04, 1)->port, 4);
    out = run("L2 show PortBitMap=fe2");
    EXPECT_TRUE(has(out, "mac=00:00:00:00:aa:02 vlan=1")) << out;
    EXPECT_FALSE(has(out, "aa:03")) << out;
    // The chip keeps an L2 shadow (the table search is its thread's): the
    // dump prints the shadow's entries.
    out = run("L2 dump");
    EXPECT_TRUE(has(out, "\nMac = 00-00-00-00-aa-04 VLAN ID = 1, Port = 4")) << out;

    out = run("L2 del MACaddress=00:00:00:00:aa:01 Count=2");
    EXPECT_TRUE(has(out, "DEL: mac=00:00:00:00:aa:02")) << out;
    EXPECT_FALSE(l2(0xaa01, 1));
    EXPECT_FALSE(l2(0xaa02, 1));
    EXPECT_TRUE(has(run("L2 del MACaddress=00:00:00:00:aa:01", -1), "L2: ERROR: "));

    EXPECT_TRUE(has(run("L2 clear Module=1", -2), "L2: Unknown argument combination\nUsage"));
    EXPECT_TRUE(
        has(run("L2 clear Vlanid=1 Static=false"), "L2: Deleting non-static addresses by VLAN\n"));
    EXPECT_TRUE(l2(0xaa03, 1));  // static entries stay
    EXPECT_EQ(run("L2 clear Vlanid=1 Port=fe3"),
              "L2: Deleting static and non-static addresses by VLAN and port\n");
    EXPECT_FALSE(l2(0xaa03, 1));
    EXPECT_TRUE(l2(0xaa04, 1));

    EXPECT_EQ(run("L2 add PortBitMap=none", -1), "L2: ERROR: empty port bitmap\n");
    EXPECT_TRUE(has(run("L2 add Bogus=1", -1), "Unknown option: Bogus=1"));
}

TEST_F(diag_switch, L2ClearTakesEveryLearnedAddressOfThePort) {
    linksUp();
    constexpr uint64_t kOnFe2 = 0x020000100000ull, kOnFe3 = 0x020000200000ull;
    constexpr int kLearned = 3000;
    run("L2 add PortBitMap=fe2 MACaddress=00:00:00:00:dd:01 STatic=true");
    for (int i = 0; i < 100; i++)
        board->port(3).inject(sim::FrameBuilder().src(kOnFe3 + i).build());
    for (int i = 0; i < kLearned; i++)
        board->port(2).inject(sim::FrameBuilder().src(kOnFe2 + i).build());
    int on_fe2 = 0;
    for (int i = 0; i < kLearned; i++)
        on_fe2 += l2(kOnFe2 + i, 1) ? 1 : 0;
    ASSERT_GT(on_fe2, 2000);  // some share a slot with an earlier one

    EXPECT_EQ(run("L2 clear Port=fe2 Static=false"),
              "L2: Deleting non-static addresses by port, local module ID\n");
    for (int i = 0; i < kLearned; i++)
        ASSERT_FALSE(l2(kOnFe2 + i, 1)) << i;
    EXPECT_TRUE(l2(0xdd01, 1));
    for (int i = 0; i < 100; i++)
        ASSERT_TRUE(l2(kOnFe3 + i, 1)) << i;
    // A frame to a cleared address floods again.
    board->fabric().drain();
    const size_t to4 = board->port(4).sent().size();
    board->port(1).inject(sim::FrameBuilder().src(0x00102030405aull).dst(kOnFe2 + 7).build());
    board->fabric().drain();
    EXPECT_EQ(board->port(4).sent().size(), to4 + 1);

    EXPECT_TRUE(
        has(run("L2 clear Vlanid=1 Static=false"), "L2: Deleting non-static addresses by VLAN\n"));
    for (int i = 0; i < 100; i++)
        ASSERT_FALSE(l2(kOnFe3 + i, 1)) << i;
    EXPECT_TRUE(l2(0xdd01, 1));
}

TEST_F(diag_switch, L2ConflictShowsTheEntryInTheKeysSlot) {
    linksUp();
    constexpr uint64_t kLearned = 0x020000300000ull;
    // Addresses are learned per VLAN once the table is searched by key.
    run("L2 add PortBitMap=fe3 MACaddress=00:00:00:00:ee:01 STatic=true");
    for (int i = 0; i < 3000; i++)
        board->port(2).inject(sim::FrameBuilder().src(kLearned + i).build());
    // The key itself when stored.
    EXPECT_TRUE(has(run("L2 conflict MACaddress=00:00:00:00:ee:01 Vlanid=1"),
                    "conflict: mac=00:00:00:00:ee:01 vlan=1 modid=0 port=3/fe3 Static"));
    // A new key whose slot holds a learned address shows that address.
    int found = 0;
    for (int i = 1; i < 200 && found == 0; i++) {
        char mac[32];
        std::snprintf(mac, sizeof mac, "02:00:00:40:%02x:%02x", i >> 8, i & 0xff);
        const std::string out = run(std::string("L2 conflict MACaddress=") + mac + " Vlanid=1");
        if (out.empty()) continue;
        found++;
        EXPECT_TRUE(has(out, "conflict: mac=02:00:00:30:")) << out;
        EXPECT_TRUE(has(out, "port=2/fe2")) << out;
    }
    EXPECT_EQ(found, 1);
}

TEST_F(diag_switch, ARefusedLearningModeChangesNothing) {
    uint32_t before = 0, after = 0;
    ASSERT_EQ(dxp_port_learn_get(0, 1, &before), 0);
    // Learning to the CPU only is not a mode this chip has.
    EXPECT_TRUE(has(run("PORT fe1 LeaRN=6", -1), "Error")) << run("PORT fe1 LeaRN=6", -1);
    ASSERT_EQ(dxp_port_learn_get(0, 1, &after), 0);
    EXPECT_EQ(after, before);
    EXPECT_EQ(run("PORT fe1 LeaRN=4"), "");
    ASSERT_EQ(dxp_port_learn_get(0, 1, &after), 0);
    EXPECT_EQ(after, 4u);
    // The whole record, as PORT fe1 = offers it, carries the mode too.
    dxp_port_info info{};
    ASSERT_EQ(dxp_port_info_get(0, 1, &info), 0);
    EXPECT_EQ(info.learn, 4u);
}

TEST_F(diag_switch, OutOfRangeValuesAreRefused) {
    // VLAN 9999 does not fit the entry's 12 bits: no entry for another VLAN.
    EXPECT_EQ(run("L2 add PortBitMap=fe1 MACaddress=00:00:00:00:ab:01 Vlanid=0x270f", -1),
              "L2: ERROR: VLAN ID 9999 out of range (0-4095)\n");
    EXPECT_FALSE(l2(0xab01, 0x70f));
    // Nor past 16 bits, where it would be VLAN 1; the refused line keeps
    // none of its values for the next one.
    EXPECT_EQ(run("L2 add PortBitMap=fe1 MACaddress=00:00:00:00:ab:02 Vlanid=65537", -1),
              "L2: ERROR: VLAN ID 65537 out of range (0-4095)\n");
    EXPECT_FALSE(l2(0xab02, 1));
    EXPECT_FALSE(has(run("L2 add PortBitMap=fe1 MACaddress=00:00:00:00:ab:03"), "ERROR"));
    EXPECT_TRUE(l2(0xab03, 1));
    // The VLAN commands name the number typed.
    EXPECT_EQ(run("VLAN create 70000", -1), "VLAN: ERROR: VLAN ID 70000 out of range (0-4095)\n");
    EXPECT_EQ(run("VLAN destroy 65537", -1), "VLAN: ERROR: VLAN ID 65537 out of range (0-4095)\n");
    EXPECT_EQ(run("VLAN create 99999999999", -1),
              "VLAN: ERROR: VLAN ID 99999999999 out of range (0-4095)\n");
    EXPECT_EQ(run("PVlan set fe1 65537", -1),
              "PVlan: ERROR: VLAN ID 65537 out of range (0-4095)\n");
    // A fast-Ethernet port cannot run 1000 Mb/s.
    EXPECT_EQ(run("PORT fe7 SPeed=1000", -1), "PORT: Error: Port fe7 cannot run 1000 Mb/s\n");
    // Nor advertise none of its speeds; a priority past 7 is named too.
    EXPECT_EQ(run("PORT ge0 AutoNeg=on SPeed=100", -1),
              "PORT: Error: Port ge0 runs no speed that SPeed=100 would advertise; nothing "
              "changed\n");
    EXPECT_EQ(run("PORT fe7,fe8 PRIOrity=8", -1),
              "PORT: Error: PRIOrity=8 is not 0 to 7; nothing changed\n");
    ASSERT_EQ(dxp_port_autoneg_set(0, 7, 0), 0);
    int speed = 0;
    ASSERT_EQ(dxp_port_speed_get(0, 7, &speed), 0);
    EXPECT_EQ(dxp_port_speed_set(0, 7, 1000), DXP_E_PARAM);
    int after = 0;
    ASSERT_EQ(dxp_port_speed_get(0, 7, &after), 0);
    EXPECT_EQ(after, speed);
    EXPECT_EQ(run("PORT fe7 SPeed=10"), "");
    ASSERT_EQ(dxp_port_speed_get(0, 7, &after), 0);
    EXPECT_EQ(after, 10);
}

TEST_F(diag_switch, ADownPortShowsTheSpeedItIsForcedTo) {
    EXPECT_EQ(run("PORT fe5 AutoNeg=off SPeed=100 FullDuplex=true"), "");
    int speed = 0, duplex = 0;
    ASSERT_EQ(dxp_port_speed_get(0, 5, &speed), 0);
    ASSERT_EQ(dxp_port_duplex_get(0, 5, &duplex), 0);
    EXPECT_EQ(speed, 100);
    EXPECT_EQ(duplex, 1);
    EXPECT_TRUE(has(run("PORT fe5"), "fe5 LS(SW) Forced(100MFD) ")) << run("PORT fe5");
    EXPECT_TRUE(has(run("ps fe5"), " fe5   En down   100M FD ")) << run("ps fe5");
}

TEST_F(diag_switch, L2WatchReportsInsertions) {
    EXPECT_EQ(run("L2 watch"), "L2 watch is not running.\n");
    EXPECT_TRUE(has(run("L2 watch sideways", -2), "Usage (L2)"));
    run("L2 watch start");
    EXPECT_EQ(run("L2 watch"), "L2 watch is running.\n");
    std::string out = run("L2 add PortBitMap=fe5 MACaddress=00:00:00:00:bb:01");
    EXPECT_TRUE(has(out, "L2 ADD: mac=00:00:00:00:bb:01 vlan=1 ")) << out;
    run("L2 watch stop");
    out = run("L2 add PortBitMap=fe5");
    EXPECT_FALSE(has(out, "L2 ADD")) << out;
}

TEST_F(diag_switch, MulticastGroupsForwardToTheirPorts) {
    constexpr uint64_t kGroup = 0x01005e000001ull;
    EXPECT_EQ(run("MCAST add MACaddress=01:00:5e:00:00:01 Vlanid=1 PortBitMap=fe1,fe2"), "");
    auto hit = l2(kGroup, 1);
    ASSERT_TRUE(hit);
    EXPECT_TRUE(hit->group);
    EXPECT_EQ(hit->pbmp & 0x1e, 0x6u);
    EXPECT_TRUE(has(run("MCAST join PortBitMap=fe3"), "port fe3 ")) << run("MCAST join");
    EXPECT_EQ(l2(kGroup, 1)->pbmp & 0x1e, 0xeu);
    EXPECT_TRUE(has(run("MCAST leave PortBitMap=fe1"), "port fe1 ")) << run("MCAST leave");
    EXPECT_EQ(l2(kGroup, 1)->pbmp & 0x1e, 0xcu);
    EXPECT_EQ(run("MCAST delete Vlanid=1"), "");
    EXPECT_FALSE(l2(kGroup, 1));
    EXPECT_TRUE(has(run("MCAST remove", -2), "Usage (MCAST)"));
    // An index of its own for this add only; the next add takes the plain way again.
    EXPECT_EQ(run("MCAST add MACaddress=01:00:5e:00:00:02 PortBitMap=fe4 Index=5"), "");
    EXPECT_EQ(run("MCAST add MACaddress=01:00:5e:00:00:03 PortBitMap=fe4"), "");
    EXPECT_TRUE(l2(0x01005e000002ull, 1));
    EXPECT_TRUE(l2(0x01005e000003ull, 1));
}

// A self-test gives its ports' memberships, default VLANs and group states
// back: the monitor may not change them under it, and other ports stay free.
TEST_F(diag_switch, APortUnderSelfTestKeepsItsVlansAndGroupStates) {
    EXPECT_EQ(run("VLAN create 10 PortBitMap=fe1-fe3"), "");
    dxp_pbmp_t held{};
    dxp_pbmp_port_add(&held, 2);
    ASSERT_EQ(port_reserve(0, held, "Snake"), 0);
    EXPECT_EQ(run("VLAN add 10 PortBitMap=fe2", -1),
              "VLAN: ERROR: port fe2: port under self-test (Snake)\n");
    EXPECT_EQ(run("VLAN remove 10 PortBitMap=fe1,fe2", -1),
              "VLAN: ERROR: port fe2: port under self-test (Snake)\n");
    EXPECT_EQ(run("VLAN create 11 PortBitMap=fe2", -1),
              "VLAN: ERROR: port fe2: port under self-test (Snake)\n");
    EXPECT_EQ(run("VLAN destroy 10", -1), "VLAN: ERROR: port fe2: port under self-test (Snake)\n");
    EXPECT_EQ(run("PVlan set fe2 10", -1),
              "PVlan: ERROR: port fe2: port under self-test (Snake)\n");
    EXPECT_EQ(run("STG stp 1 fe2 block", -1),
              "STG: ERROR: port fe2: port under self-test (Snake)\n");
    EXPECT_EQ(run("VLAN show 10"),
              "ID      Ports       Untagged  \n10      0x000000000000000e  0x0000000000000000\n");
    EXPECT_EQ(run("VLAN show 11"), "ID      Ports       Untagged  \n");
    // Other ports change as before, a VLAN of their own included.
    EXPECT_EQ(run("VLAN create 12 PortBitMap=fe4"), "");
    EXPECT_EQ(run("VLAN remove 10 PortBitMap=fe1"), "");
    port_reserve_release(0, held);
    EXPECT_EQ(run("VLAN remove 10 PortBitMap=fe2"), "");
    EXPECT_EQ(run("VLAN show 10"),
              "ID      Ports       Untagged  \n10      0x0000000000000008  0x0000000000000000\n");
}

TEST_F(diag_switch, VlansDecideWhereFramesGo) {
    linksUp();
    EXPECT_EQ(run("VLAN create 10 PortBitMap=fe1-fe3 UntagBitMap=fe2"), "");
    EXPECT_EQ(run("VLAN show 10"),
              "ID      Ports       Untagged  \n10      0x000000000000000e  0x0000000000000004\n");
    EXPECT_EQ(run("VLAN show 99"), "ID      Ports       Untagged  \n");
    EXPECT_EQ(run("PVlan set fe1,fe4 10"), "");  // fe4 is no member: left alone
    EXPECT_EQ(run("PVlan show fe1,fe4"),
              "Port fe1 default VLAN is 10\nPort fe4 default VLAN is 1\n");

    board->port(1).inject(sim::FrameBuilder().src(0x00102030405aull).build());
    board->fabric().drain();
    auto to2 = board->port(2).sent(), to3 = board->port(3).sent();
    ASSERT_EQ(to2.size(), 1u);
    EXPECT_FALSE(to2[0].tagged);
    ASSERT_EQ(to3.size(), 1u);
    EXPECT_EQ(to3[0].vid, 10);
    EXPECT_TRUE(board->port(4).sent().empty());

    EXPECT_EQ(run("VLAN remove 10 PortBitMap=fe3"), "");
    dxp_pbmp_t members{}, untagged{};
    ASSERT_EQ(dxp_vlan_port_get(0, 10, &members, &untagged), 0);
    EXPECT_EQ(members.w[0], 0x6u);
    EXPECT_TRUE(has(run("VLAN add 10"), "Current settings:\n\tPortBitMap="));
    EXPECT_EQ(run("VLAN default"), "Default VLAN ID is 1\n");

    EXPECT_EQ(run("PVlan disable fe5"), "");
    EXPECT_EQ(run("PVlan show fe5"), "Port fe5 default VLAN is 4095 (disabled)\n");
    std::string out = run("PVlan set fe6 77", -1);
    EXPECT_TRUE(has(out, "Error setting port fe6 default VLAN to 77: ")) << out;
    EXPECT_TRUE(has(out, "VLAN 77 must be created and contain the ports")) << out;

    out = run("VLAN control");
    EXPECT_TRUE(has(out, "dropunknown")) << out;
    EXPECT_TRUE(has(out, "ignorepkttag")) << out;
    EXPECT_EQ(run("VLAN control bogus", -1), "bogus: ERROR: Unknown control name\n");
    EXPECT_EQ(run("VLAN create 11 Colour=red", -1), "VLAN: ERROR: Unknown option: Colour=red\n");
    EXPECT_NE(dxp_vlan_port_get(0, 11, &members, &untagged), 0);
    EXPECT_TRUE(has(run("VLAN create", -2), "Usage (VLAN)"));
    EXPECT_TRUE(has(run("PVlan set fe1", -2), "Missing VID for set.\n"));
    EXPECT_EQ(run("PVlan show bogus", -1), "PVlan: ERROR: unrecognized port bitmap: bogus\n");
    EXPECT_EQ(run("VLAN destroy 10"), "");
    EXPECT_NE(dxp_vlan_port_get(0, 10, &members, &untagged), 0);
}

TEST_F(diag_switch, SpanningTreeStatesAndTrunksShapeFlooding) {
    linksUp();
    for (dxp_vlan_t v : {11, 12, 13, 15})
        ASSERT_EQ(dxp_vlan_create(0, v), 0);
    EXPECT_EQ(run("STG create 2"), "");
    EXPECT_EQ(run("STG add 2 11 12 13 15"), "");
    EXPECT_EQ(run("STG show 2"), "STG 2: contains 4 VLANs (11-13,15)\n");
    EXPECT_EQ(run("STG remove 2 12 13 15"), "");
    EXPECT_EQ(run("STG show 2"), "STG 2: contains 1 VLAN (11)\n");
    EXPECT_EQ(run("STG clear 2"), "");
    EXPECT_EQ(run("STG show 2"), "STG 2: contains 0 VLANs\n");

    int stg = -1;
    ASSERT_EQ(dxp_stg_default_get(0, &stg), 0);
    const std::string def = std::to_string(stg);
    EXPECT_EQ(run("STG stp " + def + " fe3 Block"), "");
    EXPECT_EQ(flood(), (std::vector<size_t>{1, 0, 1}));
    EXPECT_TRUE(has(run("STG stp " + def), "    Block: fe3\n")) << run("STG stp " + def);
    EXPECT_EQ(run("STG stp " + def + " fe3 f"), "");  // an abbreviation of Forward
    EXPECT_EQ(flood(), (std::vector<size_t>{1, 1, 1}));
    EXPECT_TRUE(has(run("STG stp " + def + " fe3 sideways", -2), "Usage (STG)"));
    EXPECT_TRUE(has(run("STG destroy", -2), "Usage (STG)"));
    EXPECT_TRUE(has(run("STG show 77", -1), "STG: ERROR: ")) << run("STG show 77", -1);

    EXPECT_EQ(run("TRUNK show"), "[no matching trunks defined]\n");
    EXPECT_EQ(run("TRUNK add Id=1 Rtag=2 Pbmp=fe2"), "");
    EXPECT_EQ(run("TRUNK add Id=1 Rtag=3 Pbmp=fe3"), "");
    EXPECT_EQ(run("TRUNK show"), "trunk 1: 2 ports=fe2,fe3 psc/rtag=destmac (2)\n");
    std::vector<size_t> got = flood();
    EXPECT_EQ(got[0] + got[1], 1u);  // one member of the trunk carries the flood
    EXPECT_EQ(got[2], 1u);
    EXPECT_EQ(run("TRUNK remove Id=1 Pbmp=fe2-fe3"), "");
    EXPECT_EQ(run("TRUNK show Id=1"), "[no matching trunks defined]\n");
    EXPECT_EQ(flood(), (std::vector<size_t>{1, 1, 1}));

    EXPECT_TRUE(has(run("TRUNK add Id=2 Pbmp=fe1-fe9", -1), "TRUNK: ERROR: "));
    dxp_trunk_add_info t{};
    EXPECT_EQ(dxp_trunk_get(0, 2, &t), DXP_E_NOT_FOUND);
    EXPECT_TRUE(has(run("TRUNK add Id=2 Pbmp=none", -1), "TRUNK: ERROR: "));
    EXPECT_EQ(dxp_trunk_get(0, 2, &t), DXP_E_NOT_FOUND);
    EXPECT_TRUE(has(run("TRUNK add Id=0 Rtag=9 Pbmp=fe1-fe2", -1), "TRUNK: ERROR: "));
    EXPECT_EQ(dxp_trunk_get(0, 0, &t), DXP_E_NOT_FOUND);
    EXPECT_EQ(run("TRUNK show"), "[no matching trunks defined]\n");
    EXPECT_TRUE(has(run("TRUNK sideways", -2), "Usage (TRUNK)"));
}

TEST_F(diag_switch, TrunkRefusesAPortAnotherTrunkHolds) {
    EXPECT_EQ(run("TRUNK add Id=0 Pbmp=fe2-fe3"), "");
    EXPECT_TRUE(has(run("TRUNK add Id=1 Pbmp=fe3-fe4", -1), "TRUNK: ERROR: Entry exists"));
    EXPECT_EQ(run("TRUNK add Id=0 Pbmp=fe3"), "");  // its own member
    dxp_trunk_add_info t{};
    ASSERT_EQ(dxp_trunk_get(0, 0, &t), 0);
    EXPECT_EQ(t.num_ports, 2);
    t = {};
    dxp_trunk_get(0, 1, &t);
    EXPECT_EQ(t.num_ports, 0);
}

// A chip whose unit keeps an L2 shadow: show and dump walk the shadow.
class diag_switch_shadow : public diag_switch {
    sim::ChipKind chip() const override { return sim::ChipKind::DXP7102A1; }
};

TEST_F(diag_switch_shadow, ShowAndDumpWalkTheShadow) {
    ASSERT_NE(SOC_CONTROL(0)->arl_table, nullptr);
    run("L2 add PortBitMap=fe1 MACaddress=00:00:00:00:cc:01 STatic=true");
    run("L2 add PortBitMap=fe2 STatic=false");
    std::string out = run("L2 show PortBitMap=fe1");
    EXPECT_EQ(out, "mac=00:00:00:00:cc:01 vlan=1 modid=0 port=1/fe1 Static\n\n");
    out = run("L2 dump");
    EXPECT_TRUE(has(out,
                    "\nMac = 00-00-00-00-cc-01 VLAN ID = 1, Port = 1, Priority Queue = 0, "
                    "STATIC"))
        << out;
    EXPECT_TRUE(has(out, "\nMac = 00-00-00-00-cc-02 VLAN ID = 1, Port = 2, Priority Queue = 0"))
        << out;
}

}  // namespace
