// Mirror services (slots 63/64): one capture port and the port bitmaps whose
// received and transmitted traffic is copied to it. The DXP7101 family's
// pair takes both words of the bitmaps.
#pragma once

#include <cstdint>

#include "soc_control.h"

// Disabling keeps the capture port in the chip. 0 or the first register error.
int drv_mirror_set(int unit, uint32_t enable, int mport, soc_pbmp_t ingress, soc_pbmp_t egress);
// mport is the capture port's number, -1 when none is set.
int drv_mirror_get(int unit, uint32_t *enable, int *mport, soc_pbmp_t *ingress, soc_pbmp_t *egress);
int drv_dxp7101_mirror_set(int unit, uint32_t enable, int mport, soc_pbmp_t ingress,
                           soc_pbmp_t egress);
int drv_dxp7101_mirror_get(int unit, uint32_t *enable, int *mport, soc_pbmp_t *ingress,
                           soc_pbmp_t *egress);
