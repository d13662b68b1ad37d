// Storm control: the second bucket of the ingress limiter (REF_CNT1,
// BUCKET_SIZE1) limits the packet classes of PKT_MSK1 on the DXP7101 family,
// and on the DXP7102 the classes and enable of each port's suppression
// fields in MCAST_SUP0/MCAST_SUP1.
#include "chipdata/chipdata.h"
#include "chipdata/storm_sup.h"
#include "drv_rate.h"
#include "drv_reg_rmw.h"
#include "rate_internal.h"
#include "soc_cm.h"
#include "soc_control.h"
#include "soc_error.h"

namespace {

using rate::each_port;
using rate::family7101;

constexpr uint32_t kStormLimitMax = 1048576;
constexpr uint32_t kAllClasses = DRV_STORM_BCAST | DRV_STORM_MCAST | DRV_STORM_DLF;

// Storm type bit -> PKT_MSK1 bits.
struct ClassBits {
    uint32_t type;
    uint32_t bits;
};
constexpr ClassBits kClassBits[] = {
    {DRV_STORM_BCAST, 0x08},
    {DRV_STORM_MCAST, 0x12},
    {DRV_STORM_DLF, 0x20},
    {0x8, 0x40},
    {0x10, 0x04},
};

bool family7102(int unit) {
    return SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7102;
}

// The DXP7102 suppression fields of a port's storm classes.
struct SupClass {
    uint32_t type;
    uint32_t chipdata_storm_sup::*field;
};
constexpr SupClass kSupClasses[] = {
    {DRV_STORM_BCAST, &chipdata_storm_sup::bcast},
    {DRV_STORM_MCAST, &chipdata_storm_sup::mcast},
    {DRV_STORM_DLF, &chipdata_storm_sup::dlf},
};

int64_t storm_rate_code(uint32_t limit) {
    if (limit > kStormLimitMax) return -1;
    if (limit <= 1024000) return drv_rate_code(limit);
    return (limit >> 13) + 115;
}

// The limit a storm refresh code runs: the rate limiter's codes, and above
// its largest the few (8192 kbps apart) up to the largest storm limit.
int64_t storm_rate_decode(uint32_t code) {
    const uint32_t top = drv_rate_code(drv_rate_limit_max());
    if (code <= top || code > storm_rate_code(kStormLimitMax)) return drv_rate_decode(code);
    constexpr int64_t kStep = 8192;
    return drv_rate_limit_max() + static_cast<int64_t>(code - top) * kStep;
}

// The bucket code of a storm burst, or -1 beyond the largest bucket.
int64_t storm_bucket_code(uint32_t burst) {
    constexpr uint32_t kLargestBucket = 5;
    if (burst > drv_bucket_decode(kLargestBucket)) return -1;
    return drv_bucket_code(burst);
}

// The storm bucket sits behind the port's ingress limiter, which is turned on
// without a limit of its own when it is off.
int sup_enable_set(int unit, int port, uint8_t enable) {
    if (int rv = drv_reg_field_write(unit, R_COMM_IRC_CON, 0, F_DROP_EN1, 1); rv < 0) return rv;
    uint32_t limiter = 0;
    if (int rv = drv_reg_field_read(unit, R_PORT_IRC_CON, port, F_ING_RC_EN, &limiter); rv < 0)
        return rv;
    if (limiter == 0) {
        const uint64_t bit = 1ull << port;
        int rv = drv_rate_set(unit, static_cast<uint32_t>(bit), static_cast<uint32_t>(bit >> 32),
                              DRV_RATE_INGRESS, rate::kOpenLimit, rate::kOpenBurst);
        if (rv < 0) return rv;
    }
    if (port >= CHIPDATA_STORM_SUP_PORTS) return SOC_E_NONE;
    return drv_reg_field_write(unit, chipdata_storm_sup_reg(port), 0,
                               CHIPDATA_STORM_SUP[port].enable, enable != 0);
}

}  // namespace

uint32_t drv_storm_limit_max(void) {
    return kStormLimitMax;
}

bool drv_storm_values_valid(uint32_t limit, uint32_t burst_size) {
    if (limit == 0) return true;
    return storm_rate_code(limit) >= 0 && (burst_size == 0 || storm_bucket_code(burst_size) >= 0);
}

int drv_storm_type_set(int unit, int port, uint32_t mask, int on) {
    if (family7102(unit)) {
        if (port < 0 || port >= CHIPDATA_STORM_SUP_PORTS) return SOC_E_NONE;
        return drv_reg_modify(unit, chipdata_storm_sup_reg(port), 0, [&](DrvRegValue &v) {
            for (const SupClass &c : kSupClasses)
                if (mask & c.type) v.set(CHIPDATA_STORM_SUP[port].*c.field, on != 0);
            return 0;
        });
    }
    if (!family7101(unit)) return SOC_E_UNAVAIL;
    return drv_reg_modify(unit, R_PORT_IRC_CON, port, [&](DrvRegValue &v) {
        uint32_t bits = v.get(F_PKT_MSK1);
        for (const ClassBits &c : kClassBits) {
            if (!(mask & c.type)) continue;
            bits = on ? bits | c.bits : bits & ~c.bits;
        }
        v.set(F_PKT_MSK1, bits);
        return 0;
    });
}

int drv_storm_type_get(int unit, int port, uint32_t *mask) {
    if (family7102(unit)) {
        *mask = 0;
        if (port < 0 || port >= CHIPDATA_STORM_SUP_PORTS) return SOC_E_NONE;
        return drv_reg_inspect(unit, chipdata_storm_sup_reg(port), 0, [&](const DrvRegValue &v) {
            for (const SupClass &c : kSupClasses)
                if (v.get(CHIPDATA_STORM_SUP[port].*c.field)) *mask |= c.type;
            return 0;
        });
    }
    if (!family7101(unit)) return SOC_E_UNAVAIL;
    uint32_t bits = 0;
    if (int rv = drv_reg_field_read(unit, R_PORT_IRC_CON, port, F_PKT_MSK1, &bits); rv < 0)
        return rv;
    *mask = 0;
    for (const ClassBits &c : kClassBits)
        if ((bits & c.bits) == c.bits) *mask |= c.type;
    return SOC_E_NONE;
}

int drv_storm_control_enable_set(int unit, int port, uint8_t enable) {
    soc_cm_debug_print(DK_PORT, "drv_storm_control_enable_set: unit = %d, port= %d, %sable\n", unit,
                       port, enable ? "en" : "dis");
    if (family7102(unit)) return sup_enable_set(unit, port, enable);
    if (!family7101(unit)) return SOC_E_UNAVAIL;
    return drv_reg_modify(unit, R_PORT_IRC_CON, port, [&](DrvRegValue &v) {
        v.set(F_DROP_EN1, 1);
        v.set(F_ING_RC_EN, enable != 0);
        return 0;
    });
}

int drv_storm_control_enable_get(int unit, int port, uint8_t *enable) {
    uint32_t on = 0;
    if (int rv = drv_reg_field_read(unit, R_PORT_IRC_CON, port, F_ING_RC_EN, &on); rv < 0)
        return rv;
    *enable = static_cast<uint8_t>(on);
    soc_cm_debug_print(DK_PORT, "drv_storm_control_enable_get: unit = %d, port= %d, %sable\n", unit,
                       port, on ? "en" : "dis");
    return SOC_E_NONE;
}

int drv_storm_control_set(int unit, uint32_t bmp_lo, uint32_t bmp_hi, uint32_t type, uint32_t limit,
                          uint32_t burst_size) {
    soc_cm_debug_print(DK_PORT,
                       "drv_storm_control_set: unit = %d, bmp= %x, type = 0x%x, limit = %dK\n",
                       unit, bmp_lo, type, limit);
    // Both codes are checked before any port's classes are switched, so a
    // refused limit or burst leaves every port as it was.
    if (!drv_storm_values_valid(limit, burst_size)) return SOC_E_PARAM;
    const int64_t code = storm_rate_code(limit);
    const int64_t bucket = burst_size != 0 ? storm_bucket_code(burst_size) : 0;
    return each_port(bmp_lo, bmp_hi, [&](int port) {
        if (limit == 0) {
            if (int rv = drv_storm_type_set(unit, port, type, 0); rv < 0) return rv;
        } else {
            if (int rv = drv_storm_type_set(unit, port, type, 1); rv < 0) return rv;
            if ((type ^ kAllClasses) != 0) {
                if (int rv = drv_storm_type_set(unit, port, type ^ kAllClasses, 0); rv < 0)
                    return rv;
            }
        }
        uint32_t left = 0;
        if (int rv = drv_storm_type_get(unit, port, &left); rv < 0) return rv;
        if (limit == 0 && left != 0) return static_cast<int>(SOC_E_NONE);
        // A port with no class left holds the bucket of one that never had
        // a limit.
        return drv_reg_modify(unit, R_PORT_IRC_CON, port, [&](DrvRegValue &v) {
            if (left == 0) {
                v.set(F_BUCKET_SIZE1, 0);
                v.set(F_REF_CNT1, 0);
            } else {
                if (burst_size != 0) v.set(F_BUCKET_SIZE1, static_cast<uint32_t>(bucket));
                v.set(F_REF_CNT1, static_cast<uint32_t>(code));
            }
            return 0;
        });
    });
}

int drv_storm_control_get(int unit, int port, uint32_t *type, uint32_t *limit,
                          uint32_t *burst_size) {
    if (type == nullptr || limit == nullptr || burst_size == nullptr) return SOC_E_PARAM;
    if (int rv = drv_storm_type_get(unit, port, type); rv < 0) return rv;
    *limit = *burst_size = 0;
    if (*type != 0) {
        int rv = drv_reg_inspect(unit, R_PORT_IRC_CON, port, [&](const DrvRegValue &v) {
            const int64_t l = storm_rate_decode(v.get(F_REF_CNT1));
            const int64_t b = drv_bucket_decode(v.get(F_BUCKET_SIZE1));
            if (l < 0 || b < 0) return static_cast<int>(SOC_E_INTERNAL);
            *limit = static_cast<uint32_t>(l);
            *burst_size = static_cast<uint32_t>(b);
            return static_cast<int>(SOC_E_NONE);
        });
        if (rv < 0) return rv;
    }
    soc_cm_debug_print(DK_PORT,
                       "drv_storm_control_get: unit = %d, port= %d, type = 0x%x, limit = %dK\n",
                       unit, port, *type, *limit);
    return SOC_E_NONE;
}
