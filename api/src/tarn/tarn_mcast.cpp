// L2 multicast groups: an L2 entry keyed by MAC and VLAN whose destination is
// a group index, and the group's port bitmap, both kept by the chip driver's
// multicast services.
#include <array>
#include <cstddef>
#include <cstring>

#include "drv_mcast.h"
#include "drv_mem.h"
#include "sal.h"
#include "tarn_internal.h"

static_assert(sizeof(dxp_mcast_addr) == sizeof(drv_mcast_record));
static_assert(offsetof(dxp_mcast_addr, vid) == offsetof(drv_mcast_record, vid));
static_assert(offsetof(dxp_mcast_addr, pbmp) == offsetof(drv_mcast_record, pbmp));
static_assert(offsetof(dxp_mcast_addr, ubmp) == offsetof(drv_mcast_record, ubmp));
static_assert(offsetof(dxp_mcast_addr, l2mc_index) == offsetof(drv_mcast_record, l2mc_index));

namespace {

constexpr uint32_t kPropMcastNum = 1;
constexpr uint32_t kSearchFlags = DRV_MEM_OP_BY_MAC | DRV_MEM_OP_BY_VLAN;
constexpr uint32_t kDebugMcast = 0x80;

std::array<bool, SOC_MAX_NUM_DEVICES> inited{};

constexpr dxp_vlan_t kVidMax = 4095;

int entry_check(const char *op, int unit) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : %s()..\n", op);
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    const drv_l2mc_table_t *t = drv_mcast_l2mc_table(unit);
    return inited[unit] && t->used != nullptr ? DXP_E_NONE : DXP_E_INIT;
}

// The key's VLAN field holds 12 bits: a wider id would name another VLAN's
// group, so it is refused before anything is looked up or written.
int entry_check(const char *op, int unit, dxp_vlan_t vid) {
    if (int rv = entry_check(op, unit); rv < 0) return rv;
    return vid > kVidMax ? DXP_E_PARAM : DXP_E_NONE;
}

// The group of mac/vid: the key entry is built, and on a hit the stored
// entry is in found. Answers DXP_E_EXISTS, DXP_E_NOT_FOUND or an error.
struct Lookup {
    uint32_t key[DRV_ARL_ENTRY_WORDS];
    uint32_t found[DRV_ARL_ENTRY_WORDS];
};
int lookup(int unit, const dxp_mcast_addr &rec, Lookup *l) {
    std::memset(l, 0, sizeof *l);
    const drv_if_t *s = tarn::services(unit);
    if (int rv = s->mcast_to_arl_entry(unit, l->key, &rec); rv < 0) return rv;
    return s->mem_search(unit, DRV_MEM_ARL, l->key, l->found, nullptr, kSearchFlags);
}

int lookup_mac(int unit, const dxp_mac_t mac, dxp_vlan_t vid, Lookup *l) {
    dxp_mcast_addr rec;
    dxp_mcast_addr_init(&rec, mac, vid);
    return lookup(unit, rec, l);
}

int group_index_check(int unit, int index) {
    // -1 asks for a free group; other indexes must name a counter.
    const drv_l2mc_table_t *t = drv_mcast_l2mc_table(unit);
    return index < -1 || index >= t->count ? DXP_E_PARAM : DXP_E_NONE;
}

// The group of found as a record, its ports from the bitmap table.
int group_record(int unit, const uint32_t *found, dxp_mcast_addr *rec) {
    const drv_if_t *s = tarn::services(unit);
    if (int rv = s->arl_to_mcast_entry(unit, rec, found); rv < 0) return rv;
    soc_pbmp_t ports{};
    if (int rv = s->mcast_bmp_get(unit, found, &ports); rv < 0) return rv;
    rec->pbmp = tarn::to_dxp(ports);
    return DXP_E_NONE;
}

int not_found(void) {
    soc_cm_debug_print(kDebugMcast, "[dxp.mcast]MC MAC address + VID not found\n");
    return DXP_E_NOT_FOUND;
}

bool pbmp_empty(const dxp_pbmp_t &b) {
    return b.w[0] == 0 && b.w[1] == 0;
}

int delete_group_entry(int unit, uint32_t *entry, uint32_t flags) {
    if (tarn::services(unit)->mem_delete(unit, DRV_MEM_ARL, entry, flags) < 0) {
        soc_cm_debug_print(tarn::kDebugErr, "ERROR in deleting mcast entry from ARL Table\n");
        return DXP_E_INTERNAL;
    }
    return DXP_E_NONE;
}

// The ports of an existing group, and where its entry was found.
int group_ports(int unit, const dxp_mcast_addr &mcaddr, Lookup *l, soc_pbmp_t *ports) {
    int rv = lookup(unit, mcaddr, l);
    if (rv == DXP_E_NOT_FOUND) return not_found();
    if (rv != DXP_E_EXISTS) return rv;
    rv = tarn::services(unit)->mcast_bmp_get(unit, l->found, ports);
    return rv < 0 ? rv : DXP_E_NONE;
}

}  // namespace

void dxp_mcast_addr_init(dxp_mcast_addr *mcaddr, const dxp_mac_t mac, dxp_vlan_t vid) {
    *mcaddr = dxp_mcast_addr{};
    std::memcpy(mcaddr->mac, mac, sizeof mcaddr->mac);
    mcaddr->vid = vid;
}

int dxp_tarn_mcast_init(int unit) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : dxp_tarn_mcast_init()..\n");
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    drv_l2mc_table_t *t = drv_mcast_l2mc_table(unit);
    inited[unit] = false;
    if (t->used != nullptr) sal_free(t->used);
    *t = drv_l2mc_table_t{};
    const drv_if_t *s = tarn::services(unit);
    uint32_t count = 0;
    if (int rv = s->dev_prop_get(unit, kPropMcastNum, &count); rv < 0) return rv;
    auto *used = static_cast<uint32_t *>(sal_alloc(count * sizeof(uint32_t), "L2MC"));
    if (used == nullptr) return DXP_E_MEMORY;
    *t = drv_l2mc_table_t{.count = static_cast<int>(count), .used = used};
    if (int rv = s->mcast_init(unit); rv < 0) {
        // A chip whose table has no multicast services leaves the module out.
        return rv == DXP_E_UNAVAIL ? DXP_E_NONE : rv;
    }
    std::memset(used, 0, count * sizeof(uint32_t));
    inited[unit] = true;
    return DXP_E_NONE;
}

int dxp_tarn_mcast_addr_add(int unit, dxp_mcast_addr *mcaddr) {
    if (int rv = entry_check("dxp_tarn_mcast_addr_add", unit, mcaddr->vid); rv < 0) return rv;
    if (int rv = group_index_check(unit, mcaddr->l2mc_index); rv < 0) return rv;
    Lookup l;
    int rv = lookup(unit, *mcaddr, &l);
    if (rv == DXP_E_NOT_FOUND) {
        return tarn::services(unit)->mcast_bmp_set(unit, l.key, tarn::to_soc(mcaddr->pbmp),
                                                   DRV_MCAST_CREATE);
    }
    if (rv != DXP_E_EXISTS) return rv;
    uint32_t stored[2] = {0, 0};
    tarn::services(unit)->mem_field_get(unit, DRV_MEM_MARL, DRV_MEM_FIELD_DEST_BITMAP, l.found,
                                        stored);
    return static_cast<int>(stored[0]) == mcaddr->l2mc_index ? DXP_E_NONE : DXP_E_INTERNAL;
}

int dxp_tarn_mcast_addr_remove(int unit, const dxp_mac_t mac, dxp_vlan_t vid) {
    if (int rv = entry_check("dxp_tarn_mcast_addr_remove", unit, vid); rv < 0) return rv;
    Lookup l;
    int rv = lookup_mac(unit, mac, vid, &l);
    if (rv != DXP_E_EXISTS) return rv;
    rv = tarn::services(unit)->mcast_bmp_set(unit, l.found, soc_pbmp_t{}, DRV_MCAST_RELEASE);
    if (rv < 0) return rv;
    dxp_l2_addr_delete(unit, mac, vid);
    return DXP_E_NONE;
}

int dxp_tarn_mcast_port_get(int unit, const dxp_mac_t mac, dxp_vlan_t vid, dxp_mcast_addr *mcaddr) {
    if (int rv = entry_check("dxp_tarn_mcast_port_get", unit, vid); rv < 0) return rv;
    Lookup l;
    int rv = lookup_mac(unit, mac, vid, &l);
    if (rv == DXP_E_NOT_FOUND) return not_found();
    if (rv != DXP_E_EXISTS) return rv;
    return group_record(unit, l.found, mcaddr);
}

int dxp_tarn_mcast_join(int unit, const dxp_mac_t mac, dxp_vlan_t vid, int port,
                        dxp_mcast_addr *mcaddr) {
    if (int rv = entry_check("dxp_tarn_mcast_join", unit, vid); rv < 0) return rv;
    const drv_if_t *s = tarn::services(unit);
    Lookup l;
    int rv = lookup_mac(unit, mac, vid, &l);
    if (rv != DXP_E_EXISTS && rv != DXP_E_NOT_FOUND) return rv;
    const bool exists = rv == DXP_E_EXISTS;
    dxp_mcast_addr rec;
    if (exists) {
        if (int r = group_record(unit, l.found, &rec); r < 0) return r;
    } else {
        dxp_mcast_addr_init(&rec, mac, vid);
    }
    dxp_pbmp_port_add(&rec.pbmp, port);
    if (pbmp_empty(rec.pbmp)) {
        soc_cm_debug_print(0x200200, "Error in dxp_mcast_join, port bitmap is empty.\n");
        return DXP_E_PARAM;
    }
    uint32_t entry[DRV_ARL_ENTRY_WORDS];
    if (int r = s->mcast_to_arl_entry(unit, entry, &rec); r < 0) return r;
    rv = s->mcast_bmp_set(unit, entry, tarn::to_soc(rec.pbmp),
                          exists ? DRV_MCAST_UPDATE : DRV_MCAST_CREATE);
    if (rv < 0) return rv;
    if (mcaddr != nullptr) *mcaddr = rec;
    return exists ? DXP_MCAST_JOIN_ADDED : DXP_MCAST_JOIN_CREATED;
}

int dxp_tarn_mcast_leave(int unit, const dxp_mac_t mac, dxp_vlan_t vid, int port) {
    if (int rv = entry_check("dxp_tarn_mcast_leave", unit, vid); rv < 0) return rv;
    const drv_if_t *s = tarn::services(unit);
    Lookup l;
    int rv = lookup_mac(unit, mac, vid, &l);
    if (rv == DXP_E_NOT_FOUND) return DXP_MCAST_LEAVE_NOTFOUND;
    if (rv != DXP_E_EXISTS) return rv;
    dxp_mcast_addr rec;
    if (int r = group_record(unit, l.found, &rec); r < 0) return r;
    dxp_pbmp_port_remove(&rec.pbmp, port);
    uint32_t entry[DRV_ARL_ENTRY_WORDS];
    if (int r = s->mcast_to_arl_entry(unit, entry, &rec); r < 0) return r;
    if (!pbmp_empty(rec.pbmp)) {
        rv = s->mcast_bmp_set(unit, entry, tarn::to_soc(rec.pbmp), DRV_MCAST_UPDATE);
        return rv < 0 ? rv : DXP_MCAST_LEAVE_UPDATED;
    }
    if (int r = s->mcast_bmp_set(unit, entry, soc_pbmp_t{}, DRV_MCAST_RELEASE); r < 0) return r;
    rv = delete_group_entry(unit, entry, DRV_MEM_OP_DELETE_BY_STATIC | kSearchFlags);
    return rv < 0 ? rv : DXP_MCAST_LEAVE_DELETED;
}

int dxp_tarn_mcast_port_add(int unit, dxp_mcast_addr *mcaddr) {
    if (int rv = entry_check("dxp_tarn_mcast_port_add", unit, mcaddr->vid); rv < 0) return rv;
    const drv_if_t *s = tarn::services(unit);
    Lookup l;
    soc_pbmp_t ports{};
    if (int r = group_ports(unit, *mcaddr, &l, &ports); r < 0) return r;
    ports.w[0] |= mcaddr->pbmp.w[0];
    ports.w[1] |= mcaddr->pbmp.w[1];
    int rv = s->mcast_bmp_set(unit, l.found, ports, DRV_MCAST_UPDATE);
    return rv < 0 ? rv : DXP_E_NONE;
}

int dxp_tarn_mcast_port_remove(int unit, dxp_mcast_addr *mcaddr) {
    if (int rv = entry_check("dxp_tarn_mcast_port_remove", unit, mcaddr->vid); rv < 0) return rv;
    const drv_if_t *s = tarn::services(unit);
    Lookup l;
    soc_pbmp_t ports{};
    if (int r = group_ports(unit, *mcaddr, &l, &ports); r < 0) return r;
    ports.w[0] &= ~mcaddr->pbmp.w[0];
    ports.w[1] &= ~mcaddr->pbmp.w[1];
    // The group's index is freed only when no port is left in it.
    const bool last = soc_pbmp_is_null(ports);
    int rv = s->mcast_bmp_set(unit, l.found, ports, last ? DRV_MCAST_RELEASE : DRV_MCAST_UPDATE);
    if (rv < 0) return rv;
    return last ? delete_group_entry(unit, l.found, kSearchFlags) : DXP_E_NONE;
}

int dxp_tarn_mcast_addr_add_w_l2mcindex(int unit, dxp_mcast_addr *mcaddr) {
    if (int rv = entry_check("dxp_tarn_mcast_addr_add_w_l2mcindex", unit, mcaddr->vid); rv < 0)
        return rv;
    if (int rv = group_index_check(unit, mcaddr->l2mc_index); rv < 0) return rv;
    dxp_l2_addr l2{};
    int rv = dxp_l2_addr_get(unit, mcaddr->mac, mcaddr->vid, &l2);
    if (rv == DXP_E_NOT_FOUND) return dxp_mcast_addr_add(unit, mcaddr);
    if (rv < 0) return rv;
    if (!(l2.flags & DXP_L2_MCAST)) return DXP_E_EXISTS;
    if (mcaddr->l2mc_index >= 0 && mcaddr->l2mc_index == l2.l2mc_index) return DXP_E_NONE;
    drv_l2mc_table_t *t = drv_mcast_l2mc_table(unit);
    if (l2.l2mc_index < 0 || l2.l2mc_index >= t->count) return DXP_E_PARAM;
    if (t->used[l2.l2mc_index] > 0) t->used[l2.l2mc_index]--;
    return dxp_mcast_addr_add(unit, mcaddr);
}

int dxp_tarn_mcast_addr_remove_w_l2mcindex(int unit, dxp_mcast_addr *mcaddr) {
    if (int rv = entry_check("dxp_tarn_mcast_addr_remove_w_l2mcindex", unit, mcaddr->vid); rv < 0)
        return rv;
    dxp_l2_addr l2{};
    if (int rv = dxp_l2_addr_get(unit, mcaddr->mac, mcaddr->vid, &l2); rv < 0) return rv;
    if (!(l2.flags & DXP_L2_MCAST)) return DXP_E_NOT_FOUND;
    return dxp_mcast_addr_remove(unit, mcaddr->mac, mcaddr->vid);
}
