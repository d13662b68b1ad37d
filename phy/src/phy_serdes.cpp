// The switch chip's own 1000BASE-X SERDES on a gigabit port without an
// external PHY, reached at the port's internal PHY address.
#include "phy.h"
#include "phy_internal.h"
#include "sal.h"
#include "soc_error.h"

using namespace phy;

namespace {

constexpr int kSerdesResetTimeout = 10000000;

struct Descriptor {
    uint8_t bytes[16];
};
PortBlocks<Descriptor> descriptors;

int serdes_init(int unit, int port) {
    Descriptor *d = nullptr;  // kept for the port; nothing reads it yet
    if (int rv = descriptors.claim(unit, port, "physerdes", &d); rv < 0) return rv;
    uint16_t ctrl = 0;
    if (int rv = rd_int(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    if (int rv = wr_int(unit, port, MII_CTRL, ctrl | MII_CTRL_RESET); rv < 0) return rv;
    if (int rv = reset_wait(unit, port, ctrl, kSerdesResetTimeout, true); rv < 0) return rv;
    uint16_t v = 0;
    if (int rv = rd_int(unit, port, 16, &v); rv < 0) return rv;
    return wr_int(unit, port, 16, static_cast<uint16_t>((v & ~0x0010) | 0x0001));
}

int serdes_link_get(int unit, int port, int *up) {
    if (up == nullptr) return SOC_E_PARAM;
    *up = 0;
    // A disabled port stays down, as behind the copper PHYs: otherwise link
    // scan enables it again at the next link-up (a restart, a flap).
    if (flags(unit, port) & PHY_FLAGS_DISABLE) return SOC_E_NONE;
    uint16_t stat = 0;
    if (int rv = rd_int(unit, port, MII_STAT, &stat); rv < 0) return rv;
    *up = (stat & MII_STAT_LA) != 0;
    return SOC_E_NONE;
}

int serdes_duplex_set(int, int, int full) {
    return full ? SOC_E_NONE : SOC_E_UNAVAIL;
}
int serdes_speed_set(int, int, int mbps) {
    return mbps == 0 || mbps == 1000 ? SOC_E_NONE : SOC_E_CONFIG;
}

int serdes_adv_set(int unit, int port, uint32_t ability) {
    uint16_t anar = 0;
    if (int rv = rd_int(unit, port, MII_ANA, &anar); rv < 0) return rv;
    anar = x1000_page_of(ability);
    return wr_int(unit, port, MII_ANA, anar);
}

int serdes_page_get(int unit, int port, uint32_t reg, uint32_t *ability) {
    if (ability == nullptr) return SOC_E_PARAM;
    uint16_t page = 0;
    if (int rv = rd_int(unit, port, reg, &page); rv < 0) return rv;
    *ability = x1000_abilities_of(page);
    return SOC_E_NONE;
}
int serdes_adv_get(int unit, int port, uint32_t *ability) {
    return serdes_page_get(unit, port, MII_ANA, ability);
}
int serdes_remote_get(int unit, int port, uint32_t *ability) {
    return serdes_page_get(unit, port, MII_ANP, ability);
}

int serdes_lb_set(int unit, int port, int enable) {
    uint16_t ctrl = 0;
    if (int rv = rd_int(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    ctrl = enable ? (ctrl | MII_CTRL_LE) : static_cast<uint16_t>(ctrl & ~MII_CTRL_LE);
    return wr_int(unit, port, MII_CTRL, ctrl);
}

int serdes_interface_set(int, int, int intf) {
    switch (intf) {
        case PHY_IF_NONE:
        case PHY_IF_MII:
        case PHY_IF_GMII:
        case PHY_IF_SGMII:
            return SOC_E_NONE;
        default:
            return SOC_E_UNAVAIL;
    }
}

int serdes_ability(int, int, uint32_t *ability) {
    if (ability == nullptr) return SOC_E_PARAM;
    *ability = 0x108c20;
    return SOC_E_NONE;
}

}  // namespace

namespace phy {

uint16_t x1000_page_of(uint32_t ability) {
    uint16_t page = 0;
    page |= (ability & DRV_PA_1000MB_FD) ? 0x0020 : 0;
    page |= (ability & DRV_PA_1000MB_HD) ? 0x0040 : 0;
    switch (ability & (DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX)) {
        case DRV_PA_PAUSE_TX:
            page |= 0x0100;
            break;
        case DRV_PA_PAUSE_RX:
            page |= 0x0180;
            break;
        case DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX:
            page |= 0x0080;
            break;
        default:
            break;
    }
    return page;
}

uint32_t x1000_abilities_of(uint16_t page) {
    uint32_t a = 0;
    a |= (page & 0x0020) ? DRV_PA_1000MB_FD : 0;
    a |= (page & 0x0040) ? DRV_PA_1000MB_HD : 0;
    constexpr uint32_t kPause[] = {0, DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX, DRV_PA_PAUSE_TX,
                                   DRV_PA_PAUSE_RX};
    return a | kPause[(page >> 7) & 3];
}

}  // namespace phy

constinit const phy_driver_t phy_serdes_drv = [] {
    phy_driver_t d = fixed_driver_slots("Internal SERDES PHY Driver");
    d.init = serdes_init;
    d.link_get = serdes_link_get;
    d.duplex_set = serdes_duplex_set;
    d.speed_set = serdes_speed_set;
    d.speed_get = out_value<int, 1000>;
    d.autoneg_set = c22_autoneg_set<true>;
    d.autoneg_get = c22_autoneg_get<true>;
    d.adv_local_set = serdes_adv_set;
    d.adv_local_get = serdes_adv_get;
    d.adv_remote_get = serdes_remote_get;
    d.loopback_set = serdes_lb_set;
    d.loopback_get = c22_lb_get<true>;
    d.interface_set = serdes_interface_set;
    d.interface_get = out_value<int, PHY_IF_GMII>;
    d.ability_get = serdes_ability;
    return d;
}();

void phy_serdes_host_forget(void) {
    descriptors.forget();
}
