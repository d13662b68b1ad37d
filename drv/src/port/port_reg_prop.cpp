// Port properties kept in chip registers: inter-packet gap, BPDU reception,
// autonegotiation restart of the chip's own PHY, the receive/transmit and
// untagged-drop switches, double tagging, the ingress VLAN check, the port
// security modes and 802.1X. Every one is a read-modify-write of the
// register; a failing read or write ends it with its code.
#include "chipdata/chipdata.h"
#include "drv_reg.h"
#include "drv_reg_rmw.h"
#include "port_internal.h"
#include "soc_error.h"

namespace drv_port {

namespace {

constexpr uint32_t kMiiCtlRestartAutoneg = 0x200;
constexpr uint32_t kLearnUnlimited = 0x1fff;

// Security mode codes as the chip groups store them.
constexpr uint32_t kSecA[] = {0, 4, 5, 6, 7};  // types 32 .. 36
constexpr uint32_t kSecB[] = {0, 0, 0, 2, 3};  // static modes absent

constexpr uint32_t kSecFieldsA[24] = {
    F_MAC_SEC_CON_P0,  F_MAC_SEC_CON_P1,  F_MAC_SEC_CON_P2,  F_MAC_SEC_CON_P3,  F_MAC_SEC_CON_P4,
    F_MAC_SEC_CON_P5,  F_MAC_SEC_CON_P6,  F_MAC_SEC_CON_P7,  F_MAC_SEC_CON_P8,  F_MAC_SEC_CON_P9,
    F_MAC_SEC_CON_P10, F_MAC_SEC_CON_P11, F_MAC_SEC_CON_P12, F_MAC_SEC_CON_P13, F_MAC_SEC_CON_P14,
    F_MAC_SEC_CON_P15, F_MAC_SEC_CON_P16, F_MAC_SEC_CON_P17, F_MAC_SEC_CON_P18, F_MAC_SEC_CON_P19,
    F_MAC_SEC_CON_P20, F_MAC_SEC_CON_P21, F_MAC_SEC_CON_P22, F_MAC_SEC_CON_P23,
};

bool is_sec_mode(uint32_t type) {
    return type >= PROP_SEC_MODE_NONE && type <= PROP_SEC_MODE_DYNAMIC_SA_MATCH;
}

// Port p is bit p of a port-bitmap field, up to 64 bits wide.
bool port_bit(const DrvRegValue &v, uint32_t field, int port) {
    uint32_t w[2] = {0, 0};
    v.getWords(field, w);
    return port >= 0 && port < 64 && ((w[port / 32] >> (port % 32)) & 1u);
}

// SOC_E_PARAM for a port the field has no bit for.
int set_port_bit(int unit, uint32_t reg, DrvRegValue &v, uint32_t field, int port, bool on) {
    if (port < 0 || port >= 64) return SOC_E_PARAM;
    uint32_t w[2] = {0, 0};
    v.getWords(field, w);
    uint32_t mask = 1u << (port % 32);
    w[port / 32] = on ? w[port / 32] | mask : w[port / 32] & ~mask;
    if (!drv_reg_field_fits(unit, reg, field, w)) return SOC_E_PARAM;
    v.setWords(field, w);
    return 0;
}

int set_port_bit(int unit, uint32_t reg, uint32_t field, int port, bool on) {
    return drv_reg_modify(
        unit, reg, 0, [&](DrvRegValue &v) { return set_port_bit(unit, reg, v, field, port, on); });
}

int get_port_bit(int unit, uint32_t reg, uint32_t field, int port, uint32_t *value) {
    return drv_reg_inspect(unit, reg, 0, [&](const DrvRegValue &v) {
        *value = port_bit(v, field, port);
        return 0;
    });
}

bool fits(int unit, uint32_t reg, uint32_t field, uint32_t value) {
    uint32_t w[2] = {value, 0};
    return drv_reg_field_fits(unit, reg, field, w);
}

// ---- inter-packet gap
uint32_t ipg_code(uint32_t type, uint32_t bit_times) {
    if (bit_times < 85) return 0;
    if (bit_times <= 88) return type == PROP_IPG_FE ? 1 : 0;
    if (bit_times <= 92) return type == PROP_IPG_FE ? 2 : 3;
    return 3;
}

uint32_t ipg_bit_times(uint32_t type, uint32_t code) {
    if (type == PROP_IPG_FE) return 84 + 4 * code;
    return code == 3 ? 96 : 88;
}

// ---- receive and transmit switches: disable bits of the port control
int port_control(int unit, int port, uint32_t *reg) {
    const soc_control_t *s = SOC_CONTROL(unit);
    if (soc_pbmp_member(s->fe.bitmap, port)) {
        *reg = R_TH_PCTL;
    } else if (soc_pbmp_member(s->ge.bitmap, port)) {
        *reg = R_G_PCTL;
    } else {
        return SOC_E_PARAM;
    }
    return 0;
}

int enable_set(int unit, int port, uint32_t type, uint32_t value) {
    uint32_t reg = 0;
    if (int rv = port_control(unit, port, &reg); rv < 0) return rv;
    const uint32_t disabled = value == 0;
    int rv = drv_reg_modify(unit, reg, port, [&](DrvRegValue &v) {
        if (type != PROP_ENABLE_RX) v.set(F_MITX_DIS, disabled);
        if (type != PROP_ENABLE_TX) v.set(F_MIRX_DIS, disabled);
        return 0;
    });
    if (rv < 0 || type == PROP_ENABLE_RX || reg != R_G_PCTL) return rv;
    if (!(SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7103)) return rv;
    return drv_reg_field_write(unit, R_TXQ_FLUSH_MODE, 0, F_DIS_NEW_TXDIS, disabled);
}

int enable_get(int unit, int port, uint32_t type, uint32_t *value) {
    uint32_t reg = 0;
    if (int rv = port_control(unit, port, &reg); rv < 0) return rv;
    return drv_reg_inspect(unit, reg, port, [&](const DrvRegValue &v) {
        bool rx = v.get(F_MIRX_DIS) == 0, tx = v.get(F_MITX_DIS) == 0;
        *value = type == PROP_ENABLE_RX ? rx : type == PROP_ENABLE_TX ? tx : rx && tx;
        return 0;
    });
}

// ---- security modes
// Where a group B port's two-bit code lives.
struct SecSlot {
    uint32_t reg;
    uint32_t field;
    int bit;
};

int sec_slot_b(int unit, int port, SecSlot *slot) {
    const bool dxp7106 = SOC_IS_DXP7106(unit);
    const int split = dxp7106 ? 8 : 32;
    const int limit = dxp7106 ? 29 : 53;
    if (port < 0 || port >= limit) return SOC_E_PARAM;
    *slot = port < split ? SecSlot{R_MAC_SEC_CON0, F_MAC_SEC_CON, 2 * port}
                         : SecSlot{R_MAC_SEC_CON1, F_MAC_SEC_CON_P52_32, 2 * (port - split)};
    return 0;
}

int sec_code_get(int unit, int port, uint32_t *code) {
    if (group_of(unit) == Group::A) {
        if (port < 0 || port > 23) return SOC_E_PARAM;
        return drv_reg_field_read(unit, port < 16 ? R_MAC_SEC_CON0 : R_MAC_SEC_CON1, 0,
                                  kSecFieldsA[port], code);
    }
    SecSlot s{};
    if (int rv = sec_slot_b(unit, port, &s); rv < 0) return rv;
    return drv_reg_inspect(unit, s.reg, 0, [&](const DrvRegValue &v) {
        uint32_t w[2] = {0, 0};
        v.getWords(s.field, w);
        *code = (w[s.bit / 32] >> (s.bit % 32)) & 3u;
        return 0;
    });
}

int sec_code_set(int unit, int port, uint32_t type) {
    const uint32_t k = type - PROP_SEC_MODE_NONE;
    if (group_of(unit) == Group::A) {
        if (port < 0 || port > 23) return SOC_E_PARAM;
        return drv_reg_field_write(unit, port < 16 ? R_MAC_SEC_CON0 : R_MAC_SEC_CON1, 0,
                                   kSecFieldsA[port], kSecA[k]);
    }
    SecSlot s{};
    if (int rv = sec_slot_b(unit, port, &s); rv < 0) return rv;
    return drv_reg_modify(unit, s.reg, 0, [&](DrvRegValue &v) {
        uint32_t w[2] = {0, 0};
        v.getWords(s.field, w);
        w[s.bit / 32] = (w[s.bit / 32] & ~(3u << (s.bit % 32))) | kSecB[k] << (s.bit % 32);
        v.setWords(s.field, w);
        return 0;
    });
}

// Clears the port's learned-address count: a pulse on its counter-reset bit.
int learn_count_reset(int unit, int port) {
    const uint32_t reg = group_of(unit) == Group::A ? R_MAC_SEC_CON4 : R_MAC_SEC_CON3;
    DrvRegValue v(unit, reg);
    if (int rv = v.read(); rv < 0) return rv;
    if (int rv = set_port_bit(unit, reg, v, F_SW_SA_CNT_RST, port, true); rv < 0) return rv;
    if (int rv = v.write(); rv < 0) return rv;
    const uint32_t none[2] = {0, 0};
    v.setWords(F_SW_SA_CNT_RST, none);
    return v.write();
}

int sec_set(int unit, int port, uint32_t type, uint32_t value) {
    if (group_of(unit) == Group::C) return SOC_E_UNAVAIL;
    if (int rv = sec_code_set(unit, port, type); rv < 0) return rv;
    const bool limited = type == PROP_SEC_MODE_DYNAMIC_SA_NUM;
    int rv = drv_reg_field_write(unit, R_PORT_MAX_LEARN, port, F_DYN_MAX_MAC_NO,
                                 limited ? value : kLearnUnlimited);
    if (rv < 0 || !limited) return rv;
    return learn_count_reset(unit, port);
}

// The security type a stored code stands for; 0 for none.
uint32_t sec_type_of(Group g, uint32_t code) {
    if (g == Group::A) return code < 4 ? PROP_SEC_MODE_NONE : PROP_SEC_MODE_NONE + code - 3;
    switch (code) {
        case 0:
        case 1:
            return PROP_SEC_MODE_NONE;
        case 2:
            return PROP_SEC_MODE_DYNAMIC_SA_NUM;
        default:
            return PROP_SEC_MODE_DYNAMIC_SA_MATCH;
    }
}

int sec_get(int unit, int port, uint32_t type, uint32_t *value) {
    const Group g = group_of(unit);
    if (g == Group::C) return SOC_E_UNAVAIL;
    uint32_t code = 0;
    if (int rv = sec_code_get(unit, port, &code); rv < 0) return rv;
    if (sec_type_of(g, code) != type) {
        // Group A leaves the answer as it was.
        if (g == Group::B) *value = 0;
        return 0;
    }
    *value = 1;
    if (type != PROP_SEC_MODE_DYNAMIC_SA_NUM) return 0;
    return drv_reg_field_read(unit, R_PORT_MAX_LEARN, port, F_DYN_MAX_MAC_NO, value);
}

uint32_t eap_field(uint32_t type) {
    return type == PROP_802_1X_MODE ? F_EAP_EN : F_EAP_BLK_MODE;
}

// The chip-wide double-tagging switch.
void dtag_switch(int unit, uint32_t *reg, uint32_t *field) {
    *reg = wide_chip(unit) ? R_DTAG_GLO_CTL : R_VLAN_CTRL4;
    *field = wide_chip(unit) ? F_EN_DTAG_ISP : F_EN_DOU_TAG;
}

uint32_t isp_port_register(int unit) {
    return group_of(unit) == Group::C ? R_ISP_SEL_PORTMAP : R_ISP_PORT_SEL_PBM;
}

}  // namespace

bool reg_prop(uint32_t type) {
    switch (type) {
        case PROP_ENABLE_DROP_NON1Q:
        case PROP_ENABLE_RX:
        case PROP_ENABLE_TX:
        case PROP_ENABLE_TXRX:
        case PROP_IPG_FE:
        case PROP_IPG_GE:
        case PROP_BPDU_RX:
        case PROP_RESTART_AUTONEG:
        case PROP_DTAG_MODE:
        case PROP_DTAG_ISP_PORT:
        case PROP_DTAG_TPID:
        case PROP_802_1X_MODE:
        case PROP_802_1X_BLK_RX:
        case PROP_INGRESS_VLAN_CHK:
            return true;
        default:
            return is_sec_mode(type);
    }
}

bool reg_prop_chip_wide(uint32_t type) {
    return type == PROP_IPG_FE || type == PROP_IPG_GE || type == PROP_BPDU_RX ||
           type == PROP_DTAG_MODE || type == PROP_DTAG_TPID || type == PROP_INGRESS_VLAN_CHK;
}

int reg_prop_set_check(int unit, uint32_t type, uint32_t value) {
    uint32_t reg = 0, field = 0;
    switch (type) {
        case PROP_DTAG_MODE:
            dtag_switch(unit, &reg, &field);
            return fits(unit, reg, field, value) ? 0 : SOC_E_PARAM;
        case PROP_DTAG_ISP_PORT:
        case PROP_DTAG_TPID:
            if (!wide_chip(unit)) return SOC_E_UNAVAIL;
            if (type == PROP_DTAG_ISP_PORT) return 0;
            return fits(unit, R_ISP_VID, F_ISP_VLAN_DELIMITER, value) ? 0 : SOC_E_PARAM;
        case PROP_INGRESS_VLAN_CHK:
            return fits(unit, R_VLAN_CTRL4, F_INGR_VID_CHK, value) ? 0 : SOC_E_PARAM;
        case PROP_SEC_MODE_DYNAMIC_SA_NUM:
            return fits(unit, R_PORT_MAX_LEARN, F_DYN_MAX_MAC_NO, value) ? 0 : SOC_E_PARAM;
        case PROP_802_1X_MODE:
        case PROP_802_1X_BLK_RX:
            return group_of(unit) == Group::C ? SOC_E_PARAM : 0;
        default:
            return 0;
    }
}

int reg_prop_chip_set(int unit, uint32_t type, uint32_t value) {
    uint32_t reg = 0, field = 0;
    switch (type) {
        case PROP_IPG_FE:
        case PROP_IPG_GE:
            return drv_reg_field_write(unit, R_SWMODE, 0, F_IPG, ipg_code(type, value));
        case PROP_BPDU_RX:
            return drv_reg_field_write(unit, R_GMNGCFG, 0, F_RXBPDU_EN, value != 0);
        case PROP_DTAG_MODE:
            dtag_switch(unit, &reg, &field);
            return drv_reg_field_write(unit, reg, 0, field, value);
        case PROP_DTAG_TPID:
            return drv_reg_field_write(unit, R_ISP_VID, 0, F_ISP_VLAN_DELIMITER, value);
        case PROP_INGRESS_VLAN_CHK:
            return drv_reg_field_write(unit, R_VLAN_CTRL4, 0, F_INGR_VID_CHK, value);
        default:
            return SOC_E_PARAM;
    }
}

int reg_prop_port_set(int unit, int port, uint32_t type, uint32_t value) {
    switch (type) {
        case PROP_ENABLE_DROP_NON1Q:
            return set_port_bit(unit, R_VLAN_CTRL3, F_EN_DROP_NON1Q, port, value != 0);
        case PROP_ENABLE_RX:
        case PROP_ENABLE_TX:
        case PROP_ENABLE_TXRX:
            return enable_set(unit, port, type, value);
        case PROP_RESTART_AUTONEG:
            return drv_reg_modify(unit, R_MIICTL, port, [](DrvRegValue &v) {
                v.words()[0] |= kMiiCtlRestartAutoneg;
                return 0;
            });
        case PROP_SEC_MODE_STATIC_ACCEPT:
        case PROP_SEC_MODE_STATIC_REJECT:
            if (wide_chip(unit)) return SOC_E_UNAVAIL;
            return sec_set(unit, port, type, value);
        case PROP_SEC_MODE_NONE:
        case PROP_SEC_MODE_DYNAMIC_SA_NUM:
        case PROP_SEC_MODE_DYNAMIC_SA_MATCH:
            return sec_set(unit, port, type, value);
        case PROP_DTAG_ISP_PORT:
            return set_port_bit(unit, isp_port_register(unit), F_ISP_PORT_PBMP, port, value != 0);
        case PROP_802_1X_MODE:
        case PROP_802_1X_BLK_RX:
            return drv_reg_field_write(unit, R_PORT_EAP_CON, port, eap_field(type), value != 0);
        default:
            return SOC_E_PARAM;
    }
}

int reg_prop_get(int unit, int port, uint32_t type, uint32_t *value) {
    uint32_t reg = 0, field = 0, code = 0;
    int rv = 0;
    switch (type) {
        case PROP_ENABLE_DROP_NON1Q:
            return get_port_bit(unit, R_VLAN_CTRL3, F_EN_DROP_NON1Q, port, value);
        case PROP_ENABLE_RX:
        case PROP_ENABLE_TX:
        case PROP_ENABLE_TXRX:
            return enable_get(unit, port, type, value);
        case PROP_IPG_FE:
        case PROP_IPG_GE:
            if (rv = drv_reg_field_read(unit, R_SWMODE, 0, F_IPG, &code); rv < 0) return rv;
            *value = ipg_bit_times(type, code);
            return 0;
        case PROP_BPDU_RX:
            return drv_reg_field_read(unit, R_GMNGCFG, 0, F_RXBPDU_EN, value);
        case PROP_SEC_MODE_STATIC_ACCEPT:
        case PROP_SEC_MODE_STATIC_REJECT:
            if (wide_chip(unit)) return SOC_E_UNAVAIL;
            return sec_get(unit, port, type, value);
        case PROP_SEC_MODE_NONE:
        case PROP_SEC_MODE_DYNAMIC_SA_NUM:
        case PROP_SEC_MODE_DYNAMIC_SA_MATCH:
            return sec_get(unit, port, type, value);
        case PROP_DTAG_MODE:
            dtag_switch(unit, &reg, &field);
            return drv_reg_field_read(unit, reg, 0, field, value);
        case PROP_DTAG_ISP_PORT:
            // Chips without service-provider ports have no such register.
            if (!wide_chip(unit)) return SOC_E_UNAVAIL;
            return get_port_bit(unit, isp_port_register(unit), F_ISP_PORT_PBMP, port, value);
        case PROP_DTAG_TPID:
            if (!wide_chip(unit)) return SOC_E_UNAVAIL;
            return drv_reg_field_read(unit, R_ISP_VID, 0, F_ISP_VLAN_DELIMITER, value);
        case PROP_802_1X_MODE:
        case PROP_802_1X_BLK_RX:
            if (group_of(unit) == Group::C) return SOC_E_PARAM;
            *value = 0;
            return drv_reg_field_read(unit, R_PORT_EAP_CON, port, eap_field(type), value);
        case PROP_INGRESS_VLAN_CHK:
            return drv_reg_field_read(unit, R_VLAN_CTRL4, 0, F_INGR_VID_CHK, value);
        default:
            return SOC_E_PARAM;
    }
}

}  // namespace drv_port
