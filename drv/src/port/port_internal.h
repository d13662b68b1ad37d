// What the port property dispatch shares with the register-backed
// properties: the chip groups and the per-property entry points.
#pragma once

#include <cstdint>

#include "drv_port.h"

namespace drv_port {

constexpr uint32_t kTrace = DK_PORT;

// Chip groups of the port properties: A the DXP7102 family, B the DXP7101
// family, C the chips with the per-port security register (none has a
// driver record here).
enum class Group { A, B, C };
constexpr uint32_t kGroupB = 0x24000000;
constexpr uint32_t kGroupC = 0x8000000;
constexpr uint32_t kWideChips = kGroupB | kGroupC;

inline Group group_of(int unit) {
    uint32_t flags = SOC_CONTROL(unit)->chip_flags;
    if (flags & kGroupC) return Group::C;
    if (flags & kGroupB) return Group::B;
    return Group::A;
}
inline bool wide_chip(int unit) {
    return (SOC_CONTROL(unit)->chip_flags & kWideChips) != 0;
}

// Properties carried out on chip registers.
bool reg_prop(uint32_t type);
// Chip-wide ones: no bitmap walk.
bool reg_prop_chip_wide(uint32_t type);
// Refusals that come before any port is touched: -4 for a value that does
// not fit its field or a chip without the property, -16 where the chip
// lacks it; 0 when the set may go on.
int reg_prop_set_check(int unit, uint32_t type, uint32_t value);
int reg_prop_chip_set(int unit, uint32_t type, uint32_t value);
int reg_prop_port_set(int unit, int port, uint32_t type, uint32_t value);
int reg_prop_get(int unit, int port, uint32_t type, uint32_t *value);

}  // namespace drv_port
