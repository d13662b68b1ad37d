// Trunk groups of the DXP7102 (two fast-Ethernet groups and the gigabit
// pair) and the address fields that every model hashes to pick a member.
#include <atomic>

#include "chipdata/chipdata.h"
#include "drv_reg_rmw.h"
#include "drv_trunk.h"
#include "soc_error.h"

namespace {

constexpr uint32_t kTrace = DK_PORT;
constexpr int kGigaTrunk = 2;

// TRUNK_SEED codes: which hash fields the chip uses.
constexpr uint32_t kSeedBoth = 0;
constexpr uint32_t kSeedField2 = 1;
constexpr uint32_t kSeedField1 = 2;
constexpr uint32_t kSeedInvalid = 3;

// The selection last made with the hash flag, for the whole system: hash
// field remove falls back to it when the last field would go.
std::atomic<uint32_t> stored_selection{kSeedBoth};

bool within(uint32_t bits, const soc_pbmp_t &allowed) {
    return (bits & ~allowed.w[0]) == 0;
}

struct GroupRegs {
    uint32_t reg;
    uint32_t enable;
    uint32_t members;
};
GroupRegs group_regs(int tid) {
    return tid == 0 ? GroupRegs{R_TRUNK_GRP0_CTL, F_EN_TRUNK_GRP0, F_TRUNK_PORT_MAP0}
                    : GroupRegs{R_TRUNK_GRP1_CTL, F_EN_TRUNK_GRP1, F_TRUNK_PORT_MAP1};
}

int giga_trunk_set(int unit, soc_pbmp_t bmp, uint32_t flag) {
    const soc_pbmp_t &ge = SOC_CONTROL(unit)->ge.bitmap;
    if (!within(bmp.w[0], ge) || bmp.w[1] != 0) return SOC_E_PARAM;
    // The pair trunks only as a whole.
    if ((flag & DRV_TRUNK_FLAG_ENABLE) && bmp.w[0] == ge.w[0])
        return drv_reg_field_write(unit, R_GLOBAL_TRUNK_CTL, 0, F_EN_TRUNK_GIGA, 1);
    if (flag & DRV_TRUNK_FLAG_DISABLE)
        return drv_reg_field_write(unit, R_GLOBAL_TRUNK_CTL, 0, F_EN_TRUNK_GIGA, 0);
    return SOC_E_NONE;
}

// Trunking of the fast-Ethernet groups goes off with the last of them, as
// it was before the first.
int local_trunking_follow(int unit) {
    uint32_t any = 0;
    for (int tid : {0, 1}) {
        const GroupRegs g = group_regs(tid);
        uint32_t on = 0;
        if (int rv = drv_reg_field_read(unit, g.reg, 0, g.enable, &on); rv < 0) return rv;
        any |= on;
    }
    return any ? SOC_E_NONE : drv_reg_field_write(unit, R_GLOBAL_TRUNK_CTL, 0, F_EN_TRUNK_LOCAL, 0);
}

}  // namespace

int drv_trunk_set(int unit, int tid, soc_pbmp_t bmp, uint32_t flag, uint32_t hash_op) {
    soc_cm_debug_print(kTrace, "drv_trunk_set: unit = %d, trunk id = %d, bmp = %x, flag = %x\n",
                       unit, tid, bmp.w[0], flag);
    if (flag & DRV_TRUNK_FLAG_HASH) {
        const bool f1 = hash_op & DRV_TRUNK_HASH_FIELD_1;
        const bool f2 = hash_op & DRV_TRUNK_HASH_FIELD_2;
        if (f1 && f2) {
            stored_selection = kSeedBoth;
        } else if (f2) {
            stored_selection = kSeedField2;
        } else if (f1) {
            stored_selection = kSeedField1;
        }
        return SOC_E_NONE;
    }
    if (tid == kGigaTrunk) return giga_trunk_set(unit, bmp, flag);
    if (tid != 0 && tid != 1) return SOC_E_PARAM;
    const GroupRegs g = group_regs(tid);
    DrvRegValue v(unit, g.reg);
    if (int rv = v.read(); rv < 0) return rv;
    const uint32_t add = DRV_TRUNK_FLAG_ENABLE | DRV_TRUNK_FLAG_BITMAP;
    const bool members = !soc_pbmp_is_null(bmp);
    if ((flag & add) == add && members) {
        int rv = drv_reg_field_write(unit, R_GLOBAL_TRUNK_CTL, 0, F_EN_TRUNK_LOCAL, 1);
        if (rv < 0) return rv;
        if (!within(bmp.w[0], SOC_CONTROL(unit)->fe.bitmap) || bmp.w[1] != 0) return SOC_E_PARAM;
        v.set(g.enable, 1);
        v.set(g.members, bmp.w[0]);
    } else if ((flag & DRV_TRUNK_FLAG_DISABLE) || (flag & add) == add) {
        v.set(g.enable, 0);
        v.set(g.members, 0);
        if (int rv = v.write(); rv < 0) return rv;
        return local_trunking_follow(unit);
    } else {
        return SOC_E_NONE;
    }
    return v.write();
}

int drv_trunk_get(int unit, int tid, soc_pbmp_t *bmp, uint32_t flag, uint32_t *hash_op) {
    if (flag & DRV_TRUNK_FLAG_HASH) {
        switch (stored_selection.load()) {
            case kSeedField2:
                *hash_op = DRV_TRUNK_HASH_FIELD_2;
                break;
            case kSeedBoth:
                *hash_op = DRV_TRUNK_HASH_FIELD_1 | DRV_TRUNK_HASH_FIELD_2;
                break;
            case kSeedField1:
                *hash_op = DRV_TRUNK_HASH_FIELD_1;
                break;
            default:
                return SOC_E_INTERNAL;
        }
        return SOC_E_NONE;
    }
    if (tid != 0 && tid != 1 && tid != kGigaTrunk) return SOC_E_PARAM;
    *bmp = soc_pbmp_t{};
    uint32_t enabled = 0;
    if (tid == kGigaTrunk) {
        int rv = drv_reg_field_read(unit, R_GLOBAL_TRUNK_CTL, 0, F_EN_TRUNK_GIGA, &enabled);
        if (rv < 0) return rv;
        if ((flag & DRV_TRUNK_FLAG_BITMAP) && enabled) *bmp = SOC_CONTROL(unit)->ge.bitmap;
    } else {
        const GroupRegs g = group_regs(tid);
        int rv = drv_reg_inspect(unit, g.reg, 0, [&](const DrvRegValue &v) {
            enabled = v.get(g.enable);
            if (flag & DRV_TRUNK_FLAG_BITMAP) bmp->w[0] = v.get(g.members);
            return 0;
        });
        if (rv < 0) return rv;
    }
    if ((flag & DRV_TRUNK_FLAG_ENABLE) && !enabled) *bmp = soc_pbmp_t{};
    soc_cm_debug_print(kTrace, "drv_trunk_get: unit = %d, trunk id = %d, value = 0x%x, flag = %x\n",
                       unit, tid, bmp->w[0], flag);
    return SOC_E_NONE;
}

int drv_trunk_hash_field_add(int unit, uint32_t field_type) {
    soc_cm_debug_print(kTrace, "drv_trunk_hash_field_add: unit = %d, field type = %d\n", unit,
                       field_type);
    return drv_reg_modify(unit, R_GLOBAL_TRUNK_CTL, 0, [&](DrvRegValue &v) {
        const uint32_t seed = v.get(F_TRUNK_SEED);
        if (seed == kSeedInvalid) return static_cast<int>(SOC_E_INTERNAL);
        if ((seed == kSeedField2 && (field_type & DRV_TRUNK_HASH_FIELD_1)) ||
            (seed == kSeedField1 && (field_type & DRV_TRUNK_HASH_FIELD_2)))
            v.set(F_TRUNK_SEED, kSeedBoth);
        return 0;
    });
}

int drv_trunk_hash_field_remove(int unit, uint32_t field_type) {
    soc_cm_debug_print(kTrace, "drv_trunk_hash_field_remove: unit = %d, field type = %d\n", unit,
                       field_type);
    const bool f1 = field_type & DRV_TRUNK_HASH_FIELD_1;
    const bool f2 = field_type & DRV_TRUNK_HASH_FIELD_2;
    if (!f1 && !f2) {
        uint32_t seed = 0;
        int rv = drv_reg_field_read(unit, R_GLOBAL_TRUNK_CTL, 0, F_TRUNK_SEED, &seed);
        return rv < 0 ? rv : seed == kSeedInvalid ? SOC_E_INTERNAL : SOC_E_NONE;
    }
    return drv_reg_modify(unit, R_GLOBAL_TRUNK_CTL, 0, [&](DrvRegValue &v) {
        const uint32_t seed = v.get(F_TRUNK_SEED);
        if (seed == kSeedInvalid) return static_cast<int>(SOC_E_INTERNAL);
        if (seed == kSeedBoth) {
            v.set(F_TRUNK_SEED, f1 && f2 ? stored_selection.load()
                                : f1     ? kSeedField2
                                         : kSeedField1);
        } else if ((seed == kSeedField2 && f2) || (seed == kSeedField1 && f1)) {
            // The last field stays: back to the selection last made.
            v.set(F_TRUNK_SEED, stored_selection.load());
        }
        return 0;
    });
}
