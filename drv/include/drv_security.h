// Port security services: 802.1X port states and the MAC security mode of
// ports, over the port properties, learning and the address table.
#pragma once

#include <cstdint>

#include "soc_control.h"

// Port states.
constexpr uint32_t DRV_SECURITY_STATE_UNCONTROLLED = 1;
constexpr uint32_t DRV_SECURITY_STATE_UNAUTHORIZED = 2;
constexpr uint32_t DRV_SECURITY_STATE_AUTHORIZED = 3;

// Mode mask bits; when several are set the lowest wins.
constexpr uint32_t DRV_SECURITY_NONE = 0x1;
constexpr uint32_t DRV_SECURITY_STATIC_ACCEPT = 0x2;  // DXP7102 only
constexpr uint32_t DRV_SECURITY_STATIC_REJECT = 0x4;  // DXP7102 only
constexpr uint32_t DRV_SECURITY_DYNAMIC_SA_NUM = 0x8;
constexpr uint32_t DRV_SECURITY_DYNAMIC_SA_MATCH = 0x10;
constexpr uint32_t DRV_SECURITY_RX_DISABLE = 0x40;  // state 2: leave transmit off
constexpr uint32_t DRV_SECURITY_APPLY_MODE = 0x80;  // state 3: apply the mode

int drv_security_set(int unit, soc_pbmp_t bmp, uint32_t state, uint32_t mask, uint32_t limit);
// *mask is not written.
int drv_security_get(int unit, int port, uint32_t *state, uint32_t *mask);
