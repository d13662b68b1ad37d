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

// No PHY to touch: fixed abilities by the port's class.
constexpr phy_driver_t no_phy_slots(const char *name) {
    phy_driver_t d = fixed_driver_slots(name);
    d.adv_local_get = null_ability;
    d.adv_remote_get = null_ability;
    d.ability_get = null_ability;
    return d;
}

}  // namespace

// Link up, and the port's own duplex, speed and interface (or the PHY's
// registers, when the boot flag asks).
constinit const phy_driver_t phy_null = [] {
    phy_driver_t d = no_phy_slots("Null PHY Driver");
    d.link_get = out_value<int, 1>;
    d.duplex_set = null_duplex_set;
    d.duplex_get = null_duplex_get;
    d.speed_set = null_speed_set;
    d.speed_get = null_speed_get;
    d.interface_set = null_interface_set;
    d.interface_get = null_interface_get;
    return d;
}();

constinit const phy_driver_t phy_noconn = no_phy_slots("No-connection PHY Driver");

constinit const phy_driver_t phy_fe_drv = fe_driver_slots();
const phy_driver_t phy_ge_drv = phy::ge_driver_slots();
