// The switch chip's own 1000BASE-X SERDES on a gigabit port without an
// external PHY, reached at the port's internal PHY address.
#include <algorithm>

#include "phy.h"
#include "phy_internal.h"
#include "sal.h"
#include "soc_error.h"

using namespace phy;

namespace {

constexpr int kSerdesResetTimeout = 10000000;
constexpr int kDescriptorBytes = 16;

void *descriptors[PHY_UNITS_MAX][SOC_MAX_NUM_PORTS];

int serdes_init(int unit, int port) {
    if (unit < 0 || unit >= PHY_UNITS_MAX || port < 0 || port >= SOC_MAX_NUM_PORTS)
        return SOC_E_PARAM;
    void *&d = descriptors[unit][port];
    if (d == nullptr) d = sal_alloc(kDescriptorBytes, "physerdes");
    if (d == nullptr) return SOC_E_MEMORY;
    std::fill_n(static_cast<uint8_t *>(d), kDescriptorBytes, 0);
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
template <int value>
int out_int(int, int, int *out) {
    if (out == nullptr) return SOC_E_PARAM;
    *out = value;
    return SOC_E_NONE;
}
int zero_set(int, int, int) {
    return SOC_E_NONE;
}

int serdes_autoneg_set(int unit, int port, int enable) {
    const uint16_t bits = MII_CTRL_AE | MII_CTRL_RAN;
    uint16_t ctrl = 0;
    if (int rv = rd_int(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    ctrl = enable ? (ctrl | bits) : static_cast<uint16_t>(ctrl & ~bits);
    return wr_int(unit, port, MII_CTRL, ctrl);
}

int serdes_autoneg_get(int unit, int port, int *enable, int *done) {
    if (enable == nullptr || done == nullptr) return SOC_E_PARAM;
    uint16_t ctrl = 0, stat = 0;
    if (int rv = rd_int(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    if (int rv = rd_int(unit, port, MII_STAT, &stat); rv < 0) return rv;
    *enable = (ctrl & MII_CTRL_AE) != 0;
    *done = (stat & MII_STAT_AN_DONE) != 0;
    return SOC_E_NONE;
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
int serdes_lb_get(int unit, int port, int *enable) {
    if (enable == nullptr) return SOC_E_PARAM;
    uint16_t ctrl = 0;
    if (int rv = rd_int(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    *enable = (ctrl & MII_CTRL_LE) != 0;
    return SOC_E_NONE;
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

const phy_driver_t phy_serdes_drv = {
    .drv_name = "Internal SERDES PHY Driver",
    .init = serdes_init,
    .reset = zero_reset,
    .link_get = serdes_link_get,
    .enable_set = phy::enable_set,
    .enable_get = phy::enable_get,
    .duplex_set = serdes_duplex_set,
    .duplex_get = out_int<1>,
    .speed_set = serdes_speed_set,
    .speed_get = out_int<1000>,
    .master_set = zero_set,
    .master_get = out_int<0>,
    .autoneg_set = serdes_autoneg_set,
    .autoneg_get = serdes_autoneg_get,
    .adv_local_set = serdes_adv_set,
    .adv_local_get = serdes_adv_get,
    .adv_remote_get = serdes_remote_get,
    .loopback_set = serdes_lb_set,
    .loopback_get = serdes_lb_get,
    .interface_set = serdes_interface_set,
    .interface_get = out_int<PHY_IF_GMII>,
    .ability_get = serdes_ability,
    .linkup_event = nullptr,
    .linkdown_event = nullptr,
    .mdix_set = fixed_mdix_set,
    .mdix_get = fixed_mdix_get,
    .mdix_status_get = fixed_mdix_status_get,
    .medium_config_set = nullptr,
    .medium_config_get = nullptr,
    .medium_get = out_int<PHY_MEDIUM_NONE>,
    .cable_diag = nullptr,
    .link_change = nullptr,
    .spare = {},
};

void phy_serdes_host_forget(void) {
    for (auto &unit : descriptors) {
        for (void *&d : unit) {
            if (d != nullptr) sal_free(d);
            d = nullptr;
        }
    }
}
