// Multicast group services (service slots 94-98): a group is an L2 entry
// (MAC, VLAN, group index) plus a row half of the multicast port-bitmap
// table, and each group index has a use counter.
#pragma once

#include <cstdint>

#include "drv_if.h"

// The multicast address record as the services read and write it; its
// layout is that of the API's dxp_mcast_addr (checked where both are seen).
struct drv_mcast_record {
    uint8_t mac[6];
    uint16_t vid;
    int32_t cos_dst;
    uint32_t pbmp[2];
    uint32_t ubmp[2];
    int32_t l2mc_index;
};
static_assert(sizeof(drv_mcast_record) == 32);

// Operations of drv_mcast_bmp_set.
constexpr uint32_t DRV_MCAST_UPDATE = 0x0;
constexpr uint32_t DRV_MCAST_CREATE = 0x1;
constexpr uint32_t DRV_MCAST_RELEASE = 0x2;

// The unit's group use counters ("L2MC"): count entries, a counter above 0
// marks a taken group index. The multicast module owns the array.
struct drv_l2mc_table_t {
    int count;
    uint32_t *used;
};
drv_l2mc_table_t *drv_mcast_l2mc_table(int unit);  // null for a unit out of range

int drv_mcast_init(int unit);
int drv_mcast_to_arl_entry(int unit, uint32_t *arl_entry, const dxp_mcast_addr *mcaddr);
int drv_arl_to_mcast_entry(int unit, dxp_mcast_addr *mcaddr, const uint32_t *arl_entry);
int drv_mcast_bmp_get(int unit, const uint32_t *entry, soc_pbmp_t *bmp);
int drv_mcast_bmp_set(int unit, uint32_t *entry, soc_pbmp_t bmp, uint32_t flag);
