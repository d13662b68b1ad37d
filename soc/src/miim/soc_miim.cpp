// PHY register access by name through the unit's MIIM service slots.
#include "soc_miim.h"

#include <atomic>

#include "drv_if.h"
#include "sal.h"
#include "soc_cm.h"
#include "soc_property.h"
#include "soc_error.h"

namespace {

bool task_context() {
    if (!sal_int_context()) return true;
    sal_assert("!sal_int_context()", "miim", __LINE__);
    return false;
}

// Units of other layouts answer 0 and touch nothing; a unit without a record
// is no unit at all.
enum class MiimPath { Service, Skip, NoUnit };

MiimPath miim_path(int unit) {
    if (SOC_CONTROL(unit) == nullptr) return MiimPath::NoUnit;
    return SOC_IS_FAMILY_LAYOUT(unit) ? MiimPath::Service : MiimPath::Skip;
}

// Failed clause-22 accesses by unit, for the monitor's error report.
std::atomic<int> g_errors[SOC_MAX_NUM_DEVICES];

int counted(int unit, int rv) {
    if (rv < 0 && unit >= 0 && unit < SOC_MAX_NUM_DEVICES) g_errors[unit].fetch_add(1);
    return rv;
}

int clause45_result(int unit) {
    return soc_feature(unit, soc_feature_phy_cl45) ? 0 : SOC_E_UNAVAIL;
}

}  // namespace

int soc_miim_write(int unit, uint32_t phy_id, uint32_t phy_reg_addr, uint16_t phy_wr_data) {
    MiimPath path = miim_path(unit);
    if (path != MiimPath::Service) return path == MiimPath::NoUnit ? SOC_E_UNIT : SOC_E_NONE;
    return counted(unit,
                   DRV_SERVICES(unit)->miim_write(unit, static_cast<uint8_t>(phy_id),
                                                  static_cast<uint8_t>(phy_reg_addr), phy_wr_data));
}

int soc_miim_read(int unit, uint32_t phy_id, uint32_t phy_reg_addr, uint16_t *phy_rd_data) {
    if (!task_context()) return SOC_E_PARAM;
    if (phy_rd_data == nullptr) {
        sal_assert("phy_rd_data", "miim", __LINE__);
        return SOC_E_PARAM;
    }
    MiimPath path = miim_path(unit);
    if (path != MiimPath::Service) return path == MiimPath::NoUnit ? SOC_E_UNIT : SOC_E_NONE;
    return counted(unit,
                   DRV_SERVICES(unit)->miim_read(unit, static_cast<uint8_t>(phy_id),
                                                 static_cast<uint8_t>(phy_reg_addr), phy_rd_data));
}

int soc_miim_error_count(int unit) {
    return unit >= 0 && unit < SOC_MAX_NUM_DEVICES ? g_errors[unit].load() : 0;
}

int soc_miim_modify(int unit, uint32_t phy_id, uint32_t phy_reg_addr, uint16_t value,
                    uint16_t mask) {
    uint16_t old = 0;
    if (int rv = soc_miim_read(unit, phy_id, phy_reg_addr, &old); rv < 0) return rv;
    uint16_t now = static_cast<uint16_t>((value & mask) | (old & ~mask));
    return now == old ? 0 : soc_miim_write(unit, phy_id, phy_reg_addr, now);
}

int soc_miimc45_write(int unit, uint32_t phy_id, uint8_t phy_devad, uint16_t phy_reg_addr,
                      uint16_t phy_wr_data) {
    if (!task_context()) return SOC_E_PARAM;
    soc_cm_debug_print(DK_MIIM,
                       "soc_miimc45_write: id=0x%02x phy_devad=0x%02x addr=0x%02x data=0x%04x\n",
                       phy_id, phy_devad, phy_reg_addr, phy_wr_data);
    return clause45_result(unit);
}

int soc_miimc45_read(int unit, uint32_t phy_id, uint8_t phy_devad, uint16_t phy_reg_addr,
                     uint16_t *phy_rd_data) {
    if (!task_context()) return SOC_E_PARAM;
    soc_cm_debug_print(DK_MIIM, "soc_miimc45_read: id=0x%02x phy_devad=0x%02x addr=0x%02x\n",
                       phy_id, phy_devad, phy_reg_addr);
    (void)phy_rd_data;  // no clause-45 bus: nothing to read into it
    return clause45_result(unit);
}

int soc_miimc45_modify(int unit, uint32_t phy_id, uint8_t phy_devad, uint16_t phy_reg_addr,
                       uint16_t value, uint16_t mask) {
    uint16_t old = 0;
    int rv = soc_miimc45_read(unit, phy_id, phy_devad, phy_reg_addr, &old);
    if (rv < 0) return rv;
    uint16_t now = static_cast<uint16_t>((value & mask) | (old & ~mask));
    return now == old ? 0 : soc_miimc45_write(unit, phy_id, phy_devad, phy_reg_addr, now);
}
