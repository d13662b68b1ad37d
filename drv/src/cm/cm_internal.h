// State of the device manager shared by its modules.
#pragma once

#include "soc_cm.h"

namespace soc_cm_internal {

// The supported-device row of the pair (nearest lower revision), or null.
const soc_cm_device_info_t *supported_row(uint16_t dev_id, uint8_t rev_id);

}  // namespace soc_cm_internal
