// The SNMP agent of switchfw against a port whose link changes: a TAP on
// port 3 comes and goes, and ifLastChange follows it under walks of the
// interfaces table. Needs root (CAP_NET_ADMIN) and /dev/net/tun; skips
// without them.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

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
    // Walks until port 3's operational status is the one wanted; that walk.
    auto walk_until = [&](const std::string &status) {
        std::string out;
        for (int i = 0; i < 40; i++) {
            out = sh_out(walk + " 2>&1");
            if (value_in(out, oper) == status) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return out;
    };

    ASSERT_EQ(sh("ip link set " + tap + " netns " + ns.spaces[0]), 0);
    ASSERT_EQ(sh("ip -n " + ns.spaces[0] + " link set " + tap + " up"), 0);
    std::string up = walk_until("INTEGER: 1");
    ASSERT_EQ(value_in(up, oper), "INTEGER: 1") << up.substr(0, 400);
    long came_up = ticks(value_in(up, last));
    EXPECT_GT(came_up, 0) << value_in(up, last);
    // Reads change nothing: the next walk shows the same stamp.
    EXPECT_EQ(ticks(value_in(sh_out(walk + " 2>&1"), last)), came_up);

    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    ASSERT_EQ(sh("ip -n " + ns.spaces[0] + " link del " + tap), 0);
    std::string down = walk_until("INTEGER: 2");
    ASSERT_EQ(value_in(down, oper), "INTEGER: 2");
    long went_down = ticks(value_in(down, last));
    EXPECT_GE(went_down, came_up + 100) << value_in(down, last);
    EXPECT_EQ(ticks(value_in(sh_out(walk + " 2>&1"), last)), went_down);
    // Ports whose link never changed keep the agent's start.
    EXPECT_LT(ticks(value_in(down, ".1.3.6.1.2.1.2.2.1.9.4")), came_up);
}

}  // namespace
