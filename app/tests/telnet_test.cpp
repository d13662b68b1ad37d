// The telnet daemon over loopback: login, shell, refused options and limits.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ecos_shell.h"
#include "sal_host.h"
#include "telnetd.h"

namespace {

class Client {
  public:
    explicit Client(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    }
    ~Client() { close(fd_); }
    bool connected() const { return connected_; }
    void send_text(const std::string &s) { send(fd_, s.data(), s.size(), MSG_NOSIGNAL); }
    // Reads until the text has arrived, the peer closes or 3 s pass.
    bool wait_for(const std::string &text) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (received_.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end || !read_some(50)) {
                return received_.find(text) != std::string::npos;
            }
        }
        return true;
    }
    bool closed_by_peer() {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (std::chrono::steady_clock::now() < end) {
            if (!read_some(50) && eof_) return true;
        }
        return false;
    }
    const std::string &received() const { return received_; }

  private:
    bool read_some(int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return true;  // nothing yet, keep waiting
        char buf[512];
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) {
            eof_ = true;
            return false;
        }
        received_.append(buf, static_cast<size_t>(n));
        return true;
    }
    int fd_ = -1;
    bool connected_ = false;
    bool eof_ = false;
    std::string received_;
};

// A TCP port nobody holds now, of the kernel's choice, so that parallel test
// programs do not collide.
int free_loopback_port() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bool ok = bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
              getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0;
    close(fd);
    return ok ? ntohs(a.sin_port) : 20023 + static_cast<int>(getpid() % 20000);
}

class telnet_test : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        sal_host_port_offset_set(free_loopback_port() - TELNETD_PORT);
        ecos_shell_init(nullptr);
        ASSERT_EQ(telnetd_start(), 0);
    }
    static void TearDownTestSuite() { telnetd_stop(); }
};

TEST_F(telnet_test, LoginThenShell) {
    Client c(telnetd_port());
    ASSERT_TRUE(c.connected());
    ASSERT_TRUE(c.wait_for("login: "));
    c.send_text("admin\r\n");
    ASSERT_TRUE(c.wait_for("password: "));
    c.send_text("qivor\r\n");
    ASSERT_TRUE(c.wait_for("ecos> "));
    c.send_text("help\r\n");
    ASSERT_TRUE(c.wait_for("counters"));
    EXPECT_NE(c.received().find("\r\n"), std::string::npos);
    c.send_text("exit\r\n");
    EXPECT_TRUE(c.closed_by_peer());
}

TEST_F(telnet_test, WrongPasswordIsRefusedAndThreeFailuresClose) {
    Client c(telnetd_port());
    ASSERT_TRUE(c.wait_for("login: "));
    for (int i = 0; i < 3; i++)
        c.send_text("admin\r\nnope\r\n");
    EXPECT_TRUE(c.closed_by_peer());
    EXPECT_NE(c.received().find("Login incorrect"), std::string::npos);
    EXPECT_EQ(c.received().find("ecos> "), std::string::npos);
}

TEST_F(telnet_test, OptionNegotiationIsRefusedNotTakenAsInput) {
    Client c(telnetd_port());
    ASSERT_TRUE(c.wait_for("login: "));
    // DO ECHO, WILL TERMINAL-TYPE, a subnegotiation, then the user name.
    const char nego[] = {'\xff', '\xfd', '\x01', '\xff', '\xfb', '\x18', '\xff',
                         '\xfa', '\x18', '\x00', 'x',    '\xff', '\xf0'};
    c.send_text(std::string(nego, sizeof nego) + "admin\r\nqivor\r\n");
    ASSERT_TRUE(c.wait_for("ecos> "));
    EXPECT_NE(c.received().find(std::string("\xff\xfc\x01", 3)), std::string::npos);
    EXPECT_NE(c.received().find(std::string("\xff\xfe\x18", 3)), std::string::npos);
}

TEST_F(telnet_test, OverLongLinesAndEarlyDisconnectAreSurvived) {
    {
        Client c(telnetd_port());
        ASSERT_TRUE(c.wait_for("login: "));
        c.send_text(std::string(5000, 'a') + "\r\n");
        ASSERT_TRUE(c.wait_for("password: "));
    }  // gone mid-login
    Client c2(telnetd_port());
    ASSERT_TRUE(c2.wait_for("login: "));
}

TEST_F(telnet_test, SessionsBeyondTheLimitAreRefused) {
    std::vector<std::unique_ptr<Client>> held;
    for (int i = 0; i < TELNETD_MAX_SESSIONS; i++) {
        held.push_back(std::make_unique<Client>(telnetd_port()));
        ASSERT_TRUE(held.back()->wait_for("login: "));
    }
    Client extra(telnetd_port());
    EXPECT_TRUE(extra.wait_for("Too many telnet sessions"));
    EXPECT_TRUE(extra.closed_by_peer());
}

}  // namespace
