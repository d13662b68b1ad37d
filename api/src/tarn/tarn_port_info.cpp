// The port info record: a port's settings and state read or applied in one
// go, each attribute through its own per-unit operation, and the start-up
// settings of a port from its configuration properties.
#include <cstring>

#include "dxp_tarn.h"
#include "soc_property.h"
#include "tarn_internal.h"

namespace {

constexpr uint32_t kPauseMask = DXP_PORT_ATTR_PAUSE_TX_MASK | DXP_PORT_ATTR_PAUSE_RX_MASK;
constexpr int kPhyMasterNone = 3;  // no master/slave resolution

// Speed and duplex still settling after a link change read as 0.
int settling(int rv, int *value) {
    if (rv != DXP_E_BUSY) return rv;
    *value = 0;
    return DXP_E_NONE;
}

// An attribute the port's MAC or PHY does not have is no failure of the
// record: its mask bit is cleared, so that callers see it absent rather than
// trust a value nobody read, and its field is cleared of what it held.
int absent_if_unavailable(int rv, dxp_port_info *info, uint32_t bit) {
    if (rv != DXP_E_UNAVAIL) return rv;
    info->action_mask &= ~bit;
    if (bit == DXP_PORT_ATTR_PHY_MASTER_MASK) info->phy_master = kPhyMasterNone;
    if (bit == DXP_PORT_ATTR_PAUSE_MAC_MASK)
        std::memset(info->pause_mac, 0, sizeof info->pause_mac);
    return DXP_E_NONE;
}

int selective_get(int unit, int port, dxp_port_info *info) {
    const uint32_t mask = info->action_mask;
    auto want = [mask](uint32_t bit) { return (mask & bit) != 0; };
    int rv = DXP_E_NONE;
    if (want(DXP_PORT_ATTR_ENABLE_MASK) &&
        (rv = dxp_port_enable_get(unit, port, &info->enable)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_LINKSTAT_MASK) &&
        (rv = dxp_port_link_status_get(unit, port, &info->linkstatus)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_AUTONEG_MASK) &&
        (rv = dxp_port_autoneg_get(unit, port, &info->autoneg)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_LOCAL_ADVERT_MASK) &&
        (rv = dxp_port_advert_get(unit, port, &info->local_advert)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_REMOTE_ADVERT_MASK)) {
        // A partner that advertises nothing is not a failure of the record.
        if (dxp_port_advert_remote_get(unit, port, &info->remote_advert) < 0) {
            info->remote_advert_valid = 0;
            info->remote_advert = 0;
        } else {
            info->remote_advert_valid = 1;
        }
    }
    // A port without a speed (negotiation not done) leaves the speed 0.
    if (want(DXP_PORT_ATTR_SPEED_MASK)) info->speed = 0;
    if (want(DXP_PORT_ATTR_SPEED_MASK) &&
        (rv = settling(dxp_port_speed_get(unit, port, &info->speed), &info->speed)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_DUPLEX_MASK) &&
        (rv = settling(dxp_port_duplex_get(unit, port, &info->duplex), &info->duplex)) < 0)
        return rv;
    if ((mask & kPauseMask) &&
        (rv = dxp_port_pause_get(unit, port, &info->pause_tx, &info->pause_rx)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_LINKSCAN_MASK) &&
        (rv = dxp_port_linkscan_get(unit, port, &info->linkscan)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_DISCARD_MASK) &&
        (rv = dxp_port_discard_get(unit, port, &info->discard)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_UNTAG_PRI_MASK) &&
        (rv = dxp_port_untagged_priority_get(unit, port, &info->untagged_priority)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_UNTAG_VLAN_MASK) &&
        (rv = dxp_port_untagged_vlan_get(unit, port, &info->untagged_vlan)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_STP_STATE_MASK) &&
        (rv = dxp_port_stp_get(unit, port, &info->stp_state)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_LOOPBACK_MASK) &&
        (rv = dxp_port_loopback_get(unit, port, &info->loopback)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_PHY_MASTER_MASK) &&
        (rv = absent_if_unavailable(dxp_port_master_get(unit, port, &info->phy_master), info,
                                    DXP_PORT_ATTR_PHY_MASTER_MASK)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_INTERFACE_MASK) &&
        (rv = dxp_port_interface_get(unit, port, &info->interface)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_SPEED_MAX_MASK) &&
        (rv = dxp_port_speed_max(unit, port, &info->speed_max)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_ABILITY_MASK) &&
        (rv = dxp_port_ability_get(unit, port, &info->ability)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_MDIX_MASK) && (rv = dxp_port_mdix_get(unit, port, &info->mdix)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_MDIX_STATUS_MASK) &&
        (rv = dxp_port_mdix_status_get(unit, port, &info->mdix_status)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_MEDIUM_MASK) &&
        (rv = dxp_port_medium_get(unit, port, &info->medium)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_LEARN_MASK) && (rv = dxp_port_learn_get(unit, port, &info->learn)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_PAUSE_MAC_MASK) &&
        (rv = absent_if_unavailable(dxp_port_pause_addr_get(unit, port, info->pause_mac), info,
                                    DXP_PORT_ATTR_PAUSE_MAC_MASK)) < 0)
        return rv;
    return DXP_E_NONE;
}

// The MAC reports the strapped interface, which the PHY need not take as a
// setting (RGMII on the copper gigabit PHYs): a record that keeps the
// interface the port has changes nothing there, so it cannot fail there and
// leave the attributes after it unapplied.
int interface_apply(int unit, int port, int intf) {
    int now = 0;
    if (dxp_port_interface_get(unit, port, &now) >= 0 && now == intf) return DXP_E_NONE;
    return dxp_port_interface_set(unit, port, intf);
}

int selective_set(int unit, int port, const dxp_port_info *info) {
    const uint32_t mask = info->action_mask;
    auto want = [mask](uint32_t bit) { return (mask & bit) != 0; };
    int rv = DXP_E_NONE;
    if (want(DXP_PORT_ATTR_ENABLE_MASK) && (rv = dxp_port_enable_set(unit, port, info->enable)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_INTERFACE_MASK) &&
        (rv = interface_apply(unit, port, info->interface)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_PHY_MASTER_MASK) &&
        (rv = dxp_port_master_set(unit, port, info->phy_master)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_LINKSCAN_MASK) &&
        (rv = dxp_port_linkscan_set(unit, port, info->linkscan)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_DISCARD_MASK) &&
        (rv = dxp_port_discard_set(unit, port, info->discard)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_UNTAG_PRI_MASK) &&
        (rv = dxp_port_untagged_priority_set(unit, port, info->untagged_priority)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_UNTAG_VLAN_MASK) &&
        (rv = dxp_port_untagged_vlan_set(unit, port, info->untagged_vlan)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_LOOPBACK_MASK) &&
        (rv = dxp_port_loopback_set(unit, port, info->loopback)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_LOCAL_ADVERT_MASK) &&
        (rv = dxp_port_advert_set(unit, port, info->local_advert)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_AUTONEG_MASK) &&
        (rv = dxp_port_autoneg_set(unit, port, info->autoneg)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_SPEED_MASK) && (rv = dxp_port_speed_set(unit, port, info->speed)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_DUPLEX_MASK) && (rv = dxp_port_duplex_set(unit, port, info->duplex)) < 0)
        return rv;
    if (mask & kPauseMask) {
        const int tx = want(DXP_PORT_ATTR_PAUSE_TX_MASK) ? info->pause_tx : -1;
        const int rx = want(DXP_PORT_ATTR_PAUSE_RX_MASK) ? info->pause_rx : -1;
        if ((rv = dxp_port_pause_set(unit, port, tx, rx)) < 0) return rv;
    }
    if (want(DXP_PORT_ATTR_STP_STATE_MASK) &&
        (rv = dxp_port_stp_set(unit, port, info->stp_state)) < 0)
        return rv;
    if (want(DXP_PORT_ATTR_MDIX_MASK) && (rv = dxp_port_mdix_set(unit, port, info->mdix)) < 0)
        return rv;
    return DXP_E_NONE;
}

int entry(const char *op, int unit, int port, const dxp_port_info *info) {
    if (int rv = tarn::port_entry(op, unit, port); rv < 0) return rv;
    return info != nullptr ? DXP_E_NONE : DXP_E_PARAM;
}

}  // namespace

int dxp_tarn_port_selective_get(int unit, int port, dxp_port_info *info) {
    if (int rv = entry(__func__, unit, port, info); rv < 0) return rv;
    soc_cm_debug_print(tarn::kDebugPort, "\t dxp_tarn_port_selective_get()..mask=0x%0x\n",
                       info->action_mask);
    return selective_get(unit, port, info);
}

int dxp_tarn_port_selective_set(int unit, int port, dxp_port_info *info) {
    if (int rv = entry(__func__, unit, port, info); rv < 0) return rv;
    return selective_set(unit, port, info);
}

int dxp_tarn_port_info_get(int unit, int port, dxp_port_info *info) {
    if (int rv = entry(__func__, unit, port, info); rv < 0) return rv;
    info->action_mask = DXP_PORT_ATTR_ALL_MASK;
    return dxp_port_selective_get(unit, port, info);
}

int dxp_tarn_port_info_set(int unit, int port, dxp_port_info *info) {
    if (int rv = entry(__func__, unit, port, info); rv < 0) return rv;
    info->action_mask = info->autoneg ? DXP_PORT_ATTR_AUTONEG_SAFE_MASK : DXP_PORT_ATTR_ALL_MASK;
    return dxp_port_selective_set(unit, port, info);
}

int dxp_tarn_port_info_save(int unit, int port, dxp_port_info *info) {
    if (int rv = entry(__func__, unit, port, info); rv < 0) return rv;
    info->action_mask = DXP_PORT_ATTR_ALL_MASK;
    if (int rv = dxp_port_selective_get(unit, port, info); rv < 0) return rv;
    // A restore must leave speed, duplex and pause to auto-negotiation, and
    // attributes the port lacks stay out of it.
    if (info->autoneg) info->action_mask &= DXP_PORT_ATTR_AUTONEG_SAFE_MASK;
    return DXP_E_NONE;
}

int dxp_tarn_port_info_restore(int unit, int port, dxp_port_info *info) {
    if (int rv = entry(__func__, unit, port, info); rv < 0) return rv;
    return dxp_port_selective_set(unit, port, info);
}

int dxp_tarn_port_settings_init(int unit, int port) {
    if (int rv = tarn::port_entry(__func__, unit, port); rv < 0) return rv;
    static constexpr struct {
        const char *name;
        uint32_t bit;
        int dxp_port_info::*field;
    } kSettings[] = {
        {"port_init_speed", DXP_PORT_ATTR_SPEED_MASK, &dxp_port_info::speed},
        {"port_init_duplex", DXP_PORT_ATTR_DUPLEX_MASK, &dxp_port_info::duplex},
        {"port_init_autoneg", DXP_PORT_ATTR_AUTONEG_MASK, &dxp_port_info::autoneg},
    };
    dxp_port_info info{};
    for (const auto &s : kSettings) {
        const int value = soc_property_port_get(unit, port, s.name, -1);
        if (value == -1) continue;
        info.*s.field = value;
        info.action_mask |= s.bit;
    }
    if (const int adv = soc_property_port_get(unit, port, "port_init_adv", -1); adv != -1) {
        info.local_advert = static_cast<uint32_t>(adv);
        info.action_mask |= DXP_PORT_ATTR_LOCAL_ADVERT_MASK;
    }
    return dxp_port_selective_set(unit, port, &info);
}
