// An H.323 call between two network namespaces through switchfw's TAP ports
// with Auto VoIP on, after a burst of junk on the signalling port from many
// addresses: the Setup and Connect announce the H.245 address and the
// switch copies that connection to the CPU; OpenLogicalChannel and its Ack on
// it replace those rules by the voice rules of the two media streams; the
// ReleaseComplete leaves none. Floods of SCCP and SIP calls from one host
// take only that host's share of the rows, and Auto VoIP off or the factory
// defaults take every call's rules away. The field processor is read
// through the monitor. Needs root (CAP_NET_ADMIN, setns), /dev/net/tun, ip,
// ping and curl; skips without them. Orders forged from ports outside a
// call end no call and keep none from its rules.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../../features/tests/h323_encode.h"
#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

namespace {

// The rows of one host's calls: four calls of two rules.
constexpr int kHostRows = 8;

using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::sh_out;
using system_fixture::Switch;

// A TCP socket made inside a namespace: it stays there when this thread
// goes back.
int socket_in(const std::string &space) {
    int self = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    int target = open(("/var/run/netns/" + space).c_str(), O_RDONLY | O_CLOEXEC);
    int fd = -1;
    if (self >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0) {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (setns(self, CLONE_NEWNET) != 0) std::abort();  // never run on in the wrong namespace
    }
    if (self >= 0) close(self);
    if (target >= 0) close(target);
    if (fd >= 0) {
        timeval tv = {.tv_sec = 5, .tv_usec = 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    }
    return fd;
}

sockaddr_in address(const std::string &ip, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    return a;
}

// A connected pair: the listener in the callee's namespace, the caller's
// end in its own.
struct Connection {
    int caller = -1, callee = -1;
    ~Connection() {
        if (caller >= 0) close(caller);
        if (callee >= 0) close(callee);
    }
    bool open(const std::string &caller_ns, const std::string &callee_ns, const std::string &ip,
              uint16_t port) {
        int listener = socket_in(callee_ns);
        caller = socket_in(caller_ns);
        int on = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a = address(ip, port);
        bool ok = listener >= 0 && caller >= 0 &&
                  bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
                  listen(listener, 1) == 0 &&
                  connect(caller, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        if (ok) callee = accept(listener, nullptr, nullptr);
        if (listener >= 0) close(listener);
        return ok && callee >= 0;
    }
};

// Sends the bytes on one end and reads them whole on the other.
bool pass(int from, int to, const h323_test::Bytes &b) {
    if (send(from, b.data(), b.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(b.size()))
        return false;
    size_t got = 0;
    char buf[2048];
    while (got < b.size()) {
        ssize_t n = recv(to, buf, sizeof buf, 0);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

// A call set up on port 1720 of the callee's address: the Setup and the
// Connect both announce the H.245 address.
bool call_answered(Connection &signalling, const std::string &caller_ns,
                   const std::string &callee_ns, const std::string &ip,
                   const h323_test::Address &control) {
    using h323_test::Uuie;
    return signalling.open(caller_ns, callee_ns, ip, 1720) &&
           pass(signalling.caller, signalling.callee,
                h323_test::q931(h323_test::kSetupType,
                                h323_test::user_information(Uuie::kSetup, &control))) &&
           pass(signalling.callee, signalling.caller,
                h323_test::q931(h323_test::kConnectType,
                                h323_test::user_information(Uuie::kConnect, &control)));
}

// The field-processor entries by id: the class of a copy to the CPU (0 for
// none) and whether the entry raises the priority.
using Entries = std::map<int, std::pair<int, bool>>;

Entries entries(Switch &sw) {
    Entries found;
    for (int id = 0; id < 48; id++) {
        // Each answer ends at a mark of its own: a log line brings a prompt
        // of its own, which would otherwise end a read early.
        const std::string get = "FieldProcessor action get " + std::to_string(id) + " ";
        const std::string copy = sw.output(get + "CopyToCpu");
        const std::string prio = sw.output(get + "PrioIntNew");
        const size_t at = copy.find("p1=");
        const bool raises = prio.find("action=PrioIntNew") != std::string::npos;
        const int cls = at != std::string::npos ? std::stoi(copy.substr(at + 3)) : 0;
        if (cls != 0 || raises) found[id] = {cls, raises};
    }
    return found;
}

// The field processor's entries with the action, read through the monitor
// as an administrator would.
int rules_with(Switch &sw, const std::string &action) {
    std::vector<std::string> ids;
    for (int id = 1; id <= 300; id++)
        ids.push_back(std::to_string(id) + " " + action);
    const std::string out = system_fixture::each_of(sw, "FieldProcessor action get", ids);
    return static_cast<int>(system_fixture::count_of(out, "action=" + action));
}

// The entries that raise the internal priority.
int voice_rules(Switch &sw) {
    return rules_with(sw, "PrioIntNew");
}

// Entries copying with the class, and entries raising the priority only.
std::pair<int, int> count(const Entries &e, int cls) {
    int copies = 0, voice = 0;
    for (const auto &[id, what] : e) {
        copies += what.first == cls;
        voice += what.first == 0 && what.second;
    }
    return {copies, voice};
}

// Reads until `done` holds for what `read` gives, for up to two minutes: a
// loaded host takes its time to bring the copies to the snoopers and their
// rules to the chip. Returns the last reading.
template <typename Read, typename Done>
auto read_until(Read read, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    auto value = read();
    while (!done(value) && std::chrono::steady_clock::now() < deadline) {
        usleep(100 * 1000);
        value = read();
    }
    return value;
}

// The entries once the copies reached the snooper: read again until the
// counts of H.245 copy rules and voice rules are the wanted ones.
Entries entries_when(Switch &sw, std::pair<int, int> wanted) {
    return read_until([&] { return entries(sw); },
                      [&](const Entries &e) { return count(e, 5) == wanted; });
}

// The bytes (or characters) as hex digits.
template <typename Bytes>
std::string hex_of_bytes(const Bytes &bytes) {
    std::string hex;
    char two[3];
    for (auto byte : bytes) {
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(byte));
        hex += two;
    }
    return hex;
}

// Segments to port 1720 from 300 source addresses and ports, each carrying
// the payload, raw from a packet socket; the destination MAC is no host's,
// so the switch floods them and no stack answers.
bool send_segments(const std::string &space, const std::string &tap, const std::string &dst_ip,
                   const h323_test::Bytes &payload) {
    unsigned a, b, c, d;
    if (std::sscanf(dst_ip.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return false;
    // Addresses; IPv4 header, the source address 0 until set per segment;
    // TCP header, the source port 0 until set per segment, to port 1720.
    char head[160];
    std::snprintf(head, sizeof head,
                  "0200000000990200000000980800"
                  "4500%04zx000000004006000000000000%02x%02x%02x%02x"
                  "000006b800000001000000005018100000000000",
                  40 + payload.size(), a, b, c, d);
    const std::string hex = head + hex_of_bytes(payload);
    return sh("ip netns exec " + space +
              " python3 -c 'import socket,sys,time\n"
              "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
              "f=bytearray(bytes.fromhex(sys.argv[2]))\n"
              "for i in range(300):\n"
              "  f[26:30]=bytes([10,1,i>>8,i&255]); f[34:36]=(10000+i).to_bytes(2,\"big\")\n"
              "  s.send(bytes(f)); time.sleep(0.005)' " +
              tap + " " + hex) == 0;
}

// TPKTs whose Q.931 protocol discriminator is 9.
bool send_junk(const std::string &space, const std::string &tap, const std::string &dst_ip) {
    h323_test::Bytes payload = h323_test::q931(h323_test::kSetupType, {0x00});
    payload[4] = 9;
    return send_segments(space, tap, dst_ip, payload);
}

// The message count times as a UDP datagram from the port (of the address
// from, else the namespace's own) to the peer's port, sent from the
// namespace a datagram every pace_ms; "@N@" in it becomes the datagram's
// number.
bool send_numbered(const std::string &space, const std::string &from, int from_port,
                   const std::string &peer_ip, int peer_port, const std::string &message, int count,
                   int pace_ms = 5) {
    const std::string hex = hex_of_bytes(message);
    return sh("ip netns exec " + space +
              " python3 -c 'import socket,sys,time\n"
              "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM); "
              "s.bind((sys.argv[4],int(sys.argv[5])))\n"
              "m=bytes.fromhex(sys.argv[2])\n"
              "for i in range(int(sys.argv[3])):\n"
              "  s.sendto(m.replace(b\"@N@\",str(i).encode()),(sys.argv[1],int(sys.argv[6])))\n"
              "  time.sleep(int(sys.argv[7])/1000)' " +
              peer_ip + " " + hex + " " + std::to_string(count) + " \"" + from + "\" " +
              std::to_string(from_port) + " " + std::to_string(peer_port) + " " +
              std::to_string(pace_ms)) == 0;
}

// The message count times from port 5060 to the peer's 5060, likewise.
bool send_sip(const std::string &space, const std::string &peer_ip, const std::string &message,
              int count = 1, const std::string &from = "", int pace_ms = 5) {
    return send_numbered(space, from, 5060, peer_ip, 5060, message, count, pace_ms);
}

// A SIP message with an SDP body (and a CSeq header when one is given).
std::string sip(const std::string &start, const std::string &call_id, const std::string &ip,
                int port, const std::string &cseq = "") {
    const std::string sdp = "v=0\r\no=- 1 1 IN IP4 " + ip + "\r\ns=-\r\nc=IN IP4 " + ip +
                            "\r\nt=0 0\r\nm=audio " + std::to_string(port) + " RTP/AVP 0\r\n";
    return start + "\r\nVia: SIP/2.0/UDP " + ip + (cseq.empty() ? "" : "\r\nCSeq: " + cseq) +
           "\r\nCall-ID: " + call_id +
           "\r\nContent-Type: application/sdp\r\nContent-Length: " + std::to_string(sdp.size()) +
           "\r\n\r\n" + sdp;
}

// A Setup and a Connect announcing the H.245 address (none for null).
h323_test::Bytes h225_setup(const h323_test::Address *control) {
    return h323_test::q931(h323_test::kSetupType,
                           h323_test::user_information(h323_test::Uuie::kSetup, control));
}
h323_test::Bytes h225_connect(const h323_test::Address *control) {
    return h323_test::q931(h323_test::kConnectType,
                           h323_test::user_information(h323_test::Uuie::kConnect, control));
}

class system_h323 : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        if (!system_fixture::can_make_namespaces() || sh("curl --version") != 0)
            GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping and curl";
        bring_up();
    }
    // Two namespaces on ports 1 and 2 that reach each other, and Auto VoIP
    // switched on through the web page.
    void bring_up() {
        id = system_fixture::own_id();
        tap1 = "swha" + std::to_string(id);
        tap2 = "swhb" + std::to_string(id);
        ASSERT_TRUE(ns.make_free(
            "10.197.", id, {"swhnsa" + std::to_string(id), "swhnsb" + std::to_string(id)}, &net));
        // A fresh flash: the settings an earlier test of this program saved
        // (Auto VoIP on among them) do not carry over.
        std::filesystem::remove(std::filesystem::path(test_workdir::path()) / "flash.bin");
        sw = std::make_unique<Switch>(
            test_workdir::path(),
            std::vector<std::string>{"--board", std::to_string(GetParam()), "--tap", "1=" + tap1,
                                     "--tap", "2=" + tap2});
        ASSERT_TRUE(sw->run("", "DXP.0> "));
        ASSERT_TRUE(Netns::attach(tap1, ns.spaces[0], net + "1/24"));
        ASSERT_TRUE(Netns::attach(tap2, ns.spaces[1], net + "2/24"));
        bool reached = false;
        for (int i = 0; i < 10 && !reached; i++)
            reached = sh("ip netns exec " + ns.spaces[0] + " ping -c 1 -W 1 " + net + "2") == 0;
        ASSERT_TRUE(reached) << "no ping through the switch";

        web = "http://127.0.0.1:" + std::to_string(sw->port_offset() + 80);
        std::string login = sh_out("curl -s -i --max-time 5 -d 'username=admin&password=qivor' " +
                                   web + "/login.cgi");
        const std::string tag = "Set-Cookie: WebManaged=";
        size_t at = login.find(tag);
        ASSERT_NE(at, std::string::npos) << login;
        at += tag.size();
        cookie = login.substr(at, login.find_first_of(";\r", at) - at);
        voice_rules_before = voice_rules(*sw);
        post("/voip.cgi", "profiles=1");
        ASSERT_EQ(entries(*sw).size(), 8u) << "the signalling rules";
    }
    // The answer of a form posted in the administrator's session.
    std::string post(const std::string &path, const std::string &body) {
        return sh_out("curl -s --max-time 5 -b 'WebManaged=" + cookie + "' -d '" + body + "' " +
                      web + path);
    }
    // The entries that raise the priority, read until there are as many as
    // wanted (the copies reach the snoopers a little later).
    int voice_rules_when(int wanted) {
        return read_until([&] { return voice_rules(*sw); }, [&](int n) { return n == wanted; });
    }
    // After a flood from the first host: that host's calls hold their share
    // of the rows (on: the count with Auto VoIP on and no call), and a SIP
    // call started by the second host still gets its rules.
    void share_taken_and_another_call(int on) {
        EXPECT_EQ(voice_rules_when(on + kHostRows), on + kHostRows) << "four calls";
        ASSERT_TRUE(send_sip(ns.spaces[1], net + "1",
                             {sip("INVITE sip:a@" + net + "1 SIP/2.0", "real", net + "2", 22000)}));
        ASSERT_TRUE(
            send_sip(ns.spaces[0], net + "2", {sip("SIP/2.0 200 OK", "real", net + "1", 32000)}));
        EXPECT_EQ(voice_rules_when(on + kHostRows + 2), on + kHostRows + 2)
            << "the other host's call";
    }
    int id = 0;
    int voice_rules_before = 0;  // before Auto VoIP was on
    std::string web, cookie;
    std::string tap1, tap2, net;
    Netns ns;
    std::unique_ptr<Switch> sw;
};

TEST_P(system_h323, CallAfterJunkOpensAndClosesItsRules) {
    const std::string &ns_a = ns.spaces[0], &ns_b = ns.spaces[1];
    Switch &sw = *this->sw;
    Entries e;

    const uint8_t callee_host = 2, caller_host = 1;
    const uint8_t subnet = static_cast<uint8_t>(id % 250);
    const h323_test::Address control = {{10, 197, subnet, callee_host}, 5000};
    const h323_test::Address caller_media = {{10, 197, subnet, caller_host}, 20000};
    const h323_test::Address callee_media = {{10, 197, subnet, callee_host}, 30000};
    using h323_test::Uuie;

    // Junk on the signalling port takes no call record away from the call.
    ASSERT_TRUE(send_junk(ns_a, tap1, net + "2"));
    EXPECT_EQ(entries(sw).size(), 8u);

    Connection signalling;
    ASSERT_TRUE(call_answered(signalling, ns_a, ns_b, net + "2", control));
    e = entries_when(sw, {2, 0});
    EXPECT_EQ(count(e, 5), std::make_pair(2, 0)) << "the H.245 copy rules";

    Connection h245;
    ASSERT_TRUE(h245.open(ns_a, ns_b, net + "2", control.port));
    ASSERT_TRUE(pass(h245.caller, h245.callee, h323_test::tpkt(h323_test::h245_olc(caller_media))));
    ASSERT_TRUE(
        pass(h245.callee, h245.caller, h323_test::tpkt(h323_test::h245_olc_ack(callee_media))));
    e = entries_when(sw, {0, 2});
    EXPECT_EQ(count(e, 5), std::make_pair(0, 2)) << "the RTP rules in place of the H.245 rules";
    EXPECT_EQ(e.size(), 10u);

    ASSERT_TRUE(pass(signalling.caller, signalling.callee,
                     h323_test::q931(h323_test::kReleaseType,
                                     h323_test::user_information(Uuie::kReleaseComplete))));
    e = entries_when(sw, {0, 0});
    EXPECT_EQ(count(e, 5), std::make_pair(0, 0));
    EXPECT_EQ(e.size(), 8u) << "only the signalling rules";
}

// Calls nobody answers, 300 H.323 Setups with an H.245 address and 300 SIP
// INVITEs, take no field-processor row and log no failure: a later SIP call
// gets its voice rules and the monitor's DoS command still has its rows.
TEST_P(system_h323, UnansweredCallsLeaveRulesToOtherCallsAndFeatures) {
    const std::string &ns_a = ns.spaces[0];
    const uint8_t subnet = static_cast<uint8_t>(id % 250);
    const h323_test::Address control = {{10, 197, subnet, 2}, 5000};
    ASSERT_TRUE(send_segments(
        ns_a, tap1, net + "2",
        h323_test::q931(h323_test::kSetupType,
                        h323_test::user_information(h323_test::Uuie::kSetup, &control))));
    ASSERT_TRUE(send_sip(ns_a, net + "2",
                         sip("INVITE sip:b@" + net + "2 SIP/2.0", "offer@N@", net + "1", 20000),
                         300));
    // The console up to here, log lines included, once the copies are in.
    usleep(500 * 1000);
    std::string seen;
    ASSERT_TRUE(sw->run("echo burst-done", "burst-done\n", &seen));
    EXPECT_EQ(seen.find("[ERROR] AUTOVOIP"), std::string::npos) << seen;
    sw->output("echo the prompt after the mark is read");
    EXPECT_EQ(entries(*sw).size(), 8u) << "no rule for an unanswered call";

    // A SIP call: the offer and its answer.
    ASSERT_TRUE(send_sip(ns_a, net + "2",
                         {sip("INVITE sip:b@" + net + "2 SIP/2.0", "real", net + "1", 20000)}));
    ASSERT_TRUE(
        send_sip(ns.spaces[1], net + "1", {sip("SIP/2.0 200 OK", "real", net + "2", 30000)}));
    Entries e = entries_when(*sw, {0, 2});
    EXPECT_EQ(count(e, 5), std::make_pair(0, 2)) << "the SIP call's voice rules";

    // An H.323 call that is answered gets its H.245 copy rules.
    Connection signalling;
    ASSERT_TRUE(call_answered(signalling, ns_a, ns.spaces[1], net + "2", control));
    e = entries_when(*sw, {2, 2});
    EXPECT_EQ(count(e, 5), std::make_pair(2, 2)) << "the H.245 copy rules";

    const std::string dos = sw->output("dos fe0 enable 1");
    EXPECT_EQ(dos.find("FAIL"), std::string::npos) << dos;
    sw->output("dos fe0 enable 0");
}

// SCCP StartMediaTransmission segments from port 2000 of the namespace's
// host (forged: of 10.99.0.1 and on, four from each) to port 40000+i of a
// host nobody has, one per conference 1000+i with remote end
// 10.40.0.(2i+1):(30000+2i), raw from a packet socket: no handshake,
// nothing answers.
bool send_sccp_flood(const std::string &space, const std::string &tap, const std::string &src_ip,
                     const std::string &dst_ip, int count, bool forged = false) {
    // Addresses; IPv4 header; TCP header from port 2000; the Skinny message
    // {length 20, reserved, id 138, conference, party, remote, port}, its
    // words little-endian, filled in per segment.
    const std::string hex =
        "0200000000990200000000980800"
        "4500004400000000400600"
        "00" +
        system_fixture::hex_of_ip(src_ip) + system_fixture::hex_of_ip(dst_ip) +
        "07d0000000000001000000005018100000000000" +
        "14000000"
        "00000000"
        "8a000000" +
        std::string(32, '0');
    return sh("ip netns exec " + space +
              " python3 -c 'import socket,sys,time\n"
              "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
              "f=bytearray(bytes.fromhex(sys.argv[2]))\n"
              "for i in range(int(sys.argv[3])):\n"
              "  if sys.argv[4]==\"1\": f[26:30]=bytes([10,99,0,1+i//4])\n"
              "  f[36:38]=(40000+i).to_bytes(2,\"big\")\n"
              "  f[66:70]=(1000+i).to_bytes(4,\"little\"); f[70:74]=(1).to_bytes(4,\"little\")\n"
              "  f[74:78]=bytes([10,40,0,2*i+1]); f[78:82]=(30000+2*i).to_bytes(4,\"little\")\n"
              "  s.send(bytes(f)); time.sleep(0.005)' " +
              tap + " " + hex + " " + std::to_string(count) + (forged ? " 1" : " 0")) == 0;
}

// One host's flood of SCCP media starts takes only its share of the call
// rows: a SIP call from the other host still gets its rules, and Auto VoIP
// switched off on the page takes every call's rules away.
TEST_P(system_h323, SccpFloodTakesOneHostsShareAndOffEndsEveryCall) {
    const int on = voice_rules_before + 8;
    ASSERT_TRUE(send_sccp_flood(ns.spaces[0], tap1, net + "1", net + "200", 40));
    share_taken_and_another_call(on);

    post("/voip.cgi", "profiles=0");
    EXPECT_EQ(voice_rules_when(voice_rules_before), voice_rules_before);
}

// Forged INVITE and 200 OK pairs from one host likewise; the factory
// defaults, which switch Auto VoIP off, take every call's rules away.
TEST_P(system_h323, SipFloodTakesOneHostsShareAndFactoryResetEndsEveryCall) {
    const std::string &ns_a = ns.spaces[0];
    const int on = voice_rules_before + 8;
    const std::string invite = "INVITE sip:b@" + net + "2 SIP/2.0";
    ASSERT_TRUE(send_sip(ns_a, net + "2", sip(invite, "flood@N@", net + "1", 20000), 24));
    ASSERT_TRUE(send_sip(ns_a, net + "2", sip("SIP/2.0 200 OK", "flood@N@", net + "2", 30000), 24));
    share_taken_and_another_call(on);

    EXPECT_FALSE(post("/restored.cgi", "factory=2").empty());
    // The reset runs a second or two after the answer.
    EXPECT_EQ(voice_rules_when(voice_rules_before), voice_rules_before);
}

// The little-endian words of a Skinny message: its length from the id on,
// the reserved word, the id and the data.
h323_test::Bytes skinny(uint32_t id, const std::vector<uint32_t> &data) {
    h323_test::Bytes b;
    auto word = [&b](uint32_t v) {
        for (int i = 0; i < 4; i++)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    word(static_cast<uint32_t>(4 + 4 * data.size()));
    word(0);
    word(id);
    for (uint32_t v : data)
        word(v);
    return b;
}

// An address as StartMediaTransmission carries it: its bytes in wire order.
uint32_t wire_ip(const std::string &ip) {
    in_addr a{};
    inet_pton(AF_INET, ip.c_str(), &a);
    return a.s_addr;
}

// A network of one call server on port 1 (its namespace holds the SCCP call
// manager and the SIP PBX) and phones on ports 2 to 4, two on each port.
class system_voip_network : public testing::TestWithParam<int> {
  protected:
    static constexpr int kPorts = 4;
    void SetUp() override {
        if (!system_fixture::can_make_namespaces() || sh("curl --version") != 0)
            GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping and curl";
        bring_up();
    }
    void start() {
        sw.reset();
        std::vector<std::string> args = {"--board", std::to_string(GetParam())};
        for (int p = 0; p < kPorts; p++) {
            args.push_back("--tap");
            args.push_back(std::to_string(p + 1) + "=" + taps[p]);
        }
        sw = std::make_unique<Switch>(test_workdir::path(), args);
        ASSERT_TRUE(sw->run("", "DXP.0> ", &started, 60));
        for (int p = 0; p < kPorts; p++) {
            ASSERT_TRUE(Netns::attach(taps[p], ns.spaces[p], host(p) + "/24"));
            for (int k = 0; k < 2 && p > 0; k++)
                ASSERT_EQ(sh("ip -n " + ns.spaces[p] + " addr add " + phone(2 * (p - 1) + k) +
                             "/24 dev " + taps[p]),
                          0);
        }
        bool reached = false;
        for (int i = 0; i < 10 && !reached; i++)
            reached = sh("ip netns exec " + ns.spaces[0] + " ping -c 1 -W 1 " + host(3)) == 0;
        ASSERT_TRUE(reached) << "no ping through the switch";
        web = "http://127.0.0.1:" + std::to_string(sw->port_offset() + 80);
        std::string login = sh_out("curl -s -i --max-time 5 -d 'username=admin&password=qivor' " +
                                   web + "/login.cgi");
        const std::string tag = "Set-Cookie: WebManaged=";
        size_t at = login.find(tag);
        ASSERT_NE(at, std::string::npos) << login;
        at += tag.size();
        cookie = login.substr(at, login.find_first_of(";\r", at) - at);
    }
    void bring_up() {
        id = static_cast<int>(getpid() % 10000);
        std::vector<std::string> names;
        for (int p = 0; p < kPorts; p++) {
            const std::string letter(1, static_cast<char>('a' + p));
            taps.push_back("swv" + letter + std::to_string(id));
            names.push_back("swvns" + letter + std::to_string(id));
        }
        ASSERT_TRUE(ns.make_free("10.197.", id + 97, names, &net));
        std::filesystem::remove(std::filesystem::path(test_workdir::path()) / "flash.bin");
        start();
        if (HasFatalFailure()) return;
        ASSERT_EQ(post("/voip.cgi", "profiles=1").find("Retry"), std::string::npos);
    }
    // The namespace's own address: the server's .50, a phone port's .(p+1).
    std::string host(int p) const { return net + (p == 0 ? "50" : std::to_string(p + 1)); }
    // Phone i (0..5), on port 2 + i / 2.
    std::string phone(int i) const { return net + std::to_string(110 + i); }
    const std::string &phone_space(int i) const { return ns.spaces[1 + i / 2]; }
    std::string post(const std::string &path, const std::string &body) {
        return sh_out("curl -s --max-time 10 -b 'WebManaged=" + cookie + "' -d '" + body + "' " +
                      web + path);
    }
    std::string get(const std::string &path) {
        return sh_out("curl -s --max-time 10 -b 'WebManaged=" + cookie + "' '" + web + path + "'");
    }
    int voice_rules_when(int wanted) {
        return read_until([&] { return voice_rules(*sw); }, [&](int n) { return n == wanted; });
    }
    // The hits of every field-processor counter of the first 300 entries.
    uint64_t hits() {
        std::vector<std::string> ids;
        for (int e = 1; e <= 300; e++)
            ids.push_back(std::to_string(e) + " 0");
        const std::string out = system_fixture::each_of(*sw, "fp counter get", ids);
        uint64_t sum = 0;
        for (size_t at = out.find("val="); at != std::string::npos; at = out.find("val=", at + 4))
            sum += std::stoull(out.substr(at + 4));
        return sum;
    }
    // A SIP call from host a (port a + 1) to host b, each answering for itself.
    void call(int a, int b, const std::string &call_id, int media_a, int media_b) {
        ASSERT_TRUE(send_sip(ns.spaces[a], host(b),
                             sip("INVITE sip:b@" + host(b) + " SIP/2.0", call_id, host(a), media_a),
                             1, host(a)));
        ASSERT_TRUE(send_sip(ns.spaces[b], host(a),
                             sip("SIP/2.0 200 OK", call_id, host(b), media_b), 1, host(b)));
    }
    // Five voice frames each way between hosts a and b: how many hit a rule.
    uint64_t voice_hits(int a, int b, int media_a, int media_b) {
        const std::string rtp =
            " python3 -c 'import socket,sys,time\n"
            "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
            "s.bind((sys.argv[1],int(sys.argv[2])))\n"
            "for i in range(5):\n"
            "  s.sendto(b\"voice\",(sys.argv[3],int(sys.argv[4])))\n"
            "  time.sleep(0.01)' ";
        const uint64_t before = hits();
        sh("ip netns exec " + ns.spaces[a] + rtp + host(a) + " " + std::to_string(media_a) + " " +
           host(b) + " " + std::to_string(media_b));
        sh("ip netns exec " + ns.spaces[b] + rtp + host(b) + " " + std::to_string(media_b) + " " +
           host(a) + " " + std::to_string(media_a));
        // Counted as the switch forwards them, which a busy host may do
        // after the senders ended: read until all came or the count stood
        // still between two reads.
        uint64_t now = hits(), last = UINT64_MAX;
        while (now - before < 10 && now != last) {
            last = now;
            now = hits();
        }
        return now - before;
    }
    // All ten of the call between hosts a and b hit its rules: the rules are
    // there and no other rule takes the frames first. Tried again while the
    // call's rules are on their way.
    bool voice_frames_hit(int a, int b, int media_a, int media_b) {
        return read_until([&] { return voice_hits(a, b, media_a, media_b); },
                          [](uint64_t hit) { return hit == 10; }) == 10;
    }
    // The six phones' TCP connections to the call manager on port 1 (the
    // phone's end as caller, the manager's as callee).
    void phones_connected(std::vector<std::unique_ptr<Connection>> *phones) {
        const int listener = socket_in(ns.spaces[0]);
        int one = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in manager = address(host(0), 2000);
        ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&manager), sizeof manager), 0);
        ASSERT_EQ(listen(listener, 8), 0);
        for (int i = 0; i < 6; i++) {
            auto c = std::make_unique<Connection>();
            c->caller = socket_in(phone_space(i));
            sockaddr_in self = address(phone(i), 0);
            ASSERT_EQ(bind(c->caller, reinterpret_cast<sockaddr *>(&self), sizeof self), 0);
            ASSERT_EQ(connect(c->caller, reinterpret_cast<sockaddr *>(&manager), sizeof manager),
                      0);
            c->callee = accept(listener, nullptr, nullptr);
            ASSERT_GE(c->callee, 0);
            phones->push_back(std::move(c));
        }
        close(listener);
    }
    // The manager tells each phone to start its media towards the other
    // phone of its pair, conference first + i.
    void media_started(const std::vector<std::unique_ptr<Connection>> &phones, uint32_t first) {
        for (int i = 0; i < 6; i++)
            ASSERT_TRUE(
                pass(phones[i]->callee, phones[i]->caller,
                     skinny(138, {first + static_cast<uint32_t>(i), 1, wire_ip(phone(i ^ 1)),
                                  static_cast<uint32_t>(20000 + 2 * (i ^ 1))})));
    }
    // On the H.245 connection of a call from host 2 (port 3) to host 3
    // (port 4): OpenLogicalChannel and its Ack name both media ends.
    void h245_media_opened(Connection *h245, uint16_t control_port, uint16_t caller_media,
                           uint16_t callee_media);
    int id = 0;
    std::string web, cookie, net, started;
    std::vector<std::string> taps;
    Netns ns;
    std::unique_ptr<Switch> sw;
};

// Six SCCP calls through one call manager and six SIP calls through one PBX
// on port 1 all get their rules, each charged to its phone's port; a port
// forging call managers takes only its share, and a call between two other
// ports still gets its rules.
TEST_P(system_voip_network, CallsThroughOneServerAndAForgingPort) {
    const int on = voice_rules(*sw);

    // The phones keep TCP connections to the call manager, which tells each
    // to start its media towards the other phone of its conference.
    std::vector<std::unique_ptr<Connection>> phones;
    phones_connected(&phones);
    if (HasFatalFailure()) return;
    media_started(phones, 1);
    if (HasFatalFailure()) return;
    EXPECT_EQ(voice_rules_when(on + 12), on + 12) << "six SCCP calls";
    for (int i = 0; i < 6; i++)
        ASSERT_TRUE(pass(phones[i]->callee, phones[i]->caller,
                         skinny(139, {static_cast<uint32_t>(1 + i), 1})));
    EXPECT_EQ(voice_rules_when(on), on) << "every conference stopped";

    // The PBX calls each phone, which answers for itself.
    for (int i = 0; i < 6; i++) {
        const std::string call_id = "pbx" + std::to_string(i);
        ASSERT_TRUE(
            send_sip(ns.spaces[0], phone(i),
                     sip("INVITE sip:p@" + phone(i) + " SIP/2.0", call_id, host(0), 40000 + 2 * i),
                     1, host(0)));
        ASSERT_TRUE(send_sip(phone_space(i), host(0),
                             sip("SIP/2.0 200 OK", call_id, phone(i), 30000), 1, phone(i)));
    }
    EXPECT_EQ(voice_rules_when(on + 12), on + 12) << "six SIP calls";

    // Forged call managers on port 1: four conferences from each of twelve
    // addresses, no handshake. The port's share, and no more.
    ASSERT_TRUE(send_sccp_flood(ns.spaces[0], taps[0], host(0), net + "200", 48, true));
    EXPECT_EQ(voice_rules_when(on + 12 + kHostRows), on + 12 + kHostRows) << "port 1's share";
    call(2, 3, "across", 24000, 34000);
    EXPECT_EQ(voice_rules_when(on + 14 + kHostRows), on + 14 + kHostRows)
        << "a call between ports 3 and 4";
    EXPECT_TRUE(voice_frames_hit(2, 3, 24000, 34000));
}

// Every QoS mode switched on after Auto VoIP and before it, and both stored
// over a restart: a call's voice frames hit its rules, which rank above the
// QoS rules whatever was switched on or loaded first. Then, with the free
// rows taken from the monitor, a per-port DoS post that does not fit is
// refused naming the check, and the page, the rules and the backup stay.
TEST_P(system_voip_network, CallsGetPriorityWithEveryQosModeAndARefusedDosPostChangesNothing) {
    ASSERT_EQ(post("/qos_enhance_ip_add.cgi", "ip=" + net + "0&mask=255.255.255.0&priority=3")
                  .find("Retry"),
              std::string::npos);
    int media = 24000;
    call(2, 3, "first", media, media + 10000);
    EXPECT_TRUE(voice_frames_hit(2, 3, media, media + 10000)) << "QoS off";
    for (int mode : {2, 3, 4, 1}) {
        const std::string answer = post("/qos_enhance_mode.cgi", "mode=" + std::to_string(mode));
        ASSERT_EQ(answer.find("Retry"), std::string::npos) << answer;
        EXPECT_TRUE(voice_frames_hit(2, 3, media, media + 10000))
            << "QoS mode " << mode << " switched on after Auto VoIP";
        ASSERT_EQ(post("/voip.cgi", "profiles=0").find("Retry"), std::string::npos);
        ASSERT_EQ(post("/voip.cgi", "profiles=1").find("Retry"), std::string::npos);
        media += 100;
        call(2, 3, "mode" + std::to_string(mode), media, media + 10000);
        EXPECT_TRUE(voice_frames_hit(2, 3, media, media + 10000))
            << "QoS mode " << mode << " switched on before Auto VoIP";
    }
    // Both stored, port-based QoS with them: its rules are loaded first.
    ASSERT_TRUE(sw->run("EXIT", "Resetting"));
    start();
    if (HasFatalFailure()) return;
    media += 100;
    call(2, 3, "restarted", media, media + 10000);
    EXPECT_TRUE(voice_frames_hit(2, 3, media, media + 10000)) << "after a restart";

    // Smurf protection on port 3, then every free row but two taken.
    ASSERT_EQ(post("/dos_perport.cgi", "port=3&checks=100&ping_rate=64&syn_rate=64").find("Retry"),
              std::string::npos);
    std::string seen;
    ASSERT_TRUE(sw->run("fp group create -1 90", "DXP.0> ", &seen));
    int entry = 900;
    for (; entry < 1100; entry++) {
        ASSERT_TRUE(sw->run("fp entry create 90 " + std::to_string(entry), "DXP.0> ", &seen));
        if (seen.find("okay") == std::string::npos) break;
    }
    ASSERT_GT(entry, 902);
    sw->output("fp entry destroy " + std::to_string(entry - 1));
    sw->output("fp entry destroy " + std::to_string(entry - 2));
    auto stored = [&] {
        std::istringstream in(get("/dxpqsw.cfg"));
        std::string text;
        for (std::string line; std::getline(in, line);)
            if (!line.starts_with("password=") && !line.starts_with("#end")) text += line + "\n";
        return text;
    };
    const std::string page = post("/dos_showperport.cgi", "port=3"), backup = stored();
    ASSERT_NE(page.find("checked"), std::string::npos) << page;
    // Smurf off and both floods on: the floods' rules do not fit.
    const std::string answer =
        post("/dos_perport.cgi", "port=3&checks=011&ping_rate=64&syn_rate=64");
    EXPECT_NE(answer.find("No resources for operation: the "), std::string::npos) << answer;
    EXPECT_NE(answer.find("check does not fit"), std::string::npos) << answer;
    EXPECT_EQ(post("/dos_showperport.cgi", "port=3"), page) << "the page changed";
    EXPECT_EQ(stored(), backup) << "the stored settings changed";
    // The two free rows are still free, and then none is.
    for (int e = entry - 2; e < entry; e++)
        EXPECT_NE(sw->output("fp entry create 90 " + std::to_string(e)).find("okay"),
                  std::string::npos);
    EXPECT_EQ(sw->output("fp entry create 90 1500").find("okay"), std::string::npos);
}

// The queues the entries that raise the priority give, in entry order.
std::vector<int> voice_queues(Switch &sw) {
    std::vector<std::string> ids;
    for (int id = 1; id <= 300; id++)
        ids.push_back(std::to_string(id) + " PrioIntNew");
    const std::string out = system_fixture::each_of(sw, "FieldProcessor action get", ids);
    std::vector<int> queues;
    const std::string tag = "action=PrioIntNew, p0=";
    for (size_t at = out.find(tag); at != std::string::npos; at = out.find(tag, at + 1))
        queues.push_back(std::stoi(out.substr(at + tag.size())));
    return queues;
}

// A live call keeps its priority: when the QoS page maps the priorities to
// other queues, its voice rules and the signalling rules take the new queue
// of priority 7, as a call set up afterwards does, and its voice frames
// still hit them; so they do after a re-INVITE its caller cancels.
TEST_P(system_voip_network, LiveCallsKeepTheirPriority) {
    call(2, 3, "live", 24000, 34000);
    EXPECT_TRUE(voice_frames_hit(2, 3, 24000, 34000));
    const std::vector<int> before = voice_queues(*sw);
    ASSERT_EQ(before.size(), 10u) << "the signalling rules and the call's";
    EXPECT_EQ(std::count(before.begin(), before.end(), 3), 10) << "priority 7's queue";

    for (const int queue : {1, 2}) {
        const std::string p7 = std::to_string(queue);
        const std::string answer =
            post("/qos.cgi", "mode=1&p0=0&p1=0&p2=0&p3=0&p4=0&p5=3&p6=3&p7=" + p7);
        ASSERT_EQ(answer.find("Retry"), std::string::npos) << answer;
        const std::vector<int> now = voice_queues(*sw);
        EXPECT_EQ(now.size(), 10u);
        EXPECT_EQ(std::count(now.begin(), now.end(), queue), 10) << "the live call's rules";
        EXPECT_TRUE(voice_frames_hit(2, 3, 24000, 34000)) << "queue " << queue;
    }
    const std::string callee = "sip:b@" + host(3) + " SIP/2.0";
    ASSERT_TRUE(send_sip(ns.spaces[2], host(3), sip("INVITE " + callee, "live", host(2), 24000), 1,
                         host(2)));
    ASSERT_TRUE(send_sip(ns.spaces[2], host(3), sip("CANCEL " + callee, "live", host(2), 24000), 1,
                         host(2)));
    ASSERT_TRUE(send_sip(ns.spaces[3], host(2),
                         sip("SIP/2.0 487 Request Terminated", "live", host(3), 34000), 1,
                         host(3)));
    EXPECT_TRUE(voice_frames_hit(2, 3, 24000, 34000)) << "after a cancelled re-INVITE";
    call(3, 2, "after", 25000, 35000);
    EXPECT_EQ(voice_rules_when(12), 12);
    const std::vector<int> all = voice_queues(*sw);
    EXPECT_EQ(std::count(all.begin(), all.end(), 2), 12) << "a new call's rules likewise";
}

// The port a connected socket has on its own side; 0 when unknown.
uint16_t local_port(int socket) {
    sockaddr_in self{};
    socklen_t size = sizeof self;
    if (getsockname(socket, reinterpret_cast<sockaddr *>(&self), &size) != 0) return 0;
    return ntohs(self.sin_port);
}

// From the call manager's port, raw: `made_up` empty segments to port 2000
// of made-up phones (10.77.x.y), which fill the switch's table of phone
// connections, then four StartMediaTransmissions forged as the manager's to
// the phone's connection (conference 900 and on) at a guessed sequence
// number. Paced, so that the CPU takes a copy of each.
bool send_sccp_forgeries(const std::string &space, const std::string &tap,
                         const std::string &manager, const std::string &phone, uint16_t phone_port,
                         int made_up) {
    return sh("ip netns exec " + space +
              " python3 -c 'import socket,struct,sys,time\n"
              "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
              "mgr=socket.inet_aton(sys.argv[2]); ph=socket.inet_aton(sys.argv[3])\n"
              "def seg(src,dst,sport,dport,seq,data):\n"
              "  ip=struct.pack(\"!BBHHHBBH4s4s\",69,0,40+len(data),0,0,64,6,0,src,dst)\n"
              "  tcp=struct.pack(\"!HHIIBBHHH\",sport,dport,seq,1,80,24,4096,0,0)\n"
              "  s.send(bytes.fromhex(\"020000000099020000000098\")+b\"\\x08\\x00\"+ip+tcp+data)\n"
              "for i in range(int(sys.argv[5])):\n"
              "  seg(bytes([10,77,i>>8,i&255]),mgr,30000+i,2000,1,b\"\"); time.sleep(0.002)\n"
              "time.sleep(0.5)\n"
              "for k in range(4):\n"
              "  seg(mgr,ph,2000,int(sys.argv[4]),7+k,struct.pack(\"<7I\",20,0,138,900+k,1,"
              "int.from_bytes(bytes([10,9,9,1+k]),\"little\"),50000+2*k))' " +
              tap + " " + manager + " " + phone + " " + std::to_string(phone_port) + " " +
              std::to_string(made_up)) == 0;
}

// A host on the call manager's port that makes up 600 phone connections and
// forges the manager's orders to a phone on port 2 takes that port's share
// only: the table of phone connections keeps the real phones, the forged
// orders are charged to the port they came in on, and the manager's six
// real calls are each charged to its phone's port and get their rules.
TEST_P(system_voip_network, ForgedOrdersAndMadeUpPhonesTakeOnlyTheirOwnPort) {
    const int on = voice_rules(*sw);
    std::vector<std::unique_ptr<Connection>> phones;
    phones_connected(&phones);
    if (HasFatalFailure()) return;
    const uint16_t phone_port = local_port(phones[0]->caller);
    ASSERT_NE(phone_port, 0);
    ASSERT_TRUE(send_sccp_forgeries(ns.spaces[0], taps[0], host(0), phone(0), phone_port, 600));
    EXPECT_EQ(voice_rules_when(on + kHostRows), on + kHostRows) << "port 1's share";
    media_started(phones, 1);
    if (HasFatalFailure()) return;
    EXPECT_EQ(voice_rules_when(on + kHostRows + 12), on + kHostRows + 12)
        << "six calls on the phones' ports";
}

// SIP calls between ports 3 and 4 whose phones spell the Call-ID header
// another way (another case, or its compact form "i", with Content-Type's
// "c") get their rules as one spelt "Call-ID" does.
TEST_P(system_voip_network, SipCallIdInEverySpellingGetsRules) {
    const int on = voice_rules(*sw);
    int media = 24000;
    for (const std::string name : {"Call-Id", "call-id", "CALL-ID", "i"}) {
        auto spelt = [&](std::string msg) {
            msg.replace(msg.find("Call-ID:"), 7, name);
            if (name == "i") msg.replace(msg.find("Content-Type:"), 12, "c");
            return msg;
        };
        const std::string id = "spelt-" + name;
        ASSERT_TRUE(send_sip(ns.spaces[2], host(3),
                             spelt(sip("INVITE sip:b@" + host(3) + " SIP/2.0", id, host(2), media)),
                             1, host(2)));
        ASSERT_TRUE(send_sip(ns.spaces[3], host(2),
                             spelt(sip("SIP/2.0 200 OK", id, host(3), media + 10000)), 1, host(3)));
        media += 100;
    }
    EXPECT_EQ(voice_rules_when(on + 8), on + 8) << "four calls";
}

// UDP datagrams from the namespace's address and port to a peer, one per
// message, paced so that the CPU takes a copy of each.
bool send_udp(const std::string &space, const std::string &from, int from_port,
              const std::string &to, int to_port, const std::vector<std::string> &messages) {
    std::string hex;
    for (const std::string &m : messages)
        hex += " " + hex_of_bytes(m);
    return sh("ip netns exec " + space +
              " python3 -c 'import socket,sys,time\n"
              "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
              "s.bind((sys.argv[1],int(sys.argv[2])))\n"
              "for m in sys.argv[5:]:\n"
              "  s.sendto(bytes.fromhex(m),(sys.argv[3],int(sys.argv[4]))); time.sleep(0.01)' " +
              from + " " + std::to_string(from_port) + " " + to + " " + std::to_string(to_port) +
              hex) == 0;
}

// A call agent on port 2 opens six connections on a trunk gateway on port 1
// whose answers place the lines' media on phones on port 3: every
// connection gets its rules, more than one port's share.
TEST_P(system_voip_network, SixMgcpConnectionsThroughOneGatewayAllGetRules) {
    const int on = voice_rules(*sw);
    for (int n = 1; n <= 6; n++) {
        const std::string t = std::to_string(n), line = phone(2 + n % 2);
        const std::string sdp = "v=0\r\no=- 1 1 IN IP4 " + line + "\r\ns=-\r\nc=IN IP4 " + line +
                                "\r\nt=0 0\r\nm=audio " + std::to_string(40000 + 2 * n) +
                                " RTP/AVP 0\r\n";
        ASSERT_TRUE(send_udp(ns.spaces[1], host(1), 2727, host(0), 2427,
                             {"CRCX " + t + " ds/ds1-1/" + t + "@gw MGCP 1.0\r\nC: call" + t +
                              "\r\nM: sendrecv\r\n"}));
        ASSERT_TRUE(send_udp(ns.spaces[0], host(0), 2427, host(1), 2727,
                             {"200 " + t + " OK\r\nI: conn" + t + "\r\n\r\n" + sdp}));
    }
    EXPECT_EQ(voice_rules_when(on + 12), on + 12) << "six connections";
}

// Skinny orders ("id:conference" each) forged as the call manager's to the
// phone's connection from another port, raw, at a sequence number far from
// the manager's stream; paced, so that the CPU takes a copy of each.
bool send_forged_orders(const std::string &space, const std::string &tap,
                        const std::string &manager, const std::string &phone, uint16_t phone_port,
                        const std::string &orders) {
    return sh("ip netns exec " + space +
              " python3 -c 'import socket,struct,sys,time\n"
              "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
              "mgr=socket.inet_aton(sys.argv[2]); ph=socket.inet_aton(sys.argv[3])\n"
              "for o in sys.argv[5:]:\n"
              "  i,c=(int(x) for x in o.split(\":\"))\n"
              "  data=struct.pack(\"<7I\",20,0,i,c,1,int.from_bytes(bytes([10,9,9,1]),"
              "\"little\"),50000) if i==138 else struct.pack(\"<5I\",12,0,i,c,1)\n"
              "  ip=struct.pack(\"!BBHHHBBH4s4s\",69,0,40+len(data),0,0,64,6,0,mgr,ph)\n"
              "  "
              "tcp=struct.pack(\"!HHIIBBHHH\",2000,int(sys.argv[4]),0x40000000,1,80,24,4096,0,0)\n"
              "  s.send(bytes.fromhex(\"020000000099020000000098\")+b\"\\x08\\x00\"+ip+tcp+data)\n"
              "  time.sleep(0.005)' " +
              tap + " " + manager + " " + phone + " " + std::to_string(phone_port) + " " +
              orders) == 0;
}

// A host on port 4 forging the manager's orders to a phone on port 2 can
// neither end the calls of other ports (StopMediaTransmission,
// CloseReceiveChannel) nor, by starting a conference id the manager has not
// used yet, keep the real call on that id from its rules; what it starts
// counts for its own port and ends with its own stop.
TEST_P(system_voip_network, ForgedStopsAndStartsFromAnotherPortChangeNoCall) {
    const int on = voice_rules(*sw);
    std::vector<std::unique_ptr<Connection>> phones;
    phones_connected(&phones);
    if (HasFatalFailure()) return;
    const uint16_t phone_port = local_port(phones[0]->caller);
    ASSERT_NE(phone_port, 0);
    ASSERT_TRUE(send_forged_orders(ns.spaces[3], taps[3], host(0), phone(0), phone_port, "138:6"));
    EXPECT_EQ(voice_rules_when(on + 2), on + 2) << "the forger's own session";
    media_started(phones, 1);
    if (HasFatalFailure()) return;
    EXPECT_EQ(voice_rules_when(on + 14), on + 14) << "six calls, conference 6 too";
    // Stops for three calls of other ports, then the forger's own stop: once
    // that one took its rules, the others were seen as well.
    ASSERT_TRUE(send_forged_orders(ns.spaces[3], taps[3], host(0), phone(0), phone_port,
                                   "139:1 262:2 139:3 262:6 139:6"));
    EXPECT_EQ(voice_rules_when(on + 12), on + 12) << "only the forger's session ended";
    for (int i = 0; i < 6; i++)
        ASSERT_TRUE(pass(phones[i]->callee, phones[i]->caller,
                         skinny(i % 2 ? 0x106 : 139, {static_cast<uint32_t>(1 + i), 1})));
    EXPECT_EQ(voice_rules_when(on), on) << "the manager's own stops end every call";
}

// A call agent on port 2 opens three connections on a gateway on port 1,
// and phones on ports 3 and 4 make a SIP call. A host on port 4 that takes
// the agent's address as a second one sends DLCXs for two of the
// connections and a CRCX on a call id the agent uses next; a host on port 2
// that is no party to the SIP call sends a BYE with its Call-ID. No call
// loses its rules, and the agent's real connection on that call id gets
// its own. The parties' own orders then end every call.
TEST_P(system_voip_network, ForgedMgcpOrdersAndANonPartysByeChangeNoCall) {
    const int on = voice_rules(*sw);
    auto mgcp = [&](int space, const std::string &verb, int t, int call) {
        const std::string n = std::to_string(t), c = std::to_string(call);
        std::string msg =
            verb + " " + n + " ds/ds1-1/" + c + "@gw MGCP 1.0\r\nC: call" + c + "\r\n";
        if (verb == "CRCX")
            msg += "M: sendrecv\r\n\r\nv=0\r\nc=IN IP4 " + host(1) + "\r\nm=audio " +
                   std::to_string(50000 + 2 * call) + " RTP/AVP 0\r\n";
        return send_udp(ns.spaces[space], host(1), 2727, host(0), 2427, {msg});
    };
    auto answered = [&](int t) {
        const std::string n = std::to_string(t);
        return send_udp(ns.spaces[0], host(0), 2427, host(1), 2727,
                        {"200 " + n + " OK\r\nI: conn" + n + "\r\n\r\nv=0\r\nc=IN IP4 " + host(0) +
                         "\r\nm=audio " + std::to_string(40000 + 2 * t) + " RTP/AVP 0\r\n"});
    };
    for (int n = 1; n <= 3; n++) {
        ASSERT_TRUE(mgcp(1, "CRCX", n, n));
        ASSERT_TRUE(answered(n));
    }
    EXPECT_EQ(voice_rules_when(on + 6), on + 6) << "three connections";
    call(2, 3, "party", 24000, 34000);
    EXPECT_EQ(voice_rules_when(on + 8), on + 8) << "the SIP call";

    ASSERT_EQ(sh("ip -n " + ns.spaces[3] + " addr add " + host(1) + "/24 dev " + taps[3]), 0);
    ASSERT_TRUE(mgcp(3, "DLCX", 901, 1));
    ASSERT_TRUE(mgcp(3, "DLCX", 902, 2));
    ASSERT_TRUE(mgcp(3, "CRCX", 950, 7));
    ASSERT_TRUE(send_sip(ns.spaces[1], host(3),
                         sip("BYE sip:b@" + host(3) + " SIP/2.0", "party", host(1), 26000), 1,
                         host(1)));
    // Sent after the forgeries, so handled after them.
    ASSERT_TRUE(mgcp(1, "CRCX", 7, 7));
    ASSERT_TRUE(answered(7));
    EXPECT_EQ(voice_rules_when(on + 10), on + 10) << "every call, and the agent's fourth";
    EXPECT_TRUE(voice_frames_hit(2, 3, 24000, 34000)) << "the SIP call's voice";

    for (int call_id : {1, 2, 3, 7})
        ASSERT_TRUE(mgcp(1, "DLCX", 100 + call_id, call_id));
    ASSERT_TRUE(send_sip(ns.spaces[3], host(2),
                         sip("BYE sip:a@" + host(2) + " SIP/2.0", "party", host(3), 34000), 1,
                         host(3)));
    EXPECT_EQ(voice_rules_when(on), on) << "the parties' own orders end every call";
}

// A TCP segment with data (flags PSH ACK), or without (FIN or RST).
struct TcpSegment {
    std::string src;
    uint16_t src_port;
    std::string dst;
    uint16_t dst_port;
    int flags;
    h323_test::Bytes payload;
};

constexpr int kPshAck = 0x18, kFinAck = 0x11, kRstAck = 0x14;

// The segments, raw from a packet socket, at a sequence number far from
// the connection's; paced, so that the CPU takes a copy of each. The
// destination MAC is no host's: only the switch reads them.
bool send_tcp_forgeries(const std::string &space, const std::string &tap,
                        const std::vector<TcpSegment> &segments) {
    std::string args;
    for (const TcpSegment &t : segments)
        args += " " + t.src + ":" + std::to_string(t.src_port) + ":" + t.dst + ":" +
                std::to_string(t.dst_port) + ":" + std::to_string(t.flags) + ":" +
                hex_of_bytes(t.payload);
    return sh("ip netns exec " + space +
              " python3 -c 'import socket,struct,sys,time\n"
              "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
              "for a in sys.argv[2:]:\n"
              "  src,sp,dst,dp,fl,data=a.split(\":\"); data=bytes.fromhex(data)\n"
              "  ip=struct.pack(\"!BBHHHBBH4s4s\",69,0,40+len(data),0,0,64,6,0,"
              "socket.inet_aton(src),socket.inet_aton(dst))\n"
              "  tcp=struct.pack(\"!HHIIBBHHH\",int(sp),int(dp),0x40000000,1,80,int(fl),4096,0,0)\n"
              "  s.send(bytes.fromhex(\"020000000099020000000098\")+b\"\\x08\\x00\"+ip+tcp+data)\n"
              "  time.sleep(0.01)' " +
              tap + args) == 0;
}

// An address as the H.323 messages carry it.
h323_test::Address h323_address(const std::string &ip, uint16_t port) {
    h323_test::Address a{{}, port};
    inet_pton(AF_INET, ip.c_str(), a.ip);
    return a;
}

void system_voip_network::h245_media_opened(Connection *h245, uint16_t control_port,
                                            uint16_t caller_media, uint16_t callee_media) {
    ASSERT_TRUE(h245->open(ns.spaces[2], ns.spaces[3], host(3), control_port));
    ASSERT_TRUE(pass(h245->caller, h245->callee,
                     h323_test::tpkt(h323_test::h245_olc(h323_address(host(2), caller_media)))));
    ASSERT_TRUE(
        pass(h245->callee, h245->caller,
             h323_test::tpkt(h323_test::h245_olc_ack(h323_address(host(3), callee_media)))));
}

// H.323 calls from a caller on port 3 to a callee on port 4. A host on
// port 2 forges, on the signalling connection of a call that has its voice
// rules, both parties' ReleaseCompletes, FINs and RSTs; the Setup of the
// next call before its caller sends it; and, on the third, to an address of
// the callee's host that never answered, those ends and then an answer
// before its callee's. Every call gets its rules and keeps them, its voice
// frames hit them, and the parties' own ReleaseCompletes end them, the
// caller's also the call the forged Setup made, the callee's what the
// forged answer made.
TEST_P(system_voip_network, ForgedH323OrdersFromAnotherPortChangeNoCall) {
    using h323_test::Uuie;
    const int on = voice_rules(*sw);
    const std::string caller = host(2), callee = host(3);
    struct Call {
        Connection signalling, h245;
        h323_test::Address control;
        uint16_t caller_media, callee_media;
    } calls[3];
    for (int n = 0; n < 3; n++) {
        calls[n].control = h323_address(callee, static_cast<uint16_t>(5000 + n));
        calls[n].caller_media = static_cast<uint16_t>(24000 + 100 * n);
        calls[n].callee_media = static_cast<uint16_t>(34000 + 100 * n);
    }
    auto setup = [](const h323_test::Address &control) { return h225_setup(&control); };
    auto connect = [](const h323_test::Address &control) { return h225_connect(&control); };
    const h323_test::Bytes release = h323_test::q931(
        h323_test::kReleaseType, h323_test::user_information(Uuie::kReleaseComplete));
    // The signalling connection; its caller's port, for the forger.
    auto connected = [&](Call &c, const std::string &to) {
        EXPECT_TRUE(c.signalling.open(ns.spaces[2], ns.spaces[3], to, 1720));
        return local_port(c.signalling.caller);
    };
    auto media_opened = [&](Call &c) {
        h245_media_opened(&c.h245, c.control.port, c.caller_media, c.callee_media);
    };
    auto forged = [&](const std::vector<TcpSegment> &segments) {
        return send_tcp_forgeries(ns.spaces[1], taps[1], segments);
    };
    // Both sides' ReleaseCompletes, FINs and RSTs on a signalling connection.
    auto ends = [&](uint16_t caller_port, const std::string &to) {
        std::vector<TcpSegment> all;
        for (const int flags : {kPshAck, kFinAck, kRstAck}) {
            const h323_test::Bytes data = flags == kPshAck ? release : h323_test::Bytes{};
            all.push_back({caller, caller_port, to, 1720, flags, data});
            all.push_back({to, 1720, caller, caller_port, flags, data});
        }
        return all;
    };
    // The H.245 connection is copied once the answer's copy reached the
    // snooper: its copy rules are read until there are as many as wanted.
    const int copies = rules_with(*sw, "CopyToCpu");
    auto copies_when = [&](int wanted) {
        return read_until([&] { return rules_with(*sw, "CopyToCpu"); },
                          [&](int n) { return n == copies + wanted; }) -
               copies;
    };

    Call &first = calls[0];
    const uint16_t first_port = connected(first, callee);
    ASSERT_TRUE(pass(first.signalling.caller, first.signalling.callee, setup(first.control)));
    ASSERT_TRUE(pass(first.signalling.callee, first.signalling.caller, connect(first.control)));
    ASSERT_EQ(copies_when(2), 2) << "the first call's H.245 copy rules";
    media_opened(first);
    if (HasFatalFailure()) return;
    EXPECT_EQ(voice_rules_when(on + 2), on + 2) << "the first call";
    ASSERT_TRUE(forged(ends(first_port, callee)));

    // The forged Setup is a call of its own, charged to the forger's port:
    // the answer gives it copy rules as well.
    Call &second = calls[1];
    const uint16_t second_port = connected(second, callee);
    ASSERT_TRUE(forged({{caller, second_port, callee, 1720, kPshAck, setup(second.control)}}));
    ASSERT_TRUE(pass(second.signalling.caller, second.signalling.callee, setup(second.control)));
    ASSERT_TRUE(pass(second.signalling.callee, second.signalling.caller, connect(second.control)));
    ASSERT_EQ(copies_when(4), 4) << "the second call's and the forged one's";
    media_opened(second);
    if (HasFatalFailure()) return;
    EXPECT_EQ(voice_rules_when(on + 4), on + 4) << "the second call";
    EXPECT_EQ(copies_when(2), 2) << "the forged call keeps its own";

    // Ends forged before the answer leave the call waiting; the forged
    // answer, though no answer of that address came before, is the
    // forger's: the switch sent the Setup to port 4. It gives the call the
    // forger's H.245 address, the callee's own answer a copy of the call
    // with the real one.
    Call &third = calls[2];
    const std::string unheard = phone(4);
    const uint16_t third_port = connected(third, unheard);
    ASSERT_TRUE(pass(third.signalling.caller, third.signalling.callee, setup(third.control)));
    std::vector<TcpSegment> first_answer = ends(third_port, unheard);
    first_answer.push_back(
        {unheard, 1720, caller, third_port, kPshAck, connect(h323_address(host(1), 5100))});
    ASSERT_TRUE(forged(first_answer));
    ASSERT_EQ(copies_when(4), 4) << "the forged answer's H.245 copy rules";
    ASSERT_TRUE(pass(third.signalling.callee, third.signalling.caller, connect(third.control)));
    ASSERT_EQ(copies_when(6), 6) << "the callee's answer's";
    media_opened(third);
    if (HasFatalFailure()) return;
    EXPECT_EQ(voice_rules_when(on + 6), on + 6) << "the third call, and the others kept";
    for (const Call &c : calls)
        EXPECT_TRUE(voice_frames_hit(2, 3, c.caller_media, c.callee_media))
            << "the call to H.245 port " << c.control.port;

    // The caller's own ReleaseCompletes end the first two calls, the
    // second with the call the Setup forged before the answer made; the
    // callee's own ends the third with what the forged answer made of it.
    for (Call *c : {&first, &second})
        ASSERT_TRUE(pass(c->signalling.caller, c->signalling.callee, release));
    ASSERT_TRUE(pass(third.signalling.callee, third.signalling.caller, release));
    EXPECT_EQ(voice_rules_when(on), on) << "the parties' own ReleaseCompletes end every call";
    EXPECT_EQ(copies_when(0), 0) << "the forged Setup's call's copy rules";
}

// Raw from a packet socket: count H.225.0 Setups without an H.245 address
// from src (ports 10000 and on) to dst:1720, each followed by a Connect
// claiming dst, a pair every two milliseconds. No stack sees them.
bool send_answered_setups(const std::string &space, const std::string &tap, const std::string &src,
                          const std::string &dst, int count) {
    return sh("ip netns exec " + space +
              " python3 -c 'import socket,struct,sys,time\n"
              "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
              "a=socket.inet_aton(sys.argv[2]); b=socket.inet_aton(sys.argv[3])\n"
              "setup=bytes.fromhex(sys.argv[5]); connect=bytes.fromhex(sys.argv[6])\n"
              "def seg(src,dst,sp,dp,data):\n"
              "  ip=struct.pack(\"!BBHHHBBH4s4s\",69,0,40+len(data),0,0,64,6,0,src,dst)\n"
              "  tcp=struct.pack(\"!HHIIBBHHH\",sp,dp,1,1,80,24,4096,0,0)\n"
              "  s.send(bytes.fromhex(\"020000000099020000000098\")+b\"\\x08\\x00\"+ip+tcp+data)\n"
              "for i in range(int(sys.argv[4])):\n"
              "  seg(a,b,10000+i,1720,setup); seg(b,a,1720,10000+i,connect); time.sleep(0.002)' " +
              tap + " " + src + " " + dst + " " + std::to_string(count) + " " +
              hex_of_bytes(h225_setup(nullptr)) + " " + hex_of_bytes(h225_connect(nullptr))) == 0;
}

// A burst of 300 call set-ups from one port fills a snooper's table, which
// then gives up that port's oldest records and says so, not the waiting
// call of other ports: a ringing SIP call between ports 3 and 4, a CRCX of
// the agent on port 2 (after 300 CRCXs from port 4), and an H.323 call
// between ports 3 and 4 (after 300 Setups each answered from port 2, which
// hold no rule) all get their rules.
TEST_P(system_voip_network, ABurstOfSetUpsFromOnePortTakesNoOtherPortsCall) {
    const int on = voice_rules(*sw);
    auto logged = [&](const std::string &line) { return sw->run("", line, nullptr, 15); };

    ASSERT_TRUE(send_sip(ns.spaces[2], host(3),
                         sip("INVITE sip:b@" + host(3) + " SIP/2.0", "ringing", host(2), 24000), 1,
                         host(2)));
    ASSERT_TRUE(send_sip(ns.spaces[1], host(0),
                         sip("INVITE sip:a@" + host(0) + " SIP/2.0", "burst@N@", host(1), 20000),
                         300, host(1), 1));
    EXPECT_TRUE(logged("SIP: too many sessions, port 2's oldest waiting ones no longer followed"));
    ASSERT_TRUE(send_sip(ns.spaces[3], host(2), sip("SIP/2.0 200 OK", "ringing", host(3), 34000), 1,
                         host(3)));
    EXPECT_EQ(voice_rules_when(on + 2), on + 2) << "the ringing SIP call";

    const std::string crcx = " ds/ds1-1/1@gw MGCP 1.0\r\nC: ";
    ASSERT_TRUE(send_udp(ns.spaces[1], host(1), 2727, host(0), 2427,
                         {"CRCX 77" + crcx + "real77\r\nM: sendrecv\r\n"}));
    ASSERT_TRUE(send_numbered(ns.spaces[3], host(3), 2727, host(2), 2427,
                              "CRCX @N@" + crcx + "burst@N@\r\nM: sendrecv\r\n", 300, 1));
    EXPECT_TRUE(
        logged("MGCP: too many connections, port 4's oldest waiting ones no longer followed"));
    ASSERT_TRUE(send_udp(ns.spaces[0], host(0), 2427, host(1), 2727,
                         {"200 77 OK\r\nI: c77\r\n\r\nv=0\r\nc=IN IP4 " + host(0) +
                          "\r\nm=audio 40154 RTP/AVP 0\r\n"}));
    EXPECT_EQ(voice_rules_when(on + 4), on + 4) << "the pending CRCX";

    ASSERT_TRUE(send_answered_setups(ns.spaces[1], taps[1], host(1), host(0), 300));
    EXPECT_TRUE(logged("H323: too many calls, port 2's oldest waiting ones no longer followed"));
    Connection signalling, h245;
    const h323_test::Address control = h323_address(host(3), 5000);
    ASSERT_TRUE(signalling.open(ns.spaces[2], ns.spaces[3], host(3), 1720));
    ASSERT_TRUE(pass(signalling.caller, signalling.callee, h225_setup(&control)));
    ASSERT_TRUE(pass(signalling.callee, signalling.caller, h225_connect(&control)));
    usleep(300 * 1000);  // the H.245 copy rules are made from the Connect's copy
    h245_media_opened(&h245, control.port, 26000, 36000);
    if (HasFatalFailure()) return;
    EXPECT_EQ(voice_rules_when(on + 6), on + 6) << "the H.323 call";
    EXPECT_TRUE(voice_frames_hit(2, 3, 24000, 34000)) << "the SIP call's voice";
    EXPECT_TRUE(voice_frames_hit(2, 3, 26000, 36000)) << "the H.323 call's voice";

    // 1,000 INVITEs from ports 1 and 2 at once: the flash log (which keeps
    // warnings) gets a few lines of what they pushed out, the last with the
    // count once Auto VoIP is off, not one line per change of port.
    auto flood = [&](int p) {
        return send_sip(ns.spaces[p], host(3),
                        sip("INVITE sip:b@" + host(3) + " SIP/2.0", std::to_string(p) + "two@N@",
                            host(p), 20000),
                        500, host(p), 1);
    };
    std::thread second([&] { EXPECT_TRUE(flood(1)); });
    EXPECT_TRUE(flood(0));
    second.join();
    ASSERT_EQ(post("/voip.cgi", "profiles=0").find("Retry"), std::string::npos);
    const std::string folded = "oldest waiting ones no longer followed (";
    const std::string log =
        read_until([&] { return get("/logview.htm?target=1&page=1"); },
                   [&](const std::string &l) { return l.find(folded) != std::string::npos; });
    EXPECT_NE(log.find(folded), std::string::npos) << log;
    EXPECT_LE(system_fixture::count_of(log, "SIP: too many sessions"), 4u) << log;
}

// UDP datagrams raw from a packet socket, from any address and port, one
// per payload, paced so that the CPU takes a copy of each; the destination
// MAC is no host's, so only the switch reads them.
bool send_raw_udp(const std::string &space, const std::string &tap, const std::string &src,
                  int src_port, const std::string &dst, int dst_port,
                  const std::vector<std::string> &payloads) {
    std::string hex;
    for (const std::string &p : payloads)
        hex += " " + hex_of_bytes(p);
    return sh("ip netns exec " + space +
              " python3 -c 'import socket,struct,sys,time\n"
              "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
              "for h in sys.argv[6:]:\n"
              "  data=bytes.fromhex(h)\n"
              "  ip=struct.pack(\"!BBHHHBBH4s4s\",69,0,28+len(data),0,0,64,17,0,"
              "socket.inet_aton(sys.argv[2]),socket.inet_aton(sys.argv[4]))\n"
              "  udp=struct.pack(\"!HHHH\",int(sys.argv[3]),int(sys.argv[5]),8+len(data),0)\n"
              "  s.send(bytes.fromhex(\"020000000099020000000098\")+b\"\\x08\\x00\"+ip+udp+data)\n"
              "  time.sleep(0.01)' " +
              tap + " " + src + " " + std::to_string(src_port) + " " + dst + " " +
              std::to_string(dst_port) + hex) == 0;
}

// Answers forged from a port outside the call, before the real ones, take
// only that port's rows, and the real answers find the rows of the call's
// own ports. MGCP: the agent on port 2 opens eight connections on the
// gateway on port 1, and a host on port 4 answers the last four first,
// claiming the gateway before it ever answered. SIP: a host on port 2
// answers five INVITEs from port 3 to port 4 before the callee, the first
// (before the callee ever answered) and the last two claiming the callee.
// Every real connection and call gets its rules and its voice frames hit
// them; the agent's DLCXs and the callee's BYEs end every session the call
// ids made.
TEST_P(system_voip_network, ForgedEarlyAnswersTakeOnlyTheirOwnPortsRows) {
    const int on = voice_rules(*sw);
    const std::string elsewhere = net + "250";
    auto sdp = [](const std::string &ip, int port) {
        return "v=0\r\nc=IN IP4 " + ip + "\r\nm=audio " + std::to_string(port) + " RTP/AVP 0\r\n";
    };
    // The agent's CRCXs, the forged answers, then the gateway's.
    std::vector<std::string> crcxs, forged, answers, dlcxs;
    for (int n = 1; n <= 8; n++) {
        const std::string t = std::to_string(n);
        crcxs.push_back("CRCX " + t + " ds/ds1-1/" + t + "@gw MGCP 1.0\r\nC: call" + t +
                        "\r\nM: sendrecv\r\n\r\n" + sdp(host(1), 20000 + 2 * n));
        if (n >= 5)
            forged.push_back("200 " + t + " OK\r\nI: forged" + t + "\r\n\r\n" +
                             sdp(elsewhere, 50000 + 2 * n));
        answers.push_back("200 " + t + " OK\r\nI: conn" + t + "\r\n\r\n" +
                          sdp(host(0), 40000 + 2 * n));
        dlcxs.push_back("DLCX " + std::to_string(100 + n) + " ds/ds1-1/" + t +
                        "@gw MGCP 1.0\r\nC: call" + t + "\r\n");
    }
    ASSERT_TRUE(send_udp(ns.spaces[1], host(1), 2727, host(0), 2427, crcxs));
    ASSERT_TRUE(send_raw_udp(ns.spaces[3], taps[3], host(0), 2427, host(1), 2727, forged));
    ASSERT_TRUE(send_udp(ns.spaces[0], host(0), 2427, host(1), 2727, answers));
    EXPECT_EQ(voice_rules_when(on + 24), on + 24) << "eight connections and four forged answers";
    for (int n : {6, 7})
        EXPECT_TRUE(voice_frames_hit(0, 1, 40000 + 2 * n, 20000 + 2 * n)) << "connection " << n;
    ASSERT_TRUE(send_udp(ns.spaces[1], host(1), 2727, host(0), 2427, dlcxs));
    EXPECT_EQ(voice_rules_when(on), on) << "the agent's DLCXs end every connection";
    // A CRCX forged from port 4 under the agent's address before the
    // gateway's answer, which answers it too: the agent's DLCX ends both.
    ASSERT_TRUE(send_udp(ns.spaces[1], host(1), 2727, host(0), 2427, {crcxs[0]}));
    ASSERT_TRUE(send_raw_udp(ns.spaces[3], taps[3], host(1), 2727, host(0), 2427, {crcxs[0]}));
    ASSERT_TRUE(send_udp(ns.spaces[0], host(0), 2427, host(1), 2727, {answers[0]}));
    EXPECT_EQ(voice_rules_when(on + 4), on + 4) << "the connection and the forged CRCX's";
    ASSERT_TRUE(send_udp(ns.spaces[1], host(1), 2727, host(0), 2427, {dlcxs[0]}));
    EXPECT_EQ(voice_rules_when(on), on) << "the agent's DLCX after a forged CRCX";

    // The INVITEs, the forged answers (the first and the last two claiming
    // the callee), then the callee's, one call at a time; then the callee's
    // BYEs.
    const std::string callee = "sip:b@" + host(3) + " SIP/2.0";
    std::vector<std::string> byes;
    for (int k = 0; k < 5; k++) {
        const std::string call_id = "early" + std::to_string(k);
        const std::string invite = sip("INVITE " + callee, call_id, host(2), 24000 + 100 * k);
        ASSERT_TRUE(send_udp(ns.spaces[2], host(2), 5060, host(3), 5060, {invite}));
        const std::string early = sip("SIP/2.0 200 OK", call_id, elsewhere, 54000 + 100 * k);
        if (k > 0 && k < 3)
            ASSERT_TRUE(send_udp(ns.spaces[1], host(1), 5060, host(2), 5060, {early}));
        else
            ASSERT_TRUE(send_raw_udp(ns.spaces[1], taps[1], host(3), 5060, host(2), 5060, {early}));
        ASSERT_TRUE(send_udp(ns.spaces[3], host(3), 5060, host(2), 5060,
                             {sip("SIP/2.0 200 OK", call_id, host(3), 34000 + 100 * k)}));
        byes.push_back(sip("BYE sip:a@" + host(2) + " SIP/2.0", call_id, host(3), 34000 + 100 * k));
    }
    EXPECT_EQ(voice_rules_when(on + 18), on + 18) << "five calls and four forged answers";
    ASSERT_TRUE(send_udp(ns.spaces[1], host(1), 5060, host(2), 5060,
                         {sip("BYE " + callee, "early1", host(1), 54100)}));
    EXPECT_EQ(voice_rules_when(on + 16), on + 16) << "the forger's BYE ends its own pair";
    for (int k : {0, 4})
        EXPECT_TRUE(voice_frames_hit(2, 3, 24000 + 100 * k, 34000 + 100 * k)) << "call " << k;
    ASSERT_TRUE(send_udp(ns.spaces[3], host(3), 5060, host(2), 5060, byes));
    EXPECT_EQ(voice_rules_when(on), on) << "the callee's BYEs end every pair of their calls";

    // On an answered call, an INVITE forged from port 2 with an offer of
    // its own, then the caller's re-INVITE and the callee's answer to it:
    // after the caller's BYE no pair is left that the forger's frames to
    // the callee hit.
    auto invite = [&](int from, const std::string &cseq, int media) {
        return send_udp(ns.spaces[from], host(from), 5060, host(3), 5060,
                        {sip("INVITE " + callee, "answered", host(from), media, cseq)});
    };
    auto ok = [&](const std::string &cseq) {
        return send_udp(ns.spaces[3], host(3), 5060, host(2), 5060,
                        {sip("SIP/2.0 200 OK", "answered", host(3), 34000, cseq)});
    };
    ASSERT_TRUE(invite(2, "1 INVITE", 24000) && ok("1 INVITE"));
    EXPECT_EQ(voice_rules_when(on + 2), on + 2) << "the call";
    ASSERT_TRUE(invite(1, "7 INVITE", 56000) && invite(2, "3 INVITE", 24000) && ok("3 INVITE"));
    ASSERT_TRUE(send_udp(ns.spaces[2], host(2), 5060, host(3), 5060,
                         {sip("BYE " + callee, "answered", host(2), 24000, "4 BYE")}));
    EXPECT_EQ(voice_rules_when(on), on) << "the caller's BYE";
    EXPECT_EQ(voice_hits(1, 3, 56000, 34000), 0u) << "the forger's frames";

    // The same offer forged before the callee's answer, which answers it
    // too: the caller's BYE leaves no pair either.
    ASSERT_TRUE(invite(2, "1 INVITE", 24000) && invite(1, "1 INVITE", 56000) && ok("1 INVITE"));
    EXPECT_EQ(voice_rules_when(on + 4), on + 4) << "the call and the early forged offer";
    ASSERT_TRUE(send_udp(ns.spaces[2], host(2), 5060, host(3), 5060,
                         {sip("BYE " + callee, "answered", host(2), 24000, "2 BYE")}));
    EXPECT_EQ(voice_rules_when(on), on) << "the caller's BYE after an early forged offer";
    EXPECT_EQ(voice_hits(1, 3, 56000, 34000), 0u) << "the early forger's frames";
}

INSTANTIATE_TEST_SUITE_P(boards_with_cfp, system_voip_network, testing::Values(52, 28),
                         [](const testing::TestParamInfo<int> &info) {
                             return "Board" + std::to_string(info.param);
                         });

INSTANTIATE_TEST_SUITE_P(boards_with_cfp, system_h323, testing::Values(52, 28),
                         [](const testing::TestParamInfo<int> &info) {
                             return "Board" + std::to_string(info.param);
                         });

}  // namespace
