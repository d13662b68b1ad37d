// The board's device enumerator: the devices found at start-up (the switch
// chip on its management bus, later the CPU-port MAC on PCI) and the
// operations through which the chip layers reach them. Each operation takes
// the device number first. The slot order is fixed: the host-operation vector
// of the device manager is built from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sb.h"

constexpr int BDE_MAX_DEVICES = 18;

// Low four bits of a device type: the bus.
constexpr uint32_t BDE_BUS_PCI = 1;
constexpr uint32_t BDE_BUS_SPI = 2;
constexpr uint32_t BDE_BUS_EB = 4;
constexpr uint32_t BDE_BUS_TARN_EB = 6;
constexpr uint32_t BDE_BUS_ICS = 8;
constexpr uint32_t BDE_BUS_MASK = 0xf;
// Role bits of a device type.
constexpr uint32_t BDE_DEV_SWITCH = 0x10000;
constexpr uint32_t BDE_DEV_ETHER = 0x20000;

// Device classes counted by num_devices.
constexpr int BDE_ALL_DEVICES = 0;
constexpr int BDE_SWITCH_DEVICES = 1;
constexpr int BDE_ETHER_DEVICES = 2;

struct bde_dev_t {
    uint16_t device;
    uint8_t rev;
    uint32_t base_address;
    uint32_t base_address1;  // extra bus address, 0 when none
};

using bde_isr_t = void (*)(void *data);

struct bde_ops {
    const char *(*name)(void);
    int (*num_devices)(int type);
    const bde_dev_t *(*get_dev)(int d);
    uint32_t (*get_dev_type)(int d);
    uint32_t (*pci_conf_read)(int d, uint32_t offset);
    int (*pci_conf_write)(int d, uint32_t offset, uint32_t data);
    void (*pci_bus_features)(int d, int *be_pio, int *be_packet, int *be_other);
    uint32_t (*read)(int d, uint32_t offset);
    int (*write)(int d, uint32_t offset, uint32_t data);
    void *(*salloc)(int d, int size, const char *name);
    void (*sfree)(int d, void *ptr);
    int (*sflush)(int d, void *addr, int length);
    int (*sinval)(int d, void *addr, int length);
    int (*interrupt_connect)(int d, bde_isr_t isr, void *data);
    int (*interrupt_disconnect)(int d);
    uint32_t (*l2p)(int d, void *laddr);
    void *(*p2l)(int d, uint32_t paddr);
    // Switch register (address = page << 8 | offset, 1-8 bytes): 0, or -1 for
    // a bad device, a device that is not a switch or a bad length.
    int (*switch_reg_read)(int d, uint32_t addr, uint8_t *buf, int len);
    int (*switch_reg_write)(int d, uint32_t addr, uint8_t *buf, int len);
    // The two-wire framing of the management interface.
    int (*spi_reg_read)(int d, uint8_t page, uint8_t offset, uint8_t *buf, int len);
    int (*spi_reg_write)(int d, uint8_t page, uint8_t offset, uint8_t *buf, int len);
    int (*spi_byte_read)(int d, uint8_t addr, uint8_t *byte);
    int (*spi_status_read)(int d, uint8_t *status);
};

// The slot order is part of the interface: the device manager's host vector
// is built from it.
#define BDE_SLOT(name) (offsetof(bde_ops, name) / sizeof(void *))
static_assert(sizeof(bde_ops) == 23 * sizeof(void *));
static_assert(BDE_SLOT(name) == 0 && BDE_SLOT(num_devices) == 1 && BDE_SLOT(get_dev) == 2);
static_assert(BDE_SLOT(get_dev_type) == 3 && BDE_SLOT(pci_conf_read) == 4);
static_assert(BDE_SLOT(pci_conf_write) == 5 && BDE_SLOT(pci_bus_features) == 6);
static_assert(BDE_SLOT(read) == 7 && BDE_SLOT(write) == 8 && BDE_SLOT(salloc) == 9);
static_assert(BDE_SLOT(sfree) == 10 && BDE_SLOT(sflush) == 11 && BDE_SLOT(sinval) == 12);
static_assert(BDE_SLOT(interrupt_connect) == 13 && BDE_SLOT(interrupt_disconnect) == 14);
static_assert(BDE_SLOT(l2p) == 15 && BDE_SLOT(p2l) == 16);
static_assert(BDE_SLOT(switch_reg_read) == 17 && BDE_SLOT(switch_reg_write) == 18);
static_assert(BDE_SLOT(spi_reg_read) == 19 && BDE_SLOT(spi_reg_write) == 20);
static_assert(BDE_SLOT(spi_byte_read) == 21 && BDE_SLOT(spi_status_read) == 22);
#undef BDE_SLOT

// Creates the enumerator: finds the board's devices and runs the start-up
// probe of the switch's management interface. 0, or -1 when there is no board.
int bde_init(void);
// The enumerator's operations; null before bde_init.
const bde_ops *bde_ops_get(void);

// 32-bit PCI configuration access of a device (all ones / -1 for a device
// that is not on PCI).
uint32_t bde_pci_conf_read(int d, uint32_t offset);
int bde_pci_conf_write(int d, uint32_t offset, uint32_t value);

// The CPU-side switch access (the serial and window framing of the chip
// layer) registers itself here; the enumerator's switch-register slots and
// the start-up probe run through it.
struct bde_switch_access {
    void *(*attach)(sb_t *sbh, uint32_t cs, uint32_t clk, uint32_t dout, uint32_t din);
    void (*detach)(void *handle);
    void (*mode_set)(void *handle, int mode);  // 0 window, 1 serial
    int (*mii_reg_read)(void *handle, int chip_id, uint8_t page, uint8_t offset, uint8_t *buf,
                        int len);
    int (*mii_reg_write)(void *handle, int chip_id, uint8_t page, uint8_t offset, uint8_t *buf,
                         int len);
    int (*spi_reg_read)(void *handle, uint8_t page, uint8_t offset, uint8_t *buf, int len);
    int (*spi_reg_write)(void *handle, uint8_t page, uint8_t offset, uint8_t *buf, int len);
    int (*spi_byte_read)(void *handle, uint8_t addr, uint8_t *byte);
    int (*spi_status_read)(void *handle, uint8_t *status);
};
void bde_switch_access_register(const bde_switch_access *access);

// GPIO pins of the switch's management interface and the page/offset the
// start-up probe reads: port 0's default VLAN tag, a two-byte register that
// every chip of the family has at this address.
constexpr uint32_t BDE_SWITCH_PIN_CS = 0x04;
constexpr uint32_t BDE_SWITCH_PIN_CLK = 0x08;
constexpr uint32_t BDE_SWITCH_PIN_DOUT = 0x10;
constexpr uint32_t BDE_SWITCH_PIN_DIN = 0x20;
constexpr uint8_t BDE_PROBE_PAGE = 0x34;
constexpr uint8_t BDE_PROBE_OFFSET = 0x40;
