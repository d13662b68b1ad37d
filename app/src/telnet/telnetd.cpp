// Telnet daemon: one "telnetd" thread accepts, one "telnet client" thread per
// session logs the user in and runs the shell on the session's socket.
#include "telnetd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "ecos_shell.h"
#include "sal.h"
#include "sal_host.h"
#include "telnet_console.h"

namespace {

std::atomic<int> listen_fd{-1};
std::atomic<int> bound_port{0};
std::atomic<int> sessions{0};

void session_thread(void *arg) {
    int fd = static_cast<int>(reinterpret_cast<intptr_t>(arg));
    // A client that stops reading must not hold its session thread for ever.
    timeval send_limit{TELNETD_SEND_TIMEOUT_SECONDS, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_limit, sizeof send_limit);
    {
        TelnetConsole console(fd);
        sal_console_bind(console.ops());
        int rv = ecos_shell_login(TELNETD_LOGIN_TRIES);
        if (rv == 1) {
            ecos_shell_run();
        } else if (rv == 0) {
            sal_printf("Too many failed logins\n");
        }
        sal_console_bind(nullptr);
    }
    close(fd);
    sessions--;
}

void accept_thread(void *) {
    for (;;) {
        int lfd = listen_fd.load();
        if (lfd < 0) return;
        int fd = accept(lfd, nullptr, nullptr);
        if (fd < 0) {
            if (listen_fd.load() < 0) return;  // stopped
            sal_usleep(100000);
            continue;
        }
        if (sessions.fetch_add(1) >= TELNETD_MAX_SESSIONS) {
            sessions--;
            const char msg[] = "Too many telnet sessions; try again later.\r\n";
            send(fd, msg, sizeof msg - 1, MSG_NOSIGNAL);
            close(fd);
            continue;
        }
        if (sal_thread_create("telnet client", 16384, 0, session_thread,
                              reinterpret_cast<void *>(static_cast<intptr_t>(fd))) ==
            SAL_THREAD_ERROR) {
            sessions--;
            close(fd);
        }
    }
}

}  // namespace

int telnetd_start(void) {
    if (listen_fd.load() >= 0) return 0;
    int port = sal_host_port(TELNETD_PORT);
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        sal_printf("telnetd: cannot create a socket: %s\n", std::strerror(errno));
        return -1;
    }
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0) {
        int err = errno;
        sal_printf("telnetd: cannot listen on 0.0.0.0:%d: %s%s\n", port, std::strerror(err),
                   err == EACCES ? " (use --port-offset to move the server ports)" : "");
        close(fd);
        return -1;
    }
    listen_fd.store(fd);
    bound_port.store(port);
    if (sal_thread_create("telnetd", 16384, 0, accept_thread, nullptr) == SAL_THREAD_ERROR) {
        telnetd_stop();
        return -1;
    }
    return 0;
}

void telnetd_stop(void) {
    int fd = listen_fd.exchange(-1);
    bound_port.store(0);
    if (fd >= 0) {
        shutdown(fd, SHUT_RDWR);
        close(fd);
    }
}

int telnetd_port(void) {
    return bound_port.load();
}
