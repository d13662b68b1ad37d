// Payload pattern helpers and the expression evaluator.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "diag_expr.h"
#include "diag_pattern.h"

namespace {

TEST(diag_pattern, FillIsAlignmentIndependentAndContinues) {
    uint8_t buf[8];
    EXPECT_EQ(packet_pattern_fill(buf, 8, 0x01020304, 1), 0x01020306u);
    const uint8_t expected[8] = {1, 2, 3, 4, 1, 2, 3, 5};
    EXPECT_EQ(std::memcmp(buf, expected, 8), 0);
    EXPECT_EQ(packet_pattern_fill(buf, 3, 0x01020304, 1), 0x01020304u);
    EXPECT_EQ(std::memcmp(buf, expected, 3), 0);

    alignas(4) uint8_t aligned[64];
    EXPECT_EQ(packet_pattern_fill(aligned, 41, 0xfffffffe, 0x10203), 0xfffffffeu + 10 * 0x10203u);
    for (int offset = 1; offset < 4; offset++) {
        alignas(4) uint8_t shifted[68];
        packet_pattern_fill(shifted + offset, 41, 0xfffffffe, 0x10203);
        EXPECT_EQ(packet_pattern_compare(aligned, shifted + offset, 41), -1) << offset;
    }
}

TEST(diag_pattern, CompareFindsTheExactByteAndUnpackReadsBigEndian) {
    alignas(4) uint8_t a[40];
    alignas(4) uint8_t b[40];
    for (int i = 0; i < 40; i++)
        a[i] = b[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(packet_pattern_compare(a, b, 40), -1);
    EXPECT_EQ(packet_pattern_compare(a, b, 0), -1);
    b[39] ^= 1;
    EXPECT_EQ(packet_pattern_compare(a, b, 40), 39);
    EXPECT_EQ(packet_pattern_compare(a, b, 39), -1);
    b[22] ^= 0x80;
    EXPECT_EQ(packet_pattern_compare(a, b, 40), 22);
    EXPECT_EQ(packet_pattern_compare(a + 1, b + 1, 39), 21);
    EXPECT_EQ(packet_pattern_compare(a + 1, b + 2, 3), 0);

    const uint8_t bytes[6] = {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc};
    EXPECT_EQ(packet_unpack_be(bytes, 0), 0u);
    EXPECT_EQ(packet_unpack_be(bytes, 2), 0x1234u);
    EXPECT_EQ(packet_unpack_be(bytes, 6), 0x12345678u);

    uint8_t r[7] = {};
    packet_random_fill(r, 7);
    EXPECT_EQ(r[0] & 0x80, 0);  // 31-bit values, most significant byte first
}

struct ExprCase {
    const char *text;
    int rv;
    uint32_t value;
};

TEST(diag_expr, PrecedenceGroupingAndErrors) {
    const ExprCase cases[] = {
        {"1+2*3", 0, 7},
        {"10-4-3", 0, 3},
        {"2<<3", 0, 16},
        {"-1", 0, 0xffffffff},
        {"!0", 0, 1},
        {"3<=3", 0, 1},
        {"-1>0", 0, 1},
        {"0x10 | 0b1 ^ 3 & 010", 0, 0x11},
        {"1 || 0 && 0", 0, 1},
        {"~0 >> 28", 0, 15},
        {"7 % 4 != 3 == 0", 0, 1},
        {"(1+2)*3", 0, 9},
        {"2*(3+4)*(1+(1))", 0, 28},
        {"-(2+3)", 0, 0xfffffffb},
        {"((((((1))))))", 0, 1},
        {"(((((((1)))))))", -1, 0},
        {"- - - - - -1", 0, 1},
        {"7/0", 1, 0},
        {"7%0+1", 1, 1},
        {"(1", 1, 1},
        {"1)", 1, 1},
        {"1 $ 2", 1, 1},
        {"2(3)", 1, 2},
        {"", -1, 0},
        {"1 2", -1, 2},
        {"1+", -1, 1},
        {"- - - - - - -1", -1, 0},
        {"1+(2+(3+(4+(5+(6+(7+1))))))", -1, 4},
        {"1+2+3+4+5+6+7+8+9+10+11+12+13+14+15+16+17", 0, 153},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17", -1, 16},
        // Numbers wider than 32 bits are refused, not wrapped.
        {"4294967295", 0, 0xffffffff},
        {"0xffffffff+1", 0, 0},
        {"99999999999", 1, 0},
        {"1+4294967296", 1, 1},
        {"0x100000000", 1, 0},
        {"0b111111111111111111111111111111111", 1, 0},
        {"037777777777", 0, 0xffffffff},
        {"077777777777", 1, 0},
    };
    for (const ExprCase &c : cases) {
        uint32_t value = 12345;
        EXPECT_EQ(expr_eval(c.text, &value), c.rv) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

}  // namespace
