// Port link, MAC and PHY operations: each maps one API call onto a port
// property or status of the chip services, with the value translations the
// API and the services disagree on.
#include <cstring>

#include "drv_miim.h"
#include "dxp_tarn.h"
#include "soc_phy_info.h"
#include "tarn_internal.h"

namespace {

using tarn::port_entry;
using tarn::services;

constexpr uint32_t kPauseA = 0x800;      // pause receive ability
constexpr uint32_t kPauseP = 0x400;      // pause transmit ability
constexpr uint32_t kPauseAsym = 0x1000;  // pause in one direction only

int prop_set(int unit, int port, uint32_t type, uint32_t value) {
    return services(unit)->port_set(unit, tarn::port_bitmap(port), type, value);
}
int prop_get(int unit, int port, uint32_t type, uint32_t *value) {
    return services(unit)->port_get(unit, port, type, value);
}

// Asks link scan to look at the port again after a change that can move
// its link; simulated boots have no link to re-check.
void link_recheck(int unit, int port) {
    if (tarn::simulated_boot()) return;
    dxp_pbmp_t b{};
    dxp_pbmp_port_add(&b, port);
    dxp_link_change(unit, b);
}

// A PHY with a copper and a fibre medium: one may negotiate while the
// other is forced.
bool two_media(int unit, int port) {
    dxp_phy_config_t copper{};
    return prop_get(unit, port, PROP_PHY_MEDIUM_CONFIG_COPPER,
                    reinterpret_cast<uint32_t *>(&copper)) >= 0;
}

// A forced copper/fibre port keeps its pause in the advertisement's pause
// bits as well: the PHY carries them to the other medium, which negotiates
// with them, and the MAC takes them back when the port links forced again.
int forced_pause_advertise(int unit, int port) {
    uint32_t autoneg = 0, advert = 0, tx = 0, rx = 0;
    if (prop_get(unit, port, PROP_AUTONEG, &autoneg) < 0 || autoneg == DRV_PORT_AUTONEG_ON ||
        !two_media(unit, port) || prop_get(unit, port, LOCAL_ADVER, &advert) < 0)
        return DXP_E_NONE;
    if (int rv = prop_get(unit, port, PROP_TX_PAUSE, &tx); rv < 0) return rv;
    if (int rv = prop_get(unit, port, PROP_RX_PAUSE, &rx); rv < 0) return rv;
    const uint32_t next = (advert & ~(kPauseP | kPauseA)) | (tx ? kPauseP : 0) | (rx ? kPauseA : 0);
    return next == advert ? DXP_E_NONE : prop_set(unit, port, LOCAL_ADVER, next);
}

// A set that passes the value as is.
int plain_set(const char *op, int unit, int port, uint32_t type, uint32_t value) {
    if (int rv = port_entry(op, unit, port); rv < 0) return rv;
    return prop_set(unit, port, type, value);
}

// A PHY renegotiates when its auto-negotiation or advertisement changes. On
// a port with link the outcome is resolved again at once, so the MAC's
// speed, duplex and pause follow it without waiting for a link change; a PHY
// still negotiating reports its link down, and link scan follows that. An
// unchanged value (a form applied as it was) resolves nothing.
int renegotiating_set(const char *op, int unit, int port, uint32_t type, uint32_t value) {
    if (int rv = port_entry(op, unit, port); rv < 0) return rv;
    uint32_t before = 0, after = 0;
    const bool known = prop_get(unit, port, type, &before) >= 0;
    const int rv = prop_set(unit, port, type, value);
    if (rv < 0 || (known && prop_get(unit, port, type, &after) >= 0 && after == before)) return rv;
    uint32_t up = 0;
    if (tarn::link_scanned_up(unit, port) &&
        services(unit)->port_status_get(unit, port, PORT_STATUS_LINK, &up) >= 0 &&
        static_cast<int>(up) > 0) {
        // The setting is made; the next link change programs the MAC if this
        // cannot.
        if (int resolved = dxp_port_update(unit, port, 1); resolved < 0)
            soc_cm_debug_print(tarn::kDebugErr, "Port %d: link resolve failed: %s\n", port,
                               dxp_errmsg(resolved));
    }
    return rv;
}

// A get whose service answer is translated by map.
template <typename Out, typename Map>
int mapped_get(const char *op, int unit, int port, uint32_t type, Out *out, Map map) {
    if (int rv = port_entry(op, unit, port); rv < 0) return rv;
    if (out == nullptr) return DXP_E_PARAM;
    uint32_t v = 0;
    if (int rv = prop_get(unit, port, type, &v); rv < 0) return rv;
    map(v, out);
    return DXP_E_NONE;
}

template <typename Out>
void as_is(uint32_t v, Out *out) {
    *out = static_cast<Out>(v);
}
void non_zero(uint32_t v, int *out) {
    *out = v != 0;
}
int mdix_code(uint32_t v) {
    return v <= 2 ? static_cast<int>(v) : 3;
}

uint8_t phy_address(int unit, int port, uint32_t flags) {
    if (flags & 0x2) return static_cast<uint8_t>(port & 0xff);
    const soc_phy_info_t *phy = soc_phy_info(unit, port);
    // Without the PHY layer's record the board's default address holds.
    if (phy == nullptr) return static_cast<uint8_t>(port + 1);
    return (flags & 0x1) ? phy->phy_addr_int : phy->phy_addr;
}

}  // namespace

int dxp_tarn_port_enable_set(int unit, int port, int enable) {
    int rv = plain_set(__func__, unit, port, PROP_ENABLE, static_cast<uint32_t>(enable));
    if (rv < 0 || enable == 0) return rv;
    return tarn::discard_rx_keep(unit, port);
}
int dxp_tarn_port_enable_get(int unit, int port, int *enable) {
    return mapped_get(__func__, unit, port, PROP_ENABLE, enable, as_is<int>);
}

int dxp_tarn_port_speed_set(int unit, int port, int speed) {
    // A speed the port cannot run is refused rather than forced to another.
    uint32_t ability = 0;
    if (int rv = dxp_port_ability_get(unit, port, &ability); rv < 0) return rv;
    const uint32_t needed = speed == 10 ? 0x3 : speed == 100 ? 0xC : speed == 1000 ? 0x30 : 0;
    if ((ability & needed) == 0) return DXP_E_PARAM;
    const uint32_t code = speed == 10 ? 1 : speed == 100 ? 2 : 3;
    int rv = plain_set(__func__, unit, port, PROP_SPEED, code);
    if (rv >= 0) link_recheck(unit, port);
    return rv;
}
int dxp_tarn_port_speed_get(int unit, int port, int *speed) {
    return mapped_get(__func__, unit, port, PROP_SPEED, speed, [](uint32_t v, int *out) {
        if (v == 4) return;  // no speed to report
        *out = v == 1 ? 10 : v == 2 ? 100 : 1000;
    });
}

int dxp_tarn_port_duplex_set(int unit, int port, int duplex) {
    // Likewise a duplex that none of the port's speeds runs (a SERDES has
    // no half duplex).
    uint32_t ability = 0;
    if (int rv = dxp_port_ability_get(unit, port, &ability); rv < 0) return rv;
    constexpr uint32_t kHalf = 0x15, kFull = 0x2a;
    if ((ability & (kHalf | kFull)) != 0 && (ability & (duplex ? kFull : kHalf)) == 0)
        return DXP_E_PARAM;
    return plain_set(__func__, unit, port, PROP_DUPLEX, duplex ? 2 : 1);
}
int dxp_tarn_port_duplex_get(int unit, int port, int *duplex) {
    return mapped_get(__func__, unit, port, PROP_DUPLEX, duplex,
                      [](uint32_t v, int *out) { *out = v == 2; });
}

int dxp_tarn_port_autoneg_set(int unit, int port, int autoneg) {
    return renegotiating_set(__func__, unit, port, PROP_AUTONEG, static_cast<uint32_t>(autoneg));
}
int dxp_tarn_port_autoneg_get(int unit, int port, int *autoneg) {
    return mapped_get(__func__, unit, port, PROP_AUTONEG, autoneg,
                      [](uint32_t v, int *out) { *out = v == DRV_PORT_AUTONEG_ON; });
}

int dxp_tarn_port_advert_set(int unit, int port, uint32_t ability) {
    return renegotiating_set(__func__, unit, port, LOCAL_ADVER, ability);
}
int dxp_tarn_port_advert_get(int unit, int port, uint32_t *ability) {
    return mapped_get(__func__, unit, port, LOCAL_ADVER, ability, as_is<uint32_t>);
}
int dxp_tarn_port_advert_remote_get(int unit, int port, uint32_t *ability) {
    return mapped_get(__func__, unit, port, REMOTE_ADVER, ability, as_is<uint32_t>);
}

int dxp_tarn_port_pause_set(int unit, int port, int pause_tx, int pause_rx) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    // A MAC without asymmetric pause keeps one flag for both directions:
    // setting one direction would set the other as well.
    uint32_t mac = 0;
    const bool one_flag = prop_get(unit, port, PROP_MAC_ABILITY, &mac) >= 0 && !(mac & kPauseAsym);
    if (one_flag && (pause_tx >= 0 || pause_rx >= 0)) {
        int tx = pause_tx, rx = pause_rx;
        if (tx < 0 || rx < 0) {
            if (int rv = dxp_port_pause_get(unit, port, &tx, &rx); rv < 0) return rv;
            tx = pause_tx >= 0 ? pause_tx : tx;
            rx = pause_rx >= 0 ? pause_rx : rx;
        }
        if ((tx != 0) != (rx != 0)) return DXP_E_UNAVAIL;
    }
    if (pause_tx >= 0) {
        if (int rv = prop_set(unit, port, PROP_TX_PAUSE, static_cast<uint32_t>(pause_tx)); rv < 0)
            return rv;
    }
    if (pause_rx >= 0) {
        if (int rv = prop_set(unit, port, PROP_RX_PAUSE, static_cast<uint32_t>(pause_rx)); rv < 0)
            return rv;
    }
    return forced_pause_advertise(unit, port);
}
int dxp_tarn_port_pause_get(int unit, int port, int *pause_tx, int *pause_rx) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (pause_tx == nullptr || pause_rx == nullptr) return DXP_E_PARAM;
    uint32_t tx = 0, rx = 0;
    if (int rv = prop_get(unit, port, PROP_TX_PAUSE, &tx); rv < 0) return rv;
    if (int rv = prop_get(unit, port, PROP_RX_PAUSE, &rx); rv < 0) return rv;
    *pause_tx = tx != 0;
    *pause_rx = rx != 0;
    soc_cm_debug_print(tarn::kDebugPort, "\t Port_Pause, tpau=%d, rpau=%d\n", *pause_tx, *pause_rx);
    return DXP_E_NONE;
}

int dxp_tarn_port_pause_sym_set(int unit, int port, int pause) {
    if (pause < 0 || pause > 3) return DXP_E_PARAM;
    return dxp_port_pause_set(unit, port, (pause & 2) ? 1 : 0, (pause & 1) ? 1 : 0);
}
int dxp_tarn_port_pause_sym_get(int unit, int port, int *pause) {
    int tx = 0, rx = 0;
    if (int rv = dxp_port_pause_get(unit, port, &tx, &rx); rv < 0) return rv;
    if (pause == nullptr) return DXP_E_PARAM;
    *pause = (tx ? 2 : 0) | (rx ? 1 : 0);
    return DXP_E_NONE;
}

int dxp_tarn_port_interface_set(int unit, int port, int intf) {
    int rv = plain_set(__func__, unit, port, PROP_INTERFACE, static_cast<uint32_t>(intf));
    if (rv >= 0) link_recheck(unit, port);
    return rv;
}
int dxp_tarn_port_interface_get(int unit, int port, int *intf) {
    return mapped_get(__func__, unit, port, PROP_INTERFACE, intf, [](uint32_t v, int *out) {
        const bool known = v == 2 || v == 3 || v == 4 || v == 6 || v == 7;
        *out = known ? static_cast<int>(v) : 5;
    });
}

int dxp_tarn_port_master_set(int unit, int port, int ms) {
    int rv = plain_set(__func__, unit, port, PROP_MS, static_cast<uint32_t>(ms));
    if (rv >= 0) link_recheck(unit, port);
    return rv;
}
int dxp_tarn_port_master_get(int unit, int port, int *ms) {
    return mapped_get(__func__, unit, port, PROP_MS, ms,
                      [](uint32_t v, int *out) { *out = v <= 2 ? static_cast<int>(v) : 3; });
}

int dxp_tarn_port_frame_max_set(int unit, int port, int size) {
    return plain_set(__func__, unit, port, PROP_FRAME_MAX, static_cast<uint32_t>(size));
}
int dxp_tarn_port_frame_max_get(int unit, int port, int *size) {
    return mapped_get(__func__, unit, port, PROP_FRAME_MAX, size, as_is<int>);
}

int dxp_tarn_port_jam_set(int unit, int port, int enable) {
    return plain_set(__func__, unit, port, PROP_JAM, static_cast<uint32_t>(enable));
}
int dxp_tarn_port_jam_get(int unit, int port, int *enable) {
    return mapped_get(__func__, unit, port, PROP_JAM, enable, non_zero);
}

int dxp_tarn_port_ifg_get(int unit, int port, int speed, int, int *bit_times) {
    return mapped_get(__func__, unit, port, speed == 1000 ? PROP_IPG_GE : PROP_IPG_FE, bit_times,
                      as_is<int>);
}

int dxp_tarn_port_mdix_set(int unit, int port, int mode) {
    int rv = plain_set(__func__, unit, port, PROP_PHY_MDIX,
                       static_cast<uint32_t>(mdix_code(static_cast<uint32_t>(mode))));
    soc_cm_debug_print(tarn::kDebugPort, "dxp_tarn_port_mdix_set()=%d: ", rv);
    return rv;
}
int dxp_tarn_port_mdix_get(int unit, int port, int *mode) {
    return mapped_get(__func__, unit, port, PROP_PHY_MDIX, mode,
                      [](uint32_t v, int *out) { *out = mdix_code(v); });
}
int dxp_tarn_port_mdix_status_get(int unit, int port, int *status) {
    return mapped_get(__func__, unit, port, PROP_PHY_MDIX_STATUS, status, non_zero);
}

int dxp_tarn_port_medium_config_set(int unit, int port, int medium, dxp_phy_config_t *config) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (config == nullptr) return DXP_E_PARAM;
    static_assert(sizeof(dxp_phy_config_t) == sizeof(phy_medium_config_t));
    phy_medium_config_t record{};
    std::memcpy(&record, config, sizeof(record));
    return drv_port_medium_config_set(unit, tarn::port_bitmap(port), medium == 2 ? 2 : 1, &record);
}
int dxp_tarn_port_medium_config_get(int unit, int port, int medium, dxp_phy_config_t *config) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (config == nullptr) return DXP_E_PARAM;
    // The service fills the whole record behind the value pointer.
    return prop_get(unit, port,
                    medium == 2 ? PROP_PHY_MEDIUM_CONFIG_FIBER : PROP_PHY_MEDIUM_CONFIG_COPPER,
                    reinterpret_cast<uint32_t *>(config));
}
int dxp_tarn_port_medium_get(int unit, int port, int *medium) {
    return mapped_get(__func__, unit, port, PROP_PHY_MEDIUM, medium, as_is<int>);
}

int dxp_tarn_port_phy_reset(int unit, int port) {
    return plain_set(__func__, unit, port, PROP_PHY_RESET, 0);
}

int dxp_tarn_port_cable_diag(int unit, int port, dxp_port_cable_diag_t *status) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (status == nullptr) return DXP_E_PARAM;
    return prop_get(unit, port, PROP_PHY_CABLE_DIAG, reinterpret_cast<uint32_t *>(status));
}

int dxp_tarn_port_link_status_get(int unit, int port, int *up) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (up == nullptr) return DXP_E_PARAM;
    uint32_t v = 0;
    if (int rv = services(unit)->port_status_get(unit, port, PORT_STATUS_LINK, &v); rv < 0)
        return rv;
    *up = static_cast<int>(v) > 0;
    return DXP_E_NONE;
}

int dxp_tarn_port_ability_get(int unit, int port, uint32_t *ability) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (ability == nullptr) return DXP_E_PARAM;
    uint32_t phy = 0, mac = 0;
    if (int rv = prop_get(unit, port, PROP_PHY_ABILITY, &phy); rv < 0) return rv;
    if (int rv = prop_get(unit, port, PROP_MAC_ABILITY, &mac); rv < 0) return rv;
    soc_cm_debug_print(tarn::kDebugPort, "\t >> dxp_port_ability(PHY) = 0x%x\n", phy);
    soc_cm_debug_print(tarn::kDebugPort, "\t >> dxp_port_ability(MAC) = 0x%x\n", mac);
    *ability = ((phy | 0x40000) & mac) | (phy & 0x300000);
    return DXP_E_NONE;
}

int dxp_tarn_port_speed_max(int unit, int port, int *speed) {
    uint32_t ability = 0;
    int rv = dxp_port_ability_get(unit, port, &ability);
    if (rv < 0 || speed == nullptr) return rv < 0 ? rv : DXP_E_PARAM;
    if (ability & 0x300) {
        *speed = 10000;
    } else if (ability & 0x30) {
        *speed = 1000;
    } else if (ability & 0xC) {
        *speed = 100;
    } else if (ability & 0x3) {
        *speed = 10;
    }
    return rv;
}

int dxp_tarn_port_linkscan_set(int unit, int port, int linkscan) {
    return dxp_linkscan_mode_set(unit, port, linkscan);
}
int dxp_tarn_port_linkscan_get(int unit, int port, int *linkscan) {
    return dxp_linkscan_mode_get(unit, port, linkscan);
}

int dxp_tarn_port_loopback_set(int unit, int port, int loopback) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    // Forcing the link and releasing it makes link scan take the port down
    // and up again: a port already in the mode asked for keeps its link.
    uint32_t mac_now = 0, phy_now = 0;
    if (prop_get(unit, port, PROP_MAC_LOOPBACK, &mac_now) >= 0 &&
        prop_get(unit, port, PROP_PHY_LOOPBACK, &phy_now) >= 0 &&
        (mac_now != 0) == (loopback == 1) && (phy_now != 0) == (loopback == 2))
        return DXP_E_NONE;
    int rv = dxp_tarn_link_force(unit, port, 1, 1);
    if (rv >= 0) {
        const uint32_t mac = loopback == 1;
        rv = prop_set(unit, port, PROP_MAC_LOOPBACK, mac);
        soc_cm_debug_print(tarn::kDebugPort,
                           "dxp_tarn_port_loopback_set(%d):set MAC loopback, rv=%d", mac, rv);
        if (rv >= 0) {
            const uint32_t phy = loopback == 2;
            rv = prop_set(unit, port, PROP_PHY_LOOPBACK, phy);
            soc_cm_debug_print(tarn::kDebugPort,
                               "dxp_tarn_port_loopback_set(%d):set PHY loopback, rv=%d", phy, rv);
        }
    }
    if (loopback == 0 || rv < 0) {
        int released = dxp_tarn_link_force(unit, port, 0, 0);
        if (rv >= 0) rv = released;
    }
    return rv;
}
int dxp_tarn_port_loopback_get(int unit, int port, int *loopback) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    if (loopback == nullptr) return DXP_E_PARAM;
    uint32_t phy = 0, mac = 0;
    if (int rv = prop_get(unit, port, PROP_PHY_LOOPBACK, &phy); rv < 0) return rv;
    if (int rv = prop_get(unit, port, PROP_MAC_LOOPBACK, &mac); rv < 0) return rv;
    *loopback = mac ? 1 : phy ? 2 : 0;
    return DXP_E_NONE;
}

int dxp_tarn_port_phy_get(int unit, int port, uint32_t flags, uint32_t reg, uint32_t *data) {
    // Flag 0x2 names the PHY address in the port argument itself.
    const int checked = (flags & 0x2) ? -1 : port;
    if (int rv = checked < 0 ? tarn::port_entry_no_port(__func__, unit)
                             : port_entry(__func__, unit, checked);
        rv < 0)
        return rv;
    if (data == nullptr) return DXP_E_PARAM;
    uint16_t v = 0;
    int rv = services(unit)->miim_read(unit, phy_address(unit, port, flags),
                                       static_cast<uint8_t>(reg), &v);
    if (rv >= 0) *data = v;
    return rv;
}
int dxp_tarn_port_phy_set(int unit, int port, uint32_t flags, uint32_t reg, uint32_t data) {
    const int checked = (flags & 0x2) ? -1 : port;
    if (int rv = checked < 0 ? tarn::port_entry_no_port(__func__, unit)
                             : port_entry(__func__, unit, checked);
        rv < 0)
        return rv;
    return services(unit)->miim_write(unit, phy_address(unit, port, flags),
                                      static_cast<uint8_t>(reg), static_cast<uint16_t>(data));
}

int dxp_tarn_port_phy_drv_name_get(int unit, int, char *name, int len) {
    if (name == nullptr) return DXP_E_NOT_FOUND;
    if (tarn::unit_check(unit) < 0) return DXP_E_UNIT;
    uint32_t unused = 0;
    int rv = services(unit)->port_status_get(unit, 0, PORT_STATUS_PHY_DRV_NAME, &unused);
    if (rv == DXP_E_INIT) {
        static constexpr char kNoDriver[] = "driver not initialized";
        if (len >= static_cast<int>(sizeof(kNoDriver)))
            std::memcpy(name, kNoDriver, sizeof(kNoDriver));
        return rv;
    }
    if (rv < 0) return rv;
    // The name of the unit's PHY driver, as port 0 has it.
    const auto *phy = static_cast<const phy_driver_t *>(drv_port_driver_get(unit, 0, 1));
    const char *text = phy != nullptr && phy->drv_name != nullptr ? phy->drv_name : "";
    if (len > 0) {
        std::strncpy(name, text, static_cast<size_t>(len) - 1);
        name[len - 1] = '\0';
    }
    return DXP_E_NONE;
}

int dxp_tarn_port_medium_status_register(int unit, int port, dxp_port_medium_status_cb_t callback,
                                         void *user_data) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    const dxp_tarn_phy_hooks_t *hooks = dxp_tarn_phy_hooks();
    if (hooks == nullptr || hooks->medium_change_register == nullptr) return DXP_E_UNAVAIL;
    return hooks->medium_change_register(unit, port, callback, user_data);
}
int dxp_tarn_port_medium_status_unregister(int unit, int port, dxp_port_medium_status_cb_t callback,
                                           void *user_data) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    const dxp_tarn_phy_hooks_t *hooks = dxp_tarn_phy_hooks();
    if (hooks == nullptr || hooks->medium_change_unregister == nullptr) return DXP_E_UNAVAIL;
    return hooks->medium_change_unregister(unit, port, callback, user_data);
}

int dxp_tarn_port_phy_reset_register(int unit, int port, dxp_port_phy_reset_cb_t callback,
                                     void *user_data) {
    const dxp_tarn_phy_hooks_t *hooks = dxp_tarn_phy_hooks();
    if (hooks == nullptr || hooks->reset_register == nullptr) return DXP_E_UNAVAIL;
    return hooks->reset_register(unit, port, callback, user_data, 0);
}
int dxp_tarn_port_phy_reset_unregister(int unit, int port, dxp_port_phy_reset_cb_t callback,
                                       void *user_data) {
    const dxp_tarn_phy_hooks_t *hooks = dxp_tarn_phy_hooks();
    if (hooks == nullptr || hooks->reset_unregister == nullptr) return DXP_E_UNAVAIL;
    return hooks->reset_unregister(unit, port, callback, user_data);
}

int dxp_tarn_port_update(int unit, int port, int link) {
    if (int rv = port_entry(__func__, unit, port); rv < 0) return rv;
    soc_cm_debug_print(tarn::kDebugPort, "..port=%d, link=%d\n", port, link);
    uint32_t autoneg = 0;
    if (int rv = prop_get(unit, port, PROP_AUTONEG, &autoneg); rv < 0) return rv;
    if (!link) {
        if (int rv = prop_set(unit, port, PROP_MAC_ENABLE, 0); rv < 0) return rv;
        return prop_set(unit, port, PROP_PHY_LINKDN_EVT, 0);
    }
    if (int rv = prop_set(unit, port, PROP_PHY_LINKUP_EVT, 0); rv < 0) return rv;
    if (int rv = services(unit)->port_sw_mac_update(unit, tarn::port_bitmap(port)); rv < 0)
        return rv;
    if (autoneg == DRV_PORT_AUTONEG_ON) {
        uint32_t local = 0, remote = 0;
        if (int rv = prop_get(unit, port, LOCAL_ADVER, &local); rv < 0) return rv;
        if (int rv = prop_get(unit, port, REMOTE_ADVER, &remote); rv < 0) return rv;
        const bool la = local & kPauseA, lp = local & kPauseP;
        const bool ra = remote & kPauseA, rp = remote & kPauseP;
        const uint32_t tx = (ra && la) || (ra && !rp && lp);
        const uint32_t rx = (ra && la) || (la && !lp && rp);
        soc_cm_debug_print(tarn::kDebugPort, "_port_update: Pause check @ AN, tpau=%d,rpau=%d\n",
                           tx, rx);
        if (int rv = prop_set(unit, port, PROP_TX_PAUSE, tx); rv < 0) return rv;
        if (int rv = prop_set(unit, port, PROP_RX_PAUSE, rx); rv < 0) return rv;
    } else if (uint32_t local = 0;
               two_media(unit, port) && prop_get(unit, port, LOCAL_ADVER, &local) >= 0) {
        // Back from a medium that negotiated, the MAC pauses as the port was
        // forced to, not as that medium resolved.
        if (int rv = prop_set(unit, port, PROP_TX_PAUSE, (local & kPauseP) != 0); rv < 0) return rv;
        if (int rv = prop_set(unit, port, PROP_RX_PAUSE, (local & kPauseA) != 0); rv < 0) return rv;
    }
    if (int rv = prop_set(unit, port, PROP_ENABLE, 1); rv < 0) return rv;
    return tarn::discard_rx_keep(unit, port);
}
