// MGCP snooping: a call agent's CRCX opens a connection on a gateway, whose
// 200 answer with SDP names the gateway's voice end; DLCX, or an idle
// stretch without media, closes it. A connection without a rule (a CRCX
// nobody answered, or an answer without a voice end) may make room for a
// new one when the list is full: the oldest of the port holding the most
// (voip_eviction). The rules are charged to a port of the call that has
// room: first the port of the endpoint the answer's SDP names (the
// gateway's, where its answer came in, when it names the gateway itself;
// else the agent's, where its CRCX came in), then the other. A trunk
// gateway serving many lines so spreads its connections over both ends, and
// a host playing agent and gateway at once still has only its own port's
// share.
//
// A connection belongs to the port its CRCX came in on: a DLCX ends it, and
// every copy of it, only from there, and a CRCX from another port on the same
// call id makes a connection of its own; once the gateway has answered the
// agent there, the agent's DLCX ends every connection of the call id that
// took that answer. An answer goes to the CRCXs
// of the agent it is sent to, never to one sent under the gateway's own address. A gateway's answer
// from another port than the one that answered a CRCX answers a copy of that CRCX. The gateway is
// where the switch sent the CRCX (the address table's port for its destination MAC); where the
// table did not know it then, its port is learnt from its answers (the one that answered most of
// its connections still followed). An answer claiming the gateway from
// elsewhere is no party's: charged to the port it came in on only, and when
// that has no room the connection waits on; where the table did not know the
// gateway, one taken for the gateway's before the gateway answered is charged
// so once the gateway's own answer to its CRCX comes. A host elsewhere that
// claims the agent's or the gateway's address can so neither end the agent's
// connections nor keep them from their rules or their ports' rows.
#include <cstring>

#include "logger.h"
#include "sal.h"
#include "voip_internal.h"

namespace {

struct mgcp_message {
    char verb[8];
    int code;
    char transaction[32];
    char call_id[64];     // C
    char connection[64];  // I
    char notified[64];    // N
};

struct mgcp_connection {
    mgcp_message crcx;
    uint32_t stamp;  // voip_record_stamp() when made
    int owner;       // the port it counts for in the list
    voip_life life;
    uint32_t gateway;
    uint64_t gateway_station;  // where the switch sent the CRCX (voip_rx_dest_station)
    int agent_port;            // where the CRCX came in
    int answer_port;           // where the gateway's answer came in, once answered
    bool answer_party;         // that answer came from the gateway
    bool answer_to_agent;      // and went to where the CRCX came from
    bool ending;               // a DLCX being handled ends it
    int ports[2];              // to charge, the first with room
    uint32_t media_ip;
    uint16_t media_port;
    int rule[2];
    mgcp_connection *next;
};

struct mgcp_agent {
    uint32_t address;
    mgcp_connection *connections;
    int count;
    mgcp_agent *next;
};

mgcp_agent *agents = nullptr;
int connection_count = 0;
log_gate make_room_log, not_understood_log, failure_log, removal_failure_log;

mgcp_agent *agent_find(uint32_t address) {
    for (mgcp_agent *a = agents; a != nullptr; a = a->next) {
        if (a->address == address) return a;
    }
    return nullptr;
}

void agent_unlink(mgcp_agent *agent) {
    for (mgcp_agent **at = &agents; *at != nullptr; at = &(*at)->next) {
        if (*at == agent) {
            *at = agent->next;
            return;
        }
    }
}

void connection_unlink(mgcp_agent *agent, mgcp_connection *c) {
    for (mgcp_connection **at = &agent->connections; *at != nullptr; at = &(*at)->next) {
        if (*at == c) {
            *at = c->next;
            agent->count--;
            connection_count--;
            return;
        }
    }
}

int session_set(mgcp_connection *c, bool enable) {
    if (!enable) return voip_rule_pair_remove(c->rule);
    const voip_rule out = {.protocol = 17,
                           .src_ip = c->media_ip,
                           .src_ip_mask = 0xFFFFFFFF,
                           .dst_ip = 0,
                           .dst_ip_mask = 0,
                           .src_port = c->media_port,
                           .src_port_mask = 0xFFFE,
                           .dst_port = 0,
                           .dst_port_mask = 0,
                           .copy_class = 0};
    const voip_rule rules[2] = {out, voip_rule_mirror(out)};
    return voip_rule_pair_install(c->rule, rules, c->ports);
}

// Drops the connection and, when it was the last, its agent.
void connection_end(mgcp_agent *agent, mgcp_connection *c) {
    connection_unlink(agent, c);
    sal_free(c);
    if (agent->connections == nullptr) {
        agent_unlink(agent);
        sal_free(agent);
    }
}

// The message's lines; the body (or null) through *body.
bool message_parse(const char *text, mgcp_message *msg, const char **body) {
    const char *p = text;
    const char *end = voip_line_end(p);
    if (*p >= '0' && *p <= '9') {
        while (p < end && *p >= '0' && *p <= '9' && msg->code < 1000)
            msg->code = msg->code * 10 + (*p++ - '0');
        if (msg->code != 200 || !voip_token(&p, end, msg->transaction, sizeof msg->transaction))
            return false;
        const char *second = voip_next_line(end);
        if (*second != 'I' && *second != 'i') return false;
    } else {
        if (!voip_token(&p, end, msg->verb, sizeof msg->verb)) return false;
        if (std::strcmp(msg->verb, "CRCX") != 0 && std::strcmp(msg->verb, "DLCX") != 0)
            return false;
        if (!voip_token(&p, end, msg->transaction, sizeof msg->transaction)) return false;
    }
    p = voip_next_line(end);
    *body = nullptr;
    while (*p != '\0') {
        if (*p == '\n' || (p[0] == '\r' && p[1] == '\n')) {
            p += *p == '\n' ? 1 : 2;
            if (*p != '\0') *body = p;
            break;
        }
        end = voip_line_end(p);
        if (end - p >= 3 && p[1] == ':' && p[2] == ' ') {
            char *out = nullptr;
            size_t size = sizeof msg->call_id;
            switch (p[0]) {
                case 'C':
                case 'c':
                    out = msg->call_id;
                    break;
                case 'I':
                case 'i':
                    out = msg->connection;
                    break;
                case 'N':
                case 'n':
                    out = msg->notified;
                    break;
                default:
                    break;
            }
            const char *v = p + 3;
            if (out != nullptr && !voip_token(&v, end, out, size)) return false;
        }
        p = voip_next_line(end);
    }
    return true;
}

bool by_pointer(const mgcp_agent *agent, const mgcp_connection *c) {
    for (const mgcp_connection *o = agent->connections; o != nullptr; o = o->next) {
        if (o == c) return true;
    }
    return false;
}

// The connection of the call id that a CRCX from the port opened.
mgcp_connection *by_call_id(mgcp_agent *agent, const char *call_id, int port) {
    for (mgcp_connection *c = agent->connections; c != nullptr; c = c->next) {
        if (c->agent_port == port && std::strcmp(c->crcx.call_id, call_id) == 0) return c;
    }
    return nullptr;
}

// Frees connections, those voip_eviction gives up for a new one from the
// port, until `needed` more fit in the list; false when they do not.
bool make_room(int port, int needed) {
    while (connection_count + needed > VOIP_MAX_CALLS) {
        voip_eviction eviction(port);
        for (mgcp_agent *a = agents; a != nullptr; a = a->next)
            eviction.add_list(a->connections);
        auto *victim = static_cast<mgcp_connection *>(
            voip_eviction_take(eviction, &make_room_log, "MGCP: too many connections"));
        if (victim == nullptr) return false;
        for (mgcp_agent *a = agents; a != nullptr; a = a->next) {
            if (by_pointer(a, victim)) {
                connection_end(a, victim);
                break;
            }
        }
    }
    return true;
}

int crcx(uint32_t src, uint32_t dst, const mgcp_message &msg) {
    if (msg.call_id[0] == '\0') return -1;
    mgcp_agent *agent = agent_find(src);
    if (agent != nullptr && by_call_id(agent, msg.call_id, voip_rx_port()) != nullptr) return 0;
    if (!make_room(voip_rx_port(), 1)) return -1;
    agent = agent_find(src);  // the agent may have gone with its connection
    auto *c = static_cast<mgcp_connection *>(sal_alloc(sizeof(mgcp_connection), "MGCP"));
    if (c == nullptr) return -1;
    if (agent == nullptr) {
        agent = static_cast<mgcp_agent *>(sal_alloc(sizeof(mgcp_agent), "MGCP"));
        if (agent == nullptr) {
            sal_free(c);
            return -1;
        }
        agent->address = src;
        agent->next = agents;
        agents = agent;
    }
    c->crcx = msg;
    c->stamp = voip_record_stamp();
    c->owner = voip_rx_port();
    c->life.seen = voip_idle_now();
    c->gateway = dst;
    c->gateway_station = voip_rx_dest_station();
    c->agent_port = voip_rx_port();
    c->next = agent->connections;
    agent->connections = c;
    agent->count++;
    connection_count++;
    return 0;
}

// The gateway's answer to the connection's CRCX, which came in on the
// port. An answer from elsewhere than the gateway answers (not party) is
// charged to the port it came in on only, never to a party's, and when it
// cannot be followed the connection waits on for the gateway's own; a
// connection that shares its CRCX's transaction with others is charged to
// its own port only (own_port); else to an endpoint of the call.
int answer(mgcp_agent *agent, mgcp_connection *c, uint32_t src, const mgcp_message &msg,
           const sdp_description *desc, int port, int own_port, bool party) {
    c->life.seen = voip_idle_now();
    const sdp_media *audio = desc != nullptr ? sdp_audio_media(desc) : nullptr;
    const sdp_connection *at = audio != nullptr ? desc->connection : nullptr;
    if (at == nullptr && audio != nullptr && audio->connections.head != nullptr)
        at = static_cast<const sdp_connection *>(audio->connections.head->item);
    uint32_t media_ip = 0;
    const bool media = at != nullptr && voip_ip_parse(at->address, &media_ip);
    if (!media && !party) return -1;
    c->answer_port = port;
    c->answer_party = party;
    c->answer_to_agent = voip_station_has_port(voip_rx_dest_station(), c->agent_port);
    std::memcpy(c->crcx.connection, msg.connection, sizeof c->crcx.connection);
    if (!media) return -1;
    c->media_ip = media_ip;
    c->media_port = static_cast<uint16_t>(audio->port);
    if (!party) own_port = port;
    const bool gateway_media = c->media_ip == src;
    c->ports[0] = own_port >= 0 ? own_port : gateway_media ? port : c->agent_port;
    c->ports[1] = own_port >= 0 ? -1 : gateway_media ? c->agent_port : port;
    if (session_set(c, true) == 0) return 0;
    voip_failure_log(&failure_log, "MGCP: Setup_MGCP_Session(enable) failed");
    if (party) {
        connection_end(agent, c);
    } else {
        c->answer_port = -1;
        c->answer_party = false;
        c->answer_to_agent = false;
        c->crcx.connection[0] = '\0';
    }
    return -1;
}

// Where the gateway's own answers come in (voip_answer_tally).
int gateway_port(uint32_t gateway) {
    voip_answer_tally tally;
    for (const mgcp_agent *a = agents; a != nullptr; a = a->next) {
        for (const mgcp_connection *c = a->connections; c != nullptr; c = c->next) {
            if (c->gateway == gateway && c->crcx.connection[0] != '\0' && c->answer_party)
                tally.add(c->answer_port, c->stamp);
        }
    }
    return tally.port();
}

// Once the gateway answers from its port a CRCX that another port answered
// first, those answers were foreign, though taken for the gateway's before
// it had answered: their connections are charged to their own ports only
// (without rules when those have no room), leaving the call's ports their
// rows.
void recharge_foreign(mgcp_agent *agent, const mgcp_connection *c, int gateway_port) {
    for (mgcp_connection *o = agent->connections; o != nullptr; o = o->next) {
        if (o->agent_port != c->agent_port || o->crcx.connection[0] == '\0' ||
            o->answer_port == gateway_port || std::strcmp(o->crcx.call_id, c->crcx.call_id) != 0 ||
            (o->ports[0] == o->answer_port && o->ports[1] < 0) || o->rule[0] == 0)
            continue;
        session_set(o, false);
        o->answer_party = false;
        o->ports[0] = o->answer_port;
        o->ports[1] = -1;
        if (session_set(o, true) != 0)
            voip_failure_log(&failure_log, "MGCP: Setup_MGCP_Session(enable) failed");
    }
}

// Whether a connection of c's CRCX was answered from the port.
bool answered_from(const mgcp_agent *agent, const mgcp_connection *c, int port) {
    for (const mgcp_connection *o = agent->connections; o != nullptr; o = o->next) {
        if (o->agent_port == c->agent_port && o->answer_port == port &&
            o->crcx.connection[0] != '\0' && std::strcmp(o->crcx.call_id, c->crcx.call_id) == 0)
            return true;
    }
    return false;
}

// A waiting copy of the connection's CRCX for an answer from the port, at
// the head of the agent's list; it counts for that port. Null when there
// is no room.
mgcp_connection *crcx_copy(mgcp_agent *agent, const mgcp_connection *c, int port) {
    if (connection_count >= VOIP_MAX_CALLS) return nullptr;
    auto *copy = static_cast<mgcp_connection *>(sal_alloc(sizeof(mgcp_connection), "MGCP"));
    if (copy == nullptr) return nullptr;
    copy->crcx = c->crcx;
    copy->crcx.connection[0] = '\0';
    copy->stamp = voip_record_stamp();
    copy->owner = port;
    copy->life.seen = voip_idle_now();
    copy->gateway = c->gateway;
    copy->gateway_station = c->gateway_station;
    copy->agent_port = c->agent_port;
    copy->next = agent->connections;
    agent->connections = copy;
    agent->count++;
    connection_count++;
    return copy;
}

// Answers every waiting CRCX of the transaction to the gateway: CRCXs of
// one transaction id from several ports are told apart by nothing in the
// answer, and the real one must not go without. An answer from another
// port than the one that answered a CRCX answers a copy of it: the first
// answer may have been forged.
int response(uint32_t src, uint32_t dst, const mgcp_message &msg, const sdp_description *desc) {
    if (msg.connection[0] == '\0') return -1;
    const int port = voip_rx_port();
    auto of_transaction = [&](const mgcp_connection *c) {
        return std::strcmp(c->crcx.transaction, msg.transaction) == 0 && c->gateway == src;
    };
    // The answer goes to the agent it is sent to, never to CRCXs a host
    // sent under the gateway's address.
    mgcp_agent *agent = agent_find(dst);
    if (agent == nullptr) return -1;
    // Room for the copy the answer makes, before the walk: making room
    // frees connections, and agents with their last. (Several copies take
    // what room there is.)
    bool copies = false;
    for (const mgcp_connection *c = agent->connections; c != nullptr; c = c->next)
        copies = copies || (of_transaction(c) && c->crcx.connection[0] != '\0' &&
                            !answered_from(agent, c, port));
    if (copies) {
        make_room(port, 1);
        agent = agent_find(dst);
        if (agent == nullptr) return -1;
    }
    // An answer comes from the gateway when it came in from where the
    // switch sent the CRCX; when the address table did not know the gateway
    // then, from where the gateway answers.
    const int gateway = gateway_port(src);
    auto from_gateway = [&](const mgcp_connection *c) {
        if (c->gateway_station != 0) return voip_station_has_port(c->gateway_station, port);
        return gateway < 0 || gateway == port;
    };
    int waiting = 0;
    for (const mgcp_connection *c = agent->connections; c != nullptr; c = c->next)
        waiting += of_transaction(c) && c->crcx.connection[0] == '\0';
    int rv = -1;
    // Copies are made at the head, out of the walk's way.
    for (mgcp_connection *c = agent->connections, *next = nullptr; c != nullptr; c = next) {
        next = c->next;  // an answer that fails ends c, and with the last one the agent
        if (!of_transaction(c)) continue;
        int r = 0;
        const bool party = from_gateway(c);
        if (c->crcx.connection[0] == '\0') {
            r = answer(agent, c, src, msg, desc, port, waiting > 1 ? c->agent_port : -1, party);
        } else if (!answered_from(agent, c, port)) {
            if (party) recharge_foreign(agent, c, port);
            mgcp_connection *copy = crcx_copy(agent, c, port);
            r = copy != nullptr ? answer(agent, copy, src, msg, desc, port, -1, party) : -1;
            // A foreign answer's copy that failed waits for nothing.
            if (r != 0 && copy != nullptr && !party) connection_end(agent, copy);
        }
        if (r == 0) rv = 0;
    }
    return rv;
}

// Ends the connections of the call id that CRCXs from the port opened;
// once the gateway has answered a CRCX from the port and its answer went
// there (the address table knew the agent), also every connection of the
// call id that took that very answer (the gateway's, from the port it came
// in on), those CRCXs from other ports opened before the answer included.
// A host answering a CRCX of its own on the call id so ends only what its
// own answers made.
int dlcx(uint32_t src, const mgcp_message &msg) {
    mgcp_agent *agent = agent_find(src);
    if (agent == nullptr) return 0;
    const int port = voip_rx_port();
    auto of_call = [&](const mgcp_connection *c) {
        return std::strcmp(c->crcx.call_id, msg.call_id) == 0;
    };
    for (mgcp_connection *c = agent->connections; c != nullptr; c = c->next)
        c->ending = of_call(c) && c->agent_port == port;
    for (const mgcp_connection *t = agent->connections; t != nullptr; t = t->next) {
        if (!of_call(t) || t->agent_port != port || !t->answer_party || !t->answer_to_agent ||
            t->crcx.connection[0] == '\0')
            continue;
        for (mgcp_connection *c = agent->connections; c != nullptr; c = c->next)
            c->ending = c->ending || (of_call(c) && c->crcx.connection[0] != '\0' &&
                                      c->answer_port == t->answer_port && c->gateway == t->gateway);
    }
    for (mgcp_connection *c = agent->connections, *next = nullptr; c != nullptr; c = next) {
        next = c->next;  // the agent goes with its last connection
        if (!c->ending) continue;
        if (session_set(c, false) != 0)
            voip_failure_log(&removal_failure_log, "MGCP: Setup_MGCP_Session(disable) failed");
        connection_end(agent, c);
    }
    return 0;
}

}  // namespace

int mgcp_parse(const uint8_t src_dst_ip[8], const uint8_t *payload, int length) {
    if (length < 5) return -1;
    char *text = voip_text_copy(payload, length, "MGCP");
    if (text == nullptr) return -1;
    const uint32_t src = voip_be32(src_dst_ip), dst = voip_be32(src_dst_ip + 4);
    mgcp_message msg{};
    sdp_description desc{};
    const char *body = nullptr;
    int rv = -1;
    if (!message_parse(text, &msg, &body)) {
        rv = -1;
    } else if (body != nullptr && sdp_message_parse(&desc, body) != 0) {
        // Gated, so junk on the port does not fill the log.
        log_gate_puts(&not_understood_log, log_source_port(voip_rx_port()), LOG_LEVEL_INFO,
                      LOG_MOD_AUTOVOIP, "MGCP: sdp_message_parse failed\n");
    } else if (msg.code == 200) {
        rv = response(src, dst, msg, body != nullptr ? &desc : nullptr);
    } else if (std::strcmp(msg.verb, "CRCX") == 0) {
        rv = crcx(src, dst, msg);
    } else {
        rv = dlcx(src, msg);
    }
    sdp_description_free(&desc);
    sal_free(text);
    return rv;
}

void mgcp_agents_clear(void) {
    voip_gates_flush(&make_room_log, &not_understood_log, &failure_log, &removal_failure_log);
    while (agents != nullptr) {
        mgcp_agent *a = agents;
        agents = a->next;
        while (a->connections != nullptr) {
            mgcp_connection *c = a->connections;
            a->connections = c->next;
            session_set(c, false);
            sal_free(c);
        }
        sal_free(a);
    }
    connection_count = 0;
}

void mgcp_agents_age(uint32_t now) {
    for (mgcp_agent *a = agents, *next_agent = nullptr; a != nullptr; a = next_agent) {
        next_agent = a->next;
        for (mgcp_connection *c = a->connections, *next = nullptr; c != nullptr; c = next) {
            next = c->next;
            if (!voip_call_idle(&c->life, c->rule, now)) continue;
            session_set(c, false);
            connection_end(a, c);  // the agent goes with its last connection
        }
    }
}
