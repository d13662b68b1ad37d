// Ingress and egress rate limiters: the refresh count and bucket size codes
// of PORT_IRC_CON (first bucket) and PORT_ERC_CON, and the packet classes and
// drop mode of the ingress limiter.
#include <atomic>
#include <iterator>

#include "chipdata/chipdata.h"
#include "drv_rate.h"
#include "drv_reg.h"
#include "drv_reg_rmw.h"
#include "rate_internal.h"
#include "soc_cm.h"
#include "soc_control.h"
#include "soc_error.h"

namespace {

using rate::each_port;
using rate::family7101;

constexpr uint32_t kIngressNoLimit = 254;
constexpr uint32_t kRateCodeMax = 240;  // 1024000 kbit/s
constexpr uint32_t kRateLimitMax = 1024000;
constexpr uint32_t kPktMaskAll = 0x7f;
constexpr uint32_t kPktMaskCommon = 0x3f;
constexpr uint32_t kEgressChips = 0xb6200000;

constexpr uint32_t kBucketKbytes[] = {7, 11, 19, 35, 67};  // upper bounds of codes 0-4
constexpr uint32_t kBucketBurst[] = {48, 80, 144, 272, 528, 1040};

std::atomic<bool> ingress_started{false};

const char *direction_name(uint32_t direction) {
    return direction == DRV_RATE_INGRESS ? "INGRESS" : "EGRESS";
}

int ingress_set(int unit, int port, uint32_t limit, uint32_t burst) {
    DrvRegValue v(unit, R_PORT_IRC_CON, port);
    if (int rv = v.read(); rv < 0) return rv;
    const bool wide = family7101(unit);
    if (limit == 0) {
        // No limit leaves the fields as a unit that never had one: on the
        // DXP7102 the open limiter of the storm bucket.
        v.set(F_REF_CNT0, kIngressNoLimit);
        v.set(F_BUCKET_SIZE0, wide ? 0 : drv_bucket_code(rate::kOpenBurst));
        if (wide) v.set(F_PKT_MSK0, 0);
        return v.write();
    }
    if (wide) {
        v.set(F_PKT_MSK0, kPktMaskAll);
    } else if (!ingress_started.load()) {
        const soc_pbmp_t all = SOC_CONTROL(unit)->all.bitmap;
        if (int rv = drv_rate_config_set(unit, all.w[0], all.w[1], DRV_RATE_CONFIG_PKT_MASK,
                                         kPktMaskCommon);
            rv < 0)
            return rv;
        ingress_started.store(true);
    }
    const uint32_t code = drv_rate_code(limit);
    v.set(F_BUCKET_SIZE0, drv_bucket_code(burst));
    v.set(F_REF_CNT0, code > kIngressNoLimit ? kIngressNoLimit : code);
    v.set(F_ING_RC_EN, 1);
    return v.write();
}

int egress_set(int unit, int port, uint32_t limit, uint32_t burst) {
    DrvRegValue v(unit, R_PORT_ERC_CON, port);
    if (int rv = v.read(); rv < 0) return rv;
    if (limit == 0) {
        // Off with the codes a unit that never had a limit holds.
        v.set(F_ENG_RC_EN, 0);
        v.set(F_BUCKET_SIZE, 0);
        v.set(F_REF_CNTS, 0);
    } else {
        v.set(F_BUCKET_SIZE, drv_bucket_code(burst));
        v.set(F_REF_CNTS, drv_rate_code(limit));
        v.set(F_ENG_RC_EN, 1);
    }
    return v.write();
}

int decode(uint32_t rate, uint32_t bucket, uint32_t *limit, uint32_t *burst) {
    const int64_t l = drv_rate_decode(rate);
    const int64_t b = drv_bucket_decode(bucket);
    if (l < 0 || b < 0) return SOC_E_INTERNAL;
    *limit = static_cast<uint32_t>(l);
    *burst = static_cast<uint32_t>(b);
    return SOC_E_NONE;
}

int ingress_get(int unit, int port, uint32_t *limit, uint32_t *burst) {
    if (ingress_started.load()) {
        uint32_t mask = 0;
        if (int rv = drv_rate_config_get(unit, port, DRV_RATE_CONFIG_PKT_MASK, &mask); rv < 0)
            return rv;
    }
    return drv_reg_inspect(unit, R_PORT_IRC_CON, port, [&](const DrvRegValue &v) {
        if (v.get(F_REF_CNT0) == kIngressNoLimit) {
            *limit = *burst = 0;
            return static_cast<int>(SOC_E_NONE);
        }
        return decode(v.get(F_REF_CNT0), v.get(F_BUCKET_SIZE0), limit, burst);
    });
}

int egress_get(int unit, int port, uint32_t *limit, uint32_t *burst) {
    return drv_reg_inspect(unit, R_PORT_ERC_CON, port, [&](const DrvRegValue &v) {
        // A disabled limiter limits nothing, whatever its codes.
        if (v.get(F_ENG_RC_EN) == 0) {
            *limit = *burst = 0;
            return static_cast<int>(SOC_E_NONE);
        }
        return decode(v.get(F_REF_CNTS), v.get(F_BUCKET_SIZE), limit, burst);
    });
}

uint32_t config_field(uint32_t type) {
    switch (type) {
        case DRV_RATE_CONFIG_RATE_TYPE:
            return F_RATE_TYPE0;
        case DRV_RATE_CONFIG_DROP_ENABLE:
            return F_DROP_EN0;
        default:
            return F_PKT_MSK0;
    }
}

}  // namespace

uint32_t drv_rate_code(uint32_t limit) {
    if (limit == 0) return 0;
    if (limit <= 1792) return ((limit - 1) >> 6) + 1;
    if (limit <= 102400) return (limit >> 10) + 27;
    if (limit <= kRateLimitMax) return (limit >> 13) + 115;
    return 255;
}

int64_t drv_rate_decode(uint32_t code) {
    if (code < 29) return static_cast<int64_t>(code) << 6;
    if (code < 128) return (static_cast<int64_t>(code) << 10) - 27648;
    if (code <= kRateCodeMax) return (static_cast<int64_t>(code) << 13) - 942080;
    return -1;
}

uint32_t drv_bucket_code(uint32_t burst) {
    const uint32_t kbytes = burst >> 3;
    uint32_t code = 0;
    while (code < sizeof(kBucketKbytes) / sizeof(kBucketKbytes[0]) && kbytes >= kBucketKbytes[code])
        code++;
    return code;
}

int64_t drv_bucket_decode(uint32_t code) {
    if (code >= sizeof(kBucketBurst) / sizeof(kBucketBurst[0])) return -1;
    return kBucketBurst[code];
}

uint32_t drv_bucket_burst_max(void) {
    return kBucketBurst[std::size(kBucketBurst) - 1];
}

uint32_t drv_rate_limit_max(void) {
    return kRateLimitMax;
}

bool drv_rate_egress_present(int unit) {
    return (SOC_CONTROL(unit)->chip_flags & kEgressChips) != 0;
}

bool drv_rate_ingress_started(void) {
    return ingress_started.load();
}

int drv_rate_set(int unit, uint32_t bmp_lo, uint32_t bmp_hi, uint32_t direction, uint32_t limit,
                 uint32_t burst_size) {
    soc_cm_debug_print(DK_PORT,
                       "drv_rate_set: unit = %d, bmp = %x, %s, limit = %dK, burst size = %dKB\n",
                       unit, bmp_lo, direction_name(direction), limit, burst_size);
    if (direction == DRV_RATE_INGRESS)
        return each_port(bmp_lo, bmp_hi,
                         [&](int port) { return ingress_set(unit, port, limit, burst_size); });
    if (direction != DRV_RATE_EGRESS) return SOC_E_PARAM;
    // The egress refresh count has no code above 1024000.
    if (limit > kRateLimitMax) return SOC_E_PARAM;
    if (drv_rate_egress_present(unit))
        return each_port(bmp_lo, bmp_hi,
                         [&](int port) { return egress_set(unit, port, limit, burst_size); });
    return SOC_E_NONE;
}

int drv_rate_get(int unit, int port, uint32_t direction, uint32_t *limit, uint32_t *burst_size) {
    if (limit == nullptr || burst_size == nullptr) return SOC_E_PARAM;
    int rv = SOC_E_NONE;
    if (direction == DRV_RATE_INGRESS) {
        rv = ingress_get(unit, port, limit, burst_size);
    } else if (direction == DRV_RATE_EGRESS) {
        if (SOC_CONTROL(unit)->chip_flags & kEgressChips)
            rv = egress_get(unit, port, limit, burst_size);
    } else {
        return SOC_E_PARAM;
    }
    if (rv < 0) return rv;
    soc_cm_debug_print(DK_PORT,
                       "drv_rate_get: unit = %d, port = %d, %s, limit = %dK, burst size = %dKB\n",
                       unit, port, direction_name(direction), *limit, *burst_size);
    return SOC_E_NONE;
}

int drv_rate_config_set(int unit, uint32_t bmp_lo, uint32_t bmp_hi, uint32_t config_type,
                        uint32_t value) {
    soc_cm_debug_print(DK_PORT, "drv_rate_config_set: unit = %d, bmp = %x, type = %d, value = %d\n",
                       unit, bmp_lo, config_type, value);
    if (config_type > DRV_RATE_CONFIG_PKT_MASK) return SOC_E_PARAM;
    const uint32_t field = config_field(config_type);
    if (family7101(unit)) {
        const uint32_t w[2] = {value, 0};
        if (!drv_reg_field_fits(unit, R_PORT_IRC_CON, field, w)) return SOC_E_PARAM;
        return each_port(bmp_lo, bmp_hi, [&](int port) {
            return drv_reg_field_write(unit, R_PORT_IRC_CON, port, field, value);
        });
    }
    const uint32_t masked =
        config_type == DRV_RATE_CONFIG_PKT_MASK ? value & kPktMaskCommon : value;
    const uint32_t w[2] = {masked, 0};
    if (!drv_reg_field_fits(unit, R_COMM_IRC_CON, field, w)) return SOC_E_PARAM;
    return drv_reg_field_write(unit, R_COMM_IRC_CON, 0, field, masked);
}

int drv_rate_config_get(int unit, int port, uint32_t config_type, uint32_t *value) {
    if (config_type > DRV_RATE_CONFIG_PKT_MASK) return SOC_E_PARAM;
    if (value == nullptr) return SOC_E_PARAM;
    const uint32_t reg = family7101(unit) ? R_PORT_IRC_CON : R_COMM_IRC_CON;
    if (int rv = drv_reg_field_read(unit, reg, family7101(unit) ? port : 0,
                                    config_field(config_type), value);
        rv < 0)
        return rv;
    soc_cm_debug_print(DK_PORT,
                       "drv_rate_config_get: unit = %d, port = %d, type = %d, value = %d\n", unit,
                       port, config_type, *value);
    return SOC_E_NONE;
}
