// Shared by the register modules.
#pragma once

#include <cstdint>

#include "chipdata/chipdata.h"

// The unit's row of the register; null after the assertion "SOC_REG_IS_VALID"
// when the unit's chip has no such register.
const chipdata_reg *drv_reg_row(int unit, uint32_t reg);
