// Switch return codes: 0 for success, a negative code with a fixed message
// otherwise. Callers print failures as "%s() failed: %s".
#pragma once

#include "soc_error.h"

enum dxp_error_t {
    DXP_E_NONE = SOC_E_NONE,
    DXP_E_INTERNAL = SOC_E_INTERNAL,
    DXP_E_MEMORY = SOC_E_MEMORY,
    DXP_E_UNIT = SOC_E_UNIT,
    DXP_E_PARAM = SOC_E_PARAM,
    DXP_E_EMPTY = SOC_E_EMPTY,
    DXP_E_FULL = SOC_E_FULL,
    DXP_E_NOT_FOUND = SOC_E_NOT_FOUND,
    DXP_E_EXISTS = SOC_E_EXISTS,
    DXP_E_TIMEOUT = SOC_E_TIMEOUT,
    DXP_E_BUSY = SOC_E_BUSY,
    DXP_E_FAIL = SOC_E_FAIL,
    DXP_E_DISABLED = SOC_E_DISABLED,
    DXP_E_BADID = SOC_E_BADID,
    DXP_E_RESOURCE = SOC_E_RESOURCE,
    DXP_E_CONFIG = SOC_E_CONFIG,
    DXP_E_UNAVAIL = SOC_E_UNAVAIL,
    DXP_E_INIT = SOC_E_INIT,
    DXP_E_PORT = SOC_E_PORT,
};

// The code's message; "Unknown error" for any code outside -18..0.
const char *dxp_errmsg(int rv);
