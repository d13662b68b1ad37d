// Storm control of the family: per-port limits of broadcast, multicast and
// unknown-unicast (DLF) packets over the chip's storm-control services. The
// classes share one limit per port.
#include <array>
#include <atomic>

#include "drv_rate.h"
#include "dxp_tarn.h"
#include "tarn_internal.h"

namespace {

using tarn::services;

constexpr uint32_t kDevPropRatePbmp = 10;

// API class flag and driver storm type bit.
struct Class {
    int api;
    uint32_t drv;
};
constexpr Class kClasses[] = {
    {DXP_RATE_BCAST, DRV_STORM_BCAST},
    {DXP_RATE_MCAST, DRV_STORM_MCAST},
    {DXP_RATE_DLF, DRV_STORM_DLF},
};
constexpr Class kBcast = kClasses[0], kMcast = kClasses[1], kDlf = kClasses[2];

// Storm control is switched on for a unit's ports the first time the unit
// uses any rate operation.
std::array<std::atomic<bool>, SOC_MAX_NUM_DEVICES> started{};

uint32_t to_drv(int flags) {
    uint32_t mask = 0;
    for (const Class &c : kClasses)
        if (flags & c.api) mask |= c.drv;
    return mask;
}
int to_api(uint32_t mask) {
    int flags = 0;
    for (const Class &c : kClasses)
        if (mask & c.drv) flags |= c.api;
    return flags;
}

int trace(const char *op, int unit) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : %s()..\n", op);
    return tarn::unit_check(unit);
}

soc_pbmp_t storm_ports(int unit) {
    uint32_t w[2] = {0, 0};
    if (services(unit)->dev_prop_get(unit, kDevPropRatePbmp, w) < 0) return soc_pbmp_t{};
    return soc_pbmp_t{{w[0], w[1]}};
}

bool storm_capable(int unit, int port) {
    return port >= 0 && port < 64 && soc_pbmp_member(storm_ports(unit), port);
}

int start(int unit, soc_pbmp_t ports) {
    bool expected = false;
    if (!started[unit].compare_exchange_strong(expected, true)) return DXP_E_NONE;
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(ports, port)) continue;
        if (int rv = services(unit)->storm_control_enable_set(unit, port, 1); rv < 0) return rv;
    }
    return DXP_E_NONE;
}

soc_pbmp_t e_ports(int unit) {
    const soc_port_list_t &e = SOC_CONTROL(unit)->e;
    soc_pbmp_t b{};
    for (int port = e.min; port >= 0 && port <= e.max && port < 64; port++)
        if (soc_pbmp_member(e.bitmap, port)) soc_pbmp_port_add(&b, port);
    return b;
}

// The first port of the e list; -18 when the list is empty.
int first_e_port(int unit) {
    const soc_pbmp_t b = e_ports(unit);
    for (int port = 0; port < 64; port++)
        if (soc_pbmp_member(b, port)) return port;
    return DXP_E_PORT;
}

int set_all(int unit, uint32_t mask, uint32_t limit) {
    soc_pbmp_t ports = SOC_CONTROL(unit)->all.bitmap;
    const soc_pbmp_t capable = storm_ports(unit);
    ports.w[0] &= capable.w[0];
    ports.w[1] &= capable.w[1];
    if (!drv_storm_values_valid(limit, 0)) return DXP_E_PARAM;
    if (int rv = start(unit, ports); rv < 0) return rv;
    int rv = services(unit)->storm_control_set(unit, ports.w[0], ports.w[1], mask, limit, 0);
    return rv < 0 ? rv : DXP_E_NONE;
}

int class_set(const char *op, const Class &c, int unit, int limit, int flags, int port) {
    if (int rv = trace(op, unit); rv < 0) return rv;
    if (!storm_capable(unit, port)) return DXP_E_PARAM;
    if ((flags & c.api) && !drv_storm_values_valid(static_cast<uint32_t>(limit), 0))
        return DXP_E_PARAM;
    if (int rv = start(unit, e_ports(unit)); rv < 0) return rv;
    uint32_t mask = 0, old_limit = 0, burst = 0;
    if (int rv = services(unit)->storm_control_get(unit, port, &mask, &old_limit, &burst); rv < 0)
        return rv;
    uint32_t new_limit = old_limit;
    if (flags & c.api) {
        mask |= c.drv;
        new_limit = static_cast<uint32_t>(limit);
    } else {
        mask &= ~c.drv;
    }
    const soc_pbmp_t b = tarn::port_bitmap(port);
    return services(unit)->storm_control_set(unit, b.w[0], b.w[1], mask, new_limit, burst);
}

int class_get(const char *op, const Class &c, int unit, int *limit, int *flags, int port) {
    if (int rv = trace(op, unit); rv < 0) return rv;
    if (!storm_capable(unit, port)) return DXP_E_PARAM;
    if (limit == nullptr || flags == nullptr) return DXP_E_PARAM;
    uint32_t mask = 0, l = 0, burst = 0;
    if (int rv = services(unit)->storm_control_get(unit, port, &mask, &l, &burst); rv < 0)
        return rv;
    if (mask & c.drv) *flags |= c.api;
    *limit = static_cast<int>(l);
    return DXP_E_NONE;
}

int bandwidth_checks(int unit, int port) {
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    if (port < 0 || port >= SOC_MAX_NUM_PORTS || SOC_CONTROL(unit)->port_type[port] == 0)
        return DXP_E_PORT;
    return storm_capable(unit, port) ? DXP_E_NONE : DXP_E_PARAM;
}

}  // namespace

int dxp_tarn_rate_set(int unit, int rate, int flags) {
    if (int rv = trace(__func__, unit); rv < 0) return rv;
    return set_all(unit, to_drv(flags), static_cast<uint32_t>(rate));
}

int dxp_tarn_rate_get(int unit, int *rate, int *flags) {
    if (int rv = trace(__func__, unit); rv < 0) return rv;
    if (rate == nullptr || flags == nullptr) return DXP_E_PARAM;
    const int port = first_e_port(unit);
    if (port < 0) return port;
    uint32_t mask = 0, limit = 0, burst = 0;
    if (int rv = services(unit)->storm_control_get(unit, port, &mask, &limit, &burst); rv < 0)
        return rv;
    *flags = to_api(mask);
    *rate = static_cast<int>(limit);
    return DXP_E_NONE;
}

int dxp_tarn_rate_mcast_set(int unit, int rate, int flags, int port) {
    return class_set(__func__, kMcast, unit, rate, flags, port);
}
int dxp_tarn_rate_bcast_set(int unit, int rate, int flags, int port) {
    return class_set(__func__, kBcast, unit, rate, flags, port);
}
int dxp_tarn_rate_dlfbc_set(int unit, int rate, int flags, int port) {
    return class_set(__func__, kDlf, unit, rate, flags, port);
}
int dxp_tarn_rate_mcast_get(int unit, int *rate, int *flags, int port) {
    return class_get(__func__, kMcast, unit, rate, flags, port);
}
int dxp_tarn_rate_bcast_get(int unit, int *rate, int *flags, int port) {
    return class_get(__func__, kBcast, unit, rate, flags, port);
}
int dxp_tarn_rate_dlfbc_get(int unit, int *rate, int *flags, int port) {
    return class_get(__func__, kDlf, unit, rate, flags, port);
}

int dxp_tarn_rate_type_set(int unit, dxp_rate_limit_t *rl) {
    if (int rv = trace(__func__, unit); rv < 0) return rv;
    if (rl == nullptr) return DXP_E_PARAM;
    const struct {
        int rate;
        int flag;
    } limits[] = {
        {rl->bcast_rate, DXP_RATE_BCAST},
        {rl->mcast_rate, DXP_RATE_MCAST},
        {rl->dlf_rate, DXP_RATE_DLF},
    };
    uint32_t smallest = 0;
    for (const auto &l : limits) {
        if (l.rate == 0) continue;
        if (!(rl->flags & l.flag)) return DXP_E_PARAM;
        const uint32_t rate = static_cast<uint32_t>(l.rate);
        if (smallest == 0 || rate < smallest) smallest = rate;
    }
    return set_all(unit, to_drv(rl->flags), smallest);
}

int dxp_tarn_rate_type_get(int unit, dxp_rate_limit_t *rl) {
    if (int rv = trace(__func__, unit); rv < 0) return rv;
    if (rl == nullptr) return DXP_E_PARAM;
    const int port = first_e_port(unit);
    if (port < 0) return port;
    uint32_t mask = 0, limit = 0, burst = 0;
    if (int rv = services(unit)->storm_control_get(unit, port, &mask, &limit, &burst); rv < 0)
        return rv;
    rl->flags = to_api(mask);
    if (mask & DRV_STORM_BCAST) rl->bcast_rate = static_cast<int>(limit);
    if (mask & DRV_STORM_MCAST) rl->mcast_rate = static_cast<int>(limit);
    if (mask & DRV_STORM_DLF) rl->dlf_rate = static_cast<int>(limit);
    return DXP_E_NONE;
}

int dxp_tarn_rate_bandwidth_set(int unit, int port, int flags, uint32_t kbits_sec,
                                uint32_t kbits_burst) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : %s()..\n", __func__);
    if (int rv = bandwidth_checks(unit, port); rv < 0) return rv;
    if (!drv_storm_values_valid(kbits_sec, kbits_burst)) return DXP_E_PARAM;
    if (int rv = start(unit, e_ports(unit)); rv < 0) return rv;
    uint32_t mask = 0, limit = 0, burst = 0;
    if (int rv = services(unit)->storm_control_get(unit, port, &mask, &limit, &burst); rv < 0)
        return rv;
    for (const Class &c : kClasses)
        mask = (flags & c.api) ? mask | c.drv : mask & ~c.drv;
    const soc_pbmp_t b = tarn::port_bitmap(port);
    return services(unit)->storm_control_set(unit, b.w[0], b.w[1], mask, kbits_sec, kbits_burst);
}

int dxp_tarn_rate_bandwidth_get(int unit, int port, int flags, uint32_t *kbits_sec,
                                uint32_t *kbits_burst) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : %s()..\n", __func__);
    if (int rv = bandwidth_checks(unit, port); rv < 0) return rv;
    if (kbits_sec == nullptr || kbits_burst == nullptr) return DXP_E_PARAM;
    uint32_t mask = 0, limit = 0, burst = 0;
    if (int rv = services(unit)->storm_control_get(unit, port, &mask, &limit, &burst); rv < 0)
        return rv;
    if (flags != DXP_RATE_DLF && flags != DXP_RATE_MCAST && flags != DXP_RATE_BCAST)
        return DXP_E_PARAM;
    if (mask & to_drv(flags)) {
        *kbits_sec = limit;
        *kbits_burst = burst;
    }
    return DXP_E_NONE;
}
