// The packet watcher and the receive commands over the whole packet path:
// frames injected at a front-panel port reach them through the switch and
// the CPU port.
#include <gtest/gtest.h>

#include <string>

#include "diag_pkt.h"
#include "diag_pkt_fixture.h"

namespace {

using diag_test::PktMonitor;

constexpr sim::MacAddr kStation = 0x00aabbccdd01ull;

class pkt_rx : public PktMonitor {
  protected:
    void SetUp() override {
        PktMonitor::SetUp();
        run({"PacketWatcher mode rx quiet", "RXCfg 1 CHAINS=0 PPS=0 GPPS=0"});
    }
    void TearDown() override {
        run({"PacketWatcher stop"});
        PktMonitor::TearDown();
    }
    // A service started earlier posts its buffers once a handler is there,
    // at its next pass: frames sent before that are lost.
    bool inject_until(const std::string &text) {
        for (int i = 0; i < 50; i++) {
            inject(1);
            if (shows(text, std::chrono::milliseconds(100))) return true;
        }
        return false;
    }
    void inject(int n) {
        for (int i = 0; i < n; i++)
            board->port(1).inject(sim::FrameBuilder()
                                      .src(kStation + i)
                                      .ipv4(0x0a000001, 0x0a0000ff, 17,
                                            std::vector<uint8_t>(8, static_cast<uint8_t>(i)))
                                      .build());
    }
};

TEST_F(pkt_rx, WatcherCountsLogsDumpsAndReports) {
    std::string out = run({"PacketWatcher log 5 report +decode +count start", "PacketWatcher start",
                           "RXMon start", "PacketWatcher log 2", "PacketWatcher mode soc"});
    EXPECT_TRUE(has(out, "PacketWatcher: Logging(5-packets)\n")) << out;
    EXPECT_TRUE(has(out, "PacketWatcher: Reporting on for: Count DECode\n")) << out;
    EXPECT_TRUE(has(out, "PacketWatcher: WARNING: Already running\n")) << out;
    EXPECT_TRUE(has(out, "rxmon: Error: Cannot start RX with packetwatcher running\n")) << out;
    EXPECT_TRUE(has(out, "Can not change \"log\" while PW-daemon running\n")) << out;
    EXPECT_TRUE(has(out, "Can't set modes while running\n")) << out;

    ASSERT_TRUE(rx_posted(10));
    inject(10);
    ASSERT_TRUE(shows("Packet[10]: ")) << console.out();
    out = console.out();
    EXPECT_TRUE(has(out, "Packet[1]: length ")) << out;
    EXPECT_TRUE(has(out, "  Ethernet: dst<ff:ff:ff:ff:ff:ff> src<00:aa:bb:cc:dd:01> ")) << out;
    EXPECT_TRUE(has(out, "  IP: V(4) src<10.0.0.1> dst<10.0.0.255> ")) << out;

    out = run({"PacketWatcher count dump -3", "PacketWatcher dump options -decode -count",
               "PacketWatcher dump 1"});
    EXPECT_TRUE(has(out, "PacketWatcher: Received 10 packets [(")) << out;
    EXPECT_TRUE(has(out, "last 5 packet(s) logged\n")) << out;
    auto first = out.find("Packet[8]: ");
    EXPECT_NE(first, std::string::npos) << out;
    EXPECT_TRUE(has(out, "Packet[10]: ")) << out;
    EXPECT_FALSE(has(out.substr(0, first), "Packet[7]: ")) << out;
    EXPECT_TRUE(has(out, "PacketWatcher: Dump options on for: Raw\n")) << out;
    EXPECT_TRUE(has(out, "Packet[6]: length")) << out;  // the oldest one kept
    EXPECT_TRUE(has(out, "  data[0000]: ff ff ff ff ff ff 00 aa bb cc dd 06 ")) << out;

    out = run(
        {"PacketWatcher stop", "PacketWatcher stop", "PacketWatcher dump", "PacketWatcher log 2"});
    EXPECT_TRUE(has(out, "PacketWatcher: WARNING: Not running\n")) << out;
    EXPECT_TRUE(has(out, "pw_dump_log[0]: Warning: no packets logged or selected to dump\n"))
        << out;
    EXPECT_TRUE(has(out, "PacketWatcher: Logging(2-packets)\n")) << out;
    out = run({"PacketWatcher"});
    EXPECT_TRUE(has(out,
                    "PacketWatcher: Status: Not Running. Mode RX. Buffering up to 2 "
                    "packets.\nRate limiting is off.\n"))
        << out;
}

TEST_F(pkt_rx, WatcherRefusesBadWords) {
    std::string out =
        run({"PacketWatcher bogus", "PacketWatcher log x", "PacketWatcher dump 1x",
             "PacketWatcher interval -1", "PacketWatcher mode bogus", "PacketWatcher mode",
             "PacketWatcher mode pmux start", "PacketWatcher mode rx"});
    EXPECT_TRUE(has(out, "PacketWatcher: What is bogus?\nUsage (PacketWatcher)")) << out;
    EXPECT_TRUE(has(out, "PacketWatcher: Invalid log count \"x\"\n")) << out;
    EXPECT_TRUE(has(out, "PacketWatcher: Invalid count \"1x\"\n")) << out;
    EXPECT_TRUE(has(out, "PacketWatcher: Invalid interval: -1\n")) << out;
    EXPECT_TRUE(has(out, "Unknown mode: bogus\n")) << out;
    EXPECT_TRUE(has(out, "Current mode is RX\n")) << out;
    EXPECT_TRUE(has(out, "PacketWatcher: Error: Unknown pkt watcher mode\n")) << out;
    EXPECT_FALSE(pw_running(0));
}

TEST_F(pkt_rx, WatcherInSocModeAndBesideARunningService) {
    std::string out =
        run({"PacketWatcher mode soc report +count +channel start", "PacketWatcher channel 1"});
    EXPECT_TRUE(has(out, "PacketWatcher: Unable to configure DMA channels while running\n")) << out;
    inject(3);  // a burst: each frame needs a buffer of its own
    ASSERT_TRUE(shows("Packet[3]-chn0: length 68.\n")) << console.out();
    out = run({"PacketWatcher stop mode rx", "RXMon init", "PacketWatcher mode soc start"});
    EXPECT_TRUE(has(out, "dxpPW.0: Error: RX is running; SOC mode needs the DMA to itself\n"))
        << out;

    // The DMA ring the watcher used goes back as the service expects it:
    // the service starts again and receives.
    out = run({"RXMon stop", "PacketWatcher mode soc start"});
    inject(1);
    ASSERT_TRUE(shows("Packet[1]-chn0: length 68.\n")) << console.out();
    out += run({"PacketWatcher stop mode rx", "RXMon init", "RXMon"});
    EXPECT_TRUE(has(out, "Active bitmap for RX is 1.\n")) << out;
    EXPECT_FALSE(has(console.out(), "Assertion")) << console.out();
    run({"RXMon start"});
    ASSERT_TRUE(inject_until("RX packet ")) << console.out();
    run({"RXMon stop", "RXMon init"});

    // A service someone else started stays running after the watcher stops.
    out = run({"PacketWatcher mode rx start"});
    ASSERT_TRUE(inject_until("Packet[")) << console.out();
    out = run({"PacketWatcher stop", "RXMon"});
    EXPECT_TRUE(has(out, "Active bitmap for RX is 1.\n")) << out;
}

TEST_F(pkt_rx, ReceiveMonitorDumpsFramesUntilStopped) {
    std::string out = run({"RXMon start", "RXMon", "RXMon init", "RXMon show", "RXMon bogus"});
    EXPECT_TRUE(has(out, "Active bitmap for RX is 1.\n")) << out;
    EXPECT_TRUE(has(out, "RX is already running\n")) << out;
    EXPECT_TRUE(has(out, "RXMon: ERROR: cannot show in non-CARVOLIX_DEBUG compilation\n")) << out;
    EXPECT_TRUE(has(out, "Usage (RXMon)")) << out;
    ASSERT_TRUE(rx_posted(1));
    inject(1);
    ASSERT_TRUE(shows("Data: data[0000]: ff ff ff ff ff ff 00 aa bb cc dd 01 ")) << console.out();
    out = console.out();
    EXPECT_TRUE(has(out, "RX packet 1: unit=0 len=")) << out;
    EXPECT_TRUE(has(out, "rx_port=1 ")) << out;
    out = run({"RXMon stop", "RXMon stop", "RXMon"});
    EXPECT_TRUE(has(out, "RXMon: dxp_rx_unregister failed: ")) << out;
    EXPECT_TRUE(has(out, "Active bitmap for RX is 0.\n")) << out;
    EXPECT_FALSE(dxp_rx_active(0));

    // A service RXMon did not start keeps running through its stop.
    ASSERT_EQ(dxp_rx_start(0, nullptr), 0);
    out = run({"RXMon start", "RXMon stop", "RXMon"});
    EXPECT_TRUE(has(out, "Active bitmap for RX is 1.\n")) << out;
    ASSERT_EQ(dxp_rx_stop(0, nullptr), 0);

    // Started again, the service counts as running and dumps frames again.
    out = run({"RXMon start", "RXMon init"});
    EXPECT_TRUE(has(out, "RX is already running\n")) << out;
    EXPECT_TRUE(dxp_rx_active(0));
    ASSERT_TRUE(inject_until("RX packet 1: unit=0 ")) << console.out();
}

TEST_F(pkt_rx, ReceiveConfigurationAndInit) {
    std::string out = run({"RXCfg 4", "RXCfg CHAINS=2", "RXCfg 1 CHAINS=2 PPS=50 GPPS=100",
                           "RXCfg PKTSIZE=0", "RXCfg", "RXInit", "RXInit 0"});
    EXPECT_TRUE(has(out, "Error: Bad channel 4\n")) << out;
    EXPECT_TRUE(has(out, "RXCfg: Error: Invalid option or malformed expression: CHAINS=2\n"))
        << out;
    EXPECT_TRUE(has(out, "RXCfg: Error: Values must be positive\n")) << out;
    EXPECT_TRUE(has(out,
                    "Current RX configuration:\n    Pkt Size 2048. Pkts/chain 1. Global PPS "
                    "100. Burst 1\n    Channel 0:  Chains 63. PPS 0.\n    Channel 1:  "
                    "Chains 2. PPS 50.\n"))
        << out;
    EXPECT_TRUE(has(out, "RXINIT requires a unit number\nUsage (RXInit)")) << out;
    EXPECT_FALSE(has(out, "ERROR:  dxp_rx_init")) << out;
}

}  // namespace
