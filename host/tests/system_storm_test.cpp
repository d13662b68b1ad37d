// Storm control in the running switch on the 26-port board: a broadcast
// flood passes whole until the monitor's "rate" command limits broadcasts,
// and is then cut to what the storm bucket lets through. Needs root
// (CAP_NET_ADMIN), /dev/net/tun, ip, ping and python3; skips without them.
#include <gtest/gtest.h>

#include <string>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

namespace {

using system_fixture::FrameWatch;
using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::Switch;

constexpr int kFlood = 100;

// Broadcast frames of 1000 bytes with a local EtherType, sent from one
// namespace; the number the other one receives. A unicast frame to an
// unknown address (which broadcast storm control leaves alone) follows the
// flood and ends the watch, so a busy host slow to start the sender cuts
// nothing short.
int flood_through(const Netns &ns, const std::string &from, const std::string &to) {
    const std::string payload =
        "020000000001"
        "88b5" +
        std::string(986 * 2, 'a');
    const std::string frame = "ffffffffffff" + payload, last = "020000000099" + payload;
    FrameWatch watch(ns.spaces[1], to, 120, 3, 0, last.substr(0, 28));
    if (!watch.ready()) return -1;
    if (!system_fixture::send_frames(ns.spaces[0], from, frame, kFlood, 500) ||
        !system_fixture::send_frames(ns.spaces[0], from, last, 1, 500))
        return -1;
    int seen = 0;
    for (const std::string &f : watch.frames())
        seen += f.starts_with(frame.substr(0, 28));
    return seen;
}

TEST(switchfw_storm, BroadcastFloodIsCutOnTheTwentySixPortBoard) {
    if (!system_fixture::can_make_namespaces() || sh("python3 --version") != 0)
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping and python3";
    int id = system_fixture::own_id();
    const std::string n = std::to_string(id);
    std::string net;
    const std::string tap_a = "swsa" + n, tap_b = "swsb" + n;
    Netns ns;
    ASSERT_TRUE(ns.make_free("10.196.", id, {"swsnsa" + n, "swsnsb" + n}, &net));

    Switch sw(test_workdir::path(),
              {"--board", "26", "--tap", "1=" + tap_a, "--tap", "2=" + tap_b});
    std::string seen;
    ASSERT_TRUE(sw.run("", "DXP.0> ", &seen, 60)) << seen;
    ASSERT_TRUE(system_fixture::Netns::attach(tap_a, ns.spaces[0], net + "1/24"));
    ASSERT_TRUE(system_fixture::Netns::attach(tap_b, ns.spaces[1], net + "2/24"));
    ASSERT_TRUE(sw.run("ps fe0-fe1", "DXP.0> ", &seen));

    EXPECT_GE(flood_through(ns, tap_a, tap_b), kFlood * 9 / 10);

    ASSERT_TRUE(sw.run("rate Limit=64 Bcast=true", "DXP.0> ", &seen));
    EXPECT_EQ(seen.find("ERROR"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("rate", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("Bcast = TRUE"), std::string::npos) << seen;
    int limited = flood_through(ns, tap_a, tap_b);
    EXPECT_GE(limited, 1);
    EXPECT_LE(limited, kFlood / 4);
}

}  // namespace
