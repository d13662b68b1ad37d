// The application side of the agent without the agent: MAC texts, the value
// handler's dispatch and texts, the configuration tables' limits, and which
// requests wait for a settings image.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../../platform/tests/private_workdir.h"
#include "../src/snmp_request_queue.h"
#include "snmp_backend.h"
#include "snmpcfg.h"

namespace {

TEST(mac_str_parse, SeparatedGroupsAndPrefixedDigits) {
    const struct {
        const char *text, *mac;
    } good[] = {
        {"00-1a:2B-3:04:f", "\x00\x1a\x2b\x03\x04\x0f"},
        {"0xabcd", "\x00\x00\x00\x00\xab\xcd"},
        {"0X123", "\x00\x00\x00\x00\x01\x23"},
    };
    uint8_t mac[6] = {};
    for (const auto &g : good) {
        ASSERT_EQ(mac_str_parse(g.text, mac), 0) << g.text;
        EXPECT_EQ(std::memcmp(mac, g.mac, 6), 0) << g.text;
    }
    for (const char *bad : {"001a2b3c4d5e", "0x", "0x1234567890abc", "00:11:22:33:44:55:",
                            "00:11:22:33:44", "00:11:22:33:44:5g", "0x12z4", "00::22:33:44:55"})
        EXPECT_EQ(mac_str_parse(bad, mac), -1) << bad;
    EXPECT_EQ(std::memcmp(mac, good[2].mac, 6), 0);  // unchanged by refusals
}

TEST(snmp_mib_callback, DispatchesBySelectorAndKeepsTheTexts) {
    snmp_param_block b{};
    EXPECT_EQ(snmp_mib_callback(1, 6, nullptr, nullptr), 1);
    b.selector = 7;
    EXPECT_EQ(snmp_mib_callback(1, 6, &b, nullptr), 1);

    b = {.selector = SNMP_SEL_SYSTEM, .direction = 1, .item = 4};
    std::strcpy(b.text, "edge-1");
    EXPECT_EQ(snmp_mib_callback(1, 6, &b, nullptr), 0);
    b = {.selector = SNMP_SEL_SYSTEM, .item = 4};
    EXPECT_EQ(snmp_mib_callback(1, 6, &b, nullptr), 0);
    EXPECT_STREQ(b.text, "edge-1");
    b = {.selector = SNMP_SEL_SYSTEM, .item = 1};
    EXPECT_EQ(snmp_system_value(&b), 0);
    EXPECT_EQ(b.value, 44);
    EXPECT_EQ(b.oid[6], 40413u);

    // Items outside a selector's range leave the block alone.
    b = {.selector = SNMP_SEL_INTERFACES, .item = 30, .value = 5};
    EXPECT_EQ(snmp_interface_value(&b), 1);
    EXPECT_EQ(b.value, 5);
    b = {.selector = SNMP_SEL_DOT3, .item = 29, .value = 5};
    EXPECT_EQ(snmp_dot3_value(&b), 1);
    EXPECT_EQ(b.value, 5);
}

TEST(snmpcfg_tables, TablesHoldTenAndPassPhrasesNeedEight) {
    snmpcfg_defaults();
    snmpcfg_user u{};
    u.model = 3;
    u.auth = 2;
    std::strcpy(u.password, "short1");
    int slot = -1;
    EXPECT_EQ(snmpcfg_user_add(&u, &slot), -1);
    std::strcpy(u.password, "long-enough");
    for (int i = 0; i < SNMPCFG_SLOTS; i++) {
        std::snprintf(u.name, sizeof u.name, "u%d", i);
        ASSERT_EQ(snmpcfg_user_add(&u, &slot), 0);
        EXPECT_EQ(slot, i);
    }
    EXPECT_EQ(snmpcfg_user_add(&u, &slot), -1);
    EXPECT_EQ(snmpcfg().user_count, SNMPCFG_SLOTS);
    // The user takes the engine ID in force: the 5-byte default here.
    EXPECT_EQ(snmpcfg().users[0].engine_id_len, 5);

    // Deleting index 2 moves the later users down, renumbered.
    ASSERT_EQ(snmpcfg_user_delete(2), 0);
    EXPECT_STREQ(snmpcfg().users[1].name, "u2");
    EXPECT_EQ(snmpcfg().users[1].index, 2);
    EXPECT_EQ(snmpcfg().users[8].index, 9);
    EXPECT_EQ(snmpcfg().users[9].name[0], '\0');
    EXPECT_EQ(snmpcfg_user_delete(10), -1);

    snmpcfg_trap t{};
    for (int i = 0; i < SNMPCFG_SLOTS; i++)
        ASSERT_EQ(snmpcfg_trap_add(&t, &slot), 0);
    EXPECT_EQ(snmpcfg_trap_add(&t, &slot), -1);
    snmpcfg_defaults();
    EXPECT_EQ(snmpcfg().user_count, 0);
    EXPECT_EQ(snmpcfg().traps_enabled, 1);
}

TEST(snmpcfg_engine_id, PrefixHexTextAndTheAgentsLimit) {
    uint8_t id[SNMPCFG_ENGINE_ID_MAX];
    ASSERT_EQ(snmpglue::setup_engineID(id, "0a1B"), 7);
    EXPECT_EQ(std::memcmp(id, "\x80\x00\x07\xe5\x04\x0a\x1b", 7), 0);
    ASSERT_EQ(snmpglue::setup_engineID(id, nullptr), 9);
    EXPECT_EQ(std::memcmp(id, "\x80\x00\x07\xe5\x01\x7f\x00\x00\x01", 9), 0);
    EXPECT_EQ(snmpglue::setup_engineID(id, std::string(54, 'a').c_str()), 32);
    EXPECT_EQ(snmpglue::setup_engineID(id, std::string(56, 'a').c_str()), -1);

    // Refused texts change nothing.
    snmpcfg_defaults();
    const snmpcfg_tables before = snmpcfg();
    for (const std::string &bad : {std::string("abc"), std::string("12zz"), std::string(56, 'a')})
        EXPECT_EQ(snmpcfg_apply_all(bad.c_str()), -1) << bad;
    EXPECT_EQ(std::memcmp(&before, &snmpcfg(), sizeof before), 0);

    char hex[9];
    hex_encode(hex, reinterpret_cast<const uint8_t *>("\x00\xab\x10\xff"), 4);
    EXPECT_STREQ(hex, "00ab10ff");
    EXPECT_EQ(hex_str_check(""), -1);
    EXPECT_EQ(hex_str_check("0aF"), 0);
    EXPECT_EQ(hex_str_check("0g"), -1);
    EXPECT_EQ(hex_nibble_value('z'), 0);
}

// A request held while a settings image waits is one that may change the
// settings: an SNMPv1 or v2c SET, or anything whose kind cannot be read
// (SNMPv3, a cut message); reads of every kind are served.
TEST(snmp_request_queue, OnlyRequestsThatMayChangeSettingsWaitForAnImage) {
    auto tlv = [](uint8_t tag, const std::string &content) {
        std::string out(1, static_cast<char>(tag));
        if (content.size() >= 0x80) out += static_cast<char>(0x81);
        return out + static_cast<char>(content.size()) + content;
    };
    auto message = [&](uint8_t version, uint8_t kind, const std::string &community) {
        const std::string varbind =
            tlv(0x30, tlv(0x06, "\x2b\x06\x01\x02\x01\x01\x05") + tlv(0x05, ""));
        const std::string pdu =
            tlv(kind, tlv(0x02, std::string(1, '\x01')) + tlv(0x02, std::string(1, '\0')) +
                          tlv(0x02, std::string(1, '\0')) + tlv(0x30, varbind));
        return tlv(0x30, tlv(0x02, std::string(1, static_cast<char>(version))) +
                             tlv(0x04, community) + pdu);
    };
    auto changes = [](const std::string &m) {
        return snmp_request_queue::may_change_settings(reinterpret_cast<const uint8_t *>(m.data()),
                                                       m.size());
    };
    EXPECT_FALSE(changes(message(0, 0xa0, "public")));               // v1 GET
    EXPECT_FALSE(changes(message(1, 0xa1, "public")));               // v2c GETNEXT
    EXPECT_FALSE(changes(message(1, 0xa5, std::string(200, 'c'))));  // GETBULK, long community
    EXPECT_TRUE(changes(message(0, 0xa3, "private")));               // v1 SET
    EXPECT_TRUE(changes(message(1, 0xa3, std::string(200, 'c'))));
    EXPECT_TRUE(changes(message(3, 0xa0, "")));  // v3: its request may be encrypted
    const std::string get = message(1, 0xa0, "public");
    EXPECT_TRUE(changes(get.substr(0, 12)));
    EXPECT_TRUE(changes(""));
}

}  // namespace
