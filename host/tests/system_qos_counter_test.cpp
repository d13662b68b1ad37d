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
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"
#include "web_client.h"

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
        return system_fixture::register_number(sw, name);
    }
    void SetUp() override {
        if (!system_fixture::can_make_namespaces() || sh("python3 -V") != 0)
            GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping and python3";
    }
    // Starts the board with ports 1 and 2 on TAPs in namespaces of their
    // own (tag and net keep them apart from the other case's) and waits
    // until port 2 (fe1) carries what port 1 (fe0) floods; counters cleared.
    void start(const std::string &tag, const std::string &net) {
        const std::string board = std::to_string(GetParam());
        const std::string id = tag + board + "x" + std::to_string(system_fixture::own_id());
        tap_[0] = id + "a";
        tap_[1] = id + "b";
        std::string subnet;
        ASSERT_TRUE(ns_.make_free(net, system_fixture::own_id(), {id + "na", id + "nb"}, &subnet));
        sw_.emplace(test_workdir::path(),
                    std::vector<std::string>{"--board", board, "--tap", "1=" + tap_[0], "--tap",
                                             "2=" + tap_[1]});
        std::string seen;
        ASSERT_TRUE(sw_->run("", "DXP.0> ", &seen, 60)) << seen;
        for (int h = 0; h < 2; h++) {
            sh("ip netns exec " + ns_.spaces[h] + " sysctl -w net.ipv6.conf.all.disable_ipv6=1");
            ASSERT_EQ(sh("ip link set " + tap_[h] + " netns " + ns_.spaces[h]), 0);
            ASSERT_EQ(sh("ip -n " + ns_.spaces[h] + " link set " + tap_[h] + " up"), 0);
        }
        bool up = false;
        for (int tries = 0; tries < 20 && !up; tries++) {
            ASSERT_TRUE(system_fixture::send_frames(ns_.spaces[0], tap_[0], tagged_broadcast(0)));
            up = broadcasts_sent(*sw_, "fe1", 1);
        }
        ASSERT_TRUE(up);
        ASSERT_TRUE(sw_->run("clear c", "DXP.0> ", &seen)) << seen;
    }
    // Waits until the port has sent so many broadcasts.
    static bool broadcasts_sent(Switch &sw, const std::string &port, long long count) {
        for (int tries = 0; tries < 50; tries++) {
            if (reg(sw, "TXBROADCASTPKTS." + port) >= count) return true;
            usleep(100 * 1000);
        }
        return false;
    }

    Netns ns_;
    std::optional<Switch> sw_;  // after ns_: it ends first
    std::string tap_[2];
};

TEST_P(system_qos_counter, HighPriorityFramesAreCountedOnTheQueueTheyLeaveFrom) {
    ASSERT_NO_FATAL_FAILURE(start("q", "10.213."));
    Switch &sw = *sw_;
    const std::string(&tap)[2] = tap_;
    const Netns &ns = ns_;
    std::string seen;
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

// Port-based QoS: the port priority form sends port 1's frames to the
// queue of the priority it gives the port, each time it changes. Only the
// boards whose chip has a field processor run the port-based mode.
class system_qos_port_form : public system_qos_counter {};

TEST_P(system_qos_port_form, PortPrioritiesPostedOnTheWebQueueThePortsFrames) {
    ASSERT_NO_FATAL_FAILURE(start("p", "10.214."));
    Switch &sw = *sw_;
    const int web = 80 + sw.port_offset();
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    ASSERT_NE(web_client::post(web, "/qos_enhance_mode.cgi", "mode=1", cookie).find("200 OK"),
              std::string::npos);
    // Port 1's priority, every other port's 0.
    const auto post_port_one = [&](int priority) {
        std::string values = "values=" + std::to_string(priority);
        for (int port = 2; port <= GetParam(); port++)
            values += ",0";
        const std::string answer = web_client::post(web, "/qos_enhance_port.cgi", values, cookie);
        return answer.find("200 OK") != std::string::npos &&
               answer.find("errormsg") == std::string::npos;
    };
    long long sent = 0, counted = 0;
    for (int priority : {7, 0, 6}) {
        ASSERT_TRUE(post_port_one(priority)) << priority;
        // Port 1's frames take the port's priority whatever their tag says:
        // 6 and 7 leave from a queue above the best-effort one, 0 does not.
        ASSERT_TRUE(system_fixture::send_frames(ns_.spaces[0], tap_[0], tagged_broadcast(0), 3));
        sent += 3;
        counted += priority >= 6 ? 3 : 0;
        ASSERT_TRUE(broadcasts_sent(sw, "fe1", sent));
        EXPECT_EQ(reg(sw, "TXQOSPKTS.fe1"), counted) << priority;
    }
}

INSTANTIATE_TEST_SUITE_P(boards_with_cfp, system_qos_port_form, testing::Values(52, 28),
                         [](const testing::TestParamInfo<int> &info) {
                             return "board" + std::to_string(info.param);
                         });

}  // namespace
