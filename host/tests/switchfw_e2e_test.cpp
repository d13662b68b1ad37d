// The firmware program end to end: first boot on an empty flash to the
// monitor on the console, telnet login, a setting changed over the web,
// reboot with its exit status, the settings kept across it, the reset button,
// and the monitor driven over a pseudo-terminal.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "switchfw_child.h"
#include "web_client.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using switchfw_child::read_until;
using switchfw_child::send_text;
using switchfw_child::telnet_connect;
using switchfw_child::telnet_login;

class Firmware {
  public:
    // The console on pipes, or on a pseudo-terminal; the board's port count
    // and the managers' test hook when given.
    Firmware(const fs::path &dir, int port_offset, bool pty = false, const char *board = "52",
             const char *manager_hook = nullptr) {
        switchfw_child::Child child = switchfw_child::start(
            dir,
            {"--port-offset", std::to_string(port_offset), "--flash", "flash.bin", "--fs", "fs",
             "--board", board},
            pty, manager_hook != nullptr ? "SWITCHFW_TEST_MANAGERS" : nullptr, manager_hook);
        pid_ = child.pid;
        stdin_ = child.in;
        stdout_ = child.out;
    }
    ~Firmware() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdin_ >= 0) close(stdin_);
        close(stdout_);
    }
    // The bounds only catch a program that hangs: a busy host may take long.
    static constexpr int kHangSeconds = 120;
    bool wait_output(const std::string &text) {
        return read_until(stdout_, &output_, text, kHangSeconds);
    }
    // Types a console line and waits for the text it should bring.
    bool command(const std::string &line, const std::string &text) {
        output_.clear();
        std::string typed = line + "\n";
        if (write(stdin_, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size()))
            return false;
        return wait_output(text);
    }
    void end_input() {
        close(stdin_);
        stdin_ = -1;
    }
    void signal(int sig) { kill(pid_, sig); }
    const std::string &output() const { return output_; }
    // Exit status once the process ends, or -1 after the time-out.
    int wait_exit(int seconds = kHangSeconds) {
        auto end = Clock::now() + std::chrono::seconds(seconds);
        while (Clock::now() < end) {
            int status;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                read_until(stdout_, &output_, "\x01never", 1);  // up to the end of output
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            // Drains the output meanwhile; waits up to 100 ms for it.
            read_until(stdout_, &output_, "\x01never", 0);
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    int stdin_ = -1, stdout_ = -1;
    std::string output_;
};

// Logs in over the web and changes the administrator's password.
bool change_password(int port, const std::string &from, const std::string &to) {
    std::string cookie = web_client::login(port, from);
    if (cookie.empty()) return false;
    web_client::post(port, "/password.cgi", "o=" + from + "&n=" + to + "&c=" + to, cookie);
    return true;
}

bool logged_in(int port, const std::string &password) {
    int fd = telnet_login(port, password);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

std::string nvram_value(const fs::path &flash, const std::string &key) {
    std::string command =
        std::string(NVRAMTOOL_PATH) + " " + flash.string() + " get " + key + " 2>/dev/null";
    FILE *p = popen(command.c_str(), "r");
    if (p == nullptr) return "";
    char line[256] = "";
    if (std::fgets(line, sizeof line, p) == nullptr) line[0] = '\0';
    pclose(p);
    std::string value = line;
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r'))
        value.pop_back();
    return value;
}

// Logs in over the web once the firmware has booted: the session cookie, ""
// when it did not boot or refused.
std::string boot_and_login(Firmware &fw, int port) {
    return fw.wait_output("DXP.0> ") ? web_client::login(port, "qivor") : "";
}

class startup_e2e : public ::testing::Test {
  protected:
    fs::path dir;
    int offset = 0;
    void SetUp() override {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() /
              ("switchfw-e2e-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        offset = switchfw_child::free_port_offset();
    }
    void TearDown() override { fs::remove_all(dir); }
};

TEST_F(startup_e2e, FirstBootTelnetLoginRebootAndSettingsKept) {
    {
        Firmware fw(dir, offset);
        ASSERT_TRUE(fw.wait_output("DXP.0> ")) << fw.output();
        EXPECT_NE(fw.output().find("Loading factory defaults....."), std::string::npos);
        EXPECT_NE(fw.output().find("Network interface status: \n"), std::string::npos);
        // An empty store is no fault of a new board.
        EXPECT_EQ(fw.output().find("WARNING"), std::string::npos) << fw.output();

        ASSERT_TRUE(change_password(offset + 80, "qivor", "Sw1tch"));
        int fd = telnet_login(offset + 23, "Sw1tch");
        ASSERT_GE(fd, 0);
        std::string session;
        send_text(fd, "help\r\n");
        ASSERT_TRUE(read_until(fd, &session, "counters"));
        send_text(fd, "reboot\r\n");
        EXPECT_EQ(fw.wait_exit(), 10) << fw.output();
        close(fd);
    }
    EXPECT_EQ(nvram_value(dir / "flash.bin", "firmware_version"), "RW3090");
    {
        Firmware fw(dir, offset);
        ASSERT_TRUE(fw.wait_output("DXP.0> ")) << fw.output();
        EXPECT_EQ(fw.output().find("Loading factory defaults"), std::string::npos) << fw.output();
        EXPECT_TRUE(logged_in(offset + 23, "Sw1tch"));
    }
}

// A VLAN, a trunk and a static address made through the managers come back
// after a reboot, in the managers and in the chip.
TEST_F(startup_e2e, ManagersKeepVlanTrunkAndStaticAddressAcrossReboot) {
    const std::string expected =
        "Managers: vlan 1 vlan 100 [1,2/2] trunk 0 [3,4] static 1\n"
        "Chip: vlan 100 2 ports trunk 0 2 ports static on 4 (static)";
    {
        Firmware fw(dir, offset, false, "26", "create");
        ASSERT_TRUE(fw.wait_output("DXP.0> ")) << fw.output();
        EXPECT_NE(fw.output().find(expected), std::string::npos) << fw.output();
        fw.command("EXIT", "");  // the monitor restarts the switch
        EXPECT_EQ(fw.wait_exit(), 10) << fw.output();
    }
    EXPECT_EQ(nvram_value(dir / "flash.bin", "firmware_version"), "DXP97102R24GM");
    {
        Firmware fw(dir, offset, false, "26", "show");
        ASSERT_TRUE(fw.wait_output("DXP.0> ")) << fw.output();
        EXPECT_NE(fw.output().find(expected), std::string::npos) << fw.output();
    }
}

TEST_F(startup_e2e, ResetButtonErasesTheSettingsAndRestarts) {
    {
        Firmware fw(dir, offset);
        ASSERT_TRUE(fw.wait_output("DXP.0> ")) << fw.output();
        ASSERT_TRUE(change_password(offset + 80, "qivor", "Sw1tch"));
        ASSERT_TRUE(logged_in(offset + 23, "Sw1tch"));
        fw.signal(SIGUSR1);
        EXPECT_EQ(fw.wait_exit(), 10) << fw.output();
        EXPECT_NE(fw.output().find("Reset button pressed"), std::string::npos) << fw.output();
    }
    EXPECT_EQ(nvram_value(dir / "flash.bin", "password"), "");
    {
        Firmware fw(dir, offset);
        ASSERT_TRUE(fw.wait_output("DXP.0> ")) << fw.output();
        EXPECT_NE(fw.output().find("Loading factory defaults....."), std::string::npos);
        EXPECT_TRUE(logged_in(offset + 23, "qivor"));
    }
}

TEST_F(startup_e2e, MonitorOverAPtyAndAPipe) {
    {
        Firmware fw(dir, offset, true);
        ASSERT_TRUE(fw.wait_output("DXP.0> ")) << fw.output();
        EXPECT_TRUE(fw.command("EXPR 3 + 4; Echo $?", "7\r\nDXP.0> ")) << fw.output();
        EXPECT_TRUE(fw.command("0:Echo $unit $devname", "0 DXP7101")) << fw.output();
        EXPECT_TRUE(fw.command("1:Echo x", "Error: Unit 1 out of range")) << fw.output();
        EXPECT_TRUE(fw.command("0::", "Override default SOC device set to 0")) << fw.output();
        EXPECT_TRUE(fw.command("0:", "Default SOC device set to 0")) << fw.output();
        EXPECT_TRUE(fw.command("pbmp fe0", "0x0000000000000001 ==> fe0")) << fw.output();
        EXPECT_TRUE(fw.command("SHell", "ecos> ")) << fw.output();
        EXPECT_TRUE(fw.command("counters clear", "Interface counters cleared")) << fw.output();
        EXPECT_TRUE(fw.command("counters", "Received:  0\r\n")) << fw.output();
        EXPECT_TRUE(fw.command("exit", "DXP.0> ")) << fw.output();
        EXPECT_TRUE(fw.command("EXIT", "Resetting...")) << fw.output();
        EXPECT_EQ(fw.wait_exit(), 10) << fw.output();
    }
    {
        Firmware fw(dir, offset);
        ASSERT_TRUE(fw.wait_output("DXP.0> ")) << fw.output();
        EXPECT_TRUE(fw.command("Echo $units; bogus", "1\nUnknown command: bogus\nDXP.0> "))
            << fw.output();
        // The end of a piped console neither reboots nor spins.
        fw.end_input();
        EXPECT_TRUE(fw.wait_output("EOF\n")) << fw.output();
        EXPECT_EQ(fw.wait_exit(1), -1) << fw.output();
        EXPECT_EQ(fw.output().find("Resetting"), std::string::npos) << fw.output();
    }
}

// The port pages through the web server: a port's settings changed by the
// form are shown by the pages, refused forms change nothing, and the
// settings come back after a reboot. The hook makes VLAN 100.
TEST_F(startup_e2e, PortSettingsThroughTheWebSurviveAReboot) {
    const std::string presets[] = {"admin = Number(\"1\")",    "autonego = Number(\"0\")",
                                   "speed = Number(\"2\")",    "flow_ctrl = Number(\"1\")",
                                   "priority = Number(\"5\")", "pvid = Number(\"100\")"};
    const int web = offset + 80;
    {
        Firmware fw(dir, offset, false, "52", "create");
        std::string cookie = boot_and_login(fw, web);
        ASSERT_FALSE(cookie.empty()) << fw.output();
        std::string answer = web_client::post(
            web, "/portset.cgi",
            "port=3&admin=1&autonego=0&speed=2&flow_ctrl=1&priority=5&pvid=100", cookie);
        EXPECT_NE(answer.find("Port Configuration"), std::string::npos) << answer;
        answer =
            web_client::post(web, "/portset.cgi",
                             "port=4&admin=1&autonego=1&flow_ctrl=0&priority=0&pvid=4095", cookie);
        EXPECT_NE(answer.find("PVID is not an existent vlan id: port "), std::string::npos)
            << answer;
        answer = web_client::get(web, "/portconf.htm", cookie);
        EXPECT_NE(answer.find("<td>100</td>"), std::string::npos) << answer;
        // The panel is served without a session, but shows no live state.
        answer = web_client::get(web, "/top.htm");
        EXPECT_NE(answer.find("200 OK"), std::string::npos);
        EXPECT_EQ(answer.find("lgreen.gif"), std::string::npos);
        answer = web_client::post(web, "/clear_counter.cgi", "port=all", cookie);
        EXPECT_NE(answer.find("counters.cgi?port=52"), std::string::npos);
        answer = web_client::post(web, "/voip.cgi", "profiles=1", cookie);
        EXPECT_NE(answer.find("value=\"1\" selected>IP Phone"), std::string::npos) << answer;
        fw.command("EXIT", "");
        EXPECT_EQ(fw.wait_exit(), 10) << fw.output();
    }
    EXPECT_NE(nvram_value(dir / "flash.bin", "portconf"), "");
    {
        Firmware fw(dir, offset);
        ASSERT_TRUE(fw.wait_output("DXP.0> ")) << fw.output();
        const std::string cookie = web_client::login(web, "qivor");
        std::string form = web_client::get(web, "/setport.cgi?port=3", cookie);
        for (const std::string &preset : presets)
            EXPECT_NE(form.find(preset), std::string::npos) << preset << "\n" << form;
        form = web_client::get(web, "/voip.htm", cookie);  // Auto VoIP came back on at load
        EXPECT_NE(form.find("value=\"1\" selected>IP Phone"), std::string::npos) << form;
    }
}

// A trunk request moves its members' PVIDs to 1: the stored port settings
// follow, so a reboot brings back the trunk with the PVIDs that ran.
TEST_F(startup_e2e, TrunkChangeAndItsMembersPvidsSurviveAReboot) {
    const int web = offset + 80;
    {
        Firmware fw(dir, offset, false, "26", "create");
        std::string cookie = boot_and_login(fw, web);
        ASSERT_FALSE(cookie.empty()) << fw.output();
        std::string answer =
            web_client::post(web, "/portset.cgi",
                             "port=5&admin=1&autonego=1&flow_ctrl=0&priority=0&pvid=100", cookie);
        EXPECT_EQ(answer.find("ERROR"), std::string::npos) << answer;
        answer = web_client::post(web, "/trunk.cgi",
                                  "trunk_criteria=1&tgmember1=5,6&tgmember2=&tgmember3=", cookie);
        EXPECT_NE(answer.find("gm[1 - 1] = [5,6,0,0];"), std::string::npos) << answer;
        fw.command("EXIT", "");
        EXPECT_EQ(fw.wait_exit(), 10) << fw.output();
    }
    {
        Firmware fw(dir, offset, false, "26", "show");
        ASSERT_TRUE(fw.wait_output("DXP.0> ")) << fw.output();
        EXPECT_NE(fw.output().find("trunk 0 [5,6]"), std::string::npos) << fw.output();
        EXPECT_NE(fw.output().find("trunk 0 2 ports"), std::string::npos) << fw.output();
        const std::string cookie = web_client::login(web, "qivor");
        std::string form = web_client::get(web, "/setport.cgi?port=5", cookie);
        EXPECT_NE(form.find("pvid = Number(\"1\")"), std::string::npos) << form;
    }
}

}  // namespace
