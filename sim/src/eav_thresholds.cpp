#include "sim/eav_thresholds.h"

namespace sim {

bool eavThresholdAddress(uint16_t address) {
    const uint8_t page = static_cast<uint8_t>(address >> 8);
    const uint8_t offset = static_cast<uint8_t>(address);
    if (offset & 1) return false;
    if (page == 0x0a)
        return (offset >= 0x10 && offset <= 0x4a) || (offset >= 0xb0 && offset <= 0xc6);
    if (page == 0x0d) return offset >= 0x10 && offset <= 0x3e;
    return false;
}

}  // namespace sim
