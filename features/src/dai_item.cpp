// The "darp" settings item: the enable flag and, while enabled, the aging
// time, the inspected VLANs, the configured bindings and the trusted ports.
#include <cstring>
#include <vector>

#include "board.h"
#include "dai_internal.h"
#include "daimgr.h"
#include "sal_lock.h"

namespace {

constexpr uint32_t kVersion = 0x88740001;
constexpr int kStoredBindings = 16;

int save(settings_medium *m) {
    // One snapshot against the page and the receive thread's learning.
    SalLock hold(darp_config_lock());
    int enabled = 0;
    darp_enable_get(&enabled);
    if (medium_write_u16(m, enabled ? 1 : 0) != 0) return -1;
    if (!enabled) return 0;
    if (medium_write_u16(m, darp_aging_get()) != 0) return -1;
    for (int i = 0; i < DARP_VLAN_MAX; i++) {
        uint16_t vid = 0;
        darp_vlan_get_by_index(i, &vid);
        if (medium_write_u16(m, vid) != 0) return -1;
    }
    // Learned bindings come back from DHCP; only configured ones are kept.
    int stored = 0;
    for (int n = 0; stored < kStoredBindings; n++) {
        uint8_t mac[6], ip[4];
        uint16_t vid = 0;
        int learned = 0;
        if (darp_trusted_db_get_by_index(n, mac, ip, &vid, &learned) != 0) break;
        if (learned) continue;
        if (medium_write_bytes(m, mac, 6) != 0 || medium_write_bytes(m, ip, 4) != 0 ||
            medium_write_u16(m, vid) != 0)
            return -1;
        stored++;
    }
    const uint8_t zero[12] = {};
    for (; stored < kStoredBindings; stored++) {
        if (medium_write_bytes(m, zero, sizeof zero) != 0) return -1;
    }
    std::vector<uint8_t> bits(static_cast<size_t>((board_num_uports + 7) / 8));
    for (int u = 1; u <= board_num_uports; u++) {
        if (darp_port_trust_get(u)) bits[static_cast<size_t>((u - 1) / 8)] |= 1 << ((u - 1) % 8);
    }
    return medium_write_bytes(m, bits.data(), bits.size());
}

int load(settings_medium *m) {
    SalLock hold(darp_config_lock());
    darp_enable_set(0);
    uint16_t enabled = 0, aging = 0;
    if (medium_read_u16(m, &enabled) != 0) return -1;
    if (!enabled) return 0;
    if (medium_read_u16(m, &aging) != 0) return -1;
    std::vector<uint16_t> vids(DARP_VLAN_MAX);
    for (uint16_t &vid : vids) {
        if (medium_read_u16(m, &vid) != 0) return -1;
    }
    struct Binding {
        uint8_t mac[6], ip[4];
        uint16_t vid;
    };
    std::vector<Binding> bindings(kStoredBindings);
    for (Binding &b : bindings) {
        if (medium_read_bytes(m, b.mac, 6) != 0 || medium_read_bytes(m, b.ip, 4) != 0 ||
            medium_read_u16(m, &b.vid) != 0)
            return -1;
    }
    std::vector<uint8_t> bits(static_cast<size_t>((board_num_uports + 7) / 8));
    if (medium_read_bytes(m, bits.data(), bits.size()) != 0) return -1;

    darp_aging_set(aging);
    for (uint16_t vid : vids) {
        if (vid != 0) darp_vlan_set(vid, 1);
    }
    for (const Binding &b : bindings) {
        const uint8_t none[6] = {};
        if (std::memcmp(b.mac, none, 6) != 0) darp_trusted_db_add(b.mac, b.ip, b.vid, 0);
    }
    for (int u = 1; u <= board_num_uports; u++) {
        if (bits[static_cast<size_t>((u - 1) / 8)] >> ((u - 1) % 8) & 1) darp_port_trust_set(u, 0);
    }
    return darp_enable_set(1) == 0 ? 0 : -1;
}

// Off: the flag alone; on: aging, VLANs, bindings and the trust bitmap too.
int check(settings_medium *m) {
    uint16_t enabled = 0;
    if (medium_read_u16(m, &enabled) != 0) return 0;
    size_t size = 2;
    if (enabled)
        size += 2 + 2 * DARP_VLAN_MAX + 12 * kStoredBindings +
                static_cast<size_t>((board_num_uports + 7) / 8);
    return settings_check_record_size(m, kVersion, size);
}

}  // namespace

int darp_item(int op, settings_medium *m) {
    return settings_item_dispatch(op, m, load, save, kVersion, check);
}
