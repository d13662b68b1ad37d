// The "httpd" thread: listening socket, the wait over all sessions and the
// dispatch of their events.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "httpd_internal.h"
#include "sal.h"
#include "sal_host.h"

namespace {

constexpr int kSlotCount = 32;
constexpr int kThreadStack = 65535;
constexpr int kThreadPriority = 128;
constexpr int kPollMillis = 500;
constexpr uint32_t kRetryUsecs = 2000000;
constexpr uint32_t kAcceptPauseUsecs = 500000;

httpd_session sessions[kSlotCount];
std::atomic<bool> started{false};

void print_error(const char *what) {
    char text[128];
    std::fprintf(stderr, "%s: %s\n", what, strerror_r(errno, text, sizeof(text)));
}

// Bind and listen retry every 2 s; the first failure of each kind says
// which address and why.
void wait_until(int fd, int port, const char *what, int (*attempt)(int fd, int port)) {
    int reported = 0;
    while (attempt(fd, port) < 0) {
        if (errno != reported) {
            reported = errno;
            char text[128];
            std::fprintf(stderr, "httpd: cannot %s 0.0.0.0:%d: %s; retrying every 2 s\n", what,
                         port, strerror_r(errno, text, sizeof(text)));
        }
        sal_usleep(kRetryUsecs);
    }
}

int bind_any(int fd, int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    return bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr));
}

int listen_backlog(int fd, int) {
    return listen(fd, 8);
}

int open_listener() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        print_error("httpd init: create socket");
        return -1;
    }
    int one = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) < 0) {
        print_error("httpd init: setsockopt");
        close(fd);
        return -1;
    }
    int port = sal_host_port(80);
    wait_until(fd, port, "bind", bind_any);
    wait_until(fd, port, "listen on", listen_backlog);
    // A connection that goes away between the wait and accept must not
    // block the thread.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

void accept_session(int listener) {
    httpd_session *slot = nullptr;
    for (auto &s : sessions) {
        if (s.state == HTTPD_SLOT_FREE) {
            slot = &s;
            break;
        }
    }
    int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED && errno != EINTR) {
            sal_usleep(kAcceptPauseUsecs);
        }
        return;
    }
    if (slot == nullptr) {
        close(fd);
        return;
    }
    int size = static_cast<int>(HTTPD_SEND_LIMIT);
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof(size));
    size = static_cast<int>(HTTPD_IO_SIZE);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
    size = static_cast<int>(HTTPD_SEND_LIMIT);
    setsockopt(fd, SOL_SOCKET, SO_SNDLOWAT, &size, sizeof(size));  // not settable on every host
    httpd_session_accept(slot, fd);
}

// Readable: a peer that closed or failed ends the session, else the read event.
void readable(httpd_session *s) {
    char byte;
    ssize_t n = recv(s->sock, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        return httpd_session_close(s);
    }
    if (n > 0) httpd_session_read(s);
}

void server_thread(void *) {
    int listener = open_listener();
    if (listener < 0) return;
    pollfd fds[kSlotCount + 1];
    int slot_of[kSlotCount + 1];
    for (;;) {
        // Idle sessions are reaped on every pass, so traffic on other
        // sockets cannot keep them alive.
        uint32_t now = sal_time();
        for (auto &s : sessions) {
            if (s.sock >= 0) httpd_session_idle_check(&s, now);
        }
        int count = 0;
        fds[count] = {listener, POLLIN, 0};
        slot_of[count++] = -1;
        for (int i = 0; i < kSlotCount; i++) {
            httpd_session &s = sessions[i];
            if (s.state == HTTPD_SLOT_FREE || s.sock < 0) continue;
            short events = POLLIN;
            if (s.state >= HTTPD_SLOT_HEAD) events |= POLLOUT;
            fds[count] = {s.sock, events, 0};
            slot_of[count++] = i;
        }
        int ready = poll(fds, static_cast<nfds_t>(count), kPollMillis);
        if (ready == 0) continue;
        if (ready < 0) {
            if (errno != EINTR) sal_printf("httpd: select failed\n");
            continue;
        }
        for (int k = count - 1; k >= 1; k--) {
            httpd_session *s = &sessions[slot_of[k]];
            if (s->state == HTTPD_SLOT_FREE || s->sock != fds[k].fd) continue;
            if ((fds[k].revents & (POLLIN | POLLHUP | POLLERR)) != 0) readable(s);
            if (s->state >= HTTPD_SLOT_HEAD && (fds[k].revents & POLLOUT) != 0) {
                httpd_session_write(s);
            }
        }
        if ((fds[0].revents & POLLIN) != 0) accept_session(listener);
    }
}

}  // namespace

int httpd_init(void) {
    bool expected = false;
    if (!started.compare_exchange_strong(expected, true)) return 0;
    for (auto &s : sessions)
        httpd_session_reset(&s);
    const char *failed = nullptr;
    sal_thread_t server =
        sal_thread_create("httpd", kThreadStack, kThreadPriority, server_thread, nullptr);
    if (server == nullptr || server == SAL_THREAD_ERROR) {
        failed = "cannot create thread \"httpd\"";
        started.store(false);  // nothing runs: a later call may try again
    } else if (!httpd_timer_start()) {
        failed = "cannot create thread \"httpd_timer\"";
    }
    if (failed != nullptr) {
        std::fprintf(stderr, "%s: %s\n", "httpd init:", failed);
        return -1;
    }
    return 0;
}
