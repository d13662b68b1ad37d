// Switching set up through the web pages, checked with frames: switchfw
// bridges four front-panel ports to TAPs in namespaces of their own; frames
// sent by one host are captured by all of them (VLAN tags included). Needs
// root (CAP_NET_ADMIN), /dev/net/tun, ip, ping and python3; skips without them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>

#include <chrono>
#include <fstream>
#include <memory>
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
using system_fixture::Switch;

// Opens a packet socket on every host's TAP (entering each namespace in
// turn), sends the frames from one host and prints for a second what each
// host receives as "<host> <hex>", the VLAN tag the kernel took off put back.
constexpr const char *kExchange = R"(import ctypes, os, select, socket, struct, sys, time
libc = ctypes.CDLL(None, use_errno=True)
hosts = [h.split(':') for h in sys.argv[1].split(',')]
sender, frames = int(sys.argv[2]), sys.argv[3:]
home = os.open('/proc/self/ns/net', os.O_RDONLY)
socks = []
for space, tap in hosts:
    fd = os.open('/run/netns/' + space, os.O_RDONLY)
    libc.setns(fd, 0x40000000)
    os.close(fd)
    s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(3))
    s.bind((tap, 0))
    s.setsockopt(263, 8, 1)
    s.setblocking(False)
    socks.append(s)
libc.setns(home, 0x40000000)
for f in frames:
    socks[sender].send(bytes.fromhex(f))
end = time.time() + 1
while time.time() < end:
    for s in select.select(socks, [], [], 0.05)[0]:
        try:
            f, anc, _, _ = s.recvmsg(65536, 64)
        except OSError:
            continue
        for level, kind, data in anc:
            status, _, _, _, _, tci, tpid = struct.unpack('IIIHHHH', data[:20])
            if level == 263 and kind == 8 and status & 0x10:
                f = f[:12] + struct.pack('!HH', tpid or 0x8100, tci) + f[12:]
        if f[12:14] == b'\x88\xb5' or f[16:18] == b'\x88\xb5':
            print(socks.index(s), f.hex(), flush=True)
)";

// A 60-byte frame of EtherType 0x88b5, tagged when vid >= 0.
std::string frame_hex(const std::string &dst, const std::string &src, int vid = -1) {
    std::string f = dst + src;
    if (vid >= 0) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "8100%04x", vid & 0xffff);
        f += tag;
    }
    f += "88b5";
    f.resize(120, '0');
    return f;
}

// A source address numbered n.
std::string station(int n) {
    char mac[13];
    std::snprintf(mac, sizeof mac, "0200000a%04x", n & 0xffff);
    return mac;
}

// The VLAN of a captured frame, -1 for an untagged one.
int vlan_of(const std::string &hex) {
    return hex.compare(24, 4, "8100") == 0 ? std::stoi(hex.substr(29, 3), nullptr, 16) : -1;
}

// A switch whose listed front-panel ports lead to hosts 0, 1, ...
class Bench {
  public:
    Bench(int board, const std::vector<int> &ports, const std::string &tag)
        : id_(tag + std::to_string(system_fixture::own_id())), board_(board), ports_(ports) {
        std::ofstream(test_workdir::path() + "/exchange.py") << kExchange;
        std::vector<std::string> names;
        for (size_t h = 0; h < ports.size(); h++) {
            taps.push_back("sw" + id_ + "t" + std::to_string(h));
            names.push_back("sw" + id_ + "n" + std::to_string(h));
        }
        // The hosts have no addresses, so no subnet needs keeping out.
        made_ = true;
        for (const std::string &name : names) {
            if (sh("ip netns add " + name) != 0) {
                made_ = false;
                break;
            }
            ns.spaces.push_back(name);
        }
    }
    // Starts (or starts again) the switch and puts the TAPs into the
    // namespaces; false when something failed.
    bool start() {
        sw.reset();
        std::vector<std::string> args{"--board", std::to_string(board_)};
        for (size_t h = 0; h < ports_.size(); h++)
            args.insert(args.end(), {"--tap", std::to_string(ports_[h]) + "=" + taps[h]});
        sw = std::make_unique<Switch>(test_workdir::path(), args);
        if (!made_ || !sw->run("", "DXP.0> ", nullptr, 60)) return false;
        for (size_t h = 0; h < taps.size(); h++) {
            const std::string &space = ns.spaces[h];
            sh("ip netns exec " + space + " sysctl -w net.ipv6.conf.all.disable_ipv6=1");
            if (sh("ip link set " + taps[h] + " netns " + space) != 0 ||
                sh("ip -n " + space + " link set " + taps[h] + " up") != 0)
                return false;
        }
        cookie = web_client::login(sw->port_offset() + 80, "qivor");
        return !cookie.empty();
    }
    // What each host receives while one sends the frames.
    std::vector<std::vector<std::string>> exchange(int from,
                                                   const std::vector<std::string> &frames) {
        std::string hosts;
        for (size_t h = 0; h < taps.size(); h++)
            hosts += (h ? "," : "") + ns.spaces[h] + ":" + taps[h];
        std::string cmd = "python3 " + test_workdir::path() + "/exchange.py " + hosts + " " +
                          std::to_string(from);
        for (const std::string &f : frames)
            cmd += " " + f;
        std::vector<std::vector<std::string>> got(taps.size());
        std::istringstream out(system_fixture::sh_out(cmd));
        size_t host = 0;
        for (std::string hex; out >> host >> hex;) {
            if (host < got.size()) got[host].push_back(hex);
        }
        return got;
    }
    // Repeats a broadcast from host 0 until so many other hosts have it
    // (every one unless a trunk takes it once): the links are up.
    bool links_up(size_t hosts = 0) {
        if (hosts == 0) hosts = taps.size() - 1;
        for (int tries = 0; tries < 10; tries++) {
            auto got = exchange(0, {frame_hex("ffffffffffff", station(0))});
            size_t reached = 0;
            for (size_t h = 1; h < got.size(); h++)
                reached += got[h].size() == 1;
            if (reached == hosts) return true;
        }
        return false;
    }
    std::string post(const std::string &path, const std::string &body) {
        return web_client::post(sw->port_offset() + 80, path, body, cookie);
    }

    Netns ns;
    std::vector<std::string> taps;
    std::unique_ptr<Switch> sw;
    std::string cookie;

  private:
    std::string id_;
    int board_;
    std::vector<int> ports_;
    bool made_ = false;
};

bool can_run_switching() {
    return system_fixture::can_make_namespaces() && sh("python3 -V") == 0;
}

constexpr const char *kNeeds = "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping and python3";

// The 26-port board's gigabit pair forms trunk 3: each frame leaves on one
// member only, frames are spread over both, none comes back into the trunk,
// and the trunk returns after a restart.
TEST(system_switching, GigabitPairTrunkOfTheTwentySixPortBoardCarriesEachFrameOnce) {
    if (!can_run_switching()) GTEST_SKIP() << kNeeds;
    Bench b(26, {1, 25, 26, 2}, "k");
    ASSERT_TRUE(b.start());
    ASSERT_TRUE(b.links_up());
    std::string answer =
        b.post("/trunk.cgi", "trunk_criteria=3&tgmember1=&tgmember2=&tgmember3=25,26");
    ASSERT_EQ(answer.find("ERROR"), std::string::npos) << answer;
    for (int round = 0; round < 2; round++) {
        std::vector<std::string> floods;
        for (int n = 1; n <= 16; n++)
            floods.push_back(frame_hex("ffffffffffff", station(n)));
        auto got = b.exchange(0, floods);
        EXPECT_EQ(got[1].size() + got[2].size(), floods.size());
        EXPECT_FALSE(got[1].empty());
        EXPECT_FALSE(got[2].empty());
        EXPECT_EQ(got[3].size(), floods.size());
        got = b.exchange(1, {frame_hex("ffffffffffff", station(99))});
        EXPECT_TRUE(got[2].empty()) << "a flood went back into the trunk";
        EXPECT_EQ(got[0].size(), 1u);
        if (round == 0) {
            ASSERT_TRUE(b.start());
            ASSERT_TRUE(b.links_up(2));
        }
    }
}

// The trunk page's criterion picks the address the members share the frames
// by: with SA, broadcasts from many stations spread over both members; with
// DA, they all take one member.
TEST(system_switching, TrunkSharesFramesByTheAddressTheCriterionNames) {
    if (!can_run_switching()) GTEST_SKIP() << kNeeds;
    Bench b(28, {1, 25, 26}, "c");
    ASSERT_TRUE(b.start());
    ASSERT_TRUE(b.links_up());
    std::vector<std::string> floods;
    for (int n = 1; n <= 16; n++)
        floods.push_back(frame_hex("ffffffffffff", station(n)));
    for (const char *criterion : {"1", "2"}) {
        std::string answer = b.post("/trunk.cgi", std::string("trunk_criteria=") + criterion +
                                                      "&tgmember1=25,26&tgmember2=&tgmember3=");
        ASSERT_EQ(answer.find("ERROR"), std::string::npos) << answer;
        auto got = b.exchange(0, floods);
        EXPECT_EQ(got[1].size() + got[2].size(), floods.size()) << "criterion " << criterion;
        const bool spread = !got[1].empty() && !got[2].empty();
        EXPECT_EQ(spread, std::string(criterion) == "1")
            << "criterion " << criterion << ": " << got[1].size() << " and " << got[2].size();
    }
}

// VLANs made on the VLAN pages hold on the 28-port board's gigabit ports,
// which sit above a gap in its port numbering: members get the frames tagged
// or untagged as set, the PVID classifies untagged frames, and a removed VLAN
// carries nothing.
TEST(system_switching, VlanPagesSeparateTheTwentyEightPortBoardsGigabitPorts) {
    if (!can_run_switching()) GTEST_SKIP() << kNeeds;
    Bench b(28, {1, 2, 25, 26}, "v");
    ASSERT_TRUE(b.start());
    ASSERT_TRUE(b.links_up());
    std::string members(28, '0');
    members[1] = '1';  // port 2 untagged, 25 and 26 tagged
    members[24] = members[25] = '2';
    std::string answer = b.post("/newvlan.cgi", "newid=10&values=" + members);
    ASSERT_EQ(answer.find("ERROR"), std::string::npos) << answer;
    const std::string port_form = "&admin=1&autonego=1&flow_ctrl=0&priority=0&pvid=";
    answer = b.post("/portset.cgi", "port=2" + port_form + "10");
    ASSERT_EQ(answer.find("ERROR"), std::string::npos) << answer;
    auto vlans = [](const std::vector<std::string> &frames) {
        std::vector<int> out;
        for (const std::string &f : frames)
            out.push_back(vlan_of(f));
        return out;
    };
    auto got = b.exchange(2, {frame_hex("ffffffffffff", station(25), 10)});
    EXPECT_TRUE(got[0].empty());
    EXPECT_EQ(vlans(got[1]), std::vector<int>{-1});
    EXPECT_EQ(vlans(got[3]), std::vector<int>{10});
    got = b.exchange(1, {frame_hex("ffffffffffff", station(2))});
    EXPECT_TRUE(got[0].empty());
    EXPECT_EQ(vlans(got[2]), std::vector<int>{10});
    EXPECT_EQ(vlans(got[3]), std::vector<int>{10});

    answer = b.post("/portset.cgi", "port=2" + port_form + "1");
    ASSERT_EQ(answer.find("ERROR"), std::string::npos) << answer;
    answer = b.post("/delvlan.cgi", "id=10");
    ASSERT_EQ(answer.find("ERROR"), std::string::npos) << answer;
    got = b.exchange(2, {frame_hex("ffffffffffff", station(25), 10)});
    for (const auto &host : got)
        EXPECT_TRUE(host.empty());
}

// The management address answers hosts on every front-panel port of the
// 52-port board, the upper ports (30-52, sent in the chip's second port
// group) as well as the first: pings and the login page.
TEST(system_switching, ManagementAnswersOnTheUpperPortsOfTheFiftyTwoPortBoard) {
    if (!can_run_switching() || sh("curl -V") != 0) GTEST_SKIP() << kNeeds << " and curl";
    const std::string id = std::to_string(system_fixture::own_id());
    const std::string fw = "swmf" + id;
    const std::vector<int> ports{2, 30, 52};
    std::vector<std::string> peers, taps;
    for (int port : ports) {
        peers.push_back("swmp" + std::to_string(port) + "n" + id);
        taps.push_back("swmp" + std::to_string(port) + "t" + id);
    }
    Netns ns;
    std::vector<std::string> spaces = peers;
    spaces.push_back(fw);
    ASSERT_TRUE(ns.make("192.168.1.0/24", spaces));
    ASSERT_EQ(sh("ip -n " + fw + " link set lo up"), 0);
    // The firmware runs in a namespace of its own: the child takes this
    // thread's namespace.
    std::vector<std::string> args{"--board", "52", "--mgmt-tap", "mgmt"};
    for (size_t k = 0; k < ports.size(); k++)
        args.insert(args.end(), {"--tap", std::to_string(ports[k]) + "=" + taps[k]});
    int home = open("/proc/self/ns/net", O_RDONLY);
    int inside = open(("/run/netns/" + fw).c_str(), O_RDONLY);
    ASSERT_GE(home, 0);
    ASSERT_GE(inside, 0);
    ASSERT_EQ(setns(inside, CLONE_NEWNET), 0);
    auto sw = std::make_unique<Switch>(test_workdir::path(), args);
    ASSERT_EQ(setns(home, CLONE_NEWNET), 0);
    close(inside);
    close(home);
    std::string seen;
    ASSERT_TRUE(sw->run("", "DXP.0> ", &seen, 60)) << seen;
    for (size_t k = 0; k < ports.size(); k++) {
        ASSERT_EQ(sh("ip -n " + fw + " link set " + taps[k] + " netns " + peers[k]), 0);
        ASSERT_EQ(sh("ip -n " + peers[k] + " addr add 192.168.1." + std::to_string(10 + k) +
                     "/24 dev " + taps[k]),
                  0);
        ASSERT_EQ(sh("ip -n " + peers[k] + " link set " + taps[k] + " up"), 0);
    }
    for (size_t k = 0; k < ports.size(); k++) {
        const std::string in_peer = "ip netns exec " + peers[k] + " ";
        bool reached = false;
        for (int tries = 0; tries < 10 && !reached; tries++)
            reached = sh(in_peer + "ping -c 1 -W 1 192.168.1.1") == 0;
        EXPECT_TRUE(reached) << "no answer on port " << ports[k];
        std::string page = system_fixture::sh_out(
            in_peer + "curl -s -m 10 http://192.168.1.1:" + std::to_string(80 + sw->port_offset()) +
            "/login.htm");
        EXPECT_NE(page.find("password"), std::string::npos) << "port " << ports[k] << ": " << page;
    }
}

class system_switching_boards : public testing::TestWithParam<std::vector<int>> {};

// A port switched off on the port page sends and takes nothing, also after a
// restart while its cable stays plugged in; switched on it forwards again.
TEST_P(system_switching_boards, PortSwitchedOffStaysOffAfterARestart) {
    if (!can_run_switching()) GTEST_SKIP() << kNeeds;
    const std::vector<int> ports = GetParam();
    Bench b(ports[0], {1, ports[1]}, "e");
    ASSERT_TRUE(b.start());
    ASSERT_TRUE(b.links_up());
    const std::string form =
        "port=" + std::to_string(ports[1]) + "&admin=%d&autonego=1&flow_ctrl=0&priority=0&pvid=1";
    auto set_admin = [&](int on) {
        char body[96];
        std::snprintf(body, sizeof body, form.c_str(), on);
        std::string answer = b.post("/portset.cgi", body);
        EXPECT_EQ(answer.find("ERROR"), std::string::npos) << answer;
    };
    auto reached = [&] {
        auto got = b.exchange(0, {frame_hex("ffffffffffff", station(1))});
        auto back = b.exchange(1, {frame_hex("ffffffffffff", station(2))});
        return got[1].size() + back[0].size();
    };
    set_admin(0);
    EXPECT_EQ(reached(), 0u);
    ASSERT_TRUE(b.start());
    for (int pass = 0; pass < 3; pass++)  // link scan has seen the link
        EXPECT_EQ(reached(), 0u) << "pass " << pass;
    set_admin(1);
    size_t after = 0;
    for (int tries = 0; tries < 10 && after != 2; tries++)
        after = reached();
    EXPECT_EQ(after, 2u);
}

// A port the spanning tree blocks or disables takes and sends no frames and
// learns nothing, a learning one learns but forwards nothing, on every board
// (the 26-port chip keeps its states per spanning-tree group).
TEST_P(system_switching_boards, SpanningTreeStatesHoldFramesBack) {
    if (!can_run_switching()) GTEST_SKIP() << kNeeds;
    const std::vector<int> board = GetParam();
    const int gigabit = board[0] == 52 ? 49 : 25;
    Bench b(board[0], {1, 2, gigabit}, "s");
    ASSERT_TRUE(b.start());
    ASSERT_TRUE(b.links_up());
    for (const std::string port : {"fe1", "ge0"}) {
        const int host = port == "fe1" ? 1 : 2;
        for (const char *state : {"block", "disable", "learn", "forward"}) {
            std::string seen;
            ASSERT_TRUE(b.sw->run("stg stp 1 " + port + " " + state, "DXP.0> ", &seen));
            ASSERT_TRUE(b.sw->run("l2 clear all", "DXP.0> ", &seen));
            const std::string from_port = station(100 + host);
            auto in = b.exchange(host, {frame_hex("ffffffffffff", from_port)});
            auto out = b.exchange(
                0, {frame_hex("ffffffffffff", station(1)), frame_hex(from_port, station(1))});
            const bool forwards = std::string(state) == "forward";
            const bool learns = forwards || std::string(state) == "learn";
            EXPECT_EQ(in[0].size(), forwards ? 1u : 0u) << port << " " << state;
            // The flood reaches the port only when it forwards; the unicast
            // floods unless the port learned its sender.
            EXPECT_EQ(out[host].size(), forwards ? 2u : 0u) << port << " " << state;
            EXPECT_EQ(out[3 - host].size(), learns ? 1u : 2u) << port << " " << state;
        }
    }
}

// A shorter ageing time keeps an address heard just before the change, as
// the chip's ager, started again with the new time, does: a unicast to it
// still goes to its port alone.
TEST_P(system_switching_boards, ShorterAgeingTimeKeepsARecentAddress) {
    if (!can_run_switching()) GTEST_SKIP() << kNeeds;
    Bench b(GetParam()[0], {1, 2, 3}, "a");
    ASSERT_TRUE(b.start());
    ASSERT_TRUE(b.links_up());
    std::string answer = b.post("/aging.cgi", "enable=1&time=300");
    ASSERT_EQ(answer.find("Retry"), std::string::npos) << answer;
    // Seconds counted under the old time, more than two passes of the new.
    std::this_thread::sleep_for(std::chrono::seconds(18));
    const std::string a = station(1);
    b.exchange(0, {frame_hex("ffffffffffff", a)});
    answer = b.post("/aging.cgi", "enable=1&time=8");
    ASSERT_EQ(answer.find("Retry"), std::string::npos) << answer;
    // The ager's next second has come; the address has 8 s at least.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    auto got = b.exchange(1, {frame_hex(a, station(2))});
    EXPECT_EQ(got[0].size(), 1u);
    EXPECT_TRUE(got[2].empty()) << "the unicast to the address heard last flooded";
}

// The backup file with its first static address set to mac on port 2 of
// VLAN 1, its end line's checksum made anew.
std::string with_static_address(const std::string &file, const std::string &mac) {
    const std::string key = "\nl2=";
    const size_t at = file.find(key), end = file.rfind("#end ");
    if (at == std::string::npos || end == std::string::npos) return "";
    std::string body = file.substr(0, end);
    const size_t value = at + key.size();
    body.replace(value, 20, mac + "01000001");
    body.replace(body.find('\n', value) - 2, 2, "01");  // the count
    uint32_t crc = ~0u;
    for (unsigned char c : body) {
        crc ^= c;
        for (int k = 0; k < 8; k++)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    char trailer[40];
    std::snprintf(trailer, sizeof trailer, "#end %d %08x\n", std::atoi(file.c_str() + end + 5),
                  ~crc);
    return body + trailer;
}

// The switch's own MAC stays the CPU's on every entrance to the static
// addresses: frames to it from port 1 reach no other port, whatever the web,
// a restored backup or the monitor is given, and after a restart.
TEST_P(system_switching_boards, OwnMacStaysWithTheCpu) {
    if (!can_run_switching()) GTEST_SKIP() << kNeeds;
    Bench b(GetParam()[0], {1, 2}, "o");
    ASSERT_TRUE(b.start());
    ASSERT_TRUE(b.links_up());
    const int web = b.sw->port_offset() + 80;
    const std::string system = web_client::get(web, "/system.htm", b.cookie);
    ASSERT_NE(system.find("02-53-57-00-00-01"), std::string::npos) << system;
    const std::string own = "025357000001";
    // Frames to the switch reach the CPU only: none floods to port 2.
    auto kept = [&](const std::string &after) {
        for (int pass = 0; pass < 2; pass++) {
            auto got = b.exchange(0, {frame_hex(own, station(1))});
            EXPECT_TRUE(got[1].empty()) << after << ": port 2 received frames to the switch";
        }
    };
    kept("start");
    std::string answer = b.post("/l2add.cgi", "mac=02-53-57-00-00-01&vid=1&port=2");
    EXPECT_NE(answer.find("02-53-57-00-00-01 is the switch&#39;s own MAC address"),
              std::string::npos)
        << answer;
    answer = b.post("/l2add.cgi", "mac=02-53-57-00-00-01&vid=1&port=0");
    EXPECT_NE(answer.find("own MAC address"), std::string::npos) << answer;
    kept("l2add.cgi");
    b.post("/l2del.cgi", "mac=02-53-57-00-00-01&vid=1");
    kept("l2del.cgi");

    const std::string file = web_client::body_of(web_client::get(web, "/dxpqsw.cfg", b.cookie));
    answer = web_client::upload(web, "/restore.cgi", with_static_address(file, own), b.cookie);
    EXPECT_NE(answer.find("entry 1: 02-53-57-00-00-01 is the switch&#39;s own MAC address"),
              std::string::npos)
        << answer;
    kept("restore");

    std::string seen;
    ASSERT_TRUE(
        b.sw->run("l2 add mac=02:53:57:00:00:01 vlanid=1 pbm=fe1 static=1", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("is the switch's own MAC address"), std::string::npos) << seen;
    ASSERT_TRUE(b.sw->run("l2 del mac=02:53:57:00:00:01 vlanid=1", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("the CPU's station entry stays"), std::string::npos) << seen;
    kept("monitor l2 add and del");
    for (const char *clear : {"l2 clear vlanid=1 static=true", "clear l2_arl"}) {
        ASSERT_TRUE(b.sw->run(clear, "DXP.0> ", &seen));
        kept(clear);
    }

    ASSERT_TRUE(b.start());
    ASSERT_TRUE(b.links_up());
    kept("restart");
    EXPECT_EQ(web_client::get(b.sw->port_offset() + 80, "/l2manage.htm", b.cookie)
                  .find("02-53-57-00-00-01"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(every_board, system_switching_boards,
                         testing::Values(std::vector<int>{52, 52}, std::vector<int>{28, 26},
                                         std::vector<int>{26, 26}),
                         [](const testing::TestParamInfo<std::vector<int>> &info) {
                             return "Board" + std::to_string(info.param[0]);
                         });

}  // namespace
