// Link scan across the monitor's unit commands: a detach stops it quietly,
// attach and init bring it back, and a re-init that takes ports from the
// unit leaves it scanning the ports that remain. Needs root (CAP_NET_ADMIN),
// /dev/net/tun, ip and ping; skips without them.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

namespace {

using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::Switch;

// What the switch prints within a second.
std::string quiet_second(Switch &sw) {
    std::string seen;
    sw.run("", "\x01never", &seen, 1);
    return seen;
}

TEST(switchfw_linkscan, DetachAttachAndShrinkingReinitKeepLinkScanSound) {
    if (!system_fixture::can_make_namespaces())
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip and ping";
    int id = system_fixture::own_id();
    const std::string n = std::to_string(id), tap = "swla" + n;
    std::string net;
    Netns ns;
    ASSERT_TRUE(ns.make_free("10.195.", id, {"swlns" + n}, &net));

    Switch sw(test_workdir::path(), {"--board", "26", "--tap", "1=" + tap});
    std::string seen;
    ASSERT_TRUE(sw.run("", "DXP.0> ", &seen, 60)) << seen;

    ASSERT_TRUE(sw.run("DETach", "DXP> ", &seen)) << seen;
    seen = quiet_second(sw);
    EXPECT_EQ(seen.find("Failed to recover link status"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("attach 0", "DXP.0> ", &seen)) << seen;
    ASSERT_TRUE(sw.run("init", "DXP.0> ", &seen)) << seen;
    ASSERT_TRUE(sw.run("init dxp", "DXP.0> ", &seen)) << seen;
    ASSERT_TRUE(sw.run("linkscan", "DXP.0> ", &seen)) << seen;
    EXPECT_NE(seen.find("Linkscan enabled"), std::string::npos) << seen;
    seen = quiet_second(sw);
    EXPECT_EQ(seen.find("Failed"), std::string::npos) << seen;

    // Ports 8-23 leave the unit.
    ASSERT_TRUE(sw.run("config add dxp7110=1", "DXP.0> ", &seen)) << seen;
    ASSERT_TRUE(sw.run("init soc", "DXP.0> ", &seen)) << seen;
    seen += quiet_second(sw);
    EXPECT_EQ(seen.find("Assertion failed"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("linkscan", "DXP.0> ", &seen)) << seen;
    EXPECT_NE(seen.find("Linkscan enabled"), std::string::npos) << seen;
    EXPECT_NE(seen.find("0x00000000060000ff"), std::string::npos) << seen;

    // The scan still follows the remaining ports: fe0's link comes up.
    ASSERT_TRUE(system_fixture::Netns::attach(tap, ns.spaces[0], net + "1/24"));
    bool up = false;
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
         !up && std::chrono::steady_clock::now() < end;) {
        ASSERT_TRUE(sw.run("ps fe0", "DXP.0> ", &seen)) << seen;
        up = seen.find(" up ") != std::string::npos;
        if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_TRUE(up) << seen;
}

// A cable test stops each port's scan and gives it back as it was:
// hardware scanning stays hardware, a port not scanned stays so.
TEST(switchfw_linkscan, ACableTestGivesEachPortItsScanModeBack) {
    for (const char *board : {"52", "28", "26"}) {
        Switch sw(test_workdir::path(), {"--board", board});
        std::string seen;
        ASSERT_TRUE(sw.run("", "DXP.0> ", &seen, 60)) << seen;
        EXPECT_EQ(sw.output("linkscan SwPortBitMap=fe0-fe2 HwPortBitMap=fe3"), "");
        const std::string before = sw.output("linkscan");
        ASSERT_NE(before.find("Hardware Port BitMap 0x0000000000000008: fe3"), std::string::npos)
            << board << "\n"
            << before;
        const std::string tested = sw.output("cablediag fe1-fe4");
        EXPECT_NE(tested.find("port fe4: cable"), std::string::npos) << board << "\n" << tested;
        EXPECT_EQ(sw.output("linkscan"), before) << board;
    }
}

}  // namespace
