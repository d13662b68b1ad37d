// The per-unit port table that the port attach fills with each port's PHY
// and MAC driver, and the neighbours above the chip services it calls.
#include "drv_port.h"
#include "port_table.h"
#include "sal.h"
#include "soc_error.h"

namespace {

soc_port_info_t *port_tables[SOC_MAX_NUM_DEVICES];
const drv_port_neighbours_t *neighbours = nullptr;

}  // namespace

soc_port_info_t *drv_port_info(int unit) {
    return unit >= 0 && unit < SOC_MAX_NUM_DEVICES ? port_tables[unit] : nullptr;
}

int drv_port_info_alloc(int unit) {
    if (unit < 0 || unit >= SOC_MAX_NUM_DEVICES) return SOC_E_UNIT;
    if (port_tables[unit] != nullptr) return SOC_E_NONE;
    void *p = sal_alloc(sizeof(soc_port_info_t) * SOC_MAX_NUM_PORTS, "soc_port_info");
    if (p == nullptr) return SOC_E_MEMORY;
    port_tables[unit] = static_cast<soc_port_info_t *>(p);
    return SOC_E_NONE;
}

soc_port_info_t *drv_port_entry(int unit, int port) {
    soc_port_info_t *table = drv_port_info(unit);
    if (table == nullptr || port < 0 || port >= SOC_MAX_NUM_PORTS) return nullptr;
    return &table[port];
}

const void *drv_port_driver_get(int unit, int port, int is_phy) {
    const soc_port_info_t *e = drv_port_entry(unit, port);
    if (e == nullptr) return nullptr;
    return is_phy ? static_cast<const void *>(e->phy_driver) : e->mac_driver;
}

void drv_port_neighbours_register(const drv_port_neighbours_t *n) {
    neighbours = n;
}

const drv_port_neighbours_t *drv_port_neighbours(void) {
    return neighbours;
}

void drv_port_info_host_forget(void) {
    for (soc_port_info_t *&t : port_tables) {
        if (t != nullptr) sal_free(t);
        t = nullptr;
    }
}
