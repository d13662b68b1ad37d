// The operating-system services the eth0 network device is written against:
// the PCI library (one bus with the processor's first Ethernet MAC), PCI
// memory-window access, interrupt objects fed by the board's interrupt line,
// and the real-time clock with its alarms (created, never run here).
#pragma once

#include <cstdint>

// ---------------------------------------------------------------- PCI
using cyg_pci_device_id = uint32_t;  // bus << 16 | devfn << 8
constexpr cyg_pci_device_id CYG_PCI_NULL_DEVID = 0xFFFFFFFF;
constexpr int CYG_PCI_MAX_BAR = 6;

inline uint8_t CYG_PCI_DEV_GET_BUS(cyg_pci_device_id id) {
    return static_cast<uint8_t>(id >> 16);
}
inline uint8_t CYG_PCI_DEV_GET_DEVFN(cyg_pci_device_id id) {
    return static_cast<uint8_t>(id >> 8);
}

struct cyg_pci_device {
    cyg_pci_device_id devid;
    uint16_t vendor, device, command, status;
    uint32_t class_rev;
    uint8_t header_type;
    uint16_t sub_vendor, sub_id;
    uint32_t base_address[CYG_PCI_MAX_BAR];  // as read from the device
    uint32_t base_size[CYG_PCI_MAX_BAR];     // probed sizes
    uint32_t base_map[CYG_PCI_MAX_BAR];      // CPU addresses once configured
    uint32_t num_bars;
};

// Match test of cyg_pci_find_matching: true to take the device.
using cyg_pci_match_func = bool (*)(uint16_t vendor, uint16_t device, uint32_t class_rev,
                                    void *user);

void cyg_pci_init(void);
// Searches after *devid (CYG_PCI_NULL_DEVID: from the start); true with the
// found device in *devid.
bool cyg_pci_find_matching(cyg_pci_match_func match, void *user, cyg_pci_device_id *devid);
void cyg_pci_get_device_info(cyg_pci_device_id devid, cyg_pci_device *dev);
// Assigns the address windows (base_map); false when the device is gone.
bool cyg_pci_configure_device(cyg_pci_device *dev);
// The interrupt vector of the device's line; false when it has none.
bool cyg_pci_translate_interrupt(cyg_pci_device *dev, uint32_t *vector);
void cyg_pcihw_write_config_uint16(uint8_t bus, uint8_t devfn, uint8_t offset, uint16_t value);
// 32-bit access to a configured memory window by CPU address.
uint32_t cyg_pci_mem_read32(uint32_t cpu_addr);
void cyg_pci_mem_write32(uint32_t cpu_addr, uint32_t value);
// The bus address of DMA memory (sal_dma_alloc), 0 outside it.
uint32_t cyg_pci_bus_address(const void *p);

// ---------------------------------------------------------------- interrupts
using cyg_vector_t = uint32_t;
using cyg_ISR_t = uint32_t (*)(cyg_vector_t vector, uintptr_t data);
using cyg_DSR_t = void (*)(cyg_vector_t vector, uint32_t count, uintptr_t data);
constexpr uint32_t CYG_ISR_HANDLED = 1;
constexpr uint32_t CYG_ISR_CALL_DSR = 2;

struct cyg_interrupt {
    cyg_vector_t vector;
    int priority;
    uintptr_t data;
    cyg_ISR_t isr;
    cyg_DSR_t dsr;
};
using cyg_handle_t = void *;

void cyg_interrupt_create(cyg_vector_t vector, int priority, uintptr_t data, cyg_ISR_t isr,
                          cyg_DSR_t dsr, cyg_handle_t *handle, cyg_interrupt *intr);
// While attached and unmasked, the ISR runs (in interrupt context) whenever
// the line is up, and the DSR after it when the ISR asks for it.
void cyg_interrupt_attach(cyg_handle_t handle);
void cyg_interrupt_detach(cyg_handle_t handle);
void cyg_interrupt_mask(cyg_vector_t vector);
void cyg_interrupt_unmask(cyg_vector_t vector);
void cyg_interrupt_acknowledge(cyg_vector_t vector);

// ---------------------------------------------------------------- clock
using cyg_alarm_t = void (*)(cyg_handle_t alarm, uintptr_t data);
struct cyg_alarm {
    cyg_handle_t counter;
    cyg_alarm_t fn;
    uintptr_t data;
    bool armed;
};
cyg_handle_t cyg_real_time_clock(void);
void cyg_clock_to_counter(cyg_handle_t clock, cyg_handle_t *counter);
void cyg_alarm_create(cyg_handle_t counter, cyg_alarm_t fn, uintptr_t data, cyg_handle_t *handle,
                      cyg_alarm *alarm);
