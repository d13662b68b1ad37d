// Spanning-tree port states and trunk groups of the 53-port chips: states in
// the port control registers (one tree) or 3 bits per port in MSPT_TAB
// (multiple trees); six trunk groups with 53-bit member maps.
#include <atomic>

#include "drv_reg_rmw.h"
#include "drv_trunk.h"
#include "drv_wide.h"
#include "soc_cm.h"
#include "soc_error.h"
#include "soc_property.h"

namespace {

constexpr uint32_t kStpTrace = 0x1000000;
constexpr uint32_t kTrunkTrace = 0x800;
constexpr int kTrunkGroups = 6;
constexpr int kStateBits = 3;
constexpr int kWords = DRV_WIDE_ENTRY_BYTES / 4;

bool valid_state(uint32_t s) {
    return s >= 1 && s <= 5;
}

// Bit of a port's state in an MSPT_TAB entry.
int state_bit(int unit, int port) {
    if (SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7101)
        return port < 20 ? 3 * port : port < 40 ? 3 * port + 4 : 3 * port + 8;
    return port < 16 ? 3 * port + 76 : 3 * port + 80;
}

uint32_t entry_bits(const uint32_t *e, int bp) {
    uint32_t v = 0;
    for (int k = 0; k < kStateBits; k++)
        v |= ((e[(bp + k) / 32] >> ((bp + k) % 32)) & 1u) << k;
    return v;
}

void put_entry_bits(uint32_t *e, int bp, uint32_t v) {
    for (int k = 0; k < kStateBits; k++) {
        uint32_t mask = 1u << ((bp + k) % 32);
        uint32_t &w = e[(bp + k) / 32];
        w = (v >> k) & 1u ? w | mask : w & ~mask;
    }
}

bool single_tree(int unit) {
    return !soc_feature(unit, soc_feature_mstp);
}

void port_reg(int unit, int port, uint32_t *reg, uint32_t *field) {
    bool ge = soc_pbmp_member(SOC_CONTROL(unit)->ge.bitmap, port);
    *reg = ge ? R_G_PCTL : R_TH_PCTL;
    *field = ge ? F_G_MISTP_STATE : F_MISTP_STATE;
}

// The MSPT_TAB entry of a group; -4 above the number of groups.
int group_entry(int unit, uint32_t stg, uint32_t *index) {
    uint32_t n[2] = {0, 0};
    if (int rv = DRV_SERVICES(unit)->dev_prop_get(unit, 6, n); rv < 0) return rv;
    if (n[0] == 0 || stg > n[0]) return SOC_E_PARAM;
    *index = stg % n[0];
    return 0;
}

bool port_ok(int port) {
    return port >= 0 && port <= 52;
}

// The hash selection, for the whole system: code 0 both fields, 1 field 2
// only, 2 field 1 only.
std::atomic<uint32_t> hash_code{0};

// Read, change and write a group's control (instance by index).
template <typename Change>
int modify_group(int unit, int tid, Change change) {
    DrvRegValue v(unit, R_TRUNK_GRP0_CTL, 0, tid);
    if (int rv = v.read(); rv < 0) return rv;
    change(v);
    return v.write();
}

int enable_set(int unit, int tid, bool on) {
    if (tid < 0) return drv_reg_field_write(unit, R_GLOBAL_TRUNK_CTL, 0, F_EN_TRUNK_LOCAL, on);
    return modify_group(unit, tid, [&](DrvRegValue &v) { v.set(F_EN_TRUNK_GRP0, on ? 1 : 0); });
}

int enable_get(int unit, int tid, uint32_t *on) {
    if (tid < 0) return drv_reg_field_read(unit, R_GLOBAL_TRUNK_CTL, 0, F_EN_TRUNK_LOCAL, on);
    DrvRegValue v(unit, R_TRUNK_GRP0_CTL, 0, tid);
    if (int rv = v.read(); rv < 0) return rv;
    *on = v.get(F_EN_TRUNK_GRP0);
    return 0;
}

bool wide_map(int unit) {
    return SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7101;
}

}  // namespace

int drv_dxp7101_mstp_port_set(int unit, uint32_t stg, int port, uint32_t state) {
    soc_cm_debug_print(kStpTrace,
                       "drv_mstp_port_set : unit %d, STP id = %d, port = %d, port_state = %d \n",
                       unit, static_cast<int>(stg), port, static_cast<int>(state));
    if (!port_ok(port)) return SOC_E_PORT;
    if (single_tree(unit)) {
        if (stg > 1 || !valid_state(state)) return SOC_E_PARAM;
        uint32_t reg, field;
        port_reg(unit, port, &reg, &field);
        return drv_reg_field_write(unit, reg, port, field, state);
    }
    uint32_t index;
    if (int rv = group_entry(unit, stg, &index); rv < 0) return rv;
    if (!valid_state(state)) return SOC_E_PARAM;
    uint32_t e[kWords] = {};
    const drv_if_t *s = DRV_SERVICES(unit);
    if (int rv = s->mem_read(unit, DRV_MEM_MSTP, index, 1, e); rv < 0) return rv;
    put_entry_bits(e, state_bit(unit, port), state);
    return s->mem_write(unit, DRV_MEM_MSTP, index, 1, e);
}

int drv_dxp7101_mstp_port_get(int unit, uint32_t stg, int port, uint32_t *state) {
    if (!port_ok(port)) return SOC_E_PORT;
    uint32_t v;
    if (single_tree(unit)) {
        if (stg > 1) return SOC_E_PARAM;
        uint32_t reg, field;
        port_reg(unit, port, &reg, &field);
        if (int rv = drv_reg_field_read(unit, reg, port, field, &v); rv < 0) return rv;
    } else {
        uint32_t index;
        if (int rv = group_entry(unit, stg, &index); rv < 0) return rv;
        uint32_t e[kWords] = {};
        if (int rv = DRV_SERVICES(unit)->mem_read(unit, DRV_MEM_MSTP, index, 1, e); rv < 0)
            return rv;
        v = entry_bits(e, state_bit(unit, port));
    }
    if (!valid_state(v)) return SOC_E_INTERNAL;
    *state = v;
    soc_cm_debug_print(kStpTrace,
                       "drv_mstp_port_get : unit %d, STP id = %d, port = %d, port_state = %d \n",
                       unit, static_cast<int>(stg), port, static_cast<int>(v));
    return 0;
}

int drv_dxp7101_trunk_set(int unit, int tid, soc_pbmp_t bmp, uint32_t flag, uint32_t hash_op) {
    soc_cm_debug_print(kTrunkTrace,
                       "drv_trunk_set: unit = %d, trunk id = %d, bmp = %x %x, flag = %x\n", unit,
                       tid, bmp.w[0], bmp.w[1], flag);
    if (flag & DRV_TRUNK_FLAG_HASH) {
        uint32_t bits = hash_op & 3;
        if (bits != 0) hash_code = bits == 3 ? 0 : bits == 2 ? 1 : 2;
        return 0;
    }
    if (tid < 0 || tid >= kTrunkGroups) return SOC_E_PARAM;
    if (flag & DRV_TRUNK_FLAG_ENABLE) {
        uint32_t on = 0;
        if (enable_get(unit, -1, &on) >= 0 && !on) enable_set(unit, -1, true);
        enable_set(unit, tid, true);
    } else if (flag & DRV_TRUNK_FLAG_DISABLE) {
        enable_set(unit, tid, false);
        // Trunking goes off with the last group, as it was before the first.
        uint32_t any = 0;
        for (int other = 0; other < kTrunkGroups && !any; other++) {
            uint32_t on = 0;
            if (int rv = enable_get(unit, other, &on); rv < 0) return rv;
            any = on;
        }
        if (!any) enable_set(unit, -1, false);
    }
    if (flag & DRV_TRUNK_FLAG_BITMAP) {
        if (!wide_map(unit)) bmp.w[1] = 0;
        int rv =
            modify_group(unit, tid, [&](DrvRegValue &v) { v.setWords(F_TRUNK_PORT_MAP0, bmp.w); });
        if (rv < 0) return rv;
    }
    return 0;
}

int drv_dxp7101_trunk_get(int unit, int tid, soc_pbmp_t *bmp, uint32_t flag, uint32_t *hash_op) {
    if (flag & DRV_TRUNK_FLAG_HASH) {
        static constexpr uint32_t kBits[] = {3, 2, 1};
        uint32_t code = hash_code;
        if (code > 2) return SOC_E_INTERNAL;
        *hash_op = kBits[code];
        soc_cm_debug_print(kTrunkTrace,
                           "drv_trunk_get: unit = %d, trunk id = %d, value = 0x%x, flag = %x\n",
                           unit, tid, *hash_op, flag);
        return 0;
    }
    if (tid < 0 || tid >= kTrunkGroups) return SOC_E_PARAM;
    if (flag & DRV_TRUNK_FLAG_ENABLE) {
        uint32_t global = 0, group = 0;
        if (int rv = enable_get(unit, -1, &global); rv < 0) return rv;
        if (int rv = enable_get(unit, tid, &group); rv < 0) return rv;
        if (!global || !group) {
            bmp->w[0] = bmp->w[1] = 0;
            return 0;
        }
    }
    if (flag & (DRV_TRUNK_FLAG_ENABLE | DRV_TRUNK_FLAG_BITMAP)) {
        DrvRegValue v(unit, R_TRUNK_GRP0_CTL, 0, tid);
        if (int rv = v.read(); rv < 0) return rv;
        uint32_t w[2] = {0, 0};
        v.getWords(F_TRUNK_PORT_MAP0, w);
        bmp->w[0] = w[0];
        bmp->w[1] = wide_map(unit) ? w[1] : 0;
        soc_cm_debug_print(
            kTrunkTrace, "drv_trunk_get: unit = %d, trunk id = %d, value = 0x%x 0x%x, flag = %x\n",
            unit, tid, bmp->w[0], bmp->w[1], flag);
    }
    return 0;
}
