// The firmware program end to end: first boot on an empty flash, telnet
// login, reboot with its exit status, and the settings kept across it.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Reads from fd until the text has been seen or the time is up.
bool read_until(int fd, std::string *seen, const std::string &text, int seconds = 10) {
    auto end = Clock::now() + std::chrono::seconds(seconds);
    while (seen->find(text) == std::string::npos) {
        if (Clock::now() > end) return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buf[1024];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) return seen->find(text) != std::string::npos;
        seen->append(buf, static_cast<size_t>(n));
    }
    return true;
}

class Firmware {
  public:
    Firmware(const fs::path &dir, int port_offset) {
        int in[2], out[2];
        EXPECT_EQ(pipe(in), 0);
        EXPECT_EQ(pipe(out), 0);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(out[1], 2);
            close(in[1]);
            close(out[0]);
            if (chdir(dir.c_str()) != 0) _exit(127);
            std::string offset = std::to_string(port_offset);
            execl(SWITCHFW_PATH, "switchfw", "--port-offset", offset.c_str(), "--flash",
                  "flash.bin", "--fs", "fs", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~Firmware() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(stdin_);
        close(stdout_);
    }
    bool wait_output(const std::string &text) { return read_until(stdout_, &output_, text); }
    const std::string &output() const { return output_; }
    // Exit status once the process ends, or -1 after the time-out.
    int wait_exit(int seconds) {
        auto end = Clock::now() + std::chrono::seconds(seconds);
        while (Clock::now() < end) {
            int status;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::string dummy;
            read_until(stdout_, &output_, "\x01never", 0);
            usleep(20000);
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    int stdin_ = -1, stdout_ = -1;
    std::string output_;
};

int telnet_connect(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void send_text(int fd, const std::string &s) {
    send(fd, s.data(), s.size(), MSG_NOSIGNAL);
}

TEST(startup_e2e, FirstBootTelnetLoginRebootAndSettingsKept) {
    fs::path dir = fs::temp_directory_path() / ("switchfw-e2e-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    int offset = 30000 + static_cast<int>(getpid() % 10000) * 3 % 20000;

    {
        Firmware fw(dir, offset);
        ASSERT_TRUE(fw.wait_output("login: ")) << fw.output();
        EXPECT_NE(fw.output().find("Loading factory defaults....."), std::string::npos);
        EXPECT_NE(fw.output().find("Network interface status: \n"), std::string::npos);

        int fd = telnet_connect(offset + 23);
        ASSERT_GE(fd, 0);
        std::string session;
        ASSERT_TRUE(read_until(fd, &session, "login: "));
        send_text(fd, "admin\r\nqivor\r\n");
        ASSERT_TRUE(read_until(fd, &session, "ecos> ")) << session;
        send_text(fd, "help\r\n");
        ASSERT_TRUE(read_until(fd, &session, "counters"));
        send_text(fd, "reboot\r\n");
        EXPECT_EQ(fw.wait_exit(10), 10) << fw.output();
        close(fd);
    }
    {
        Firmware fw(dir, offset);
        ASSERT_TRUE(fw.wait_output("login: ")) << fw.output();
        EXPECT_EQ(fw.output().find("Loading factory defaults"), std::string::npos) << fw.output();
    }
    fs::remove_all(dir);
}

}  // namespace
