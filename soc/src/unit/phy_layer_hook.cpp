// The PHY layer sits above the chip layer: the start-up wiring registers its
// init, which every unit init runs after the chip set-up.
#include <algorithm>
#include <iterator>

#include "soc.h"
#include "soc_error.h"

namespace {

soc_phy_layer_init_fn phy_layer_init = nullptr;

}  // namespace

void soc_phy_addr_map_clear(soc_control_t *soc) {
    std::fill(std::begin(soc->phyaddr_to_port), std::end(soc->phyaddr_to_port),
              SOC_PHY_ADDR_NO_PORT);
}

void soc_phy_layer_register(soc_phy_layer_init_fn init) {
    phy_layer_init = init;
}

int soc_phy_layer_init(int unit) {
    soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr) return SOC_E_UNIT;
    if (phy_layer_init != nullptr) return phy_layer_init(unit);
    soc_phy_addr_map_clear(soc);
    return SOC_E_NONE;
}
