// Trap and snoop services over the management registers.
#include "drv_trap.h"

#include "drv_if.h"
#include "drv_reg_rmw.h"
#include "soc_cm.h"
#include "soc_error.h"

namespace {

constexpr uint32_t kTrapHandled =
    DRV_TRAP_IGMP | DRV_TRAP_BPDU | DRV_TRAP_SEC_DROP | DRV_TRAP_BCAST;
constexpr uint32_t kTrapUnsupported =
    0x1 | 0x4 | 0x8 | 0x10 | 0x20 | 0x80 | 0x100 | 0x200 | 0x400 | 0x1000;
constexpr uint32_t kSnoopUnsupported = 0x2 | 0x4 | 0x8 | 0x10;

// The IGMP capture field: one bit on the DXP7102, a two-bit check mode
// (written 0 or 1) on the wide chips.
uint32_t igmp_field(int unit) {
    return SOC_IS_DXP7102(unit) ? F_IGMPIP_SNOP_EN : F_IGMP_IP_CHK;
}

// MII_PCTL is the CPU port's instance of the port control registers.
int cpu_port(int unit) {
    return SOC_CONTROL(unit)->cmic_port;
}

int ip_multicast_on(int unit) {
    return drv_reg_field_write(unit, R_NEW_CONTROL, 0, F_IP_MULTICAST, 1);
}

}  // namespace

int drv_trap_set(int unit, uint32_t mask) {
    soc_cm_debug_print(DK_API, "drv_trap_set: unit = %d, trap mask= %x\n", unit, mask);
    int rv = drv_reg_modify(unit, R_GMNGCFG, 0, [&](DrvRegValue &v) {
        v.set(igmp_field(unit), (mask & DRV_TRAP_IGMP) ? 1 : 0);
        v.set(F_RXBPDU_EN, (mask & DRV_TRAP_BPDU) ? 1 : 0);
        return 0;
    });
    if (rv < 0) return rv;
    rv = drv_reg_field_write(unit, R_SPECIAL_MNGT, 0, F_EN_SEC_DROP2MII,
                             (mask & DRV_TRAP_SEC_DROP) ? 1 : 0);
    if (rv < 0) return rv;
    if (mask & kTrapUnsupported) return SOC_E_UNAVAIL;
    if (SOC_IS_DXP7102(unit) && (mask & DRV_TRAP_IGMP)) {
        if ((rv = ip_multicast_on(unit)) < 0) return rv;
    }
    return drv_reg_field_write(unit, R_MII_PCTL, cpu_port(unit), F_MIRX_BC_EN,
                               (mask & DRV_TRAP_BCAST) ? 1 : 0);
}

int drv_trap_get(int unit, uint32_t *mask) {
    uint32_t v = 0;
    if (int rv = drv_reg_field_read(unit, R_GMNGCFG, 0, igmp_field(unit), &v); rv < 0) return rv;
    if (v) *mask |= DRV_TRAP_IGMP;
    if (int rv = drv_reg_field_read(unit, R_GMNGCFG, 0, F_RXBPDU_EN, &v); rv < 0) return rv;
    if (v) *mask |= DRV_TRAP_BPDU;
    if (int rv = drv_reg_field_read(unit, R_SPECIAL_MNGT, 0, F_EN_SEC_DROP2MII, &v); rv < 0)
        return rv;
    if (v) *mask |= DRV_TRAP_SEC_DROP;
    if (int rv = drv_reg_field_read(unit, R_MII_PCTL, cpu_port(unit), F_MIRX_BC_EN, &v); rv < 0)
        return rv;
    if (v) *mask |= DRV_TRAP_BCAST;
    static_assert((kTrapHandled & kTrapUnsupported) == 0);
    return SOC_E_NONE;
}

int drv_snoop_set(int unit, uint32_t mask) {
    soc_cm_debug_print(DK_API, "drv_snoop_set: unit = %d, snoop mask= %x\n", unit, mask);
    int rv =
        drv_reg_field_write(unit, R_GMNGCFG, 0, igmp_field(unit), (mask & DRV_SNOOP_IGMP) ? 1 : 0);
    if (rv < 0) return rv;
    if (SOC_IS_DXP7102(unit) && (mask & DRV_SNOOP_IGMP)) {
        if ((rv = ip_multicast_on(unit)) < 0) return rv;
    }
    return (mask & kSnoopUnsupported) ? SOC_E_UNAVAIL : SOC_E_NONE;
}

int drv_snoop_get(int unit, uint32_t *mask) {
    uint32_t v = 0;
    if (int rv = drv_reg_field_read(unit, R_GMNGCFG, 0, igmp_field(unit), &v); rv < 0) return rv;
    if (v) *mask = DRV_SNOOP_IGMP;
    return SOC_E_NONE;
}
