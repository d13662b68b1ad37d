// SNMP configuration: users, groups, communities, trap stations and the
// engine ID, kept in small tables, turned into the agent's configuration
// lines and saved whole in the settings item "snmp".
#pragma once

#include <cstddef>
#include <cstdint>

#include "serialize.h"

constexpr int SNMPCFG_SLOTS = 10;
constexpr int SNMPCFG_ENGINE_ID_MAX = 32;  // the agent's limit (bytes)
constexpr int SNMPCFG_PASS_MIN = 8;        // shorter pass phrases make no USM user

struct snmpcfg_user {
    int32_t index;  // slot + 1
    char name[36];
    int32_t group;  // slot in the group table
    int32_t model;  // 1 v1, 2 v2c, 3 usm
    int32_t auth;   // 0 none, 1 MD5, other SHA
    char password[34];
    uint8_t engine_id[34];
    int32_t engine_id_len;
};

struct snmpcfg_group {
    int32_t index;
    char name[36];
    int32_t model;
    int32_t level;  // 2 auth, other noauth
    int32_t read;   // 1 grants the read view
    int32_t write;  // 1 grants the write view
};

struct snmpcfg_community {
    int32_t index;
    char community[36];
    int32_t group;
    int32_t word2;  // kept for the pages
    char source[16];
};

struct snmpcfg_trap {
    int32_t index;
    char host[16];  // dotted IPv4; "a.b.c.d:port" on the host build
    char community[36];
};

struct snmpcfg_v1v2group {
    int32_t group;
    char name[36];
};

struct snmpcfg_tables {
    snmpcfg_user users[SNMPCFG_SLOTS];
    int user_count;
    snmpcfg_group groups[SNMPCFG_SLOTS];
    int group_count;
    snmpcfg_community communities[SNMPCFG_SLOTS];
    int community_count;
    snmpcfg_trap traps[SNMPCFG_SLOTS];
    int trap_count;
    snmpcfg_v1v2group v1v2groups[SNMPCFG_SLOTS];
    int v1v2group_count;
    uint8_t engine_id[33];
    int engine_id_len;
    uint8_t traps_enabled;
    uint8_t authtraps_enabled;
};

// The tables; callers serialise their use with snmp_agent_lock().
snmpcfg_tables &snmpcfg(void);

// Adds return 0 with *slot set, or -1 when the table is full (and, for a
// user, when its authentication pass phrase is shorter than 8 characters).
int snmpcfg_user_add(const snmpcfg_user *rec, int *slot);
int snmpcfg_user_delete(int index);  // 0, or -1 for an unknown index
int snmpcfg_user_apply(int slot);
void snmpcfg_user_unapply(const snmpcfg_user *rec);
int snmpcfg_group_add(const snmpcfg_group *rec, int *slot);
int snmpcfg_group_delete(int index);
int snmpcfg_group_apply(int slot);
void snmpcfg_group_unapply(const snmpcfg_group *rec);
void snmpcfg_v1v2group_add(int slot);
void snmpcfg_v1v2group_delete(int i);
int snmpcfg_community_add(const snmpcfg_community *rec, int *slot);
int snmpcfg_community_delete(int index);
int snmpcfg_community_apply(int slot);
void snmpcfg_community_apply_all(void);
void snmpcfg_community_unapply_all(void);
int snmpcfg_trap_add(const snmpcfg_trap *rec, int *slot);
int snmpcfg_trap_delete(int index);
int snmpcfg_trap_apply(int slot);
void snmpcfg_trap_apply_all(void);
void snmpcfg_trap_unapply_all(void);
void snmpcfg_notify_set(int traps, int authtraps);
void snmpcfg_notify_get(int *traps, int *authtraps);
// Sets the engine ID from the hex text after the 80 00 07 E5 04 prefix and
// applies every table: the engine ID length, or -1 (bad text: nothing
// changed).
int snmpcfg_apply_all(const char *engine_id_text);
void snmpcfg_unapply_all(void);
void snmpcfg_defaults(void);
void snmpcfg_init(void);

// Settings item "snmp".
int snmpcfg_item(int op, settings_medium *m);

// True for a text that stays one token of a configuration line: not empty,
// and no blank, quote, backslash or control character.
bool snmpcfg_token_ok(const char *text);

// Text routines.
void hex_encode(char *out, const uint8_t *bytes, size_t n);
int hex_nibble_value(char c);
int hex_str_check(const char *text);

// Engine ID 80 00 07 E5 then 04 + the hex text's bytes, or 01 + 127.0.0.1
// without a text. With out, the bytes go there (room for 32); without, they
// replace the agent's engine ID. Its length, or -1 for an odd, non-hex or
// too long text (the old ID kept).
namespace snmpglue {
int setup_engineID(uint8_t *out, const char *text);
}

// Sends an RMON alarm trap (kind 1 rising, 2 falling) to every trap sink
// whose community matches the start of the text (empty: every sink). The
// caller keeps the variable list (a netsnmp_variable_list *).
void send_rmon_alarm_trap(int kind, const char *community, void *varbinds);
