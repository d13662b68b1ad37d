// The VLAN table: the list of VLANs that exist on a unit, their member and
// untagged ports in the chip, the default VLAN, lists, and the binding of
// VLANs to spanning-tree groups.
#include <algorithm>
#include <array>
#include <vector>

#include "drv_mem.h"
#include "drv_reg.h"
#include "dxp_tarn.h"
#include "sal.h"
#include "shr.h"
#include "tarn_internal.h"

namespace {

constexpr int kEntryWords = 6;
constexpr dxp_vlan_t kDefaultVlan = 1;
constexpr dxp_vlan_t kReservedVlan = 0xfff;
constexpr dxp_vlan_t kVlanMax = 4094;

// Chip types whose entries carry the group id and the valid bit.
constexpr uint32_t kInitMsptTypes = 0xbea00000, kCreateMsptTypes = 0x24a00000,
                   kDestroyMsptTypes = 0x2ea00000, kValidTypes = 0x01800000;

struct VlanInfo {
    int init;
    dxp_vlan_t defl;
    std::vector<dxp_vlan_t> list;  // newest first
};
std::array<VlanInfo, SOC_MAX_NUM_DEVICES> vlan_info{};

class ConfigLock {
  public:
    explicit ConfigLock(int unit) {
        dxp_tarn_config_lock(unit);
        lock_ = dxp_tarn_config_lock_get(unit);
        if (lock_ != nullptr) sal_mutex_take(lock_, -1);
    }
    ~ConfigLock() {
        if (lock_ != nullptr) sal_mutex_give(lock_);
    }
    ConfigLock(const ConfigLock &) = delete;
    ConfigLock &operator=(const ConfigLock &) = delete;

  private:
    sal_mutex_t lock_ = nullptr;
};

int entry(const char *op, int unit) {
    soc_cm_debug_print(DK_VLAN, "DXP API : %s()..\n", op);
    return tarn::unit_check(unit);
}

// VLAN 0 and 4095 are reserved entries of the table.
int vid_check(dxp_vlan_t vid) {
    return vid >= 1 && vid <= kVlanMax ? DXP_E_NONE : DXP_E_PARAM;
}

bool listed(int unit, dxp_vlan_t vid) {
    const auto &l = vlan_info[unit].list;
    return std::find(l.begin(), l.end(), vid) != l.end();
}

soc_pbmp_t minus(soc_pbmp_t a, soc_pbmp_t b) {
    return soc_pbmp_t{{a.w[0] & ~b.w[0], a.w[1] & ~b.w[1]}};
}
soc_pbmp_t both(soc_pbmp_t a, soc_pbmp_t b) {
    return soc_pbmp_t{{a.w[0] & b.w[0], a.w[1] & b.w[1]}};
}
soc_pbmp_t either(soc_pbmp_t a, soc_pbmp_t b) {
    return soc_pbmp_t{{a.w[0] | b.w[0], a.w[1] | b.w[1]}};
}

// A VLAN-table entry buffer of the unit.
class VlanEntry {
  public:
    explicit VlanEntry(int unit) : unit_(unit), drv_(tarn::services(unit)) {}
    int read(dxp_vlan_t vid) { return drv_->mem_read(unit_, DRV_MEM_VLAN, vid, 1, words_.data()); }
    int write(dxp_vlan_t vid) {
        return drv_->mem_write(unit_, DRV_MEM_VLAN, vid, 1, words_.data());
    }
    int setValue(uint32_t field, uint32_t value) {
        uint32_t v[2] = {value, 0};
        return drv_->mem_field_set(unit_, DRV_MEM_VLAN, field, words_.data(), v);
    }
    int setPbmp(uint32_t field, soc_pbmp_t b) {
        uint32_t v[2] = {b.w[0], 0};
        if (SOC_PBMP_WIDE(unit_)) {
            if (int rv = soc_tarn_pbmp_to_regval(unit_, b, v); rv < 0) return rv;
        }
        return drv_->mem_field_set(unit_, DRV_MEM_VLAN, field, words_.data(), v);
    }
    int getPbmp(uint32_t field, soc_pbmp_t *b) {
        uint32_t v[2] = {0, 0};
        if (int rv = drv_->mem_field_get(unit_, DRV_MEM_VLAN, field, words_.data(), v); rv < 0)
            return rv;
        *b = soc_pbmp_t{{v[0], 0}};
        if (SOC_PBMP_WIDE(unit_)) return soc_tarn_regval_to_pbmp(unit_, b, v[0], v[1]);
        return DXP_E_NONE;
    }
    // Group id and valid bit as the chip type wants them (value 1 or 0).
    int setTypeFields(uint32_t mspt_types, uint32_t value) {
        const uint32_t flags = SOC_CONTROL(unit_)->chip_flags;
        if (flags & mspt_types) {
            if (int rv = setValue(DRV_MEM_FIELD_SPT_GROUP_ID, value); rv < 0) return rv;
        }
        if (flags & kValidTypes) return setValue(DRV_MEM_FIELD_VALID, value);
        return DXP_E_NONE;
    }

  private:
    int unit_;
    const drv_if_t *drv_;
    std::array<uint32_t, kEntryWords> words_{};
};

int hw_init(int unit, soc_pbmp_t members, soc_pbmp_t untagged) {
    soc_cm_debug_print(DK_VLAN, "[vlan]: assuming hardware vlan table is cleared after power on\n");
    untagged = both(untagged, SOC_CONTROL(unit)->e.bitmap);
    VlanEntry a(unit), b(unit);
    if (int rv = a.setPbmp(DRV_MEM_FIELD_PORT_BITMAP, members); rv < 0) return rv;
    if (int rv = a.setPbmp(DRV_MEM_FIELD_OUTPUT_UNTAG, untagged); rv < 0) return rv;
    if (int rv = a.setTypeFields(kInitMsptTypes, 1); rv < 0) return rv;
    if (int rv = b.setTypeFields(kInitMsptTypes, 1); rv < 0) return rv;
    if (int rv = a.write(kDefaultVlan); rv < 0) return rv;
    if (int rv = b.write(kReservedVlan); rv < 0) return rv;
    return tarn::services(unit)->vlan_mode_set(unit, 1);
}

int compare_vlan_data(void *a, void *b) {
    const auto *x = static_cast<dxp_vlan_data *>(a);
    const auto *y = static_cast<dxp_vlan_data *>(b);
    return x->vlan_tag < y->vlan_tag ? -1 : x->vlan_tag > y->vlan_tag ? 1 : 0;
}

int list_build(int unit, dxp_vlan_data **listp, int *countp, bool all, soc_pbmp_t pbmp) {
    if (listp == nullptr || countp == nullptr) return DXP_E_PARAM;
    *listp = nullptr;
    *countp = 0;
    ConfigLock lock(unit);
    const auto &l = vlan_info[unit].list;
    if ((!all && soc_pbmp_is_null(pbmp)) || l.empty()) return DXP_E_NONE;
    auto *out =
        static_cast<dxp_vlan_data *>(sal_alloc(l.size() * sizeof(dxp_vlan_data), "vlan_list"));
    if (out == nullptr) return DXP_E_MEMORY;
    int n = 0;
    for (dxp_vlan_t vid : l) {
        dxp_pbmp_t members{}, untagged{};
        if (int rv = dxp_vlan_port_get(unit, vid, &members, &untagged); rv < 0) {
            sal_free(out);
            return rv;
        }
        if (!all && soc_pbmp_is_null(both(tarn::to_soc(members), pbmp))) continue;
        out[n++] =
            dxp_vlan_data{.vlan_tag = vid, .port_bitmap = members, .ut_port_bitmap = untagged};
    }
    shr_sort(out, n, sizeof(dxp_vlan_data), compare_vlan_data);
    *listp = out;
    *countp = n;
    return DXP_E_NONE;
}

}  // namespace

int dxp_tarn_vlan_init(int unit) {
    if (int rv = entry("dxp_tarn_vlan_init", unit); rv < 0) return rv;
    const soc_control_t *soc = SOC_CONTROL(unit);
    const soc_pbmp_t members = soc->all.bitmap;
    const soc_pbmp_t untagged = minus(soc->all.bitmap, soc->cmic_bitmap);
    if (int rv = hw_init(unit, members, untagged); rv < 0) return rv;
    ConfigLock lock(unit);
    VlanInfo &vi = vlan_info[unit];
    vi.defl = kDefaultVlan;
    vi.list.assign(1, kDefaultVlan);
    vi.init = 1;
    return DXP_E_NONE;
}

int dxp_tarn_vlan_create(int unit, dxp_vlan_t vid) {
    if (int rv = entry("dxp_tarn_vlan_create", unit); rv < 0) return rv;
    if (int rv = vid_check(vid); rv < 0) return rv;
    ConfigLock lock(unit);
    int stg = 0;
    int rv = dxp_stg_default_get(unit, &stg);
    const bool has_stg = rv >= 0;
    if (rv < 0 && rv != DXP_E_UNAVAIL) return rv;
    if (listed(unit, vid)) return DXP_E_EXISTS;
    VlanEntry e(unit);
    if (rv = e.setPbmp(DRV_MEM_FIELD_PORT_BITMAP, soc_pbmp_t{}); rv < 0) return rv;
    if (rv = e.setPbmp(DRV_MEM_FIELD_OUTPUT_UNTAG, soc_pbmp_t{}); rv < 0) return rv;
    if (rv = e.setTypeFields(kCreateMsptTypes, 1); rv < 0) return rv;
    if (rv = e.write(vid); rv < 0) return rv;
    auto &l = vlan_info[unit].list;
    l.insert(l.begin(), vid);
    return has_stg ? dxp_stg_vlan_add(unit, stg, vid) : DXP_E_NONE;
}

int dxp_tarn_vlan_destroy(int unit, dxp_vlan_t vid) {
    if (int rv = entry("dxp_tarn_vlan_destroy", unit); rv < 0) return rv;
    if (int rv = vid_check(vid); rv < 0) return rv;
    ConfigLock lock(unit);
    VlanInfo &vi = vlan_info[unit];
    if (vid == vi.defl) return DXP_E_BADID;
    if (!listed(unit, vid)) return DXP_E_NOT_FOUND;
    dxp_pbmp_t members{}, untagged{};
    if (int rv = dxp_vlan_port_get(unit, vid, &members, &untagged); rv < 0) return rv;
    int stg = 0;
    if (int rv = dxp_vlan_stg_get(unit, vid, &stg); rv < 0) return rv;
    if (int rv = dxp_stg_vlan_remove(unit, stg, vid); rv < 0 && rv != DXP_E_UNAVAIL) return rv;
    // Leaving a non-default group moves the VLAN into the default one; a
    // destroyed VLAN leaves that too.
    int defl = 0;
    if (dxp_stg_default_get(unit, &defl) >= 0 && defl != stg) {
        if (int rv = dxp_stg_vlan_remove(unit, defl, vid); rv < 0 && rv != DXP_E_UNAVAIL) return rv;
    }
    VlanEntry e(unit);
    if (int rv = e.read(vid); rv < 0) return rv;
    if (int rv = e.setTypeFields(kDestroyMsptTypes, 0); rv < 0) return rv;
    if (int rv = e.setPbmp(DRV_MEM_FIELD_PORT_BITMAP, soc_pbmp_t{}); rv < 0) return rv;
    if (int rv = e.setPbmp(DRV_MEM_FIELD_OUTPUT_UNTAG, soc_pbmp_t{}); rv < 0) return rv;
    if (int rv = e.write(vid); rv < 0) return rv;
    vi.list.erase(std::find(vi.list.begin(), vi.list.end(), vid));
    return DXP_E_NONE;
}

int dxp_tarn_vlan_destroy_all(int unit) {
    if (int rv = entry("dxp_tarn_vlan_destroy_all", unit); rv < 0) return rv;
    ConfigLock lock(unit);
    const VlanInfo &vi = vlan_info[unit];
    for (;;) {
        auto it = std::find_if(vi.list.begin(), vi.list.end(),
                               [&](dxp_vlan_t v) { return v != vi.defl; });
        if (it == vi.list.end()) return DXP_E_NONE;
        if (int rv = dxp_vlan_destroy(unit, *it); rv < 0) return rv;
    }
}

int dxp_tarn_vlan_port_add(int unit, dxp_vlan_t vid, dxp_pbmp_t pbmp, dxp_pbmp_t ubmp) {
    if (int rv = entry("dxp_tarn_vlan_port_add", unit); rv < 0) return rv;
    if (int rv = vid_check(vid); rv < 0) return rv;
    ConfigLock lock(unit);
    if (!listed(unit, vid)) return DXP_E_NOT_FOUND;
    const soc_pbmp_t cmic = SOC_CONTROL(unit)->cmic_bitmap;
    const soc_pbmp_t members = tarn::to_soc(pbmp);
    const soc_pbmp_t untagged = minus(tarn::to_soc(ubmp), cmic);
    VlanEntry e(unit);
    if (int rv = e.read(vid); rv < 0) return rv;
    soc_pbmp_t cur_members{}, cur_untagged{};
    if (int rv = e.getPbmp(DRV_MEM_FIELD_PORT_BITMAP, &cur_members); rv < 0) return rv;
    if (int rv = e.getPbmp(DRV_MEM_FIELD_OUTPUT_UNTAG, &cur_untagged); rv < 0) return rv;
    soc_pbmp_t new_untagged = both(either(untagged, cur_untagged), either(members, cur_members));
    new_untagged = minus(minus(new_untagged, cur_untagged), cmic);
    if (int rv = e.setPbmp(DRV_MEM_FIELD_PORT_BITMAP, either(cur_members, members)); rv < 0)
        return rv;
    if (int rv = e.setPbmp(DRV_MEM_FIELD_OUTPUT_UNTAG, either(cur_untagged, new_untagged)); rv < 0)
        return rv;
    return e.write(vid);
}

int dxp_tarn_vlan_port_remove(int unit, dxp_vlan_t vid, dxp_pbmp_t pbmp) {
    if (int rv = entry("dxp_tarn_vlan_port_remove", unit); rv < 0) return rv;
    if (int rv = vid_check(vid); rv < 0) return rv;
    ConfigLock lock(unit);
    if (!listed(unit, vid)) return DXP_E_NOT_FOUND;
    VlanEntry e(unit);
    if (int rv = e.read(vid); rv < 0) return rv;
    soc_pbmp_t members{}, untagged{};
    if (int rv = e.getPbmp(DRV_MEM_FIELD_PORT_BITMAP, &members); rv < 0) return rv;
    if (int rv = e.getPbmp(DRV_MEM_FIELD_OUTPUT_UNTAG, &untagged); rv < 0) return rv;
    const soc_pbmp_t gone = both(tarn::to_soc(pbmp), members);
    if (int rv = e.setPbmp(DRV_MEM_FIELD_PORT_BITMAP, minus(members, gone)); rv < 0) return rv;
    if (int rv = e.setPbmp(DRV_MEM_FIELD_OUTPUT_UNTAG, minus(untagged, gone)); rv < 0) return rv;
    return e.write(vid);
}

int dxp_tarn_vlan_port_get(int unit, dxp_vlan_t vid, dxp_pbmp_t *pbmp, dxp_pbmp_t *ubmp) {
    if (int rv = entry("dxp_tarn_vlan_port_get", unit); rv < 0) return rv;
    if (int rv = vid_check(vid); rv < 0) return rv;
    ConfigLock lock(unit);
    if (!listed(unit, vid)) return DXP_E_NOT_FOUND;
    VlanEntry e(unit);
    if (int rv = e.read(vid); rv < 0) return rv;
    soc_pbmp_t b{};
    if (pbmp != nullptr) {
        if (int rv = e.getPbmp(DRV_MEM_FIELD_PORT_BITMAP, &b); rv < 0) return rv;
        *pbmp = tarn::to_dxp(b);
    }
    if (ubmp != nullptr) {
        if (int rv = e.getPbmp(DRV_MEM_FIELD_OUTPUT_UNTAG, &b); rv < 0) return rv;
        *ubmp = tarn::to_dxp(b);
    }
    return DXP_E_NONE;
}

int dxp_tarn_vlan_list(int unit, dxp_vlan_data **listp, int *countp) {
    if (int rv = entry("dxp_tarn_vlan_list", unit); rv < 0) return rv;
    return list_build(unit, listp, countp, true, soc_pbmp_t{});
}

int dxp_tarn_vlan_list_by_pbmp(int unit, dxp_pbmp_t pbmp, dxp_vlan_data **listp, int *countp) {
    if (int rv = entry("dxp_tarn_vlan_list_by_pbmp", unit); rv < 0) return rv;
    return list_build(unit, listp, countp, false, tarn::to_soc(pbmp));
}

int dxp_tarn_vlan_list_destroy(int, dxp_vlan_data *list, int) {
    if (list != nullptr) sal_free(list);
    return DXP_E_NONE;
}

int dxp_tarn_vlan_default_get(int unit, dxp_vlan_t *vid) {
    if (int rv = entry("dxp_tarn_vlan_default_get", unit); rv < 0) return rv;
    if (vid == nullptr) return DXP_E_PARAM;
    *vid = vlan_info[unit].defl;
    return DXP_E_NONE;
}

int dxp_tarn_vlan_default_set(int unit, dxp_vlan_t vid) {
    if (int rv = entry("dxp_tarn_vlan_default_set", unit); rv < 0) return rv;
    if (int rv = vid_check(vid); rv < 0) return rv;
    ConfigLock lock(unit);
    if (!listed(unit, vid)) return DXP_E_NOT_FOUND;
    vlan_info[unit].defl = vid;
    return DXP_E_NONE;
}

int dxp_tarn_vlan_stg_get(int unit, dxp_vlan_t vid, int *stg) {
    if (int rv = entry("dxp_tarn_vlan_stg_get", unit); rv < 0) return rv;
    if (int rv = vid_check(vid); rv < 0) return rv;
    if (stg == nullptr) return DXP_E_PARAM;
    uint32_t id = 0;
    if (int rv = tarn::services(unit)->mstp_config_get(unit, vid, &id); rv < 0) return rv;
    *stg = static_cast<int>(id);
    return DXP_E_NONE;
}

int dxp_tarn_vlan_stg_set(int unit, dxp_vlan_t vid, int stg) {
    if (int rv = entry("dxp_tarn_vlan_stg_set", unit); rv < 0) return rv;
    if (int rv = vid_check(vid); rv < 0) return rv;
    {
        ConfigLock lock(unit);
        if (!listed(unit, vid)) return DXP_E_NOT_FOUND;
    }
    int *stgs = nullptr;
    int count = 0;
    if (int rv = dxp_stg_list(unit, &stgs, &count); rv < 0) return rv;
    const bool found = std::find(stgs, stgs + count, stg) != stgs + count;
    dxp_stg_list_destroy(unit, stgs, count);
    if (!found) return DXP_E_BADID;
    return tarn::services(unit)->mstp_config_set(unit, vid, static_cast<uint32_t>(stg));
}

int dxp_tarn_vlan_stp_set(int unit, dxp_vlan_t vid, int port, int stp_state) {
    if (int rv = entry("dxp_tarn_vlan_stp_set", unit); rv < 0) return rv;
    int stg = 0;
    if (int rv = dxp_vlan_stg_get(unit, vid, &stg); rv < 0) return rv;
    return dxp_stg_stp_set(unit, stg, port, stp_state);
}

int dxp_tarn_vlan_stp_get(int unit, dxp_vlan_t vid, int port, int *stp_state) {
    if (int rv = entry("dxp_tarn_vlan_stp_get", unit); rv < 0) return rv;
    if (stp_state == nullptr) return DXP_E_PARAM;
    int stg = 0;
    if (int rv = dxp_vlan_stg_get(unit, vid, &stg); rv < 0) return rv;
    uint32_t hw = 0;
    if (int rv = tarn::services(unit)->mstp_port_get(unit, static_cast<uint32_t>(stg), port, &hw);
        rv < 0)
        return rv;
    *stp_state = tarn::stp_from_hw(hw);
    return DXP_E_NONE;
}
