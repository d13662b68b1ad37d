// Every board that --board offers starts to the monitor prompt, stores its
// settings and loads them again at the next start, and passes frames between
// its first and its last front-panel port. Needs root (CAP_NET_ADMIN),
// /dev/net/tun, ip and ping; skips without them.
#include <chrono>
#include <gtest/gtest.h>

#include <string>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

namespace {

using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::Switch;

class switchfw_boards : public testing::TestWithParam<int> {};

TEST_P(switchfw_boards, StartsLoadsItsSettingsAndForwardsBetweenFirstAndLastPort) {
    if (!system_fixture::can_make_namespaces())
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip and ping";
    const int ports = GetParam();
    const std::string board = std::to_string(ports);
    std::string seen;
    {
        // The first start finds an empty flash and stores the factory settings.
        Switch sw(test_workdir::path(), {"--board", board});
        ASSERT_TRUE(sw.run("", "DXP.0> ", &seen, 60)) << seen;
        EXPECT_NE(seen.find("Loading factory defaults"), std::string::npos) << seen;
    }

    int id = system_fixture::own_id();
    std::string tap_first = "swba" + std::to_string(id), tap_last = "swbb" + std::to_string(id);
    std::string net;
    Netns ns;
    ASSERT_TRUE(ns.make_free("10.198.", id,
                             {"swbnsa" + std::to_string(id), "swbnsb" + std::to_string(id)}, &net));

    Switch sw(test_workdir::path(),
              {"--board", board, "--tap", "1=" + tap_first, "--tap", board + "=" + tap_last});
    ASSERT_TRUE(sw.run("", "DXP.0> ", &seen, 60)) << seen;
    EXPECT_EQ(seen.find("Loading factory defaults"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("assertion"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("spanning-tree forwarding"), std::string::npos) << seen;
    EXPECT_NE(seen.find("eth1: IP 192.168.1.1"), std::string::npos) << seen;
    // Every manager starts; the 26-port board's says what its chip lacks.
    EXPECT_EQ(seen.find("() failed"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("no field processor") != std::string::npos, ports == 26) << seen;
    EXPECT_EQ(seen.find("Auto VoIP cannot run on it") != std::string::npos, ports == 26) << seen;
    EXPECT_EQ(seen.find("[ERROR] AUTOVOIP"), std::string::npos) << seen;
    // The CPU port's link stays forced up by the management-port set-up.
    ASSERT_TRUE(sw.run(ports == 26 ? "Getreg STS_OVERRIDE_P24" : "Getreg STS_OVERRIDE_IMP",
                       "DXP.0> ", &seen));
    EXPECT_NE(seen.find("MII_SW_OR=1"), std::string::npos) << seen;
    // Start-up with stored settings leaves every port forwarding.
    ASSERT_TRUE(sw.run("stg stp 1", "DXP.0> ", &seen)) << seen;
    EXPECT_NE(seen.find("Forward: cpu,fe,ge"), std::string::npos) << seen;
    for (const char *state : {"Disable:", "Block:", "LIsten:", "LEarn:"})
        EXPECT_EQ(seen.find(state), std::string::npos) << seen;

    ASSERT_TRUE(system_fixture::Netns::attach(tap_first, ns.spaces[0], net + "1/24"));
    ASSERT_TRUE(system_fixture::Netns::attach(tap_last, ns.spaces[1], net + "2/24"));
    std::string ping = "ip netns exec " + ns.spaces[0] + " ping -c 1 -W 1 " + net + "2";
    bool reached = false;
    for (int i = 0; i < 10 && !reached; i++)
        reached = sh(ping) == 0;
    EXPECT_TRUE(reached) << "no ping between ports 1 and " << ports;
    // The address table holds the CPU's own address and the last port's
    // station on its port (user port N is logical port N on these boards).
    const std::string mac = system_fixture::mac_of(ns.spaces[1], tap_last);
    ASSERT_EQ(mac.size(), 17u);
    // "l2 show" reads the L2 shadow, which takes the station up on its pass.
    const std::string learned = "mac=" + mac + " vlan=1 modid=0 port=" + board + "/";
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         std::chrono::steady_clock::now() < end && seen.find(learned) == std::string::npos;)
        ASSERT_TRUE(sw.run("l2 show", "DXP.0> ", &seen)) << seen;
    EXPECT_NE(seen.find(learned), std::string::npos) << seen;
    EXPECT_NE(seen.find("Static"), std::string::npos) << seen;
}

INSTANTIATE_TEST_SUITE_P(every_board, switchfw_boards, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return "Board" + std::to_string(info.param);
                         });

}  // namespace
