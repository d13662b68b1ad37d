// Services of the 53-port chip family (DXP7101, DXP7106) that work on its
// own table memories and two-word port bitmaps: table memories by driver
// memory id (VLAN_1Q, MSPT_TAB, MARL_PBMP through the table access
// registers, the CFP memories through the CFP services), the address table
// by key with its walk and the shadow kept in step, spanning-tree port
// states and trunk groups. Every service answers 0 or a switch return code.
#pragma once

#include <cstdint>

#include "drv_cfp.h"
#include "drv_if.h"

// The CFP memories by driver memory id.
constexpr uint32_t DRV_MEM_CFP_DATA = 0x1000c;
constexpr uint32_t DRV_MEM_CFP_MASK = 0x1000d;
constexpr uint32_t DRV_MEM_CFP_ACTION = 0x1000e;
constexpr uint32_t DRV_MEM_CFP_METER = 0x1000f;
constexpr uint32_t DRV_MEM_CFP_STAT_IN = 0x10010;
constexpr uint32_t DRV_MEM_CFP_STAT_OUT = 0x10011;

// Bytes of one entry of VLAN_1Q, MSPT_TAB and MARL_PBMP in caller buffers.
constexpr int DRV_WIDE_ENTRY_BYTES = 24;

// Service slots 12-16.
int drv_dxp7101_mem_read(int unit, uint32_t mem, uint32_t entry_id, uint32_t count,
                         uint32_t *entry);
int drv_dxp7101_mem_write(int unit, uint32_t mem, uint32_t entry_id, uint32_t count,
                          uint32_t *entry);
int drv_dxp7101_mem_field_get(int unit, uint32_t mem, uint32_t field, uint32_t *entry,
                              uint32_t *fldbuf);
int drv_dxp7101_mem_field_set(int unit, uint32_t mem, uint32_t field, uint32_t *entry,
                              uint32_t *fldbuf);
int drv_dxp7101_mem_clear(int unit, uint32_t mem);

// The CFP memories (0x1000c-0x10011) as table memories.
int _drv_dxp7101_cfp_read(int unit, uint32_t mem, uint32_t entry_id, uint32_t count,
                          uint32_t *entry);
int _drv_dxp7101_cfp_write(int unit, uint32_t mem, uint32_t entry_id, uint32_t count,
                           uint32_t *entry);
int _drv_dxp7101_cfp_field_get(int unit, uint32_t mem, uint32_t field, uint32_t *entry,
                               uint32_t *fldbuf);
int _drv_dxp7101_cfp_field_set(int unit, uint32_t mem, uint32_t field, uint32_t *entry,
                               uint32_t *fldbuf);

// Service slots 17-19 on the address table.
int drv_dxp7101_mem_search(int unit, uint32_t mem, void *key, uint32_t *entry, uint32_t *entry_1,
                           uint32_t flags);
int drv_dxp7101_mem_insert(int unit, uint32_t mem, uint32_t *entry, uint32_t flags);
int drv_dxp7101_mem_delete(int unit, uint32_t mem, uint32_t *entry, uint32_t flags);

// Service slots 57/58 (mapping types of drv_queue.h) and 61/62 (types 1
// BPDU or reserved group address by selector, 2/3 group address with its
// ports, 4 port's EAP address, 5 ingress and 6 egress mirror address).
int drv_dxp7101_queue_mapping_type_set(int unit, soc_pbmp_t bmp, uint32_t type, uint8_t enable);
int drv_dxp7101_queue_mapping_type_get(int unit, int port, uint32_t type, uint8_t *enable);
int drv_dxp7101_mac_set(int unit, soc_pbmp_t bmp, uint32_t type, uint8_t *mac, uint32_t selector);
int drv_dxp7101_mac_get(int unit, int port, uint32_t type, soc_pbmp_t *bmp, uint8_t *mac);

// Service slots 97/98: the group record of an ARL-format multicast entry;
// set flags 0x1 take a group (a free one for index 0), 0x2 release a use.
int drv_dxp7101_mcast_bmp_get(int unit, const uint32_t *entry, soc_pbmp_t *bmp);
int drv_dxp7101_mcast_bmp_set(int unit, uint32_t *entry, soc_pbmp_t bmp, uint32_t flag);

// Service slots 78/79 (states 1 disabled .. 5 forwarding) and 41/42.
int drv_dxp7101_mstp_port_set(int unit, uint32_t stg, int port, uint32_t state);
int drv_dxp7101_mstp_port_get(int unit, uint32_t stg, int port, uint32_t *state);
int drv_dxp7101_trunk_set(int unit, int tid, soc_pbmp_t bmp, uint32_t flag, uint32_t hash_op);
int drv_dxp7101_trunk_get(int unit, int tid, soc_pbmp_t *bmp, uint32_t flag, uint32_t *hash_op);
