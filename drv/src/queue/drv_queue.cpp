// Egress queues: how many a port uses, their WRR quotas, the maps from
// 802.1p priority, TOS precedence and DSCP to a queue, and which of these
// classifications each port uses.
#include <initializer_list>

#include "chipdata/chipdata.h"
#include "drv_queue.h"
#include "drv_reg_rmw.h"
#include "soc_error.h"

namespace {

constexpr uint32_t kTrace = DK_API;
constexpr uint32_t kPropQueueCount = 5;
constexpr uint32_t kPropMaxWeight = 8;
constexpr uint32_t kPrioMax = 7;
constexpr uint32_t kDscpMax = 63;
constexpr int kDscpPerReg = 32;
constexpr uint32_t kQueueBits = 3;

struct QuotaReg {
    uint32_t reg;
    uint32_t field;
};
constexpr QuotaReg kQuota[] = {
    {R_FCON_Q0_TXDSC_CTRL_3, F_Q0_QUOTA_SIZE},
    {R_FCON_Q1_TXDSC_CTRL_3, F_Q1_QUOTA_SIZE},
    {R_FCON_Q2_TXDSC_CTRL_3, F_Q2_QUOTA_SIZE},
    {R_FCON_Q3_TXDSC_CTRL_3, F_Q3_QUOTA_SIZE},
};
constexpr int kQuotaRegs = sizeof kQuota / sizeof kQuota[0];

// The maps hold a two-bit queue number per key: key k at bits 2k+1:2k.
int map_set(int unit, uint32_t reg, int key, uint8_t queue) {
    return drv_reg_modify(unit, reg, 0, [&](DrvRegValue &v) {
        v.setBit(2 * key, queue & 1u);
        v.setBit(2 * key + 1, queue & 2u);
        return 0;
    });
}

int map_get(int unit, uint32_t reg, int key, uint8_t *queue) {
    return drv_reg_inspect(unit, reg, 0, [&](const DrvRegValue &v) {
        *queue = static_cast<uint8_t>(v.bit(2 * key) | v.bit(2 * key + 1) << 1);
        return 0;
    });
}

int prop(int unit, uint32_t id, uint32_t *value) {
    return DRV_SERVICES(unit)->dev_prop_get(unit, id, value);
}

// Sets or clears the ports of bmp in a port-bitmap enable register.
int enable_bits(int unit, uint32_t reg, uint32_t field, uint32_t bmp, bool on) {
    return drv_reg_modify(unit, reg, 0, [&](DrvRegValue &v) {
        const uint32_t old = v.get(field);
        v.set(field, on ? old | bmp : old & ~bmp);
        return 0;
    });
}

int port_bit(int unit, uint32_t reg, uint32_t field, int port, bool *on) {
    return drv_reg_inspect(unit, reg, 0, [&](const DrvRegValue &v) {
        *on = port >= 0 && port < 32 && ((v.get(field) >> port) & 1u);
        return 0;
    });
}

}  // namespace

int drv_queue_count_set(int unit, uint32_t port_type, uint8_t count) {
    soc_cm_debug_print(kTrace, "drv_queue_count_set: unit %d, port type = %d, queue count = %d\n",
                       unit, port_type, count);
    uint32_t max = 0;
    if (int rv = prop(unit, kPropQueueCount, &max); rv < 0) return rv;
    if (count < 1 || count > max) return SOC_E_PARAM;
    int rv = drv_reg_modify(unit, R_QOS_CTL, 0, [&](DrvRegValue &v) {
        v.set(F_CPU_CTRL_EN, 1);
        v.set(F_QOS_EN, count - 1u);
        return 0;
    });
    if (rv < 0) return rv;
    if (SOC_IS_DXP7102(unit)) {
        rv = drv_reg_field_write(unit, R_FCON_FLOWMIX, 0, F_EN_UCAST_DROP, 1);
        if (rv < 0) return rv;
    }
    // Spread the priorities: the queues that take one priority more than
    // the others (8 mod count of them) are the highest ones.
    const int base = 8 / count;
    const int rem = 8 % count;
    int q = 0;
    for (int p = 0; p < 8; p++) {
        rv = DRV_SERVICES(unit)->queue_prio_set(unit, static_cast<uint8_t>(p),
                                                static_cast<uint8_t>(q));
        if (rv < 0) return rv;
        const int end = rem < count - q ? (q + 1) * base : (q + 1) * base + (rem - (count - q)) + 1;
        if (p + 1 == end) q++;
    }
    return SOC_E_NONE;
}

int drv_queue_count_get(int unit, uint32_t port_type, uint8_t *count) {
    uint32_t qos_en = 0;
    if (int rv = drv_reg_field_read(unit, R_QOS_CTL, 0, F_QOS_EN, &qos_en); rv < 0) return rv;
    *count = static_cast<uint8_t>(qos_en + 1);
    soc_cm_debug_print(kTrace, "drv_queue_count_get: unit %d, port type = %d, queue count = %d\n",
                       unit, port_type, *count);
    return SOC_E_NONE;
}

int drv_7102_queue_WRR_weight_set(int unit, uint32_t port_type, uint8_t queue, uint32_t weight) {
    soc_cm_debug_print(kTrace,
                       "drv_7102_queue_WRR_weight_set: unit %d, port type = %d, queue = %d, "
                       "weight = %d\n",
                       unit, port_type, queue, weight);
    uint32_t max = 0;
    if (int rv = prop(unit, kPropMaxWeight, &max); rv < 0) return rv;
    if (weight < 1 || weight > max || queue >= kQuotaRegs) return SOC_E_PARAM;
    return drv_reg_field_write(unit, kQuota[queue].reg, 0, kQuota[queue].field, weight);
}

int drv_queue_WRR_weight_get(int unit, uint32_t port_type, uint8_t queue, uint32_t *weight) {
    if (queue >= kQuotaRegs) return SOC_E_PARAM;
    int rv = drv_reg_field_read(unit, kQuota[queue].reg, 0, kQuota[queue].field, weight);
    if (rv < 0) return rv;
    soc_cm_debug_print(kTrace,
                       "drv_queue_WRR_weight_get: unit %d, port type = %d,         queue = %d, "
                       "weight = %d\n",
                       unit, port_type, queue, *weight);
    return SOC_E_NONE;
}

int drv_queue_prio_set(int unit, uint8_t prio, uint8_t queue) {
    soc_cm_debug_print(kTrace, "drv_queue_prio_set: unit %d, priority = %d, queue = %d\n", unit,
                       prio, queue);
    if (prio > kPrioMax || queue > kQueueBits) return SOC_E_PARAM;
    return map_set(unit, R_QOS_TCI_TH, prio, queue);
}

int drv_queue_prio_get(int unit, uint8_t prio, uint8_t *queue) {
    if (prio > kPrioMax) return SOC_E_PARAM;
    if (int rv = map_get(unit, R_QOS_TCI_TH, prio, queue); rv < 0) return rv;
    soc_cm_debug_print(kTrace, "drv_queue_prio_get: unit %d, priority = %d, queue = %d\n", unit,
                       prio, *queue);
    return SOC_E_NONE;
}

int drv_queue_tos_set(int unit, uint8_t precedence, uint8_t queue) {
    soc_cm_debug_print(kTrace, "drv_queue_tos_set: unit %d, tos value = %d, queue = %d\n", unit,
                       precedence, queue);
    if (precedence > kPrioMax || queue > kQueueBits) return SOC_E_PARAM;
    DrvRegValue v(unit, R_QOS_D_TOS_TH);
    if (int rv = v.read(); rv < 0) return rv;
    v.setBit(2 * precedence, queue & 1u);
    v.setBit(2 * precedence + 1, queue & 2u);
    // The chip keeps the map in four copies that must stay equal.
    for (uint32_t reg : {R_QOS_D_TOS_TH, R_QOS_T_TOS_TH, R_QOS_R_TOS_TH, R_QOS_M_TOS_TH}) {
        DrvRegValue copy(unit, reg);
        copy.words()[0] = v.words()[0];
        if (int rv = copy.write(); rv < 0) return rv;
    }
    return SOC_E_NONE;
}

int drv_queue_tos_get(int unit, uint8_t precedence, uint8_t *queue) {
    if (precedence > kPrioMax) return SOC_E_PARAM;
    return map_get(unit, R_QOS_D_TOS_TH, precedence, queue);
}

int drv_queue_dfsv_set(int unit, uint8_t code_point, uint8_t queue) {
    soc_cm_debug_print(kTrace, "drv_queue_dfsv_set: unit %d, dscp value = %d, queue = %d\n", unit,
                       code_point, queue);
    if (code_point > kDscpMax || queue > kQueueBits) return SOC_E_PARAM;
    const uint32_t reg = code_point < kDscpPerReg ? R_QOS_DIFF_DSCP1 : R_QOS_DIFF_DSCP2;
    return map_set(unit, reg, code_point % kDscpPerReg, queue);
}

int drv_queue_dfsv_get(int unit, uint8_t code_point, uint8_t *queue) {
    if (code_point > kDscpMax) return SOC_E_PARAM;
    const uint32_t reg = code_point < kDscpPerReg ? R_QOS_DIFF_DSCP1 : R_QOS_DIFF_DSCP2;
    return map_get(unit, reg, code_point % kDscpPerReg, queue);
}

int drv_queue_mapping_type_set(int unit, soc_pbmp_t bmp, uint32_t mapping_type, uint8_t state) {
    soc_cm_debug_print(kTrace,
                       "drv_queue_mapping_type_set: unit %d, bmp = %x, type = %d,  %sable\n", unit,
                       bmp.w[0], mapping_type, state ? "en" : "dis");
    const uint32_t b = bmp.w[0];
    auto dot1p = [&](bool set) { return enable_bits(unit, R_QOS_1P_EN, F_QOS_1P_EN, b, set); };
    auto ip = [&](bool set) {
        return enable_bits(unit, R_QOS_TOS_DIF_EN, F_QOS_TOS_DIFF_EN, b, set);
    };
    auto select = [&](uint32_t dscp) {
        return drv_reg_field_write(unit, R_QOS_TOS_DIF_CTL, 0, F_TOS_DIFF_SEL, dscp);
    };
    auto ip_any = [&] {
        uint32_t bits = 0;
        const int rv = drv_reg_field_read(unit, R_QOS_TOS_DIF_EN, 0, F_QOS_TOS_DIFF_EN, &bits);
        return rv < 0 ? rv : bits != 0;
    };
    return drv_queue_mapping_apply(mapping_type, state != 0, dot1p, ip, select, ip_any);
}

int drv_queue_mapping_type_get(int unit, int port, uint32_t mapping_type, uint8_t *state) {
    bool ip = false;
    bool dot1p = false;
    uint32_t dscp = 0;
    switch (mapping_type) {
        case DRV_QUEUE_MAP_PRIO:
            if (int rv = port_bit(unit, R_QOS_TOS_DIF_EN, F_QOS_TOS_DIFF_EN, port, &ip); rv < 0)
                return rv;
            if (int rv = port_bit(unit, R_QOS_1P_EN, F_QOS_1P_EN, port, &dot1p); rv < 0) return rv;
            *state = !ip && dot1p;
            break;
        case DRV_QUEUE_MAP_DFSV:
        case DRV_QUEUE_MAP_TOS:
            if (int rv = port_bit(unit, R_QOS_TOS_DIF_EN, F_QOS_TOS_DIFF_EN, port, &ip); rv < 0)
                return rv;
            if (int rv = drv_reg_field_read(unit, R_QOS_TOS_DIF_CTL, 0, F_TOS_DIFF_SEL, &dscp);
                rv < 0)
                return rv;
            *state = ip && (dscp == 1) == (mapping_type == DRV_QUEUE_MAP_DFSV);
            break;
        case DRV_QUEUE_MAP_PRIO_ONLY:
        case DRV_QUEUE_MAP_MAC:
            return SOC_E_UNAVAIL;
        default:
            return SOC_E_PARAM;
    }
    soc_cm_debug_print(kTrace,
                       "drv_queue_mapping_type_get: unit %d, port = %d, type = %d,  %sable\n", unit,
                       port, mapping_type, *state ? "en" : "dis");
    return SOC_E_NONE;
}
