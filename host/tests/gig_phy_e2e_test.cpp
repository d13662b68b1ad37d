// The gigabit PHYs an engineer can fit on the simulated board: cable tests of
// a copper/fibre PHY from the monitor and the web page over cables with a
// known length and fault (a partner at its end or not), and a dual-media
// port that moves to fibre when the fibre signal appears.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

using system_fixture::sh_out;
using system_fixture::Switch;

std::vector<std::string> with_board(std::vector<std::string> args) {
    args.insert(args.end(), {"--board", "26"});
    return args;
}

TEST(gig_phy_e2e, CableTestsOfA640xPortFromTheMonitorAndTheWeb) {
    Switch sw(test_workdir::path(), with_board({"--gig-phy", "640x", "--cable", "25=40", "--cable",
                                                "26=30/B=short@12", "--cable", "4=30/A=open@10"}));
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    std::string seen;
    // Echo analysis (the default), then the PHY's built-in test.
    ASSERT_TRUE(sw.run("cablediag ge0", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("port ge0: cable Ok (4 pairs"), std::string::npos) << seen;
    EXPECT_NE(seen.find("pair D Ok, length 4"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("config add cable_diag_hw=1", "DXP.0> "));
    ASSERT_TRUE(sw.run("cablediag ge0", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("pair A Ok, length 40 metres"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("cablediag ge1", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("port ge1: cable Open/Short"), std::string::npos) << seen;
    EXPECT_NE(seen.find("pair B Open/Short, length 12 metres"), std::string::npos) << seen;
    EXPECT_NE(seen.find("pair A Ok, length 30 metres"), std::string::npos) << seen;
    // A faulted pair keeps the link down, partner or not, so the test finds it.
    ASSERT_TRUE(sw.run("cablediag fe3", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("port fe3: cable Open (2 pairs)"), std::string::npos) << seen;
    EXPECT_NE(seen.find("pair A Open, length 10 metres"), std::string::npos) << seen;

    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    const std::string page = web_client::post(web, "/cable.cgi", "port=25", cookie);
    EXPECT_NE(page.find("Ok, length 40 meters"), std::string::npos) << page;
}

TEST(gig_phy_e2e, A6401sPortMovesToFibreWhenItsSignalAppears) {
    Switch sw(test_workdir::path(),
              with_board({"--gig-phy", "6401s", "--cable", "25=10", "--fiber", "25@6"}));
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    std::string seen;
    ASSERT_TRUE(sw.run("combo ge0 watch on", "Medium change watch is ON"));
    ASSERT_TRUE(sw.run("", "Active medium switched to Fiber", &seen, 30)) << seen;
    ASSERT_TRUE(sw.run("combo ge0", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("Fiber medium (active)"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("ps ge0", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("up      1G FD"), std::string::npos) << seen;
}

TEST(gig_phy_e2e, BadChoicesEndTheProgramWithTheReason) {
    const std::string run = std::string(SWITCHFW_PATH) + " --flash f.bin --fs fs --exit-on-eof ";
    std::string out = sh_out(run + "--gig-phy fibre </dev/null 2>&1; echo rc=$?");
    EXPECT_NE(out.find("--gig-phy must be board, serdes, copper, 640x or 6401s"), std::string::npos)
        << out;
    out = sh_out(run + "--board 26 --cable 25=40/E=open@3 </dev/null 2>&1; echo rc=$?");
    EXPECT_NE(out.find("a pair fault is PAIR=FAULT@METRES"), std::string::npos) << out;
    EXPECT_NE(out.find("rc=2"), std::string::npos) << out;
    out = sh_out(run + "--board 26 --fiber 3 </dev/null 2>&1; echo rc=$?");
    EXPECT_NE(out.find("port 3 has no fibre side"), std::string::npos) << out;
}

}  // namespace
