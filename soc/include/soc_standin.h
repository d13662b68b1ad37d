// Stand-ins for neighbours that unit bring-up calls before they exist: the
// CPU packet path. Each lives in one file of its own
// (soc/src/standin_*.cpp) and goes when the real code lands.
#pragma once

#include <cstdint>

// ---- CPU packet path (standin_pktio.cpp).
int soc_tarn_dma_init(int unit);   // 0
int soc_tarn_dma_attach(int dev);  // attaches the device's empty record
int soc_tarn_dma_detach(int dev);  // 0
// Forces the port's MAC link state in the chip (STS_OVERRIDE_P or
// STS_OVERRIDE_GP); -4 for a port that is neither fast Ethernet nor gigabit.
int soc_link_sts_override_set(int unit, int link, int port);
