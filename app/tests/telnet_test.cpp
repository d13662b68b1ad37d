// The telnet daemon over loopback: login, shell, options, limits and time-outs.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app_test_env.h"
#include "ecos_shell.h"
#include "logger.h"
#include "sal.h"
#include "sal_host.h"
#include "telnetd.h"

namespace {

using app_test::eventually;
using Clock = std::chrono::steady_clock;

class Client {
  public:
    // from: the loopback address the client connects from, so that one test
    // appears as several hosts.
    explicit Client(int port, int receive_buffer = 0, const char *from = nullptr) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        if (receive_buffer > 0)
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
        if (from != nullptr) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            inet_pton(AF_INET, from, &local.sin_addr);
            bind(fd_, reinterpret_cast<sockaddr *>(&local), sizeof local);
        }
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    }
    ~Client() { close(fd_); }
    bool connected() const { return connected_; }
    void send_text(const std::string &s) { send(fd_, s.data(), s.size(), MSG_NOSIGNAL); }
    // Reads until the text has arrived, the peer closes or 3 s pass; each
    // empty round moves the manual clock by tick_usecs.
    bool wait_for(const std::string &text, uint64_t tick_usecs = 0) {
        auto end = Clock::now() + std::chrono::seconds(3);
        while (received_.find(text) == std::string::npos) {
            if (Clock::now() > end || !read_some(50)) break;
            if (tick_usecs != 0) sal_clock_advance(tick_usecs);
        }
        return received_.find(text) != std::string::npos;
    }
    bool closed_by_peer(uint64_t tick_usecs = 0, int within_ms = 3000) {
        auto end = Clock::now() + std::chrono::milliseconds(within_ms);
        while (Clock::now() < end) {
            if (!read_some(50) && eof_) return true;
            if (tick_usecs != 0) sal_clock_advance(tick_usecs);
        }
        return false;
    }
    bool log_in() {
        if (!wait_for("login: ")) return false;
        send_text("admin\r\n");
        if (!wait_for("password: ")) return false;
        send_text("qivor\r\n");
        return wait_for("ecos> ");
    }
    const std::string &received() const { return received_; }

  private:
    bool read_some(int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return true;  // nothing yet, keep waiting
        char buf[4096];
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

// The board's console: counts the lines the console logger writes there.
std::atomic<int> board_log_lines{0};
int board_write(void *, const char *buf, size_t len) {
    if (std::string(buf, len).find("] SYSTEM: ") != std::string::npos) board_log_lines++;
    return static_cast<int>(len);
}
const sal_console_ops board_capture{.ctx = nullptr, .write = board_write, .read_line = nullptr};

std::vector<std::string> ram_log_texts(int module) {
    logger *ram = logger_ram_get();
    uint32_t first = 0;
    int n = ram->ops->count(&first, ram);
    std::vector<std::string> texts;
    for (int i = 0; i < n; i++) {
        logger_record rec{first + static_cast<uint32_t>(i), -1, -1, 0};
        char text[LOGGER_TEXT_MAX];
        if (ram->ops->read(&rec, text, sizeof text, ram) > 0 && rec.module == module)
            texts.push_back(text);
    }
    return texts;
}

class telnetd : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        sal_clock_manual(1000000);
        sal_console_default_set(&board_capture);
        ASSERT_EQ(logger_init(), 0);
        sal_host_port_offset_set(free_loopback_port() - TELNETD_PORT);
        ecos_shell_init(nullptr);
        ASSERT_EQ(telnetd_start(), 0);
    }
    static void TearDownTestSuite() {
        telnetd_stop();
        sal_console_default_set(nullptr);
        sal_clock_real();
    }
    void SetUp() override {
        logger *ram = logger_ram_get();
        ram->ops->clear(ram);
    }
    // Sessions of one case are gone before the next begins.
    void TearDown() override {
        EXPECT_TRUE(eventually([] { return telnetd_session_count() == 0; }));
    }
};

TEST_F(telnetd, LoginThenShell) {
    Client c(telnetd_port());
    ASSERT_TRUE(c.connected());
    ASSERT_TRUE(c.log_in());
    c.send_text("help\r\n");
    ASSERT_TRUE(c.wait_for("counters"));
    EXPECT_NE(c.received().find("\r\n"), std::string::npos);
    c.send_text("exit\r\n");
    EXPECT_TRUE(c.closed_by_peer());
    EXPECT_EQ(ram_log_texts(LOG_MOD_TELNET),
              std::vector<std::string>{"User admin logined from 127.0.0.1"});
}

TEST_F(telnetd, FailedLoginsAreLoggedSlowedAndCloseAfterThree) {
    Client c(telnetd_port());
    ASSERT_TRUE(c.wait_for("login: "));
    for (int i = 0; i < 3; i++)
        c.send_text("admin\r\nnope\r\n");
    // Each failure waits a second of the platform clock before going on.
    ASSERT_TRUE(c.wait_for("Login incorrect"));
    EXPECT_TRUE(c.closed_by_peer(200000));
    EXPECT_EQ(c.received().find("ecos> "), std::string::npos);
    EXPECT_NE(c.received().find("Too many failed logins"), std::string::npos);
    std::vector<std::string> three(3, "Incorrect login username(admin) or password from 127.0.0.1");
    EXPECT_EQ(ram_log_texts(LOG_MOD_TELNET), three);
}

TEST_F(telnetd, OptionNegotiationIsRefusedNotTakenAsInput) {
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

// An interrupt (IAC IP, or Ctrl-C from a client in character mode) drops
// what was typed of the line: only what follows it is read.
TEST_F(telnetd, InterruptDropsTheLineTypedSoFar) {
    Client c(telnetd_port());
    ASSERT_TRUE(c.wait_for("login: "));
    c.send_text(
        "adm\xff\xf4"
        "admin\r\nqi\x03qivor\r\n");
    ASSERT_TRUE(c.wait_for("ecos> "));
    c.send_text(
        "help\x03"
        "exit\r\n");
    EXPECT_TRUE(c.closed_by_peer());
    EXPECT_EQ(c.received().find("Unknown command"), std::string::npos) << c.received();
}

// A line longer than the shell reads is refused whole: cut, this one would
// be a plain "exit".
TEST_F(telnetd, OverlongLineRunsNothing) {
    Client c(telnetd_port());
    ASSERT_TRUE(c.log_in());
    c.send_text("exit" + std::string(300, ' ') + "now\r\n");
    ASSERT_TRUE(c.wait_for("Error: line longer than 255 characters: not taken"));
    c.send_text("help\r\n");
    ASSERT_TRUE(c.wait_for("counters"));
    c.send_text("exit\r\n");
    EXPECT_TRUE(c.closed_by_peer());
}

TEST_F(telnetd, PasswordIsNeitherEchoedNorLeftToTheClientToEcho) {
    const std::string will_echo("\xff\xfb\x01\xff\xfb\x03", 6);  // WILL ECHO, WILL SGA
    const std::string wont_echo("\xff\xfc\x01\xff\xfc\x03", 6);
    Client c(telnetd_port());
    ASSERT_TRUE(c.wait_for("login: "));
    c.send_text("admin\r\n");
    ASSERT_TRUE(c.wait_for(will_echo + "password: "));
    // A client agrees (DO ECHO, DO SGA) and sends the password one key at a time.
    c.send_text(std::string("\xff\xfd\x01\xff\xfd\x03", 6));
    for (char k : std::string("qivor\r"))
        c.send_text(std::string(1, k));
    c.send_text(std::string(1, '\0'));
    ASSERT_TRUE(c.wait_for("ecos> "));
    std::string after = c.received().substr(c.received().find("password: ") + 10);
    after = after.substr(0, after.find("ecos> "));
    EXPECT_EQ(after, wont_echo + "\r\n");  // no password byte, no refusal of the client's DO
}

TEST_F(telnetd, SilentClientsTimeOutAndFreeTheirSlots) {
    std::vector<std::unique_ptr<Client>> held;
    for (int i = 0; i < TELNETD_MAX_SESSIONS; i++) {
        held.push_back(std::make_unique<Client>(telnetd_port()));
        ASSERT_TRUE(held.back()->wait_for("login: "));
    }
    {
        Client extra(telnetd_port());
        EXPECT_TRUE(extra.wait_for("Too many telnet sessions"));
        EXPECT_TRUE(extra.closed_by_peer());
    }
    sal_clock_advance((TELNETD_LOGIN_SECONDS + 1) * 1000000ull);
    for (auto &c : held) {
        EXPECT_TRUE(c->closed_by_peer());
        EXPECT_NE(c->received().find("Login timed out"), std::string::npos);
    }
    Client fifth(telnetd_port());
    EXPECT_TRUE(fifth.wait_for("login: "));
}

TEST_F(telnetd, AnAddressHoldingEverySlotGivesWayOnlyWhereItHoldsMore) {
    std::vector<std::unique_ptr<Client>> flood;
    for (int i = 0; i < TELNETD_MAX_SESSIONS; i++) {
        flood.push_back(std::make_unique<Client>(telnetd_port(), 0, "127.0.0.2"));
        ASSERT_TRUE(flood.back()->wait_for("login: "));
    }
    auto pushed_out = [&flood] {
        int closed = 0;
        for (auto &c : flood)
            closed += c->closed_by_peer(0, 100) ? 1 : 0;
        return closed;
    };
    // Another address gets a login at once and the flood loses its oldest.
    Client admin(telnetd_port(), 0, "127.0.0.3");
    ASSERT_TRUE(admin.log_in());
    EXPECT_TRUE(flood.front()->closed_by_peer());
    EXPECT_EQ(pushed_out(), 1);
    // The flood's own newcomer finds no slot it may take.
    Client more(telnetd_port(), 0, "127.0.0.2");
    EXPECT_TRUE(more.wait_for("Too many telnet sessions"));
    // Newcomers take the flood's slots while it holds two more than they;
    // then every address holds one, and the next newcomer is refused: the
    // logged-in session keeps its slot throughout.
    Client second(telnetd_port(), 0, "127.0.0.4");
    Client third(telnetd_port(), 0, "127.0.0.5");
    EXPECT_TRUE(second.wait_for("login: "));
    EXPECT_TRUE(third.wait_for("login: "));
    EXPECT_EQ(pushed_out(), 3);
    Client fourth(telnetd_port(), 0, "127.0.0.6");
    EXPECT_TRUE(fourth.wait_for("Too many telnet sessions"));
    admin.send_text("help\r\n");
    EXPECT_TRUE(admin.wait_for("counters"));
    EXPECT_EQ(ram_log_texts(LOG_MOD_TELNET).front(),
              "Login from 127.0.0.2 closed for one from 127.0.0.3: 127.0.0.2 held 4 sessions");
    admin.send_text("exit\r\n");
    EXPECT_TRUE(admin.closed_by_peer());
}

TEST_F(telnetd, IdleShellSessionEndsWithAMessage) {
    Client c(telnetd_port());
    ASSERT_TRUE(c.log_in());
    sal_clock_advance((TELNETD_LOGIN_SECONDS + 1) * 1000000ull);
    c.send_text("help\r\n");  // input restarts the idle time
    ASSERT_TRUE(c.wait_for("counters"));
    sal_clock_advance((TELNETD_IDLE_SECONDS - 1) * 1000000ull);
    EXPECT_FALSE(c.closed_by_peer(0, 600));  // the session looks at least every 250 ms
    sal_clock_advance(2000000);
    EXPECT_TRUE(c.closed_by_peer());
    EXPECT_NE(c.received().find("No input for 10 minutes"), std::string::npos);
}

TEST_F(telnetd, ClientThatNeverReadsHoldsUpNoOneElse) {
    // Each "load" logs far more than the socket buffers of a session hold.
    constexpr int kLoads = 400, kLinesPerLoad = 40;
    ecos_shell_services s{};
    s.settings_load = [](char *, int) {
        for (int i = 0; i < kLinesPerLoad; i++)
            logger_printf(LOG_LEVEL_WARNING, LOG_MOD_SYSTEM, "%s", std::string(200, 'w').c_str());
        return 1;
    };
    ecos_shell_init(&s);
    board_log_lines = 0;
    Client stuck(telnetd_port(), 4096);
    ASSERT_TRUE(stuck.log_in());
    std::string flood;
    for (int i = 0; i < kLoads; i++)
        flood += "load\r\n";
    stuck.send_text(flood);  // and never read again

    // Logging from elsewhere goes on while the session works through it, and
    // the session's own lines reach the board's console.
    auto end = Clock::now() + std::chrono::seconds(10);
    while (board_log_lines.load() < kLoads * kLinesPerLoad && Clock::now() < end) {
        auto logged = std::make_shared<std::atomic<bool>>(false);
        std::thread probe([logged] {
            logger_puts(LOG_LEVEL_INFO, LOG_MOD_WEB, "probe");
            *logged = true;
        });
        bool ok = eventually([&] { return logged->load(); });
        if (!ok) probe.detach();  // stuck behind the session: the fault
        ASSERT_TRUE(ok);
        probe.join();
    }
    ASSERT_EQ(board_log_lines.load(), kLoads * kLinesPerLoad);
    Client other(telnetd_port());
    ASSERT_TRUE(other.log_in());
    other.send_text("help\r\n");
    EXPECT_TRUE(other.wait_for("counters"));
    EXPECT_EQ(other.received().find("wwww"), std::string::npos);
    ecos_shell_init(nullptr);
}

}  // namespace
