// Shared pieces of the field-processor services.
#pragma once

#include <cstdint>

#include "drv_cfp.h"
#include "sal.h"
#include "soc_error.h"
#include "soc_control.h"

namespace cfp {

// Chips flagged with bit 29 number ports 24 higher in the CFP source-port
// field and the redirect destinations than the driver does.
constexpr uint32_t kPortShiftFlag = 0x20000000;
constexpr uint32_t kPortShift = 24;

inline bool port_shifted(int unit) {
    return (SOC_CONTROL(unit)->chip_flags & kPortShiftFlag) != 0;
}

// The unit's CFP mutex, held around every access-engine operation and the
// TCAM reset.
sal_mutex_t lock(int unit);

// Debug categories of the messages.
constexpr uint32_t kTrace = 0x10000;
constexpr uint32_t kError = 0x200000;

}  // namespace cfp
