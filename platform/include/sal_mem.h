// Host memory access by the processor's 32-bit physical address, for the
// diagnostic memory commands and the switch's external-bus window. On the
// host the mapped ranges are the switch window (0xBA000000, once the external
// bus is configured) and the DMA memory; anything else reads 0 and ignores
// writes.
#pragma once

#include <cstdint>

uint32_t sal_mem_read32(uint32_t addr);
uint16_t sal_mem_read16(uint32_t addr);
uint8_t sal_mem_read8(uint32_t addr);
void sal_mem_write32(uint32_t addr, uint32_t value);
void sal_mem_write16(uint32_t addr, uint16_t value);
void sal_mem_write8(uint32_t addr, uint8_t value);
// True when width bytes at addr are mapped: callers that take addresses from
// an operator check first rather than touch nothing.
bool sal_mem_mapped(uint32_t addr, int width);

constexpr uint32_t SAL_MEM_SWITCH_WINDOW = 0xBA000000;
