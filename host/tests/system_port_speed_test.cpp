// The port settings form of every board forces the gigabit ports to a speed
// they can run, and the chip and the PHY show it on the monitor (PortStat,
// PORT and the PHY registers); a speed a port cannot run is refused with the
// port named and the port keeps running as it was.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

using system_fixture::Switch;

struct Board {
    std::string name;
    int ports;
    int gigabit;  // the first gigabit user port, ge0
    std::vector<std::string> extra;
};

void PrintTo(const Board &board, std::ostream *os) {
    *os << board.name;
}

class port_speed : public testing::TestWithParam<Board> {
  protected:
    // Posts the form of one port; the answer page.
    static std::string apply(int web, const std::string &cookie, int port, const char *autonego,
                             const char *speed, int priority) {
        std::string body = "port=" + std::to_string(port) + "&admin=1&autonego=" + autonego;
        if (speed != nullptr) body += std::string("&speed=") + speed;
        body += "&flow_ctrl=1&priority=" + std::to_string(priority) + "&pvid=1";
        return web_client::post(web, "/portset.cgi", body, cookie);
    }
    static std::string monitor(Switch &sw, const std::string &line) {
        std::string seen;
        EXPECT_TRUE(sw.run(line, "DXP.0> ", &seen)) << seen;
        return seen;
    }
};

TEST_P(port_speed, GigabitPortsAreForcedToWhatTheyCanRun) {
    const Board &b = GetParam();
    std::vector<std::string> args{"--board", std::to_string(b.ports)};
    args.insert(args.end(), b.extra.begin(), b.extra.end());
    Switch sw(test_workdir::path(), args);
    std::string seen;
    ASSERT_TRUE(sw.run("", "DXP.0> ", &seen, 60)) << seen;
    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    const std::string port = std::to_string(b.gigabit);

    // 1000 Mb/s full with auto-negotiation off, priority 4 and flow control
    // in the same Apply.
    std::string answer = apply(web, cookie, b.gigabit, "0", "5", 4);
    EXPECT_NE(answer.find("Port Configuration"), std::string::npos) << answer;
    const std::string form = web_client::get(web, "/setport.cgi?port=" + port, cookie);
    for (const char *preset : {"autonego = Number(\"0\")", "speed = Number(\"5\")",
                               "priority = Number(\"4\")", "flow_ctrl = Number(\"1\")"})
        EXPECT_NE(form.find(preset), std::string::npos) << preset << "\n" << form;
    const bool copper = form.find("ptype = Number(\"1\")") != std::string::npos;
    seen = monitor(sw, "ps ge0");
    EXPECT_NE(seen.find("1G FD"), std::string::npos) << seen;
    seen = monitor(sw, "port ge0");
    EXPECT_NE(seen.find("UtPri(4)"), std::string::npos) << seen;
    if (copper) {
        // Gigabit on copper negotiates with only 1000 full advertised.
        EXPECT_NE(seen.find("Adv(1GFD+TXpau+RXpau)"), std::string::npos) << seen;
        seen = monitor(sw, "phy ge0");
        EXPECT_NE(seen.find("0x04: 0x0401"), std::string::npos) << seen;
    } else {
        EXPECT_NE(seen.find("Forced(1GFD"), std::string::npos) << seen;
    }

    if (copper) {
        // A copper port runs 100 Mb/s full when forced to it.
        answer = apply(web, cookie, b.gigabit, "0", "4", 5);
        EXPECT_NE(answer.find("Port Configuration"), std::string::npos) << answer;
        seen = monitor(sw, "phy ge0");
        EXPECT_NE(seen.find("0x00: 0x2100"), std::string::npos) << seen;
        seen = monitor(sw, "ps ge0");
        EXPECT_NE(seen.find("100M FD"), std::string::npos) << seen;
    } else if (b.ports == 26) {
        // Without signal the setting waits in both media's configurations.
        seen = monitor(sw, "combo ge0");
        EXPECT_EQ(system_fixture::count_of(seen, "force_speed=1000 force_duplex=1"), 2u) << seen;
        EXPECT_EQ(system_fixture::count_of(seen, "autoneg_enable=0"), 2u) << seen;
    } else {
        // The SERDES runs gigabit only: refused, and nothing of the form
        // reaches the port.
        answer = apply(web, cookie, b.gigabit, "0", "4", 5);
        EXPECT_NE(answer.find("Set speed failed: port " + port + " cannot run 100Mbps Full"),
                  std::string::npos)
            << answer;
        seen = monitor(sw, "port ge0");
        EXPECT_NE(seen.find("Forced(1GFD"), std::string::npos) << seen;
        EXPECT_NE(seen.find("UtPri(4)"), std::string::npos) << seen;
        // Nor does it run half duplex.
        seen = monitor(sw, "port ge0 FullDuplex=false");
        EXPECT_NE(seen.find("Port ge0 cannot run half duplex"), std::string::npos) << seen;
        seen = monitor(sw, "ps ge0");
        EXPECT_NE(seen.find("1G FD"), std::string::npos) << seen;
    }

    // A fast-Ethernet port cannot run 1000 Mb/s.
    answer = apply(web, cookie, 2, "0", "5", 0);
    EXPECT_NE(answer.find("Set speed failed: port 2 cannot run 1Gbps Full"), std::string::npos)
        << answer;
    seen = monitor(sw, "ps fe1");
    EXPECT_NE(seen.find(" Yes "), std::string::npos) << seen;

    // Back to auto-negotiation: every speed is advertised again.
    answer = apply(web, cookie, b.gigabit, "1", nullptr, 0);
    EXPECT_NE(answer.find("Port Configuration"), std::string::npos) << answer;
    seen = monitor(sw, "ps ge0");
    EXPECT_NE(seen.find(" Yes "), std::string::npos) << seen;
}

INSTANTIATE_TEST_SUITE_P(boards, port_speed,
                         testing::Values(Board{"board52", 52, 49, {}}, Board{"board28", 28, 25, {}},
                                         // Copper with a partner at the end of the cable.
                                         Board{"board26", 26, 25, {"--cable", "25=10"}},
                                         // A dual-media port without signal on either medium.
                                         Board{
                                             "board26_dual_media", 26, 25, {"--gig-phy", "6401s"}}),
                         [](const testing::TestParamInfo<Board> &info) { return info.param.name; });

}  // namespace
