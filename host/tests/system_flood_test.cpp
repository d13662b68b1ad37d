// Storms and bursts on every board. A broadcast storm from one host costs
// the switch bounded memory and no lasting outage: the host on port 3 sends
// gratuitous ARP broadcasts as fast as a raw socket allows for 10 s, and the
// program's resident memory stays within a bound, what did not fit is
// counted as the port's discards (the monitor's RXDROPPKTS and SNMP
// ifInDiscards), and right after the storm the management address and the
// forwarding between two other hosts answer again. The memory bound lies far
// above what the bounded buffers take and far below what a queue without a
// bound reaches in 10 s, even on a slow host; nothing is timed but the
// answers' few seconds. Needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping,
// curl, python3 and snmpget; skips without them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <stdio.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

constexpr int kStormSeconds = 10;
constexpr long kGrowthBoundKb = 64 * 1024;

// The program's resident memory in kB, 0 when unknown.
long rss_kb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
    return 0;
}

struct FloodBoard {
    int ports;
    int storm, peer_b, peer_c;  // front-panel ports of the three hosts
};

class system_flood : public testing::TestWithParam<FloodBoard> {};

TEST_P(system_flood, BroadcastStormCostsBoundedMemoryAndTheOtherPortsAnswerAfterIt) {
    if (!system_fixture::can_make_namespaces() || sh("curl -V") != 0 ||
        sh("python3 --version") != 0 || sh("snmpget --version") != 0)
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping, curl, python3 and "
                        "snmpget";
    const FloodBoard board = GetParam();
    const std::string id = std::to_string(getpid() % 10000) + "b" + std::to_string(board.ports);
    const std::string fw = "swff" + id, host_a = "swfa" + id, host_b = "swfb" + id,
                      host_c = "swfc" + id;
    auto tap = [&](int port) { return "swft" + std::to_string(port) + "x" + id; };
    Netns ns;
    std::string net;
    ASSERT_TRUE(ns.make_free("10.187.", getpid() % 250, {fw, host_a, host_b, host_c}, &net));
    ASSERT_EQ(sh("ip -n " + fw + " link set lo up"), 0);

    // The sanitizers' quarantine of freed memory would pass for growth.
    const char *asan = std::getenv("ASAN_OPTIONS");
    const std::string asan_before = asan ? asan : "";
    setenv("ASAN_OPTIONS", (asan_before + ":quarantine_size_mb=4").c_str(), 1);
    std::vector<std::string> args{"--board", std::to_string(board.ports), "--mgmt-tap", "mgmt"};
    for (int port : {board.storm, board.peer_b, board.peer_c})
        args.insert(args.end(), {"--tap", std::to_string(port) + "=" + tap(port)});
    // The child takes this thread's namespace.
    int home = open("/proc/self/ns/net", O_RDONLY);
    int inside = open(("/run/netns/" + fw).c_str(), O_RDONLY);
    ASSERT_GE(home, 0);
    ASSERT_GE(inside, 0);
    ASSERT_EQ(setns(inside, CLONE_NEWNET), 0);
    auto sw = std::make_unique<Switch>(test_workdir::path(), args);
    ASSERT_EQ(setns(home, CLONE_NEWNET), 0);
    close(inside);
    close(home);
    setenv("ASAN_OPTIONS", asan_before.c_str(), 1);
    std::string seen;
    ASSERT_TRUE(sw->run("", "DXP.0> ", &seen, 60)) << seen;

    const std::string in_fw = "ip netns exec " + fw + " ";
    const std::string web = "http://127.0.0.1:" + std::to_string(sw->port_offset() + 80);
    const std::string cookie =
        sh_out(in_fw + "curl -s -i -d 'username=admin&password=qivor' " + web +
               "/login.cgi | sed -n 's/^Set-Cookie: WebManaged=\\([^;\\r]*\\).*/\\1/p' | "
               "tr -d '\\n'");
    ASSERT_FALSE(cookie.empty());
    const std::string address = net + "1";
    sh(in_fw + "curl -s -m 10 -b WebManaged=" + cookie + " -d 'ip=" + address +
       "&netmask=255.255.255.0&gateway=0.0.0.0&ifname=eth1' " + web + "/setip.cgi");
    bool moved = false;
    for (int tries = 0; tries < 50 && !moved; tries++) {
        moved = sh_out("ip -n " + fw + " -4 addr show mgmt").find("inet " + address + "/24") !=
                std::string::npos;
        if (!moved) usleep(100000);
    }
    ASSERT_TRUE(moved) << "management address not moved to " << address;
    const std::vector<std::pair<std::string, int>> hosts{
        {host_a, board.storm}, {host_b, board.peer_b}, {host_c, board.peer_c}};
    for (size_t k = 0; k < hosts.size(); k++) {
        const auto &[space, port] = hosts[k];
        sh("ip netns exec " + space + " sysctl -w net.ipv6.conf.all.disable_ipv6=1");
        ASSERT_EQ(sh("ip -n " + fw + " link set " + tap(port) + " netns " + space), 0);
        ASSERT_EQ(sh("ip -n " + space + " addr add " + net + std::to_string(10 * (k + 1)) +
                     "/24 dev " + tap(port)),
                  0);
        ASSERT_EQ(sh("ip -n " + space + " link set " + tap(port) + " up"), 0);
    }
    const std::string from_b = "ip netns exec " + host_b + " ";
    const std::string address_c = net + "30";
    auto answers = [&](const std::string &to, int tries) {
        for (int i = 0; i < tries; i++)
            if (sh(from_b + "ping -c 1 -W 2 " + to) == 0) return true;
        return false;
    };
    ASSERT_TRUE(answers(address, 10)) << "no management answer before the storm";
    ASSERT_TRUE(answers(address_c, 10)) << "host C not reached before the storm";

    const long before = rss_kb(sw->pid());
    ASSERT_GT(before, 0);
    // Gratuitous ARP of host A, padded to 60 bytes.
    const std::string a_ip = system_fixture::hex_of_ip(net + "10");
    const std::string garp = "ffffffffffff020000000a0108060001080006040001020000000a01" + a_ip +
                             "000000000000" + a_ip + std::string(36, '0');
    const std::string storm =
        "ip netns exec " + host_a +
        " python3 -c 'import socket,sys,time\n"
        "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
        "f=bytes.fromhex(sys.argv[2]); end=time.time()+int(sys.argv[3]); n=0\n"
        "while time.time()<end:\n"
        "  for i in range(200):\n"
        "    try: s.send(f); n+=1\n"
        "    except OSError: pass\n"
        "print(n)' " +
        tap(board.storm) + " " + garp + " " + std::to_string(kStormSeconds);
    FILE *sender = popen(storm.c_str(), "r");
    ASSERT_NE(sender, nullptr);
    // The largest memory while the storm lasts, sampled as it runs.
    long peak = before;
    int fd = fileno(sender);
    fcntl(fd, F_SETFL, O_NONBLOCK);
    std::string sent_text;
    for (int tenths = 0; tenths < (kStormSeconds + 30) * 10; tenths++) {
        char buf[64];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) sent_text.append(buf, static_cast<size_t>(n));
        if (n == 0) break;  // the sender ended
        peak = std::max(peak, rss_kb(sw->pid()));
        usleep(100000);
    }
    pclose(sender);
    while (!sent_text.empty() && sent_text.back() == '\n')
        sent_text.pop_back();
    const long after = rss_kb(sw->pid());
    peak = std::max(peak, after);

    // Right after the storm: the management address and host C answer host B.
    EXPECT_TRUE(answers(address, 3)) << "no management answer after the storm";
    EXPECT_TRUE(answers(address_c, 3)) << "host C not reached after the storm";
    EXPECT_EQ(sh("ip netns exec " + host_c + " ping -c 1 -W 2 " + net + "20"), 0);

    // The counters are collected once a second.
    const std::string name = "fe" + std::to_string(board.storm - 1);
    long long monitor = 0, snmp = 0;
    for (int tries = 0; tries < 40 && (monitor <= 0 || snmp <= 0); tries++) {
        if (tries > 0) usleep(250000);
        monitor =
            number_after(sw->output("show counters All RXDROPPKTS." + name), "RXDROPPKTS." + name);
        const std::string oid = ".1.3.6.1.2.1.2.2.1.13." + std::to_string(board.storm);
        snmp = number_after(sh_out(in_fw + "snmpget -v2c -c public -On -t 3 -r 1 127.0.0.1:" +
                                   std::to_string(sw->port_offset() + 161) + " " + oid),
                            "Counter32:");
    }
    std::printf(
        "board %d: %s frames sent in %d s; RSS %ld -> peak %ld kB; RXDROPPKTS %lld, "
        "ifInDiscards %lld\n",
        board.ports, sent_text.c_str(), kStormSeconds, before, peak, monitor, snmp);
    EXPECT_LT(peak - before, kGrowthBoundKb) << "RSS " << before << " -> " << peak << " kB";
    EXPECT_GT(monitor, 0) << "no discards counted on " << name;
    EXPECT_GT(snmp, 0) << "ifInDiscards." << board.storm << " counts none";
    EXPECT_EQ(sw->exit_status(0), -1) << "switchfw ended";
}

// What a real port at its line rate carries arrives whole, and a storm
// from four ports costs only the storming ports frames: a burst of 100
// back-to-back full-size frames from fast-Ethernet port 2 (C) reaches host B,
// and while four hosts flood broadcasts as fast as this host lets them
// (capped, so a slow host offers the same), every frame B sends to C arrives.
// Counted by frames; nothing is timed but the watches' bounds.
TEST_P(system_flood, BurstsArriveWholeAndAFourPortStormLeavesAQuietPairItsFrames) {
    if (!system_fixture::can_make_namespaces() || sh("python3 --version") != 0)
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping and python3";
    const FloodBoard board = GetParam();
    const std::string id =
        std::to_string(system_fixture::own_id()) + "q" + std::to_string(board.ports);
    const std::string storm_space = "swqs" + id, space_b = "swqb" + id, space_c = "swqc" + id;
    auto tap = [&](int port) { return "swq" + std::to_string(port) + "x" + id; };
    Netns ns;
    std::string net;
    ASSERT_TRUE(ns.make_free("10.189.", system_fixture::own_id() % 250,
                             {storm_space, space_b, space_c}, &net));
    std::vector<std::string> args{"--board", std::to_string(board.ports)};
    std::vector<int> storm_ports;
    for (int k = 0; k < 4; k++)
        storm_ports.push_back(board.storm + k);
    for (int port : storm_ports)
        args.insert(args.end(), {"--tap", std::to_string(port) + "=" + tap(port)});
    for (int port : {board.peer_b, board.peer_c})
        args.insert(args.end(), {"--tap", std::to_string(port) + "=" + tap(port)});
    Switch sw(test_workdir::path(), args);
    std::string seen;
    ASSERT_TRUE(sw.run("", "DXP.0> ", &seen, 60)) << seen;
    for (int port : storm_ports) {
        ASSERT_EQ(sh("ip link set " + tap(port) + " netns " + storm_space), 0);
        ASSERT_EQ(sh("ip -n " + storm_space + " link set " + tap(port) + " up"), 0);
    }
    const std::string tap_b = tap(board.peer_b), tap_c = tap(board.peer_c);
    for (const auto &[t, space] : {std::pair{tap_b, space_b}, std::pair{tap_c, space_c}}) {
        ASSERT_EQ(sh("ip link set " + t + " netns " + space), 0);
        ASSERT_EQ(sh("ip -n " + space + " link set " + t + " up"), 0);
    }
    const std::string mac_b = system_fixture::hex_of_mac(system_fixture::mac_of(space_b, tap_b));
    const std::string mac_c = system_fixture::hex_of_mac(system_fixture::mac_of(space_c, tap_c));
    ASSERT_EQ(mac_b.size(), 12u);
    ASSERT_EQ(mac_c.size(), 12u);

    // Frames of a local EtherType: the watches take nothing else.
    auto frame = [](const std::string &to, const std::string &from, const std::string &tag,
                    size_t bytes) {
        std::string hex = to + from + "88b5" + tag;
        hex.resize(bytes * 2, 'e');
        return hex;
    };
    // How many of the frames sent from one host reach the other.
    auto arriving = [&](const std::string &from_space, const std::string &from_tap,
                        const std::string &to_space, const std::string &to_tap,
                        const std::string &hex, int count, int gap_us, int seconds) {
        system_fixture::FrameWatch watch(to_space, to_tap, seconds, 0x88b5, count);
        if (!watch.ready()) return -1;
        // Without a gap, one send after the other as fast as the host can.
        if (sh("ip netns exec " + from_space +
               " python3 -c 'import socket,sys,time\n"
               "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
               "f=bytes.fromhex(sys.argv[2]); gap=int(sys.argv[4])/1e6\n"
               "for i in range(int(sys.argv[3])):\n"
               "  s.send(f)\n"
               "  if gap: time.sleep(gap)' " +
               from_tap + " " + hex + " " + std::to_string(count) + " " + std::to_string(gap_us)) !=
            0)
            return -1;
        int n = 0;
        for (const std::string &f : watch.frames())
            n += f.starts_with(hex.substr(0, 32));
        return n;
    };
    // The links are up once a broadcast passes each way; the switch learns
    // both addresses from them. Each watch ends with the frame, or after
    // time enough for a busy host to start the sender and move the frame.
    bool up = false;
    for (int tries = 0; tries < 6 && !up; tries++)
        up = arriving(space_c, tap_c, space_b, tap_b, frame("ffffffffffff", mac_c, "c0", 60), 1, 0,
                      20) == 1 &&
             arriving(space_b, tap_b, space_c, tap_c, frame("ffffffffffff", mac_b, "b0", 60), 1, 0,
                      20) == 1;
    ASSERT_TRUE(up) << "no frames between B and C";

    constexpr int kBurst = 100;
    EXPECT_EQ(
        arriving(space_c, tap_c, space_b, tap_b, frame(mac_b, mac_c, "c1", 1514), kBurst, 0, 60),
        kBurst)
        << "a burst of full-size frames into port " << board.peer_c;

    // The storm: broadcasts from each of the four ports for a few seconds,
    // at most 20,000 a second from each.
    constexpr int kStormSeconds = 5;
    std::vector<FILE *> storms;
    for (int port : storm_ports) {
        const std::string src = "02000000" + std::to_string(10 + port % 90) + "01";
        const std::string flood = "ffffffffffff" + src + "88b6" + std::string(92, '5');
        storms.push_back(popen(("ip netns exec " + storm_space +
                                " python3 -c 'import socket,sys,time\n"
                                "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW)\n"
                                "s.bind((sys.argv[1],0)); f=bytes.fromhex(sys.argv[2])\n"
                                "start=time.time(); end=start+int(sys.argv[3]); n=0\n"
                                "while time.time()<end:\n"
                                "  for i in range(100):\n"
                                "    try: s.send(f); n+=1\n"
                                "    except OSError: pass\n"
                                "  time.sleep(max(0,start+n/20000-time.time()))\n"
                                "print(n)' " +
                                tap(port) + " " + flood + " " + std::to_string(kStormSeconds))
                                   .c_str(),
                               "r"));
        ASSERT_NE(storms.back(), nullptr);
    }
    constexpr int kQuiet = 40;
    usleep(1000000);
    const int quiet =
        arriving(space_b, tap_b, space_c, tap_c, frame(mac_c, mac_b, "b1", 100), kQuiet, 50000, 90);
    std::string sent;
    for (FILE *storm : storms) {
        char buf[32] = "";
        if (fgets(buf, sizeof buf, storm))
            sent += std::string(buf).substr(0, std::strlen(buf) - 1) + " ";
        pclose(storm);
    }
    std::printf("board %d: storm frames sent per port: %s\n", board.ports, sent.c_str());
    EXPECT_EQ(quiet, kQuiet) << "frames from port " << board.peer_b << " to port " << board.peer_c
                             << " during the storm";
    EXPECT_EQ(sw.exit_status(0), -1) << "switchfw ended";
}

INSTANTIATE_TEST_SUITE_P(boards, system_flood,
                         testing::Values(FloodBoard{52, 3, 52, 2}, FloodBoard{28, 3, 26, 2},
                                         FloodBoard{26, 3, 26, 2}),
                         [](const testing::TestParamInfo<FloodBoard> &info) {
                             return "Board" + std::to_string(info.param.ports);
                         });

}  // namespace
