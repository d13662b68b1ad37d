// The table-memory commands on a unit over the chip model: entries written
// by a command are read back from the model's table memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../soc/tests/unit_fixture.h"
#include "diag_console.h"
#include "diag_shell.h"
#include "sim/tables.h"

namespace {

constexpr uint32_t kVlanBase = 0x2000;
constexpr uint32_t kSecMac1Base = 0x100200;

class diag_mem : public soc_test::UnitTest {
  protected:
    void SetUp() override {
        start(sim::ChipKind::DXP7102A1);
        sh_set_mode(2);
    }
    std::string run(const std::string &line, int expect = 0) {
        diag_test::ConsoleCapture cap;
        EXPECT_EQ(sh_process_command(0, line.c_str()), expect) << line;
        return cap.take();
    }
    uint64_t vlan(int index) { return board->chip().tables().memPeek(kVlanBase + index); }
    static bool has(const std::string &out, const std::string &text) {
        return out.find(text) != std::string::npos;
    }
};

TEST_F(diag_mem, WriteAndModifyReachTheTable) {
    EXPECT_EQ(run("Write VLAN 1 3 0x5", -1), "Not enough data values (have 1, need 2)\n");
    EXPECT_EQ(vlan(1), 0u);
    EXPECT_EQ(run("Write VLAN 1 3 0x5 0x1 0x7"),
              "Ignoring extra data on command line (only 2 words needed)\n");
    for (int i = 1; i <= 3; i++)
        EXPECT_EQ(vlan(i), 0x100000005ull) << i;
    EXPECT_EQ(vlan(4), 0u);

    // Field writes start from a cleared entry; MODify keeps the other fields.
    run("Write VLAN 10 1 0xffffffff 0xffffffff");
    run("Write VLAN 10 1 forward_map=0x3,VALID_R=1");
    EXPECT_EQ(vlan(10), 0x3ull | 1ull << 60);
    run("MODify vlan_1q 10 1 untag_map=2");
    EXPECT_EQ(vlan(10), 0x3ull | 2ull << 27 | 1ull << 60);
    run("Write SEC_MAC1 5 1 macaddr=00:11:22:33:44:55 vlaid=1");
    EXPECT_EQ(board->chip().tables().memPeek(kSecMac1Base + 5), 0x1001122334455ull);

    // Refusals leave the table alone.
    EXPECT_EQ(run("MODify VLAN 10 1 mspt_id=64", -1),
              "Value \"64\" too large for 6-bit field \"MSPT_ID\".\n");
    EXPECT_EQ(run("MODify VLAN 10 1 bogus=1", -1),
              "No such field \"bogus\" in memory \"VLAN_1Q\".\n");
    EXPECT_EQ(run("MODify VLAN 10 1 =1", -1), "Null field name\n");
    EXPECT_EQ(run("MODify VLAN 10 1 mspt_id=", -1),
              "Missing 6-bit value to assign to \"VLAN_1Q\" field \"MSPT_ID\".\n");
    EXPECT_EQ(vlan(10), 0x3ull | 2ull << 27 | 1ull << 60);
    EXPECT_EQ(run("MODify SECMAC_COUNTER0 0 1 x=1", -1),
              "ERROR: Table STSEC_COUNTER0 is read-only\n");
    EXPECT_EQ(run("Write XYZ 0 1 1", -1), "ERROR: unknown table \"XYZ\"\n");
    EXPECT_EQ(run("Write CFP_METER 0 1 1", -1),
              "Error: Memory CFP_METER not valid for chip DXP7102_A1.\n");
    EXPECT_EQ(run("Write SW_ARL 0 1 1 2 3", -1).substr(0, 24), "Unsupport memory table.\n");
    EXPECT_TRUE(has(run("Write VLAN 1 x 1", -2), "Usage"));
    EXPECT_TRUE(has(run("MODify VLAN 1 1", -2), "Usage"));
}

TEST_F(diag_mem, ListAndCache) {
    std::string out = run("LISTmem ARL");
    for (const char *name : {"L2_ARL ", "L2_ARL_SW ", "L2_MARL_SW "})
        EXPECT_TRUE(has(out, name)) << out;
    EXPECT_FALSE(has(out, "VLAN_1Q")) << out;
    EXPECT_EQ(run("LISTmem xyz", -1), "No memory found with the substring 'xyz' in its name.\n");

    out = run("LISTmem VLAN_1Q 0x5 0x10000000");
    EXPECT_TRUE(has(out, "Memory: VLAN_1Q alias VLAN\nFlags: valid cachable\n")) << out;
    EXPECT_TRUE(has(out, "Entries: 4096 with indices 0-4095 (0x0-0xfff), each 8 bytes 2 words\n"))
        << out;
    EXPECT_TRUE(has(out, "Entry mask: -1 0x1fffffff\n")) << out;
    EXPECT_TRUE(has(out, "  FORWARD_MAP<26:0> = 5\n")) << out;
    EXPECT_TRUE(has(out, "  VALID_R<60> = 1\n")) << out;
    EXPECT_EQ(run("LISTmem VLAN_1Q 1", -1), "Not enough data specified (2 words needed)\n");
    EXPECT_EQ(run("LISTmem CFP_METER", -1),
              "ERROR: Memory \"CFP_METER\" not valid for this unit\n");

    run("CACHE +VLAN");
    EXPECT_TRUE(has(run("CACHE"), "VLAN    : cache Enabled.\nSEC_MAC : cache Disabled.\n"));
    run("Write VLAN 7 1 0x9 0");
    EXPECT_EQ(vlan(7), 0x9u);  // the cache writes through
    EXPECT_EQ(run("CACHE +ARL", -1), "CACHE: Memory L2_ARL is not cachable\n");
    EXPECT_EQ(run("CACHE +NOPE", -1), "CACHE: Unknown table \"NOPE\"\n");
    run("CACHE -VLAN");
    EXPECT_TRUE(has(run("CACHE"), "VLAN    : cache Disabled.\n"));
}

}  // namespace

// The wide chips hold a VLAN entry in three 64-bit data words.
class diag_mem_wide : public diag_mem {
  protected:
    void SetUp() override {
        start(sim::ChipKind::DXP7101);
        sh_set_mode(2);
    }
    std::vector<uint64_t> row(int index) {
        uint64_t w[3] = {};
        EXPECT_TRUE(board->chip().tables().otherRow(1, index, w));
        return {w[0], w[1], w[2]};
    }
};

TEST_F(diag_mem_wide, EntriesSpanEveryDataWord) {
    run("Write VLAN 5 1 forward_map=3,untag_map=1,mspt_id=2");
    EXPECT_EQ(row(5), (std::vector<uint64_t>{3, 1, 2}));
    run("MODify VLAN 5 1 untag_map=4");
    EXPECT_EQ(row(5), (std::vector<uint64_t>{3, 4, 2}));
    run("Write VLAN 6 2 1 0 2 0 3 0");
    EXPECT_EQ(row(7), (std::vector<uint64_t>{1, 2, 3}));
}
