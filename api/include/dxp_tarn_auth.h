// Port authorisation of the family beyond the dispatched operations: the
// MAC security mode (diagnostic shell) and the link-change handler.
#pragma once

#include <cstdint>

#include "dxp_types.h"

// Security mode flags of dxp_tarn_auth_sec_mode_set.
constexpr uint32_t DXP_AUTH_SEC_NONE = 0x10000;
constexpr uint32_t DXP_AUTH_SEC_STATIC_ACCEPT = 0x20000;
constexpr uint32_t DXP_AUTH_SEC_STATIC_REJECT = 0x40000;
constexpr uint32_t DXP_AUTH_SEC_SA_NUM = 0x80000;  // parameter below 4096
constexpr uint32_t DXP_AUTH_SEC_SA_MATCH = 0x100000;

int dxp_tarn_auth_sec_mode_set(int unit, int port, uint32_t mode, int param);
void dxp_tarn_auth_link_handler(int unit, int port, dxp_port_info *info);
