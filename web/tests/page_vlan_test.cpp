// The 802.1Q VLAN pages through HTTP: each change checked in the chip's VLAN
// table, in the VLAN manager and in the saved "vlan" item.
#include <string>

#include "drv_reg_rmw.h"
#include "switch_pages_fixture.h"

namespace {

using feature_test::Ports;

class page_vlan : public switch_pages_test::SwitchPages {
  protected:
    // "1t 2t 3u": the VLAN's user ports in the chip, tagged or untagged.
    static std::string chip(int vid) {
        dxpx_lplist_t m{}, u{};
        dxpx_lplist_init(&m, 0, 0);
        dxpx_lplist_init(&u, 0, 0);
        std::string out = "none";
        if (dxpx_vlan_port_get(static_cast<dxp_vlan_t>(vid), &m, &u) == 0) {
            uint64_t members = 0, untagged = 0;
            vlan_lplist_to_bits(&m, &members);
            vlan_lplist_to_bits(&u, &untagged);
            out = states(members, untagged);
        }
        dxpx_lplist_free(&m);
        dxpx_lplist_free(&u);
        return out;
    }
    static std::string manager(int vid) {
        Ports m, u;
        upbmp_free(&m.bmp);
        upbmp_free(&u.bmp);
        if (qsw_vlanmgr_vlan_get(static_cast<uint16_t>(vid), &m.bmp, &u.bmp) != 0) return "none";
        uint64_t members = 0, untagged = 0;
        for (int n : m.list())
            members |= uint64_t{1} << (n - 1);
        for (int n : u.list())
            untagged |= uint64_t{1} << (n - 1);
        return states(members, untagged);
    }
    static std::string states(uint64_t members, uint64_t untagged) {
        std::string out;
        for (int n = 1; n <= 64; n++) {
            if ((members >> (n - 1) & 1) == 0) continue;
            if (!out.empty()) out += ' ';
            out += std::to_string(n);
            out += (untagged >> (n - 1) & 1) != 0 ? 'u' : 't';
        }
        return out;
    }
    // A port-state text of the board's 26 ports beginning with the given digits.
    static std::string values(const std::string &head) {
        return head + std::string(26 - head.size(), '0');
    }
};

TEST_F(page_vlan, CreateRetagAndDeleteReachTheChipTheManagerAndTheItem) {
    std::string before = saved("vlan");
    test_response r = post("/newvlan.cgi", "newid=10&values=" + values("221"));
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(error_of(r), "");
    EXPECT_EQ(chip(10), "1t 2t 3u");
    EXPECT_EQ(manager(10), "1t 2t 3u");
    EXPECT_NE(saved("vlan"), before);
    // The answer is the new VLAN's page.
    EXPECT_NE(r.body.find("var states = [2,2,1,0,0,"), std::string::npos) << r.body;

    // Port 1 turns untagged, port 2 stays tagged, port 3 leaves, port 4 joins.
    before = saved("vlan");
    r = post("/setvlan.cgi", "vid=10&values=" + values("1202"));
    EXPECT_EQ(error_of(r), "");
    EXPECT_EQ(chip(10), "1u 2t 4t");
    EXPECT_EQ(manager(10), "1u 2t 4t");
    EXPECT_NE(saved("vlan"), before);

    r = post("/delvlan.cgi", "id=10");
    EXPECT_EQ(error_of(r), "");
    EXPECT_EQ(chip(10), "none");
    EXPECT_EQ(manager(10), "none");
    EXPECT_EQ(qsw_vlanmgr_count_get(), 1);
}

TEST_F(page_vlan, BadIdentifiersAndPvidMembersAreRefused) {
    for (const char *id : {"1", "4095", "x"}) {
        EXPECT_EQ(error_of(post("/newvlan.cgi", std::string("newid=") + id + "&values=1")),
                  "Invalid identifier")
            << id;
    }
    EXPECT_EQ(error_of(post("/newvlan.cgi", "newid=4094&values=" + values(""))), "");
    EXPECT_EQ(error_of(post("/newvlan.cgi", "newid=4094&values=" + values(""))),
              "Vlan id existed already");

    // VLAN 1 stays in the chip and the manager.
    EXPECT_EQ(error_of(post("/delvlan.cgi", "id=1")), "Invalid identifier");
    EXPECT_NE(chip(1), "none");
    EXPECT_EQ(qsw_vlanmgr_vid_exist(1), 1);
    // A VID the manager does not know is not recorded.
    EXPECT_EQ(error_of(post("/setvlan.cgi", "vid=77&values=1")), "Entry not found");
    EXPECT_EQ(manager(77), "none");
    // A VLAN the switch refuses is neither recorded nor logged as made.
    ASSERT_EQ(dxp_vlan_create(0, 78), 0);
    log_clear();
    EXPECT_EQ(error_of(post("/newvlan.cgi", "newid=78&values=" + values("2"))),
              "VLAN 78 exists in the switch, made on the monitor: no page lists it; destroy it "
              "there first");
    EXPECT_EQ(manager(78), "none");
    EXPECT_FALSE(logged("New Vlan : VLAN ID = 78, member port = 1,"));
    EXPECT_TRUE(logged("New Vlan : dxpx_vlan_create failed, vid = 78"));

    // The pages post one character per port: a list of another length
    // names no VLAN, whatever its characters.
    for (const std::string &list : {values("1") + "1111", values("1") + "0", std::string("12"),
                                    std::string(""), values("1").substr(1)}) {
        EXPECT_EQ(error_of(post("/newvlan.cgi", "newid=5&values=" + list)), "Invalid parameter")
            << list.size();
        EXPECT_EQ(chip(5), "none");
        EXPECT_EQ(manager(5), "none");
    }
    ASSERT_EQ(error_of(post("/newvlan.cgi", "newid=5&values=" + values("1"))), "");
    EXPECT_EQ(chip(5), "1u");
    const std::string stored = saved("vlan");
    EXPECT_EQ(error_of(post("/setvlan.cgi", "vid=5&values=" + values("12"))), "");
    EXPECT_EQ(error_of(post("/setvlan.cgi", "vid=5&values=222")), "Invalid parameter");
    EXPECT_EQ(chip(5), "1u 2t");
    EXPECT_EQ(manager(5), "1u 2t");
    ASSERT_EQ(error_of(post("/setvlan.cgi", "vid=5&values=" + values("1"))), "");
    EXPECT_EQ(saved("vlan"), stored);
    ASSERT_EQ(setportcbk_PVID_set(0, 5), 1);
    EXPECT_EQ(error_of(post("/setvlan.cgi", "vid=5&values=" + values("0"))),
              "Change PVID of port 1 to other VLAN before removing it from this VLAN.");
    EXPECT_EQ(error_of(post("/delvlan.cgi", "id=5")),
              "Change PVID of port 1 to other VLAN before removing this VLAN.");
    EXPECT_EQ(chip(5), "1u");
}

TEST_F(page_vlan, ATrunkJoinsAVlanWholeOrNotAtAll) {
    Ports trunk{1, 2};
    ASSERT_EQ(trunkmgr_trunk_set(0, &trunk.bmp), 0);
    EXPECT_EQ(error_of(post("/newvlan.cgi", "newid=20&values=" + values("10"))),
              "All trunk 1 members don&#39;t belong to this vlan 20");
    EXPECT_EQ(chip(20), "none");
    ASSERT_EQ(error_of(post("/newvlan.cgi", "newid=20&values=" + values("22"))), "");
    EXPECT_EQ(error_of(post("/setvlan.cgi", "vid=20&values=" + values("02"))),
              "All trunk 1 members don&#39;t belong to this vlan 20");
    EXPECT_EQ(chip(20), "1t 2t");
}

TEST_F(page_vlan, ListPagesHoldFiveVlansAndStayInRange) {
    Ports m{1, 2}, u{2};
    for (uint16_t vid = 2; vid <= 7; vid++)
        ASSERT_EQ(qsw_vlanmgr_vlan_set(vid, &m.bmp, &u.bmp), 0);
    auto rows = [](const test_response &r) {
        int n = 0;
        for (size_t at = r.body.find("class=\"vid\""); at != std::string::npos;
             at = r.body.find("class=\"vid\"", at + 1))
            n++;
        return n;
    };
    test_response first = get("/vlanlist.htm");
    EXPECT_EQ(rows(first), 5);
    EXPECT_NE(
        first.body.find("value=\"Previous Page\" onclick=\"this.form.pagemode.value=0\" Disabled"),
        std::string::npos);
    EXPECT_NE(first.body.find("<TD BGCOLOR=#FFCC33>01</TD><TD BGCOLOR=#33FFCC>02</TD>"),
              std::string::npos)
        << first.body;

    test_response second = post("/pagevlan.cgi", "curpage=0&pagemode=1");
    EXPECT_EQ(rows(second), 2);
    EXPECT_NE(
        second.body.find("value=\"Next Page\" onclick=\"this.form.pagemode.value=1\" Disabled"),
        std::string::npos);
    // Page numbers from the client are kept to the pages there are.
    EXPECT_EQ(rows(post("/pagevlan.cgi", "curpage=40&pagemode=1")), 2);
    EXPECT_EQ(rows(post("/pagevlan.cgi", "curpage=-9&pagemode=0")), 5);

    // The list's links open the VLAN's edit page.
    test_response edit = get("/showvlan.cgi?port=3");
    EXPECT_NE(edit.body.find("name=\"vid\" value=\"3\""), std::string::npos) << edit.body;
    EXPECT_NE(edit.body.find("var states = [2,1,0,"), std::string::npos);
}

// The VLAN made on the page decides where a frame goes in the chip model.
TEST_F(page_vlan, AFrameLeavesOnlyTheVlansOtherMembersTaggedAsSet) {
    ASSERT_EQ(error_of(post("/newvlan.cgi", "newid=10&values=" + values("221"))), "");
    int chip_port[5] = {};
    for (int uport = 1; uport <= 4; uport++) {
        int lport = -1, unit = -1;
        ASSERT_EQ(ulpm_to_lport(uport, &lport), 0);
        ASSERT_EQ(dxpx_lport_to_unit_port(lport, &unit, &chip_port[uport]), 0);
        board->port(chip_port[uport]).linkUp();
        ASSERT_EQ(dxpx_port_enable_set(lport, 1), 0);
    }
    // Forwarding on, as the chip reset init leaves it.
    ASSERT_EQ(drv_reg_field_write(0, R_SWMODE, 0, F_SW_FWDG_EN, 1), 0);
    dxp_pbmp_t linked{};
    for (int uport = 1; uport <= 4; uport++)
        dxp_pbmp_port_add(&linked, chip_port[uport]);
    ASSERT_EQ(dxp_linkscan_update(0, linked), 0);

    board->port(chip_port[1]).inject(sim::FrameBuilder().src(0x00102030405aull).vlan(10).build());
    auto to2 = board->port(chip_port[2]).sent(), to3 = board->port(chip_port[3]).sent();
    ASSERT_EQ(to2.size(), 1u);
    EXPECT_TRUE(to2[0].tagged);
    EXPECT_EQ(to2[0].vid, 10);
    ASSERT_EQ(to3.size(), 1u);
    EXPECT_FALSE(to3[0].tagged);
    EXPECT_TRUE(board->port(chip_port[4]).sent().empty());  // not a member
}

}  // namespace
