// The logical-port table and unit registration.
#include <algorithm>
#include <array>
#include <bitset>

#include "dxpx.h"
#include "dxpx_internal.h"
#include "sal.h"
#include "sal_lock.h"

namespace {

// The CPU unit's logical ports are its chip ports; other units follow.
constexpr int CPU_UNIT_LPORTS = DXP_PORTS_MAX;

std::array<dxpx_lport_t, DXPX_LPORT_MAX> table{};
int table_count = 0;
std::bitset<DXP_UNITS_MAX> registered;

sal_mutex_t table_mutex() {
    static sal_mutex_t m = sal_mutex_create("dxpx_lport");
    return m;
}

bool valid(int lport) {
    return lport >= 0 && lport < table_count && (table[lport].flags & DXPX_PORT_F_VALID);
}

int cpu_lport_locked(int unit) {
    for (int lp = 0; lp < table_count; lp++)
        if (valid(lp) && table[lp].unit == unit && (table[lp].flags & DXPX_PORT_F_CPU)) return lp;
    return DXPX_LPORT_NONE;
}

// -2 names the CPU port of the CPU unit (or of the lowest unit that has one).
int resolve_locked(int lport) {
    if (lport != DXPX_LPORT_CPU) return valid(lport) ? lport : DXPX_LPORT_NONE;
    int lp = cpu_lport_locked(DXPX_CPU_UNIT);
    for (int unit = 0; lp < 0 && unit < DXP_UNITS_MAX; unit++)
        if (registered[unit]) lp = cpu_lport_locked(unit);
    return lp;
}

// A copy of the valid entry lport names (-2 included): 0 or -18.
int resolved_entry(int lport, dxpx_lport_t *entry) {
    SalLock lock(table_mutex());
    int lp = resolve_locked(lport);
    if (lp < 0) return DXP_E_PORT;
    *entry = table[lp];
    return DXP_E_NONE;
}

uint32_t port_flags(const dxp_port_config_t &config, int port) {
    uint32_t flags = DXPX_PORT_F_VALID;
    if (dxp_pbmp_member(config.cmic, port)) flags |= DXPX_PORT_F_CPU;
    if (dxp_pbmp_member(config.fe, port)) flags |= DXPX_PORT_F_FE;
    if (dxp_pbmp_member(config.ge, port)) flags |= DXPX_PORT_F_GE;
    if (dxp_pbmp_member(config.xe, port)) flags |= DXPX_PORT_F_XE;
    return flags;
}

void recount_locked() {
    table_count = 0;
    for (int lp = 0; lp < DXPX_LPORT_MAX; lp++)
        if (table[lp].flags & DXPX_PORT_F_VALID) table_count = lp + 1;
}

// Enters the unit's ports into the table: 0, -8 or -6.
int add_unit_locked(int unit, const dxp_port_config_t &config, int modid) {
    if (registered[unit]) return DXP_E_EXISTS;
    int ports = 0;
    for (int port = 0; port < DXP_PORTS_MAX; port++)
        if (dxp_pbmp_member(config.all, port)) ports++;
    int base = unit == DXPX_CPU_UNIT ? 0 : std::max(CPU_UNIT_LPORTS, table_count);
    if (unit != DXPX_CPU_UNIT && base + ports > DXPX_LPORT_MAX) return DXP_E_FULL;

    int next = base;
    for (int port = 0; port < DXP_PORTS_MAX; port++) {
        if (!dxp_pbmp_member(config.all, port)) continue;
        int lp = unit == DXPX_CPU_UNIT ? port : next++;
        table[lp] = dxpx_lport_t{unit, port, -1, port_flags(config, port), modid, port};
    }
    registered[unit] = true;
    recount_locked();
    return DXP_E_NONE;
}

void remove_unit_locked(int unit) {
    for (dxpx_lport_t &entry : table)
        if ((entry.flags & DXPX_PORT_F_VALID) && entry.unit == unit) entry = dxpx_lport_t{};
    registered[unit] = false;
    recount_locked();
}

}  // namespace

void dxpx_units_get(dxpx_unit_set *set) {
    SalLock lock(table_mutex());
    set->count = 0;
    for (int unit = 0; unit < DXP_UNITS_MAX; unit++)
        if (registered[unit]) set->units[set->count++] = unit;
}

int dxpx_unit_register(int unit) {
    if (dxp_attach_check(unit) < 0) return DXP_E_UNIT;
    dxp_port_config_t config{};
    int rv = dxp_port_config_get(unit, &config);
    if (rv < 0) return rv;
    int modid = unit;
    if (dxp_stk_my_modid_get(unit, &modid) < 0) modid = unit;
    {
        SalLock lock(table_mutex());
        rv = add_unit_locked(unit, config, modid);
        if (rv < 0) return rv;
    }
    // A unit without link scanning still serves every other operation.
    rv = dxp_linkscan_register(unit, dxpx_link_unit_handler);
    bool linked = rv == DXP_E_NONE;
    if (rv == DXP_E_NONE || rv == DXP_E_UNAVAIL) rv = dxpx_rx_unit_added(unit);
    if (rv < 0) {
        // A failed registration leaves nothing behind, so that it can be retried.
        if (linked) dxp_linkscan_unregister(unit, dxpx_link_unit_handler);
        SalLock lock(table_mutex());
        remove_unit_locked(unit);
        return rv;
    }
    return DXP_E_NONE;
}

int dxpx_unit_unregister(int unit) {
    if (unit < 0 || unit >= DXP_UNITS_MAX) return DXP_E_UNIT;
    {
        SalLock lock(table_mutex());
        if (!registered[unit]) return DXP_E_UNIT;
        remove_unit_locked(unit);
    }
    dxp_linkscan_unregister(unit, dxpx_link_unit_handler);
    dxpx_rx_unit_removed();
    return DXP_E_NONE;
}

int dxpx_lport_count(void) {
    SalLock lock(table_mutex());
    return table_count;
}

int dxpx_lport_get(int lport, dxpx_lport_t *entry) {
    if (entry == nullptr) return DXP_E_PARAM;
    SalLock lock(table_mutex());
    if (lport < 0 || lport >= table_count) return DXP_E_PORT;
    *entry = table[lport];
    return DXP_E_NONE;
}

int dxpx_unit_port_to_lport(int unit, int port) {
    SalLock lock(table_mutex());
    for (int lp = 0; lp < table_count; lp++)
        if (valid(lp) && table[lp].unit == unit && table[lp].port == port) return lp;
    return DXPX_LPORT_NONE;
}

int dxpx_lport_to_unit_port(int lport, int *unit, int *port) {
    if (unit == nullptr || port == nullptr) return DXP_E_PARAM;
    dxpx_lport_t entry;
    int rv = resolved_entry(lport, &entry);
    if (rv < 0) return rv;
    *unit = entry.unit;
    *port = entry.port;
    return DXP_E_NONE;
}

int dxpx_lport_modid_get(int lport, int *modid) {
    if (modid == nullptr) return DXP_E_PARAM;
    dxpx_lport_t entry;
    int rv = resolved_entry(lport, &entry);
    if (rv < 0) return rv;
    *modid = entry.modid;
    return DXP_E_NONE;
}

int dxpx_unit_cpu_lport_get(int unit, int *lport) {
    if (lport == nullptr) return DXP_E_PARAM;
    SalLock lock(table_mutex());
    int lp = cpu_lport_locked(unit);
    if (lp < 0) return DXP_E_NOT_FOUND;
    *lport = lp;
    return DXP_E_NONE;
}

int dxpx_modport_to_lport(int modid, int modport) {
    SalLock lock(table_mutex());
    for (int lp = 0; lp < table_count; lp++)
        if (valid(lp) && table[lp].modid == modid && table[lp].modport == modport) return lp;
    return DXPX_LPORT_NONE;
}

int dxpx_port_lplist_populate(dxpx_lplist_t *list, uint32_t flags) {
    int rv = dxpx_lplist_clear(list);
    if (rv < 0) return rv;
    SalLock lock(table_mutex());
    for (int lp = 0; lp < table_count; lp++) {
        if (!valid(lp) || (table[lp].flags & flags) == 0) continue;
        rv = dxpx_lplist_add(list, lp);
        if (rv < 0) return rv;
    }
    return DXP_E_NONE;
}
