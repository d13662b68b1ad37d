// Mirror services of the DXP7102: 27-port bitmaps in one register word.
#include "drv_mirror.h"

#include "drv_if.h"
#include "drv_reg_rmw.h"
#include "soc_cm.h"
#include "soc_error.h"

namespace {

// Index of the lowest set bit, -1 for none.
int lowest_port(uint32_t bits) {
    for (int port = 0; port < 32; port++) {
        if (bits & (1u << port)) return port;
    }
    return -1;
}

}  // namespace

int drv_mirror_set(int unit, uint32_t enable, int mport, soc_pbmp_t ingress, soc_pbmp_t egress) {
    soc_cm_debug_print(DK_PORT,
                       "drv_mirror_set : unit %d, %sable, m_port = %d,         ingress_bmp = "
                       "0x%x, egress_bmp = 0x%x\n",
                       unit, enable ? "en" : "dis", mport, ingress.w[0], egress.w[0]);
    if (enable && (mport < 0 || mport >= 32)) return SOC_E_PORT;
    int rv = drv_reg_field_write(unit, R_IGMIRCTL, 0, F_IN_MIR_MSK, ingress.w[0]);
    if (rv < 0) return rv;
    rv = drv_reg_field_write(unit, R_EGMIRCTL, 0, F_OUT_MIR_MSK, egress.w[0]);
    if (rv < 0) return rv;
    return drv_reg_modify(unit, R_MIRCAPCTL, 0, [&](DrvRegValue &v) {
        v.set(F_MIR_EN, enable ? 1 : 0);
        if (enable) v.set(F_SMIR_CAP_PORT, 1u << mport);
        return 0;
    });
}

int drv_mirror_get(int unit, uint32_t *enable, int *mport, soc_pbmp_t *ingress,
                   soc_pbmp_t *egress) {
    uint32_t in = 0, out = 0, en = 0, cap = 0;
    if (int rv = drv_reg_field_read(unit, R_IGMIRCTL, 0, F_IN_MIR_MSK, &in); rv < 0) return rv;
    if (int rv = drv_reg_field_read(unit, R_EGMIRCTL, 0, F_OUT_MIR_MSK, &out); rv < 0) return rv;
    int rv = drv_reg_inspect(unit, R_MIRCAPCTL, 0, [&](const DrvRegValue &v) {
        en = v.get(F_MIR_EN);
        cap = v.get(F_SMIR_CAP_PORT);
        return 0;
    });
    if (rv < 0) return rv;
    *ingress = soc_pbmp_t{{in, 0}};
    *egress = soc_pbmp_t{{out, 0}};
    *enable = en;
    // The capture port's number in both states, not the raw one-bit field.
    *mport = lowest_port(cap);
    soc_cm_debug_print(DK_PORT,
                       "drv_mirror_get : unit %d, %sable, m_port = %d,         ingress_bmp = "
                       "0x%x, egress_bmp = 0x%x\n",
                       unit, en ? "en" : "dis", *mport, in, out);
    return SOC_E_NONE;
}
