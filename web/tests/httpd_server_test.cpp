// The server over real sockets: serving rows of the web file table, caching
// rules, connection limits, idle sessions and malformed requests.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "sal.h"
#include "sal_host.h"
#include "web_test_support.h"

namespace {

using httpd_server = web_server_test;

const char kNoCache[] = "Cache-Control: no-cache";
const char kLongCache[] = "Cache-Control: max-age=2592000";

test_response get(const std::string &request) {
    return test_parse_response(test_exchange(request));
}

int open_descriptors() {
    int count = 0;
    DIR *dir = opendir("/proc/self/fd");
    while (readdir(dir) != nullptr)
        count++;
    closedir(dir);
    return count;
}

TEST_F(httpd_server, root_serves_the_frameset_uncached) {
    test_response r = get("GET / HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(r.status, "200 OK");
    EXPECT_EQ(r.headers.at(0), "Connection: close");
    EXPECT_TRUE(r.has_header(kNoCache));
    EXPECT_TRUE(r.has_header("Pragma: no-cache"));
    EXPECT_TRUE(r.has_header("Expires: -1"));
    EXPECT_FALSE(r.has_header(kLongCache));
    EXPECT_NE(r.body.find("<frameset"), std::string::npos);
    EXPECT_NE(r.body.find("src=\"top.htm\""), std::string::npos);
    EXPECT_NE(r.body.find("src=\"left.htm\""), std::string::npos);
}

TEST_F(httpd_server, method_and_name_compare_without_case_and_only_last_component_counts) {
    test_response r = get("get /A/B/LOGIN.HTM HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(r.status, "200 OK");
    EXPECT_NE(r.body.find("action=\"login.cgi\""), std::string::npos);
    EXPECT_TRUE(get("pOsT /system.htm HTTP/1.0\r\n\r\n").answered);
}

TEST_F(httpd_server, static_file_has_length_and_long_caching) {
    test_response r = get("GET /logo.gif HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(r.status, "200 OK");
    EXPECT_TRUE(r.has_header("Content-Length: " + std::to_string(r.body.size())));
    EXPECT_EQ(r.body.compare(0, 6, "GIF89a"), 0);
    EXPECT_TRUE(r.has_header(kLongCache));
    EXPECT_TRUE(r.has_header("Last-Modified: Sat, 01 Jan 2000 09:00:00 GMT"));
    EXPECT_TRUE(r.has_header("Expires: Mon, 31 Dec 2046 23:59:59 GMT"));
    EXPECT_FALSE(r.has_header(kNoCache));
}

TEST_F(httpd_server, conditional_request_for_static_file_gets_304_without_body) {
    std::string raw =
        test_exchange("GET /logo.gif HTTP/1.0\r\nIf-Modified-Since: anything\r\n\r\n");
    EXPECT_EQ(raw, "HTTP/1.0 304 Not Modified\r\nConnection: close\r\n\r\n");
    // A page that is not static ignores the condition.
    test_response page = get("GET /system.htm HTTP/1.0\r\nIf-Modified-Since: x\r\n\r\n");
    EXPECT_EQ(page.status, "200 OK");
    EXPECT_FALSE(page.body.empty());
}

TEST_F(httpd_server, every_row_is_served_with_its_flags) {
    for (const httpd_file *row = web_file_table; row->name != nullptr; row++) {
        SCOPED_TRACE(row->name);
        std::string raw = test_exchange(std::string("GET /") + row->name + " HTTP/1.0\r\n\r\n");
        if ((row->flags & HTTPD_F_INTERNAL) != 0) {
            EXPECT_EQ(raw, "");
            continue;
        }
        test_response r = test_parse_response(raw);
        ASSERT_TRUE(r.answered);
        EXPECT_FALSE(r.body.empty());
        bool no_cache = (row->flags & HTTPD_F_NO_CACHE) != 0 || row->handler != nullptr;
        EXPECT_EQ(r.has_header(kNoCache), no_cache);
        EXPECT_EQ(r.has_header(kLongCache), !no_cache);
    }
}

TEST_F(httpd_server, requests_that_name_nothing_servable_are_closed_unanswered) {
    EXPECT_EQ(test_exchange("HEAD / HTTP/1.0\r\n\r\n"), "");
    EXPECT_EQ(test_exchange("PUT /login.htm HTTP/1.0\r\n\r\n"), "");
    EXPECT_EQ(test_exchange("GET\r\n\r\n"), "");
    EXPECT_EQ(test_exchange("\r\n"), "");
    EXPECT_EQ(test_exchange("GET /nosuchpage.htm HTTP/1.0\r\n\r\n"), "");
    EXPECT_EQ(test_exchange("GET /errormsg.htm HTTP/1.0\r\n\r\n"), "");
    EXPECT_EQ(test_exchange("GET /x/redirect.htm HTTP/1.0\r\n\r\n"), "");
    EXPECT_EQ(test_exchange("GET login.htm HTTP/1.0\r\n\r\n"), "");
}

TEST_F(httpd_server, malformed_lines_close_the_session) {
    EXPECT_EQ(test_exchange("GET / HTTP/1.0"), "");             // no LF at all
    EXPECT_EQ(test_exchange("GET / HTTP/1.0\r\nHost: x"), "");  // header without LF
    EXPECT_EQ(test_exchange(std::string("GET /\0x HTTP/1.0\r\n\r\n", 19)), "");
    EXPECT_EQ(test_exchange(std::string("GET / HTTP/1.0\r\nA: \0b\r\n\r\n", 25)), "");
    std::string huge = "GET /" + std::string(5000, 'a') + " HTTP/1.0\r\n\r\n";
    EXPECT_EQ(test_exchange(huge), "");
    std::string long_header = "GET / HTTP/1.0\r\nX: " + std::string(4100, 'b') + "\r\n\r\n";
    EXPECT_EQ(test_exchange(long_header), "");
    // A line without a colon is no header and is passed over.
    EXPECT_TRUE(get("GET / HTTP/1.0\r\nnonsense\r\n\r\n").answered);
}

TEST_F(httpd_server, bad_content_length_closes_the_session) {
    for (const char *value : {"abc", "-5", "12x", "", "99999999999999999999", "67108865"}) {
        SCOPED_TRACE(value);
        std::string request =
            std::string("POST /system.htm HTTP/1.0\r\nContent-Length: ") + value + "\r\n\r\n";
        EXPECT_EQ(test_exchange(request), "");
    }
    EXPECT_TRUE(get("POST /system.htm HTTP/1.0\r\ncontent-length: 3\r\n\r\nabc").answered);
}

TEST_F(httpd_server, request_line_and_headers_may_arrive_in_separate_reads) {
    int fd = test_connect();
    ASSERT_GE(fd, 0);
    test_send(fd, "GET / HTTP/1.0\r\n");
    test_sleep_ms(100);
    test_send(fd, "Host: x\r\n\r\n");
    EXPECT_TRUE(test_parse_response(test_read_all(fd)).answered);
    close(fd);
}

TEST_F(httpd_server, header_line_split_across_segments_closes_the_session) {
    int fd = test_connect();
    ASSERT_GE(fd, 0);
    test_send(fd, "GET / HTTP/1.0\r\nHost: exam");
    test_sleep_ms(100);
    test_send(fd, "ple\r\n\r\n");
    EXPECT_EQ(test_read_all(fd), "");
    close(fd);
}

TEST_F(httpd_server, thirty_third_connection_is_closed_and_the_others_are_served) {
    std::vector<int> fds;
    for (int i = 0; i < 32; i++) {
        int fd = test_connect();
        ASSERT_GE(fd, 0);
        fds.push_back(fd);
        test_sleep_ms(2);  // the listen queue holds only 8
    }
    int extra = test_connect();
    ASSERT_GE(extra, 0);
    EXPECT_TRUE(test_closed_within(extra, 3000));
    close(extra);
    for (int fd : fds) {
        test_send(fd, "GET /logo.gif HTTP/1.0\r\n\r\n");
    }
    for (int fd : fds) {
        EXPECT_EQ(test_parse_response(test_read_all(fd)).status, "200 OK");
        close(fd);
    }
}

TEST_F(httpd_server, idle_session_is_reaped_after_45_seconds_while_others_stay_busy) {
    test_clock_manual();
    int idle = test_connect();
    ASSERT_GE(idle, 0);
    test_send(idle, "GET / HTTP/1.0\r\n");  // waits for its headers
    test_sleep_ms(100);
    sal_clock_advance(44ull * 1000000);
    // Traffic on other sockets does not keep the idle one alive.
    EXPECT_TRUE(get("GET /logo.gif HTTP/1.0\r\n\r\n").answered);
    EXPECT_FALSE(test_closed_within(idle, 300));
    sal_clock_advance(1ull * 1000000);
    EXPECT_TRUE(test_closed_within(idle, 2000));
    close(idle);
}

TEST_F(httpd_server, many_clients_get_answers_and_nothing_leaks) {
    int before = open_descriptors();
    constexpr int kClients = 32;
    constexpr int kRequestsEach = 313;  // about 10,000 requests
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; c++) {
        clients.emplace_back([&answered, c] {
            for (int i = 0; i < kRequestsEach; i++) {
                const char *path = (i + c) % 2 == 0 ? "/" : "/logo.gif";
                std::string raw = test_exchange(std::string("GET ") + path + " HTTP/1.0\r\n\r\n");
                if (test_parse_response(raw).status == "200 OK") answered++;
            }
        });
    }
    for (auto &t : clients)
        t.join();
    // A slot is free again before its client sees the end of the answer.
    EXPECT_EQ(answered.load(), kClients * kRequestsEach);
    for (int i = 0; i < 200 && open_descriptors() > before; i++)
        test_sleep_ms(10);
    // At most: the probe connection of the server start may still have been open.
    EXPECT_LE(open_descriptors(), before);
    EXPECT_EQ(sal_alloc_bytes_in_use("httpd_request"), 0u);
}

TEST(httpd_server_start, bind_failure_names_the_address_and_the_reason) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            int blocker = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            bind(blocker, reinterpret_cast<sockaddr *>(&addr), sizeof(addr));
            listen(blocker, 1);
            socklen_t len = sizeof(addr);
            getsockname(blocker, reinterpret_cast<sockaddr *>(&addr), &len);
            sal_host_port_offset_set(ntohs(addr.sin_port) - 80);
            httpd_init();
            test_sleep_ms(300);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0),
        "httpd: cannot bind 0\\.0\\.0\\.0:[0-9]+: Address already in use");
}

}  // namespace
