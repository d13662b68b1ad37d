// Chip VLAN switches (service slots 26-33): 802.1Q processing on or off, the
// port default tag, the port-based VLAN (the ports a port may forward to)
// and two VLAN properties. Each answers 0 or the first failing register
// access.
#pragma once

#include <cstdint>

#include "soc_control.h"

// VLAN modes.
constexpr uint32_t DRV_VLAN_MODE_TAG = 1;   // 802.1Q on
constexpr uint32_t DRV_VLAN_MODE_NONE = 2;  // off

// VLAN properties.
constexpr uint32_t DRV_VLAN_PROP_VTABLE_MISS_DROP = 0;  // drop frames of VLANs not in the table
constexpr uint32_t DRV_VLAN_PROP_SHARED_LEARN = 2;      // reads back the inverse of the set value

// -4 for another mode.
int drv_vlan_mode_set(int unit, uint32_t mode);
int drv_vlan_mode_get(int unit, uint32_t *mode);
// -4 for a vid above 0xfff or a priority above 7 (nothing written).
int drv_port_vlan_pvid_set(int unit, int port, uint32_t vid, uint32_t prio);
int drv_port_vlan_pvid_get(int unit, int port, uint32_t *vid, uint32_t *prio);
// -4 for a bitmap with ports the unit's egress field has no bit for.
int drv_port_vlan_set(int unit, int port, soc_pbmp_t bmp);
int drv_port_vlan_get(int unit, int port, soc_pbmp_t *bmp);
// -4 for another property.
int drv_vlan_prop_set(int unit, uint32_t prop_type, uint32_t prop_val);
int drv_vlan_prop_get(int unit, uint32_t prop_type, uint32_t *prop_val);
