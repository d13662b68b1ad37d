// Device properties (service slot 92): per-chip constants, one word or a
// 64-bit port bitmap.
#include "drv_if.h"
#include "soc_error.h"

namespace {

enum DevProp : uint32_t {
    kMcastNum = 1,
    kAgeTimerMax = 2,
    kTrunkNum = 3,
    kTrunkMaxPorts = 4,
    kCosqNum = 5,
    kMstpNum = 6,
    kSecMacNumPerPort = 7,
    kCosqMaxWeight = 8,
    kAuthPbmp = 9,
    kRatePbmp = 10,
    kVlanEntryMax = 11,
    kBpduNum = 12,
    kGroupHiPbmp = 13,
    kGroupLoPbmp = 14,
    kCfpTcamSize = 15,
    kCfpUdfNum = 16,
};

bool is_bitmap(uint32_t prop) {
    return prop == kAuthPbmp || prop == kRatePbmp || prop == kGroupHiPbmp || prop == kGroupLoPbmp;
}

struct PropValue {
    uint32_t lo;
    uint32_t hi;
};

// Rows by id; id 0 is no property.
constexpr PropValue kDxp7102[] = {
    {0, 0},  {256, 0}, {0xfffff, 0},    {3, 0},          {4, 0},     {4, 0}, {32, 0},
    {24, 0}, {55, 0},  {0x06ffffff, 0}, {0x07ffffff, 0}, {0xfff, 0}, {1, 0},  // id 12: 3 from
                                                                              // revision A1
};
constexpr PropValue kDxp7101[] = {
    {0, 0},
    {4096, 0},
    {0xfffff, 0},
    {6, 0},
    {8, 0},
    {4, 0},
    {256, 0},
    {0, 0},
    {55, 0},
    {0xffffffff, 0x001effff},
    {0xffffffff, 0x001fffff},
    {0xfff, 0},
    {3, 0},
    {0xff000000, 0x0000ffff},
    {0x00ffffff, 0},
    {128, 0},
    {10, 0},
};
constexpr PropValue kDxp7106[] = {
    {0, 0},   {4096, 0},       {0xfffff, 0},    {6, 0},          {8, 0},          {4, 0},
    {256, 0}, {0, 0},          {55, 0},         {0x1effffff, 0}, {0x1fffffff, 0}, {0xfff, 0},
    {3, 0},   {0x00ffffff, 0}, {0x00ffffff, 0}, {128, 0},        {10, 0},
};

template <size_t N>
int answer(const PropValue (&table)[N], uint32_t prop, uint32_t *value) {
    if (prop == 0 || prop >= N || value == nullptr) return SOC_E_PARAM;
    value[0] = table[prop].lo;
    if (is_bitmap(prop)) value[1] = table[prop].hi;
    return 0;
}

}  // namespace

int drv_dev_prop_get(int unit, uint32_t prop_type, uint32_t *prop_val) {
    int rv = answer(kDxp7102, prop_type, prop_val);
    if (rv == 0 && prop_type == kBpduNum && (SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7102_A1))
        prop_val[0] = 3;
    return rv;
}

int drv_dxp7101_dev_prop_get(int unit, uint32_t prop_type, uint32_t *prop_val) {
    if (SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7106)
        return answer(kDxp7106, prop_type, prop_val);
    return answer(kDxp7101, prop_type, prop_val);
}
