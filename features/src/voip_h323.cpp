// H.323 snooping: copies of the call signalling (H.225.0 in Q.931 in TPKT on
// TCP 1720) and of the calls' H.245 control connections. A call learns its
// H.245 address from the H.225.0 messages and copies that connection to the
// CPU; OpenLogicalChannel and its Ack (tunnelled, in fastStart or on the
// H.245 connection) give the two media addresses, whose RTP streams then
// replace the H.245 rules. A call holds no rule before the callee has
// answered (sent an H.225.0 message), so Setups nobody answers take no
// field-processor row. When the list is full a call without a rule,
// answered or not, makes room: the oldest of the port holding the most
// (voip_eviction), so one port's Setups take no other port's call.
// ReleaseComplete, or the end of the signalling connection, ends the call
// (once the callee has answered the caller, either's end every call on the
// connection that took that answer, Setups from other ports before the
// answer included);
// so does silence (VOIP_IDLE_SECS). The rules are charged to the port the
// caller's Setup came in on, else to the callee's, where its answer came in.
// Those two ports are the call's: a segment of its connection
// (ReleaseComplete, FIN, RST, media addresses) or of its H.245 connection
// from any other port changes nothing; before the answer, an end of the
// callee's side from another port than the Setup's leaves the call waiting.
// A Setup on the same connection from another port makes a call of its
// own (on an answered call's connection the forger's, charged to its own
// port only and ended by either party's end of the call), and an answer
// from another port than the one the call took goes to a copy of its
// caller side. A callee's first message from another port
// than the one the switch sent the Setup out of (the address table's for
// its destination MAC; when the table did not know the callee, than the
// one where that callee's answers came in) is no party's: its
// call is charged to that port only, and the callee's own end also ends
// the calls of its Setup such answers made. So a host elsewhere can
// neither end a call nor keep it from its rules or its ports' rows.
#include <cstring>

#include "logger.h"
#include "sal.h"
#include "voip_h323_asn.h"
#include "voip_internal.h"

namespace {

constexpr uint8_t kFirstClass = VOIP_CLASS_H245;
constexpr uint8_t kClassWrap = 255;
constexpr uint8_t kQ931Discriminator = 8;
constexpr uint8_t kUserUser = 0x7E;
constexpr uint8_t kTcpFin = 0x01;
constexpr uint8_t kTcpRst = 0x04;
constexpr int kTpktHeader = 4;

// Connections whose first TPKT header came alone: its body, in the next
// segment of that direction, may start a call. Held per port (voip_eviction), so
// junk can delay but never block a call.
constexpr int kAnnounced = 8;

struct h323_call {
    uint32_t caller_ip, callee_ip;
    uint16_t caller_port, callee_port;
    uint32_t h245_ip;
    uint16_t h245_port;
    uint16_t direction;   // of the current segment: 0 from the caller, 1 from the callee
    uint16_t pending[2];  // TPKT body length announced at the end of a segment
    uint32_t media_ip[2];
    uint16_t media_port[2];
    int rule[2];
    bool rules_rtp;           // the rule pair holds the RTP rules, else the H.245 rules
    bool answered;            // the callee has sent an H.225.0 message
    bool answer_party;        // from where the callee is (callee_station, else callee_port)
    bool answer_to_caller;    // and sent to where the Setup came from
    uint64_t callee_station;  // where the switch sent the Setup (voip_rx_dest_station)
    uint32_t stamp;           // voip_record_stamp() when made
    int owner;                // the port it counts for in the list
    int ports[2];             // to charge: where the caller's and the callee's messages came in
    int own_side;             // -1: either port may be charged; 0 or 1: only that side's
    bool forged;  // its Setup came on an answered call's connection from no party's port
    // A segment (empty ones, such as TCP keepalives, included) on the
    // signalling or H.245 connection is a sign of life, as a media hit is.
    voip_life life;
    h323_call *next;
};

h323_call *calls = nullptr;
int call_count = 0;
uint8_t class_id = kFirstClass;
log_gate make_room_log, h245_failure_log, rtp_failure_log, h245_removal_failure_log;
log_gate idle_log;  // calls given up as idle

struct announced_header {
    uint32_t src_ip, dst_ip;
    uint16_t src_port, dst_port;
    uint16_t length;  // of the TPKT body; 0 for a free slot
    int port;         // where the header came in
    uint32_t stamp;
};
announced_header announced[kAnnounced];

// The decode areas, used only on the receive thread under the Auto VoIP lock.
h225_message h225_area;
h245_message h245_area;

// The TCP segment of a copied frame.
struct segment {
    uint32_t src_ip, dst_ip;
    uint16_t src_port, dst_port;
    uint8_t flags;
    const uint8_t *payload;
    int length;
};

bool segment_parse(const uint8_t *ip, int length, segment *s) {
    if (ip == nullptr || length < 4 + 40) return false;
    const int len = length - 4;  // the frame check sequence
    const int ihl = (ip[0] & 0xF) * 4;
    const int total = voip_be16(ip + 2);
    if (ihl < 20 || total > len || ihl + 20 > total) return false;
    const uint8_t *tcp = ip + ihl;
    const int thl = (tcp[12] >> 4) * 4;
    if (thl < 20 || ihl + thl > total) return false;
    *s = {.src_ip = voip_be32(ip + 12),
          .dst_ip = voip_be32(ip + 16),
          .src_port = voip_be16(tcp),
          .dst_port = voip_be16(tcp + 2),
          .flags = tcp[13],
          .payload = tcp + thl,
          .length = total - ihl - thl};
    return true;
}

// The ports to charge, the first with room.
void charged(const h323_call *c, int out[2]) {
    out[0] = c->own_side >= 0 ? c->ports[c->own_side] : c->ports[0];
    out[1] = c->own_side >= 0 ? -1 : c->ports[1];
}

int h245_rules_set(h323_call *c) {
    const voip_rule to = {.protocol = 6,
                          .src_ip = 0,
                          .src_ip_mask = 0,
                          .dst_ip = c->h245_ip,
                          .dst_ip_mask = 0xFFFFFFFF,
                          .src_port = 0,
                          .src_port_mask = 0,
                          .dst_port = c->h245_port,
                          .dst_port_mask = 0xFFFF,
                          .copy_class = class_id};
    const voip_rule rules[2] = {to, voip_rule_mirror(to)};
    const bool fresh = c->rule[0] == 0 && c->rule[1] == 0;
    int ports[2];
    charged(c, ports);
    const int rv = voip_rule_pair_install(c->rule, rules, ports);
    if (rv == 0 && fresh && ++class_id == kClassWrap) class_id = kFirstClass;
    return rv;
}

int rtp_rules_set(h323_call *c) {
    voip_rule rules[2];
    for (int i = 0; i < 2; i++)
        rules[i] = {.protocol = 17,
                    .src_ip = 0,
                    .src_ip_mask = 0,
                    .dst_ip = c->media_ip[i],
                    .dst_ip_mask = 0xFFFFFFFF,
                    .src_port = 0,
                    .src_port_mask = 0,
                    .dst_port = c->media_port[i],
                    .dst_port_mask = 0xFFFE,
                    .copy_class = 0};
    int ports[2];
    charged(c, ports);
    return voip_rule_pair_install(c->rule, rules, ports);
}

void call_free(h323_call *c) {
    for (h323_call **at = &calls; *at != nullptr; at = &(*at)->next) {
        if (*at == c) {
            *at = c->next;
            break;
        }
    }
    voip_rule_pair_remove(c->rule);
    sal_free(c);
    call_count--;
}

// Whether a segment from the side (0 caller, 1 callee) that came in on the
// port may speak for the call: the caller only from the port its Setup came
// in on, the callee from the port its first answer came in on (before it,
// from any port: whoever answers is the callee).
bool side_port(const h323_call *c, uint16_t direction, int port) {
    return direction == 0 ? c->ports[0] == port : !c->answered || c->ports[1] == port;
}

// Whether an end (ReleaseComplete, FIN, RST) from the side that came in on
// the port ends the call. Before the callee's first answer its port is not
// known, so only the Setup's port may end the call: an end from elsewhere
// may be forged, and leaves the call waiting (it holds no rule). A copy
// waits for the port it was made for.
bool side_may_end(const h323_call *c, uint16_t direction, int port) {
    if (c->answered || c->own_side == 1) return side_port(c, direction, port);
    return c->ports[0] == port;
}

// The side of the call's signalling connection the segment is on: 0 from
// the caller, 1 from the callee, -1 when it is not on that connection.
int side_of(const h323_call *c, const segment &s) {
    if (c->caller_ip == s.src_ip && c->callee_ip == s.dst_ip && c->caller_port == s.src_port &&
        c->callee_port == s.dst_port)
        return 0;
    if (c->caller_ip == s.dst_ip && c->callee_ip == s.src_ip && c->caller_port == s.dst_port &&
        c->callee_port == s.src_port)
        return 1;
    return -1;
}

// Frees a call when the list is full: the one voip_eviction gives up for
// a new one from the port (answered calls without a rule are as open to it
// as unanswered ones). False when none can go.
bool make_room(int port) {
    if (call_count < VOIP_MAX_CALLS) return true;
    h323_call *victim =
        voip_eviction_take_list(port, calls, &make_room_log, "H323: too many calls");
    if (victim == nullptr) return false;
    call_free(victim);
    return true;
}

h323_call *call_create(const segment &s) {
    if (!make_room(voip_rx_port())) {
        log_gate_printf(
            &make_room_log, log_source_port(voip_rx_port()), LOG_LEVEL_WARNING, LOG_MOD_AUTOVOIP,
            "H323: too many calls, call from %u.%u.%u.%u not followed\n", s.src_ip >> 24,
            (s.src_ip >> 16) & 0xFF, (s.src_ip >> 8) & 0xFF, s.src_ip & 0xFF);
        return nullptr;
    }
    auto *c = static_cast<h323_call *>(sal_alloc(sizeof(h323_call), "H323"));
    if (c == nullptr) return nullptr;
    std::memset(c, 0, sizeof *c);
    c->caller_ip = s.src_ip;
    c->callee_ip = s.dst_ip;
    c->caller_port = s.src_port;
    c->callee_port = s.dst_port;
    c->ports[0] = voip_rx_port();
    c->ports[1] = -1;
    c->callee_station = voip_rx_dest_station();
    c->own_side = -1;
    // A Setup on an answered call's connection from another port than the
    // call's is the forger's: charged to its own port only, and ended by
    // either party's end of the call.
    for (const h323_call *o = calls; o != nullptr; o = o->next) {
        if (o != c && side_of(o, s) >= 0 && o->answered && o->answer_party) c->forged = true;
    }
    if (c->forged) c->own_side = 0;
    c->stamp = voip_record_stamp();
    c->owner = voip_rx_port();
    c->life.seen = voip_idle_now();
    c->next = calls;
    calls = c;
    call_count++;
    return c;
}

// A copy of the call's caller side, waiting for an answer from the port,
// at the head of the list; it counts for that port. Null when there is no
// room.
h323_call *caller_copy(const h323_call *c, int port) {
    if (call_count >= VOIP_MAX_CALLS) return nullptr;
    auto *copy = static_cast<h323_call *>(sal_alloc(sizeof(h323_call), "H323"));
    if (copy == nullptr) return nullptr;
    *copy = *c;
    copy->pending[1] = 0;
    copy->media_ip[1] = 0;
    copy->media_port[1] = 0;
    copy->rule[0] = copy->rule[1] = 0;
    copy->rules_rtp = false;
    copy->answered = false;
    copy->ports[1] = -1;
    copy->own_side = 1;
    copy->stamp = voip_record_stamp();
    copy->owner = port;
    copy->next = calls;
    calls = copy;
    call_count++;
    return copy;
}

// Where the callee's own answers come in (voip_answer_tally).
int callee_port(uint32_t callee_ip) {
    voip_answer_tally tally;
    for (const h323_call *c = calls; c != nullptr; c = c->next) {
        if (c->callee_ip == callee_ip && c->answered && c->answer_party)
            tally.add(c->ports[1], c->stamp);
    }
    return tally.port();
}

// Whether a call of c's Setup takes the callee's segments from the port:
// one answered from there, or one still waiting for its answer.
bool answer_taken(const h323_call *c, int port) {
    for (const h323_call *o = calls; o != nullptr; o = o->next) {
        if ((!o->answered || o->ports[1] == port) && o->ports[0] == c->ports[0] &&
            o->caller_ip == c->caller_ip && o->callee_ip == c->callee_ip &&
            o->caller_port == c->caller_port && o->callee_port == c->callee_port)
            return true;
    }
    return false;
}

// The body length announced for the connection's direction by a header
// that came alone, taken out of the table; 0 when none was.
uint16_t announced_take(const segment &s) {
    for (announced_header &a : announced) {
        if (a.length != 0 && a.src_ip == s.src_ip && a.dst_ip == s.dst_ip &&
            a.src_port == s.src_port && a.dst_port == s.dst_port) {
            const uint16_t n = a.length;
            a.length = 0;
            return n;
        }
    }
    return 0;
}

// A free slot, else the one voip_eviction gives up: a port sending lone
// headers overwrites its own, not another port's call about to start.
void announced_put(const segment &s, uint16_t length) {
    const int port = voip_rx_port();
    announced_header *slot = nullptr;
    voip_eviction eviction(port);
    for (announced_header &a : announced) {
        if (a.length == 0) {
            slot = &a;
            break;
        }
        eviction.add(&a, a.port, a.stamp, false);
    }
    if (slot == nullptr) slot = static_cast<announced_header *>(eviction.victim(nullptr));
    *slot = {.src_ip = s.src_ip,
             .dst_ip = s.dst_ip,
             .src_port = s.src_port,
             .dst_port = s.dst_port,
             .length = length,
             .port = port,
             .stamp = voip_record_stamp()};
}

void h323_media_address_set(h323_call *c, uint32_t ip, uint16_t port) {
    c->media_ip[c->direction] = ip;
    c->media_port[c->direction] = port;
    if (c->media_port[0] == 0 || c->media_port[1] == 0) return;
    if (!c->rules_rtp && voip_rule_pair_remove(c->rule) != 0)
        voip_failure_log(&h245_removal_failure_log, "Remove FP entries for H245 session failed");
    c->rules_rtp = true;
    if (rtp_rules_set(c) != 0)
        voip_failure_log(&rtp_failure_log, "Create FP entries for H323 RTP session failed");
}

// The IPv4 address and port of a decoded TransportAddress, when it has them
// and they lie inside the decoded buffer.
bool transport_ip(const per_transport &t, const uint8_t *buf, size_t len, uint32_t *ip,
                  uint16_t *port) {
    if (t.choice != 0 || t.unicast != 0 || t.ip == 0 || t.ip > len || len - t.ip < 6) return false;
    *ip = voip_be32(buf + t.ip);
    *port = voip_be16(buf + t.ip + 4);
    return true;
}

void channel_media(h323_call *c, const h245_channel &ch, uint32_t mux, const uint8_t *buf,
                   size_t len) {
    uint32_t ip = 0;
    uint16_t port = 0;
    if (ch.mux == mux && transport_ip(ch.media, buf, len, &ip, &port))
        h323_media_address_set(c, ip, port);
}

void olc_media(h323_call *c, const h245_message &m, const uint8_t *buf, size_t len) {
    channel_media(c, m.olc_forward, H245_OLC_FORWARD_H2250, buf, len);
    channel_media(c, m.olc_reverse, H245_OLC_REVERSE_H2250, buf, len);
}

constexpr uint32_t kRequest = 0, kResponse = 1;
constexpr uint32_t kOpenLogicalChannel = 3, kOpenLogicalChannelAck = 5;

void h245_message_handle(h323_call *c, const h245_message &m, const uint8_t *buf, size_t len) {
    if (m.kind == kRequest && m.request == kOpenLogicalChannel) {
        olc_media(c, m, buf, len);
    } else if (m.kind == kResponse && m.response == kOpenLogicalChannelAck) {
        channel_media(c, m.ack_reverse, H245_ACK_REVERSE_H2250, buf, len);
        channel_media(c, m.ack_forward, H245_ACK_FORWARD_H2250, buf, len);
    }
}

// The segment being walked and its call, which the first H.225.0 message
// of a connection creates.
struct walk {
    const segment *seg;
    h323_call *call;
};

// The H.225.0 message in a user-user element. False when the walk ends: the
// call ended, or there is none and none can be made.
bool h225_message_handle(walk *w, const uint8_t *buf, size_t len) {
    h225_message &m = h225_area;
    std::memset(&m, 0, sizeof m);
    if (per_decode(&h225_user_information, buf, len, &m) != 0) return true;
    if (w->call == nullptr) {
        if (m.body == H225_RELEASE_COMPLETE) return false;  // ends nothing we follow
        w->call = call_create(*w->seg);
        if (w->call == nullptr) return false;
    }
    h323_call *c = w->call;
    if (m.body == H225_RELEASE_COMPLETE && !side_may_end(c, c->direction, voip_rx_port()))
        return true;
    if (c->direction == 1 && !c->answered) {
        // An answer from elsewhere than the callee is charged to its own
        // port only; the callee's own may use the caller's port too, also on
        // a copy made for it. The callee is where the switch sent the Setup;
        // where the address table did not know it then, where its answers
        // come in.
        const int port = voip_rx_port();
        if (c->callee_station != 0) {
            c->answer_party = voip_station_has_port(c->callee_station, port);
        } else {
            const int callee = callee_port(c->callee_ip);
            c->answer_party = callee < 0 || callee == port;
        }
        c->answer_to_caller = voip_station_has_port(voip_rx_dest_station(), c->ports[0]);
        if (!c->answer_party)
            c->own_side = 1;
        else if (c->own_side == 1)
            c->own_side = -1;
        c->answered = true;
        c->ports[1] = port;
    }
    bool moved = false;
    switch (m.body) {
        case H225_RELEASE_COMPLETE:
            call_free(c);
            w->call = nullptr;
            return false;
        case H225_SETUP:
        case H225_CALL_PROCEEDING:
        case H225_CONNECT:
        case H225_ALERTING:
        case H225_FACILITY:
        case H225_PROGRESS: {
            uint32_t ip = 0;
            uint16_t port = 0;
            moved = transport_ip(m.h245_address, buf, len, &ip, &port);
            if (moved) {
                c->h245_ip = ip;
                c->h245_port = port;
            }
        }
            [[fallthrough]];
        case H225_INFORMATION:
            for (uint32_t i = 0; i < m.fast_start_count; i++)
                olc_media(c, m.fast_start[i], buf, len);
            break;
        default:
            break;
    }
    // Once the media are known the RTP rules stay.
    if (c->answered && c->h245_port != 0 && !c->rules_rtp && (moved || c->rule[0] == 0) &&
        h245_rules_set(c) != 0)
        voip_failure_log(&h245_failure_log, "Create FP entries for H245 session failed");
    for (uint32_t i = 0; i < m.h245_count; i++)
        h245_message_handle(c, m.h245[i], buf, len);
    return true;
}

// A Q.931 message: its user-user element holds the H.225.0 message after
// its protocol discriminator. False when the walk ends.
bool q931_handle(walk *w, const uint8_t *p, int len) {
    if (len < 3 || p[0] != kQ931Discriminator) return true;
    int at = 2 + (p[1] & 0x0F) + 1;  // call reference, message type
    while (at < len) {
        const uint8_t id = p[at];
        if (id & 0x80) {  // single-octet element
            at++;
            continue;
        }
        if (id == kUserUser) {
            if (len - at < 3) return true;
            const int n = voip_be16(p + at + 1);
            if (n < 2 || n > len - at - 3) return true;
            return h225_message_handle(w, p + at + 4, static_cast<size_t>(n - 1));
        }
        if (len - at < 2) return true;
        at += 2 + p[at + 1];
    }
    return true;
}

bool tpkt_header(const uint8_t *p) {
    return p[0] == 3 && p[1] == 0;
}

using body_handler = bool (*)(walk *, const uint8_t *, int);

// Each whole TPKT of the payload in turn. A header standing alone at the end
// announces a body for the next segment of its direction (pending may be
// null where that is not followed). False when the walk ended early.
bool tpkt_walk(walk *w, const uint8_t *p, int left, uint16_t *pending, body_handler handle) {
    const int announced = pending != nullptr ? *pending : 0;
    if (pending != nullptr) *pending = 0;
    if (announced > 0 && left > 0 && !(left >= 2 && tpkt_header(p)) && announced <= left) {
        if (!handle(w, p, announced)) return false;
        p += announced;
        left -= announced;
    }
    while (left >= kTpktHeader && tpkt_header(p)) {
        const int n = voip_be16(p + 2);
        if (left == kTpktHeader) {
            if (pending != nullptr && n > kTpktHeader)
                *pending = static_cast<uint16_t>(n - kTpktHeader);
            break;
        }
        if (n < kTpktHeader + 1 || n > left) break;
        if (!handle(w, p + kTpktHeader, n - kTpktHeader)) return false;
        p += n;
        left -= n;
    }
    return true;
}

bool h245_tpkt(walk *w, const uint8_t *p, int len) {
    h245_message &m = h245_area;
    std::memset(&m, 0, sizeof m);
    if (per_decode(&h245_control_message, p, static_cast<size_t>(len), &m) == 0)
        h245_message_handle(w->call, m, p, static_cast<size_t>(len));
    return true;
}

// A segment of a connection without a call: a call is made only when it
// holds an H.225.0 message, so junk on the port takes no record.
int h225_first(const segment &s) {
    walk w{.seg = &s, .call = nullptr};
    uint16_t pending = announced_take(s);
    tpkt_walk(&w, s.payload, s.length, &pending, q931_handle);
    if (w.call == nullptr) {
        if (pending != 0) announced_put(s, pending);
        return -1;
    }
    w.call->pending[0] = pending;
    return 0;
}

}  // namespace

int h225_rx(const uint8_t *ip_header, int length) {
    segment s{};
    if (!segment_parse(ip_header, length, &s)) return -1;
    const bool ends = (s.flags & (kTcpFin | kTcpRst)) != 0;
    const int port = voip_rx_port();
    // Room for the copy an answer makes, before the walk: making room frees
    // calls. (Several copies, for Setups from several ports, take what room
    // there is.)
    bool copies = false;
    for (const h323_call *c = calls; c != nullptr && s.length > 0 && !ends; c = c->next)
        copies = copies || (side_of(c, s) == 1 && c->answered && c->ports[1] != port &&
                            !answer_taken(c, port));
    if (copies) make_room(port);
    int waiting = 0;
    for (const h323_call *c = calls; c != nullptr; c = c->next)
        waiting += side_of(c, s) == 1 && !c->answered;
    bool taken = false, callee_side = false, party_end = false;
    int swept_setup_port = -1;
    // The ports of the callee's answers whose calls end whole (bit n for
    // port n, as a station).
    uint64_t whole_call_answers = 0;
    // Setups of one connection from several ports are calls of their own;
    // the callee's answer goes to each that waits for one, each then
    // charged to its caller's port. An answer from another port than the
    // one that answered a call goes to a copy of its caller side: the first
    // answer may have been forged. Copies are made at the head, out of the
    // walk's way.
    for (h323_call *c = calls, *next = nullptr; c != nullptr; c = next) {
        next = c->next;  // c may end here
        const int side = side_of(c, s);
        if (side < 0) continue;
        callee_side = callee_side || side == 1;
        h323_call *to = c;
        if (side == 1 && !c->answered && waiting > 1 && c->own_side < 0) c->own_side = 0;
        if (side == 1 && c->answered && c->ports[1] != port) {
            to = s.length > 0 && !ends && !answer_taken(c, port) ? caller_copy(c, port) : nullptr;
            if (to == nullptr) continue;
        }
        if (side == 0 && c->ports[0] != port) continue;
        taken = true;
        to->direction = static_cast<uint16_t>(side);
        to->life.seen = voip_idle_now();
        const bool callee_party = side == 1 && to->answered && to->answer_party;
        const int setup_port = to->ports[0];
        walk w{.seg = &s, .call = to};
        // An end from the caller's Setup port or the callee's own; once the
        // callee has answered the caller there, either's end is that of
        // every call that took the callee's answer from that port, Setups
        // from other ports before the answer included.
        const bool party = !to->forged && (side == 0 || callee_party);
        const bool whole_call =
            callee_party || (party && to->answered && to->answer_party && to->answer_to_caller);
        const uint64_t answer =
            whole_call && to->ports[1] >= 1 && to->ports[1] < 64 ? uint64_t{1} << to->ports[1] : 0;
        if (s.length > 0 &&
            !tpkt_walk(&w, s.payload, s.length, &to->pending[to->direction], q931_handle)) {
            if (callee_party) swept_setup_port = setup_port;
            party_end = party_end || party;
            whole_call_answers |= answer;
            continue;  // released
        }
        if (ends && side_may_end(to, to->direction, port)) {
            if (callee_party) swept_setup_port = setup_port;
            party_end = party_end || party;
            whole_call_answers |= answer;
            call_free(to);
        }
    }
    // The callee's own end also ends the calls of its Setup that answers
    // from elsewhere made, a party's end every call forged on the
    // connection, and the end of an answered call every call that took the
    // same answer: a host answering a Setup of its own on the connection so
    // ends only what its own answers made.
    for (h323_call *c = calls, *next = nullptr;
         (swept_setup_port >= 0 || party_end || whole_call_answers != 0) && c != nullptr;
         c = next) {
        next = c->next;
        if (side_of(c, s) >= 0 &&
            ((c->answered && voip_station_has_port(whole_call_answers, c->ports[1])) ||
             (c->ports[0] == swept_setup_port && c->answered && !c->answer_party) ||
             (party_end && c->forged)))
            call_free(c);
    }
    // The callee's side of a call starts no call.
    if (taken || callee_side) return taken ? 0 : -1;
    return ends || s.length == 0 ? -1 : h225_first(s);
}

int h245_rx(const uint8_t *ip_header, int length) {
    segment s{};
    if (!segment_parse(ip_header, length, &s)) return -1;
    const int port = voip_rx_port();
    int rv = -1;
    for (h323_call *c = calls; c != nullptr; c = c->next) {
        if (c->h245_port == 0 || !((c->h245_ip == s.dst_ip && c->h245_port == s.dst_port) ||
                                   (c->h245_ip == s.src_ip && c->h245_port == s.src_port)))
            continue;
        c->direction = s.src_ip == c->caller_ip ? 0 : 1;
        if (!side_port(c, c->direction, port)) continue;
        c->life.seen = voip_idle_now();
        walk w{.seg = &s, .call = c};
        tpkt_walk(&w, s.payload, s.length, nullptr, h245_tpkt);
        rv = 0;
    }
    return rv;
}

bool h323_is_h245_port(uint16_t port) {
    if (port == 0) return false;
    for (const h323_call *c = calls; c != nullptr; c = c->next) {
        if (c->h245_port == port) return true;
    }
    return false;
}

void h323_calls_clear(void) {
    voip_gates_flush(&make_room_log, &h245_failure_log, &rtp_failure_log, &h245_removal_failure_log,
                     &idle_log);
    while (calls != nullptr)
        call_free(calls);
    class_id = kFirstClass;
    std::memset(announced, 0, sizeof announced);
}

void h323_calls_age(uint32_t now) {
    for (h323_call *c = calls, *next = nullptr; c != nullptr; c = next) {
        next = c->next;
        if (!voip_call_idle(&c->life, c->rule, now)) continue;
        log_gate_printf(&idle_log, log_source_port(c->owner), LOG_LEVEL_INFO, LOG_MOD_AUTOVOIP,
                        "H323: call from %u.%u.%u.%u idle, no longer followed\n",
                        c->caller_ip >> 24, (c->caller_ip >> 16) & 0xFF, (c->caller_ip >> 8) & 0xFF,
                        c->caller_ip & 0xFF);
        call_free(c);
    }
}
