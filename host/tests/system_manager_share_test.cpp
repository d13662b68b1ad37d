// The managers share their request slots out by client address: one
// address holding every web slot with requests it never finishes keeps no
// other address waiting, and its own newcomers push out only its own
// sessions; one address flooding the web and the SNMP agent crowds out no
// other manager's connections and requests.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "../../platform/tests/private_workdir.h"
#include "starved_thread.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

using Clock = std::chrono::steady_clock;
using system_fixture::Switch;

// A socket connected to the server on 127.0.0.1 from the given loopback
// address, so that one test appears as several hosts. A non-blocking one
// may still be connecting.
int connect_from(const char *from, int port, int type = SOCK_STREAM) {
    int fd = socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, from, &a.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        (connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0 && errno != EINPROGRESS)) {
        close(fd);
        return -1;
    }
    return fd;
}

// A request whose headers never end holds its slot until the server's
// request deadline.
int unfinished_request(const char *from, int port) {
    int fd = connect_from(from, port);
    if (fd >= 0) switchfw_child::send_text(fd, "GET /login.htm HTTP/1.0\r\nX-Slow: 1\r\n");
    return fd;
}

// The answer to the rest of the request, up to the server's close.
std::string finish(int fd, const std::string &rest, bool closing = true) {
    switchfw_child::send_text(fd, rest);
    std::string answer;
    switchfw_child::read_until(fd, &answer, "\x01never", 10);
    if (closing) close(fd);
    return answer;
}

// True when the server has closed the connection.
bool closed_by_server(int fd) {
    pollfd p{fd, POLLIN, 0};
    char byte;
    return poll(&p, 1, 0) == 1 && recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
}

TEST(manager_share, OneAddressHoldingEveryWebSlotKeepsNoOtherWaiting) {
    Switch fw(test_workdir::path(), {"--board", "28"});
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    const int web = fw.port_offset() + 80;
    ASSERT_NE(web_client::get(web, "/login.htm").find(" 200 "), std::string::npos);

    // A lighter client's slow request, then a flood of unfinished requests
    // from one address: more than the server has slots.
    const int lighter = unfinished_request("127.0.0.4", web);
    ASSERT_GE(lighter, 0);
    std::vector<int> flood;
    for (int i = 0; i < 40; i++)
        flood.push_back(unfinished_request("127.0.0.2", web));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    // Another manager is answered at once, long before any flood session
    // has stalled.
    const auto asked = Clock::now();
    int manager = connect_from("127.0.0.3", web);
    ASSERT_GE(manager, 0);
    const std::string answer = finish(manager, "GET /login.htm HTTP/1.0\r\n\r\n");
    EXPECT_LT(Clock::now() - asked, std::chrono::seconds(1));
    EXPECT_NE(answer.find(" 200 "), std::string::npos) << answer;
    int pushed_out = 0;
    for (int fd : flood)
        pushed_out += closed_by_server(fd) ? 1 : 0;
    EXPECT_GE(pushed_out, 1);

    // Once every slow request has stalled, the flood's newcomers take the
    // flood's own slots, not the lighter client's.
    std::this_thread::sleep_for(std::chrono::milliseconds(3200));
    for (int i = 0; i < 8; i++)
        flood.push_back(unfinished_request("127.0.0.2", web));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string late = finish(lighter, "\r\n");
    EXPECT_NE(late.find(" 200 "), std::string::npos) << late;
    for (int fd : flood)
        if (fd >= 0) close(fd);

    // Clients resetting their connections before the answer: the console
    // says so once, then how many more it folded.
    std::string console;
    ASSERT_TRUE(fw.answer("", &console));
    const linger reset{1, 0};
    for (int i = 0; i < 300; i++) {
        int fd = connect_from("127.0.0.5", web);
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        switchfw_child::send_text(fd, "GET /login.htm HTTP/1.0\r\n\r\n");
        close(fd);
    }
    console.clear();
    ASSERT_TRUE(fw.read_more(&console, "more like this folded)\n", 60)) << console;
    EXPECT_EQ(system_fixture::count_of(console, "socket_send failed!"), 2u) << console;
}

// An SNMPv2c GET of sysUpTime.0 with community "public".
std::string uptime_get(uint8_t request_id) {
    const std::string oid = {0x06, 0x08, 0x2b, 6, 1, 2, 1, 1, 3, 0};
    const std::string binding = std::string{0x30, static_cast<char>(oid.size() + 2)} + oid + "\x05";
    const std::string bindings =
        std::string{0x30, static_cast<char>(binding.size() + 1)} + binding + '\0';
    const std::string body = std::string{0x02, 0x01, static_cast<char>(request_id)} +
                             std::string{0x02, 0x01, 0x00, 0x02, 0x01, 0x00} + bindings;
    const std::string message =
        std::string{0x02, 0x01, 0x01, 0x04, 0x06} + "public" +
        std::string{static_cast<char>(0xa0), static_cast<char>(body.size())} + body;
    return std::string{0x30, static_cast<char>(message.size())} + message;
}

// Beside one address's floods of the web and the agent, on a host so busy
// that the servers' threads get a share of a processor, another manager's
// connections are taken at once (the kernel retransmits nothing of them: it
// dropped none) and none of its requests goes unanswered. Its answers may
// be slow; each is waited for.
TEST(manager_share, OneAddressFloodingTheAgentCrowdsOutNoOtherManager) {
    Switch fw(test_workdir::path(), {"--board", "28"});
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    const int agent = fw.port_offset() + 161, web = fw.port_offset() + 80;
    const int manager = connect_from("127.0.0.3", agent, SOCK_DGRAM);
    ASSERT_GE(manager, 0);
    timeval limit{10, 0};
    setsockopt(manager, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    auto answered = [manager](uint8_t id) {
        switchfw_child::send_text(manager, uptime_get(id));
        char reply[512];
        for (ssize_t got; (got = recv(manager, reply, sizeof reply, 0)) > 0;) {
            if (std::string(reply, static_cast<size_t>(got)).find({0x02, 0x01, char(id)}) !=
                std::string::npos)
                return true;
        }
        return false;
    };
    ASSERT_TRUE(answered(1));
    starved_thread::Starved busy_agent(starved_thread::thread_named(fw.pid(), "snmpd"), 5);
    starved_thread::Starved busy_web(starved_thread::thread_named(fw.pid(), "httpd"), 5);
    ASSERT_TRUE(busy_agent.pinned() && busy_web.pinned());

    // Far more requests than the agent answers (up to 10,000 a second), and
    // 200 connections at a time, from one address, until the manager is done.
    std::atomic<bool> done{false};
    std::thread flood([&done, agent] {
        int fd = connect_from("127.0.0.2", agent, SOCK_DGRAM);
        const std::string get = uptime_get(2);
        char reply[512];
        while (!done) {
            for (int i = 0; i < 50; i++)
                send(fd, get.data(), get.size(), MSG_DONTWAIT);
            while (recv(fd, reply, sizeof reply, MSG_DONTWAIT) > 0) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        close(fd);
    });
    // 200 clients, each asking for a page again as soon as the last is
    // answered.
    std::thread pages([&done, web] {
        std::vector<pollfd> fds(200, pollfd{-1, 0, 0});
        while (!done) {
            for (pollfd &p : fds) {
                char answer[4096];
                if (p.fd >= 0 && p.events == POLLOUT && (p.revents & POLLOUT) != 0) {
                    switchfw_child::send_text(p.fd, "GET /login.htm HTTP/1.0\r\n\r\n");
                    p.events = POLLIN;
                } else if (p.fd < 0 ||
                           (p.revents != 0 && recv(p.fd, answer, sizeof answer, 0) <= 0)) {
                    if (p.fd >= 0) close(p.fd);
                    p = {connect_from("127.0.0.2", web, SOCK_STREAM | SOCK_NONBLOCK), POLLOUT, 0};
                }
            }
            poll(fds.data(), fds.size(), 50);
        }
        for (pollfd &p : fds)
            if (p.fd >= 0) close(p.fd);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int lost = 0, dropped = 0;
    for (uint8_t id = 10; id < 30; id++) {
        lost += answered(id) ? 0 : 1;
        int page = connect_from("127.0.0.3", web);
        EXPECT_GE(page, 0);
        const std::string answer = finish(page, "GET /login.htm HTTP/1.0\r\n\r\n", false);
        tcp_info info{};
        socklen_t size = sizeof info;
        getsockopt(page, IPPROTO_TCP, TCP_INFO, &info, &size);
        close(page);
        EXPECT_NE(answer.find(" 200 "), std::string::npos) << answer;
        dropped += info.tcpi_total_retrans > 0 ? 1 : 0;
        if (lost + dropped > 0) break;
    }
    done = true;
    flood.join();
    pages.join();
    close(manager);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(dropped, 0);
}

}  // namespace
