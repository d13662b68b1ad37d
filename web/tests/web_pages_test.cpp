// Page helpers: per-port loops and tags, the feature-visibility loop and
// the menu it shapes, escaping, and the management address tags.
#include <cstring>
#include <string>

#include "logger.h"
#include "net_util.h"
#include "web_pages.h"
#include "web_test_support.h"

namespace {

std::string tag_text(void (*tag)(const uint16_t[3], httpd_tag_out *, httpd_request *),
                     uint16_t a0 = 0, uint16_t a1 = 0, uint16_t a2 = 0) {
    const uint16_t args[3] = {a0, a1, a2};
    httpd_tag_out out{0, nullptr, 0};
    tag(args, &out, nullptr);
    if (out.kind == HTTPD_TAG_INT) return "int:" + std::to_string(out.number);
    if (out.kind == HTTPD_TAG_TEXT && out.text != nullptr) return out.text;
    return "<none>";
}

int rows(int (*loop)(const uint16_t[3], int, httpd_request *), uint16_t a0) {
    const uint16_t args[3] = {a0, 0, 0};
    int n = 0;
    while (n < 1000 && loop(args, n, nullptr) != 0)
        n++;
    return n;
}

TEST(web_pages_ports, LoopsCountAllPortsOrTheFirstHalf) {
    for (auto [ports, half] : {std::pair{8, 4}, std::pair{26, 13}, std::pair{27, 14},
                               std::pair{28, 14}, std::pair{52, 26}, std::pair{0, 0}}) {
        web_board_port_count_set(ports);
        EXPECT_EQ(rows(ssploop_port_tag_index, 0), ports);
        EXPECT_EQ(rows(ssploop_port_tag_index, 100), half) << ports;
        EXPECT_EQ(rows(ssploop_port_tag_index, 1), 0);
        EXPECT_EQ(rows(ssploop_once_tag, 0), 1);
        EXPECT_EQ(rows(ssploop_board_tag_size, 6), ports >= 27 ? 1 : 0);
        EXPECT_EQ(rows(ssploop_board_tag_size, 7), ports < 27 ? 1 : 0);
        EXPECT_EQ(rows(ssploop_board_tag_size, 5), 0);
        EXPECT_EQ(tag_text(sspvar_port_tag_count), "int:" + std::to_string(ports));
    }
}

TEST(web_pages_ports, PortNumbersOfBothColumns) {
    web_board_port_count_set(26);
    EXPECT_EQ(tag_text(sspvar_port_tag_number, 0, 0, 2), "int:1");
    EXPECT_EQ(tag_text(sspvar_port_tag_number, 4, 3, 0), "05");
    EXPECT_EQ(tag_text(sspvar_port_tag_number, 0, 4, 2), "int:14");
    EXPECT_EQ(tag_text(sspvar_port_tag_number, 12, 4, 1), "26");
    web_board_port_count_set(52);
    EXPECT_EQ(tag_text(sspvar_port_tag_number, 0, 4, 2), "int:27");
    EXPECT_EQ(tag_text(sspvar_port_tag_number, 25, 4, 2), "int:52");
    // An odd count leaves one empty cell at the end of the second column.
    web_board_port_count_set(27);
    EXPECT_EQ(tag_text(sspvar_port_tag_number, 12, 4, 2), "int:27");
    EXPECT_EQ(tag_text(sspvar_port_tag_number, 13, 4, 2), "&nbsp;");
    EXPECT_EQ(tag_text(sspvar_port_tag_number, 14, 4, 2), "<none>");
}

TEST(web_pages_ports, LayoutDependsOnTheBoardSize) {
    web_board_port_count_set(52);
    EXPECT_EQ(tag_text(sspvar_port_tag_layout, 1, 25), "<TR>");
    EXPECT_EQ(tag_text(sspvar_port_tag_layout, 1, 24), "");
    EXPECT_EQ(tag_text(sspvar_port_tag_layout, 5), "rowspan=2");
    EXPECT_EQ(tag_text(sspvar_port_tag_layout, 2), "");
    web_board_port_count_set(26);
    EXPECT_EQ(tag_text(sspvar_port_tag_layout, 1, 25), "");
    EXPECT_EQ(tag_text(sspvar_port_tag_layout, 5), "");
}

TEST(web_pages_features, EachFeatureShowsOnceOrNotAtAll) {
    const int shown[] = {0, 2, 3, 4, 5, 6, 13, 14, 15, 16, 19, 20, 21};
    for (int feature = 0; feature < 40; feature++) {
        bool expect = std::find(std::begin(shown), std::end(shown), feature) != std::end(shown);
        if (feature == WEB_FEATURE_RAM_LOGS) expect = logger_ram_get() != nullptr;
        if (feature == WEB_FEATURE_FLASH_LOGS) expect = logger_flash_get() != nullptr;
        EXPECT_EQ(rows(ssploop_feature_tag_show, static_cast<uint16_t>(feature)), expect ? 1 : 0)
            << feature;
    }
    EXPECT_EQ(tag_text(sspvar_empty_tag), "<none>");
}

TEST(web_pages_features, LogEntriesFollowTheLoggers) {
    logger_init();
    ASSERT_NE(logger_ram_get(), nullptr);
    EXPECT_EQ(rows(ssploop_feature_tag_show, WEB_FEATURE_RAM_LOGS), 1);
    EXPECT_EQ(rows(ssploop_feature_tag_show, WEB_FEATURE_FLASH_LOGS),
              logger_flash_get() != nullptr ? 1 : 0);
}

using web_pages_menu = web_server_fixture;

TEST_F(web_pages_menu, MenuListsTheFeaturesOfThisFirmware) {
    logger_init();
    test_response r = test_parse_response(test_exchange("GET /left2.htm HTTP/1.0\r\n\r\n"));
    ASSERT_TRUE(r.answered);
    for (const char *entry :
         {"System Information", "Trunk Groups", "Mirror", "Storm Control", "Cable Diagnostic",
          "Auto VoIP", "RAM Logs", "EngineID", "RMON-Lite", "ARP Entries", "logout.cgi"}) {
        EXPECT_NE(r.body.find(entry), std::string::npos) << entry;
    }
    for (const char *entry : {"Spanning Tree", "MSTP", "802.1x", "IGMP", "MLD", "ACL"}) {
        EXPECT_EQ(r.body.find(entry), std::string::npos) << entry;
    }
    EXPECT_EQ(r.body.find("Flash Logs") != std::string::npos, logger_flash_get() != nullptr);
}

TEST(web_pages_text, EscapingIsBoundedAndComplete) {
    char out[64];
    size_t len = web_html_escape("a<b>&\"'", out, sizeof out);
    EXPECT_EQ(len, std::strlen(out));
    EXPECT_STREQ(out, "a&lt;b&gt;&amp;&quot;&#39;");
    EXPECT_EQ(web_html_escape("x<y", nullptr, 0), 6u);
    char small[6];
    web_html_escape("ab<cd", small, sizeof small);
    EXPECT_STREQ(small, "ab");  // an entity is never cut in half
    web_html_escape(nullptr, out, sizeof out);
    EXPECT_STREQ(out, "");

    web_log_text(
        "a\r\nb\tc\x7f"
        "d",
        out, sizeof out);
    EXPECT_STREQ(out, "abcd");
    web_log_text("abcdef", small, sizeof small);
    EXPECT_STREQ(small, "abcde");
}

TEST(web_pages_system, AddressTagsShowEth1OnceItIsSetUp) {
    net_util_init();
    ASSERT_EQ(net_util_if_start("eth0", NET_IF_MODE_STATIC, "127.0.0.1", "255.0.0.0", ""), 0);
    net_util_if_stop("eth1");
    char address[32];
    web_mgmt_address(address, sizeof address);
    EXPECT_STREQ(address, "127.0.0.1");
    EXPECT_EQ(tag_text(sspvar_system_tag_ssi, 1), "127.0.0.1");
    EXPECT_EQ(tag_text(sspvar_system_tag_ssi, 2), "255.0.0.0");
    EXPECT_EQ(tag_text(sspvar_system_tag_ssi, 4), "eth0");
    EXPECT_EQ(tag_text(sspvar_system_tag_ssi, 5), "Disabled");
    EXPECT_EQ(tag_text(sspvar_system_tag_ssi, 6), "<none>");

    ASSERT_EQ(
        net_util_if_start("eth1", NET_IF_MODE_STATIC, "127.0.0.2", "255.255.255.0", "127.0.0.254"),
        0);
    web_mgmt_address(address, sizeof address);
    EXPECT_STREQ(address, "127.0.0.2");
    EXPECT_EQ(tag_text(sspvar_system_tag_ssi, 3), "127.0.0.254");
    EXPECT_EQ(tag_text(sspvar_system_tag_ssi, 4), "eth1");
    net_util_if_stop("eth1");
}

}  // namespace
