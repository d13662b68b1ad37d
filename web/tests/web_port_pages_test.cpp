// The port pages over the chip model, through the running server with a
// session cookie: the settings form reaches the chip and the "portconf"
// item, the status page and the front panel show the live ports, and the
// statistics pages show and clear the chip's counters.
#include <filesystem>
#include <string>

#include "../../features/tests/feature_fixture.h"
#include "drv_port.h"
#include "flash.h"
#include "nvram.h"
#include "port_reserve.h"
#include "settings.h"
#include "storage_host.h"
#include "vlanmgr.h"
#include "web_page_client.h"
#include "web_pages.h"
#include "web_ports.h"
#include "web_test_support.h"
#include "webauth.h"

namespace {

const uint8_t kCpuMac[6] = {0x02, 0x00, 0x5e, 0x10, 0x20, 0x30};

int cpu_addr(dxp_vlan_t vid, dxpx_l2_addr_t *record) {
    dxpx_l2_addr_init(record, kCpuMac, vid);
    record->flags = 0x4020;
    return 1;
}

class port_pages : public feature_test::BoardTest {
  protected:
    sim::ChipKind chip() const override { return sim::ChipKind::DXP7101; }
    void SetUp() override {
        BoardTest::SetUp();
        web_board_port_count_set(board_num_uports);
        std::filesystem::remove("port_pages_flash.bin");
        flash_host_open("port_pages_flash.bin", 1);
        flashInit();
        nvram_init();
        settings_init();
        settings_item_handler_set("portconf", port_settings_item);
        ASSERT_EQ(qsw_vlanmgr_init(), 0);
        port_pvid_init();
        test_server_port();
        test_hook_set(webauth_hook, WEBAUTH_HOOK_MASK);
        cookie = std::string("WebManaged=") + webauth_cookie_get();
    }
    void TearDown() override {
        test_hook_set(nullptr, 0);
        port_cpu_l2_addr_source_set(nullptr);
        nvram_host_close();
        flash_host_close();
        BoardTest::TearDown();
    }

    test_response request(const std::string &method, const std::string &path,
                          const std::string &body = "", bool with_cookie = true) {
        std::string req = method + " " + path + " HTTP/1.0\r\n";
        if (with_cookie) req += "Cookie: " + cookie + "\r\n";
        if (method == "POST") req += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        return test_parse_response(test_exchange(req + "\r\n" + body));
    }
    test_response portset(const std::string &body) { return request("POST", "/portset.cgi", body); }
    static std::string form(int port, const char *autonego, const char *speed, int priority,
                            int pvid) {
        std::string body = "port=" + std::to_string(port) + "&admin=1&autonego=" + autonego;
        if (speed != nullptr) body += std::string("&speed=") + speed;
        return body + "&flow_ctrl=1&priority=" + std::to_string(priority) +
               "&pvid=" + std::to_string(pvid);
    }
    static int lport_of(int uport) {
        int lport = -1;
        ulpm_to_lport(uport, &lport);
        return lport;
    }
    static int chip_port(int uport) {
        int unit = 0, port = 0;
        dxpx_lport_to_unit_port(lport_of(uport), &unit, &port);
        return port;
    }
    static void vlan_add(uint16_t vid) {
        feature_test::Ports members({1, 2, 3});
        ASSERT_EQ(dxpx_vlan_create(vid), 0);
        ASSERT_EQ(qsw_vlanmgr_vlan_set(vid, &members.bmp, &members.bmp), 0);
    }
    static bool cpu_mac_in(dxp_vlan_t vid) {
        dxpx_l2_addr_t found{};
        return dxpx_l2_addr_get(kCpuMac, vid, &found, 0) == 0;
    }
    static std::string error_of(const test_response &r) {
        size_t at = r.body.find("<b>");
        if (at == std::string::npos) return "";
        std::string text = r.body.substr(at + 3, r.body.find("</b>") - at - 3);
        if (size_t gt = text.find("&gt;"); gt != std::string::npos) text.replace(gt, 4, ">");
        return text;
    }
    static int count(const std::string &text, const std::string &what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            n++;
        return n;
    }
    // Discard "all" keeps the port's receiver off however the port was
    // enabled again.
    void expect_receiver_off(int lport) {
        int unit = 0, port = 0;
        ASSERT_EQ(dxpx_lport_to_unit_port(lport, &unit, &port), 0);
        uint32_t rx = 1;
        ASSERT_EQ(drv_port_get(unit, port, PROP_ENABLE_RX, &rx), 0);
        EXPECT_EQ(rx, 0u);
    }
    std::string cookie;
};

TEST_F(port_pages, FormReachesTheChipTheTablesAndTheSavedItem) {
    vlan_add(5);
    port_cpu_l2_addr_source_set(cpu_addr);
    board->chip().linkUp(chip_port(3), sim::LinkPartner::forced(10, true));
    test_response r = portset(form(3, "0", "2", 5, 5));
    ASSERT_EQ(r.status, "200 OK");
    EXPECT_NE(r.body.find("Port Configuration"), std::string::npos);
    int value = 0, tx = 0, rx = 0;
    const int lport = lport_of(3);
    EXPECT_EQ(dxpx_port_autoneg_get(lport, &value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(dxpx_port_speed_get(lport, &value), 0);
    EXPECT_EQ(value, 10);
    EXPECT_EQ(dxpx_port_duplex_get(lport, &value), 0);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(dxpx_port_pause_get(lport, &tx, &rx), 0);
    EXPECT_EQ(tx + rx, 2);
    EXPECT_EQ(dxpx_port_untagged_priority_get(lport, &value), 0);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(port_flowctrl_get(2), 1);
    EXPECT_EQ(port_pvid_get(2), 5);
    // The CPU's address joins VLAN 5; VLAN 1 is still other ports' PVID.
    EXPECT_TRUE(cpu_mac_in(5));
    EXPECT_NE(nvram_get("portconf"), nullptr);

    // The form of the port shows what was set.
    r = request("GET", "/setport.cgi?port=3");
    for (const char *preset :
         {"var admin = Number(\"1\")", "var autonego = Number(\"0\")", "var speed = Number(\"2\")",
          "var flow_ctrl = Number(\"1\")", "var priority = Number(\"5\")",
          "var pvid = Number(\"5\")", "var ptype = Number(\"0\")", "value=\"03\""}) {
        EXPECT_NE(r.body.find(preset), std::string::npos) << preset;
    }
    // Picking the port changes nothing: answered while a restored image waits.
    const uint32_t image = sal_turn_take(1);
    r = request("GET", "/setport.cgi?port=3");
    sal_turn_release(image);
    EXPECT_NE(r.body.find("var priority = Number(\"5\")"), std::string::npos) << r.body;

    // Back to VLAN 1: the address leaves VLAN 5, the only port that had it.
    // Negotiating, a fast-Ethernet port changes only its pause abilities.
    uint32_t before = 0, after = 0;
    ASSERT_EQ(dxpx_port_advert_get(lport, &before), 0);
    ASSERT_EQ(portset(form(3, "1", nullptr, 0, 1)).status, "200 OK");
    ASSERT_EQ(dxpx_port_advert_get(lport, &after), 0);
    EXPECT_EQ(after, before | 0xC00u);
    EXPECT_FALSE(cpu_mac_in(5));
    EXPECT_EQ(dxpx_port_autoneg_get(lport, &value), 0);
    EXPECT_EQ(value, 1);
}

// Negotiating, a gigabit port advertises every speed it runs, and no more:
// the SERDES runs 1000 full only (register 4 keeps 1000 half clear).
TEST_F(port_pages, NegotiatingGigabitPortAdvertisesTheSpeedsItRuns) {
    const int uport = 49;
    ASSERT_EQ(portset(form(uport, "1", nullptr, 0, 1)).status, "200 OK");
    uint32_t advert = 0;
    EXPECT_EQ(dxpx_port_advert_get(lport_of(uport), &advert), 0);
    EXPECT_EQ(advert, 0x20u | 0xC00u);
    // The same again changes nothing.
    ASSERT_EQ(portset(form(uport, "1", nullptr, 0, 1)).status, "200 OK");
    EXPECT_EQ(dxpx_port_advert_get(lport_of(uport), &advert), 0);
    EXPECT_EQ(advert, 0x20u | 0xC00u);
}

// The 26-port board's gigabit ports have copper PHYs.
class port_pages_small : public port_pages {
  protected:
    sim::ChipKind chip() const override { return sim::ChipKind::DXP7102A1; }
};

TEST_F(port_pages_small, ForcedGigabitNegotiatesOnlyGigabitAndShowsAsForced) {
    const int uport = 25;
    ASSERT_EQ(portset(form(uport, "0", "5", 0, 1)).status, "200 OK");
    int autoneg = 0;
    uint32_t advert = 0;
    EXPECT_EQ(dxpx_port_autoneg_get(lport_of(uport), &autoneg), 0);
    EXPECT_EQ(autoneg, 1);
    EXPECT_EQ(dxpx_port_advert_get(lport_of(uport), &advert), 0);
    EXPECT_EQ(advert & 0x1Fu, 0u);
    test_response r = request("GET", "/setport.cgi?port=" + std::to_string(uport));
    EXPECT_NE(r.body.find("var autonego = Number(\"0\")"), std::string::npos);
    EXPECT_NE(r.body.find("var speed = Number(\"5\")"), std::string::npos);
    EXPECT_NE(r.body.find("var ptype = Number(\"1\")"), std::string::npos);

    // Back to negotiation: the speeds the port runs, 1000 half aside (the
    // gigabit MAC has none) though the copper PHY offers it.
    ASSERT_EQ(portset(form(uport, "1", nullptr, 0, 1)).status, "200 OK");
    EXPECT_EQ(dxpx_port_advert_get(lport_of(uport), &advert), 0);
    EXPECT_EQ(advert & 0x600003FFu, 0x2Fu);

    // A cap set elsewhere (up to 100 Mb/s) is a choice of its own, and an
    // Apply that leaves it keeps it; "on" chosen offers every speed again.
    ASSERT_EQ(dxpx_port_advert_set(lport_of(uport), 0xFu | 0xC00u), 0);
    r = request("GET", "/setport.cgi?port=" + std::to_string(uport));
    EXPECT_NE(r.body.find("var autonego = Number(\"2\")"), std::string::npos) << r.body;
    EXPECT_NE(r.body.find("var autonegoRunning = \"up to 100\""), std::string::npos);
    ASSERT_EQ(portset(form(uport, "2", nullptr, 3, 1)).body.find("errorbox"), std::string::npos);
    EXPECT_EQ(dxpx_port_advert_get(lport_of(uport), &advert), 0);
    EXPECT_EQ(advert & 0x600003FFu, 0xFu);
    // A speed posted beside a negotiating choice forces nothing.
    ASSERT_EQ(portset(form(uport, "2", "1", 3, 1)).body.find("errorbox"), std::string::npos);
    EXPECT_EQ(dxpx_port_autoneg_get(lport_of(uport), &autoneg), 0);
    EXPECT_EQ(autoneg, 1);
    EXPECT_EQ(dxpx_port_advert_get(lport_of(uport), &advert), 0);
    EXPECT_EQ(advert & 0x600003FFu, 0xFu);
    ASSERT_EQ(portset(form(uport, "1", "4", 3, 1)).body.find("errorbox"), std::string::npos);
    EXPECT_EQ(dxpx_port_autoneg_get(lport_of(uport), &autoneg), 0);
    EXPECT_EQ(autoneg, 1);
    EXPECT_EQ(dxpx_port_advert_get(lport_of(uport), &advert), 0);
    EXPECT_EQ(advert & 0x600003FFu, 0x2Fu);
}

TEST_F(port_pages, BadFormsAreRefusedWithTheirMessage) {
    const char *no_port = "Transfer user port number to logical port number failed: port ";
    const std::pair<std::string, std::string> cases[] = {
        {form(0, "0", "4", 0, 1),
         no_port + std::string("&quot;0&quot; is no front-panel port; nothing changed")},
        {form(99, "0", "4", 0, 1),
         no_port + std::string("&quot;99&quot; is no front-panel port; nothing changed")},
        {"port=x&admin=1&autonego=0&speed=4&flow_ctrl=1&priority=0&pvid=1",
         no_port + std::string("&quot;x&quot; is no front-panel port; nothing changed")},
        {form(2, "0", nullptr, 0, 1),
         "Port 2: the post lacks speed, which auto-negotiation off needs; nothing changed"},
        {"port=2&admin=1&autonego=1&flow_ctrl=1&priority=0",
         "Port 2: the post lacks pvid; nothing changed"},
        {form(2, "1", "4", 0, 1) + "&extra=1",
         "Port 2: field &quot;extra&quot; is unknown or given twice; nothing changed"},
        {form(2, "1", "4", 0, 1) + "&priority=3",
         "Port 2: field &quot;priority&quot; is unknown or given twice; nothing changed"},
        {form(2, "0", "9", 0, 1),
         "Set speed failed: port 2 speed &quot;9&quot; is no speed/duplex code (1-5)"},
        {form(2, "abc", nullptr, 0, 1),
         "Port 2: autonego &quot;abc&quot; is neither 0 (off) nor 1 (on); nothing changed"},
        {form(2, "2", nullptr, 0, 1),
         "Port 2: autonego 2 keeps a reduced advertisement, and the port runs none; nothing "
         "changed"},
        {"port=2&admin=1&autonego=1&flow_ctrl=yes&priority=0&pvid=1",
         "Set pause failed: port 2 flow_ctrl &quot;yes&quot; is neither 0 (off) nor 1 (on) nor "
         "the one direction the port runs; nothing changed"},
        {form(2, "0", "4", 8, 1),
         "Set untagged priority failed: port 2 priority &quot;8&quot; is not 0 to 7; nothing "
         "changed"},
        {form(2, "0", "4", 0, 4095),
         "PVID is not an existent vlan id: port 2 pvid &quot;4095&quot;; nothing changed"},
        {form(2, "0", "4", 0, 7),
         "PVID is not an existent vlan id: port 2 pvid &quot;7&quot;; nothing changed"},
        {"port=2&admin=&autonego=0&speed=4&flow_ctrl=1&priority=0&pvid=1",
         "Port 2: admin &quot;&quot; is neither 0 (disable) nor 1 (enable); nothing changed"},
        {"port=2&admin=10&autonego=1&flow_ctrl=1&priority=0&pvid=1",
         "Port 2: admin &quot;10&quot; is neither 0 (disable) nor 1 (enable); nothing changed"},
    };
    for (const auto &[body, message] : cases) {
        test_response r = portset(body);
        EXPECT_NE(r.body.find("Set Port"), std::string::npos) << body;
        EXPECT_EQ(error_of(r), message) << body;
    }
    EXPECT_EQ(port_pvid_get(1), 1);
    int enabled = 0;
    EXPECT_EQ(dxpx_port_enable_get(lport_of(2), &enabled), 0);
    EXPECT_EQ(enabled, 1);
    EXPECT_EQ(nvram_get("portconf"), nullptr);
    // The fields are taken by name, in whatever order they come.
    ASSERT_EQ(
        portset("pvid=1&priority=3&flow_ctrl=0&autonego=1&admin=1&port=2").body.find("errorbox"),
        std::string::npos);
    int priority = 0;
    EXPECT_EQ(dxpx_port_untagged_priority_get(lport_of(2), &priority), 0);
    EXPECT_EQ(priority, 3);
    // A form for no front-panel port presets nothing.
    EXPECT_NE(request("GET", "/setport.cgi?port=99").body.find("var ptype = Number(\"\")"),
              std::string::npos);
}

// A speed the port cannot run is refused before the port changes at all:
// it keeps negotiating and keeps its priority, and nothing is saved.
TEST_F(port_pages, ASpeedThePortCannotRunChangesNothing) {
    const std::pair<int, const char *> cases[] = {
        {49, "Set speed failed: port 49 cannot run 100Mbps Full"},
        {52, "Set speed failed: port 52 cannot run 10Mbps Half"},
        {2, "Set speed failed: port 2 cannot run 1Gbps Full"},
    };
    for (const auto &[uport, message] : cases) {
        const char *code = uport == 49 ? "4" : uport == 52 ? "1" : "5";
        test_response r = portset(form(uport, "0", code, 6, 1));
        EXPECT_EQ(error_of(r), message);
        int autoneg = 0, priority = 0;
        EXPECT_EQ(dxpx_port_autoneg_get(lport_of(uport), &autoneg), 0);
        EXPECT_EQ(autoneg, 1) << uport;
        EXPECT_EQ(dxpx_port_untagged_priority_get(lport_of(uport), &priority), 0);
        EXPECT_EQ(priority, 0) << uport;
    }
    EXPECT_EQ(nvram_get("portconf"), nullptr);
    // 1000 Mb/s is what the SERDES port runs: forced, with the rest applied.
    ASSERT_NE(portset(form(49, "0", "5", 6, 1)).body.find("Port Configuration"), std::string::npos);
    int speed = 0, priority = 0, autoneg = 1;
    EXPECT_EQ(dxpx_port_autoneg_get(lport_of(49), &autoneg), 0);
    EXPECT_EQ(autoneg, 0);
    EXPECT_EQ(dxpx_port_speed_get(lport_of(49), &speed), 0);
    EXPECT_EQ(speed, 1000);
    EXPECT_EQ(dxpx_port_untagged_priority_get(lport_of(49), &priority), 0);
    EXPECT_EQ(priority, 6);
}

TEST_F(port_pages, StatusPageAndPanelShowTheLivePorts) {
    board->chip().linkUp(chip_port(2), sim::LinkPartner{});
    ASSERT_EQ(dxpx_port_enable_set(lport_of(4), 0), 0);
    test_response r = request("GET", "/portconf.htm");
    ASSERT_EQ(r.status, "200 OK");
    EXPECT_EQ(count(r.body, "<b>Up</b>"), 1);
    EXPECT_EQ(count(r.body, "<b>Down</b>"), 51);
    EXPECT_NE(r.body.find("<b>100Mbps Full</b>"), std::string::npos);
    EXPECT_NE(r.body.find("setport.cgi?port=52"), std::string::npos);

    // Without a session every LED is gray and only the port classes show.
    r = request("GET", "/top.htm", "", false);
    ASSERT_EQ(r.status, "200 OK");
    EXPECT_EQ(r.body.find("lgreen.gif"), std::string::npos);
    EXPECT_EQ(r.body.find("lorange.gif"), std::string::npos);
    EXPECT_NE(r.body.find("var portStates = [0x0,0x0,"), std::string::npos);
    EXPECT_NE(r.body.find("width=10 height=10"), std::string::npos);
    // With one the linked port is lit and the disabled one orange.
    r = request("GET", "/panel.cgi");
    EXPECT_NE(r.body.find("var portStates = [0x0,0x7,0x0,0x10,"), std::string::npos);
    EXPECT_EQ(count(r.body, "lgreen.gif"), 2);   // duplex and link of port 2
    EXPECT_EQ(count(r.body, "lorange.gif"), 2);  // 100 Mb/s of port 2, port 4 disabled
}

TEST_F(port_pages, StatisticsShowAndClearTheChipCounters) {
    board->chip().mibSet("TXUNICASTPKTS", chip_port(1), 1234);
    board->chip().mibSet("RXUNICASTPKTS", chip_port(27), 4321);
    ASSERT_EQ(dxp_stat_sync(0), 0);
    test_response r = request("GET", "/statist.htm");
    EXPECT_NE(r.body.find("<td>1234</td>"), std::string::npos);
    EXPECT_NE(r.body.find("<td>4321</td>"), std::string::npos);
    r = request("GET", "/counters.cgi?port=1");
    EXPECT_NE(r.body.find("Counters of Port 01"), std::string::npos);
    EXPECT_NE(r.body.find("<td>UnicastPkts</td><td>1234</td>"), std::string::npos);
    r = request("GET", "/counters.cgi?port=99");
    EXPECT_EQ(count(r.body, "<td>--</td>"), 29);

    request("POST", "/clear_counter.cgi", "port=ALL");
    ASSERT_EQ(dxp_stat_sync(0), 0);
    EXPECT_NE(request("GET", "/statist.htm").body.find("<td>1234</td>"), std::string::npos);
    r = request("POST", "/clear_counter.cgi", "port=all");
    EXPECT_NE(r.body.find("Port Statistics"), std::string::npos);
    ASSERT_EQ(dxp_stat_sync(0), 0);
    EXPECT_EQ(request("GET", "/statist.htm").body.find("<td>1234</td>"), std::string::npos);
}

TEST_F(port_pages, SavedItemRestoresThePorts) {
    vlan_add(9);
    ASSERT_EQ(portset(form(5, "0", "3", 2, 9)).status, "200 OK");
    feature_test::MemoryMedium medium;
    ASSERT_EQ(medium.save(port_settings_item), 52 * 20);
    board->chip().linkUp(chip_port(5), sim::LinkPartner::forced(100, false));
    ASSERT_EQ(dxpx_port_speed_set(lport_of(5), 10), 0);
    ASSERT_EQ(setportcbk_PVID_set(4, 1), 1);
    port_flowctrl_set(4, 0);
    ASSERT_EQ(medium.load(port_settings_item), 52 * 20);
    int speed = 0, duplex = 1;
    dxpx_port_speed_get(lport_of(5), &speed);
    dxpx_port_duplex_get(lport_of(5), &duplex);
    EXPECT_EQ(speed, 100);
    EXPECT_EQ(duplex, 0);
    EXPECT_EQ(port_pvid_get(4), 9);
    EXPECT_EQ(port_flowctrl_get(4), 1);
    // A row whose forced speed the port refuses still brings back its
    // priority and PVID (port 5's row, forced 1000 Mb/s on a 100 Mb/s port).
    ASSERT_EQ(portset(form(5, "0", "4", 2, 9)).status, "200 OK");
    ASSERT_EQ(medium.save(port_settings_item), 52 * 20);
    medium.bytes[4 * 20 + 5] = 5;  // the low byte of the row's speed code
    ASSERT_EQ(dxpx_port_untagged_priority_set(lport_of(5), 0), 0);
    ASSERT_EQ(setportcbk_PVID_set(4, 1), 1);
    ASSERT_EQ(medium.load(port_settings_item), 52 * 20);
    int priority = 0;
    dxpx_port_untagged_priority_get(lport_of(5), &priority);
    EXPECT_EQ(priority, 2);
    EXPECT_EQ(port_pvid_get(4), 9);
    // A record of another board is refused.
    medium.bytes.resize(26 * 20);
    EXPECT_LT(medium.load(port_settings_item), 0);
}

// A save keeps what the ports run, whoever set it: a speed and pause forced
// through the API (as the monitor does) and a discard mode. The form's Apply leaves
// the discard mode alone, and the record of the previous version, without
// the mode, is still read and gives a port none.
TEST_F(port_pages, SavedItemKeepsWhatThePortsRunWhoeverSetIt) {
    const int fe4 = lport_of(5), fe5 = lport_of(6);
    ASSERT_EQ(dxpx_port_autoneg_set(fe4, 0), 0);
    ASSERT_EQ(dxpx_port_speed_set(fe4, 10), 0);
    ASSERT_EQ(dxpx_port_duplex_set(fe4, 0), 0);
    ASSERT_EQ(dxpx_port_pause_set(fe4, 1, 1), 0);
    ASSERT_EQ(dxpx_port_discard_set(fe5, 1), 0);
    ASSERT_EQ(portset(form(6, "1", nullptr, 5, 1)).status, "200 OK");
    expect_receiver_off(fe5);
    const std::string page = request("GET", "/setport.cgi?port=5").body;
    EXPECT_NE(page.find("var speed = Number(\"1\")"), std::string::npos) << page;
    EXPECT_NE(page.find("var flow_ctrl = Number(\"1\")"), std::string::npos) << page;
    // Pause in one direction only (a gigabit MAC's) is shown, and kept only
    // as it runs.
    const int ge0 = lport_of(49);
    uint32_t advert = 0;
    ASSERT_EQ(dxpx_port_advert_get(ge0, &advert), 0);
    ASSERT_EQ(dxpx_port_advert_set(ge0, (advert & ~0xc00u) | 0x400u), 0);
    std::string keep = "port=49&admin=1&autonego=1&flow_ctrl=2&priority=0&pvid=1";
    EXPECT_NE(request("GET", "/setport.cgi?port=49").body.find("flow_ctrl = Number(\"2\")"),
              std::string::npos);
    EXPECT_EQ(portset(keep).body.find("errorbox"), std::string::npos);
    keep.replace(keep.find("flow_ctrl=2"), 11, "flow_ctrl=3");
    EXPECT_NE(portset(keep).body.find("flow_ctrl &quot;3&quot; is neither 0 (off) nor 1 (on) nor "
                                      "the one direction the port runs"),
              std::string::npos);
    ASSERT_EQ(dxpx_port_advert_get(ge0, &advert), 0);
    EXPECT_EQ(advert & 0xc00u, 0x400u);
    feature_test::MemoryMedium medium;
    ASSERT_EQ(medium.save(port_settings_item), 52 * 20);
    ASSERT_EQ(dxpx_port_autoneg_set(fe4, 1), 0);
    ASSERT_EQ(dxpx_port_pause_set(fe4, 0, 0), 0);
    ASSERT_EQ(dxpx_port_discard_set(fe5, 0), 0);
    ASSERT_EQ(medium.load(port_settings_item), 52 * 20);
    int autoneg = 1, speed = 0, duplex = 1, discard = 0, tx = 0, rx = 0;
    dxpx_port_autoneg_get(fe4, &autoneg);
    dxpx_port_speed_get(fe4, &speed);
    dxpx_port_duplex_get(fe4, &duplex);
    dxpx_port_pause_get(fe4, &tx, &rx);
    EXPECT_EQ(autoneg * 10000 + speed * 10 + duplex, 100);
    EXPECT_EQ(tx + rx, 2);
    dxpx_port_discard_get(fe5, &discard);
    EXPECT_EQ(discard, 1);
    expect_receiver_off(fe5);

    // The previous versions' rows are two (no fibre) and four (no discard
    // mode either) bytes shorter.
    const std::vector<uint8_t> saved = medium.bytes;
    for (const auto &[version, bytes] : {std::pair{0x88740002u, 18}, std::pair{0x88740001u, 16}}) {
        std::vector<uint8_t> old;
        for (int row = 0; row < 52; row++)
            old.insert(old.end(), saved.begin() + row * 20, saved.begin() + row * 20 + bytes);
        medium.bytes = old;
        medium.version = version;
        ASSERT_EQ(medium.load(port_settings_item), 52 * bytes);
    }
    dxpx_port_discard_get(fe5, &discard);
    EXPECT_EQ(discard, 0);
}

// A port a self-test holds takes neither the form nor the saved row: chip,
// tables and stored item stay as they were.
TEST_F(port_pages, APortUnderSelfTestRefusesTheFormAndTheSavedRow) {
    vlan_add(9);
    ASSERT_EQ(portset(form(5, "0", "3", 2, 9)).status, "200 OK");
    feature_test::MemoryMedium medium;
    ASSERT_EQ(medium.save(port_settings_item), 52 * 20);
    ASSERT_EQ(portset(form(5, "0", "3", 0, 1)).status, "200 OK");
    const char *stored = nvram_get("portconf");
    ASSERT_NE(stored, nullptr);
    const std::string saved = stored;
    int unit = 0, port = 0;
    ASSERT_EQ(dxpx_lport_to_unit_port(lport_of(5), &unit, &port), 0);
    dxp_pbmp_t held{};
    dxp_pbmp_port_add(&held, port);
    // The saved row (priority 2, PVID 9) and the form (priority 6) both
    // differ from the port's settings now (priority 0, PVID 1).
    ASSERT_EQ(port_reserve(unit, held, "Snake"), 0);
    EXPECT_EQ(error_of(portset(form(5, "1", "3", 6, 9))), "Port 5: port under self-test (Snake)");
    ASSERT_EQ(medium.load(port_settings_item), 52 * 20);
    port_reserve_release(unit, held);
    int priority = -1;
    EXPECT_EQ(dxpx_port_untagged_priority_get(lport_of(5), &priority), 0);
    EXPECT_EQ(priority, 0);
    EXPECT_EQ(port_pvid_get(4), 1);
    EXPECT_EQ(nvram_get("portconf"), saved);
    // Released, the same form is taken.
    ASSERT_EQ(portset(form(5, "1", "3", 6, 9)).status, "200 OK");
    EXPECT_EQ(port_pvid_get(4), 9);
}

// While a self-test holds a port, clearing every port's counters, the
// factory defaults and a restore are refused whole, naming the port, and
// change nothing; the counters the test judges by stay.
TEST_F(port_pages, ASelfTestKeepsItsCountersAndTheWholeSettings) {
    board->chip().mibSet("TXUNICASTPKTS", chip_port(5), 1234);
    ASSERT_EQ(dxp_stat_sync(0), 0);
    dxp_pbmp_t held{};
    dxp_pbmp_port_add(&held, chip_port(5));
    ASSERT_EQ(port_reserve(0, held, "Traffic Test"), 0);
    auto saved_portconf = [] {
        const char *value = nvram_get("portconf");
        return std::string(value != nullptr ? value : "");
    };
    const std::string stored = saved_portconf();
    const std::string port = "Port 5: port under self-test (Traffic Test)";
    test_response r = request("POST", "/clear_counter.cgi", "port=all");
    EXPECT_EQ(error_of(r), port);
    r = request("POST", "/restored.cgi", "factory=2");
    EXPECT_EQ(error_of(r), port +
                               ": the factory defaults are not restored and nothing changed; "
                               "try again once the test has ended");
    const std::string upload = page_upload_request("/restore.cgi", "#settings-image 1\n");
    r = test_parse_response(test_exchange(upload.substr(0, upload.find("\r\n") + 2) +
                                          "Cookie: " + cookie + "\r\n" +
                                          upload.substr(upload.find("\r\n") + 2)));
    EXPECT_EQ(error_of(r), port +
                               ": the backup is not restored and nothing changed; try again "
                               "once the test has ended");
    usleep(1500000);  // a reset taken would have run by now
    ASSERT_EQ(dxp_stat_sync(0), 0);
    EXPECT_NE(request("GET", "/statist.htm").body.find("<td>1234</td>"), std::string::npos);
    EXPECT_EQ(saved_portconf(), stored);
    port_reserve_release(0, held);
    r = request("POST", "/clear_counter.cgi", "port=all");
    EXPECT_EQ(error_of(r), "");
}

TEST(port_panel, LedSizesFollowTheBoard) {
    const uint16_t gigabit_row[3] = {0, 1, 0};
    const uint16_t other_row[3] = {0, 0, 0};
    httpd_tag_out out{};
    for (auto [ports, size, cell] :
         {std::tuple{26, "width=16 height=16", 16}, std::tuple{52, "width=10 height=10", 10}}) {
        web_board_port_count_set(ports);
        sspvar_panel_tag_ledsize(other_row, &out, nullptr);
        EXPECT_STREQ(out.text, size);
        sspvar_panel_tag_ledsize(gigabit_row, &out, nullptr);
        EXPECT_STREQ(out.text, "width=0 height=0");  // no board: no gigabit port
        const uint16_t led_cell[3] = {18, 0, 0};
        sspvar_panel_tag_cellsize(led_cell, &out, nullptr);
        EXPECT_EQ(out.number, cell);
    }
}

}  // namespace
