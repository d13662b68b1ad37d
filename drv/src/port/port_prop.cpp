// Port property set and get: each property goes to the port's MAC driver,
// its PHY driver or the chip registers. A set on a bitmap visits every port
// and answers the first failure, so an early port's failure is never hidden
// by a later port's success.
#include <cstring>

#include "drv_port.h"
#include "port_internal.h"
#include "port_table.h"
#include "soc_error.h"

using namespace drv_port;

namespace {

constexpr uint32_t kAbilityFromPhy = 0x300000;
constexpr int kPortWalkLimit = 64;
constexpr uint32_t kNoSpeed = 4;  // speed property code of a port with no speed

// Calls fn(port) for every port of bmp; the first negative result, else 0.
template <typename Fn>
int each_port(const soc_pbmp_t &bmp, Fn fn) {
    int first = SOC_E_NONE;
    for (int port = 0; port < kPortWalkLimit; port++) {
        if (!soc_pbmp_member(bmp, port)) continue;
        int rv = fn(port);
        if (rv < 0 && first == SOC_E_NONE) first = rv;
    }
    return first;
}

// Like each_port, but the first failure ends the walk.
template <typename Fn>
int each_port_until_failure(const soc_pbmp_t &bmp, Fn fn) {
    for (int port = 0; port < kPortWalkLimit; port++) {
        if (!soc_pbmp_member(bmp, port)) continue;
        if (int rv = fn(port); rv < 0) return rv;
    }
    return SOC_E_NONE;
}

int speed_mbps(uint32_t code) {
    switch (code) {
        case 1:
            return 10;
        case 2:
            return 100;
        case 3:
            return 1000;
        default:
            return -1;
    }
}

bool speed_code(int mbps, uint32_t *code) {
    for (uint32_t c = 1; c <= 3; c++) {
        if (speed_mbps(c) == mbps) {
            *code = c;
            return true;
        }
    }
    return false;
}

// Forced speed or duplex: the PHY leaves autonegotiation and takes the
// value (its answers do not count), then the MAC's answer is the port's.
template <typename PhyOp, typename MacOp>
int force_port(int unit, int port, PhyOp phy_driver_t::*phy_op, MacOp mac_driver_t::*mac_op,
               int value) {
    if (const phy_driver_t *phy = drv_port_phy(unit, port)) {
        if (phy->autoneg_set != nullptr) phy->autoneg_set(unit, port, 0);
        drv_set_MAC_autonegotiation(unit, port, 0);
        if (phy->*phy_op != nullptr) (phy->*phy_op)(unit, port, value);
    }
    return drv_port_call(drv_port_mac(unit, port), mac_op, unit, port, value);
}

int set_mdix(int unit, int port, uint32_t value) {
    const phy_driver_t *phy = drv_port_phy(unit, port);
    if (phy != nullptr && phy->mdix_set == nullptr) {
        soc_cm_debug_print(kTrace, "\t PHY_MDIX_SET()=SOC_E_UNAVAIL\n");
        return SOC_E_UNAVAIL;
    }
    int rv = drv_port_call(phy, &phy_driver_t::mdix_set, unit, port, static_cast<int>(value));
    soc_cm_debug_print(kTrace, "\t PHY_MDIX_SET()=%d\n", rv);
    return rv;
}

// Driver properties of one port.
int driver_port_set(int unit, int port, uint32_t type, uint32_t value) {
    const phy_driver_t *phy = drv_port_phy(unit, port);
    const mac_driver_t *mac = drv_port_mac(unit, port);
    const int v = static_cast<int>(value);
    int rv = 0;
    switch (type) {
        case PROP_AUTONEG:
            rv = drv_port_call(phy, &phy_driver_t::autoneg_set, unit, port, v);
            drv_set_MAC_autonegotiation(unit, port, v);
            return rv;
        case PROP_TX_PAUSE:
        case PROP_JAM:
            return drv_port_call(mac, &mac_driver_t::md_pause_set, unit, port, v, -1);
        case PROP_RX_PAUSE:
            return drv_port_call(mac, &mac_driver_t::md_pause_set, unit, port, -1, v);
        case LOCAL_ADVER:
            return drv_port_call(phy, &phy_driver_t::adv_local_set, unit, port, value);
        case PROP_INTERFACE:
            return drv_port_call(phy, &phy_driver_t::interface_set, unit, port, v);
        case PROP_MAC_ENABLE:
            return drv_port_call(mac, &mac_driver_t::md_enable_set, unit, port, v);
        case PROP_ENABLE:
            drv_port_call(phy, &phy_driver_t::enable_set, unit, port, v);
            return drv_port_call(mac, &mac_driver_t::md_enable_set, unit, port, v);
        case PROP_MAC_LOOPBACK:
            return drv_port_call(mac, &mac_driver_t::md_lb_set, unit, port, v);
        case PROP_PHY_LOOPBACK:
            return drv_port_call(phy, &phy_driver_t::loopback_set, unit, port, v);
        case PROP_PHY_MDIX:
            return set_mdix(unit, port, value);
        case PROP_MS:
            return drv_port_call(phy, &phy_driver_t::master_set, unit, port, v);
        case PROP_PHY_RESET:
            return drv_port_call(phy, &phy_driver_t::reset, unit, port,
                                 static_cast<void *>(nullptr));
        case PROP_FRAME_MAX:
            return drv_port_call(mac, &mac_driver_t::md_frame_max_set, unit, port, v);
        default:
            return SOC_E_PARAM;
    }
}

bool driver_set_prop(uint32_t type) {
    switch (type) {
        case PROP_AUTONEG:
        case PROP_TX_PAUSE:
        case PROP_JAM:
        case PROP_RX_PAUSE:
        case LOCAL_ADVER:
        case PROP_INTERFACE:
        case PROP_MAC_ENABLE:
        case PROP_ENABLE:
        case PROP_MAC_LOOPBACK:
        case PROP_PHY_LOOPBACK:
        case PROP_PHY_MDIX:
        case PROP_MS:
        case PROP_PHY_RESET:
        case PROP_FRAME_MAX:
            return true;
        default:
            return false;
    }
}

// PHY link events go only to PHYs that take them.
int phy_event(int unit, int port, uint32_t type) {
    const phy_driver_t *phy = drv_port_phy(unit, port);
    if (phy == nullptr) return SOC_E_NONE;
    int (*event)(int, int) = type == PROP_PHY_LINKUP_EVT ? phy->linkup_event : phy->linkdown_event;
    return event ? event(unit, port) : SOC_E_NONE;
}

int set_switch(int unit, const soc_pbmp_t &bmp, uint32_t type, uint32_t value) {
    if (type == PROP_SPEED || type == PROP_DUPLEX) {
        int v = type == PROP_SPEED ? speed_mbps(value) : value == 1 ? 0 : value == 2 ? 1 : -1;
        if (v < 0) return SOC_E_PARAM;
        return each_port(bmp, [&](int port) {
            return type == PROP_SPEED ? force_port(unit, port, &phy_driver_t::speed_set,
                                                   &mac_driver_t::md_speed_set, v)
                                      : force_port(unit, port, &phy_driver_t::duplex_set,
                                                   &mac_driver_t::md_duplex_set, v);
        });
    }
    if (driver_set_prop(type))
        return each_port(bmp, [&](int port) { return driver_port_set(unit, port, type, value); });
    if (reg_prop(type)) {
        if (int rv = reg_prop_set_check(unit, type, value); rv < 0) return rv;
        if (type == PROP_IPG_FE || type == PROP_IPG_GE || type == PROP_BPDU_RX) {
            // Chip-wide settings change only with the whole unit asked.
            soc_pbmp_t all{};
            drv_port_bitmap_get(unit, DRV_PBMP_ALL, &all);
            if (bmp.w[0] != all.w[0] || bmp.w[1] != all.w[1]) return SOC_E_NONE;
        }
        if (reg_prop_chip_wide(type)) return reg_prop_chip_set(unit, type, value);
        auto one = [&](int port) { return reg_prop_port_set(unit, port, type, value); };
        if (type == PROP_RESTART_AUTONEG) return each_port_until_failure(bmp, one);
        return each_port(bmp, one);
    }
    switch (type) {
        case PROP_PHY_LINKUP_EVT:
        case PROP_PHY_LINKDN_EVT:
            return each_port_until_failure(bmp,
                                           [&](int port) { return phy_event(unit, port, type); });
        case PROP_ENABLE_RESERVED:
            return each_port(bmp, [](int) { return SOC_E_UNAVAIL; });
        case PROP_PHY_MEDIUM:
        case PROP_PHY_MDIX_STATUS:
        case PROP_TYPE_51:
            return SOC_E_UNAVAIL;
        default:
            // Read-only and unknown properties; the medium records cannot
            // travel in a 32-bit value (drv_port_medium_config_set).
            return SOC_E_PARAM;
    }
}

int get_speed_duplex(int unit, int port, uint32_t type, uint32_t *out) {
    const phy_driver_t *phy = drv_port_phy(unit, port);
    const mac_driver_t *mac = drv_port_mac(unit, port);
    const bool speed = type == PROP_SPEED;
    int v = -1;
    // Without link the MAC's status shows no speed or duplex: the PHY holds
    // what the port is set to.
    int up = 1;
    const bool down = phy != nullptr && phy->link_get != nullptr &&
                      phy->link_get(unit, port, &up) >= 0 && up == 0;
    int rv = SOC_E_UNAVAIL;
    if (!down)
        rv = speed ? drv_port_call(mac, &mac_driver_t::md_speed_get, unit, port, &v)
                   : drv_port_call(mac, &mac_driver_t::md_duplex_get, unit, port, &v);
    if ((mac != nullptr || down) && rv < 0)
        rv = speed ? drv_port_call(phy, &phy_driver_t::speed_get, unit, port, &v)
                   : drv_port_call(phy, &phy_driver_t::duplex_get, unit, port, &v);
    if (speed) {
        // Negotiation not done yet: no speed, rather than a stale code.
        if (!speed_code(v, out)) *out = kNoSpeed;
    } else if (v == 0 || v == 1) {
        *out = static_cast<uint32_t>(v) + 1;
    }
    return rv;
}

// An int-valued driver read into the output word.
template <typename Driver, typename Op>
int read_int(const Driver *d, Op Driver::*op, int unit, int port, uint32_t *out) {
    int v = 0;
    int rv = drv_port_call(d, op, unit, port, &v);
    if (rv >= 0) *out = static_cast<uint32_t>(v);
    return rv;
}

int get_ability(int unit, int port, uint32_t type, uint32_t *out) {
    const phy_driver_t *phy = drv_port_phy(unit, port);
    const mac_driver_t *mac = drv_port_mac(unit, port);
    if (type == PROP_MAC_ABILITY)
        return drv_port_call(mac, &mac_driver_t::md_ability_get, unit, port, out);
    if (type == PROP_PHY_ABILITY)
        return drv_port_call(phy, &phy_driver_t::ability_get, unit, port, out);
    uint32_t phy_ability = 0, mac_ability = 0;
    if (int rv = drv_port_call(phy, &phy_driver_t::ability_get, unit, port, &phy_ability); rv < 0)
        return rv;
    if (int rv = drv_port_call(mac, &mac_driver_t::md_ability_get, unit, port, &mac_ability);
        rv < 0)
        return rv;
    *out = (mac_ability | kAbilityFromPhy) & phy_ability;
    return SOC_E_NONE;
}

int get_switch(int unit, int port, uint32_t type, uint32_t *out) {
    const phy_driver_t *phy = drv_port_phy(unit, port);
    const mac_driver_t *mac = drv_port_mac(unit, port);
    int a = 0, b = 0, rv = 0;
    switch (type) {
        case PROP_SPEED:
        case PROP_DUPLEX:
            return get_speed_duplex(unit, port, type, out);
        case PROP_AUTONEG:
            rv = drv_port_call(phy, &phy_driver_t::autoneg_get, unit, port, &a, &b);
            if (rv >= 0) *out = a ? DRV_PORT_AUTONEG_ON : DRV_PORT_AUTONEG_OFF;
            return rv;
        case PROP_TX_PAUSE:
        case PROP_RX_PAUSE:
        case PROP_JAM:
            rv = drv_port_call(mac, &mac_driver_t::md_pause_get, unit, port, &a, &b);
            if (rv >= 0) *out = static_cast<uint32_t>(type == PROP_RX_PAUSE ? b : a);
            return rv;
        case LOCAL_ADVER:
            return drv_port_call(phy, &phy_driver_t::adv_local_get, unit, port, out);
        case REMOTE_ADVER:
            return drv_port_call(phy, &phy_driver_t::adv_remote_get, unit, port, out);
        case PROP_PORT_ABILITY:
        case PROP_MAC_ABILITY:
        case PROP_PHY_ABILITY:
            return get_ability(unit, port, type, out);
        case PROP_INTERFACE:
            return read_int(mac, &mac_driver_t::md_interface_get, unit, port, out);
        case PROP_ENABLE:
            return read_int(phy, &phy_driver_t::enable_get, unit, port, out);
        case PROP_MAC_LOOPBACK:
            return read_int(mac, &mac_driver_t::md_lb_get, unit, port, out);
        case PROP_PHY_LOOPBACK:
            return read_int(phy, &phy_driver_t::loopback_get, unit, port, out);
        case PROP_PHY_MEDIUM:
            return read_int(phy, &phy_driver_t::medium_get, unit, port, out);
        case PROP_PHY_MEDIUM_CONFIG_COPPER:
        case PROP_PHY_MEDIUM_CONFIG_FIBER:
            // The output word is the first of the caller's medium record.
            return drv_port_call(phy, &phy_driver_t::medium_config_get, unit, port,
                                 type == PROP_PHY_MEDIUM_CONFIG_COPPER ? 1 : 2,
                                 reinterpret_cast<phy_medium_config_t *>(out));
        case PROP_PHY_MDIX:
            return read_int(phy, &phy_driver_t::mdix_get, unit, port, out);
        case PROP_PHY_MDIX_STATUS:
            return read_int(phy, &phy_driver_t::mdix_status_get, unit, port, out);
        case PROP_MS:
            return read_int(phy, &phy_driver_t::master_get, unit, port, out);
        case PROP_PHY_CABLE_DIAG:
            return drv_port_call(phy, &phy_driver_t::cable_diag, unit, port,
                                 reinterpret_cast<phy_cable_diag_t *>(out));
        case PROP_PHY_LINKCHANGE:
            return read_int(phy, &phy_driver_t::link_change, unit, port, out);
        case PROP_FRAME_MAX:
            return read_int(mac, &mac_driver_t::md_frame_max_get, unit, port, out);
        case PROP_ENABLE_RESERVED:
        case PROP_RESTART_AUTONEG:
        case PROP_TYPE_51:
            return SOC_E_UNAVAIL;
        default:
            if (reg_prop(type)) return reg_prop_get(unit, port, type, out);
            return SOC_E_PARAM;
    }
}

bool known_type(uint32_t type) {
    return type >= PROP_SPEED && type < DRV_PORT_PROP_COUNT;
}

}  // namespace

int drv_port_oper_mode_set(int unit, soc_pbmp_t bmp, uint32_t oper_mode) {
    soc_cm_debug_print(kTrace,
                       "drv_port_oper_mode_set : unit %d, bmp = %x,  mode = %d not support\n", unit,
                       bmp.w[0], oper_mode);
    return SOC_E_UNAVAIL;
}

int drv_port_oper_mode_get(int unit, int port, uint32_t *oper_mode) {
    soc_cm_debug_print(kTrace,
                       "drv_port_oper_mode_get : unit %d, port = %x,  mode = %d not support\n",
                       unit, port, oper_mode ? *oper_mode : 0);
    return SOC_E_UNAVAIL;
}

int drv_set_MAC_autonegotiation(int, int, int) {
    soc_cm_debug_print(kTrace, "drv_set_MAC_autonegotiation.\n");
    return SOC_E_UNAVAIL;
}

int drv_port_set(int unit, soc_pbmp_t bmp, uint32_t prop_type, uint32_t prop_val) {
    soc_cm_debug_print(kTrace, "drv_port_set: unit=%d bmp=%x %x\n", unit, bmp.w[0], bmp.w[1]);
    int rv = SOC_E_PARAM;
    if (known_type(prop_type))
        rv = drv_port_info(unit) ? set_switch(unit, bmp, prop_type, prop_val) : SOC_E_INIT;
    soc_cm_debug_print(kTrace, "drv_port_set: Exit\n");
    return rv;
}

int drv_port_get(int unit, int port, uint32_t prop_type, uint32_t *prop_val) {
    soc_cm_debug_print(kTrace, "drv_port_get: unit=%d port=%d\n", unit, port);
    if (!known_type(prop_type)) return SOC_E_PARAM;
    if (drv_port_info(unit) == nullptr) return SOC_E_INIT;
    return get_switch(unit, port, prop_type, prop_val);
}

int drv_port_medium_config_set(int unit, soc_pbmp_t bmp, int medium,
                               const phy_medium_config_t *config) {
    if (config == nullptr || (medium != 1 && medium != 2)) return SOC_E_PARAM;
    if (drv_port_info(unit) == nullptr) return SOC_E_INIT;
    return each_port(bmp, [&](int port) {
        phy_medium_config_t copy;
        std::memcpy(&copy, config, sizeof copy);
        return drv_port_call(drv_port_phy(unit, port), &phy_driver_t::medium_config_set, unit, port,
                             medium, &copy);
    });
}
