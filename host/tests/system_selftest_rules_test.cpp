// The field processor's rules and a self-test, per board: a rule that drops
// every frame, made before a test or during it, leaves the loopback, snake
// and traffic tests passing on healthy ports (the loopback test, run for as
// long as the checks take, passes trials after them), and stays after
// them; the
// field processor's reset and detach, and a BPDU address, are refused by
// the tested port's name;
// the DoS checks of an untested port stay open during the test; and the
// field processor comes back on the tested ports as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

using system_fixture::Switch;
using system_fixture::test_run_once;
using system_fixture::test_stop_background;

class system_selftest_rules : public testing::TestWithParam<int> {};

// Installs entry `entry` of group 90, dropping every frame of every port.
void drop_everything(Switch &fw, int entry) {
    const std::string id = std::to_string(entry);
    for (const std::string &line : {"fp entry create 90 " + id, "fp action add " + id + " Drop 0 0",
                                    "fp entry install " + id}) {
        const std::string out = fw.output(line);
        ASSERT_NE(out.find("okay"), std::string::npos) << line << "\n" << out;
    }
}

TEST_P(system_selftest_rules, NoRuleCatchesATestsFramesAndTheRulesStay) {
    const int board = GetParam();
    // Board 26's chip has no field processor.
    const bool fp = board != 26;
    const std::string dir = test_workdir::path();
    std::filesystem::remove(dir + "/flash.bin");  // another board's settings
    Switch fw(dir, {"--board", std::to_string(board)});
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    const int web = fw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());

    const std::string enabled = fp ? fw.output("getreg CFP_GLOBAL_CTL") : "";
    if (fp) {
        ASSERT_NE(fw.output("fp group create 0 90").find("okay"), std::string::npos);
        drop_everything(fw, 900);
        web_client::post(web, "/dos.cgi", "checks=111", cookie);
    }
    std::string seen;
    ASSERT_TRUE(
        fw.run("BackGround \"TestRun 49 PortBitMap=fe4-fe5 LoopbackMode=PHY Count=1000000\"",
               "Setting up ARL", &seen, 60))
        << seen;
    const std::string held = "port fe4: port under self-test (PHY Loopback - Mark 2)";
    if (fp) drop_everything(fw, 901);
    for (const char *reset : {"fp init", "fp detach"}) {
        const std::string out = fw.output(reset);
        EXPECT_NE(out.find(fp ? held : "Feature unavailable"), std::string::npos) << reset << "\n"
                                                                                  << out;
    }
    if (fp) {
        // DoS checks are field-processor rules too: an untested port's are
        // taken, a tested port's are refused by its name.
        std::string page = web_client::post(web, "/dos_perport.cgi",
                                            "port=1&checks=011&ping_rate=64&syn_rate=64", cookie);
        EXPECT_EQ(page.find("self-test"), std::string::npos) << page;
        page = web_client::post(web, "/dos_perport.cgi",
                                "port=5&checks=011&ping_rate=64&syn_rate=64", cookie);
        EXPECT_NE(page.find("Port 5: port under self-test (PHY Loopback - Mark 2)"),
                  std::string::npos)
            << page;
    }
    // Its trials still pass after all that; stopped, it counts as failed.
    std::string list = test_stop_background(fw, 49, "LB: xmit");
    EXPECT_NE(list.find("|    1|    1|    0|    1|"), std::string::npos) << list;

    // The snake and the traffic test under the same rules.
    ASSERT_TRUE(fw.run("TestRun 39 PortBitMap=fe4-fe7 LoopbackMode=PHY Count=1 Duration=2",
                       "DXP.0> ", &seen, 120));
    EXPECT_NE(fw.output("TestList 39").find("|    1|    1|    1|    0|"), std::string::npos)
        << seen;
    ASSERT_TRUE(
        fw.run("BackGround \"TestRun 72 PortBitMap=fe4-fe5 RunMode=PHY TimeInSeconds=4 "
               "CounterPollInterval=2\"",
               "TRAFFIC: starting", &seen, 60))
        << seen;
    // A BPDU address sends every port's frames to it to the CPU, the test's
    // broadcasts too; the address that runs is no change.
    const std::string broadcast = "bpdu add Index=0 MACaddress=ff:ff:ff:ff:ff:ff";
    EXPECT_NE(
        fw.output(broadcast).find("BPDU ERROR: port fe4: port under self-test (Traffic Test)"),
        std::string::npos);
    EXPECT_EQ(fw.output("bpdu add Index=0 MACaddress=01:80:c2:00:00:00").find("ERROR"),
              std::string::npos);
    list = test_run_once(fw, 72);
    EXPECT_NE(list.find("|    1|    1|    1|    0|"), std::string::npos) << list;
    EXPECT_EQ(fw.output(broadcast).find("ERROR"), std::string::npos);
    // That address would take the traffic test's broadcasts to the CPU and
    // fail healthy ports: the start is refused by the address, changing nothing.
    const std::string refused =
        fw.output("TestRun 72 PortBitMap=fe4-fe5 RunMode=PHY TimeInSeconds=1");
    EXPECT_NE(refused.find("BPDU address 0 (ff:ff:ff:ff:ff:ff) takes the test frames to the CPU"),
              std::string::npos)
        << refused;

    if (fp) {
        // Nothing made during the tests was undone, and the tested ports
        // are back in the field processor's reach.
        EXPECT_EQ(fw.output("getreg CFP_GLOBAL_CTL"), enabled);
        for (const char *entry : {"900", "901"})
            EXPECT_NE(fw.output(std::string("fp entry remove ") + entry).find("okay"),
                      std::string::npos)
                << entry;
        EXPECT_NE(fw.output("fp detach").find("okay"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(every_board, system_selftest_rules, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return "Board" + std::to_string(info.param);
                         });

}  // namespace
