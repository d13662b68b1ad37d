// The counter register tests and the traffic test run through TestRun on the
// whole packet path of the chip model.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "diag_pkt_fixture.h"
#include "diag_test.h"
#include "drv_if.h"
#include "sim/chip.h"

namespace {

using diag_test::PktMonitor;

// A counter page whose counters lose their top bit on every write.
class LossyCounters : public sim::PageHandler {
  public:
    LossyCounters(sim::MibCounters &mib, uint8_t page) : mib_(mib), page_(page) {}
    const char *kind() const override { return "counter"; }
    int width(uint8_t offset) const override {
        const sim::RegInstance *r = mib_.at(address(offset));
        return r != nullptr ? r->width : 0;
    }
    void read(uint8_t offset, uint8_t *buf, int len) override {
        mib_.read(address(offset), buf, len);
    }
    void write(uint8_t offset, const uint8_t *buf, int len) override {
        uint8_t bytes[8] = {};
        std::memcpy(bytes, buf, static_cast<size_t>(len));
        bytes[0] &= 0x7f;  // whichever end holds the top byte
        bytes[len - 1] &= 0x7f;
        mib_.write(address(offset), bytes, len);
    }

  private:
    uint16_t address(uint8_t offset) const { return static_cast<uint16_t>(page_ << 8 | offset); }
    sim::MibCounters &mib_;
    uint8_t page_;
};

class selftest : public PktMonitor {
  protected:
    void SetUp() override {
        PktMonitor::SetUp();
        test_counters_register();
        test_traffic_register();
        test_options = 0;
        run({"TestClear *"});
    }
};

TEST_F(selftest, CounterTestsPassOnTheModelAndCatchALossyCounter) {
    std::string out = run({"TestList all"});
    EXPECT_TRUE(has(out, "   S |  30| Counter widths            |")) << out;
    EXPECT_TRUE(has(out, "   S |  31| Counter read/write        |")) << out;
    EXPECT_TRUE(has(out, "     |  72| Traffic Test              |")) << out;

    // The tested ports are in service: their counters hold counts, which the
    // collector keeps reading throughout the tests.
    const soc_control_t *soc = SOC_CONTROL(0);
    int port = soc->fe.num > 0 ? soc->fe.port[0] : soc->ge.port[0];
    const soc_cmap_t &map = soc->chip_driver->counter_maps[soc->fe.num > 0 ? 0 : 1];
    const drv_if_t *svc = DRV_SERVICES(0);
    for (int i = 0; i < map.num; i++) {
        if (map.counters[i] < 0) continue;
        const auto reg = static_cast<uint32_t>(map.counters[i]);
        uint32_t value[2] = {1000u + static_cast<uint32_t>(i), 0};
        ASSERT_EQ(
            svc->reg_write(0, svc->reg_addr(0, reg, port, 0), value, svc->reg_length_get(0, reg)),
            0);
    }
    ASSERT_EQ(dxp_stat_sync(0), 0);
    auto totals = [&] {
        std::vector<uint64_t> all;
        for (int stat = 0; stat < 64; stat++) {
            uint64_t v = 0;
            all.push_back(dxp_stat_get(0, port, stat, &v) == 0 ? v : ~0ull);
        }
        return all;
    };
    const std::vector<uint64_t> totals_before = totals();
    ASSERT_NE(totals_before[0], 0u);
    std::atomic<bool> testing{true};
    std::thread collector([&] {
        while (testing.load())
            dxp_stat_sync(0);
    });
    out = run({"TestRun 30", "TestRun 31"});
    testing.store(false);
    collector.join();
    EXPECT_EQ(test_find("30")->t_success, 1) << out;
    EXPECT_EQ(test_find("31")->t_success, 1) << out;
    EXPECT_FALSE(has(out, "TEST ERROR")) << out;
    ASSERT_EQ(dxp_stat_sync(0), 0);
    EXPECT_EQ(totals(), totals_before);

    // The first fast-Ethernet port's counters keep one bit less than described.
    const sim::RegInstance *reg = board->chip().mib().find(map.counters[0], port);
    ASSERT_NE(reg, nullptr);
    uint8_t page = static_cast<uint8_t>(reg->address >> 8);
    board->chip().handlePage(page, std::make_unique<LossyCounters>(board->chip().mib(), page));

    out = run({"TestRun 30"});
    EXPECT_EQ(test_find("30")->t_fail, 1) << out;
    EXPECT_TRUE(has(out, "TEST ERROR Counter widths:")) << out;
    EXPECT_TRUE(has(out, std::string(".") + soc->port_name[port] + " width mismatch: regsfile: "))
        << out;
    out = run({"TestRun 31"});
    EXPECT_EQ(test_find("31")->t_fail, 1) << out;
    EXPECT_TRUE(has(out, " miscompare:")) << out;
    EXPECT_TRUE(has(out, "    wrote     0x")) << out;
}

TEST_F(selftest, TrafficPassesBetweenLoopedPortsAndRestoresThem) {
    dxp_vlan_t before = 0;
    ASSERT_EQ(dxp_port_untagged_vlan_get(0, 1, &before), 0);
    std::string out =
        run({"TestRun 72 PortBitMap=0x6 TimeInSeconds=1 CounterPollInterval=1 RunMode=PHY"});
    EXPECT_EQ(test_find("72")->t_success, 1) << out;
    EXPECT_TRUE(has(out, "TRAFFIC: Port pairing: ")) << out;
    EXPECT_TRUE(has(out, "): PASSED\n\tTX packets ")) << out;
    EXPECT_TRUE(has(out, "TEST passed: ")) << out;
    EXPECT_TRUE(has(out, "TRAFFIC: restoring ports: ")) << out;
    dxp_vlan_t after = 0;
    ASSERT_EQ(dxp_port_untagged_vlan_get(0, 1, &after), 0);
    EXPECT_EQ(after, before);
    int lb = -1;
    ASSERT_EQ(dxp_port_loopback_get(0, 1, &lb), 0);
    EXPECT_EQ(lb, 0);

    // Three ports: the third is left out with a warning.
    out = run({"TestRun 72 PortBitMap=0xe TimeInSeconds=1"});
    EXPECT_TRUE(has(out, "WARNING: odd number of ports, will not use port ")) << out;
}

TEST_F(selftest, TrafficWithoutCablesStopsAndFailsTheLoop) {
    // External mode with nothing plugged in: the frames leave and never return.
    std::string out =
        run({"TestRun 72 PortBitMap=0x6 TimeInSeconds=1 CounterPollInterval=1 "
             "RunMode=External"});
    EXPECT_TRUE(has(out, "): FAIL->NO TRAFFIC\n")) << out;
    EXPECT_TRUE(has(out, "ERROR: traffic stopped on ports ")) << out;
    EXPECT_TRUE(has(out, "Exiting test..\n")) << out;
    EXPECT_EQ(test_find("72")->t_fail, 1) << out;
    EXPECT_EQ(test_find("72")->t_success, 0);
    EXPECT_TRUE(has(out, "TRAFFIC: restoring ports: ")) << out;
}

TEST_F(selftest, TrafficRefusesBadParametersWithoutTouchingPorts) {
    std::string out = run({"TestRun 72 Bogus=1"});
    EXPECT_TRUE(has(out, "Invalid option: Bogus")) << out;
    EXPECT_TRUE(has(out, "Init function for test 72 (Traffic Test) failed")) << out;
    out = run({"TestRun 72 CounterPollInterval=0"});
    EXPECT_TRUE(has(out, "Invalid option: CounterPollInterval=0 (at least 1)")) << out;
    EXPECT_FALSE(has(out, "TRAFFIC:")) << out;
    // A run of no time would check nothing and pass: refused as a negative
    // time is, by name, before any port is touched.
    for (const char *seconds : {"0", "-5"}) {
        out = run({std::string("TestRun 72 TimeInSeconds=") + seconds});
        EXPECT_TRUE(has(out, std::string("TestRun: Invalid option: TimeInSeconds=") + seconds +
                                 " (at least 1)\n"))
            << out;
        EXPECT_FALSE(has(out, "TRAFFIC:")) << out;
        EXPECT_FALSE(has(out, "TEST passed")) << out;
    }
    EXPECT_EQ(test_find("72")->t_fail, 4);
    EXPECT_EQ(test_find("72")->t_success, 0);
    // A value the parser refuses is said once, in its own line.
    out = run({"TestRun 72 TimeInSeconds=x"});
    EXPECT_TRUE(has(out, "TestRun: Error: TimeInSeconds=x refused")) << out;
    EXPECT_FALSE(has(out, "Invalid option")) << out;
    // Stored parameters are refused in the name of the command that ran them.
    out = run({"TestParameters 72 \"Bogus=1\"", "TestRun 72", "TestParameters 72"});
    EXPECT_TRUE(has(out, "TestRun: Invalid option: Bogus=1\n")) << out;
}

}  // namespace
