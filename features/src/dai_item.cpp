// The "darp" settings item: the enable flag and, while enabled, the aging
// time, the inspected VLANs, the configured bindings and the trusted ports.
#include <cstring>
#include <vector>

#include "board.h"
#include "dai_internal.h"
#include "daimgr.h"
#include "logger.h"
#include "port_reserve.h"
#include "sal_lock.h"
#include "settings.h"

namespace {

constexpr uint32_t kVersion = 0x88740001;
constexpr int kStoredBindings = DARP_STATIC_MAX;

// The record's fields; learned bindings are not part of it.
struct Binding {
    uint8_t mac[6], ip[4];
    uint16_t vid;
    bool operator==(const Binding &) const = default;
};
struct Config {
    uint16_t enabled = 0, aging = 0;
    std::vector<uint16_t> vids;
    std::vector<Binding> bindings;
    std::vector<uint8_t> trusted;
    bool operator==(const Config &) const = default;
};

size_t trust_bytes() {
    return static_cast<size_t>((board_num_uports + 7) / 8);
}

// What runs, as the record holds it; the caller holds the config lock.
Config running() {
    Config c;
    int enabled = 0;
    darp_enable_get(&enabled);
    c.enabled = enabled ? 1 : 0;
    if (!c.enabled) return c;
    c.aging = darp_aging_get();
    c.vids.resize(DARP_VLAN_MAX);
    for (int i = 0; i < DARP_VLAN_MAX; i++)
        darp_vlan_get_by_index(i, &c.vids[static_cast<size_t>(i)]);
    // Learned bindings come back from DHCP; only configured ones are kept.
    c.bindings.resize(kStoredBindings, Binding{});
    size_t stored = 0;
    for (int n = 0; stored < c.bindings.size(); n++) {
        Binding &b = c.bindings[stored];
        int learned = 0;
        if (darp_trusted_db_get_by_index(n, b.mac, b.ip, &b.vid, &learned) != 0) {
            b = Binding{};
            break;
        }
        if (!learned) stored++;
    }
    c.trusted.assign(trust_bytes(), 0);
    for (int u = 1; u <= board_num_uports; u++) {
        if (darp_port_trust_get(u))
            c.trusted[static_cast<size_t>((u - 1) / 8)] |= static_cast<uint8_t>(1 << ((u - 1) % 8));
    }
    return c;
}

int save(settings_medium *m) {
    // One snapshot against the page and the receive thread's learning.
    SalLock hold(darp_config_lock());
    const Config c = running();
    if (medium_write_u16(m, c.enabled) != 0) return -1;
    if (!c.enabled) return 0;
    if (medium_write_u16(m, c.aging) != 0) return -1;
    for (uint16_t vid : c.vids) {
        if (medium_write_u16(m, vid) != 0) return -1;
    }
    for (const Binding &b : c.bindings) {
        if (medium_write_bytes(m, b.mac, 6) != 0 || medium_write_bytes(m, b.ip, 4) != 0 ||
            medium_write_u16(m, b.vid) != 0)
            return -1;
    }
    return medium_write_bytes(m, c.trusted.data(), c.trusted.size());
}

int read(settings_medium *m, Config &c) {
    if (medium_read_u16(m, &c.enabled) != 0) return -1;
    if (!c.enabled) return 0;
    if (medium_read_u16(m, &c.aging) != 0) return -1;
    c.vids.resize(DARP_VLAN_MAX);
    for (uint16_t &vid : c.vids) {
        if (medium_read_u16(m, &vid) != 0) return -1;
    }
    c.bindings.resize(kStoredBindings);
    for (Binding &b : c.bindings) {
        if (medium_read_bytes(m, b.mac, 6) != 0 || medium_read_bytes(m, b.ip, 4) != 0 ||
            medium_read_u16(m, &b.vid) != 0)
            return -1;
    }
    c.trusted.resize(trust_bytes());
    return medium_read_bytes(m, c.trusted.data(), c.trusted.size());
}

// Set by the first load: from then on what runs came from a load or the
// pages, and a record equal to it needs no work.
bool applied_once = false;

int load(settings_medium *m) {
    PortReserveFreeze tests;  // the tests' ports stay as the load finds them
    SalLock hold(darp_config_lock());
    Config c;
    if (read(m, c) != 0) {
        darp_enable_set(0);
        return -1;
    }
    // A load of what already runs keeps it, learned bindings included: the
    // hosts behind untrusted ports would lose their ARP until their leases
    // renew.
    if (applied_once && c == running()) return 0;
    // Switching the inspection sets the learning of every front port: it
    // waits whole for a load after the self-test.
    if (int uport = 0; applied_once && ulpm_to_uport(port_reserve_first_lport(), &uport) == 0) {
        settings_load_skipped(LOG_MOD_DYNAMICARP, "ARP inspection: port %d: %s", uport,
                              uport_held_text(uport));
        return 0;
    }
    applied_once = true;
    darp_enable_set(0);
    if (!c.enabled) return 0;
    // Stored by older firmware where it cannot run: it stays off, and the
    // store is mended to what runs.
    if (!darp_runs()) {
        logger_puts(LOG_LEVEL_WARNING, LOG_MOD_DYNAMICARP,
                    "ARP inspection: stored as on, but this switch has no field processor: "
                    "it stays off");
        return -1;
    }
    darp_aging_set(c.aging);
    for (uint16_t vid : c.vids) {
        if (vid != 0) darp_vlan_set(vid, 1);
    }
    for (const Binding &b : c.bindings) {
        const uint8_t none[6] = {};
        if (std::memcmp(b.mac, none, 6) != 0) darp_trusted_db_add(b.mac, b.ip, b.vid, 0);
    }
    for (int u = 1; u <= board_num_uports; u++) {
        if (c.trusted[static_cast<size_t>((u - 1) / 8)] >> ((u - 1) % 8) & 1)
            darp_port_trust_set(u, 0);
    }
    if (darp_enable_set(1) == 0) return 0;
    // Refused: off with nothing recorded, which a later load finds and mends.
    darp_reset();
    darp_aging_set(0);
    return -1;
}

// Off: the flag alone; on: aging, VLANs, bindings and the trust bitmap too.
int check(settings_medium *m) {
    uint16_t enabled = 0;
    if (medium_read_u16(m, &enabled) != 0) return 0;
    size_t size = 2;
    if (enabled)
        size += 2 + 2 * DARP_VLAN_MAX + 12 * kStoredBindings +
                static_cast<size_t>((board_num_uports + 7) / 8);
    if (!settings_check_record_size(m, kVersion, size)) return 0;
    // A restore is refused by name, as the page refuses to switch it on; the
    // stored settings of older firmware load, and stay off (see load).
    if (enabled && settings_check_of_backup() && !darp_runs()) {
        settings_check_refuse(
            "ARP inspection: this switch has no field processor: it cannot "
            "run on it");
        return 0;
    }
    return 1;
}

}  // namespace

int darp_item(int op, settings_medium *m) {
    return settings_item_dispatch(op, m, load, save, kVersion, check);
}
