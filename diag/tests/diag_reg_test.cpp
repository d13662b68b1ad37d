// The register commands on a unit over the chip model: values are checked in
// the model's registers, not read back through the firmware.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../../soc/tests/unit_fixture.h"
#include "diag_console.h"
#include "diag_shell.h"
#include "diag_symtab.h"
#include "../../platform/tests/script_console.h"
#include "soc_sysconf.h"

namespace {

class diag_reg : public soc_test::UnitTest {
  protected:
    void SetUp() override {
        symtab_init();
        start(sim::ChipKind::DXP7101);
        sh_set_mode(2);
    }
    std::string run(const std::string &line, int expect = 0) {
        diag_test::ConsoleCapture cap;
        EXPECT_EQ(sh_process_command(0, line.c_str()), expect) << line;
        return cap.take();
    }
    static bool has(const std::string &out, const std::string &text) {
        return out.find(text) != std::string::npos;
    }
};

TEST_F(diag_reg, ReferencesByNameCaseIndexAndPort) {
    board->chip().poke("CFP_DATA", 2, 0x12345678);
    EXPECT_EQ(run("Getreg hex cfp_data[1-3]"), "00000000\n12345678\n00000000\n");
    EXPECT_EQ(run("Getreg hex CfP_DaTa(2)"), "12345678\n");
    EXPECT_EQ(run("Getreg hex CFP_DATA[all]").size(), 6 * 9u);
    std::string out = run("Getreg CFP_DATA[9]", -1);
    EXPECT_TRUE(has(out, "Syntax error parsing \"CFP_DATA[9]\"\n")) << out;
    EXPECT_EQ(run("Getreg NO_SUCH_REG", -1), "Syntax error parsing \"NO_SUCH_REG\"\n");

    board->chip().poke("DEFAULT_1Q_TAG", 2, 0x2005);
    out = run("Getreg DEFAULT_1Q_TAG.fe1-fe3");
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3) << out;
    EXPECT_TRUE(has(out, "DEFAULT_1Q_TAG.fe2[0x3444]=0x2005: <PRI_R=1,CFI_R=0,DEF_TAG=5>\n"))
        << out;
    EXPECT_EQ(run("Getreg raw GLOBAL_TRUNK_CTL"), "GLOBAL_TRUNK_CTL[0x3100]=0\n");

    // A per-port array register: the index picks elements of each port's
    // instance, with or without a port part.
    board->chip().poke("G_PCTL", 1, 0x21);
    out = run("Getreg G_PCTL[1-2]");
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 8) << out;
    EXPECT_TRUE(has(out, "G_PCTL(1).ge0[0x131]=")) << out;
    EXPECT_TRUE(has(out, "G_PCTL(2).ge3[0x134]=")) << out;
    EXPECT_EQ(run("Getreg G_PCTL(1)"), run("Getreg G_PCTL[1]"));
    EXPECT_EQ(run("Getreg raw G_PCTL.ge1[3]"), "G_PCTL(3).ge1[0x132]=0x21\n");
    run("Setreg G_PCTL.ge2[0] 0x3");
    EXPECT_EQ(board->chip().peek("G_PCTL", 2), 0x3u);
    run("Modreg G_PCTL.ge2[1] MITX_DIS=0");
    EXPECT_EQ(board->chip().peek("G_PCTL", 2), 0x1u);
    EXPECT_EQ(run("Getreg G_PCTL[4]", -1), "Syntax error parsing \"G_PCTL[4]\"\n");
}

TEST_F(diag_reg, SetregZeroesOtherFieldsModregKeepsThem) {
    board->chip().poke("GLOBAL_TRUNK_CTL", 0, 0x18);  // TRUNK_SEED=3
    run("Modreg GLOBAL_TRUNK_CTL EN_TRUNK_LOCAL=1");
    EXPECT_EQ(board->chip().peek("GLOBAL_TRUNK_CTL"), 0x1au);
    run("Setreg GLOBAL_TRUNK_CTL EN_TRUNK_LOCAL=1");
    EXPECT_EQ(board->chip().peek("GLOBAL_TRUNK_CTL"), 0x2u);
    run("Modreg GLOBAL_TRUNK_CTL clear,trunk_seed=2");
    EXPECT_EQ(board->chip().peek("GLOBAL_TRUNK_CTL"), 0x10u);
    run("PUTREG GLOBAL_TRUNK_CTL 0x8");
    EXPECT_EQ(board->chip().peek("GLOBAL_TRUNK_CTL"), 0x8u);
    run("Setreg DEFAULT_1Q_TAG.fe0,fe4 DEF_TAG=7");
    EXPECT_EQ(board->chip().peek("DEFAULT_1Q_TAG", 4), 7u);
    EXPECT_EQ(board->chip().peek("DEFAULT_1Q_TAG", 0), 7u);
    run("Modreg QOS_TCI_TH PRITAG_111=3,pritag_001=1");  // the queue maps name each key
    EXPECT_EQ(board->chip().peek("QOS_TCI_TH"), 0xc004u);
    EXPECT_TRUE(has(run("Getreg QOS_TCI_TH"), "PRITAG_111=3")) << run("Getreg QOS_TCI_TH");

    // Refusals leave the register alone.
    std::string out = run("Setreg GLOBAL_TRUNK_CTL TRUNK_SEED=4", -1);
    EXPECT_TRUE(has(out, "Value \"4\" too large for 2-bit field \"TRUNK_SEED\".\n")) << out;
    EXPECT_TRUE(has(out, "Syntax error, aborted\n")) << out;
    out = run("Modreg GLOBAL_TRUNK_CTL BOGUS=1", -1);
    EXPECT_TRUE(has(out, "No such field \"BOGUS\" in register \"GLOBAL_TRUNK_CTL\".\n")) << out;
    EXPECT_TRUE(
        has(run("Modreg GLOBAL_TRUNK_CTL TRUNK_SEED=", -1),
            "Missing 2-bit value to assign to \"GLOBAL_TRUNK_CTL\" field \"TRUNK_SEED\".\n"));
    EXPECT_TRUE(has(run("Modreg GLOBAL_TRUNK_CTL 5", -2), "Usage (Modreg)"));
    EXPECT_TRUE(has(run("Setreg GLOBAL_TRUNK_CTL", -2), "Syntax error: missing value\n"));
    EXPECT_EQ(board->chip().peek("GLOBAL_TRUNK_CTL"), 0x8u);
}

TEST_F(diag_reg, RawAddressSpaces) {
    board->chip().poke("DEFAULT_1Q_TAG", 3, 0x0042);
    EXPECT_EQ(run("Getreg 0x34 0x46"), "schan[0x3446] = 0x42\n");
    run("Setreg SOC 0x34 0x46 0x43");
    EXPECT_EQ(board->chip().peek("DEFAULT_1Q_TAG", 3), 0x43u);
    EXPECT_EQ(run("Getreg PCIC 0 6", -1), "ERROR: PCI config addr must be multiple of 4\n");
    unit0()->phyaddr_to_port[1] = 1;
    run("Setreg PHY 0x1 0x0 0x1140");
    EXPECT_EQ(run("Getreg PHY 0x1 0x0"), "phy[0x100] = 0x1140\n");
    EXPECT_EQ(run("Getreg hex MW 0x10 0", -1), "ERROR: host address 0x1000 is not mapped\n");
    EXPECT_EQ(run("Setreg MB 0x10 0 1", -1), "ERROR: host address 0x1000 is not mapped\n");
    EXPECT_TRUE(has(run("Getreg PCIC 0", -2), "Usage (Getreg)"));
}

TEST_F(diag_reg, ListregDescribesAndSearches) {
    std::string out = run("Listreg GLOBAL_TRUNK_CTL 0x1a");
    EXPECT_EQ(out,
              "Register: GLOBAL_TRUNK_CTL general register address 0x3100\n"
              "Flags: 8-bits\n"
              "Displaying: value 0x1a, reset value 0 mask 0x1a\n"
              "  TRUNK_SEED<4:3> = 3\n"
              "  EN_TRUNK_LOCAL<1> = 1\n");
    EXPECT_TRUE(has(run("Listreg CFP_DATA"), "Flags: 32-bits array[0-5]\n"));
    EXPECT_TRUE(has(run("Listreg 0x31 0x00"), "Address GLOBAL_TRUNK_CTL\n"));
    out = run("Listreg trunk_c");
    EXPECT_EQ(out.rfind("Unknown register; possible matches are:\n  ", 0), 0u) << out;
    EXPECT_TRUE(has(out, "GLOBAL_TRUNK_CTL ")) << out;
    EXPECT_FALSE(has(out, "CFP_DATA")) << out;
    EXPECT_EQ(run("Listreg zzzz"), "No matching register found\n");
    out = run("Listreg *");
    EXPECT_TRUE(has(out, "CFP_DATA[] ")) << out;
    for (size_t pos = 0, next; (next = out.find('\n', pos)) != std::string::npos; pos = next + 1)
        EXPECT_LT(next - pos, 73u);
}

TEST_F(diag_reg, EditRegAsksEachField) {
    console_test::ScriptConsole con;
    const sal_console_ops *prev = sal_console_bind(&con.ops);
    board->chip().poke("DEFAULT_1Q_TAG", 1, 0x0005);
    board->chip().poke("DEFAULT_1Q_TAG", 2, 0x0005);
    // Enter keeps a field; a value one bit too wide asks again.
    con.lines = {"", "2", "1", "8", "1"};
    EXPECT_EQ(sh_process_command(0, "EditReg DEFAULT_1Q_TAG.fe1-fe2"), 0);
    EXPECT_TRUE(has(con.out, "Value too big for 1-bit field, try again.\n")) << con.out;
    EXPECT_TRUE(has(con.out, "Writing new value: 0x3005\n")) << con.out;
    EXPECT_EQ(board->chip().peek("DEFAULT_1Q_TAG", 1), 0x3005u);
    EXPECT_EQ(board->chip().peek("DEFAULT_1Q_TAG", 2), 0x3005u);
    con.lines = {};  // end of input aborts without writing
    con.out.clear();
    EXPECT_EQ(sh_process_command(0, "EditReg DEFAULT_1Q_TAG.fe1"), 0);
    EXPECT_TRUE(has(con.out, "Aborted\n")) << con.out;
    EXPECT_EQ(board->chip().peek("DEFAULT_1Q_TAG", 1), 0x3005u);
    sal_console_bind(prev);
}

TEST_F(diag_reg, UnitCommands) {
    EXPECT_EQ(run("PROBE", -1),
              "sysconf_probe: cannot probe more than once\nPROBE: Probe failed\n");
    EXPECT_EQ(run("Attach 0", -1), "Attach: Error: Unit already attached: 0\n");
    EXPECT_EQ(run("Attach 7", -1), "Attach: Error: Unit number out of range (0 - 0)\n");
    std::string out = run("INIT bogus", -1);
    EXPECT_TRUE(has(out, "Unknown flag: bogus\nValid flags are: \n    port\n    l2\n")) << out;
    EXPECT_TRUE(has(out, "    rcpu\n")) << out;
    // A word left over refuses the command before the chip is reset.
    board->chip().poke("GLOBAL_TRUNK_CTL", 0, 0x18);
    EXPECT_TRUE(has(run("INIT soc extra", -2), "INIT: Unknown option: extra\n"));
    EXPECT_EQ(board->chip().peek("GLOBAL_TRUNK_CTL"), 0x18u);
    EXPECT_EQ(run("DETach x", -1), "DETach: Error: Invalid unit: x\n");
    run("DETach 0");
    EXPECT_EQ(soc_unit_attached(0), 0);
    EXPECT_TRUE(has(run("Attach"), "Attach: Unit 0 (")) << run("Attach");
    EXPECT_TRUE(has(run("Attach"), "): not attached")) << run("Attach");
    run("Attach 0");
    board->chip().poke("GLOBAL_TRUNK_CTL", 0, 0x18);
    EXPECT_EQ(run("Getreg raw GLOBAL_TRUNK_CTL"), "GLOBAL_TRUNK_CTL[0x3100]=0x18\n");
}

TEST_F(diag_reg, ProbeLineNamesTheOverridingDriver) {
    soc_test::forget_everything();
    sim::bindHost(*board);
    ASSERT_EQ(sysconf_init(), 0);
    EXPECT_EQ(run("Attach", -1), "Attach: Probe command not yet performed\n");
    sal_config_set("pci_override_rev.0", "1");
    EXPECT_EQ(run("PROBE"),
              "SPI unit 0: Dev 0xa701, Rev 0x00, Chip DXP7101_A0, Driver DXP7101_A1\n"
              "PROBE: found 1 unit\n");
    EXPECT_EQ(run("PROBE", -1),
              "sysconf_probe: cannot probe more than once\nPROBE: Probe failed\n");
    EXPECT_EQ(run("Attach 0"), "SPI device DXP7101_A1 attached as unit 0.\n");
}

TEST_F(diag_reg, DispatchTableAndTiming) {
    EXPECT_EQ(run("DISPatch vtime", -1), "ERROR: DISPatch vtime: count missing\n");
    EXPECT_EQ(run("DISPatch vtime 0 0 10", -1), "ERROR: DISPatch vtime: count must be positive\n");
    EXPECT_EQ(run("DISPatch attach 0 tarn", -1), "ERROR: DISPatch attach: dispatch unit missing\n");
    std::string out = run("DISPatch attach 0 tarn 0");
    EXPECT_EQ(out, "[unit 0 attached]\n");
    out = run("DISPatch");
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_EQ(out.rfind("unit 0: dispatch tarn, ", 0), 0u) << out;
    EXPECT_EQ(run("DISPatch find tarn 0"), "[unit 0 found]\n");
    EXPECT_TRUE(has(run("DISPatch vtime 3 0 10"), "3 api calls in "));
    EXPECT_EQ(run("DISPatch ftest 0", -1), "ERROR: filter_create(0): Feature unavailable\n");
    EXPECT_TRUE(has(run("DISPatch ftest3 0"), "0 port filters in "));
    EXPECT_EQ(run("DISPatch custom_stattime 2 0 1", -1),
              "ERROR: DISPatch custom_stattime: Feature unavailable\n");
    run("DISPatch custom_reg 0");
    EXPECT_TRUE(has(run("DISPatch custom_stattime 2 0 1"), "2 api calls in "));
    EXPECT_EQ(run("DISPatch pause_addr 0 1 00:10:zz", -1),
              "ERROR: DISPatch pause_addr: illegal mac-addr\n");
    // Link scan needs the switch API's init, which this unit lacks.
    EXPECT_EQ(run("DISPatch linkreg 0", -1), "ERROR: DISPatch linkreg: Feature not initialized\n");
    EXPECT_EQ(run("DISPatch l2reg 0"), "");
    EXPECT_EQ(run("DISPatch l2unreg 0"), "");
    run("DISPatch detach 0");
    EXPECT_EQ(run("DISPatch show"), "");
}

TEST_F(diag_reg, AddressListRefusesToOverflow) {
    diag_test::ConsoleCapture cap;
    soc_regaddrlist_t list;
    ASSERT_EQ(soc_regaddrlist_alloc(&list), 0);
    list.count = 0;
    int rv = 0;
    for (int i = 0; i < 100 && rv == 0; i++)
        rv = symtab_addr_add(0, &list, R_CFP_DATA, -1, -10, 0, 5);
    EXPECT_EQ(rv, -1);
    EXPECT_EQ(list.count, SOC_REGADDRLIST_BYTES / static_cast<int>(sizeof(soc_regaddrinfo_t)));
    EXPECT_EQ(cap.take(), "Register CFP_DATA: reference expands beyond 424 entries\n");
    soc_regaddrlist_free(&list);
}

}  // namespace
