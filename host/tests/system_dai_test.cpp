// Dynamic ARP inspection in the running switch: set up over the web, it
// learns a binding from a DHCP acknowledgement that a trusted port carries,
// floods a bound ARP request from an untrusted port to the VLAN's other
// ports (the peer sits on the board's last port) and drops a spoofed one, on
// the boards whose chip has the field processor that traps ARP. Forged
// acknowledgements from untrusted ports bind nothing, however many, and two
// ports' floods of them leave the flash log's earlier lines and one count of
// what was folded; a re-sent ARP never goes back out of the port it came in
// on; a change the full field processor refuses changes nothing. On the
// board without one, switching it on is refused by name. Frames are
// raw Ethernet written and read with packet sockets inside the test's
// namespaces. Needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping, curl and
// python3; skips without.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

namespace {

using system_fixture::FrameWatch;
using system_fixture::hex_of_ip;
using system_fixture::hex_of_mac;
using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::sh_out;
using system_fixture::Switch;

// How long a watch waits for a frame that must cross: the bound of a switch
// that lost it, never reached on a working one, however busy the host.
constexpr int kFrameSeconds = 30;

// How many of the frames a watch saw begin with the frame sent.
int copies(const std::vector<std::string> &seen, const std::string &frame) {
    return static_cast<int>(std::count_if(
        seen.begin(), seen.end(), [&](const std::string &f) { return f.starts_with(frame); }));
}

std::string zeros(int bytes) {
    return std::string(static_cast<size_t>(bytes) * 2, '0');
}

// A DHCP acknowledgement from the server (src) leasing ip to the client.
std::string dhcp_ack(const std::string &client, const std::string &server,
                     const std::string &server_ip, const std::string &ip) {
    std::string bootp =
        "02010600"
        "12345678"
        "0000"
        "0000" +
        zeros(4) + hex_of_ip(ip) + zeros(8) + client + zeros(10) + zeros(64 + 128) +
        "63825363"
        "350105"
        "ff";
    int udp_len = 8 + static_cast<int>(bootp.size() / 2);
    char lens[32];
    std::snprintf(lens, sizeof lens, "%04x", udp_len + 20);
    std::string ip_head = "4500" + std::string(lens) +
                          "00000000"
                          "4011"
                          "0000" +
                          hex_of_ip(server_ip) + hex_of_ip(ip);
    std::snprintf(lens, sizeof lens, "%04x", udp_len);
    return client + server + "0800" + ip_head + "00430044" + lens + "0000" + bootp;
}

// A broadcast ARP request of sender (MAC, IP) for the target IP.
std::string arp_request(const std::string &sender, const std::string &sender_ip,
                        const std::string &target_ip) {
    return "ffffffffffff" + sender +
           "0806"
           "0001080006040001" +
           sender + hex_of_ip(sender_ip) + zeros(6) + hex_of_ip(target_ip);
}

// The acknowledgement count times, the client hardware address (at byte 70
// of the untagged frame) made different in each: 02-00-00-66-hi-lo.
bool send_many_acks(const std::string &space, const std::string &tap, const std::string &ack,
                    int count) {
    return sh("ip netns exec " + space +
              " python3 -c 'import socket,sys,time\n"
              "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
              "f=bytearray(bytes.fromhex(sys.argv[2]))\n"
              "for i in range(int(sys.argv[3])):\n"
              "  f[70:76]=bytes([2,0,0,0x66,i>>8,i&255])\n"
              "  s.send(bytes(f)); time.sleep(0.0005)' " +
              tap + " " + ack + " " + std::to_string(count)) == 0;
}

std::string lower(std::string s) {
    for (char &ch : s)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

bool lacks_tools() {
    return !system_fixture::can_make_namespaces() || sh("curl --version") != 0 ||
           sh("python3 --version") != 0;
}

class switchfw_dai : public testing::TestWithParam<int> {
  protected:
    // A DHCP server on port 1, a client on port 2 and a peer on the board's
    // last port; port 1 trusted and VLAN 1 inspected through the web page.
    void bring_up() {
        const int id = system_fixture::own_id();
        const std::string n = std::to_string(id);
        server_tap = "swds" + n;
        client_tap = "swdc" + n;
        peer_tap = "swdp" + n;
        // Another range than the Auto VoIP tests', which run beside these.
        ASSERT_TRUE(ns.make_free("10.194.", id, {"swdnss" + n, "swdnsc" + n, "swdnsp" + n}, &net));
        server = ns.spaces[0];
        client = ns.spaces[1];
        peer = ns.spaces[2];
        start();
        if (HasFatalFailure()) return;
        server_mac = hex_of_mac(system_fixture::mac_of(server, server_tap));
        client_mac = hex_of_mac(system_fixture::mac_of(client, client_tap));
        ASSERT_EQ(client_mac.size(), 12u);

        web = "http://127.0.0.1:" + std::to_string(sw->port_offset() + 80);
        const std::string jar = test_workdir::path() + "/cookies";
        curl = "curl -s -m 10 -c " + jar + " -b " + jar + " ";
        sh_out(curl + "-d 'username=admin&password=qivor' " + web + "/login.cgi");
        const std::string trusted_1 = "1" + std::string(static_cast<size_t>(GetParam()) - 1, '0');
        enabled = sh_out(curl + "-d 'enable=1&ports=" + trusted_1 +
                         "&rmfrom=0&rmto=0&addfrom=1&addto=1&aging=0' " + web + "/darp.cgi");
    }
    // The program on the flash in the test's own folder (a board never
    // starts from another one's), its TAPs in the hosts' namespaces.
    void start() {
        const std::string board = std::to_string(GetParam());
        const std::filesystem::path dir =
            std::filesystem::path(test_workdir::path()) /
            testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(dir);
        sw = std::make_unique<Switch>(
            dir, std::vector<std::string>{"--board", board, "--tap", "1=" + server_tap, "--tap",
                                          "2=" + client_tap, "--tap", board + "=" + peer_tap});
        ASSERT_TRUE(sw->run("", "DXP.0> ", nullptr, 60));
        ASSERT_TRUE(system_fixture::Netns::attach(server_tap, server, net + "1/24"));
        ASSERT_TRUE(system_fixture::Netns::attach(client_tap, client, net + "2/24"));
        ASSERT_TRUE(system_fixture::Netns::attach(peer_tap, peer, net + "3/24"));
    }
    // Sends the server's acknowledgement of the lease until the binding
    // table shows it; the table last read.
    std::string lease(const std::string &mac, const std::string &ip) {
        std::string dashed;
        for (size_t i = 0; i < 12; i += 2) {
            if (i > 0) dashed += '-';
            dashed.append(mac, i, 2);
        }
        // A receive path still busy with a flood (every frame reaches the
        // CPU on a board without field processor) may take a while.
        std::string entries;
        for (int tries = 0; tries < 40 && lower(entries).find(dashed) == std::string::npos;
             tries++) {
            if (tries >= 10) usleep(500 * 1000);
            EXPECT_TRUE(system_fixture::send_frames(server, server_tap,
                                                    dhcp_ack(mac, server_mac, net + "1", ip)));
            entries = sh_out(curl + web + "/darp_entry.htm");
        }
        EXPECT_NE(lower(entries).find(dashed), std::string::npos) << entries;
        return entries;
    }
    Netns ns;
    std::unique_ptr<Switch> sw;
    std::string net, server_tap, client_tap, peer_tap, server, client, peer;
    std::string server_mac, client_mac, web, curl;
    std::string enabled;  // the answer to switching the inspection on
};

// Learning alone, on the boards whose chip has the field processor.
class switchfw_dai_learning : public switchfw_dai {};

// The 26-port board's chip forwards ARP before the CPU could check it.
class switchfw_dai_unavailable : public switchfw_dai {};

TEST_P(switchfw_dai, LearnsFromTrustedDhcpAndFloodsOnlyBoundArp) {
    if (lacks_tools())
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping, curl and python3";
    bring_up();
    if (HasFatalFailure()) return;

    // Leases with zero bytes, the commonest plans there are; the second
    // host's frames carry a made-up address.
    struct Host {
        std::string mac, ip;
    };
    for (const Host &host : {Host{client_mac, "192.168.0.10"}, Host{"02cafe000507", "10.0.5.7"}}) {
        SCOPED_TRACE(host.ip);
        const std::string entries = lease(host.mac, host.ip);
        EXPECT_NE(entries.find(host.ip), std::string::npos) << entries;

        // The spoofed request first: the inspection has judged it once the
        // bound one, sent after it, arrives.
        const std::string bound = arp_request(host.mac, host.ip, net + "1");
        const std::string spoofed = arp_request(host.mac, net + "99", net + "1");
        FrameWatch watch(peer, peer_tap, kFrameSeconds, 3, 0, bound);
        ASSERT_TRUE(watch.ready());
        ASSERT_TRUE(system_fixture::send_frames(client, client_tap, spoofed));
        ASSERT_TRUE(system_fixture::send_frames(client, client_tap, bound));
        const std::vector<std::string> seen = watch.frames();
        EXPECT_EQ(copies(seen, bound), 1);
        EXPECT_EQ(copies(seen, spoofed), 0);
    }

    // A unicast reply of the bound client to a MAC nobody has: re-sent to
    // the VLAN's other ports, not back to the client's. The client's own
    // watch sees the frame once, as it leaves.
    {
        const std::string reply = "020000000077" + client_mac + "0806" + "0001080006040002" +
                                  client_mac + hex_of_ip("192.168.0.10") + "020000000077" +
                                  hex_of_ip(net + "3");
        FrameWatch at_peer(peer, peer_tap, kFrameSeconds, 3, 0, reply),
            at_client(client, client_tap, 3);
        ASSERT_TRUE(at_peer.ready() && at_client.ready());
        ASSERT_TRUE(system_fixture::send_frames(client, client_tap, reply));
        EXPECT_EQ(copies(at_peer.frames(), reply), 1);
        EXPECT_LE(copies(at_client.frames(), reply), 1) << "re-sent back out of its ingress port";
    }
}

// With the field processor full, trusting the client's port as well is
// refused with the reason, and nothing changes: the page, the backup, and
// the rules, so an unbound ARP request from the client is still dropped.
TEST_P(switchfw_dai, ARefusedChangeKeepsThePageTheBackupAndTheRules) {
    if (lacks_tools())
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping, curl and python3";
    bring_up();
    if (HasFatalFailure()) return;
    const std::string unbound = arp_request(client_mac, net + "2", net + "3");
    auto unbound_passes = [&] {
        FrameWatch watch(peer, peer_tap, 3);
        EXPECT_TRUE(watch.ready());
        EXPECT_TRUE(system_fixture::send_frames(client, client_tap, unbound));
        return copies(watch.frames(), unbound) > 0;
    };
    EXPECT_FALSE(unbound_passes());
    // The backup but its password line, scrambled anew for each download,
    // and the checksum over it.
    auto stored = [&] {
        std::istringstream in(sh_out(curl + web + "/dxpqsw.cfg"));
        std::string text;
        for (std::string line; std::getline(in, line);)
            if (!line.starts_with("password=") && !line.starts_with("#end")) text += line + "\n";
        return text;
    };
    const std::string page = sh_out(curl + web + "/darp_config.htm"), backup = stored();
    ASSERT_NE(backup.find("darp"), std::string::npos) << backup;
    ASSERT_NE(page.find("checked"), std::string::npos) << page;

    // The monitor's rules take every row left.
    std::string seen;
    ASSERT_TRUE(sw->run("fp group create -1 90", "DXP.0> ", &seen));
    ASSERT_NE(seen.find("okay"), std::string::npos) << seen;
    for (int entry = 900; entry < 1100; entry++) {
        ASSERT_TRUE(sw->run("fp entry create 90 " + std::to_string(entry), "DXP.0> ", &seen));
        if (seen.find("okay") == std::string::npos) break;
    }
    const std::string both = "11" + std::string(static_cast<size_t>(GetParam()) - 2, '0');
    const std::string answer =
        sh_out(curl + "-d 'enable=1&ports=" + both +
               "&rmfrom=0&rmto=0&addfrom=1&addto=1&aging=0' " + web + "/darp.cgi");
    EXPECT_NE(answer.find("No resources for operation"), std::string::npos) << answer;
    EXPECT_TRUE(sh_out(curl + web + "/darp_config.htm") == page) << "the page changed";
    EXPECT_TRUE(stored() == backup) << "the stored settings changed";
    EXPECT_FALSE(unbound_passes());
}

// After a restart, a port whose link came up while the switch started (its
// TAP up before the program) receives checked ARP requests as the ports
// linked later do: the inspection re-sends to every linked member port.
TEST_P(switchfw_dai, APortLinkedDuringStartUpReceivesCheckedRequests) {
    if (lacks_tools())
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping, curl and python3";
    bring_up();
    if (HasFatalFailure()) return;
    const std::string host_ip = "192.168.0.10";
    std::string dashed;
    for (size_t i = 0; i < 12; i += 2)
        dashed += (i > 0 ? "-" : "") + client_mac.substr(i, 2);
    const std::string added =
        sh_out(curl + "-d 'mac=" + dashed + "&ip=" + host_ip + "&vid=1' " + web + "/darpadd.cgi");
    ASSERT_NE(lower(sh_out(curl + web + "/darp_entry.htm")).find(dashed), std::string::npos)
        << added;
    ASSERT_TRUE(sw->run("EXIT", "Resetting"));
    ASSERT_NE(sw->exit_status(30), -1);

    // The server's TAP exists and is up before the program starts.
    struct TapGone {
        std::string name;
        ~TapGone() { sh("ip tuntap del dev " + name + " mode tap 2>/dev/null"); }
    } gone{server_tap};
    ASSERT_EQ(
        sh("ip tuntap add dev " + server_tap + " mode tap && ip link set " + server_tap + " up"),
        0);
    start();
    if (HasFatalFailure()) return;

    const std::string bound = arp_request(client_mac, host_ip, net + "1");
    FrameWatch at_server(server, server_tap, kFrameSeconds, 3, 0, bound),
        at_peer(peer, peer_tap, kFrameSeconds, 3, 0, bound);
    ASSERT_TRUE(at_server.ready() && at_peer.ready());
    ASSERT_TRUE(system_fixture::send_frames(client, client_tap, bound));
    EXPECT_EQ(copies(at_server.frames(), bound), 1) << "port 1, linked during start-up";
    EXPECT_EQ(copies(at_peer.frames(), bound), 1);
}

TEST_P(switchfw_dai_learning, ForgedAcknowledgementsFromAnUntrustedPortBindNothing) {
    if (lacks_tools())
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping, curl and python3";
    bring_up();
    if (HasFatalFailure()) return;
    // Acknowledgements from the untrusted client port: one claiming the
    // server's address for the attacker, then 3,000 with made-up clients.
    // Broadcast, as a server sends to a client without an address.
    const std::string attacker = "020000000066";
    auto broadcast = [](std::string frame) { return frame.replace(0, 12, "ffffffffffff"); };
    ASSERT_TRUE(system_fixture::send_frames(
        client, client_tap, broadcast(dhcp_ack(attacker, client_mac, net + "2", "192.168.0.1"))));
    // A refused binding's warning, then 3,000 from port 2 with one from the
    // board's last port amid them, then 3,000 from that port: more lines
    // than the flash ring holds.
    const std::string earlier = "Dynamic ARP setting failed : Invalid IP address";
    sh_out(curl + "-d 'mac=02-ca-fe-00-05-07&ip=0.0.0.0&vid=1' " + web + "/darpadd.cgi");
    const std::string from_client =
        broadcast(dhcp_ack(attacker, client_mac, net + "2", "192.168.0.2"));
    const std::string from_peer =
        broadcast(dhcp_ack(attacker, client_mac, net + "3", "192.168.0.3"));
    ASSERT_TRUE(send_many_acks(client, client_tap, from_client, 1500));
    ASSERT_TRUE(send_many_acks(peer, peer_tap, from_peer, 1));
    ASSERT_TRUE(send_many_acks(client, client_tap, from_client, 1500));
    // The flash keeps the earlier line, the flood's first and, at the end of
    // each window, the count of the others by port: the one reply amid port
    // 2's flood is named at once, as a new source, and so is the later flood.
    const std::string last = std::to_string(GetParam());
    const std::string amid = "untrusted port " + last + " not learnt\"";
    // The later flood is counted in its own window's line, or in port 2's
    // when both fall in one window.
    const std::string folded = "untrusted port " + last + " not learnt (";
    const std::string counted = " from port " + last;
    std::string flash;
    auto flash_when = [&](const std::string &line, const std::string &or_line) {
        for (int tries = 0; tries < 180 && flash.find(line) == std::string::npos &&
                            flash.find(or_line) == std::string::npos;
             tries++) {
            if (tries > 0) usleep(500 * 1000);
            flash = sh_out(curl + "'" + web + "/events.csv?module=57&mask=3&ring=1'");
        }
    };
    flash_when(amid, amid);
    ASSERT_TRUE(send_many_acks(peer, peer_tap, from_peer, 3000));
    flash_when(folded, counted);
    EXPECT_NE(flash.find(earlier), std::string::npos) << flash;
    EXPECT_NE(flash.find("untrusted port 2 not learnt\""), std::string::npos) << flash;
    EXPECT_NE(flash.find("untrusted port 2 not learnt ("), std::string::npos) << flash;
    EXPECT_NE(flash.find(amid), std::string::npos) << flash;
    EXPECT_TRUE(flash.find(folded) != std::string::npos || flash.find(counted) != std::string::npos)
        << flash;
    // A real lease on the trusted port still binds, and only it.
    const std::string entries = lease("02cafe000509", "192.168.0.20");
    EXPECT_EQ(lower(entries).find("02-00-00-00-00-66"), std::string::npos) << entries;
    EXPECT_EQ(lower(entries).find("02-00-00-66-"), std::string::npos) << entries;
    // A telnet load of the settings that run keeps the learnt binding.
    const int fd = switchfw_child::telnet_login(sw->port_offset() + 23, "qivor");
    ASSERT_GE(fd, 0);
    switchfw_child::send_text(fd, "load\r\n");
    std::string loaded;
    EXPECT_TRUE(switchfw_child::read_until(fd, &loaded, "ecos>", 30)) << loaded;
    close(fd);
    EXPECT_NE(loaded.find("Settings loaded"), std::string::npos) << loaded;
    const std::string after_load = sh_out(curl + web + "/darp_entry.htm");
    EXPECT_NE(lower(after_load).find("02-ca-fe-00-05-09"), std::string::npos) << after_load;
    // The attacker's ARP for the server's address is dropped.
    const std::string forged = arp_request(attacker, "192.168.0.1", net + "3");
    FrameWatch watch(peer, peer_tap, 3);
    ASSERT_TRUE(watch.ready());
    ASSERT_TRUE(system_fixture::send_frames(client, client_tap, forged));
    EXPECT_EQ(copies(watch.frames(), forged), 0);
}

// Switching the inspection on is refused by name and changes nothing: the
// page shows it off, a binding is refused alike, and no error is logged.
TEST_P(switchfw_dai_unavailable, EnableIsRefusedByNameAndNothingRuns) {
    if (lacks_tools())
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping, curl and python3";
    bring_up();
    if (HasFatalFailure()) return;
    const std::string missing =
        "This switch has no field processor: Dynamic ARP Inspection cannot run on it.";
    EXPECT_NE(enabled.find(missing), std::string::npos) << enabled;
    const std::string added =
        sh_out(curl + "-d 'mac=02-ca-fe-00-05-07&ip=10.0.5.7&vid=1' " + web + "/darpadd.cgi");
    EXPECT_NE(added.find(missing), std::string::npos) << added;
    const std::string page = sh_out(curl + web + "/darp_config.htm");
    EXPECT_EQ(page.find("selected>Enabled"), std::string::npos) << page;
    EXPECT_EQ(page.find("id=\"trust1\" checked"), std::string::npos) << page;
    EXPECT_NE(page.find(missing), std::string::npos) << page;
    std::string seen;
    ASSERT_TRUE(sw->run("echo logged", "DXP.0> ", &seen));
    EXPECT_EQ(seen.find("[ERROR] DYNAMICARP"), std::string::npos) << seen;
}

INSTANTIATE_TEST_SUITE_P(boards_with_cfp, switchfw_dai, testing::Values(52, 28),
                         [](const testing::TestParamInfo<int> &info) {
                             return "Board" + std::to_string(info.param);
                         });

INSTANTIATE_TEST_SUITE_P(boards, switchfw_dai_learning, testing::Values(52, 28),
                         [](const testing::TestParamInfo<int> &info) {
                             return "Board" + std::to_string(info.param);
                         });

INSTANTIATE_TEST_SUITE_P(board_without_cfp, switchfw_dai_unavailable, testing::Values(26),
                         [](const testing::TestParamInfo<int> &info) {
                             return "Board" + std::to_string(info.param);
                         });

}  // namespace
