// Text helpers, integers and addresses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "diag_console.h"
#include "diag_parse.h"

namespace {

TEST(diag_text, IndexReplaceHexAndEntab) {
    const char *text = "Port GE1 up";
    EXPECT_EQ(strcaseindex(text, "ge1"), text + 5);
    EXPECT_EQ(strcaseindex(text, "xe"), nullptr);
    EXPECT_EQ(strcaseindex("", "a"), nullptr);
    char buf[32] = "abcdef";
    EXPECT_STREQ(strrepl(buf, 1, 3, "XY"), "aXYef");
    EXPECT_STREQ(strrepl(buf, 0, 0, ">>>"), ">>>aXYef");
    EXPECT_EQ(i2xdigit(0x3c), 'c');
    EXPECT_EQ(parse_xdigit('F'), 15);
    EXPECT_EQ(parse_xdigit('g'), 0);

    char out[64];
    format_entab(out, "ab      cd", 4);  // col 2 -> 4 (tab), 4 -> 8 (tab)
    EXPECT_STREQ(out, "ab\t\tcd");
    format_entab(out, "abc d", 4);  // one space just before a stop stays
    EXPECT_STREQ(out, "abc d");
    format_entab(out, "abc     d", 4);
    EXPECT_STREQ(out, "abc \td");
    format_entab(out, "a  b", 8);  // no stop reached
    EXPECT_STREQ(out, "a  b");
    format_entab(out, "a\n        b", 8);
    EXPECT_STREQ(out, "a\n\tb");
}

TEST(diag_integers, WellFormedAndRandomForms) {
    for (const char *good : {"0", "010", "-12", "0x1F", "0b101", "rand(3)"})
        EXPECT_EQ(parse_is_integer(good), 1) << good;
    for (const char *bad : {"0x", "0b", "12a", "", "-", "08", "0b2", "rand(3"})
        EXPECT_EQ(parse_is_integer(bad), 0) << bad;

    uint32_t v = 99;
    for (int i = 0; i < 50; i++) {
        ASSERT_EQ(parse_rand("rand(10)", &v), 1);
        EXPECT_LT(v, 10u);
        ASSERT_EQ(parse_rand("rand(-2,2)", &v), 1);
        EXPECT_LE(static_cast<int>(v) + 2, 4);
        EXPECT_GE(static_cast<int>(v), -2);
    }
    EXPECT_EQ(parse_rand("rand(5,5)", &v), 1);
    EXPECT_EQ(v, 5u);
    EXPECT_EQ(parse_rand("rand(0)", &v), 1);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(parse_rand("rand(5,1)", &v), 0);
    EXPECT_EQ(parse_rand("rand(5", &v), 0);
    EXPECT_EQ(parse_rand("rand(5)x", &v), 0);

    diag_test::ConsoleCapture console;
    EXPECT_EQ(parse_integer("0x10"), 16);
    EXPECT_EQ(parse_integer("-010"), -8);
    EXPECT_EQ(console.take(), "");
    EXPECT_EQ(parse_integer("12a"), 12);
    EXPECT_EQ(console.take(), "WARNING: truncated malformed integer \"12a\"\n");
    parse_integer("rand(5,1)");
    EXPECT_EQ(console.take(), "WARNING: truncated malformed integer \"rand(5,1)\"\n");
    EXPECT_EQ(parse_address("0xfffffff0"), 0xfffffff0u);
    EXPECT_EQ(parse_address("7z"), 7u);
    EXPECT_EQ(console.take(), "WARNING: truncated malformed address \"7z\"\n");
}

// A number that would wrap in its destination is not taken as one: an int
// holds signed decimals and any 32-bit pattern in the other forms.
TEST(diag_integers, NumbersThatDoNotFitTheirDestination) {
    for (const char *fits : {"2147483647", "-2147483648", "0xffffffff", "037777777777",
                             "0b11111111111111111111111111111111", "-0x80000000"})
        EXPECT_EQ(parse_is_integer(fits), 1) << fits;
    for (const char *wide : {"2147483648", "-2147483649", "99999999999", "0x100000000",
                             "040000000000", "99999999999999999999999"}) {
        EXPECT_EQ(parse_is_integer(wide), 0) << wide;
        EXPECT_EQ(parse_integer_too_wide(wide), 1) << wide;
    }
    EXPECT_EQ(parse_integer_too_wide("12a"), 0);
    EXPECT_EQ(parse_integer_too_wide("7"), 0);

    EXPECT_EQ(parse_integer_fits("0xffff", 16), 1);
    EXPECT_EQ(parse_integer_fits("0x10000", 16), 0);
    EXPECT_EQ(parse_integer_fits("-32768", 16), 1);
    EXPECT_EQ(parse_integer_fits("-32769", 16), 0);
    EXPECT_EQ(parse_integer_fits("4294967295", 32), 1);
    EXPECT_EQ(parse_integer_fits("18446744073709551615", 64), 1);
    EXPECT_EQ(parse_integer_fits("18446744073709551616", 64), 0);
    EXPECT_EQ(parse_integer_fits("0x1ffffffffffffffff", 64), 0);
    EXPECT_EQ(parse_integer_fits("12a", 64), 0);

    // Wider destinations take decimals whole.
    EXPECT_EQ(parse_uint64("5000000000"), 5000000000ull);
    EXPECT_EQ(parse_uint64("-5000000000"), 0ull - 5000000000ull);
    dxp_ip_t ip = 0;
    EXPECT_EQ(parse_ipaddr("3232235777", &ip), 0);
    EXPECT_EQ(ip, 0xc0a80101u);
    EXPECT_EQ(parse_ipaddr("4294967296", &ip), -1);

    diag_test::ConsoleCapture console;
    EXPECT_EQ(parse_address("4294967295"), 0xffffffffu);
    EXPECT_EQ(console.take(), "");
    parse_integer("99999999999");
    EXPECT_EQ(console.take(), "WARNING: truncated malformed integer \"99999999999\"\n");
}

TEST(diag_integers, LongIntegersAnd64BitForms) {
    uint32_t w[3];
    parse_long_integer(w, 2, "-1");
    EXPECT_EQ(w[0], 0xffffffffu);
    EXPECT_EQ(w[1], 0xffffffffu);
    parse_long_integer(w, 3, "0x123456789abcdef01");
    EXPECT_EQ(w[0], 0xabcdef01u);
    EXPECT_EQ(w[1], 0x23456789u);
    EXPECT_EQ(w[2], 0x1u);
    parse_long_integer(w, 2, "-0x100000000");
    EXPECT_EQ(w[0], 0u);
    EXPECT_EQ(w[1], 0xffffffffu);

    char buf[64];
    format_long_integer(buf, w, 2);
    EXPECT_STREQ(buf, "0xffffffff00000000");
    const uint32_t small[3] = {9, 0, 0};
    format_long_integer(buf, small, 3);
    EXPECT_STREQ(buf, "9");
    const uint32_t two_words[2] = {5, 1};
    format_long_integer(buf, two_words, 2);
    EXPECT_STREQ(buf, "0x100000005");

    EXPECT_EQ(parse_uint64("0x1122334455667788"), 0x1122334455667788ull);
    format_uint64(buf, 10);
    EXPECT_STREQ(buf, "0xa");

    format_uint64_decimal(buf, 0, ',');
    EXPECT_STREQ(buf, "0");
    format_uint64_decimal(buf, 1234567, ',');
    EXPECT_STREQ(buf, "1,234,567");
    format_uint64_decimal(buf, 123456, 0);
    EXPECT_STREQ(buf, "123456");
    format_uint64_decimal(buf, ~0ull, '.');
    EXPECT_STREQ(buf, "18.446.744.073.709.551.615");
}

TEST(diag_addresses, MacForms) {
    dxp_mac_t mac;
    char buf[18];
    EXPECT_EQ(parse_macaddr("0x1", mac), 0);
    format_macaddr(buf, mac);
    EXPECT_STREQ(buf, "00:00:00:00:00:01");
    EXPECT_EQ(parse_macaddr("0X0123456789AB", mac), 0);
    format_macaddr(buf, mac);
    EXPECT_STREQ(buf, "01:23:45:67:89:ab");
    EXPECT_EQ(parse_macaddr("1:2:3:a:b:c", mac), 0);
    format_macaddr(buf, mac);
    EXPECT_STREQ(buf, "01:02:03:0a:0b:0c");
    for (const char *bad : {"1:2:3:4:5", "1:2:3:4:5:6:7", "0x1234567890abc", "123456", "0x",
                            "1:2:3:4:5:123", "1:2:3:4:5:6x", "1::3:4:5:6", "0x12g4"})
        EXPECT_EQ(parse_macaddr(bad, mac), -1) << bad;

    uint8_t m[6] = {0, 0, 0, 0, 0xff, 0xfe};
    macaddr_increment(m, 3);
    EXPECT_EQ(m[3], 1);
    EXPECT_EQ(m[4], 0);
    EXPECT_EQ(m[5], 1);
}

TEST(diag_addresses, Ipv4AndIpv6Forms) {
    dxp_ip_t ip = 0;
    char buf[48];
    EXPECT_EQ(parse_ipaddr("192.168.0.010", &ip), 0);
    EXPECT_EQ(ip, 0xc0a80008u);
    format_ipaddr(buf, ip);
    EXPECT_STREQ(buf, "192.168.0.8");
    EXPECT_EQ(parse_ipaddr("0x0a000001", &ip), 0);
    EXPECT_EQ(ip, 0x0a000001u);
    format_ipaddr_mask(buf, ip, 0xffffff00);
    EXPECT_STREQ(buf, "10.0.0.1/24");
    for (const char *bad : {"256.1.1.1", "-1.2.3.4", "1.2.3", "1.2.3.4.5", "1.2.3.4x", "1..2.3",
                            "4294967296.1.1.1", "0x.1.1.1", "abc"})
        EXPECT_EQ(parse_ipaddr(bad, &ip), -1) << bad;

    dxp_ip6_t ip6;
    EXPECT_EQ(parse_ip6addr("fe80:0:0:0:1:2:3:ABCD", ip6), 0);
    format_ip6addr(buf, ip6);
    EXPECT_STREQ(buf, "fe80:0000:0000:0000:0001:0002:0003:abcd");
    for (const char *bad :
         {"fe80::1", "1:2:3:4:5:6:7", "1:2:3:4:5:6:7:8:9", "1:2:3:4:5:6:7:10000", "1.2.3.4",
          "1:2:3:4:5:6:7:8x", "0000001:00000002:0000003:4:5:6:7:00000000000000000008"})
        EXPECT_EQ(parse_ip6addr(bad, ip6), -1) << bad;
}

}  // namespace
