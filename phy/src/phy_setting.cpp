// Board settings a PHY driver reads at init: a value the fitted PHY cannot
// take, stored or the driver's own default, becomes the nearest one it can,
// and the log says so, so that no setting keeps a port from starting.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <span>

#include "logger.h"
#include "phy_internal.h"
#include "soc_property.h"

namespace {

// The stored number as the other settings read it, except that one beyond
// the int range is held at its end rather than wrapped into it: a huge value
// stays huge.
int stored_number(const char *text) {
    const char *end = nullptr;
    const int value = sal_ctoi(text, &end);
    char *wide_end = nullptr;
    const long long wide = std::strtoll(text, &wide_end, 0);
    if (wide_end != end) return value;  // a form strtoll reads otherwise (binary)
    return static_cast<int>(std::clamp<long long>(wide, INT_MIN, INT_MAX));
}

const char *port_name(int unit, int port) {
    const soc_control_t *s = SOC_CONTROL(unit);
    return s != nullptr && port >= 0 && port < SOC_MAX_NUM_PORTS ? s->port_name[port] : "?";
}

}  // namespace

namespace phy {

PortSetting setting_get(int unit, int port, const char *name, int dflt) {
    const char *text = soc_property_port_get_str(unit, port, name);
    return text != nullptr ? PortSetting{name, stored_number(text), true}
                           : PortSetting{name, dflt, false};
}

int nearest_of(int value, std::span<const int> takes) {
    int best = takes.front();
    for (int v : takes) {
        const long long d = std::llabs(static_cast<long long>(v) - value);
        const long long best_d = std::llabs(static_cast<long long>(best) - value);
        // A tie goes away from zero: the sign of the value is kept.
        if (d < best_d || (d == best_d && std::llabs(v) > std::llabs(best))) best = v;
    }
    return best;
}

int setting_taken(int unit, int port, const PortSetting &s, int taken, bool report) {
    if (taken != s.value && (s.stored || report))
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_PORT,
                      "%s: %s %d%s is not one the %s takes; using %d", port_name(unit, port),
                      s.name, s.value, s.stored ? "" : " (default)", soc_phy_name_get(unit, port),
                      taken);
    return taken;
}

}  // namespace phy
