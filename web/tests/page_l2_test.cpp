// The address table pages through HTTP: static addresses in the chip's
// table, the manager and the saved "l2" item; lookup, the paged dump and
// the aging time.
#include <string>

#include "switch_pages_fixture.h"

namespace {

class page_l2 : public switch_pages_test::SwitchPages {
  protected:
    void SetUp() override {
        SwitchPages::SetUp();
        l2mgr_init();
        l2mgr_snapshot_clear();
        log_clear();
    }
    static bool in_chip(const dxp_mac_t mac, dxp_vlan_t vid, dxpx_l2_addr_t *a = nullptr) {
        dxpx_l2_addr_t got{};
        bool found = dxpx_l2_addr_get(mac, vid, &got, 0) == 0;
        if (a != nullptr) *a = got;
        return found;
    }
    static void learn(int i) {
        const dxp_mac_t mac = {0x00, 0x20, 0x30, 0x40, 0x50, static_cast<uint8_t>(i)};
        dxpx_l2_addr_t a{};
        dxpx_l2_addr_init(&a, mac, 1);
        ASSERT_EQ(ulpm_to_lport(1 + i % 4, &a.lport), 0);
        ASSERT_EQ(dxpx_l2_addr_add(&a, 0), 0);
    }
};

TEST_F(page_l2, StaticAddressesReachTheChipTheListAndTheDump) {
    std::string before = saved("l2");
    test_response r = post("/l2add.cgi", "mac=00-11-22-33-44-55&vid=1&port=5");
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(error_of(r), "");
    const dxp_mac_t mac = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    dxpx_l2_addr_t a{};
    ASSERT_TRUE(in_chip(mac, 1, &a));
    int lport = 0;
    ASSERT_EQ(ulpm_to_lport(5, &lport), 0);
    EXPECT_EQ(a.lport, lport);
    EXPECT_NE(a.flags & DXP_L2_STATIC, 0u);
    EXPECT_EQ(l2mgr_static_count_get(), 1);
    EXPECT_NE(saved("l2"), before);
    EXPECT_TRUE(logged("ADD L2 Static Address : MAC = 00-11-22-33-44-55, vid = 1"));
    EXPECT_TRUE(has(r, "<tr><td>1</td><td>00-11-22-33-44-55</td><td>1</td><td>5</td>")) << r.body;

    // Port 0 is the CPU.
    ASSERT_EQ(error_of(post("/l2add.cgi", "mac=00-11-22-33-44-66&vid=1&port=0")), "");
    r = get("/l2manage.htm");
    EXPECT_TRUE(has(r, "<td>00-11-22-33-44-66</td><td>1</td><td>HOST</td>")) << r.body;

    // Lookup and dump find it, marked static.
    r = post("/l2lookup.cgi", "mac=00-11-22-33-44-55&vid=1");
    EXPECT_EQ(error_of(r), "");
    EXPECT_TRUE(has(r, "<td>00-11-22-33-44-55</td><td>1</td><td>5</td><td>static</td>"));
    EXPECT_TRUE(logged("L2 Address Lookup : MAC = 00-11-22-33-44-55, vid = 1"));
    learn(1);
    r = post("/l2dump.cgi", "refresh=1");
    EXPECT_TRUE(has(r, "<td>00-11-22-33-44-55</td><td>1</td><td>5</td><td>static</td>")) << r.body;
    EXPECT_TRUE(has(r, "<td>00-20-30-40-50-01</td><td>1</td><td>2</td><td>dynamic</td>"));
    EXPECT_EQ(l2mgr_snapshot_count_get(2), 1);

    // Delete takes it out of the chip.
    ASSERT_EQ(error_of(post("/l2del.cgi", "mac=00-11-22-33-44-55&vid=1")), "");
    EXPECT_FALSE(in_chip(mac, 1));
    EXPECT_EQ(l2mgr_static_count_get(), 1);
    EXPECT_EQ(error_of(post("/l2lookup.cgi", "mac=00-11-22-33-44-55&vid=1")),
              "MAC address can&#39;t found!");
}

TEST_F(page_l2, BadAddressesAreRefused) {
    const struct {
        const char *form;
        const char *message;
    } cases[] = {
        {"mac=01-00-5E-00-00-01&vid=1&port=1", "Multicast MAC address can&#39;t be added!"},
        {"mac=00-11-22-33-44-55&vid=77&port=1", "VLAN ID is not existent!"},
        {"mac=00-11-22-33-44-5G&vid=1&port=1", "Invalid MAC address or VLAN ID!"},
        {"mac=00-11-22-33-44-55&vid=1&port=27",
         "Transfer user port number to logical port number failed"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(error_of(post("/l2add.cgi", c.form)), c.message) << c.form;
    EXPECT_EQ(l2mgr_static_count_get(), 0);
    EXPECT_EQ(error_of(post("/l2lookup.cgi", "mac=00-11-22-33-44-55&vid=0")),
              "Invalid MAC address or VLAN ID!");

    for (int i = 0; i < 8; i++) {
        std::string form = "mac=00-11-22-33-44-0" + std::to_string(i) + "&vid=1&port=1";
        ASSERT_EQ(error_of(post("/l2add.cgi", form)), "") << i;
    }
    EXPECT_EQ(error_of(post("/l2add.cgi", "mac=00-11-22-33-44-00&vid=1&port=2")),
              "L2 static MAC address full!");
    ASSERT_EQ(error_of(post("/l2del.cgi", "mac=00-11-22-33-44-07&vid=1")), "");
    EXPECT_EQ(error_of(post("/l2add.cgi", "mac=00-11-22-33-44-00&vid=1&port=2")),
              "L2 static MAC address already existed");
    // The full check comes before any other.
    ASSERT_EQ(error_of(post("/l2add.cgi", "mac=00-11-22-33-44-07&vid=1&port=1")), "");
    EXPECT_EQ(error_of(post("/l2add.cgi", "mac=zz&vid=0&port=99")), "L2 static MAC address full!");
    EXPECT_TRUE(logged("ADD L2 Static Address : L2 static MAC address full!"));
}

// The switch's own MAC is refused by name, and a load that finds it stored
// skips it, says so and loads the others.
TEST_F(page_l2, OwnMacIsNoStaticAddress) {
    ASSERT_EQ(nvram_set("et1macaddr", "00-11-22-33-44-07"), 0);
    EXPECT_EQ(error_of(post("/l2add.cgi", "mac=00-11-22-33-44-07&vid=1&port=2")),
              "00-11-22-33-44-07 is the switch&#39;s own MAC address and can&#39;t be added!");
    EXPECT_TRUE(
        logged("ADD L2 Static Address : 00-11-22-33-44-07 is the switch's own MAC address!"));
    for (const char *form :
         {"mac=00-11-22-33-44-06&vid=1&port=2", "mac=00-11-22-33-44-05&vid=1&port=3"})
        ASSERT_EQ(error_of(post("/l2add.cgi", form)), "") << form;
    std::string stored = nvram_get("l2");
    ASSERT_EQ(stored.substr(0, 12), "001122334406");
    stored.replace(10, 2, "07");  // as a firmware that took it stored it
    ASSERT_EQ(nvram_set("l2", stored.c_str()), 0);
    char notes[256] = "";
    settings_load_group_noting(SETTINGS_GROUP_L2, notes, sizeof notes);
    EXPECT_EQ(std::string(notes),
              "L2 static addresses: entry 1: 00-11-22-33-44-07 is the switch's own MAC address; "
              "not added\n");
    EXPECT_EQ(l2mgr_static_count_get(), 1);
    const dxp_mac_t own = {0x00, 0x11, 0x22, 0x33, 0x44, 0x07};
    EXPECT_FALSE(in_chip(own, 1));
    nvram_unset("et1macaddr");
}

TEST_F(page_l2, DumpPagesOfFifteen) {
    for (int i = 0; i < 31; i++)
        learn(i);
    test_response r = post("/l2dump.cgi", "refresh=1");
    EXPECT_TRUE(has(r, "<span id=\"total\">31</span>")) << r.body;
    EXPECT_TRUE(has(r, "id=\"prev\" value=\" Previous \" Disabled>"));
    EXPECT_TRUE(has(r, "id=\"next\" value=\" Next \" >"));
    r = post("/pagel2dump.cgi", "page=0&dir=1");
    EXPECT_TRUE(has(r, "<td>16</td>"));
    EXPECT_FALSE(has(r, "<td>31</td>"));
    r = post("/pagel2dump.cgi", "page=1&dir=1");
    EXPECT_TRUE(has(r, "<tr><td>31</td>"));
    EXPECT_FALSE(has(r, "<tr><td>30</td>"));
    EXPECT_TRUE(has(r, "id=\"next\" value=\" Next \" Disabled>"));
    EXPECT_TRUE(has(r, "id=\"prev\" value=\" Previous \" >"));
    r = post("/pagel2dump.cgi", "page=1&dir=0");
    EXPECT_TRUE(has(r, "<tr><td>1</td>"));
}

TEST_F(page_l2, AgingTimeReachesTheChipAndTheItem) {
    std::string before = saved("aging");
    // The answer is the system page; the aging page shows the time.
    ASSERT_EQ(error_of(post("/aging.cgi", "enable=1&time=300")), "");
    test_response r = get("/aging.htm");
    int seconds = 0;
    ASSERT_EQ(dxpx_l2_age_timer_get(&seconds), 0);
    EXPECT_EQ(seconds, 300);
    EXPECT_TRUE(has(r, "300 second(s)"));
    EXPECT_TRUE(has(r, "value=\"1\" checked"));
    EXPECT_TRUE(logged("Set L2 Table Aging : 300 second(s)"));
    EXPECT_NE(saved("aging"), before);
    feature_test::MemoryMedium m;
    ASSERT_GT(m.save(l2mgr_aging_item), 0);

    // No fields turn aging off; bad fields change nothing.
    ASSERT_EQ(error_of(post("/aging.cgi", "")), "");
    r = get("/aging.htm");
    EXPECT_TRUE(has(r, "<td id=\"current\">Disabled</td>")) << r.body;
    ASSERT_EQ(dxpx_l2_age_timer_get(&seconds), 0);
    EXPECT_EQ(seconds, 0);
    for (const char *bad : {"time=300", "enable=1&time=abc", "enable=1&time=99999999"})
        EXPECT_NE(error_of(post("/aging.cgi", bad)), "") << bad;
    ASSERT_EQ(dxpx_l2_age_timer_get(&seconds), 0);
    EXPECT_EQ(seconds, 0);

    ASSERT_GT(m.load(l2mgr_aging_item), 0);
    ASSERT_EQ(dxpx_l2_age_timer_get(&seconds), 0);
    EXPECT_EQ(seconds, 300);
}

}  // namespace
