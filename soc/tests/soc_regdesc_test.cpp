// Register descriptions: decode, read and write through them, text, walk.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "chipdata/chipdata.h"
#include "soc_regdesc.h"
#include "unit_fixture.h"

namespace {

using soc_test::UnitTest;

class soc_regdesc : public UnitTest {
  protected:
    std::string text(const soc_regaddrinfo_t &ai) {
        char buf[128];
        soc_reg_info_sprint(0, buf, sizeof buf, &ai);
        return buf;
    }
};

TEST_F(soc_regdesc, DecodeFoldsPerPortPagesAndFindsArrays) {
    start(sim::ChipKind::DXP7102A1);
    soc_regaddrinfo_t ai;
    soc_reg_addr_decode(0, &ai, 0x1234);  // PHY page of port 2 folds onto page 0x10
    EXPECT_EQ(ai.addr, 0x1234u);
    EXPECT_EQ(ai.valid, 1);
    ASSERT_EQ(ai.reg, R_MIICTL);
    const chipdata_reg *row = SOC_REG_INFO(0, ai.reg);
    EXPECT_EQ(row->address >> 8, 0x10u);
    EXPECT_LE(row->address & 0xff, 0x34u);

    soc_reg_addr_decode(0, &ai, 0x3446);  // DEFAULT_1Q_TAG of port 3
    EXPECT_EQ(ai.reg, R_DEFAULT_1Q_TAG);
    EXPECT_EQ(ai.idx, 3);
    EXPECT_EQ(ai.port, -1);
    EXPECT_EQ(text(ai), "DEFAULT_1Q_TAG(3)");
    ai.field = F_PRI_R;
    EXPECT_EQ(text(ai), "DEFAULT_1Q_TAG(3).PRI_R");

    soc_reg_addr_decode(0, &ai, 0x0020);
    EXPECT_EQ(ai.reg, R_SWMODE);
    EXPECT_EQ(ai.idx, -1);
    EXPECT_EQ(text(ai), "SWMODE");
    ai.port = 25;
    EXPECT_EQ(text(ai), "SWMODE.ge0");

    soc_reg_addr_decode(0, &ai, 0x7f00);
    EXPECT_EQ(ai.reg, -1);
    EXPECT_EQ(text(ai), "Reserved");
    ai.valid = 0;
    EXPECT_EQ(text(ai), "Invalid Address");
    // The text never runs past the buffer.
    soc_reg_addr_decode(0, &ai, 0x3446);
    char small[6];
    soc_reg_info_sprint(0, small, sizeof small, &ai);
    EXPECT_STREQ(small, "DEFAU");
}

TEST_F(soc_regdesc, ReadAndWriteThroughADescription) {
    start(sim::ChipKind::DXP7101);
    soc_regaddrinfo_t ai;
    soc_reg_addr_decode(0, &ai, 0x3440 + 2 * 9);
    ASSERT_EQ(ai.reg, R_DEFAULT_1Q_TAG);
    ASSERT_EQ(soc_reg_info_write(0, &ai, 0xdead6005ull), 0);
    EXPECT_EQ(board->chip().peek("DEFAULT_1Q_TAG", 9), 0x6005u);
    uint64_t v = ~0ull;
    ASSERT_EQ(soc_reg_info_read(0, &ai, &v), 0);
    EXPECT_EQ(v, 0x6005u);  // two bytes: bits 16-63 clear
    soc_reg_addr_decode(0, &ai, 0x7f00);
    EXPECT_EQ(soc_reg_info_read(0, &ai, &v), -4);
    EXPECT_EQ(soc_reg_info_write(0, &ai, 1), -4);
    EXPECT_TRUE(board->anomalies().empty());
}

TEST_F(soc_regdesc, WalkReportsEveryInstanceOnce) {
    start(sim::ChipKind::DXP7102A1);
    std::map<int, int> per_reg;
    std::map<uint32_t, int> per_addr;
    struct Seen {
        std::map<int, int> *regs;
        std::map<uint32_t, int> *addrs;
    } seen{&per_reg, &per_addr};
    soc_reg_iterate(
        0,
        [](int, soc_regaddrinfo_t *ai, void *data) {
            auto *s = static_cast<Seen *>(data);
            (*s->regs)[ai->reg]++;
            (*s->addrs)[ai->addr]++;
            return 0;
        },
        &seen);
    EXPECT_EQ(per_reg[R_SWMODE], 1);
    EXPECT_EQ(per_reg[R_TH_PCTL], 24);  // fast-Ethernet ports
    EXPECT_EQ(per_reg[R_G_PCTL], 2);    // gigabit ports
    EXPECT_EQ(per_reg[R_MIICTL], 27);   // a PHY page per port
    EXPECT_EQ(per_addr[0x0105], 1);     // TH_PCTL of port 5
    EXPECT_EQ(per_addr[0x011a], 1);     // G_PCTL of port 26
    EXPECT_EQ(per_addr[0x2a00], 1);     // MIICTL of port 26
    // Every instance the walk names decodes back to its register.
    for (const auto &[addr, count] : per_addr) {
        soc_regaddrinfo_t ai;
        soc_reg_addr_decode(0, &ai, addr);
        EXPECT_GE(ai.reg, 0) << std::hex << addr;
    }
}

}  // namespace
