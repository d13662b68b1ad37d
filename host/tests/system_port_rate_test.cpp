// The rates the web's rate limit page sets, as the monitor's PortRate shows
// them, right after the page and again after a restart has loaded them from
// the stored settings, on every board and on its last front-panel port; a
// limit the meter would round is refused alike by both.
#include <filesystem>
#include <ostream>
#include <string>

#include "system_fixture.h"
#include "web_client.h"

namespace {

namespace fs = std::filesystem;

struct LastPort {
    int board;
    const char *name;  // the chip port behind the last front-panel port
};

void PrintTo(const LastPort &last, std::ostream *os) {
    *os << last.board << "-port board";
}

class system_port_rate : public testing::TestWithParam<LastPort> {};

TEST_P(system_port_rate, MonitorShowsTheRatesTheWebPageSet) {
    const LastPort last = GetParam();
    const std::string board = std::to_string(last.board);
    fs::path dir =
        fs::temp_directory_path() / ("switchfw-portrate-" + board + "-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string ingress = std::string(last.name) + ":\tIngress meter:     2048 kbps";
    const std::string egress = "\tEgress meter:       640 kbps       80 kbits max burst.";
    std::string seen;
    {
        system_fixture::Switch fw(dir, {"--board", board});
        ASSERT_TRUE(fw.run("", "DXP.0> ", &seen, 60)) << seen;
        const int web = fw.port_offset() + 80;
        std::string cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
        // Egress: enabled, 10 tokens of 64 kbit/s, burst 80 kbit.
        std::string answer = web_client::post(
            web, "/setrate.cgi",
            "port=" + board + "&ingress=2048&egress_enable=1&egress=10&burst=80", cookie);
        EXPECT_EQ(answer.find("failed"), std::string::npos) << answer;
        ASSERT_TRUE(fw.run("PortRate", "DXP.0> ", &seen)) << seen;
        EXPECT_NE(seen.find(ingress), std::string::npos) << seen;
        EXPECT_NE(seen.find(egress), std::string::npos) << seen;
        // The first port keeps no meter.
        EXPECT_NE(seen.find(" fe0:\tIngress meter:  value not set yet.\n"), std::string::npos)
            << seen;
        // A limit above every code is named by the monitor and the page
        // alike, and changes nothing (as the restart shows).
        ASSERT_TRUE(
            fw.run(std::string("PortRate ") + last.name + " egress 2000000 80", "DXP.0> ", &seen));
        EXPECT_NE(seen.find(std::string("PortRate: Error: ") + last.name +
                            ": egress limit 2000000 kbps is above the largest it runs"),
                  std::string::npos)
            << seen;
        answer = web_client::post(
            web, "/setrate.cgi",
            "port=" + board + "&ingress=64&egress_enable=1&egress=16001&burst=80", cookie);
        EXPECT_NE(answer.find("port " + board + ": egress limit 1024064 kbps is above the largest"),
                  std::string::npos)
            << answer;
    }
    {
        system_fixture::Switch fw(dir, {"--board", board});
        ASSERT_TRUE(fw.run("", "DXP.0> ", &seen, 60)) << seen;
        ASSERT_TRUE(fw.run(std::string("PortRate ") + last.name, "DXP.0> ", &seen)) << seen;
        EXPECT_NE(seen.find(ingress), std::string::npos) << seen;
        EXPECT_NE(seen.find(egress), std::string::npos) << seen;
    }
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(boards, system_port_rate,
                         testing::Values(LastPort{52, "ge3"}, LastPort{28, "ge3"},
                                         LastPort{26, "ge1"}),
                         [](const testing::TestParamInfo<LastPort> &info) {
                             return "board" + std::to_string(info.param.board);
                         });

}  // namespace
