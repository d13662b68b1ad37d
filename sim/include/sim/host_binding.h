// The calls through which the platform's board glue reaches the simulated
// board: GPIO pins, the external-bus window, the device list, direct switch
// register access, DMA memory. Plain C types only, so the glue needs no model
// headers. Every call fails softly (0, -1 or null) while no board is bound.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {
class Board;
// Makes the board the one the glue talks to (replacing any other), or none.
// Unbind only after the firmware threads that use it have stopped.
void bindHost(Board &board);
void unbindHost();
Board *boundBoard();
}  // namespace sim

extern "C" {

struct sim_device_info {
    uint16_t device_id;
    uint8_t revision;
    uint32_t bus_type;  // 1 PCI, 2 SPI
    uint32_t base_address;
    uint32_t base_address1;
};

int sim_bound(void);
const char *sim_board_name(void);  // null while unbound
// 1 when the switch registers are reached directly instead of over the pins.
int sim_bus_direct(void);

uint32_t sim_gpio_out(uint32_t mask, uint32_t value);
uint32_t sim_gpio_outen(uint32_t mask, uint32_t value);
uint32_t sim_gpio_in(void);

// Mode 1 opens the switch window at 0xBA000000.
int sim_extbus_config(int mode);
// Window access by offset from the window base; width 1 or 2. 0, or -1 when
// the offset is outside the window.
int sim_extbus_read(uint32_t offset, int width, uint32_t *value);
int sim_extbus_write(uint32_t offset, int width, uint32_t value);

int sim_device_count(void);
int sim_device_get(int dev, struct sim_device_info *out);

// Direct register access (1-8 bytes); 0, or -1 for a bad device or length.
int sim_switch_reg_read(int dev, uint8_t page, uint8_t offset, uint8_t *buf, int len);
int sim_switch_reg_write(int dev, uint8_t page, uint8_t offset, const uint8_t *buf, int len);

void *sim_dma_alloc(size_t size);
int sim_dma_free(void *p);                            // 0, or -1 for a foreign pointer
uint32_t sim_dma_virt_to_bus(const void *p);          // 0 outside the DMA memory
void *sim_dma_bus_to_virt(uint32_t bus, size_t len);  // null (and an anomaly) outside it
void *sim_dma_bus_lookup(uint32_t bus, size_t len);   // null outside it, nothing recorded

// Memory-mapped registers of a PCI device (the CPU-port MAC, device 1) by
// offset from its base; reads of another device give all ones, writes -1.
uint32_t sim_mmio_read(int dev, uint32_t offset);
int sim_mmio_write(int dev, uint32_t offset, uint32_t value);
// PCI configuration words; all ones / -1 for a device not on PCI.
uint32_t sim_pci_conf_read(int dev, uint32_t offset);
int sim_pci_conf_write(int dev, uint32_t offset, uint32_t value);
// Interrupt upcall: the model calls fn(arg) whenever a device's interrupt
// level may have changed (never with its own lock held); the glue then asks
// sim_irq_pending. Binding another board keeps the upcall.
void sim_irq_upcall_set(void (*fn)(void *arg), void *arg);
int sim_irq_pending(int dev);

// The eth0 MAC: the PCI device the OS's bus scan finds. The mmio, config
// and pending calls above reach it by this device number; its interrupt
// level changes go to an upcall of their own.
#define SIM_ETH0_DEV 0x100
#define SIM_ETH0_BAR0 0x18000000u
void sim_eth0_irq_upcall_set(void (*fn)(void *arg), void *arg);

// Lets the glue put host memory accesses that hit nothing into the anomaly log.
void sim_note_unmapped(uint32_t address, int write);
}
