// CLEAR, SHOW, PBMP and SOC on a unit over the chip model.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "../../drv/tests/port_fixture.h"
#include "diag_console.h"
#include "diag_counter.h"
#include "diag_shell.h"
#include "diag_symtab.h"
#include "dxp_tarn.h"
#include "sim/frame.h"
#include "sim/tables.h"

namespace {

constexpr int kShowPort = 2;

// The switch API is up, for the port statistics.
class diag_show : public port_test::PortUnitTest {
  protected:
    void SetUp() override {
        startPorts(sim::ChipKind::DXP7102A1);
        ASSERT_EQ(soc_init(0), 0);
        ASSERT_EQ(dxp_dispatch_register(&dxp_tarn_dispatch), 0);
        ASSERT_EQ(dxp_init(0), 0);
        sh_set_mode(2);
        symtab_init();
        board->port(kShowPort).linkUp();
        ASSERT_EQ(dxp_port_enable_set(0, kShowPort, 1), 0);
        dxp_pbmp_t linked{};
        dxp_pbmp_port_add(&linked, kShowPort);
        ASSERT_EQ(dxp_linkscan_update(0, linked), 0);
        board->chip().poke("SWMODE", 0, board->chip().peek("SWMODE") | 0x02);  // forwarding on
        cval_set_pbmp(0, ~0ull, 0);
    }
    void TearDown() override {
        dxp_linkscan_detach(0);
        dxp_detach(0);
        soc_tarn_counter_stop(0);
        PortUnitTest::TearDown();
    }
    std::string run(const std::string &line, int expect = 0) {
        diag_test::ConsoleCapture cap;
        EXPECT_EQ(sh_process_command(0, line.c_str()), expect) << line;
        return cap.take();
    }
    void traffic(int frames) {
        for (int i = 0; i < frames; i++)
            board->port(kShowPort).inject(sim::FrameBuilder().src(0x020000000011ull).build());
        ASSERT_EQ(soc_tarn_counter_sync(0), 0);
        ASSERT_GE(board->chip().mibGet("RXBROADCASTPKT", kShowPort), uint64_t(frames));
    }
    static bool has(const std::string &out, const std::string &text) {
        return out.find(text) != std::string::npos;
    }
    static long lines(const std::string &out) { return std::count(out.begin(), out.end(), '\n'); }
};

TEST_F(diag_show, CountersClearAndShow) {
    const std::string p = SOC_CONTROL(0)->port_name[kShowPort];
    const std::string name = "RXBROADCASTP." + p;
    run("CounTeR Interval=60000000 PortBitMap=all");  // only the syncs collect
    traffic(2);
    std::string out = run("SHOW Counters " + p);
    EXPECT_TRUE(has(out, name)) << out;
    EXPECT_TRUE(has(out, "+2")) << out;
    EXPECT_EQ(run("SHOW Counters"), "");

    // A changed counter that went to zero, in hexadecimal, and only it.
    soc_pbmp_t bmp{};
    soc_pbmp_port_add(&bmp, kShowPort);
    ASSERT_EQ(soc_tarn_counter_set32(0, bmp, 0), 0);
    out = run("SHOW Counters Hex Z " + p);
    EXPECT_TRUE(has(out, ": 0x0000000000000000 +0xfffffffffffffffe 0x")) << out;
    for (size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
        EXPECT_TRUE(has(out.substr(at, end - at), ": 0x0000000000000000 +0x")) << out;

    // One register by reference; CLEAR c zeroes the totals and the saved values.
    traffic(1);
    out = run("SHOW Counters RXBROADCASTPKT." + p);
    EXPECT_EQ(lines(out), 1) << out;
    EXPECT_TRUE(has(out, name)) << out;
    traffic(4);
    EXPECT_EQ(run("CLEAR c"), "");
    uint64_t v = 1;
    EXPECT_EQ(soc_tarn_counter_read(0, kShowPort, R_RXBROADCASTPKT, &v), 0);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(run("SHOW Counters"), "");

    EXPECT_EQ(run("SHOW Counters GMNGCFG", -1), "SHOW: Register is not a counter: GMNGCFG\n");
    EXPECT_EQ(run("SHOW Counters NOSUCH", -1), "Syntax error parsing \"NOSUCH\"\n");
    EXPECT_EQ(run("CLEAR c bogus", -1), "CLEAR: Invalid port bitmap: bogus\n");
}

TEST_F(diag_show, StatisticsTablesBitmapsAndRefusals) {
    run("CounTeR Interval=60000000 PortBitMap=all");  // only the syncs collect
    traffic(3);
    const std::string p = SOC_CONTROL(0)->port_name[kShowPort];
    std::string out = run("SHOW Statistics " + p + " all");
    EXPECT_EQ(lines(out), 105) << out;
    EXPECT_TRUE(has(out, "SHOW: Statistics for Unit 0 port " + p + "\n")) << out;
    out = run("SHOW MIB " + p);
    EXPECT_LT(lines(out), 105) << out;
    EXPECT_TRUE(has(out, "       3\tsnmpEtherStatsBroadcastPkts (stat 23)\n")) << out;
    EXPECT_EQ(run("SHOW Statistics bogus", -1), "SHOW: Invalid ports: bogus\n");
    EXPECT_EQ(run("SHOW Statistics " + p + " xyz", -1), "SHOW: Error: Invalid option xyz\n");
    EXPECT_EQ(run("CLEAR stats " + p), "");
    EXPECT_FALSE(has(run("SHOW Statistics " + p), "snmpEtherStatsBroadcastPkts"));
    run("SHOW params", -1);
    EXPECT_TRUE(has(run("SHOW", -2), "Usage"));
    EXPECT_TRUE(has(run("SHOW CHips"), "Known chips:\n"));
    EXPECT_TRUE(has(run("SHOW Errors"), "SHOW: Errors: MII("));

    // One security MAC bank stands for all three.
    sim::TableEngine &t = board->chip().tables();
    run("Write SEC_MAC0 1 1 0x11 0");
    run("Write SEC_MAC2 1 1 0x22 0");
    ASSERT_NE(t.memPeek(0x100401), 0u);
    EXPECT_EQ(run("CLEAR SEC_MAC1"), "");
    EXPECT_EQ(t.memPeek(0x100001), 0u);
    EXPECT_EQ(t.memPeek(0x100401), 0u);
    EXPECT_EQ(run("CLEAR CFP_METER", -1), "Unsupport memory table.\n");
    EXPECT_EQ(run("CLEAR nope", -1), "ERROR: unknown table \"nope\"\n");

    EXPECT_EQ(run("PBMP fe0-fe3"), "    0x000000000000000f ==> fe0-fe3\n");
    EXPECT_EQ(run("PBMP port xyz", -1), "PBMP: Invalid port string: xyz\n");
    EXPECT_EQ(run("PBMP port", -1), "ERROR: missing port string\n");
    EXPECT_EQ(run("PBMP port fe1"), "    port fe1 ==> fe1 (1)\n");
    EXPECT_EQ(run("PBMP zz", -1), "PBMP: Invalid pbmp string (zz); use 'pbmp ?' for more info.\n");
    EXPECT_TRUE(has(run("PBMP"), "Current bitmaps:\n     FE   ==> 0x"));
    EXPECT_EQ(run("SOC"), "SOC: Warning: Not compiled with CARVOLIX_DEBUG enabled\n");
}

}  // namespace
