// Queues, mirroring and switch controls across the registered units.
#include "dxpx.h"
#include "dxpx_internal.h"
#include "port_reserve.h"

int dxpx_cosq_config_set(int numq) {
    return dxpx_each_unit([=](int u) { return dxp_cosq_config_set(u, numq); });
}

int dxpx_cosq_config_get(int *numq) {
    if (numq == nullptr) return DXP_E_PARAM;
    return dxpx_first_unit([=](int u) { return dxp_cosq_config_get(u, numq); });
}

int dxpx_cosq_mapping_set(int priority, int cosq) {
    return dxpx_each_unit([=](int u) { return dxp_cosq_mapping_set(u, priority, cosq); });
}

int dxpx_cosq_mapping_get(int priority, int *cosq) {
    if (cosq == nullptr) return DXP_E_PARAM;
    return dxpx_first_unit([=](int u) { return dxp_cosq_mapping_get(u, priority, cosq); });
}

int dxpx_cosq_sched_set(int mode, const int *weights, int delay) {
    if (weights == nullptr) return DXP_E_PARAM;
    return dxpx_each_unit([=](int u) { return dxp_cosq_sched_set(u, mode, weights, delay); });
}

int dxpx_cosq_sched_get(int *mode, int *weights, int *delay) {
    if (mode == nullptr || weights == nullptr || delay == nullptr) return DXP_E_PARAM;
    return dxpx_first_unit([=](int u) { return dxp_cosq_sched_get(u, mode, weights, delay); });
}

int dxpx_mirror_mode_set(int mode) {
    return dxpx_each_unit([=](int u) { return dxp_mirror_mode_set(u, mode); });
}

int dxpx_mirror_init(void) {
    return dxpx_each_unit([](int u) { return dxp_mirror_init(u); });
}

int dxpx_mirror_mode_get(int *mode) {
    if (mode == nullptr) return DXP_E_PARAM;
    return dxpx_first_unit([=](int u) { return dxp_mirror_mode_get(u, mode); });
}

int dxpx_mirror_port_set(int lport, int mtp, uint32_t flags) {
    int unit, port, modid = 0;
    int rv = dxpx_lport_to_unit_port(lport, &unit, &port);
    if (rv < 0) return rv;
    // A copy into or out of a port under self-test would change its test's
    // frames; switching a port's mirroring off is always taken.
    if (((flags & 0x6) != 0 && port_reserved_lport(lport)) ||
        ((flags & 0x7) != 0 && port_reserved_lport(mtp)))
        return DXP_E_BUSY;
    if ((flags & 0x7) == 0) {
        dxpx_lport_modid_get(lport, &modid);
        return dxp_mirror_port_set(unit, port, modid, -1, flags);
    }
    int mtp_unit, mtp_port;
    rv = dxpx_lport_to_unit_port(mtp, &mtp_unit, &mtp_port);
    if (rv < 0) return rv;
    dxpx_lport_modid_get(mtp, &modid);
    if (mtp_unit != unit) {
        // Another unit's port is reachable only by directed mirroring.
        int directed = 0;
        if (dxp_switch_control_get(unit, dxpSwitchDirectedMirroring, &directed) < 0 || !directed)
            return DXP_E_PARAM;
    }
    return dxp_mirror_port_set(unit, port, modid, mtp_port, flags);
}

int dxpx_mirror_port_get(int lport, int *mtp, uint32_t *flags) {
    if (mtp == nullptr || flags == nullptr) return DXP_E_PARAM;
    return dxpx_on_lport(lport, [=](int u, int p) -> int {
        int modid = 0, port = -1;
        int rv = dxp_mirror_port_get(u, p, &modid, &port, flags);
        if (rv < 0) return rv;
        *mtp = (*flags & 0x1) ? dxpx_modport_to_lport(modid, port) : DXPX_LPORT_NONE;
        return DXP_E_NONE;
    });
}

int dxpx_mirror_ingress_get(int lport, int *enable) {
    if (enable == nullptr) return DXP_E_PARAM;
    return dxpx_on_lport(lport, [=](int u, int p) { return dxp_mirror_ingress_get(u, p, enable); });
}

int dxpx_mirror_egress_get(int lport, int *enable) {
    if (enable == nullptr) return DXP_E_PARAM;
    return dxpx_on_lport(lport, [=](int u, int p) { return dxp_mirror_egress_get(u, p, enable); });
}

int dxpx_switch_control_set(int type, int arg) {
    return dxpx_each_unit([=](int u) { return dxp_switch_control_set(u, type, arg); });
}

int dxpx_switch_control_get(int type, int *arg) {
    if (arg == nullptr) return DXP_E_PARAM;
    return dxpx_first_unit([=](int u) { return dxp_switch_control_get(u, type, arg); });
}
