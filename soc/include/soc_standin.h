// Stand-ins for neighbours that unit bring-up calls before they exist: the
// CPU packet path and the start-up glue that probes the board
// and builds each device's host vector. Each lives in one file of its own
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

// ---- Start-up glue over the board's device enumerator (standin_probe.cpp).
// soc_cm_init with print vectors on the console; 0, -1 when called twice.
int soc_glue_init(void);
// Creates a device for every enumerator device the manager supports: the
// number created, or -1 when there is no board or the probe ran before.
int soc_glue_probe(void);
// Builds the unit's host vector over the enumerator and installs it
// (soc_cm_device_init, which attaches the unit): 0, or -1.
int soc_glue_attach(int unit);
int soc_glue_detach(int unit);  // soc_cm_device_destroy
// Host-only: forget the probe (tests that start over).
void soc_glue_host_forget(void);
