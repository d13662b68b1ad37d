// Switch return codes: 0 for success, a negative code with a fixed message
// otherwise. Callers print failures as "%s() failed: %s".
#pragma once

enum dxp_error_t {
    DXP_E_NONE = 0,
    DXP_E_INTERNAL = -1,
    DXP_E_MEMORY = -2,
    DXP_E_UNIT = -3,
    DXP_E_PARAM = -4,
    DXP_E_EMPTY = -5,
    DXP_E_FULL = -6,
    DXP_E_NOT_FOUND = -7,
    DXP_E_EXISTS = -8,
    DXP_E_TIMEOUT = -9,
    DXP_E_BUSY = -10,
    DXP_E_FAIL = -11,
    DXP_E_DISABLED = -12,
    DXP_E_BADID = -13,
    DXP_E_RESOURCE = -14,
    DXP_E_CONFIG = -15,
    DXP_E_UNAVAIL = -16,
    DXP_E_INIT = -17,
    DXP_E_PORT = -18,
};

// The code's message; "Unknown error" for any code outside -18..0.
const char *dxp_errmsg(int rv);
