// Register descriptions: decode, read and write through them, text, walk.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "chipdata/chipdata.h"
#include "sim/regspace.h"
#include "soc_error.h"
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

    soc_reg_addr_decode(0, &ai, 0x7ff0);
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
    soc_reg_addr_decode(0, &ai, 0x7ff0);
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

class soc_regdesc_models : public soc_regdesc,
                           public ::testing::WithParamInterface<sim::ChipKind> {};

// The chip model lays its registers out by its own reading of the rows; the
// driver must name the same instance for every register, port and index, and
// refuse the references the chip has no instance for.
TEST_P(soc_regdesc_models, DriverAddressesAreTheChipsOwn) {
    start(GetParam());
    const sim::ChipProfile &chip = board->chip().profile();
    const std::vector<sim::RegInstance> map = sim::buildAddressMap(chip);
    int compared = 0;
    for (int reg = 0; reg < CHIPDATA_NUM_REGS; reg++) {
        const chipdata_reg *row = SOC_REG_INFO(0, reg);
        if (row == nullptr) continue;
        bool by_index = (row->block & CHIPDATA_BLK_SYS) || row->type == CHIPDATA_TYPE_SINGLE;
        int last_port = by_index ? 0 : 60;
        int last_index = by_index ? static_cast<int>(row->count) : 0;
        for (int port = 0; port <= last_port; port++) {
            for (int index = 0; index <= last_index; index++) {
                SCOPED_TRACE(std::string(chipdata_reg_name(reg)) + " port " + std::to_string(port) +
                             " index " + std::to_string(index));
                const int p = by_index ? -1 : port;
                const sim::RegInstance *want = sim::findInstance(chip, map, reg, p, index);
                uint32_t addr = 0;
                int rv = drv_reg_addr_get(0, reg, port, index, &addr);
                if (want == nullptr) {
                    EXPECT_EQ(rv, SOC_E_PARAM);
                    EXPECT_EQ(drv_reg_addr(0, reg, port, index), DRV_REG_ADDR_NONE);
                    continue;
                }
                ASSERT_EQ(rv, SOC_E_NONE);
                EXPECT_EQ(addr, want->address);
                EXPECT_EQ(drv_reg_addr(0, reg, port, index), want->address);
                compared++;
            }
        }
    }
    EXPECT_GT(compared, 200);
}

TEST_P(soc_regdesc_models, WalkReadsAndDecodesEveryInstanceBackToItself) {
    start(GetParam());
    std::vector<soc_regaddrinfo_t> walked;
    soc_reg_iterate(
        0,
        [](int, soc_regaddrinfo_t *ai, void *data) {
            static_cast<std::vector<soc_regaddrinfo_t> *>(data)->push_back(*ai);
            return 0;
        },
        &walked);
    EXPECT_GT(walked.size(), 200u);
    for (const soc_regaddrinfo_t &ai : walked) {
        SCOPED_TRACE(text(ai) + " at " + std::to_string(ai.addr));
        uint64_t value = 0;
        EXPECT_EQ(soc_reg_info_read(0, &ai, &value), 0);
        soc_regaddrinfo_t back;
        soc_reg_addr_decode(0, &back, ai.addr);
        EXPECT_EQ(back.reg, ai.reg) << text(back);
    }
    // The tear-down checks that no read reached an undescribed address or
    // had the wrong width.
}

TEST_P(soc_regdesc_models, PhyControlReachesEveryPortsPhyPageAndNoOther) {
    start(GetParam());
    const sim::ChipProfile &chip = board->chip().profile();
    for (int port = 0; port < chip.num_ports; port++) {
        uint32_t addr = 0;
        ASSERT_EQ(drv_reg_addr_get(0, R_MIICTL, port, 0, &addr), SOC_E_NONE) << port;
        EXPECT_EQ(addr, static_cast<uint32_t>(chip.phyPage(port)) << 8) << port;
    }
    uint32_t addr = 0;
    EXPECT_EQ(drv_reg_addr_get(0, R_MIICTL, chip.num_ports, 0, &addr), SOC_E_PARAM);
    EXPECT_EQ(drv_reg_addr_get(0, R_MIICTL, 60, 0, &addr), SOC_E_PARAM);
}

INSTANTIATE_TEST_SUITE_P(AllModels, soc_regdesc_models,
                         ::testing::Values(sim::ChipKind::DXP7101, sim::ChipKind::DXP7106,
                                           sim::ChipKind::DXP7102A0, sim::ChipKind::DXP7102A1));

}  // namespace
