// Chip VLAN switches shared by the three chip models.
#include "chipdata/chipdata.h"
#include "drv_reg.h"
#include "drv_reg_rmw.h"
#include "drv_vlan.h"
#include "soc_error.h"

namespace {

constexpr uint32_t kTrace = DK_VLAN;
constexpr uint32_t kVidMask = 0xfff;
constexpr uint32_t kPrioMax = 7;
constexpr int kPrioShift = 13;
constexpr uint32_t kLearnIndependent = 3;
// Feature word bit of the chips that tag reserved multicast frames.
constexpr uint32_t kFeatureRsvMcastTag = 0x4000;

int vlan_enable(int unit) {
    if (int rv = drv_reg_field_write(unit, R_VLAN_CTRL0, 0, F_VLAN_EN, 1); rv < 0) return rv;
    const soc_control_t *s = SOC_CONTROL(unit);
    if ((s->chip_flags & SOC_CHIP_DXP7102) && (s->features[0] & kFeatureRsvMcastTag)) {
        int rv = drv_reg_field_write(unit, R_VLAN_CTRL1, 0, F_EN_RSV_MCAST_V_TAG, 1);
        if (rv < 0) return rv;
    }
    if (int rv = drv_reg_field_write(unit, R_VLAN_CTRL2, 0, F_EN_GMRP_GVRP_V_TAG, 1); rv < 0)
        return rv;
    return drv_reg_modify(unit, R_VLAN_CTRL4, 0, [](DrvRegValue &v) {
        v.set(F_INGR_VID_CHK, 1);
        v.set(F_EN_MGE_REV_GVRP, 1);
        v.set(F_EN_MGE_REV_GMRP, 1);
        return 0;
    });
}

}  // namespace

int drv_vlan_mode_set(int unit, uint32_t mode) {
    soc_cm_debug_print(kTrace, "drv_vlan_mode_set: unit = %d, mode = %d\n", unit, mode);
    switch (mode) {
        case DRV_VLAN_MODE_TAG:
            return vlan_enable(unit);
        case DRV_VLAN_MODE_NONE:
            // Only the switch goes off; the tagging options stay as they are.
            return drv_reg_field_write(unit, R_VLAN_CTRL0, 0, F_VLAN_EN, 0);
        default:
            return SOC_E_PARAM;
    }
}

int drv_vlan_mode_get(int unit, uint32_t *mode) {
    uint32_t on = 0;
    if (int rv = drv_reg_field_read(unit, R_VLAN_CTRL0, 0, F_VLAN_EN, &on); rv < 0) return rv;
    *mode = on ? DRV_VLAN_MODE_TAG : DRV_VLAN_MODE_NONE;
    soc_cm_debug_print(kTrace, "drv_vlan_mode_get: unit = %d, mode = %d\n", unit, *mode);
    return SOC_E_NONE;
}

int drv_port_vlan_pvid_set(int unit, int port, uint32_t vid, uint32_t prio) {
    soc_cm_debug_print(kTrace,
                       "drv_port_vlan_pvid_set: unit = %d, port = %d, vid = %d, priority = %d\n",
                       unit, port, vid, prio);
    // A wider vid would spill into the priority and CFI bits.
    if (vid > kVidMask || prio > kPrioMax) return SOC_E_PARAM;
    // The whole tag is written: nothing of the old one survives.
    DrvRegValue v(unit, R_DEFAULT_1Q_TAG, port);
    v.words()[0] = vid | prio << kPrioShift;
    return v.write();
}

int drv_port_vlan_pvid_get(int unit, int port, uint32_t *vid, uint32_t *prio) {
    return drv_reg_inspect(unit, R_DEFAULT_1Q_TAG, port, [&](const DrvRegValue &v) {
        const uint32_t tag = static_cast<uint32_t>(v.raw());
        *vid = tag & kVidMask;
        *prio = tag >> kPrioShift;
        soc_cm_debug_print(
            kTrace, "drv_port_vlan_pvid_get: unit = %d, port = %d, vid = %d, priority = %d\n", unit,
            port, *vid, *prio);
        return SOC_E_NONE;
    });
}

int drv_port_vlan_set(int unit, int port, soc_pbmp_t bmp) {
    soc_cm_debug_print(kTrace, "drv_port_vlan_set: unit = %d, port = %d, bmp = %x\n", unit, port,
                       bmp.w[0]);
    uint32_t value[2] = {bmp.w[0], 0};
    if (SOC_IS_DXP7101(unit)) soc_tarn_pbmp_to_regval(unit, bmp, value);
    if (!drv_reg_field_fits(unit, R_PORT_VLAN_CTL, F_PORT_EGRESS_EN, value)) return SOC_E_PARAM;
    return drv_reg_modify(unit, R_PORT_VLAN_CTL, port, [&](DrvRegValue &v) {
        v.setWords(F_PORT_EGRESS_EN, value);
        return 0;
    });
}

int drv_port_vlan_get(int unit, int port, soc_pbmp_t *bmp) {
    return drv_reg_inspect(unit, R_PORT_VLAN_CTL, port, [&](const DrvRegValue &v) {
        uint32_t value[2] = {0, 0};
        v.getWords(F_PORT_EGRESS_EN, value);
        if (SOC_IS_DXP7101(unit)) {
            soc_tarn_regval_to_pbmp(unit, bmp, value[0], value[1]);
        } else {
            *bmp = soc_pbmp_t{{value[0], 0}};
        }
        soc_cm_debug_print(kTrace, "drv_port_vlan_get: unit = %d, port = %d, bmp = %x\n", unit,
                           port, bmp->w[0]);
        return SOC_E_NONE;
    });
}

int drv_vlan_prop_set(int unit, uint32_t prop_type, uint32_t prop_val) {
    soc_cm_debug_print(kTrace, "drv_vlan_prop_set: unit = %d, property type = %d, value = %x\n",
                       unit, prop_type, prop_val);
    switch (prop_type) {
        case DRV_VLAN_PROP_VTABLE_MISS_DROP:
            return drv_reg_field_write(unit, R_VLAN_CTRL5, 0, F_DROP_VTABLE_MISS, prop_val != 0);
        case DRV_VLAN_PROP_SHARED_LEARN:
            return drv_reg_field_write(unit, R_VLAN_CTRL0, 0, F_VLAN_LEARN_MODE,
                                       prop_val ? 0 : kLearnIndependent);
        default:
            return SOC_E_PARAM;
    }
}

int drv_vlan_prop_get(int unit, uint32_t prop_type, uint32_t *prop_val) {
    int rv = SOC_E_PARAM;
    switch (prop_type) {
        case DRV_VLAN_PROP_VTABLE_MISS_DROP:
            rv = drv_reg_field_read(unit, R_VLAN_CTRL5, 0, F_DROP_VTABLE_MISS, prop_val);
            break;
        case DRV_VLAN_PROP_SHARED_LEARN:
            rv = drv_reg_field_read(unit, R_VLAN_CTRL0, 0, F_VLAN_LEARN_MODE, prop_val);
            // Independent learning reads 1: the opposite of what the set took.
            if (rv >= 0) *prop_val = *prop_val != 0;
            break;
        default:
            return SOC_E_PARAM;
    }
    if (rv >= 0)
        soc_cm_debug_print(kTrace, "drv_vlan_prop_get: unit = %d, property type = %d, value = %x\n",
                           unit, prop_type, *prop_val);
    return rv;
}
