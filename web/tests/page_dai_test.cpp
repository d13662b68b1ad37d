// The dynamic ARP inspection pages through HTTP: the settings form, the
// redisplay with posted values, and the binding list with add and delete.
#include <string>
#include <utility>

#include "daimgr.h"
#include "switch_pages_fixture.h"

namespace {

class page_dai : public switch_pages_test::SwitchPages {
  protected:
    // A chip with the field processor that brings ARP to the CPU.
    sim::ChipKind chip() const override { return sim::ChipKind::DXP7101; }
    void SetUp() override {
        SwitchPages::SetUp();
        settings_item_handler_set("darp", darp_item);  // once per process
        darp_init();
        darp_enable_set(0);
    }
    void TearDown() override {
        darp_enable_set(0);
        SwitchPages::TearDown();
    }
    static std::string form(const std::string &ports, int rm_from, int rm_to, int add_from,
                            int add_to, const std::string &aging) {
        const std::string all =
            ports + std::string(static_cast<size_t>(web_port_count()) - ports.size(), '0');
        return "enable=1&ports=" + all + "&rmfrom=" + std::to_string(rm_from) +
               "&rmto=" + std::to_string(rm_to) + "&addfrom=" + std::to_string(add_from) +
               "&addto=" + std::to_string(add_to) + "&aging=" + aging;
    }
};

TEST_F(page_dai, SettingsFormConfiguresTheInspection) {
    const std::string before = saved("darp");
    test_response r = post("/darp.cgi", form("101", 0, 0, 1, 3, "5"));
    ASSERT_EQ(error_of(r), "");
    int on = 0;
    darp_enable_get(&on);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(darp_port_trust_get(1) + darp_port_trust_get(2) + darp_port_trust_get(3), 2);
    EXPECT_EQ(darp_vlan_count_get(), 3);
    EXPECT_EQ(darp_aging_get(), 5);
    EXPECT_NE(saved("darp"), before);
    EXPECT_TRUE(has(r, "<td id=\"vlans\">1-3</td>")) << r.body;
    EXPECT_TRUE(has(r, "id=\"trust3\" checked>"));
    EXPECT_TRUE(has(r, "id=\"trust2\" >"));
    EXPECT_TRUE(has(r, "<option value=\"1\" selected>Enabled"));

    // Only VLANs the switch has are removed: 1 exists, 2 and 3 do not.
    ASSERT_EQ(error_of(post("/darp.cgi", form("1", 1, 3, 7, 7, "5"))), "");
    r = get("/darp_config.htm");
    EXPECT_TRUE(has(r, "<td id=\"vlans\">2-3, 7</td>")) << r.body;
    EXPECT_TRUE(has(r, "<tr><td>7</td></tr>"));
    EXPECT_EQ(darp_port_trust_get(3), 0);

    // A range whose end is below its start ("7 to --", "9 to 8") is empty.
    ASSERT_EQ(error_of(post("/darp.cgi", form("1", 7, 0, 9, 8, "5"))), "");
    r = get("/darp_config.htm");
    EXPECT_TRUE(has(r, "<td id=\"vlans\">2-3, 7</td>")) << r.body;

    // Bad input changes nothing.
    const std::string kept = saved("darp");
    EXPECT_EQ(error_of(post("/darp.cgi", form("", 0, 0, 0, 0, "x"))), "Invalid aging time");
    EXPECT_EQ(error_of(post("/darp.cgi", form("", 0, 0, 4095, 4095, "1"))), "Invalid VLAN range");
    EXPECT_EQ(error_of(post("/darp.cgi", "enable=2")), "Invalid setting");
    // A shorter list would untrust the ports it leaves out.
    EXPECT_EQ(
        error_of(post("/darp.cgi", "enable=1&ports=01&rmfrom=0&rmto=0&addfrom=0&addto=0&aging=5")),
        "Invalid port list");
    EXPECT_EQ(saved("darp"), kept);
    EXPECT_EQ(darp_port_trust_get(1), 1);
    EXPECT_EQ(darp_vlan_count_get(), 3);

    ASSERT_EQ(error_of(post("/darp.cgi", "enable=0")), "");
    darp_enable_get(&on);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(darp_vlan_count_get(), 0);
}

TEST_F(page_dai, RedisplayShowsThePostedValues) {
    darp_port_trust_set(1, 0);
    test_response r = post("/darpvlan.cgi", "ports=01&from=1&to=1&aging=9");
    ASSERT_EQ(error_of(r), "");
    EXPECT_TRUE(has(r, "id=\"trust1\" >")) << r.body;
    EXPECT_TRUE(has(r, "id=\"trust2\" checked>"));
    // Only the add range is preset: the remove range stays "--".
    const size_t add_from = r.body.find("name=\"addfrom\"");
    ASSERT_NE(add_from, std::string::npos);
    EXPECT_EQ(r.body.find("<OPTION value=1 selected>1</OPTION>"),
              r.body.find("<OPTION value=1 selected>1</OPTION>", add_from));
    EXPECT_TRUE(has(r, "name=\"aging\" size=\"5\" value=\"9\""));
    // Without the posted values the form shows the settings.
    r = get("/darp_config.htm");
    EXPECT_TRUE(has(r, "id=\"trust1\" checked>"));
    EXPECT_TRUE(has(r, "<OPTION value=1>1</OPTION>"));
}

TEST_F(page_dai, BindingsAreListedAddedAndDeleted) {
    ASSERT_EQ(darp_enable_set(1), 0);
    test_response r = get("/darp_entry.htm");
    EXPECT_TRUE(has(r, "<tr><TD>--</TD><TD>--</TD><TD>--</TD><TD>--</TD>")) << r.body;

    r = post("/darpadd.cgi", "mac=00-11-22-33-44-5a&ip=10.1.1.5&vid=12");
    ASSERT_EQ(error_of(r), "");
    EXPECT_TRUE(has(r, "<TD>00-11-22-33-44-5A</TD><TD>10.1.1.5</TD><TD>12</TD><TD>static</TD>"))
        << r.body;
    EXPECT_TRUE(has(r, "darpdel.cgi?mac=00-11-22-33-44-5A&vid=12"));
    const uint8_t mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x5a}, ip[4] = {10, 1, 1, 5};
    EXPECT_EQ(darp_binding_check(mac, ip, 12), 1);

    // A malformed form gets the error page naming the field and adds nothing.
    const std::pair<const char *, const char *> refused[] = {
        {"mac=00-11-22-33-44&ip=10.1.1.6&vid=12", "Invalid MAC address"},
        {"mac=00-11-22-33-44-66&ip=10.1.1&vid=12", "Invalid IP address"},
        {"mac=00-11-22-33-44-66&ip=10.1.1.6&vid=0", "Invalid VLAN ID"},
        {"mac=00-11-22-33-44-66&ip=10.1.1.6", "Invalid VLAN ID"},
        {"mac=00-11-22-33-44-66&ip=10.1.1.6&vid=65537", "Invalid VLAN ID"},
        // Bindings no host can use.
        {"mac=00-00-00-00-00-00&ip=10.1.1.6&vid=12",
         "Invalid MAC address: a unicast host address is needed"},
        {"mac=FF-FF-FF-FF-FF-FF&ip=10.1.1.6&vid=12",
         "Invalid MAC address: a unicast host address is needed"},
        {"mac=01-00-5E-00-00-01&ip=10.1.1.6&vid=12",
         "Invalid MAC address: a unicast host address is needed"},
        {"mac=00-11-22-33-44-66&ip=0.0.0.0&vid=12", "Invalid IP address"}};
    for (const auto &[form, message] : refused) {
        r = post("/darpadd.cgi", form);
        EXPECT_EQ(error_of(r), message) << form;
        EXPECT_TRUE(has(r, "<h2 id=\"error_title\">Dynamic ARP</h2>")) << r.body;
    }
    EXPECT_TRUE(logged("Dynamic ARP setting failed : Invalid IP address"));
    EXPECT_EQ(darp_trusted_db_count_get(), 1);

    // As many as the settings keep: the next one is refused, and the saved
    // item brings back exactly the list the page shows.
    for (int i = 2; i <= DARP_STATIC_MAX; i++)
        ASSERT_EQ(error_of(post("/darpadd.cgi", "mac=02-00-00-00-00-" + std::to_string(10 + i) +
                                                    "&ip=10.1.1." + std::to_string(i) + "&vid=1")),
                  "")
            << i;
    const std::string kept = saved("darp");
    const std::string listed = get("/darp_entry.htm").body;
    EXPECT_EQ(error_of(post("/darpadd.cgi", "mac=02-00-00-00-00-99&ip=10.1.1.99&vid=1")),
              "Static binding table full (16 bindings)");
    EXPECT_EQ(darp_trusted_db_count_get(), DARP_STATIC_MAX);
    EXPECT_EQ(saved("darp"), kept);
    feature_test::MemoryMedium m;
    ASSERT_EQ(m.save(darp_item), 0);
    darp_enable_set(0);
    ASSERT_EQ(m.load(darp_item), 0);
    EXPECT_EQ(get("/darp_entry.htm").body, listed);
    for (int i = 2; i <= DARP_STATIC_MAX; i++)
        ASSERT_EQ(
            error_of(get("/darpdel.cgi?mac=02-00-00-00-00-" + std::to_string(10 + i) + "&vid=1")),
            "");

    r = get("/darpdel.cgi?mac=00-11-22-33-44-5A&vid=12");
    ASSERT_EQ(error_of(r), "");
    EXPECT_EQ(darp_trusted_db_count_get(), 0);
    EXPECT_EQ(error_of(post("/darpdel.cgi", "mac=00-11-22-33-44-5A&vid=12")), dxp_errmsg(-7));

    // Switched off, the switch keeps no binding over a restart: none is taken.
    darp_enable_set(0);
    EXPECT_EQ(error_of(post("/darpadd.cgi", "mac=00-11-22-33-44-5a&ip=10.1.1.5&vid=12")),
              "Enable Dynamic ARP before adding bindings");
    EXPECT_EQ(darp_trusted_db_count_get(), 0);
}

// The 26-port board's chip forwards ARP before the CPU could check it:
// switching the inspection on is refused by name and changes nothing, and a
// stored "on" from older firmware leaves it off with a warning, no error.
class page_dai_without_field_processor : public page_dai {
  protected:
    sim::ChipKind chip() const override { return sim::ChipKind::DXP7102A1; }
};

TEST_F(page_dai_without_field_processor, EnableIsRefusedByNameAndAStoredOnStaysOff) {
    const std::string missing =
        "This switch has no field processor: Dynamic ARP Inspection cannot run on it.";
    const std::string before = saved("darp");
    log_clear();
    EXPECT_EQ(error_of(post("/darp.cgi", form("1", 0, 0, 1, 1, "0"))), missing);
    EXPECT_EQ(error_of(post("/darpadd.cgi", "mac=02-00-00-00-00-07&ip=10.1.1.7&vid=1")), missing);
    int on = 1;
    darp_enable_get(&on);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(darp_port_trust_get(1), 0);
    EXPECT_EQ(saved("darp"), before);
    EXPECT_FALSE(has(get("/darp_config.htm"), "selected>Enabled"));

    // Stored on, with VLAN 1 inspected and port 1 trusted: the flag, the
    // aging time, the VLANs and the bindings, then 4 bytes of trusted ports.
    feature_test::MemoryMedium stored;
    stored.bytes.assign(2 + 2 + 2 * DARP_VLAN_MAX + 12 * DARP_STATIC_MAX + 4, 0);
    stored.bytes[1] = 1;
    stored.bytes[5] = 1;
    stored.bytes[stored.bytes.size() - 4] = 1;
    ASSERT_EQ(stored.load(darp_item), -1);
    darp_enable_get(&on);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(darp_vlan_count_get(), 0);
    EXPECT_EQ(darp_port_trust_get(1), 0);
    EXPECT_TRUE(
        logged("ARP inspection: stored as on, but this switch has no field processor: it "
               "stays off"));
    EXPECT_FALSE(logged("DARP group create failed: Feature unavailable"));
}

}  // namespace
