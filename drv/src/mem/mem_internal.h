// Shared by the table-memory services and the L2 engine.
#pragma once

#include <cstdint>

#include "drv_if.h"

namespace drv_mem {

// The unit's row of a memory index, null when the chip has none.
const soc_mem_info_t *row(int unit, int mem);
inline int entry_bytes(const soc_mem_info_t *r) {
    return static_cast<int>(r->size_fields & 0xffff);
}
// Bits of a field of an entry held in words (bit i of the entry = bit i % 32
// of word i / 32); values of up to 64 bits.
void get_bits(const uint32_t *entry, int bp, int len, uint32_t *out);
void put_bits(uint32_t *entry, int bp, int len, const uint32_t *in);
// 0, or SOC_E_PARAM when the memory has no such field.
int field_get(int unit, int mem, int field, const uint32_t *entry, uint32_t *out);
int field_set(int unit, int mem, int field, uint32_t *entry, const uint32_t *in);

}  // namespace drv_mem
