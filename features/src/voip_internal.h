// Shared by the Auto VoIP core and its snoopers: the media rule pairs, the
// SDP description and the per-snooper resets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "log_gate.h"
#include "voipmgr.h"

// Calls each snooper follows at most: unanswered signalling must not take
// the memory of the receive path.
constexpr int VOIP_MAX_CALLS = 256;
// Idle calls are looked for this often, and as copies arrive.
constexpr uint32_t VOIP_SWEEP_SECS = 10;
// Front-panel port numbers the tables tell apart: above any board's.
constexpr int VOIP_PORT_SLOTS = 128;

// Ages of table records: later records get higher stamps (compared as a
// signed difference, so the counter may wrap). Under the "voip" lock, as
// every snooper runs.
uint32_t voip_record_stamp(void);

// The record a full table gives up for a new one from incoming_port. Fed
// every record with the port it counts for, its stamp and whether it holds
// a rule; chooses the oldest record holding no rule of the port that holds
// the most records, the new record's own port when it holds as many. A
// port filling a table so pushes out its own records, never the calls of a
// port holding fewer, and a record that holds no rule, answered or not, is
// as open to it as any. A record holding a rule is never given up: those
// are few, bounded by the ports' rows.
class voip_eviction {
  public:
    explicit voip_eviction(int incoming_port);
    void add(void *record, int port, uint32_t stamp, bool holds_rule);
    // Every record of a list linked through next, each with its owner,
    // stamp and rule pair.
    template <class Record>
    void add_list(Record *head) {
        for (Record *r = head; r != nullptr; r = r->next)
            add(r, r->owner, r->stamp, r->rule[0] != 0 || r->rule[1] != 0);
    }
    // The record to give up (its port through *port), or null.
    void *victim(int *port) const;

  private:
    int incoming;
    int held[VOIP_PORT_SLOTS] = {};
    void *oldest[VOIP_PORT_SLOTS] = {};
    uint32_t oldest_stamp[VOIP_PORT_SLOTS] = {};
};

// Where an endpoint answers: fed the port and stamp of each of its answers
// still followed, it names the port that gave the most (of as many, the one
// that gave the oldest); -1 before any. A host elsewhere cannot see the
// orders the endpoint answers, so once it has answered its own port leads.
class voip_answer_tally {
  public:
    void add(int port, uint32_t stamp);
    int port() const;

  private:
    int answered[VOIP_PORT_SLOTS] = {};
    uint32_t oldest[VOIP_PORT_SLOTS] = {};
};

// Lines that hosts' frames cause over and over (a table giving up waiting
// records, signalling that does not parse, a port over its share) pass a
// log gate each, named by the port the copy came in on. Following stops:
// each gate says what it folded at once.
template <class... Gates>
void voip_gates_flush(Gates *...gates) {
    (log_gate_flush(gates), ...);
}
// The record the eviction gives up, said through the gate ("<what>, port
// N's oldest waiting ones no longer followed"); null when none can go.
void *voip_eviction_take(const voip_eviction &eviction, log_gate *gate, const char *what);
// The same for a table held in one list (voip_eviction::add_list).
template <class Record>
Record *voip_eviction_take_list(int incoming_port, Record *head, log_gate *gate, const char *what) {
    voip_eviction eviction(incoming_port);
    eviction.add_list(head);
    return static_cast<Record *>(voip_eviction_take(eviction, gate, what));
}

// Where the address table sends the frames of the station the copy being
// handled is addressed to (its destination MAC, in its VLAN), looked up as
// the copy is handled: its front-panel ports (bit n for port n: one port,
// or a trunk's members), 0 when the table does not know (a group address,
// the CPU's, not learnt). A set-up's destination so tells where the party
// it calls really is, which a host elsewhere cannot change by the addresses
// it claims.
uint64_t voip_rx_dest_station(void);
// Whether a frame that came in on the front-panel port came from the
// station's link.
inline bool voip_station_has_port(uint64_t station, int port) {
    return port >= 1 && port < 64 && ((station >> port) & 1) != 0;
}

// One rule of a pair; addresses in host order, mask 0 = any.
struct voip_rule {
    uint8_t protocol;
    uint32_t src_ip, src_ip_mask;
    uint32_t dst_ip, dst_ip_mask;
    uint16_t src_port, src_port_mask;
    uint16_t dst_port, dst_port_mask;
    int copy_class;  // 0: raise to priority 7; else copy to the CPU with this class
};

// Creates the pair's missing entries within the entry limits (-14 beyond
// them: VOIP_MAX_ENTRIES, VOIP_CALL_ENTRIES and the rows Auto VoIP shares
// with QoS; per port VOIP_PORT_ENTRIES and, for copy rules,
// VOIP_SETUP_ENTRIES and VOIP_PORT_SETUP_ENTRIES), charged to the first of
// the ports (front-panel ports of the call's phones, -1 for none) that has
// room; qualifies both and installs them, voice rules with a hit counter;
// existing entries are re-qualified and reinstalled. A pair that cannot be
// completed is taken back.
int voip_rule_pair_install(int ids[2], const voip_rule rules[2], const int ports[2]);
// The rule for the opposite direction: addresses and ports exchanged.
voip_rule voip_rule_mirror(const voip_rule &r);
// Removes and destroys both entries and lowers the count; the first error.
int voip_rule_pair_remove(int ids[2]);

// How long a call has been quiet. seen is in voip_idle_now() seconds; hits
// are its voice rules' hits at that time.
struct voip_life {
    uint32_t seen;
    uint32_t hits;
};
// Seconds of a clock that only the idle checks read.
uint32_t voip_idle_now(void);
// True when the call with the rule pair showed no sign of life for
// VOIP_IDLE_SECS; a hit on its voice rules since the last look is one.
bool voip_call_idle(voip_life *life, const int ids[2], uint32_t now);

// Logs a snooper's failure to give a call its rules through its gate,
// named by the port of the copy being handled.
void voip_failure_log(log_gate *gate, const char *text);

// Counted singly linked lists of SDP connections and media.
struct voip_node {
    void *item;
    voip_node *next;
};
struct voip_list {
    int count;
    voip_node *head;
};

struct sdp_connection {
    char net_type[8];
    char addr_type[8];
    char address[64];
    int ttl;
    int count;
};

struct sdp_media {
    char type[16];
    int port;
    int num_ports;
    char protocol[32];
    voip_list connections;
};

struct sdp_description {
    sdp_connection *connection;  // session level, or null
    voip_list media;
};

int sdp_connection_init(sdp_connection **out);
int sdp_message_parse(sdp_description *desc, const char *text);
int sdp_message_parse_c(sdp_description *desc, const char *line, const char *end);
int sdp_message_parse_m(sdp_description *desc, const char *line, const char *end);
void sdp_description_free(sdp_description *desc);
// The first "audio" media, or null.
const sdp_media *sdp_audio_media(const sdp_description *desc);
// Dotted IPv4 text to a host-order address; false when malformed.
bool voip_ip_parse(const char *text, uint32_t *ip);

// Text helpers of the parsers. Blanks are ' ', '\t' and '\r'.
// The next blank-separated token of [*p, end), ending also at stop, into out
// (NUL-terminated); false when there is none or it does not fit.
bool voip_token(const char **p, const char *end, char *out, size_t size, char stop = '\0');
// The LF (or NUL) that ends the line at p, and the start of the next line.
const char *voip_line_end(const char *p);
inline const char *voip_next_line(const char *end) {
    return *end != '\0' ? end + 1 : end;
}

// A copy of len bytes, NUL-terminated 4 bytes before its end (the frame check
// sequence); null for len < 4 or when memory runs out.
char *voip_text_copy(const uint8_t *data, int len, const char *tag);

// The snoopers' call lists, emptied (rules included) when Auto VoIP stops.
void sip_sessions_clear(void);
void mgcp_agents_clear(void);
void sccp_phones_clear(void);
void h323_calls_clear(void);
// Drops the calls idle at now (voip_call_idle), rules included.
void sip_sessions_age(uint32_t now);
void mgcp_agents_age(uint32_t now);
void sccp_phones_age(uint32_t now);
void h323_calls_age(uint32_t now);

inline uint32_t voip_be32(const uint8_t *p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
inline uint16_t voip_be16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
