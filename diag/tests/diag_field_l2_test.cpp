// The field-processor vocabulary and the L2 dump lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../../soc/tests/unit_fixture.h"
#include "diag_console.h"
#include "diag_parse.h"
#include "dxp.h"

namespace {

TEST(diag_field_names, FormatAndParseEveryVocabulary) {
    char buf[DIAG_FIELD_NAME_BUF];
    format_field_qualifier(buf, 0, 0);
    EXPECT_STREQ(buf, "dxpFieldQualifyUserDefined0");
    format_field_qualifier(buf, 83, 1);
    EXPECT_STREQ(buf, "VlanFormat");
    format_field_qualifier(buf, 84, 0);
    EXPECT_STREQ(buf, "invalid qualifier value=0x54");
    EXPECT_EQ(parse_field_qualifier("dxpfieldqualifyInPort"), 20);
    EXPECT_EQ(parse_field_qualifier("inport"), 20);
    EXPECT_EQ(parse_field_qualifier("Nothing"), DIAG_FIELD_QUALIFY_COUNT);
    EXPECT_EQ(parse_field_qualifier(std::string(70, 'a').c_str()), DIAG_FIELD_QUALIFY_COUNT);

    format_field_group_mode(buf, 3);
    EXPECT_STREQ(buf, "dxpFieldGroupModeAuto");
    EXPECT_EQ(parse_field_group_mode("double"), 1);
    format_field_action(buf, 69);
    EXPECT_STREQ(buf, "dxpFieldActionGpOuterVlanPrioNew");
    format_field_action(buf, 70);
    EXPECT_STREQ(buf, "invalid action value=0x46");
    EXPECT_EQ(parse_field_action("dxpFieldActionRedirectPbmp"), 25);
    format_field_decap(buf, 7);
    EXPECT_STREQ(buf, "dxpFieldDecapIPPimTunnel");
    EXPECT_EQ(parse_field_decap("l3mpls"), 2);
    EXPECT_EQ(parse_field_decap("dxpFieldDecapIPTunnel"), 4);
    EXPECT_EQ(parse_field_decap("5"), 5);
    EXPECT_EQ(parse_field_decap("8"), DIAG_FIELD_DECAP_COUNT);
    format_switch_control(buf, 0);
    EXPECT_STREQ(buf, "dxpSwitchIgmpReportLeave");
    format_switch_control(buf, 202);
    EXPECT_STREQ(buf, "dxpSwitchFailoverEtherTrunk");
    format_switch_control(buf, 203);
    EXPECT_STREQ(buf, "invalid control value=0xcb");
    EXPECT_EQ(parse_switch_control("DosAttackToCpu"), 59);
    EXPECT_EQ(parse_switch_control("dxpSwitch8021xToCPU"), 168);

    dxp_field_qset_t qset{};
    EXPECT_EQ(parse_field_qset("SrcMac, dxpFieldQualifyDstMac\t20\n", &qset), 0);
    char text[128];
    format_field_qset(text, sizeof text, qset);
    EXPECT_STREQ(text, "{SrcMac, DstMac, InPort}");
    EXPECT_EQ(parse_field_qset("SrcMac,Bogus", &qset), -1);
    EXPECT_EQ(parse_field_qset("84", &qset), -1);
    format_field_qset(text, 8, qset);  // cut, never overrun
    EXPECT_STREQ(text, "{SrcMac");
}

class diag_l2_dump : public soc_test::UnitTest {
  protected:
    void SetUp() override {
        start(sim::ChipKind::DXP7106);
        ASSERT_EQ(dxp_attach(0, "tarn", nullptr, 0), 0);
    }
    void TearDown() override {
        dxp_detach(0);
        soc_test::UnitTest::TearDown();
    }
    diag_test::ConsoleCapture console;
};

TEST_F(diag_l2_dump, AddressLines) {
    console.take();
    dxp_l2_addr l2{};
    const uint8_t mac[6] = {0, 0x11, 0x22, 0x33, 0x44, 0x5a};
    std::memcpy(l2.mac, mac, 6);
    l2.vid = 10;
    l2.port = 26;
    l2.flags = DXP_L2_STATIC | DXP_L2_HIT | DXP_L2_MCAST | 0x2;
    l2.l2mc_index = 3;
    l2.cos_dst = 2;
    dump_l2_addr(0, "L2: ", &l2);
    EXPECT_EQ(console.take(),
              "L2: mac=00:11:22:33:44:5a vlan=10 modid=0 port=26/ge1 Static Hit "
              "COS(src=0,dst=2) DiscardSrc MCast=3\n");

    l2 = {};
    l2.modid = 4;
    l2.port = 24;
    l2.flags = DXP_L2_TRUNK_MEMBER;
    l2.tgid = 2;
    dxp_pbmp_port_add(&l2.block_bitmap, 25);
    l2.group = 7;
    dump_l2_addr(0, "", &l2);
    EXPECT_EQ(console.take(),
              "mac=00:00:00:00:00:00 vlan=0 modid=4 port=24   Trunk=2 Rtag=0 CPU "
              "MAC blocked port bitmap=ge0: 0x0000000002000000 Group=7\n");

    dxp_l2_cache_addr c{};
    std::memcpy(c.mac, mac, 6);
    std::memset(c.mac_mask, 0xff, 6);
    c.vlan = 5;
    c.vlan_mask = 0xfff;
    c.dest_port = 3;
    c.flags = 0x20 | 0x10 | 0x4;
    c.prio = 6;
    dump_l2_cache_addr(0, "", &c);
    EXPECT_EQ(console.take(),
              "mac=00:11:22:33:44:5a vlan=5 modid=0 port=3/fe3 prio=6 BPDU Mirror\n");
    c.mac_mask[5] = 0xf0;
    c.vlan_mask = 0xff;
    c.src_port_mask = 0x1f;
    c.src_port = 2;
    c.flags = 0x40 | 0x1 | 0x8 | 0x2;
    c.dest_trunk = 1;
    dump_l2_cache_addr(0, "", &c);
    EXPECT_EQ(console.take(),
              "mac=00:11:22:33:44:5a/ff:ff:ff:ff:ff:f0 vlan=5/0x0ff srcport=2/0x1f trunk=1 CPU L3 "
              "Discard\n");
}

}  // namespace
