// Table memories by driver memory id (service slots 10, 12-21, DXP7102
// form), the L2 table engine with its hash, and the L2 shadow upkeep.
//
// Caller entries are arrays of words, 12 bytes (3 words) per entry; the chip
// entry fills the first 8 bytes. L2 entries passed to the services are in
// the software format (memory L2_ARL_SW): MAC bits 0-47 with the first octet
// in bits 40-47.
#pragma once

#include <cstdint>

#include "drv_if.h"

// The memory-info tables of the driver records, by memory index (null where
// the chip has no such memory); filled before main.
extern const soc_mem_info_t *drv_dxp7102_mem_info[SOC_NUM_MEMS];
extern const soc_mem_info_t *drv_dxp7101_mem_info[SOC_NUM_MEMS];

// Driver field ids of the tables.
constexpr uint32_t DRV_MEM_FIELD_MAC = 0x10000;
constexpr uint32_t DRV_MEM_FIELD_VLANID = 0x10001;
constexpr uint32_t DRV_MEM_FIELD_SRC_PORT = 0x10002;
constexpr uint32_t DRV_MEM_FIELD_DEST_BITMAP = 0x10003;   // group index; even bitmap
constexpr uint32_t DRV_MEM_FIELD_DEST_BITMAP1 = 0x10004;  // odd bitmap
constexpr uint32_t DRV_MEM_FIELD_PRIORITY = 0x10006;
constexpr uint32_t DRV_MEM_FIELD_VALID = 0x10007;
constexpr uint32_t DRV_MEM_FIELD_VALID1 = 0x10008;
constexpr uint32_t DRV_MEM_FIELD_STATIC = 0x10009;
constexpr uint32_t DRV_MEM_FIELD_AGE = 0x1000a;
constexpr uint32_t DRV_MEM_FIELD_ARL_CONTROL = 0x1000b;
constexpr uint32_t DRV_MEM_FIELD_SPT_GROUP_ID = 0x1000c;
constexpr uint32_t DRV_MEM_FIELD_PORT_BITMAP = 0x1000d;
constexpr uint32_t DRV_MEM_FIELD_OUTPUT_UNTAG = 0x1000e;
constexpr uint32_t DRV_MEM_FIELD_MSTP_PORTST = 0x10010;

// Engine flags of _drv_arl_op.
constexpr uint32_t DRV_MEM_OP_BY_INDEX = 0x1;
constexpr uint32_t DRV_MEM_OP_BY_MAC = 0x2;
constexpr uint32_t DRV_MEM_OP_BY_VLAN = 0x4;
constexpr uint32_t DRV_MEM_OP_SEARCH_START = 0x100;
constexpr uint32_t DRV_MEM_OP_SEARCH_NEXT = 0x200;
constexpr uint32_t DRV_MEM_OP_SEARCH_PORT = 0x400;
constexpr uint32_t DRV_MEM_OP_SEARCH_BUSY = 0x800;
constexpr uint32_t DRV_MEM_OP_REPLACE = 0x1000;
// Delete flags of the L2 tables.
constexpr uint32_t DRV_MEM_OP_DELETE_BY_PORT = 0x08;
constexpr uint32_t DRV_MEM_OP_DELETE_BY_VLANID = 0x10;
constexpr uint32_t DRV_MEM_OP_DELETE_BY_SPT = 0x20;
constexpr uint32_t DRV_MEM_OP_DELETE_BY_STATIC = 0x40;
constexpr uint32_t DRV_MEM_OP_DELETE_ALL_ARL = 0x80;

constexpr int DRV_ARL_ENTRY_WORDS = 3;

// Service slots 10 and 12-21.
int drv_mem_length_get(int unit, uint32_t mem, uint32_t *count);
int drv_mem_read(int unit, uint32_t mem, uint32_t entry_id, uint32_t count, uint32_t *entry);
int drv_mem_write(int unit, uint32_t mem, uint32_t entry_id, uint32_t count, uint32_t *entry);
int drv_mem_field_get(int unit, uint32_t mem, uint32_t field, uint32_t *entry, uint32_t *fldbuf);
int drv_mem_field_set(int unit, uint32_t mem, uint32_t field, uint32_t *entry, uint32_t *fldbuf);
int drv_mem_clear(int unit, uint32_t mem);
int drv_mem_search(int unit, uint32_t mem, void *key, uint32_t *entry, uint32_t *entry_1,
                   uint32_t flags);
int drv_mem_insert(int unit, uint32_t mem, uint32_t *entry, uint32_t flags);
int drv_mem_delete(int unit, uint32_t mem, uint32_t *entry, uint32_t flags);
int drv_mem_cache_get(int unit, uint32_t mem, uint32_t *enable);
int drv_mem_cache_set(int unit, uint32_t mem, uint32_t enable);

// Field access on a software-format L2 entry of the unit's chip, without the
// service table (the DXP7101 family reaches these layouts too).
uint32_t drv_arl_entry_field(int unit, const uint32_t *entry, uint32_t field);
uint64_t drv_arl_entry_mac(int unit, const uint32_t *entry);

// The L2 table engine.
void _drv_arl_crc16(const uint8_t *data, uint8_t nbits, uint16_t *crc);
int _drv_arl_calc_hash_index(int unit, int bin, const uint32_t *entry);
// 0, SOC_E_EXISTS (found), SOC_E_NOT_FOUND, SOC_E_FULL, SOC_E_TIMEOUT,
// SOC_E_BUSY (search running) or a register error. For the search flags the
// key is an int * that receives the index.
int _drv_arl_op(int unit, int table, void *key, uint32_t *out, uint32_t *out2, uint32_t flags,
                int *bin);
int drv_arl_table_entry_get(int unit, int *index, uint32_t *raw, uint32_t *entry);  // slot 99

// Shadow upkeep after hardware writes (nothing while the shadow is absent).
int soc_arl_shadow_insert(int unit, int bin, const uint32_t *entry);
int soc_arl_shadow_delete(int unit, int bin, const uint32_t *entry);
int soc_arl_shadow_flush(int unit, int port, int vid, uint32_t flags);
// Mode bits: 1 unicast, 2 multicast, 4 same port as the key, 8 same VLAN.
int soc_arl_static_delete(int unit, const uint32_t *key, uint32_t mode);
