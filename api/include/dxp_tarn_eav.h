// Ethernet AV of the family: queue thresholds for time-sensitive traffic and
// the EAV driver controls. Called by the diagnostic shell, not dispatched.
#pragma once

#include <cstdint>

#include "dxp_types.h"

constexpr int DXP_EAV_REG_WRITES = 66;

int dxp_tarn_eav_init(int unit);
int dxp_tarn_eav_reg_init(int unit);
int dxp_tarn_eav_port_enable_get(int unit, int port, int *enable);
int dxp_tarn_eav_port_enable_set(int unit, int port, int enable);
int dxp_eav_control_get(int unit, int type, uint32_t *p0, uint32_t *p1);
int dxp_eav_control_set(int unit, int type, uint32_t p0, uint32_t p1);
int dxp_eav_timestamp_get(int unit, int port, uint32_t *timestamp);
int dxp_tarn_eav_time_sync_mac_set(int unit, const dxp_mac_t mac, uint16_t ethertype);
int dxp_tarn_eav_time_sync_mac_get(int unit, dxp_mac_t mac, uint16_t *ethertype);
