// Register access by register id: address and length from the chip's
// register-info rows, raw reads and writes of 1-8 bytes over the device's
// host vector under the process-wide "SPI" mutex, and field get/set on a
// register value held in memory (word 0 bit 0 = register bit 0).
//
// A read-modify-write goes: address (slot 3), length (slot 2), read into a
// zeroed two-word buffer (slot 0), field sets (slot 4), write (slot 1).
#pragma once

#include <cstdint>

#include "soc_control.h"

// Service slots 0-5.
// 0; -9 when the bus timed out, -1 for another bus failure (data untouched).
int drv_reg_read(int unit, uint32_t addr, void *data, int len);
int drv_reg_write(int unit, uint32_t addr, const void *data, int len);
int drv_reg_length_get(int unit, uint32_t reg);  // bytes, 0 when the row has no width
// 16 bits; DRV_REG_ADDR_NONE (no register there) when the chip has no such
// instance, so that an access cannot reach another port's register.
constexpr uint32_t DRV_REG_ADDR_NONE = 0xff00;
uint32_t drv_reg_addr(int unit, uint32_t reg, int port, int index);
// The same as a result: 0, or SOC_E_PARAM when the unit's chip has no
// instance of the register for that port and index (a port outside the
// register's blocks or beyond a split register's ports, an index beyond the
// array, a port without a PHY page).
int drv_reg_addr_get(int unit, uint32_t reg, int port, int index, uint32_t *addr);
// Register page of a port's PHY, SOC_E_PARAM for a port without one.
int drv_reg_phy_page(int unit, int port);
// The ports whose instance of a per-port register is that register itself
// (not a split register's second one); empty for chip-wide registers.
soc_pbmp_t drv_reg_port_set(int unit, uint32_t reg);
// Field values are arrays of words. A value wider than the field and an
// unknown register or field are programming errors (assertion).
int drv_reg_field_set(int unit, uint32_t reg, uint32_t *regbuf, uint32_t field,
                      const uint32_t *fldbuf);
int drv_reg_field_get(int unit, uint32_t reg, const uint32_t *regbuf, uint32_t field,
                      uint32_t *fldbuf);

// True when value (one or two words) fits the register's field; for callers
// that must refuse API values before they reach drv_reg_field_set. False for
// an unknown register or field.
bool drv_reg_field_fits(int unit, uint32_t reg, uint32_t field, const uint32_t *fldbuf);

// The device's switch-register host-vector entries. 0, or the vector's
// negative result (-9 time-out, -1 other failure).
int soc_cm_bus_reg_read(int unit, uint32_t addr, uint8_t *buf, int len);
int soc_cm_bus_reg_write(int unit, uint32_t addr, uint8_t *buf, int len);

// Port bitmap to and from a register value; word 1 only on units with more
// than 32 ports (else 0).
int soc_tarn_regval_to_pbmp(int unit, soc_pbmp_t *bmp, uint32_t word0, uint32_t word1);
int soc_tarn_pbmp_to_regval(int unit, soc_pbmp_t bmp, uint32_t *value);

// Register-address description of the diagnostics.
struct soc_regaddrinfo_t {
    uint32_t addr;
    int valid;
    int reg;  // -1 = none
    int idx;  // -1 = none
    int reserved;
    int port;   // -1 = none
    int block;  // -1 = none
    int field;  // -1 = whole register
};
constexpr int SOC_REGADDRLIST_BYTES = 13568;
struct soc_regaddrlist_t {
    int count;
    soc_regaddrinfo_t *ainfo;  // room for SOC_REGADDRLIST_BYTES
};
int soc_regaddrlist_alloc(soc_regaddrlist_t *list);  // 0, or -2
int soc_regaddrlist_free(soc_regaddrlist_t *list);

// 48-bit MAC field value (low 32 bits in word 0) to and from six bytes in
// network order.
void soc_tarn_field_to_mac(const uint32_t *fldbuf, uint8_t mac[6]);
void soc_tarn_mac_to_field(const uint8_t mac[6], uint32_t *fldbuf);
