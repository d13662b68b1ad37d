// The four generic driver records: no PHY to touch, nothing attached, any
// clause-22 10/100 PHY and any clause-22 10/100/1000 PHY.
#include "phy.h"
#include "phy_internal.h"
#include "sal.h"
#include "soc_error.h"

using namespace phy;

namespace {

// Simulated-platform boot flag under which the null driver drives a gigabit
// port's registers after all.
constexpr uint32_t kBootNullPhyRegs = 0x10000;

bool null_drives_regs(int unit, int port) {
    return (sal_boot_flags_get() & kBootNullPhyRegs) && ge_class(unit, port);
}

template <typename T, T value>
int out_value(int, int, T *out) {
    if (out == nullptr) return SOC_E_PARAM;
    *out = value;
    return SOC_E_NONE;
}
int zero_set(int, int, int) {
    return SOC_E_NONE;
}
int zero_ability_set(int, int, uint32_t) {
    return SOC_E_NONE;
}
int out_zero_pair(int, int, int *a, int *b) {
    if (a == nullptr || b == nullptr) return SOC_E_PARAM;
    *a = *b = 0;
    return SOC_E_NONE;
}

int null_ability(int unit, int port, uint32_t *ability) {
    if (ability == nullptr) return SOC_E_PARAM;
    if (hs_class(unit, port)) {
        *ability = 0x20200;
    } else {
        *ability = ge_class(unit, port) ? 0x8020 : 0x4008;
    }
    return SOC_E_NONE;
}

int null_duplex_set(int unit, int port, int full) {
    return null_drives_regs(unit, port) ? mii_duplex_set(unit, port, full) : SOC_E_NONE;
}

int null_duplex_get(int unit, int port, int *full) {
    if (full == nullptr) return SOC_E_PARAM;
    if (!null_drives_regs(unit, port)) {
        *full = 1;
        return SOC_E_NONE;
    }
    uint16_t ctrl = 0;
    if (int rv = rd(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    *full = (ctrl & MII_CTRL_FD) != 0;
    return SOC_E_NONE;
}

int null_speed_set(int unit, int port, int mbps) {
    return null_drives_regs(unit, port) ? mii_speed_set(unit, port, mbps) : SOC_E_NONE;
}

int null_speed_get(int unit, int port, int *mbps) {
    if (mbps == nullptr) return SOC_E_PARAM;
    if (SOC_CONTROL(unit) == nullptr || !SOC_IS_FAMILY_LAYOUT(unit)) return SOC_E_UNAVAIL;
    if (null_drives_regs(unit, port)) {
        uint16_t ctrl = 0;
        if (int rv = rd(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
        switch (ctrl & (MII_CTRL_SS_100 | MII_CTRL_SS_1000)) {
            case MII_CTRL_SS_1000:
                *mbps = 1000;
                return SOC_E_NONE;
            case 0:
                *mbps = 10;
                return SOC_E_NONE;
            case MII_CTRL_SS_100:
                *mbps = 100;
                return SOC_E_NONE;
            default:
                break;  // both bits: ask the chip port
        }
    }
    // The chip port's own speed, from its MAC driver.
    const auto *mac = static_cast<const mac_driver_t *>(drv_port_driver_get(unit, port, 0));
    if (mac == nullptr || mac->md_speed_get == nullptr) return SOC_E_UNAVAIL;
    return mac->md_speed_get(unit, port, mbps);
}

int null_interface_set(int unit, int port, int intf) {
    flags_set(unit, port, intf == PHY_IF_TBI ? PHY_FLAGS_TBI : 0,
              intf == PHY_IF_TBI ? 0 : PHY_FLAGS_TBI);
    return SOC_E_NONE;
}

int null_interface_get(int unit, int port, int *intf) {
    if (intf == nullptr) return SOC_E_PARAM;
    if (flags(unit, port) & PHY_FLAGS_TBI) {
        *intf = PHY_IF_TBI;
    } else if (ge_class(unit, port)) {
        *intf = PHY_IF_GMII;
    } else {
        *intf = hs_class(unit, port) ? PHY_IF_XGMII : PHY_IF_MII;
    }
    return SOC_E_NONE;
}

}  // namespace

const phy_driver_t phy_null = {
    .drv_name = "Null PHY Driver",
    .init = zero_init,
    .reset = zero_reset,
    .link_get = out_value<int, 1>,
    .enable_set = phy::enable_set,
    .enable_get = phy::enable_get,
    .duplex_set = null_duplex_set,
    .duplex_get = null_duplex_get,
    .speed_set = null_speed_set,
    .speed_get = null_speed_get,
    .master_set = zero_set,
    .master_get = out_value<int, 0>,
    .autoneg_set = zero_set,
    .autoneg_get = out_zero_pair,
    .adv_local_set = zero_ability_set,
    .adv_local_get = null_ability,
    .adv_remote_get = null_ability,
    .loopback_set = zero_set,
    .loopback_get = out_value<int, 0>,
    .interface_set = null_interface_set,
    .interface_get = null_interface_get,
    .ability_get = null_ability,
    .linkup_event = nullptr,
    .linkdown_event = nullptr,
    .mdix_set = fixed_mdix_set,
    .mdix_get = fixed_mdix_get,
    .mdix_status_get = fixed_mdix_status_get,
    .medium_config_set = nullptr,
    .medium_config_get = nullptr,
    .medium_get = out_value<int, PHY_MEDIUM_NONE>,
    .cable_diag = nullptr,
    .link_change = nullptr,
    .spare = {},
};

const phy_driver_t phy_noconn = {
    .drv_name = "No-connection PHY Driver",
    .init = zero_init,
    .reset = zero_reset,
    .link_get = out_value<int, 0>,
    .enable_set = phy::enable_set,
    .enable_get = phy::enable_get,
    .duplex_set = zero_set,
    .duplex_get = out_value<int, 1>,
    .speed_set = zero_set,
    .speed_get = out_value<int, 0>,
    .master_set = zero_set,
    .master_get = out_value<int, 0>,
    .autoneg_set = zero_set,
    .autoneg_get = out_zero_pair,
    .adv_local_set = zero_ability_set,
    .adv_local_get = null_ability,
    .adv_remote_get = null_ability,
    .loopback_set = zero_set,
    .loopback_get = out_value<int, 0>,
    .interface_set = zero_set,
    .interface_get = out_value<int, PHY_IF_NONE>,
    .ability_get = null_ability,
    .linkup_event = nullptr,
    .linkdown_event = nullptr,
    .mdix_set = fixed_mdix_set,
    .mdix_get = fixed_mdix_get,
    .mdix_status_get = fixed_mdix_status_get,
    .medium_config_set = nullptr,
    .medium_config_get = nullptr,
    .medium_get = out_value<int, PHY_MEDIUM_NONE>,
    .cable_diag = nullptr,
    .link_change = nullptr,
    .spare = {},
};

const phy_driver_t phy_fe_drv = {
    .drv_name = "Fast Ethernet PHY Driver",
    .init = fe_init,
    .reset = mii_reset,
    .link_get = mii_link_get,
    .enable_set = phy::enable_set,
    .enable_get = phy::enable_get,
    .duplex_set = mii_duplex_set,
    .duplex_get = mii_duplex_get,
    .speed_set = mii_speed_set,
    .speed_get = mii_speed_get,
    .master_set = mii_master_set,
    .master_get = mii_master_get,
    .autoneg_set = mii_autoneg_set,
    .autoneg_get = mii_autoneg_get,
    .adv_local_set = fe_adv_set,
    .adv_local_get = fe_adv_get,
    .adv_remote_get = fe_remote_get,
    .loopback_set = mii_lb_set,
    .loopback_get = mii_lb_get,
    .interface_set = fe_interface_set,
    .interface_get = fe_interface_get,
    .ability_get = fe_ability,
    .linkup_event = nullptr,
    .linkdown_event = nullptr,
    .mdix_set = fixed_mdix_set,
    .mdix_get = fixed_mdix_get,
    .mdix_status_get = fixed_mdix_status_get,
    .medium_config_set = nullptr,
    .medium_config_get = nullptr,
    .medium_get = medium_copper,
    .cable_diag = unavail_cable_diag,
    .link_change = nullptr,
    .spare = {},
};

const phy_driver_t phy_ge_drv = phy::ge_driver_slots();
