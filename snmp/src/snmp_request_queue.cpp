// The agent's requests read ahead into a queue per manager address and
// handed to the library one address at a time.
#include "snmp_request_queue.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "log_gate.h"
#include "sal.h"
#include "sal_lock.h"

namespace snmp_request_queue {
namespace {

// Requests kept waiting in all. Every receive reads the socket dry (up to a
// bound on one pass, far above what one manager sends between two), so that
// the share, not the kernel's first-come queue, decides which requests wait.
constexpr size_t kWaitingMax = 256;
constexpr int kReadAhead = 4096;
constexpr size_t kDatagramMax = 65536;
// The kernel's queue in front of it holds what a flood of small requests
// brings while the agent's thread waits for the processor on a busy host
// (each takes about a kilobyte of it).
constexpr int kReceiveBufferBytes = 8 << 20;
// Datagrams taken off the socket by one call, then filed under the queue
// lock at once.
constexpr int kReadBatch = 16;
// How often the reader looks whether the agent's thread still reads: a
// flood fills a small part of the receive buffer meanwhile.
constexpr uint32_t kReaderLookUsecs = 20000;

// A datagram read off the socket: the bytes and the address record, as the
// library's own receive makes it, which the library frees with the request.
struct request {
    std::vector<uint8_t> bytes;
    void *opaque;
    int olength;
    // A request that may change settings holds its place among the settings
    // images from its arrival until it has run: an image accepted after it
    // waits for it.
    bool change = false;
    uint32_t turn = 0;
};

struct manager {
    uint32_t address;
    std::deque<request> waiting;
};

int agent_socket = -1;
// Posted by the reader when it has filed requests; -1 while no reader runs.
int wake_fd = -1;

sal_mutex_t queue_lock() {  // guards what follows
    static sal_mutex_t m = sal_mutex_create("snmp requests");
    return m;
}
// Addresses with requests waiting; `turn` is the next to be served.
std::vector<manager> managers;
size_t turn = 0;
size_t waiting_count = 0;
uint32_t served = 0;  // the sender of the request handed out last
// Turns of the changes handed out and not yet run to their end.
std::vector<uint32_t> running_turns;

// The next BER element at `at`: its tag, and where its contents start and
// end; false past the message's end or for a length form the agent's
// requests do not use.
struct Element {
    uint8_t tag;
    size_t start, end;
};
bool element_at(const uint8_t *m, size_t length, size_t at, Element *e) {
    if (at + 2 > length) return false;
    e->tag = m[at];
    size_t size = m[at + 1];
    size_t start = at + 2;
    if (size & 0x80) {
        const size_t bytes = size & 0x7f;
        if (bytes == 0 || bytes > 3 || start + bytes > length) return false;
        size = 0;
        for (size_t i = 0; i < bytes; i++)
            size = size << 8 | m[start + i];
        start += bytes;
    }
    if (start + size > length) return false;
    *e = {e->tag, start, start + size};
    return true;
}

// A change runs once the settings images accepted before it, at any
// entrance, are applied, or they would undo it, and after the changes that
// waited with it and were accepted before it.
bool servable(const request &r) {
    return !r.change || sal_turn_waits(r.turn) == 0;
}

// The manager whose turn comes first with a request that may be served, and
// that request: the first in its queue, or while its changes are held the
// first read, which passes them (an image cannot undo a read, and the
// manager has no answer to those changes yet); the changes keep their order
// behind.
manager *next_servable(std::deque<request>::iterator *next) {
    for (size_t n = 0; n < managers.size(); n++) {
        const size_t index = (turn + n) % managers.size();
        std::deque<request> &waiting = managers[index].waiting;
        const auto found = std::find_if(waiting.begin(), waiting.end(), servable);
        if (found != waiting.end()) {
            turn = index;
            if (next != nullptr) *next = found;
            return &managers[index];
        }
    }
    return nullptr;
}

void drop(request &r) {
    std::free(r.opaque);  // the library's own allocation
    r.opaque = nullptr;
    if (r.change) sal_turn_release(r.turn);
    r.change = false;
}

// A request the queue has no room for is counted in the log by its sender
// (network order), so that no request goes unaccounted.
void count_dropped(uint32_t address) {
    static log_gate dropped_log;
    const log_source from = log_source_ipv4(ntohl(address));
    char sender[24];
    log_source_text(from, sender, sizeof sender);
    log_gate_printf(&dropped_log, from, LOG_LEVEL_WARNING, LOG_MOD_SNMPD,
                    "snmpd: request from %s dropped: the agent's queue was full", sender);
}

manager &manager_of(uint32_t address) {
    for (manager &m : managers) {
        if (m.address == address) return m;
    }
    managers.push_back({address, {}});
    return managers.back();
}

// Room for one more from the address: the address holding the most gives
// up its newest, unless the newcomer's own holds as many.
bool make_room(uint32_t address) {
    if (waiting_count < kWaitingMax) return true;
    manager *heaviest = nullptr;
    for (manager &m : managers) {
        if (heaviest == nullptr || m.waiting.size() > heaviest->waiting.size()) heaviest = &m;
    }
    if (heaviest == nullptr || heaviest->address == address) return false;
    size_t own = 0;
    for (const manager &m : managers) {
        if (m.address == address) own = m.waiting.size();
    }
    if (own >= heaviest->waiting.size()) return false;
    count_dropped(heaviest->address);
    drop(heaviest->waiting.back());
    heaviest->waiting.pop_back();
    waiting_count--;
    // An address left with nothing waiting leaves the round, as a served
    // one does: the round takes only addresses with a request.
    if (heaviest->waiting.empty()) {
        const size_t index = static_cast<size_t>(heaviest - managers.data());
        managers.erase(managers.begin() + static_cast<std::ptrdiff_t>(index));
        if (index < turn) turn--;
    }
    return true;
}

// The datagrams of one receive call and their senders, read without the
// library's receive: a request its address has no room for costs no
// allocation, so the socket is read dry fast even under a flood.
struct datagram_batch {
    // Left uninitialised: the pages a datagram never reaches stay unmapped,
    // so the room costs memory only as far as requests fill it.
    std::unique_ptr<uint8_t[]> data{new uint8_t[kReadBatch * kDatagramMax]};
    mmsghdr headers[kReadBatch];
    iovec vectors[kReadBatch];
    sockaddr_in senders[kReadBatch];
    alignas(cmsghdr) uint8_t controls[kReadBatch][CMSG_SPACE(sizeof(in_pktinfo))];

    // Datagrams read, 0 when the socket is dry.
    int receive(int fd) {
        for (int i = 0; i < kReadBatch; i++) {
            vectors[i] = {data.get() + static_cast<size_t>(i) * kDatagramMax, kDatagramMax};
            headers[i].msg_hdr = {.msg_name = &senders[i],
                                  .msg_namelen = sizeof senders[i],
                                  .msg_iov = &vectors[i],
                                  .msg_iovlen = 1,
                                  .msg_control = controls[i],
                                  .msg_controllen = sizeof controls[i],
                                  .msg_flags = 0};
        }
        const int got = recvmmsg(fd, headers, kReadBatch, MSG_DONTWAIT, nullptr);
        return std::max(got, 0);
    }
    // The request as the library's receive would give it: the bytes and a
    // record of the sender and of the address it was sent to.
    bool request_of(int i, request *r) const {
        auto *pair = static_cast<netsnmp_indexed_addr_pair *>(
            std::calloc(1, sizeof(netsnmp_indexed_addr_pair)));
        if (pair == nullptr) return false;
        pair->remote_addr.sin = senders[i];
        pair->local_addr.sin.sin_family = AF_INET;
        msghdr *h = const_cast<msghdr *>(&headers[i].msg_hdr);
        for (cmsghdr *c = CMSG_FIRSTHDR(h); c != nullptr; c = CMSG_NXTHDR(h, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            pair->local_addr.sin.sin_addr = info.ipi_addr;
            pair->if_index = info.ipi_ifindex;
        }
        const uint8_t *bytes = static_cast<const uint8_t *>(vectors[i].iov_base);
        r->bytes.assign(bytes, bytes + headers[i].msg_len);
        r->opaque = pair;
        r->olength = sizeof(netsnmp_indexed_addr_pair);
        return true;
    }
    uint32_t sender(int i) const {
        return senders[i].sin_family == AF_INET ? senders[i].sin_addr.s_addr : 0;
    }
    // Cut short by the buffer (beyond any request the agent takes).
    bool truncated(int i) const { return (headers[i].msg_hdr.msg_flags & MSG_TRUNC) != 0; }
};

// Reads the socket dry (up to kReadAhead datagrams) and files each request
// in its address's queue, or drops it; true when it read any.
bool read_ahead(int fd) {
    thread_local auto batch = std::make_unique<datagram_batch>();
    bool read_any = false;
    for (int n = 0; n < kReadAhead;) {
        const int got = batch->receive(fd);
        if (got == 0) break;
        read_any = true;
        n += got;
        SalLock hold(queue_lock());
        for (int i = 0; i < got; i++) {
            if (batch->truncated(i)) continue;
            if (!make_room(batch->sender(i))) {
                count_dropped(batch->sender(i));
                continue;
            }
            request r{{}, nullptr, 0};
            if (!batch->request_of(i, &r)) continue;
            r.change = may_change_settings(r.bytes.data(), r.bytes.size());
            if (r.change) r.turn = sal_turn_take(0);
            manager_of(batch->sender(i)).waiting.push_back(std::move(r));
            waiting_count++;
        }
        if (got < kReadBatch) break;
    }
    return read_any;
}

// One thread reads the socket at a time, so that one address's requests
// keep their order; neither waits for the other.
std::atomic<bool> reading{false};
// Counts the agent's receives: the reader steps in only while it stands
// still.
std::atomic<uint32_t> agent_receives{0};

bool read_unless_reading(int fd) {
    bool expected = false;
    if (!reading.compare_exchange_strong(expected, true, std::memory_order_acquire)) return false;
    const bool read_any = read_ahead(fd);
    reading.store(false, std::memory_order_release);
    return read_any;
}

// The reader's thread: the agent's thread reads the socket dry itself on
// every request, which costs no hand-over between threads. While it is
// away (answering a long request, waiting for the agent lock, or held by a
// busy host) the reader reads instead, so that the kernel's queue cannot
// fill and drop requests of every address alike.
void reader_loop(void *) {
    uint32_t seen = agent_receives.load();
    for (;;) {
        sal_usleep(kReaderLookUsecs);
        const uint32_t now = agent_receives.load();
        if (now != seen) {
            seen = now;
            continue;
        }
        if (!read_unless_reading(agent_socket)) continue;
        const uint64_t one = 1;
        if (write(wake_fd, &one, sizeof one) < 0) {
            // Already posted (the counter is far from full): the agent wakes.
        }
    }
}

int fair_receive(netsnmp_transport *t, void *buf, int size, void **opaque, int *olength) {
    agent_receives.fetch_add(1, std::memory_order_relaxed);
    read_unless_reading(t->sock);
    SalLock hold(queue_lock());
    *opaque = nullptr;
    *olength = 0;
    if (turn >= managers.size()) turn = 0;
    std::deque<request>::iterator at;
    manager *next = waiting_count > 0 ? next_servable(&at) : nullptr;
    if (next == nullptr) {
        errno = EAGAIN;
        return -1;
    }
    manager &m = *next;
    served = ntohl(m.address);
    // What the request's handlers refuse names its sender.
    log_requester_set(log_source_ipv4(served));
    request r = std::move(*at);
    m.waiting.erase(at);
    if (r.change) running_turns.push_back(r.turn);
    waiting_count--;
    if (m.waiting.empty())
        managers.erase(managers.begin() + static_cast<std::ptrdiff_t>(turn));
    else
        turn++;
    const int length = std::min(size, static_cast<int>(r.bytes.size()));
    if (length > 0) std::memcpy(buf, r.bytes.data(), static_cast<size_t>(length));
    *opaque = r.opaque;
    *olength = r.olength;
    return length;
}

}  // namespace

void attach(netsnmp_transport *t) {
    if (t == nullptr || t->sock < 0 || t->f_recv == nullptr || agent_socket >= 0) return;
    // Read ahead until the socket is empty, never waiting on it.
    fcntl(t->sock, F_SETFL, fcntl(t->sock, F_GETFL) | O_NONBLOCK);
    // Beyond the system's ceiling where the agent may (it runs privileged
    // on the board), else up to it.
    const int bytes = kReceiveBufferBytes;
    if (setsockopt(t->sock, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        setsockopt(t->sock, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    // The address each request was sent to, as the library asks for it.
    const int on = 1;
    setsockopt(t->sock, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    agent_socket = t->sock;
    t->f_recv = fair_receive;
}

void start_reader() {
    if (agent_socket < 0 || wake_fd >= 0) return;
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) return;
    wake_fd = fd;
    if (sal_thread_create("snmpd reader", 64 * 1024, SAL_THREAD_PRIO_DEFAULT, reader_loop,
                          nullptr) == SAL_THREAD_ERROR) {
        wake_fd = -1;
        close(fd);
    }
}

int socket() {
    return agent_socket;
}

int wake_socket() {
    return wake_fd;
}

void wake_clear() {
    uint64_t posts = 0;
    if (read(wake_fd, &posts, sizeof posts) < 0) {
        // Nothing posted since the last clear.
    }
}

bool pending() {
    SalLock hold(queue_lock());
    if (turn >= managers.size()) turn = 0;
    return waiting_count > 0 && next_servable(nullptr) != nullptr;
}

bool holding() {
    SalLock hold(queue_lock());
    for (const manager &m : managers) {
        if (!std::all_of(m.waiting.begin(), m.waiting.end(), servable)) return true;
    }
    return false;
}

void served_done() {
    SalLock hold(queue_lock());
    for (const uint32_t turn : running_turns)
        sal_turn_release(turn);
    running_turns.clear();
}

bool may_change_settings(const uint8_t *message, size_t length) {
    constexpr uint8_t kSequence = 0x30, kInteger = 0x02, kOctets = 0x04, kSetRequest = 0xa3;
    constexpr uint8_t kVersion3 = 3;
    Element whole{}, version{}, community{}, pdu{};
    if (!element_at(message, length, 0, &whole) || whole.tag != kSequence ||
        !element_at(message, whole.end, whole.start, &version) || version.tag != kInteger ||
        version.end != version.start + 1 || message[version.start] == kVersion3 ||
        !element_at(message, whole.end, version.end, &community) || community.tag != kOctets ||
        !element_at(message, whole.end, community.end, &pdu))
        return true;
    return pdu.tag == kSetRequest;
}

uint32_t serving() {
    return served;
}

}  // namespace snmp_request_queue
