// SCCP snooping: StartMediaTransmission tells a phone where to send its
// voice; the stream to and from that address gets the voice rules until
// StopMediaTransmission or CloseReceiveChannel ends that conference, or an
// idle stretch without media. An order is checked when it lies where the
// phone's acknowledgements have the manager's stream: it belongs to the
// port the phone's own segments on that connection came in on (learnt from
// the copies of every segment to port 2000). An unchecked order belongs to
// the port it came in on. The rules are charged to the order's port, and a
// stop ends only the session a start with the same check made: a host that
// cannot see a phone's connection can neither end its calls nor take a
// conference id from it.
#include <cstring>

#include "logger.h"
#include "sal.h"
#include "voip_internal.h"

namespace {

constexpr uint32_t kStartMedia = 138;
constexpr uint32_t kStopMedia = 139;
constexpr uint32_t kCloseReceive = 0x106;
constexpr uint8_t kFin = 0x01, kSyn = 0x02, kAck = 0x10;

// Where an order belongs: the phone's port when it passed the stream check,
// else the port it came in on.
struct sccp_order {
    int port;
    bool checked;
};

struct sccp_session {
    uint32_t conference;
    sccp_order order;
    uint32_t remote_ip;
    uint32_t remote_port;
    voip_life life;
    int rule[2];
    sccp_session *next;
};

struct sccp_phone {
    uint32_t address;
    sccp_session *sessions;
    int count;
    sccp_phone *next;
};

sccp_phone *phones = nullptr;
log_gate failure_log, removal_failure_log;

// Where phones' connections to call managers were last heard: a phone's
// segment to port 2000 came in on `port`. When the table is full, the least
// recently heard connection of the port that holds the most goes: a port
// making up connections pushes out its own, not the phones of the others.
constexpr int kConnections = 512;
// How far a segment may be from where its stream stands and still belong to
// it: a TCP window without scaling. A host that does not see the stream
// guesses a sequence number this close once in 2^15 tries.
constexpr int32_t kStreamWindow = 65536;
struct heard_connection {
    uint32_t phone_ip, manager_ip;
    uint16_t phone_port;
    int port;  // 0: free
    uint32_t heard;
    uint32_t next;  // the phone's next sequence number
    uint32_t ack;   // what the phone acknowledged of the manager's stream
    bool acked;
};
heard_connection heard[kConnections];
uint32_t heard_clock = 0;

bool near(uint32_t seq, uint32_t at) {
    const auto d = static_cast<int32_t>(seq - at);
    return d > -kStreamWindow && d < kStreamWindow;
}

// The free slot, else the least recently heard connection of the port with
// the most connections.
heard_connection *slot_to_take(int port) {
    voip_eviction eviction(port);
    for (heard_connection &c : heard) {
        if (c.port == 0) return &c;
        eviction.add(&c, c.port, c.heard, false);
    }
    return static_cast<heard_connection *>(eviction.victim(nullptr));
}

// A phone's segment: seq and the length it takes of the sequence space, and
// its acknowledgement when it has one. A connection heard before moves to
// another port only with a segment that continues the phone's stream, so a
// host elsewhere cannot claim a phone's connection for its own port.
void connection_heard(uint32_t phone_ip, uint16_t phone_port, uint32_t manager_ip, int port,
                      uint32_t seq, uint32_t length, const uint32_t *ack) {
    heard_connection *slot = nullptr;
    for (heard_connection &c : heard) {
        if (c.port != 0 && c.phone_ip == phone_ip && c.phone_port == phone_port &&
            c.manager_ip == manager_ip) {
            slot = &c;
            break;
        }
    }
    if (slot != nullptr && slot->port != port && !near(seq, slot->next)) return;
    if (slot == nullptr) {
        slot = slot_to_take(port);
        *slot = {.phone_ip = phone_ip,
                 .manager_ip = manager_ip,
                 .phone_port = phone_port,
                 .port = port,
                 .heard = 0,
                 .next = 0,
                 .ack = 0,
                 .acked = false};
    }
    slot->port = port;
    slot->heard = ++heard_clock;
    slot->next = seq + length;
    if (ack != nullptr) {
        slot->ack = *ack;
        slot->acked = true;
    }
}

// The port of the phone at the connection's end when the manager's segment
// at seq is where the phone's acknowledgements have the manager's stream (a
// host elsewhere cannot tell a phone to start its media on the phone's
// port's share), else -1.
int phone_port_of(uint32_t phone_ip, uint16_t phone_port, uint32_t manager_ip, uint32_t seq) {
    for (const heard_connection &c : heard) {
        if (c.port != 0 && c.phone_ip == phone_ip && c.phone_port == phone_port &&
            c.manager_ip == manager_ip)
            return c.acked && near(seq, c.ack) ? c.port : -1;
    }
    return -1;
}

uint32_t le32(const uint8_t *p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

int session_set(sccp_session *s, bool enable) {
    if (!enable) return voip_rule_pair_remove(s->rule);
    const auto port = static_cast<uint16_t>(s->remote_port);
    const voip_rule out = {.protocol = 17,
                           .src_ip = 0,
                           .src_ip_mask = 0,
                           .dst_ip = s->remote_ip,
                           .dst_ip_mask = 0xFFFFFFFF,
                           .src_port = 0,
                           .src_port_mask = 0,
                           .dst_port = port,
                           .dst_port_mask = 0xFFFE,
                           .copy_class = 0};
    const voip_rule rules[2] = {out, voip_rule_mirror(out)};
    const int ports[2] = {s->order.port, -1};
    return voip_rule_pair_install(s->rule, rules, ports);
}

sccp_phone *phone_find(uint32_t address) {
    for (sccp_phone *p = phones; p != nullptr; p = p->next) {
        if (p->address == address) return p;
    }
    return nullptr;
}

// The session of the conference that orders like this one made.
sccp_session **session_slot(sccp_phone *phone, uint32_t conference, sccp_order order) {
    sccp_session **at = &phone->sessions;
    while (*at != nullptr && ((*at)->conference != conference || (*at)->order.port != order.port ||
                              (*at)->order.checked != order.checked))
        at = &(*at)->next;
    return at;
}

// Frees the session at *slot and, when it was the last, the phone.
void session_end(sccp_phone *phone, sccp_session **slot) {
    sccp_session *s = *slot;
    *slot = s->next;
    sal_free(s);
    phone->count--;
    if (phone->sessions != nullptr) return;
    for (sccp_phone **at = &phones; *at != nullptr; at = &(*at)->next) {
        if (*at == phone) {
            *at = phone->next;
            break;
        }
    }
    sal_free(phone);
}

int start_media(uint32_t src, sccp_order order, const uint8_t *data) {
    sccp_phone *phone = phone_find(src);
    if (phone == nullptr) {
        phone = static_cast<sccp_phone *>(sal_alloc(sizeof(sccp_phone), "SCCP"));
        if (phone == nullptr) return -1;
        phone->address = src;
        phone->next = phones;
        phones = phone;
    }
    const uint32_t conference = le32(data);
    sccp_session **slot = session_slot(phone, conference, order);
    if (*slot != nullptr) return 0;
    auto *s = static_cast<sccp_session *>(sal_alloc(sizeof(sccp_session), "SCCP"));
    if (s != nullptr) {
        s->conference = conference;
        s->remote_ip = voip_be32(data + 8);  // the address bytes in wire order
        s->remote_port = le32(data + 12);
        s->life.seen = voip_idle_now();
        s->order = order;
        *slot = s;
        phone->count++;
        if (session_set(s, true) == 0) return 0;
        voip_failure_log(&failure_log, "SCCP: Setup_SCCP_Session(enable) failed");
    }
    if (s == nullptr) {
        // A new phone without a session is not kept.
        if (phone->sessions == nullptr) {
            phones = phone->next;
            sal_free(phone);
        }
        return -1;
    }
    session_end(phone, slot);
    return -1;
}

int stop_media(uint32_t src, sccp_order order, const uint8_t *data) {
    sccp_phone *phone = phone_find(src);
    if (phone == nullptr) return -1;
    sccp_session **slot = session_slot(phone, le32(data), order);
    if (*slot == nullptr) return -1;
    if (session_set(*slot, false) != 0)
        voip_failure_log(&removal_failure_log, "SCCP: Setup_SCCP_Session(disable) failed");
    session_end(phone, slot);
    return 0;
}

}  // namespace

int sccp_parse(const uint8_t *ip_header, int length) {
    if (ip_header == nullptr || length < 24) return -1;
    const int len = length - 4;  // the frame check sequence
    const int ihl = (ip_header[0] & 0xF) * 4;
    const int total = voip_be16(ip_header + 2);
    if (ihl < 20 || total > len || ihl + 20 > total) return -1;
    const int thl = (ip_header[ihl + 12] >> 4) * 4;
    if (thl < 20 || ihl + thl > total) return -1;
    const uint32_t src = voip_be32(ip_header + 12), dst = voip_be32(ip_header + 16);
    const uint16_t sport = voip_be16(ip_header + ihl), dport = voip_be16(ip_header + ihl + 2);
    const uint32_t seq = voip_be32(ip_header + ihl + 4), ack = voip_be32(ip_header + ihl + 8);
    const uint8_t flags = ip_header[ihl + 13];
    const uint8_t *p = ip_header + ihl + thl;
    int left = total - ihl - thl;
    // A phone's segment, empty ones (its handshake, acknowledgements) too,
    // tells which port the phone is on. SYN and FIN take a sequence number.
    if (dport == 2000 && sport != 2000 && voip_rx_port() != 0)
        connection_heard(
            src, sport, dst, voip_rx_port(), seq,
            static_cast<uint32_t>(left) + (flags & kSyn ? 1 : 0) + (flags & kFin ? 1 : 0),
            flags & kAck ? &ack : nullptr);
    if (left < 5) return 0;
    // Messages: {u32 length from the id on, u32 reserved, u32 id, data}.
    // A message shorter than its header ends the walk as well.
    while (left >= 12) {
        const uint32_t n = le32(p);
        if (n == 0) break;
        const uint32_t id = le32(p + 8);
        if (n != 4 && (id == kStartMedia || id == kStopMedia || id == kCloseReceive)) {
            // The data words this needs must lie inside the message and segment.
            const uint32_t need = id == kStartMedia ? 4 + 16 : 4 + 4;
            if (n < need || static_cast<uint32_t>(left) < 8 + need) return -1;
            // Told from the manager's port 2000: the phone is the destination.
            const int phone = sport == 2000 ? phone_port_of(dst, dport, src, seq) : -1;
            const sccp_order order = {.port = phone >= 0 ? phone : voip_rx_port(),
                                      .checked = phone >= 0};
            if (id != kStartMedia) return stop_media(src, order, p + 12);
            return start_media(src, order, p + 12);
        }
        if (n > static_cast<uint32_t>(left) - 8) break;
        p += 8 + n;
        left -= static_cast<int>(8 + n);
    }
    return 0;
}

void sccp_phones_clear(void) {
    voip_gates_flush(&failure_log, &removal_failure_log);
    // Nothing is heard while Auto VoIP is off.
    std::memset(heard, 0, sizeof heard);
    while (phones != nullptr) {
        sccp_phone *phone = phones;
        phones = phone->next;
        while (phone->sessions != nullptr) {
            sccp_session *s = phone->sessions;
            phone->sessions = s->next;
            session_set(s, false);
            sal_free(s);
        }
        sal_free(phone);
    }
}

void sccp_phones_age(uint32_t now) {
    for (sccp_phone *phone = phones, *next = nullptr; phone != nullptr; phone = next) {
        next = phone->next;
        sccp_session **slot = &phone->sessions;
        while (*slot != nullptr) {
            if (!voip_call_idle(&(*slot)->life, (*slot)->rule, now)) {
                slot = &(*slot)->next;
                continue;
            }
            session_set(*slot, false);
            // The phone goes with its last session.
            const bool last = phone->count == 1;
            session_end(phone, slot);
            if (last) break;
        }
    }
}
