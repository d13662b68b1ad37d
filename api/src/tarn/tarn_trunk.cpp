// Trunk groups: a record per group, member checks, the member bitmap and
// hash selection in the chip, and the L2 flush when a group goes.
#include <array>

#include "drv_trunk.h"
#include "sal.h"
#include "tarn_internal.h"

namespace {

constexpr uint32_t kPropTrunkNum = 3;
constexpr uint32_t kPropTrunkMaxPorts = 4;
constexpr int kPscDefault = 3;
constexpr int kPscMax = 6;
constexpr int kPscSetMax = 3;  // the criteria psc_set takes
constexpr int kFeTrunks = 2;   // DXP7102 groups 0 and 1 are fast Ethernet
constexpr uint32_t kFlagsRead = DRV_TRUNK_FLAG_BITMAP;
constexpr uint32_t kFlagsWrite = DRV_TRUNK_FLAG_ENABLE | DRV_TRUNK_FLAG_BITMAP;
constexpr uint32_t kFlagsEmpty = DRV_TRUNK_FLAG_DISABLE | DRV_TRUNK_FLAG_BITMAP;
constexpr uint32_t kHashBoth = DRV_TRUNK_HASH_FIELD_1 | DRV_TRUNK_HASH_FIELD_2;

struct TrunkPriv {
    int tid;  // -1 while free
    bool in_use;
    int psc;
    int designated_index;
    int designated_clamped;
    int designated_port;
};

struct TrunkCtl {
    int ngroups;
    int nports;
    TrunkPriv *priv;
};
std::array<TrunkCtl, SOC_MAX_NUM_DEVICES> controls{};

// Hash fields added and removed for each criterion 1..6.
struct PscMasks {
    uint32_t add;
    uint32_t remove;
};
constexpr PscMasks kPscMasks[kPscMax + 1] = {
    {0, 0}, {0x2, 0x10d}, {0x1, 0x10e}, {0x3, 0x10c}, {0x20, 0x1d0}, {0x10, 0x1e0}, {0x30, 0x1c0},
};

void trace(const char *op) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : %s()..\n", op);
}

int ctl_check(const char *op, int unit) {
    trace(op);
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    const TrunkCtl &c = controls[unit];
    return c.ngroups < 1 || c.priv == nullptr ? DXP_E_INIT : DXP_E_NONE;
}

// The record of a created group; -13 for an id out of range, -7 when free.
int group(const char *op, int unit, int tid, TrunkPriv **out) {
    if (int rv = ctl_check(op, unit); rv < 0) return rv;
    const TrunkCtl &c = controls[unit];
    if (tid < 0 || tid >= c.ngroups) return DXP_E_BADID;
    *out = &c.priv[tid];
    return (*out)->tid == -1 ? DXP_E_NOT_FOUND : DXP_E_NONE;
}

void free_record(TrunkPriv *t) {
    *t = TrunkPriv{.tid = -1,
                   .in_use = false,
                   .psc = 0,
                   .designated_index = -1,
                   .designated_clamped = -1,
                   .designated_port = -1};
}

int members(int unit, int tid, soc_pbmp_t *bmp) {
    uint32_t hash = 0;
    return tarn::services(unit)->trunk_get(unit, tid, bmp, kFlagsRead, &hash);
}

int psc_normalise(int *psc) {
    if (*psc < 1) *psc = kPscDefault;
    return *psc > kPscMax ? DXP_E_PARAM : DXP_E_NONE;
}

// A port forwards for one group only: -8 when another group holds one of
// the wanted members.
int members_taken(int unit, int tid, soc_pbmp_t wanted) {
    const TrunkCtl &c = controls[unit];
    for (int other = 0; other < c.ngroups; other++) {
        if (other == tid || c.priv[other].tid == -1 || !c.priv[other].in_use) continue;
        soc_pbmp_t held{};
        if (int rv = members(unit, other, &held); rv < 0) return rv;
        for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
            if (soc_pbmp_member(wanted, port) && soc_pbmp_member(held, port)) {
                soc_cm_debug_print(tarn::kDebugErr, "Port %d is already in trunk group %d!\n", port,
                                   other);
                return DXP_E_EXISTS;
            }
        }
    }
    return DXP_E_NONE;
}

int program(int unit, int tid, TrunkPriv *t, dxp_trunk_add_info *info) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    for (int i = 0; i < info->num_ports; i++) {
        if (info->tm[i] == 0 && !soc_pbmp_member(soc->e.bitmap, info->tp[i])) return DXP_E_BADID;
    }
    if (int rv = psc_normalise(&info->psc); rv < 0) return rv;
    const drv_if_t *s = tarn::services(unit);
    soc_pbmp_t current{};
    if (int rv = members(unit, tid, &current); rv < 0) return rv;
    soc_pbmp_t wanted{};
    for (int i = 0; i < info->num_ports; i++)
        soc_pbmp_port_add(&wanted, info->tp[i]);
    if (soc->chip_flags & SOC_CHIP_DXP7102) {
        const bool fe = (wanted.w[0] & soc->fe.bitmap.w[0]) || (wanted.w[1] & soc->fe.bitmap.w[1]);
        const bool ge = (wanted.w[0] & soc->ge.bitmap.w[0]) || (wanted.w[1] & soc->ge.bitmap.w[1]);
        if (fe && ge) {
            soc_cm_debug_print(tarn::kDebugErr, "Trunk ports exist in FE and GE!\n");
            return DXP_E_CONFIG;
        }
        if (fe && tid >= kFeTrunks) {
            soc_cm_debug_print(tarn::kDebugErr, "Trunk Group ID %d exist FE ports!\n", tid);
            return DXP_E_PARAM;
        }
        if (ge && tid < kFeTrunks) {
            soc_cm_debug_print(tarn::kDebugErr, "Trunk Group ID %d exist GE ports!\n", tid);
            return DXP_E_PARAM;
        }
    }
    if (int rv = members_taken(unit, tid, wanted); rv < 0) return rv;
    // The hash criterion is shared by every group: it changes only once the
    // members are known to be taken.
    if (int rv = s->trunk_hash_field_add(unit, kPscMasks[info->psc].add); rv < 0) return rv;
    if (int rv = s->trunk_hash_field_remove(unit, kPscMasks[info->psc].remove); rv < 0) return rv;
    if (wanted.w[0] != current.w[0] || wanted.w[1] != current.w[1]) {
        if (int rv = s->trunk_set(unit, tid, wanted, kFlagsWrite, 0); rv < 0) return rv;
    }
    if (!soc_pbmp_is_null(wanted)) {
        const int index = info->dlf_index;
        t->designated_index = index;
        t->designated_clamped = index < 0 ? 0 : index;
        const int k = t->designated_clamped;
        t->designated_port = k < DXP_TRUNK_MAX_PORTCNT && info->tm[k] == 0 ? info->tp[k] : -1;
    }
    return DXP_E_NONE;
}

}  // namespace

int dxp_tarn_trunk_init(int unit) {
    trace("dxp_tarn_trunk_init");
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    const drv_if_t *s = tarn::services(unit);
    TrunkCtl &c = controls[unit];
    uint32_t ngroups = 0;
    uint32_t nports = 0;
    if (int rv = s->dev_prop_get(unit, kPropTrunkNum, &ngroups); rv < 0) return rv;
    int rv = s->trunk_set(unit, 0, soc_pbmp_t{}, DRV_TRUNK_FLAG_HASH, kHashBoth);
    // A chip whose table has no trunk services leaves the module out.
    if (rv == DXP_E_UNAVAIL) return DXP_E_NONE;
    if (rv < 0) return rv;
    if (rv = s->dev_prop_get(unit, kPropTrunkMaxPorts, &nports); rv < 0) return rv;
    for (uint32_t tid = 0; tid < ngroups; tid++) {
        rv = s->trunk_set(unit, static_cast<int>(tid), soc_pbmp_t{}, kFlagsEmpty, 0);
        if (rv < 0) return rv;
    }
    if (c.priv != nullptr) sal_free(c.priv);
    c = TrunkCtl{
        .ngroups = static_cast<int>(ngroups), .nports = static_cast<int>(nports), .priv = nullptr};
    if (ngroups < 1) return DXP_E_NONE;
    c.priv = static_cast<TrunkPriv *>(sal_alloc(ngroups * sizeof(TrunkPriv), "trunk_priv"));
    if (c.priv == nullptr) return DXP_E_MEMORY;
    for (uint32_t tid = 0; tid < ngroups; tid++)
        free_record(&c.priv[tid]);
    return DXP_E_NONE;
}

int dxp_tarn_trunk_detach(int unit) {
    trace("dxp_tarn_trunk_detach");
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    TrunkCtl &c = controls[unit];
    if (c.priv != nullptr) sal_free(c.priv);
    c = TrunkCtl{};
    return DXP_E_NONE;
}

int dxp_tarn_trunk_create_with_tid(int unit, int tid) {
    TrunkPriv *t = nullptr;
    int rv = group("dxp_tarn_trunk_create_with_tid", unit, tid, &t);
    if (rv == DXP_E_NONE) return DXP_E_EXISTS;
    if (rv != DXP_E_NOT_FOUND) return rv;
    free_record(t);
    t->tid = tid;
    t->psc = kPscDefault;
    return DXP_E_NONE;
}

int dxp_tarn_trunk_create(int unit, int *tid) {
    if (int rv = ctl_check("dxp_tarn_trunk_create", unit); rv < 0) return rv;
    const TrunkCtl &c = controls[unit];
    for (int i = 0; i < c.ngroups; i++) {
        if (c.priv[i].tid != -1) continue;
        *tid = i;
        return dxp_tarn_trunk_create_with_tid(unit, i);
    }
    return DXP_E_BADID;
}

int dxp_tarn_trunk_psc_set(int unit, int tid, int psc) {
    TrunkPriv *t = nullptr;
    const int found = group("dxp_tarn_trunk_psc_set", unit, tid, &t);
    if (found < 0 && found != DXP_E_NOT_FOUND) return found;
    if (psc < 1) return DXP_E_BADID;
    if (psc > kPscSetMax) return DXP_E_UNAVAIL;
    if (found < 0) return found;
    if (t->psc == psc) return DXP_E_NONE;
    if (!t->in_use) {
        t->psc = psc;
        return DXP_E_NONE;
    }
    dxp_trunk_add_info info{};
    if (int rv = dxp_trunk_get(unit, tid, &info); rv < 0) return rv;
    info.psc = psc;
    return dxp_trunk_set(unit, tid, &info);
}

int dxp_tarn_trunk_psc_get(int unit, int tid, int *psc) {
    TrunkPriv *t = nullptr;
    int rv = group("dxp_tarn_trunk_psc_get", unit, tid, &t);
    if (rv == DXP_E_NOT_FOUND) *psc = 0;
    if (rv < 0) return rv;
    *psc = t->psc;
    return DXP_E_NONE;
}

int dxp_tarn_trunk_chip_info_get(int unit, dxp_trunk_chip_info *info) {
    if (int rv = ctl_check("dxp_tarn_trunk_chip_info_get", unit); rv < 0) return rv;
    const TrunkCtl &c = controls[unit];
    *info = dxp_trunk_chip_info{.trunk_group_count = c.ngroups,
                                .trunk_id_min = 0,
                                .trunk_id_max = c.ngroups - 1,
                                .trunk_ports_max = c.nports};
    return DXP_E_NONE;
}

int dxp_tarn_trunk_set(int unit, int tid, dxp_trunk_add_info *info) {
    TrunkPriv *t = nullptr;
    if (int rv = group("dxp_tarn_trunk_set", unit, tid, &t); rv < 0) return rv;
    if (info->num_ports < 1 || info->num_ports > controls[unit].nports ||
        info->num_ports > DXP_TRUNK_MAX_PORTCNT)
        return DXP_E_PARAM;
    if (int rv = program(unit, tid, t, info); rv < 0) return rv;
    t->in_use = true;
    t->psc = info->psc;
    return DXP_E_NONE;
}

int dxp_tarn_trunk_get(int unit, int tid, dxp_trunk_add_info *info) {
    TrunkPriv *t = nullptr;
    if (int rv = group("dxp_tarn_trunk_get", unit, tid, &t); rv < 0) return rv;
    info->num_ports = 0;
    if (t->in_use) {
        soc_pbmp_t bmp{};
        if (int rv = members(unit, tid, &bmp); rv < 0) return rv;
        for (int port = 0; port < 64 && info->num_ports < DXP_TRUNK_MAX_PORTCNT; port++) {
            if (!soc_pbmp_member(bmp, port)) continue;
            info->tp[info->num_ports] = port;
            info->tm[info->num_ports] = unit;
            info->num_ports++;
        }
    }
    info->psc = t->psc;
    info->dlf_index = t->designated_index;
    return DXP_E_NONE;
}

int dxp_tarn_trunk_destroy(int unit, int tid) {
    TrunkPriv *t = nullptr;
    if (int rv = group("dxp_tarn_trunk_destroy", unit, tid, &t); rv < 0) return rv;
    if (t->in_use) {
        soc_pbmp_t bmp{};
        if (int rv = members(unit, tid, &bmp); rv < 0) return rv;
        dxp_l2_addr_delete_by_trunk(unit, tid, 0);
        uint32_t hash = 0;
        tarn::services(unit)->trunk_get(unit, tid, &bmp, DRV_TRUNK_FLAG_HASH, &hash);
        int rv = tarn::services(unit)->trunk_set(unit, tid, soc_pbmp_t{}, kFlagsEmpty, hash);
        if (rv < 0) return rv;
    }
    free_record(t);
    // The criterion is shared: with no group left it is the one of a start.
    const TrunkCtl &c = controls[unit];
    for (int other = 0; other < c.ngroups; other++) {
        if (c.priv[other].in_use) return DXP_E_NONE;
    }
    int rv = tarn::services(unit)->trunk_hash_field_add(unit, kHashBoth);
    return rv < 0 ? rv : DXP_E_NONE;
}

int dxp_tarn_trunk_bitmap_expand(int unit, dxp_pbmp_t *pbmp) {
    if (int rv = ctl_check("dxp_tarn_trunk_bitmap_expand", unit); rv < 0) return rv;
    dxp_trunk_chip_info info{};
    if (int rv = dxp_trunk_chip_info_get(unit, &info); rv < 0) return rv;
    int rv = DXP_E_NONE;
    for (int tid = info.trunk_id_min; tid <= info.trunk_id_max; tid++) {
        soc_pbmp_t bmp{};
        rv = members(unit, tid, &bmp);
        if (rv < 0) continue;
        if ((bmp.w[0] & pbmp->w[0]) || (bmp.w[1] & pbmp->w[1])) {
            pbmp->w[0] |= bmp.w[0];
            pbmp->w[1] |= bmp.w[1];
        }
    }
    return rv;
}

int dxp_tarn_trunk_mcast_join(int unit, int tid, dxp_vlan_t vid, const dxp_mac_t mac) {
    TrunkPriv *t = nullptr;
    if (int rv = group("dxp_tarn_trunk_mcast_join", unit, tid, &t); rv < 0) return rv;
    if (!t->in_use) return DXP_E_NONE;
    soc_pbmp_t trunk{};
    if (int rv = members(unit, tid, &trunk); rv < 0) return rv;
    dxp_mcast_addr group_rec{};
    if (int rv = dxp_mcast_port_get(unit, mac, vid, &group_rec); rv < 0) return rv;
    soc_cm_debug_print(tarn::kDebugApi, "trunk_mcast_join: \n\t trunk_pbm=0x%x\n", trunk.w[0]);
    soc_cm_debug_print(tarn::kDebugApi, "\t mcast_pbm=0x%x\n", group_rec.pbmp.w[0]);
    if ((trunk.w[0] & ~group_rec.pbmp.w[0]) == 0 && (trunk.w[1] & ~group_rec.pbmp.w[1]) == 0)
        return DXP_E_CONFIG;
    if (int rv = dxp_mcast_addr_remove(unit, mac, vid); rv < 0) return rv;
    group_rec.pbmp.w[0] &= ~trunk.w[0];
    group_rec.pbmp.w[1] &= ~trunk.w[1];
    if (t->designated_port >= 0) dxp_pbmp_port_add(&group_rec.pbmp, t->designated_port);
    soc_cm_debug_print(tarn::kDebugApi, "\t last mc_addr.pbmp=0x%x\n", group_rec.pbmp.w[0]);
    return dxp_mcast_addr_add(unit, &group_rec);
}
