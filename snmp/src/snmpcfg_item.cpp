// Settings item "snmp": the five tables' saved parts, the engine ID and the
// two notification switches, as one record.
#include <cstring>

#include "snmpcfg.h"

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
    template <size_t N>
    void block(char (&b)[N]) {
        ok = ok && (load ? medium_read_bytes(m, b, N) : medium_write_bytes(m, b, N)) == 0;
        b[N - 1] = '\0';
        bytes += static_cast<int>(N);
    }
    template <size_t N>
    void block(uint8_t (&b)[N]) {
        ok = ok && (load ? medium_read_bytes(m, b, N) : medium_write_bytes(m, b, N)) == 0;
        bytes += static_cast<int>(N);
    }
};

void fields(Io &io, snmpcfg_tables &t) {
    io.count(t.user_count);
    for (snmpcfg_user &u : t.users) {
        io.word(u.index);
        io.block(u.name);
        io.word(u.group);
        io.word(u.model);
        io.word(u.auth);
        io.block(u.password);
        io.block(u.engine_id);
        io.word(u.engine_id_len);
    }
    io.count(t.group_count);
    for (snmpcfg_group &g : t.groups) {
        io.word(g.index);
        io.block(g.name);
        io.word(g.model);
        io.word(g.level);
        io.word(g.read);
        io.word(g.write);
    }
    io.count(t.community_count);
    for (snmpcfg_community &c : t.communities) {
        io.word(c.index);
        io.block(c.community);
        io.word(c.group);
        io.word(c.word2);
        io.block(c.source);
    }
    io.count(t.trap_count);
    for (snmpcfg_trap &s : t.traps) {
        io.word(s.index);
        io.block(s.host);
        io.block(s.community);
    }
    io.count(t.engine_id_len);
    io.block(t.engine_id);
    uint8_t switches[2] = {t.traps_enabled, t.authtraps_enabled};
    io.block(switches);
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
    switch (op) {
        case SETTINGS_OP_LOAD:
            return load(m);
        case SETTINGS_OP_SAVE:
            return save(m);
        case SETTINGS_OP_VERSION:
            return static_cast<int>(kVersion);
        default:
            return -1;
    }
}
