// Self-tests take nothing in service, per board: the traffic test and the
// snake keep out of a VLAN that hosts are in, and test 49 shares it (a host
// in it receives no frame of theirs, the traffic test's in MAC, PHY and
// External runs, the last over a cable a bridge makes, nor its own frames
// back through the tested ports that share its tagged VLAN), test 49 refuses
// to start on an address in service, naming it, and the address stays in
// the chip and on the web list; a settings load puts every stored static
// address back into the chip; the CPU port test 49 sends from is held while
// the untested ports of its VLAN stay open; hosts on the traffic test's own
// ports, pinging each other, receive none of its frames as it ends, run
// after run, and reach each other again after each; the port it leaves out
// loses no frame, and hosts in place of a cable fail an External run; test
// 49 run right after the hosts talked passes. Needs root
// (CAP_NET_ADMIN), /dev/net/tun and ip for the namespace cases; skips
// without them.
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>

#include "../../platform/tests/private_workdir.h"
#include "switchfw_child.h"
#include "system_fixture.h"
#include "web_client.h"

// Named: the system tests are compiled a few files to a unit.
namespace selftest_service_test {

namespace fs = std::filesystem;
using system_fixture::l2_entry_of;
using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::sh_out;
using system_fixture::Switch;
using system_fixture::test_run_once;

class selftest_service : public ::testing::TestWithParam<int> {};

// The frames a TAP in the namespace has received.
long long received(const std::string &space, const std::string &tap) {
    std::istringstream in(sh_out("ip -n " + space + " -s link show " + tap));
    for (std::string line; std::getline(in, line);)
        if (line.find("RX:") != std::string::npos && std::getline(in, line)) {
            long long bytes = -1, packets = -1;
            std::istringstream(line) >> bytes >> packets;
            return packets;
        }
    return -1;
}

// The table's line for the address once it is `want` (the table is shown
// from the firmware's shadow of the chip, which follows it a step at a
// time), or the last line read after 5 s.
std::string entry_becomes(Switch &fw, const std::string &mac, const std::string &want) {
    std::string line = l2_entry_of(fw, mac);
    for (int tries = 0; tries < 25 && line != want; tries++) {
        usleep(200000);
        line = l2_entry_of(fw, mac);
    }
    return line;
}

// The line of the VLAN in `vlan show`, or "".
std::string vlan_line(Switch &fw, const std::string &vid) {
    std::istringstream in(fw.output("vlan show"));
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(vid + " ") || line.starts_with(vid + "\t")) return line;
    return "";
}

TEST_P(selftest_service, NoSelfTestSendsAFrameToAVlanInService) {
    if (!system_fixture::can_make_namespaces()) GTEST_SKIP() << "needs root and /dev/net/tun";
    const std::string board = std::to_string(GetParam());
    const std::string id = std::to_string(system_fixture::own_id()) + "b" + board;
    const std::string host = "ssvh" + id, cable = "ssvc" + id;
    const std::string t15 = "ssv15_" + id, t6 = "ssv6_" + id, t7 = "ssv7_" + id;
    Netns ns;
    ASSERT_TRUE(ns.add_spaces({host, cable}));
    const fs::path dir = test_workdir::path() + "/service-" + board;
    fs::create_directories(dir);
    Switch fw(dir,
              {"--board", board, "--tap", "15=" + t15, "--tap", "6=" + t6, "--tap", "7=" + t7});
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    // A silent host on port 15; ports 6 and 7 joined by a cable, each in a
    // VLAN of its own so that nothing loops before the test.
    sh("ip netns exec " + host + " sysctl -w net.ipv6.conf.all.disable_ipv6=1");
    sh("ip netns exec " + cable + " sysctl -w net.ipv6.conf.all.disable_ipv6=1");
    ASSERT_EQ(sh("ip link set " + t15 + " netns " + host), 0);
    ASSERT_EQ(sh("ip -n " + host + " link set " + t15 + " up"), 0);
    for (const char *line :
         {"vlan create 15 PortBitMap=fe14-fe15 UntagBitMap=fe14-fe15", "PVlan set fe14 15",
          "vlan create 60 PortBitMap=fe5-fe6,fe14", "vlan create 30 PortBitMap=fe5 UntagBitMap=fe5",
          "vlan create 31 PortBitMap=fe6 UntagBitMap=fe6", "vlan remove 1 PortBitMap=fe5-fe6",
          "PVlan set fe5 30", "PVlan set fe6 31"})
        ASSERT_EQ(fw.output(line).find("ERROR"), std::string::npos) << line;
    ASSERT_EQ(sh("ip -n " + cable + " link add br0 type bridge") +
                  sh("ip link set " + t6 + " netns " + cable) +
                  sh("ip link set " + t7 + " netns " + cable),
              0);
    for (const std::string &dev : {t6, t7})
        ASSERT_EQ(sh("ip -n " + cable + " link set " + dev + " master br0 up"), 0);
    ASSERT_EQ(sh("ip -n " + cable + " link set br0 up"), 0);
    // The host's frames below count only once its port has link.
    ASSERT_TRUE(system_fixture::link_up(fw, "fe14"));
    const std::string in_service = vlan_line(fw, "15");
    ASSERT_NE(in_service, "");

    // The host's broadcasts in VLAN 60, which it shares tagged with the
    // tested ports (an uplink pair): none may come back while they loop.
    // They must reach the switch while the test holds the ports: once the
    // ports are back, VLAN 60 loops through the cable between them, and a
    // broadcast that came in then would circle there without end. So the
    // test runs in the background until its port has taken them, however
    // long a busy host takes to send them.
    const std::string tagged = "ffffffffffff" +
                               system_fixture::hex_of_mac(system_fixture::mac_of(host, t15)) +
                               "8100003c88b5" + std::string(92, '0');
    const auto host_broadcasts_in = [&fw] {
        return system_fixture::number_after(fw.output("show counters All RXBROADCASTPKT.fe14"),
                                            "RXBROADCASTP.fe14");
    };
    for (const char *mode : {"MAC", "PHY", "External"}) {
        SCOPED_TRACE(mode);
        const bool mac = std::string(mode) == "MAC";
        const long long before = received(host, t15);
        ASSERT_GE(before, 0);
        const std::string run = std::string("TestRun 72 PortBitMap=fe5-fe6 RunMode=") + mode +
                                " CounterPollInterval=1 TimeInSeconds=";
        std::string out;
        if (mac) {
            ASSERT_TRUE(fw.run(run + "2", "DXP.0> ", &out, 120)) << out;
        } else {
            const long long taken = host_broadcasts_in();
            ASSERT_GE(taken, 0);
            fw.output("TestClear 72");  // the stop counts this run alone
            ASSERT_TRUE(fw.run("BackGround \"" + run + "3600\"", "TRAFFIC: starting", &out, 120))
                << out;
            EXPECT_TRUE(system_fixture::send_frames(host, t15, tagged, 10));
            long long in = taken;
            for (int tenths = 0; tenths < 600 && in < taken + 10; tenths++) {
                usleep(100000);  // a poll, not a delay
                in = host_broadcasts_in();
            }
            EXPECT_GE(in, taken + 10);
            // Stopped once it has gone on past them, its ports given back.
            EXPECT_NE(system_fixture::test_stop_background(fw, 72, "TRAFFIC: running..."), "");
        }
        EXPECT_NE(out.find("TRAFFIC: VLAN 15 is in service on ports fe14-fe15: the test takes "
                           "another"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("TRAFFIC: ports fe5, fe6 use VLAN"), std::string::npos) << out;
        // The chips loop no fast-Ethernet port back at the MAC.
        if (mac) {
            EXPECT_NE(out.find("MAC loopback refused"), std::string::npos) << out;
        }
        EXPECT_EQ(received(host, t15), before);
        EXPECT_EQ(vlan_line(fw, "15"), in_service);
    }
    // The snake's port fe13 would run in VLAN 15 (VLantag + port + 1); test
    // 49 shares the VLAN it is given, its frames kept from the hosts.
    const long long before = received(host, t15);
    std::string out =
        fw.output("TestRun 39 PortBitMap=fe13,fe16 Count=1 Duration=1 LoopbackMode=PHY", 120);
    EXPECT_NE(out.find("LB: VLAN 15 is in service: port fe13 takes another"), std::string::npos)
        << out;
    out += fw.output("TestRun 49 PortBitMap=fe5 VLantag=15 Count=1 LengthEnd=600 COSEnd=0", 120);
    EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << out;
    EXPECT_EQ(received(host, t15), before);
    EXPECT_EQ(vlan_line(fw, "15"), in_service);
}

TEST_P(selftest_service, Test49HoldsTheCpuPortAndTakesNoAddressInService) {
    const int board = GetParam();
    const fs::path dir = test_workdir::path() + "/address-" + std::to_string(board);
    fs::create_directories(dir);
    Switch fw(dir, {"--board", std::to_string(board)});
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    const int web = fw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    const std::string mac = "66:77:88:99:aa:bb";

    // The administrator's static address of the test's own, on port 10.
    std::string page =
        web_client::post(web, "/l2add.cgi", "mac=66-77-88-99-AA-BB&vid=1&port=10", cookie);
    ASSERT_EQ(page.find("Retry"), std::string::npos) << page;
    const std::string entry = l2_entry_of(fw, mac);
    ASSERT_NE(entry.find("/fe9 Static"), std::string::npos) << entry;
    std::string out = fw.output("TestRun 49 PortBitMap=fe4-fe5 LoopbackMode=PHY Count=2", 120);
    EXPECT_NE(out.find(mac + " in VLAN 1 is a static address of port fe9"), std::string::npos)
        << out;
    EXPECT_EQ(l2_entry_of(fw, mac), entry);
    const auto listed = [&] {
        std::string list = web_client::get(web, "/l2manage.htm", cookie);
        std::transform(list.begin(), list.end(), list.begin(), ::tolower);
        return list.find("66-77-88-99-aa-bb") != std::string::npos;
    };
    EXPECT_TRUE(listed());

    // The chip lost the entry the manager lists: a load puts it back.
    fw.output("l2 del MACaddress=" + mac + " Vlanid=1");
    ASSERT_EQ(entry_becomes(fw, mac, ""), "");
    const int fd = switchfw_child::telnet_login(fw.port_offset() + 23, "qivor");
    ASSERT_GE(fd, 0);
    switchfw_child::send_text(fd, "load\r\n");
    std::string answer;
    switchfw_child::read_until(fd, &answer, "ecos>", 30);
    close(fd);
    EXPECT_NE(answer.find("Settings loaded"), std::string::npos) << answer;
    EXPECT_EQ(entry_becomes(fw, mac, entry), entry) << answer;

    // Without it the test runs; the CPU port it sends from is held, the
    // untested ports of VLAN 1 are not.
    page = web_client::post(web, "/l2del.cgi", "mac=66-77-88-99-AA-BB&vid=1", cookie);
    ASSERT_EQ(page.find("Retry"), std::string::npos) << page;
    const std::string vlan1 = vlan_line(fw, "1");
    fw.output("TestClear 49");
    std::string seen;
    // Long enough for the lines below on a fast host and a slow one.
    ASSERT_TRUE(fw.run("BackGround \"TestRun 49 PortBitMap=fe4-fe5 LoopbackMode=PHY Count=40\"",
                       "Setting up ARL", &seen, 60))
        << seen;
    const std::string held = "port cpu0: CPU port under self-test (PHY Loopback - Mark 2)";
    out = fw.output("vlan remove 1 PortBitMap=cpu0");
    EXPECT_NE(out.find(held), std::string::npos) << out;
    out = fw.output("port cpu0 Enable=false");
    EXPECT_NE(out.find(held), std::string::npos) << out;
    for (const char *line :
         {"vlan remove 1 PortBitMap=fe10", "vlan add 1 PortBitMap=fe10 UntagBitMap=fe10"}) {
        out = fw.output(line);
        EXPECT_EQ(out.find("ERROR"), std::string::npos) << line << out;
    }
    const std::string list = test_run_once(fw, 49);
    EXPECT_NE(list.find("|    1|    1|    1|    0|"), std::string::npos) << list;
    EXPECT_EQ(vlan_line(fw, "1"), vlan1);
}

// A packet socket on the TAP in the namespace, opened there: it keeps what
// the host receives (8 MB) until read; -1 when it cannot be opened.
int packet_socket_in(const std::string &space, const std::string &tap) {
    const int home = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    const int inside = open(("/run/netns/" + space).c_str(), O_RDONLY | O_CLOEXEC);
    int fd = -1;
    if (home >= 0 && inside >= 0 && setns(inside, CLONE_NEWNET) == 0) {
        fd = socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ALL));
        const int room = 8 << 20;
        sockaddr_ll at{};
        at.sll_family = AF_PACKET;
        at.sll_protocol = htons(ETH_P_ALL);
        at.sll_ifindex = static_cast<int>(if_nametoindex(tap.c_str()));
        if (fd >= 0 && (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &room, sizeof room) != 0 ||
                        bind(fd, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0)) {
            close(fd);
            fd = -1;
        }
        setns(home, CLONE_NEWNET);
    }
    for (int f : {home, inside})
        if (f >= 0) close(f);
    return fd;
}

// What the socket holds: {frames received, those from a self-test's
// address, 00:00:00:00:fe:xx}.
std::pair<int, int> received_and_tests(int fd) {
    std::pair<int, int> counts{0, 0};
    uint8_t frame[2048];
    sockaddr_ll from{};
    for (socklen_t len = sizeof from;
         recvfrom(fd, frame, sizeof frame, 0, reinterpret_cast<sockaddr *>(&from), &len) >= 12;
         len = sizeof from) {
        if (from.sll_pkttype == PACKET_OUTGOING) continue;
        counts.first++;
        static const uint8_t kTestSource[5] = {0, 0, 0, 0, 0xfe};
        if (std::memcmp(frame + 6, kTestSource, sizeof kTestSource) == 0) counts.second++;
    }
    return counts;
}

// The longest run of echo replies that never came while later ones did,
// in what a ping run left in its file (-1 for none at all): a port cut off
// for a while loses every reply of that while.
int longest_outage(const std::string &file) {
    std::istringstream in(sh_out("cat " + file));
    std::vector<int> seen;
    for (std::string line; std::getline(in, line);)
        if (const size_t at = line.find("icmp_seq="); at != std::string::npos)
            seen.push_back(std::atoi(line.c_str() + at + 9));
    if (seen.empty()) return -1;
    std::sort(seen.begin(), seen.end());
    int longest = 0;
    for (size_t i = 1; i < seen.size(); i++)
        longest = std::max(longest, seen[i] - seen[i - 1] - 1);
    return longest;
}

TEST_P(selftest_service, HostsOnTheTrafficTestsPortsReceiveNoneOfItsFramesAsItEnds) {
    if (!system_fixture::can_make_namespaces()) GTEST_SKIP() << "needs root and /dev/net/tun";
    const std::string board = std::to_string(GetParam());
    const std::string id = std::to_string(system_fixture::own_id()) + "b" + board;
    const std::string one = "sseA" + id, two = "sseB" + id, three = "sseC" + id, four = "sseD" + id;
    const std::string tap1 = "sse1_" + id, tap2 = "sse2_" + id, tap3 = "sse3_" + id,
                      tap4 = "sse4_" + id;
    Netns ns;
    std::string net;
    ASSERT_TRUE(ns.make_free("10.186.", system_fixture::own_id() + GetParam(),
                             {one, two, three, four}, &net));
    const fs::path dir = test_workdir::path() + "/ends-" + board;
    fs::create_directories(dir);
    Switch fw(dir, {"--board", board, "--tap", "1=" + tap1, "--tap", "2=" + tap2, "--tap",
                    "3=" + tap3, "--tap", "4=" + tap4});
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    ASSERT_TRUE(Netns::attach(tap1, one, net + "1/24") && Netns::attach(tap2, two, net + "2/24") &&
                Netns::attach(tap3, three, net + "3/24") &&
                Netns::attach(tap4, four, net + "4/24"));
    // The hosts reach each other through the switch (once the links are up).
    const auto reach = [&](const std::string &from, const std::string &to) {
        bool up = false;
        for (int tries = 0; tries < 60 && !up; tries++)
            up = sh("ip netns exec " + from + " ping -c 1 -W 1 " + to) == 0;
        return up;
    };
    ASSERT_TRUE(reach(three, net + "4"));
    ASSERT_TRUE(reach(one, net + "2"));
    // The hosts' frames of just now are no frames of the test: its first run
    // finds each one it sent back.
    std::string first = fw.output("TestRun 49 PortBitMap=fe0-fe1 LoopbackMode=PHY", 120);
    EXPECT_EQ(first.find("TEST ERROR"), std::string::npos) << first;
    const int watch[] = {packet_socket_in(one, tap1), packet_socket_in(two, tap2)};
    ASSERT_TRUE(watch[0] >= 0 && watch[1] >= 0);
    // Each host of the pair pings the other every 0.2 s while the test runs
    // four times; the host on the port the test leaves out (an odd one)
    // pings a fourth every 0.05 s, in service all along, its end included.
    const std::string echoes = (dir / "odd-port-pings").string();
    sh("ip netns exec " + one + " ping -q -i 0.2 " + net + "2 >/dev/null 2>&1 & ip netns exec " +
       two + " ping -q -i 0.2 " + net + "1 >/dev/null 2>&1 & ip netns exec " + three +
       " ping -i 0.05 " + net + "4 >" + echoes + " 2>&1 &");
    for (int run = 1; run <= 4; run++) {
        std::string out;
        EXPECT_TRUE(
            fw.run("TestRun 72 PortBitMap=fe0-fe2 RunMode=PHY TimeInSeconds=2 "
                   "CounterPollInterval=1",
                   "DXP.0> ", &out, 120))
            << out;
        EXPECT_NE(out.find("will not use port fe2"), std::string::npos) << out;
        EXPECT_NE(out.find("TEST passed"), std::string::npos) << out;
        EXPECT_TRUE(reach(one, net + "2")) << "run " << run;  // the ports are back in service
        // Loopback off on a port that has none changes nothing there.
        fw.output("port fe2 LoopBack=NONE");
    }
    for (int fd : watch) {
        const auto [frames, tests] = received_and_tests(fd);
        close(fd);
        EXPECT_GT(frames, 0);  // the pings came
        EXPECT_EQ(tests, 0);
    }
    // Hosts in place of a cable (each gets the one frame the run sends out
    // of its port) pass none of theirs through the pair, and none of theirs
    // counts as the test's: no cable, no pass.
    std::string cableless;
    EXPECT_TRUE(
        fw.run("TestRun 72 PortBitMap=fe0-fe1 RunMode=External TimeInSeconds=2 "
               "CounterPollInterval=1",
               "DXP.0> ", &cableless, 120))
        << cableless;
    EXPECT_NE(cableless.find("ERROR: traffic stopped on ports fe0, fe1"), std::string::npos)
        << cableless;
    EXPECT_EQ(cableless.find("TEST passed"), std::string::npos) << cableless;
    EXPECT_TRUE(reach(one, net + "2"));
    for (const std::string &space : {one, two})
        sh("ip netns pids " + space + " | xargs -r kill");
    // Interrupted, ping writes out every reply and its summary.
    sh("ip netns pids " + three + " | xargs -r kill -INT");
    for (int tries = 0; tries < 100 && sh("grep -q transmitted " + echoes) != 0; tries++)
        usleep(100000);
    // The odd port stays in service through every end and every restore of
    // its settings: not one reply is lost.
    EXPECT_EQ(longest_outage(echoes), 0) << sh_out("tail -5 " + echoes);
}

INSTANTIATE_TEST_SUITE_P(every_board, selftest_service, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return "board" + std::to_string(info.param);
                         });

}  // namespace selftest_service_test
