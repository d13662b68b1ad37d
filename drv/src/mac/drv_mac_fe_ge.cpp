// MAC operations shared by the fast-Ethernet and gigabit drivers: duplex,
// speed and pause through the status-override, status and flow-control
// registers, and the fixed answers.
#include "chipdata/chipdata.h"
#include "drv_mac.h"
#include "drv_reg_value.h"
#include "mac_port.h"
#include "soc_error.h"

using namespace drv_mac;

namespace {

constexpr int kFrameMaxDxp7102 = 1536;
constexpr int kFrameMaxWide = 2048;
constexpr uint32_t kAbilityFe = 0x4c0f;
constexpr uint32_t kAbilityGe = 0x1fc2f;

// Read-modify-write of one field of the port's status override.
int override_set(int unit, uint32_t reg, int port, uint32_t field, uint32_t value) {
    MiimLock lock(unit);
    DrvRegValue sts(unit, reg, port);
    if (int rv = sts.read(); rv < 0) return rv;
    sts.set(field, value);
    return sts.write();
}

uint32_t two_bits(const DrvRegValue &v, int q) {
    return (v.bit(q) ? 1u : 0u) | (v.bit(q + 1) ? 2u : 0u);
}

// Strap of a DXP7102 gigabit port's interface: RGMII, TBI, GMII, MII.
constexpr int kStrapInterface[4] = {SOC_PORT_IF_RGMII, SOC_PORT_IF_TBI, SOC_PORT_IF_GMII,
                                    SOC_PORT_IF_MII};

}  // namespace

int drv_mac_fe_ge_duplex_set(int unit, int port, int duplex) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_duplex_set: u=%d p=%d FD=%x\n", unit, port, duplex);
    MacPort p(unit, port);
    uint32_t full = duplex != 0;
    // The DXP7102 fast-Ethernet override bit is active low.
    if (p.fe)
        return override_set(unit, R_STS_OVERRIDE_P, port, F_DUPLX_MODE, p.dxp7102 ? !full : full);
    if (p.ge) return override_set(unit, R_STS_OVERRIDE_GP, port, F_DUPLX_MODE, full);
    return SOC_E_PARAM;
}

int drv_mac_fe_ge_duplex_get(int unit, int port, int *duplex) {
    MacPort p(unit, port);
    if (!(p.ethernet || (p.dxp7102 && p.cpu_port))) return SOC_E_PARAM;
    DrvRegValue sts(unit, R_DUPSTS);
    if (int rv = sts.read(); rv < 0) return rv;
    *duplex = sts.bit(p.bit());
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_duplex_get: u=%d p=%d FD=%x\n", unit, port, *duplex);
    return 0;
}

int drv_mac_fe_ge_speed_set(int unit, int port, int speed) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_speed_set: u=%d p=%d sp=%d\n", unit, port, speed);
    MacPort p(unit, port);
    if (p.fe) {
        uint32_t fast = p.dxp7102 ? speed != 100 : speed == 100;
        return override_set(unit, R_STS_OVERRIDE_P, port, F_SPEED_R, fast);
    }
    if (p.ge) {
        uint32_t code = speed == 1000 ? 2 : speed == 100 ? 1 : 0;
        return override_set(unit, R_STS_OVERRIDE_GP, port, F_GIGA_SPEED, code);
    }
    return SOC_E_PARAM;
}

int drv_mac_fe_ge_speed_get(int unit, int port, int *speed) {
    MacPort p(unit, port);
    if (!p.oneBit() && !p.twoBits()) return SOC_E_PARAM;
    DrvRegValue sts(unit, R_SPDSTS);
    if (int rv = sts.read(); rv < 0) return rv;
    if (p.oneBit()) {
        *speed = sts.bit(p.bit()) ? 100 : 10;
    } else {
        uint32_t code = two_bits(sts, p.q());
        if (code == 3) return SOC_E_FAIL;
        *speed = code == 2 ? 1000 : code == 1 ? 100 : 10;
    }
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_speed_get: u=%d p=%d sp=%d\n", unit, port, *speed);
    return 0;
}

int drv_mac_fe_ge_pause_set(int unit, int port, int pause_tx, int pause_rx) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_pause_set: u=%d p=%d rxpause=0x%x txpause=0x%x\n",
                       unit, port, pause_rx, pause_tx);
    if (pause_tx == -1 && pause_rx == -1) return 0;
    MacPort p(unit, port);
    if (!p.oneBit() && !p.twoBits()) return SOC_E_PARAM;
    DrvRegValue flow(unit, R_SW_FLOW_CON);
    if (int rv = flow.read(); rv < 0) return rv;
    bool enabled = false;
    if (p.oneBit()) {
        if (pause_tx == -1) return 0;  // receive pause is not separate here
        enabled = pause_tx != 0;
        flow.setBit(p.bit(), enabled);
    } else {
        if (pause_rx != -1) {
            enabled = pause_rx != 0;
            flow.setBit(p.q(), enabled);
        }
        if (pause_tx != -1) {
            flow.setBit(p.q() + 1, pause_tx != 0);
            if (pause_tx != 0) enabled = true;
        }
    }
    if (enabled) flow.set(F_SW_FLOE_CON_EN, 1);
    if (int rv = flow.write(); rv < 0) return rv;
    // The port's QoS pause follows whether it pauses at all, so a port whose
    // pause is switched off again holds what it held before.
    const bool pausing = p.oneBit() ? flow.bit(p.bit()) : flow.bit(p.q()) || flow.bit(p.q() + 1);
    DrvRegValue qos(unit, R_QOS_PAUSE_EN);
    if (int rv = qos.read(); rv < 0) return rv;
    qos.setBit(p.bit(), pausing);
    return qos.write();
}

int drv_mac_fe_ge_pause_get(int unit, int port, int *pause_tx, int *pause_rx) {
    MacPort p(unit, port);
    if (!p.oneBit() && !p.twoBits()) return SOC_E_PARAM;
    DrvRegValue flow(unit, R_SW_FLOW_CON);
    if (int rv = flow.read(); rv < 0) return rv;
    if (p.oneBit()) {
        *pause_tx = *pause_rx = flow.bit(p.bit());
    } else {
        uint32_t code = two_bits(flow, p.q());
        *pause_rx = code & 1;
        *pause_tx = (code >> 1) & 1;
    }
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_pause_get: %x %x\n", *pause_tx, *pause_rx);
    return 0;
}

int drv_mac_fe_ge_pause_addr_set(int, int, const uint8_t *) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_pause_addr_set\n");
    return 0;
}

int drv_mac_fe_ge_pause_addr_get(int, int, uint8_t *) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_pause_addr_get\n");
    return SOC_E_UNAVAIL;
}

int drv_mac_fe_ge_loopback_set(int, int, int loopback) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_loopback_set\n");
    return loopback == 1 ? SOC_E_UNAVAIL : 0;
}

int drv_mac_fe_ge_loopback_get(int, int, int *loopback) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_loopback_get\n");
    *loopback = 0;
    return 0;
}

int drv_mac_fe_ge_interface_set(int, int, int) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_interface_set\n");
    return SOC_E_UNAVAIL;
}

int drv_mac_fe_ge_interface_get(int unit, int port, int *intf) {
    MacPort p(unit, port);
    if (p.fe) {
        *intf = SOC_PORT_IF_MII;
    } else if (p.cpu_port) {
        *intf = p.wide ? SOC_PORT_IF_GMII : SOC_PORT_IF_MII;
    } else if (p.ge && p.wide) {
        *intf = SOC_PORT_IF_SGMII;
    } else if (p.ge && (port == 25 || port == 26)) {
        DrvRegValue straps(unit, R_STRAP_STS);
        if (int rv = straps.read(); rv < 0) return rv;
        *intf = kStrapInterface[straps.get(port == 25 ? F_GIGA0_IFSEL : F_GIGA1_IFSEL) & 3];
    } else {
        return SOC_E_PARAM;
    }
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_interface_get : pif = %d\n", *intf);
    return 0;
}

int drv_mac_fe_ge_ability_get(int unit, int port, uint32_t *ability) {
    MacPort p(unit, port);
    if (p.feDriver()) {
        *ability = kAbilityFe;
    } else if (p.geDriver()) {
        *ability = kAbilityGe;
    } else {
        return SOC_E_PARAM;
    }
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_ability_get: ability=0x%x\n", *ability);
    return 0;
}

int drv_mac_fe_ge_frame_max_set(int, int, int) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_frame_max_set\n");
    return SOC_E_UNAVAIL;
}

int drv_mac_fe_ge_frame_max_get(int unit, int, int *size) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_frame_max_get\n");
    *size = SOC_IS_DXP7102(unit) ? kFrameMaxDxp7102 : kFrameMaxWide;
    return 0;
}

int drv_mac_fe_ge_ifg_set(int, int, int, int, int) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_ifg_set\n");
    return 0;
}

int drv_mac_fe_ge_ifg_get(int, int, int, int, int *) {
    soc_cm_debug_print(kTrace, "drv_mac_fe_ge_ifg_get\n");
    return 0;
}
