// The port settings form of every board forces the gigabit ports to a speed
// they can run, and the chip and the PHY show it on the monitor (PortStat,
// PORT and the PHY registers); a speed a port cannot run is refused with the
// port named and the port keeps running as it was. An unchanged form leaves
// the advertisement of every kind of gigabit port as the first boot set it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

using system_fixture::link_up;
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

// What an unchanged port page posts: the values its script presets, the
// speed left out while auto-negotiation is on (the form disables the list).
std::string unchanged_form(int web, const std::string &cookie, int port) {
    const std::string form =
        web_client::get(web, "/setport.cgi?port=" + std::to_string(port), cookie);
    auto preset = [&form](const std::string &name) {
        const std::string head = name + " = Number(\"";
        const size_t at = form.find(head);
        if (at == std::string::npos) return std::string("?");
        const size_t from = at + head.size();
        return form.substr(from, form.find('"', from) - from);
    };
    std::string body = "port=" + std::to_string(port) + "&admin=" + preset("admin") +
                       "&autonego=" + preset("autonego");
    if (preset("autonego") == "0") body += "&speed=" + preset("speed");
    return body + "&flow_ctrl=" + preset("flow_ctrl") + "&priority=" + preset("priority") +
           "&pvid=" + preset("pvid");
}

// One register of a "phy" dump, "0x04: 0x0020".
std::string phy_register(const std::string &dump, int reg) {
    char key[8];
    std::snprintf(key, sizeof key, "0x%02x: ", reg);
    const size_t at = dump.find(key);
    return at == std::string::npos ? std::string(key) + "?" : dump.substr(at, 12);
}

// What the first gigabit port and port 1 advertise: the PHY's advertisement
// registers (4, and 9 of a copper PHY), the port's status line and the
// stored "portconf" item.
std::string advertised(Switch &sw, int web, const std::string &cookie) {
    std::string all;
    for (const char *port : {"ge0", "fe0"}) {
        const std::string dump = sw.output(std::string("phy ") + port);
        all += std::string(port) + " " + phy_register(dump, 4) + " " + phy_register(dump, 9) +
               "\n" + sw.output(std::string("port ") + port);
    }
    const auto items = system_fixture::backup_items(
        web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie)));
    return all + "portconf=" + (items.count("portconf") ? items.at("portconf") : "?") + "\n";
}

using unchanged_port = port_speed;

// First boot, Apply of the unchanged port page, a factory reset and a
// restart all leave a port advertising the same: what the form's Apply
// gives, cut to what the port runs.
TEST_P(unchanged_port, FirstBootApplyResetAndRestartAdvertiseTheSame) {
    const Board &b = GetParam();
    std::vector<std::string> args{"--board", std::to_string(b.ports)};
    args.insert(args.end(), b.extra.begin(), b.extra.end());
    std::string first;
    {
        Switch sw(test_workdir::path(), args);
        ASSERT_TRUE(sw.run("", "DXP.0> ", nullptr, 60));
        const int web = sw.port_offset() + 80;
        std::string cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
        first = advertised(sw, web, cookie);
        ASSERT_NE(first.find("portconf=0001"), std::string::npos) << first;
        for (int port : {b.gigabit, 1}) {
            const std::string answer =
                web_client::post(web, "/portset.cgi", unchanged_form(web, cookie, port), cookie);
            ASSERT_NE(answer.find("Port Configuration"), std::string::npos) << answer;
        }
        EXPECT_EQ(advertised(sw, web, cookie), first) << "after Apply";
        // Flow control on both ports, so the reset has something to undo.
        for (int port : {b.gigabit, 1}) {
            std::string body = unchanged_form(web, cookie, port);
            body.replace(body.find("flow_ctrl=0"), 11, "flow_ctrl=1");
            web_client::post(web, "/portset.cgi", body, cookie);
        }
        ASSERT_NE(advertised(sw, web, cookie), first);

        ASSERT_NE(web_client::post(web, "/restored.cgi", "factory=2", cookie).find("200 OK"),
                  std::string::npos);
        // The reset runs a second or two after the answer.
        std::string reset;
        for (int tries = 0; tries < 10 && reset != first; tries++) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            cookie = web_client::login(web, "qivor");
            if (!cookie.empty()) reset = advertised(sw, web, cookie);
        }
        EXPECT_EQ(reset, first) << "after the factory reset";
        ASSERT_TRUE(sw.run("EXIT", "Resetting"));
    }
    Switch sw(test_workdir::path(), args);
    ASSERT_TRUE(sw.run("", "DXP.0> ", nullptr, 60));
    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    EXPECT_EQ(advertised(sw, web, cookie), first) << "after the restart";
    web_client::post(web, "/portset.cgi", unchanged_form(web, cookie, b.gigabit), cookie);
    EXPECT_EQ(advertised(sw, web, cookie), first) << "after Apply past the restart";

    // A copper port capped at 100 on the monitor shows the cap as its own
    // choice, and an Apply that changes only the priority keeps it.
    const std::string form =
        web_client::get(web, "/setport.cgi?port=" + std::to_string(b.gigabit), cookie);
    if (form.find("ptype = Number(\"1\")") == std::string::npos) return;
    sw.output("port ge0 AutoNeg=on SPeed=100");
    ASSERT_NE(sw.output("port ge0").find("Adv(100MFD"), std::string::npos);
    std::string body = unchanged_form(web, cookie, b.gigabit);
    ASSERT_NE(body.find("&autonego=2&"), std::string::npos) << body;
    body.replace(body.find("priority="), 10, "priority=6");
    const std::string answer = web_client::post(web, "/portset.cgi", body, cookie);
    ASSERT_NE(answer.find("Port Configuration"), std::string::npos) << answer;
    const std::string port = sw.output("port ge0");
    EXPECT_NE(port.find("Adv(100MFD"), std::string::npos) << port;
    EXPECT_NE(port.find("UtPri(6)"), std::string::npos) << port;
}

// Each kind of gigabit PHY: the boards' own (the SERDES of the 52- and
// 28-port boards, the 26-port board's copper), the 640X on copper and the
// 6401S on fibre.
INSTANTIATE_TEST_SUITE_P(
    kinds, unchanged_port,
    testing::Values(Board{"board52", 52, 49, {}}, Board{"board28", 28, 25, {}},
                    Board{"board26", 26, 25, {}},
                    Board{"board52_copper", 52, 49, {"--gig-phy", "copper"}},
                    Board{"board28_640x", 28, 25, {"--gig-phy", "640x"}},
                    Board{"board52_6401s_fibre", 52, 49, {"--gig-phy", "6401s", "--fiber", "49"}},
                    Board{"board26_6401s_fibre", 26, 25, {"--gig-phy", "6401s", "--fiber", "25"}}),
    [](const testing::TestParamInfo<Board> &info) { return info.param.name; });

}  // namespace

namespace {

// The value of one register as `getreg` prints it, "0x47".
std::string register_value(Switch &sw, const std::string &name) {
    const std::string seen = sw.output("getreg " + name);
    const size_t at = seen.find("]=0x");
    return at == std::string::npos ? seen : seen.substr(at + 2, seen.find(':', at) - at - 2);
}

// Link scan's stamp of the user port's last link change (ifLastChange, in
// ticks): each link change link scan reports gives it a new value; -1 when
// the agent gave none.
long last_change(Switch &sw, int uport) {
    const std::string out =
        system_fixture::sh_out("snmpget -v2c -On -Oqvt -r 2 -t 2 -c public 127.0.0.1:" +
                               std::to_string(sw.port_offset() + 161) + " .1.3.6.1.2.1.2.2.1.9." +
                               std::to_string(uport) + " 2>&1");
    if (out.empty() || out.find_first_not_of("0123456789\r\n") != std::string::npos) return -1;
    return std::stol(out);
}

// The link field of a `getreg` answer, "LINK_STS=1".
std::string link_field(const std::string &seen) {
    const size_t at = seen.find("LINK_STS=");
    return at == std::string::npos ? "?" : seen.substr(at, 10);
}

struct Renegotiation {
    std::string name;
    int ports;
    int forced;     // user port forced to 10 Mb/s, then back to auto
    int untouched;  // user port beside it, never set
    const char *forced_name;
    const char *untouched_name;
    const char *override_reg;
    std::vector<std::string> extra;
};

void PrintTo(const Renegotiation &r, std::ostream *os) {
    *os << r.name;
}

class renegotiation : public testing::TestWithParam<Renegotiation> {};

// A port forced to 10 Mb/s from the port page and set back to Auto runs
// what it negotiates: its MAC override equals that of the untouched port
// beside it, at once and after a factory reset. Pause set from the monitor
// on a negotiating port is in `ps` at once, and so is its removal.
TEST_P(renegotiation, ANegotiatingPortsMacFollowsAChangeAtOnce) {
    const Renegotiation &r = GetParam();
    const std::string forced = std::to_string(r.forced), other = std::to_string(r.untouched);
    std::vector<std::string> args{
        "--board", std::to_string(r.ports), "--cable", forced + "=10", "--cable", other + "=10"};
    args.insert(args.end(), r.extra.begin(), r.extra.end());
    Switch sw(test_workdir::path(), args);
    ASSERT_TRUE(sw.run("", "DXP.0> ", nullptr, 60));
    const int web = sw.port_offset() + 80;
    std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    const std::string mine = std::string(r.override_reg) + "." + r.forced_name;
    const std::string beside = std::string(r.override_reg) + "." + r.untouched_name;
    for (const char *name : {r.forced_name, r.untouched_name})
        ASSERT_TRUE(link_up(sw, name)) << name;
    // `ps` shows the PHY's link and speed at once, an override the link only
    // once link scan has come to the port and written it, which on a busy
    // host may be after a look (the 26-port board's fast-Ethernet override
    // takes it inverted).
    const std::string up_field =
        r.ports == 26 && r.forced_name[0] == 'f' ? "LINK_STS=0" : "LINK_STS=1";
    auto scanned_up = [&](const std::string &reg) {
        const std::string seen = sw.output("getreg " + reg);
        return seen.find("SW_ORD=1") != std::string::npos && link_field(seen) == up_field;
    };
    bool both_up = false;
    for (int i = 0; i < 150 && !both_up; i++) {
        both_up = scanned_up(mine) && scanned_up(beside);
        if (!both_up) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_TRUE(both_up) << sw.output("getreg " + mine) << sw.output("getreg " + beside);
    const std::string untouched = register_value(sw, beside);
    auto post = [&](const char *autonego, const char *speed) {
        std::string body = "port=" + forced + "&admin=1&autonego=" + autonego;
        if (speed != nullptr) body += std::string("&speed=") + speed;
        return web_client::post(web, "/portset.cgi", body + "&flow_ctrl=0&priority=0&pvid=1",
                                cookie);
    };
    long stamp = last_change(sw, r.forced);
    for (int i = 0; i < 20 && stamp < 0; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        stamp = last_change(sw, r.forced);
    }
    ASSERT_GE(stamp, 0) << "no ifLastChange of port " << r.forced;
    EXPECT_NE(post("0", "1").find("Port Configuration"), std::string::npos);
    // Link scan takes the forced port down and up at its new speed (a new
    // ifLastChange): then its override shows the link again.
    bool forced_up = false;
    for (int i = 0; i < 150 && !forced_up; i++) {
        const long scanned_at = last_change(sw, r.forced);
        forced_up = scanned_at >= 0 && scanned_at != stamp && scanned_up(mine) &&
                    sw.output("ps " + std::string(r.forced_name)).find("up     10M HD") !=
                        std::string::npos;
        if (!forced_up) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_TRUE(forced_up) << sw.output("getreg " + mine);
    EXPECT_NE(register_value(sw, mine), untouched);
    EXPECT_NE(post("1", nullptr).find("Port Configuration"), std::string::npos);
    EXPECT_EQ(register_value(sw, mine), untouched);

    const std::string port = r.forced_name;
    std::string seen = sw.output("port " + port + " TxPAUse=on RxPAUse=on");
    EXPECT_EQ(seen.find("Error"), std::string::npos) << seen;
    EXPECT_NE(sw.output("ps " + port).find("TX RX"), std::string::npos);
    sw.output("port " + port + " TxPAUse=off RxPAUse=off");
    EXPECT_EQ(sw.output("ps " + port).find("TX RX"), std::string::npos);

    // Forced again and saved, then the factory settings: as a first boot.
    EXPECT_NE(post("0", "1").find("Port Configuration"), std::string::npos);
    ASSERT_NE(web_client::post(web, "/restored.cgi", "factory=2", cookie).find("200 OK"),
              std::string::npos);
    std::string now;
    for (int tries = 0; tries < 60 && now != untouched; tries++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        now = register_value(sw, mine);
    }
    EXPECT_EQ(now, untouched) << "after the factory reset";
}

INSTANTIATE_TEST_SUITE_P(
    boards, renegotiation,
    testing::Values(
        Renegotiation{"board52", 52, 3, 4, "fe2", "fe3", "STS_OVERRIDE_P", {}},
        Renegotiation{"board28", 28, 3, 4, "fe2", "fe3", "STS_OVERRIDE_P", {}},
        Renegotiation{"board26", 26, 3, 4, "fe2", "fe3", "STS_OVERRIDE_P", {}},
        Renegotiation{"board26_ge", 26, 25, 26, "ge0", "ge1", "STS_OVERRIDE_GP", {}},
        Renegotiation{
            "board52_6401s", 52, 49, 50, "ge0", "ge1", "STS_OVERRIDE_GP", {"--gig-phy", "6401s"}}),
    [](const testing::TestParamInfo<Renegotiation> &info) { return info.param.name; });

}  // namespace
