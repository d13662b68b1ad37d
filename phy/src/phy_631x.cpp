// The 10/100 PHYs of the 631X family and the switch chips' own fast-Ethernet
// PHYs: the generic fast-Ethernet driver plus power down and MDI-X control.
#include "chipdata/ids.h"
#include "phy.h"
#include "phy_internal.h"
#include "soc_error.h"

using namespace phy;

namespace {

constexpr uint32_t kAuxCtrl = 22, kAuxMode = 27, kMdixCtrl = 28, kPowerCtrl = 30, kShadow = 31;
constexpr uint32_t kShadowMdix = 16;
constexpr uint16_t kShadowOpen = 0x008b, kShadowClose = 0x000b;
constexpr uint16_t kPowerDown = 0x0008;
constexpr uint16_t kMdixMask = 0x1800, kMdixForceNormal = 0x0800, kMdixCrossover = 0x2000;
constexpr uint16_t kShadowForceAuto = 0x4000;

bool is_6311(const Ident &id) {
    return id.is(PHY_OUI_KEY_A, PHY_MODEL_6311);
}
bool is_6316(const Ident &id) {
    return id.is(PHY_OUI_KEY_A, PHY_MODEL_6316);
}
bool is_6317(const Ident &id) {
    return id.is(PHY_OUI_KEY_B, PHY_MODEL_6317);
}
bool is_7102_fe(const Ident &id) {
    return id.is(PHY_OUI_KEY_B, PHY_MODEL_7102_FE) || id.is(PHY_OUI_KEY_C, PHY_MODEL_7102_FE);
}
// Models whose forced-auto MDI-X bit lives in the shadow bank.
bool aux_mdix(const Ident &id) {
    return is_6317(id) || is_7102_fe(id);
}

int init_631x(int unit, int port) {
    if (int rv = fe_init(unit, port); rv < 0) return rv;
    if (int rv = wr(unit, port, kAuxCtrl, 0x0002); rv < 0) return rv;
    Ident id{};
    if (int rv = ident_read(unit, port, &id); rv < 0) return rv;
    if (!is_6317(id) && !is_7102_fe(id) && !is_6316(id)) return SOC_E_NONE;
    uint16_t v = 0;
    if (int rv = rd(unit, port, kAuxMode, &v); rv < 0) return rv;
    return wr(unit, port, kAuxMode, v | 0x0400);
}

int enable_set_631x(int unit, int port, int enable) {
    uint16_t v = 0;
    if (int rv = rd(unit, port, kPowerCtrl, &v); rv < 0) return rv;
    v = enable ? static_cast<uint16_t>(v & ~kPowerDown) : (v | kPowerDown);
    if (int rv = wr(unit, port, kPowerCtrl, v); rv < 0) return rv;
    return phy::enable_set(unit, port, enable);
}

int mdix_set_631x(int unit, int port, int mode) {
    Ident id{};
    if (int rv = ident_read(unit, port, &id); rv < 0) return rv;
    if (is_6311(id)) return mode == PHY_MDIX_NORMAL ? SOC_E_NONE : SOC_E_UNAVAIL;
    uint16_t ctrl = 0, shadow = 0;
    if (int rv = rd(unit, port, kMdixCtrl, &ctrl); rv < 0) return rv;
    const bool aux = aux_mdix(id);
    if (aux) {
        if (int rv = wr(unit, port, kShadow, kShadowOpen); rv < 0) return rv;
        if (int rv = rd(unit, port, kShadowMdix, &shadow); rv < 0) return rv;
    }
    uint16_t new_ctrl = ctrl, new_shadow = static_cast<uint16_t>(shadow & ~kShadowForceAuto);
    int rv = SOC_E_NONE;
    switch (mode) {
        case PHY_MDIX_FORCEAUTO:
            if (!aux) {
                rv = SOC_E_UNAVAIL;
                break;
            }
            new_ctrl &= static_cast<uint16_t>(~kMdixMask);
            new_shadow = shadow | kShadowForceAuto;
            break;
        case PHY_MDIX_AUTO:
            new_ctrl &= static_cast<uint16_t>(~kMdixMask);
            break;
        case PHY_MDIX_NORMAL:
            new_ctrl = static_cast<uint16_t>((new_ctrl & ~0x1000) | kMdixForceNormal);
            break;
        case PHY_MDIX_XOVER:
            new_ctrl |= kMdixMask;
            break;
        default:
            rv = SOC_E_UNAVAIL;
            break;
    }
    if (aux) {
        // The shadow bank is closed again whatever the outcome.
        if (rv >= 0 && new_shadow != shadow) rv = wr(unit, port, kShadowMdix, new_shadow);
        int close = wr(unit, port, kShadow, kShadowClose);
        if (rv >= 0) rv = close;
    }
    if (rv < 0) return rv;
    return new_ctrl != ctrl ? wr(unit, port, kMdixCtrl, new_ctrl) : SOC_E_NONE;
}

int mdix_get_631x(int unit, int port, int *mode) {
    if (mode == nullptr) return SOC_E_PARAM;
    Ident id{};
    if (int rv = ident_read(unit, port, &id); rv < 0) return rv;
    if (is_6311(id)) {
        *mode = PHY_MDIX_NORMAL;
        return SOC_E_NONE;
    }
    uint16_t ctrl = 0;
    if (int rv = rd(unit, port, kMdixCtrl, &ctrl); rv < 0) return rv;
    switch (ctrl & kMdixMask) {
        case kMdixForceNormal:
            *mode = PHY_MDIX_NORMAL;
            return SOC_E_NONE;
        case kMdixMask:
            *mode = PHY_MDIX_XOVER;
            return SOC_E_NONE;
        default:
            *mode = PHY_MDIX_AUTO;
            break;
    }
    if (!aux_mdix(id)) return SOC_E_NONE;
    uint16_t shadow = 0;
    if (int rv = wr(unit, port, kShadow, kShadowOpen); rv < 0) return rv;
    int rv = rd(unit, port, kShadowMdix, &shadow);
    int close = wr(unit, port, kShadow, kShadowClose);
    if (rv < 0) return rv;
    if (close < 0) return close;
    if (shadow & kShadowForceAuto) *mode = PHY_MDIX_FORCEAUTO;
    return SOC_E_NONE;
}

int mdix_status_get_631x(int unit, int port, int *status) {
    if (status == nullptr) return SOC_E_PARAM;
    Ident id{};
    if (int rv = ident_read(unit, port, &id); rv < 0) return rv;
    *status = 0;
    if (is_6311(id)) return SOC_E_NONE;
    uint16_t ctrl = 0;
    if (int rv = rd(unit, port, kMdixCtrl, &ctrl); rv < 0) return rv;
    *status = (ctrl & kMdixCrossover) != 0;
    return SOC_E_NONE;
}

}  // namespace

constinit const phy_driver_t phy_631x_drv = [] {
    phy_driver_t d = fe_driver_slots();
    d.drv_name = "Carvolix 631X 10/100 Fast Ethernet PHY Driver";
    d.init = init_631x;
    d.enable_set = enable_set_631x;
    d.mdix_set = mdix_set_631x;
    d.mdix_get = mdix_get_631x;
    d.mdix_status_get = mdix_status_get_631x;
    d.cable_diag = cable_diag_631x;
    return d;
}();
