// The trunk page through HTTP: groups in the chip and the trunk manager,
// members back in VLAN 1, their learned addresses flushed; and the address
// helpers of the QoS pages.
#include <string>

#include "switch_pages_fixture.h"

namespace {

using feature_test::Ports;

class page_trunk : public switch_pages_test::SwitchPages {
  protected:
    static std::string members(int tid) {
        Ports p;
        upbmp_free(&p.bmp);
        if (trunkmgr_trunk_get(tid, &p.bmp) != 0) return "none";
        std::string out;
        for (int n : p.list())
            out += (out.empty() ? "" : ",") + std::to_string(n);
        return out;
    }
    static bool learned_on(int uport) {
        const dxp_mac_t mac = {0x00, 0x10, 0x20, 0x30, 0x40, static_cast<uint8_t>(uport)};
        dxpx_l2_addr_t a{};
        return dxpx_l2_addr_get(mac, 1, &a, 0) == 0;
    }
    static void learn(int uport) {
        const dxp_mac_t mac = {0x00, 0x10, 0x20, 0x30, 0x40, static_cast<uint8_t>(uport)};
        dxpx_l2_addr_t a{};
        dxpx_l2_addr_init(&a, mac, 1);
        ASSERT_EQ(ulpm_to_lport(uport, &a.lport), 0);
        ASSERT_EQ(dxpx_l2_addr_add(&a, 0), 0);
    }
};

TEST_F(page_trunk, GroupsReachTheChipAndTheManagerWithMembersInVlanOne) {
    ASSERT_EQ(setportcbk_PVID_set(4, 7), 1);
    learn(5);
    learn(9);
    std::string before = saved("trunk");
    test_response r =
        post("/trunk.cgi", "trunk_criteria=2&tgmember1=5,6&tgmember2=0,9,10&tgmember3=");
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(error_of(r), "");
    EXPECT_EQ(members(0), "5,6");
    EXPECT_EQ(members(1), "9,10");
    EXPECT_EQ(members(2), "none");
    int psc = 0;
    EXPECT_EQ(dxpx_trunk_psc_get(0, &psc), 0);
    EXPECT_EQ(psc, 2);
    EXPECT_EQ(port_pvid_get(4), 1);
    EXPECT_FALSE(learned_on(5));
    EXPECT_FALSE(learned_on(9));
    EXPECT_NE(saved("trunk"), before);
    EXPECT_NE(r.body.find("gm[1 - 1] = [5,6,0,0];"), std::string::npos) << r.body;
    // Three groups in two rows: the last right-hand cell is empty.
    EXPECT_NE(r.body.find("<th>Trunk  3</th>"), std::string::npos);
    EXPECT_NE(r.body.find("<th>&nbsp;</th>"), std::string::npos);

    // A list of zeros empties the group without an error.
    r = post("/trunk.cgi", "trunk_criteria=1&tgmember1=0&tgmember2=9,10&tgmember3=");
    EXPECT_EQ(error_of(r), "");
    EXPECT_EQ(members(0), "none");
    EXPECT_EQ(dxpx_trunk_psc_get(0, &psc) == 0 && psc != 0 ? "set" : "gone", "gone");
}

TEST_F(page_trunk, OversizedOrSplitGroupsAreRefused) {
    EXPECT_EQ(error_of(post("/trunk.cgi", "trunk_criteria=1&tgmember1=1,2,3,4,5")),
              "# of ports &gt; maximal # of ports per trunk");
    EXPECT_EQ(members(0), "none");
    std::string longer = "1" + std::string(90, ',') + "2";
    EXPECT_EQ(error_of(post("/trunk.cgi", "trunk_criteria=1&tgmember1=" + longer)),
              "Member list of trunk 1 is too long");
    EXPECT_EQ(members(0), "none");

    // Port 7 only of the two is in VLAN 30: earlier groups stay applied.
    Ports m{7}, u;
    ASSERT_EQ(qsw_vlanmgr_vlan_set(30, &m.bmp, &u.bmp), 0);
    EXPECT_EQ(error_of(post("/trunk.cgi", "trunk_criteria=1&tgmember1=1,2&tgmember2=7,8")),
              "All trunk 2 members don&#39;t belong to vlan 30");
    EXPECT_EQ(members(0), "1,2");
    EXPECT_EQ(members(1), "none");
}

TEST(page_trunk_address, NetmasksAndAddressText) {
    const uint8_t good[][4] = {{255, 255, 0, 0}, {0, 0, 0, 0}, {255, 255, 255, 255}};
    const uint8_t bad[][4] = {{255, 0, 255, 0}, {0, 0, 0, 1}};
    for (const auto &m : good)
        EXPECT_EQ(netmask_is_contiguous(m), 1);
    for (const auto &m : bad)
        EXPECT_EQ(netmask_is_contiguous(m), 0);
    char buf[16];
    const uint8_t addr[4] = {192, 168, 1, 254};
    EXPECT_STREQ(ip_to_str(buf, addr), "192.168.1.254");
}

}  // namespace
