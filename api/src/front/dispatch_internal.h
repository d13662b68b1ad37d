// Front-internal access to the units' dispatch tables.
#pragma once

#include "dxp.h"

// The unit's dispatch table, or null when the unit is out of range or not
// attached. Safe to call from any thread.
const dxp_dispatch_t *dxp_unit_dispatch(int unit);
