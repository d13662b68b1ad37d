// SIP snooping: an INVITE's SDP gives the caller's media end, its 200
// response the callee's; the pair of media rules lives until BYE, a CANCEL
// before the answer, a failure answer to the INVITE that opened the call, or
// an idle stretch without messages or media (a failure answer to a later
// request, such as a re-INVITE or an INFO, and a CANCEL of a re-INVITE leave
// the call as it is). A session without a rule (an INVITE nobody answered)
// may make room for a new one when the list is full: the oldest of the
// port holding the most (voip_eviction), so one port's burst of INVITEs
// takes no other port's ringing call. The rules are charged to the port of
// a phone of the call that spoke for itself (from its media address): the
// one that answered, where its answer came in, or the caller, where its
// INVITE came in, the other when the first holds its share. A message a
// server sent for a phone names no phone's port; when neither phone spoke
// for itself the answer's port is charged. An answer from another address
// than the INVITE went to, or from another port than the one the switch
// sent the INVITE out of (the address table's for its destination MAC; when
// the table did not know the party, than the one where that address's
// answers came in), is no party's: it is charged to the port it came in on
// only, and when that port has no room the session waits on.
//
// A session belongs to the ports of its set-up: the INVITE's (a proxy's
// copy of it, the same offer from another port before the answer, adds its
// port), and once answered the answer's. Only those end or change it (BYE,
// CANCEL, a failure answer, a re-INVITE); an INVITE with another offer
// from another port on the same Call-ID opens a session of its own, and
// one on an answered call's is the forger's, charged to its own port only.
// An answer answers only the offer it names (CSeq number and method): it
// goes to every session of its Call-ID waiting for that offer's answer,
// each then charged to its own INVITE's port when there are several; a 200
// to the INVITE from a port outside an answered session answers a copy of
// the session's INVITE side, charged as any answer. A BYE from the
// INVITE's port, or from where the party's answer came in, also ends the
// sessions of that INVITE no party answered and every offer forged on the
// call; once the party has answered, a BYE from where its answer came in or
// from where that answer went ends every session on the Call-ID that took
// that answer, offers another port made before the answer included. So a host that is no
// party to a call can neither end it nor, by an INVITE or an answer of its
// own on the Call-ID, keep it from its rules or the rows of its ports. A failure
// answer from another port before the answer leaves the session as it is:
// it holds no rule and goes when idle or when room is needed.
#include <cstdlib>
#include <cstring>

#include "logger.h"
#include "sal.h"
#include "voip_internal.h"

namespace {

// Ports a proxied INVITE may come in on besides the first.
constexpr int kRelayPorts = 3;

struct sip_session {
    char *call_id;
    int installed;
    uint32_t stamp;                        // voip_record_stamp() when made
    int owner;                             // the port it counts for in the list
    int invite_port;                       // where the INVITE came in
    uint32_t invite_src;                   // the address it came from
    uint32_t invite_dst;                   // the address it was sent to
    uint64_t invite_station;               // where the switch sends that party's frames
    int relay_ports[kRelayPorts];          // where copies of it came in; -1 for none
    uint32_t relay_dsts[kRelayPorts];      // the addresses those were sent to
    uint64_t relay_stations[kRelayPorts];  // and where their parties are
    int answer_port;                       // where the 200 answer came in, once answered
    bool answer_party;                     // that answer came from the party the INVITE went to
    bool answer_to_caller;                 // and went back to where the INVITE came from
    uint32_t answer_src;                   // the address it came from
    bool caller_self;                      // the INVITE came from the caller's media address
    long invite_cseq;                      // the CSeq number of its latest offer; -1 for none
    bool forged;   // its INVITE came on an answered call's Call-ID from no party's port
    bool ending;   // a BYE being handled ends it with its call
    int ports[2];  // to charge, the first with room
    voip_life life;
    uint32_t caller_ip, callee_ip;
    uint16_t caller_port, callee_port;
    int rule[2];
    sip_session *next;
};

struct sip_message {
    char method[16];  // requests, else empty
    int status;       // responses, else 0
    char call_id[128];
    char content_type[64];
    char cseq_method[16];  // the request a response answers
    long cseq;             // and its number; -1 for none
};

sip_session *sessions = nullptr;
int session_count = 0;
log_gate make_room_log, failure_log;

void info(const char *text) {
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_AUTOVOIP, "%s", text);
}

// A message that does not parse, or lacks what its kind needs: gated, so
// junk on the port does not fill the log.
log_gate not_understood_log;
void not_understood(const char *text) {
    log_gate_puts(&not_understood_log, log_source_port(voip_rx_port()), LOG_LEVEL_INFO,
                  LOG_MOD_AUTOVOIP, text);
}

bool same_call(const sip_session *s, const char *call_id) {
    return call_id[0] != '\0' && std::strcmp(s->call_id, call_id) == 0;
}

// Whether an order from the port may end or change the session.
bool party(const sip_session *s, int port) {
    for (int relay : s->relay_ports) {
        if (port == relay) return true;
    }
    return port == s->invite_port || (s->installed && port == s->answer_port);
}

// Adds the port to the session that waits for an answer to the same offer
// on the Call-ID: a proxy passing the INVITE on. False when there is none
// or it has no room.
bool relayed(const sip_session &invite, int port) {
    for (sip_session *s = sessions; s != nullptr; s = s->next) {
        if (s->installed || !same_call(s, invite.call_id) || s->caller_ip != invite.caller_ip ||
            s->caller_port != invite.caller_port)
            continue;
        for (int i = 0; i < kRelayPorts; i++) {
            if (s->relay_ports[i] >= 0) continue;
            s->relay_ports[i] = port;
            s->relay_dsts[i] = invite.invite_dst;
            s->relay_stations[i] = invite.invite_station;
            return true;
        }
    }
    return false;
}

void unlink(sip_session *session) {
    for (sip_session **at = &sessions; *at != nullptr; at = &(*at)->next) {
        if (*at == session) {
            *at = session->next;
            session_count--;
            return;
        }
    }
}

void session_free(sip_session *s) {
    sal_free(s->call_id);
    sal_free(s);
}

int rules_set(sip_session *s, bool enable) {
    if (!enable) return voip_rule_pair_remove(s->rule);
    // A cleared side matches any address and port.
    const uint32_t caller_mask = s->caller_ip != 0 ? 0xFFFFFFFF : 0;
    const uint32_t callee_mask = s->callee_ip != 0 ? 0xFFFFFFFF : 0;
    const uint16_t caller_pmask = s->caller_ip != 0 ? 0xFFFE : 0;
    const uint16_t callee_pmask = s->callee_ip != 0 ? 0xFFFE : 0;
    const voip_rule out = {.protocol = 17,
                           .src_ip = s->caller_ip,
                           .src_ip_mask = caller_mask,
                           .dst_ip = s->callee_ip,
                           .dst_ip_mask = callee_mask,
                           .src_port = s->caller_port,
                           .src_port_mask = caller_pmask,
                           .dst_port = s->callee_port,
                           .dst_port_mask = callee_pmask,
                           .copy_class = 0};
    const voip_rule rules[2] = {out, voip_rule_mirror(out)};
    return voip_rule_pair_install(s->rule, rules, s->ports);
}

void session_end(sip_session *s) {
    unlink(s);
    if (rules_set(s, false) != 0) info("Remove FP entries for SIP session failed\n");
    session_free(s);
}

// Frees sessions, those voip_eviction gives up for a new one from the
// port, until `needed` more fit in the list; false when they do not.
bool make_room(int port, int needed) {
    while (session_count + needed > VOIP_MAX_CALLS) {
        sip_session *victim =
            voip_eviction_take_list(port, sessions, &make_room_log, "SIP: too many sessions");
        if (victim == nullptr) return false;
        unlink(victim);
        session_free(victim);
    }
    return true;
}

// Where the party's answers from the address come in (voip_answer_tally).
int answering_port(uint32_t source) {
    voip_answer_tally tally;
    for (const sip_session *s = sessions; s != nullptr; s = s->next) {
        if (s->installed && s->answer_party && s->answer_src == source)
            tally.add(s->answer_port, s->stamp);
    }
    return tally.port();
}

// Whether an answer from the address, which came in on the port, comes
// from the party the session's INVITE went to: from the address it, or a
// proxy's copy of it, was sent to, and from where the switch sent it to
// that party. Where the address table did not know the party then, from
// where that address answers.
bool party_answer(const sip_session *s, uint32_t source, int port) {
    bool unplaced = false;
    for (int i = -1; i < kRelayPorts; i++) {
        const bool relay = i >= 0;
        if (relay && s->relay_ports[i] < 0) continue;
        if ((relay ? s->relay_dsts[i] : s->invite_dst) != source) continue;
        const uint64_t station = relay ? s->relay_stations[i] : s->invite_station;
        if (station != 0 && voip_station_has_port(station, port)) return true;
        unplaced = unplaced || station == 0;
    }
    if (!unplaced) return false;
    const int answering = answering_port(source);
    return answering < 0 || answering == port;
}

int media_from_sdp(sip_session *s, const sdp_description *desc, bool caller) {
    if (desc->media.count == 0) {
        not_understood("SIP: No media attribute in SDP message\n");
        return -1;
    }
    const sdp_media *audio = sdp_audio_media(desc);
    if (audio == nullptr) {
        not_understood("SIP: No audio type in media parameter\n");
        return -1;
    }
    const sdp_connection *c = desc->connection;
    if (c == nullptr && audio->connections.head != nullptr)
        c = static_cast<const sdp_connection *>(audio->connections.head->item);
    uint32_t ip = 0;
    if (c == nullptr || !voip_ip_parse(c->address, &ip)) return -1;
    const auto port = static_cast<uint16_t>(audio->port);
    if (caller) {
        s->caller_ip = ip;
        s->caller_port = port;
    } else {
        s->callee_ip = ip;
        s->callee_port = port;
    }
    return 0;
}

// Whether the answer being handled, sent to the address, goes back to where
// the session's INVITE (or a proxy's copy of it) came from: so the party's
// answer tells the caller of the call from an offer another port made on
// the same Call-ID before it. Where the address table does not know the
// station, by the INVITE's source address, unless an INVITE from another
// port claimed that address too: which of them the answer went to is then
// unknown, and neither may end what the other's offer made.
bool answer_goes_to_caller(const sip_session *s, uint32_t address) {
    const uint64_t station = voip_rx_dest_station();
    if (station == 0) {
        for (const sip_session *t = sessions; t != nullptr; t = t->next) {
            if (same_call(t, s->call_id) && t->invite_src == address &&
                t->invite_port != s->invite_port)
                return false;
        }
        return address == s->invite_src;
    }
    if (voip_station_has_port(station, s->invite_port)) return true;
    for (int relay : s->relay_ports) {
        if (voip_station_has_port(station, relay)) return true;
    }
    return false;
}

// The 200 answer to the session's INVITE, which came in on the port. An
// answer from another address than the INVITE went to is charged to the
// port it came in on only, never to a party's, and when it cannot be
// followed the session waits on for its own; a session that shares its
// set-up with others is charged to its own port only (own_port); else the
// call is charged to a phone of the call.
int answered(sip_session *s, uint32_t source, uint32_t address, const sdp_description *desc,
             int port, int own_port) {
    if (desc == nullptr || media_from_sdp(s, desc, false) != 0) return -1;
    if (s->forged) own_port = s->invite_port;
    s->answer_party = party_answer(s, source, port);
    s->answer_to_caller = answer_goes_to_caller(s, address);
    s->answer_src = source;
    if (!s->answer_party) {
        s->ports[0] = port;
        s->ports[1] = -1;
    } else if (own_port >= 0) {
        s->ports[0] = own_port;
        s->ports[1] = -1;
    } else if (source == s->callee_ip) {
        s->ports[0] = port;
        s->ports[1] = s->caller_self ? s->invite_port : -1;
    } else {
        s->ports[0] = s->caller_self ? s->invite_port : port;
        s->ports[1] = -1;
    }
    s->answer_port = port;
    s->installed = 1;
    if (rules_set(s, true) == 0) return 0;
    voip_failure_log(&failure_log, "Create FP entries for SIP session failed");
    if (s->answer_party) {
        unlink(s);
        session_free(s);
        return -1;
    }
    s->installed = 0;
    s->answer_port = -1;
    s->answer_party = false;
    s->answer_to_caller = false;
    s->callee_ip = 0;
    s->callee_port = 0;
    return -1;
}

// Whether an order from the port speaks for the call itself: the port of
// its INVITE, or where an answer from the party the INVITE went to came in.
bool speaks_for_call(const sip_session *s, int port) {
    for (int relay : s->relay_ports) {
        if (port == relay) return true;
    }
    return port == s->invite_port || (s->installed && s->answer_party && port == s->answer_port);
}

// Marks (ending) the sessions a BYE from the port ends as parts of an
// answered call: those that took the very answer (its port and address)
// that a party of the call answered with, the BYE coming from where that
// answer came in or from where it went. So either party ends the sessions
// that another port's offers made before the answer, whenever they came,
// but a host answering an offer of its own on the Call-ID ends only what
// its own answers made.
void mark_answered_call(const char *call_id, int port) {
    for (sip_session *s = sessions; s != nullptr; s = s->next)
        s->ending = false;
    for (const sip_session *t = sessions; t != nullptr; t = t->next) {
        if (!same_call(t, call_id) || !t->installed || !t->answer_party ||
            !speaks_for_call(t, port) || (port != t->answer_port && !t->answer_to_caller))
            continue;
        for (sip_session *s = sessions; s != nullptr; s = s->next)
            s->ending =
                s->ending || (same_call(s, call_id) && s->installed &&
                              s->answer_port == t->answer_port && s->answer_src == t->answer_src);
    }
}

// Whether a session of the INVITE that opened s takes orders from the port.
bool invite_party(const sip_session *s, int port) {
    for (const sip_session *t = sessions; t != nullptr; t = t->next) {
        if (t->invite_port == s->invite_port && std::strcmp(t->call_id, s->call_id) == 0 &&
            party(t, port))
            return true;
    }
    return false;
}

// A waiting copy of the session's INVITE side, for an answer from the port,
// another than the one s took: the first answer may have been forged, and
// must not keep the real one from its rules. It counts for that port. Null
// when there is no room.
sip_session *invite_copy(const sip_session *s, int port) {
    if (session_count >= VOIP_MAX_CALLS) return nullptr;
    auto *c = static_cast<sip_session *>(sal_alloc(sizeof(sip_session), "SIP"));
    const size_t n = std::strlen(s->call_id) + 1;
    char *id = c != nullptr ? static_cast<char *>(sal_alloc(n, "SIP")) : nullptr;
    if (id == nullptr) {
        sal_free(c);
        return nullptr;
    }
    std::memcpy(id, s->call_id, n);
    c->call_id = id;
    c->stamp = voip_record_stamp();
    c->owner = port;
    c->invite_port = s->invite_port;
    c->invite_src = s->invite_src;
    c->invite_dst = s->invite_dst;
    c->invite_station = s->invite_station;
    std::memcpy(c->relay_ports, s->relay_ports, sizeof c->relay_ports);
    std::memcpy(c->relay_dsts, s->relay_dsts, sizeof c->relay_dsts);
    std::memcpy(c->relay_stations, s->relay_stations, sizeof c->relay_stations);
    c->answer_port = -1;
    c->answer_party = false;
    c->answer_to_caller = false;
    c->caller_self = s->caller_self;
    c->invite_cseq = s->invite_cseq;
    c->forged = s->forged;
    c->ending = false;
    c->caller_ip = s->caller_ip;
    c->caller_port = s->caller_port;
    c->life.seen = voip_idle_now();
    c->next = sessions;
    sessions = c;
    session_count++;
    return c;
}

// A new session for the INVITE to the address, which came in on the port.
int invited(uint32_t source, uint32_t address, const sip_message &msg, const sdp_description *desc,
            int port) {
    if (desc == nullptr) {
        not_understood("SIP: No SDP in INVITE message\n");
        return -1;
    }
    if (msg.call_id[0] == '\0') return -1;
    auto *s = static_cast<sip_session *>(sal_alloc(sizeof(sip_session), "SIP"));
    const size_t n = std::strlen(msg.call_id) + 1;
    char *id = s != nullptr ? static_cast<char *>(sal_alloc(n, "SIP")) : nullptr;
    if (id == nullptr) {
        sal_free(s);
        return -1;
    }
    std::memcpy(id, msg.call_id, n);
    s->call_id = id;
    s->stamp = voip_record_stamp();
    s->owner = port;
    s->invite_port = port;
    s->invite_src = source;
    s->invite_dst = address;
    s->invite_station = voip_rx_dest_station();
    for (int &relay : s->relay_ports)
        relay = -1;
    s->answer_port = -1;
    s->answer_party = false;
    s->answer_to_caller = false;
    s->invite_cseq = msg.cseq;
    s->ending = false;
    // An offer on an answered call from no party's port is the forger's.
    for (const sip_session *t = sessions; t != nullptr; t = t->next)
        s->forged = s->forged || (same_call(t, msg.call_id) && t->installed && t->answer_party);
    s->life.seen = voip_idle_now();
    if (media_from_sdp(s, desc, true) != 0) {
        session_free(s);
        return -1;
    }
    if (relayed(*s, port)) {
        session_free(s);
        return 0;
    }
    if (!make_room(port, 1)) {
        session_free(s);
        return -1;
    }
    s->caller_self = source == s->caller_ip;
    s->next = sessions;
    sessions = s;
    session_count++;
    return 0;
}

int message_handle(uint32_t source, uint32_t address, const sip_message &msg,
                   const sdp_description *desc) {
    const int port = voip_rx_port();
    const bool invite = msg.status == 0 && std::strcmp(msg.method, "INVITE") == 0;
    // A failure answer to the INVITE that opened the call ends it; one to
    // a later request leaves it.
    const bool to_invite =
        msg.cseq_method[0] == '\0' || std::strcmp(msg.cseq_method, "INVITE") == 0;
    // An answer answers only the offer it names (CSeq number and method):
    // a party's answer to its own re-INVITE answers no other port's offer.
    auto answers = [&](const sip_session *s) {
        return same_call(s, msg.call_id) && to_invite && msg.cseq == s->invite_cseq;
    };
    const bool copying = msg.status == 200 && desc != nullptr;
    // Room for the copy the answer makes, before the walk: making room
    // frees sessions. (Several copies, for several INVITEs' sessions, take
    // what room there is.)
    bool copies = false;
    for (const sip_session *s = sessions; copying && s != nullptr; s = s->next)
        copies = copies || (answers(s) && s->installed && !invite_party(s, port));
    if (copies) make_room(port, 1);
    // A BYE from a party of the call (its INVITE's port, or where an answer
    // from the party came in) also ends the sessions of that INVITE that an
    // answer from elsewhere made, and every offer forged on the call.
    const bool bye = msg.status == 0 && std::strcmp(msg.method, "BYE") == 0;
    int swept_invite_port = -1;
    bool call_party = false;
    for (const sip_session *s = sessions; bye && s != nullptr; s = s->next) {
        if (!same_call(s, msg.call_id) || !speaks_for_call(s, port)) continue;
        swept_invite_port = s->invite_port;
        call_party = call_party || !s->forged;
    }
    if (bye) mark_answered_call(msg.call_id, port);
    int waiting = 0;
    for (const sip_session *s = sessions; s != nullptr; s = s->next)
        waiting += !s->installed && answers(s);
    int rv = 0;
    bool known = false;  // an INVITE of the port's own session
    // Copies are made at the head, out of the walk's way.
    for (sip_session *s = sessions, *next = nullptr; s != nullptr; s = next) {
        next = s->next;  // s may end here
        if (!same_call(s, msg.call_id)) continue;
        const bool own = party(s, port);
        if (msg.status != 0) {
            if (own || !s->installed) s->life.seen = voip_idle_now();
            if (!answers(s)) continue;
            if (msg.status == 200 && !s->installed) {
                // The answer is waited for by every session of its offer.
                if (answered(s, source, address, desc, port, waiting > 1 ? s->invite_port : -1) !=
                    0)
                    rv = -1;
            } else if (copying && !invite_party(s, port)) {
                // An answer without a voice end makes no copy.
                sip_session *c = invite_copy(s, port);
                if (c != nullptr && media_from_sdp(c, desc, false) != 0) {
                    session_end(c);
                    c = nullptr;
                }
                // A foreign answer's copy that failed waits for nothing.
                const bool foreign = c != nullptr && !party_answer(c, source, port);
                if (c != nullptr && answered(c, source, address, desc, port, -1) != 0) {
                    if (foreign) session_end(c);
                    rv = -1;
                }
            } else if (msg.status >= 300 && !s->installed && own) {
                session_end(s);
            }
            continue;
        }
        const bool swept =
            bye && (s->ending ||
                    (s->invite_port == swept_invite_port && s->installed && !s->answer_party) ||
                    (call_party && s->forged));
        if (!own && !swept) continue;
        s->life.seen = voip_idle_now();
        if (invite) {
            known = true;
            s->invite_cseq = msg.cseq;  // the offer its answer will name
            if (!s->installed) continue;
            // A re-INVITE: the side that moves is matched by any address.
            if (address == s->caller_ip)
                s->callee_ip = 0;
            else if (address == s->callee_ip)
                s->caller_ip = 0;
            if (rules_set(s, true) != 0) rv = -1;
        } else if (std::strcmp(msg.method, "BYE") == 0 ||
                   (std::strcmp(msg.method, "CANCEL") == 0 && !s->installed)) {
            // A CANCEL of an answered call cancels a re-INVITE (or comes
            // too late to cancel anything): the call goes on.
            session_end(s);
        }
    }
    if (invite && !known) rv = invited(source, address, msg, desc, port);
    return rv;
}

bool trim_char(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// [s, e) trimmed into out; false when it does not fit.
bool trimmed(const char *s, const char *e, char *out, size_t size) {
    while (s < e && trim_char(*s))
        s++;
    while (e > s && trim_char(e[-1]))
        e--;
    if (static_cast<size_t>(e - s) >= size) return false;
    std::memcpy(out, s, static_cast<size_t>(e - s));
    out[e - s] = '\0';
    return true;
}

// Whether a header's name is the one given: names are compared without case,
// and the compact form (a letter, or null for none) names it too.
bool header_is(const char *name, const char *full, const char *compact) {
    return sal_strcasecmp(name, full) == 0 ||
           (compact != nullptr && sal_strcasecmp(name, compact) == 0);
}

// The start line; false (logged) when malformed.
bool start_line(const char *p, const char *end, sip_message *msg) {
    const char *sp = static_cast<const char *>(std::memchr(p, ' ', static_cast<size_t>(end - p)));
    if (std::strncmp(p, "SIP/", 4) == 0) {
        if (sp == nullptr) {
            not_understood("SIP: no status code\n");
            return false;
        }
        const char *q = sp + 1;
        int code = 0;
        while (q < end && *q >= '0' && *q <= '9' && code < 1000)
            code = code * 10 + (*q++ - '0');
        if (q == sp + 1 || code == 0 || code >= 1000) {
            not_understood("SIP: parse status code failed\n");
            return false;
        }
        if (q >= end || *q != ' ') {
            not_understood("SIP: no reasonphrase\n");
            return false;
        }
        msg->status = code;
        return true;
    }
    if (sp == nullptr || sp == p || !trimmed(p, sp, msg->method, sizeof msg->method)) {
        not_understood("SIP: parse method failed\n");
        return false;
    }
    return true;
}

int parse(uint32_t source, uint32_t address, char *text, sdp_description *desc) {
    sip_message msg{};
    msg.cseq = -1;
    const char *p = text;
    const char *end = voip_line_end(p);
    if (!start_line(p, end, &msg)) return -1;
    p = voip_next_line(end);
    // Header lines up to the empty line.
    for (;;) {
        if (*p == '\0') break;
        if (*p == '\n' || (p[0] == '\r' && p[1] == '\n')) {
            p += *p == '\n' ? 1 : 2;
            break;
        }
        if (*p == '\r') return -1;
        end = voip_line_end(p);
        const char *colon =
            static_cast<const char *>(std::memchr(p, ':', static_cast<size_t>(end - p)));
        char name[64];
        if (colon == nullptr || !trimmed(p, colon, name, sizeof name) || name[0] == '\0') return -1;
        if (header_is(name, "Call-ID", "i")) {
            if (!trimmed(colon + 1, end, msg.call_id, sizeof msg.call_id)) return -1;
        } else if (header_is(name, "Content-Type", "c")) {
            if (!trimmed(colon + 1, end, msg.content_type, sizeof msg.content_type)) return -1;
        } else if (header_is(name, "CSeq", nullptr)) {
            // A number and the request's method.
            const char *v = colon + 1;
            char number[16];
            char *digits_end = nullptr;
            if (!voip_token(&v, end, number, sizeof number) ||
                !voip_token(&v, end, msg.cseq_method, sizeof msg.cseq_method)) {
                msg.cseq_method[0] = '\0';
            } else {
                msg.cseq = std::strtol(number, &digits_end, 10);
                if (digits_end == number || *digits_end != '\0' || msg.cseq < 0) msg.cseq = -1;
            }
        }
        p = voip_next_line(end);
    }
    bool body = *p != '\0';
    if (body && sdp_message_parse(desc, p) != 0) {
        not_understood("SIP: sdp_message_parse failed\n");
        return -1;
    }
    return message_handle(source, address, msg, body ? desc : nullptr);
}

}  // namespace

int sip_parse(const uint8_t src_dst_ip[8], const uint8_t *payload, int length) {
    if (length < 5) return -1;
    char *text = voip_text_copy(payload, length, "SIP");
    if (text == nullptr) {
        static log_gate no_memory_log;
        log_gate_puts(&no_memory_log, log_source_port(voip_rx_port()), LOG_LEVEL_WARNING,
                      LOG_MOD_AUTOVOIP, "SIP: Could not allocate memory\n");
        return -1;
    }
    sdp_description desc{};
    int rv = parse(voip_be32(src_dst_ip), voip_be32(src_dst_ip + 4), text, &desc);
    sdp_description_free(&desc);
    sal_free(text);
    return rv;
}

void sip_sessions_clear(void) {
    voip_gates_flush(&make_room_log, &not_understood_log, &failure_log);
    while (sessions != nullptr) {
        sip_session *s = sessions;
        sessions = s->next;
        rules_set(s, false);
        session_free(s);
    }
    session_count = 0;
}

void sip_sessions_age(uint32_t now) {
    for (sip_session *s = sessions, *next = nullptr; s != nullptr; s = next) {
        next = s->next;
        if (voip_call_idle(&s->life, s->rule, now)) session_end(s);
    }
}
