// The DoS prevention pages through HTTP on the 52-port board's chip: the
// checks reach the manager and the chip, the forms show them, the "dos" item
// is saved, and bad input changes nothing.
#include <string>
#include <vector>

#include "dosmgr.h"
#include "dxp.h"
#include "dxpx.h"
#include "switch_pages_fixture.h"

namespace {

class page_dos : public switch_pages_test::SwitchPages {
  protected:
    sim::ChipKind chip() const override { return sim::ChipKind::DXP7101; }
    void SetUp() override {
        SwitchPages::SetUp();
        settings_item_handler_set("dos", dos_item);  // once per process; later calls are refused
        ASSERT_EQ(dos_init(), 0);
    }
    void TearDown() override {
        dos_attack_reset();
        SwitchPages::TearDown();
    }
    static int type_on(int uport, int type, int *rate = nullptr) {
        int enabled = 0, r = 0;
        dos_attack_get(uport, type, &enabled, &r);
        if (rate != nullptr) *rate = r;
        return enabled;
    }
};

TEST_F(page_dos, SystemWideChecksReachTheChipAndTheForm) {
    const std::string before = saved("dos");
    test_response r = post("/dos.cgi", "checks=101");
    ASSERT_EQ(error_of(r), "");
    EXPECT_EQ(type_on(1, DOS_ATTACK_LAND), 1);
    EXPECT_EQ(type_on(1, DOS_ATTACK_BLAT), 0);
    EXPECT_EQ(type_on(52, DOS_ATTACK_XMAS_SCAN), 1);
    int value = 0;
    ASSERT_EQ(dxpx_switch_control_get(dxpSwitchDosAttackTcpFlags, &value), 0);
    EXPECT_EQ(value, 1);
    EXPECT_NE(saved("dos"), before);
    EXPECT_TRUE(has(r, "id=\"land\" checked"));
    EXPECT_TRUE(has(r, "id=\"blat\" >"));
    EXPECT_TRUE(has(r, "id=\"xmas\" checked"));

    ASSERT_EQ(error_of(post("/dos.cgi", "checks=000")), "");
    EXPECT_EQ(type_on(1, DOS_ATTACK_LAND), 0);
    for (const char *bad : {"checks=10", "checks=1111", "checks=111&more=1"}) {
        EXPECT_EQ(error_of(post("/dos.cgi", bad)), "Expecting three settings") << bad;
        EXPECT_EQ(type_on(1, DOS_ATTACK_LAND), 0) << bad;
    }
}

TEST_F(page_dos, PerPortChecksForOnePortOrAll) {
    test_response r = post("/dos_perport.cgi", "port=FF&checks=011&ping_rate=128&syn_rate=64");
    ASSERT_EQ(error_of(r), "");
    int rate = 0;
    EXPECT_EQ(type_on(40, DOS_ATTACK_PING_FLOOD, &rate), 1);
    EXPECT_EQ(rate, 128);
    EXPECT_EQ(type_on(40, DOS_ATTACK_SYN_FLOOD, &rate), 1);
    EXPECT_EQ(rate, DOS_FLOOD_RATE);
    EXPECT_EQ(type_on(40, DOS_ATTACK_SMURF), 0);
    EXPECT_TRUE(has(r, "id=\"all\" checked"));
    EXPECT_TRUE(has(r, "id=\"ping128\" value=\"128\" checked"));
    EXPECT_TRUE(has(r, "id=\"ping64\" value=\"64\" >"));
    EXPECT_TRUE(has(r, "id=\"syn64\" value=\"64\" checked"));

    const std::string before = saved("dos");
    r = post("/dos_perport.cgi", "port=3&checks=100&ping_rate=64&syn_rate=64");
    ASSERT_EQ(error_of(r), "");
    EXPECT_EQ(type_on(3, DOS_ATTACK_SMURF), 1);
    EXPECT_EQ(type_on(3, DOS_ATTACK_PING_FLOOD), 0);
    EXPECT_EQ(type_on(4, DOS_ATTACK_PING_FLOOD), 1);
    EXPECT_NE(saved("dos"), before);
    EXPECT_TRUE(has(r, "value=\"3\" selected"));
    EXPECT_TRUE(has(r, "id=\"smurf\" checked"));
    EXPECT_TRUE(has(r, "id=\"all\" >"));

    r = post("/dos_showperport.cgi", "port=4");
    ASSERT_EQ(error_of(r), "");
    EXPECT_TRUE(has(r, "value=\"4\" selected"));
    EXPECT_TRUE(has(r, "id=\"smurf\" >"));
    EXPECT_TRUE(has(r, "id=\"ping\" checked"));

    // Bad ports, texts and rates change nothing.
    for (const char *bad :
         {"port=53&checks=111&ping_rate=64&syn_rate=64",
          "port=ff&checks=111&ping_rate=64&syn_rate=64",
          "port=3&checks=11&ping_rate=64&syn_rate=64", "port=3&checks=111&ping_rate=x&syn_rate=64",
          "port=3&checks=111&ping_rate=64&syn_rate=32", "port=3&checks=111"}) {
        EXPECT_NE(error_of(post("/dos_perport.cgi", bad)), "") << bad;
        EXPECT_EQ(type_on(3, DOS_ATTACK_SYN_FLOOD), 0) << bad;
        EXPECT_EQ(type_on(3, DOS_ATTACK_PING_FLOOD), 0) << bad;
    }
    EXPECT_EQ(error_of(post("/dos_showperport.cgi", "port=0")), "Invalid port");
}

TEST_F(page_dos, ThePageShowsWhatTheChipStillDoes) {
    ASSERT_EQ(error_of(post("/dos.cgi", "checks=100")), "");
    // One port switched off beside the manager, as the monitor's DOS does.
    const switch_pages_test::ChipPort five = switch_pages_test::chip_port_of(5);
    ASSERT_EQ(dxp_switch_control_port_set(five.unit, five.port, dxpSwitchDosAttackSipEqualDip, 0),
              0);
    int on = -1;
    const switch_pages_test::ChipPort four = switch_pages_test::chip_port_of(4);
    ASSERT_EQ(dxp_switch_control_port_get(four.unit, four.port, dxpSwitchDosAttackSipEqualDip, &on),
              0);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(type_on(-1, DOS_ATTACK_LAND), 0);
    test_response page = get("/dos.htm");
    EXPECT_TRUE(has(page, "id=\"land\" data-some=\"1\">")) << page.body;
    EXPECT_TRUE(has(page, "id=\"land_some\">on for some ports only<"));
    EXPECT_TRUE(has(page, "id=\"blat\" >"));
    EXPECT_TRUE(has(page, "id=\"blat_some\"></span>"));
    // Left as it is ('2'), it stays on some ports.
    ASSERT_EQ(error_of(post("/dos.cgi", "checks=200")), "");
    ASSERT_EQ(dxp_switch_control_port_get(five.unit, five.port, dxpSwitchDosAttackSipEqualDip, &on),
              0);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(type_on(4, DOS_ATTACK_LAND), 1);
    for (const char *bad : {"checks=300", "checks=1x0", "checks=2 0"})
        EXPECT_EQ(error_of(post("/dos.cgi", bad)), "Expecting three settings") << bad;
    EXPECT_EQ(type_on(4, DOS_ATTACK_LAND), 1);
    // Checking it again protects every port.
    ASSERT_EQ(error_of(post("/dos.cgi", "checks=100")), "");
    ASSERT_EQ(dxp_switch_control_port_get(five.unit, five.port, dxpSwitchDosAttackSipEqualDip, &on),
              0);
    EXPECT_EQ(on, 1);
    EXPECT_TRUE(has(get("/dos.htm"), "id=\"land\" checked"));
    ASSERT_EQ(error_of(post("/dos.cgi", "checks=000")), "");
    ASSERT_EQ(dxp_switch_control_port_get(four.unit, four.port, dxpSwitchDosAttackSipEqualDip, &on),
              0);
    EXPECT_EQ(on, 0);
}

}  // namespace

namespace {

// A per-port post whose checks do not all fit in the free rows is refused
// whole, naming the check: smurf stays on, the floods off, nothing stored.
TEST_F(page_dos, ARefusedPerPortPostChangesNothing) {
    ASSERT_EQ(error_of(post("/dos_perport.cgi", "port=3&checks=100&ping_rate=64&syn_rate=64")), "");
    // Every free row but two taken.
    dxp_field_qset_t qset{};
    dxp_field_qset_add(&qset, dxpFieldQualifyIpProtocol);
    int group = 0, entry = 0;
    ASSERT_EQ(dxp_field_group_create(0, qset, -1, &group), 0);
    std::vector<int> taken;
    while (dxp_field_entry_create(0, group, &entry) == 0)
        taken.push_back(entry);
    ASSERT_GE(taken.size(), 2u);
    for (int i = 0; i < 2; i++) {
        ASSERT_EQ(dxp_field_entry_destroy(0, taken.back()), 0);
        taken.pop_back();
    }
    const std::string before = saved("dos");
    const test_response shown = post("/dos_showperport.cgi", "port=3");
    const std::string answer =
        error_of(post("/dos_perport.cgi", "port=3&checks=011&ping_rate=64&syn_rate=128"));
    EXPECT_NE(answer.find("No resources for operation: the "), std::string::npos) << answer;
    EXPECT_NE(answer.find(" check does not fit"), std::string::npos) << answer;
    EXPECT_EQ(type_on(3, DOS_ATTACK_SMURF), 1);
    EXPECT_EQ(type_on(3, DOS_ATTACK_PING_FLOOD), 0);
    EXPECT_EQ(type_on(3, DOS_ATTACK_SYN_FLOOD), 0);
    EXPECT_EQ(saved("dos"), before);
    EXPECT_EQ(post("/dos_showperport.cgi", "port=3").body, shown.body);
    // Every row the refused post made went back.
    for (int i = 0; i < 2; i++)
        EXPECT_EQ(dxp_field_entry_create(0, group, &entry), 0) << i;
}

// A first post refused for want of rows leaves the chip's DoS switch off as
// well: nothing of it ran.
TEST_F(page_dos, ARefusedFirstPostLeavesTheChipAsItWas) {
    int before = -1;
    ASSERT_EQ(dxpx_switch_control_get(dxpSwitchDosAttackToCpu, &before), 0);
    dxp_field_qset_t qset{};
    dxp_field_qset_add(&qset, dxpFieldQualifyIpProtocol);
    int group = 0, entry = 0;
    ASSERT_EQ(dxp_field_group_create(0, qset, -1, &group), 0);
    while (dxp_field_entry_create(0, group, &entry) == 0) {
    }
    const std::string answer =
        error_of(post("/dos_perport.cgi", "port=3&checks=100&ping_rate=64&syn_rate=64"));
    EXPECT_NE(answer.find("No resources for operation: the "), std::string::npos) << answer;
    int after = -1;
    ASSERT_EQ(dxpx_switch_control_get(dxpSwitchDosAttackToCpu, &after), 0);
    EXPECT_EQ(after, before);
    EXPECT_EQ(type_on(3, DOS_ATTACK_SMURF), 0);
}

}  // namespace
