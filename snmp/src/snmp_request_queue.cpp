// The agent's requests read ahead into a queue per manager address and
// handed to the library one address at a time.
#include "snmp_request_queue.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "log_gate.h"

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

// A datagram as the library's receive function gave it: the bytes and the
// address record the library frees with the request.
struct request {
    std::vector<uint8_t> bytes;
    void *opaque;
    int olength;
};

struct manager {
    uint32_t address;
    std::deque<request> waiting;
};

using receive_fn = int (*)(netsnmp_transport *, void *, int, void **, int *);

receive_fn library_receive = nullptr;
int agent_socket = -1;
// Addresses with requests waiting; `turn` is the next to be served.
std::vector<manager> managers;
size_t turn = 0;
size_t waiting_count = 0;
uint32_t served = 0;  // the sender of the request handed out last

bool holding_changes = false;

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

bool servable(const request &r) {
    return !holding_changes || !may_change_settings(r.bytes.data(), r.bytes.size());
}

// The manager whose turn comes first with a request that may be served.
manager *next_servable() {
    for (size_t n = 0; n < managers.size(); n++) {
        const size_t index = (turn + n) % managers.size();
        if (servable(managers[index].waiting.front())) {
            turn = index;
            return &managers[index];
        }
    }
    return nullptr;
}

uint32_t sender_of(const void *opaque, int olength) {
    if (opaque == nullptr || olength < static_cast<int>(sizeof(netsnmp_indexed_addr_pair)))
        return 0;
    const auto *pair = static_cast<const netsnmp_indexed_addr_pair *>(opaque);
    return pair->remote_addr.sa.sa_family == AF_INET ? pair->remote_addr.sin.sin_addr.s_addr : 0;
}

void drop(request &r) {
    std::free(r.opaque);  // the library's own allocation
    r.opaque = nullptr;
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

void read_ahead(netsnmp_transport *t) {
    static std::vector<uint8_t> buf(kDatagramMax);
    for (int i = 0; i < kReadAhead; i++) {
        request r{{}, nullptr, 0};
        int length =
            library_receive(t, buf.data(), static_cast<int>(buf.size()), &r.opaque, &r.olength);
        if (length < 0) {
            drop(r);
            return;
        }
        const uint32_t address = sender_of(r.opaque, r.olength);
        if (!make_room(address)) {
            count_dropped(address);
            drop(r);
            continue;
        }
        r.bytes.assign(buf.begin(), buf.begin() + length);
        manager_of(address).waiting.push_back(std::move(r));
        waiting_count++;
    }
}

int fair_receive(netsnmp_transport *t, void *buf, int size, void **opaque, int *olength) {
    read_ahead(t);
    *opaque = nullptr;
    *olength = 0;
    if (turn >= managers.size()) turn = 0;
    manager *next = waiting_count > 0 ? next_servable() : nullptr;
    if (next == nullptr) {
        errno = EAGAIN;
        return -1;
    }
    manager &m = *next;
    request r = std::move(m.waiting.front());
    m.waiting.pop_front();
    waiting_count--;
    if (m.waiting.empty())
        managers.erase(managers.begin() + static_cast<std::ptrdiff_t>(turn));
    else
        turn++;
    const int length = std::min(size, static_cast<int>(r.bytes.size()));
    if (length > 0) std::memcpy(buf, r.bytes.data(), static_cast<size_t>(length));
    *opaque = r.opaque;
    *olength = r.olength;
    served = ntohl(sender_of(r.opaque, r.olength));
    return length;
}

}  // namespace

void attach(netsnmp_transport *t) {
    if (t == nullptr || t->sock < 0 || t->f_recv == nullptr || library_receive != nullptr) return;
    // Read ahead until the socket is empty, never waiting on it.
    fcntl(t->sock, F_SETFL, fcntl(t->sock, F_GETFL) | O_NONBLOCK);
    // Beyond the system's ceiling where the agent may (it runs privileged
    // on the board), else up to it.
    const int bytes = kReceiveBufferBytes;
    if (setsockopt(t->sock, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        setsockopt(t->sock, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    library_receive = t->f_recv;
    agent_socket = t->sock;
    t->f_recv = fair_receive;
}

int socket() {
    return agent_socket;
}

bool pending() {
    if (turn >= managers.size()) turn = 0;
    return waiting_count > 0 && next_servable() != nullptr;
}

void hold_changes(bool hold) {
    holding_changes = hold;
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
