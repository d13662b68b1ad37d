// Mirror services: the DXP7102 pair with 27-port bitmaps in one register
// word and the pair of the DXP7101 family with 64-bit registers and port
// bitmaps of two words. Both keep the capture port while mirroring is off,
// unless none (-1) is given.
#include "drv_mirror.h"

#include "drv_if.h"
#include "drv_reg_rmw.h"
#include "soc_cm.h"
#include "soc_error.h"

namespace {

// Index of the lowest set bit of a two-word bitmap, -1 for none.
int lowest_port(const uint32_t bits[2]) {
    for (int port = 0; port < 64; port++) {
        if ((bits[port / 32] >> (port % 32)) & 1u) return port;
    }
    return -1;
}

int mirror_set(int unit, uint32_t enable, int mport, soc_pbmp_t ingress, soc_pbmp_t egress,
               bool wide) {
    if (enable && (mport < 0 || mport >= (wide ? 64 : 32))) return SOC_E_PORT;
    if (!wide) ingress.w[1] = egress.w[1] = 0;
    int rv = drv_reg_modify(unit, R_IGMIRCTL, 0, [&](DrvRegValue &v) {
        v.setWords(F_IN_MIR_MSK, ingress.w);
        return 0;
    });
    if (rv < 0) return rv;
    rv = drv_reg_modify(unit, R_EGMIRCTL, 0, [&](DrvRegValue &v) {
        v.setWords(F_OUT_MIR_MSK, egress.w);
        return 0;
    });
    if (rv < 0) return rv;
    return drv_reg_modify(unit, R_MIRCAPCTL, 0, [&](DrvRegValue &v) {
        v.set(F_MIR_EN, enable ? 1 : 0);
        if (enable || mport < 0) {
            soc_pbmp_t cap{};
            if (mport >= 0) soc_pbmp_port_add(&cap, mport);
            v.setWords(F_SMIR_CAP_PORT, cap.w);
        }
        return 0;
    });
}

int mirror_get(int unit, uint32_t *enable, int *mport, soc_pbmp_t *ingress, soc_pbmp_t *egress) {
    soc_pbmp_t in{}, out{}, cap{};
    uint32_t en = 0;
    int rv = drv_reg_inspect(unit, R_IGMIRCTL, 0, [&](const DrvRegValue &v) {
        v.getWords(F_IN_MIR_MSK, in.w);
        return 0;
    });
    if (rv < 0) return rv;
    rv = drv_reg_inspect(unit, R_EGMIRCTL, 0, [&](const DrvRegValue &v) {
        v.getWords(F_OUT_MIR_MSK, out.w);
        return 0;
    });
    if (rv < 0) return rv;
    rv = drv_reg_inspect(unit, R_MIRCAPCTL, 0, [&](const DrvRegValue &v) {
        en = v.get(F_MIR_EN);
        v.getWords(F_SMIR_CAP_PORT, cap.w);
        return 0;
    });
    if (rv < 0) return rv;
    *ingress = in;
    *egress = out;
    *enable = en;
    // The capture port's number in both states, not the raw one-bit field.
    *mport = lowest_port(cap.w);
    return SOC_E_NONE;
}

}  // namespace

int drv_mirror_set(int unit, uint32_t enable, int mport, soc_pbmp_t ingress, soc_pbmp_t egress) {
    soc_cm_debug_print(DK_PORT,
                       "drv_mirror_set : unit %d, %sable, m_port = %d,         ingress_bmp = "
                       "0x%x, egress_bmp = 0x%x\n",
                       unit, enable ? "en" : "dis", mport, ingress.w[0], egress.w[0]);
    return mirror_set(unit, enable, mport, ingress, egress, false);
}

int drv_mirror_get(int unit, uint32_t *enable, int *mport, soc_pbmp_t *ingress,
                   soc_pbmp_t *egress) {
    int rv = mirror_get(unit, enable, mport, ingress, egress);
    if (rv < 0) return rv;
    soc_cm_debug_print(DK_PORT,
                       "drv_mirror_get : unit %d, %sable, m_port = %d,         ingress_bmp = "
                       "0x%x, egress_bmp = 0x%x\n",
                       unit, *enable ? "en" : "dis", *mport, ingress->w[0], egress->w[0]);
    return SOC_E_NONE;
}

int drv_dxp7101_mirror_set(int unit, uint32_t enable, int mport, soc_pbmp_t ingress,
                           soc_pbmp_t egress) {
    soc_cm_debug_print(DK_PORT,
                       "drv_mirror_set : unit %d, %sable, m_port = %d,         ingress_bmp = "
                       "0x%x 0x%x, egress_bmp = 0x%x 0x%x\n",
                       unit, enable ? "en" : "dis", mport, ingress.w[0], ingress.w[1], egress.w[0],
                       egress.w[1]);
    return mirror_set(unit, enable, mport, ingress, egress, true);
}

int drv_dxp7101_mirror_get(int unit, uint32_t *enable, int *mport, soc_pbmp_t *ingress,
                           soc_pbmp_t *egress) {
    int rv = mirror_get(unit, enable, mport, ingress, egress);
    if (rv < 0) return rv;
    soc_cm_debug_print(DK_PORT,
                       "drv_mirror_get : unit %d, %sable, m_port = %d,         ingress_bmp = "
                       "0x%x 0x%x, egress_bmp = 0x%x 0x%x\n",
                       unit, *enable ? "en" : "dis", *mport, ingress->w[0], ingress->w[1],
                       egress->w[0], egress->w[1]);
    return SOC_E_NONE;
}
