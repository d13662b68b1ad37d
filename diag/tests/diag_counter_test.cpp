// Counter collection and display on a unit over the chip model: frames
// injected at a port are counted by the model, collected on a sync of the
// collector (manual clock) and shown against the saved values.
#include <gtest/gtest.h>

#include <string>

#include "../../soc/tests/unit_fixture.h"
#include "diag_console.h"
#include "diag_counter.h"
#include "diag_shell.h"
#include "diag_symtab.h"
#include "sal_host.h"
#include "sim/frame.h"

namespace {

constexpr int kPort = 2;

class diag_counter : public soc_test::UnitTest {
  protected:
    void SetUp() override {
        sal_clock_manual(1000000);
        start(sim::ChipKind::DXP7102A1);
        sh_set_mode(2);
        symtab_init();
        board->port(kPort).linkUp();
        board->chip().poke("SWMODE", 0, board->chip().peek("SWMODE") | 0x02);  // forwarding on
        // Saved values live for the process: start every test from zero.
        cval_set_pbmp(0, ~0ull, 0);
    }
    void TearDown() override {
        soc_tarn_counter_stop(0);
        sal_clock_real();
        soc_test::UnitTest::TearDown();
    }
    std::string run(const std::string &line, int expect = 0) {
        diag_test::ConsoleCapture cap;
        EXPECT_EQ(sh_process_command(0, line.c_str()), expect) << line;
        return cap.take();
    }
    std::string show(uint64_t pbmp, int flags) {
        diag_test::ConsoleCapture cap;
        EXPECT_EQ(counter_show_pbmp(0, -1, pbmp, flags), 0);
        return cap.take();
    }
    int interval() {
        int iv = -1;
        soc_pbmp_t bmp{};
        uint32_t flags = 0;
        soc_tarn_counter_status(0, &iv, &bmp, &flags);
        return iv;
    }
    static bool has(const std::string &out, const std::string &text) {
        return out.find(text) != std::string::npos;
    }
    std::string port_name(int port) { return SOC_CONTROL(0)->port_name[port]; }
};

TEST_F(diag_counter, DisplaysChangesSinceTheLastDisplay) {
    const int shown = COUNTER_SHOW_CHANGED | COUNTER_SHOW_NZ;
    const uint64_t bit = 1ull << kPort;
    EXPECT_EQ(run("CounTeR Interval=1000000 PortBitMap=" + port_name(kPort)), "");
    EXPECT_EQ(interval(), 1000000);
    EXPECT_TRUE(has(run("CounTeR"), "Interval=1000000")) << run("CounTeR");

    for (int i = 0; i < 3; i++)
        board->port(kPort).inject(sim::FrameBuilder().src(0x020000000011ull).build());
    ASSERT_EQ(board->chip().mibGet("RXBROADCASTPKT", kPort), 3u);
    ASSERT_EQ(soc_tarn_counter_sync(0), 0);

    // A 14-character name is cut to 12; the first display shows the value
    // as its change.
    std::string out = show(bit, shown);
    std::string name = "RXBROADCASTP." + port_name(kPort);
    size_t at = out.find(name);
    ASSERT_NE(at, std::string::npos) << out;
    std::string line = out.substr(at, out.find('\n', at) - at);
    EXPECT_EQ(line.back(), '3') << line;
    EXPECT_TRUE(has(line, "+3")) << line;
    EXPECT_FALSE(has(out, "NOTE")) << out;
    EXPECT_EQ(show(bit, shown), "");  // nothing changed since

    // Unchanged counters on request, in hexadecimal.
    out = show(bit, COUNTER_SHOW_SAME | COUNTER_SHOW_NZ | COUNTER_SHOW_HEX);
    EXPECT_TRUE(has(out, ": 0x0000000000000003 +0x0000000000000000 0x")) << out;

    // Forgetting the saved values shows the totals again.
    cval_set_pbmp(0, bit, 0);
    EXPECT_TRUE(has(show(bit, shown), name)) << show(bit, shown);

    // A port outside the collection is named in the note.
    out = show(bit | 1ull << 5, shown);
    EXPECT_TRUE(has(out, "NOTE: counter collection is not active for ports 0x0000000000000020\n"))
        << out;

    // sync saves the current values; off and Interval=0 stop the collector.
    board->port(kPort).inject(sim::FrameBuilder().src(0x020000000011ull).build());
    ASSERT_EQ(soc_tarn_counter_sync(0), 0);
    EXPECT_EQ(run("CounTeR sync PortBitMap=" + port_name(kPort)), "");
    EXPECT_EQ(interval(), 1000000);
    EXPECT_EQ(show(bit, shown), "");
    run("CounTeR off");
    EXPECT_EQ(interval(), 0);
    EXPECT_EQ(show(bit, shown), "NOTE: counter collection is not running\n");
    run("CounTeR Interval=500000");
    EXPECT_EQ(interval(), 500000);
    run("CounTeR Interval=0");
    EXPECT_EQ(interval(), 0);
}

TEST_F(diag_counter, BadOptionsChangeNothing) {
    run("CounTeR Interval=1000000 PortBitMap=all");
    EXPECT_EQ(run("CounTeR bogus", -1), "CounTeR: Error: Unknown option: bogus\n");
    EXPECT_EQ(run("CounTeR off extra", -1), "CounTeR: Error: Unknown option: extra\n");
    EXPECT_TRUE(
        has(run("CounTeR PortBitMap=xyz", -1), "PortBitMap=xyz refused: not a port bitmap"));
    EXPECT_EQ(interval(), 1000000);
}

}  // namespace
