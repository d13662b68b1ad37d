// Unit init: the port model again, the chip reset, the packet path, the chip
// set-up, features and PHYs, then the ARL shadow.
#include <cstdint>
#include <initializer_list>

#include "drv_if.h"
#include "soc.h"
#include "soc_property.h"
#include "soc_pktio.h"
#include "soc_error.h"

namespace {

constexpr int kResetPolls = 100000;
constexpr int kReadFailureSleepSecs = 3;
constexpr int kArlModeRun = 4;

// Sets the fields to 1, then polls until the poll field reads 0; a chip that
// never comes out of reset is a time-out, not a success.
int reset_through(int unit, uint32_t reg, std::initializer_list<uint32_t> fields,
                  uint32_t poll_field) {
    const drv_if_t *svc = DRV_SERVICES(unit);
    uint32_t addr = svc->reg_addr(unit, reg, 0, 0);
    int len = svc->reg_length_get(unit, reg);
    uint32_t value[2] = {0, 0};
    int rv = svc->reg_read(unit, addr, value, len);
    if (rv < 0) return rv;
    const uint32_t one = 1;
    for (uint32_t f : fields)
        svc->reg_field_set(unit, reg, value, f, &one);
    rv = svc->reg_write(unit, addr, value, len);
    if (rv < 0) return rv;
    for (int poll = 0; poll < kResetPolls; poll++) {
        value[0] = value[1] = 0;
        rv = svc->reg_read(unit, addr, value, len);
        if (rv < 0) {
            sal_sleep(kReadFailureSleepSecs);
            return rv;
        }
        uint32_t busy = 0;
        svc->reg_field_get(unit, reg, value, poll_field, &busy);
        if (busy == 0) return SOC_E_NONE;
    }
    soc_cm_print("soc_reset: unit %d: chip reset timed out\n", unit);
    return SOC_E_TIMEOUT;
}

int chip_reset(int unit) {
    if (soc_property_get(unit, "soc_skip_reset", 0)) return 0;
    uint32_t flags = SOC_CONTROL(unit)->chip_flags;
    if (flags & SOC_CHIP_DXP7101_FAMILY)
        return reset_through(unit, R_CHIP_RST_CTL, {F_RST_CHIP}, F_RST_CHIP);
    if (flags & (SOC_CHIP_DXP7107 | SOC_CHIP_DXP7104))
        return reset_through(unit, R_WATCH_DOG_CTRL, {F_EN_HW_RESET, F_SOFTWARE_RESET},
                             F_SOFTWARE_RESET);
    return 0;
}

}  // namespace

int soc_do_init(int unit, int reset) {
    if (!SOC_UNIT_VALID(unit)) {
        sal_assert("SOC_UNIT_VALID(unit)", __FILE__, __LINE__);
        return SOC_E_UNIT;
    }
    soc_control_t *soc = SOC_CONTROL(unit);
    if (!(soc->flags & SOC_F_ATTACHED)) return SOC_E_UNIT;

    soc->flags &= ~SOC_F_INITED;
    // The L2 shadow thread reads the record that init rebuilds; it starts
    // again at the end.
    if (int rv = soc_arl_mode_set(unit, 0); rv < 0) return rv;
    soc_tarn_info_config(unit, soc);
    if (reset) {
        int rv = chip_reset(unit);
        if (rv < 0) return rv;
    }
    if (soc_tarn_dma_init(unit) != 0) return SOC_E_INTERNAL;
    if (soc->chip_functions->chip_init(unit) != 0) return SOC_E_INTERNAL;
    soc_feature_init(unit);
    int rv = soc_phy_layer_init(unit);
    if (rv < 0) return rv;
    soc->flags &= SOC_F_KEEP_AFTER_INIT;
    if (reset) soc_tarn_port_reset_init(unit);
    rv = soc_arl_mode_set(unit, kArlModeRun);
    return rv < 0 ? rv : 0;
}

int soc_reset_init(int unit) {
    return soc_do_init(unit, 1);
}

int soc_init(int unit) {
    return soc_do_init(unit, 0);
}
