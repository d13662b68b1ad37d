// 802.1X port states and MAC security modes. A blocked port still receives
// what the chip's EAP filter lets through; learning is switched with the
// state on the wide models.
#include "drv_security.h"

#include "drv_arl.h"
#include "drv_if.h"
#include "drv_mem.h"
#include "drv_port.h"
#include "soc_cm.h"
#include "soc_error.h"

namespace {

constexpr uint32_t kLearnOn = 1, kLearnOff = 2;

// The security modes apply to the fast-Ethernet ports of the DXP7102.
soc_pbmp_t mode_ports(int unit, soc_pbmp_t bmp) {
    if (!SOC_IS_DXP7102(unit)) return bmp;
    const soc_pbmp_t &ge = SOC_CONTROL(unit)->ge.bitmap;
    return soc_pbmp_t{{bmp.w[0] & ~ge.w[0], bmp.w[1] & ~ge.w[1]}};
}

// The port property of the lowest mode bit; 0 when none is set.
uint32_t mode_prop(uint32_t mask) {
    static constexpr struct {
        uint32_t bit;
        uint32_t prop;
    } kModes[] = {
        {DRV_SECURITY_NONE, PROP_SEC_MODE_NONE},
        {DRV_SECURITY_STATIC_ACCEPT, PROP_SEC_MODE_STATIC_ACCEPT},
        {DRV_SECURITY_STATIC_REJECT, PROP_SEC_MODE_STATIC_REJECT},
        {DRV_SECURITY_DYNAMIC_SA_NUM, PROP_SEC_MODE_DYNAMIC_SA_NUM},
        {DRV_SECURITY_DYNAMIC_SA_MATCH, PROP_SEC_MODE_DYNAMIC_SA_MATCH},
    };
    for (const auto &m : kModes)
        if (mask & m.bit) return m.prop;
    return 0;
}

int set(int unit, soc_pbmp_t bmp, uint32_t prop, uint32_t value) {
    if (soc_pbmp_is_null(bmp)) return SOC_E_NONE;
    return DRV_SERVICES(unit)->port_set(unit, bmp, prop, value);
}

int learn(int unit, soc_pbmp_t bmp, bool on) {
    if (SOC_IS_DXP7102(unit)) return SOC_E_NONE;
    return DRV_SERVICES(unit)->arl_learn_enable_set(unit, bmp, on ? kLearnOn : kLearnOff);
}

int dot1x(int unit, soc_pbmp_t bmp, uint32_t mode, uint32_t block) {
    if (int rv = set(unit, bmp, PROP_802_1X_MODE, mode); rv < 0) return rv;
    return set(unit, bmp, PROP_802_1X_BLK_RX, block);
}

// Removes every address the ports own, static ones included.
int flush(int unit, soc_pbmp_t bmp) {
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(bmp, port)) continue;
        uint32_t key[DRV_ARL_ENTRY_WORDS] = {};
        uint32_t value = static_cast<uint32_t>(port);
        const drv_if_t *d = DRV_SERVICES(unit);
        int rv = d->mem_field_set(unit, DRV_MEM_ARL, DRV_MEM_FIELD_SRC_PORT, key, &value);
        if (rv == 0)
            rv = d->mem_delete(unit, DRV_MEM_ARL, key,
                               DRV_MEM_OP_DELETE_BY_PORT | DRV_MEM_OP_DELETE_BY_STATIC);
        // A chip without the table services has nothing to delete through them.
        if (rv < 0 && rv != SOC_E_UNAVAIL) return rv;
    }
    return SOC_E_NONE;
}

int uncontrolled(int unit, soc_pbmp_t bmp) {
    if (int rv = dot1x(unit, bmp, 0, 0); rv < 0) return rv;
    if (int rv = learn(unit, bmp, true); rv < 0) return rv;
    if (int rv = set(unit, mode_ports(unit, bmp), PROP_SEC_MODE_NONE, 0); rv < 0) return rv;
    return set(unit, bmp, PROP_ENABLE_TXRX, 1);
}

int authorized(int unit, soc_pbmp_t bmp, uint32_t mask, uint32_t limit) {
    if (int rv = dot1x(unit, bmp, 1, 0); rv < 0) return rv;
    const bool apply = mask & DRV_SECURITY_APPLY_MODE;
    // Without a mode bit there is nothing to apply: the port stays as it is.
    if (apply && mode_prop(mask) != 0) {
        if (int rv = set(unit, mode_ports(unit, bmp), mode_prop(mask), limit); rv < 0) return rv;
        if (int rv = set(unit, bmp, PROP_ENABLE_TX, 1); rv < 0) return rv;
    }
    return learn(unit, bmp, apply);
}

int unauthorized(int unit, soc_pbmp_t bmp, uint32_t mask) {
    if (int rv = dot1x(unit, bmp, 1, 1); rv < 0) return rv;
    if (int rv = learn(unit, bmp, false); rv < 0) return rv;
    const uint32_t prop = mode_prop(mask);
    if (prop == 0) return SOC_E_PARAM;
    if (int rv = set(unit, mode_ports(unit, bmp), prop, 0); rv < 0) return rv;
    if (int rv = flush(unit, bmp); rv < 0) return rv;
    return set(unit, bmp, PROP_ENABLE_TX, (mask & DRV_SECURITY_RX_DISABLE) ? 0 : 1);
}

}  // namespace

int drv_security_set(int unit, soc_pbmp_t bmp, uint32_t state, uint32_t mask, uint32_t limit) {
    soc_cm_debug_print(DK_PORT, "drv_security_set: unit = %d, bmp= 0x%x, state = %d, mask = 0x%x\n",
                       unit, bmp.w[0], static_cast<int>(state), mask);
    switch (state) {
        case DRV_SECURITY_STATE_UNCONTROLLED:
            return uncontrolled(unit, bmp);
        case DRV_SECURITY_STATE_UNAUTHORIZED:
            return unauthorized(unit, bmp, mask);
        case DRV_SECURITY_STATE_AUTHORIZED:
            return authorized(unit, bmp, mask, limit);
        default:
            return SOC_E_PARAM;
    }
}

int drv_security_get(int unit, int port, uint32_t *state, uint32_t *mask) {
    if (state == nullptr) return SOC_E_PARAM;
    uint32_t mode = 0, block = 0;
    const drv_if_t *d = DRV_SERVICES(unit);
    if (int rv = d->port_get(unit, port, PROP_802_1X_MODE, &mode); rv < 0) return rv;
    if (mode == 0) {
        *state = DRV_SECURITY_STATE_UNCONTROLLED;
    } else {
        if (int rv = d->port_get(unit, port, PROP_802_1X_BLK_RX, &block); rv < 0) return rv;
        *state = block ? DRV_SECURITY_STATE_UNAUTHORIZED : DRV_SECURITY_STATE_AUTHORIZED;
    }
    soc_cm_debug_print(DK_PORT, "drv_security_get: port= %d, state = %d, mask = 0x%x\n", port,
                       static_cast<int>(*state), mask ? *mask : 0u);
    return SOC_E_NONE;
}
