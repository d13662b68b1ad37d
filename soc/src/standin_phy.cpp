// Stand-in for the PHY layer until it lands: no PHY records yet, only the
// PHY-address-to-port map with the board's default addresses, so that the
// MIIM services reach each port's own PHY.
#include <algorithm>
#include <iterator>

#include "soc.h"
#include "soc_error.h"
#include "soc_standin.h"

namespace {

// Addresses at or above this have no map entry on this family.
constexpr int kPhyAddrLimit = 64;

// The default address of a port's PHY.
int default_phy_addr(int port) {
    return port + 1;
}

}  // namespace

void soc_phy_addr_map_clear(soc_control_t *soc) {
    std::fill(std::begin(soc->phyaddr_to_port), std::end(soc->phyaddr_to_port),
              SOC_PHY_ADDR_NO_PORT);
}

int soc_phy_init(int unit) {
    soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr) return SOC_E_UNIT;
    soc_phy_addr_map_clear(soc);
    if (soc->all.min < 0) return SOC_E_NONE;
    for (int port = soc->all.min; port <= soc->all.max; port++) {
        if (!soc_pbmp_member(soc->all.bitmap, port)) continue;
        int addr = default_phy_addr(port);
        if (addr < kPhyAddrLimit) soc->phyaddr_to_port[addr] = static_cast<int16_t>(port);
    }
    return SOC_E_NONE;
}
