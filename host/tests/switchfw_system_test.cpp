// Two Linux network namespaces ping each other through switchfw's simulated
// switch over TAP devices; the switch learns both addresses on their ports,
// and once the ports sit in different VLANs the ping fails. Needs root
// (CAP_NET_ADMIN), /dev/net/tun, ip and ping; skips without them.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

namespace {

using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::sh_out;
using system_fixture::Switch;

TEST(switchfw_system, NamespacesPingThroughTheSwitchUntilVlansSeparateThem) {
    if (!system_fixture::can_make_namespaces())
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip and ping";
    int id = system_fixture::own_id();
    std::string tap1 = "swfa" + std::to_string(id), tap2 = "swfb" + std::to_string(id);
    std::string net;
    Netns ns;
    ASSERT_TRUE(ns.make_free("10.199.", id,
                             {"swfnsa" + std::to_string(id), "swfnsb" + std::to_string(id)}, &net));
    const std::string &ns_a = ns.spaces[0], &ns_b = ns.spaces[1];

    Switch sw(test_workdir::path(), {"--tap", "1=" + tap1, "--tap", "2=" + tap2});
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    ASSERT_TRUE(Netns::attach(tap1, ns_a, net + "1/24"));
    ASSERT_TRUE(Netns::attach(tap2, ns_b, net + "2/24"));
    std::string ping = "ip netns exec " + ns_a + " ping -c 1 -W 1 " + net + "2";
    bool reached = false;
    for (int i = 0; i < 10 && !reached; i++)
        reached = sh(ping) == 0;
    ASSERT_TRUE(reached) << "no ping through the switch";

    // Both stations learned on their ports (chip ports 0 and 1).
    for (auto [tap, space, port] : {std::tuple{tap1, ns_a, 0}, std::tuple{tap2, ns_b, 1}}) {
        std::string link = sh_out("ip -n " + space + " link show " + tap);
        auto at = link.find("link/ether ");
        ASSERT_NE(at, std::string::npos) << link;
        std::string mac = link.substr(at + 11, 17);
        std::string hex;
        for (char ch : mac)
            if (ch != ':') hex += ch;
        // The firmware's own table accesses share these registers with the
        // console, so a read that raced one of them shows another address:
        // read again.
        std::string seen, want = "ARL_MACADDR=0x" + hex.substr(hex.find_first_not_of('0'));
        for (int tries = 0; tries < 5 && seen.find(want) == std::string::npos; tries++) {
            ASSERT_TRUE(sw.run("Setreg ARLA_MAC 0x" + hex, "DXP.0> "));
            ASSERT_TRUE(sw.run("Setreg ARLA_RWCTL 0x81", "DXP.0> "));
            ASSERT_TRUE(sw.run("Getreg ARLA_ENTRY", "ARL_MACADDR", &seen));
        }
        EXPECT_NE(seen.find(want), std::string::npos) << mac << ": " << seen;
        EXPECT_NE(seen.find("ARL_VALID=1"), std::string::npos) << mac << ": " << seen;
        EXPECT_NE(seen.find("ARL_PID=" + std::to_string(port) + ","), std::string::npos) << seen;
    }

    // Port 2 moves to VLAN 2: the replies no longer reach port 1.
    ASSERT_TRUE(sw.run("DISPatch vcreate 0 2", "DXP.0> "));
    ASSERT_TRUE(sw.run("Setreg DEFAULT_1Q_TAG.fe1 2", "DXP.0> "));
    EXPECT_NE(sh(ping), 0);
    EXPECT_NE(sh(ping), 0);

    // A TAP that disappears takes the port's link down; the switch runs on.
    ASSERT_EQ(sh("ip -n " + ns_b + " link del " + tap2), 0);
    EXPECT_TRUE(sw.run("", "went away"));
    std::string seen;
    EXPECT_TRUE(sw.run("Getreg LNKSTS", "LNK_STS=", &seen));
    EXPECT_NE(seen.find("=0x1000000000001:"), std::string::npos) << seen;  // port 1 down
}

TEST(switchfw_system, BadTapEndsTheProgramWithTheReason) {
    std::string run = std::string(SWITCHFW_PATH) + " --flash f.bin --fs fs --exit-on-eof ";
    std::string out = sh_out(run + "--board 28 --tap 40=swfbad </dev/null 2>&1; echo rc=$?");
    EXPECT_NE(out.find("--tap 40=swfbad: port 40 is not a front-panel port 1-28"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("rc=1"), std::string::npos) << out;
    out = sh_out(run + "--tap swfbad </dev/null 2>&1; echo rc=$?");
    EXPECT_NE(out.find("--tap needs PORT=IFNAME"), std::string::npos) << out;
    EXPECT_NE(out.find("rc=2"), std::string::npos) << out;
}

}  // namespace
