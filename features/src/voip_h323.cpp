// H.323 snooping: copies of the call signalling (H.225.0 in Q.931 in TPKT on
// TCP 1720) and of the calls' H.245 control connections. A call learns its
// H.245 address from the H.225.0 messages and copies that connection to the
// CPU; OpenLogicalChannel and its Ack (tunnelled, in fastStart or on the
// H.245 connection) give the two media addresses, whose RTP streams then
// replace the H.245 rules. ReleaseComplete, or the end of the signalling
// connection, ends the call.
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
    bool rules_rtp;  // the rule pair holds the RTP rules, else the H.245 rules
    h323_call *next;
};

h323_call *calls = nullptr;
int call_count = 0;
uint8_t class_id = kFirstClass;

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
    const int rv = voip_rule_pair_install(c->rule, rules);
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
    return voip_rule_pair_install(c->rule, rules);
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

h323_call *call_find(const segment &s) {
    for (h323_call *c = calls; c != nullptr; c = c->next) {
        if (c->caller_ip == s.src_ip && c->callee_ip == s.dst_ip && c->caller_port == s.src_port &&
            c->callee_port == s.dst_port) {
            c->direction = 0;
            return c;
        }
        if (c->caller_ip == s.dst_ip && c->callee_ip == s.src_ip && c->caller_port == s.dst_port &&
            c->callee_port == s.src_port) {
            c->direction = 1;
            return c;
        }
    }
    return nullptr;
}

h323_call *call_create(const segment &s) {
    if (call_count >= VOIP_MAX_CALLS) {
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_AUTOVOIP,
                      "H323: too many calls, call from %u.%u.%u.%u not followed\n", s.src_ip >> 24,
                      (s.src_ip >> 16) & 0xFF, (s.src_ip >> 8) & 0xFF, s.src_ip & 0xFF);
        return nullptr;
    }
    auto *c = static_cast<h323_call *>(sal_alloc(sizeof(h323_call), "H323"));
    if (c == nullptr) return nullptr;
    c->caller_ip = s.src_ip;
    c->callee_ip = s.dst_ip;
    c->caller_port = s.src_port;
    c->callee_port = s.dst_port;
    c->next = calls;
    calls = c;
    call_count++;
    return c;
}

void h323_media_address_set(h323_call *c, uint32_t ip, uint16_t port) {
    c->media_ip[c->direction] = ip;
    c->media_port[c->direction] = port;
    if (c->media_port[0] == 0 || c->media_port[1] == 0) return;
    if (!c->rules_rtp && voip_rule_pair_remove(c->rule) != 0)
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_AUTOVOIP,
                      "Remove FP entries for H245 sesstion failed\n");
    c->rules_rtp = true;
    if (rtp_rules_set(c) != 0)
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_AUTOVOIP,
                      "Create FP entries for H323 RTP sesstion failed\n");
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

// The H.225.0 message in a user-user element. False when the call ended.
bool h225_message_handle(h323_call *c, const uint8_t *buf, size_t len) {
    h225_message &m = h225_area;
    std::memset(&m, 0, sizeof m);
    if (per_decode(&h225_user_information, buf, len, &m) != 0) return true;
    switch (m.body) {
        case H225_RELEASE_COMPLETE:
            call_free(c);
            return false;
        case H225_SETUP:
        case H225_CALL_PROCEEDING:
        case H225_CONNECT:
        case H225_ALERTING:
        case H225_FACILITY:
        case H225_PROGRESS: {
            uint32_t ip = 0;
            uint16_t port = 0;
            if (transport_ip(m.h245_address, buf, len, &ip, &port)) {
                c->h245_ip = ip;
                c->h245_port = port;
                // Once the media are known the RTP rules stay.
                if (!c->rules_rtp && h245_rules_set(c) != 0)
                    logger_printf(LOG_LEVEL_ERROR, LOG_MOD_AUTOVOIP,
                                  "Create FP entries for H245 sesstion failed\n");
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
    for (uint32_t i = 0; i < m.h245_count; i++)
        h245_message_handle(c, m.h245[i], buf, len);
    return true;
}

// A Q.931 message: its user-user element holds the H.225.0 message after
// its protocol discriminator. False when the call ended.
bool q931_handle(h323_call *c, const uint8_t *p, int len) {
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
            return h225_message_handle(c, p + at + 4, static_cast<size_t>(n - 1));
        }
        if (len - at < 2) return true;
        at += 2 + p[at + 1];
    }
    return true;
}

bool tpkt_header(const uint8_t *p) {
    return p[0] == 3 && p[1] == 0;
}

using body_handler = bool (*)(h323_call *, const uint8_t *, int);

// Each whole TPKT of the payload in turn. A header standing alone at the end
// announces a body for the next segment of its direction (pending may be
// null where that is not followed). False when the call ended.
bool tpkt_walk(h323_call *c, const uint8_t *p, int left, uint16_t *pending, body_handler handle) {
    const int announced = pending != nullptr ? *pending : 0;
    if (pending != nullptr) *pending = 0;
    if (announced > 0 && left > 0 && !(left >= 2 && tpkt_header(p)) && announced <= left) {
        if (!handle(c, p, announced)) return false;
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
        if (!handle(c, p + kTpktHeader, n - kTpktHeader)) return false;
        p += n;
        left -= n;
    }
    return true;
}

bool h245_tpkt(h323_call *c, const uint8_t *p, int len) {
    h245_message &m = h245_area;
    std::memset(&m, 0, sizeof m);
    if (per_decode(&h245_control_message, p, static_cast<size_t>(len), &m) == 0)
        h245_message_handle(c, m, p, static_cast<size_t>(len));
    return true;
}

}  // namespace

int h225_rx(const uint8_t *ip_header, int length) {
    segment s{};
    if (!segment_parse(ip_header, length, &s)) return -1;
    const bool ends = (s.flags & (kTcpFin | kTcpRst)) != 0;
    h323_call *c = call_find(s);
    if (c == nullptr) {
        // A call starts with a TPKT; anything else is not followed.
        if (ends || s.length < kTpktHeader || !tpkt_header(s.payload)) return -1;
        c = call_create(s);
        if (c == nullptr) return -1;
        c->direction = 0;
    }
    if (s.length > 0 && !tpkt_walk(c, s.payload, s.length, &c->pending[c->direction], q931_handle))
        return 0;  // released
    if (ends) call_free(c);
    return 0;
}

int h245_rx(const uint8_t *ip_header, int length) {
    segment s{};
    if (!segment_parse(ip_header, length, &s)) return -1;
    for (h323_call *c = calls; c != nullptr; c = c->next) {
        if (c->h245_port == 0) continue;
        if ((c->h245_ip == s.dst_ip && c->h245_port == s.dst_port) ||
            (c->h245_ip == s.src_ip && c->h245_port == s.src_port)) {
            c->direction = s.src_ip == c->caller_ip ? 0 : 1;
            tpkt_walk(c, s.payload, s.length, nullptr, h245_tpkt);
            return 0;
        }
    }
    return -1;
}

bool h323_is_h245_port(uint16_t port) {
    if (port == 0) return false;
    for (const h323_call *c = calls; c != nullptr; c = c->next) {
        if (c->h245_port == port) return true;
    }
    return false;
}

void h323_calls_clear(void) {
    while (calls != nullptr)
        call_free(calls);
    class_id = kFirstClass;
}
