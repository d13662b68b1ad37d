// libFuzzer target over the agent: its request decoding and the RMON-lite
// set handlers, with the probe's tables behind them. The agent runs in this
// thread on 127.0.0.1 and answers the datagrams sent to it. An even first
// byte sends the rest as a raw datagram; an odd one builds a SET of up to
// three RMON variables from records of table, column, index, value type,
// value length and value bytes (empty values included), with the community
// "private".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include "board.h"
#include "rmon.h"
#include "sal.h"
#include "sal_host.h"
#include "snmp_agent.h"
#include "snmpcfg.h"

namespace {

int client = -1;
netsnmp_session *manager;

// An SNMPv2c community "private" that reads and writes everything.
void configure() {
    snmpcfg_group g{.index = 0, .name = "rw", .model = 2, .level = 1, .read = 1, .write = 1};
    snmpcfg_user u{.index = 0,
                   .name = "rw_user",
                   .group = 0,
                   .model = 2,
                   .auth = 0,
                   .password = "",
                   .engine_id = {},
                   .engine_id_len = 0};
    snmpcfg_community c{
        .index = 0, .community = "private", .group = 0, .word2 = 0, .source = "default"};
    int slot = 0;
    snmp_agent_lock();
    snmpcfg_group_add(&g, &slot);
    snmpcfg_group_apply(slot);
    snmpcfg_user_add(&u, &slot);
    snmpcfg_user_apply(slot);
    snmpcfg_community_add(&c, &slot);
    snmpcfg_community_apply(slot);
    snmp_agent_unlock();
}

bool start() {
    sal_core_init();
    board_num_uports = 4;
    rmon_init();
    rmon_counter_period_set(0);
    rmon_reclaim_period_set(0);
    sal_host_port_offset_set(20000 + static_cast<int>(getpid() % 2000) * 4);
    if (snmp_agent_setup() != 0) return false;
    configure();
    client = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(sal_host_port(161)));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    char peer[64];
    std::snprintf(peer, sizeof peer, "udp:127.0.0.1:%d", sal_host_port(161));
    static char community[] = "private";
    netsnmp_session s;
    snmp_sess_init(&s);
    s.version = SNMP_VERSION_2c;
    s.peername = peer;
    s.community = reinterpret_cast<u_char *>(community);
    s.community_len = std::strlen(community);
    s.retries = 0;
    snmp_agent_lock();
    manager = snmp_open(&s);
    snmp_agent_unlock();
    return manager != nullptr && connect(client, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0;
}

// Lets the agent answer and drops the answer.
void exchange(const uint8_t *packet, size_t size) {
    if (send(client, packet, size, 0) < 0) return;
    snmp_agent_poll(0);
    snmp_agent_poll(0);
    uint8_t answer[2048];
    while (recv(client, answer, sizeof answer, MSG_DONTWAIT) > 0) {
    }
}

// One variable of the SET: consumed bytes, or 0 when the input ran out.
size_t add_variable(netsnmp_pdu *pdu, const uint8_t *data, size_t size) {
    if (size < 5) return 0;
    static const oid tables[][2] = {{1, 1}, {2, 1}, {2, 2}, {3, 1}, {9, 1}, {9, 2}};
    static const u_char types[] = {ASN_INTEGER,   ASN_OCTET_STR, ASN_OBJECT_ID, ASN_NULL,
                                   ASN_TIMETICKS, ASN_COUNTER,   ASN_IPADDRESS, ASN_GAUGE};
    const oid *t = tables[data[0] % 6];
    oid name[] = {1,
                  3,
                  6,
                  1,
                  2,
                  1,
                  16,
                  t[0],
                  t[1],
                  1,
                  static_cast<oid>(data[1] % 24),
                  static_cast<oid>(data[2] % 8)};
    u_char type = types[data[3] % sizeof types];
    size_t len = data[4];
    if (len > size - 5) len = size - 5;
    const uint8_t *value = len != 0 ? data + 5 : nullptr;
    oid words[64];
    if (type == ASN_OBJECT_ID) {
        // Sub-identifiers from the bytes.
        size_t n = len < 64 ? len : 64;
        for (size_t i = 0; i < n; i++)
            words[i] = data[5 + i];
        snmp_pdu_add_variable(pdu, name, OID_LENGTH(name), type, n != 0 ? words : nullptr,
                              n * sizeof(oid));
    } else if (type == ASN_INTEGER || type == ASN_TIMETICKS || type == ASN_COUNTER ||
               type == ASN_GAUGE) {
        long v = 0;
        std::memcpy(&v, data + 5, len < sizeof v ? len : sizeof v);
        snmp_pdu_add_variable(pdu, name, OID_LENGTH(name), type, &v, sizeof v);
    } else {
        snmp_pdu_add_variable(pdu, name, OID_LENGTH(name), type, value, len);
    }
    return 5 + len;
}

void structured_set(const uint8_t *data, size_t size) {
    netsnmp_pdu *pdu = snmp_pdu_create(SNMP_MSG_SET);
    for (int i = 0; i < 3; i++) {
        size_t used = add_variable(pdu, data, size);
        if (used == 0) break;
        data += used;
        size -= used;
    }
    // The manager's session encodes it; its answer is dropped.
    snmp_agent_lock();
    bool sent = pdu->variables != nullptr && snmp_send(manager, pdu) != 0;
    if (!sent) snmp_free_pdu(pdu);
    snmp_agent_unlock();
    if (!sent) return;
    snmp_agent_poll(0);
    snmp_agent_poll(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool ready = start();
    if (!ready || size == 0) return 0;
    if (data[0] % 2 == 0)
        exchange(data + 1, size - 1);
    else
        structured_set(data + 1, size - 1);
    return 0;
}
