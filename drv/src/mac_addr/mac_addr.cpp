// Special MAC addresses of the DXP7102: BPDU and group addresses with their
// port vectors, per-port EAP destinations, mirror filters and the per-port
// secure source addresses.
#include <cstring>

#include "drv_l2ctl.h"
#include "drv_mem.h"
#include "drv_reg.h"
#include "drv_reg_rmw.h"
#include "soc_error.h"

namespace {

constexpr int kWords = 3;

int write_mac(int unit, uint32_t reg, int port, uint32_t field, const uint8_t *mac) {
    return drv_reg_modify(unit, reg, port, [&](DrvRegValue &v) {
        uint32_t f[2];
        soc_tarn_mac_to_field(mac, f);
        v.setWords(field, f);
        return 0;
    });
}

int read_mac(int unit, uint32_t reg, int port, uint32_t field, uint8_t *mac) {
    return drv_reg_inspect(unit, reg, port, [&](const DrvRegValue &v) {
        uint32_t f[2] = {0, 0};
        v.getWords(field, f);
        soc_tarn_field_to_mac(f, mac);
        return 0;
    });
}

// The ingress filter of these chips holds only the top three bytes.
bool short_mirror_mac(int unit) {
    return SOC_IS_DXP7102(unit) || SOC_IS_DXP7106(unit);
}

int secure_per_port(int unit) {
    uint32_t n[2] = {0, 0};
    DRV_SERVICES(unit)->dev_prop_get(unit, 7, n);
    return static_cast<int>(n[0]);
}

bool entry_valid(int unit, uint32_t *e) {
    uint32_t v[2] = {0, 0};
    DRV_SERVICES(unit)->mem_field_get(unit, DRV_MEM_SECMAC, DRV_MEM_FIELD_VALID, e, v);
    return v[0] != 0;
}

bool entry_is(int unit, uint32_t *e, const uint8_t *mac) {
    uint32_t v[2] = {0, 0}, want[2];
    DRV_SERVICES(unit)->mem_field_get(unit, DRV_MEM_SECMAC, DRV_MEM_FIELD_MAC, e, v);
    soc_tarn_mac_to_field(mac, want);
    return v[0] == want[0] && v[1] == want[1];
}

// Types 8-10 over each port of the bitmap.
int secure_macs(int unit, soc_pbmp_t bmp, uint32_t type, const uint8_t *mac) {
    const drv_if_t *s = DRV_SERVICES(unit);
    int n = secure_per_port(unit);
    if (n <= 0) return 0;
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(bmp, port)) continue;
        uint32_t first = static_cast<uint32_t>(port * n);
        if (type == 10) {
            uint32_t zeros[kWords * 64] = {};
            for (int i = 0; i < n; i += 64) {
                uint32_t count = static_cast<uint32_t>(n - i < 64 ? n - i : 64);
                if (int rv = s->mem_write(unit, DRV_MEM_SECMAC, first + i, count, zeros); rv < 0)
                    return rv;
            }
            continue;
        }
        int done = 0;
        for (int i = 0; i < n && !done; i++) {
            uint32_t e[kWords] = {};
            if (int rv = s->mem_read(unit, DRV_MEM_SECMAC, first + i, 1, e); rv < 0) return rv;
            bool valid = entry_valid(unit, e);
            if (type == 8 && !valid) {
                uint32_t f[2], one[2] = {1, 0};
                soc_tarn_mac_to_field(mac, f);
                s->mem_field_set(unit, DRV_MEM_SECMAC, DRV_MEM_FIELD_MAC, e, f);
                s->mem_field_set(unit, DRV_MEM_SECMAC, DRV_MEM_FIELD_VALID, e, one);
            } else if (type == 9 && valid && entry_is(unit, e, mac)) {
                std::memset(e, 0, sizeof e);
            } else {
                continue;
            }
            if (int rv = s->mem_write(unit, DRV_MEM_SECMAC, first + i, 1, e); rv < 0) return rv;
            done = 1;
        }
        if (!done) return type == 8 ? SOC_E_FULL : SOC_E_NOT_FOUND;
    }
    return 0;
}

}  // namespace

int drv_mac_set(int unit, soc_pbmp_t bmp, uint32_t mac_type, uint8_t *mac, uint32_t index) {
    if (mac_type == 10)
        soc_cm_debug_print(DK_API, "drv_mac_set: unit %d, val = %x, type = %d", unit, bmp.w[0],
                           static_cast<int>(mac_type));
    else if (mac != nullptr)
        soc_cm_debug_print(DK_API,
                           "drv_mac_set: unit %d, bmp = %x, type = %d,              "
                           "mac =%02x-%02x-%02x-%02x-%02x-%02x\n",
                           unit, bmp.w[0], static_cast<int>(mac_type), mac[0], mac[1], mac[2],
                           mac[3], mac[4], mac[5]);
    if (mac == nullptr && mac_type != 10) return SOC_E_PARAM;
    switch (mac_type) {
        case 1:
            if (index == 0) return write_mac(unit, R_BPDU_MCADDR, 0, F_BPDU_MC_ADDR, mac);
            // Revision A0 has no reserved-address use for the group registers.
            if (!(SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7102_A1)) return SOC_E_UNAVAIL;
            if (int rv = drv_reg_field_write(unit, R_GARLCFG, 0, F_MPADDR_EN, 0); rv < 0) return rv;
            return write_mac(unit, index == 1 ? R_GRPADDR1 : R_GRPADDR2, 0, F_GRP_ADDR, mac);
        case 2:
        case 3: {
            bool first = mac_type == 2;
            if (int rv = write_mac(unit, first ? R_GRPADDR1 : R_GRPADDR2, 0, F_GRP_ADDR, mac);
                rv < 0)
                return rv;
            if (int rv = drv_reg_field_write(unit, first ? R_PORTVEC1 : R_PORTVEC2, 0, F_PORT_VCTR,
                                             bmp.w[0]);
                rv < 0)
                return rv;
            return drv_reg_field_write(unit, R_GARLCFG, 0, F_MPADDR_EN, 1);
        }
        case 4:
            for (int port = 0; port < 64; port++) {
                if (!soc_pbmp_member(bmp, port)) continue;
                if (int rv = write_mac(unit, R_PORT_EAP_CON, port, F_EAP_UNI_DA, mac); rv < 0)
                    return rv;
            }
            return 0;
        case 5:
            if (short_mirror_mac(unit))
                return drv_reg_field_write(
                    unit, R_IGMIRMAC, 0, F_IN_MIR_MAC,
                    static_cast<uint32_t>(mac[0]) << 16 | mac[1] << 8 | mac[2]);
            return write_mac(unit, R_IGMIRMAC, 0, F_IN_MIR_MAC, mac);
        case 6:
            return write_mac(unit, R_EGMIRMAC, 0, F_OUT_MIR_MAC, mac);
        case 8:
        case 9:
        case 10:
            return secure_macs(unit, bmp, mac_type, mac);
        case 7:
            return SOC_E_UNAVAIL;
        default:
            return SOC_E_PARAM;
    }
}

int drv_mac_get(int unit, int port, uint32_t mac_type, soc_pbmp_t *bmp, uint8_t *mac) {
    switch (mac_type) {
        case 1:
            return read_mac(unit, R_BPDU_MCADDR, 0, F_BPDU_MC_ADDR, mac);
        case 2:
        case 3: {
            bool first = mac_type == 2;
            if (int rv = read_mac(unit, first ? R_GRPADDR1 : R_GRPADDR2, 0, F_GRP_ADDR, mac);
                rv < 0)
                return rv;
            uint32_t v = 0;
            if (int rv =
                    drv_reg_field_read(unit, first ? R_PORTVEC1 : R_PORTVEC2, 0, F_PORT_VCTR, &v);
                rv < 0)
                return rv;
            if (bmp != nullptr) *bmp = {{v, 0}};
            return 0;
        }
        case 4:
            return read_mac(unit, R_PORT_EAP_CON, port, F_EAP_UNI_DA, mac);
        case 5:
            if (short_mirror_mac(unit)) {
                uint32_t v = 0;
                if (int rv = drv_reg_field_read(unit, R_IGMIRMAC, 0, F_IN_MIR_MAC, &v); rv < 0)
                    return rv;
                const uint8_t bytes[6] = {static_cast<uint8_t>(v >> 16),
                                          static_cast<uint8_t>(v >> 8),
                                          static_cast<uint8_t>(v),
                                          0,
                                          0,
                                          0};
                std::memcpy(mac, bytes, sizeof bytes);
                return 0;
            }
            return read_mac(unit, R_IGMIRMAC, 0, F_IN_MIR_MAC, mac);
        case 6:
            return read_mac(unit, R_EGMIRMAC, 0, F_OUT_MIR_MAC, mac);
        case 0:
            return SOC_E_PARAM;
        default:
            return SOC_E_UNAVAIL;
    }
}
