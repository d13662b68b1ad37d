// The software echo analysis of gigabit PHYs' cables.
#include "phy.h"
#include "phy_internal.h"
#include "soc_error.h"

// Not available yet: the 640X test then needs the "cable_diag_hw" property.
int phy_cdiag_sw(int, int, phy_cable_diag_t *) {
    return SOC_E_UNAVAIL;
}
