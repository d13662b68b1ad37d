// The loopback self-tests (49 and 39) through TestRun on the whole packet
// path of the chip model: what each check reports when the model spoils a
// frame or nothing returns, and the switch as the done leaves it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../src/lb_engine.h"
#include "diag_pkt_fixture.h"
#include "diag_test.h"
#include "port_reserve.h"
#include "sal_config.h"

namespace {

using diag_test::PktMonitor;

const dxp_mac_t kTestDst = {0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb};

class loopback : public PktMonitor {
  protected:
    void SetUp() override {
        PktMonitor::SetUp();
        test_loopback_register();
        test_options = 0;
        run({"TestClear *"});
        // Lost frames are reported after one second, not five.
        sal_config_set("diag_lb_packet_timeout", "1");
    }
    void TearDown() override {
        sal_config_set("diag_lb_packet_timeout", nullptr);
        PktMonitor::TearDown();
    }
    test_t *test49() { return test_find("49"); }
};

TEST_F(loopback, SequenceMiscompareReportsBothValuesAndSkipsThePayload) {
    // A byte of the first frame's sequence number (the unit's runs number
    // their frames on from where the last one stopped).
    board->fabric().corruptFrame(1, 18);
    std::string out =
        run({"TestRun 49 PortBitMap=fe1 Count=1 LengthEnd=72 COSEnd=0 "
             "PktsPerTrialEnd=1"});
    const size_t at = out.find("\tExpected 0x");
    ASSERT_NE(at, std::string::npos) << out;
    const uint32_t sent = static_cast<uint32_t>(std::stoul(out.substr(at + 12, 8), nullptr, 16));
    char line[96];
    std::snprintf(line, sizeof line,
                  "ERROR: Sequence # miscompare: offset 0x10\n\tExpected 0x%08x, Received "
                  "0x%08x\n",
                  sent, sent ^ 0xff00u);
    EXPECT_TRUE(has(out, line)) << out;
    EXPECT_FALSE(has(out, "Payload miscompare")) << out;
    EXPECT_TRUE(has(out, "RX packet: len=72\n")) << out;
    EXPECT_EQ(test49()->t_fail, 1);

    // A payload byte: its offset in the frame.
    board->fabric().corruptFrame(1, 40);
    out = run({"TestRun 49"});
    EXPECT_TRUE(has(out, "ERROR: Payload miscompare: offset 0x28\n")) << out;
    EXPECT_EQ(test49()->t_fail, 2);

    // A value the parser refuses is said once, in its own line.
    out = run({"TestRun 49 Count=x"});
    EXPECT_TRUE(has(out, "TestRun: Error: Count=x refused")) << out;
    EXPECT_FALSE(has(out, "Invalid option")) << out;
}

// A frame the port's packet buffer had no room for is said where it was
// dropped, and the trial or the snake's loop runs again: the healthy port
// passes, in both tests.
TEST_F(loopback, AFrameDroppedWhereItIsCountedIsSaidAndSentAgain) {
    board->fabric().dropFrame(1);
    std::string out =
        run({"TestRun 49 PortBitMap=fe1 Count=1 LengthEnd=72 COSEnd=0 PktsPerTrialEnd=1"});
    EXPECT_TRUE(has(out, "1 frame dropped at fe1 on the way in: buffer full\n")) << out;
    EXPECT_FALSE(has(out, "TEST ERROR")) << out;
    EXPECT_EQ(test49()->t_success, 1);

    board->fabric().dropFrame(2);
    out = run({"TestRun 39 PortBitMap=fe1-fe3 Count=1 Duration=1 LoopbackMode=PHY"});
    EXPECT_TRUE(has(out, "TX packet 0 did not return to CPU\n")) << out;
    EXPECT_TRUE(has(out, "1 frame dropped at fe2 on the way in: buffer full\n")) << out;
    EXPECT_FALSE(has(out, "TEST ERROR")) << out;
    EXPECT_EQ(test_find("39")->t_success, 1);
}

TEST_F(loopback, FramesThatNeverReturnTimeOutAndEndThePortLoop) {
    // External loopback with no cable: the frames leave and are gone.
    std::string out =
        run({"TestRun 49 PortBitMap=fe1-fe2 Count=1 LengthEnd=72 COSEnd=0 "
             "PktsPerTrialEnd=1 LoopbackMode=EXTernal"});
    EXPECT_TRUE(has(out,
                    "Time-out waiting for completion Tx(fe1) Rx(fe1)\n"
                    "Receive count is 0; expecting 1 pkts.\n"
                    "Frames missing, by sequence number: 0x"))
        << out;
    EXPECT_TRUE(has(out, "\n0 foreign frames arrived meanwhile\n")) << out;
    // Nothing the CPU port dropped: the port is named.
    EXPECT_FALSE(has(out, "overrun")) << out;
    EXPECT_TRUE(has(out, "See error description\n\tPort TX(fe1) RX(fe1)")) << out;
    EXPECT_FALSE(has(out, "Tx(fe2)")) << out;
    EXPECT_EQ(test49()->t_fail, 1);
}

// A returned frame's sequence number places it in its trial, or nowhere:
// behind the trial's first (an earlier trial's or run's frame coming late)
// or past its last (spoilt), across the counter's wrap too.
TEST(loopback_sequence, AFrameIsPlacedInItsTrialByItsSequenceNumber) {
    EXPECT_EQ(lbu_seq_index(100, 16, 100), 0);
    EXPECT_EQ(lbu_seq_index(100, 16, 115), 15);
    EXPECT_EQ(lbu_seq_index(100, 16, 116), -1);
    EXPECT_EQ(lbu_seq_index(100, 16, 99), -1);
    EXPECT_EQ(lbu_seq_index(0xfffffffe, 4, 1), 3);
    EXPECT_EQ(lbu_seq_index(0xfffffffe, 4, 0xfffffffd), -1);
    EXPECT_EQ(lbu_seq_index(100, 0, 100), -1);
}

// A frame missing from a trial of four (dropped where it is counted) is a
// loss, named by its sequence number: the trial runs again and the port
// passes. Frames of the trial that come back out of order, or a copy of
// one, never read as a gap or a spoilt frame.
TEST_F(loopback, AFrameMissingFromATrialIsALossNotAMiscompare) {
    board->fabric().dropFrame(3);
    const std::string out =
        run({"TestRun 49 PortBitMap=fe1 Count=1 LengthEnd=72 COSEnd=0 PktsPerTrialStart=4 "
             "PktsPerTrialEnd=4 LoopbackMode=PHY"});
    EXPECT_TRUE(has(out, "Frames missing, by sequence number: 0x")) << out;
    EXPECT_TRUE(has(out, "1 frame dropped at fe1 on the way in: buffer full\n")) << out;
    EXPECT_FALSE(has(out, "miscompare")) << out;
    EXPECT_FALSE(has(out, "TEST ERROR")) << out;
    EXPECT_EQ(test49()->t_success, 1);
    // The record keeps what a run set: one frame a trial again.
    run({"TestRun 49 PktsPerTrialStart=1 PktsPerTrialEnd=1"});
}

TEST_F(loopback, TheDoneRestoresPortsAndRemovesTheTestAddresses) {
    int speed_before = 0;
    ASSERT_EQ(dxp_port_speed_get(0, 2, &speed_before), 0);
    std::string out =
        run({"TestRun 49 PortBitMap=fe2 Count=1 LengthEnd=600 COSEnd=0 "
             "PktsPerTrialEnd=16 Speed=10fullduplex DestMacInc=1 LoopbackMode=PHY"});
    EXPECT_EQ(test49()->t_success, 1) << out;
    EXPECT_TRUE(has(out, "recv 34 pkt")) << out;
    int lb = -1, speed = 0;
    ASSERT_EQ(dxp_port_loopback_get(0, 2, &lb), 0);
    EXPECT_EQ(lb, 0);
    ASSERT_EQ(dxp_port_speed_get(0, 2, &speed), 0);
    EXPECT_EQ(speed, speed_before);
    dxp_l2_addr addr{};
    EXPECT_EQ(dxp_l2_addr_get(0, kTestDst, 1, &addr), DXP_E_NOT_FOUND);
    EXPECT_FALSE(dxp_rx_active(0) && has(out, "lbu_done")) << out;

    // The chip's MACs cannot loop back: the init says so and changes nothing.
    out = run({"TestRun 49 LoopbackMode=MAC"});
    EXPECT_TRUE(has(out, "Port fe2: Failed to set MAC loopback: Feature unavailable\n")) << out;
    EXPECT_TRUE(has(out, "Init function for test 49 (PHY Loopback - Mark 2) failed")) << out;
    ASSERT_EQ(dxp_port_loopback_get(0, 2, &lb), 0);
    EXPECT_EQ(lb, 0);
}

// A port's default priority is 0 for the run and comes back; a setting that
// would change the frames is refused by name, and the port is free again.
TEST_F(loopback, FrameSettingsAreNeutralOrRefusedByName) {
    ASSERT_EQ(dxp_port_untagged_priority_set(0, 2, 5), 0);
    std::string out =
        run({"TestRun 49 PortBitMap=fe2 Count=1 LengthEnd=72 COSEnd=0 LoopbackMode=PHY"});
    EXPECT_EQ(test49()->t_success, 1) << out;
    int priority = 0;
    ASSERT_EQ(dxp_port_untagged_priority_get(0, 2, &priority), 0);
    EXPECT_EQ(priority, 5);

    ASSERT_EQ(dxp_port_rate_ingress_set(0, 3, 1000, 100), 0);
    out = run({"TestRun 49 PortBitMap=fe3"});
    EXPECT_TRUE(has(out, "Port fe3: the ingress rate limit changes the test frames")) << out;
    EXPECT_TRUE(has(out, "Init function for test 49 (PHY Loopback - Mark 2) failed")) << out;
    uint32_t rate = 0, burst = 0;
    ASSERT_EQ(dxp_port_rate_ingress_get(0, 3, &rate, &burst), 0);
    EXPECT_NE(rate, 0u);
    EXPECT_FALSE(port_reserved(0, 3));

    // Every test checks the same settings: a trunk, a mirror into or out of
    // a tested port and storm control are named too, and the traffic test
    // refuses as the loopback tests do.
    test_traffic_register();
    run({"TRunk add Id=1 Rtag=1 Pbmp=fe4-fe5", "MIRror Mode=L2 Port=fe6 IngressBitMap=fe7"});
    const struct {
        const char *before, *line, *refusal;
    } cases[] = {
        {"", "TestRun 72 PortBitMap=fe4-fe5 TimeInSeconds=1 CounterPollInterval=1",
         "Port fe4: the membership of trunk 1 changes the test frames"},
        {"", "TestRun 39 PortBitMap=fe5,fe10 Count=1 Duration=1 LoopbackMode=PHY",
         "Port fe5: the membership of trunk 1 changes the test frames"},
        {"", "TestRun 49 PortBitMap=fe6 LoopbackMode=PHY",
         "Port fe6: the mirroring into it changes the test frames"},
        {"", "TestRun 72 PortBitMap=fe7-fe8 TimeInSeconds=1",
         "Port fe7: the mirroring of its frames changes the test frames"},
        {"RATE Limit=500 Bcast=1", "TestRun 72 PortBitMap=fe8-fe9 TimeInSeconds=1",
         "Port fe8: the storm control changes the test frames"},
    };
    for (const auto &c : cases) {
        out = run({c.before, c.line});
        EXPECT_TRUE(has(out, c.refusal)) << c.line << "\n" << out;
        EXPECT_TRUE(has(out, "Init function for test ")) << out;
        EXPECT_FALSE(has(out, "Saving ports") || has(out, "TRAFFIC:")) << out;
    }
    EXPECT_FALSE(port_reserved(0, 4) || port_reserved(0, 6) || port_reserved(0, 8));
}

TEST_F(loopback, SnakeRunsEachPathAndCountsEveryPort) {
    std::string out =
        run({"TestRun 39 PortBitMap=fe1-fe3 Count=3 COSEnd=0 LengthEnd=200 Duration=1 "
             "Interval=1 LoopbackMode=PHY SnakePath=DECreasing"});
    EXPECT_TRUE(has(out, "LB: total 21 pkt over 3 runs\n")) << out;
    EXPECT_TRUE(has(out, "LB: loop 3 of 3: circular test on ports for 1 seconds\n")) << out;
    for (const char *port : {"fe1", "fe2", "fe3"})
        EXPECT_TRUE(has(out, std::string("Port ") + port + " Rx Count = 0x")) << port << out;
    EXPECT_FALSE(has(out, "did not return")) << out;
    EXPECT_EQ(test_find("39")->t_success, 1) << out;

    // Without loopback nothing circulates: every frame is reported missing.
    out = run({"TestRun 39 Count=1 Duration=1 LoopbackMode=EXTernal SnakePath=INCreasing"});
    EXPECT_TRUE(has(out, "Time-out waiting for snake completion\n")) << out;
    EXPECT_TRUE(has(out, "TX packet 0 did not return to CPU\n")) << out;
    EXPECT_TRUE(has(out, "Port fe1 failed to receive packets\n")) << out;
    EXPECT_EQ(test_find("39")->t_fail, 1) << out;
}

TEST_F(loopback, AReceiveServiceThatRanBeforeTheTestRunsAfterIt) {
    std::string out = run({"RXMon start"});
    ASSERT_TRUE(dxp_rx_active(0)) << out;
    out =
        run({"TestRun 49 PortBitMap=fe3 Count=1 LengthEnd=72 COSEnd=0 PktsPerTrialStart=4 "
             "PktsPerTrialEnd=4 LoopbackMode=PHY UntagBitMap=fe3"});
    EXPECT_TRUE(has(out, "recv 4 pkt")) << out;
    // The monitor's dump callout saw none of the test's frames.
    EXPECT_FALSE(has(out, "RX packet 1:")) << out;
    EXPECT_EQ(test49()->t_success, 1) << out;

    // The receive service and its callouts are back for the next frame.
    ASSERT_TRUE(rx_posted(1));
    console.clear();
    board->port(1).inject(sim::FrameBuilder().src(0x02000000000aull).build());
    EXPECT_TRUE(shows("RX packet 1: unit=0 ")) << console.out();
    // The watcher sees the restarted service as running and leaves it so.
    out = run({"PacketWatcher mode rx quiet start", "PacketWatcher stop", "RXMon"});
    EXPECT_TRUE(has(out, "Active bitmap for RX is 1.\n")) << out;
    EXPECT_TRUE(dxp_rx_active(0));
    run({"RXMon stop"});
}

// The watcher in SOC mode owns the receive DMA: a loopback test is refused
// before it changes anything, and runs once the watcher stops.
TEST_F(loopback, APacketWatcherInSocModeKeepsTheTestOut) {
    ASSERT_FALSE(dxp_rx_active(0));
    const std::string test =
        "TestRun 49 PortBitMap=fe3 Count=1 LengthEnd=72 COSEnd=0 "
        "PktsPerTrialStart=1 PktsPerTrialEnd=1 LoopbackMode=PHY";
    std::string out = run({"PacketWatcher mode soc quiet start", test});
    EXPECT_TRUE(has(out, "The packet watcher holds the receive DMA; stop it first\n")) << out;
    EXPECT_FALSE(has(out, "Saving ports")) << out;
    out = run({"PacketWatcher stop mode rx", test});
    EXPECT_TRUE(has(out, "recv 1 pkt")) << out;
    EXPECT_EQ(test49()->t_success, 1) << out;
}

}  // namespace
