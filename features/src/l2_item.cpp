// The "l2" settings item: the static addresses as 8 packed entries of 11
// bytes followed by their count.
#include <cstdio>
#include <cstring>
#include <string>

#include "serialize.h"
#include "settings.h"
#include "board.h"
#include "l2mgr.h"
#include "sal_lock.h"
#include "logger.h"
#include "port_reserve.h"

namespace {

constexpr uint32_t kVersion = 0x88740001;
constexpr size_t kEntry = 11;
constexpr size_t kRecord = L2MGR_STATIC_MAX * kEntry + 1;
constexpr uint32_t kCpuFlags = 0x4000;  // the CPU port's own addresses

std::string own_mac_text(int index, const uint8_t mac[6]) {
    char text[96];
    std::snprintf(text, sizeof text,
                  "L2 static addresses: entry %d: %02X-%02X-%02X-%02X-%02X-%02X is the switch's "
                  "own MAC address",
                  index + 1, mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

int save(settings_medium *m) {
    // One snapshot or one change against the pages and the monitor.
    SalLock hold(l2mgr_lock());
    uint8_t rec[kRecord] = {};
    const int n = l2mgr_static_count_get();
    for (int i = 0; i < n; i++) {
        dxpx_l2_addr_t a{};
        l2mgr_static_get_by_index(i, &a);
        uint8_t *p = rec + static_cast<size_t>(i) * kEntry;
        std::memcpy(p, a.mac, 6);
        p[6] = static_cast<uint8_t>(static_cast<int8_t>(a.lport));
        p[7] = static_cast<uint8_t>(a.tgid);
        p[8] = static_cast<uint8_t>((a.vid >> 8 & 0x0f) << 4 | (a.rtag & 0x0f));
        p[9] = static_cast<uint8_t>(a.vid);
    }
    rec[kRecord - 1] = static_cast<uint8_t>(n);
    return medium_write_bytes(m, rec, sizeof rec) == 0 ? static_cast<int>(sizeof rec) : -1;
}

// The stored entry i of the record.
dxpx_l2_addr_t stored_entry(const uint8_t *rec, int i) {
    const uint8_t *p = rec + static_cast<size_t>(i) * kEntry;
    dxpx_l2_addr_t a{};
    dxpx_l2_addr_init(&a, p, static_cast<dxp_vlan_t>((p[8] >> 4) << 8 | p[9]));
    a.flags = DXP_L2_STATIC;
    a.lport = static_cast<int8_t>(p[6]);
    a.tgid = p[7];
    a.rtag = p[8] & 0x0f;
    if (a.lport == DXPX_LPORT_CPU) {
        a.flags |= kCpuFlags;
        a.cos_dst = 7;
    }
    return a;
}

int load(settings_medium *m) {
    SalLock hold(l2mgr_lock());
    uint8_t rec[kRecord];
    if (medium_read_bytes(m, rec, sizeof rec) != 0) return -1;
    int n = rec[kRecord - 1];
    if (n > L2MGR_STATIC_MAX) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_L2, "L2 settings: %d static addresses stored", n);
        n = L2MGR_STATIC_MAX;
    }
    dxpx_l2_addr_t stored[L2MGR_STATIC_MAX];
    for (int i = 0; i < n; i++)
        stored[i] = stored_entry(rec, i);
    // What the store does not hold leaves; a stored address stays in the
    // chip while it is written again.
    for (int i = l2mgr_static_count_get() - 1; i >= 0; i--) {
        dxpx_l2_addr_t a{};
        if (l2mgr_static_get_by_index(i, &a) == 1 && !l2mgr_static_key_in(&a, stored, n))
            l2mgr_static_delete(&a);
    }
    for (int i = 0; i < n; i++) {
        const dxpx_l2_addr_t &a = stored[i];
        if (l2mgr_own_mac(a.mac)) {
            settings_load_skipped(LOG_MOD_L2, "%s; not added", own_mac_text(i, a.mac).c_str());
            continue;
        }
        // The test that holds the port puts its static addresses back.
        if (int uport = 0;
            a.lport >= 0 && port_reserved_lport(a.lport) && ulpm_to_uport(a.lport, &uport) == 0) {
            settings_load_skipped(LOG_MOD_L2, "L2 static addresses: entry %d: port %d: %s", i + 1,
                                  uport, port_reserve_held_text_lport(a.lport));
            continue;
        }
        // The chip holds every stored address after a load, whatever the
        // list held: the monitor's L2 commands pass the list by.
        if (l2mgr_static_put(&a) != 1)
            logger_printf(LOG_LEVEL_ERROR, LOG_MOD_L2,
                          "L2 settings: static address %d cannot be added", i + 1);
    }
    l2mgr_static_order(stored, n);
    return static_cast<int>(sizeof rec);
}

// A stored entry of the switch's own address would cut management: a restored
// backup holding one is refused whole, naming it.
bool own_mac_free(settings_medium *m) {
    uint8_t rec[kRecord];
    if (medium_read_bytes(m, rec, sizeof rec) != 0) return false;
    const int n = rec[kRecord - 1] < L2MGR_STATIC_MAX ? rec[kRecord - 1] : L2MGR_STATIC_MAX;
    for (int i = 0; i < n; i++) {
        const uint8_t *mac = rec + static_cast<size_t>(i) * kEntry;
        if (!l2mgr_own_mac(mac)) continue;
        settings_check_refuse("%s", own_mac_text(i, mac).c_str());
        return false;
    }
    return true;
}

int check(settings_medium *m) {
    return settings_check_record_size(m, kVersion, kRecord) && own_mac_free(m) ? 1 : 0;
}

}  // namespace

int l2mgr_item(int op, settings_medium *m) {
    return settings_item_dispatch(op, m, load, save, kVersion, check);
}
