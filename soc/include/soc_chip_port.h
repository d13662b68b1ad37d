// Chip port set-up beyond soc.h's chip init: loop detection and the LED
// warning port map (no caller in the firmware; the diagnostics may use them).
#pragma once

#include <cstdint>

#include "soc_control.h"

int soc_tarn_loop_detect_enable_set(int unit, int enable);  // LPDET_CFG.EN_LPDET
int soc_tarn_loop_detect_enable_get(int unit, int *enable);
// Source MAC of the loop-detect frames (LD_FRM_SA), written without a read.
int soc_tarn_loop_detect_sa_set(int unit, const uint8_t mac[6]);
int soc_tarn_led_warning_portmap_get(int unit, soc_pbmp_t *bmp);
