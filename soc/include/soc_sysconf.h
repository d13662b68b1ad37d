// Start-up glue between the board's device enumerator and the device
// manager: probe the enumerator's devices, and attach a device with a host
// vector whose operations lead to the enumerator's.
#pragma once

// soc_cm_init with print vectors on the console: 0, -1 when called twice.
int sysconf_init(void);
// Creates a device for each enumerator device the manager supports, in
// order, printing a line for each: 0, or -1 when there is no board or the
// probe ran before.
int sysconf_probe(void);
bool sysconf_probed(void);
// Installs the unit's host vector (soc_cm_device_init, which attaches the
// unit): 0, or -1.
int sysconf_attach(int unit);
int sysconf_detach(int unit);  // soc_cm_device_destroy
// Host-only: forget the probe (tests that start over).
void sysconf_host_forget(void);
