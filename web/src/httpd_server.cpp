// The "httpd" thread: listening socket, the wait over all sessions and the
// dispatch of their events.
#include <arpa/inet.h>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstddef>
#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

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
// Connections accepted and waiting for a slot. The kernel's queue behind
// them (SAL_HOST_LISTEN_BACKLOG) is emptied on every wake-up: each
// connection is judged by its address (slot_for), not by its place behind
// another client's flood. The board's socket buffer sizes are left to the
// host kernel: a 4 KB receive buffer makes uploads crawl.
constexpr size_t kWaitingCount = 64;
// Connections taken off the kernel's queue per wake-up at most: far more
// than one client can queue between two wake-ups, yet a bound on the pass.
constexpr int kAcceptBatch = 4096;
// Ready sessions of one address served per pass at most: a pass, and so a
// lighter client's wait for its turn, stays short however many slots a
// flood holds. The rest are ready again at the next poll.
constexpr int kServedPerAddress = 4;

// Never destroyed: the "httpd" thread still runs when the process exits.
auto &sessions = *new std::array<httpd_session, kSlotCount>;
uint64_t accept_count = 0;

// The allocator keeps a thread's freed memory for reuse, and the pages'
// settings saves and SNMP entries leave small live blocks between large
// freed ones, so a long run of forms keeps pages resident that nothing
// uses. They are handed back to the system at most once a second while
// requests come, and on the first idle pass after them.
uint64_t trimmed_at_count = 0;
uint32_t trimmed_at_time = 0;

void trim_freed_memory(uint32_t now, bool idle) {
    if (accept_count == trimmed_at_count) return;
    if (!idle && now == trimmed_at_time) return;
    malloc_trim(0);
    trimmed_at_count = accept_count;
    trimmed_at_time = now;
}
std::atomic<bool> started{false};

void print_error(const char *what) {
    char text[128];
    std::fprintf(stderr, "%s: %s\n", what, strerror_r(errno, text, sizeof(text)));
}

sockaddr_in listen_address(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = sal_host_listen_address();
    addr.sin_port = htons(static_cast<uint16_t>(port));
    return addr;
}

// Bind and listen retry every 2 s; the first failure of each kind says
// which address and why.
void wait_until(int fd, int port, const char *what, int (*attempt)(int fd, int port)) {
    int reported = 0;
    while (attempt(fd, port) < 0) {
        if (errno != reported) {
            reported = errno;
            char text[128];
            char address[INET_ADDRSTRLEN] = "";
            sockaddr_in addr = listen_address(port);
            inet_ntop(AF_INET, &addr.sin_addr, address, sizeof address);
            std::fprintf(stderr, "httpd: cannot %s %s:%d: %s; retrying every 2 s\n", what, address,
                         port, strerror_r(errno, text, sizeof(text)));
        }
        sal_usleep(kRetryUsecs);
    }
}

int bind_listen_address(int fd, int port) {
    sockaddr_in addr = listen_address(port);
    return bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr));
}

int listen_backlog(int fd, int) {
    return listen(fd, SAL_HOST_LISTEN_BACKLOG);
}

// The listening socket. httpd_init binds and listens on it before start-up
// goes on, so that the web answers once the console's prompt shows; an
// address still taken (a previous run's socket) is retried by the thread.
struct listener_state {
    UniqueFd fd;
    bool bound = false;
    bool listening = false;
};
// Never destroyed, as the sessions.
auto &listener_of_init = *new listener_state;

bool open_listener(listener_state *l) {
    l->fd = UniqueFd(socket(AF_INET, SOCK_STREAM, 0));
    if (!l->fd.valid()) {
        print_error("httpd init: create socket");
        return false;
    }
    int one = 1;
    if (setsockopt(l->fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) < 0) {
        print_error("httpd init: setsockopt");
        l->fd = UniqueFd();
        return false;
    }
    // A connection that goes away between the wait and accept must not
    // block the thread.
    fcntl(l->fd.get(), F_SETFL, fcntl(l->fd.get(), F_GETFL) | O_NONBLOCK);
    const int port = sal_host_port(80);
    l->bound = bind_listen_address(l->fd.get(), port) == 0;
    l->listening = l->bound && listen_backlog(l->fd.get(), port) == 0;
    return true;
}

// In the thread: what httpd_init could not do yet.
UniqueFd listening(listener_state *l) {
    const int port = sal_host_port(80);
    if (!l->bound) wait_until(l->fd.get(), port, "bind", bind_listen_address);
    if (!l->listening) wait_until(l->fd.get(), port, "listen on", listen_backlog);
    return std::move(l->fd);
}

// Slots and waiting connections per address, counted once per search
// rather than over every slot for each candidate.
struct holding {
    uint32_t peer;
    int slots;
    int waiting;
};

class holdings {
  public:
    holdings() {
        for (const auto &s : sessions)
            if (s.state != HTTPD_SLOT_FREE) of(s.peer).slots++;
    }
    void count_waiting();
    int slots(uint32_t peer) const {
        for (const holding &h : list_)
            if (h.peer == peer) return h.slots;
        return 0;
    }
    int total(uint32_t peer) const {
        for (const holding &h : list_)
            if (h.peer == peer) return h.slots + h.waiting;
        return 0;
    }
    // A session of `from` closed for a newcomer of `to`.
    void moved(uint32_t from, uint32_t to) {
        of(from).slots--;
        of(to).slots++;
    }
    void seated(uint32_t peer) { of(peer).slots++; }

  private:
    holding &of(uint32_t peer) {
        for (holding &h : list_)
            if (h.peer == peer) return h;
        list_.push_back({peer, 0, 0});
        return list_.back();
    }
    std::vector<holding> list_;
};

// Which of an address's sessions gives up its slot first (lowest): one
// stalled on its headers, then a stalled upload, then one still reading its
// headers, then an answer in progress; an upload in progress goes last.
int surrender_order(const httpd_session &s, bool stalled) {
    const bool body = s.state == HTTPD_SLOT_BODY;
    if (stalled) return body ? 1 : 0;
    if (s.state < HTTPD_SLOT_BODY) return 2;
    return body ? 4 : 3;
}

// A slot for a newcomer from the address: a free one, else one taken from
// the address holding the most slots (its oldest session in surrender
// order). A live session goes only to an address holding at least two fewer
// slots than its own, so the taker never ends up heavier; a stalled one also
// to an address holding fewer, or to its own. Null when none may be taken:
// the newcomer waits for a slot to free.
httpd_session *slot_for(uint32_t peer, uint32_t now, const holdings &held_by) {
    const int own = held_by.slots(peer);
    httpd_session *taken = nullptr;
    std::tuple<int, int, uint64_t> taken_key{};
    for (auto &s : sessions) {
        if (s.state == HTTPD_SLOT_FREE) return &s;
        const int held = held_by.slots(s.peer);
        const bool stalled = httpd_session_stalled(&s, now);
        if (held < own + 2 && !(stalled && (held > own || s.peer == peer))) continue;
        const std::tuple<int, int, uint64_t> key{-held, surrender_order(s, stalled), s.accept_seq};
        if (taken != nullptr && key >= taken_key) continue;
        taken = &s;
        taken_key = key;
    }
    return taken;
}

// Sessions served per address in one pass of the server loop.
class turns_per_address {
  public:
    void clear() { list_.clear(); }
    // Counts a turn of the address; false once it has had its share.
    bool take_turn(uint32_t peer) {
        for (auto &[address, turns] : list_) {
            if (address != peer) continue;
            if (turns >= kServedPerAddress) return false;
            turns++;
            return true;
        }
        list_.push_back({peer, 1});
        return true;
    }

  private:
    std::vector<std::pair<uint32_t, int>> list_;
};

// A connection accepted while no slot could take it: it waits here, unread,
// in order of acceptance.
struct waiting_client {
    UniqueFd sock;
    uint32_t peer;
};
auto &waiting = *new std::vector<waiting_client>;

void holdings::count_waiting() {
    for (const auto &w : waiting)
        of(w.peer).waiting++;
}

// Room among the waiting for one more from the address: the newest waiting
// connection of the address holding the most slots and waiting connections
// gives way, unless the newcomer's own address holds as many.
bool waiting_room(uint32_t peer) {
    if (waiting.size() < kWaitingCount) return true;
    holdings held_by;
    held_by.count_waiting();
    uint32_t heaviest = peer;
    int most = held_by.total(peer);
    for (const auto &w : waiting) {
        const int held = held_by.total(w.peer);
        if (held > most) {
            most = held;
            heaviest = w.peer;
        }
    }
    if (heaviest == peer) return false;
    for (size_t i = waiting.size(); i-- > 0;) {
        if (waiting[i].peer != heaviest) continue;
        waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(i));
        break;
    }
    return true;
}

// Gives slots to waiting connections while slots can be had, the address
// holding the fewest slots first, in order of acceptance among equals. The
// connections of one address fare alike: only each address's first is
// weighed.
void seat_waiting(uint32_t now) {
    holdings held_by;
    std::vector<uint32_t> weighed;
    for (;;) {
        size_t chosen = waiting.size();
        int chosen_held = 0;
        httpd_session *slot = nullptr;
        weighed.clear();
        for (size_t i = 0; i < waiting.size(); i++) {
            const uint32_t peer = waiting[i].peer;
            if (std::find(weighed.begin(), weighed.end(), peer) != weighed.end()) continue;
            weighed.push_back(peer);
            const int held = held_by.slots(peer);
            if (slot != nullptr && held >= chosen_held) continue;
            httpd_session *s = slot_for(peer, now, held_by);
            if (s == nullptr) continue;
            chosen = i;
            chosen_held = held;
            slot = s;
        }
        if (slot == nullptr) return;
        waiting_client &w = waiting[chosen];
        if (slot->state != HTTPD_SLOT_FREE) {
            held_by.moved(slot->peer, w.peer);
            httpd_session_close(slot);
        } else {
            held_by.seated(w.peer);
        }
        httpd_session_accept(slot, std::move(w.sock), w.peer, ++accept_count);
        waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(chosen));
        // A client usually sends its request with the connection: read it
        // now rather than after another wait. The read may close the
        // session again.
        httpd_session_read(slot);
        if (slot->state == HTTPD_SLOT_FREE) held_by = holdings();
    }
}

// Takes connections off the kernel's queue until it is empty, so that each
// is judged by its address rather than by its place behind another client's
// flood; they wait unread until seat_waiting gives them a slot.
void accept_newcomers(int listener) {
    for (int i = 0; i < kAcceptBatch; i++) {
        sockaddr_in addr{};
        socklen_t len = sizeof addr;
        UniqueFd fd(accept(listener, reinterpret_cast<sockaddr *>(&addr), &len));
        if (!fd.valid()) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED &&
                errno != EINTR) {
                sal_usleep(kAcceptPauseUsecs);
            }
            return;
        }
        const uint32_t peer = addr.sin_addr.s_addr;
        if (waiting_room(peer)) waiting.push_back({std::move(fd), peer});
    }
}

bool earlier(uint32_t turn, uint32_t than) {
    return static_cast<int32_t>(turn - than) < 0;
}

// Forms waiting for the settings images run in the order they were
// accepted: one still waiting holds back those after it.
void run_waiting_forms() {
    for (;;) {
        httpd_session *first = nullptr;
        for (auto &s : sessions) {
            if (s.state < HTTPD_SLOT_HEAD || !s.images_deferred) continue;
            if (first == nullptr || earlier(s.images_turn, first->images_turn)) first = &s;
        }
        if (first == nullptr) return;
        httpd_session_write(first);
        if (first->state != HTTPD_SLOT_FREE && first->images_deferred) return;
    }
}

bool reading_image_upload(const httpd_session &s) {
    return s.state == HTTPD_SLOT_BODY && httpd_request_uploads(s.req) &&
           (s.req->flags & HTTPD_F_IMAGE_QUEUE) != 0;
}

// Restore uploads being read, for the other entrances' threads; counted
// again before each poll, so that it covers every header read since.
std::atomic<int> image_uploads{0};

void count_image_uploads() {
    image_uploads.store(
        static_cast<int>(std::count_if(sessions.begin(), sessions.end(), reading_image_upload)));
}

void server_thread(void *) {
    UniqueFd listener = listening(&listener_of_init);
    pollfd fds[kSlotCount + 1];
    int slot_of[kSlotCount + 1];
    turns_per_address served;
    int first_served = 0;
    for (;;) {
        // Deadlines are checked on every pass, so traffic on other sockets
        // cannot keep a stalled session alive.
        uint32_t now = sal_time();
        for (auto &s : sessions) {
            if (s.state != HTTPD_SLOT_FREE) httpd_session_timeout_check(&s, now);
        }
        // Slots freed or stalled since the last pass go to waiting clients;
        // the poll's time-out brings the next look at stalled sessions.
        seat_waiting(now);
        count_image_uploads();
        int count = 0;
        fds[count] = {listener.get(), POLLIN, 0};
        slot_of[count++] = -1;
        bool deferred = false;
        for (int i = 0; i < kSlotCount; i++) {
            httpd_session &s = sessions[i];
            if (s.state == HTTPD_SLOT_FREE || !s.sock.valid()) continue;
            short events = s.input_ended ? 0 : POLLIN;
            // An upload's image is queued at its end: while a form accepted
            // before it waits, the rest of it stays unread, so that the image
            // comes after the form.
            if (s.state == HTTPD_SLOT_BODY && httpd_request_uploads(s.req) &&
                httpd_server_form_waiting_before(s.images_turn))
                events = 0;
            // A form waiting for the images would find its socket writable
            // at once: it is looked at again after a short poll instead.
            if (s.state >= HTTPD_SLOT_HEAD && !s.images_deferred) events |= POLLOUT;
            deferred = deferred || s.images_deferred;
            fds[count] = {s.sock.get(), events, 0};
            slot_of[count++] = i;
        }
        int ready = poll(fds, static_cast<nfds_t>(count),
                         deferred ? HTTPD_IMAGES_POLL_MILLIS : kPollMillis);
        if (deferred) run_waiting_forms();
        trim_freed_memory(now, ready == 0);
        if (ready == 0) continue;
        if (ready < 0) {
            if (errno != EINTR) sal_printf("httpd: select failed\n");
            continue;
        }
        served.clear();
        // Where the pass starts moves on each time, so that an address's
        // sessions beyond its share are served first next time.
        const int polled = count - 1;
        if (polled > 0) first_served = (first_served + 1) % polled;
        for (int n = 0; n < polled; n++) {
            const int k = 1 + (first_served + n) % polled;
            httpd_session *s = &sessions[slot_of[k]];
            if (s->state == HTTPD_SLOT_FREE || s->sock.get() != fds[k].fd) continue;
            short got = fds[k].revents;
            if ((got & POLLERR) != 0 || ((got & POLLHUP) != 0 && s->input_ended)) {
                httpd_session_close(s);
                continue;
            }
            if (got == 0 || !served.take_turn(s->peer)) continue;
            // The read itself tells a failed peer (closed) from one that
            // shut down its side (reading ends) and from a request.
            if ((got & (POLLIN | POLLHUP)) != 0) httpd_session_read(s);
            if (s->state >= HTTPD_SLOT_HEAD && (got & POLLOUT) != 0) httpd_session_write(s);
        }
        if ((fds[0].revents & POLLIN) != 0) {
            accept_newcomers(listener.get());
            seat_waiting(sal_time());
        }
    }
}

}  // namespace

bool httpd_server_form_waiting_before(uint32_t turn) {
    return std::any_of(sessions.begin(), sessions.end(), [turn](const httpd_session &s) {
        return s.state >= HTTPD_SLOT_HEAD && s.images_deferred && earlier(s.images_turn, turn);
    });
}

int httpd_image_uploads_reading(void) {
    return sal_restart_announced() != 0 ? 0 : image_uploads.load();
}

int httpd_init(void) {
    bool expected = false;
    if (!started.compare_exchange_strong(expected, true)) return 0;
    for (auto &s : sessions)
        httpd_session_reset(&s);
    if (!open_listener(&listener_of_init)) {
        started.store(false);
        return -1;
    }
    const char *failed = nullptr;
    sal_thread_t server =
        sal_thread_create("httpd", kThreadStack, kThreadPriority, server_thread, nullptr);
    if (server == nullptr || server == SAL_THREAD_ERROR) {
        failed = "cannot create thread \"httpd\"";
        listener_of_init.fd = UniqueFd();
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
