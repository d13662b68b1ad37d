// Tagged frames sent through the switch are counted by the QoS transmit
// counters of the port they leave when their priority maps to a queue above
// the best-effort one, as the monitor shows them (getreg and show c), and the
// count follows the queue map and queue count the cos command sets. Needs
// root (CAP_NET_ADMIN), /dev/net/tun, ip, ping and python3; skips without
// them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

namespace {

using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::Switch;

// A broadcast of EtherType 0x88b5 in VLAN 1 with the priority, 64 bytes; it
// leaves untagged as 60 bytes (64 with the FCS).
std::string tagged_broadcast(int pri) {
    char tag[9];
    std::snprintf(tag, sizeof tag, "8100%04x", pri << 13 | 1);
    std::string f = std::string("ffffffffffff0200000a0001") + tag + "88b5";
    f.resize(128, '0');
    return f;
}

class system_qos_counter : public testing::TestWithParam<int> {
  protected:
    // The value of a counter register of one port, as getreg shows it; -1
    // when the monitor shows none.
    static long long reg(Switch &sw, const std::string &name) {
        std::string seen;
        EXPECT_TRUE(sw.run("getreg " + name, "DXP.0> ", &seen)) << seen;
        size_t at = seen.find(name + "[");
        if (at == std::string::npos || (at = seen.find("]=", at)) == std::string::npos) return -1;
        return std::strtoll(seen.c_str() + at + 2, nullptr, 0);
    }
    // Waits until the port has sent so many broadcasts.
    static bool broadcasts_sent(Switch &sw, const std::string &port, long long count) {
        for (int tries = 0; tries < 50; tries++) {
            if (reg(sw, "TXBROADCASTPKTS." + port) >= count) return true;
            usleep(100 * 1000);
        }
        return false;
    }
};

TEST_P(system_qos_counter, HighPriorityFramesAreCountedOnTheQueueTheyLeaveFrom) {
    if (!system_fixture::can_make_namespaces() || sh("python3 -V") != 0)
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping and python3";
    const std::string board = std::to_string(GetParam());
    const std::string id = "q" + board + "x" + std::to_string(system_fixture::own_id());
    const std::string tap[2] = {id + "a", id + "b"};
    Netns ns;
    std::string net;
    ASSERT_TRUE(ns.make_free("10.213.", system_fixture::own_id(), {id + "na", id + "nb"}, &net));
    Switch sw(test_workdir::path(),
              {"--board", board, "--tap", "1=" + tap[0], "--tap", "2=" + tap[1]});
    std::string seen;
    ASSERT_TRUE(sw.run("", "DXP.0> ", &seen, 60)) << seen;
    for (int h = 0; h < 2; h++) {
        sh("ip netns exec " + ns.spaces[h] + " sysctl -w net.ipv6.conf.all.disable_ipv6=1");
        ASSERT_EQ(sh("ip link set " + tap[h] + " netns " + ns.spaces[h]), 0);
        ASSERT_EQ(sh("ip -n " + ns.spaces[h] + " link set " + tap[h] + " up"), 0);
    }
    // Front-panel port 2 (fe1) carries what port 1 (fe0) floods once the
    // links are up.
    bool up = false;
    for (int tries = 0; tries < 20 && !up; tries++) {
        ASSERT_TRUE(system_fixture::send_frames(ns.spaces[0], tap[0], tagged_broadcast(0)));
        up = broadcasts_sent(sw, "fe1", 1);
    }
    ASSERT_TRUE(up);
    ASSERT_TRUE(sw.run("clear c", "DXP.0> ", &seen)) << seen;
    ASSERT_EQ(reg(sw, "TXQOSPKTS.fe1"), 0);

    // Four queues, priorities two by two: 7 goes to queue 3, 0 to queue 0.
    ASSERT_TRUE(system_fixture::send_frames(ns.spaces[0], tap[0], tagged_broadcast(0), 4));
    ASSERT_TRUE(system_fixture::send_frames(ns.spaces[0], tap[0], tagged_broadcast(7), 3));
    ASSERT_TRUE(broadcasts_sent(sw, "fe1", 7));
    EXPECT_EQ(reg(sw, "TXQOSPKTS.fe1"), 3);
    EXPECT_EQ(reg(sw, "TXQOSOCTETS.fe1"), 3 * 64);
    EXPECT_EQ(reg(sw, "TXQOSPKTS.fe0"), 0);
    // The administrator's counter display has them once the counters have
    // been collected.
    bool shown = false;
    for (int tries = 0; tries < 40 && !shown; tries++) {
        ASSERT_TRUE(sw.run("show c TXQOSPKTS.fe1", "DXP.0> ", &seen)) << seen;
        size_t at = seen.find("TXQOSPKTS.fe1");
        shown = at != std::string::npos && seen.find(":", at) != std::string::npos &&
                std::atoll(seen.c_str() + seen.find(":", at) + 1) == 3;
        if (!shown) usleep(250 * 1000);
    }
    EXPECT_TRUE(shown) << seen;

    // Priority 0 mapped to queue 2 is counted too; with one queue nothing is.
    ASSERT_TRUE(sw.run("cos map Pri=0 Queue=2", "DXP.0> ", &seen)) << seen;
    ASSERT_TRUE(system_fixture::send_frames(ns.spaces[0], tap[0], tagged_broadcast(0), 2));
    ASSERT_TRUE(broadcasts_sent(sw, "fe1", 9));
    EXPECT_EQ(reg(sw, "TXQOSPKTS.fe1"), 5);
    ASSERT_TRUE(sw.run("cos config Numcos=1", "DXP.0> ", &seen)) << seen;
    ASSERT_TRUE(system_fixture::send_frames(ns.spaces[0], tap[0], tagged_broadcast(7), 2));
    ASSERT_TRUE(broadcasts_sent(sw, "fe1", 11));
    EXPECT_EQ(reg(sw, "TXQOSPKTS.fe1"), 5);
    EXPECT_EQ(reg(sw, "TXQOSOCTETS.fe1"), 5 * 64);
}

INSTANTIATE_TEST_SUITE_P(boards, system_qos_counter, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return "board" + std::to_string(info.param);
                         });

}  // namespace
