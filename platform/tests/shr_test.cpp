// Shared utilities.
#include <gtest/gtest.h>

#include <cstring>

#include "sal.h"
#include "shr.h"

namespace {

TEST(shr_crc32, CheckValue) {
    const char *s = "123456789";
    EXPECT_EQ(~shr_crc32(~0u, s, std::strlen(s)), 0xCBF43926u);
    // Continuing a CRC over two halves gives the same result.
    uint32_t part = shr_crc32(~0u, s, 4);
    EXPECT_EQ(~shr_crc32(part, s + 4, 5), 0xCBF43926u);
}

int cmp_int(void *a, void *b) {
    int x = *static_cast<int *>(a), y = *static_cast<int *>(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

TEST(shr_sort, SortsInPlace) {
    int v[] = {40, 3, 4094, 1, 3, 100};
    shr_sort(v, 6, sizeof(int), cmp_int);
    int want[] = {1, 3, 3, 40, 100, 4094};
    EXPECT_EQ(std::memcmp(v, want, sizeof v), 0);
    shr_sort(v, 0, sizeof(int), cmp_int);  // nothing to do
}

TEST(shr_bits, PopcountReverseAndSwap) {
    EXPECT_EQ(shr_popcount(0), 0);
    EXPECT_EQ(shr_popcount(0xF0F0F0F1u), 17);
    EXPECT_EQ(shr_bit_rev8(0x01), 0x80);
    EXPECT_EQ(shr_bit_rev8(0xA0), 0x05);
    EXPECT_EQ(shr_swap16(0x1234), 0x3412);
    EXPECT_EQ(shr_swap32(0x12345678u), 0x78563412u);
}

TEST(shr_uint64, FormatAndParseRoundTrip) {
    char buf[19];
    EXPECT_STREQ(shr_format_uint64_hex(0x9abcdef0u, 0x12345678u, buf), "0x123456789abcdef0");
    EXPECT_STREQ(shr_format_uint64_hex(uint64_t{0x1f}, buf), "0x000000000000001f");
    EXPECT_EQ(shr_format_uint64_hex(uint64_t{1}, nullptr), nullptr);

    uint32_t words[2];
    ASSERT_EQ(shr_parse_uint64("0x123456789abcdef0", words), 0);
    EXPECT_EQ(words[0], 0x9abcdef0u);
    EXPECT_EQ(words[1], 0x12345678u);
    EXPECT_STREQ(shr_format_uint64_hex(words[0], words[1], buf), "0x123456789abcdef0");

    uint64_t v;
    ASSERT_EQ(shr_parse_uint64("18446744073709551615", &v), 0);
    EXPECT_EQ(v, UINT64_MAX);
}

TEST(shr_uint64, ParseRejectsBadText) {
    uint64_t v;
    EXPECT_EQ(shr_parse_uint64("12g", &v), -1);
    EXPECT_EQ(shr_parse_uint64("0x", &v), -1);
    EXPECT_EQ(shr_parse_uint64("", &v), -1);
    EXPECT_EQ(shr_parse_uint64("0x10000000000000000", &v), -1);  // 65 bits
    EXPECT_EQ(shr_parse_uint64("18446744073709551616", &v), -1);
    EXPECT_EQ(shr_parse_uint64(nullptr, &v), -1);
}

TEST(shr_ctoi, FollowsTheMonitorRules) {
    EXPECT_EQ(shr_ctoi("010"), 8);
    EXPECT_EQ(shr_ctoi("-12"), -12);
    EXPECT_EQ(shr_ctoi("0x1f"), 31);
    EXPECT_EQ(shr_ctou("0xffffffff"), 0xffffffffu);
}

TEST(shr_alloc_once, AllocatesOnlyWhenNull) {
    void *p = nullptr;
    ASSERT_EQ(shr_alloc_once(&p, 16, "once"), 0);
    void *first = p;
    ASSERT_EQ(shr_alloc_once(&p, 16, "once"), 0);
    EXPECT_EQ(p, first);
    sal_free(p);
}

TEST(shr_scale, ScalesByThousands) {
    shr_scaled s = shr_scale_uint64(1234567, 0);
    EXPECT_EQ(s.whole, 1u);
    EXPECT_EQ(s.tenths, 2u);
    EXPECT_EQ(s.unit, 'M');
    s = shr_scale_uint64(999, 0);
    EXPECT_EQ(s.whole, 999u);
    EXPECT_EQ(s.unit, '\0');
    s = shr_scale_uint64(2048, 1);
    EXPECT_EQ(s.whole, 2u);
    EXPECT_EQ(s.unit, 'K');
}

}  // namespace
