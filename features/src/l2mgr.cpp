// MAC-table manager: static slots kept without gaps, and the snapshot of the
// L2 shadow.
#include "l2mgr.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <tuple>

#include "drv_arl.h"
#include "drv_if.h"
#include "drv_mem.h"
#include "net_util.h"
#include "nvram.h"
#include "sal.h"
#include "sal_lock.h"
#include "soc_control.h"

namespace {

// The slots and the snapshot are guarded by l2mgr_lock(): the web pages, the
// settings load and the monitor reach them from their own threads.
l2mgr_static_entry slots[L2MGR_STATIC_MAX];
uint8_t count = 0;

l2mgr_static_entry *snapshot = nullptr;
int snapshot_total = 0;
int snapshot_static = 0;

bool same(const l2mgr_static_entry &e, const dxpx_l2_addr_t *a) {
    return e.valid && e.addr.vid == a->vid && std::memcmp(e.addr.mac, a->mac, sizeof a->mac) == 0;
}

int find(const dxpx_l2_addr_t *a) {
    for (int i = 0; i < count; i++) {
        if (same(slots[i], a)) return i;
    }
    return -1;
}

// Appends the shadow entry at `index` when it is a valid unicast address of
// one of the unit's ports.
// A shadow row the L2 thread has not caught up with may repeat an address
// another row holds; the dump lists each address once.
using SeenAddresses = std::set<std::tuple<int, uint64_t, dxp_vlan_t>>;

void snapshot_add(int unit, uint32_t *entry, SeenAddresses &seen) {
    const drv_if_t *drv = DRV_SERVICES(unit);
    uint32_t valid = 0, mac[2] = {0, 0}, vid = 0;
    if (drv->mem_field_get(unit, DRV_MEM_ARL, DRV_MEM_FIELD_VALID, entry, &valid) < 0 || valid == 0)
        return;
    if (drv->mem_field_get(unit, DRV_MEM_ARL, DRV_MEM_FIELD_MAC, entry, mac) < 0 ||
        drv->mem_field_get(unit, DRV_MEM_ARL, DRV_MEM_FIELD_VLANID, entry, &vid) < 0)
        return;
    dxp_mac_t addr = {static_cast<uint8_t>(mac[1] >> 8),  static_cast<uint8_t>(mac[1]),
                      static_cast<uint8_t>(mac[0] >> 24), static_cast<uint8_t>(mac[0] >> 16),
                      static_cast<uint8_t>(mac[0] >> 8),  static_cast<uint8_t>(mac[0])};
    dxp_l2_addr rec{};
    if (dxp_l2_addr_get(unit, addr, static_cast<dxp_vlan_t>(vid), &rec) != 0) return;
    // The CPU's own addresses are listed too (as "HOST" on the page).
    const soc_control_t *soc = SOC_CONTROL(unit);
    const bool known_port =
        soc_pbmp_member(soc->all.bitmap, rec.port) || soc_pbmp_member(soc->cmic_bitmap, rec.port);
    if ((rec.flags & DXP_L2_MCAST) || !known_port) return;
    if (snapshot_total >= L2MGR_SNAPSHOT_MAX) return;  // the rest does not fit
    uint64_t mac_key = 0;
    for (uint8_t byte : rec.mac)
        mac_key = mac_key << 8 | byte;
    if (!seen.emplace(unit, mac_key, rec.vid).second) return;
    l2mgr_static_entry &e = snapshot[snapshot_total++];
    e = {};
    e.addr.flags = rec.flags;
    std::memcpy(e.addr.mac, rec.mac, sizeof rec.mac);
    e.addr.vid = rec.vid;
    e.addr.lport = dxpx_unit_port_to_lport(unit, rec.port);
    e.addr.tgid = rec.tgid;
    e.addr.cos_dst = rec.cos_dst;
    e.valid = 1;
    if (rec.flags == DXP_L2_STATIC) snapshot_static++;
}

}  // namespace

sal_mutex_t l2mgr_lock(void) {
    static sal_mutex_t lock = sal_mutex_create("L2MGR");
    return lock;
}

void l2mgr_init(void) {
    SalLock hold(l2mgr_lock());
    std::memset(slots, 0, sizeof slots);
    count = 0;
    l2mgr_bpdu_init();
}

void l2mgr_bpdu_init(void) {
    if (dxpx_l2_bpdu_count() < 3) return;
    const dxp_mac_t gmrp = {0x01, 0x80, 0xC2, 0x00, 0x00, 0x02};
    const dxp_mac_t gvrp = {0x01, 0x80, 0xC2, 0x00, 0x00, 0x03};
    dxpx_l2_bpdu_set(1, gmrp);
    dxpx_l2_bpdu_set(2, gvrp);
}

int l2mgr_static_count_get(void) {
    SalLock hold(l2mgr_lock());
    return count;
}

int l2mgr_static_add(const dxpx_l2_addr_t *addr) {
    SalLock hold(l2mgr_lock());
    if (count >= L2MGR_STATIC_MAX || (addr->mac[0] & 1) || l2mgr_own_mac(addr->mac)) return 0;
    if (dxpx_l2_addr_add(addr, 0) != 0) return 0;
    slots[count] = {.addr = *addr, .valid = 1};
    count++;
    return 1;
}

int l2mgr_static_delete(const dxpx_l2_addr_t *addr) {
    SalLock hold(l2mgr_lock());
    int at = find(addr);
    if (at < 0) return 1;
    // An entry the chip lost already (a clear from the monitor) leaves the
    // list too.
    if (int rv = dxpx_l2_addr_delete(addr->mac, addr->vid); rv != 0 && rv != DXP_E_NOT_FOUND)
        return 0;
    for (int i = at; i + 1 < count; i++)
        slots[i] = slots[i + 1];
    count--;
    slots[count] = {};
    return 1;
}

int l2mgr_static_put(const dxpx_l2_addr_t *addr) {
    SalLock hold(l2mgr_lock());
    const int at = find(addr);
    if (at < 0) return l2mgr_static_add(addr);
    if ((addr->mac[0] & 1) || l2mgr_own_mac(addr->mac)) return 0;
    if (dxpx_l2_addr_add(addr, 0) != 0) return 0;
    slots[at].addr = *addr;
    return 1;
}

bool l2mgr_static_key_in(const dxpx_l2_addr_t *addr, const dxpx_l2_addr_t *list, int n) {
    for (int i = 0; i < n; i++)
        if (same(l2mgr_static_entry{.addr = list[i], .valid = 1}, addr)) return true;
    return false;
}

void l2mgr_static_order(const dxpx_l2_addr_t *list, int n) {
    SalLock hold(l2mgr_lock());
    const auto rank = [&](const l2mgr_static_entry &e) {
        for (int i = 0; i < n; i++)
            if (same(e, &list[i])) return i;
        return n;
    };
    std::stable_sort(slots, slots + count,
                     [&](const l2mgr_static_entry &x, const l2mgr_static_entry &y) {
                         return rank(x) < rank(y);
                     });
}

int l2mgr_static_exist(const dxpx_l2_addr_t *addr) {
    SalLock hold(l2mgr_lock());
    return find(addr) >= 0 ? 1 : 0;
}

int l2mgr_static_get_by_index(int index, dxpx_l2_addr_t *addr) {
    SalLock hold(l2mgr_lock());
    if (index < 0 || index >= count) return 0;
    *addr = slots[index].addr;
    return 1;
}

int l2mgr_own_mac(const uint8_t mac[6]) {
    uint8_t own[6];
    const char *text = nvram_get("et1macaddr");
    return text != nullptr && net_util_mac_parse(text, own) == 0 &&
                   std::memcmp(own, mac, sizeof own) == 0
               ? 1
               : 0;
}

int l2mgr_snapshot_refresh(void) {
    SalLock hold(l2mgr_lock());
    if (snapshot == nullptr) {
        snapshot = static_cast<l2mgr_static_entry *>(
            sal_alloc(sizeof(l2mgr_static_entry) * L2MGR_SNAPSHOT_MAX, "l2mgr snapshot"));
        if (snapshot == nullptr) return SOC_E_MEMORY;
    }
    // Cleared once: the entries of every attached unit go in, not only the
    // last unit's (the program attaches the management MAC as a second unit).
    l2mgr_snapshot_clear();
    SeenAddresses seen;
    for (int unit = 0; unit < soc_cm_get_num_units(); unit++) {
        if (!soc_unit_attached(unit)) continue;
        soc_control_t *soc = SOC_CONTROL(unit);
        if (soc->arl_table == nullptr) continue;
        const uint32_t entries = soc_arl_shadow_length(unit);
        auto *table = static_cast<uint32_t *>(soc->arl_table);
        for (uint32_t i = 0; i < entries; i++) {
            uint32_t entry[DRV_ARL_ENTRY_WORDS];
            {
                sal_mutex_take(soc->arl_table_lock, sal_mutex_FOREVER);
                std::memcpy(entry, table + i * DRV_ARL_ENTRY_WORDS, sizeof entry);
                sal_mutex_give(soc->arl_table_lock);
            }
            bool zero = true;
            for (uint32_t w : entry)
                zero = zero && w == 0;
            if (!zero) snapshot_add(unit, entry, seen);
        }
    }
    return SOC_E_NONE;
}

int l2mgr_snapshot_count_get(int kind) {
    SalLock hold(l2mgr_lock());
    switch (kind) {
        case 0:
            return snapshot_total;
        case 1:
            return snapshot_static;
        case 2:
            return snapshot_total - snapshot_static;
        default:
            return SOC_E_PARAM;
    }
}

int l2mgr_snapshot_get_by_index(int index, dxpx_l2_addr_t *addr) {
    SalLock hold(l2mgr_lock());
    if (snapshot == nullptr || index < 0 || index >= snapshot_total) return 0;
    *addr = snapshot[index].addr;
    return 1;
}

void l2mgr_snapshot_clear(void) {
    SalLock hold(l2mgr_lock());
    if (snapshot != nullptr)
        std::memset(snapshot, 0, sizeof(l2mgr_static_entry) * L2MGR_SNAPSHOT_MAX);
    snapshot_total = 0;
    snapshot_static = 0;
}
