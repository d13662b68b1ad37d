// Development placeholders for modules of the family that are not built yet.
// Each answers success without touching the chip so that unit initialisation
// runs through; each goes when its module lands (and leaves the list in
// tarn_slots.h then).
#include "dxp_tarn.h"

// Module inits run by dxp_init_modules.
int dxp_tarn_tx_init(int) {
    return DXP_E_NONE;
}
