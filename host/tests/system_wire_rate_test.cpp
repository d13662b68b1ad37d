// A port sends no faster than its line rate, whatever a gigabit port offers
// it: TCP settles near the rate, what a UDP stream brings beyond it is
// counted as the port's discards, and two streams into the full port share
// it as the scheduling mode set on the console says (strict: the
// high-priority stream arrives whole; weights: the shares follow them). The
// port is forced to 10 Mb/s full duplex on the web port page, so that a
// busy host carries the streams at their rate and what is lost is lost at
// the port, not in a model that fell behind (the benchmark measures the
// same at 100 Mb/s). Hosts in network namespaces on TAP ports run iperf3. Needs
// root (CAP_NET_ADMIN), /dev/net/tun, ip, python3 and iperf3; skips
// without them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::Switch;

struct WireBoard {
    int board;
    int gigabit[2];      // the front-panel numbers of two gigabit ports
    const char *sender;  // the second one's name on the console
};

void PrintTo(const WireBoard &b, std::ostream *os) {
    *os << b.board << "-port board";
}

// What the receiving side of one iperf3 run saw.
struct Received {
    double mbps = -1;
    long long lost = 0, packets = 0;
};

constexpr int kFastPort = 7;  // fe6 on the console, forced to 10 Mb/s

class system_wire_rate : public testing::TestWithParam<WireBoard> {
  protected:
    void TearDown() override {
        // An iperf3 server a failed run left waiting.
        for (const std::string &space : ns.spaces)
            sh("ip netns pids " + space + " | xargs -r kill");
    }

    // Starts a one-off iperf3 server on the fast port's host (bounded in
    // time, so that none outlives a failed run).
    void serve(int tcp_port) {
        sh("{ ip netns exec " + ns.spaces[2] + " timeout 30 iperf3 -s -1 -p " +
           std::to_string(tcp_port) + " >/dev/null 2>&1 & }");
    }
    // An iperf3 client command from the gigabit host g (0 or 1) to the fast
    // port's host, its JSON into the file.
    std::string client(int g, int tcp_port, const std::string &options,
                       const std::string &file) const {
        return "ip netns exec " + ns.spaces[static_cast<size_t>(g)] + " timeout 30 iperf3 -J -c " +
               net + "30 -p " + std::to_string(tcp_port) + " -t 3 " + options + " > " + file;
    }
    static Received read(const std::string &file) {
        std::istringstream in(system_fixture::sh_out(
            "python3 -c 'import json,sys; "
            "s=json.load(open(sys.argv[1]))[\"end\"][\"sum_received\"]\n"
            "print(s[\"bits_per_second\"] / 1e6, s.get(\"lost_packets\", 0), "
            "s.get(\"packets\", 0))' " +
            file));
        Received r;
        in >> r.mbps >> r.lost >> r.packets;
        return r;
    }
    static long long reg(Switch &sw, const std::string &name) {
        return system_fixture::register_number(sw, name);
    }
    // The discards of the fast port and of the sender's port (a host that
    // offers more than the model takes on a busy machine loses there).
    long long discards(Switch &sw) {
        return reg(sw, "TXDROPPKTS.fe6") + reg(sw, std::string("RXDROPPKTS.") + GetParam().sender);
    }
    // Two UDP streams at once into the fast port: from gigabit host 0 (whose
    // port gives its frames priority 7, queue 3) at 6 Mbit/s and from host 1
    // (priority 0, queue 0) at 10 Mbit/s.
    void two_streams(Received *high, Received *low) {
        serve(5202);
        serve(5203);
        usleep(500 * 1000);
        const std::string dir = test_workdir::path();
        sh("{ " + client(0, 5202, "-u -b 6M -l 1400", dir + "/high.json") + " & " +
           client(1, 5203, "-u -b 10M -l 1400", dir + "/low.json") + "; wait; }");
        *high = read(dir + "/high.json");
        *low = read(dir + "/low.json");
    }

    Netns ns;
    std::string net;
};

TEST_P(system_wire_rate, AFastPortSendsAtItsLineRateInTheSchedulingModesOrder) {
    if (!system_fixture::can_make_namespaces() || sh("python3 -V") != 0 ||
        sh("iperf3 --version") != 0)
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, python3 and iperf3";
    const WireBoard b = GetParam();
    const std::string id =
        "w" + std::to_string(b.board) + "x" + std::to_string(system_fixture::own_id());
    const std::string tap[3] = {id + "g", id + "h", id + "f"};
    ASSERT_TRUE(
        ns.make_free("10.214.", system_fixture::own_id(), {id + "ng", id + "nh", id + "nf"}, &net));
    const int ports[3] = {b.gigabit[0], b.gigabit[1], kFastPort};
    std::vector<std::string> args{"--board", std::to_string(b.board)};
    for (int h = 0; h < 3; h++) {
        args.push_back("--tap");
        args.push_back(std::to_string(ports[h]) + "=" + tap[h]);
    }
    Switch sw(test_workdir::path(), args);
    std::string seen;
    ASSERT_TRUE(sw.run("", "DXP.0> ", &seen, 60)) << seen;
    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    // No flow control on the senders' ports: what the fast port cannot send
    // is dropped there. Host 0's untagged frames get priority 7.
    for (int g = 0; g < 2; g++) {
        const std::string answer = web_client::post(
            web, "/portset.cgi",
            "port=" + std::to_string(ports[g]) +
                "&admin=1&autonego=1&flow_ctrl=0&priority=" + (g == 0 ? "7" : "0") + "&pvid=1",
            cookie);
        ASSERT_EQ(answer.find("ERROR"), std::string::npos) << answer;
    }
    const std::string slow =
        web_client::post(web, "/portset.cgi",
                         "port=" + std::to_string(kFastPort) +
                             "&admin=1&autonego=0&speed=2&flow_ctrl=0&priority=0&pvid=1",
                         cookie);
    ASSERT_EQ(slow.find("ERROR"), std::string::npos) << slow;
    const std::string address[3] = {net + "10", net + "20", net + "30"};
    for (int h = 0; h < 3; h++) {
        sh("ip netns exec " + ns.spaces[h] + " sysctl -w net.ipv6.conf.all.disable_ipv6=1");
        ASSERT_TRUE(Netns::attach(tap[h], ns.spaces[h], address[h] + "/24"));
    }
    for (int g = 0; g < 2; g++) {
        bool reached = false;
        for (int tries = 0; tries < 20 && !reached; tries++)
            reached = sh("ip netns exec " + ns.spaces[g] + " ping -c 1 -W 1 " + address[2]) == 0;
        ASSERT_TRUE(reached) << "host " << g;
    }
    const std::string dir = test_workdir::path();

    // TCP settles below the line rate.
    serve(5201);
    usleep(500 * 1000);
    sh("{ " + client(1, 5201, "", dir + "/tcp.json") + "; }");
    const Received tcp = read(dir + "/tcp.json");
    EXPECT_GT(tcp.mbps, 1);
    EXPECT_LT(tcp.mbps, 10);

    // A 20 Mbit/s stream: at most the line rate arrives, the rest is
    // counted.
    const long long before = discards(sw);
    serve(5201);
    usleep(500 * 1000);
    sh("{ " + client(1, 5201, "-u -b 20M -l 1400", dir + "/udp.json") + "; }");
    const Received udp = read(dir + "/udp.json");
    EXPECT_LT(udp.mbps, 10);
    EXPECT_GT(udp.lost, udp.packets / 5);
    const long long counted = discards(sw) - before;
    EXPECT_GE(counted, udp.lost * 8 / 10) << udp.lost << " lost";

    // Strict: the high queue's stream arrives whole.
    ASSERT_TRUE(sw.run("cos strict", "DXP.0> ", &seen)) << seen;
    Received high, low;
    two_streams(&high, &low);
    EXPECT_LT(high.lost, high.packets / 20)
        << high.lost << " of " << high.packets << ", " << high.mbps << " and " << low.mbps;
    EXPECT_GT(low.lost, 0);
    // Weights 3:1 for queue 0: it gets three quarters of the port (the
    // offered 100:60 would give it five eighths).
    ASSERT_TRUE(sw.run("cos weight W0=3 W1=1 W2=1 W3=1", "DXP.0> ", &seen)) << seen;
    two_streams(&high, &low);
    EXPECT_GT(high.lost, high.packets / 3) << high.lost << " of " << high.packets;
    EXPECT_GT(low.mbps, 2.3 * high.mbps) << low.mbps << " and " << high.mbps;
    EXPECT_LT(low.mbps, 4 * high.mbps) << low.mbps << " and " << high.mbps;
}

INSTANTIATE_TEST_SUITE_P(boards, system_wire_rate,
                         testing::Values(WireBoard{52, {49, 50}, "ge1"},
                                         WireBoard{28, {27, 28}, "ge3"},
                                         WireBoard{26, {25, 26}, "ge1"}),
                         [](const testing::TestParamInfo<WireBoard> &info) {
                             return "board" + std::to_string(info.param.board);
                         });

}  // namespace
