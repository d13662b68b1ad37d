// The SNMP agent of switchfw against ports whose link changes: TAPs come
// and go, and ifLastChange, the port speeds and the link traps follow them.
// Needs root (CAP_NET_ADMIN) and /dev/net/tun; skips without them.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"
#include "trap_receiver.h"
#include "web_client.h"

namespace {

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
    int id = static_cast<int>(getpid() % 10000);
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
    int id = static_cast<int>(getpid() % 10000);
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

    // Started again with the stored station: coldStart, from the switch.
    sw.reset();
    sw.emplace(test_workdir::path(), std::vector<std::string>{"--board", "26"});
    ASSERT_TRUE(sw->run("", "DXP.0> "));
    EXPECT_TRUE(traps.wait_for("192.168.1.1 [192.168.1.1] (via UDP")) << traps.log();
    EXPECT_TRUE(traps.wait_for("Cold Start Trap (0)")) << traps.log();
    EXPECT_TRUE(traps.wait_for(".1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.6.3.1.1.5.1\t"))
        << traps.log();
}

}  // namespace
