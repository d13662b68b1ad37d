// Small helpers the switching-feature commands share.
#pragma once

#include <initializer_list>

#include "diag_shell.h"
#include "dxp_error.h"
#include "dxp_types.h"
#include "port_reserve.h"
#include "sal.h"
#include "soc_control.h"

// Calls fn with every valid entry of the unit's L2 table.
void l2_walk(int unit, void (*fn)(int unit, const dxp_l2_addr *rec, void *cookie), void *cookie);

namespace feature_cmds {

// Sub-command words are compared whole and without regard to case.
inline bool word_is(const char *word, const char *name) {
    return word != nullptr && sal_strcasecmp(word, name) == 0;
}

inline const char *port_name(int unit, int port) {
    return SOC_CONTROL(unit)->port_name[port];
}

inline soc_pbmp_t all_ports(int unit) {
    return SOC_CONTROL(unit)->all.bitmap;
}

inline soc_pbmp_t pbmp_and(soc_pbmp_t a, const soc_pbmp_t &b) {
    a.w[0] &= b.w[0];
    a.w[1] &= b.w[1];
    return a;
}

inline dxp_pbmp_t to_dxp(const soc_pbmp_t &b) {
    return dxp_pbmp_t{{b.w[0], b.w[1]}};
}

inline soc_pbmp_t to_soc(const dxp_pbmp_t &b) {
    return soc_pbmp_t{{b.w[0], b.w[1]}};
}

// A VLAN id a command was given: 0 to 4095, the tag's 12 bits. A wider
// number is refused by the number typed, before the API's 16-bit id could
// turn it into another VLAN; false after the message.
constexpr long long kVlanIdLast = 0xfff;
inline bool vlan_id_fits(const char *cmd, long long vid) {
    if (vid >= 0 && vid <= kVlanIdLast) return true;
    sal_printf("%s: ERROR: VLAN ID %lld out of range (0-%lld)\n", cmd, vid, kVlanIdLast);
    return false;
}

// A change of a port under self-test is refused (the test gives the port
// back as it found it): true after printing the error for the first such
// port of the bitmap.
inline bool refuse_held(const char *cmd, int unit, const soc_pbmp_t &pbmp) {
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port) || !port_reserved(unit, port)) continue;
        sal_printf("%s: ERROR: port %s: %s\n", cmd, port_name(unit, port),
                   port_reserve_held_text(unit, port));
        return true;
    }
    return false;
}

// The text of a call's error: a change the switch API refused for a port
// under self-test names the port, one of a test's own addresses the address.
inline const char *errmsg(int rv) {
    int unit = 0, port = 0;
    if (rv != DXP_E_BUSY) return dxp_errmsg(rv);
    if (const char *address = port_reserve_take_address_refusal()) return address;
    if (!port_reserve_take_refusal(&unit, &port)) return dxp_errmsg(rv);
    static thread_local char text[128];
    const soc_control_t *s = SOC_CONTROL(unit);
    const char *cpu_owner = port_reserve_cpu_owner(unit, port);
    const char *held = port_reserve_held_text(unit, port);
    if (s != nullptr && cpu_owner != nullptr && port < SOC_MAX_NUM_PORTS)
        sal_snprintf(text, sizeof text, "port %s: CPU port under self-test (%s)",
                     s->port_name[port], cpu_owner);
    else if (s != nullptr && port >= 0 && port < SOC_MAX_NUM_PORTS)
        sal_snprintf(text, sizeof text, "port %s: %s", s->port_name[port], held);
    else
        sal_snprintf(text, sizeof text, "port %d: %s", port, held);
    return text;
}

struct Option {
    const char *name;
    uint32_t type;
    void *value;
};

// Parses the words into the options, keeping the stored values of the ones
// not given; 1 when the command goes on, else 0 with *rv set.
inline int options(int unit, args_t *a, std::initializer_list<Option> list, int *rv) {
    parse_table_t pt;
    parse_table_init(unit, &pt);
    for (const Option &o : list)
        parse_table_add(&pt, o.name, o.type | PQ_DFL, nullptr, o.value, nullptr);
    if (!parse_options(a, &pt, rv)) return 0;
    parse_table_done(&pt);
    return 1;
}

}  // namespace feature_cmds
