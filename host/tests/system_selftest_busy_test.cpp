// The PHY loopback test on a busy switch, per board: two web clients post
// forms, the monitor switches DoS checks on and off (on every port, and on
// untested ones, which rewrites the unit's rules), telnet loads the settings,
// SNMP requests come in and a host floods frames through a TAP, all while
// test 49 runs on port 3 over and over. No healthy port fails: every frame
// a trial sends comes back, or its loss is counted where it happened and
// the trial runs again. Needs root (CAP_NET_ADMIN) and /dev/net/tun.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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

// Runs `step` until stopped (at the latest when it goes out of scope), each
// turn at least `pause_us` apart.
class Loop {
  public:
    Loop(std::atomic<bool> &stop, int pause_us, std::function<void(int)> step)
        : stop_(stop), thread_([&stop, pause_us, step = std::move(step)] {
              for (int n = 0; !stop.load(); n++) {
                  step(n);
                  usleep(static_cast<useconds_t>(pause_us));
              }
          }) {}
    ~Loop() {
        stop_.store(true);
        thread_.join();
    }

  private:
    std::atomic<bool> &stop_;
    std::thread thread_;
};

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

    const char *env_runs = std::getenv("SELFTEST_BUSY_RUNS");
    const int runs = env_runs != nullptr ? std::atoi(env_runs) : 1;
    const char *env_line = std::getenv("SELFTEST_BUSY_LINE");
    const std::string line =
        env_line != nullptr ? env_line : "TestRun 49 PortBitMap=fe3 LoopbackMode=PHY Count=2";
    // The receive thread behind, as on a loaded host: the CPU port holds the
    // frames to it in its queues while the receive buffers are taken.
    const pid_t rx = starved_thread::thread_named(fw.pid(), "dxpRX.0");
    ASSERT_GT(rx, 0);
    starved_thread::Starved starved(rx);
    std::atomic<bool> stop{false};
    std::string seen;
    {
        const std::string none(static_cast<size_t>(board), '0');
        Loop forms_a(stop, 50000, [&](int n) {
            web_client::post(web, "/aging.cgi", "enable=1&time=" + std::to_string(100 + n % 50),
                             cookie);
            web_client::post(web, "/portset.cgi",
                             "port=8&admin=1&autonego=1&flow_ctrl=" + std::to_string(n % 2) +
                                 "&priority=0&pvid=1",
                             cookie);
        });
        Loop forms_b(stop, 50000, [&](int n) {
            web_client::post(
                web, "/dos_perport.cgi",
                "port=9&checks=" + std::string(n % 2 ? "111" : "000") + "&r1=100&r2=100", cookie);
            web_client::post(web, "/qos_enhance_port.cgi", "prio=9," + std::to_string(n % 8),
                             cookie);
            web_client::post(web, "/newvlan.cgi", "newid=50&values=" + none, cookie);
        });
        Loop loads(stop, 250000, [&](int) {
            const int fd = switchfw_child::telnet_login(fw.port_offset() + 23, "qivor");
            if (fd < 0) return;
            switchfw_child::send_text(fd, "load\r\n");
            std::string answer;
            switchfw_child::read_until(fd, &answer, "ecos>", 30);
            close(fd);
        });
        Loop snmp(stop, 20000, [&](int) {
            sh("snmpget -v2c -r 0 -t 1 -c public " + agent +
               " .1.3.6.1.2.1.1.5.0 .1.3.6.1.2.1.2.2.1.10.3 >/dev/null 2>&1");
        });
        Loop frames(stop, 0, [&](int) {
            system_fixture::send_frames(
                host, tap, "ffffffffffff0a0b0c0d0e0f0800" + std::string(92, '5'), 200, 200);
        });
        std::vector<std::unique_ptr<Loop>> hogs;
        for (int n = std::getenv("SELFTEST_BUSY_HOGS")
                         ? std::atoi(std::getenv("SELFTEST_BUSY_HOGS"))
                         : 0;
             n > 0; n--)
            hogs.push_back(std::make_unique<Loop>(stop, 0, [](int) {
                const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
                while (std::chrono::steady_clock::now() < until) {
                }
            }));
        for (int run = 0; run < runs; run++) {
            std::string out;
            // The last run's job may still be giving its ports back.
            for (int tries = 0; tries < 20; tries++) {
                ASSERT_TRUE(fw.answer("BackGround \"" + line + "\"", &out, 60)) << out;
                if (out.find("Already running") == std::string::npos) break;
                sleep(1);
            }
            seen += out;
            // Until the job has ended and its last line is out.
            for (int n = 0; n < 2000; n++) {
                std::string jobs;
                fw.answer(n % 2 ? "dos all enable 2" : "dos all disable 2", &out);
                seen += out;
                fw.answer(n % 2 ? "dos fe1-fe2 enable 3" : "dos fe1-fe2 disable 3", &out);
                seen += out;
                fw.answer(n % 2 ? "cos map Pri=0 Queue=3" : "cos map Pri=0 Queue=0", &out);
                seen += out;
                fw.answer("JOBS", &jobs);
                seen += jobs;
                if (jobs.find("Job ") == std::string::npos) break;
            }
        }
        stop.store(true);
    }
    std::string rest;
    fw.answer("", &rest, 10);
    seen += rest;
    if (std::getenv("SELFTEST_BUSY_SHOW") != nullptr) std::cout << seen << "\n";
    EXPECT_EQ(seen.find("TEST ERROR"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("miscompare"), std::string::npos) << seen;
    EXPECT_NE(seen.find("(100%"), std::string::npos) << seen;
    fs::remove(dir / "flash.bin");
}

INSTANTIATE_TEST_SUITE_P(every_board, selftest_busy, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param);
                         });

}  // namespace selftest_busy_test
