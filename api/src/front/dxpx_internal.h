// Helpers shared by the modules of the multi-unit layer.
#pragma once

#include "dxpx.h"

// The registered units in ascending order.
struct dxpx_unit_set {
    int count;
    int units[DXP_UNITS_MAX];
};
void dxpx_units_get(dxpx_unit_set *set);

// Runs op(unit) on every registered unit; the last error other than -16, or
// -3 when no unit is registered.
template <typename Op>
int dxpx_each_unit(Op op) {
    dxpx_unit_set set;
    dxpx_units_get(&set);
    if (set.count == 0) return DXP_E_UNIT;
    int result = DXP_E_NONE;
    for (int i = 0; i < set.count; i++) {
        int rv = op(set.units[i]);
        if (rv < 0 && rv != DXP_E_UNAVAIL) result = rv;
    }
    return result;
}

// op(unit) on the lowest registered unit, or -3.
template <typename Op>
int dxpx_first_unit(Op op) {
    dxpx_unit_set set;
    dxpx_units_get(&set);
    if (set.count == 0) return DXP_E_UNIT;
    return op(set.units[0]);
}

// op(unit, port) for a logical port, or its error.
template <typename Op>
int dxpx_on_lport(int lport, Op op) {
    int unit, port;
    int rv = dxpx_lport_to_unit_port(lport, &unit, &port);
    if (rv < 0) return rv;
    return op(unit, port);
}

// The logical port of a module's port, or -1.
int dxpx_modport_to_lport(int modid, int modport);

// Installed on every registered unit; feeds the link fan-out.
void dxpx_link_unit_handler(int unit, int port, dxp_port_info *info);

// Starts receive and registers the callouts on a unit registered after
// dxpx_rx_start: 0 or the unit's error.
int dxpx_rx_unit_added(int unit);
// Receive counts as stopped once no unit is left.
void dxpx_rx_unit_removed(void);
