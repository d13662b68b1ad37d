// A port sends no faster than its line rate, whatever a gigabit port offers
// it: TCP settles near the rate, what a UDP stream brings beyond it is
// counted as the port's discards, and two streams into the full port share
// it as the scheduling mode set on the console says (strict: the
// high-priority stream arrives whole; weights: the shares follow them). The
// port is forced to 10 Mb/s full duplex on the web port page, so that a
// busy host carries the streams at their rate and what is lost is lost at
// the port, not in a model that fell behind (the benchmark measures the
// same at 100 Mb/s). An egress limit set on the web's rate page paces a
// port the same way: one at or above the line rate loses nothing of a
// burst, and through 10 Mbit/s TCP runs near the limit, half the limit
// arrives whole and what a stream brings beyond it is counted on the
// monitor and SNMP; TCP between the gigabit ports through about 500 Mbit/s
// loses little, and ports held back by their limits cost the others no
// frame. Hosts in network namespaces on TAP ports run iperf3.
// Needs root (CAP_NET_ADMIN), /dev/net/tun, ip, python3 and iperf3 (and
// snmpget for the egress limit); skips without them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::sh_out;
using system_fixture::Switch;

struct WireBoard {
    int board;
    int gigabit[2];      // the front-panel numbers of two gigabit ports
    const char *sender;  // the second one's name on the console
    const char *high;    // the first one's
};

void PrintTo(const WireBoard &b, std::ostream *os) {
    *os << b.board << "-port board";
}

const WireBoard kEveryBoard[] = {
    {52, {49, 50}, "ge1", "ge0"}, {28, {27, 28}, "ge3", "ge2"}, {26, {25, 26}, "ge1", "ge0"}};

std::string board_name(const testing::TestParamInfo<WireBoard> &info) {
    return "board" + std::to_string(info.param.board);
}

// What the receiving side of one iperf3 run saw, and what the TCP sender
// sent again.
struct Received {
    double mbps = -1;
    long long lost = 0, packets = 0;
    long long retransmits = 0, segments = 0;
};

constexpr int kFastPort = 7;  // fe6 on the console, forced to 10 Mb/s

class system_wire_rate : public testing::TestWithParam<WireBoard> {
  protected:
    void TearDown() override {
        // An iperf3 server a failed run left waiting.
        for (const std::string &space : ns.spaces)
            sh("ip netns pids " + space + " | xargs -r kill");
    }

    // Starts the board with hosts on its two gigabit ports and on the fast
    // port, each in a namespace of its own, and waits until the gigabit
    // hosts reach the fast one. No flow control on the senders' ports: what
    // the fast port cannot send is dropped there. Host 0's untagged frames
    // get priority 7. The fast port's settings are those posted (its
    // priority 0, PVID 1). The idle ports get a link to a namespace of
    // their own, where nothing answers.
    void start(const std::string &tag, const std::string &fast_settings,
               const std::vector<int> &idle = {}) {
        const WireBoard b = GetParam();
        const std::string id =
            tag + std::to_string(b.board) + "x" + std::to_string(system_fixture::own_id());
        const std::string tap[3] = {id + "g", id + "h", id + "f"};
        ASSERT_TRUE(ns.make_free("10.214.", system_fixture::own_id(),
                                 {id + "ng", id + "nh", id + "nf", id + "ni"}, &net));
        const int ports[3] = {b.gigabit[0], b.gigabit[1], fast};
        std::vector<std::string> args{"--board", std::to_string(b.board)};
        for (int h = 0; h < 3; h++) {
            args.push_back("--tap");
            args.push_back(std::to_string(ports[h]) + "=" + tap[h]);
            taps[h] = tap[h];
        }
        for (int port : idle)
            args.insert(args.end(),
                        {"--tap", std::to_string(port) + "=" + id + std::to_string(port)});
        sw.emplace(test_workdir::path(), args);
        std::string seen;
        ASSERT_TRUE(sw->run("", "DXP.0> ", &seen, 60)) << seen;
        web = sw->port_offset() + 80;
        cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
        for (int g = 0; g < 2; g++) {
            const std::string answer = web_client::post(
                web, "/portset.cgi",
                "port=" + std::to_string(ports[g]) +
                    "&admin=1&autonego=1&flow_ctrl=0&priority=" + (g == 0 ? "7" : "0") + "&pvid=1",
                cookie);
            ASSERT_EQ(answer.find("ERROR"), std::string::npos) << answer;
        }
        const std::string answer =
            web_client::post(web, "/portset.cgi",
                             "port=" + std::to_string(fast) + "&admin=1&" + fast_settings +
                                 "&flow_ctrl=0&priority=0&pvid=1",
                             cookie);
        ASSERT_EQ(answer.find("ERROR"), std::string::npos) << answer;
        const std::string address[3] = {net + "10", net + "20", net + "30"};
        for (int h = 0; h < 3; h++) {
            sh("ip netns exec " + ns.spaces[h] + " sysctl -w net.ipv6.conf.all.disable_ipv6=1");
            ASSERT_TRUE(Netns::attach(tap[h], ns.spaces[h], address[h] + "/24"));
        }
        for (int port : idle) {
            const std::string t = id + std::to_string(port);
            ASSERT_EQ(sh("ip link set " + t + " netns " + ns.spaces[3]), 0);
            ASSERT_EQ(sh("ip -n " + ns.spaces[3] + " link set " + t + " up"), 0);
        }
        for (int g = 0; g < 2; g++) {
            bool reached = false;
            for (int tries = 0; tries < 20 && !reached; tries++)
                reached =
                    sh("ip netns exec " + ns.spaces[g] + " ping -c 1 -W 1 " + address[2]) == 0;
            ASSERT_TRUE(reached) << "host " << g;
        }
    }

    // Starts a one-off iperf3 server on host h (2: the fast port's), bounded
    // in time, so that none outlives a failed run.
    void serve(int tcp_port, int h = 2) {
        sh("{ ip netns exec " + ns.spaces[static_cast<size_t>(h)] + " timeout 30 iperf3 -s -1 -p " +
           std::to_string(tcp_port) + " >/dev/null 2>&1 & }");
    }
    // An iperf3 client command from the gigabit host g (0 or 1) to host h,
    // its JSON into the file.
    std::string client(int g, int tcp_port, const std::string &options, const std::string &file,
                       int h = 2, int seconds = 3) const {
        return "ip netns exec " + ns.spaces[static_cast<size_t>(g)] + " timeout " +
               std::to_string(seconds + 27) + " iperf3 -J -c " + net +
               std::to_string(10 * (h + 1)) + " -p " + std::to_string(tcp_port) + " -t " +
               std::to_string(seconds) + " " + options + " > " + file;
    }
    static Received read(const std::string &file) {
        std::istringstream in(
            sh_out("python3 -c 'import json,sys; e=json.load(open(sys.argv[1]))[\"end\"]\n"
                   "s=e[\"sum_received\"]; t=e[\"sum_sent\"]\n"
                   "print(s[\"bits_per_second\"] / 1e6, s.get(\"lost_packets\", 0), "
                   "s.get(\"packets\", 0), t.get(\"retransmits\", 0), t[\"bytes\"] // 1448)' " +
                   file));
        Received r;
        in >> r.mbps >> r.lost >> r.packets >> r.retransmits >> r.segments;
        return r;
    }
    // One iperf3 run from gigabit host `from` to host `to`.
    Received run(const std::string &options, int from = 1, int to = 2) {
        const std::string file = test_workdir::path() + "/run.json";
        serve(5201, to);
        usleep(500 * 1000);
        sh("{ " + client(from, 5201, options, file, to) + "; }");
        return read(file);
    }
    static long long reg(Switch &sw, const std::string &name) {
        return system_fixture::register_number(sw, name);
    }
    // The discards of the fast port and of the sender's port (a host that
    // offers more than the model takes on a busy machine loses there).
    long long discards() {
        return reg(*sw, "TXDROPPKTS.fe" + std::to_string(fast - 1)) +
               reg(*sw, std::string("RXDROPPKTS.") + GetParam().sender);
    }
    // Datagrams a host's own kernel dropped for want of room in a socket's
    // receive buffer (a busy host's iperf3 server reads late): lost, but not
    // by the switch.
    long long host_udp_drops(int host) {
        return std::atoll(sh_out("ip netns exec " + ns.spaces[static_cast<size_t>(host)] +
                                 " awk '/^Udp:/ && $2 ~ /^[0-9]/ { print $6 }' /proc/net/snmp")
                              .c_str());
    }
    // What the fast port sent of each stream, by the program's counters:
    // queue 3's frames (the QoS counter takes every queue above 0) and all
    // its unicast frames.
    struct Sent {
        long long high = 0, all = 0;
    };
    Sent fast_sent() {
        const std::string port = "fe" + std::to_string(fast - 1);
        return {reg(*sw, "TXQOSPKTS." + port), reg(*sw, "TXUNICASTPKTS." + port)};
    }
    // Two UDP streams at once into the fast port: from gigabit host 0 (whose
    // port gives its frames priority 7, queue 3) at 6 Mbit/s and from host 1
    // (priority 0, queue 0) at 10 Mbit/s. *sent: what the port sent of them
    // once it sent at least the high stream's datagrams (a busy host may
    // still be moving them when iperf3 ends).
    void two_streams(Received *high, Received *low, Sent *sent) {
        const Sent before = fast_sent();
        serve(5202);
        serve(5203);
        usleep(500 * 1000);
        const std::string dir = test_workdir::path();
        sh("{ " + client(0, 5202, "-u -b 6M -l 1400", dir + "/high.json") + " & " +
           client(1, 5203, "-u -b 10M -l 1400", dir + "/low.json") + "; wait; }");
        *high = read(dir + "/high.json");
        *low = read(dir + "/low.json");
        for (int tries = 0; tries < 100; tries++) {
            if (tries > 0) usleep(100 * 1000);
            const Sent now = fast_sent();
            *sent = {now.high - before.high, now.all - before.all};
            if (sent->high >= high->packets) break;
        }
    }

    // Two UDP streams at once into the fast port for 12 s, from gigabit
    // host 0 and host 1 at the rates given, both beyond the shares the
    // weights give them: the bytes the fast port's host received of each in
    // the seconds 3 to 9 of its run (the iperf3 servers' intervals), so that
    // neither the start of one before the other nor the backlogs left at
    // the end (which a busy host stretches) count, only the scheduler's
    // shares; and the bytes each host sent in the same seconds. -1 for a
    // count that could not be read.
    void shares(const std::string &high_rate, const std::string &low_rate, long long *high,
                long long *low, long long *high_sent, long long *low_sent) {
        const std::string dir = test_workdir::path();
        const std::string file[2] = {dir + "/high_share.json", dir + "/low_share.json"};
        for (int s = 0; s < 2; s++)
            sh("{ ip netns exec " + ns.spaces[2] + " timeout 60 iperf3 -s -1 -J -p " +
               std::to_string(5204 + s) + " > " + file[s] + ".tmp 2>/dev/null; mv " + file[s] +
               ".tmp " + file[s] + "; } &");
        usleep(500 * 1000);
        const std::string sent_file[2] = {dir + "/high_sent.json", dir + "/low_sent.json"};
        sh("{ " + client(0, 5204, "-u -b " + high_rate + " -l 1400", sent_file[0], 2, 12) + " & " +
           client(1, 5205, "-u -b " + low_rate + " -l 1400", sent_file[1], 2, 12) + "; wait; }");
        long long *bytes[4] = {high, low, high_sent, low_sent};
        const std::string files[4] = {file[0], file[1], sent_file[0], sent_file[1]};
        for (int s = 0; s < 4; s++) {
            *bytes[s] = -1;
            for (int tries = 0; tries < 300 && sh("test -s " + files[s]) != 0; tries++)
                usleep(100 * 1000);
            const std::string out = sh_out(
                "python3 -c 'import json,sys; e=json.load(open(sys.argv[1]))[\"intervals\"]\n"
                "print(sum(i[\"sum\"][\"bytes\"] for i in e "
                "if i[\"sum\"][\"start\"] > 2.9 and i[\"sum\"][\"end\"] < 9.1))' " +
                files[s]);
            if (!out.empty() && std::isdigit(static_cast<unsigned char>(out[0])))
                *bytes[s] = std::atoll(out.c_str());
        }
    }

    int fast = kFastPort;
    Netns ns;
    std::string net;
    std::string taps[3];
    std::optional<Switch> sw;  // after ns: it ends first
    int web = 0;
    std::string cookie;
};

TEST_P(system_wire_rate, AFastPortSendsAtItsLineRateInTheSchedulingModesOrder) {
    if (!system_fixture::can_make_namespaces() || sh("python3 -V") != 0 ||
        sh("iperf3 --version") != 0)
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, python3 and iperf3";
    ASSERT_NO_FATAL_FAILURE(start("w", "autonego=0&speed=2"));
    std::string seen;

    // TCP settles below the line rate.
    const Received tcp = run("");
    EXPECT_GT(tcp.mbps, 1);
    EXPECT_LT(tcp.mbps, 10);

    // A 20 Mbit/s stream: at most the line rate arrives, the rest is
    // counted. (A host too busy to bring the streams at their rates leaves
    // the port nothing to drop: the losses are checked where it dropped.)
    const long long before = discards(), host_before = host_udp_drops(2);
    const Received udp = run("-u -b 20M -l 1400");
    EXPECT_LT(udp.mbps, 10);
    const long long counted = discards() - before;
    if (counted > 0) {
        EXPECT_GT(udp.lost, 0);
    }
    const long long host_dropped = host_udp_drops(2) - host_before;
    EXPECT_GE(counted + host_dropped, udp.lost * 8 / 10)
        << udp.lost << " lost, " << host_dropped << " by the receiving host";

    // Strict: the port sends every frame of the high queue's stream, and
    // what it drops is the low queue's (the hosts may lose more on a busy
    // machine, but not in the switch).
    ASSERT_TRUE(sw->run("cos strict", "DXP.0> ", &seen)) << seen;
    const std::string high_drops = std::string("RXDROPPKTS.") + GetParam().high;
    const long long high_drops_before = reg(*sw, high_drops);
    Received high, low;
    Sent sent;
    long long step_start = discards();
    two_streams(&high, &low, &sent);
    EXPECT_GE(sent.high, high.packets)
        << high.lost << " of " << high.packets << " lost, " << high.mbps << " and " << low.mbps;
    EXPECT_EQ(reg(*sw, high_drops), high_drops_before);
    if (discards() > step_start) {
        EXPECT_GT(low.lost, 0);
    }
    // Weights 3:1 for queue 0: the high queue no longer goes first and
    // queue 0 sends more (the whole runs count here, the start of one
    // stream before the other included: the shares themselves are measured
    // below).
    ASSERT_TRUE(sw->run("cos weight W0=3 W1=1 W2=1 W3=1", "DXP.0> ", &seen)) << seen;
    two_streams(&high, &low, &sent);
    const long long low_sent = sent.all - sent.high;
    EXPECT_GT(low_sent, sent.high) << low_sent << " and " << sent.high;
    EXPECT_LT(low_sent * 10, 40 * sent.high) << low_sent << " and " << sent.high;

    // Weights 3:1 for queue 1 (host 0's frames, given priority 2 on the port
    // page) over queue 0, both streams beyond their shares: queue 1 gets
    // three quarters, within a tenth, however late the model runs.
    const std::string answer =
        web_client::post(web, "/portset.cgi",
                         "port=" + std::to_string(GetParam().gigabit[0]) +
                             "&admin=1&autonego=1&flow_ctrl=0&priority=2&pvid=1",
                         cookie);
    ASSERT_EQ(answer.find("ERROR"), std::string::npos) << answer;
    ASSERT_TRUE(sw->run("cos weight W0=1 W1=3 W2=1 W3=1", "DXP.0> ", &seen)) << seen;
    long long heavy = 0, light = 0, heavy_sent = 0, light_sent = 0;
    const Sent before_shares = fast_sent();
    shares("10M", "10M", &heavy, &light, &heavy_sent, &light_sent);
    const Sent after_shares = fast_sent();
    std::ostringstream sent_now;
    sent_now << heavy << " and " << light << " bytes; the port sent "
             << after_shares.high - before_shares.high << " frames of queue 1 and "
             << (after_shares.all - after_shares.high) - (before_shares.all - before_shares.high)
             << " of queue 0 over the whole runs; " << heavy_sent << " and " << light_sent
             << " bytes sent";
    EXPECT_GT(light, 100000);
    // The weights show where both streams lost part of what they sent: a
    // host too busy to bring a stream beyond its share has it whole.
    if (heavy_sent > heavy * 21 / 20 && light_sent > light * 21 / 20) {
        EXPECT_GT(heavy * 10, light * 27) << sent_now.str();
        EXPECT_LT(heavy * 10, light * 33) << sent_now.str();
    }
}

INSTANTIATE_TEST_SUITE_P(boards, system_wire_rate, testing::ValuesIn(kEveryBoard), board_name);

// The egress limit the rate page sets on port 8, with the gigabit ports'
// hosts sending to it at the port's line rate of 100 Mb/s.
class system_egress_limit : public system_wire_rate {
  protected:
    // The rate page's egress limit of the fast port, in steps of 64 kbit/s,
    // and its burst in kbit.
    void limit(int steps, int burst) {
        const std::string answer =
            web_client::post(web, "/setrate.cgi",
                             "port=" + std::to_string(fast) + "&ingress=0&egress_enable=1&egress=" +
                                 std::to_string(steps) + "&burst=" + std::to_string(burst),
                             cookie);
        ASSERT_EQ(answer.find("ERROR"), std::string::npos) << answer;
    }
    // Of bursts of back-to-back 1514-byte frames from gigabit host 0, a
    // second apart, how many of each reached the fast port's host once all
    // arrived, or a minute after the last was sent (a busy host may take
    // seconds to move them); empty when the hosts could not run them.
    std::vector<int> bursts(int rounds, int frames) {
        const std::string head =
            system_fixture::hex_of_mac(system_fixture::mac_of(ns.spaces[2], taps[2])) +
            system_fixture::hex_of_mac(system_fixture::mac_of(ns.spaces[0], taps[0])) + "88b5";
        // Past the host's receive-buffer limit (SO_RCVBUFFORCE): the switch
        // may hand a whole burst over at once.
        const std::string count =
            "ip netns exec " + ns.spaces[2] +
            " python3 -c 'import socket,sys,time\n"
            "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW,socket.htons(0x88b5))\n"
            "s.setsockopt(socket.SOL_SOCKET,33,8<<20); s.bind((sys.argv[1],0)); s.settimeout(0.2)\n"
            "n=[0]*int(sys.argv[2]); print(\"ready\",flush=True); "
            "end=time.time()+int(sys.argv[2])+60\n"
            "while time.time()<end and sum(n)<len(n)*int(sys.argv[3]):\n"
            "  try: d=s.recv(2048)\n"
            "  except OSError: continue\n"
            "  if len(d)>14 and d[14]<len(n): n[d[14]]+=1\n"
            "print(*n)' " +
            taps[2] + " " + std::to_string(rounds) + " " + std::to_string(frames);
        const std::string send =
            "ip netns exec " + ns.spaces[0] +
            " python3 -c 'import socket,sys,time\n"
            "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
            "for r in range(int(sys.argv[3])):\n"
            "  f=(bytes.fromhex(sys.argv[2])+bytes([r])).ljust(1514,bytes([238]))\n"
            "  for i in range(int(sys.argv[4])): s.send(f)\n"
            "  time.sleep(1)' " +
            taps[0] + " " + head + " " + std::to_string(rounds) + " " + std::to_string(frames);
        std::vector<int> arrived;
        FILE *counter = popen(count.c_str(), "r");
        if (counter == nullptr) return arrived;
        char line[256];
        if (fgets(line, sizeof line, counter) && std::string(line) == "ready\n" && sh(send) == 0 &&
            fgets(line, sizeof line, counter)) {
            std::istringstream in(line);
            for (int n; in >> n;)
                arrived.push_back(n);
        }
        pclose(counter);
        return arrived;
    }
    // The fast port's ifOutDiscards as SNMP reads it.
    long long out_discards() {
        return system_fixture::number_after(
            sh_out("snmpget -v2c -c public -On -t 3 -r 1 127.0.0.1:" +
                   std::to_string(sw->port_offset() + 161) + " .1.3.6.1.2.1.2.2.1.19." +
                   std::to_string(fast)),
            "Counter32:");
    }
};

TEST_P(system_egress_limit, APortSendsAtTheLowerOfItsLineRateAndItsLimit) {
    if (!system_fixture::can_make_namespaces() || sh("python3 -V") != 0 ||
        sh("iperf3 --version") != 0 || sh("snmpget --version") != 0)
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, python3, iperf3 and snmpget";
    fast = 8;
    const std::vector<int> shaped{1, 2, 3, 4, 6};
    ASSERT_NO_FATAL_FAILURE(start("e", "autonego=1", shaped));
    std::string seen;

    // Five ports shaped to 1 Mbit/s: tagged broadcasts in all four queues
    // from host 0 (about 12 Mbit/s) back up there and what they cannot hold
    // is their own discard, while the unlimited ports lose nothing: pings
    // from host 1 to the fast port's host and a burst of 64 from host 0.
    // (The twenty full queues hold most of the shared buffer, as they may:
    // the fast port keeps room for a burst of about a hundred frames
    // arriving at a gigabit, not for 150 as when it has the buffer alone,
    // below; a host too slow to send the burst at that rate hid this.)
    auto shape = [&](const std::string &rate) {
        for (int port : shaped)
            ASSERT_TRUE(sw->run("PortRate fe" + std::to_string(port - 1) + " egress " + rate,
                                "DXP.0> ", &seen))
                << seen;
    };
    ASSERT_NO_FATAL_FAILURE(shape("1024 48"));
    auto unlimited_discards = [this] {
        return reg(*sw, "TXDROPPKTS.fe7") +
               reg(*sw, std::string("TXDROPPKTS.") + GetParam().sender);
    };
    const long long unlimited_before = unlimited_discards();
    FILE *stream =
        popen(("ip netns exec " + ns.spaces[0] +
               " python3 -c 'import socket,sys,time\n"
               "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
               "f=[bytes.fromhex(\"ffffffffffff0200000050%02x8100%04x88b5\" % (p, p << 13 | 1))"
               ".ljust(1514,bytes([238])) for p in (0,2,4,6)]; start=time.time(); n=0\n"
               "while time.time()<start+12:\n"
               "  s.send(f[n % 4]); n+=1; time.sleep(max(0,start+n/1000-time.time()))' " +
               taps[0])
                  .c_str(),
              "r");
    ASSERT_NE(stream, nullptr);
    for (int tries = 0; tries < 100 && reg(*sw, "TXDROPPKTS.fe0") == 0; tries++)
        usleep(100 * 1000);  // until the shaped queues are full
    EXPECT_EQ(sh("ip netns exec " + ns.spaces[1] + " ping -c 10 -i 0.2 -W 2 " + net + "30"), 0);
    EXPECT_EQ(bursts(1, 64), std::vector<int>(1, 64));
    pclose(stream);
    for (int port : shaped)
        EXPECT_GT(reg(*sw, "TXDROPPKTS.fe" + std::to_string(port - 1)), 0) << port;
    EXPECT_EQ(unlimited_discards(), unlimited_before);
    ASSERT_NO_FATAL_FAILURE(shape("0 48"));

    // 102,400 kbit/s, above the port's 100 Mb/s, with the largest burst:
    // every frame of each burst arrives.
    ASSERT_NO_FATAL_FAILURE(limit(1600, 528));
    EXPECT_EQ(bursts(3, 150), std::vector<int>(3, 150));

    // 10,240 kbit/s with the smallest burst: TCP runs near the limit, half
    // the limit arrives whole.
    ASSERT_NO_FATAL_FAILURE(limit(160, 16));
    const Received tcp = run("");
    EXPECT_GT(tcp.mbps, 6);
    EXPECT_LT(tcp.mbps, 10.5);
    const Received half = run("-u -b 5M -l 1400");
    EXPECT_LE(half.lost, half.packets / 100) << half.lost << " of " << half.packets;

    // Twice the limit: about the limit arrives and the rest is counted, on
    // the monitor and (once collected) by SNMP.
    const long long before = discards(), host_before = host_udp_drops(2);
    const long long port_before = reg(*sw, "TXDROPPKTS.fe7");
    const long long snmp_before = out_discards();
    const Received twice = run("-u -b 20M -l 1400");
    EXPECT_GT(twice.mbps, 7);
    EXPECT_LT(twice.mbps, 10.5);
    EXPECT_GT(twice.lost, twice.packets / 4) << twice.lost << " of " << twice.packets;
    EXPECT_GE(discards() - before + host_udp_drops(2) - host_before, twice.lost * 8 / 10)
        << twice.lost << " lost";
    const long long port = reg(*sw, "TXDROPPKTS.fe7") - port_before;
    EXPECT_GT(port, twice.lost / 2) << twice.lost << " lost";
    long long snmp = 0;
    for (int tries = 0; tries < 40 && snmp < port; tries++) {
        if (tries > 0) usleep(250 * 1000);
        snmp = out_discards() - snmp_before;
    }
    EXPECT_GE(snmp, port);

    // TCP from one gigabit port to the other, limited to 507,904 kbit/s with
    // the largest burst: it runs at the limit at most (slower where the
    // model carries less: far slower on a busy host, so the floor only
    // tells a limit taken a thousandfold too low) and loses about what a
    // tail-drop queue of the port's depth would, not a tenth of its
    // segments.
    ASSERT_TRUE(sw->run(std::string("PortRate ") + GetParam().sender + " egress 507904 1040",
                        "DXP.0> ", &seen))
        << seen;
    const Received limited = run("", 0, 1);
    EXPECT_GT(limited.mbps, 2);
    EXPECT_LT(limited.mbps, 520);
    EXPECT_LE(limited.retransmits, limited.segments / 100)
        << limited.retransmits << " of " << limited.segments << " at " << limited.mbps;
    ASSERT_TRUE(
        sw->run(std::string("PortRate ") + GetParam().sender + " egress 0 48", "DXP.0> ", &seen))
        << seen;

    // A backlog behind a slow limit (64 kbit/s: the burst's 43 frames, then
    // one each 190 ms) leaves at once when the limit is raised, not after
    // the 8 s the old rate would still have taken.
    ASSERT_NO_FATAL_FAILURE(limit(1, 528));
    std::thread raise([this] {
        usleep(2500 * 1000);
        limit(1600, 528);
    });
    const std::vector<int> behind = bursts(1, 150);
    raise.join();
    EXPECT_EQ(behind, std::vector<int>(1, 150));
}

INSTANTIATE_TEST_SUITE_P(boards, system_egress_limit, testing::ValuesIn(kEveryBoard), board_name);

}  // namespace
