// The trunk page through HTTP: groups in the chip and the trunk manager,
// members back in VLAN 1, their learned addresses flushed; and the address
// helpers of the QoS pages.
#include <string>

#include "dxp.h"
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
        for (int n : p.list()) {
            if (!out.empty()) out += ',';
            out += std::to_string(n);
        }
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
    // A criterion the list does not offer (a restored file's) is offered and
    // taken back only as it runs.
    dxp_trunk_add_info info{};
    ASSERT_EQ(dxp_trunk_get(0, 0, &info), 0);
    info.psc = 5;
    ASSERT_EQ(dxp_trunk_set(0, 0, &info), 0);
    EXPECT_NE(get("/trunk.htm")
                  .body.find("<option value=\"5\">DIP ( Destination IP Address ) "
                             "(running)</option>"),
              std::string::npos);
    EXPECT_NE(error_of(post("/trunk.cgi", "trunk_criteria=4&tgmember1=5,6&tgmember2=9,10")), "");
    ASSERT_EQ(error_of(post("/trunk.cgi", "trunk_criteria=5&tgmember1=5,6&tgmember2=9,10")), "");
    EXPECT_EQ(dxpx_trunk_psc_get(0, &psc) == 0 ? psc : 0, 5);

    // A list of zeros empties the group without an error.
    r = post("/trunk.cgi", "trunk_criteria=1&tgmember1=0&tgmember2=9,10&tgmember3=");
    EXPECT_EQ(error_of(r), "");
    EXPECT_EQ(members(0), "none");
    EXPECT_EQ(dxpx_trunk_psc_get(0, &psc) == 0 && psc != 0 ? "set" : "gone", "gone");
}

TEST_F(page_trunk, OversizedOrSplitGroupsAreRefused) {
    EXPECT_EQ(error_of(post("/trunk.cgi", "trunk_criteria=1&tgmember1=1,2,3,4,5")),
              "Trunk 1 would hold 5 ports: a trunk holds at most 4");
    EXPECT_EQ(members(0), "none");
    std::string longer = "1" + std::string(90, ',') + "2";
    EXPECT_EQ(error_of(post("/trunk.cgi", "trunk_criteria=1&tgmember1=" + longer)),
              "Member list of trunk 1 is too long");
    EXPECT_EQ(members(0), "none");

    // Port 7 only of the two is in VLAN 30: the post is refused before any
    // group changes, the earlier ones included.
    Ports m{7}, u;
    ASSERT_EQ(qsw_vlanmgr_vlan_set(30, &m.bmp, &u.bmp), 0);
    EXPECT_EQ(error_of(post("/trunk.cgi", "trunk_criteria=1&tgmember1=1,2&tgmember2=7,8")),
              "All trunk 2 members don&#39;t belong to vlan 30");
    EXPECT_EQ(members(0), "none");
    EXPECT_EQ(members(1), "none");
}

// A letter among the members refuses the whole post before any group
// changes: it must not read as "no port" and empty the group.
TEST_F(page_trunk, MembersThatAreNotPortNumbersChangeNothing) {
    ASSERT_EQ(error_of(post("/trunk.cgi", "trunk_criteria=1&tgmember1=1,2&tgmember2=5,6")), "");
    std::string before = saved("trunk");
    for (const char *lists : {"tgmember1=3,4&tgmember2=a,b", "tgmember1=1,2&tgmember2=5x,6",
                              "tgmember1=1 2&tgmember2=5,6", "tgmember1=-1&tgmember2="}) {
        test_response r = post("/trunk.cgi", std::string("trunk_criteria=2&") + lists);
        EXPECT_NE(error_of(r).find("must be port numbers separated by commas"), std::string::npos)
            << lists << ": " << error_of(r);
        EXPECT_EQ(members(0), "1,2") << lists;
        EXPECT_EQ(members(1), "5,6") << lists;
    }
    EXPECT_EQ(saved("trunk"), before);
    EXPECT_EQ(error_of(post("/trunk.cgi", "trunk_criteria=1&tgmember1= 3 , 4 &tgmember2=0,0")), "");
    EXPECT_EQ(members(0), "3,4");
    EXPECT_EQ(members(1), "none");
}

TEST_F(page_trunk, TrunkTheSwitchRefusesGetsTheErrorPageAndStaysAsItWas) {
    ASSERT_EQ(error_of(post("/trunk.cgi", "trunk_criteria=3&tgmember1=1,2")), "");
    std::string before = saved("trunk");
    log_clear();
    // Groups 1 and 2 take fast Ethernet ports only on this board.
    test_response r = post("/trunk.cgi", "trunk_criteria=3&tgmember1=25,26");
    const std::string rule =
        "Trunks 1-2 take fast Ethernet ports only (1-24), trunk 3 takes "
        "gigabit ports only (25-26).";
    EXPECT_EQ(error_of(r), "The switch refused trunk 1. " + rule);
    EXPECT_TRUE(logged("Failed to set trunk group id 0"));
    EXPECT_FALSE(logged("Set trunk (Criterion : SA + DA) : Trunk ID = 0,  member ports = 25, 26,"));
    EXPECT_EQ(members(0), "1,2");
    EXPECT_EQ(saved("trunk"), before);
    // The page says which group takes which ports, and names the criteria.
    r = get("/trunk.htm");
    EXPECT_NE(r.body.find(rule), std::string::npos) << r.body;
    EXPECT_NE(r.body.find("<option value=\"2\">DA ( Destination MAC Address ) </option>"),
              std::string::npos)
        << r.body;
    EXPECT_EQ(
        error_of(post("/trunk.cgi", "trunk_criteria=3&tgmember1=1,2&tgmember2=&tgmember3=25,26")),
        "");
    EXPECT_EQ(members(2), "25,26");
}

TEST_F(page_trunk, PortInTwoTrunksIsRefusedAndPortsMoveBetweenTrunks) {
    ASSERT_EQ(error_of(post("/trunk.cgi", "trunk_criteria=1&tgmember1=5,6&tgmember2=7,8")), "");
    std::string before = saved("trunk");
    EXPECT_EQ(error_of(post("/trunk.cgi", "trunk_criteria=1&tgmember1=1,2&tgmember2=2,3")),
              "Port 2 cannot be a member of trunk 1 and trunk 2");
    EXPECT_EQ(members(0), "5,6");
    EXPECT_EQ(members(1), "7,8");
    EXPECT_EQ(saved("trunk"), before);
    // Ports change groups in one post, either way round.
    EXPECT_EQ(error_of(post("/trunk.cgi", "trunk_criteria=1&tgmember1=5,7&tgmember2=6,8")), "");
    EXPECT_EQ(members(0), "5,7");
    EXPECT_EQ(members(1), "6,8");
    for (int tid = 0; tid < 2; tid++) {
        dxp_trunk_add_info t{};
        EXPECT_EQ(dxp_trunk_get(0, tid, &t), 0);
        EXPECT_EQ(t.num_ports, 2) << tid;
    }
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
