// The web's DoS pages and the monitor's DOS command at once on the running
// switch: an administrator applies DoS settings while a colleague types DOS
// commands. Afterwards the program still runs, the web, the monitor and SNMP
// answer, and a Land frame sent in at a TAP port is dropped while a plain one
// passes. SWITCHFW_DOS_RACE_SECONDS sets how long both run (10 s by
// default). Needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping, curl,
// python3 and snmpget; skips without.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

namespace {

using system_fixture::FrameWatch;
using system_fixture::hex_of_mac;
using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::sh_out;
using system_fixture::Switch;

int race_seconds() {
    const char *text = std::getenv("SWITCHFW_DOS_RACE_SECONDS");
    const int seconds = text != nullptr ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : 10;
}

// A broadcast UDP frame from the sender with the two IPv4 addresses (hex),
// padded to the shortest Ethernet frame.
std::string udp_frame(const std::string &sender, const std::string &src_ip,
                      const std::string &dst_ip) {
    return "ffffffffffff" + sender + "0800" + "4500001c000000004011" + "0000" + src_ip + dst_ip +
           "03e8003500080000" + std::string(36, '0');
}

bool alive(pid_t pid) {
    return waitpid(pid, nullptr, WNOHANG) == 0 && kill(pid, 0) == 0;
}

class system_dos_race : public testing::TestWithParam<int> {};

TEST_P(system_dos_race, WebAndMonitorTogetherLeaveDosWorking) {
    if (!system_fixture::can_make_namespaces() || sh("curl --version") != 0 ||
        sh("python3 --version") != 0 || sh("snmpget --version") != 0)
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping, curl, python3 and "
                        "snmpget";
    const int id = static_cast<int>(getpid() % 10000);
    const std::string n = std::to_string(id);
    const std::string net = "10.195." + std::to_string(id % 250) + ".";
    const std::string in_tap = "swri" + n, out_tap = "swro" + n;
    Netns ns;
    ASSERT_TRUE(ns.make(net + "0/24", {"swrnsi" + n, "swrnso" + n}));
    const std::string &sender = ns.spaces[0], &receiver = ns.spaces[1];

    Switch sw(test_workdir::path(), {"--board", std::to_string(GetParam()), "--tap", "1=" + in_tap,
                                     "--tap", "2=" + out_tap});
    ASSERT_TRUE(sw.run("", "DXP.0> ", nullptr, 60));
    ASSERT_TRUE(Netns::attach(in_tap, sender, net + "1/24"));
    ASSERT_TRUE(Netns::attach(out_tap, receiver, net + "2/24"));

    const std::string web = "http://127.0.0.1:" + std::to_string(sw.port_offset() + 80);
    const std::string jar = test_workdir::path() + "/cookies";
    const std::string curl = "curl -s -m 10 -c " + jar + " -b " + jar + " ";
    sh_out(curl + "-d 'username=admin&password=qivor' " + web + "/login.cgi");

    // The web side posts both DoS forms and reads the pages back.
    std::atomic<bool> stop{false};
    std::atomic<int> posts{0};
    std::thread web_user([&] {
        static const char *const global[] = {"100", "111", "010", "000", "101"};
        static const char *const per_port[] = {
            "port=FF&checks=111&ping_rate=128&syn_rate=64",
            "port=1&checks=010&ping_rate=256&syn_rate=64",
            "port=2&checks=101&ping_rate=64&syn_rate=512",
            "port=FF&checks=000&ping_rate=64&syn_rate=64",
        };
        for (int round = 0; !stop; round++) {
            sh_out(curl + "-d 'checks=" + global[round % 5] + "' " + web + "/dos.cgi");
            sh_out(curl + "-d '" + per_port[round % 4] + "' " + web + "/dos_perport.cgi");
            sh_out(curl + web + (round % 2 ? "/dos.htm" : "/dos_perport.htm"));
            posts++;
        }
    });
    // Meanwhile the monitor switches every DoS item on and off for all ports.
    std::string console;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(race_seconds());
    int commands = 0;
    for (int round = 0; std::chrono::steady_clock::now() < end && alive(sw.pid()); round++) {
        const std::string item = std::to_string(round % 7);
        std::string seen;
        const std::string line = round % 5 == 4 ? "dos e show"
                                 : round % 2    ? "dos e enable " + item
                                                : "dos e disable " + item;
        if (!sw.run(line, "DXP.0> ", &seen, 30)) {
            console += seen;
            break;
        }
        console += seen;
        commands++;
    }
    stop = true;
    web_user.join();
    ASSERT_TRUE(alive(sw.pid())) << console.substr(console.size() > 4000 ? console.size() - 4000
                                                                         : 0);
    EXPECT_EQ(console.find("Assertion"), std::string::npos);
    EXPECT_GT(posts.load(), 0);
    EXPECT_GT(commands, 0);
    std::printf("%d s: %d web rounds (3 requests each), %d monitor commands\n", race_seconds(),
                posts.load(), commands);

    // Every interface answers.
    std::string seen;
    EXPECT_TRUE(sw.run("dos e show", "DXP.0> ", &seen)) << seen;
    EXPECT_NE(seen.find("Item[ 0]"), std::string::npos) << seen;
    EXPECT_NE(sh_out(curl + web + "/dos.htm").find("dos.cgi"), std::string::npos);
    const std::string descr = sh_out(
        "snmpget -v2c -On -r 1 -t 2 -c public 127.0.0.1:" + std::to_string(sw.port_offset() + 161) +
        " .1.3.6.1.2.1.1.1.0 2>&1");
    EXPECT_NE(descr.find("STRING"), std::string::npos) << descr;

    // Land protection on from the web: Land frames stop, plain ones pass.
    const std::string error = sh_out(curl + "-d 'checks=100' " + web + "/dos.cgi");
    EXPECT_EQ(error.find("Retry"), std::string::npos) << error;
    const std::string mac = hex_of_mac(system_fixture::mac_of(sender, in_tap));
    ASSERT_EQ(mac.size(), 12u);
    char a[9], b[9];
    std::snprintf(a, sizeof a, "0ac3%02x01", id % 250);
    std::snprintf(b, sizeof b, "0ac3%02x02", id % 250);
    const std::string plain = udp_frame(mac, a, b), land = udp_frame(mac, a, a);
    int plain_seen = 0, land_seen = 0;
    for (int tries = 0; tries < 5 && plain_seen == 0; tries++) {  // until the links are up
        FrameWatch watch(receiver, out_tap, 2);
        ASSERT_TRUE(watch.ready());
        ASSERT_TRUE(system_fixture::send_frames(sender, in_tap, land, 3));
        ASSERT_TRUE(system_fixture::send_frames(sender, in_tap, plain));
        for (const std::string &frame : watch.frames()) {
            plain_seen += frame.starts_with(plain.substr(0, 84));
            land_seen += frame.starts_with(land.substr(0, 84));
        }
    }
    EXPECT_EQ(plain_seen, 1);
    EXPECT_EQ(land_seen, 0);
    EXPECT_TRUE(alive(sw.pid()));
}

INSTANTIATE_TEST_SUITE_P(boards_with_cfp, system_dos_race, testing::Values(52, 28),
                         [](const testing::TestParamInfo<int> &info) {
                             return "Board" + std::to_string(info.param);
                         });

}  // namespace
