// Stand-in for a neighbour that unit bring-up calls before it exists: the
// start-up glue that probes the board
// and builds each device's host vector. It lives in a file of its own
// (soc/src/standin_probe.cpp) and goes when the real code lands.
#pragma once

#include <cstdint>

#include "soc_pktio.h"

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
