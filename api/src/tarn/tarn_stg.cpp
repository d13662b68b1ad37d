// Spanning-tree groups: which groups exist, the VLAN chain of each group, the
// default group, and the per-port states of a group in the chip.
#include <array>
#include <cstring>

#include "drv_l2ctl.h"
#include "dxp_tarn.h"
#include "sal.h"
#include "shr.h"
#include "soc_property.h"
#include "tarn_internal.h"

namespace {

constexpr int kVlanIds = 4096;
constexpr int kVlanMax = 4094;
constexpr uint32_t kMstpNumProp = 6;
constexpr int kStpForward = 4;
constexpr uint32_t kHwDisabled = 1, kHwForward = 5;
constexpr uint32_t kCpuPortTypes = SOC_BLK_CMIC | SOC_BLK_CPIC;
constexpr uint32_t kSwitchPortTypes = 0x0c400c1f;
constexpr uint32_t kDebugStg = 0x9000000;

struct StgInfo {
    int init;
    int stg_min;
    int stg_max;
    int stg_defl;
    int count;
    int alloc_max;  // stg_max the arrays were sized for
    uint32_t *bitmap;
    uint16_t *vlan_first;  // per STG id
    uint16_t *vlan_next;   // per VLAN id
};
std::array<StgInfo, SOC_MAX_NUM_DEVICES> stg_info{};

int unit_attached_check(int unit) {
    return SOC_UNIT_VALID(unit) && soc_unit_attached(unit) ? DXP_E_NONE : DXP_E_UNIT;
}

// Trace, unit and init checks; stg > 0 also checks the id's range.
int entry(const char *op, int unit, int stg = 0) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : %s()..\n", op);
    if (int rv = unit_attached_check(unit); rv < 0) return rv;
    const StgInfo &si = stg_info[unit];
    if (si.init == 0) return DXP_E_INIT;
    if (si.init < 0) return si.init;
    if (stg != 0 && (stg < si.stg_min || stg > si.stg_max)) return DXP_E_BADID;
    return DXP_E_NONE;
}

bool exists(const StgInfo &si, int stg) {
    return stg >= 0 && stg <= si.stg_max && (si.bitmap[stg / 32] >> (stg % 32)) & 1u;
}

uint32_t to_hw(int state) {
    switch (state) {
        case 0:
            return 1;
        case 1:
            return 2;
        case 3:
            return 4;
        case 4:
            return 5;
        default:
            return 3;
    }
}

void chain_push(StgInfo &si, int stg, dxp_vlan_t vid) {
    si.vlan_next[vid] = si.vlan_first[stg];
    si.vlan_first[stg] = vid;
}

void chain_unlink(StgInfo &si, int stg, dxp_vlan_t vid) {
    uint16_t *link = &si.vlan_first[stg];
    while (*link != 0 && *link != vid)
        link = &si.vlan_next[*link];
    if (*link == 0) return;
    *link = si.vlan_next[vid];
    si.vlan_next[vid] = 0;
}

void release(StgInfo &si) {
    if (si.bitmap != nullptr) sal_free(si.bitmap);
    if (si.vlan_first != nullptr) sal_free(si.vlan_first);
    if (si.vlan_next != nullptr) sal_free(si.vlan_next);
    si.bitmap = nullptr;
    si.vlan_first = nullptr;
    si.vlan_next = nullptr;
    si.alloc_max = 0;
}

// Sizes the arrays for stg_max; a larger stg_max than at the last init
// needs larger arrays.
int allocate(StgInfo &si) {
    if (si.bitmap != nullptr && si.alloc_max >= si.stg_max) return DXP_E_NONE;
    release(si);
    const int words = (si.stg_max + 32) / 32;
    si.bitmap = static_cast<uint32_t *>(sal_alloc(words * sizeof(uint32_t), "STG-bitmap"));
    si.vlan_first =
        static_cast<uint16_t *>(sal_alloc((si.stg_max + 1) * sizeof(uint16_t), "STG-vfirst"));
    si.vlan_next = static_cast<uint16_t *>(sal_alloc(kVlanIds * sizeof(uint16_t), "STG-vnext"));
    if (si.bitmap == nullptr || si.vlan_first == nullptr || si.vlan_next == nullptr) {
        release(si);
        return DXP_E_MEMORY;
    }
    si.alloc_max = si.stg_max;
    return DXP_E_NONE;
}

int compare_vid(void *a, void *b) {
    dxp_vlan_t x = *static_cast<dxp_vlan_t *>(a), y = *static_cast<dxp_vlan_t *>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

// The port's type allows an STP state: 0, or -18.
int switch_port_check(int unit, int port) {
    if (port < 0 || port >= SOC_MAX_NUM_PORTS) return DXP_E_PORT;
    return (SOC_CONTROL(unit)->port_type[port] & kSwitchPortTypes) ? DXP_E_NONE : DXP_E_PORT;
}

bool cpu_port(int unit, int port) {
    return port >= 0 && port < SOC_MAX_NUM_PORTS &&
           (SOC_CONTROL(unit)->port_type[port] & kCpuPortTypes);
}

}  // namespace

int dxp_tarn_stg_init(int unit) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : dxp_tarn_stg_init()..\n");
    if (int rv = unit_attached_check(unit); rv < 0) return rv;
    StgInfo &si = stg_info[unit];
    si.stg_min = 1;
    si.stg_max = 1;
    if (soc_feature(unit, soc_feature_mstp)) {
        uint32_t n = 0;
        if (int rv = tarn::services(unit)->dev_prop_get(unit, kMstpNumProp, &n); rv < 0) return rv;
        si.stg_max = static_cast<int>(n);
    }
    if (int rv = allocate(si); rv < 0) return rv;
    std::memset(si.bitmap, 0, (si.stg_max + 32) / 32 * sizeof(uint32_t));
    std::memset(si.vlan_first, 0, (si.stg_max + 1) * sizeof(uint16_t));
    std::memset(si.vlan_next, 0, kVlanIds * sizeof(uint16_t));
    si.count = 0;
    si.stg_defl = 1;
    if (si.stg_defl < si.stg_min || si.stg_defl > si.stg_max) return DXP_E_INTERNAL;
    si.init = 1;
    if (int rv = dxp_stg_create_id(unit, si.stg_defl); rv < 0) return rv;
    chain_push(si, si.stg_defl, 1);
    return DXP_E_NONE;
}

int dxp_tarn_stg_clear(int unit) {
    if (int rv = entry("dxp_tarn_stg_clear", unit); rv < 0) return rv;
    const StgInfo &si = stg_info[unit];
    for (int stg = si.stg_min; stg <= si.stg_max; stg++)
        if (exists(si, stg) && stg != si.stg_defl) dxp_stg_destroy(unit, stg);
    return dxp_stg_init(unit);
}

int dxp_tarn_stg_default_get(int unit, int *stg) {
    if (int rv = entry("dxp_tarn_stg_default_get", unit); rv < 0) return rv;
    if (stg == nullptr) return DXP_E_PARAM;
    *stg = stg_info[unit].stg_defl;
    return DXP_E_NONE;
}

int dxp_tarn_stg_default_set(int unit, int stg) {
    if (int rv = entry("dxp_tarn_stg_default_set", unit, stg); rv < 0) return rv;
    StgInfo &si = stg_info[unit];
    if (!exists(si, stg)) return DXP_E_NOT_FOUND;
    if (soc_feature(unit, soc_feature_mstp)) si.stg_defl = stg;
    return DXP_E_NONE;
}

int dxp_tarn_stg_vlan_add(int unit, int stg, dxp_vlan_t vid) {
    if (int rv = entry("dxp_tarn_stg_vlan_add", unit, stg); rv < 0) return rv;
    if (vid < 1 || vid > kVlanMax) return DXP_E_BADID;
    StgInfo &si = stg_info[unit];
    if (!exists(si, stg)) return DXP_E_NOT_FOUND;
    int current = 0;
    if (dxp_vlan_stg_get(unit, vid, &current) >= 0 && exists(si, current))
        chain_unlink(si, current, vid);
    if (int rv = dxp_vlan_stg_set(unit, vid, stg); rv < 0) return rv;
    chain_unlink(si, stg, vid);
    chain_push(si, stg, vid);
    return DXP_E_NONE;
}

int dxp_tarn_stg_vlan_remove(int unit, int stg, dxp_vlan_t vid) {
    if (int rv = entry("dxp_tarn_stg_vlan_remove", unit, stg); rv < 0) return rv;
    if (vid < 1 || vid > kVlanMax) return DXP_E_BADID;
    StgInfo &si = stg_info[unit];
    if (!exists(si, stg)) return DXP_E_NOT_FOUND;
    int current = 0;
    if (int rv = dxp_vlan_stg_get(unit, vid, &current); rv < 0) return rv;
    if (current != stg) return DXP_E_NOT_FOUND;
    if (int rv = dxp_vlan_stg_set(unit, vid, si.stg_defl); rv < 0) return rv;
    chain_unlink(si, stg, vid);
    // The chip now has the VLAN in the default group: so must its chain.
    if (stg != si.stg_defl) chain_push(si, si.stg_defl, vid);
    return DXP_E_NONE;
}

int dxp_tarn_stg_vlan_remove_all(int unit, int stg) {
    if (int rv = entry("dxp_tarn_stg_vlan_remove_all", unit, stg); rv < 0) return rv;
    StgInfo &si = stg_info[unit];
    if (!exists(si, stg)) return DXP_E_NOT_FOUND;
    if (stg == si.stg_defl) return DXP_E_NONE;
    while (si.vlan_first[stg] != 0) {
        const dxp_vlan_t vid = si.vlan_first[stg];
        if (int rv = dxp_stg_vlan_remove(unit, stg, vid); rv < 0) return rv;
        if (int rv = dxp_stg_vlan_add(unit, si.stg_defl, vid); rv < 0) return rv;
    }
    return DXP_E_NONE;
}

int dxp_tarn_stg_vlan_list(int unit, int stg, dxp_vlan_t **list, int *count) {
    if (list == nullptr || count == nullptr) return DXP_E_PARAM;
    *list = nullptr;
    *count = 0;
    if (int rv = entry("dxp_tarn_stg_vlan_list", unit, stg); rv < 0) return rv;
    const StgInfo &si = stg_info[unit];
    if (!exists(si, stg)) return DXP_E_NOT_FOUND;
    int n = 0;
    for (uint16_t v = si.vlan_first[stg]; v != 0; v = si.vlan_next[v])
        n++;
    if (n == 0) return DXP_E_NONE;
    auto *out = static_cast<dxp_vlan_t *>(sal_alloc(n * sizeof(dxp_vlan_t), "dxp_stg_vlan_list"));
    if (out == nullptr) return DXP_E_MEMORY;
    int i = 0;
    for (uint16_t v = si.vlan_first[stg]; v != 0; v = si.vlan_next[v])
        out[i++] = v;
    shr_sort(out, n, sizeof(dxp_vlan_t), compare_vid);
    *list = out;
    *count = n;
    return DXP_E_NONE;
}

int dxp_tarn_stg_vlan_list_destroy(int, dxp_vlan_t *list, int) {
    if (list != nullptr) sal_free(list);
    return DXP_E_NONE;
}

int dxp_tarn_stg_create(int unit, int *stg) {
    if (int rv = entry("dxp_tarn_stg_create", unit); rv < 0) return rv;
    if (stg == nullptr) return DXP_E_PARAM;
    const StgInfo &si = stg_info[unit];
    int id = si.stg_min;
    while (id <= si.stg_max && exists(si, id))
        id++;
    *stg = id;
    if (id > si.stg_max) return DXP_E_FULL;
    return dxp_stg_create_id(unit, id);
}

int dxp_tarn_stg_create_id(int unit, int stg) {
    if (int rv = entry("dxp_tarn_stg_create_id", unit, stg); rv < 0) return rv;
    StgInfo &si = stg_info[unit];
    if (exists(si, stg)) return DXP_E_EXISTS;
    const soc_control_t *soc = SOC_CONTROL(unit);
    const drv_if_t *drv = tarn::services(unit);
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(soc->e.bitmap, port)) continue;
        if (int rv = drv->mstp_port_set(unit, stg, port, kHwDisabled); rv < 0) return rv;
    }
    if (soc_feature(unit, soc_feature_stg)) {
        for (int port = 0; port < 64; port++) {
            if (!soc_pbmp_member(soc->cmic_bitmap, port)) continue;
            if (int rv = drv->mstp_port_set(unit, stg, port, kHwForward); rv < 0) return rv;
        }
    }
    if (soc_feature(unit, soc_feature_mstp)) {
        if (int rv = drv_mst_enable_set(unit, 1); rv < 0) return rv;
    }
    si.bitmap[stg / 32] |= 1u << (stg % 32);
    si.count++;
    return DXP_E_NONE;
}

int dxp_tarn_stg_destroy(int unit, int stg) {
    if (int rv = entry("dxp_tarn_stg_destroy", unit, stg); rv < 0) return rv;
    StgInfo &si = stg_info[unit];
    if (stg == si.stg_defl) return DXP_E_NOT_FOUND;
    if (int rv = dxp_stg_vlan_remove_all(unit, stg); rv < 0) return rv;
    si.bitmap[stg / 32] &= ~(1u << (stg % 32));
    si.count--;
    return DXP_E_NONE;
}

int dxp_tarn_stg_list(int unit, int **list, int *count) {
    if (int rv = entry("dxp_tarn_stg_list", unit); rv < 0) return rv;
    if (list == nullptr || count == nullptr) return DXP_E_PARAM;
    *list = nullptr;
    *count = 0;
    const StgInfo &si = stg_info[unit];
    if (si.count == 0) return DXP_E_NONE;
    auto *out = static_cast<int *>(sal_alloc(si.count * sizeof(int), "dxp_stg_list"));
    if (out == nullptr) return DXP_E_MEMORY;
    int n = 0;
    for (int stg = si.stg_min; stg <= si.stg_max && n < si.count; stg++)
        if (exists(si, stg)) out[n++] = stg;
    *list = out;
    *count = n;
    return DXP_E_NONE;
}

int dxp_tarn_stg_list_destroy(int, int *list, int) {
    if (list != nullptr) sal_free(list);
    return DXP_E_NONE;
}

int dxp_tarn_stg_stp_set(int unit, int stg, int port, int stp_state) {
    if (int rv = entry("dxp_tarn_stg_stp_set", unit, stg); rv < 0) return rv;
    if (cpu_port(unit, port)) {
        if (stp_state != kStpForward) {
            soc_cm_debug_print(kDebugStg, "Warning: CPU port should be at Forward STP state\n");
            return DXP_E_FAIL;
        }
    } else if (int rv = switch_port_check(unit, port); rv < 0) {
        return rv;
    }
    if (!exists(stg_info[unit], stg)) return DXP_E_NOT_FOUND;
    return tarn::services(unit)->mstp_port_set(unit, stg, port, to_hw(stp_state));
}

int dxp_tarn_stg_stp_get(int unit, int stg, int port, int *stp_state) {
    if (int rv = entry("dxp_tarn_stg_stp_get", unit, stg); rv < 0) return rv;
    if (stp_state == nullptr) return DXP_E_PARAM;
    if (cpu_port(unit, port)) {
        *stp_state = kStpForward;
        return DXP_E_NONE;
    }
    if (int rv = switch_port_check(unit, port); rv < 0) return rv;
    if (!exists(stg_info[unit], stg)) return DXP_E_NOT_FOUND;
    uint32_t hw = 0;
    if (int rv = tarn::services(unit)->mstp_port_get(unit, stg, port, &hw); rv < 0) return rv;
    *stp_state = tarn::stp_from_hw(hw);
    return DXP_E_NONE;
}

int dxp_tarn_stg_count_get(int unit, int *max_stg) {
    if (int rv = entry("dxp_tarn_stg_count_get", unit); rv < 0) return rv;
    if (max_stg == nullptr) return DXP_E_PARAM;
    *max_stg = stg_info[unit].stg_max;
    return DXP_E_NONE;
}

int tarn::stp_from_hw(uint32_t hw) {
    switch (hw) {
        case 1:
            return 0;
        case 2:
            return 1;
        case 4:
            return 3;
        case 5:
            return 4;
        default:
            return 2;
    }
}
