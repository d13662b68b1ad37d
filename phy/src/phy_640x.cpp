// placeholder
#include "phy.h"
#include "phy_internal.h"
const phy_driver_t phy_640x_drv = phy::ge_driver_slots();
void phy_640x_host_forget(void) {}
