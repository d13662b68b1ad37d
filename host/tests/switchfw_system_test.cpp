// Two Linux network namespaces ping each other through switchfw's simulated
// switch over TAP devices; the switch learns both addresses on their ports,
// and once the ports sit in different VLANs the ping fails. Needs root
// (CAP_NET_ADMIN), /dev/net/tun, ip and ping; skips without them.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../../platform/tests/private_workdir.h"
#include "switchfw_child.h"

namespace {

namespace fs = std::filesystem;

int sh(const std::string &cmd) {
    int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string sh_out(const std::string &cmd) {
    std::string out;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out;
}

// switchfw with two TAPs and its monitor on a pipe.
class Switch {
  public:
    Switch(const fs::path &dir, int offset, const std::string &tap1, const std::string &tap2) {
        switchfw_child::Child child = switchfw_child::start(
            dir, {"--bus", "direct", "--port-offset", std::to_string(offset), "--tap", "1=" + tap1,
                  "--tap", "2=" + tap2, "--flash", "flash.bin", "--fs", "fs"});
        pid_ = child.pid;
        in_ = child.in;
        out_ = child.out;
    }
    ~Switch() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(in_);
        close(out_);
    }
    // Sends a monitor line (if any) and collects output up to the text.
    bool run(const std::string &line, const std::string &text, std::string *seen = nullptr) {
        std::string buf;
        if (!line.empty() && write(in_, (line + "\n").data(), line.size() + 1) < 0) return false;
        bool found = switchfw_child::read_until(out_, &buf, text, 20);
        if (seen) *seen = buf;
        return found;
    }

  private:
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
};

// Namespaces and the host's blackhole route of the test subnet, removed on
// every way out.
struct Netns {
    std::string a, b, subnet;
    ~Netns() {
        sh("ip netns del " + a);
        sh("ip netns del " + b);
        sh("ip route del blackhole " + subnet);
    }
};

TEST(switchfw_system, NamespacesPingThroughTheSwitchUntilVlansSeparateThem) {
    if (geteuid() != 0 || access("/dev/net/tun", R_OK | W_OK) != 0 || sh("ip -V") != 0 ||
        sh("ping -V") != 0)
        GTEST_SKIP() << "needs root (CAP_NET_ADMIN), /dev/net/tun, ip and ping";
    int id = static_cast<int>(getpid() % 10000);
    std::string tap1 = "swfa" + std::to_string(id), tap2 = "swfb" + std::to_string(id);
    std::string net = "10.199." + std::to_string(id % 250) + ".";
    Netns ns{"swfnsa" + std::to_string(id), "swfnsb" + std::to_string(id), net + "0/24"};
    ASSERT_EQ(sh("ip route add blackhole " + ns.subnet), 0);
    ASSERT_EQ(sh("ip netns add " + ns.a), 0);
    ASSERT_EQ(sh("ip netns add " + ns.b), 0);

    Switch sw(test_workdir::path(), switchfw_child::free_port_offset(), tap1, tap2);
    ASSERT_TRUE(sw.run("", "DXP.0> "));
    for (auto [tap, space, host] : {std::tuple{tap1, ns.a, 1}, std::tuple{tap2, ns.b, 2}}) {
        ASSERT_EQ(sh("ip link set " + tap + " netns " + space), 0);
        ASSERT_EQ(
            sh("ip -n " + space + " addr add " + net + std::to_string(host) + "/24 dev " + tap), 0);
        ASSERT_EQ(sh("ip -n " + space + " link set " + tap + " up"), 0);
    }
    std::string ping = "ip netns exec " + ns.a + " ping -c 1 -W 1 " + net + "2";
    bool reached = false;
    for (int i = 0; i < 10 && !reached; i++)
        reached = sh(ping) == 0;
    ASSERT_TRUE(reached) << "no ping through the switch";

    // Both stations learned on their ports (chip ports 0 and 1).
    for (auto [tap, space, port] : {std::tuple{tap1, ns.a, 0}, std::tuple{tap2, ns.b, 1}}) {
        std::string link = sh_out("ip -n " + space + " link show " + tap);
        auto at = link.find("link/ether ");
        ASSERT_NE(at, std::string::npos) << link;
        std::string mac = link.substr(at + 11, 17);
        std::string hex;
        for (char ch : mac)
            if (ch != ':') hex += ch;
        // The firmware's own table accesses share these registers with the
        // console, so a read that raced one of them shows another address:
        // read again.
        std::string seen, want = "ARL_MACADDR=0x" + hex.substr(hex.find_first_not_of('0'));
        for (int tries = 0; tries < 5 && seen.find(want) == std::string::npos; tries++) {
            ASSERT_TRUE(sw.run("Setreg ARLA_MAC 0x" + hex, "DXP.0> "));
            ASSERT_TRUE(sw.run("Setreg ARLA_RWCTL 0x81", "DXP.0> "));
            ASSERT_TRUE(sw.run("Getreg ARLA_ENTRY", "ARL_MACADDR", &seen));
        }
        EXPECT_NE(seen.find(want), std::string::npos) << mac << ": " << seen;
        EXPECT_NE(seen.find("ARL_VALID=1"), std::string::npos) << mac << ": " << seen;
        EXPECT_NE(seen.find("ARL_PID=" + std::to_string(port) + ","), std::string::npos) << seen;
    }

    // Port 2 moves to VLAN 2: the replies no longer reach port 1.
    ASSERT_TRUE(sw.run("DISPatch vcreate 0 2", "DXP.0> "));
    ASSERT_TRUE(sw.run("Setreg DEFAULT_1Q_TAG.fe1 2", "DXP.0> "));
    EXPECT_NE(sh(ping), 0);
    EXPECT_NE(sh(ping), 0);

    // A TAP that disappears takes the port's link down; the switch runs on.
    ASSERT_EQ(sh("ip -n " + ns.b + " link del " + tap2), 0);
    EXPECT_TRUE(sw.run("", "went away"));
    std::string seen;
    EXPECT_TRUE(sw.run("Getreg LNKSTS", "LNK_STS=", &seen));
    EXPECT_NE(seen.find("=0x1000000000001:"), std::string::npos) << seen;  // port 1 down
}

TEST(switchfw_system, BadTapEndsTheProgramWithTheReason) {
    std::string run = std::string(SWITCHFW_PATH) + " --flash f.bin --fs fs --exit-on-eof ";
    std::string out = sh_out(run + "--board 28 --tap 40=swfbad </dev/null 2>&1; echo rc=$?");
    EXPECT_NE(out.find("--tap 40=swfbad: port 40 is not a front-panel port 1-28"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("rc=1"), std::string::npos) << out;
    out = sh_out(run + "--tap swfbad </dev/null 2>&1; echo rc=$?");
    EXPECT_NE(out.find("--tap needs PORT=IFNAME"), std::string::npos) << out;
    EXPECT_NE(out.find("rc=2"), std::string::npos) << out;
}

}  // namespace
