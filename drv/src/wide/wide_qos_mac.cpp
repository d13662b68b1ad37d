// Priority mapping and special MAC addresses of the 53-port chips, with
// port bitmaps of two words.
#include "drv_queue.h"
#include "drv_reg.h"
#include "drv_reg_rmw.h"
#include "drv_wide.h"
#include "soc_cm.h"
#include "soc_error.h"

namespace {

constexpr uint32_t kTrace = 0x10000;
constexpr int kMaxPorts = 64;
constexpr int kMirrorMacShift = 24;

// Adds (on) or removes the ports in a register's port bitmap field.
int change_ports(int unit, uint32_t reg, uint32_t field, const soc_pbmp_t &bmp, bool on) {
    return drv_reg_modify(unit, reg, 0, [&](DrvRegValue &v) {
        uint32_t w[2] = {0, 0};
        v.getWords(field, w);
        for (int i = 0; i < 2; i++)
            w[i] = on ? w[i] | bmp.w[i] : w[i] & ~bmp.w[i];
        v.setWords(field, w);
        return 0;
    });
}

bool port_in(int unit, uint32_t reg, uint32_t field, int port, int *rv) {
    soc_pbmp_t w{};
    *rv = drv_reg_inspect(unit, reg, 0, [&](const DrvRegValue &v) {
        v.getWords(field, w.w);
        return 0;
    });
    return *rv >= 0 && soc_pbmp_member(w, port);
}

// Writes a register whole with only the one field set.
int write_field(int unit, uint32_t reg, int port, uint32_t field, const uint32_t *value) {
    DrvRegValue v(unit, reg, port);
    v.setWords(field, value);
    return v.write();
}

int write_mac(int unit, uint32_t reg, int port, uint32_t field, const uint8_t *mac) {
    uint32_t f[2];
    soc_tarn_mac_to_field(mac, f);
    return write_field(unit, reg, port, field, f);
}

int read_mac(int unit, uint32_t reg, int port, uint32_t field, uint8_t *mac) {
    return drv_reg_inspect(unit, reg, port, [&](const DrvRegValue &v) {
        uint32_t f[2] = {0, 0};
        v.getWords(field, f);
        soc_tarn_field_to_mac(f, mac);
        return 0;
    });
}

int group_addressing(int unit, uint32_t on) {
    return drv_reg_field_write(unit, R_GARLCFG, 0, F_MPADDR_EN, on);
}

soc_pbmp_t unit_bitmap(int unit, soc_pbmp_t b) {
    if (SOC_CONTROL(unit)->port_num <= 32) b.w[1] = 0;
    return b;
}

}  // namespace

int drv_dxp7101_queue_mapping_type_set(int unit, soc_pbmp_t bmp, uint32_t type, uint8_t enable) {
    soc_cm_debug_print(kTrace,
                       "drv_queue_mapping_type_set: unit %d, bmp = %x %x, type = %d,  %sable\n",
                       unit, bmp.w[0], bmp.w[1], static_cast<int>(type), enable ? "en" : "dis");
    auto p1 = [&](bool add) { return change_ports(unit, R_QOS_1P_EN, F_QOS_1P_EN, bmp, add); };
    auto tos = [&](bool add) {
        return change_ports(unit, R_QOS_TOS_DIF_EN, F_QOS_TOS_DIFF_EN, bmp, add);
    };
    auto sel = [&](uint32_t v) {
        return drv_reg_field_write(unit, R_QOS_TOS_DIF_CTL, 0, F_TOS_DIFF_SEL, v);
    };
    auto tos_any = [&] {
        soc_pbmp_t w{};
        const int rv = drv_reg_inspect(unit, R_QOS_TOS_DIF_EN, 0, [&](const DrvRegValue &v) {
            v.getWords(F_QOS_TOS_DIFF_EN, w.w);
            return 0;
        });
        return rv < 0 ? rv : !soc_pbmp_is_null(w);
    };
    return drv_queue_mapping_apply(type, enable != 0, p1, tos, sel, tos_any);
}

int drv_dxp7101_queue_mapping_type_get(int unit, int port, uint32_t type, uint8_t *enable) {
    if (type == DRV_QUEUE_MAP_PRIO_ONLY || type == DRV_QUEUE_MAP_MAC) return SOC_E_UNAVAIL;
    if (type != DRV_QUEUE_MAP_PRIO && type != DRV_QUEUE_MAP_DFSV && type != DRV_QUEUE_MAP_TOS)
        return SOC_E_PARAM;
    int rv;
    bool in_tos = port_in(unit, R_QOS_TOS_DIF_EN, F_QOS_TOS_DIFF_EN, port, &rv);
    if (rv < 0) return rv;
    uint8_t on;
    if (type == DRV_QUEUE_MAP_PRIO) {
        bool in_1p = !in_tos && port_in(unit, R_QOS_1P_EN, F_QOS_1P_EN, port, &rv);
        if (rv < 0) return rv;
        on = in_1p;
    } else {
        uint32_t sel = 0;
        if (rv = drv_reg_field_read(unit, R_QOS_TOS_DIF_CTL, 0, F_TOS_DIFF_SEL, &sel); rv < 0)
            return rv;
        on = in_tos && ((sel != 0) == (type == DRV_QUEUE_MAP_DFSV));
    }
    *enable = on;
    soc_cm_debug_print(kTrace,
                       "drv_queue_mapping_type_get: unit %d, port = %d, type = %d,  %sable\n", unit,
                       port, static_cast<int>(type), on ? "en" : "dis");
    return 0;
}

int drv_dxp7101_mac_set(int unit, soc_pbmp_t bmp, uint32_t type, uint8_t *mac, uint32_t selector) {
    if (type == 10)
        soc_cm_debug_print(kTrace, "drv_mac_set: unit %d, bmp = %x %x, type = %d", unit, bmp.w[0],
                           bmp.w[1], static_cast<int>(type));
    else if (mac != nullptr)
        soc_cm_debug_print(kTrace,
                           "drv_mac_set: unit %d, bmp = 0x%x 0x%x, type = %d,              "
                           "mac =%02x-%02x-%02x-%02x-%02x-%02x\n",
                           unit, bmp.w[0], bmp.w[1], static_cast<int>(type), mac[0], mac[1], mac[2],
                           mac[3], mac[4], mac[5]);
    if (type == 0 || type > 10) return SOC_E_PARAM;
    if (type >= 7) return SOC_E_UNAVAIL;
    if (mac == nullptr) return SOC_E_PARAM;
    bmp = unit_bitmap(unit, bmp);
    switch (type) {
        case 1:
            if (selector == 0) return write_mac(unit, R_BPDU_MCADDR, 0, F_BPDU_MC_ADDR, mac);
            if (int rv = group_addressing(unit, 0); rv < 0) return rv;
            return write_mac(unit, selector == 1 ? R_GRPADDR1 : R_GRPADDR2, 0, F_GRP_ADDR, mac);
        case 2:
        case 3: {
            bool first = type == 2;
            if (int rv = write_mac(unit, first ? R_GRPADDR1 : R_GRPADDR2, 0, F_GRP_ADDR, mac);
                rv < 0)
                return rv;
            if (int rv = group_addressing(unit, 1); rv < 0) return rv;
            return write_field(unit, first ? R_PORTVEC1 : R_PORTVEC2, 0, F_PORT_VCTR, bmp.w);
        }
        case 4:
            for (int port = 0; port < kMaxPorts; port++) {
                if (!soc_pbmp_member(bmp, port)) continue;
                if (int rv = write_mac(unit, R_PORT_EAP_CON, port, F_EAP_UNI_DA, mac); rv < 0)
                    return rv;
            }
            return 0;
        case 5: {
            uint64_t full = 0;
            for (int i = 0; i < 6; i++)
                full = full << 8 | mac[i];
            uint32_t top[2] = {static_cast<uint32_t>(full >> kMirrorMacShift), 0};
            return write_field(unit, R_IGMIRMAC, 0, F_IN_MIR_MAC, top);
        }
        default:
            return write_mac(unit, R_EGMIRMAC, 0, F_OUT_MIR_MAC, mac);
    }
}

int drv_dxp7101_mac_get(int unit, int port, uint32_t type, soc_pbmp_t *bmp, uint8_t *mac) {
    if (type == 0 || type > 10) return SOC_E_PARAM;
    if (type >= 7) return SOC_E_UNAVAIL;
    if (mac == nullptr) return SOC_E_PARAM;
    int rv;
    switch (type) {
        case 1:
            if (port == 0) {
                rv = read_mac(unit, R_BPDU_MCADDR, 0, F_BPDU_MC_ADDR, mac);
                break;
            }
            if (rv = group_addressing(unit, 0); rv < 0) return rv;
            rv = read_mac(unit, port == 1 ? R_GRPADDR1 : R_GRPADDR2, 0, F_GRP_ADDR, mac);
            break;
        case 2:
        case 3: {
            bool first = type == 2;
            if (rv = read_mac(unit, first ? R_GRPADDR1 : R_GRPADDR2, 0, F_GRP_ADDR, mac); rv < 0)
                return rv;
            soc_pbmp_t b{};
            rv = drv_reg_inspect(unit, first ? R_PORTVEC1 : R_PORTVEC2, 0,
                                 [&](const DrvRegValue &v) {
                                     v.getWords(F_PORT_VCTR, b.w);
                                     return 0;
                                 });
            if (rv >= 0 && bmp != nullptr) *bmp = unit_bitmap(unit, b);
            break;
        }
        case 4:
            rv = read_mac(unit, R_PORT_EAP_CON, port, F_EAP_UNI_DA, mac);
            break;
        case 5: {
            uint32_t top = 0;
            rv = drv_reg_field_read(unit, R_IGMIRMAC, 0, F_IN_MIR_MAC, &top);
            uint64_t full = static_cast<uint64_t>(top) << kMirrorMacShift;
            for (int i = 0; i < 6; i++)
                mac[i] = static_cast<uint8_t>(full >> (40 - 8 * i));
            break;
        }
        default:
            rv = read_mac(unit, R_EGMIRMAC, 0, F_OUT_MIR_MAC, mac);
            break;
    }
    if (rv < 0) return rv;
    soc_cm_debug_print(kTrace,
                       "drv_mac_get: unit %d, port = %d, type = %d,          "
                       "mac =%02x-%02x-%02x-%02x-%02x-%02x\n",
                       unit, port, static_cast<int>(type), mac[0], mac[1], mac[2], mac[3], mac[4],
                       mac[5]);
    return 0;
}
