// The SNMP agent of switchfw against ports whose link changes: TAPs come
// and go, and ifLastChange, the port speeds and the link traps follow them.
// A SET answered with an error, refused during a self-test or failing on a
// later variable, changes nothing. Needs root (CAP_NET_ADMIN) and
// /dev/net/tun; skips without them.
#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"
#include "trap_receiver.h"
#include "web_client.h"

namespace {

using system_fixture::log_lines_accounted;
using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::sh_out;
using system_fixture::Switch;

// The value of one instance in a walk's output ("OID = TYPE: value"), or
// empty when the walk did not list it.
std::string value_in(const std::string &walk, const std::string &instance) {
    std::string key = instance + " = ";
    size_t at = walk.find(key);
    if (at == std::string::npos) return "";
    at += key.size();
    return walk.substr(at, walk.find('\n', at) - at);
}

// Timeticks as a number ("Timeticks: (1234) 0:00:12.34").
long ticks(const std::string &value) {
    size_t open = value.find('(');
    return open == std::string::npos ? -1 : std::stol(value.substr(open + 1));
}

TEST(system_snmp, IfLastChangeFollowsTheLinkUnderWalks) {
    if (!system_fixture::can_make_namespaces())
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip and ping";
    int id = system_fixture::own_id();
    std::string tap = "swlc" + std::to_string(id);
    Netns ns;
    ns.spaces.push_back("swlcns" + std::to_string(id));
    ASSERT_EQ(sh("ip netns add " + ns.spaces[0]), 0);

    Switch sw(test_workdir::path(), {"--board", "26", "--tap", "3=" + tap});
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    const std::string walk = "snmpwalk -v2c -On -r 1 -t 2 -c public 127.0.0.1:" +
                             std::to_string(sw.port_offset() + 161) + " .1.3.6.1.2.1.2.2.1";
    const std::string oper = ".1.3.6.1.2.1.2.2.1.8.3", last = ".1.3.6.1.2.1.2.2.1.9.3";
    // Walks until port 3's operational status is the one wanted and its
    // ifLastChange has left the stamp given; that walk. The status is read
    // from the port as it is, the stamp comes with link scan's report of the
    // change, up to one scan later.
    auto walk_until = [&](const std::string &status, long stamp_before) {
        std::string out;
        for (int i = 0; i < 40; i++) {
            out = sh_out(walk + " 2>&1");
            if (value_in(out, oper) == status && ticks(value_in(out, last)) != stamp_before) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return out;
    };

    const long at_start = ticks(value_in(sh_out(walk + " 2>&1"), last));
    ASSERT_EQ(sh("ip link set " + tap + " netns " + ns.spaces[0]), 0);
    ASSERT_EQ(sh("ip -n " + ns.spaces[0] + " link set " + tap + " up"), 0);
    std::string up = walk_until("INTEGER: 1", at_start);
    ASSERT_EQ(value_in(up, oper), "INTEGER: 1") << up.substr(0, 400);
    long came_up = ticks(value_in(up, last));
    EXPECT_GT(came_up, 0) << value_in(up, last);
    // Reads change nothing: the next walk shows the same stamp.
    EXPECT_EQ(ticks(value_in(sh_out(walk + " 2>&1"), last)), came_up);

    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    ASSERT_EQ(sh("ip -n " + ns.spaces[0] + " link del " + tap), 0);
    std::string down = walk_until("INTEGER: 2", came_up);
    ASSERT_EQ(value_in(down, oper), "INTEGER: 2");
    long went_down = ticks(value_in(down, last));
    EXPECT_GE(went_down, came_up + 100) << value_in(down, last);
    EXPECT_EQ(ticks(value_in(sh_out(walk + " 2>&1"), last)), went_down);
    // Ports whose link never changed keep the agent's start.
    EXPECT_LT(ticks(value_in(down, ".1.3.6.1.2.1.2.2.1.9.4")), came_up);
}

// Board 26: fast Ethernet port 1 and gigabit port 25 on TAPs, a trap
// station made on the web page.
TEST(system_snmp, LinkTrapsColdStartAndPortSpeedsFollowTheTaps) {
    if (!system_fixture::can_make_namespaces())
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip and ping";
    int id = system_fixture::own_id();
    std::string fe_tap = "swlt" + std::to_string(id), ge_tap = "swlg" + std::to_string(id);
    Netns ns;
    ns.spaces.push_back("swltns" + std::to_string(id));
    ASSERT_EQ(sh("ip netns add " + ns.spaces[0]), 0);

    std::optional<Switch> sw;
    sw.emplace(
        test_workdir::path(),
        std::vector<std::string>{"--board", "26", "--tap", "1=" + fe_tap, "--tap", "25=" + ge_tap});
    ASSERT_TRUE(sw->run("", "DXP.0> "));
    auto agent = [&] { return " 127.0.0.1:" + std::to_string(sw->port_offset() + 161); };
    auto get = [&](const std::string &oids) {
        return sh_out("snmpget -v2c -On -r 1 -t 2 -c public" + agent() + " " + oids + " 2>&1");
    };
    const int trap_port = sw->port_offset() + 164;
    trap_receiver::TrapReceiver traps(test_workdir::path(), trap_port);
    ASSERT_TRUE(traps.wait_for("NET-SNMP version")) << traps.log();  // it listens
    const int http = sw->port_offset() + 80;
    std::string cookie = web_client::login(http, "qivor");
    ASSERT_FALSE(cookie.empty());
    std::string made = web_client::post(
        http, "/snmp_trap_new.cgi",
        "snmp_trap_ip=127.0.0.1:" + std::to_string(trap_port) + "&snmp_trap_cstring=public",
        cookie);
    ASSERT_EQ(made.find("error_message"), std::string::npos) << made;

    // Without link a port reports its nominal speed, and no duplex yet.
    const std::string if_speed = ".1.3.6.1.2.1.2.2.1.5.", dot3 = ".1.3.6.1.2.1.10.7.2.1.";
    EXPECT_EQ(get(if_speed + "1 " + if_speed + "24 " + if_speed + "25 " + if_speed + "26"),
              if_speed + "1 = Gauge32: 100000000\n" + if_speed + "24 = Gauge32: 100000000\n" +
                  if_speed + "25 = Gauge32: 1000000000\n" + if_speed +
                  "26 = Gauge32: 1000000000\n");
    EXPECT_EQ(get(dot3 + "19.1 " + dot3 + "20.1 " + dot3 + "20.25"),
              dot3 + "19.1 = INTEGER: 1\n" + dot3 + "20.1 = INTEGER: 2\n" + dot3 +
                  "20.25 = INTEGER: 1\n");

    // A port switched off on its page shows at once, though a request just
    // read every port's status.
    const std::string admin2 = ".1.3.6.1.2.1.2.2.1.7.2";
    EXPECT_EQ(get(admin2), admin2 + " = INTEGER: 1\n");
    made = web_client::post(http, "/portset.cgi",
                            "port=2&admin=0&autonego=1&flow_ctrl=0&priority=0&pvid=1", cookie);
    EXPECT_EQ(made.find("ERROR"), std::string::npos) << made;
    EXPECT_EQ(get(admin2), admin2 + " = INTEGER: 2\n");

    // The port's link comes up: linkUp, in both forms, names the port.
    ASSERT_EQ(sh("ip link set " + fe_tap + " netns " + ns.spaces[0]), 0);
    ASSERT_EQ(sh("ip -n " + ns.spaces[0] + " link set " + fe_tap + " up"), 0);
    EXPECT_TRUE(traps.wait_for("Link Up Trap (0)")) << traps.log();
    EXPECT_TRUE(
        traps.wait_for(".1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.6.3.1.1.5.4\t"
                       ".1.3.6.1.2.1.2.2.1.1.1 = INTEGER: 1\t"
                       ".1.3.6.1.2.1.2.2.1.7.1 = INTEGER: 1\t"
                       ".1.3.6.1.2.1.2.2.1.8.1 = INTEGER: 1"))
        << traps.log();
    EXPECT_EQ(get(if_speed + "1 " + dot3 + "19.1"),
              if_speed + "1 = Gauge32: 100000000\n" + dot3 + "19.1 = INTEGER: 3\n");
    // ... and goes down again: linkDown.
    ASSERT_EQ(sh("ip -n " + ns.spaces[0] + " link del " + fe_tap), 0);
    EXPECT_TRUE(traps.wait_for("Link Down Trap (0)")) << traps.log();
    EXPECT_TRUE(
        traps.wait_for(".1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.6.3.1.1.5.3\t"
                       ".1.3.6.1.2.1.2.2.1.1.1 = INTEGER: 1\t"
                       ".1.3.6.1.2.1.2.2.1.7.1 = INTEGER: 1\t"
                       ".1.3.6.1.2.1.2.2.1.8.1 = INTEGER: 2"))
        << traps.log();
    // Only port 1 changed; the switch has not been started with the station.
    EXPECT_EQ(system_fixture::count_of(traps.log(), "Link "), 2u) << traps.log();
    EXPECT_EQ(traps.log().find("Cold Start"), std::string::npos) << traps.log();

    // A host flapping port 25's link gets a burst of notifications to the
    // stations; each change beyond it is counted in the log, by port.
    const std::string last_change25 = ".1.3.6.1.2.1.2.2.1.9.25";
    std::string stamp = get(last_change25);
    constexpr int kChanges = 12;  // ends down, as the last notification sent says
    for (int change = 0; change < kChanges; change++) {
        ASSERT_EQ(sh("ip link set " + ge_tap + (change % 2 == 0 ? " up" : " down")), 0);
        // Read for as long as a loaded host's link scan may take, not for a
        // count of reads, which a quick host runs through in a second.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        std::string now = get(last_change25);
        while (now == stamp && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            now = get(last_change25);
        }
        ASSERT_NE(now, stamp) << "link scan saw change " << change;
        stamp = now;
    }
    // Every change is a notification sent or a line counted, exactly once.
    const std::string unsent =
        "snmpd: port 25's link changes too often: a linkUp or linkDown notification not sent";
    auto notified_or_counted = [&](std::string *ram) {
        *ram = web_client::get(http, "/events.csv?module=44&mask=4&ring=0", cookie);
        return system_fixture::count_of(traps.log(), "Link ") - 2 +
               log_lines_accounted(*ram, unsent);
    };
    std::string ram;
    for (int tries = 0; tries < 120 && notified_or_counted(&ram) < kChanges; tries++)
        usleep(500 * 1000);
    EXPECT_EQ(notified_or_counted(&ram), size_t{kChanges}) << ram << traps.log();
    // The burst, and at most one more should a token come back meanwhile.
    EXPECT_GE(system_fixture::count_of(traps.log(), "Link "), 2u + 4u) << traps.log();
    EXPECT_LE(system_fixture::count_of(traps.log(), "Link "), 2u + 5u) << traps.log();

    // Started again with the stored station: coldStart, from the switch.
    sw.reset();
    sw.emplace(test_workdir::path(), std::vector<std::string>{"--board", "26"});
    ASSERT_TRUE(sw->run("", "DXP.0> "));
    EXPECT_TRUE(traps.wait_for("192.168.1.1 [192.168.1.1] (via UDP")) << traps.log();
    EXPECT_TRUE(traps.wait_for("Cold Start Trap (0)")) << traps.log();
    EXPECT_TRUE(traps.wait_for(".1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.6.3.1.1.5.1\t"))
        << traps.log();
}

std::string file_of(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A SET is taken whole or not at all: one refused while a self-test holds a
// port it names, or one whose later variable fails, leaves the system texts,
// the ports, the RMON rows and the stored settings as they were. The RMON
// rows a SET makes are stored.
class system_snmp_set : public testing::TestWithParam<int> {};

TEST_P(system_snmp_set, ASetAnsweredWithAnErrorChangesNothing) {
    if (!system_fixture::can_make_namespaces() || sh("snmpset -V") != 0)
        GTEST_SKIP() << "needs root (the system tests' environment) and Debian's snmp tools";
    const std::vector<std::string> board{"--board", std::to_string(GetParam())};
    std::optional<Switch> sw(std::in_place, test_workdir::path(), board);
    ASSERT_TRUE(sw->run("", "DXP.0> ", nullptr, 60));
    std::string agent = " 127.0.0.1:" + std::to_string(sw->port_offset() + 161);
    auto snmp = [&](const char *tool, const std::string &args) {
        return sh_out(std::string(tool) + " -v2c -On -r 2 -t 3 -c private" + agent + " " + args +
                      " 2>&1");
    };
    const std::string sys_name = ".1.3.6.1.2.1.1.5.0", admin = ".1.3.6.1.2.1.2.2.1.7.",
                      rmon = ".1.3.6.1.2.1.16",
                      missing = " = No Such Instance currently exists at this OID\n";
    auto state = [&] { return snmp("snmpget", sys_name + " " + admin + "4 " + admin + "5"); };
    const std::string as_found =
        sys_name + " = \"\"\n" + admin + "4 = INTEGER: 1\n" + admin + "5 = INTEGER: 1\n";
    ASSERT_EQ(state(), as_found);
    const std::string flash = test_workdir::path() + "/flash.bin";

    // fe4 is port 5: while the traffic test holds it, the request is refused
    // before the name or port 4 changes.
    ASSERT_TRUE(sw->run("TestRun 72 TimeInSeconds=8 CounterPollInterval=1 PortBitMap=fe4-fe5",
                        "TRAFFIC: setting up ports", nullptr, 60));
    std::string out = snmp("snmpset", sys_name + " s during " + admin + "4 i 2 " + admin + "5 i 2");
    EXPECT_NE(out.find("Reason: inconsistentValue"), std::string::npos) << out;
    EXPECT_NE(out.find("Failed object: " + admin + "5"), std::string::npos) << out;
    EXPECT_EQ(state(), as_found);
    // The answer carries only its status: the log names the test.
    const int web = sw->port_offset() + 80;
    const std::string log =
        web_client::get(web, "/logview.htm?target=0&page=1", web_client::login(web, "qivor"));
    EXPECT_NE(log.find("ifAdminStatus.5 not set: Port 5: port under self-test (Traffic Test)"),
              std::string::npos)
        << log;
    std::string seen;
    ASSERT_TRUE(sw->run("", "TRAFFIC: restoring ports", &seen, 120));
    seen.erase(0, seen.find("TRAFFIC: restoring ports"));
    ASSERT_TRUE(sw->read_more(&seen, "DXP.0> ", 60)) << seen;

    // Alarm 10 samples event 6's type, which is gone when the request makes
    // the alarm valid: that fails in the ACTION phase, after the name, port 4
    // and the alarm's interval (named twice) were written, and event 7 was
    // made. All of it is put back.
    for (const std::string &args :
         {rmon + ".9.1.1.7.6 i 2", rmon + ".3.1.1.12.10 i 2",
          rmon + ".3.1.1.3.10 o " + rmon + ".9.1.1.3.6", rmon + ".9.1.1.7.6 i 4",
          rmon + ".9.1.1.7.5 i 2", rmon + ".9.1.1.2.5 s made " + rmon + ".9.1.1.7.5 i 1",
          rmon + ".9.1.1.7.9 i 2"})
        ASSERT_EQ(snmp("snmpset", args).find("Error"), std::string::npos) << args;
    // The rows the manager made are stored as the pages' are: a restart
    // keeps them.
    ASSERT_TRUE(sw->run("EXIT", "Resetting"));
    sw.emplace(test_workdir::path(), board);
    ASSERT_TRUE(sw->run("", "DXP.0> ", nullptr, 60));
    agent = " 127.0.0.1:" + std::to_string(sw->port_offset() + 161);
    EXPECT_EQ(snmp("snmpget", rmon + ".9.1.1.2.5 " + rmon + ".9.1.1.7.5 " + rmon + ".9.1.1.7.6"),
              rmon + ".9.1.1.2.5 = STRING: \"made\"\n" + rmon + ".9.1.1.7.5 = INTEGER: 1\n" + rmon +
                  ".9.1.1.7.6" + missing);
    const std::string stored = file_of(flash);
    const std::string rows = rmon + ".3.1.1.2.10 " + rmon + ".3.1.1.12.10 " + rmon + ".9.1.1.7.7";
    const std::string rows_before = snmp("snmpget", rows);
    ASSERT_EQ(rows_before, rmon + ".3.1.1.2.10 = INTEGER: 0\n" + rmon +
                               ".3.1.1.12.10 = INTEGER: 3\n" + rmon + ".9.1.1.7.7" + missing);
    out = snmp("snmpset", sys_name + " s undone " + admin + "4 i 2 " + rmon + ".3.1.1.2.10 i 5 " +
                              rmon + ".3.1.1.2.10 i 6 " + rmon + ".3.1.1.12.10 i 1 " + rmon +
                              ".9.1.1.7.7 i 2");
    EXPECT_NE(out.find("Reason: wrongValue"), std::string::npos) << out;
    EXPECT_EQ(state(), as_found);
    EXPECT_EQ(snmp("snmpget", rows), rows_before);
    // A status that makes a row valid and its deletion cannot both be taken:
    // the deletion would fail after the row became valid.
    out = snmp("snmpset", rmon + ".9.1.1.7.9 i 1 " + rmon + ".9.1.1.7.9 i 4");
    EXPECT_NE(out.find("Reason: inconsistentValue"), std::string::npos) << out;
    EXPECT_EQ(snmp("snmpget", rmon + ".9.1.1.7.9"), rmon + ".9.1.1.7.9 = INTEGER: 3\n");
    // A community row is no object a manager may write: the whole request
    // is refused, the event it would make included.
    out = snmp("snmpset",
               rmon + ".9.1.1.7.8 i 2 " + sys_name + " s c " + ".1.3.6.1.6.3.18.1.1.1.8.1.65 i 4");
    EXPECT_NE(out.find("Reason: noAccess"), std::string::npos) << out;
    EXPECT_EQ(snmp("snmpget", rmon + ".9.1.1.7.8 " + sys_name),
              rmon + ".9.1.1.7.8" + missing + sys_name + " = \"\"\n");
    EXPECT_TRUE(file_of(flash) == stored);

    // With the test over, the same request is taken.
    EXPECT_EQ(snmp("snmpset", sys_name + " s after " + admin + "4 i 2 " + admin + "5 i 2"),
              sys_name + " = STRING: \"after\"\n" + admin + "4 = INTEGER: 2\n" + admin +
                  "5 = INTEGER: 2\n");
}

INSTANTIATE_TEST_SUITE_P(every_board, system_snmp_set, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param);
                         });

// A malformed request a second from a host that needs no community: the
// flash keeps the burst's lines, then the counts, as warnings that name the
// host; a longer stream adds only counts, each window twice as long.
class system_snmp_log : public testing::TestWithParam<int> {};

TEST_P(system_snmp_log, AMalformedRequestASecondWritesItsBurstThenCounts) {
    if (sh("python3 --version") != 0) GTEST_SKIP() << "needs python3";
    std::optional<Switch> sw;
    sw.emplace(test_workdir::path(),
               std::vector<std::string>{"--board", std::to_string(GetParam())});
    ASSERT_TRUE(sw->run("", "DXP.0> ", nullptr, 60));
    // A v2c GetRequest with community "public" and PDU tag 0xfa, a second
    // for one window more than the burst takes; then a well-formed one,
    // whose answer says the agent has read them all.
    const std::string sender = R"(import socket,sys,time
s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM); s.bind(("127.0.0.2",0))
to=("127.0.0.1",int(sys.argv[2])); bad=bytes.fromhex(sys.argv[1])
for i in range(int(sys.argv[3])): s.sendto(bad,to); time.sleep(float(sys.argv[4]))
if sys.argv[5]=="1": s.settimeout(30); s.sendto(bad.replace(b"\xfa",b"\xa0"),to); s.recv(1500))";
    auto send = [&](int requests, const char *gap, bool answered = true) {
        return sh("python3 -c '" + sender + "' 302602010104067075626c6963fa1902040102030402010002" +
                  "0100300b300906052b06010201050000 " + std::to_string(sw->port_offset() + 161) +
                  " " + std::to_string(requests) + " " + gap + (answered ? " 1" : " 0"));
    };
    ASSERT_EQ(send(25, "1"), 0);
    int web = sw->port_offset() + 80;
    std::string cookie = web_client::login(web, "qivor");
    auto flash = [&](int mask) {
        return web_client::get(
            web, "/events.csv?module=44&mask=" + std::to_string(mask) + "&ring=1", cookie);
    };
    const std::string line = "snmpd: Bad PDU type received: 0xfa (request from 127.0.0.2)";
    std::string warnings;
    for (int tries = 0; tries < 120 && warnings.find(line + " (") == std::string::npos; tries++) {
        if (tries > 0) usleep(500 * 1000);
        warnings = flash(1 << 1);
    }
    EXPECT_NE(warnings.find(line + " ("), std::string::npos) << warnings;
    // The burst of ten and a count or two, not a line a request.
    EXPECT_GE(system_fixture::count_of(warnings, line), 11u) << warnings;
    EXPECT_LE(system_fixture::count_of(warnings, line), 12u) << warnings;
    EXPECT_EQ(flash(1).find("Bad PDU"), std::string::npos) << "not the switch's own error";
    // A burst in the window under way when the program ends is counted in
    // flash all the same: every request a line written or counted.
    ASSERT_EQ(send(30, "0.01"), 0);
    kill(sw->pid(), SIGTERM);
    EXPECT_EQ(sw->exit_status(60), 128 + SIGTERM);
    sw.emplace(test_workdir::path(),
               std::vector<std::string>{"--board", std::to_string(GetParam())});
    ASSERT_TRUE(sw->run("", "DXP.0> ", nullptr, 60));
    cookie = web_client::login(web = sw->port_offset() + 80, "qivor");
    EXPECT_EQ(log_lines_accounted(flash(1 << 1), line), 25u + 30u) << flash(1 << 1);
    // A flood the agent's queue cannot hold: each request is a line about
    // it or one about its being dropped, both naming the sender.
    ASSERT_EQ(send(1000, "0", false), 0);
    const std::string dropped = "snmpd: request from 127.0.0.2 dropped: the agent's queue was full";
    std::string ram;
    for (int tries = 0;
         tries < 120 && log_lines_accounted(ram, line) + log_lines_accounted(ram, dropped) < 1000;
         tries++) {
        if (tries > 0) usleep(500 * 1000);
        ram = web_client::get(web, "/events.csv?module=44&mask=2&ring=0", cookie);
    }
    EXPECT_EQ(log_lines_accounted(ram, line) + log_lines_accounted(ram, dropped), 1000u) << ram;
}

INSTANTIATE_TEST_SUITE_P(boards, system_snmp_log, testing::Values(52, 28),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param);
                         });

}  // namespace
