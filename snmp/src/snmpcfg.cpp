// The SNMP configuration tables, their lines for the agent and the settings
// item "snmp".
#include "snmpcfg.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "log_gate.h"
#include "logger.h"
#include "nvram.h"
#include "shr.h"
#include "snmp_agent.h"
#include "snmp_backend.h"
#include "snmpcfg_glue.h"

namespace {

constexpr char kEnginePrefix[] = "800007e504";

snmpcfg_tables &tables() {
    static auto *t = new snmpcfg_tables{};
    return *t;
}

const char *model_word(int model) {
    switch (model) {
        case 1:
            return "v1";
        case 2:
            return "v2c";
        case 3:
            return "usm";
        default:
            return "";
    }
}

// Holds the agent lock for a scope: the glue below calls into net-snmp.
struct AgentLock {
    AgentLock() { snmp_agent_lock(); }
    ~AgentLock() { snmp_agent_unlock(); }
    AgentLock(const AgentLock &) = delete;
    AgentLock &operator=(const AgentLock &) = delete;
};

// Adds rec at slot count of a packed table with its index word.
template <typename T>
int table_add(T *table, int *count, const T &rec, int *slot) {
    if (*count >= SNMPCFG_SLOTS) return -1;
    table[*count] = rec;
    table[*count].index = *count + 1;
    if (slot != nullptr) *slot = *count;
    ++*count;
    return 0;
}

// Removes the entry of a 1-based index; later entries move down a slot.
template <typename T>
int table_delete(T *table, int *count, int index) {
    if (index < 1 || index > *count) return -1;
    for (int i = index - 1; i + 1 < *count; i++) {
        table[i] = table[i + 1];
        table[i].index = i + 1;
    }
    table[*count - 1] = T{};
    --*count;
    return 0;
}

template <size_t N>
void copy_text(char (&dst)[N], const char *src) {
    size_t n = strnlen(src, N - 1);
    std::memmove(dst, src, n);
    dst[n] = '\0';
}

// Refuses an entry whose texts would not stay single tokens of its line:
// a stored name must not add words (a protocol, a key) to it.
bool tokens_ok(const char *what, std::initializer_list<const char *> texts) {
    for (const char *text : texts) {
        if (snmpcfg_token_ok(text)) continue;
        log_refused_printf(LOG_LEVEL_WARNING, LOG_MOD_SNMPD,
                           "SNMP %s: blank, quote or control character in a name; not applied\n",
                           what);
        return false;
    }
    return true;
}

}  // namespace

bool snmpcfg_token_ok(const char *text) {
    if (text == nullptr || *text == '\0') return false;
    for (const char *p = text; *p; p++) {
        auto c = static_cast<unsigned char>(*p);
        if (c <= ' ' || c >= 0x7F || c == '"' || c == '\'' || c == '\\') return false;
    }
    return true;
}

snmpcfg_tables &snmpcfg(void) {
    return tables();
}

// ---- text routines

void hex_encode(char *out, const uint8_t *bytes, size_t n) {
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < n; i++) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 0xF];
    }
    out[2 * n] = '\0';
}

int hex_nibble_value(char c) {
    int v = shr_hex_digit(c);
    return v < 0 ? 0 : v;
}

int hex_str_check(const char *text) {
    if (text == nullptr || *text == '\0') return -1;
    for (const char *p = text; *p; p++) {
        if (shr_hex_digit(*p) < 0) return -1;
    }
    return 0;
}

// ---- users

int snmpcfg_user_add(const snmpcfg_user *rec, int *slot) {
    // The agent silently makes no USM user of a shorter pass phrase.
    if (rec->auth != 0 && std::strlen(rec->password) < SNMPCFG_PASS_MIN) return -1;
    snmpcfg_user u = *rec;
    if (u.engine_id_len <= 0 || u.engine_id_len > SNMPCFG_ENGINE_ID_MAX) {
        u.engine_id_len = tables().engine_id_len;
        std::memcpy(u.engine_id, tables().engine_id, sizeof tables().engine_id);
    }
    snmpcfg_tables &t = tables();
    return table_add(t.users, &t.user_count, u, slot);
}

int snmpcfg_user_delete(int index) {
    snmpcfg_tables &t = tables();
    return table_delete(t.users, &t.user_count, index);
}

int snmpcfg_user_apply(int slot) {
    snmpcfg_tables &t = tables();
    if (slot < 0 || slot >= t.user_count) return -1;
    snmpcfg_user &u = t.users[slot];
    // The agent localises the user to the engine ID in force; unapply finds
    // it by that ID.
    if (u.engine_id_len <= 0) {
        u.engine_id_len = t.engine_id_len;
        std::memcpy(u.engine_id, t.engine_id, sizeof t.engine_id);
    }
    if (u.auth != 0 && std::strlen(u.password) < SNMPCFG_PASS_MIN) {
        log_refused_printf(LOG_LEVEL_WARNING, LOG_MOD_SNMPD,
                           "SNMP user \"%s\": pass phrase shorter than %d characters\n", u.name,
                           SNMPCFG_PASS_MIN);
        return -1;
    }
    const char *group = u.group >= 0 && u.group < SNMPCFG_SLOTS ? t.groups[u.group].name : "";
    if (!tokens_ok("user", {u.name, group}) || (u.auth != 0 && !tokens_ok("user", {u.password})))
        return -1;
    char line[128];
    AgentLock lock;
    std::snprintf(line, sizeof line, "%s %s %s", group, model_word(u.model), u.name);
    snmpglue::group_line(line);
    if (u.auth == 0)
        std::snprintf(line, sizeof line, "%s", u.name);
    else
        std::snprintf(line, sizeof line, "%s %s %s", u.name, u.auth == 1 ? "MD5" : "SHA",
                      u.password);
    snmpglue::usm_line(line);
    return 0;
}

void snmpcfg_user_unapply(const snmpcfg_user *rec) {
    AgentLock lock;
    snmpglue::group_destroy(rec->model, rec->name);
    snmpglue::usm_destroy(rec->engine_id, rec->engine_id_len, rec->name);
}

// ---- groups

int snmpcfg_group_add(const snmpcfg_group *rec, int *slot) {
    snmpcfg_tables &t = tables();
    return table_add(t.groups, &t.group_count, *rec, slot);
}

int snmpcfg_group_delete(int index) {
    snmpcfg_tables &t = tables();
    if (table_delete(t.groups, &t.group_count, index) != 0) return -1;
    // The list names groups by slot: later groups moved down one.
    for (int i = 0; i < t.v1v2group_count; i++) {
        if (t.v1v2groups[i].group > index - 1) t.v1v2groups[i].group--;
    }
    return 0;
}

int snmpcfg_group_apply(int slot) {
    snmpcfg_tables &t = tables();
    if (slot < 0 || slot >= t.group_count) return -1;
    const snmpcfg_group &g = t.groups[slot];
    if (!tokens_ok("group", {g.name})) return -1;
    char line[128];
    AgentLock lock;
    std::snprintf(line, sizeof line, "%s \"\" %s %s exact %s %s default", g.name,
                  model_word(g.model), g.level == 2 ? "auth" : "noauth",
                  g.read == 1 ? "default" : "no_read", g.write == 1 ? "default" : "no_write");
    snmpglue::access_line(line);
    snmpglue::default_view();
    if (g.model == 1 || g.model == 2) snmpcfg_v1v2group_add(slot);
    return 0;
}

void snmpcfg_group_unapply(const snmpcfg_group *rec) {
    {
        AgentLock lock;
        snmpglue::access_destroy(rec->name, rec->model, rec->level);
    }
    if (rec->model == 3) return;
    snmpcfg_tables &t = tables();
    for (int i = 0; i < t.v1v2group_count; i++) {
        if (t.v1v2groups[i].group == rec->index - 1) {
            snmpcfg_v1v2group_delete(i);
            return;
        }
    }
}

void snmpcfg_v1v2group_add(int slot) {
    snmpcfg_tables &t = tables();
    if (slot < 0 || slot >= SNMPCFG_SLOTS) return;
    const char *name = t.groups[slot].name;
    for (int i = 0; i < t.v1v2group_count; i++) {
        if (std::strcmp(t.v1v2groups[i].name, name) == 0) {
            t.v1v2groups[i].group = slot;
            return;
        }
    }
    if (t.v1v2group_count >= SNMPCFG_SLOTS) return;
    snmpcfg_v1v2group &e = t.v1v2groups[t.v1v2group_count++];
    e.group = slot;
    copy_text(e.name, name);
}

void snmpcfg_v1v2group_delete(int i) {
    snmpcfg_tables &t = tables();
    if (i < 0 || i >= t.v1v2group_count) return;
    for (int j = i; j + 1 < t.v1v2group_count; j++)
        t.v1v2groups[j] = t.v1v2groups[j + 1];
    t.v1v2groups[--t.v1v2group_count] = {};
}

// ---- communities

int snmpcfg_community_add(const snmpcfg_community *rec, int *slot) {
    snmpcfg_tables &t = tables();
    return table_add(t.communities, &t.community_count, *rec, slot);
}

int snmpcfg_community_delete(int index) {
    snmpcfg_tables &t = tables();
    return table_delete(t.communities, &t.community_count, index);
}

int snmpcfg_community_apply(int slot) {
    snmpcfg_tables &t = tables();
    if (slot < 0 || slot >= t.community_count) return -1;
    const snmpcfg_community &c = t.communities[slot];
    const char *security = "";
    for (int i = 0; i < t.user_count; i++) {
        if (t.users[i].group == c.group) security = t.users[i].name;
    }
    // The agent mis-parses a line without a security name; such a
    // community grants nothing either way.
    if (*security == '\0') {
        log_refused_printf(LOG_LEVEL_WARNING, LOG_MOD_SNMPD,
                           "SNMP community \"%s\": its group has no user; not applied\n",
                           c.community);
        return -1;
    }
    // The forms' 0.0.0.0 (or no address) stands for every station.
    const char *source =
        c.source[0] == '\0' || std::strcmp(c.source, "0.0.0.0") == 0 ? "default" : c.source;
    if (!tokens_ok("community", {security, source, c.community})) return -1;
    char line[128];
    std::snprintf(line, sizeof line, "%s %s %s", security, source, c.community);
    AgentLock lock;
    snmpglue::com2sec_line(line);
    return 0;
}

void snmpcfg_community_apply_all(void) {
    for (int i = 0; i < tables().community_count; i++)
        snmpcfg_community_apply(i);
}

void snmpcfg_community_unapply_all(void) {
    AgentLock lock;
    snmpglue::security_free();
}

// ---- trap stations

int snmpcfg_trap_add(const snmpcfg_trap *rec, int *slot) {
    snmpcfg_tables &t = tables();
    return table_add(t.traps, &t.trap_count, *rec, slot);
}

int snmpcfg_trap_delete(int index) {
    snmpcfg_tables &t = tables();
    return table_delete(t.traps, &t.trap_count, index);
}

int snmpcfg_trap_apply(int slot) {
    snmpcfg_tables &t = tables();
    if (slot < 0 || slot >= t.trap_count) return -1;
    AgentLock lock;
    snmpglue::trapsink_add(t.traps[slot].host, t.traps[slot].community);
    return 0;
}

void snmpcfg_trap_apply_all(void) {
    for (int i = 0; i < tables().trap_count; i++)
        snmpcfg_trap_apply(i);
}

void snmpcfg_trap_unapply_all(void) {
    AgentLock lock;
    snmpglue::trapsinks_free();
}

void snmpcfg_notify_set(int traps, int authtraps) {
    // The tables keep the switches for the settings item.
    tables().traps_enabled = traps ? 1 : 0;
    tables().authtraps_enabled = authtraps ? 1 : 0;
    AgentLock lock;
    snmpglue::notify_glue_set(traps, authtraps);
}

void snmpcfg_notify_get(int *traps, int *authtraps) {
    AgentLock lock;
    snmpglue::notify_glue_get(traps, authtraps);
}

// ---- everything

int snmpcfg_apply_all(const char *engine_id_text) {
    const char *text = engine_id_text != nullptr ? engine_id_text : "";
    size_t n = std::strlen(text);
    // Half bytes, stray characters or more than the agent holds: refused.
    if (n % 2 != 0 || (n != 0 && hex_str_check(text) != 0) || 5 + n / 2 > SNMPCFG_ENGINE_ID_MAX)
        return -1;
    snmpcfg_tables &t = tables();
    AgentLock lock;
    // Users are localised to the engine ID: they leave under the old one and
    // come back under the new one, which their records then name.
    for (int i = 0; i < t.user_count; i++)
        snmpcfg_user_unapply(&t.users[i]);
    int len = snmpglue::setup_engineID(nullptr, text);
    if (len < 0) {
        for (int i = 0; i < t.user_count; i++)
            snmpcfg_user_apply(i);
        return -1;
    }
    t.engine_id_len = snmpglue::setup_engineID(t.engine_id, text);
    for (int i = 0; i < t.user_count; i++) {
        std::memcpy(t.users[i].engine_id, t.engine_id, sizeof t.engine_id);
        t.users[i].engine_id_len = t.engine_id_len;
    }
    // Everything is applied as a replacement: the groups' access entries
    // and the communities leave first, or each pass would add them again.
    for (int i = 0; i < t.group_count; i++) {
        snmpglue::access_destroy(t.groups[i].name, t.groups[i].model, t.groups[i].level);
        snmpcfg_group_apply(i);
    }
    for (int i = 0; i < t.user_count; i++)
        snmpcfg_user_apply(i);
    snmpglue::security_free();
    snmpcfg_community_apply_all();
    // The agent's post-read-config callbacks (engine boots and time); after
    // the tables, so that a configured agent does not warn of an empty VACM.
    snmpglue::post_read_config();
    return len;
}

void snmpcfg_unapply_all(void) {
    snmpcfg_tables &t = tables();
    AgentLock lock;
    snmpglue::trapsinks_free();
    snmpglue::security_free();
    for (int i = 0; i < t.user_count; i++)
        snmpcfg_user_unapply(&t.users[i]);
    for (int i = 0; i < t.group_count; i++)
        snmpcfg_group_unapply(&t.groups[i]);
}

void snmpcfg_defaults(void) {
    snmpcfg_tables &t = tables();
    t = {};
    char text[32];
    copy_text(text, kEnginePrefix);
    uint8_t mac[6];
    const char *stored = nvram_get("et1macaddr");
    if (stored != nullptr && mac_str_parse(stored, mac) == 0) hex_encode(text + 10, mac, 6);
    size_t n = std::strlen(text) / 2;
    for (size_t i = 0; i < n; i++)
        t.engine_id[i] = static_cast<uint8_t>(hex_nibble_value(text[2 * i]) * 16 +
                                              hex_nibble_value(text[2 * i + 1]));
    t.engine_id_len = static_cast<int>(n);
    t.traps_enabled = 1;
    t.authtraps_enabled = 1;
}

void snmpcfg_init(void) {
    snmpcfg_unapply_all();
    snmpcfg_defaults();
    // The default engine ID is in force until the item loads.
    char text[2 * SNMPCFG_ENGINE_ID_MAX + 1];
    hex_encode(text, tables().engine_id + 5, static_cast<size_t>(tables().engine_id_len - 5));
    snmpcfg_apply_all(text);
    // The agent's switches follow the tables' defaults.
    snmpcfg_notify_set(tables().traps_enabled, tables().authtraps_enabled);
}
