// Switch return codes, shared by every layer from the chip services up: 0 for
// success, a negative code with a fixed message otherwise. The API's DXP_E_*
// names are these values by definition.
#pragma once

enum soc_error_t {
    SOC_E_NONE = 0,
    SOC_E_INTERNAL = -1,
    SOC_E_MEMORY = -2,
    SOC_E_UNIT = -3,
    SOC_E_PARAM = -4,
    SOC_E_EMPTY = -5,
    SOC_E_FULL = -6,
    SOC_E_NOT_FOUND = -7,
    SOC_E_EXISTS = -8,
    SOC_E_TIMEOUT = -9,
    SOC_E_BUSY = -10,
    SOC_E_FAIL = -11,
    SOC_E_DISABLED = -12,
    SOC_E_BADID = -13,
    SOC_E_RESOURCE = -14,
    SOC_E_CONFIG = -15,
    SOC_E_UNAVAIL = -16,
    SOC_E_INIT = -17,
    SOC_E_PORT = -18,
};
