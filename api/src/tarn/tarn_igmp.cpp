// IGMP snooping: trapping of IGMP frames to the CPU through the chip's
// snoop services.
#include "drv_trap.h"
#include "soc_property.h"
#include "tarn_internal.h"

namespace {

bool initialised[SOC_MAX_NUM_DEVICES];

int entry(int unit) {
    if (unit < 0 || unit >= SOC_MAX_NUM_DEVICES || !initialised[unit]) return DXP_E_INIT;
    if (!soc_feature(unit, soc_feature_igmp_ip)) return DXP_E_UNAVAIL;
    return DXP_E_NONE;
}

}  // namespace

void dxp_tarn_igmp_forget(int unit) {
    if (unit >= 0 && unit < SOC_MAX_NUM_DEVICES) initialised[unit] = false;
}

int dxp_tarn_igmp_snooping_init(int unit) {
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    initialised[unit] = true;
    if (!soc_feature(unit, soc_feature_igmp_ip)) return DXP_E_UNAVAIL;
    uint32_t mask = 0;
    const drv_if_t *svc = tarn::services(unit);
    if (int rv = svc->snoop_get(unit, &mask); rv < 0) return rv;
    if (int rv = svc->snoop_set(unit, mask | DRV_SNOOP_IGMP); rv < 0) return rv;
    return DXP_E_NONE;
}

int dxp_tarn_igmp_snooping_enable_set(int unit, int enable) {
    if (int rv = entry(unit); rv < 0) return rv;
    uint32_t mask = 0;
    const drv_if_t *svc = tarn::services(unit);
    if (int rv = svc->snoop_get(unit, &mask); rv < 0) return rv;
    uint32_t want = enable ? (mask | DRV_SNOOP_IGMP) : (mask & ~DRV_SNOOP_IGMP);
    if (want == mask) return DXP_E_NONE;
    int rv = svc->snoop_set(unit, want);
    return rv < 0 ? rv : DXP_E_NONE;
}

int dxp_tarn_igmp_snooping_enable_get(int unit, int *enable) {
    if (int rv = entry(unit); rv < 0) return rv;
    uint32_t mask = 0;
    if (int rv = tarn::services(unit)->snoop_get(unit, &mask); rv < 0) return rv;
    *enable = (mask & DRV_SNOOP_IGMP) ? 1 : 0;
    return DXP_E_NONE;
}
