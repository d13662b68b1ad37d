// Set-up of the field processor: enabling, controls, slices and their
// qualifier sets, user-defined field offsets, the range checker.
#include <initializer_list>

#include "cfp_internal.h"
#include "drv_reg.h"
#include "drv_reg_value.h"

namespace {

constexpr int kQsetWords = 3;
constexpr uint32_t kQualifiers = 32 * kQsetWords;
constexpr uint32_t kRangeMax = 1023;

// Qualifier numbers each slice's key can match.
const std::initializer_list<int> kSliceQualifiers[DRV_CFP_SLICES] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 31},
    {0, 1, 2, 3, 4, 5, 6, 7, 13, 14, 15},
    {0, 1, 2, 3, 4, 5, 13, 14, 15, 16, 17, 21, 19, 20, 22, 23, 24, 25, 26, 27, 32},
    {0, 1, 2, 3, 4, 5, 27, 12, 8, 28, 29, 30, 33, 34, 35},
    {0, 1, 2, 3, 4, 5, 36, 37, 38, 39, 40},
};

void slice_qset(int slice, uint32_t qset[kQsetWords]) {
    for (int i = 0; i < kQsetWords; i++)
        qset[i] = 0;
    for (int q : kSliceQualifiers[slice])
        qset[q / 32] |= 1u << (q % 32);
}

struct Udf {
    uint32_t reg;
    uint32_t field;
};
constexpr Udf kUdfs[DRV_CFP_UDF_COUNT] = {
    {R_UDF_OFFSET0_P, F_UDF_OFFSET}, {R_UDF_OFFSET2_P, F_UDF_OFFSET}, {R_UDF_OFFSET3_P, F_OFFSET_A},
    {R_UDF_OFFSET3_P, F_OFFSET_B},   {R_UDF_OFFSET3_P, F_OFFSET_C},   {R_UDF_OFFSET4_P, F_OFFSET_A},
    {R_UDF_OFFSET4_P, F_OFFSET_B},   {R_UDF_OFFSET4_P, F_OFFSET_C},   {R_UDF_OFFSET4_P, F_OFFSET_D},
    {R_UDF_OFFSET4_P, F_OFFSET_E},
};

// A per-port register of a port the chip has it for.
bool port_has(int unit, const DrvRegValue &v, int port) {
    return SOC_PORT_VALID(unit, port) && v.address() != DRV_REG_ADDR_NONE;
}

int flag_set(int unit, uint32_t reg, uint32_t field, uint32_t value) {
    DrvRegValue v(unit, reg);
    if (int rv = v.read(); rv < 0) return rv;
    v.set(field, value);
    return v.write();
}

int field_get(DrvRegValue &v, uint32_t field, uint32_t *value) {
    if (int rv = v.read(); rv < 0) return rv;
    *value = v.get(field);
    return SOC_E_NONE;
}

// Writes a caller's value into a field, refusing one the field cannot hold.
int value_set(int unit, DrvRegValue &v, uint32_t reg, uint32_t field, uint32_t value) {
    uint32_t words[2] = {value, 0};
    if (!drv_reg_field_fits(unit, reg, field, words)) return SOC_E_PARAM;
    if (int rv = v.read(); rv < 0) return rv;
    v.set(field, value);
    return v.write();
}

}  // namespace

int drv_cfp_init(int unit) {
    soc_pbmp_t ports = SOC_CONTROL(unit)->all.bitmap;
    soc_pbmp_port_remove(&ports, SOC_CONTROL(unit)->cmic_port);
    for (int port = 0; port < 64; port++) {
        if (soc_pbmp_member(ports, port)) drv_cfp_control_set(unit, DRV_CFP_ENABLE, port, 1);
    }
    drv_cfp_control_set(unit, DRV_CFP_TCAM_RESET, 0, 0);
    return SOC_E_NONE;
}

int drv_cfp_control_get(int unit, uint32_t control_type, int port, uint32_t *state) {
    switch (control_type) {
        case DRV_CFP_ENABLE: {
            if (!SOC_PORT_VALID(unit, port)) return SOC_E_PORT;
            DrvRegValue v(unit, R_CFP_GLOBAL_CTL);
            if (int rv = v.read(); rv < 0) return rv;
            uint32_t map[2] = {0, 0};
            v.getWords(F_EN_CFP_MAP, map);
            *state = (map[port / 32] >> (port % 32)) & 1u;
            return SOC_E_NONE;
        }
        case DRV_CFP_VLAN_HANDLE:
        case DRV_CFP_TRUNK_HANDLE: {
            DrvRegValue v(unit, R_CFP_GLOBAL_CTL);
            uint32_t on = 0;
            if (int rv = field_get(
                    v, control_type == DRV_CFP_VLAN_HANDLE ? F_CFP_VLAN_HANDLE : F_TRUNK_HANDLE,
                    &on);
                rv < 0)
                return rv;
            *state = on != 0;
            return SOC_E_NONE;
        }
        case DRV_CFP_ISP_VID: {
            DrvRegValue v(unit, R_ISP_VID);
            return field_get(v, F_ISP_VLAN_DELIMITER, state);
        }
        case DRV_CFP_LLC_ENCAP: {
            DrvRegValue v(unit, R_IEEE_802_2_LLC);
            if (int rv = v.read(); rv < 0) return rv;
            *state = v.get(F_CTRL) + (v.get(F_SSAP) << 8) + (v.get(F_DSAP) << 16);
            return SOC_E_NONE;
        }
        case DRV_CFP_SLICE_SELECT: {
            DrvRegValue v(unit, R_SLICE_MAP_P, port);
            if (!port_has(unit, v, port)) return SOC_E_PORT;
            return field_get(v, F_SLICE_SEL_MAP, state);
        }
        default:
            return SOC_E_UNAVAIL;
    }
}

int drv_cfp_control_set(int unit, uint32_t control_type, int port, uint32_t state) {
    switch (control_type) {
        case DRV_CFP_ENABLE: {
            if (!SOC_PORT_VALID(unit, port)) return SOC_E_PORT;
            DrvRegValue v(unit, R_CFP_GLOBAL_CTL);
            if (int rv = v.read(); rv < 0) return rv;
            uint32_t map[2] = {0, 0};
            v.getWords(F_EN_CFP_MAP, map);
            uint32_t bit = 1u << (port % 32);
            map[port / 32] = state ? map[port / 32] | bit : map[port / 32] & ~bit;
            if (!SOC_PBMP_WIDE(unit)) map[1] = 0;
            v.setWords(F_EN_CFP_MAP, map);
            return v.write();
        }
        case DRV_CFP_VLAN_HANDLE:
            return flag_set(unit, R_CFP_GLOBAL_CTL, F_CFP_VLAN_HANDLE, state ? 1 : 0);
        case DRV_CFP_TRUNK_HANDLE:
            return flag_set(unit, R_CFP_GLOBAL_CTL, F_TRUNK_HANDLE, state ? 1 : 0);
        case DRV_CFP_ISP_VID: {
            DrvRegValue v(unit, R_ISP_VID);
            return value_set(unit, v, R_ISP_VID, F_ISP_VLAN_DELIMITER, state);
        }
        case DRV_CFP_LLC_ENCAP: {
            DrvRegValue v(unit, R_IEEE_802_2_LLC);
            if (int rv = v.read(); rv < 0) return rv;
            v.set(F_CTRL, state & 0xff);
            v.set(F_SSAP, (state >> 8) & 0xff);
            v.set(F_DSAP, (state >> 16) & 0xff);
            return v.write();
        }
        case DRV_CFP_SLICE_SELECT: {
            DrvRegValue v(unit, R_SLICE_MAP_P, port);
            if (!port_has(unit, v, port)) return SOC_E_PORT;
            return value_set(unit, v, R_SLICE_MAP_P, F_SLICE_SEL_MAP, state);
        }
        case DRV_CFP_TCAM_RESET: {
            sal_mutex_t lock = cfp::lock(unit);
            sal_mutex_take(lock, sal_mutex_FOREVER);
            int rv = flag_set(unit, R_CFP_ACC, F_TCAM_RST, 1);
            sal_mutex_give(lock);
            return rv;
        }
        default:
            return SOC_E_UNAVAIL;
    }
}

int drv_cfp_qset_bit_get(int, uint32_t qual, drv_cfp_entry_t *entry, uint32_t *val) {
    SAL_ASSERT(entry);
    if (entry == nullptr || val == nullptr || qual >= kQualifiers) return SOC_E_PARAM;
    *val = (entry->w[qual / 32] >> (qual % 32)) & 1u;
    return SOC_E_NONE;
}

int drv_cfp_qset_bit_set(int, uint32_t qual, drv_cfp_entry_t *entry, uint32_t val) {
    SAL_ASSERT(entry);
    if (entry == nullptr || qual >= kQualifiers) return SOC_E_PARAM;
    uint32_t bit = 1u << (qual % 32);
    entry->w[qual / 32] = val ? entry->w[qual / 32] | bit : entry->w[qual / 32] & ~bit;
    return SOC_E_NONE;
}

int drv_cfp_qset_to_slice(int, drv_cfp_entry_t *entry, int *slice_id) {
    SAL_ASSERT(entry);
    if (entry == nullptr || slice_id == nullptr) return SOC_E_PARAM;
    for (int slice = 0; slice < DRV_CFP_SLICES; slice++) {
        uint32_t fits[kQsetWords];
        slice_qset(slice, fits);
        bool ok = true;
        for (int i = 0; i < kQsetWords; i++)
            ok = ok && (entry->w[i] & ~fits[i]) == 0;
        if (ok) {
            *slice_id = slice;
            return SOC_E_NONE;
        }
    }
    return SOC_E_RESOURCE;
}

int drv_cfp_slice_to_qset(int, int slice_id, drv_cfp_entry_t *entry) {
    SAL_ASSERT(entry);
    if (entry == nullptr || slice_id < 0 || slice_id >= DRV_CFP_SLICES) return SOC_E_PARAM;
    slice_qset(slice_id, entry->w);
    return SOC_E_NONE;
}

int drv_cfp_udf_get(int unit, int port, uint32_t udf_index, uint32_t *offset) {
    if (udf_index >= DRV_CFP_UDF_COUNT) return SOC_E_CONFIG;
    const Udf &u = kUdfs[udf_index];
    DrvRegValue v(unit, u.reg, port);
    if (!port_has(unit, v, port)) return SOC_E_PORT;
    return field_get(v, u.field, offset);
}

int drv_cfp_udf_set(int unit, int port, uint32_t udf_index, uint32_t offset) {
    if (udf_index >= DRV_CFP_UDF_COUNT || offset > DRV_CFP_UDF_OFFSET_MAX) return SOC_E_CONFIG;
    const Udf &u = kUdfs[udf_index];
    DrvRegValue v(unit, u.reg, port);
    if (!port_has(unit, v, port)) return SOC_E_PORT;
    if (int rv = v.read(); rv < 0) return rv;
    v.set(u.field, offset);
    return v.write();
}

int drv_cfp_range_check(int, uint32_t flags, uint32_t min, uint32_t max) {
    if ((flags & 0x2) || !(flags & 0x1)) return SOC_E_PARAM;
    return min == 0 && max == kRangeMax ? SOC_E_NONE : SOC_E_UNAVAIL;
}

int drv_cfp_reserved_op(int) {
    return SOC_E_UNAVAIL;
}
