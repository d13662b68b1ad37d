// The management address answers through a broadcast storm on every board:
// six hosts flood full-size broadcasts (no storm control) as fast as this
// host sends them, more than the CPU's receive path takes, while host B on
// another port pings the management address every 0.1 s. Frames to the
// switch's own address wait in the CPU port's highest queue and go first,
// so every ping but at most one (ARP) is answered; every storm broadcast
// the switch took reached the CPU or is counted as the CPU port's discard
// (TXDROPPKTS.cpu0 in the monitor's counters; a slow host may bring the CPU
// too few to overrun it). Needs root (CAP_NET_ADMIN), /dev/net/tun, ip,
// ping, curl and python3; skips without them.
#include <gtest/gtest.h>

#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

namespace {

using system_fixture::Netns;
using system_fixture::number_after;
using system_fixture::sh;
using system_fixture::sh_out;
using system_fixture::Switch;

constexpr int kStormSeconds = 12;
constexpr int kPings = 60;
constexpr int kStormPorts = 6;

struct StormBoard {
    int ports;
    int first_storm;  // the storming ports from here
    int peer;         // host B's port
};

class system_storm_cpu : public testing::TestWithParam<StormBoard> {};

TEST_P(system_storm_cpu, TheManagementAddressAnswersEveryPingThroughABroadcastStorm) {
    if (!system_fixture::can_make_namespaces() || sh("curl -V") != 0 ||
        sh("python3 --version") != 0)
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping, curl and python3";
    const StormBoard board = GetParam();
    const std::string id =
        std::to_string(system_fixture::own_id()) + "c" + std::to_string(board.ports);
    const std::string fw = "swcf" + id, storm_space = "swcs" + id, host_b = "swcb" + id;
    auto tap = [&](int port) { return "swc" + std::to_string(port) + "x" + id; };
    Netns ns;
    std::string net;
    ASSERT_TRUE(
        ns.make_free("10.191.", system_fixture::own_id() % 250, {fw, storm_space, host_b}, &net));
    ASSERT_EQ(sh("ip -n " + fw + " link set lo up"), 0);
    std::vector<int> storm_ports;
    for (int k = 0; k < kStormPorts; k++)
        storm_ports.push_back(board.first_storm + k);
    std::vector<std::string> args{"--board", std::to_string(board.ports), "--mgmt-tap", "mgmt"};
    for (int port : storm_ports)
        args.insert(args.end(), {"--tap", std::to_string(port) + "=" + tap(port)});
    args.insert(args.end(), {"--tap", std::to_string(board.peer) + "=" + tap(board.peer)});
    auto sw = system_fixture::switch_in(fw, test_workdir::path(), args);
    ASSERT_NE(sw, nullptr);
    std::string seen;
    ASSERT_TRUE(sw->run("", "DXP.0> ", &seen, 60)) << seen;
    const std::string address = net + "1";
    ASSERT_TRUE(system_fixture::set_management_address(*sw, fw, address))
        << "management address not moved to " << address;
    for (int port : storm_ports) {
        ASSERT_EQ(sh("ip -n " + fw + " link set " + tap(port) + " netns " + storm_space), 0);
        ASSERT_EQ(sh("ip -n " + storm_space + " link set " + tap(port) + " up"), 0);
    }
    const std::string b = tap(board.peer), in_b = "ip netns exec " + host_b + " ";
    sh(in_b + "sysctl -w net.ipv6.conf.all.disable_ipv6=1");
    ASSERT_EQ(sh("ip -n " + fw + " link set " + b + " netns " + host_b), 0);
    ASSERT_EQ(sh("ip -n " + host_b + " addr add " + net + "20/24 dev " + b), 0);
    ASSERT_EQ(sh("ip -n " + host_b + " link set " + b + " up"), 0);
    bool answered = false;
    for (int tries = 0; tries < 10 && !answered; tries++)
        answered = sh(in_b + "ping -c 1 -W 2 " + address) == 0;
    ASSERT_TRUE(answered) << "no management answer before the storm";

    // Full-size broadcasts of a local EtherType from each storming port.
    std::vector<FILE *> storms;
    for (int port : storm_ports) {
        const std::string src = "02000000" + std::to_string(10 + port % 90) + "01";
        const std::string flood = "ffffffffffff" + src + "88b6" + std::string(2 * 1500, '5');
        storms.push_back(popen(("ip netns exec " + storm_space +
                                " python3 -c 'import socket,sys,time\n"
                                "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW)\n"
                                "s.bind((sys.argv[1],0)); f=bytes.fromhex(sys.argv[2])\n"
                                "end=time.time()+int(sys.argv[3]); n=0\n"
                                "while time.time()<end:\n"
                                "  for i in range(100):\n"
                                "    try: s.send(f); n+=1\n"
                                "    except OSError: pass\n"
                                "print(n)' " +
                                tap(port) + " " + flood + " " + std::to_string(kStormSeconds))
                                   .c_str(),
                               "r"));
        ASSERT_NE(storms.back(), nullptr);
    }
    usleep(1000000);
    const std::string pings =
        sh_out(in_b + "ping -q -c " + std::to_string(kPings) + " -i 0.1 -W 3 " + address + " 2>&1");
    std::string sent;
    for (FILE *storm : storms) {
        char buf[32] = "";
        if (fgets(buf, sizeof buf, storm)) sent += std::string(buf, strcspn(buf, "\n")) + " ";
        pclose(storm);
    }
    const long long received = number_after(pings, "transmitted, ");
    // Every storm broadcast the switch took reached the CPU or was counted
    // as a discard: the CPU port's, or its own port's where the packet
    // buffer had no room for it. The counters are collected once a second
    // (later on a busy host).
    auto counter = [&](const std::string &name, const std::string &port) {
        return number_after(sw->output("show counters All " + name + "." + port),
                            name.substr(0, 12) + "." + port);
    };
    long long taken = 0, to_cpu = 0, discards = 0;
    for (int tries = 0; tries < 80 && (taken <= 0 || to_cpu + discards < taken); tries++) {
        usleep(250000);
        taken = 0;
        discards = counter("TXDROPPKTS", "cpu0");
        for (int port : storm_ports) {
            taken += counter("RXBROADCASTPKT", "fe" + std::to_string(port - 1));
            discards += counter("RXDROPPKTS", "fe" + std::to_string(port - 1));
        }
        to_cpu = counter("TXBROADCASTPKTS", "cpu0");
    }
    std::printf(
        "board %d: storm frames sent per port: %s; the switch took %lld; %lld of %d pings "
        "answered; broadcasts to the CPU %lld, discards %lld\n",
        board.ports, sent.c_str(), taken, received, kPings, to_cpu, discards);
    EXPECT_GE(received, kPings - 1) << pings;
    EXPECT_GT(taken, 0);
    EXPECT_GE(to_cpu + discards, taken) << "storm broadcasts lost uncounted on the way to the CPU";
    EXPECT_EQ(sw->exit_status(0), -1) << "switchfw ended";
}

INSTANTIATE_TEST_SUITE_P(boards, system_storm_cpu,
                         testing::Values(StormBoard{52, 3, 52}, StormBoard{28, 3, 26},
                                         StormBoard{26, 3, 26}),
                         [](const testing::TestParamInfo<StormBoard> &info) {
                             return "Board" + std::to_string(info.param.ports);
                         });

}  // namespace
