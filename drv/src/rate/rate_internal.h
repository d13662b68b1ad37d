// Shared pieces of the rate limiter and storm control services.
#pragma once

#include <cstdint>

#include "soc_control.h"
#include "soc_error.h"

namespace rate {

// The DXP7102 keeps each port's ingress limiter open (this limit and burst)
// for the storm bucket behind it.
constexpr uint32_t kOpenLimit = 1048576, kOpenBurst = 130;

inline bool family7101(int unit) {
    return SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7101_FAMILY;
}

// Calls per_port on each port of the two bitmap words; the first failure ends
// the walk.
template <typename PerPort>
int each_port(uint32_t lo, uint32_t hi, PerPort per_port) {
    for (int port = 0; port < 64; port++) {
        const uint32_t word = port < 32 ? lo : hi;
        if (!((word >> (port % 32)) & 1u)) continue;
        if (int rv = per_port(port); rv < 0) return rv;
    }
    return SOC_E_NONE;
}

}  // namespace rate
