// Settings item "snmp": the five tables' saved parts, the engine ID and the
// two notification switches, as one record.
#include <cstring>
#include <type_traits>

#include "snmp_agent.h"
#include "snmpcfg.h"
#include "snmpcfg_glue.h"

namespace {

constexpr uint32_t kVersion = 0x88740001;

// One field list serves both directions, so save and load cannot drift.
struct Io {
    settings_medium *m;
    bool load;
    int bytes = 0;
    bool ok = true;

    void word(int32_t &v) {
        uint32_t w = static_cast<uint32_t>(v);
        ok = ok && (load ? medium_read_u32(m, &w) : medium_write_u32(m, w)) == 0;
        v = static_cast<int32_t>(w);
        bytes += 4;
    }
    void count(int &v) {
        int32_t w = v;
        word(w);
        v = w;
    }
    // A byte block; a text comes back NUL-terminated whatever was stored.
    template <typename T, size_t N>
    void word(T (&b)[N]) {
        ok = ok && (load ? medium_read_bytes(m, b, N) : medium_write_bytes(m, b, N)) == 0;
        if constexpr (std::is_same_v<T, char>) b[N - 1] = '\0';
        bytes += static_cast<int>(N);
    }
    template <typename... F>
    void all(F &...f) {
        (word(f), ...);
    }
};

void fields(Io &io, snmpcfg_tables &t) {
    io.count(t.user_count);
    for (snmpcfg_user &u : t.users)
        io.all(u.index, u.name, u.group, u.model, u.auth, u.password, u.engine_id, u.engine_id_len);
    io.count(t.group_count);
    for (snmpcfg_group &g : t.groups)
        io.all(g.index, g.name, g.model, g.level, g.read, g.write);
    io.count(t.community_count);
    for (snmpcfg_community &c : t.communities)
        io.all(c.index, c.community, c.group, c.word2, c.source);
    io.count(t.trap_count);
    for (snmpcfg_trap &s : t.traps)
        io.all(s.index, s.host, s.community);
    io.count(t.engine_id_len);
    io.all(t.engine_id);
    uint8_t switches[2] = {t.traps_enabled, t.authtraps_enabled};
    io.all(switches);
    t.traps_enabled = switches[0];
    t.authtraps_enabled = switches[1];
}

bool counts_fit(const snmpcfg_tables &t) {
    auto fits = [](int n) { return n >= 0 && n <= SNMPCFG_SLOTS; };
    return fits(t.user_count) && fits(t.group_count) && fits(t.community_count) &&
           fits(t.trap_count) && t.engine_id_len >= 0 && t.engine_id_len <= SNMPCFG_ENGINE_ID_MAX;
}

int load(settings_medium *m) {
    auto *saved = new snmpcfg_tables{};
    Io io{.m = m, .load = true};
    fields(io, *saved);
    if (!io.ok || !counts_fit(*saved)) {
        delete saved;
        return -1;
    }
    snmpcfg_unapply_all();
    snmpcfg_defaults();
    snmpcfg_tables &t = snmpcfg();
    uint8_t default_id[sizeof t.engine_id];
    std::memcpy(default_id, t.engine_id, sizeof default_id);
    int default_len = t.engine_id_len;
    t = *saved;
    delete saved;
    // A record without an engine ID of its own (the factory one) keeps the
    // default made from the MAC address.
    if (t.engine_id_len < 5) {
        std::memcpy(t.engine_id, default_id, sizeof default_id);
        t.engine_id_len = default_len;
    }
    char text[2 * SNMPCFG_ENGINE_ID_MAX + 1];
    hex_encode(text, t.engine_id + 5, static_cast<size_t>(t.engine_id_len - 5));
    snmpcfg_apply_all(text);
    snmpcfg_notify_set(t.traps_enabled, t.authtraps_enabled);
    if (t.traps_enabled) snmpcfg_trap_apply_all();
    // The load at start-up makes the trap stations that hear of the start.
    snmp_agent_lock();
    snmpglue::cold_start_once();
    snmp_agent_unlock();
    return io.bytes;
}

int save(settings_medium *m) {
    snmpcfg_tables copy = snmpcfg();
    Io io{.m = m, .load = false};
    fields(io, copy);
    return io.ok ? io.bytes : -1;
}

}  // namespace

int snmpcfg_item(int op, settings_medium *m) {
    return settings_item_dispatch(op, m, load, save, kVersion);
}
