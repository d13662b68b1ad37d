// Field processor: qualifier sets and their CFP slice, groups (creation with
// id and slice choice, sharing, destruction, qset change, per-port enabling)
// and the user-defined fields a qset may name.
#include <cstring>

#include "sal_lock.h"
#include "tarn_field_internal.h"

namespace tarn::field {
namespace {

constexpr int kIgnored = -1;
constexpr int kRejected = -2;
constexpr int kApiQualifiers = dxpFieldQualifyCount;
// Chips whose key layouts carry the user-defined fields.
constexpr uint32_t kUdfChips = 0xA4000000;

// API qualifier -> CFP qualifier id, or kIgnored / kRejected.
constexpr auto kCfpQualifier = [] {
    struct Map {
        int q[kApiQualifiers];
    } m{};
    for (int &q : m.q)
        q = kRejected;
    for (int i = 0; i <= 9; i++)
        m.q[dxpFieldQualifyUserDefined0 + i] = 31 + i;
    const int pairs[][2] = {
        {dxpFieldQualifySrcIp6, 48},
        {dxpFieldQualifySrcMac, 7},
        {dxpFieldQualifyDstMac, 6},
        {dxpFieldQualifySrcIp, 14},
        {dxpFieldQualifyDstIp, 13},
        {dxpFieldQualifyInPort, 0},
        {dxpFieldQualifySrcPort, 0},
        {dxpFieldQualifyInPorts, 41},
        {dxpFieldQualifyIp6FlowLabel, 47},
        {dxpFieldQualifyOuterVlan, 8},
        {dxpFieldQualifyInnerVlan, 11},
        {dxpFieldQualifyRangeCheck, 22},
        {dxpFieldQualifyL4SrcPort, 20},
        {dxpFieldQualifyL4DstPort, 19},
        {dxpFieldQualifyEtherType, 12},
        {dxpFieldQualifyIpProtocol, 27},
        {dxpFieldQualifyDSCP, 29},
        {dxpFieldQualifyTtl, 30},
        {dxpFieldQualifyIp6NextHeader, 50},
        {dxpFieldQualifyIp6TrafficClass, 49},
        {dxpFieldQualifyIp6HopLimit, 51},
        {dxpFieldQualifyTcpControl, 26},
        {dxpFieldQualifySrcIpEqualDstIp, 16},
        {dxpFieldQualifyEqualL4Port, 21},
        {dxpFieldQualifyTcpSequenceZero, 24},
        {dxpFieldQualifyTcpHeaderSize, 25},
        {dxpFieldQualifyStageIngress, kIgnored},
        {dxpFieldQualifyStageLookup, kIgnored},
        {dxpFieldQualifyStageEgress, kIgnored},
    };
    for (const auto &p : pairs)
        m.q[p[0]] = p[1];
    return m;
}();

bool qual_bit(const dxp_field_qset_t &q, int n) {
    return (q.w[n / 32] >> (n % 32)) & 1u;
}

bool bitmap_empty(const dxp_field_qset_t &q) {
    for (int n = 0; n < kApiQualifiers; n++)
        if (qual_bit(q, n)) return false;
    return true;
}

int *udf_slots(dxp_field_qset_t &q) {
    return reinterpret_cast<int *>(&q.w[kQualWords]);
}
const int *udf_slots(const dxp_field_qset_t &q) {
    return reinterpret_cast<const int *>(&q.w[kQualWords]);
}

// The CFP slice id whose key layout carries every qualifier of the qset.
int qset_cfp_slice(int unit, const dxp_field_qset_t &qset, uint8_t *cfp_slice) {
    const drv_if_t *drv = services(unit);
    drv_cfp_entry_t cfp{};
    for (int n = 0; n < kQualWords * 32; n++) {
        if (!qual_bit(qset, n)) continue;
        const int q = n < kApiQualifiers ? kCfpQualifier.q[n] : kRejected;
        if (q == kRejected) return DXP_E_UNAVAIL;
        if (q == kIgnored) continue;
        if (int rv = drv->cfp_qset_bit_set(unit, static_cast<uint32_t>(q), &cfp, 1); rv < 0)
            return rv;
    }
    int slice = 0;
    if (int rv = drv->cfp_qset_to_slice(unit, &cfp, &slice); rv < 0) return rv;
    *cfp_slice = static_cast<uint8_t>(slice);
    return DXP_E_NONE;
}

// The API qualifiers a CFP slice id can carry.
int cfp_slice_api_qset(int unit, int cfp_slice, dxp_field_qset_t *out) {
    drv_cfp_entry_t cfp{};
    if (int rv = services(unit)->cfp_slice_to_qset(unit, cfp_slice, &cfp); rv < 0) return rv;
    *out = dxp_field_qset_t{};
    const bool udfs = SOC_CONTROL(unit)->chip_flags & kUdfChips;
    for (int n = 0; n < kApiQualifiers; n++) {
        const int q = kCfpQualifier.q[n];
        if (q < 0 || n == dxpFieldQualifyInPort || !((cfp.w[q / 32] >> (q % 32)) & 1u)) continue;
        if (n <= dxpFieldQualifyUserDefined9 && !udfs) continue;
        if (n <= dxpFieldQualifyUserDefined1) continue;
        dxp_field_qset_add(out, n);
    }
    return DXP_E_NONE;
}

// Widens a group's qset to the union with another: bitmaps OR-ed, UDF ids
// merged. Newly named UDFs are counted as in use by the group; -14 when the
// union names more UDFs than a qset holds or one that is not valid.
int qset_widen(Control *fc, dxp_field_qset_t *into, const dxp_field_qset_t &add) {
    dxp_field_qset_t merged = *into;
    int *slots = udf_slots(merged);
    int used = 0;
    while (used < kQsetUdfSlots && slots[used] != 0)
        used++;
    int added[kQsetUdfSlots];
    int n_added = 0;
    for (int i = 0; i < kQsetUdfSlots; i++) {
        const int id = udf_slots(add)[i];
        if (id == 0) break;
        bool known = false;
        for (int j = 0; j < used; j++)
            known = known || slots[j] == id;
        if (known) continue;
        if (used == kQsetUdfSlots || id < 1 || id > fc->udf_count || !fc->udf[id - 1].valid)
            return DXP_E_RESOURCE;
        slots[used++] = id;
        added[n_added++] = id;
    }
    for (int w = 0; w < kQualWords; w++)
        merged.w[w] |= add.w[w];
    for (int i = 0; i < n_added; i++)
        fc->udf[added[i] - 1].use_count++;
    *into = merged;
    return DXP_E_NONE;
}

int group_id_choose(Control *fc, int unit, const dxp_field_qset_t &qset, int pri, int *group,
                    bool *shared) {
    *shared = false;
    if (pri == -1) {
        uint8_t cfp_slice = 0;
        if (int rv = qset_cfp_slice(unit, qset, &cfp_slice); rv < 0) return rv;
        for (Group *g = fc->groups; g != nullptr; g = g->next) {
            if (g->slice->cfp_slice != cfp_slice) continue;
            sal_mutex_take(fc->lock, sal_mutex_FOREVER);
            int rv = qset_widen(fc, &g->qset, qset);
            if (rv == DXP_E_NONE) {
                for (int w = 0; w < kQualWords; w++)
                    g->slice->qset.w[w] |= qset.w[w];
                std::memcpy(udf_slots(g->slice->qset), udf_slots(g->qset),
                            sizeof(int) * kQsetUdfSlots);
            }
            sal_mutex_give(fc->lock);
            if (rv < 0) return rv;
            *group = g->id;
            *shared = true;
            return DXP_E_NONE;
        }
    }
    for (int id = 1;; id++) {
        if (group_find(fc, id) == nullptr) {
            *group = id;
            return DXP_E_NONE;
        }
    }
}

int create_chosen(const char *op, int unit, const dxp_field_qset_t &qset, int pri, int mode,
                  int *group) {
    Control *fc = nullptr;
    if (int rv = checks(op, unit, &fc); rv < 0) return rv;
    if (group == nullptr) return DXP_E_PARAM;
    bool shared = false;
    if (int rv = group_id_choose(fc, unit, qset, pri, group, &shared); rv < 0 || shared) return rv;
    return dxp_field_group_create_mode_id(unit, qset, pri, mode, *group);
}

// A CFP slice id stays switched on while another group still uses it.
bool cfp_slice_shared(const Control *fc, const Group *self) {
    for (const Group *g = fc->groups; g != nullptr; g = g->next)
        if (g != self && g->slice->cfp_slice == self->slice->cfp_slice) return true;
    return false;
}

int slice_map_update(int unit, int cfp_slice, bool on) {
    const drv_if_t *drv = services(unit);
    uint32_t map = 0;
    if (int rv = drv->cfp_control_get(unit, DRV_CFP_SLICE_SELECT, 0, &map); rv < 0) return rv;
    map = on ? map | 1u << cfp_slice : map & ~(1u << cfp_slice);
    for (int port = 0; port < 64; port++) {
        if (!SOC_PORT_VALID(unit, port)) continue;
        if (int rv = drv->cfp_control_set(unit, DRV_CFP_SLICE_SELECT, port, map); rv < 0) return rv;
    }
    return DXP_E_NONE;
}

// The UDF id as a record index, or -4.
int udf_index(const Control *fc, int udf_id) {
    return udf_id >= 1 && udf_id <= fc->udf_count ? udf_id - 1 : DXP_E_PARAM;
}

}  // namespace
}  // namespace tarn::field

using namespace tarn;
using namespace tarn::field;

int dxp_tarn_field_group_create_mode_id(int unit, dxp_field_qset_t qset, int pri, int mode,
                                        int group) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    SAL_ASSERT(0 < fc->tcam_size);
    Slice *fs = nullptr;
    if (pri == -1) {
        for (int i = 0; i < fc->status.group_total && fs == nullptr; i++)
            if (fc->slices[i].owner == nullptr) fs = &fc->slices[i];
        if (fs == nullptr) return DXP_E_RESOURCE;
    } else {
        if (pri < 0 || pri >= kSlices) return DXP_E_PARAM;
        fs = &fc->slices[pri];
        // Taking over another group's slice would orphan that group.
        if (fs->owner != nullptr) return DXP_E_EXISTS;
    }
    if (group_find(fc, group) != nullptr) return DXP_E_EXISTS;
    if (mode != 0 && mode != 3) return DXP_E_PARAM;
    uint8_t cfp_slice = kNoCfpSlice;
    if (int rv = qset_cfp_slice(unit, qset, &cfp_slice); rv < 0) return rv;

    sal_mutex_take(fc->lock, sal_mutex_FOREVER);
    const int *ids = udf_slots(qset);
    int counted = 0;
    for (; counted < kQsetUdfSlots && ids[counted] != 0; counted++) {
        const int idx = udf_index(fc, ids[counted]);
        if (idx < 0 || !fc->udf[idx].valid) break;
        fc->udf[idx].use_count++;
    }
    if (counted < kQsetUdfSlots && ids[counted] != 0) {
        for (int i = 0; i < counted; i++)
            fc->udf[ids[i] - 1].use_count--;
        sal_mutex_give(fc->lock);
        return DXP_E_RESOURCE;
    }
    auto *g = static_cast<Group *>(sal_alloc(sizeof(Group), "field_group"));
    if (g == nullptr) {
        for (int i = 0; i < counted; i++)
            fc->udf[ids[i] - 1].use_count--;
        sal_mutex_give(fc->lock);
        return DXP_E_MEMORY;
    }
    *g = Group{.unit = unit,
               .id = group,
               .qset = qset,
               .mode = mode,
               .slice = fs,
               .status = {.prio_min = -1,
                          .prio_max = 0,
                          .entries_total = fc->tcam_size,
                          .entries_free = fc->tcam_size,
                          .counters_total = 0,
                          .counters_free = 0,
                          .meters_total = 0,
                          .meters_free = 0},
               .next = fc->groups};
    fs->enabled = false;
    fs->qset = qset;
    fs->cfp_slice = cfp_slice;
    fs->owner = g;
    fc->groups = g;
    fc->status.group_free--;
    SAL_ASSERT(fc->status.group_free >= 0);
    sal_mutex_give(fc->lock);
    return dxp_field_group_enable_set(unit, group, 1);
}

int dxp_tarn_field_group_create(int unit, dxp_field_qset_t qset, int pri, int *group) {
    return create_chosen(__func__, unit, qset, pri, 0, group);
}

int dxp_tarn_field_group_create_id(int unit, dxp_field_qset_t qset, int pri, int group) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    return dxp_field_group_create_mode_id(unit, qset, pri, 0, group);
}

int dxp_tarn_field_group_create_mode(int unit, dxp_field_qset_t qset, int pri, int mode,
                                     int *group) {
    return create_chosen(__func__, unit, qset, pri, mode, group);
}

int dxp_tarn_field_group_destroy(int unit, int group) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    Group *g = group_find(fc, group);
    if (g == nullptr) return DXP_E_NOT_FOUND;
    if (g->status.entries_free != g->status.entries_total) return DXP_E_BUSY;
    for (int row = 0; row < fc->tcam_slice_sz; row++)
        if (g->slice->entries[row] != nullptr) return DXP_E_BUSY;

    sal_mutex_take(fc->lock, sal_mutex_FOREVER);
    const int *ids = udf_slots(g->qset);
    for (int i = 0; i < kQsetUdfSlots && ids[i] != 0; i++) {
        const int idx = udf_index(fc, ids[i]);
        if (idx < 0) continue;
        SAL_ASSERT(fc->udf[idx].use_count > 0);
        fc->udf[idx].use_count--;
    }
    // Switch the CFP slice off before the slice record forgets it, unless a
    // remaining group still matches on it.
    if (!cfp_slice_shared(fc, g)) dxp_field_group_enable_set(unit, group, 0);
    slice_clear(fc, g->slice);
    Group **link = &fc->groups;
    while (*link != g)
        link = &(*link)->next;
    *link = g->next;
    sal_free(g);
    fc->status.group_free++;
    SAL_ASSERT(fc->status.group_free <= fc->status.group_total);
    sal_mutex_give(fc->lock);
    return DXP_E_NONE;
}

int dxp_tarn_field_group_get(int unit, int group, dxp_field_qset_t *qset) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    const Group *g = group_find(fc, group);
    if (g == nullptr) return DXP_E_NOT_FOUND;
    if (qset == nullptr) return DXP_E_PARAM;
    *qset = g->qset;
    return DXP_E_NONE;
}

int dxp_tarn_field_group_mode_get(int unit, int group, int *mode) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (mode == nullptr) return DXP_E_PARAM;
    const Group *g = group_find(fc, group);
    if (g == nullptr) return DXP_E_NOT_FOUND;
    *mode = g->mode;
    return DXP_E_NONE;
}

int dxp_tarn_field_group_status_get(int unit, int group, dxp_field_group_status_t *status) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    const Group *g = group_find(fc, group);
    if (g == nullptr) return DXP_E_NOT_FOUND;
    if (status == nullptr) return DXP_E_PARAM;
    *status = g->status;
    return DXP_E_NONE;
}

int dxp_tarn_field_group_set(int unit, int group, dxp_field_qset_t qset) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    Group *g = group_find(fc, group);
    if (g == nullptr) return DXP_E_NOT_FOUND;
    g->slice->enabled = false;
    if (bitmap_empty(qset)) return DXP_E_UNAVAIL;

    if (g->status.entries_free == g->status.entries_total) {
        sal_mutex_take(fc->lock, sal_mutex_FOREVER);
        const dxp_field_qset_t old = g->qset;
        const int slice = g->slice->number;
        const int mode = g->mode;
        int rv = dxp_field_group_destroy(unit, group);
        if (rv == DXP_E_NONE) {
            rv = dxp_field_group_create_mode_id(unit, qset, slice, mode, group);
            if (rv < 0 && dxp_field_group_create_mode_id(unit, old, slice, mode, group) < 0)
                rv = DXP_E_INTERNAL;
        }
        sal_mutex_give(fc->lock);
        return rv;
    }

    dxp_field_qset_t fits{};
    if (int rv = cfp_slice_api_qset(unit, g->slice->cfp_slice, &fits); rv < 0) return rv;
    for (int n = 0; n < kApiQualifiers; n++)
        if (kCfpQualifier.q[n] == kIgnored) dxp_field_qset_add(&fits, n);
    for (int w = 0; w < kQualWords; w++)
        if (qset.w[w] & ~fits.w[w]) return DXP_E_RESOURCE;
    sal_mutex_take(fc->lock, sal_mutex_FOREVER);
    const int rv = qset_widen(fc, &g->qset, qset);
    sal_mutex_give(fc->lock);
    return rv;
}

int dxp_tarn_field_group_enable_set(int unit, int group, int enable) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (!soc_feature(unit, soc_feature_field_slice_enable)) return DXP_E_NONE;
    const Group *g = group_find(fc, group);
    if (g == nullptr) return DXP_E_NOT_FOUND;
    return slice_map_update(unit, g->slice->cfp_slice, enable != 0);
}

int dxp_tarn_field_group_enable_get(int unit, int group, int *enable) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (!soc_feature(unit, soc_feature_field_slice_enable)) return DXP_E_NONE;
    const Group *g = group_find(fc, group);
    if (g == nullptr) return DXP_E_NOT_FOUND;
    if (enable == nullptr) return DXP_E_PARAM;
    uint32_t map = 0;
    if (int rv = services(unit)->cfp_control_get(unit, DRV_CFP_SLICE_SELECT, 0, &map); rv < 0)
        return rv;
    *enable = (map >> g->slice->cfp_slice) & 1u;
    return DXP_E_NONE;
}

int dxp_tarn_field_qset_add_udf(int unit, dxp_field_qset_t *qset, int udf_id) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    // A qset names at most kQsetUdfSlots UDFs, each by an id up to kQsetUdfSlots.
    if (qset == nullptr || udf_id < 1 || udf_id > kQsetUdfSlots) return DXP_E_PARAM;
    const int idx = udf_index(fc, udf_id);
    if (idx < 0 || !fc->udf[idx].valid) return DXP_E_PARAM;
    int *slots = udf_slots(*qset);
    int used = 0;
    for (; used < kQsetUdfSlots && slots[used] != 0; used++)
        if (slots[used] == udf_id) return DXP_E_NONE;
    if (used == kQsetUdfSlots) return DXP_E_RESOURCE;
    slots[used] = udf_id;
    dxp_field_qset_add(qset, dxpFieldQualifyUserDefined0 + fc->udf[idx].udf_num);
    return DXP_E_NONE;
}

int dxp_tarn_field_udf_create_id(int unit, dxp_field_udf_spec_t *udf_spec, int udf_id) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (udf_spec == nullptr) return DXP_E_PARAM;
    const int idx = udf_index(fc, udf_id);
    if (idx < 0) return idx;
    const drv_if_t *drv = services(unit);
    SalLock guard(fc->lock);
    if (fc->udf[idx].valid) {
        dxp_field_udf_spec_t programmed{};
        if (int rv = drv->cfp_udf_get(unit, 0, idx, &programmed.offset[0]); rv < 0) return rv;
        return std::memcmp(&programmed, udf_spec, sizeof programmed) == 0 ? DXP_E_NONE
                                                                          : DXP_E_EXISTS;
    }
    // Every port must have the field before any port gets the offset.
    int rv = DXP_E_UNAVAIL;  // no valid port
    for (int port = 0; port < 64; port++) {
        uint32_t offset = 0;
        if (!SOC_PORT_VALID(unit, port)) continue;
        if (rv = drv->cfp_udf_get(unit, port, idx, &offset); rv < 0) return rv;
    }
    for (int port = 0; port < 64 && rv == DXP_E_NONE; port++) {
        if (!SOC_PORT_VALID(unit, port)) continue;
        rv = drv->cfp_udf_set(unit, port, idx, udf_spec->offset[0]);
    }
    if (rv == DXP_E_NONE) fc->udf[idx] = Udf{.valid = true, .use_count = 0, .udf_num = idx};
    return rv;
}

int dxp_tarn_field_udf_create(int unit, dxp_field_udf_spec_t *udf_spec, int *udf_id) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (udf_spec == nullptr || udf_id == nullptr) return DXP_E_PARAM;
    SalLock guard(fc->lock);
    int free_id = 0;
    for (int id = 1; id <= fc->udf_count; id++) {
        if (!fc->udf[id - 1].valid) {
            if (free_id == 0) free_id = id;
            continue;
        }
        const int rv = dxp_field_udf_create_id(unit, udf_spec, id);
        if (rv == DXP_E_EXISTS) continue;
        if (rv == DXP_E_NONE) *udf_id = id;
        return rv;
    }
    if (free_id == 0) return DXP_E_RESOURCE;
    const int rv = dxp_field_udf_create_id(unit, udf_spec, free_id);
    if (rv == DXP_E_NONE) *udf_id = free_id;
    return rv;
}

int dxp_tarn_field_udf_get(int unit, dxp_field_udf_spec_t *udf_spec, int udf_id) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    const int idx = udf_index(fc, udf_id);
    if (udf_spec == nullptr || idx < 0 || !fc->udf[idx].valid) return DXP_E_PARAM;
    return services(unit)->cfp_udf_get(unit, 0, idx, &udf_spec->offset[0]);
}

int dxp_tarn_field_udf_destroy(int unit, int udf_id) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    const int idx = udf_index(fc, udf_id);
    if (idx < 0 || !fc->udf[idx].valid) return DXP_E_PARAM;
    // A programmed offset stays until the module is detached.
    return fc->udf[idx].use_count != 0 ? DXP_E_EXISTS : DXP_E_UNAVAIL;
}

int dxp_tarn_field_udf_spec_set(int unit, dxp_field_udf_spec_t *udf_spec, uint32_t,
                                uint32_t offset) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (udf_spec == nullptr) return DXP_E_PARAM;
    udf_spec->offset[0] = offset;
    return DXP_E_NONE;
}

int dxp_tarn_field_udf_spec_get(int unit, dxp_field_udf_spec_t *udf_spec, uint32_t *flags,
                                uint32_t *offset) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (udf_spec == nullptr || offset == nullptr) return DXP_E_PARAM;
    if (flags != nullptr) *flags = 0;
    *offset = udf_spec->offset[0];
    return DXP_E_NONE;
}
