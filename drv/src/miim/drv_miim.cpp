// PHY registers as pages of the switch's register space.
#include "drv_miim.h"

#include "drv_reg.h"
#include "sal.h"
#include "soc_cm.h"
#include "soc_control.h"
#include "soc_phy_info.h"
#include "soc_error.h"

namespace {

constexpr int kInvalidPage = 0xff;
constexpr int kSerdesBasePage = 0xb8;

int port_of_phy(const soc_control_t *s, uint8_t phy_addr) {
    int port = s->phyaddr_to_port[phy_addr];
    return port >= 0 && port < s->port_num ? port : -1;
}

int phy_page(int unit, int port) {
    const soc_control_t *s = SOC_CONTROL(unit);
    const soc_phy_info_t *phy = soc_phy_info(unit, port);
    if (phy != nullptr && (soc_phy_flags(phy) & PHY_FLAGS_SERDES)) {
        if (!soc_pbmp_member(s->ge.bitmap, port)) return kInvalidPage;
        if (SOC_IS_DXP7101_FAMILY(unit)) return port - s->cmic_port + kSerdesBasePage;
        return SOC_IS_DXP7102(unit) ? 0 : kInvalidPage;
    }
    if (SOC_IS_DXP7102(unit)) return 0x10 + port;
    if (SOC_IS_DXP7106(unit)) {
        if (port < 24) return 0xa0 + port;
        return port <= 28 ? 0xc0 + port : kInvalidPage;
    }
    if (SOC_IS_DXP7101(unit)) {
        if (port < 24) return 0xc0 + port;
        if (port < 48) return 0x88 + port;
        return port <= 52 ? 0xa8 + port : kInvalidPage;
    }
    return kInvalidPage;
}

// One two-byte transfer, alone under the process-wide "SPI" mutex: 0, -9 for a
// bus time-out, -1 for another bus failure or while no unit holds the mutex.
template <typename Transfer>
int spi_transfer(Transfer transfer) {
    sal_mutex_t spi = soc_spi_mutex();
    if (spi == nullptr) return SOC_E_INTERNAL;
    sal_mutex_take(spi, sal_mutex_FOREVER);
    int rv = transfer();
    sal_mutex_give(spi);
    if (rv >= 0) return 0;
    return rv == SOC_E_TIMEOUT ? SOC_E_TIMEOUT : SOC_E_INTERNAL;
}

bool task_context() {
    if (!sal_int_context()) return true;
    sal_assert("!sal_int_context()", "miim", __LINE__);
    return false;
}

}  // namespace

uint32_t drv_miim_addr(int unit, uint8_t phy_addr, uint8_t reg) {
    const soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr) return DRV_MIIM_ADDR_INVALID;
    int port = port_of_phy(s, phy_addr);
    int page = port < 0 ? kInvalidPage : phy_page(unit, port);
    if (page < 0 || page >= kInvalidPage) return DRV_MIIM_ADDR_INVALID;
    return static_cast<uint32_t>(page << 8 | ((reg * 2) & 0xff));
}

int drv_miim_write(int unit, uint8_t phy_addr, uint8_t reg, uint16_t data) {
    if (!task_context()) return SOC_E_PARAM;
    soc_cm_debug_print(DK_MIIM, "drv_miim_write: id=0x%02x addr=0x%02x data=0x%04x\n", phy_addr,
                       reg, data);
    uint32_t addr = drv_miim_addr(unit, phy_addr, reg);
    if ((addr >> 8) == kInvalidPage) return SOC_E_RESOURCE;
    uint8_t buf[2] = {static_cast<uint8_t>(data), static_cast<uint8_t>(data >> 8)};
    return spi_transfer([&] { return soc_cm_bus_reg_write(unit, addr, buf, 2); });
}

int drv_miim_read(int unit, uint8_t phy_addr, uint8_t reg, uint16_t *data) {
    if (!task_context()) return SOC_E_PARAM;
    if (data == nullptr) {
        sal_assert("phy_rd_data", "miim", __LINE__);
        return SOC_E_PARAM;
    }
    soc_cm_debug_print(DK_MIIM, "drv_miim_read: id=0x%02x addr=0x%02x\n", phy_addr, reg);
    uint32_t addr = drv_miim_addr(unit, phy_addr, reg);
    if ((addr >> 8) == kInvalidPage) return SOC_E_RESOURCE;
    uint8_t buf[2] = {};
    if (int rv = spi_transfer([&] { return soc_cm_bus_reg_read(unit, addr, buf, 2); }); rv < 0)
        return rv;
    *data = static_cast<uint16_t>(buf[0] | buf[1] << 8);
    soc_cm_debug_print(DK_MIIM, "drv_miim_read: read data=0x%04x\n", *data);
    return 0;
}

int drv_unavail_slot34(int, uint32_t, soc_pbmp_t, uint32_t) {
    return SOC_E_UNAVAIL;
}

int drv_unavail_slot35(int, uint32_t, int, uint32_t *) {
    return SOC_E_UNAVAIL;
}

int drv_unavail_slot36(int) {
    return SOC_E_UNAVAIL;
}

int drv_unavail_slot37(int) {
    return SOC_E_UNAVAIL;
}

int drv_unavail_slot38(int, uint32_t, int, uint32_t, uint32_t, uint32_t, uint32_t) {
    return SOC_E_UNAVAIL;
}

int drv_unavail_slot39(int, uint32_t, int, uint32_t) {
    return SOC_E_UNAVAIL;
}

int drv_unavail_slot40(int, uint32_t) {
    return SOC_E_UNAVAIL;
}
