// The gigabit PHYs an engineer can fit on the simulated board: every model
// the drivers serve, cable tests of a copper/fibre PHY from the monitor and
// the web page over cables with a known length and fault (a partner at its
// end or not), fibres that come and go on copper/fibre and dual-media ports.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <ostream>
#include <string>
#include <tuple>
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
    // A linked port is measured, not pulse-tested, and says so.
    ASSERT_TRUE(sw.run("cablediag ge0", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("port ge0: cable not tested (link up) (4 pairs"), std::string::npos)
        << seen;
    EXPECT_NE(seen.find("pair D not tested (link up), length 4"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("config add cable_diag_hw=1", "DXP.0> "));
    ASSERT_TRUE(sw.run("cablediag ge0", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("pair A not tested (link up), length 40 metres"), std::string::npos)
        << seen;
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
    std::string page = web_client::post(web, "/cable.cgi", "port=25", cookie);
    EXPECT_NE(page.find("not tested (link up), length 40 meters"), std::string::npos) << page;
    EXPECT_EQ(page.find("takes the port's link down"), std::string::npos) << page;
    page = web_client::post(web, "/cable.cgi", "port=26", cookie);
    EXPECT_NE(page.find("Open/Short, length 12 meters"), std::string::npos) << page;
}

// Stores SDK configuration variables as an administrator does (config add,
// config save); the gigabit PHYs read them at the next start.
void configure(const std::string &board, const std::vector<std::string> &vars) {
    Switch sw(test_workdir::path(), {"--board", board, "--exit-on-eof"});
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    for (const std::string &var : vars)
        ASSERT_TRUE(sw.run("config add " + var, "DXP.0> "));
    ASSERT_TRUE(sw.run("config save", "DXP.0> "));
    ASSERT_TRUE(sw.run("config show", "DXP.0> "));
}

// The link line of `ps` for one port: "up      1G FD" and the like.
std::string link_of(Switch &sw, const std::string &port) {
    std::string seen;
    if (!sw.run("ps " + port, "DXP.0> ", &seen)) return "(no answer)";
    const size_t at = seen.find(" " + port + " ");
    if (at == std::string::npos) return "(no line)";
    const size_t start = seen.find_first_of("ud", at + port.size() + 2);
    return start == std::string::npos ? "" : seen.substr(start, 13);
}

// The port's link line once it reads `want` (link scan follows a change
// within its polls), or the last one read after 10 s.
std::string link_becomes(Switch &sw, const std::string &port, const std::string &want) {
    std::string line;
    for (int i = 0; i < 50; i++) {
        line = link_of(sw, port);
        if (line.compare(0, want.size(), want) == 0) return want;
        usleep(200000);
    }
    return line;
}

// A cable test on a port that runs on its fibre tests no copper pair and
// says why, on the monitor and the web page, while the copper port beside it
// is tested as usual: on the 26-port board the 6412 with a fibre starts on
// it, on the others a port that prefers fibre does.
TEST(gig_phy_e2e, ACableTestOnAPortRunningOnFibreSaysSo) {
    for (const char *board : {"26", "28", "52"}) {
        SCOPED_TRACE(board);
        const bool big = std::string(board) != "26";
        const std::string first = std::string(board) == "52" ? "49" : "25";
        const std::string second = std::string(board) == "52" ? "50" : "26";
        if (big) configure(board, {"phy_fiber_pref_ge0=1"});
        Switch sw(test_workdir::path(),
                  {"--board", board, "--gig-phy", big ? "6416" : "6412", "--fiber", first,
                   "--cable", first + "=40", "--cable", second + "=30/B=short@12"});
        ASSERT_TRUE(sw.run("", "DXP.0> "));
        EXPECT_EQ(link_becomes(sw, "ge0", "up      1G FD"), "up      1G FD");
        std::string seen;
        ASSERT_TRUE(sw.run("cablediag ge0", "DXP.0> ", &seen));
        EXPECT_NE(seen.find("port ge0: port runs on fibre: copper pairs not tested"),
                  std::string::npos)
            << seen;
        EXPECT_EQ(seen.find("pair A"), std::string::npos) << seen;
        ASSERT_TRUE(sw.run("cablediag ge1", "DXP.0> ", &seen));
        EXPECT_NE(seen.find("pair B Short, length 12 metres"), std::string::npos) << seen;
        EXPECT_EQ(link_becomes(sw, "ge0", "up      1G FD"), "up      1G FD");

        const int web = sw.port_offset() + 80;
        const std::string cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
        std::string page = web_client::post(web, "/cable.cgi", "port=" + first, cookie);
        EXPECT_NE(page.find("<td id=\"state\">port runs on fibre: copper pairs not tested</td>"),
                  std::string::npos)
            << page;
        EXPECT_NE(page.find("<th>Pair A</th><td>not tested</td>"), std::string::npos) << page;
        page = web_client::post(web, "/cable.cgi", "port=" + second, cookie);
        EXPECT_NE(page.find("<th>Pair B</th><td>Short, length 12 meters</td>"), std::string::npos)
            << page;
    }
}

// A gigabit model fitted on a board, the register its own settings leave
// behind, and what its cable test answers.
struct GigabitModel {
    const char *board;
    const char *model;
    const char *ports[2];   // front-panel numbers of ge0 and ge1
    const char *signature;  // "REG: VALUE" after the model's settings
    const char *cable_answer;
};

void PrintTo(const GigabitModel &m, std::ostream *os) {
    *os << m.model << " on " << m.board;
}

class gig_phy_models : public ::testing::TestWithParam<GigabitModel> {};

// Every model the drivers serve starts, links at what its cable allows (a
// faulted pair C leaves 100 Mb/s), keeps the user's forced speed over a link
// loss and answers the cable test on the monitor and the web page.
TEST_P(gig_phy_models, TheModelLinksAtWhatItsCableAllowsAndAnswersTheCableTest) {
    const GigabitModel &m = GetParam();
    Switch sw(test_workdir::path(),
              {"--board", m.board, "--gig-phy", m.model, "--cable", std::string(m.ports[0]) + "=30",
               "--cable", std::string(m.ports[1]) + "=30/C=open@5"});
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    std::string seen;
    ASSERT_TRUE(sw.run("phy info", "DXP.0> ", &seen));
    EXPECT_NE(seen.find(std::string("DXP") + m.model), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("phy ge0", "DXP.0> ", &seen));
    EXPECT_NE(seen.find(m.signature), std::string::npos) << seen;
    EXPECT_EQ(link_becomes(sw, "ge0", "up      1G FD"), "up      1G FD");
    EXPECT_EQ(link_becomes(sw, "ge1", "up    100M FD"), "up    100M FD");

    // Forced 100 full, then a link loss: the model's link-down reset keeps it.
    ASSERT_TRUE(sw.run("port ge0 an=off sp=100 fd=true", "DXP.0> "));
    EXPECT_EQ(link_becomes(sw, "ge0", "up    100M FD"), "up    100M FD");
    ASSERT_TRUE(sw.run("port ge0 enable=false", "DXP.0> "));
    EXPECT_EQ(link_becomes(sw, "ge0", "down"), "down");
    ASSERT_TRUE(sw.run("port ge0 enable=true", "DXP.0> "));
    EXPECT_EQ(link_becomes(sw, "ge0", "up    100M FD"), "up    100M FD");
    ASSERT_TRUE(sw.run("port ge0 an=on", "DXP.0> "));
    EXPECT_EQ(link_becomes(sw, "ge0", "up      1G FD"), "up      1G FD");

    ASSERT_TRUE(sw.run("cablediag ge1", "DXP.0> ", &seen));
    EXPECT_NE(seen.find(m.cable_answer), std::string::npos) << seen;
    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    const std::string page =
        web_client::post(web, "/cable.cgi", std::string("port=") + m.ports[1], cookie);
    EXPECT_NE(page.find(std::string(m.cable_answer).find("unavailable") != std::string::npos
                            ? "unavailable"
                            : "not tested (link up)"),
              std::string::npos)
        << page;
}

constexpr const char *kNoCableTest = "ERROR: port ge1: Feature unavailable";
constexpr const char *kLinkedCable = "port ge1: cable not tested (link up) (4 pairs";

INSTANTIATE_TEST_SUITE_P(
    EveryModel, gig_phy_models,
    ::testing::Values(GigabitModel{"52", "6406", {"49", "50"}, "0x18: 0x0c20", kNoCableTest},
                      GigabitModel{"28", "6407", {"25", "26"}, "0x18: 0x0420", kNoCableTest},
                      GigabitModel{"26", "6408", {"25", "26"}, "0x1c: 0x8820", kNoCableTest},
                      GigabitModel{"52", "6409", {"49", "50"}, "0x18: 0x0004", kNoCableTest},
                      GigabitModel{"28", "6410", {"25", "26"}, "0x18: 0x4007", kNoCableTest},
                      GigabitModel{"26", "6402", {"25", "26"}, "0x02: 0x0343", kLinkedCable},
                      GigabitModel{"52", "6412", {"49", "50"}, "0x02: 0x0343", kLinkedCable},
                      GigabitModel{"28", "6413", {"25", "26"}, "0x02: 0x0343", kNoCableTest},
                      GigabitModel{"26", "6414", {"25", "26"}, "0x02: 0x00e1", kNoCableTest},
                      GigabitModel{"52", "6415", {"49", "50"}, "0x02: 0x00e1", kLinkedCable},
                      GigabitModel{"28", "6416", {"25", "26"}, "0x02: 0x00e1", kLinkedCable}),
    [](const ::testing::TestParamInfo<GigabitModel> &info) {
        return std::string("Dxp") + info.param.model + "Board" + info.param.board;
    });

// A PHY that --gig-phy fits, whether it has a fibre side, and the line its
// start logs for ge1's fibre detect setting (99, which no model takes).
struct FittedPhy {
    const char *model;
    bool fibre;
    const char *ge1_line;  // null: the model reads no fibre detect
};
constexpr FittedPhy kFittedPhys[] = {
    {"board", false, nullptr},
    {"serdes", false, nullptr},
    {"copper", false, nullptr},
    {"640x", true, "ge1: phy_fiber_detect 99 is not one the DXP6416 takes; using 10"},
    {"6401s", true, nullptr},
    {"6406", false, nullptr},
    {"6407", false, nullptr},
    {"6408", false, nullptr},
    {"6409", false, nullptr},
    {"6410", false, nullptr},
    {"6402", true, "ge1: phy_fiber_detect 99 is not one the DXP6402 takes; using 4"},
    {"6412", true, "ge1: phy_fiber_detect 99 is not one the DXP6412 takes; using 10"},
    {"6413", true, "ge1: phy_fiber_detect 99 is not one the DXP6413 takes; using 4"},
    {"6414", true, "ge1: phy_fiber_detect 99 is not one the DXP6414 takes; using 4"},
    {"6415", true, "ge1: phy_fiber_detect 99 is not one the DXP6415 takes; using 4"},
    {"6416", true, "ge1: phy_fiber_detect 99 is not one the DXP6416 takes; using 10"},
};

// Lines of `ps` that show a port.
int port_lines(const std::string &ps) {
    int n = 0;
    size_t from = 0;
    while (from < ps.size()) {
        size_t to = ps.find('\n', from);
        if (to == std::string::npos) to = ps.size();
        const std::string line = ps.substr(from, to - from);
        const size_t at = line.find_first_not_of(' ');
        if (at != std::string::npos &&
            (line.compare(at, 2, "fe") == 0 || line.compare(at, 2, "ge") == 0) &&
            at + 2 < line.size() && std::isdigit(static_cast<unsigned char>(line[at + 2])))
            n++;
        from = to + 1;
    }
    return n;
}

class gig_phy_settings : public ::testing::TestWithParam<const char *> {};

// The PHY settings the README offers, saved with values no model takes (or
// with a fibre detect left at a board default the model does not take),
// never cost a port: every PHY --gig-phy fits starts with every port of the
// board and the management path, and the log names what it replaced. ge0
// runs automatic medium selection on the detect default and a deglitch time
// below zero, ge1 prefers fibre with a detect of 99 and a huge deglitch time.
TEST_P(gig_phy_settings, NoSavedPhySettingKeepsAPortFromStarting) {
    const std::string board = GetParam();
    configure(board,
              {"phy_automedium_ge0=1", "phy_fiber_deglitch_usecs_ge0=-5", "phy_fiber_pref_ge1=1",
               "phy_fiber_detect_ge1=99", "phy_fiber_deglitch_usecs_ge1=99999999999"});
    const std::string ge0 = board == "52" ? "49" : "25", ge1 = board == "52" ? "50" : "26";
    for (const FittedPhy &phy : kFittedPhys) {
        SCOPED_TRACE(phy.model);
        // The 26-port board's chip has no SERDES (refused, see below).
        if (board == "26" && std::string(phy.model) == "serdes") continue;
        std::vector<std::string> args{"--board", board, "--gig-phy", phy.model};
        if (phy.fibre) args.insert(args.end(), {"--fiber", ge0, "--fiber", ge1});
        Switch sw(test_workdir::path(), args);
        std::string start;
        ASSERT_TRUE(sw.run("", "DXP.0> ", &start));
        for (const char *failure : {"probe failed", "failed its init", "Failed port probe",
                                    "receive start failed", "init failed"})
            EXPECT_EQ(start.find(failure), std::string::npos) << start;
        if (phy.ge1_line != nullptr) {
            EXPECT_NE(start.find(std::string("[WARNING] PORT: ") + phy.ge1_line), std::string::npos)
                << start;
        }
        if (std::string(phy.model) == "6401s") {
            EXPECT_NE(start.find("ge0: phy_fiber_deglitch_usecs -5 is not one the DXP6401S "
                                 "takes; using 0"),
                      std::string::npos)
                << start;
            EXPECT_NE(start.find("ge1: phy_fiber_deglitch_usecs 2147483647 is not one the "
                                 "DXP6401S takes; using 60000000"),
                      std::string::npos)
                << start;
        }
        if (!phy.fibre) {
            EXPECT_EQ(start.find("[WARNING] PORT: "), std::string::npos) << start;
        }
        EXPECT_EQ(port_lines(sw.output("ps")), std::stoi(board));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryBoard, gig_phy_settings, ::testing::Values("52", "28", "26"),
                         [](const ::testing::TestParamInfo<const char *> &info) {
                             return std::string("Board") + info.param;
                         });

// The copper/fibre PHY with a fibre socket on the 26-port board: with
// automatic medium selection the port moves to the fibre while it has
// signal and back to copper when it is pulled; a 100BASE-FX fibre links at
// 100 Mb/s, and its page forces the 100 full it runs, not 1000.
TEST(gig_phy_e2e, A640xPortFollowsItsFibreInAndOutAndRuns100BaseFx) {
    configure("26", {"phy_automedium=1"});
    Switch sw(test_workdir::path(), with_board({"--gig-phy", "640x", "--cable", "25=10", "--fiber",
                                                "25@8-16", "--fiber", "26/100"}));
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    std::string seen;
    ASSERT_TRUE(sw.run("combo ge0 watch on", "DXP.0> "));
    ASSERT_TRUE(sw.run("", "Active medium switched to Fiber", &seen, 30)) << seen;
    EXPECT_EQ(link_becomes(sw, "ge0", "up      1G FD"), "up      1G FD");
    ASSERT_TRUE(sw.run("", "Active medium switched to Copper", &seen, 30)) << seen;
    ASSERT_TRUE(sw.run("combo ge0", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("Copper medium (active)"), std::string::npos) << seen;
    EXPECT_EQ(link_becomes(sw, "ge0", "up      1G FD"), "up      1G FD");
    EXPECT_EQ(link_becomes(sw, "ge1", "up    100M FD"), "up    100M FD");
    ASSERT_TRUE(sw.run("combo ge1", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("Fiber medium (active)"), std::string::npos) << seen;
    // Its page refuses a forced 1000 Full, which 100BASE-FX cannot run, and
    // takes the 100 Full it runs.
    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    std::string answer = web_client::post(
        web, "/portset.cgi", "port=26&admin=1&autonego=0&speed=5&flow_ctrl=0&priority=0&pvid=1",
        cookie);
    EXPECT_NE(answer.find("port 26 cannot run 1Gbps Full"), std::string::npos) << answer;
    answer = web_client::post(web, "/portset.cgi",
                              "port=26&admin=1&autonego=0&speed=4&flow_ctrl=0&priority=0&pvid=1",
                              cookie);
    EXPECT_EQ(answer.find("ERROR"), std::string::npos) << answer;
    EXPECT_EQ(link_becomes(sw, "ge1", "up    100M FD"), "up    100M FD");
}

// On the 52- and 28-port boards the fibre runs through the switch chip's
// SERDES: a fibre-only port links at 1000, and a port that prefers fibre
// goes back to its copper cable when the fibre is pulled.
TEST(gig_phy_e2e, A640xFibreRunsThroughTheSerdesOnTheBigBoards) {
    for (const char *board : {"52", "28"}) {
        SCOPED_TRACE(board);
        const std::string first = std::string(board) == "52" ? "49" : "25";
        const std::string second = std::string(board) == "52" ? "50" : "26";
        configure(board, {"phy_automedium=1", "phy_fiber_pref_ge0=1"});
        Switch sw(test_workdir::path(),
                  {"--board", board, "--gig-phy", "640x", "--cable", first + "=10", "--fiber",
                   first + "@8-16", "--fiber", second});
        ASSERT_TRUE(sw.run("", "DXP.0> "));
        std::string seen;
        ASSERT_TRUE(sw.run("combo ge0 watch on", "DXP.0> "));
        EXPECT_EQ(link_becomes(sw, "ge1", "up      1G FD"), "up      1G FD");
        ASSERT_TRUE(sw.run("", "Active medium switched to Fiber", &seen, 30)) << seen;
        EXPECT_EQ(link_becomes(sw, "ge0", "up      1G FD"), "up      1G FD");
        ASSERT_TRUE(sw.run("", "Active medium switched to Copper", &seen, 30)) << seen;
        EXPECT_EQ(link_becomes(sw, "ge0", "up      1G FD"), "up      1G FD");
    }
}

// The 6401S waits out its deglitch time before it takes a fibre: a fibre
// that comes and goes within it is never used, and the wait starts again
// with the next signal.
TEST(gig_phy_e2e, A6401sTakesTheFibreOnlyAfterItsDeglitchTime) {
    configure("52", {"phy_fiber_deglitch_usecs_ge1=5000000"});
    const auto start = std::chrono::steady_clock::now();
    Switch sw(test_workdir::path(), {"--board", "52", "--gig-phy", "6401s", "--cable", "50=10",
                                     "--fiber", "50@10-13", "--fiber", "50@16"});
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    std::string seen;
    ASSERT_TRUE(sw.run("combo ge1 watch on", "DXP.0> "));
    ASSERT_TRUE(sw.run("", "Active medium switched to Fiber", &seen, 40)) << seen;
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::seconds(20));
    EXPECT_EQ(link_becomes(sw, "ge1", "up      1G FD"), "up      1G FD");
}

// The 52-port board's gigabit ports with copper PHYs advertise every speed
// the PHY runs, so a cable without pair C links at 100; a refused fibre
// configuration changes nothing; PHY loopback runs on the fibre medium.
TEST(gig_phy_e2e, GigabitPortsOfThe52PortBoardAdvertiseWhatThePhyRuns) {
    {
        Switch sw(test_workdir::path(),
                  {"--board", "52", "--gig-phy", "copper", "--cable", "49=30/C=open@5"});
        ASSERT_TRUE(sw.run("", "DXP.0> "));
        EXPECT_EQ(link_becomes(sw, "ge0", "up    100M FD"), "up    100M FD");
        std::string seen;
        ASSERT_TRUE(sw.run("phy ge0 4", "DXP.0> ", &seen));
        EXPECT_NE(seen.find("Reg 4: 0x01e1"), std::string::npos) << seen;
    }
    Switch sw(test_workdir::path(),
              {"--board", "52", "--gig-phy", "6401s", "--fiber", "50", "--cable", "49=30"});
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    EXPECT_EQ(link_becomes(sw, "ge1", "up      1G FD"), "up      1G FD");
    std::string before, after, seen;
    ASSERT_TRUE(sw.run("combo ge1", "DXP.0> ", &before));
    EXPECT_NE(before.find("Fiber medium (active)"), std::string::npos) << before;
    EXPECT_NE(before.find("autoneg_advert=1000full"), std::string::npos) << before;
    EXPECT_EQ(before.find("0x309020"), std::string::npos) << before;
    ASSERT_TRUE(sw.run("combo ge1 fiber force_speed=100", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("Error setting medium config"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("combo ge1", "DXP.0> ", &after));
    EXPECT_EQ(after, before);

    ASSERT_TRUE(sw.run("TestRun 49 PortBitMap=ge1 Count=1", "DXP.0> ", &seen, 60)) << seen;
    EXPECT_EQ(seen.find("Receive count is 0"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("ERROR"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("TestList 49", "DXP.0> ", &seen));
    // Loop count, run count, passes, failures.
    EXPECT_NE(seen.find("PHY Loopback - Mark 2     |    1|    1|    1|    0|"), std::string::npos)
        << seen;
    EXPECT_EQ(link_becomes(sw, "ge1", "up      1G FD"), "up      1G FD");
}

// Polls a monitor command until its output holds the text, for up to the
// given seconds: link scan follows a change within its polls, and a --fiber
// window runs on the model's clock.
bool output_becomes(Switch &sw, const std::string &command, const std::string &text, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (sw.output(command).find(text) != std::string::npos) return true;
        usleep(200000);
    }
    return false;
}

// The 6401S moves to a fibre that comes, and forced to 1000 there from its
// page keeps the link.
TEST(gig_phy_e2e, A6401sPortMovesToFibreWhenItsSignalAppears) {
    Switch sw(test_workdir::path(),
              with_board({"--gig-phy", "6401s", "--cable", "25=10", "--fiber", "25@6"}));
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    std::string seen;
    ASSERT_TRUE(sw.run("combo ge0 watch on", "DXP.0> "));
    ASSERT_TRUE(sw.run("", "Active medium switched to Fiber", &seen, 30)) << seen;
    ASSERT_TRUE(sw.run("combo ge0", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("Fiber medium (active)"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("ps ge0", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("up      1G FD"), std::string::npos) << seen;
    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    const std::string answer = web_client::post(
        web, "/portset.cgi", "port=25&admin=1&autonego=0&speed=5&flow_ctrl=0&priority=0&pvid=1",
        cookie);
    EXPECT_EQ(answer.find("ERROR"), std::string::npos) << answer;
    EXPECT_TRUE(output_becomes(sw, "port ge0", "*ge0 LS(SW) Forced(1GFD)", 20))
        << sw.output("port ge0");
}

// A copper/fibre port on each board, and the front-panel numbers of its
// first two gigabit ports.
struct ComboBoard {
    const char *board;
    const char *phy;
    const char *ge0;
    const char *ge1;
    std::vector<std::string> settings;
};
void PrintTo(const ComboBoard &b, std::ostream *os) {
    *os << b.board << " " << b.phy;
}

class gig_phy_combo : public ::testing::TestWithParam<ComboBoard> {};

// A fibre that comes and goes during a PHY loopback test on ge1 fails the
// test, which says so and gives both media back as they were: no loopback,
// copper negotiating again. Flow control set off on the web page stays off
// on ge0 through its own fibre's arrival and departure, and the speed the
// page forced comes back with copper.
TEST_P(gig_phy_combo, AMediumChangeKeepsThePortsSettingsOnBothMedia) {
    const ComboBoard &b = GetParam();
    if (!b.settings.empty()) configure(b.board, b.settings);
    const std::string ge0 = b.ge0, ge1 = b.ge1;
    Switch sw(test_workdir::path(),
              {"--board", b.board, "--gig-phy", b.phy, "--cable", ge0 + "=10", "--cable",
               ge1 + "=10", "--fiber", ge1 + "@20-40", "--fiber", ge0 + "@30-50"});
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    EXPECT_TRUE(output_becomes(sw, "ps ge1", "up      1G FD", 20));
    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    const std::string answer = web_client::post(
        web, "/portset.cgi",
        "port=" + ge0 + "&admin=1&autonego=0&speed=4&flow_ctrl=0&priority=0&pvid=1", cookie);
    EXPECT_EQ(answer.find("ERROR"), std::string::npos) << answer;
    EXPECT_TRUE(output_becomes(sw, "ps ge0", "up    100M FD", 20));

    const std::string before = sw.output("combo ge1");
    ASSERT_NE(before.find("Copper medium (active)"), std::string::npos) << before;
    const std::string seen =
        sw.output("TestRun 49 PortBitMap=ge1 Count=1000000 LoopbackMode=PHY", 120);
    EXPECT_NE(seen.find("Port ge1: the medium changed from copper to fibre during the test"),
              std::string::npos)
        << seen;
    EXPECT_EQ(seen.find("Could not restore"), std::string::npos) << seen;

    ASSERT_TRUE(output_becomes(sw, "combo ge0", "Fiber medium (active)", 60));
    EXPECT_TRUE(output_becomes(sw, "ps ge0", "up      1G FD", 20));
    std::string port = sw.output("port ge0");
    EXPECT_NE(port.find("Auto(1GFD) "), std::string::npos) << port;
    EXPECT_EQ(sw.output("ps ge0").find("TX RX"), std::string::npos);

    ASSERT_TRUE(output_becomes(sw, "combo ge1", "Copper medium (active)", 60));
    EXPECT_TRUE(output_becomes(sw, "ps ge1", "up      1G FD", 20));
    EXPECT_EQ(sw.output("combo ge1"), before);
    port = sw.output("port ge1");
    EXPECT_NE(port.find("Auto(1GFD) "), std::string::npos) << port;
    EXPECT_EQ(port.find("LB("), std::string::npos) << port;
    const std::string reg0 = sw.output("phy ge1 0");
    const size_t at = reg0.find("Reg 0: 0x");
    ASSERT_NE(at, std::string::npos) << reg0;
    EXPECT_EQ(std::stoul(reg0.substr(at + 9, 4), nullptr, 16) & 0x4000, 0u) << reg0;

    ASSERT_TRUE(output_becomes(sw, "combo ge0", "Copper medium (active)", 60));
    EXPECT_TRUE(output_becomes(sw, "ps ge0", "up    100M FD", 20));
    port = sw.output("port ge0");
    EXPECT_NE(port.find("Forced(100MFD) "), std::string::npos) << port;
}

// A disabled port has no link: its cable is pulse-tested from the monitor
// and the web page, and it stays disabled; a dual-media port disabled on its
// fibre is down too, for SNMP as well. A stored copper configuration the PHY
// cannot run is refused while the fibre runs.
TEST_P(gig_phy_combo, ADisabledPortHasNoLinkAndItsCableIsPulseTested) {
    const ComboBoard &b = GetParam();
    const std::string ge0 = b.ge0;
    {
        Switch sw(test_workdir::path(),
                  {"--board", b.board, "--gig-phy", std::string(b.board) == "26" ? "640x" : "6412",
                   "--cable", ge0 + "=10/C=open@4"});
        ASSERT_TRUE(sw.run("", "DXP.0> "));
        EXPECT_TRUE(output_becomes(sw, "ps ge0", "up    100M FD", 20));
        sw.output("port ge0 enable=0");
        EXPECT_TRUE(output_becomes(sw, "ps ge0", "DIS down", 20));
        std::string seen = sw.output("cablediag ge0");
        EXPECT_NE(seen.find("pair C Open, length 4 metres"), std::string::npos) << seen;
        EXPECT_EQ(seen.find("link up"), std::string::npos) << seen;
        EXPECT_NE(sw.output("ps ge0").find("DIS down"), std::string::npos);

        const int web = sw.port_offset() + 80;
        const std::string cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
        const std::string page = web_client::post(web, "/cable.cgi", "port=" + ge0, cookie);
        EXPECT_NE(page.find("<th>Pair C</th><td>Open, length 4 meters</td>"), std::string::npos)
            << page;
        EXPECT_NE(sw.output("ps ge0").find("DIS down"), std::string::npos);
    }
    Switch sw(test_workdir::path(),
              {"--board", b.board, "--gig-phy", "6401s", "--cable", ge0 + "=10", "--fiber", ge0});
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    ASSERT_TRUE(output_becomes(sw, "combo ge0", "Fiber medium (active)", 30));
    EXPECT_TRUE(output_becomes(sw, "ps ge0", "up      1G FD", 20));
    sw.output("port ge0 enable=0");
    EXPECT_TRUE(output_becomes(sw, "ps ge0", "DIS down", 20));
    if (system_fixture::sh("snmpget --version") == 0) {
        const std::string said =
            sh_out("snmpget -v2c -c public -On -r 1 -t 5 127.0.0.1:" +
                   std::to_string(sw.port_offset() + 161) + " .1.3.6.1.2.1.2.2.1.7." + ge0 +
                   " .1.3.6.1.2.1.2.2.1.8." + ge0 + " 2>&1");
        EXPECT_NE(said.find(".7." + ge0 + " = INTEGER: 2"), std::string::npos) << said;
        EXPECT_NE(said.find(".8." + ge0 + " = INTEGER: 2"), std::string::npos) << said;
    }
    const std::string before = sw.output("combo ge0");
    const std::string seen = sw.output("combo ge0 copper force_speed=12345");
    EXPECT_NE(seen.find("Error setting medium config"), std::string::npos) << seen;
    EXPECT_EQ(sw.output("combo ge0"), before);
}

INSTANTIATE_TEST_SUITE_P(
    EveryBoard, gig_phy_combo,
    ::testing::Values(ComboBoard{"52", "6401s", "49", "50", {}},
                      ComboBoard{"28", "6401s", "25", "26", {}},
                      ComboBoard{
                          "26", "640x", "25", "26", {"phy_automedium=1", "phy_fiber_pref=1"}}),
    [](const ::testing::TestParamInfo<ComboBoard> &info) {
        return std::string("Board") + info.param.board;
    });

// The port page's form of a port, posted as its script presets it except
// for auto-negotiation, speed and flow control.
std::string port_post(int web, const std::string &cookie, const std::string &port,
                      const char *autonego, const char *speed) {
    std::string body = "port=" + port + "&admin=1&autonego=" + autonego;
    if (speed != nullptr) body += std::string("&speed=") + speed;
    return web_client::post(web, "/portset.cgi", body + "&flow_ctrl=0&priority=0&pvid=1", cookie);
}

// The port (ge0, front-panel 25 unless named) forced to 100 full from its
// page, as an administrator does.
void forced_100_full_from_page(Switch &sw, const std::string &port = "25") {
    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    const std::string answer = port_post(web, cookie, port, "0", "4");
    EXPECT_EQ(answer.find("ERROR"), std::string::npos) << answer;
    EXPECT_TRUE(output_becomes(sw, "port ge0", "Forced(100MFD) ", 20)) << sw.output("port ge0");
}

struct FibreSave {
    const char *board;
    const char *phy;
    const char *port;  // front-panel number of ge1
    std::vector<std::string> settings;
};
void PrintTo(const FibreSave &f, std::ostream *os) {
    *os << f.phy << " on " << f.board;
}

class gig_phy_fibre_save : public ::testing::TestWithParam<FibreSave> {};

// A copper/fibre port that first boots on its fibre, and is saved there
// from the port page, restarts on copper as it was set: negotiating, with
// every copper speed advertised, and the page on Auto.
TEST_P(gig_phy_fibre_save, ARestartOnCopperRunsWhatWasSetOnFibre) {
    const FibreSave &f = GetParam();
    if (!f.settings.empty()) configure(f.board, f.settings);
    const std::string port = f.port;
    {
        Switch sw(test_workdir::path(), {"--board", f.board, "--gig-phy", f.phy, "--cable",
                                         port + "=10", "--fiber", port});
        ASSERT_TRUE(sw.run("", "DXP.0> "));
        ASSERT_TRUE(output_becomes(sw, "combo ge1", "Fiber medium (active)", 30));
        EXPECT_TRUE(output_becomes(sw, "ps ge1", "up      1G FD", 20));
        // The first advertisement reaches the copper side too: no 1000 half.
        EXPECT_NE(sw.output("combo ge1").find("10half(0x2f)"), std::string::npos);
        const int web = sw.port_offset() + 80;
        const std::string cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
        const std::string answer = port_post(web, cookie, port, "1", nullptr);
        EXPECT_EQ(answer.find("ERROR"), std::string::npos) << answer;
    }
    Switch sw(test_workdir::path(),
              {"--board", f.board, "--gig-phy", f.phy, "--cable", port + "=10"});
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    EXPECT_TRUE(output_becomes(sw, "ps ge1", "up      1G FD", 20));
    EXPECT_NE(sw.output("phy ge1 4").find("Reg 4: 0x01e1"), std::string::npos);
    EXPECT_NE(sw.output("port ge1").find("Auto(1GFD) "), std::string::npos);
    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    const std::string form = web_client::get(web, "/setport.cgi?port=" + port, cookie);
    EXPECT_NE(form.find("autonego = Number(\"1\")"), std::string::npos) << form;
}

INSTANTIATE_TEST_SUITE_P(
    EveryBoard, gig_phy_fibre_save,
    ::testing::Values(FibreSave{"52", "6401s", "50", {}}, FibreSave{"28", "6401s", "26", {}},
                      FibreSave{"26", "6401s", "26", {}}, FibreSave{"26", "6412", "26", {}},
                      FibreSave{"26", "640x", "26", {"phy_automedium=1", "phy_fiber_pref=1"}}),
    [](const ::testing::TestParamInfo<FibreSave> &info) {
        return std::string("Dxp") + info.param.phy + "Board" + info.param.board;
    });

// Auto-negotiation changed on either medium holds on the other: ge0 forced
// to 100 full on copper and applied unchanged on its fibre, which negotiates,
// stays forced when the fibre leaves; ge1 forced to 1000 on its fibre (which
// keeps its link with the negotiating partner) runs copper's forced
// gigabit (negotiating 1000 full alone) on copper, and set to Auto there
// links on the fibre again.
TEST_P(gig_phy_combo, AutoSetOnEitherMediumHoldsOnTheOther) {
    const ComboBoard &b = GetParam();
    if (!b.settings.empty()) configure(b.board, b.settings);
    const std::string ge0 = b.ge0, ge1 = b.ge1;
    Switch sw(test_workdir::path(), {"--board", b.board, "--gig-phy", b.phy, "--cable", ge0 + "=10",
                                     "--cable", ge1 + "=10", "--fiber", ge0 + "@25-45", "--fiber",
                                     ge1 + "@0-25", "--fiber", ge1 + "@45"});
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    ASSERT_TRUE(output_becomes(sw, "combo ge1", "Fiber medium (active)", 20));
    EXPECT_EQ(port_post(web, cookie, ge0, "0", "4").find("ERROR"), std::string::npos);
    EXPECT_EQ(port_post(web, cookie, ge1, "0", "5").find("ERROR"), std::string::npos);
    EXPECT_TRUE(output_becomes(sw, "port ge0", "Forced(100MFD)", 10));
    // The PHY, not only the fibre's stored configuration, runs forced.
    EXPECT_TRUE(output_becomes(sw, "port ge1", "*ge1 LS(SW) Forced(1GFD)", 10))
        << sw.output("combo ge1");

    ASSERT_TRUE(output_becomes(sw, "combo ge0", "Fiber medium (active)", 40));
    EXPECT_NE(sw.output("port ge0").find("Auto(1GFD)"), std::string::npos);
    EXPECT_EQ(port_post(web, cookie, ge0, "1", nullptr).find("ERROR"), std::string::npos);
    ASSERT_TRUE(output_becomes(sw, "combo ge1", "Copper medium (active)", 40));
    EXPECT_TRUE(output_becomes(sw, "ps ge1", "up      1G FD", 20)) << sw.output("port ge1");
    const std::string phy = sw.output("phy ge1");
    EXPECT_NE(phy.find("0x00: 0x1140"), std::string::npos) << phy;
    EXPECT_NE(phy.find("0x04: 0x0001"), std::string::npos) << phy;
    std::string form = web_client::get(web, "/setport.cgi?port=" + ge1, cookie);
    EXPECT_NE(form.find("speed = Number(\"5\")"), std::string::npos) << form;
    EXPECT_EQ(port_post(web, cookie, ge1, "1", nullptr).find("ERROR"), std::string::npos);

    ASSERT_TRUE(output_becomes(sw, "combo ge0", "Copper medium (active)", 40));
    EXPECT_TRUE(output_becomes(sw, "ps ge0", "up    100M FD", 20));
    EXPECT_NE(sw.output("port ge0").find("Forced(100MFD)"), std::string::npos);
    ASSERT_TRUE(output_becomes(sw, "combo ge1", "Fiber medium (active)", 40));
    EXPECT_TRUE(output_becomes(sw, "ps ge1", "up      1G FD", 20));
    EXPECT_NE(sw.output("port ge1").find("Auto(1GFD)"), std::string::npos);
    form = web_client::get(web, "/setport.cgi?port=" + ge1, cookie);
    EXPECT_NE(form.find("autonego = Number(\"1\")"), std::string::npos) << form;
}

// Flow control set on a forced copper port holds on its fibre, which
// negotiates: ge0, which negotiated with flow control before the page forced
// it to 100 full without, pauses on neither medium; ge1, forced to 10 half
// with flow control, pauses on both and again when its copper is back, also
// after an unchanged Apply of its page on the fibre. A save while both run
// on fibre restarts them on copper as they were set, advertising what they
// were saved with.
TEST_P(gig_phy_combo, FlowControlOfAForcedPortHoldsOnBothMedia) {
    const ComboBoard &b = GetParam();
    if (!b.settings.empty()) configure(b.board, b.settings);
    const std::string ge0 = b.ge0, ge1 = b.ge1;
    const std::vector<std::string> copper{"--board", b.board,     "--gig-phy", b.phy,
                                          "--cable", ge0 + "=10", "--cable",   ge1 + "=10"};
    auto flow_shown = [](int web, const std::string &cookie, const std::string &port) {
        return web_client::get(web, "/setport.cgi?port=" + port, cookie)
                   .find("flow_ctrl = Number(\"1\")") != std::string::npos;
    };
    {
        std::vector<std::string> args = copper;
        args.insert(args.end(), {"--fiber", ge0 + "@20", "--fiber", ge1 + "@20-40"});
        Switch sw(test_workdir::path(), args);
        ASSERT_TRUE(sw.run("", "DXP.0> "));
        const int web = sw.port_offset() + 80;
        const std::string cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
        const auto post = [&](const std::string &port, const char *rest) {
            const std::string answer = web_client::post(
                web, "/portset.cgi", "port=" + port + "&admin=1&" + rest + "&priority=0&pvid=1",
                cookie);
            EXPECT_EQ(answer.find("ERROR"), std::string::npos) << answer;
        };
        post(ge0, "autonego=1&flow_ctrl=1");
        post(ge0, "autonego=0&speed=4&flow_ctrl=0");
        post(ge1, "autonego=0&speed=1&flow_ctrl=1");
        EXPECT_TRUE(output_becomes(sw, "ps ge1", "10M HD    SW   No   Forward  TX RX", 20));

        ASSERT_TRUE(output_becomes(sw, "combo ge0", "Fiber medium (active)", 40));
        ASSERT_TRUE(output_becomes(sw, "combo ge1", "Fiber medium (active)", 20));
        EXPECT_TRUE(output_becomes(sw, "ps ge0", "up      1G FD", 20));
        EXPECT_TRUE(output_becomes(sw, "ps ge1", "1G FD    SW   Yes  Forward  TX RX", 20))
            << sw.output("combo ge1");
        EXPECT_EQ(sw.output("ps ge0").find("TX RX"), std::string::npos) << sw.output("combo ge0");
        EXPECT_FALSE(flow_shown(web, cookie, ge0));
        EXPECT_TRUE(flow_shown(web, cookie, ge1));
        // ge1's form applied as the fibre shows it (Auto) changes nothing of
        // its forced copper, now or in the save.
        const std::string form = web_client::get(web, "/setport.cgi?port=" + ge1, cookie);
        EXPECT_NE(form.find("autonego = Number(\"1\")"), std::string::npos) << form;
        post(ge1, "autonego=1&flow_ctrl=1");
        post("1", "autonego=1&flow_ctrl=0");  // saves every port's row

        ASSERT_TRUE(output_becomes(sw, "combo ge1", "Copper medium (active)", 40));
        EXPECT_TRUE(output_becomes(sw, "ps ge1", "10M HD    SW   No   Forward  TX RX", 20))
            << sw.output("ps ge1");
    }
    Switch sw(test_workdir::path(), copper);
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    EXPECT_TRUE(output_becomes(sw, "port ge0", "Forced(100MFD) ", 20)) << sw.output("port ge0");
    EXPECT_TRUE(output_becomes(sw, "port ge1", "Forced(10MHD+TXpau+RXpau) ", 20))
        << sw.output("port ge1");
    // Forced, they keep the advertisement they were saved with: no 1000 half.
    for (const char *port : {"ge0", "ge1"}) {
        const std::string combo = sw.output(std::string("combo ") + port);
        EXPECT_EQ(combo.find("1000half"), std::string::npos) << combo;
    }
    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    EXPECT_FALSE(flow_shown(web, cookie, ge0));
    EXPECT_TRUE(flow_shown(web, cookie, ge1));
}

// A 6416 port on the 28-port board forced to 100 full on its 100BASE-FX
// fibre shows and runs 100 full once the fibre is pulled (it keeps the kind
// it last linked as), and on copper after a restart without the fibre.
TEST(gig_phy_e2e, A6416ForcedTo100FullOnAnFxFibreStaysForcedWithoutIt) {
    configure("28", {"phy_automedium_ge0=1", "phy_fiber_pref_ge0=1"});
    const auto form_forced = [](Switch &sw) {
        const int web = sw.port_offset() + 80;
        const std::string cookie = web_client::login(web, "qivor");
        const std::string form = web_client::get(web, "/setport.cgi?port=25", cookie);
        return form.find("autonego = Number(\"0\")") != std::string::npos &&
               form.find("speed = Number(\"4\")") != std::string::npos;
    };
    {
        Switch sw(test_workdir::path(),
                  {"--board", "28", "--gig-phy", "6416", "--fiber", "25@0-12/100"});
        ASSERT_TRUE(sw.run("", "DXP.0> "));
        ASSERT_TRUE(output_becomes(sw, "ps ge0", "100M FD", 30)) << sw.output("combo ge0");
        forced_100_full_from_page(sw);
        // The fibre goes 12 seconds after the start; link scan sees it.
        sleep(14);
        EXPECT_TRUE(output_becomes(sw, "port ge0", "Forced(100MFD) ", 20)) << sw.output("port ge0");
        EXPECT_TRUE(form_forced(sw));
    }
    {
        Switch sw(test_workdir::path(), {"--board", "28", "--gig-phy", "6416", "--cable", "25=10"});
        ASSERT_TRUE(sw.run("", "DXP.0> "));
        EXPECT_TRUE(output_becomes(sw, "port ge0", "Forced(100MFD) ", 20)) << sw.output("port ge0");
        EXPECT_TRUE(output_becomes(sw, "ps ge0", "up    100M FD", 20)) << sw.output("ps ge0");
        EXPECT_TRUE(form_forced(sw));
    }
    // Restarted on an unlit fibre, whose kind shows only at link, the port
    // runs the fibre's own (1000BASE-X) setting until a 100BASE-FX fibre
    // links, which runs the 100 full set.
    Switch sw(test_workdir::path(), {"--board", "28", "--gig-phy", "6416", "--fiber", "25@6/100"});
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    EXPECT_NE(sw.output("port ge0").find("Auto(no link) Adv(1GFD)"), std::string::npos)
        << sw.output("port ge0");
    EXPECT_TRUE(output_becomes(sw, "port ge0", "Forced(100MFD) ", 30)) << sw.output("port ge0");
    EXPECT_TRUE(form_forced(sw));
}

TEST(gig_phy_e2e, BadChoicesEndTheProgramWithTheReason) {
    const std::string run = std::string(SWITCHFW_PATH) + " --flash f.bin --fs fs --exit-on-eof ";
    std::string out = sh_out(run + "--gig-phy fibre </dev/null 2>&1; echo rc=$?");
    EXPECT_NE(out.find("--gig-phy must be board, serdes, copper, 640x, 6401s or a model"),
              std::string::npos)
        << out;
    out = sh_out(run + "--board 26 --gig-phy 640x --fiber 25@9-4 </dev/null 2>&1; echo rc=$?");
    EXPECT_NE(out.find("--fiber needs PORT[@S[-E]][/100]"), std::string::npos) << out;
    out = sh_out(run + "--board 26 --gig-phy 6401s --fiber 25/100 </dev/null 2>&1; echo rc=$?");
    EXPECT_NE(out.find("takes no 100BASE-FX"), std::string::npos) << out;
    out = sh_out(run + "--board 26 --cable 25=40/E=open@3 </dev/null 2>&1; echo rc=$?");
    EXPECT_NE(out.find("a pair fault is PAIR=FAULT@METRES"), std::string::npos) << out;
    EXPECT_NE(out.find("rc=2"), std::string::npos) << out;
    out = sh_out(run + "--board 26 --fiber 3 </dev/null 2>&1; echo rc=$?");
    EXPECT_NE(out.find("port 3 has no fibre side"), std::string::npos) << out;
    out = sh_out(run + "--board 26 --gig-phy serdes </dev/null 2>&1; echo rc=$?");
    EXPECT_NE(out.find("the DXP7102_A1 of the 26-port board has no SERDES for its gigabit ports"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("rc=2"), std::string::npos) << out;
}

// A gigabit PHY kind on a board whose gigabit ports have no cable.
struct EmptyPorts {
    const char *board;
    const char *phy;
};
void PrintTo(const EmptyPorts &e, std::ostream *os) {
    *os << e.phy << " on " << e.board;
}

class gig_phy_empty_loopback : public ::testing::TestWithParam<EmptyPorts> {};

// A PHY loopback loops on a port with no medium, whatever the PHY: the
// loopback test, the snake and the traffic test pass on empty gigabit ports.
TEST_P(gig_phy_empty_loopback, TheLoopbackTestsPassOnEmptyGigabitPorts) {
    Switch sw(test_workdir::path(), {"--board", GetParam().board, "--gig-phy", GetParam().phy});
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    // The port page posted as it shows leaves the empty port as it was.
    const std::string ge1 = std::string(GetParam().board) == "52" ? "50" : "26";
    const std::string before = sw.output("port ge1");
    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    const std::string form = web_client::get(web, "/setport.cgi?port=" + ge1, cookie);
    const size_t at = form.find("autonego = Number(\"");
    ASSERT_NE(at, std::string::npos) << form;
    const std::string autonego = form.substr(at + 19, 1);
    EXPECT_EQ(port_post(web, cookie, ge1, autonego.c_str(), autonego == "0" ? "5" : nullptr)
                  .find("errorbox"),
              std::string::npos);
    EXPECT_EQ(sw.output("port ge1"), before) << autonego;
    std::string out = sw.output("TestRun 49 PortBitMap=ge0-ge1 Count=2 LengthEnd=72 COSEnd=0");
    EXPECT_NE(out.find("recv 68 pkt"), std::string::npos) << out;
    out += sw.output("TestRun 39 PortBitMap=ge0-ge1 Count=1 Duration=1 LoopbackMode=PHY", 120);
    EXPECT_NE(out.find("Port ge1 ("), std::string::npos) << out;
    out += sw.output(
        "TestRun 72 PortBitMap=ge0-ge1 RunMode=PHY TimeInSeconds=1 CounterPollInterval=1", 120);
    EXPECT_NE(out.find("TEST passed"), std::string::npos) << out;
    EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << out;
    EXPECT_NE(sw.output("TestList fail").find("All tests passed"), std::string::npos) << out;
    // Looped no more: the empty ports have no link.
    EXPECT_EQ(link_becomes(sw, "ge0", "down"), "down");
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, gig_phy_empty_loopback,
    ::testing::Values(EmptyPorts{"52", "6401s"}, EmptyPorts{"28", "6401s"},
                      EmptyPorts{"26", "6401s"}, EmptyPorts{"52", "board"},
                      EmptyPorts{"28", "serdes"}, EmptyPorts{"26", "copper"},
                      EmptyPorts{"52", "640x"}, EmptyPorts{"28", "6406"}, EmptyPorts{"26", "6407"},
                      EmptyPorts{"52", "6408"}, EmptyPorts{"28", "6409"}, EmptyPorts{"26", "6410"},
                      EmptyPorts{"52", "6402"}, EmptyPorts{"28", "6412"}, EmptyPorts{"26", "6413"},
                      EmptyPorts{"52", "6414"}, EmptyPorts{"28", "6415"}, EmptyPorts{"26", "6416"}),
    [](const ::testing::TestParamInfo<EmptyPorts> &info) {
        return std::string("Dxp") + info.param.phy + "Board" + info.param.board;
    });

// What the port's form presets: auto-negotiation, speed code and flow
// control, one digit each.
std::string form_of(int web, const std::string &cookie, const std::string &port = "25") {
    const std::string form = web_client::get(web, "/setport.cgi?port=" + port, cookie);
    std::string shown;
    for (const char *field : {"autonego", "speed", "flow_ctrl"}) {
        const size_t at = form.find(std::string(field) + " = Number(\"");
        shown += at == std::string::npos ? "?" : form.substr(at + std::strlen(field) + 11, 1);
    }
    return shown;
}

// A 640X port on a 100BASE-FX fibre runs what the page and the monitor
// force it to, 100 full with or without pause, and keeps the page's over a
// restart; what 100BASE-FX cannot run is refused by name and changes
// nothing.
TEST(gig_phy_e2e, A640xOn100BaseFxRunsTheForced100FullItIsSet) {
    configure("26", {"phy_automedium=1", "phy_fiber_pref=1"});
    const std::vector<std::string> args =
        with_board({"--gig-phy", "640x", "--cable", "25=10", "--fiber", "25/100"});
    const std::string forced_pause = "Forced(100MFD+TXpau+RXpau) ";
    {
        Switch sw(test_workdir::path(), args);
        ASSERT_TRUE(sw.run("", "DXP.0> "));
        ASSERT_TRUE(output_becomes(sw, "port ge0", "Auto(100MFD", 30)) << sw.output("port ge0");
        const int web = sw.port_offset() + 80;
        const std::string cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
        const auto post = [&](const char *speed, const char *flow) {
            return web_client::post(web, "/portset.cgi",
                                    std::string("port=25&admin=1&autonego=0&speed=") + speed +
                                        "&flow_ctrl=" + flow + "&priority=0&pvid=1",
                                    cookie);
        };
        std::string answer = post("4", "1");
        EXPECT_EQ(answer.find("ERROR"), std::string::npos) << answer;
        EXPECT_TRUE(output_becomes(sw, "port ge0", forced_pause, 20)) << sw.output("port ge0");
        EXPECT_EQ(form_of(web, cookie), "041");
        for (const auto &[speed, refusal] : {std::pair{"5", "port 25 cannot run 1Gbps Full"},
                                             std::pair{"3", "port 25 cannot run 100Mbps Half"}}) {
            answer = post(speed, "0");
            EXPECT_NE(answer.find(refusal), std::string::npos) << answer;
        }
        std::string out = sw.output("port ge0 AN=off SPeed=1000");
        EXPECT_NE(out.find("Port ge0 cannot run 1000 Mb/s"), std::string::npos) << out;
        // The monitor forces the same from a negotiating port in one line.
        sw.output("port ge0 AN=on");
        EXPECT_TRUE(output_becomes(sw, "port ge0", "Auto(100MFD", 20)) << sw.output("port ge0");
        out = sw.output("port ge0 AN=off SPeed=100 FullDuplex=true TxPAUse=on RxPAUse=on");
        EXPECT_EQ(out.find("Error"), std::string::npos) << out;
        EXPECT_TRUE(output_becomes(sw, "port ge0", forced_pause, 20)) << sw.output("port ge0");
    }
    Switch sw(test_workdir::path(), args);
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    EXPECT_TRUE(output_becomes(sw, "port ge0", forced_pause, 30)) << sw.output("port ge0");
    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    EXPECT_EQ(form_of(web, cookie), "041");
}

// A forced 100 full set on copper reaches a 100BASE-FX fibre that comes
// later, whether it was set before the fibre came or before a restart.
TEST(gig_phy_e2e, AForced100FullReachesA100BaseFxFibreThatComesLater) {
    configure("26", {"phy_automedium=1", "phy_fiber_pref=1"});
    const std::vector<std::string> args =
        with_board({"--gig-phy", "640x", "--cable", "25=10", "--fiber", "25@8/100"});
    const std::string forced_pause = "Forced(100MFD+TXpau+RXpau) ";
    for (const bool restarted : {false, true}) {
        SCOPED_TRACE(restarted ? "after a restart" : "set on copper");
        Switch sw(test_workdir::path(), args);
        ASSERT_TRUE(sw.run("", "DXP.0> "));
        ASSERT_TRUE(output_becomes(sw, "combo ge0", "Copper medium (active)", 5));
        const int web = sw.port_offset() + 80;
        const std::string cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
        if (!restarted) {
            const std::string answer = web_client::post(
                web, "/portset.cgi",
                "port=25&admin=1&autonego=0&speed=4&flow_ctrl=1&priority=0&pvid=1", cookie);
            EXPECT_EQ(answer.find("ERROR"), std::string::npos) << answer;
        }
        EXPECT_NE(sw.output("combo ge0").find("Copper medium (active)"), std::string::npos);
        EXPECT_TRUE(output_becomes(sw, "port ge0", forced_pause, 5)) << sw.output("port ge0");
        EXPECT_TRUE(output_becomes(sw, "combo ge0", "Fiber medium (active)", 20));
        EXPECT_TRUE(output_becomes(sw, "port ge0", forced_pause, 10)) << sw.output("port ge0");
        EXPECT_EQ(form_of(web, cookie), "041");
    }
}

// The arguments with a --fiber for each of the fibres.
std::vector<std::string> with_fibre(std::vector<std::string> args,
                                    std::initializer_list<std::string> fibres) {
    for (const std::string &fibre : fibres)
        args.insert(args.end(), {"--fiber", fibre});
    return args;
}

// A 6416 port on each board, with the front-panel numbers of ge0 and ge1.
struct FibreOwn {
    const char *board;
    const char *phy;
    const char *ge0;
    const char *ge1;
};
void PrintTo(const FibreOwn &f, std::ostream *os) {
    *os << f.phy << " on " << f.board;
}

class gig_phy_fibre_own : public ::testing::TestWithParam<FibreOwn> {};

// A fibre's forced speed is its own: ge0's 1000BASE-X fibre forced to 1000
// (its copper then forced to gigabit in the copper's own form), ge1's
// 100BASE-FX fibre forced to 100 full with its copper set to negotiate on
// its own (`combo`). With the fibres pulled and copper running, each page
// applied as it shows with only the priority changed keeps the fibre's
// setting, as does an Apply whose copper passes forced gigabit on the way,
// and both fibres run forced after a restart.
TEST_P(gig_phy_fibre_own, APriorityOnlyApplyOnCopperKeepsTheFibresForcedSpeed) {
    const FibreOwn &f = GetParam();
    configure(f.board, {"phy_automedium=1", "phy_fiber_pref=1"});
    const std::string ge0 = f.ge0, ge1 = f.ge1;
    const std::vector<std::string> cables{"--board", f.board,     "--gig-phy", f.phy,
                                          "--cable", ge0 + "=10", "--cable",   ge1 + "=10"};
    const std::string forced_1000 =
        "force_speed=1000 force_duplex=1 master=None\n\tautoneg_enable=0";
    const std::string forced_100 = "force_speed=100 force_duplex=1 master=None\n\tautoneg_enable=0";
    {
        Switch sw(test_workdir::path(), with_fibre(cables, {ge0 + "@0-25", ge1 + "@0-25/100"}));
        ASSERT_TRUE(sw.run("", "DXP.0> "));
        ASSERT_TRUE(output_becomes(sw, "ps ge0", "up      1G FD", 20)) << sw.output("combo ge0");
        ASSERT_TRUE(output_becomes(sw, "ps ge1", "up    100M FD", 20)) << sw.output("combo ge1");
        const int web = sw.port_offset() + 80;
        const std::string cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
        EXPECT_EQ(port_post(web, cookie, ge0, "0", "5").find("ERROR"), std::string::npos);
        EXPECT_EQ(port_post(web, cookie, ge1, "0", "4").find("ERROR"), std::string::npos);
        sw.output("combo ge1 copper autoneg_enable=1");
        // Set while the fibres ran: the copper takes over only after this.
        ASSERT_NE(sw.output("combo ge0").find("Fiber medium (active)"), std::string::npos);
        ASSERT_NE(sw.output("combo ge1").find("Fiber medium (active)"), std::string::npos);

        for (const std::string &port : {ge0, ge1}) {
            SCOPED_TRACE(port);
            const std::string name = port == ge0 ? "ge0" : "ge1";
            ASSERT_TRUE(output_becomes(sw, "combo " + name, "Copper medium (active)", 60));
            const std::string shown = form_of(web, cookie, port);
            std::string body = "port=" + port + "&admin=1&autonego=" + shown.substr(0, 1);
            if (shown[0] == '0') body += "&speed=" + shown.substr(1, 1);
            body += "&flow_ctrl=" + shown.substr(2, 1) + "&priority=6&pvid=1";
            const std::string answer = web_client::post(web, "/portset.cgi", body, cookie);
            EXPECT_EQ(answer.find("ERROR"), std::string::npos) << answer;
            const std::string &forced = port == ge0 ? forced_1000 : forced_100;
            EXPECT_NE(sw.output("combo " + name).find(forced), std::string::npos)
                << sw.output("combo " + name);
            // So does an Apply passing forced gigabit on the way: off with the
            // stored 1000 full to 10 full, on from 1000 full alone to all.
            for (const auto &[copper, autonego, speed] :
                 {std::tuple{"1 autoneg_advert=10,100,1000full force_speed=1000", "0", "2"},
                  std::tuple{"0 autoneg_advert=1000full force_speed=10", "1",
                             static_cast<const char *>(nullptr)}}) {
                sw.output("combo " + name + " copper force_duplex=1 autoneg_enable=" + copper);
                sw.output("combo " + name +
                          " fiber autoneg_enable=0 force_speed=" + (port == ge0 ? "1000" : "100"));
                EXPECT_EQ(port_post(web, cookie, port, autonego, speed).find("ERROR"),
                          std::string::npos);
                EXPECT_NE(sw.output("combo " + name).find(forced), std::string::npos)
                    << sw.output("combo " + name);
            }
        }
    }
    Switch sw(test_workdir::path(), with_fibre(cables, {ge0, ge1 + "/100"}));
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    EXPECT_TRUE(output_becomes(sw, "port ge0", "Forced(1GFD)", 30)) << sw.output("combo ge0");
    EXPECT_TRUE(output_becomes(sw, "port ge1", "Forced(100MFD)", 30)) << sw.output("combo ge1");
}

INSTANTIATE_TEST_SUITE_P(EveryBoard, gig_phy_fibre_own,
                         ::testing::Values(FibreOwn{"28", "6416", "25", "26"},
                                           FibreOwn{"52", "6416", "49", "50"},
                                           FibreOwn{"26", "640x", "25", "26"}),
                         [](const ::testing::TestParamInfo<FibreOwn> &info) {
                             return std::string("Board") + info.param.board;
                         });

// A copper/fibre port whose fibre runs 100BASE-FX is tested at the speed it
// runs, by the PHY loopback and the snake, and given back as it was: on the
// 26-port board with a 640X, on the 28-port board with a 6416.
TEST(gig_phy_e2e, LoopbackTestsRunA100BaseFxFibreAtItsSpeed) {
    for (const auto &[board, phy] : {std::pair{"26", "640x"}, std::pair{"28", "6416"}}) {
        SCOPED_TRACE(board);
        configure(board, {"phy_automedium=1", "phy_fiber_pref=1"});
        Switch sw(test_workdir::path(),
                  {"--board", board, "--gig-phy", phy, "--cable", "25=10", "--fiber", "25/100"});
        ASSERT_TRUE(sw.run("", "DXP.0> "));
        // The port runs its fibre, on the 28-port board over SGMII.
        ASSERT_TRUE(output_becomes(sw, "ps ge0", "up    100M FD", 30)) << sw.output("ps ge0");
        // Its gigabit advertisement offers nothing it runs: no reduced one.
        const int web = sw.port_offset() + 80;
        const std::string form =
            web_client::get(web, "/setport.cgi?port=25", web_client::login(web, "qivor"));
        EXPECT_NE(form.find("autonego = Number(\"1\")"), std::string::npos) << form;
        const std::string before = sw.output("port ge0");
        std::string out = sw.output(
            "TestRun 49 PortBitMap=ge0 LoopbackMode=PHY Count=2 LengthEnd=600 COSEnd=0", 120);
        out += sw.output("TestRun 39 PortBitMap=ge0-ge1 Count=1 Duration=1 LoopbackMode=PHY", 120);
        EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << out;
        EXPECT_EQ(out.find("Invalid parameter"), std::string::npos) << out;
        EXPECT_NE(sw.output("TestList fail").find("All tests passed"), std::string::npos) << out;
        EXPECT_TRUE(output_becomes(sw, "port ge0", before, 20)) << before << sw.output("port ge0");
    }
}

// A 6416 reaches the MAC over SGMII on the 28- and 52-port boards: a
// 100BASE-FX fibre links at 100 full there as on the 26-port board, and runs
// the forced 100 full that the monitor and the page set. Saved while its
// fibre is unlit (the port runs the fibre's own 1000BASE-X setting until one
// links), from another port's page or the monitor, the port keeps the forced
// 100 full that was set.
TEST(gig_phy_e2e, A6416RunsA100BaseFxFibreOnEveryBoardAndKeepsItsSettingUnlit) {
    for (const auto &[board, ge0, ge1] :
         {std::tuple{"28", "25", "26"}, std::tuple{"52", "49", "50"},
          std::tuple{"26", "25", "26"}}) {
        SCOPED_TRACE(board);
        configure(board, {"phy_automedium_ge0=1", "phy_fiber_pref_ge0=1"});
        const std::vector<std::string> lit = {"--board", board,     "--gig-phy",
                                              "6416",    "--fiber", std::string(ge0) + "/100"};
        {
            Switch sw(test_workdir::path(), lit);
            ASSERT_TRUE(sw.run("", "DXP.0> "));
            ASSERT_TRUE(output_becomes(sw, "ps ge0", "up    100M FD", 30)) << sw.output("port ge0");
            const std::string out = sw.output("port ge0 AN=off SPeed=100 FullDuplex=true");
            EXPECT_EQ(out.find("Error"), std::string::npos) << out;
            EXPECT_TRUE(output_becomes(sw, "port ge0", "Forced(100MFD) ", 20))
                << sw.output("port ge0");
            sw.output("port ge0 AN=on");
            forced_100_full_from_page(sw, ge0);
            EXPECT_TRUE(output_becomes(sw, "ps ge0", "up    100M FD", 20)) << sw.output("ps ge0");
        }
        {
            Switch sw(test_workdir::path(), {"--board", board, "--gig-phy", "6416", "--fiber",
                                             std::string(ge0) + "@600/100"});
            ASSERT_TRUE(sw.run("", "DXP.0> "));
            EXPECT_NE(sw.output("port ge0").find("Auto(no link) Adv(1GFD)"), std::string::npos)
                << sw.output("port ge0");
            const int web = sw.port_offset() + 80;
            const std::string cookie = web_client::login(web, "qivor");
            ASSERT_FALSE(cookie.empty());
            const std::string answer = port_post(web, cookie, ge1, "1", nullptr);
            EXPECT_EQ(answer.find("ERROR"), std::string::npos) << answer;
            sw.output("config save");
        }
        Switch sw(test_workdir::path(), lit);
        ASSERT_TRUE(sw.run("", "DXP.0> "));
        EXPECT_TRUE(output_becomes(sw, "port ge0", "Forced(100MFD) ", 30)) << sw.output("port ge0");
        const int web = sw.port_offset() + 80;
        const std::string cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
        EXPECT_EQ(form_of(web, cookie, ge0).substr(0, 2), "04");
    }
}

// A 6416 that does not watch its medium (the fibre preferred alone) learns
// a 100BASE-FX fibre all the same, on the 52- and 28-port boards: its page
// offers and takes the 100 full it runs, refuses 1000 by name, and a restart
// keeps it. The fibre's setting is its own: the copper's set to negotiate
// (`combo`, then saved from another port's page) leaves the fibre forced,
// over a restart and a pulled and plugged fibre.
TEST(gig_phy_e2e, A6416WithoutMediumDetectionKeepsWhatItsFxFibreRuns) {
    for (const auto &[board, port] : {std::pair{"52", "49"}, std::pair{"28", "25"}}) {
        SCOPED_TRACE(board);
        configure(board, {"phy_fiber_pref=1"});
        const std::string p = port;
        std::vector<std::string> args{"--board", board, "--gig-phy", "6416", "--cable", p + "=10"};
        {
            Switch sw(test_workdir::path(), with_fibre(args, {p + "/100"}));
            ASSERT_TRUE(sw.run("", "DXP.0> "));
            ASSERT_TRUE(output_becomes(sw, "port ge0", "Auto(100MFD", 30)) << sw.output("port ge0");
            const int web = sw.port_offset() + 80;
            const std::string cookie = web_client::login(web, "qivor");
            const std::string form = web_client::get(web, "/setport.cgi?port=" + p, cookie);
            EXPECT_NE(form.find("ptype = Number(\"4\")"), std::string::npos) << form;
            const std::string answer = port_post(web, cookie, p, "0", "5");
            EXPECT_NE(answer.find("port " + p + " cannot run 1Gbps Full"), std::string::npos)
                << answer;
            EXPECT_NE(sw.output("port ge0").find("Auto(100MFD"), std::string::npos);
            forced_100_full_from_page(sw, p);
            sw.output("combo ge0 copper autoneg_enable=1");
            EXPECT_NE(sw.output("port ge0").find("Forced(100MFD) "), std::string::npos);
            EXPECT_EQ(port_post(web, cookie, "1", "1", nullptr).find("ERROR"), std::string::npos);
        }
        Switch sw(test_workdir::path(), with_fibre(args, {p + "@0-12/100", p + "@16/100"}));
        ASSERT_TRUE(sw.run("", "DXP.0> "));
        EXPECT_TRUE(output_becomes(sw, "port ge0", "Forced(100MFD) ", 30)) << sw.output("port ge0");
        const std::string combo = sw.output("combo ge0");
        EXPECT_NE(combo.find("master=Auto\n\tautoneg_enable=1"), std::string::npos) << combo;
        EXPECT_NE(combo.find("master=None\n\tautoneg_enable=0"), std::string::npos) << combo;
        EXPECT_TRUE(output_becomes(sw, "ps ge0", " down ", 30)) << sw.output("ps ge0");
        EXPECT_TRUE(output_becomes(sw, "ps ge0", "up    100M FD", 30)) << sw.output("ps ge0");
        EXPECT_NE(sw.output("port ge0").find("Forced(100MFD) "), std::string::npos);
        const int web = sw.port_offset() + 80;
        EXPECT_EQ(form_of(web, web_client::login(web, "qivor"), p).substr(0, 2), "04");
    }
}

}  // namespace
