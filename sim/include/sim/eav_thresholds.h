// The audio/video queue thresholds the firmware programs on pages 0x0a and
// 0x0d: the model accepts 16-bit writes there and keeps nothing.
#pragma once

#include <cstdint>

namespace sim {

bool eavThresholdAddress(uint16_t address);

}  // namespace sim
