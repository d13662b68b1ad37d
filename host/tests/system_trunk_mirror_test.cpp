// Trunks and egress mirroring with frames on TAP ports: switchfw bridges four
// front-panel ports to TAPs in namespaces of their own; raw frames sent in one
// namespace are captured in the others. A blocking trunk member sends nothing,
// the egress-mirror copy is the frame the mirrored port sent, a frame to an
// address on its own trunk is dropped and counted at the member it came in on,
// and known unicast fails over to the trunk member left. Needs root,
// /dev/net/tun, ip, ping and python3; skips without them.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

namespace {

using system_fixture::link_up;
using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::Switch;

// Captures the frames of EtherType 0x88b5 on an interface and writes them
// in hex, one a line, once done: when `want` came (0: no number is awaited),
// else `grace` seconds after the sender is done (OUT.sent appears), at most
// two minutes. So a busy host that is slow to start the sender, or the
// switch slow to move the frames, shortens no capture.
constexpr const char *kSniff = R"(import socket, sys, time, os
iface, out, want, grace = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(3))
s.setsockopt(socket.SOL_SOCKET, 33, 8 << 20)
s.bind((iface, 0))
s.settimeout(0.1)
open(out + '.ready', 'w').close()
end, done, frames = time.time() + 120, None, []
while time.time() < end and (want == 0 or len(frames) < want):
    if done is None and os.path.exists(out + '.sent'):
        done = time.time()
    if done is not None and time.time() > done + grace:
        break
    try:
        f = s.recv(65536)
    except socket.timeout:
        continue
    t = f[16:18] if f[12:14] == b'\x81\x00' else f[12:14]
    if t == b'\x88\xb5':
        frames.append(f.hex())
with open(out + '.tmp', 'w') as o:
    o.write(''.join(x + '\n' for x in frames))
os.rename(out + '.tmp', out)
)";

// Sends the frames given in hex on an interface.
constexpr const char *kSend = R"(import socket, sys
s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW)
s.bind((sys.argv[1], 0))
for h in sys.argv[2:]:
    s.send(bytes.fromhex(h))
)";

bool wait_for_file(const std::string &path, int seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!std::filesystem::exists(path)) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// True once the address table holds the MAC, false after a minute.
bool learned(Switch &sw, const std::string &mac) {
    for (int i = 0; i < 300; i++) {
        if (!system_fixture::l2_entry_of(sw, mac).empty()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

std::vector<std::string> lines_of(const std::string &path) {
    std::vector<std::string> out;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// A 60-byte frame of EtherType 0x88b5 whose last source byte and first
// payload byte are the number.
std::string frame_hex(const std::string &dst, int number) {
    char n[3];
    std::snprintf(n, sizeof n, "%02x", number & 0xff);
    std::string payload = std::string(n) + std::string(90, '0');
    return dst + "0200000001" + n + "88b5" + payload;
}

class Hosts {
  public:
    Hosts(Netns &ns, std::string dir) : ns_(ns), dir_(std::move(dir)) {
        std::ofstream(dir_ + "/sniff.py") << kSniff;
        std::ofstream(dir_ + "/send.py") << kSend;
    }
    // Starts captures on the hosts, sends the frames from one, and returns
    // what each capturing host received: a host with a number in `want`
    // until that many came (or 20 s after the send), the others for 2 s
    // after the send.
    std::vector<std::vector<std::string>> exchange(int from, const std::vector<std::string> &frames,
                                                   const std::vector<int> &capture,
                                                   const std::vector<size_t> &want = {}) {
        std::vector<std::string> outs;
        for (size_t i = 0; i < capture.size(); i++) {
            const int host = capture[i];
            const size_t awaited = i < want.size() ? want[i] : 0;
            std::string out = dir_ + "/cap" + std::to_string(round_) + "_" + std::to_string(host);
            outs.push_back(out);
            sh("(ip netns exec " + ns_.spaces[host] + " python3 " + dir_ + "/sniff.py " +
               taps[host] + " " + out + " " + std::to_string(awaited) +
               (awaited > 0 ? " 20" : " 2") + " &)");
        }
        // A loaded host may take many seconds to start the captures' Python.
        for (const std::string &out : outs) {
            if (!wait_for_file(out + ".ready", 90)) ADD_FAILURE() << "capture did not start";
        }
        std::string cmd =
            "ip netns exec " + ns_.spaces[from] + " python3 " + dir_ + "/send.py " + taps[from];
        for (const std::string &f : frames)
            cmd += " " + f;
        EXPECT_EQ(sh(cmd), 0);
        for (const std::string &out : outs)
            std::ofstream(out + ".sent").close();
        std::vector<std::vector<std::string>> got;
        for (const std::string &out : outs) {
            EXPECT_TRUE(wait_for_file(out, 150)) << out;
            got.push_back(lines_of(out));
        }
        round_++;
        return got;
    }
    std::vector<std::string> taps;

  private:
    Netns &ns_;
    std::string dir_;
    int round_ = 0;
};

TEST(system_trunk_mirror, BlockedMemberSilentMirrorCopyExactUnicastFailsOver) {
    if (!system_fixture::can_make_namespaces() || sh("python3 -V") != 0)
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping and python3";
    const std::string id = std::to_string(system_fixture::own_id());
    Netns ns;
    Hosts hosts(ns, test_workdir::path());
    std::vector<std::string> args;
    for (int h = 0; h < 4; h++) {
        hosts.taps.push_back("swt" + std::string(1, static_cast<char>('a' + h)) + id);
        ns.spaces.push_back("swtns" + std::string(1, static_cast<char>('a' + h)) + id);
        ASSERT_EQ(sh("ip netns add " + ns.spaces.back()), 0);
        args.insert(args.end(), {"--tap", std::to_string(h + 1) + "=" + hosts.taps.back()});
    }
    Switch sw(test_workdir::path(), args);
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    for (int h = 0; h < 4; h++) {
        const std::string &tap = hosts.taps[h], &space = ns.spaces[h];
        ASSERT_EQ(sh("ip link set " + tap + " netns " + space), 0);
        sh("ip netns exec " + space + " sysctl -w net.ipv6.conf." + tap + ".disable_ipv6=1");
        ASSERT_EQ(sh("ip -n " + space + " link set " + tap + " up"), 0);
    }
    // Hosts b and c (chip ports 1 and 2) form a trunk; port 2 blocks. Port 1
    // is mirrored on egress to port 3, which is outside VLAN 1.
    std::string seen;
    ASSERT_TRUE(sw.run("trunk add Id=0 Rtag=1 Pbmp=fe1,fe2", "DXP.0> ", &seen));
    ASSERT_TRUE(sw.run("stg stp 1 fe2 block", "DXP.0> ", &seen));
    ASSERT_TRUE(sw.run("vlan remove 1 PortBitMap=fe3", "DXP.0> ", &seen));
    ASSERT_TRUE(sw.run("mirror Port=fe3 EgressBitMap=fe1 Mode=L2", "DXP.0> ", &seen)) << seen;

    std::vector<std::string> floods;
    for (int n = 1; n <= 16; n++)
        floods.push_back(frame_hex("ffffffffffff", n));
    // Link scan sees the links within its polls (slower on a busy host).
    for (int port = 0; port < 4; port++)
        ASSERT_TRUE(link_up(sw, "fe" + std::to_string(port))) << "fe" << port;
    std::vector<std::vector<std::string>> got =
        hosts.exchange(0, floods, {1, 2, 3}, {floods.size(), 0, floods.size()});
    EXPECT_EQ(got[0].size(), floods.size());  // the forwarding member takes every flood
    EXPECT_TRUE(got[1].empty()) << got[1].size() << " frames left the blocking member";
    EXPECT_EQ(got[2], got[0]);  // the copies are the frames as port 1 sent them
    ASSERT_FALSE(got[0].empty());
    EXPECT_EQ(got[0][0], floods[0]);  // untagged, as received

    ASSERT_TRUE(sw.run("stg stp 1 fe2 forward", "DXP.0> "));
    ASSERT_TRUE(sw.run("mirror Mode=Off", "DXP.0> "));

    // Station Y learned on port 2: frames to it from either member would go
    // back into the trunk they came from. None leaves, and each is counted
    // as dropped at the member it came in on.
    const std::string y = "020000003333";
    hosts.exchange(2, {"ffffffffffff" + y + "88b5" + std::string(92, '0')}, {});
    ASSERT_TRUE(learned(sw, "02:00:00:00:33:33"));
    for (int member : {1, 2}) {
        const std::string counter = "RXDROPPKTS.fe" + std::to_string(member);
        const long long before = system_fixture::register_number(sw, counter);
        std::vector<std::string> to_y;
        for (int n = 1; n <= 10; n++)
            to_y.push_back(frame_hex(y, n));
        got = hosts.exchange(member, to_y, {0, 3 - member, 3});
        for (const auto &host : got)
            EXPECT_TRUE(host.empty()) << host.size() << " frames to Y left from fe" << member;
        long long counted = 0;
        for (int tries = 0; tries < 100 && counted < 10; tries++) {
            if (tries > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            counted = system_fixture::register_number(sw, counter) - before;
        }
        EXPECT_EQ(counted, 10) << counter;
    }

    // Station X learned on port 1; port 1 goes away; unicast to X leaves on
    // the other member.
    const std::string x = "020000000299";
    hosts.exchange(1, {x + "020000000299" + "88b5" + std::string(92, '0')}, {});
    ASSERT_TRUE(learned(sw, "02:00:00:00:02:99"));
    ASSERT_EQ(sh("ip -n " + ns.spaces[1] + " link del " + hosts.taps[1]), 0);
    EXPECT_TRUE(sw.run("", "went away"));
    std::vector<std::string> unicast;
    for (int n = 1; n <= 4; n++)
        unicast.push_back(frame_hex(x, n));
    for (int tries = 0; tries < 5; tries++) {  // until link scan has seen port 1 go
        got = hosts.exchange(0, unicast, {2}, {unicast.size()});
        if (got[0] == unicast) break;
    }
    EXPECT_EQ(got[0], unicast);
}

}  // namespace
