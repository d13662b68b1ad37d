// Class-of-service queues: the queue count, the priority-to-queue map and
// the strict or weighted scheduling of the egress queues.
#include "drv_queue.h"
#include "soc_property.h"
#include "tarn_internal.h"

namespace {

constexpr int kPriorities = 8;
constexpr int kDefaultCount = 4;
constexpr int kModeStrict = 1;
constexpr int kModeWrr = 3;
constexpr uint32_t kPropMaxWeight = 8;  // the driver's largest WRR weight
// Driver queue modes.
constexpr uint32_t kDrvStrict = 1;
constexpr uint32_t kDrvAllWeighted = 2;
constexpr uint32_t kDrvTopStrict = 4;
constexpr uint32_t kDrvTopTwoStrict = 5;

int trace(const char *op, int unit) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : %s()..\n", op);
    return tarn::unit_check(unit);
}

int queue_max(int unit) {
    return SOC_CONTROL(unit)->chip_driver->num_cos;
}

soc_pbmp_t without_cpu(int unit, uint32_t lo, uint32_t hi) {
    soc_pbmp_t b{{lo, hi}};
    soc_pbmp_port_remove(&b, SOC_CONTROL(unit)->cmic_port);
    return b;
}

}  // namespace

int dxp_tarn_cosq_init(int unit) {
    if (int rv = trace("dxp_tarn_cosq_init", unit); rv < 0) return rv;
    int count = soc_property_get(unit, "dxp_num_cos", kDefaultCount);
    if (count > queue_max(unit)) count = queue_max(unit);
    if (count <= 0) count = 1;
    if (int rv = dxp_cosq_config_set(unit, count); rv < 0) return rv;
    const soc_pbmp_t all = SOC_CONTROL(unit)->all.bitmap;
    int rv = tarn::services(unit)->queue_mapping_type_set(unit, all, DRV_QUEUE_MAP_PRIO_ONLY, 1);
    // The wide models' port-bitmap form of this service is not in their table.
    if (rv < 0 && rv != DXP_E_UNAVAIL) return rv;
    for (int p = 0; p < kPriorities; p++) {
        if (rv = dxp_cosq_mapping_set(unit, p, p / (kPriorities / count)); rv < 0) return rv;
    }
    return DXP_E_NONE;
}

int dxp_tarn_cosq_detach(int unit) {
    return trace("dxp_tarn_cosq_detach", unit);
}

int dxp_tarn_cosq_config_set(int unit, int numq) {
    if (int rv = trace("dxp_tarn_cosq_config_set", unit); rv < 0) return rv;
    if (numq < 0 || numq > 0xff) return DXP_E_PARAM;
    int rv = tarn::services(unit)->queue_count_set(unit, 0, static_cast<uint8_t>(numq));
    return rv < 0 ? rv : DXP_E_NONE;
}

int dxp_tarn_cosq_config_get(int unit, int *numq) {
    if (int rv = trace("dxp_tarn_cosq_config_get", unit); rv < 0) return rv;
    uint8_t count = 0;
    if (int rv = tarn::services(unit)->queue_count_get(unit, 0, &count); rv < 0) return rv;
    *numq = count;
    return DXP_E_NONE;
}

int dxp_tarn_cosq_mapping_set(int unit, int priority, int cosq) {
    if (int rv = trace("dxp_tarn_cosq_mapping_set", unit); rv < 0) return rv;
    if (cosq < 0 || cosq >= queue_max(unit) || priority < 0 || priority >= kPriorities)
        return DXP_E_PARAM;
    return tarn::services(unit)->queue_prio_set(unit, static_cast<uint8_t>(priority),
                                                static_cast<uint8_t>(cosq));
}

int dxp_tarn_cosq_mapping_get(int unit, int priority, int *cosq) {
    if (int rv = trace("dxp_tarn_cosq_mapping_get", unit); rv < 0) return rv;
    if (priority < 0 || priority >= kPriorities) return DXP_E_PARAM;
    uint8_t q = 0;
    int rv = tarn::services(unit)->queue_prio_get(unit, static_cast<uint8_t>(priority), &q);
    if (rv < 0) return rv;
    *cosq = q;
    return DXP_E_NONE;
}

int dxp_tarn_cosq_port_mapping_set(int, int, int, int) {
    soc_cm_debug_print(tarn::kDebugApi,
                       "DXP API : dxp_tarn_cosq_port_mapping_set()..unavailable\n");
    return DXP_E_UNAVAIL;
}

int dxp_tarn_cosq_port_mapping_get(int, int, int, int *) {
    soc_cm_debug_print(tarn::kDebugApi,
                       "DXP API : dxp_tarn_cosq_port_mapping_get()..unavailable\n");
    return DXP_E_UNAVAIL;
}

int dxp_tarn_cosq_sched_weight_max_get(int unit, int mode, int *weight_max) {
    if (int rv = trace("dxp_tarn_cosq_sched_weight_max_get", unit); rv < 0) return rv;
    switch (mode) {
        case kModeStrict:
            *weight_max = 0;
            return DXP_E_NONE;
        case kModeWrr: {
            // What the driver takes, which is all the chip runs.
            uint32_t max = 0;
            if (int rv = tarn::services(unit)->dev_prop_get(unit, kPropMaxWeight, &max); rv < 0)
                return rv;
            *weight_max = static_cast<int>(max);
            return DXP_E_NONE;
        }
        default:
            *weight_max = -1;
            return DXP_E_PARAM;
    }
}

int dxp_tarn_cosq_port_sched_set(int unit, uint32_t pbmp_lo, uint32_t pbmp_hi, int mode,
                                 const int *weights, int) {
    if (int rv = trace("dxp_tarn_cosq_port_sched_set", unit); rv < 0) return rv;
    const soc_pbmp_t ports = without_cpu(unit, pbmp_lo, pbmp_hi);
    const drv_if_t *s = tarn::services(unit);
    const int max = queue_max(unit);
    // A zero weight on one of the two highest queues makes it strict.
    const auto strict_queue = [&](int q) { return q >= max - 2 && weights[q] == 0; };
    uint32_t drv_mode = kDrvStrict;
    if (mode == kModeWrr) {
        if (weights == nullptr) return DXP_E_PARAM;
        int strict = 0;
        uint32_t weight_max = 0;
        if (int rv = s->dev_prop_get(unit, kPropMaxWeight, &weight_max); rv < 0) return rv;
        // Every weight is checked before the first is written.
        for (int q = 0; q < max; q++) {
            if (strict_queue(q)) {
                strict++;
            } else if (weights[q] < 1 || static_cast<uint32_t>(weights[q]) > weight_max) {
                return DXP_E_PARAM;
            }
        }
        if (strict == 1 && weights[max - 1] != 0) return DXP_E_PARAM;
        drv_mode = strict == 0 ? kDrvAllWeighted : strict == 1 ? kDrvTopStrict : kDrvTopTwoStrict;
    } else if (mode != kModeStrict) {
        return DXP_E_PARAM;
    }
    // The mode goes first: a driver that cannot run the strict queues the
    // weights ask for refuses it before any weight is written. Such weights
    // are a parameter the chip cannot take, as any other weight out of its
    // range.
    if (int rv = s->queue_mode_set(unit, soc_pbmp_t{{ports.w[0], 0}}, drv_mode); rv < 0)
        return rv == DXP_E_UNAVAIL && mode == kModeWrr ? DXP_E_PARAM : rv;
    for (int q = 0; mode == kModeWrr && q < max; q++) {
        if (strict_queue(q)) continue;
        int rv = s->queue_WRR_weight_set(unit, 0, static_cast<uint8_t>(q),
                                         static_cast<uint32_t>(weights[q]));
        if (rv < 0) return rv;
    }
    return DXP_E_NONE;
}

int dxp_tarn_cosq_port_sched_get(int unit, uint32_t pbmp_lo, uint32_t pbmp_hi, int *mode,
                                 int *weights, int *) {
    if (int rv = trace("dxp_tarn_cosq_port_sched_get", unit); rv < 0) return rv;
    const soc_pbmp_t ports = without_cpu(unit, pbmp_lo, pbmp_hi);
    if (ports.w[0] == 0) return DXP_E_PARAM;
    const drv_if_t *s = tarn::services(unit);
    int port = 0;
    while (!soc_pbmp_member(ports, port))
        port++;
    uint32_t drv_mode = 0;
    if (int rv = s->queue_mode_get(unit, port, &drv_mode); rv < 0) return rv;
    *mode = drv_mode == kDrvStrict ? kModeStrict : kModeWrr;
    for (int q = 0; q < queue_max(unit); q++) {
        uint32_t w = 0;
        if (int rv = s->queue_WRR_weight_get(unit, 0, static_cast<uint8_t>(q), &w); rv < 0)
            return rv;
        weights[q] = static_cast<int>(w);
    }
    return DXP_E_NONE;
}

int dxp_tarn_cosq_sched_set(int unit, int mode, const int *weights, int delay) {
    if (int rv = trace("dxp_tarn_cosq_sched_set", unit); rv < 0) return rv;
    const soc_pbmp_t &b = SOC_CONTROL(unit)->port.bitmap;
    return dxp_cosq_port_sched_set(unit, b.w[0], b.w[1], mode, weights, delay);
}

int dxp_tarn_cosq_sched_get(int unit, int *mode, int *weights, int *delay) {
    if (int rv = trace("dxp_tarn_cosq_sched_get", unit); rv < 0) return rv;
    const soc_pbmp_t &b = SOC_CONTROL(unit)->port.bitmap;
    return dxp_cosq_port_sched_get(unit, b.w[0], b.w[1], mode, weights, delay);
}
