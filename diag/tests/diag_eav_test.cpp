// The EthernetAV command on the whole packet path of the chip model.
#include <gtest/gtest.h>

#include "diag_pkt_fixture.h"

namespace {

class eav_cmd : public diag_test::PktMonitor {
  protected:
    std::string cmd(const std::string &line, int expect) {
        console.clear();
        EXPECT_EQ(sh_process_command(0, line.c_str()), expect) << line;
        return console.out();
    }
};

TEST_F(eav_cmd, RefusesBadWordsAndKeepsTheTimeSyncAddress) {
    cmd("EthernetAV", -2);
    cmd("EthernetAV control set 3 1", -2);
    cmd("EthernetAV timesync set 2 100", -2);
    cmd("EthernetAV timesync get 7", -2);
    EXPECT_EQ(cmd("EthernetAV port toggle 1", 0), "");
    EXPECT_EQ(cmd("EthernetAV timestamp nosuchport", -1),
              "ERROR: invalid port string: \"nosuchport\"\n");
    EXPECT_EQ(cmd("EthernetAV mac set 01:80:c2:00:00 1", -1).rfind("ERROR: invalid mac string", 0),
              0u);
    EXPECT_EQ(cmd("EthernetAV control get 2", -1),
              "eav control get : failed with control type = 2\n");
    // A port the chip refuses AV on is not said to have it.
    EXPECT_FALSE(has(cmd("EthernetAV port enable 1", -1), " is AV enabled"));

    // The chip has no time-sync address register: nothing is stored.
    EXPECT_EQ(cmd("EthernetAV mac set 01:80:c2:00:00:0e 35063", -1),
              "Fail to set Time Sync MACDA and EtherType value!\n");
    EXPECT_EQ(cmd("EthernetAV mac get", 0),
              "Get Time Sync MACDA = 00-00-00-00-00-00, EtherType = 0x0000\n");
    std::string out = cmd("EthernetAV status", 0);
    EXPECT_TRUE(has(out, "Ethernet AV Status :\n")) << out;
    EXPECT_TRUE(has(out, " is AV disabled.\n")) << out;
    EXPECT_TRUE(has(out, "Time Sync MACDA = 00-00-00-00-00-00, EtherType = 0x0000\n")) << out;
}

// The receive service started by someone else (the management interface)
// outlives the watcher.
TEST_F(eav_cmd, WatcherLeavesAReceiveServiceItDidNotStart) {
    ASSERT_EQ(dxp_rx_start(0, nullptr), 0);
    ASSERT_TRUE(dxp_rx_active(0));
    cmd("EthernetAV watch start", 0);
    cmd("EthernetAV watch stop", 0);
    EXPECT_TRUE(dxp_rx_active(0));
    dxp_rx_stop(0, nullptr);
}

TEST_F(eav_cmd, TestFrameLeavesTheOnePortTaggedWithPriorityFive) {
    cmd(std::string("EthernetAV tx ") + SOC_CONTROL(0)->port_name[2] + " 100", 0);
    auto sent = board->port(2).waitSent(1, std::chrono::seconds(5));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(board->port(1).sent().empty());
    EXPECT_TRUE(sent[0].tagged);
    EXPECT_EQ(sent[0].vid, 100);
    EXPECT_EQ(sent[0].pri, 5);
    const std::vector<uint8_t> &f = sent[0].bytes;
    EXPECT_EQ(f[0] | f[5], 0);  // no time-sync address set on this chip
    EXPECT_EQ(f[12] << 8 | f[13], 0x8100);
}

}  // namespace
