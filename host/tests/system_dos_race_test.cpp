// The web's DoS pages and the monitor's DOS command on the running switch.
// At once: an administrator applies DoS settings while a colleague types DOS
// commands; afterwards the program still runs, the web, the monitor and SNMP
// answer, and a Land frame sent in at a TAP port is dropped while a plain one
// passes. In turn: a check the monitor switched on shows on the page (as on
// some ports when only some have it), and the form switches it off on every
// port. SWITCHFW_DOS_RACE_SECONDS sets how long both run (10 s by default).
// Needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping, curl, python3 and
// snmpget; skips without.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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

// A TCP frame from the sender with the IPv4 addresses (hex) and ports,
// padded to the shortest Ethernet frame.
std::string tcp_frame(const std::string &sender, const std::string &src_ip,
                      const std::string &dst_ip, int src_port, int dst_port) {
    char ports[9];
    std::snprintf(ports, sizeof ports, "%04x%04x", src_port, dst_port);
    return "ffffffffffff" + sender + "0800" + "4500002800000000400600" + "00" + src_ip + dst_ip +
           ports + "0000000000000000" + "5010000000000000" + std::string(12, '0');
}

bool alive(pid_t pid) {
    return waitpid(pid, nullptr, WNOHANG) == 0 && kill(pid, 0) == 0;
}

// The switch on the board of the parameter with a sender on user port 1 and
// a receiver on port 2, in namespaces, and a web session.
class system_dos_race : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        if (!system_fixture::can_make_namespaces() || sh("curl --version") != 0 ||
            sh("python3 --version") != 0 || sh("snmpget --version") != 0)
            GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping, curl, python3 "
                            "and snmpget";
        id = system_fixture::own_id();
        const std::string n = std::to_string(id);
        const std::string in_tap = "swri" + n, out_tap = "swro" + n;
        ASSERT_TRUE(ns.make_free("10.195.", id, {"swrnsi" + n, "swrnso" + n}, &net));
        // A flash of its own: a board never starts from another one's.
        const std::filesystem::path dir =
            std::filesystem::path(test_workdir::path()) /
            testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(dir);
        sw = std::make_unique<Switch>(
            dir, std::vector<std::string>{"--board", std::to_string(GetParam()), "--tap",
                                          "1=" + in_tap, "--tap", "2=" + out_tap});
        ASSERT_TRUE(sw->run("", "DXP.0> ", nullptr, 60));
        ASSERT_TRUE(Netns::attach(in_tap, sender(), net + "1/24"));
        ASSERT_TRUE(Netns::attach(out_tap, receiver(), net + "2/24"));
        this->in_tap = in_tap;
        this->out_tap = out_tap;
        web = "http://127.0.0.1:" + std::to_string(sw->port_offset() + 80);
        const std::string jar = test_workdir::path() + "/cookies";
        curl = "curl -s -m 10 -c " + jar + " -b " + jar + " ";
        sh_out(curl + "-d 'username=admin&password=qivor' " + web + "/login.cgi");
        mac = hex_of_mac(system_fixture::mac_of(sender(), in_tap));
        ASSERT_EQ(mac.size(), 12u);
        std::snprintf(ip_a, sizeof ip_a, "%s", system_fixture::hex_of_ip(net + "1").c_str());
        std::snprintf(ip_b, sizeof ip_b, "%s", system_fixture::hex_of_ip(net + "2").c_str());
    }
    const std::string &sender() const { return ns.spaces[0]; }
    const std::string &receiver() const { return ns.spaces[1]; }
    std::string monitor(const std::string &line) {
        std::string seen;
        EXPECT_TRUE(sw->run(line, "DXP.0> ", &seen)) << seen;
        return seen;
    }
    // How many of the frames, each sent once in at port 1, leave at port 2;
    // the last is a plain one that must pass (sent again until the links
    // are up). Each watch ends once the plain one came: a frame sent before
    // it has crossed or been dropped by then.
    std::vector<int> crossing(const std::vector<std::string> &frames) {
        std::vector<int> seen(frames.size(), 0);
        for (int tries = 0; tries < 5 && seen.back() == 0; tries++) {
            FrameWatch watch(receiver(), out_tap, 20, 3, 0, frames.back().substr(0, 84));
            EXPECT_TRUE(watch.ready());
            for (const std::string &frame : frames)
                EXPECT_TRUE(system_fixture::send_frames(sender(), in_tap, frame));
            for (const std::string &got : watch.frames())
                for (size_t i = 0; i < frames.size(); i++)
                    seen[i] += got.starts_with(frames[i].substr(0, 84)) ? 1 : 0;
        }
        return seen;
    }

    int id = 0;
    std::string net, in_tap, out_tap, web, curl, mac;
    char ip_a[9] = {}, ip_b[9] = {};
    Netns ns;
    std::unique_ptr<Switch> sw;
};

TEST_P(system_dos_race, WebAndMonitorTogetherLeaveDosWorking) {
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
    for (int round = 0; std::chrono::steady_clock::now() < end && alive(sw->pid()); round++) {
        const std::string item = std::to_string(round % 7);
        std::string seen;
        const std::string line = round % 5 == 4 ? "dos e show"
                                 : round % 2    ? "dos e enable " + item
                                                : "dos e disable " + item;
        if (!sw->run(line, "DXP.0> ", &seen, 30)) {
            console += seen;
            break;
        }
        console += seen;
        commands++;
    }
    stop = true;
    web_user.join();
    ASSERT_TRUE(alive(sw->pid())) << console.substr(console.size() > 4000 ? console.size() - 4000
                                                                          : 0);
    EXPECT_EQ(console.find("Assertion"), std::string::npos);
    EXPECT_GT(posts.load(), 0);
    EXPECT_GT(commands, 0);
    std::printf("%d s: %d web rounds (3 requests each), %d monitor commands\n", race_seconds(),
                posts.load(), commands);

    // Every interface answers.
    std::string seen;
    EXPECT_TRUE(sw->run("dos e show", "DXP.0> ", &seen)) << seen;
    EXPECT_NE(seen.find("Item[ 0]"), std::string::npos) << seen;
    EXPECT_NE(sh_out(curl + web + "/dos.htm").find("dos.cgi"), std::string::npos);
    const std::string descr =
        sh_out("snmpget -v2c -On -r 2 -t 10 -c public 127.0.0.1:" +
               std::to_string(sw->port_offset() + 161) + " .1.3.6.1.2.1.1.1.0 2>&1");
    EXPECT_NE(descr.find("STRING"), std::string::npos) << descr;

    // Land protection on from the web: Land frames stop, plain ones pass.
    const std::string error = sh_out(curl + "-d 'checks=100' " + web + "/dos.cgi");
    EXPECT_EQ(error.find("Retry"), std::string::npos) << error;
    const std::vector<int> seen_frames =
        crossing({udp_frame(mac, ip_a, ip_a), udp_frame(mac, ip_a, ip_b)});
    EXPECT_EQ(seen_frames[0], 0);  // Land
    EXPECT_EQ(seen_frames[1], 1);
    EXPECT_TRUE(alive(sw->pid()));
}

// The monitor's Blat check (item 2) on every port shows on the page; with
// one port left out the page says some ports have it, and the form left so
// keeps it; the form with the box clear switches it off on every port, and
// Blat frames cross again.
TEST_P(system_dos_race, MonitorCheckShowsOnThePageAndTheFormSwitchesItOff) {
    const std::string blat = tcp_frame(mac, ip_a, ip_b, 1000, 1000),
                      plain = tcp_frame(mac, ip_a, ip_b, 1000, 80);
    EXPECT_EQ(monitor("dos all enable 2").find("FAIL"), std::string::npos);
    EXPECT_NE(monitor("dos fe0 show").find("Item[ 2] is enabled"), std::string::npos);
    EXPECT_EQ(crossing({blat, plain}), (std::vector<int>{0, 1}));
    std::string page = sh_out(curl + web + "/dos.htm");
    EXPECT_NE(page.find("id=\"blat\" checked"), std::string::npos) << page;
    EXPECT_EQ(page.find("on for some ports only"), std::string::npos);

    EXPECT_EQ(monitor("dos fe5 disable 2").find("FAIL"), std::string::npos);
    page = sh_out(curl + web + "/dos.htm");
    EXPECT_NE(page.find("id=\"blat\" data-some"), std::string::npos) << page;
    EXPECT_NE(page.find("on for some ports only"), std::string::npos);
    EXPECT_EQ(sh_out(curl + "-d 'checks=020' " + web + "/dos.cgi").find("ERROR"),
              std::string::npos);
    EXPECT_NE(monitor("dos fe0 show").find("Item[ 2] is enabled"), std::string::npos);
    EXPECT_NE(monitor("dos fe5 show").find("Item[ 2] is disabled"), std::string::npos);

    EXPECT_EQ(sh_out(curl + "-d 'checks=000' " + web + "/dos.cgi").find("ERROR"),
              std::string::npos);
    const std::string shown = monitor("dos all show");
    EXPECT_EQ(shown.find("Item[ 2] is enabled"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Item[ 2] is disabled"), std::string::npos);
    EXPECT_EQ(crossing({blat, plain}), (std::vector<int>{1, 1}));
    page = sh_out(curl + web + "/dos.htm");
    EXPECT_NE(page.find("id=\"blat\" >"), std::string::npos) << page;
    EXPECT_TRUE(alive(sw->pid()));
}

// ARP inspection, Auto VoIP and QoS by IP address share the field
// processor with the DoS checks. QoS entries stop where DoS prevention and
// ARP inspection keep their rows, so the per-port changes still fit; once
// the monitor's own rules fill the rest, a change that does not fit is
// refused, on or off, and every port keeps what it had: smurf frames from
// port 1 stay dropped and the page shows each port as the chip runs it.
TEST_P(system_dos_race, ARefusedChangeKeepsEveryOtherPortProtected) {
    const std::string smurf = "ffffffffffff" + mac + "0800" + "4500001c000000004001" + "0000" +
                              ip_a + std::string(ip_b).substr(0, 6) + "ff" + "0800f7ff00000000" +
                              std::string(36, '0');
    const std::string plain = udp_frame(mac, ip_a, ip_b);
    auto post = [&](const std::string &path, const std::string &body) {
        return sh_out(curl + "-d '" + body + "' " + web + path);
    };
    auto shows_smurf = [&](int port) {
        const std::string page = post("/dos_showperport.cgi", "port=" + std::to_string(port));
        return page.find("id=\"smurf\" checked") != std::string::npos;
    };
    const std::string trusted_2 = "01" + std::string(static_cast<size_t>(GetParam()) - 2, '0');
    ASSERT_EQ(post("/darp.cgi",
                   "enable=1&ports=" + trusted_2 + "&rmfrom=0&rmto=0&addfrom=1&addto=1&aging=0")
                  .find("Retry"),
              std::string::npos);
    ASSERT_EQ(post("/voip.cgi", "profiles=1").find("Retry"), std::string::npos);
    ASSERT_EQ(post("/qos_enhance_mode.cgi", "mode=4").find("Retry"), std::string::npos);
    // Auto VoIP's 8 signalling rules and 72 entries take what QoS and Auto
    // VoIP may hold together.
    std::string refused;
    int added = 0;
    for (int i = 0; i < 100 && refused.empty(); i++) {
        const std::string answer =
            post("/qos_enhance_ip_add.cgi",
                 "ip=10.77." + std::to_string(i) + ".0&mask=255.255.255.0&priority=3");
        if (answer.find("Retry") != std::string::npos)
            refused = answer;
        else
            added++;
    }
    EXPECT_EQ(added, 72);
    EXPECT_NE(refused.find("kept for DoS prevention and ARP inspection"), std::string::npos)
        << refused;

    // Port 2 changes beside the sender's port 1, which must stay protected.
    std::string answer = post("/dos_perport.cgi", "port=FF&checks=111&ping_rate=64&syn_rate=128");
    EXPECT_EQ(answer.find("Retry"), std::string::npos) << answer;
    answer = post("/dos_perport.cgi", "port=2&checks=100&ping_rate=64&syn_rate=64");
    EXPECT_EQ(answer.find("Retry"), std::string::npos) << answer;
    EXPECT_EQ(crossing({smurf, plain}), (std::vector<int>{0, 1}));

    // The monitor's rules take every row left.
    ASSERT_NE(monitor("fp group create -1 90").find("okay"), std::string::npos);
    for (int entry = 900; entry < 1100; entry++)
        if (monitor("fp entry create 90 " + std::to_string(entry)).find("okay") ==
            std::string::npos)
            break;
    const std::string off = post("/dos_perport.cgi", "port=2&checks=000&ping_rate=64&syn_rate=64");
    EXPECT_NE(off.find("No resources for operation"), std::string::npos) << off;
    const std::string on = post("/dos_perport.cgi", "port=1&checks=011&ping_rate=64&syn_rate=64");
    EXPECT_NE(on.find("No resources for operation"), std::string::npos) << on;
    EXPECT_EQ(crossing({smurf, plain}), (std::vector<int>{0, 1}));
    EXPECT_TRUE(shows_smurf(1));
    EXPECT_TRUE(shows_smurf(2));
    const std::string port_2 = post("/dos_showperport.cgi", "port=2");
    EXPECT_EQ(port_2.find("id=\"ping\" checked"), std::string::npos) << port_2;
    EXPECT_TRUE(alive(sw->pid()));
}

INSTANTIATE_TEST_SUITE_P(boards_with_cfp, system_dos_race, testing::Values(52, 28),
                         [](const testing::TestParamInfo<int> &info) {
                             return "Board" + std::to_string(info.param);
                         });

}  // namespace
