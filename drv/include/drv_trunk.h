// Trunk services (service slots 41-44): the DXP7102 member registers and the
// hash-field choice of every model.
#pragma once

#include <cstdint>

#include "drv_if.h"

// Flags of drv_trunk_set / drv_trunk_get.
constexpr uint32_t DRV_TRUNK_FLAG_ENABLE = 0x1;
constexpr uint32_t DRV_TRUNK_FLAG_DISABLE = 0x2;
constexpr uint32_t DRV_TRUNK_FLAG_BITMAP = 0x4;
constexpr uint32_t DRV_TRUNK_FLAG_HASH = 0x10;

// Hash-field bits: the two address fields the chip can hash.
constexpr uint32_t DRV_TRUNK_HASH_FIELD_1 = 0x1;
constexpr uint32_t DRV_TRUNK_HASH_FIELD_2 = 0x2;

int drv_trunk_set(int unit, int tid, soc_pbmp_t bmp, uint32_t flag, uint32_t hash_op);
int drv_trunk_get(int unit, int tid, soc_pbmp_t *bmp, uint32_t flag, uint32_t *hash_op);
int drv_trunk_hash_field_add(int unit, uint32_t field_type);
int drv_trunk_hash_field_remove(int unit, uint32_t field_type);
