// Statistics: starts the chip's counter collection and reads, clears and
// refreshes per-port counters through the counter services of the chip.
#include "drv_counter.h"
#include "soc_property.h"
#include "tarn_internal.h"

namespace {

constexpr int kDefaultIntervalUsecs = 1000000;

void trace(const char *op) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : %s()..\n", op);
}

}  // namespace

int dxp_tarn_stat_init(int unit) {
    trace("dxp_tarn_stat_init");
    int interval = soc_property_get(unit, "dxp_stat_interval", kDefaultIntervalUsecs);
    uint32_t flags = static_cast<uint32_t>(soc_property_get(unit, "dxp_stat_flags", 0));
    const drv_if_t *svc = tarn::services(unit);
    if (int rv = svc->counter_reset(unit); rv < 0) return rv;
    int rv = svc->counter_thread_set(unit, DRV_COUNTER_THREAD_START, flags, interval,
                                     SOC_CONTROL(unit)->all.bitmap);
    return rv < 0 ? rv : DXP_E_NONE;
}

int dxp_tarn_stat_sync(int unit) {
    trace("dxp_tarn_stat_sync");
    int rv =
        tarn::services(unit)->counter_thread_set(unit, DRV_COUNTER_THREAD_SYNC, 0, 0, soc_pbmp_t{});
    return rv < 0 ? rv : DXP_E_NONE;
}

int dxp_tarn_stat_clear(int unit, int port) {
    trace("dxp_tarn_stat_clear");
    int rv = tarn::services(unit)->snmp_counter_set(unit, tarn::port_bitmap(port),
                                                    DRV_SNMP_ALL_COUNTERS, 0);
    return rv < 0 ? rv : DXP_E_NONE;
}

int dxp_tarn_stat_get(int unit, int port, int type, uint64_t *value) {
    trace("dxp_tarn_stat_get");
    int rv = tarn::services(unit)->snmp_counter_get(unit, port, static_cast<uint32_t>(type), value);
    return rv < 0 ? rv : DXP_E_NONE;
}

int dxp_tarn_stat_get32(int unit, int port, int type, uint32_t *value) {
    trace("dxp_tarn_stat_get32");
    // A failed read leaves nothing half-read behind: the low half of zero.
    uint64_t v = 0;
    int rv = dxp_stat_get(unit, port, type, &v);
    *value = rv < 0 ? 0 : static_cast<uint32_t>(v);
    return rv;
}
