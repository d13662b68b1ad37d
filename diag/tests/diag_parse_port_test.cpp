// Ports, port bitmaps, abilities, blocks and memory names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../../soc/tests/unit_fixture.h"
#include "diag_console.h"
#include "diag_parse.h"
#include "drv_if.h"

namespace {

soc_pbmp_t ports(std::initializer_list<int> list) {
    soc_pbmp_t b{};
    for (int p : list)
        soc_pbmp_port_add(&b, p);
    return b;
}

// A unit of 24 fast-Ethernet ports (0-23), the CPU port 24 and 4 gigabit
// ports (25-28).
class diag_ports : public soc_test::UnitTest {
  protected:
    void SetUp() override { start(sim::ChipKind::DXP7106); }
    std::string fmt(soc_pbmp_t b, int size = 256) {
        char buf[256];
        format_pbmp(0, buf, size, b);
        return buf;
    }
    soc_pbmp_t parse(const char *text) {
        soc_pbmp_t b{};
        EXPECT_EQ(parse_pbmp(0, text, &b), 0) << text;
        return b;
    }
};

#define EXPECT_PBMP(text, expected)                    \
    do {                                               \
        soc_pbmp_t got_ = parse(text);                 \
        EXPECT_EQ(got_.w[0], (expected).w[0]) << text; \
        EXPECT_EQ(got_.w[1], (expected).w[1]) << text; \
    } while (0)

TEST_F(diag_ports, PbmpSetsRangesStepsAndNegation) {
    EXPECT_PBMP("ge0-ge3", ports({25, 26, 27, 28}));
    EXPECT_PBMP("ge1", ports({26}));
    EXPECT_PBMP("1-8:2", ports({0, 2, 4, 6}));
    EXPECT_PBMP("3", ports({2}));
    EXPECT_PBMP("none", ports({}));
    EXPECT_PBMP("cpu,GE", ports({24, 25, 26, 27, 28}));
    EXPECT_PBMP("fe:8", ports({0, 8, 16}));
    EXPECT_PBMP("epic1", unit0()->block_bitmap[2]);
    EXPECT_PBMP("gpic", unit0()->ge.bitmap);
    EXPECT_PBMP("0x11", ports({0, 4}));
    EXPECT_PBMP("all", unit0()->all.bitmap);
    soc_pbmp_t fe_but_2 = unit0()->fe.bitmap;
    soc_pbmp_port_remove(&fe_but_2, 2);
    EXPECT_PBMP("fe,~fe2", fe_but_2);
    EXPECT_PBMP("fe,!fe2", fe_but_2);

    soc_pbmp_t b;
    for (const char *bad : {"", "1-8:0", "ge4", "0", "30", "fe-ge1", "1-2-3", "1,", ",1", "bogus",
                            "1;2", "ge0:", "1-:2", "99999999999"})
        EXPECT_EQ(parse_pbmp(0, bad, &b), -1) << bad;
}

TEST_F(diag_ports, PbmpFormatsSetsRunsAndRoundTrips) {
    EXPECT_EQ(fmt(unit0()->ge.bitmap), "ge");
    EXPECT_EQ(fmt(ports({24, 25, 26, 27, 28})), "cpu,ge");
    EXPECT_EQ(fmt(ports({0, 1, 2, 3, 5, 26})), "fe0-fe3,fe5,ge1");
    EXPECT_EQ(fmt(ports({})), "none");
    EXPECT_EQ(fmt(ports({40})), "0x0000010000000000");
    EXPECT_EQ(fmt(ports({0, 1, 2, 3, 5, 26}), 6), "fe0-f");
    for (const char *text : {"fe0-fe3,fe5,ge1", "cpu,ge", "fe,ge0", "1-29:3"})
        EXPECT_EQ(parse(fmt(parse(text)).c_str()).w[0], parse(text).w[0]) << text;
}

TEST_F(diag_ports, PortsByNameOrdinalAndModule) {
    int port = -1;
    EXPECT_EQ(parse_port(0, "GE2", &port), 0);
    EXPECT_EQ(port, 27);
    EXPECT_EQ(parse_port(0, "26", &port), 0);
    EXPECT_EQ(port, 25);
    EXPECT_EQ(parse_port(0, "any", &port), 0);
    EXPECT_EQ(port, 0);
    for (const char *bad : {"0", "30", "2x", "ge9", ""})
        EXPECT_EQ(parse_port(0, bad, &port), -1) << bad;
    diag_mod_port mp{};
    EXPECT_EQ(parse_mod_port(0, "3.17", &mp), 0);
    EXPECT_EQ(mp.module, 3);
    EXPECT_EQ(mp.port, 17);
    EXPECT_EQ(parse_mod_port(0, "fe4", &mp), 0);
    EXPECT_EQ(mp.module, -1);
    EXPECT_EQ(mp.port, 4);
}

TEST_F(diag_ports, BlockNamesAndRanges) {
    const char *text = "epic2-x";
    int block = -1;
    EXPECT_EQ(parse_block_name(0, &text, &block), 0);
    EXPECT_EQ(block, 3);
    EXPECT_STREQ(text, "-x");
    text = "ge1";
    EXPECT_EQ(parse_block_name(0, &text, &block), 0);
    EXPECT_EQ(block, 5);
    text = "gpic9";
    EXPECT_EQ(parse_block_name(0, &text, &block), -1);

    int first = 0, last = 0;
    uint32_t types = 0;
    EXPECT_EQ(parse_block_range(0, "epic0-gpic1", &first, &last, &types), 0);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(last, 5);
    EXPECT_EQ(parse_block_range(0, "ge", &first, &last, &types), 0);
    EXPECT_EQ(types, 0x2u | 0x400 | 0x4000000 | 0x8000000);
    EXPECT_EQ(parse_block_range(0, "*", &first, &last, &types), 0);
    EXPECT_EQ(last, unit0()->block_num - 1);
    EXPECT_EQ(parse_block_range(0, "gpic1-epic0", &first, &last, &types), -1);
}

TEST(diag_abilities, ParseAndFormatWalkTheTable) {
    uint32_t mask = 1;
    EXPECT_EQ(parse_ability("", &mask), 0);
    EXPECT_EQ(mask, 0u);
    EXPECT_EQ(parse_ability("100FULL,10half,pause", &mask), 0);
    EXPECT_EQ(mask, 0x8u | 0x1 | 0xc00);
    EXPECT_EQ(parse_ability("100fullx", &mask), -1);
    EXPECT_EQ(parse_ability("100,gig", &mask), -1);

    char buf[80];
    format_ability(buf, sizeof buf, 0xc | 0x20 | 0xc00, 1);
    EXPECT_STREQ(buf, "1000full,100,pause");
    format_ability(buf, sizeof buf, 0xc | 0x20, 0);
    EXPECT_STREQ(buf, "1000full,100full,100half");
    format_ability(buf, sizeof buf, 0x400002aa, 1);
    EXPECT_STREQ(buf, "full");
}

TEST(diag_ranges, IndexAndNumberRanges) {
    int first = -1, last = -1;
    EXPECT_EQ(parse_index_range("all", nullptr, &first, &last, 2, 9), 0);
    EXPECT_EQ(first * 100 + last, 209);
    EXPECT_EQ(parse_index_range("3", "7", &first, &last, 2, 9), 0);
    EXPECT_EQ(first * 100 + last, 307);
    EXPECT_EQ(parse_index_range("3", nullptr, &first, &last, 2, 9), 0);
    EXPECT_EQ(last, 3);
    EXPECT_EQ(parse_index_range("1", nullptr, &first, &last, 2, 9), -1);
    EXPECT_EQ(parse_index_range("5", "4", &first, &last, 2, 9), -1);
    EXPECT_EQ(parse_index_range("5", "10", &first, &last, 2, 9), -1);

    EXPECT_EQ(parse_num_range(nullptr, 4, &first, &last), 0);
    EXPECT_EQ(first * 100 + last, 3);
    EXPECT_EQ(parse_num_range("1-3", 4, &first, &last), 0);
    EXPECT_EQ(first * 100 + last, 103);
    EXPECT_EQ(parse_num_range("2", 4, &first, &last), 0);
    EXPECT_EQ(first * 100 + last, 202);
    for (const char *bad : {"4", "3-1", "1-4", "1-", "12", "1-23"})
        EXPECT_EQ(parse_num_range(bad, 4, &first, &last), -1) << bad;
}

// The chip drivers carry no table-memory catalogue yet: a record with one.
class diag_memories : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = soc_control[0];
        mems_[VLAN_1Qm] = &vlan_;
        driver_.mem_info = mems_;
        driver_.block_info = blocks_;
        unit_.chip_driver = &driver_;
        unit_.port_num = 0;
        soc_control[0] = &unit_;
    }
    void TearDown() override { soc_control[0] = saved_; }

    soc_control_t *saved_ = nullptr;
    soc_mem_info_t vlan_{.flags = SOC_MEM_FLAG_VALID,
                         .minblock = 1,
                         .maxblock = 2,
                         .index_min = 0,
                         .index_max = 4095,
                         .blocks = 0x1,
                         .reserved = 0,
                         .base = 0,
                         .reserved2 = 0,
                         .size_fields = 0,
                         .fields = nullptr};
    const soc_mem_info_t *mems_[SOC_NUM_MEMS] = {};
    const chipdata_block blocks_[4] = {
        {0x40, 0, 0, 0}, {0x1, 0, 0, 1}, {0x1, 1, 0, 2}, {-1, 0, 0, 0}};
    soc_driver_t driver_{};
    soc_control_t unit_{};
    diag_test::ConsoleCapture console_;
};

TEST_F(diag_memories, NamesBlocksAndIndexes) {
    int mem = -1, block = 0;
    EXPECT_EQ(parse_memory_name(0, &mem, "vlan_1q", &block), 0);
    EXPECT_EQ(mem, VLAN_1Qm);
    EXPECT_EQ(block, -1);
    EXPECT_EQ(parse_memory_name(0, &mem, "VLAN_1Q.1", &block), 0);
    EXPECT_EQ(block, 2);
    EXPECT_EQ(parse_memory_name(0, &mem, "VLAN_1Q.epic1", &block), 0);
    EXPECT_EQ(block, 2);
    EXPECT_EQ(console_.take(), "");
    EXPECT_EQ(parse_memory_name(0, &mem, "VLAN_1Q.2", &block), -1);
    EXPECT_EQ(console_.take(), "ERROR: memory VLAN_1Q.2 is not valid (not enough blocks)\n");
    EXPECT_EQ(parse_memory_name(0, &mem, "VLAN_1Q.cpic0", &block), -1);
    EXPECT_EQ(console_.take(), "ERROR: memory VLAN_1Q.cpic0 (block 0) is not valid\n");
    EXPECT_EQ(parse_memory_name(0, &mem, "MAC2VLAN", &block), -1);
    EXPECT_EQ(parse_memory_name(0, &mem, std::string(70, 'V').c_str(), &block), -1);

    EXPECT_EQ(parse_memory_index(0, VLAN_1Qm, "max"), 4095);
    EXPECT_EQ(parse_memory_index(0, VLAN_1Qm, "0x10"), 16);
    EXPECT_EQ(console_.take(), "");
    EXPECT_EQ(parse_memory_index(0, VLAN_1Qm, "5000"), 5000);
    EXPECT_EQ(console_.take(), "WARNING: index 5000 out of range for memory VLAN_1Q\n");
}

}  // namespace
