// The self-test port reservation: one bitmap of held ports per unit.
#include "port_reserve.h"

#include <atomic>

#include "dxpx.h"
#include "sal.h"

namespace {

constexpr int kUnits = DXP_UNITS_MAX;
constexpr int kWords = 2;

// "port_reserve": guards the owners; the held bits are atomics too, so that a
// setter can look without the lock (it must not take it under a feature
// manager's lock).
sal_mutex_t guard() {
    static sal_mutex_t m = sal_mutex_create("port_reserve");
    return m;
}
std::atomic<uint32_t> held[kUnits][kWords];
const char *owners[kUnits][kWords * 32];

bool unit_ok(int unit) {
    return unit >= 0 && unit < kUnits;
}

bool port_ok(int port) {
    return port >= 0 && port < kWords * 32;
}

}  // namespace

int port_reserve(int unit, dxp_pbmp_t ports, const char *owner) {
    if (!unit_ok(unit)) return DXP_E_UNIT;
    sal_mutex_take(guard(), sal_mutex_FOREVER);
    for (int w = 0; w < kWords; w++) {
        if ((held[unit][w].load() & ports.w[w]) != 0) {
            sal_mutex_give(guard());
            return DXP_E_BUSY;
        }
    }
    for (int w = 0; w < kWords; w++) {
        for (int b = 0; b < 32; b++)
            if (ports.w[w] >> b & 1) owners[unit][w * 32 + b] = owner;
        held[unit][w].fetch_or(ports.w[w]);
    }
    sal_mutex_give(guard());
    return DXP_E_NONE;
}

void port_reserve_release(int unit, dxp_pbmp_t ports) {
    if (!unit_ok(unit)) return;
    sal_mutex_take(guard(), sal_mutex_FOREVER);
    for (int w = 0; w < kWords; w++) {
        held[unit][w].fetch_and(~ports.w[w]);
        for (int b = 0; b < 32; b++)
            if (ports.w[w] >> b & 1) owners[unit][w * 32 + b] = nullptr;
    }
    sal_mutex_give(guard());
}

bool port_reserved(int unit, int port) {
    return unit_ok(unit) && port_ok(port) && (held[unit][port / 32].load() >> (port % 32) & 1);
}

bool port_reserved_lport(int lport) {
    int unit = 0, port = 0;
    return dxpx_lport_to_unit_port(lport, &unit, &port) >= 0 && port_reserved(unit, port);
}

const char *port_reserve_owner(int unit, int port) {
    if (!port_reserved(unit, port)) return nullptr;
    sal_mutex_take(guard(), sal_mutex_FOREVER);
    const char *owner = owners[unit][port];
    sal_mutex_give(guard());
    return owner;
}

int port_reserve_hold(int lport) {
    sal_mutex_take(guard(), sal_mutex_FOREVER);
    if (port_reserved_lport(lport)) {
        sal_mutex_give(guard());
        return DXP_E_BUSY;
    }
    return DXP_E_NONE;
}

void port_reserve_unhold(void) {
    sal_mutex_give(guard());
}
