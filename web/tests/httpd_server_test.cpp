// The server over real sockets: serving rows of the web file table, caching
// rules, connection limits, idle sessions and malformed requests.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "sal.h"
#include "sal_host.h"
#include "web_test_support.h"

namespace {

using httpd_server = web_server_fixture;

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

TEST_F(httpd_server, RootServesTheFramesetUncached) {
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

TEST_F(httpd_server, MethodAndNameCompareWithoutCaseAndOnlyLastComponentCounts) {
    test_response r = get("get /A/B/LOGIN.HTM HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(r.status, "200 OK");
    EXPECT_NE(r.body.find("action=\"login.cgi\""), std::string::npos);
    EXPECT_TRUE(get("pOsT /system.htm HTTP/1.0\r\n\r\n").answered);
}

TEST_F(httpd_server, StaticFileHasLengthAndLongCaching) {
    test_response r = get("GET /plus.gif HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(r.status, "200 OK");
    EXPECT_TRUE(r.has_header("Content-Length: " + std::to_string(r.body.size())));
    EXPECT_EQ(r.body.compare(0, 6, "GIF89a"), 0);
    EXPECT_TRUE(r.has_header(kLongCache));
    EXPECT_TRUE(r.has_header("Last-Modified: Sat, 01 Jan 2000 09:00:00 GMT"));
    EXPECT_TRUE(r.has_header("Expires: Mon, 31 Dec 2046 23:59:59 GMT"));
    EXPECT_FALSE(r.has_header(kNoCache));
}

TEST_F(httpd_server, ConditionalRequestForStaticFileGets304WithoutBody) {
    std::string raw =
        test_exchange("GET /plus.gif HTTP/1.0\r\nIf-Modified-Since: anything\r\n\r\n");
    EXPECT_EQ(raw, "HTTP/1.0 304 Not Modified\r\nConnection: close\r\n\r\n");
    // A page that is not static ignores the condition.
    test_response page = get("GET /system.htm HTTP/1.0\r\nIf-Modified-Since: x\r\n\r\n");
    EXPECT_EQ(page.status, "200 OK");
    EXPECT_FALSE(page.body.empty());
}

TEST_F(httpd_server, PlaceholderPagesAreNotCached) {
    // logo.gif and aging.htm stand for files that are not built yet.
    for (const char *path : {"/logo.gif", "/aging.htm"}) {
        test_response r =
            get(std::string("GET ") + path + " HTTP/1.0\r\nIf-Modified-Since: x\r\n\r\n");
        EXPECT_EQ(r.status, "200 OK") << path;
        EXPECT_TRUE(r.has_header(kNoCache)) << path;
        EXPECT_FALSE(r.has_header(kLongCache)) << path;
    }
}

TEST_F(httpd_server, EveryRowIsServedWithItsFlags) {
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
        // Pages with tags or loops change between requests.
        const uint8_t kind = row->content->kind;
        bool templated =
            (kind & HTTPD_REC_TYPE_MASK) != HTTPD_REC_TEXT || (kind & HTTPD_REC_LAST) == 0;
        bool no_cache =
            (row->flags & HTTPD_F_NO_CACHE) != 0 || row->handler != nullptr || templated;
        EXPECT_EQ(r.has_header(kNoCache), no_cache);
        EXPECT_EQ(r.has_header(kLongCache), !no_cache);
    }
}

TEST_F(httpd_server, RequestsThatNameNothingServableAreClosedUnanswered) {
    EXPECT_EQ(test_exchange("HEAD / HTTP/1.0\r\n\r\n"), "");
    EXPECT_EQ(test_exchange("PUT /login.htm HTTP/1.0\r\n\r\n"), "");
    EXPECT_EQ(test_exchange("GET\r\n\r\n"), "");
    EXPECT_EQ(test_exchange("\r\n"), "");
    EXPECT_EQ(test_exchange("GET /nosuchpage.htm HTTP/1.0\r\n\r\n"), "");
    EXPECT_EQ(test_exchange("GET /errormsg.htm HTTP/1.0\r\n\r\n"), "");
    EXPECT_EQ(test_exchange("GET /x/redirect.htm HTTP/1.0\r\n\r\n"), "");
    EXPECT_EQ(test_exchange("GET login.htm HTTP/1.0\r\n\r\n"), "");
}

TEST_F(httpd_server, MalformedLinesCloseTheSession) {
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

TEST_F(httpd_server, BadContentLengthClosesTheSession) {
    for (const char *value : {"abc", "-5", "12x", "", "99999999999999999999", "67108865"}) {
        SCOPED_TRACE(value);
        std::string request =
            std::string("POST /system.htm HTTP/1.0\r\nContent-Length: ") + value + "\r\n\r\n";
        EXPECT_EQ(test_exchange(request), "");
    }
    EXPECT_TRUE(get("POST /system.htm HTTP/1.0\r\ncontent-length: 3\r\n\r\nabc").answered);
}

TEST_F(httpd_server, RequestLineAndHeadersMayArriveInSeparateReads) {
    int fd = test_connect();
    ASSERT_GE(fd, 0);
    int before = test_opened_count();
    test_send(fd, "GET / HTTP/1.0\r\n");
    ASSERT_TRUE(test_wait_until([&] { return test_opened_count() > before; }, 5000));
    test_send(fd, "Host: x\r\n\r\n");
    EXPECT_TRUE(test_parse_response(test_read_all(fd)).answered);
    close(fd);
}

TEST_F(httpd_server, HeaderLineSplitAcrossSegmentsClosesTheSession) {
    int fd = test_connect();
    ASSERT_GE(fd, 0);
    test_send(fd, "GET / HTTP/1.0\r\nHost: exam");
    EXPECT_EQ(test_read_all(fd), "");
    close(fd);
}

// True when the connection has something to read within the time.
bool readable_within(int fd, int millis) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, millis) == 1;
}

TEST_F(httpd_server, NewcomersWaitForAFreeSlotAndTricklersLoseTheirsAfterTwoSeconds) {
    test_clock_manual();
    std::vector<int> fds;
    int before = test_opened_count();
    for (int i = 0; i < 32; i++) {
        int fd = test_connect();
        ASSERT_GE(fd, 0);
        fds.push_back(fd);
        test_send(fd, "GET / HTTP/1.0\r\nX-Slow: 1\r\n");  // and never the rest
        // One at a time, so that the order of waiting is known.
        ASSERT_TRUE(test_wait_until([&] { return test_opened_count() > before + i; }, 5000));
    }
    // Every slot is taken by a client that has just begun: the newcomer
    // waits in the queue, unanswered and not reset, and nobody is evicted.
    int waiting = test_connect();
    ASSERT_GE(waiting, 0);
    test_send(waiting, "GET /plus.gif HTTP/1.0\r\n\r\n");
    EXPECT_FALSE(readable_within(waiting, 700));
    for (size_t i = 0; i < fds.size(); i++)
        EXPECT_FALSE(test_closed_now(fds[i])) << i;
    // A slot that frees takes it.
    close(fds[5]);
    EXPECT_EQ(test_parse_response(test_read_all(waiting)).status, "200 OK");
    close(waiting);
    before = test_opened_count();
    fds[5] = test_connect();
    test_send(fds[5], "GET / HTTP/1.0\r\nX-Slow: 1\r\n");
    ASSERT_TRUE(test_wait_until([&] { return test_opened_count() > before; }, 5000));

    // Past two seconds without progress the longest waiting gives way.
    waiting = test_connect();
    ASSERT_GE(waiting, 0);
    test_send(waiting, "GET /plus.gif HTTP/1.0\r\n\r\n");
    EXPECT_FALSE(readable_within(waiting, 700));
    sal_clock_advance(2ull * 1000000);
    EXPECT_EQ(test_parse_response(test_read_all(waiting)).status, "200 OK");
    close(waiting);
    EXPECT_TRUE(test_closed_within(fds[0], 3000));
    for (size_t i = 1; i < fds.size(); i++)
        EXPECT_FALSE(test_closed_now(fds[i])) << i;
    for (int fd : fds)
        close(fd);
}

TEST_F(httpd_server, RequestHeadersMustArriveWithinTenSecondsOfTheAccept) {
    test_clock_manual();
    int slow = test_connect();
    ASSERT_GE(slow, 0);
    int before = test_opened_count();
    test_send(slow, "GET / HTTP/1.0\r\n");
    ASSERT_TRUE(test_wait_until([&] { return test_opened_count() > before; }, 5000));
    sal_clock_advance(9ull * 1000000);
    test_send(slow, "X-Slow: 1\r\n");  // a header line does not extend the deadline
    // An answered request means the server has passed its deadline checks.
    EXPECT_TRUE(get("GET /plus.gif HTTP/1.0\r\n\r\n").answered);
    EXPECT_FALSE(test_closed_now(slow));
    sal_clock_advance(1ull * 1000000);
    EXPECT_TRUE(test_closed_within(slow, 3000));
    close(slow);
}

// A restore's upload holds the changes accepted after it: however steadily
// it trickles, it ends a minute after the accept.
TEST_F(httpd_server, ARestoreUploadEndsAMinuteAfterTheAcceptHoweverItTrickles) {
    test_clock_manual();
    int slow = test_connect();
    ASSERT_GE(slow, 0);
    int before = test_opened_count();
    test_send(slow,
              "POST /restore.cgi HTTP/1.0\r\nContent-Type: multipart/form-data; boundary=b\r\n"
              "Content-Length: 100000\r\n\r\n--b\r\nContent-Disposition: form-data; "
              "name=\"file\"; filename=\"f\"\r\n\r\n");
    ASSERT_TRUE(test_wait_until([&] { return test_opened_count() > before; }, 5000));
    for (int step = 0; step < 6; step++) {
        // Each piece is read before the clock moves on: a server running
        // behind would otherwise see a stall that the client never made.
        ASSERT_TRUE(test_read_by_server(slow, 10000)) << step;
        sal_clock_advance(9ull * 1000000);
        test_send(slow, std::string(2048, '#'));
        EXPECT_TRUE(get("GET /plus.gif HTTP/1.0\r\n\r\n").answered);
        EXPECT_FALSE(test_closed_now(slow)) << step;
    }
    sal_clock_advance(6ull * 1000000);
    EXPECT_TRUE(test_closed_within(slow, 3000));
    close(slow);
}

TEST_F(httpd_server, ClientThatShutsDownItsSideStillGetsTheWholePage) {
    static const std::string part(3000, 'p');
    const httpd_record page[] = {
        {HTTPD_REC_TEXT, 0, {3000, 0, 0}, {.text = part.c_str()}},
        {HTTPD_REC_TEXT, 0, {3000, 0, 0}, {.text = part.c_str()}},
        {HTTPD_REC_TEXT | HTTPD_REC_LAST, 0, {5, 0, 0}, {.text = "<end>"}},
    };
    test_raw_content_set(page);
    int fd = test_connect();
    ASSERT_GE(fd, 0);
    test_send(fd, "GET /raw/plus.gif HTTP/1.0\r\n\r\n");
    shutdown(fd, SHUT_WR);
    test_response r = test_parse_response(test_read_all(fd));
    close(fd);
    EXPECT_EQ(r.status, "200 OK");
    EXPECT_EQ(r.body, part + part + "<end>");
}

TEST_F(httpd_server, ListensOnTheLoopbackAddressOnly) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(0x7F000002);  // 127.0.0.2: any address would take it
    addr.sin_port = htons(static_cast<uint16_t>(test_server_port()));
    EXPECT_NE(connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
    close(fd);
}

TEST_F(httpd_server, ManyClientsGetAnswersAndNothingLeaks) {
    int before = open_descriptors();
    constexpr int kClients = 32;
    constexpr int kRequestsEach = 313;  // about 10,000 requests
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; c++) {
        clients.emplace_back([&answered, c] {
            for (int i = 0; i < kRequestsEach; i++) {
                const char *path = (i + c) % 2 == 0 ? "/" : "/plus.gif";
                std::string raw = test_exchange(std::string("GET ") + path + " HTTP/1.0\r\n\r\n");
                if (test_parse_response(raw).status == "200 OK") answered++;
            }
        });
    }
    for (auto &t : clients)
        t.join();
    // A slot is free again before its client sees the end of the answer.
    EXPECT_EQ(answered.load(), kClients * kRequestsEach);
    test_wait_until([&] { return open_descriptors() <= before; }, 2000);
    // At most: the probe connection of the server start may still have been open.
    EXPECT_LE(open_descriptors(), before);
    EXPECT_EQ(sal_alloc_bytes_in_use("httpd_request"), 0u);
}

TEST(httpd_server_start, BindFailureNamesTheAddressAndTheReason) {
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
            // The server's complaint goes through a pipe until it is whole.
            int out[2];
            if (pipe(out) != 0) std::_Exit(1);
            int console = dup(2);
            dup2(out[1], 2);
            httpd_init();
            std::string text;
            test_wait_until(
                [&] {
                    char buf[256];
                    pollfd p{out[0], POLLIN, 0};
                    if (poll(&p, 1, 0) > 0) {
                        ssize_t n = read(out[0], buf, sizeof buf);
                        if (n > 0) text.append(buf, static_cast<size_t>(n));
                    }
                    return text.find('\n') != std::string::npos;
                },
                5000);
            if (write(console, text.data(), text.size()) < 0) std::_Exit(1);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0),
        "httpd: cannot bind 127\\.0\\.0\\.1:[0-9]+: Address already in use");
}

}  // namespace
