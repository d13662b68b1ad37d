// The global QoS page and the QoS mode during a traffic test, one grouped
// case per board: an unchanged Apply and a new priority map are taken, a
// scheduling, queue count or mode change that reaches a tested port is refused with that
// port's name alone and taken once the test has ended, and the test passes.
// The monitor's DoS listing says what it read, on the board whose chip has
// no DoS checks too.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

using system_fixture::Switch;

std::string qos_error_of(const std::string &page) {
    const size_t at = page.find("id=\"error_message\"><b>");
    return at == std::string::npos ? "" : page.substr(at + 22, page.find("</b>", at) - at - 22);
}

class system_qos_selftest : public testing::TestWithParam<int> {};

TEST_P(system_qos_selftest, TheQosPageDuringATrafficTestTakesWhatLeavesTestedPortsAlone) {
    const int board = GetParam();
    const std::string dir = test_workdir::path();
    std::filesystem::remove(dir + "/flash.bin");  // another board's settings
    Switch fw(dir, {"--board", std::to_string(board)});
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    const int web = fw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    const auto post = [&](const std::string &path, const std::string &body) {
        return qos_error_of(web_client::post(web, path, body, cookie));
    };
    const std::string map = "&p0=0&p1=0&p2=1&p3=1&p4=2&p5=2&p6=3&p7=";
    const std::string weighted = "mode=3" + map + "3&w0=1&w1=1&w2=1&w3=1";

    std::string seen;
    ASSERT_TRUE(
        fw.run("BackGround \"TestRun 72 PortBitMap=fe4-fe5 RunMode=PHY TimeInSeconds=8 "
               "CounterPollInterval=4\"",
               "TRAFFIC: starting", &seen, 60))
        << seen;
    const std::string held = "Port 5: port under self-test (Traffic Test)";
    EXPECT_EQ(post("/qos.cgi", weighted), "");
    EXPECT_EQ(post("/qos.cgi", "mode=3" + map + "2&w0=1&w1=1&w2=1&w3=1"), "");
    EXPECT_EQ(post("/qos.cgi", "mode=1" + map + "3"), held);
    EXPECT_EQ(post("/qos.cgi", "mode=3" + map + "3&w0=1&w1=2&w2=3&w3=4"), held);
    // Board 26 has no field processor for the port mode's rules.
    if (board != 26) {
        EXPECT_EQ(post("/qos_enhance_mode.cgi", "mode=1"), held);
    }
    EXPECT_EQ(post("/qos_enhance_mode.cgi", "mode=2"), held);
    // The queue count reaches the tested ports' queues too, from the page
    // and the monitor alike; the count that runs is no change.
    EXPECT_EQ(post("/queue_num.cgi", "queue_num=4"), "");
    EXPECT_EQ(post("/queue_num.cgi", "queue_num=2"), held);
    for (const char *change : {"cos config Numcos=2", "cos clear"}) {
        const std::string out = fw.output(change);
        seen += out;
        EXPECT_NE(out.find(": ERROR: port fe"), std::string::npos) << change << out;
        EXPECT_NE(out.find(": port under self-test"), std::string::npos) << change << out;
    }
    std::string out = fw.output("cos show");
    seen += out;
    EXPECT_NE(out.find("weighted round-robin"), std::string::npos) << out;
    EXPECT_NE(out.find("PRIO 7 ==> COSQ 2"), std::string::npos) << out;
    EXPECT_NE(out.find("COSQ 3 = 1 packets"), std::string::npos) << out;

    out = fw.output("dos fe8 show");
    seen += out;
    EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;
    EXPECT_NE(out.find(board == 26 ? "Port fe8: no DoS check is available on this switch"
                                   : "Item[ 6] is disabled"),
              std::string::npos)
        << out;

    if (seen.find("TEST passed") == std::string::npos) {
        EXPECT_TRUE(fw.run("", "TEST passed", &seen, 120)) << seen;
    }
    // The test's ports are given back after it is counted.
    std::string refusal = held;
    for (int tries = 0; tries < 40 && !refusal.empty(); tries++) {
        usleep(250000);
        refusal = post("/qos.cgi", "mode=1" + map + "3");
    }
    EXPECT_EQ(refusal, "");
    EXPECT_NE(fw.output("cos show").find("Schedule mode: strict"), std::string::npos);
    EXPECT_EQ(post("/qos_enhance_mode.cgi", "mode=2"), "");
}

INSTANTIATE_TEST_SUITE_P(every_board, system_qos_selftest, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return "Board" + std::to_string(info.param);
                         });

}  // namespace
