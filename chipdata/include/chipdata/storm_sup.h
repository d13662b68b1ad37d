// The DXP7102's storm-suppression fields of each port: the packet classes
// that the port's storm bucket limits and the port's enable. Ports 0-15 have
// theirs in MCAST_SUP0, ports 16-26 in MCAST_SUP1.
#pragma once

#include "chipdata/chipdata.h"

constexpr int CHIPDATA_STORM_SUP_PORTS = 27;
constexpr int CHIPDATA_STORM_SUP0_PORTS = 16;

// Field ids of one port: its broadcast, multicast and DLF classes, its enable.
struct chipdata_storm_sup {
    uint32_t bcast, mcast, dlf, enable;
};

#define CHIPDATA_SUP(n) \
    { F_EN_P##n##_BCAST, F_EN_P##n##_MCAST, F_EN_P##n##_DLF, F_EN_P##n##_SUP }
inline constexpr chipdata_storm_sup CHIPDATA_STORM_SUP[CHIPDATA_STORM_SUP_PORTS] = {
    CHIPDATA_SUP(0),  CHIPDATA_SUP(1),  CHIPDATA_SUP(2),  CHIPDATA_SUP(3),  CHIPDATA_SUP(4),
    CHIPDATA_SUP(5),  CHIPDATA_SUP(6),  CHIPDATA_SUP(7),  CHIPDATA_SUP(8),  CHIPDATA_SUP(9),
    CHIPDATA_SUP(10), CHIPDATA_SUP(11), CHIPDATA_SUP(12), CHIPDATA_SUP(13), CHIPDATA_SUP(14),
    CHIPDATA_SUP(15), CHIPDATA_SUP(16), CHIPDATA_SUP(17), CHIPDATA_SUP(18), CHIPDATA_SUP(19),
    CHIPDATA_SUP(20), CHIPDATA_SUP(21), CHIPDATA_SUP(22), CHIPDATA_SUP(23), CHIPDATA_SUP(24),
    CHIPDATA_SUP(25), CHIPDATA_SUP(26),
};
#undef CHIPDATA_SUP

inline constexpr uint32_t chipdata_storm_sup_reg(int port) {
    return port < CHIPDATA_STORM_SUP0_PORTS ? R_MCAST_SUP0 : R_MCAST_SUP1;
}
