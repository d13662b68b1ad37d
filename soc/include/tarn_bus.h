// CPU-side access to the switch chip's management interface: four GPIO pins
// bit-banged as a four-wire serial link, the register window on the external
// bus, and a two-wire framing with start and stop conditions. The lowest layer
// of register access; the device enumerator reaches it through the table that
// tarn_bus_register() installs.
#pragma once

#include <cstdint>

#include "bde.h"
#include "sal.h"
#include "sb.h"

// Switch access handle (one per switch device).
struct tarn_sw_s {
    sb_t *sbh;
    unsigned saved_core;  // core selected before the transaction in progress
    uint32_t cs;          // chip select
    uint32_t clk;
    uint32_t dout;       // CPU to chip
    uint32_t din;        // chip to CPU
    int cached_chip_id;  // -1 = none
    int cached_page;     // -1 = none
    uint32_t window;     // external-bus window address
    uint8_t mode;        // TARN_SW_MODE_WINDOW or TARN_SW_MODE_SPI
    // Serialises transactions: callers outside the register services (the
    // enumerator's probe, the two-wire slots) do not hold the "SPI" mutex.
    sal_mutex_t lock;
    // The GPIO output word as read at the start of the transaction in
    // progress and driven since: a pin step that would not move a pin is not
    // written.
    uint32_t out_levels;
};
using tarn_sw_t = tarn_sw_s;

constexpr uint8_t TARN_SW_MODE_WINDOW = 0;
constexpr uint8_t TARN_SW_MODE_SPI = 1;
constexpr uint32_t TARN_SW_WINDOW_BASE = 0xBA000000;

// Serial-pin record: the pins that NVRAM variables "gpio%d" name
// "adm_eecs", "adm_eesk" and "adm_eedi" (defaults 4, 8 and 16). The masks
// are 16 bits wide so that every one of the 16 variables names a real pin.
struct adm_pins_s {
    sb_t *sbh;
    uint16_t eecs;
    uint16_t eesk;
    uint16_t eedi;
};
using adm_pins_t = adm_pins_s;

adm_pins_t *adm_pins_attach(sb_t *sbh);  // null when out of memory
void adm_pins_detach(adm_pins_t *pins);

// Null when out of memory. The handle starts in window mode.
tarn_sw_t *tarn_sw_attach(sb_t *sbh, uint32_t cs, uint32_t clk, uint32_t dout, uint32_t din);
void tarn_sw_detach(tarn_sw_t *sw);
void tarn_sw_mode_set(tarn_sw_t *sw, int mode);

// One register (1-8 bytes, buffer byte 0 = register bits 7:0) by the handle's
// mode. 0; -9 when the chip stays busy or never delivers the data; -1 for a
// bad argument, a chip id the window does not serve, or a window read whose
// length code does not match (the buffer then holds zeros). A failed read
// never leaves data that could pass for the register's value.
int tarn_mii_reg_read(tarn_sw_t *sw, int chip_id, uint8_t page, uint8_t offset, uint8_t *buf,
                      int len);
int tarn_mii_reg_write(tarn_sw_t *sw, int chip_id, uint8_t page, uint8_t offset, const uint8_t *buf,
                       int len);
// Sets bit 4 of page 0x00 offset 0x0e when it is clear. 0 or the bus error.
int tarn_mii_setup(tarn_sw_t *sw, int chip_id);

// The two-wire framing. 0, or -1 for a bad argument.
int tarn_spi_reg_read(tarn_sw_t *sw, uint8_t page, uint8_t offset, uint8_t *buf, int len);
int tarn_spi_reg_write(tarn_sw_t *sw, uint8_t page, uint8_t offset, const uint8_t *buf, int len);
int tarn_spi_byte_read(tarn_sw_t *sw, uint8_t addr, uint8_t *byte);
// *status = (byte >> 1) & 0xf when the status byte has any of bits 0x41, else 0.
int tarn_spi_status_read(tarn_sw_t *sw, uint8_t *status);

// The access table of the device enumerator over these routines.
const bde_switch_access *tarn_bus_access(void);
// Installs it; start-up calls this before the enumerator probes the devices.
void tarn_bus_register(void);
