// The PHY loopback test on a busy switch, per board: two web clients post
// forms, the monitor switches DoS checks on and off (on every port, and on
// untested ones, which rewrites the unit's rules) and moves priority 0 from
// queue to queue, telnet loads the settings, SNMP requests come in and a
// host floods broadcasts through a TAP, while the receive thread gets
// little of the processor. Test 49 runs on port 3 again and again and
// fails no run: frames that come back out of order (the CPU port holds a
// trial's frames in two queues and the higher one goes first) or late from
// the run before are never a "Sequence # miscompare", and a frame lost
// is counted where it was and its trial runs again. Needs root
// (CAP_NET_ADMIN) and /dev/net/tun.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "../../platform/tests/private_workdir.h"
#include "starved_thread.h"
#include "switchfw_child.h"
#include "system_fixture.h"
#include "web_client.h"

namespace selftest_busy_test {

namespace fs = std::filesystem;
using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::Switch;

// Runs `step` in a thread of its own, each turn at least `pause_us` apart,
// until it goes out of scope.
class Loop {
  public:
    Loop(int pause_us, std::function<void(int)> step)
        : thread_([this, pause_us, step = std::move(step)] {
              for (int n = 0; !stop_.load(); n++) {
                  step(n);
                  usleep(static_cast<useconds_t>(pause_us));
              }
          }) {}
    ~Loop() {
        stop_.store(true);
        thread_.join();
    }
    Loop(const Loop &) = delete;
    Loop &operator=(const Loop &) = delete;

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The run, pass and fail counts of test 49's TestList row.
struct Tally {
    int runs = -1, passed = -1, failed = -1;
};
Tally tally_of(Switch &fw) {
    std::istringstream in(fw.output("TestList 49"));
    Tally t;
    for (std::string line; std::getline(in, line);) {
        const size_t name = line.find("PHY Loopback - Mark 2");
        if (name == std::string::npos) continue;
        int loops = 0;
        std::sscanf(line.c_str() + line.find('|', name), "|%d|%d|%d|%d|", &loops, &t.runs,
                    &t.passed, &t.failed);
    }
    return t;
}

class selftest_busy : public testing::TestWithParam<int> {};

TEST_P(selftest_busy, PhyLoopbackFailsNoHealthyPortBesideManagementLoad) {
    if (!system_fixture::can_make_namespaces()) GTEST_SKIP() << "needs root and /dev/net/tun";
    const int board = GetParam();
    const std::string id = std::to_string(system_fixture::own_id()) + "b" + std::to_string(board);
    const std::string host = "sbh" + id, tap = "sbt" + id;
    Netns ns;
    ASSERT_TRUE(ns.add_spaces({host}));
    const fs::path dir = test_workdir::path() + "/busy-" + std::to_string(board);
    fs::create_directories(dir);
    fs::remove(dir / "flash.bin");
    Switch fw(dir, {"--board", std::to_string(board), "--tap", "10=" + tap});
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    sh("ip netns exec " + host + " sysctl -qw net.ipv6.conf.all.disable_ipv6=1");
    ASSERT_EQ(sh("ip link set " + tap + " netns " + host), 0);
    ASSERT_EQ(sh("ip -n " + host + " link set " + tap + " up"), 0);
    const int web = fw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    const std::string agent = "127.0.0.1:" + std::to_string(fw.port_offset() + 161);
    const pid_t rx = starved_thread::thread_named(fw.pid(), "dxpRX.0");
    ASSERT_GT(rx, 0);

    constexpr int kRuns = 2;
    std::string seen;
    {
        starved_thread::Starved starved(rx);
        const std::string none(static_cast<size_t>(board), '0');
        Loop forms_a(50000, [&](int n) {
            web_client::post(web, "/aging.cgi", "enable=1&time=" + std::to_string(100 + n % 50),
                             cookie);
            web_client::post(web, "/portset.cgi",
                             "port=8&admin=1&autonego=1&flow_ctrl=" + std::to_string(n % 2) +
                                 "&priority=0&pvid=1",
                             cookie);
        });
        Loop forms_b(50000, [&](int n) {
            web_client::post(
                web, "/dos_perport.cgi",
                std::string("port=9&checks=") + (n % 2 ? "111" : "000") + "&r1=100&r2=100", cookie);
            web_client::post(web, "/newvlan.cgi", "newid=50&values=" + none, cookie);
        });
        Loop loads(250000, [&](int) {
            const int fd = switchfw_child::telnet_login(fw.port_offset() + 23, "qivor");
            if (fd < 0) return;
            switchfw_child::send_text(fd, "load\r\n");
            std::string answer;
            switchfw_child::read_until(fd, &answer, "ecos>", 30);
            close(fd);
        });
        Loop snmp(20000, [&](int) {
            sh("snmpget -v2c -r 0 -t 1 -c public " + agent +
               " .1.3.6.1.2.1.1.5.0 .1.3.6.1.2.1.2.2.1.10.4 >/dev/null 2>&1");
        });
        Loop frames(0, [&](int) {
            system_fixture::send_frames(
                host, tap, "ffffffffffff0a0b0c0d0e0f0800" + std::string(92, '5'), 100, 500);
        });
        for (int run = 1; run <= kRuns; run++) {
            std::string out;
            ASSERT_TRUE(fw.answer(
                "BackGround \"TestRun 49 PortBitMap=fe3 LoopbackMode=PHY Count=1 LengthEnd=600\"",
                &out, 60))
                << out;
            seen += out;
            // Until the run is counted and its job (the done step) has ended.
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(50);
            for (int n = 0; std::chrono::steady_clock::now() < until; n++) {
                const std::string lines[] = {
                    n % 2 ? "dos all enable 2" : "dos all disable 2",
                    n % 2 ? "dos fe1-fe2 enable 3" : "dos fe1-fe2 disable 3",
                    n % 2 ? "cos map Pri=0 Queue=3" : "cos map Pri=0 Queue=0", "JOBS"};
                for (const std::string &line : lines) {
                    ASSERT_TRUE(fw.answer(line, &out, 60)) << line;
                    seen += out;
                }
                const Tally t = tally_of(fw);
                if (out.find("Job ") == std::string::npos && t.passed + t.failed >= run) break;
                usleep(50000);
            }
        }
    }
    // Every run ended and passed.
    const Tally t = tally_of(fw);
    EXPECT_EQ(t.runs, kRuns) << seen;
    EXPECT_EQ(t.passed, kRuns) << seen;
    EXPECT_EQ(t.failed, 0) << seen;
    EXPECT_EQ(seen.find("miscompare"), std::string::npos) << seen;
    fs::remove(dir / "flash.bin");
}

INSTANTIATE_TEST_SUITE_P(every_board, selftest_busy, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param);
                         });

}  // namespace selftest_busy_test
