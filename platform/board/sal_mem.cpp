// Host memory access: the switch window goes to the board model, the DMA
// memory to its host mapping, everything else is unmapped.
#include "sal_mem.h"

#include <cstring>

#include "sim/host_binding.h"

namespace {

constexpr uint32_t kWindowSize = 16;

bool in_window(uint32_t addr, int width) {
    return addr >= SAL_MEM_SWITCH_WINDOW && addr - SAL_MEM_SWITCH_WINDOW + width <= kWindowSize;
}

uint32_t read(uint32_t addr, int width) {
    if (in_window(addr, width)) {
        uint32_t offset = addr - SAL_MEM_SWITCH_WINDOW;
        uint32_t lo = 0, hi = 0;
        if (width == 4) {
            if (sim_extbus_read(offset, 2, &lo) != 0 || sim_extbus_read(offset + 2, 2, &hi) != 0)
                return 0;
            return lo | hi << 16;
        }
        return sim_extbus_read(offset, width, &lo) == 0 ? lo : 0;
    }
    if (void *p = sim_dma_bus_lookup(addr, width)) {
        uint32_t v = 0;
        std::memcpy(&v, p, width);  // host byte order, as the processor would see it
        return v;
    }
    sim_note_unmapped(addr, 0);
    return 0;
}

void write(uint32_t addr, int width, uint32_t value) {
    if (in_window(addr, width)) {
        uint32_t offset = addr - SAL_MEM_SWITCH_WINDOW;
        if (width == 4) {
            sim_extbus_write(offset, 2, value & 0xffff);
            sim_extbus_write(offset + 2, 2, value >> 16);
        } else {
            sim_extbus_write(offset, width, value);
        }
        return;
    }
    if (void *p = sim_dma_bus_lookup(addr, width)) {
        std::memcpy(p, &value, width);
        return;
    }
    sim_note_unmapped(addr, 1);
}

}  // namespace

bool sal_mem_mapped(uint32_t addr, int width) {
    return in_window(addr, width) || sim_dma_bus_lookup(addr, width) != nullptr;
}

uint32_t sal_mem_read32(uint32_t addr) {
    return read(addr, 4);
}

uint16_t sal_mem_read16(uint32_t addr) {
    return static_cast<uint16_t>(read(addr, 2));
}

uint8_t sal_mem_read8(uint32_t addr) {
    return static_cast<uint8_t>(read(addr, 1));
}

void sal_mem_write32(uint32_t addr, uint32_t value) {
    write(addr, 4, value);
}

void sal_mem_write16(uint32_t addr, uint16_t value) {
    write(addr, 2, value);
}

void sal_mem_write8(uint32_t addr, uint8_t value) {
    write(addr, 1, value);
}
