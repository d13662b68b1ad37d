// The monitor's self-tests and packet tools on a switch in service, one
// grouped case per board: switchfw runs in a namespace of its own with its
// management interface on a TAP and a host behind front-panel port 1, two
// more ports lead to a second namespace. The administrator's VLAN, default
// VLAN, static address and port settings survive the loopback tests and the
// snake on the board's whole default port set; the counter tests leave the
// counters SNMP reads going on as they were; refused parameters change
// nothing; a run that sends nothing fails; the traffic test leaves no static
// entry; the management address keeps answering through the receive monitor,
// the packet watcher (which counts and decodes the host's ping) and every
// self-test; a web port change during a self-test is refused and the port
// stays as it was. A second case, on a switch without TAPs, has the other
// managers work during the tests: what they change stays, a change of a
// tested port is refused, a save during a test stores the ports as they were
// before it, and the spanning-tree groups come back whole. Needs root (CAP_NET_ADMIN),
// /dev/net/tun, ip, ping and curl; skips without them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>

#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../../platform/tests/private_workdir.h"
#include "switchfw_child.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

using system_fixture::count_of;
using system_fixture::Netns;
using system_fixture::sh;
using system_fixture::sh_out;
using system_fixture::Switch;

bool can_run() {
    return system_fixture::can_make_namespaces() && sh("curl -V") == 0;
}

// A switch in namespace "fw" whose port 1 leads to a host in "host" and
// ports 3 and 4 (fe2, fe3) to namespace "pair", its management address in
// a subnet of this process's own.
class InService {
  public:
    explicit InService(int board) {
        const std::string id =
            std::to_string(system_fixture::own_id()) + "b" + std::to_string(board);
        fw = "swsf" + id;
        host = "swsh" + id;
        pair = "swsp" + id;
        const int n = system_fixture::own_id();
        subnet = "10." + std::to_string(100 + n / 250 % 100) + "." + std::to_string(n % 250);
        address = subnet + ".1";
        board_ = board;
        id_ = id;
    }

    // Starts the switch (its console on a pipe, or on a pty that is its
    // controlling terminal), moves its address into the subnet and the TAPs
    // to their namespaces; false when something failed.
    bool start(std::string *why, bool terminal = false) {
        // The subnet named above, or the next free one when another test has it.
        std::string net;
        if (!ns.make_free(subnet.substr(0, subnet.rfind('.') + 1),
                          std::stoi(subnet.substr(subnet.rfind('.') + 1)), {fw, host, pair}, &net))
            return fail(why, "namespaces");
        subnet = net.substr(0, net.size() - 1);
        address = subnet + ".1";
        sh("ip -n " + fw + " link set lo up");
        const std::string t1 = tap(1), t3 = tap(3), t4 = tap(4);
        std::vector<std::string> args{"--board",    std::to_string(board_),
                                      "--mgmt-tap", "mgmt",
                                      "--listen",   "127.0.0.1",
                                      "--tap",      "1=" + t1,
                                      "--tap",      "3=" + t3,
                                      "--tap",      "4=" + t4};
        // The child takes this thread's namespace.
        int home = open("/proc/self/ns/net", O_RDONLY);
        int inside = open(("/run/netns/" + fw).c_str(), O_RDONLY);
        if (home < 0 || inside < 0 || setns(inside, CLONE_NEWNET) != 0) {
            close(home);
            close(inside);
            return fail(why, "setns");
        }
        sw = std::make_unique<Switch>(test_workdir::path(), args, terminal, terminal);
        setns(home, CLONE_NEWNET);
        close(inside);
        close(home);
        std::string seen;
        if (!sw->run("", "DXP.0> ", &seen, 60)) return fail(why, "no prompt: " + seen);
        if (cookie = web_login(); cookie.empty()) return fail(why, "web login");
        web("/setip.cgi", "ip=" + address + "&netmask=255.255.255.0&gateway=0.0.0.0&ifname=eth1");
        bool moved = false;
        for (int tries = 0; tries < 50 && !moved; tries++) {
            moved = sh_out("ip -n " + fw + " -4 addr show mgmt").find("inet " + address + "/24") !=
                    std::string::npos;
            if (!moved) usleep(100000);
        }
        if (!moved) return fail(why, "management address not moved to " + address);
        if (sh("ip -n " + fw + " link set " + t1 + " netns " + host) != 0 ||
            sh("ip -n " + host + " addr add " + subnet + ".10/24 dev " + t1) != 0 ||
            sh("ip -n " + host + " link set " + t1 + " up") != 0)
            return fail(why, "host TAP");
        for (const std::string &space : {host, pair})
            sh("ip netns exec " + space + " sysctl -w net.ipv6.conf.all.disable_ipv6=1");
        for (const std::string &t : {t3, t4})
            if (sh("ip -n " + fw + " link set " + t + " netns " + pair) != 0 ||
                sh("ip -n " + pair + " link set " + t + " up") != 0)
                return fail(why, "pair TAPs");
        return true;
    }

    // The host pings the management address; true when it answered within
    // the tries.
    bool ping(int tries = 10) {
        for (int i = 0; i < tries; i++)
            if (sh("ip netns exec " + host + " ping -c 1 -W 1 " + address) == 0) return true;
        return false;
    }
    // A monitor command's output up to the next prompt.
    std::string monitor(const std::string &line, int seconds = 60) {
        std::string seen;
        if (!sw->run(line, "DXP.0> ", &seen, seconds)) ADD_FAILURE() << line << ": " << seen;
        return seen;
    }
    std::string web(const std::string &path, const std::string &body) {
        return sh_out("ip netns exec " + fw + " curl -s -m 10 -b WebManaged=" + cookie + " -d '" +
                      body + "' http://127.0.0.1:" + std::to_string(web_port()) + path);
    }
    int web_port() const { return sw->port_offset() + 80; }
    // The TAP device of a front-panel port.
    std::string tap(int port) const { return "swst" + std::to_string(port) + id_; }

    Netns ns;
    std::unique_ptr<Switch> sw;
    std::string fw, host, pair, subnet, address, cookie;

  private:
    std::string web_login() {
        return sh_out("ip netns exec " + fw + " curl -s -i -d 'username=admin&password=qivor' " +
                      "http://127.0.0.1:" + std::to_string(web_port()) +
                      "/login.cgi | sed -n 's/^Set-Cookie: WebManaged=\\([^;\\r]*\\).*/\\1/p' | "
                      "tr -d '\\n'");
    }
    static bool fail(std::string *why, const std::string &what) {
        *why = what;
        return false;
    }
    int board_ = 0;
    std::string id_;
};

// The pass and failure counts of a test in its TestList row.
std::pair<int, int> counts_in(const std::string &out, int test) {
    size_t at = out.find("|  " + std::to_string(test) + "|");
    std::vector<int> fields;
    for (int bar = 0; at != std::string::npos && bar < 6; bar++) {
        at = out.find('|', at + 1);
        if (bar >= 3 && at != std::string::npos) fields.push_back(std::atoi(out.c_str() + at + 1));
    }
    return fields.size() >= 2 ? std::make_pair(fields[0], fields[1]) : std::make_pair(-1, -1);
}

std::pair<int, int> counts(InService &s, int test) {
    return counts_in(s.monitor("TestList " + std::to_string(test)), test);
}

// What the administrator set up, as the monitor shows it: learnt addresses
// come and go with the hosts' traffic and are left out.
std::string configuration(InService &s) {
    std::string l2;
    const std::string table = s.monitor("L2 show");
    // The shadow the table is shown from may hold an entry twice for a
    // while: each entry counts once.
    std::set<std::string> entries;
    for (size_t at = 0, end; (end = table.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = table.substr(at, end - at + 1);
        if (line.find(" Hit") == std::string::npos) entries.insert(line);
    }
    for (const std::string &line : entries)
        l2 += line;
    return s.monitor("VLAN show") + s.monitor("PVlan show") + s.monitor("port fe5") +
           s.monitor("port fe6") + l2;
}

// The configuration once it equals the expected one, or as it stands after
// the deadline: the L2 table is shown from the firmware's shadow of it,
// which follows the chip a step at a time.
std::string settled_configuration(InService &s, const std::string &expected) {
    std::string now = configuration(s);
    for (int tries = 0; tries < 40 && now != expected; tries++) {
        usleep(250000);
        now = configuration(s);
    }
    return now;
}

class system_selftest : public testing::TestWithParam<int> {};

// "L2 show" once the monitor's copy of the table shows no test address, or
// after 30 s: the copy takes up the end's removals at its next pass over
// the table, which a busy host delays.
std::string test_addresses_left(InService &s) {
    std::string out;
    for (int tries = 0; tries < 150; tries++) {
        out = s.monitor("L2 show");
        if (out.find("00:00:00:00:fe:") == std::string::npos) break;
        usleep(200 * 1000);
    }
    return out;
}

TEST_P(system_selftest, TestsAndPacketToolsLeaveTheSwitchInServiceAsTheyFoundIt) {
    if (!can_run()) GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping and curl";
    InService s(GetParam());
    std::string why;
    ASSERT_TRUE(s.start(&why)) << why;
    ASSERT_TRUE(s.ping()) << "no answer from " << s.address;

    // The counter tests check the registers of port 1, where the host
    // pings: what SNMP reads of the port goes on counting, neither jumping
    // nor running backwards, and no error or discard appears.
    const bool snmp_tools = sh("snmpget -V") == 0;
    if (snmp_tools) {
        const std::string get = "ip netns exec " + s.fw + " snmpget -v2c -On -Oqv -r 2 -t 3 " +
                                "-c public 127.0.0.1:" + std::to_string(s.sw->port_offset() + 161);
        // ifInOctets, ifInDiscards, ifInErrors, ifOutOctets, ifOutDiscards,
        // ifOutErrors of port 1.
        auto port1 = [&] {
            std::vector<unsigned long long> values;
            std::istringstream out(sh_out(get +
                                          " .1.3.6.1.2.1.2.2.1.10.1 .1.3.6.1.2.1.2.2.1.13.1 " +
                                          ".1.3.6.1.2.1.2.2.1.14.1 .1.3.6.1.2.1.2.2.1.16.1 " +
                                          ".1.3.6.1.2.1.2.2.1.19.1 .1.3.6.1.2.1.2.2.1.20.1"));
            for (unsigned long long v; out >> v;)
                values.push_back(v);
            return values;
        };
        // The host's traffic so far, once the collector has counted it.
        std::vector<unsigned long long> before = port1();
        for (int tries = 0; tries < 20 && (before.size() != 6 || before[0] == 0); tries++) {
            s.ping(1);
            usleep(250000);
            before = port1();
        }
        ASSERT_EQ(before.size(), 6u);
        ASSERT_GT(before[0], 0u);
        sh("ip netns exec " + s.host + " ping -i 0.2 -c 40 -W 1 " + s.address + " >/dev/null &");
        // The snake judges its ports by what they passed, and clears no
        // port's counters either.
        const std::string out =
            s.monitor("TestRun") +
            s.monitor("TestRun 39 PortBitMap=fe4-fe5 Count=1 Duration=1 LoopbackMode=PHY", 120);
        EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << out;
        EXPECT_EQ(counts(s, 30), std::make_pair(1, 0));
        EXPECT_EQ(counts(s, 31), std::make_pair(1, 0));
        EXPECT_TRUE(s.ping()) << "after the counter tests";
        // The agent answers from a reading a moment old: the host's traffic
        // since shows once it is fresh.
        std::vector<unsigned long long> after = port1();
        for (int tries = 0; tries < 40 && after.size() == 6 && after[0] == before[0]; tries++) {
            usleep(250000);
            after = port1();
        }
        ASSERT_EQ(after.size(), 6u);
        for (int octets : {0, 3}) {
            EXPECT_GE(after[octets], before[octets]) << octets;
            EXPECT_LT(after[octets] - before[octets], 1000000u) << octets;
        }
        for (int errors : {1, 2, 4, 5})
            EXPECT_EQ(after[errors], before[errors]) << errors;
    }

    // The administrator's configuration.
    s.monitor("VLAN create 10 PortBitMap=fe5-fe7 UntagBitMap=fe5");
    s.monitor("PVlan set fe5 10");
    s.monitor("L2 add MACaddress=00:00:00:00:0a:99 Vlanid=10 PortBitMap=fe6 STatic=true");
    s.monitor("port fe6 an=off sp=10 fd=false DISCard=all");
    const std::string before = configuration(s);
    ASSERT_NE(before.find("10      0x"), std::string::npos) << before;
    ASSERT_NE(before.find("Port fe5 default VLAN is 10"), std::string::npos) << before;
    ASSERT_NE(before.find("mac=00:00:00:00:0a:99 vlan=10"), std::string::npos) << before;

    // The PHY loopback on a member port and the snake on the whole default
    // port set pass and give everything back.
    std::string out = s.monitor("TestRun 49 PortBitMap=fe5,fe6 Count=1 LengthEnd=300 COSEnd=0");
    EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << out;
    EXPECT_EQ(counts(s, 49), std::make_pair(1, 0));
    EXPECT_EQ(settled_configuration(s, before), before);
    // Where the chip cannot stop learning, the test's source went with it.
    out = s.monitor("L2 show");
    EXPECT_EQ(out.find("mac=00:11:22:33:44:55"), std::string::npos) << out;
    EXPECT_TRUE(s.ping()) << "after test 49";
    out = s.monitor("TestRun 39 PortBitMap=fe,ge Count=1 Duration=1 LoopbackMode=PHY", 120);
    EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << out;
    EXPECT_NE(out.find(GetParam() == 52 ? "Port ge3 (" : "Port ge1 ("), std::string::npos) << out;
    EXPECT_EQ(counts(s, 39), std::make_pair(snmp_tools ? 2 : 1, 0));
    EXPECT_EQ(settled_configuration(s, before), before);
    EXPECT_TRUE(s.ping()) << "after test 39";

    // Refused parameters change nothing, and are not kept; runs that would
    // send nothing fail.
    for (const char *args : {"VLantag=4095", "VLantag=0", "Count=0", "PortBitMap=none",
                             "LengthStart=1000 LengthEnd=100"}) {
        out = s.monitor(std::string("TestRun 49 PortBitMap=fe5 ") + args);
        EXPECT_NE(out.find("Init function for test 49 (PHY Loopback - Mark 2) failed"),
                  std::string::npos)
            << args << "\n"
            << out;
        EXPECT_EQ(out.find("Saving ports"), std::string::npos) << args << "\n" << out;
    }
    EXPECT_EQ(counts(s, 49), std::make_pair(1, 5));
    EXPECT_EQ(settled_configuration(s, before), before);
    out = s.monitor("TestRun 49 PortBitMap=fe5 Count=1 LengthEnd=72 PktsPerTrialEnd=1 COSEnd=0");
    EXPECT_NE(out.find("recv 1 pkt"), std::string::npos) << out;

    // A web port change while a self-test holds the port is refused; the
    // port ends as it was.
    const std::string form = "port=6&admin=0&autonego=1&flow_ctrl=0&priority=0&pvid=1";
    // Each client's shell is waited for before its answer is read: a busy
    // host may finish it after the test.
    const std::string jobs = " & echo $! >> " + test_workdir::path() + "/jobs";
    sh("rm -f " + test_workdir::path() + "/jobs");
    sh("(sleep 3; ip netns exec " + s.fw + " curl -s -m 10 -b WebManaged=" + s.cookie + " -d '" +
       form + "' http://127.0.0.1:" + std::to_string(s.web_port()) + "/portset.cgi > " +
       test_workdir::path() + "/during.html)" + jobs);
    // SNMP's ifAdminStatus of the same port is refused too.
    const bool snmp = sh("snmpset -V") == 0;
    if (snmp)
        sh("(sleep 3; ip netns exec " + s.fw + " snmpset -v2c -c private -r 0 -t 3 127.0.0.1:" +
           std::to_string(s.sw->port_offset() + 161) + " .1.3.6.1.2.1.2.2.1.7.6 i 2 > " +
           test_workdir::path() + "/snmp.txt 2>&1)" + jobs);
    // The host pings the switch while the test runs: the switch stays
    // reachable while it tests other ports.
    sh("(sleep 2; ip netns exec " + s.host + " ping -c 3 -W 1 " + s.address + " > " +
       test_workdir::path() + "/ping.txt)" + jobs);
    out = s.monitor("TestRun 39 PortBitMap=fe4,fe5 Count=1 Duration=6 LoopbackMode=PHY", 120);
    EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << out;
    sh("for job in $(cat " + test_workdir::path() +
       "/jobs); do tail --pid=$job -f /dev/null; done");
    const std::string pinged = sh_out("cat " + test_workdir::path() + "/ping.txt");
    EXPECT_NE(pinged.find(" 0% packet loss"), std::string::npos) << pinged;
    const std::string during = sh_out("cat " + test_workdir::path() + "/during.html");
    EXPECT_NE(during.find("Port 6: port under self-test"), std::string::npos) << during;
    const std::string snmp_answer = sh_out("cat " + test_workdir::path() + "/snmp.txt");
    if (snmp) {
        EXPECT_NE(snmp_answer.find("Error"), std::string::npos) << snmp_answer;
    }
    EXPECT_EQ(settled_configuration(s, before), before);
    // Afterwards the same change is taken.
    EXPECT_EQ(s.web("/portset.cgi", form).find("self-test"), std::string::npos);
    EXPECT_NE(s.monitor("port fe5").find("DISABLED"), std::string::npos);
    s.web("/portset.cgi", "port=6&admin=1&autonego=1&flow_ctrl=0&priority=0&pvid=10");

    // The traffic test in External mode leaves no static entry of its own.
    out = s.monitor(
        "TestRun 72 PortBitMap=fe2-fe3 RunMode=External TimeInSeconds=1 "
        "CounterPollInterval=1",
        60);
    EXPECT_NE(out.find("TRAFFIC: setting up ports fe2, fe3: PORT VLAN L2 STAT"), std::string::npos)
        << out;
    out = test_addresses_left(s);
    EXPECT_EQ(out.find("00:00:00:00:fe:"), std::string::npos) << out;
    // Nor, looped back, an address learnt from its own frames.
    out = s.monitor(
        "TestRun 72 PortBitMap=fe4-fe5 RunMode=PHY TimeInSeconds=1 "
        "CounterPollInterval=1");
    EXPECT_NE(out.find("TEST passed"), std::string::npos) << out;
    out = test_addresses_left(s);
    EXPECT_EQ(out.find("00:00:00:00:fe:"), std::string::npos) << out;
    EXPECT_TRUE(s.ping()) << "after test 72";
    // The MAC driver refuses MAC loopback: said at set-up, without waiting
    // for a link; one port makes no pair and tests nothing.
    out = s.monitor("TestRun 72 PortBitMap=fe2-fe3 RunMode=MAC TimeInSeconds=1");
    EXPECT_NE(out.find("ERROR: port fe2: MAC loopback refused: Feature unavailable"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("waiting for link"), std::string::npos) << out;
    out = s.monitor("TestRun 72 PortBitMap=fe2 RunMode=PHY TimeInSeconds=1");
    EXPECT_NE(out.find("no pair of ports could be set up"), std::string::npos) << out;
    EXPECT_EQ(out.find("TEST passed"), std::string::npos) << out;
    // The CPU port pairs with none, and a snake needs two ports: both are
    // refused by name before anything is set.
    out = s.monitor("TestRun 72 PortBitMap=fe5,cpu0 RunMode=PHY TimeInSeconds=1");
    EXPECT_NE(out.find("port cpu0 is the CPU port: the test pairs front ports only"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("TRAFFIC:"), std::string::npos) << out;
    out = s.monitor("TestRun 39 PortBitMap=fe5 LoopbackMode=PHY Count=1 Duration=1");
    EXPECT_NE(out.find("PortBitMap fe5: the snake needs two ports"), std::string::npos) << out;
    EXPECT_EQ(out.find("Snake failed"), std::string::npos) << out;

    // The receive monitor prints the host's frames and leaves them to the
    // management interface; its stop leaves the receive service running.
    s.monitor("rxmon start");
    EXPECT_TRUE(s.ping()) << "with rxmon";
    out = s.monitor("rxmon stop");
    EXPECT_NE(out.find("RX packet "), std::string::npos) << out;
    out = s.monitor("rxmon");
    EXPECT_EQ(out.find("Active bitmap for RX is 0."), std::string::npos) << out;
    EXPECT_TRUE(s.ping()) << "after rxmon stop";
    s.monitor("rxmon stop");
    EXPECT_TRUE(s.ping()) << "after a second rxmon stop";

    // The packet watcher counts and decodes the ping to the switch.
    s.monitor("pw report +decode");
    out = s.monitor("pw start");
    EXPECT_TRUE(s.ping()) << "with pw";
    // The watcher's thread counts a moment after the reply went out.
    std::string count = s.monitor("pw count");
    for (int tries = 0; tries < 20 && count.find("Received 0 packets") != std::string::npos;
         tries++) {
        out += count;
        usleep(250000);
        count = s.monitor("pw count");
    }
    EXPECT_EQ(count.find("Received 0 packets"), std::string::npos) << count;
    out += count + s.monitor("pw stop");
    EXPECT_NE(out.find("Type-8 (Echo [RFC792])"), std::string::npos) << out;
    EXPECT_TRUE(s.ping()) << "after pw stop";

    // Watcher mode changes around a stopped receive service: no assertion,
    // the service comes back.
    for (const char *line : {"pw mode soc", "pw start", "pw stop", "pw mode rx", "rxmon init"})
        out += s.monitor(line);
    EXPECT_EQ(out.find("Assertion"), std::string::npos) << out;
    EXPECT_TRUE(s.ping()) << "after pw mode changes";
    EXPECT_EQ(count_of(s.monitor("rxmon"), "Active bitmap for RX is 0."), 0u);
}

// The monitor's output of a command, checked for a prompt.
std::string command(Switch &fw, const std::string &line, int seconds = 60) {
    std::string seen;
    if (!fw.run(line, "DXP.0> ", &seen, seconds)) ADD_FAILURE() << line << ": " << seen;
    return seen;
}

// A telnet session's answer to one command, up to its next prompt.
std::string telnet(int port, const std::string &line) {
    const int fd = switchfw_child::telnet_login(port, "qivor");
    if (fd < 0) return "no telnet login";
    switchfw_child::send_text(fd, line + "\r\n");
    std::string seen;
    switchfw_child::read_until(fd, &seen, "ecos>", 30);
    close(fd);
    return seen;
}

TEST_P(system_selftest, OtherManagersChangesDuringATestStayAndOnlyTheTestsOwnAreGivenBack) {
    if (!system_fixture::can_make_namespaces())
        GTEST_SKIP() << "needs root (the system tests' environment)";
    const int board = GetParam();
    const std::string dir = test_workdir::path();
    // The board starts from a flash of its own, not another board's.
    std::filesystem::remove(dir + "/flash.bin");
    std::string fe2_before, vlans_after;
    {
        Switch fw(dir, {"--board", std::to_string(board)});
        ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
        const int web = fw.port_offset() + 80;
        const std::string cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());

        // A tested port blocked in group 2 stays blocked, and the group keeps
        // its VLAN; the groups work afterwards.
        command(fw, "VLAN create 10 PortBitMap=fe5-fe7");
        command(fw, "STG create 2");
        command(fw, "STG add 2 10");
        command(fw, "STG stp 2 fe6 block");
        const std::string groups = command(fw, "STG show");
        std::string out = command(fw, "TestRun 49 PortBitMap=fe6-fe7 Count=1 LoopbackMode=PHY");
        EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << out;
        EXPECT_EQ(command(fw, "STG show"), groups);
        out = command(fw, "STG add 2 10");
        out += command(fw, "STG destroy 2");
        EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
        out = command(fw, "TestRun 39 PortBitMap=fe6-fe7 Count=1 Duration=1 LoopbackMode=PHY");
        EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << out;

        // A port's default priority is no part of the snake's frames, and
        // the port keeps it.
        command(fw, "PORT fe7 PRIOrity=5");
        const std::string fe7 = command(fw, "port fe7");
        out = command(fw, "TestRun 39 PortBitMap=fe7-fe8 Count=1 Duration=1 LoopbackMode=PHY");
        EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << out;
        EXPECT_EQ(command(fw, "port fe7"), fe7);
        command(fw, "VLAN destroy 10");

        // During the traffic test: a VLAN of untested ports is made on the
        // web, one with a tested port is refused, a telnet load names what
        // it skipped, and another port's Apply saves the port settings.
        const std::string zeros(static_cast<size_t>(board - 2), '0');
        std::string page =
            web_client::post(web, "/newvlan.cgi", "newid=33&values=022" + zeros.substr(1), cookie);
        EXPECT_EQ(page.find("ERROR"), std::string::npos) << page;
        fe2_before = command(fw, "port fe2");
        std::string seen;
        ASSERT_TRUE(
            fw.run("TestRun 72 PortBitMap=fe2-fe3 RunMode=PHY TimeInSeconds=8 "
                   "CounterPollInterval=4",
                   "TRAFFIC: setting up ports", &seen, 30))
            << seen;
        page = web_client::post(web, "/newvlan.cgi", "newid=31&values=22" + zeros, cookie);
        EXPECT_EQ(page.find("self-test"), std::string::npos) << page;
        page =
            web_client::post(web, "/newvlan.cgi", "newid=32&values=002" + zeros.substr(1), cookie);
        EXPECT_NE(page.find("Port 3: port under self-test"), std::string::npos) << page;
        // A VLAN with a tested port takes a free port; the tested one is left
        // to its test.
        page =
            web_client::post(web, "/setvlan.cgi", "vid=33&values=02202" + zeros.substr(3), cookie);
        EXPECT_EQ(page.find("ERROR"), std::string::npos) << page;
        EXPECT_EQ(page.find("self-test"), std::string::npos) << page;
        const std::string loaded = telnet(fw.port_offset() + 23, "load");
        EXPECT_NE(loaded.find("Settings loaded, except:"), std::string::npos) << loaded;
        EXPECT_NE(loaded.find("Port settings: port 3: port under self-test"), std::string::npos)
            << loaded;
        // The VLANs stored are those that run (each post saved them): that
        // item is not loaded again, so it skips nothing.
        EXPECT_EQ(loaded.find("VLAN table: "), std::string::npos) << loaded;
        page = web_client::post(web, "/portset.cgi",
                                "port=8&admin=1&autonego=1&flow_ctrl=0&priority=0&pvid=1", cookie);
        EXPECT_EQ(page.find("self-test"), std::string::npos) << page;
        // An ageing time set on the web during the test stays after it: the
        // chip, the page and the stored settings agree.
        page = web_client::post(web, "/aging.cgi", "enable=1&time=120", cookie);
        EXPECT_EQ(page.find("Retry"), std::string::npos) << page;
        // A mirror into or out of a tested port, a trunk that takes one and
        // the storm page's "all ports" change are refused, naming the port
        // and its test.
        const std::string none(board, '0'), fourth = "0001" + std::string(board - 4, '0');
        const struct {
            const char *path;
            std::string form;
            int port;
        } refused[] = {
            {"/mirror.cgi", "ingress=" + none + "&egress=" + none + "&mtp=3&mode=1", 3},
            {"/mirror.cgi", "ingress=" + fourth + "&egress=" + none + "&mtp=9&mode=1", 4},
            {"/trunk.cgi", "trunk_criteria=1&tgmember1=3,4&tgmember2=&tgmember3=", 3},
            {"/storm_per_port.cgi", "port=0&type=3&rate=512", 3},
        };
        for (const auto &r : refused) {
            page = web_client::post(web, r.path, r.form, cookie);
            EXPECT_NE(page.find("Port " + std::to_string(r.port) +
                                ": port under self-test (Traffic Test)"),
                      std::string::npos)
                << r.path << " " << r.form << "\n"
                << page;
        }
        ASSERT_TRUE(fw.run("", "DXP.0> ", &seen, 60)) << seen;
        EXPECT_NE(seen.find("TEST passed"), std::string::npos) << seen;
        EXPECT_NE(command(fw, "AGE").find("Current age timer is 120."), std::string::npos);
        EXPECT_NE(
            web_client::get(web, "/aging.htm", cookie).find("id=\"time\" size=\"8\" value=\"120\""),
            std::string::npos);
        EXPECT_EQ(system_fixture::backup_items(
                      web_client::body_of(web_client::get(web, "/dxpqsw.cfg", cookie)))["aging"],
                  "00000078");
        EXPECT_NE(command(fw, "TRunk show").find("[no matching trunks defined]"),
                  std::string::npos);
        vlans_after = command(fw, "VLAN show");
        EXPECT_NE(vlans_after.find("\n31      0x"), std::string::npos) << vlans_after;
        EXPECT_EQ(vlans_after.find("\n32      0x"), std::string::npos) << vlans_after;
        EXPECT_NE(vlans_after.find("\n33      0x0000000000000016  0x0000000000000000"),
                  std::string::npos)
            << vlans_after;
        EXPECT_NE(web_client::get(web, "/vlanlist.htm", cookie).find("showvlan.cgi?port=31\""),
                  std::string::npos);
        EXPECT_EQ(command(fw, "port fe2"), fe2_before);

        // The monitor's mirror and trunk commands are refused too while a
        // test runs in the background, and the test passes.
        const auto [passed, failed] = counts_in(fw.output("TestList 39"), 39);
        ASSERT_TRUE(
            fw.run("BackGround \"TestRun 39 PortBitMap=fe6-fe7 Count=1 Duration=4 "
                   "LoopbackMode=PHY\"",
                   "circular test on ports", &seen, 60))
            << seen;
        for (const char *line :
             {"MIRror Mode=L2 Port=fe6", "MIRror Mode=L2 Port=fe9 EgressBitMap=fe7",
              "TRunk add Id=1 Rtag=1 Pbmp=fe7-fe8", "RATE Limit=500 Bcast=1",
              "DTAG mode fe6 internal", "PortRate fe7 ingress 1024 48",
              "PortRate fe5-fe7 egress 1024 48", "COMBO fe6 copper Autoneg_Enable=0",
              "PHY fe7 0 0x2100", "CableDiag fe6"}) {
            const std::string answer = fw.output(line);
            EXPECT_NE(answer.find(": port under self-test"), std::string::npos) << line << "\n"
                                                                                << answer;
        }
        std::pair<int, int> now;
        for (int tries = 0; tries < 120; tries++) {
            now = counts_in(fw.output("TestList 39"), 39);
            if (now != std::make_pair(passed, failed)) break;
            usleep(500000);
        }
        EXPECT_EQ(now, std::make_pair(passed + 1, failed));
        // (The listing's "[no matching trunks defined]" is no output line.)
        out = fw.output("TRunk show") + fw.output("MIRror");
        EXPECT_EQ(out.find("trunk 1:"), std::string::npos) << out;
        EXPECT_NE(out.find("Mode=Off"), std::string::npos) << out;
        // No meter was set, on the tested ports nor beside them.
        out = fw.output("PortRate fe5-fe7");
        EXPECT_EQ(count_of(out, "value not set yet"), 6u) << out;

        // During a traffic test in the background, a change that reaches a
        // tested port is refused by name before anything changes, and the
        // test passes: moving a VLAN the port is in (11) or the test's own
        // (16, its first port's) to another group, a port more in the test's
        // VLAN, an address on the port or in that VLAN, DoS checks, a
        // multicast group that holds the port, its DSCP map and link scan;
        // on the web all ports' DoS checks and leaving DSCP mode. An address
        // in another VLAN of the port is taken.
        for (const char *line : {"VLAN create 11 PortBitMap=fe6,fe9", "STG create 5",
                                 "MCAST join MACaddress=01:00:5e:00:00:07 Vlanid=1 "
                                 "PortBitMap=fe6,fe9"}) {
            out = fw.output(line);
            EXPECT_EQ(out.find("ERROR"), std::string::npos) << line << "\n" << out;
        }
        fw.output("DOS fe9 enable 2");
        page = web_client::post(web, "/qos_enhance_mode.cgi", "mode=2", cookie);
        EXPECT_EQ(page.find("ERROR"), std::string::npos) << page;
        const auto kept = [&] {
            return fw.output("STG show") + fw.output("VLAN show") + fw.output("DOS fe6-fe7 show") +
                   fw.output("LINKscan") + fw.output("Getreg QOS_TOS_DIF_EN");
        };
        const std::string before_72 = kept();
        const auto [passed_72, failed_72] = counts_in(fw.output("TestList 72"), 72);
        ASSERT_TRUE(
            fw.run("BackGround \"TestRun 72 PortBitMap=fe6-fe7 RunMode=PHY "
                   "TimeInSeconds=8 CounterPollInterval=4\"",
                   "TRAFFIC: starting", &seen, 60))
            << seen;
        for (const char *line : {"STG add 5 16", "STG add 5 11", "VLAN add 16 PortBitMap=fe9",
                                 "L2 add MACaddress=00:00:00:00:0b:01 Vlanid=1 PortBitMap=fe6 "
                                 "STatic=true",
                                 "L2 add MACaddress=00:00:00:00:0b:02 Vlanid=16 PortBitMap=fe9 "
                                 "STatic=true",
                                 "DOS fe6 enable 2", "DOS all enable 4",
                                 "MCAST delete MACaddress=01:00:5e:00:00:07 Vlanid=1",
                                 "DSCP fe5-fe7 7 7", "LINKscan SwPortBitMap=fe0-fe5"}) {
            const std::string answer = fw.output(line);
            EXPECT_NE(answer.find("port fe6: port under self-test"), std::string::npos)
                << line << "\n"
                << answer;
        }
        out = fw.output("L2 add MACaddress=00:00:00:00:0b:03 Vlanid=11 PortBitMap=fe9 STatic=true");
        EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
        // The 26-port board has no DoS checks to hold: it refuses that first.
        page = web_client::post(web, "/dos.cgi", "checks=100", cookie);
        EXPECT_NE(page.find(board == 26 ? "has no field processor"
                                        : "Port 7: port under self-test (Traffic Test)"),
                  std::string::npos)
            << page;
        page = web_client::post(web, "/qos_enhance_mode.cgi", "mode=0", cookie);
        EXPECT_NE(page.find("Port 7: port under self-test"), std::string::npos) << page;
        page = web_client::post(web, "/l2add.cgi", "mac=00-00-00-00-0b-04&vid=1&port=7", cookie);
        EXPECT_NE(page.find("Port 7: port under self-test"), std::string::npos) << page;
        for (int tries = 0; tries < 120; tries++) {
            now = counts_in(fw.output("TestList 72"), 72);
            if (now != std::make_pair(passed_72, failed_72)) break;
            usleep(500000);
        }
        EXPECT_EQ(now, std::make_pair(passed_72 + 1, failed_72));
        // The test is counted once its restore has ended.
        EXPECT_EQ(kept(), before_72);
        out = fw.output("L2 show");
        EXPECT_EQ(out.find("00:00:00:00:0b:01"), std::string::npos) << out;
        EXPECT_EQ(out.find("00:00:00:00:0b:02"), std::string::npos) << out;
        EXPECT_EQ(out.find("00:00:00:00:0b:04"), std::string::npos) << out;
        EXPECT_NE(out.find("00:00:00:00:0b:03"), std::string::npos) << out;
        // Afterwards the same changes are taken.
        for (const char *line :
             {"MCAST delete MACaddress=01:00:5e:00:00:07 Vlanid=1", "STG add 5 11", "STG destroy 5",
              "L2 del MACaddress=00:00:00:00:0b:03 Vlanid=11", "VLAN destroy 11"}) {
            out = fw.output(line);
            EXPECT_EQ(out.find("ERROR"), std::string::npos) << line << "\n" << out;
        }
        page = web_client::post(web, "/qos_enhance_mode.cgi", "mode=0", cookie);
        EXPECT_EQ(page.find("self-test"), std::string::npos) << page;
        fw.output("DOS fe9 disable 2");

        // A trunk or a rate limit on a tested port is named and the run
        // refused before anything changes; without it the run passes.
        const std::string trunk_refusal =
            "Port fe10: the membership of trunk 1 changes the test frames";
        fw.output("TRunk add Id=1 Rtag=1 Pbmp=fe10-fe11");
        out = fw.output("TestRun 72 PortBitMap=fe10-fe11 TimeInSeconds=1 CounterPollInterval=1");
        EXPECT_NE(out.find(trunk_refusal), std::string::npos) << out;
        EXPECT_EQ(out.find("TRAFFIC:"), std::string::npos) << out;
        out = fw.output("TestRun 39 PortBitMap=fe10-fe11 Count=1 Duration=1 LoopbackMode=PHY");
        EXPECT_NE(out.find(trunk_refusal), std::string::npos) << out;
        fw.output("TRunk remove Id=1 Pbmp=fe10-fe11");
        fw.output("PortRate fe13 ingress 1024 48");
        out = fw.output("TestRun 72 PortBitMap=fe12-fe13 TimeInSeconds=1 CounterPollInterval=1");
        EXPECT_NE(out.find("Port fe13: the ingress rate limit changes the test frames"),
                  std::string::npos)
            << out;
        // A frame length the ports cannot take fails the run, saying so.
        out = fw.output(
            "TestRun 72 PortBitMap=fe10-fe11 TimeInSeconds=1 CounterPollInterval=1 Length=9000");
        EXPECT_NE(out.find("port fe10 cannot take 9000 byte frames (Length)"), std::string::npos)
            << out;
        EXPECT_EQ(out.find("TEST passed"), std::string::npos) << out;
        out = fw.output(
            "TestRun 72 PortBitMap=fe10-fe11 TimeInSeconds=1 CounterPollInterval=1 Length=1518");
        EXPECT_NE(out.find("TEST passed"), std::string::npos) << out;
        // No address learnt from the test's own frames stays behind (the
        // table is shown from a shadow that follows the chip).
        bool gone = false;
        for (int tries = 0; tries < 20 && !gone; tries++) {
            out = fw.output("L2 show");
            gone = out.find("mac=00:00:00:00:fe:00") == std::string::npos;
            if (!gone) usleep(250000);
        }
        EXPECT_TRUE(gone) << out;
        ASSERT_TRUE(fw.run("EXIT", "Resetting"));
    }
    // What was saved during the test brings the tested ports back as they
    // were before it.
    Switch fw(dir, {"--board", std::to_string(board)});
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    EXPECT_EQ(command(fw, "port fe2"), fe2_before);
    EXPECT_EQ(command(fw, "VLAN show"), vlans_after);
}

// A host that sends a broadcast and an IPv6 router solicitation five times
// a second each, in the background, for the seconds given.
void chatter(const std::string &space, const std::string &tap, int seconds) {
    const std::string mac = "020000c0ffee";
    const std::string broadcast = "ffffffffffff" + mac + "88b5" + std::string(92, '0');
    const std::string solicit = "333300000002" + mac + "86dd6000000000083aff" +
                                "fe80000000000000000000c0ffee0000" +
                                "ff020000000000000000000000000002" + "8500000000000000";
    sh("ip netns exec " + space + " timeout " + std::to_string(seconds) +
       " python3 -c 'import socket,sys,time\n"
       "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
       "while True:\n"
       "  s.send(bytes.fromhex(sys.argv[2])); s.send(bytes.fromhex(sys.argv[3])); "
       "time.sleep(0.2)' " +
       tap + " " + broadcast + " " + solicit + " &");
}

// The loopback test's announced total matches the product of its factors
// (no 32-bit wrap).
bool total_is_whole(const std::string &out) {
    const size_t at = out.find("LB: total ");
    unsigned long long total = 0, f[5] = {};
    return at != std::string::npos &&
           std::sscanf(out.c_str() + at,
                       "LB: total %llu pkt (%llu len * %llu COS * %llu port * %llu packets * "
                       "%llu count)",
                       &total, &f[0], &f[1], &f[2], &f[3], &f[4]) == 6 &&
           total == f[0] * f[1] * f[2] * f[3] * f[4] && total > 0xffffffffull;
}

TEST_P(system_selftest, OtherHostsFramesAndTheBreakKeyLeaveTheTestsSound) {
    if (!can_run()) GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip, ping and curl";
    // The board starts from a flash of its own.
    std::filesystem::remove(test_workdir::path() + "/flash.bin");
    InService s(GetParam());
    std::string why;
    ASSERT_TRUE(s.start(&why, true)) << why;
    ASSERT_TRUE(s.ping()) << "no answer from " << s.address;
    const std::string before = configuration(s);

    // A host on untested port 3 (fe2) chatters all along: its frames are no
    // part of the tests, fail no healthy port and never reach the looped-back
    // ports to come back through them.
    chatter(s.pair, s.tap(3), 240);
    sleep(1);  // the host is under way
    std::string out, all;
    for (int run = 0; run < 3; run++) {
        out = s.monitor("TestRun 49 PortBitMap=fe4-fe6 Count=20 LengthEnd=300 COSEnd=0", 120);
        EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << out;
        all += out;
    }
    EXPECT_EQ(all.find("foreign frames left to the management interface"), std::string::npos)
        << all;
    EXPECT_EQ(counts(s, 49), std::make_pair(3, 0));

    // Broadcasts at 20,000 frames/s on port 3 overrun the CPU port: the test
    // keeps other ports' flooded frames from it and the healthy ports pass.
    // Afterwards the management address is found by a broadcast again.
    const std::string running = test_workdir::path() + "/blasting";
    sh("touch " + running);
    sh("ip netns exec " + s.pair +
       " timeout 60 python3 -c 'import os,socket,sys,time\n"
       "s=socket.socket(socket.AF_PACKET,socket.SOCK_RAW); s.bind((sys.argv[1],0))\n"
       "f=bytes.fromhex(\"ffffffffffff020000c0ffee88b5\"+\"00\"*50); t=time.time(); n=0\n"
       "while os.path.exists(sys.argv[2]):\n"
       "  due=min(n+1000,(time.time()-t)*20000)\n"
       "  while n<due: s.send(f); n+=1\n' " +
       s.tap(3) + " " + running + " &");
    sleep(2);
    out = s.monitor("TestRun 49 PortBitMap=fe4-fe5 Count=4 LengthEnd=300 COSEnd=0", 120);
    EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << out;
    EXPECT_EQ(counts(s, 49), std::make_pair(4, 0));
    std::filesystem::remove(running);
    sh("ip -n " + s.host + " neigh flush all");
    EXPECT_TRUE(s.ping()) << "after the overrun";
    out = s.monitor(
        "TestRun 39 PortBitMap=fe4-fe7 Count=3 Duration=2 LoopbackMode=PHY SnakePath=TWOways", 120);
    EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << out;
    EXPECT_EQ(out.find("Unrecognized packet"), std::string::npos) << out;
    EXPECT_EQ(counts(s, 39), std::make_pair(1, 0));
    EXPECT_EQ(settled_configuration(s, before), before);
    EXPECT_TRUE(s.ping()) << "after the tests";

    // A Count past TestRun's loop bound is refused before anything changes.
    out = s.monitor("TestRun 49 PortBitMap=fe6 Count=99999999 LoopbackMode=PHY");
    EXPECT_NE(out.find("Count 99999999 too large (at most 1000000)"), std::string::npos) << out;
    EXPECT_EQ(out.find("Saving ports"), std::string::npos) << out;

    // The break key at the prompt drops the typed line.
    ASSERT_TRUE(s.sw->type("Echo typed-then-dropped"));
    usleep(300000);
    ASSERT_TRUE(s.sw->type("\x03"));
    ASSERT_TRUE(s.sw->run("", "DXP.0> ", &out)) << out;
    ASSERT_TRUE(s.sw->run("Echo typed-afterwards", "DXP.0> ", &out)) << out;
    // The terminal echoes the line, and the monitor runs it.
    EXPECT_EQ(count_of(out, "typed-afterwards\r\n"), 2u) << out;
    EXPECT_EQ(out.find("typed-then-dropped\r\n"), std::string::npos) << out;

    // During a long test it stops the test, which gives everything back; its
    // total is announced at full width. The program stays: web, ping.
    ASSERT_TRUE(
        s.sw->run("TestRun 49 PortBitMap=fe5 Count=1000000 LengthStart=72 LengthEnd=1522 "
                  "LengthIncrement=1 PktsPerTrialStart=1 PktsPerTrialEnd=16 "
                  "PktsPerTrialInc=1 COSEnd=0",
                  "Setting up ARL", &out, 60))
        << out;
    EXPECT_TRUE(total_is_whole(out)) << out;
    sleep(2);
    ASSERT_TRUE(s.sw->type("\x03"));
    ASSERT_TRUE(s.sw->run("", "Test 49 (PHY Loopback - Mark 2) stopped at the console\r\nDXP.0> ",
                          &out, 60))
        << out;
    // The refused run and the stopped one count as failures.
    EXPECT_EQ(counts(s, 49), std::make_pair(4, 2));
    EXPECT_EQ(settled_configuration(s, before), before);
    EXPECT_EQ(sh_out("ip netns exec " + s.fw + " curl -s -o /dev/null -w '%{http_code}' -m 10 " +
                     "http://127.0.0.1:" + std::to_string(s.web_port()) + "/login.htm"),
              "200");
    EXPECT_TRUE(s.ping()) << "after the break";
    // A loop of commands ends at the break too.
    // (Its first round's output, not the terminal's echo, says it runs.)
    ASSERT_TRUE(s.sw->run("FOR i=1,100000 'Echo round-$i; SLeep quiet 1'", "round-1\r\n", &out))
        << out;
    ASSERT_TRUE(s.sw->type("\x03"));
    EXPECT_TRUE(s.sw->run("", "DXP.0> ", &out, 60)) << out;

    // The snake passes the board's whole port set while static addresses
    // crowd the address table: a port whose link finds its slot taken moves
    // to another VLAN.
    const int vlans = GetParam() == 52 ? 40 : GetParam() == 28 ? 108 : 116;
    s.monitor("L2 add MACaddress=02:00:00:00:00:00 Vlanid=0x200 PortBitMap=fe,ge STatic=true");
    s.monitor("FOR v=0x201," + std::to_string(0x200 + vlans) +
                  " \"L2 add Vlanid=$v PortBitMap=fe,ge STatic=true\"",
              120);
    out = s.monitor("TestRun 39 PortBitMap=fe,ge Count=1 Duration=1 LoopbackMode=PHY", 180);
    EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << out;
    EXPECT_EQ(out.find("loop closure failed"), std::string::npos) << out;
    EXPECT_EQ(counts(s, 39), std::make_pair(2, 0));

    // The snake and the traffic test stop at the break as well, their ports
    // given back.
    const std::string ports_before = s.monitor("port fe4") + s.monitor("port fe5");
    const struct {
        const char *line, *running, *stopped;
    } long_runs[] = {
        {"TestRun 39 PortBitMap=fe4-fe5 Count=1 Duration=120 LoopbackMode=PHY",
         "circular test on ports", "Test 39 (New Snake Test) stopped at the console\r\nDXP.0> "},
        {"TestRun 72 PortBitMap=fe4-fe5 RunMode=PHY TimeInSeconds=120 CounterPollInterval=1",
         "TRAFFIC: mode", "Test 72 (Traffic Test) stopped at the console\r\nDXP.0> "},
    };
    for (const auto &r : long_runs) {
        ASSERT_TRUE(s.sw->run(r.line, r.running, &out, 60)) << out;
        ASSERT_TRUE(s.sw->type("\x03"));
        ASSERT_TRUE(s.sw->run("", r.stopped, &out, 60)) << r.line << "\n" << out;
    }
    // A break at the Stop-on-Error menu of a failing test stops it there,
    // through its done, as anywhere else in the test.
    s.monitor("TestMode +SOE");
    ASSERT_TRUE(s.sw->run("TestRun 72 PortBitMap=fe5 RunMode=PHY TimeInSeconds=1",
                          "Stop-on-Error action? ", &out, 60))
        << out;
    ASSERT_TRUE(s.sw->type("\x03"));
    ASSERT_TRUE(s.sw->run("", "Test 72 (Traffic Test) stopped at the console\r\nDXP.0> ", &out, 60))
        << out;
    EXPECT_EQ(out.find("Stop-on-Error ***"), std::string::npos) << out;
    // A test failing in the background opens no menu: the console stays the
    // monitor's, and the test stops, saying so, its ports given back.
    ASSERT_TRUE(s.sw->run("BackGround \"TestRun 72 PortBitMap=fe5 RunMode=PHY TimeInSeconds=1\"",
                          "Test 72 (Traffic Test) stopped in the background", &out, 60))
        << out;
    EXPECT_NE(out.find("runs in the background, where no menu opens: it is stopped"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("Stop-on-Error action?"), std::string::npos) << out;
    EXPECT_NE(s.monitor("Echo console-still-here").find("console-still-here\r\n"),
              std::string::npos);
    s.monitor("TestMode -SOE");
    EXPECT_EQ(s.monitor("port fe4") + s.monitor("port fe5"), ports_before);

    // The quit key ends the program, its flash written.
    ASSERT_TRUE(s.sw->type("\x1c"));
    EXPECT_EQ(s.sw->exit_status(10), 0);
    std::filesystem::remove(test_workdir::path() + "/flash.bin");
}

INSTANTIATE_TEST_SUITE_P(every_board, system_selftest, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param);
                         });

}  // namespace
