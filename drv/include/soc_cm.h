// Device manager: the table of supported chips, one record per device found
// on the board with the host vector through which everything above reaches
// the hardware, and the chip layer's print entries. Device init and destroy,
// which attach and detach the unit, live with the unit life cycle (soc.h).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

constexpr int SOC_MAX_NUM_DEVICES = 18;
constexpr int SOC_CM_NUM_SUPPORTED = 20;

// Flags of a supported-device row.
constexpr uint32_t SOC_CM_QNT = 0x1;       // chip of the other switch family
constexpr uint32_t SOC_CM_TARN = 0x2;      // chip of this family
constexpr uint32_t SOC_CM_SWITCH = 0x10;   // a switch unit
constexpr uint32_t SOC_CM_CPU_NIC = 0x20;  // the CPU-port network controller

// Debug mask categories of soc_cm_debug_print.
constexpr uint32_t DK_MEMCACHE = 0x4;
constexpr uint32_t DK_PORT = 0x800;
constexpr uint32_t DK_CPU_PORT = 0x1000;
constexpr uint32_t DK_API = 0x10000;
constexpr uint32_t DK_MIIM = 0x20000;
constexpr uint32_t DK_PHY = 0x40000;
constexpr uint32_t DK_LINK = 0x100000;
constexpr uint32_t DK_ERR = 0x200000;
constexpr uint32_t DK_VLAN = 0x2000000;
constexpr uint32_t DK_REG = 0x20000000;
constexpr uint32_t DK_MEM = 0x40000000;

struct soc_cm_device_info_t {
    uint16_t dev_id;
    uint8_t rev_id;
    const char *dev_name;
    uint16_t dev_id_driver;  // 0: the device's own id and revision
    uint8_t rev_id_driver;
    uint32_t dev_type;  // SOC_CM_* flags
};

struct soc_cm_dev_s;
using soc_cm_dev_t = soc_cm_dev_s;
using soc_cm_isr_t = void (*)(void *data);

// The 21-word host vector a platform glue hands over for a device.
struct soc_cm_dev_vectors_t {
    int init;            // 0: the device's initialised flag
    uint32_t bus_type;   // 1
    uint32_t bus_prop2;  // 2
    uint32_t bus_prop3;  // 3
    const char *(*config_var_get)(soc_cm_dev_t *dev, const char *name);                // 4
    int (*interrupt_connect)(soc_cm_dev_t *dev, soc_cm_isr_t isr, void *data);         // 5
    int (*interrupt_disconnect)(soc_cm_dev_t *dev);                                    // 6
    uintptr_t base_address;                                                            // 7
    uint32_t (*read)(soc_cm_dev_t *dev, uint32_t addr);                                // 8
    void (*write)(soc_cm_dev_t *dev, uint32_t addr, uint32_t data);                    // 9
    uint32_t (*pci_conf_read)(soc_cm_dev_t *dev, uint32_t addr);                       // 10
    void (*pci_conf_write)(soc_cm_dev_t *dev, uint32_t addr, uint32_t data);           // 11
    void *(*salloc)(soc_cm_dev_t *dev, int size, const char *name);                    // 12
    void (*sfree)(soc_cm_dev_t *dev, void *ptr);                                       // 13
    int (*sflush)(soc_cm_dev_t *dev, void *addr, int length);                          // 14
    int (*sinval)(soc_cm_dev_t *dev, void *addr, int length);                          // 15
    uint32_t (*l2p)(soc_cm_dev_t *dev, void *addr);                                    // 16
    void *(*p2l)(soc_cm_dev_t *dev, uint32_t addr);                                    // 17
    int (*switch_reg_read)(soc_cm_dev_t *dev, uint32_t addr, uint8_t *buf, int len);   // 18
    int (*switch_reg_write)(soc_cm_dev_t *dev, uint32_t addr, uint8_t *buf, int len);  // 19
    int interrupt_line;                                                                // 20
};

// One device record.
struct soc_cm_dev_s {
    int dev;
    const soc_cm_device_info_t *info;  // its supported-device row
    void *cookie;                      // the platform's
    uint16_t dev_id;
    uint8_t rev_id;
    soc_cm_dev_vectors_t vectors;
};

// The manager's own vectors: print (mask, format, arguments; prints when one
// of the mask's categories is on, always for mask 0), debug check and device
// dump.
struct soc_cm_init_t {
    int (*debug_out)(uint32_t mask, const char *format, va_list args);
    int (*debug_check)(uint32_t mask);
    void (*device_dump)(int unit);
};

// First call only: stores the vectors and clears the device table. 0.
int soc_cm_init(const soc_cm_init_t *init);
bool soc_cm_initialised(void);
// 0 when supported (nearest lower revision row), -16 when not, -17 before init.
int soc_cm_device_supported(uint16_t dev_id, uint8_t rev_id);
// Device number; -17 before init, -16 unsupported, -3 when the table is full.
int soc_cm_device_create(uint16_t dev_id, uint8_t rev_id, void *cookie);
// Either output may be null; -17 before init, -3 for a device not created.
int soc_cm_device_id_get(int dev, uint16_t *dev_id, uint8_t *rev_id);
// The row's driver ids, or the row's own when they are 0; -7 when unknown.
int soc_cm_driver_id_get(uint16_t dev_id, uint8_t rev_id, uint16_t *drv_dev_id,
                         uint8_t *drv_rev_id);
const char *soc_cm_id_to_name(uint16_t dev_id, uint8_t rev_id);  // "UNKNOWN"
const char *soc_cm_device_name(int dev);                         // "<UNKNOWN>"
uint32_t soc_cm_get_dev_type(int dev);                           // row flags, 0 when none
const char *soc_cm_get_name(int dev);                            // row name, null when none
void soc_cm_device_list_print(void);

// The record of a created device, null otherwise.
soc_cm_dev_t *soc_cm_dev(int dev);
int soc_cm_get_num_devices(void);
// Number of switch units: every unit check of the chip layer tests against it.
int soc_cm_get_num_units(void);
int soc_cm_last_switch_device(void);

// Host-vector calls, passed unchanged to the device's vector.
int soc_cm_interrupt_connect(int dev, soc_cm_isr_t isr, void *data);
int soc_cm_interrupt_disconnect(int dev);
void *soc_cm_salloc(int dev, int size, const char *name);
void soc_cm_sfree(int dev, void *ptr);
int soc_cm_sflush(int dev, void *addr, int length);  // 0 when the vector has none
int soc_cm_sinval(int dev, void *addr, int length);  // 0 when the vector has none
uint32_t soc_cm_l2p(int dev, void *addr);
void *soc_cm_p2l(int dev, uint32_t addr);
uint32_t soc_cm_iproc_read(int dev, uint32_t addr);  // 0 when the vector has none
void soc_cm_iproc_write(int dev, uint32_t addr, uint32_t data);
const char *soc_cm_config_var_get(int dev, const char *name);  // null when absent
void soc_cm_display_device(int dev);

int soc_cm_print(const char *format, ...) __attribute__((format(printf, 1, 2)));
int soc_cm_debug_print(uint32_t mask, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
int soc_cm_debug_enabled(uint32_t mask);

// Host-only: forgets the manager's state (tests that start over). The units'
// records must have been released first (soc_host_forget_units).
void soc_cm_host_forget(void);
