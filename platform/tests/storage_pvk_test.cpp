// Board variables: CRC-8, lookup order, number conversion and MAC texts.
#include "pvk.h"

#include "storage_test_env.h"

namespace {

using nvram_pvk = storage_test::StorageTest;

TEST(nvram_pvk_crc, MatchesTheStandardCheckValue) {
    const char check[] = "123456789";
    EXPECT_EQ(pvk_crc8(check, 9, 0x00), 0xF4);  // CRC-8, polynomial 0x07
    EXPECT_EQ(pvk_crc8(check, 0, 0x5A), 0x5A);
    // Continuing from a partial result gives the same as one pass.
    EXPECT_EQ(pvk_crc8(check + 4, 5, pvk_crc8(check, 4, 0xFF)), pvk_crc8(check, 9, 0xFF));
}

TEST_F(nvram_pvk, BootListComesBeforeNvram) {
    nvram_init();
    ASSERT_EQ(nvram_set("boardflags", "0x10"), 0);
    ASSERT_EQ(nvram_set("et0phyaddr", "7"), 0);
    const char boot[] = "et0phyaddr=30\0gpio4=adm_eecs\0\0";
    EXPECT_STREQ(pvk_getvar(boot, "et0phyaddr"), "30");
    EXPECT_STREQ(pvk_getvar(boot, "gpio4"), "adm_eecs");
    EXPECT_STREQ(pvk_getvar(boot, "boardflags"), "0x10");
    EXPECT_STREQ(pvk_getvar(nullptr, "et0phyaddr"), "7");
    EXPECT_EQ(pvk_getvar(boot, "et0phy"), nullptr);  // a prefix is not a name
    EXPECT_EQ(pvk_getvar(boot, "absent"), nullptr);
    EXPECT_EQ(pvk_getintvar(boot, "et0phyaddr"), 30);
    EXPECT_EQ(pvk_getintvar(nullptr, "boardflags"), 16);
    EXPECT_EQ(pvk_getintvar(nullptr, "absent"), 0);
    ASSERT_EQ(nvram_set("octal", "010"), 0);
    EXPECT_EQ(pvk_getintvar(nullptr, "octal"), 8);
}

TEST(nvram_pvk_mac, ReadsColonAndDashForms) {
    uint8_t mac[6] = {};
    ASSERT_TRUE(pvk_ether_atoe("00:10:18:aB:cd:EF", mac));
    const uint8_t want[6] = {0x00, 0x10, 0x18, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(std::memcmp(mac, want, 6), 0);
    ASSERT_TRUE(pvk_ether_atoe("0-1a-2-b-3-c", mac));
    const uint8_t short_form[6] = {0x00, 0x1A, 0x02, 0x0B, 0x03, 0x0C};
    EXPECT_EQ(std::memcmp(mac, short_form, 6), 0);
    char text[18];
    EXPECT_STREQ(pvk_ether_ntoa(want, text), "00:10:18:ab:cd:ef");
}

TEST(nvram_pvk_mac, RefusesMalformedTextWithoutTouchingTheResult) {
    uint8_t mac[6] = {1, 2, 3, 4, 5, 6};
    for (const char *bad :
         {"", "00:11:22:33:44", "00:11:22:33:44:55:66", "00:11:22:33:44:5g", "001:11:22:33:44:55",
          "00::11:22:33:44", "00 11 22 33 44 55", "00:11:22:33:44:55 "}) {
        EXPECT_FALSE(pvk_ether_atoe(bad, mac)) << bad;
    }
    EXPECT_FALSE(pvk_ether_atoe(nullptr, mac));
    const uint8_t untouched[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(std::memcmp(mac, untouched, 6), 0);
}

}  // namespace
