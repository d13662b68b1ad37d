// The "dos" settings item: per attack type a type word, a rate and a bitmap
// of the user ports that have it on (bit u-1 for user port u); the two
// floods add a second triple for the ports of their second rate. A type the
// monitor switched on for some ports only is kept for those ports.
#include <vector>

#include "board.h"
#include "dosmgr.h"
#include "logger.h"
#include "port_reserve.h"
#include "settings.h"

namespace {

constexpr uint32_t kVersion = 0x88740001;

struct Triple {
    uint32_t type;
    uint32_t rate;
    std::vector<uint8_t> ports;
    bool operator==(const Triple &) const = default;
};

size_t bitmap_bytes() {
    return static_cast<size_t>((board_num_uports + 7) / 8);
}

bool flood(int type) {
    return type == DOS_ATTACK_PING_FLOOD || type == DOS_ATTACK_SYN_FLOOD;
}

// The ports with the type on; for the floods, `second` picks the ports whose
// rate is not the first set's.
Triple collect(int type, bool second) {
    Triple t{.type = static_cast<uint32_t>(type), .rate = 0, .ports = {}};
    t.ports.assign(bitmap_bytes(), 0);
    if (flood(type) && !second) t.rate = DOS_FLOOD_RATE;
    for (int u = 1; u <= board_num_uports; u++) {
        int on = 0, rate = 0;
        dos_attack_get(u, type, &on, &rate);
        if (!on || (flood(type) && (rate != DOS_FLOOD_RATE) != second)) continue;
        if (second && t.rate == 0) t.rate = static_cast<uint32_t>(rate);
        t.ports[static_cast<size_t>(u - 1) / 8] |= static_cast<uint8_t>(1u << ((u - 1) % 8));
    }
    return t;
}

int written(size_t triples) {
    return static_cast<int>(triples * (8 + bitmap_bytes()));
}

int save(settings_medium *m) {
    size_t count = 0;
    for (int type = 0; type < DOS_ATTACK_TYPES; type++) {
        for (int k = 0; k < (flood(type) ? 2 : 1); k++) {
            const Triple t = collect(type, k == 1);
            if (medium_write_u32(m, t.type) != 0 || medium_write_u32(m, t.rate) != 0 ||
                medium_write_bytes(m, t.ports.data(), t.ports.size()) != 0)
                return -1;
            count++;
        }
    }
    return written(count);
}

// Set by the first load: from then on what runs came from a load, the pages
// or the monitor, and a record equal to it needs no work.
bool applied_once = false;

bool has_port(const Triple &t, int uport) {
    return (t.ports[static_cast<size_t>(uport - 1) / 8] >> ((uport - 1) % 8)) & 1;
}

// The first port under self-test whose checks differ between the two, or 0.
int held_port_changed(const std::vector<Triple> &now, const std::vector<Triple> &stored) {
    for (int u = 1; u <= board_num_uports; u++) {
        if (!uport_under_test(u)) continue;
        for (size_t i = 0; i < now.size() && i < stored.size(); i++) {
            if (has_port(now[i], u) != has_port(stored[i], u) ||
                (has_port(now[i], u) && now[i].rate != stored[i].rate))
                return u;
        }
    }
    return 0;
}

int load(settings_medium *m) {
    std::vector<Triple> stored;
    for (int type = 0; type < DOS_ATTACK_TYPES; type++) {
        for (int k = 0; k < (flood(type) ? 2 : 1); k++) {
            Triple t{.type = 0, .rate = 0, .ports = std::vector<uint8_t>(bitmap_bytes())};
            if (medium_read_u32(m, &t.type) != 0 || medium_read_u32(m, &t.rate) != 0 ||
                medium_read_bytes(m, t.ports.data(), t.ports.size()) != 0)
                return -1;
            stored.push_back(std::move(t));
        }
    }
    PortReserveFreeze tests;  // tests start after the load, not halfway
    // A load of what already runs changes nothing: a rebuild would take
    // each type's rules from every port meanwhile.
    if (applied_once) {
        std::vector<Triple> now;
        for (int type = 0; type < DOS_ATTACK_TYPES; type++) {
            for (int k = 0; k < (flood(type) ? 2 : 1); k++)
                now.push_back(collect(type, k == 1));
        }
        if (now == stored) return written(stored.size());
        // A port under self-test keeps its checks, as the DoS page refuses
        // them: the item waits whole for a load after the test.
        if (int uport = held_port_changed(now, stored); uport != 0) {
            settings_load_skipped(LOG_MOD_DOS, "DoS settings: port %d: %s", uport,
                                  uport_held_text(uport));
            return written(stored.size());
        }
    }
    applied_once = true;
    dos_attack_reset();
    // Each triple's ports in one change, so each type's rules are built once.
    upbmp_t ports{};
    if (upbmp_alloc(&ports, board_num_uports) != 0) return -1;
    for (const Triple &t : stored) {
        upbmp_clear_all(&ports);
        for (int u = 1; u <= board_num_uports; u++) {
            if (has_port(t, u)) upbmp_add(&ports, u);
        }
        dos_attack_set_ports(&ports, static_cast<int>(t.type), 1, static_cast<int>(t.rate));
    }
    upbmp_free(&ports);
    return written(stored.size());
}

int check(settings_medium *m) {
    size_t triples = 0;
    for (int type = 0; type < DOS_ATTACK_TYPES; type++)
        triples += flood(type) ? 2 : 1;
    return settings_check_record_size(m, kVersion, static_cast<size_t>(written(triples)));
}

}  // namespace

int dos_item(int op, settings_medium *m) {
    return settings_item_dispatch(op, m, load, save, kVersion, check);
}
