// The per-unit L2 shadow thread "dxpARL.%d": it walks the chip's L2 table
// with the table search, keeps the shadow and reports learned, moved and
// aged addresses to the ARL callbacks (drv_arl.h). Also the L2 freeze.
#pragma once

#include "drv_arl.h"

constexpr int SOC_ARL_MODE_OFF = 0;
constexpr int SOC_ARL_MODE_SHADOW = 4;
constexpr int SOC_ARL_DEFAULT_INTERVAL = 3000000;  // microseconds

// 0; -2 when the shadow or the thread cannot be made. Interval 0 only stores
// the interval.
int soc_arl_start(int unit, int interval);
// 0; -1 when the thread does not end within 5 s (the shadow then stays).
int soc_arl_stop(int unit);

// Learning and ageing off, nesting; the L2 table lock is held from the first
// freeze to the last thaw. 0 or the first failing service's error.
int soc_arl_freeze(int unit);
int soc_arl_thaw(int unit);  // a thaw without a freeze changes nothing
