#include "web_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include "../../platform/tests/private_workdir.h"
#include "../../platform/tests/tcp_unread.h"
#include "sal.h"
#include "sal_host.h"

namespace {

std::mutex log_lock;
std::vector<std::string> log_entries;
std::atomic<httpd_hook_fn> extra_hook{nullptr};
std::atomic<const httpd_record *> raw_content{nullptr};
int server_port = 0;
std::atomic<int> opened{0};

const httpd_file *test_row(const std::string &name) {
    for (const httpd_file *row = web_test_file_table; row->name != nullptr; row++) {
        if (name == row->name) return row;
    }
    return nullptr;
}

// "/<test row>/<any real row>" is served by the test row.
int routing_hook(httpd_hook_event *ev, httpd_request *req) {
    if (ev->event == HTTPD_EV_HOOK_OPEN) {
        opened++;
        std::string path = ev->a.text;
        size_t second = path.find('/', 1);
        if (second != std::string::npos) {
            std::string first = path.substr(1, second - 1);
            if (first == "raw" && raw_content.load() != nullptr) {
                ev->content = raw_content.load();
                return 1;
            }
            if (const httpd_file *row = test_row(first)) {
                ev->row = row;
                ev->content = row->content;
                ev->flags = row->flags;
                return 1;
            }
        }
    }
    httpd_hook_fn extra = extra_hook.load();
    return extra != nullptr ? extra(ev, req) : 0;
}

int free_port() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr));
    socklen_t len = sizeof(addr);
    getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

int connect_once(int port, const char *source = nullptr) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (source != nullptr) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        inet_pton(AF_INET, source, &from.sin_addr);
        if (bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof(from)) != 0) {
            close(fd);
            return -1;
        }
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0) {
        close(fd);
        return -1;
    }
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    return fd;
}

}  // namespace

int test_server_port() {
    static std::once_flag once;
    std::call_once(once, [] {
        server_port = free_port();
        sal_host_port_offset_set(server_port - 80);
        httpd_set_server_name("WebManaged");
        httpd_set_hook(routing_hook, HTTPD_F_EV_HOOK_OPEN);
        httpd_init();
        // Start-up goes on to the console's prompt once this returns: a
        // browser that comes right away must not be refused.
        const int fd = connect_once(server_port);
        EXPECT_GE(fd, 0) << "the server did not listen once httpd_init returned";
        if (fd >= 0) close(fd);
    });
    return server_port;
}

int test_connect() {
    return connect_once(test_server_port());
}

int test_connect_from(const char *source) {
    return connect_once(test_server_port(), source);
}

int test_opened_count() {
    return opened.load();
}

bool test_send(int fd, const std::string &data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string test_read_all(int fd) {
    std::string out;
    char buf[8192];
    for (;;) {
        ssize_t n = recv(fd, buf, sizeof(buf), 0);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

std::string test_exchange(const std::string &request) {
    int fd = test_connect();
    if (fd < 0) return "<no connection>";
    test_send(fd, request);
    std::string out = test_read_all(fd);
    close(fd);
    return out;
}

bool test_closed_within(int fd, int millis) {
    pollfd p{fd, POLLIN, 0};
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(millis);
    while (std::chrono::steady_clock::now() < end) {
        if (poll(&p, 1, 10) > 0) {
            char c;
            ssize_t n = recv(fd, &c, 1, MSG_DONTWAIT);
            if (n <= 0) return true;
        }
    }
    return false;
}

bool test_closed_now(int fd) {
    char c;
    ssize_t n = recv(fd, &c, 1, MSG_DONTWAIT | MSG_PEEK);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

bool test_read_by_server(int fd, int millis) {
    return test_wait_until([fd] { return tcp_unread_by_peer(fd) == 0; }, millis);
}

bool test_wait_until(const std::function<bool()> &done, int millis) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(millis);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        poll(nullptr, 0, 1);
    }
    return true;
}

void test_clock_manual() {
    static std::once_flag once;
    std::call_once(once, [] { sal_clock_manual(sal_clock_usecs64()); });
    sal_wallclock_set(2000000000u);
}

bool test_response::has_header(const std::string &line) const {
    for (const auto &h : headers) {
        if (h == line) return true;
    }
    return false;
}

bool test_response::has_header_named(const std::string &name) const {
    for (const auto &h : headers) {
        if (h.compare(0, name.size() + 1, name + ":") == 0) return true;
    }
    return false;
}

test_response test_parse_response(const std::string &raw) {
    test_response r;
    size_t end = raw.find("\r\n\r\n");
    if (raw.compare(0, 9, "HTTP/1.0 ") != 0 || end == std::string::npos) return r;
    r.answered = true;
    r.body = raw.substr(end + 4);
    std::string head = raw.substr(0, end);
    size_t pos = head.find("\r\n");
    r.status = head.substr(9, pos - 9);
    while (pos != std::string::npos) {
        size_t next = head.find("\r\n", pos + 2);
        r.headers.push_back(
            head.substr(pos + 2, next == std::string::npos ? next : next - pos - 2));
        pos = next;
    }
    return r;
}

void test_log(const std::string &entry) {
    std::lock_guard<std::mutex> g(log_lock);
    log_entries.push_back(entry);
}

std::vector<std::string> test_log_take() {
    std::lock_guard<std::mutex> g(log_lock);
    std::vector<std::string> out;
    out.swap(log_entries);
    return out;
}

void test_hook_set(httpd_hook_fn extra, uint32_t mask) {
    extra_hook.store(extra);
    httpd_set_hook(routing_hook, mask | HTTPD_F_EV_HOOK_OPEN);
}

void test_raw_content_set(const httpd_record *content) {
    raw_content.store(content);
}

void web_server_fixture::SetUp() {
    test_server_port();
    test_hook_set(nullptr, 0);
    test_raw_content_set(nullptr);
    test_log_take();
}

void web_server_fixture::TearDown() {
    test_hook_set(nullptr, 0);
    test_raw_content_set(nullptr);
}

std::string test_error_message(const test_response &r) {
    const std::string open = "<p id=\"error_message\"><b>";
    size_t at = r.body.find(open);
    if (at == std::string::npos) return "";
    at += open.size();
    return r.body.substr(at, r.body.find("</b>", at) - at);
}
