// Whole-settings changes from other managers while a self-test holds its
// ports, one grouped case per board. A trunk, a mirror and a rate limit
// stored on the tested ports but not running (taken off on the monitor) are
// skipped, named, by telnet loads during tests 49 and 72, which pass; the
// chip and the pages stay as they ran, and a load after the tests applies
// them. A factory reset and a backup restore posted during a test are
// refused, running and stored settings unchanged; the reset button during a
// test erases the settings and restarts whole. The other entrances that
// reach a tested port are refused by name.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "../../platform/tests/private_workdir.h"
#include "switchfw_child.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

using system_fixture::Switch;

// A telnet session's answer to `load`, up to its next prompt.
std::string telnet_load(int port) {
    const int fd = switchfw_child::telnet_login(port, "qivor");
    if (fd < 0) return "no telnet login";
    switchfw_child::send_text(fd, "load\r\n");
    std::string seen;
    switchfw_child::read_until(fd, &seen, "ecos>", 30);
    close(fd);
    return seen;
}

// The running settings as the backup image gives them, by item; the
// password record is scrambled anew at every save.
std::map<std::string, std::string> running_items(int web, const std::string &cookie) {
    std::map<std::string, std::string> items;
    std::istringstream in(web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie)));
    for (std::string line; std::getline(in, line);) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && !line.starts_with("#")) items[line.substr(0, eq)] = line;
    }
    items.erase("password");
    return items;
}

// Reads the monitor's output on until the prompt that follows the marker.
bool until_prompt(Switch &fw, std::string *seen, const std::string &marker, int seconds) {
    const size_t at = seen->find(marker);
    if (at != std::string::npos && seen->find("DXP.0> ", at) != std::string::npos) return true;
    std::string rest;
    const bool found = fw.run("", "DXP.0> ", &rest, seconds);
    *seen += rest;
    return found;
}

// What a test with loads beside it gave: the test's output, the first
// load's answer and the snapshot taken right after it, while the test ran.
struct LoadedRun {
    std::string out, answer, during;
};

// Runs the test line until its marker, loads over telnet every quarter
// second until the test has ended, and takes the snapshot after the first.
LoadedRun test_with_loads(Switch &fw, const std::string &line, const std::string &marker,
                          const std::function<std::string()> &snapshot) {
    LoadedRun run;
    EXPECT_TRUE(fw.run(line, marker, &run.out, 60)) << run.out;
    std::atomic<bool> ended{false};
    std::thread loads([&] {
        for (int n = 0; !ended.load(); n++) {
            const std::string answer = telnet_load(fw.port_offset() + 23);
            if (n == 0) {
                run.answer = answer;
                run.during = snapshot();
            }
            usleep(250000);
        }
    });
    EXPECT_TRUE(until_prompt(fw, &run.out, marker, 180)) << run.out;
    ended.store(true);
    loads.join();
    return run;
}

class system_selftest_load : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        if (!system_fixture::can_make_namespaces())
            GTEST_SKIP() << "needs root (the system tests' environment)";
        board = GetParam();
        std::filesystem::remove(dir + "/flash.bin");
        start();
    }
    // The switch started (again) on the flash it has, logged in on the web.
    void start() {
        fw.reset();
        fw = std::make_unique<Switch>(dir,
                                      std::vector<std::string>{"--board", std::to_string(board)});
        ASSERT_TRUE(fw->run("", "DXP.0> ", nullptr, 60));
        web = fw->port_offset() + 80;
        cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
    }
    int board = 0;
    const std::string dir = test_workdir::path();
    std::unique_ptr<Switch> fw;
    int web = 0;
    std::string cookie;
};

TEST_P(system_selftest_load, LoadsRestoresAndResetsLeaveATestAndItsPortsAlone) {
    // Stored on ports 3 and 4 (fe2, fe3), then taken off the chip on the
    // monitor, which stores nothing: a load would put them back.
    const std::string none(static_cast<size_t>(board), '0');
    const std::string fifth = "00001" + none.substr(5);
    for (const auto &[path, form] : std::map<std::string, std::string>{
             {"/trunk.cgi", "trunk_criteria=1&tgmember1=3,4&tgmember2=&tgmember3="},
             {"/mirror.cgi", "ingress=" + fifth + "&egress=" + none + "&mtp=3&mode=1"},
             {"/setrate.cgi", "port=4&ingress=1024&egress_enable=0&egress=0&burst=64"}}) {
        const std::string page = web_client::post(web, path, form, cookie);
        EXPECT_EQ(page.find("ERROR"), std::string::npos) << path << "\n" << page;
    }
    // A DoS check switched on for port 3 on the monitor only (the board of
    // 26 ports has no DoS manager): a load would switch it off.
    const bool dos = board != 26;
    auto take_off = [&] {
        fw->output("TRunk remove Id=0 Pbmp=fe2,fe3");
        fw->output("MIRror Mode=Off");
        fw->output("PortRate fe3 ingress 0 0");
        if (dos) fw->output("dos fe2 enable 2");
    };
    take_off();
    auto chip = [&] {
        return fw->output("TRunk show") + fw->output("MIRror") + fw->output("PortRate fe3");
    };
    // The chip's trunk, mirror and rate settings as the backup reads them,
    // and the pages that show them.
    auto snapshot = [&] {
        auto items = running_items(web, cookie);
        std::string all = items["trunk"] + items["mirror"] + items["rate"] + items["dos"];
        for (const char *page : {"/trunk.htm", "/mirror.htm", "/rate.htm"})
            all += web_client::body_of(web_client::get(web, page, cookie));
        return all;
    };
    const std::string chip_before = chip(), before_tests = snapshot();
    EXPECT_NE(chip_before.find("Mode=Off"), std::string::npos) << chip_before;

    // Loads during the loopback and the traffic test skip the three, naming
    // them, and leave the tests passing.
    const struct {
        const char *line, *marker, *passed;
    } tests[] = {
        {"TestRun 49 PortBitMap=fe2-fe3 LoopbackMode=PHY Count=40", "Setting up ARL", "(100%"},
        {"TestRun 72 PortBitMap=fe2-fe3 RunMode=PHY TimeInSeconds=4 CounterPollInterval=2",
         "TRAFFIC: setting up ports", "TEST passed"},
    };
    for (const auto &t : tests) {
        // A load that came as the last test ended has put them back.
        take_off();
        const LoadedRun run = test_with_loads(*fw, t.line, t.marker, snapshot);
        EXPECT_NE(run.out.find(t.passed), std::string::npos) << t.line << "\n" << run.out;
        EXPECT_EQ(run.out.find("TEST ERROR"), std::string::npos) << t.line << "\n" << run.out;
        for (const char *skipped :
             {"Settings loaded, except:", "Trunks: trunk 1: port 3: port under self-test",
              "Mirroring: port 3: port under self-test",
              "Rate limits: port 4: port under self-test"})
            EXPECT_NE(run.answer.find(skipped), std::string::npos) << t.line << "\n" << run.answer;
        if (dos) {
            EXPECT_NE(run.answer.find("DoS settings: port 3: port under self-test"),
                      std::string::npos)
                << t.line << "\n"
                << run.answer;
        }
        EXPECT_TRUE(run.during == before_tests)
            << t.line << ": the load changed the chip or a page";
    }
    // Once the tests have given their ports back, a load applies them.
    std::string answer = telnet_load(fw->port_offset() + 23);
    EXPECT_NE(answer.find("Settings loaded\r\n"), std::string::npos) << answer;
    std::string now = chip();
    EXPECT_NE(now.find("fe2"), std::string::npos) << now;
    EXPECT_NE(now.find("Port=fe2"), std::string::npos) << now;
    EXPECT_NE(now.find("fe3:\tIngress meter:     1024 kbps"), std::string::npos) << now;
    if (dos) {
        const std::string shown = fw->output("dos fe2 show");
        EXPECT_NE(shown.find("Item[ 2] is disabled"), std::string::npos) << shown;
    }

    // A factory reset and a restore during a test are refused by name and
    // change nothing, running or stored.
    web_client::post(web, "/aging.cgi", "enable=1&time=100", cookie);
    web_client::post(web, "/newvlan.cgi",
                     "newid=50&values=0000000" + std::string("2") + none.substr(8), cookie);
    const std::string image = web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie));
    const auto before = running_items(web, cookie);
    ASSERT_NE(before.at("aging"), "");
    std::string seen;
    ASSERT_TRUE(
        fw->run("TestRun 72 PortBitMap=fe5-fe6 RunMode=PHY TimeInSeconds=5 "
                "CounterPollInterval=1",
                "TRAFFIC: setting up ports", &seen, 60))
        << seen;
    answer = web_client::post(web, "/restored.cgi", "factory=2", cookie);
    EXPECT_NE(answer.find("Port 6: port under self-test (Traffic Test): the factory defaults are "
                          "not restored and nothing changed"),
              std::string::npos)
        << answer;
    answer = web_client::upload(web, "/restore.cgi", image, cookie);
    EXPECT_NE(answer.find("Port 6: port under self-test (Traffic Test): the backup is not "
                          "restored and nothing changed"),
              std::string::npos)
        << answer;
    ASSERT_TRUE(until_prompt(*fw, &seen, "TRAFFIC: setting up ports", 120)) << seen;
    EXPECT_NE(seen.find("TEST passed"), std::string::npos) << seen;
    sleep(2);  // a reset or restore taken would have applied by now
    EXPECT_TRUE(running_items(web, cookie) == before) << "running settings changed";
    answer = telnet_load(fw->port_offset() + 23);
    EXPECT_NE(answer.find("Settings loaded\r\n"), std::string::npos) << answer;
    EXPECT_TRUE(running_items(web, cookie) == before) << "stored settings changed";

    // The reset button during a test erases the settings and restarts: the
    // switch comes back with the factory defaults whole.
    ASSERT_TRUE(
        fw->run("TestRun 72 PortBitMap=fe5-fe6 RunMode=PHY TimeInSeconds=5 "
                "CounterPollInterval=1",
                "TRAFFIC: setting up ports", &seen, 60))
        << seen;
    kill(fw->pid(), SIGUSR1);
    EXPECT_EQ(fw->exit_status(30), 10);
    start();
    if (HasFatalFailure()) return;
    const auto reset = running_items(web, cookie);
    for (const char *item : {"aging", "vlan", "trunk", "mirror", "rate"})
        EXPECT_NE(reset.at(item), before.at(item)) << item;
    EXPECT_NE(web_client::get(web, "/aging.htm", cookie).find("300"), std::string::npos);
    now = chip();
    EXPECT_EQ(now.find("Mode=L2"), std::string::npos) << now;
    EXPECT_NE(now.find("fe3:\tIngress meter:  value not set yet."), std::string::npos) << now;
    std::filesystem::remove(dir + "/flash.bin");
}

// The monitor commands and pages beside the port settings that reach a
// tested port (counter, device and table clears, a unit's reset or detach, a
// stop of the counter collection, access control, multicast groups, address
// clears, ARP inspection, port QoS, DoS, the cable test) are refused by name
// during a loopback test, which passes; nothing of them is left behind, and
// the same changes are taken once the test has ended. An ageing time the
// monitor sets during the traffic test stays.
TEST_P(system_selftest_load, OtherEntrancesRefuseATestedPortByNameAndTheTestPasses) {
    auto error_of = [](const std::string &page) {
        const size_t at = page.find("id=\"error_message\"><b>");
        return at == std::string::npos ? "" : page.substr(at + 22, page.find("</b>", at) - at - 22);
    };
    const std::string all_trusted(static_cast<size_t>(board), '1');
    std::map<std::string, std::string> forms = {
        {"/darp.cgi", "enable=1&ports=" + all_trusted + "&rf=0&rt=0&af=0&at=0&aging=0"},
        {"/qos_enhance_port.cgi", "prio=0,0,5"},
        {"/dos_perport.cgi", "port=3&checks=111&r1=100&r2=100"},
    };
    // Port QoS, the DoS checks and ARP inspection need the field processor
    // (not on board 26).
    const std::string qos =
        error_of(web_client::post(web, "/qos_enhance_mode.cgi", "mode=1", cookie));
    if (!qos.empty()) {
        EXPECT_NE(qos.find("no field processor"), std::string::npos) << qos;
        forms.erase("/qos_enhance_port.cgi");
        forms.erase("/dos_perport.cgi");
        forms.erase("/darp.cgi");
    }
    const std::string auth_before = fw->output("Auth show");

    std::string seen;
    ASSERT_TRUE(fw->run("BackGround \"TestRun 49 PortBitMap=fe2-fe3 LoopbackMode=PHY Count=60\"",
                        "Setting up ARL", &seen, 60))
        << seen;
    for (const char *line :
         {"CLEAR counters fe3", "CLEAR stats fe2", "CLEAR dev", "CLEAR ARL", "CounTeR Interval=0",
          "INIT dxp", "DETach", "Auth block PortBitMap=fe2", "Auth mac clear PortBitMap=fe1-fe3",
          "MCAST add MACaddress=01:00:5e:01:01:07 Vlanid=1 "
          "PortBitMap=fe2,fe5 Index=2",
          "MCAST join MACaddress=01:00:5e:01:01:02 Vlanid=1 PortBitMap=fe3",
          "L2 clear Port=fe2 Static=true"}) {
        const std::string answer = fw->output(line);
        seen += answer;
        EXPECT_NE(answer.find(": port under self-test"), std::string::npos) << line << "\n"
                                                                            << answer;
    }
    for (const auto &[path, form] : forms)
        EXPECT_EQ(error_of(web_client::post(web, path, form, cookie)),
                  "Port 3: port under self-test (PHY Loopback - Mark 2)")
            << path;
    EXPECT_EQ(error_of(web_client::post(web, "/cable.cgi", "port=3", cookie)),
              "Port 3: port under self-test (PHY Loopback - Mark 2)");
    if (seen.find("(100%") == std::string::npos) {
        std::string rest;
        EXPECT_TRUE(fw->run("", "(100%", &rest, 180)) << rest;
        seen += rest;
    }
    // The last frames are counted before the done step gives the ports
    // back: the job ends after it.
    for (int tries = 0; tries < 120 && fw->output("JOBS").find("Job ") != std::string::npos;
         tries++)
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(fw->output("JOBS").find("Job "), std::string::npos);
    EXPECT_EQ(seen.find("TEST ERROR"), std::string::npos) << seen;

    // Nothing of the refused changes runs.
    EXPECT_EQ(fw->output("Auth show"), auth_before);
    std::string out = fw->output("L2 show");
    EXPECT_EQ(out.find("01:00:5e:01:01"), std::string::npos) << out;
    EXPECT_EQ(
        web_client::get(web, "/darp_config.htm", cookie).find("<option value=\"1\" selected>"),
        std::string::npos);
    // Once the test has given its ports back, the same changes are taken.
    EXPECT_NE(fw->output("Auth block PortBitMap=fe2").find("port fe2 blocked"), std::string::npos);
    fw->output("Auth unblock PortBitMap=fe2");
    for (const auto &[path, form] : forms)
        EXPECT_EQ(error_of(web_client::post(web, path, form, cookie)), "") << path;
    const std::string cable = error_of(web_client::post(web, "/cable.cgi", "port=3", cookie));
    EXPECT_EQ(cable.find("self-test"), std::string::npos) << cable;

    // An ageing time the monitor sets during the traffic test stays after it.
    seen.clear();
    ASSERT_TRUE(
        fw->run("BackGround \"TestRun 72 PortBitMap=fe2-fe3 RunMode=PHY TimeInSeconds=3 "
                "CounterPollInterval=1\"",
                "TRAFFIC: starting", &seen, 60))
        << seen;
    seen += fw->output("AGE 100");
    // The pass is said once the done has given everything back, the ageing
    // time among it.
    if (seen.find("TEST passed") == std::string::npos) {
        std::string rest;
        EXPECT_TRUE(fw->run("", "TEST passed", &rest, 120)) << seen << rest;
        seen += rest;
    }
    out = fw->output("AGE");
    EXPECT_NE(out.find("Current age timer is 100."), std::string::npos) << out;
    std::filesystem::remove(dir + "/flash.bin");
}

// What a save, a backup and the pages take during tests 49 and 72 is what
// the administrator set (port 3 forced to 10 full with pause, ageing 100),
// not the tests' loopback state or ageing off: it runs after a restart and
// after a restore of the backup taken during the test. A restore or a
// factory reset posted right before a test starts is applied whole; the
// test is refused by name meanwhile.
TEST_P(system_selftest_load, WhatATestRunsIsNeverStoredAndAnAcceptedRestoreIsDoneWhole) {
    auto post = [&](const char *path, const std::string &form) {
        return web_client::post(web, path, form, cookie);
    };
    EXPECT_EQ(
        post("/portset.cgi", "port=3&admin=1&autonego=0&speed=2&flow_ctrl=1&priority=6&pvid=1")
            .find("Retry"),
        std::string::npos);
    EXPECT_EQ(post("/aging.cgi", "enable=1&time=100").find("Retry"), std::string::npos);
    // The stored rows and ageing, and what port 3's form and the ageing page
    // are preset with.
    auto stored = [&] {
        auto items = running_items(web, cookie);
        return items["portconf"] + "\n" + items["aging"];
    };
    auto pages = [&] {
        std::string presets;
        std::istringstream in(
            web_client::body_of(web_client::get(web, "/setport.cgi?port=3", cookie)));
        for (std::string line; std::getline(in, line);)
            if (line.starts_with("var ")) presets += line + "\n";
        const std::string aging = web_client::get(web, "/aging.htm", cookie);
        return presets + (aging.find("100 second(s)") != std::string::npos ? "aging 100" : aging);
    };
    const std::string set_stored = stored(), set_pages = pages();
    EXPECT_NE(set_pages.find("var speed = Number(\"2\")"), std::string::npos) << set_pages;
    EXPECT_NE(set_pages.find("var flow_ctrl = Number(\"1\")"), std::string::npos) << set_pages;
    const std::string running = fw->output("port fe2");
    EXPECT_NE(running.find("Forced(10MFD+TXpau+RXpau)"), std::string::npos) << running;

    std::string image;  // the backup taken during the traffic test
    const struct {
        const char *line, *marker, *passed;
    } tests[] = {
        {"TestRun 49 PortBitMap=fe2-fe3 LoopbackMode=PHY Count=40", "Setting up ARL", "(100%"},
        {"TestRun 72 PortBitMap=fe2-fe3 RunMode=PHY TimeInSeconds=6 CounterPollInterval=2",
         "TRAFFIC: starting", "TEST passed"},
    };
    for (const auto &t : tests) {
        std::string seen;
        ASSERT_TRUE(fw->run(t.line, t.marker, &seen, 60)) << seen;
        // An unchanged Apply of another port saves every row.
        EXPECT_EQ(post("/portset.cgi", "port=10&admin=1&autonego=1&flow_ctrl=0&priority=0&pvid=1")
                      .find("Retry"),
                  std::string::npos);
        const std::string during_stored = stored(), during_pages = pages();
        if (image.empty() || t.passed[0] == 'T')
            image = web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie));
        // Still under test after the reads.
        EXPECT_NE(post("/portset.cgi", "port=3&admin=1&autonego=1&flow_ctrl=0&priority=0&pvid=1")
                      .find("Port 3: port under self-test"),
                  std::string::npos)
            << t.line;
        EXPECT_TRUE(until_prompt(*fw, &seen, t.marker, 180)) << seen;
        EXPECT_NE(seen.find(t.passed), std::string::npos) << t.line << "\n" << seen;
        EXPECT_EQ(during_stored, set_stored) << t.line;
        EXPECT_EQ(during_pages, set_pages) << t.line;
    }
    sleep(1);  // the done step's last steps
    EXPECT_EQ(stored(), set_stored);

    // The stored settings run after a restart, and after a restore of the
    // backup taken during the test.
    ASSERT_TRUE(fw->run("EXIT", "Resetting"));
    start();
    if (HasFatalFailure()) return;
    EXPECT_EQ(fw->output("port fe2"), running);
    EXPECT_EQ(stored(), set_stored);
    EXPECT_EQ(post("/aging.cgi", "enable=1&time=150").find("Retry"), std::string::npos);
    EXPECT_NE(web_client::upload(web, "/restore.cgi", image, cookie).find("200 OK"),
              std::string::npos);
    auto becomes = [&](const std::string &want) {
        for (int tries = 0; tries < 40 && stored() != want; tries++)
            usleep(250000);
        return stored() == want;
    };
    EXPECT_TRUE(becomes(set_stored));
    EXPECT_EQ(fw->output("port fe2"), running);

    // A restore and a factory reset accepted just before a test: the test is
    // refused by name (or, on a host slow enough that the image was applied
    // first, runs after it), and the image is applied and stored whole.
    EXPECT_EQ(post("/aging.cgi", "enable=1&time=150").find("Retry"), std::string::npos);
    for (const bool factory : {false, true}) {
        const std::string answer = factory ? post("/restored.cgi", "factory=2")
                                           : web_client::upload(web, "/restore.cgi", image, cookie);
        std::string seen;
        EXPECT_TRUE(
            fw->run("TestRun 72 PortBitMap=fe5-fe6 RunMode=PHY TimeInSeconds=2 "
                    "CounterPollInterval=1",
                    "DXP.0> ", &seen, 120))
            << seen;
        EXPECT_EQ(answer.find("Retry"), std::string::npos) << answer;
        EXPECT_TRUE(seen.find("Traffic Test refused: a restore is being applied") !=
                        std::string::npos ||
                    seen.find("TEST passed") != std::string::npos)
            << seen;
        if (factory) {
            auto aging = [&] { return web_client::get(web, "/aging.htm", cookie); };
            for (int tries = 0; tries < 40 && aging().find("300 second(s)") == std::string::npos;
                 tries++)
                usleep(250000);
            EXPECT_NE(aging().find("300 second(s)"), std::string::npos) << "the reset was dropped";
            EXPECT_NE(stored(), set_stored);
        } else {
            EXPECT_TRUE(becomes(set_stored)) << "the restore was dropped";
        }
    }
    std::filesystem::remove(dir + "/flash.bin");
}

INSTANTIATE_TEST_SUITE_P(every_board, system_selftest_load, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param);
                         });

}  // namespace
