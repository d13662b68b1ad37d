// The two MAC driver records, the probe that picks one for a port, and the
// operations that differ between them: init and enable.
#include "chipdata/chipdata.h"
#include "drv_mac.h"
#include "drv_reg_value.h"
#include "mac_port.h"
#include "soc_error.h"

using namespace drv_mac;

namespace {

constexpr uint32_t kDebugFlowControl = 0x8000;

// The gigabit driver's port control register: the CPU port of the DXP7101
// family has its own.
DrvRegValue ge_port_control(int unit, int port) {
    MacPort p(unit, port);
    if (p.wide && p.cpu_port) return DrvRegValue(unit, R_MII_PCTL, port);
    return DrvRegValue(unit, R_G_PCTL, port);
}

int enable_mac(DrvRegValue &ctl, bool enable) {
    if (int rv = ctl.read(); rv < 0) return rv;
    ctl.set(F_MITX_DIS, enable ? 0 : 1);
    ctl.set(F_MIRX_DIS, enable ? 0 : 1);
    return ctl.write();
}

int enable_of(DrvRegValue &ctl, int *enable) {
    if (int rv = ctl.read(); rv < 0) return rv;
    *enable = ctl.get(F_MITX_DIS) == 0;
    return 0;
}

}  // namespace

int drv_mac_fe_init(int unit, int port) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_init\n");
    MacPort p(unit, port);
    if (!p.feDriver()) return SOC_E_PARAM;
    DrvRegValue ctl(unit, R_TH_PCTL, port);
    if (int rv = enable_mac(ctl, true); rv < 0) return rv;
    soc_cm_debug_print(kDebugFlowControl,
                       "drv_mac_fe_init: diable SW flow control bit at port=%d\n", port);
    DrvRegValue flow(unit, R_SW_FLOW_CON);
    if (int rv = flow.read(); rv < 0) return rv;
    flow.set(F_SW_FLOE_CON_EN, 1);
    flow.setBit(p.bit(), false);
    flow.set(F_TXFLOW_HALF_MODE, 1);
    int rv = flow.write();
    if (rv < 0 || !p.wide) return rv;
    DrvRegValue sts(unit, R_STS_OVERRIDE_P, port);
    if (rv = sts.read(); rv < 0) return rv;
    sts.set(F_EN_PHY_SCAN, 0);
    return sts.write();
}

int drv_mac_ge_init(int unit, int port) {
    soc_cm_debug_print(kTrace, "drv_mac_ge_init\n");
    MacPort p(unit, port);
    if (!p.geDriver()) return SOC_E_PARAM;
    DrvRegValue ctl = ge_port_control(unit, port);
    if (int rv = enable_mac(ctl, true); rv < 0) return rv;
    DrvRegValue flow(unit, R_SW_FLOW_CON);
    if (int rv = flow.read(); rv < 0) return rv;
    flow.set(F_SW_FLOE_CON_EN, 1);
    flow.setBit(p.q(), false);
    flow.setBit(p.q() + 1, false);
    flow.set(F_TXFLOW_HALF_MODE, 1);
    if (int rv = flow.write(); rv < 0) return rv;
    // The wide models' CPU port has no PHY to scan: its entry of the gigabit
    // override array is the CPU port's own override register, which the
    // management-port set-up has forced up (MII_SW_OR) and which stays so.
    if (p.wide && p.cpu_port) return SOC_E_NONE;
    MiimLock lock(unit);
    DrvRegValue sts(unit, R_STS_OVERRIDE_GP, port);
    if (int rv = sts.read(); rv < 0) return rv;
    sts.set(p.dxp7102 ? F_EN_STS_OVERRIDE : F_EN_PHY_SCAN, 0);
    return sts.write();
}

int drv_mac_fe_enable_set(int unit, int port, int enable) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_enable_set\n");
    if (!MacPort(unit, port).feDriver()) return SOC_E_PARAM;
    DrvRegValue ctl(unit, R_TH_PCTL, port);
    return enable_mac(ctl, enable != 0);
}

int drv_mac_fe_enable_get(int unit, int port, int *enable) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_enable_get\n");
    if (!MacPort(unit, port).feDriver()) return SOC_E_PARAM;
    DrvRegValue ctl(unit, R_TH_PCTL, port);
    return enable_of(ctl, enable);
}

int drv_mac_ge_enable_set(int unit, int port, int enable) {
    soc_cm_debug_print(kTrace, "drv_mac_ge_enable_set\n");
    if (!MacPort(unit, port).geDriver()) return SOC_E_PARAM;
    DrvRegValue ctl = ge_port_control(unit, port);
    return enable_mac(ctl, enable != 0);
}

int drv_mac_ge_enable_get(int unit, int port, int *enable) {
    soc_cm_debug_print(kTrace, "drv_mac_ge_enable_get\n");
    if (!MacPort(unit, port).geDriver()) return SOC_E_PARAM;
    DrvRegValue ctl = ge_port_control(unit, port);
    return enable_of(ctl, enable);
}

namespace {

// The two records differ in name, init and enable only.
constexpr mac_driver_t make_driver(const char *name, int (*init)(int, int),
                                   int (*enable_set)(int, int, int),
                                   int (*enable_get)(int, int, int *)) {
    return {name,
            init,
            enable_set,
            enable_get,
            drv_mac_fe_ge_duplex_set,
            drv_mac_fe_ge_duplex_get,
            drv_mac_fe_ge_speed_set,
            drv_mac_fe_ge_speed_get,
            drv_mac_fe_ge_pause_set,
            drv_mac_fe_ge_pause_get,
            drv_mac_fe_ge_pause_addr_set,
            drv_mac_fe_ge_pause_addr_get,
            drv_mac_fe_ge_loopback_set,
            drv_mac_fe_ge_loopback_get,
            drv_mac_fe_ge_interface_set,
            drv_mac_fe_ge_interface_get,
            drv_mac_fe_ge_ability_get,
            drv_mac_fe_ge_frame_max_set,
            drv_mac_fe_ge_frame_max_get,
            drv_mac_fe_ge_ifg_set,
            drv_mac_fe_ge_ifg_get,
            {nullptr, nullptr, nullptr, nullptr}};
}

}  // namespace

const mac_driver_t drv_mac_fe = make_driver("drv 10/100mb MAC Driver", drv_mac_fe_init,
                                            drv_mac_fe_enable_set, drv_mac_fe_enable_get);
const mac_driver_t drv_mac_ge = make_driver("drv 10/100/1000Mb MAC Driver", drv_mac_ge_init,
                                            drv_mac_ge_enable_set, drv_mac_ge_enable_get);

int drv_mac_probe(int unit, int port, const mac_driver_t **driver) {
    MacPort p(unit, port);
    if (p.feDriver()) {
        *driver = &drv_mac_fe;
    } else if (p.geDriver()) {
        *driver = &drv_mac_ge;
    } else {
        return SOC_E_UNAVAIL;
    }
    return 0;
}
