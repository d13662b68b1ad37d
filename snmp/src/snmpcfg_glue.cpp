// Own code over net-snmp 5.9 for the configuration back end and the RMON
// alarm traps.
#include "snmpcfg_glue.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "log_gate.h"
#include "logger.h"
#include "net_util.h"
#include "shr.h"
#include "snmp_backend.h"
#include "snmp_agent.h"
#include "snmp_netsnmp.h"
#include "snmp_request_queue.h"
#include "snmpcfg.h"

namespace snmpglue {
namespace {

int traps_switch;
int authtraps_switch;

// The trap sinks. They stay out of the agent's own list: its traps reach
// them through trap_from_switch, which first names the switch in them.
struct Sink {
    netsnmp_session *session;
    long version;
    std::string community;
};

std::vector<Sink> &sinks() {
    static auto *s = new std::vector<Sink>;
    return *s;
}

// The parsers strtok() their line: each gets a fresh copy.
void feed(void (*parser)(const char *, char *), const char *token, const char *line) {
    char copy[256];
    std::snprintf(copy, sizeof copy, "%s", line);
    parser(token, copy);
}

int model_word(int model) {
    return model >= 1 && model <= 3 ? model : 0;
}

void open_sink(const char *peer, const char *community, long version) {
    netsnmp_session s;
    snmp_sess_init(&s);
    s.version = version;
    s.peername = const_cast<char *>(peer);
    s.community = reinterpret_cast<u_char *>(const_cast<char *>(community));
    s.community_len = std::strlen(community);
    s.callback = nullptr;
    netsnmp_session *ss = snmp_open(&s);
    if (ss == nullptr) {
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_SNMPD, "SNMP: cannot open trap sink %s\n", peer);
        return;
    }
    sinks().push_back({.session = ss, .version = version, .community = community});
}

// The switch's sysObjectID from the value handler: its length, 0 without.
size_t sys_object_id(oid *out, size_t room) {
    snmp_param_block b{};
    b.selector = SNMP_SEL_SYSTEM;
    b.item = 1;
    if (snmp_app_callbacks_call(SNMP_CB_MIB_VALUE_MAJOR, SNMP_CB_MIB_VALUE_MINOR, &b) != 0)
        return 0;
    size_t n = std::min<size_t>({static_cast<size_t>(b.value) / 4, room, std::size(b.oid)});
    for (size_t i = 0; i < n; i++)
        out[i] = b.oid[i];
    return n;
}

// The agent's own traps (authentication failure) reach the sinks from here,
// with the switch's address and, for a generic trap, its sysObjectID as
// enterprise: the library would name its own enterprise and the host's
// address.
bool is_authentication_failure(const netsnmp_pdu *pdu, int minor) {
    if (minor == SNMPD_CALLBACK_SEND_TRAP1) return pdu->trap_type == SNMP_TRAP_AUTHFAIL;
    static const oid trap_oid[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
    static const oid auth_failure[] = {1, 3, 6, 1, 6, 3, 1, 1, 5, 5};
    for (const netsnmp_variable_list *v = pdu->variables; v != nullptr; v = v->next_variable) {
        if (snmp_oid_compare(v->name, v->name_length, trap_oid, OID_LENGTH(trap_oid)) == 0)
            return v->type == ASN_OBJECT_ID &&
                   snmp_oid_compare(v->val.objid, v->val_len / sizeof(oid), auth_failure,
                                    OID_LENGTH(auth_failure)) == 0;
    }
    return false;
}

// Any host makes an authenticationFailure notification with each request
// that names a wrong community: each passes a log gate that names the host,
// and only those it lets through (written, or counted over the budget the
// stored log shares) go to the stations, so no host floods them
// through the agent. The library offers an event as SNMPv1 and then as
// SNMPv2c notification; both follow the decision of its first.
int auth_failure_decision = -1;  // the event's, till its second offer; -1: none
bool auth_failure_sent(int minor) {
    if (minor == SNMPD_CALLBACK_SEND_TRAP2 && auth_failure_decision >= 0) {
        const bool sent = auth_failure_decision == 1;
        auth_failure_decision = -1;
        return sent;
    }
    static log_gate auth_failure_log{.burst = 10};
    const log_source from = log_source_ipv4(snmp_request_queue::serving());
    char sender[24];
    log_source_text(from, sender, sizeof sender);
    const int written =
        log_gate_printf(&auth_failure_log, from, LOG_LEVEL_WARNING, LOG_MOD_SNMPD,
                        "snmpd: request from %s with a community it may not use", sender);
    auth_failure_decision = minor == SNMPD_CALLBACK_SEND_TRAP1 ? written : -1;
    return written == 1;
}

int trap_from_switch(int, int minor, void *data, void *) {
    auto *pdu = static_cast<netsnmp_pdu *>(data);
    if (pdu == nullptr) return 0;
    if (is_authentication_failure(pdu, minor) && !auth_failure_sent(minor)) return 0;
    oid id[MAX_OID_LEN];
    size_t n = sys_object_id(id, std::size(id));
    long version = SNMP_VERSION_2c;
    if (minor == SNMPD_CALLBACK_SEND_TRAP1) {
        version = SNMP_VERSION_1;
        in_addr_t self = switch_address();
        std::memcpy(pdu->agent_addr, &self, 4);
        if (pdu->trap_type != SNMP_TRAP_ENTERPRISESPECIFIC && n != 0) {
            SNMP_FREE(pdu->enterprise);
            pdu->enterprise = snmp_duplicate_objid(id, n);
            pdu->enterprise_length = n;
        }
    } else {
        static const oid trap_enterprise[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 3, 0};
        for (netsnmp_variable_list *v = pdu->variables; v != nullptr && n != 0;
             v = v->next_variable) {
            if (snmp_oid_compare(v->name, v->name_length, trap_enterprise,
                                 OID_LENGTH(trap_enterprise)) == 0)
                snmp_set_var_typed_value(v, ASN_OBJECT_ID, id, n * sizeof(oid));
        }
    }
    for (const Sink &sink : sinks()) {
        if (sink.version == version) send_trap_to_sess(sink.session, pdu);
    }
    return 0;
}

}  // namespace

in_addr_t switch_address() {
    // As the system page shows it: eth1's once it has an address, else eth0's.
    net_if_info info{};
    if (net_util_if_info_get("eth1", &info, 0) < NET_IF_DHCP_BOUND) {
        info = net_if_info{};
        if (net_util_if_info_get("eth0", &info, 0) < 0) info = net_if_info{};
    }
    in_addr addr{};
    char ip[NET_IF_ADDR_SIZE + 1] = {};
    std::memcpy(ip, info.ip, sizeof info.ip);
    if (inet_pton(AF_INET, ip, &addr) != 1) return htonl(INADDR_LOOPBACK);
    return addr.s_addr;
}

void traps_from_switch() {
    snmp_register_callback(SNMP_CALLBACK_APPLICATION, SNMPD_CALLBACK_SEND_TRAP1, trap_from_switch,
                           nullptr);
    snmp_register_callback(SNMP_CALLBACK_APPLICATION, SNMPD_CALLBACK_SEND_TRAP2, trap_from_switch,
                           nullptr);
}

void group_line(const char *line) {
    feed(vacm_parse_group, "group", line);
}

void access_line(const char *line) {
    feed(vacm_parse_access, "access", line);
}

void view_line(const char *line) {
    feed(vacm_parse_view, "view", line);
}

void default_view() {
    // The parser appends an entry each time: one is kept, however often
    // groups are applied.
    // The agent keeps the subtree behind its length.
    static oid subtree[] = {5, 1, 3, 6, 1, 2};
    vacm_destroyViewEntry("default", subtree, OID_LENGTH(subtree));
    view_line("default included .1.3.6.1.2");
}

void usm_line(const char *line) {
    feed(usm_parse_create_usmUser, "createUser", line);
}

void com2sec_line(const char *line) {
    feed(netsnmp_udp_parse_security, "com2sec", line);
}

void trapsink_add(const char *host, const char *community) {
    if (traps_switch == 0) return;
    feed(snmpd_parse_config_authtrap, "authtrapenable", authtraps_switch ? "1" : "2");
    // A host alone gets the agent's trap port; the host build accepts
    // "host:port" too.
    char peer[64];
    if (std::strchr(host, ':') != nullptr)
        std::snprintf(peer, sizeof peer, "udp:%s", host);
    else
        std::snprintf(peer, sizeof peer, "udp:%s:%d", host, snmp_trap_port());
    open_sink(peer, community, SNMP_VERSION_1);
    open_sink(peer, community, SNMP_VERSION_2c);
}

namespace {
bool cold_start_due = false;
}  // namespace

void cold_start_once() {
    static bool told = false;
    if (told) return;
    told = true;
    cold_start_due = !sinks().empty();
}

void send_cold_start() {
    if (!cold_start_due) return;
    cold_start_due = false;
    send_easy_trap(SNMP_TRAP_COLDSTART, 0);
}

void group_destroy(int model, const char *name) {
    vacm_destroyGroupEntry(model_word(model), name);
}

void access_destroy(const char *name, int model, int level) {
    int lvl = level == 2 || level == 3 ? level : 1;
    vacm_destroyAccessEntry(name, "", model_word(model), lvl);
}

void usm_destroy(const uint8_t *engine_id, int len, const char *name) {
    struct usmUser *user = usm_get_user(const_cast<u_char *>(engine_id), static_cast<size_t>(len),
                                        const_cast<char *>(name));
    if (user == nullptr) return;
    usm_remove_user(user);
    usm_free_user(user);  // removal does not free it
}

void security_free() {
    netsnmp_udp_com2SecList_free();
}

void trapsinks_free() {
    for (const Sink &sink : sinks())
        snmp_close(sink.session);
    sinks().clear();
}

void notify_glue_set(int traps, int authtraps) {
    if (traps == 0) {
        trapsinks_free();
        traps_switch = 0;
    } else {
        traps_switch = 1;
    }
    feed(snmpd_parse_config_authtrap, "authtrapenable", authtraps ? "enable" : "disable");
    authtraps_switch = authtraps ? 1 : 0;
}

void notify_glue_get(int *traps, int *authtraps) {
    *traps = traps_switch;
    *authtraps = authtraps_switch;
}

void post_read_config() {
    snmp_call_callbacks(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_POST_READ_CONFIG, nullptr);
}

int engine_id_get(uint8_t *out, int room) {
    return static_cast<int>(snmpv3_get_engineID(out, static_cast<size_t>(room)));
}

int setup_engineID(uint8_t *out, const char *text) {
    uint8_t id[SNMPCFG_ENGINE_ID_MAX] = {0x80, 0x00, 0x07, 0xE5};
    int len;
    if (text == nullptr) {
        id[4] = 1;
        const uint8_t loopback[4] = {127, 0, 0, 1};
        std::memcpy(id + 5, loopback, 4);
        len = 9;
    } else {
        size_t pairs = std::strlen(text) / 2;  // a trailing odd digit is ignored
        if (5 + pairs > SNMPCFG_ENGINE_ID_MAX) return -1;
        id[4] = 4;
        for (size_t i = 0; i < pairs; i++)
            id[5 + i] = static_cast<uint8_t>(hex_nibble_value(text[2 * i]) * 16 +
                                             hex_nibble_value(text[2 * i + 1]));
        len = 5 + static_cast<int>(pairs);
    }
    if (out != nullptr) {
        std::memcpy(out, id, static_cast<size_t>(len));
        return len;
    }
    snmp_agent_lock();
    int rv = set_exact_engineID(id, static_cast<size_t>(len));
    snmp_agent_unlock();
    return rv == SNMPERR_SUCCESS ? len : -1;
}

}  // namespace snmpglue

void send_rmon_alarm_trap(int kind, const char *community, void *varbinds) {
    if (kind != 1 && kind != 2) return;
    snmp_agent_lock();
    netsnmp_pdu *tmpl = snmp_pdu_create(SNMP_MSG_TRAP);
    static oid rmon[] = {1, 3, 6, 1, 2, 1, 16};
    tmpl->enterprise = snmp_duplicate_objid(rmon, OID_LENGTH(rmon));
    tmpl->enterprise_length = OID_LENGTH(rmon);
    tmpl->trap_type = SNMP_TRAP_ENTERPRISESPECIFIC;
    tmpl->specific_type = kind;
    in_addr_t self = snmpglue::switch_address();
    std::memcpy(tmpl->agent_addr, &self, 4);
    tmpl->time = netsnmp_get_agent_uptime();
    tmpl->variables = static_cast<netsnmp_variable_list *>(varbinds);
    size_t want = community != nullptr ? std::strlen(community) : 0;
    for (const snmpglue::Sink &sink : snmpglue::sinks()) {
        // The sink's community must be a prefix of the event's one.
        if (want != 0 &&
            (sink.community.size() > want ||
             std::strncmp(sink.community.c_str(), community, sink.community.size()) != 0))
            continue;
        if (sink.version == SNMP_VERSION_1) {
            send_trap_to_sess(sink.session, tmpl);
        } else {
            // A bare v1 template is not a valid v2 trap: convert it.
            netsnmp_pdu *v2 = convert_v1pdu_to_v2(tmpl);
            if (v2 == nullptr) continue;
            send_trap_to_sess(sink.session, v2);
            snmp_free_pdu(v2);
        }
    }
    tmpl->variables = nullptr;  // the caller's
    snmp_free_pdu(tmpl);
    snmp_agent_unlock();
}
