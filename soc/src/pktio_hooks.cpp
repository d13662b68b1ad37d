// The unit life cycle's calls into the CPU packet path, which registers
// itself from above; and the link status override that the link scan needs.
#include <atomic>

#include "drv_if.h"
#include "soc.h"
#include "soc_error.h"
#include "soc_pktio.h"

namespace {

std::atomic<const soc_pktio_ops *> registered{nullptr};

// Chips whose gigabit override register has its own enable, and whose port
// overrides hold the PHY-scan enable.
constexpr uint32_t kGigabitOverrideEnable = 0x2d200000;
constexpr uint32_t kPhyScanInOverride = 0x2c000000;

void set_field(int unit, uint32_t reg, uint32_t *value, uint32_t field, uint32_t v) {
    DRV_SERVICES(unit)->reg_field_set(unit, reg, value, field, &v);
}

}  // namespace

void soc_pktio_register(const soc_pktio_ops *ops) {
    registered.store(ops);
}

int soc_tarn_dma_init(int unit) {
    const soc_pktio_ops *ops = registered.load();
    return ops ? ops->dma_init(unit) : 0;
}

// Without a packet path the controller keeps its empty unit record.
int soc_tarn_dma_attach(int dev) {
    const soc_pktio_ops *ops = registered.load();
    return ops ? ops->dma_attach(dev) : soc_tarn_attach(dev);
}

int soc_tarn_dma_detach(int dev) {
    const soc_pktio_ops *ops = registered.load();
    return ops ? ops->dma_detach(dev) : 0;
}

int soc_link_sts_override_set(int unit, int link, int port) {
    soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr) return SOC_E_UNIT;
    bool fe = soc_pbmp_member(soc->fe.bitmap, port);
    bool ge = soc_pbmp_member(soc->ge.bitmap, port);
    if (!fe && !ge) return SOC_E_PARAM;
    uint32_t reg = fe ? R_STS_OVERRIDE_P : R_STS_OVERRIDE_GP;
    const drv_if_t *svc = DRV_SERVICES(unit);
    uint32_t flags = soc->chip_flags;

    sal_mutex_take(soc->miim_lock, sal_mutex_FOREVER);
    uint32_t addr = svc->reg_addr(unit, reg, port, 0);
    int len = svc->reg_length_get(unit, reg);
    uint32_t value[2] = {0, 0};
    int rv = svc->reg_read(unit, addr, value, len);
    if (rv == 0) {
        uint32_t up = link ? 1 : 0;
        if (ge) {
            if (flags & SOC_CHIP_DXP7102) {
                set_field(unit, reg, value, F_EN_STS_OVERRIDE, 0);
            } else if (flags & kPhyScanInOverride) {
                set_field(unit, reg, value, F_EN_PHY_SCAN, 0);
            } else if (flags & kGigabitOverrideEnable) {
                set_field(unit, reg, value, F_PHY_SCAN_EN, 0);
            }
        } else {
            // The DXP7102 fast-Ethernet override takes the link inverted.
            if (flags & SOC_CHIP_DXP7102) up ^= 1;
            if (flags & SOC_CHIP_DXP7101_FAMILY) set_field(unit, reg, value, F_EN_PHY_SCAN, 0);
        }
        set_field(unit, reg, value, F_SW_ORD, 1);
        set_field(unit, reg, value, F_LINK_STS, up);
        rv = svc->reg_write(unit, addr, value, len);
    }
    sal_mutex_give(soc->miim_lock);
    return rv;
}
