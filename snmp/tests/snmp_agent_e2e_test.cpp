// The agent inside the running firmware, driven by Debian's SNMP tools with
// numeric OIDs: reads and walks on the 52- and 26-port boards, sets that reach
// the ports, refused writes, malformed packets, and a stored configuration
// (v3 user, community source, engine ID, trap stations) across a reboot.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>

#include "../../host/tests/switchfw_child.h"
#include "../../host/tests/trap_receiver.h"
#include "../../platform/tests/private_workdir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char *kSysName = ".1.3.6.1.2.1.1.5.0";
constexpr const char *kIfAdmin3 = ".1.3.6.1.2.1.2.2.1.7.3";

std::string run(const std::string &cmd) {
    std::string out;
    FILE *p = popen((cmd + " 2>&1").c_str(), "r");
    if (p == nullptr) return out;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    pclose(p);
    return out;
}

int lines(const std::string &text) {
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

// switchfw with its flash and file system in dir, the console on a pipe
// that stays open.
class Switch {
  public:
    Switch(const fs::path &dir, int offset, const char *board) {
        int in[2], out[2];
        EXPECT_EQ(pipe(in), 0);
        EXPECT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t io;
        posix_spawn_file_actions_init(&io);
        posix_spawn_file_actions_adddup2(&io, in[0], 0);
        posix_spawn_file_actions_adddup2(&io, out[1], 1);
        posix_spawn_file_actions_adddup2(&io, out[1], 2);
        posix_spawn_file_actions_addclose(&io, in[1]);
        posix_spawn_file_actions_addclose(&io, out[0]);
        std::string args[] = {"switchfw",
                              "--port-offset",
                              std::to_string(offset),
                              "--flash",
                              (dir / "flash.bin").string(),
                              "--fs",
                              (dir / "fs").string(),
                              "--board",
                              board};
        char *argv[std::size(args) + 1] = {};
        for (size_t i = 0; i < std::size(args); i++)
            argv[i] = args[i].data();
        EXPECT_EQ(posix_spawn(&pid_, SWITCHFW_PATH, &io, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&io);
        close(in[0]);
        close(out[1]);
        console_ = in[1];
        output_fd_ = out[0];
    }
    ~Switch() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(console_);
        close(output_fd_);
    }
    // Waits for text on the console (a slow, loaded machine: a minute).
    bool wait_for(const std::string &text, int seconds = 60) {
        auto end = Clock::now() + std::chrono::seconds(seconds);
        while (output_.find(text) == std::string::npos && Clock::now() < end) {
            pollfd p{output_fd_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buf[1024];
            ssize_t n = read(output_fd_, buf, sizeof buf);
            if (n <= 0) break;
            output_.append(buf, static_cast<size_t>(n));
        }
        return output_.find(text) != std::string::npos;
    }
    // The monitor's EXIT restarts the switch: exit status 10.
    int reboot() {
        const char cmd[] = "EXIT\n";
        if (write(console_, cmd, sizeof cmd - 1) < 0) return -1;
        int status = 0;
        auto end = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < end) {
            wait_for("\x01never", 1);  // drains the console meanwhile
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        }
        return -1;
    }
    bool alive() { return waitpid(pid_, nullptr, WNOHANG) == 0; }
    const std::string &output() const { return output_; }

  private:
    pid_t pid_ = -1;
    int console_ = -1, output_fd_ = -1;
    std::string output_;
};

using trap_receiver::TrapReceiver;

class snmp_agent_e2e : public ::testing::Test {
  protected:
    const int offset = switchfw_child::free_port_offset();
    const fs::path dir = fs::path(test_workdir::path()) / "switch";
    void SetUp() override { fs::create_directories(dir); }
    std::string agent() const { return "127.0.0.1:" + std::to_string(offset + 161); }
    // A request that must be answered has three tries of three seconds: the
    // agent of a sanitised build on a loaded machine may miss a shorter
    // deadline. One that must go unanswered has a single try.
    std::string v2c(const char *tool, const char *community, bool answered = true) const {
        return std::string(tool) + " -v2c -On " + (answered ? "-r 2 -t 3" : "-r 0 -t 2") + " -c " +
               community + " " + agent();
    }
    // A first start of the 26-port board makes the flash file.
    void first_boot() const {
        Switch sw(dir, offset, "26");
        ASSERT_TRUE(sw.wait_for("DXP.0> ")) << sw.output();
        EXPECT_EQ(sw.reboot(), 10);
    }
    std::string nvram_set(const std::string &key_value) const {
        return std::string(NVRAMTOOL_PATH) + " " + (dir / "flash.bin").string() + " set " +
               key_value;
    }
};

// Record of the "snmp" item: tables of 10 slots, words big-endian.
struct Record {
    std::string hex;
    void word(uint32_t v) {
        char b[9];
        std::snprintf(b, sizeof b, "%08x", v);
        hex += b;
    }
    void text(const std::string &s, size_t n) {
        for (size_t i = 0; i < n; i++) {
            char b[3];
            std::snprintf(b, sizeof b, "%02x", i < s.size() ? static_cast<unsigned char>(s[i]) : 0);
            hex += b;
        }
    }
};

// v2c community "public" for 127.0.0.1 only (read-only unless asked),
// "far" for 10.9.9.9 only; v3 user "u1" (SHA); one trap station on the
// test's receiver; both switches on.
std::string stored_config(int trap_port, bool public_writes = false) {
    Record r;
    r.word(2);  // users
    r.word(1), r.text("v2user", 36), r.word(0), r.word(2), r.word(0), r.text("", 34),
        r.text("", 34), r.word(0);
    r.word(2), r.text("u1", 36), r.word(1), r.word(3), r.word(2), r.text("u1secret1", 34),
        r.text("", 34), r.word(0);
    for (int i = 2; i < 10; i++)
        r.word(0), r.text("", 36), r.word(0), r.word(0), r.word(0), r.text("", 68), r.word(0);
    r.word(2);  // groups
    r.word(1), r.text("v2read", 36), r.word(2), r.word(1), r.word(1), r.word(public_writes);
    r.word(2), r.text("v3rw", 36), r.word(3), r.word(2), r.word(1), r.word(1);
    for (int i = 2; i < 10; i++)
        r.word(0), r.text("", 36), r.word(0), r.word(0), r.word(0), r.word(0);
    r.word(2);  // communities
    r.word(1), r.text("public", 36), r.word(0), r.word(0), r.text("127.0.0.1", 16);
    r.word(2), r.text("far", 36), r.word(0), r.word(0), r.text("10.9.9.9", 16);
    for (int i = 2; i < 10; i++)
        r.word(0), r.text("", 36), r.word(0), r.word(0), r.text("", 16);
    r.word(1);  // trap stations
    r.word(1), r.text("127.0.0.1:" + std::to_string(trap_port), 16), r.text("public", 36);
    for (int i = 1; i < 10; i++)
        r.word(0), r.text("", 16), r.text("", 36);
    r.word(0), r.text("", 33);  // engine ID: the default
    r.text("\x01\x01", 2);
    return r.hex;
}

TEST_F(snmp_agent_e2e, Board52ServesSystemInterfacesAndDot3) {
    Switch sw(dir, offset, "52");
    ASSERT_TRUE(sw.wait_for("DXP.0> ")) << sw.output();
    std::string sys = run(v2c("snmpwalk", "public") + " .1.3.6.1.2.1.1");
    EXPECT_NE(sys.find(".1.3.6.1.2.1.1.1.0 = STRING: \"RW-3090\""), std::string::npos) << sys;
    EXPECT_NE(sys.find(".1.3.6.1.2.1.1.7.0 = INTEGER: 7"), std::string::npos) << sys;
    EXPECT_EQ(run(v2c("snmpget", "public") + " .1.3.6.1.2.1.2.1.0"),
              ".1.3.6.1.2.1.2.1.0 = INTEGER: 52\n");
    EXPECT_EQ(lines(run(v2c("snmpwalk", "public") + " .1.3.6.1.2.1.2.2.1.1")), 52);
    std::string ports = run(v2c("snmpbulkwalk", "public") + " .1.3.6.1.2.1.2.2.1.2");
    EXPECT_EQ(lines(ports), 52);
    EXPECT_NE(ports.find(".1.3.6.1.2.1.2.2.1.2.52 = STRING: \"Port #52\""), std::string::npos);
    // The first boot stores eth1's address, 02:53:57:00:00:01, as the base.
    EXPECT_EQ(run(v2c("snmpget", "public") + " .1.3.6.1.2.1.2.2.1.6.3"),
              ".1.3.6.1.2.1.2.2.1.6.3 = Hex-STRING: 02 53 57 00 00 04 \n");
    std::string dot3 = run(v2c("snmpwalk", "public") + " .1.3.6.1.2.1.10.7");
    EXPECT_EQ(lines(dot3), 52 * 20) << dot3.substr(0, 400);
    EXPECT_NE(dot3.find(".1.3.6.1.2.1.10.7.5.1.3.52 = Counter32: 0"), std::string::npos);
    // The stack's groups answer from the stack the agent runs on: the
    // requests of this test alone were UDP datagrams received.
    std::string stack =
        run(v2c("snmpget", "public") + " .1.3.6.1.2.1.4.1.0 .1.3.6.1.2.1.7.1.0 .1.3.6.1.2.1.5.1.0");
    EXPECT_NE(stack.find(".1.3.6.1.2.1.4.1.0 = INTEGER:"), std::string::npos) << stack;
    EXPECT_NE(stack.find(".1.3.6.1.2.1.7.1.0 = Counter32:"), std::string::npos) << stack;
    EXPECT_EQ(stack.find(".1.3.6.1.2.1.7.1.0 = Counter32: 0\n"), std::string::npos) << stack;
    EXPECT_NE(stack.find(".1.3.6.1.2.1.5.1.0 = Counter32:"), std::string::npos) << stack;
    EXPECT_NE(run(v2c("snmpwalk", "public") + " .1.3.6.1.2.1.4.20.1.1")
                  .find(".1.3.6.1.2.1.4.20.1.1.127.0.0.1 = IpAddress: 127.0.0.1"),
              std::string::npos);
    // A walk of everything ends at the end of the MIB view.
    std::string all = run(v2c("snmpbulkwalk", "public") + " .1");
    EXPECT_NE(all.find("No more variables left in this MIB View"), std::string::npos)
        << all.substr(all.size() - 200);
    // No answer to an unknown community.
    EXPECT_NE(run(v2c("snmpget", "nobody", false) + " " + kSysName).find("Timeout"),
              std::string::npos);
}

TEST_F(snmp_agent_e2e, Board26SetsReachThePortsAndBadInputIsRefused) {
    Switch sw(dir, offset, "26");
    ASSERT_TRUE(sw.wait_for("DXP.0> ")) << sw.output();
    std::string set = v2c("snmpset", "private");
    EXPECT_EQ(run(set + " " + kSysName +
                  " s core-7 .1.3.6.1.2.1.1.4.0 s noc .1.3.6.1.2.1.1.6.0 s "
                  "rack-2 " +
                  kIfAdmin3 + " i 2"),
              std::string(kSysName) +
                  " = STRING: \"core-7\"\n.1.3.6.1.2.1.1.4.0 = STRING: \"noc\"\n"
                  ".1.3.6.1.2.1.1.6.0 = STRING: \"rack-2\"\n" +
                  kIfAdmin3 + " = INTEGER: 2\n");
    // Read back through the port API; port 4 untouched.
    EXPECT_EQ(run(v2c("snmpget", "public") + " " + kIfAdmin3 + " .1.3.6.1.2.1.2.2.1.7.4"),
              std::string(kIfAdmin3) + " = INTEGER: 2\n.1.3.6.1.2.1.2.2.1.7.4 = INTEGER: 1\n");
    EXPECT_EQ(lines(run(v2c("snmpwalk", "public") + " .1.3.6.1.2.1.2.2.1.7")), 26);

    const std::string too_long(300, 'a'), over_text(128, 'b');
    struct Bad {
        std::string args, reason;
    } bad[] = {
        {std::string(kSysName) + " s " + too_long, "wrongLength"},
        {std::string(kSysName) + " s " + over_text, "wrongLength"},
        {std::string(kSysName) + " x 417F", "wrongValue"},
        {std::string(kSysName) + " i 3", "wrongType"},
        {std::string(kIfAdmin3) + " i 4", "wrongValue"},
        {".1.3.6.1.2.1.2.2.1.7.4 i 3", "wrongValue"},
        {std::string(kIfAdmin3) + " s up", "wrongType"},
        {".1.3.6.1.2.1.2.2.1.7.27 i 1", "noCreation"},
        {".1.3.6.1.2.1.1.1.0 s x", "notWritable"},
    };
    for (const Bad &b : bad)
        EXPECT_NE(run(set + " " + b.args).find(b.reason), std::string::npos) << b.args;
    EXPECT_NE(run(v2c("snmpset", "public") + " " + kSysName + " s x").find("noAccess"),
              std::string::npos);
    // The refused writes changed nothing; a text of 127 bytes fits.
    EXPECT_EQ(run(v2c("snmpget", "public") + " " + kSysName),
              std::string(kSysName) + " = STRING: \"core-7\"\n");
    EXPECT_EQ(run(v2c("snmpget", "public") + " .1.3.6.1.2.1.2.2.1.7.4"),
              ".1.3.6.1.2.1.2.2.1.7.4 = INTEGER: 1\n");
    EXPECT_NE(run(set + " " + kSysName + " s " + std::string(127, 'c')).find("STRING"),
              std::string::npos);

    // Raw garbage and a cut message on the agent's port.
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(offset + 161));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const unsigned char junk[][12] = {
        {0x30, 0x82, 0xff, 0xff, 0x02, 0x01, 0x01},
        {0x30, 0x0a, 0x02, 0x01, 0x01, 0x04, 0x06, 'p', 'u', 'b'},
        {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff},
        {0x30, 0x00},
    };
    for (const auto &j : junk)
        sendto(fd, j, sizeof j, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    sendto(fd, "", 0, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    close(fd);
    EXPECT_EQ(run(v2c("snmpget", "public") + " .1.3.6.1.2.1.2.1.0"),
              ".1.3.6.1.2.1.2.1.0 = INTEGER: 26\n");
    EXPECT_TRUE(sw.alive());
}

TEST_F(snmp_agent_e2e, StoredConfigurationAppliesAfterReboot) {
    const int trap_port = offset + 162 + 2;
    ASSERT_NO_FATAL_FAILURE(first_boot());
    ASSERT_EQ(run(nvram_set("snmp " + stored_config(trap_port))), "");
    ASSERT_EQ(run(nvram_set("et1macaddr 00:10:18:aa:bb:f0")), "");
    TrapReceiver traps(dir, trap_port);
    Switch sw(dir, offset, "26");
    ASSERT_TRUE(sw.wait_for("DXP.0> ")) << sw.output();

    // The v3 user reads and writes, under the engine ID made from the MAC.
    std::string v3 = "snmpget -v3 -On -r 1 -t 2 -u u1 -l authNoPriv -a SHA -A u1secret1 ";
    EXPECT_EQ(run(v3 + "-e 0x800007e504001018aabbf0 " + agent() + " .1.3.6.1.2.1.2.1.0"),
              ".1.3.6.1.2.1.2.1.0 = INTEGER: 26\n");
    EXPECT_EQ(
        run(v3 + "-e 0x800007e50400000000000a " + agent() + " .1.3.6.1.2.1.2.1.0").find("INTEGER"),
        std::string::npos);
    EXPECT_NE(run("snmpget -v3 -On -r 1 -t 2 -u u1 -l authNoPriv -a SHA -A wrongpass1 " + agent() +
                  " .1.3.6.1.2.1.2.1.0")
                  .find("Authentication failure"),
              std::string::npos);
    // Port 26 of the base ...:bb:f0 carries into byte 4.
    EXPECT_EQ(run(v2c("snmpget", "public") + " .1.3.6.1.2.1.2.2.1.6.26"),
              ".1.3.6.1.2.1.2.2.1.6.26 = Hex-STRING: 00 10 18 AA BC 0A \n");
    // "far" is for another source; "public" reads but cannot write.
    EXPECT_NE(run(v2c("snmpget", "far", false) + " " + kSysName).find("Timeout"),
              std::string::npos);
    EXPECT_NE(run(v2c("snmpset", "public") + " " + kSysName + " s x").find("noAccess"),
              std::string::npos);
    // A wrong community makes an authenticationFailure trap, v1 and v2c.
    ASSERT_TRUE(traps.wait_for("NET-SNMP version")) << traps.log();
    run(v2c("snmpget", "wrong", false) + " " + kSysName);
    EXPECT_TRUE(traps.wait_for(".1.3.6.1.6.3.1.1.5.5")) << traps.log();
    EXPECT_TRUE(traps.wait_for("TRAP, SNMP v1, community public")) << traps.log();
    EXPECT_TRUE(traps.wait_for("Authentication Failure Trap")) << traps.log();
    // They come from the switch's address and name its sysObjectID.
    EXPECT_TRUE(traps.wait_for("192.168.1.1 [192.168.1.1] (via UDP")) << traps.log();
    EXPECT_TRUE(traps.wait_for(".1.3.6.1.6.3.1.1.4.3.0 = OID: .1.3.6.1.4.1.40413.1.3.90.1"))
        << traps.log();
    EXPECT_EQ(traps.log().find("8072"), std::string::npos) << traps.log();
    // A host repeating its wrong community is named in the log and gets a
    // burst of notifications, then only counts in the log.
    run("for i in $(seq 30); do snmpget -v2c -r 0 -t 0.1 -c wrong " + agent() + " " + kSysName +
        " >/dev/null 2>&1; done");
    EXPECT_TRUE(sw.wait_for("snmpd: request from 127.0.0.1 with a community it may not use ("))
        << sw.output();
    size_t v1_traps = 0;
    const std::string received = traps.log();
    for (size_t at = received.find("Authentication Failure Trap"); at != std::string::npos;
         at = received.find("Authentication Failure Trap", at + 1))
        v1_traps++;
    EXPECT_LE(v1_traps, 10u) << received;
}

TEST_F(snmp_agent_e2e, RmonTablesAndAnAlarmWhoseEventSendsATrap) {
    const int trap_port = offset + 162 + 2;
    ASSERT_NO_FATAL_FAILURE(first_boot());
    ASSERT_EQ(run(nvram_set("snmp " + stored_config(trap_port, true))), "");
    TrapReceiver traps(dir, trap_port);
    Switch sw(dir, offset, "26");
    ASSERT_TRUE(sw.wait_for("DXP.0> ")) << sw.output();
    const std::string get = v2c("snmpget", "public"), set = v2c("snmpset", "public");
    const std::string rmon = ".1.3.6.1.2.1.16";

    EXPECT_EQ(run(v2c("snmpgetnext", "public") + " " + rmon), rmon + ".1.1.1.1.1 = INTEGER: 1\n");
    EXPECT_EQ(lines(run(v2c("snmpwalk", "public") + " " + rmon + ".1.1.1.21")), 26);
    EXPECT_EQ(lines(run(v2c("snmpbulkwalk", "public") + " " + rmon + ".2.1.1.5")), 52);
    EXPECT_EQ(run(get + " " + rmon + ".1.1.1.2.3 " + rmon + ".2.1.1.5.27"),
              rmon + ".1.1.1.2.3 = OID: .1.3.6.1.2.1.2.2.1.1.3\n" + rmon +
                  ".2.1.1.5.27 = INTEGER: 3600\n");
    EXPECT_EQ(run(set + " " + rmon + ".1.1.1.21.1 i 1"), rmon + ".1.1.1.21.1 = INTEGER: 1\n");
    struct Bad {
        std::string args, reason;
    } bad[] = {
        {".1.1.1.20.2 s manager", "wrongValue"},
        {".1.1.1.5.2 i 3", "notWritable"},
        {".1.1.1.21.30 i 2", "resourceUnavailable"},
        {".3.1.1.2.9 i 5", "notWritable"},  // no such alarm
        {".9.2.1.4.1.1 s x", "notWritable"},
    };
    for (const Bad &b : bad) {
        std::string out = run(set + " " + rmon + b.args);
        EXPECT_NE(out.find(b.reason), std::string::npos) << b.args << ": " << out;
    }

    // Deletions the probe refuses answer its error and change nothing.
    EXPECT_NE(run(set + " " + rmon + ".1.1.1.21.2 i 4").find("resourceUnavailable"),
              std::string::npos);
    EXPECT_NE(run(set + " " + rmon + ".2.1.1.7.1 i 4").find("resourceUnavailable"),
              std::string::npos);
    // A status without an index names no row that could be made.
    EXPECT_NE(run(set + " " + rmon + ".3.1.1.12 i 2").find("noCreation"), std::string::npos);
    EXPECT_NE(run(set + " " + rmon + ".9.1.1.7 i 4").find("noCreation"), std::string::npos);
    EXPECT_EQ(run(get + " " + rmon + ".1.1.1.21.2 " + rmon + ".1.1.1.21.1"),
              rmon + ".1.1.1.21.2 = INTEGER: 3\n" + rmon + ".1.1.1.21.1 = INTEGER: 1\n");
    // A request that fails leaves no row behind; the corrected one makes it.
    const std::string missing = " = No Such Instance currently exists at this OID\n";
    EXPECT_NE(
        run(set + " " + rmon + ".3.1.1.12.10 i 2 " + rmon + ".3.1.1.4.10 i 3").find("wrongValue"),
        std::string::npos);
    EXPECT_EQ(run(get + " " + rmon + ".3.1.1.12.10"), rmon + ".3.1.1.12.10" + missing);
    EXPECT_NE(
        run(set + " " + rmon + ".9.1.1.7.5 i 2 " + rmon + ".9.1.1.3.5 i 9").find("wrongValue"),
        std::string::npos);
    EXPECT_EQ(run(get + " " + rmon + ".9.1.1.7.5"), rmon + ".9.1.1.7.5" + missing);
    EXPECT_EQ(run(set + " " + rmon + ".3.1.1.12.10 i 2 " + rmon + ".3.1.1.4.10 i 1"),
              rmon + ".3.1.1.12.10 = INTEGER: 2\n" + rmon + ".3.1.1.4.10 = INTEGER: 1\n");
    // A column the ACTION phase wrote gets its value back when a later
    // variable fails there: alarm 10 samples event 6's type, which is gone
    // when the alarm is made valid.
    ASSERT_NE(run(set + " " + rmon + ".9.1.1.7.6 i 2").find("INTEGER: 2"), std::string::npos);
    ASSERT_NE(run(set + " " + rmon + ".3.1.1.3.10 o " + rmon + ".9.1.1.3.6").find("OID"),
              std::string::npos);
    ASSERT_NE(run(set + " " + rmon + ".9.1.1.7.6 i 4").find("INTEGER: 4"), std::string::npos);
    EXPECT_NE(
        run(set + " " + rmon + ".3.1.1.2.10 i 77 " + rmon + ".3.1.1.12.10 i 1").find("wrongValue"),
        std::string::npos);
    EXPECT_EQ(run(get + " " + rmon + ".3.1.1.2.10 " + rmon + ".3.1.1.12.10"),
              rmon + ".3.1.1.2.10 = INTEGER: 0\n" + rmon + ".3.1.1.12.10 = INTEGER: 3\n");
    // A text is printable to its last byte, behind a NUL too.
    EXPECT_NE(run(set + " " + rmon + ".3.1.1.11.10 x 00FF41").find("wrongValue"),
              std::string::npos);
    // An empty text is a value like any other.
    EXPECT_EQ(run(set + " " + rmon + ".3.1.1.11.10 s \"\""), rmon + ".3.1.1.11.10 = \"\"\n");

    // An event that logs and traps, and an alarm on historyControlInterval.1
    // (1800) whose first sample rises above 100.
    ASSERT_NE(run(set + " " + rmon + ".9.1.1.7.1 i 2").find("INTEGER: 2"), std::string::npos);
    EXPECT_NE(run(set + " " + rmon + ".9.1.1.2.1 x 410001").find("wrongValue"), std::string::npos);
    ASSERT_NE(run(set + " " + rmon + ".9.1.1.3.1 i 4 " + rmon + ".9.1.1.4.1 s public " + rmon +
                  ".9.1.1.7.1 i 1")
                  .find(".9.1.1.7.1 = INTEGER: 1"),
              std::string::npos);
    ASSERT_NE(run(set + " " + rmon + ".3.1.1.12.2 i 2").find("INTEGER: 2"), std::string::npos);
    std::string alarm =
        run(set + " " + rmon + ".3.1.1.3.2 o " + rmon + ".2.1.1.5.1 " + rmon + ".3.1.1.2.2 i 1 " +
            rmon + ".3.1.1.7.2 i 100 " + rmon + ".3.1.1.8.2 i -5 " + rmon + ".3.1.1.9.2 i 1 " +
            rmon + ".3.1.1.12.2 i 1");
    ASSERT_NE(alarm.find(".3.1.1.12.2 = INTEGER: 1"), std::string::npos) << alarm;
    EXPECT_EQ(run(get + " " + rmon + ".3.1.1.8.2"), rmon + ".3.1.1.8.2 = INTEGER: -5\n");
    // A valid alarm or event is not deleted: the alarm keeps sampling.
    EXPECT_NE(run(set + " " + rmon + ".3.1.1.12.2 i 4").find("genErr"), std::string::npos);
    EXPECT_NE(run(set + " " + rmon + ".9.1.1.7.1 i 4").find("genErr"), std::string::npos);
    EXPECT_EQ(run(get + " " + rmon + ".3.1.1.12.2 " + rmon + ".9.1.1.7.1"),
              rmon + ".3.1.1.12.2 = INTEGER: 1\n" + rmon + ".9.1.1.7.1 = INTEGER: 1\n");
    ASSERT_TRUE(traps.wait_for("TRAP, SNMP v1, community public")) << traps.log();
    EXPECT_TRUE(traps.wait_for(rmon + ".0.1")) << traps.log();  // risingAlarm, v2c
    EXPECT_TRUE(traps.wait_for(rmon + ".3.1.1.5.2 = INTEGER: 1800")) << traps.log();
    // Both forms carry the switch's address, not the loopback.
    EXPECT_TRUE(traps.wait_for(".1.3.6.1.6.3.18.1.3.0 = IpAddress: 192.168.1.1")) << traps.log();
    EXPECT_TRUE(traps.wait_for("192.168.1.1 [192.168.1.1] (via UDP")) << traps.log();
    EXPECT_NE(run(get + " " + rmon + ".9.2.1.4.1.1")
                  .find("Alarm(#id=2) rising event!  [Variable=1.3.6.1.2.1.16.2.1.1.5.1;  "
                        "type=absolute(1); value=1800; threshold=100]"),
              std::string::npos);
    // An instance is the index, a log line's with its event's: no
    // sub-identifier more or less reads or makes a row.
    for (const char *wrong : {".9.2.1.4.1", ".3.1.1.8.2.0", ".1.1.1.2.3.0", ".9.1.1.3.1.0"})
        EXPECT_EQ(run(get + " " + rmon + wrong), rmon + wrong + missing);
    EXPECT_NE(run(set + " " + rmon + ".3.1.1.12.5.7 i 2").find("noCreation"), std::string::npos);
    EXPECT_NE(run(set + " " + rmon + ".3.1.1.11.2.0 s x").find("notWritable"), std::string::npos);
    EXPECT_EQ(run(get + " " + rmon + ".3.1.1.12.5 " + rmon + ".3.1.1.11.2"),
              rmon + ".3.1.1.12.5" + missing + rmon + ".3.1.1.11.2 = \"\"\n");
}

}  // namespace
