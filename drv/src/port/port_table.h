// The port table's entries as the port services reach them.
#pragma once

#include "drv_port.h"
#include "soc_error.h"

// Allocates the unit's zero-filled table on first use: 0, -2, -3.
int drv_port_info_alloc(int unit);
// The port's entry, null without a table or for a port outside it.
soc_port_info_t *drv_port_entry(int unit, int port);
// What the start-up registered, null before.
const drv_port_neighbours_t *drv_port_neighbours(void);

// A driver operation by member: -4 without the driver, -16 without the
// operation, else its result.
template <typename Driver, typename Op, typename... Args>
int drv_port_call(const Driver *d, Op Driver::*op, int unit, int port, Args... args) {
    if (d == nullptr) return SOC_E_PARAM;
    if (d->*op == nullptr) return SOC_E_UNAVAIL;
    return (d->*op)(unit, port, args...);
}

inline const phy_driver_t *drv_port_phy(int unit, int port) {
    const soc_port_info_t *e = drv_port_entry(unit, port);
    return e ? e->phy_driver : nullptr;
}
inline const mac_driver_t *drv_port_mac(int unit, int port) {
    const soc_port_info_t *e = drv_port_entry(unit, port);
    return e ? e->mac_driver : nullptr;
}
