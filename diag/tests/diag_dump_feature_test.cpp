// Dump and the small feature commands (MIRror, DTAG, IPG, DSCP, IGMP, DOS,
// RATE) on an initialised unit over the chip model.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../../platform/tests/private_workdir.h"
#include "cyg_host.h"
#include "diag_shell.h"
#include "diag_unit_fixture.h"
#include "dxp.h"
#include "sal.h"
#include "sim/frame.h"
#include "storage_host.h"

namespace {

class diag_dump_feature : public diag_test::MonitorUnitTest {
  protected:
    void TearDown() override {
        dxp_linkscan_detach(0);
        dxp_detach(0);
        if (fs_open) flash_host_close();
        port_test::PortUnitTest::TearDown();  // the unit is already detached
    }
    static int lines(const std::string &out) {
        return static_cast<int>(std::count(out.begin(), out.end(), '\n'));
    }
    void open_fs() {
        std::filesystem::remove_all("fs");
        ASSERT_EQ(flash_host_open("flash.bin", 1), 0);
        ASSERT_EQ(sal_fs_host_init("fs", "tftp"), 0);
        fs_open = true;
    }
    bool fs_open = false;
};

TEST_F(diag_dump_feature, DumpShowsRegistersTablesPhysAndMemory) {
    std::string addr = run("Dump soc addr");
    EXPECT_GT(lines(addr), 100);
    EXPECT_TRUE(has(addr, "0x")) << addr.substr(0, 200);
    // A diff shows only registers away from their reset values: one more
    // once a setting changes a register.
    ASSERT_EQ(dxp_init(0), 0);
    std::string before = run("Dump soc diff");
    EXPECT_LT(lines(before), lines(addr) / 4);
    EXPECT_FALSE(has(before, "IGMIRCTL")) << before;
    run("MIRror Mode=L2 Port=fe3 IngressBitMap=fe1");
    std::string after = run("Dump soc diff");
    EXPECT_TRUE(has(after, "IGMIRCTL = 0x00000000000000")) << after;
    EXPECT_TRUE(has(run("Dump soc rval"), "IGMIRCTL = 0x0\n"));
    EXPECT_EQ(run("Dump soc port 53", -1),
              "SOC_TARN_MAX_NUM_PORTS 53\nERROR: Exceed max port number.\n");
    std::string port1 = run("Dump soc port 1");
    EXPECT_GT(lines(port1), 0);
    EXPECT_LT(lines(port1), lines(run("Dump soc")));

    // Thirty-two MII registers in eight lines of four, as the model holds them.
    std::string phy = run("Dump phy fe0");
    EXPECT_EQ(lines(phy), 10) << phy;
    EXPECT_EQ(phy.substr(0, 19), "\nPort 0 (Phy ID 1)\n");
    char want[64];
    std::snprintf(want, sizeof want, "\t0x02: 0x%04x\t0x03: 0x%04x", phyReg(0, 2), phyReg(0, 3));
    EXPECT_TRUE(has(phy, want)) << phy;
    EXPECT_EQ(run("Dump phy bogus", -1), "Error: Invalid port identifier: bogus\n");

    auto *ram = static_cast<uint8_t *>(sal_dma_alloc(32, "dump"));
    for (int i = 0; i < 32; i++)
        ram[i] = static_cast<uint8_t>(i);
    char cmd[64];
    std::snprintf(cmd, sizeof cmd, "Dump mb 0x%x 20", cyg_pci_bus_address(ram));
    std::string mb = run(cmd);
    EXPECT_EQ(lines(mb), 2);
    EXPECT_TRUE(has(mb, ": 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n")) << mb;
    EXPECT_TRUE(has(mb, ": 10 11 12 13 \n")) << mb;
    std::snprintf(cmd, sizeof cmd, "Dump mw 0x%x 1", cyg_pci_bus_address(ram) + 1);
    EXPECT_TRUE(has(run(cmd), ": 03020100 \n"));
    sal_dma_free(ram);

    run("Write VLAN 3 1 0x12345678 0x9 0 0 0 0");
    EXPECT_EQ(run("Dump raw VLAN 3 1"),
              "VLAN[3]: 0x12345678 0x00000009 0x00000000 0x00000000 0x00000000 0x00000000 \n");
    EXPECT_EQ(run("Dump hex vlan_1q 3"),
              "12345678\n00000009\n00000000\n00000000\n00000000\n00000000\n");
    // The read-back loop on the first register the chip has.
    unsigned first = 0;
    ASSERT_EQ(std::sscanf(addr.c_str(), "0x%x", &first), 1);
    std::snprintf(cmd, sizeof cmd, "Dump reg %u %u 3", first >> 8, first & 0xff);
    std::string loop = run(cmd);
    EXPECT_EQ(loop.substr(0, 7), "Expect ");
    EXPECT_TRUE(has(loop, "phydbg is successful for 3 times\n")) << loop;
    std::snprintf(cmd, sizeof cmd, "Dump reg %u %u 2 0x5a5a5a5a", first >> 8, first & 0xff);
    EXPECT_TRUE(has(run(cmd, -1), "Found wrong register access: expect 0x5a5a5a5a,got 0x"));
}

TEST_F(diag_dump_feature, DumpToFileAndBadInput) {
    open_fs();
    EXPECT_EQ(run("Dump File=regs.txt soc addr"), "");
    std::ifstream in("fs/regs.txt");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), run("Dump soc addr"));
    run("Dump File=regs.txt Append=true soc port 1");
    EXPECT_GT(std::filesystem::file_size("fs/regs.txt"), text.str().size());
    run("LOG File=log.txt");
    EXPECT_EQ(run("Dump File=other.txt soc addr", -1),
              "Dump: Can't dump to file while logging is enabled\n");
    EXPECT_FALSE(std::filesystem::exists("fs/other.txt"));
    run("LOG off");

    EXPECT_TRUE(has(run("Dump", -2), "DUMP PHY [<PHYID>]"));
    EXPECT_TRUE(has(run("Dump raw hex", -2), "Usages:"));
    EXPECT_EQ(run("Dump bogus", -1),
              "Unknown option or memory to dump (use 'help dump' for more info)\n");
    EXPECT_EQ(run("Dump soc bogus", -1), "ERROR: unrecognized argument to DUMP SOC: bogus\n");
    EXPECT_EQ(run("Dump soc port", -1), "ERROR: port number needed.\n");
    EXPECT_EQ(run("Dump mw", -1), "Dumping memory requires address and optional count\n");
    EXPECT_EQ(run("Dump PCIC", -1), "Dumping register type PCIC is not yet implemented.\n");
    EXPECT_EQ(run("Dump raw SW_ARL 0", -1), "Unsupport memory table.\n");
    EXPECT_EQ(run("Dump mw 0x10 2", -1), "ERROR: host address 0x10 is not mapped\n");
    // A count whose byte length passes 2 GB is refused, not wrapped round.
    EXPECT_EQ(run("Dump mw 0xba000000 0x40000000", -1),
              "ERROR: host address 0xba000000 is not mapped\n");
    EXPECT_EQ(run("Dump mh 0x10 0x7fffffff", -1), "ERROR: host address 0x10 is not mapped\n");
    EXPECT_TRUE(has(run("Dump reg x 0", -2), "Usages:"));
}

TEST_F(diag_dump_feature, MirrorReachesTheChip) {
    ASSERT_EQ(dxp_init(0), 0);
    EXPECT_TRUE(has(run("MIRror"), "Mode=Off")) << run("MIRror");
    std::string no_port = run("MIRror Mode=L2", -1);
    EXPECT_TRUE(has(no_port, "mirror to port should be set\n")) << no_port;
    EXPECT_EQ(run("MIRror Mode=L2 Port=fe3 IngressBitMap=fe1 EgressBitMap=fe2"), "");
    EXPECT_EQ(reg("IGMIRCTL") & 0xf, 0x2u);
    EXPECT_EQ(reg("EGMIRCTL") & 0xf, 0x4u);
    int port = -1, mode = 0;
    EXPECT_EQ(dxp_mirror_to_get(0, &port), 0);
    EXPECT_EQ(dxp_mirror_mode_get(0, &mode), 0);
    EXPECT_EQ(port, 3);
    EXPECT_EQ(mode, 1);
    // A frame entering fe1 is copied to the capture port fe3.
    board->chip().poke("SWMODE", 0, 0x03);
    for (int p : {1, 2, 3}) {
        board->port(p).linkUp();
        ASSERT_EQ(dxp_port_enable_set(0, p, 1), 0);
    }
    dxp_pbmp_t up{{0xe, 0}};
    ASSERT_EQ(dxp_linkscan_update(0, up), 0);
    board->chip().poke("PORT_VLAN_CTL", 1, 1u << 2);  // fe1 reaches fe2 only
    board->port(1).inject(sim::FrameBuilder().src(0x000102030405).dst(0x000000000009).build());
    board->fabric().drain();
    EXPECT_EQ(board->port(3).sent().size(), 1u);
    std::string show = run("MIRror");
    EXPECT_TRUE(has(show, "Mode=L2")) << show;
    EXPECT_TRUE(has(show, "Port=fe3")) << show;
    run("MIRror Mode=Off");
    EXPECT_EQ(dxp_mirror_mode_get(0, &mode), 0);
    EXPECT_EQ(mode, 0);
    board->port(1).inject(sim::FrameBuilder().src(0x000102030405).dst(0x9).build());
    board->fabric().drain();
    EXPECT_EQ(board->port(2).sent().size(), 2u);
    EXPECT_EQ(board->port(3).sent().size(), 1u);
    EXPECT_TRUE(has(run("MIRror Mode=Bogus", -1), "MIRror: Error: Mode=Bogus refused: not one of"));
    EXPECT_TRUE(has(run("MIRror Port=fe3 extra", -1), "Unknown option: extra"));
}

TEST_F(diag_dump_feature, TaggingDscpIgmpRateDosAndIpg) {
    ASSERT_EQ(dxp_init(0), 0);
    run("DTAG mode fe1 internal");
    run("DTAG tpid fe1 0x9100");
    EXPECT_EQ(run("DTAG show fe1"),
              "port 0:fe1\tdouble tag mode internal (service provider), tpid 0x9100\n");
    int mode = 0;
    EXPECT_EQ(dxp_port_dtag_mode_get(0, 1, &mode), 0);
    EXPECT_EQ(mode, 1);
    EXPECT_TRUE(has(run("Dump raw VLAN 1"), "Double tagging mode!"));
    EXPECT_GE(lines(run("DTAG")), 24);
    EXPECT_TRUE(has(run("DTAG mode fe1 bogus", -2), "Usage"));
    EXPECT_TRUE(has(run("DTAG tpid fe1 0x12345", -2), "Usage"));
    EXPECT_TRUE(has(run("DTAG show fe1"), "tpid 0x9100")) << "a refused TPID is not written";
    EXPECT_EQ(run("DTAG show bogus", -1), "DTAG: ERROR: unrecognized port bitmap: bogus\n");

    // This chip maps code points for the whole unit: each listed port shows
    // the unit's map, and a per-port change is refused.
    EXPECT_EQ(run("DSCP fe0-fe1"), "0:fe0 dscp map:\n0:fe1 dscp map:\n");
    EXPECT_EQ(run("DSCP fe1 10"), "0:fe1 dscp map: 10=10\n");
    EXPECT_TRUE(has(run("DSCP fe0 10 20", -1), "0:fe0 ERROR: dscp map set 10=20 failed: "));
    EXPECT_EQ(run("DSCP", -1), "DSCP: ERROR: missing port bitmap\n");
    EXPECT_EQ(run("DSCP bogus", -1), "DSCP: ERROR: unrecognized port bitmap: bogus\n");
    EXPECT_TRUE(has(run("DSCP fe0 x", -2), "Usages:"));

    EXPECT_EQ(run("IGMP", -1),
              "dxp_igmp_snooping_enable_get failed ERROR: Feature not initialized\n");
    run("IGMP init");
    run("IGMP on");
    EXPECT_EQ(run("IGMP"), "IGMP Snoop is enabled\n");
    run("IGMP no");
    EXPECT_EQ(run("IGMP"), "IGMP Snoop is disabled\n");
    // A word it does not know runs nothing and says how to use it.
    EXPECT_TRUE(has(run("IGMP bogus", -2), "Usage (IGMP)"));
    EXPECT_EQ(run("IGMP"), "IGMP Snoop is disabled\n");

    run("RATE Limit=1024 Mcast=1");
    run("RATE Bcast=1");
    int limit = 0, flags = 0;
    EXPECT_EQ(dxp_rate_get(0, &limit, &flags), 0);
    EXPECT_EQ(limit, 1024);
    EXPECT_EQ(flags, 0x6);
    EXPECT_EQ(run("RATE"),
              "Current rate settings:\n\tLimit = 1024\n\tBcast = TRUE\n\tMcast = TRUE\n\tDlf   = "
              "FALSE\n");
    EXPECT_EQ(run("RATE Bogus=1", -1), "RATE: Error: Unknown option: Bogus=1\n");
    // A malformed or negative limit is refused by name and changes nothing.
    EXPECT_EQ(run("rate Limit=abc", -1),
              "RATE: Error: Limit=abc refused: not an integer; nothing changed\n");
    EXPECT_EQ(run("rate Limit=-5", -1),
              "RATE: Error: Limit=-5: a limit is 0 (none) or more kbps; nothing changed\n");
    EXPECT_EQ(dxp_rate_get(0, &limit, &flags), 0);
    EXPECT_EQ(limit, 1024);
    EXPECT_EQ(flags, 0x6);
    // A limit between two steps runs as the nearest, and says so.
    EXPECT_EQ(run("RATE Limit=100"),
              "RATE: Limit=100 runs as 128 kbps, the nearest step the ports have\n");
    // No limit leaves no class on, whatever the flags say.
    run("RATE Limit=0 Bcast=0");
    EXPECT_EQ(dxp_rate_get(0, &limit, &flags), 0);
    EXPECT_EQ(flags, 0);

    run("DOS fe2 enable 5");
    int on = 0;
    EXPECT_EQ(dxp_switch_control_port_get(0, 2, dxpSwitchDosAttackSynFlood, &on), 0);
    EXPECT_EQ(on, 1);
    EXPECT_TRUE(has(run("DOS fe2 show"), "Port fe2\nItem[ 0] is disabled\n"))
        << run("DOS fe2 show");
    EXPECT_TRUE(has(run("DOS fe2 show"), "Item[ 5] is enabled\n"));
    run("DOS fe2 disable 5");
    EXPECT_EQ(dxp_switch_control_port_get(0, 2, dxpSwitchDosAttackSynFlood, &on), 0);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(run("DOS fe2 enable 7", -1), "Case Number Invalid\n");
    EXPECT_TRUE(has(run("DOS cpu show", -2), "Usage"));
    EXPECT_TRUE(has(run("DOS fe2", -2), "Usage"));

    std::string ipg = run("IPG PortBitMap=fe0 SPeed=100");
    EXPECT_TRUE(has(ipg, "            10HD    10FD   100HD   100FD  1000HD  1000FD\n")) << ipg;
    EXPECT_TRUE(has(ipg, "fe0                     ")) << ipg;
}

}  // namespace
