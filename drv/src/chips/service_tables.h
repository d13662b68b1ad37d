// The service tables of the driver records.
#pragma once

#include "drv_if.h"

extern const drv_if_t drv_dxp7102_services;  // both DXP7102 revisions
extern const drv_if_t drv_dxp7101_services;  // DXP7101 and DXP7106
