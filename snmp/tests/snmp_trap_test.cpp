// RMON alarm traps from the configuration's trap stations, received by
// snmptrapd: v1 and v2c, with the community prefix rule. The agent runs in
// this test program.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../../host/tests/switchfw_child.h"
#include "../../platform/tests/private_workdir.h"
#include "sal_host.h"
#include "snmp_agent.h"
#include "snmpcfg.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string read_file(const fs::path &p) {
    std::ifstream f(p);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Polls the file until it holds the text, 15 s at most.
bool wait_for(const fs::path &p, const std::string &text) {
    auto end = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < end) {
        if (read_file(p).find(text) != std::string::npos) return true;
        usleep(50 * 1000);  // polling with a deadline
    }
    return false;
}

int count(const std::string &text, const std::string &what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

void add_station(int port, const char *community) {
    snmpcfg_trap t{};
    // A port number fits the 16 bytes: at most five digits.
    std::snprintf(t.host, sizeof t.host, "127.0.0.1:%u", static_cast<uint16_t>(port));
    std::snprintf(t.community, sizeof t.community, "%s", community);
    int slot = -1;
    ASSERT_EQ(snmpcfg_trap_add(&t, &slot), 0);
    ASSERT_EQ(snmpcfg_trap_apply(slot), 0);
}

TEST(send_rmon_alarm_trap, ReachesTheSinksWhoseCommunityStartsTheEventOne) {
    const int offset = switchfw_child::free_port_offset();
    const int port = offset + 162 + 2;
    const fs::path log = fs::path(test_workdir::path()) / "traps.log";
    pid_t trapd = fork();
    if (trapd == 0) {
        std::string listen = "udp:127.0.0.1:" + std::to_string(port);
        std::ofstream("trapd.conf") << "disableAuthorization yes\n";
        execlp("snmptrapd", "snmptrapd", "-f", "-n", "-On", "-m", "", "-C", "-c", "trapd.conf",
               "-F", "%P %w %q %v\n", "-Lf", log.c_str(), listen.c_str(),
               static_cast<char *>(nullptr));
        _exit(127);
    }
    ASSERT_TRUE(wait_for(log, "NET-SNMP version"));

    sal_host_port_offset_set(offset);
    ASSERT_EQ(snmp_agent_start(), 0);
    snmpcfg_trap_apply_all();
    // Traps switched off: a station makes no sink.
    snmpcfg_notify_set(0, 0);
    add_station(port, "off");
    snmpcfg_notify_set(1, 0);
    add_station(port, "pu");
    add_station(port, "pub");
    add_station(port, "publ");

    send_rmon_alarm_trap(1, "pub", nullptr);
    send_rmon_alarm_trap(3, "", nullptr);  // no such kind: nothing sent
    send_rmon_alarm_trap(2, "", nullptr);
    ASSERT_TRUE(wait_for(log, "community publ")) << read_file(log);
    // Rising to "pu" and "pub" (v1 and v2c each), falling to all three.
    std::string got;
    auto end = Clock::now() + std::chrono::seconds(10);
    do {
        got = read_file(log);
    } while (count(got, "community") < 10 && Clock::now() < end && usleep(50 * 1000) == 0);
    EXPECT_EQ(count(got, "TRAP, SNMP v1, community pu "), 2) << got;
    EXPECT_EQ(count(got, "TRAP, SNMP v1, community pub "), 2) << got;
    EXPECT_EQ(count(got, "TRAP, SNMP v1, community publ "), 1) << got;
    EXPECT_EQ(count(got, "TRAP2, SNMP v2c, community pub "), 2) << got;
    EXPECT_EQ(count(got, "TRAP2, SNMP v2c, community publ "), 1) << got;
    EXPECT_EQ(count(got, "community off"), 0) << got;
    // The v2c form names the RMON risingAlarm and fallingAlarm traps.
    EXPECT_NE(got.find(".1.3.6.1.2.1.16.0.1"), std::string::npos) << got;
    EXPECT_NE(got.find(".1.3.6.1.2.1.16.0.2"), std::string::npos) << got;

    snmpcfg_trap_unapply_all();
    kill(trapd, SIGTERM);
    waitpid(trapd, nullptr, 0);
}

}  // namespace
