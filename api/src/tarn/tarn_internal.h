// Checks and helpers shared by the family's modules.
#pragma once

#include <cstdint>

#include "drv_if.h"
#include "drv_port.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "soc_cm.h"
#include "soc_control.h"
#include "unavailable.h"

namespace tarn {

constexpr uint32_t kDebugPort = DK_PORT;  // 0x800
constexpr uint32_t kDebugApi = DK_API;    // 0x10000
constexpr uint32_t kDebugErr = DK_ERR;    // 0x200000
constexpr uint32_t kDebugWarn = 0x8000000;
// Boot flags of the simulated environments (no real link to wait for).
constexpr uint32_t kBootSimulation = 0xB0000;

bool simulated_boot();

// -3 unless the unit has a control record below the device count.
inline int unit_check(int unit) {
    return SOC_UNIT_VALID(unit) ? DXP_E_NONE : DXP_E_UNIT;
}

inline const drv_if_t *services(int unit) {
    return DRV_SERVICES(unit);
}

inline soc_pbmp_t port_bitmap(int port) {
    soc_pbmp_t b{};
    soc_pbmp_port_add(&b, port);
    return b;
}
inline soc_pbmp_t to_soc(dxp_pbmp_t b) {
    return soc_pbmp_t{{b.w[0], b.w[1]}};
}
inline dxp_pbmp_t to_dxp(soc_pbmp_t b) {
    return dxp_pbmp_t{{b.w[0], b.w[1]}};
}

// "0x" and 16 hex digits.
struct PbmpText {
    char text[24];
};
PbmpText pbmp_text(soc_pbmp_t b);

// The port module's entry checks; op names the operation in the trace.
// port < 0 skips the port check.
int port_entry(const char *op, int unit, int port);
int port_entry_no_port(const char *op, int unit);

// The unit's chip has no service in this table slot yet (the slot answers
// -16 for every call): modules then set up their software state only.
template <typename Fn>
bool chip_lacks(Fn slot) {
    return slot == &unavailable<Fn>::call;
}

// API spanning-tree state (0 disabled .. 4 forwarding) of a chip state 1..5;
// an unknown chip state reads as listening.
int stp_from_hw(uint32_t hw);

// The port's discard mode "all" keeps its receiver off; called after
// anything that switches the whole MAC on (enable, a link coming up).
int discard_rx_keep(int unit, int port);

// True when link scan last found the port with link; taken after the API
// lock.
bool link_scanned_up(int unit, int port);

}  // namespace tarn

const dxp_tarn_phy_hooks_t *dxp_tarn_phy_hooks(void);  // null when none
