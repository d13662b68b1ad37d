// Telnet daemon. One "telnetd" thread accepts; each connection gets a
// "telnet client" thread whose session goes through these states:
//   refused  - beyond TELNETD_MAX_SESSIONS a connection is told so and closed,
//              unless it may take the slot of a session still at its login
//              (claim_slot): one address cannot keep every other out;
//   user     - "login: " asked; the whole login (every try, and the wait
//              after each failure) must end within TELNETD_LOGIN_SECONDS;
//   password - "password: " asked with the client's echo taken over and
//              nothing echoed; a wrong account is logged, answered after
//              about a second and goes back to user, TELNETD_LOGIN_TRIES
//              times at most;
//   shell    - the "ecos>" shell on the session's console until "exit", the
//              end of input, or TELNETD_IDLE_SECONDS without input;
//   closing  - a time-out is announced, the slot freed, the socket closed.
#include "telnetd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ecos_shell.h"
#include "log_gate.h"
#include "logger.h"
#include "sal.h"
#include "sal_host.h"
#include "sal_lock.h"
#include "settings.h"
#include "telnet_console.h"
#include "unique_fd.h"

namespace {

std::atomic<int> listen_fd{-1};
std::atomic<int> bound_port{0};

// The session slots. A session thread finds its slot by its socket, which
// it keeps open until it has given the slot back, so no other slot can hold
// the same descriptor meanwhile; a slot taken from it holds another one.
struct session_slot {
    bool used;
    int fd;
    uint32_t peer;
    bool logged_in;
    uint64_t seq;  // order of acceptance
};
session_slot slots[TELNETD_MAX_SESSIONS] = {};
uint64_t accepted = 0;

sal_mutex_t slots_lock() {  // guards slots and accepted
    static sal_mutex_t lock = sal_mutex_create("telnet slots");
    return lock;
}

int held_by_locked(uint32_t peer) {
    int held = 0;
    for (const session_slot &s : slots)
        held += s.used && s.peer == peer ? 1 : 0;
    return held;
}

void address_text(uint32_t peer, char *buf, size_t size) {
    in_addr a{.s_addr = peer};
    if (inet_ntop(AF_INET, &a, buf, static_cast<socklen_t>(size)) == nullptr)
        std::snprintf(buf, size, "unknown");
}

// A slot for the connection: a free one, else the oldest session still at
// its login of the address holding the most sessions, when that address
// holds at least two more than the newcomer's (so the taker never ends up
// heavier). Its socket is shut down, which ends its login. A logged-in
// session keeps its slot. False: every slot stays as it is.
bool claim_slot(int fd, uint32_t peer) {
    SalLock hold(slots_lock());
    const int own = held_by_locked(peer);
    session_slot *taken = nullptr;
    int taken_held = 0;
    for (session_slot &s : slots) {
        if (!s.used) {
            taken = &s;
            break;
        }
        const int held = held_by_locked(s.peer);
        if (s.logged_in || held < own + 2) continue;
        if (taken != nullptr && (held < taken_held || (held == taken_held && s.seq > taken->seq)))
            continue;
        taken = &s;
        taken_held = held;
    }
    if (taken == nullptr) return false;
    if (taken->used) {
        shutdown(taken->fd, SHUT_RDWR);
        char from[INET_ADDRSTRLEN], to[INET_ADDRSTRLEN];
        address_text(taken->peer, from, sizeof from);
        address_text(peer, to, sizeof to);
        // Any host can connect again and again: a gate bounds the lines.
        static log_gate pushed_out_log{.burst = TELNETD_MAX_SESSIONS};
        log_gate_printf(&pushed_out_log, log_source_ipv4(ntohl(peer)), LOG_LEVEL_INFO,
                        LOG_MOD_TELNET, "Login from %s closed for one from %s: %s held %d sessions",
                        from, to, from, taken_held);
    }
    *taken = {.used = true, .fd = fd, .peer = peer, .logged_in = false, .seq = ++accepted};
    return true;
}

// The slot the session's socket holds, null once another took it.
session_slot *slot_of_locked(int fd) {
    for (session_slot &s : slots) {
        if (s.used && s.fd == fd) return &s;
    }
    return nullptr;
}

void slot_logged_in(int fd) {
    SalLock hold(slots_lock());
    if (session_slot *s = slot_of_locked(fd)) s->logged_in = true;
}

void slot_release(int fd) {
    SalLock hold(slots_lock());
    if (session_slot *s = slot_of_locked(fd)) s->used = false;
}

void peer_text(int fd, char *buf, size_t size) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (getpeername(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0 ||
        inet_ntop(AF_INET, &a.sin_addr, buf, static_cast<socklen_t>(size)) == nullptr) {
        std::snprintf(buf, size, "unknown");
    }
}

void run_session(int fd) {
    char peer[INET_ADDRSTRLEN];
    peer_text(fd, peer, sizeof peer);
    // What the session's commands are refused names the client.
    in_addr address{};
    const log_requester_scope client(inet_pton(AF_INET, peer, &address) == 1
                                         ? log_source_ipv4(ntohl(address.s_addr))
                                         : LOG_SOURCE_NONE);
    TelnetConsole console(fd);
    sal_console_bind(console.ops());
    console.limit_set(TelnetConsole::Limit::Fixed, TELNETD_LOGIN_SECONDS);
    int rv = ecos_shell_login_from(TELNETD_LOGIN_TRIES, LOG_MOD_TELNET, peer);
    if (rv == 1) {
        slot_logged_in(fd);
        console.limit_set(TelnetConsole::Limit::Idle, TELNETD_IDLE_SECONDS);
        ecos_shell_run();
    } else if (rv == 0) {
        sal_printf("Too many failed logins\n");
    }
    if (console.timed_out()) {
        if (rv == 1) {
            sal_printf("\nNo input for %d minutes; closing the session\n",
                       TELNETD_IDLE_SECONDS / 60);
        } else {
            sal_printf("\nLogin timed out after %d seconds\n", TELNETD_LOGIN_SECONDS);
        }
    }
    sal_console_bind(nullptr);
    sal_console_release(console.ops());
}

void session_thread(void *arg) {
    UniqueFd fd(static_cast<int>(reinterpret_cast<intptr_t>(arg)));
    // A client that stops reading must not hold its session thread for ever.
    timeval send_limit{TELNETD_SEND_TIMEOUT_SECONDS, 0};
    setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &send_limit, sizeof send_limit);
    // The shell changes settings (load, password): not before the start-up
    // load has set them.
    if (settings_startup_wait(TELNETD_STARTUP_WAIT_USECS)) {
        run_session(fd.get());
    } else {
        const char msg[] = "The switch is starting; try again later.\r\n";
        send(fd.get(), msg, sizeof msg - 1, MSG_NOSIGNAL);
    }
    // Free the slot before the client can see the end of the session.
    slot_release(fd.get());
}

void accept_thread(void *) {
    for (;;) {
        int lfd = listen_fd.load();
        if (lfd < 0) return;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        UniqueFd fd(accept(lfd, reinterpret_cast<sockaddr *>(&peer), &len));
        if (!fd.valid()) {
            if (listen_fd.load() < 0) return;  // stopped
            sal_usleep(100000);
            continue;
        }
        if (!claim_slot(fd.get(), peer.sin_addr.s_addr)) {
            const char msg[] = "Too many telnet sessions; try again later.\r\n";
            send(fd.get(), msg, sizeof msg - 1, MSG_NOSIGNAL);
            continue;
        }
        void *arg = reinterpret_cast<void *>(static_cast<intptr_t>(fd.get()));
        if (sal_thread_create("telnet client", 16384, 0, session_thread, arg) == SAL_THREAD_ERROR) {
            slot_release(fd.get());
            continue;
        }
        fd.release();  // the session thread owns it now
    }
}

}  // namespace

int telnetd_start(void) {
    if (listen_fd.load() >= 0) return 0;
    int port = sal_host_port(TELNETD_PORT);
    UniqueFd fd(socket(AF_INET, SOCK_STREAM, 0));
    if (!fd.valid()) {
        sal_printf("telnetd: cannot create a socket: %s\n", std::strerror(errno));
        return -1;
    }
    int on = 1;
    setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = sal_host_listen_address();
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        listen(fd.get(), SAL_HOST_LISTEN_BACKLOG) != 0) {
        int err = errno;
        char where[INET_ADDRSTRLEN] = "?";
        inet_ntop(AF_INET, &addr.sin_addr, where, sizeof where);
        sal_printf("telnetd: cannot listen on %s:%d: %s%s\n", where, port, std::strerror(err),
                   err == EACCES ? " (use --port-offset to move the server ports)" : "");
        return -1;
    }
    listen_fd.store(fd.release());
    bound_port.store(port);
    if (sal_thread_create("telnetd", 16384, 0, accept_thread, nullptr) == SAL_THREAD_ERROR) {
        telnetd_stop();
        return -1;
    }
    return 0;
}

void telnetd_stop(void) {
    UniqueFd fd(listen_fd.exchange(-1));
    bound_port.store(0);
    if (fd.valid()) shutdown(fd.get(), SHUT_RDWR);
}

int telnetd_port(void) {
    return bound_port.load();
}

int telnetd_session_count(void) {
    SalLock hold(slots_lock());
    int used = 0;
    for (const session_slot &s : slots)
        used += s.used ? 1 : 0;
    return used;
}
