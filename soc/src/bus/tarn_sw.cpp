// The switch access handle and its two register paths: the four-wire serial
// bit-bang and the window on the external bus.
#include <cstring>

#include "sal.h"
#include "sal_mem.h"
#include "sb.h"
#include "tarn_bus.h"
#include "tarn_sw_internal.h"
#include "soc_error.h"

using namespace tarn_bus;

namespace {

// ---- four-wire serial
constexpr uint8_t kStatusRegister = 0xfe;
constexpr uint8_t kPageRegister = 0xff;
constexpr uint8_t kStatusBusy = 0x04;
constexpr uint8_t kReadReady = 0x03;
constexpr int kStatusTries = 50;
constexpr int kReadyTries = 50;
constexpr uint32_t kStatusPauseUsecs = 10;

uint8_t read_command(int chip_id) {
    return static_cast<uint8_t>(0x60 | (chip_id & 7) << 1);
}

uint8_t write_command(int chip_id) {
    return static_cast<uint8_t>(0x61 | (chip_id & 7) << 1);
}

uint8_t data_read_command(int chip_id) {
    return static_cast<uint8_t>((chip_id & 7) << 1 | 0x10);
}

// Chip select is active low.
// The chip select is active low.
enum class Select { On, Off };
void select_chip(tarn_sw_t *sw, Select select) {
    pin_set(sw, sw->cs, select == Select::On ? Level::Low : Level::High);
}

// Most significant bit first; the chip samples on the rising clock edge.
void spi_send(tarn_sw_t *sw, uint8_t byte) {
    for (int bit = 7; bit >= 0; bit--) {
        pin_set(sw, sw->clk, Level::Low);
        pin_set(sw, sw->dout, level_of((byte >> bit) & 1));
        pin_set(sw, sw->clk, Level::High);
    }
}

uint8_t spi_receive(tarn_sw_t *sw) {
    uint8_t byte = 0;
    for (int bit = 0; bit < 8; bit++) {
        pin_set(sw, sw->clk, Level::Low);
        pin_set(sw, sw->dout, Level::Low);
        byte = static_cast<uint8_t>(byte << 1 | (data_in(sw) ? 1 : 0));
        pin_set(sw, sw->clk, Level::High);
    }
    return byte;
}

int spi_wait_ready(tarn_sw_t *sw, int chip_id) {
    for (int tries = 0; tries < kStatusTries; tries++) {
        if (tries > 0) {
            sal_udelay(kStatusPauseUsecs);
            sal_udelay(kStatusPauseUsecs);
        }
        select_chip(sw, Select::On);
        spi_send(sw, read_command(chip_id));
        spi_send(sw, kStatusRegister);
        uint8_t status = spi_receive(sw);
        select_chip(sw, Select::Off);
        if ((status & kStatusBusy) == 0) return 0;
    }
    return SOC_E_TIMEOUT;
}

void spi_select_page(tarn_sw_t *sw, int chip_id, uint8_t page) {
    if (sw->cached_chip_id == chip_id && sw->cached_page == page) return;
    select_chip(sw, Select::On);
    spi_send(sw, write_command(chip_id));
    spi_send(sw, kPageRegister);
    spi_send(sw, page);
    select_chip(sw, Select::Off);
    sw->cached_chip_id = chip_id;
    sw->cached_page = page;
}

int spi_write(tarn_sw_t *sw, int chip_id, uint8_t page, uint8_t offset, const uint8_t *buf,
              int len) {
    // A busy chip would drop the frame: report it instead of pretending.
    if (int rv = spi_wait_ready(sw, chip_id); rv != 0) return rv;
    spi_select_page(sw, chip_id, page);
    select_chip(sw, Select::On);
    spi_send(sw, write_command(chip_id));
    spi_send(sw, offset);
    for (int i = 0; i < len; i++)
        spi_send(sw, buf[i]);
    select_chip(sw, Select::Off);
    return 0;
}

int spi_read(tarn_sw_t *sw, int chip_id, uint8_t page, uint8_t offset, uint8_t *buf, int len) {
    if (int rv = spi_wait_ready(sw, chip_id); rv != 0) return rv;
    spi_select_page(sw, chip_id, page);
    select_chip(sw, Select::On);
    spi_send(sw, data_read_command(chip_id));
    spi_send(sw, offset);
    bool ready = false;
    for (int tries = 0; tries < kReadyTries && !ready; tries++)
        ready = (spi_receive(sw) & kReadReady) != 0;
    uint8_t data[8] = {};
    if (ready) {
        for (int i = 0; i < len; i++)
            data[i] = spi_receive(sw);
    }
    select_chip(sw, Select::Off);
    if (!ready) return SOC_E_TIMEOUT;
    std::memcpy(buf, data, len);
    return 0;
}

// ---- external-bus window
constexpr uint32_t kWinData = 0;
constexpr uint32_t kWinPageOffset = 8;  // page at 8, offset at 9
constexpr uint32_t kWinCommand = 10;
constexpr uint32_t kWinBusy = 11;
constexpr uint32_t kWinLengthCode = 12;
constexpr uint8_t kCmdIdle = 0;
constexpr uint8_t kCmdRead = 1;
constexpr uint8_t kCmdWrite = 2;
constexpr int kWindowPolls = 200;

void window_address(tarn_sw_t *sw, uint8_t page, uint8_t offset) {
    sal_mem_write16(sw->window + kWinPageOffset, static_cast<uint16_t>(page | offset << 8));
}

bool window_wait(tarn_sw_t *sw) {
    for (int polls = 0; polls < kWindowPolls; polls++) {
        if (sal_mem_read8(sw->window + kWinBusy) == 0) return true;
    }
    sal_mem_write8(sw->window + kWinCommand, kCmdIdle);
    return false;
}

int window_write(tarn_sw_t *sw, uint8_t page, uint8_t offset, const uint8_t *buf, int len) {
    window_address(sw, page, offset);
    window_address(sw, page, offset);
    int i = 0;
    for (; i + 1 < len; i += 2)
        sal_mem_write16(sw->window + kWinData + i, static_cast<uint16_t>(buf[i] | buf[i + 1] << 8));
    if (i < len) sal_mem_write8(sw->window + kWinData + i, buf[i]);
    sal_mem_write8(sw->window + kWinCommand, kCmdWrite);
    if (!window_wait(sw)) {
        sal_printf("write op time out reg %x %x\n", page, offset);
        return SOC_E_TIMEOUT;
    }
    return 0;
}

int window_read(tarn_sw_t *sw, uint8_t page, uint8_t offset, uint8_t *buf, int len) {
    window_address(sw, page, offset);
    sal_mem_write8(sw->window + kWinCommand, kCmdRead);
    if (!window_wait(sw)) return SOC_E_TIMEOUT;
    if (sal_mem_read8(sw->window + kWinLengthCode) != (1u << (len - 1))) {
        // The chip read a register of another width: no usable value.
        std::memset(buf, 0, len);
        return SOC_E_INTERNAL;
    }
    int i = 0;
    for (; i + 1 < len; i += 2) {
        uint16_t v = sal_mem_read16(sw->window + kWinData + i);
        buf[i] = static_cast<uint8_t>(v);
        buf[i + 1] = static_cast<uint8_t>(v >> 8);
    }
    if (i < len) buf[i] = sal_mem_read8(sw->window + kWinData + i);
    return 0;
}

}  // namespace

tarn_sw_t *tarn_sw_attach(sb_t *sbh, uint32_t cs, uint32_t clk, uint32_t dout, uint32_t din) {
    auto *sw = static_cast<tarn_sw_t *>(sal_alloc(sizeof(tarn_sw_t), "tarn_sw"));
    if (sw == nullptr) return nullptr;
    std::memset(sw, 0, sizeof *sw);
    sw->lock = sal_mutex_create("tarn_sw");
    if (sw->lock == nullptr) {
        sal_free(sw);
        return nullptr;
    }
    sw->sbh = sbh;
    sw->cs = cs;
    sw->clk = clk;
    sw->dout = dout;
    sw->din = din;
    sw->mode = TARN_SW_MODE_WINDOW;
    sw->cached_chip_id = -1;
    sw->cached_page = -1;
    {
        Transaction t(sw);
        sw->out_levels = sb_gpioout(sbh, cs | clk | dout, cs);
        sb_gpioouten(sbh, cs | clk | dout | din, cs | clk | dout);
        sb_extbus_config(sbh, 1);
    }
    sw->window = TARN_SW_WINDOW_BASE;
    return sw;
}

void tarn_sw_detach(tarn_sw_t *sw) {
    if (sw == nullptr) return;
    {
        Transaction t(sw);
        sb_gpioouten(sw->sbh, sw->cs | sw->clk | sw->dout, 0);
    }
    sal_mutex_destroy(sw->lock);
    sal_free(sw);
}

void tarn_sw_mode_set(tarn_sw_t *sw, int mode) {
    if (sw == nullptr) return;
    Transaction t(sw);
    sw->mode = static_cast<uint8_t>(mode);
}

int tarn_mii_reg_read(tarn_sw_t *sw, int chip_id, uint8_t page, uint8_t offset, uint8_t *buf,
                      int len) {
    if (sw == nullptr || !length_ok(buf, len)) return SOC_E_INTERNAL;
    Transaction t(sw);
    if (sw->mode == TARN_SW_MODE_WINDOW) {
        if (chip_id != 0) return SOC_E_INTERNAL;  // the window serves chip 0 only
        return window_read(sw, page, offset, buf, len);
    }
    return spi_read(sw, chip_id, page, offset, buf, len);
}

int tarn_mii_reg_write(tarn_sw_t *sw, int chip_id, uint8_t page, uint8_t offset, const uint8_t *buf,
                       int len) {
    if (sw == nullptr || !length_ok(buf, len)) return SOC_E_INTERNAL;
    Transaction t(sw);
    if (sw->mode == TARN_SW_MODE_WINDOW) {
        if (chip_id != 0) return SOC_E_INTERNAL;
        return window_write(sw, page, offset, buf, len);
    }
    return spi_write(sw, chip_id, page, offset, buf, len);
}

int tarn_mii_setup(tarn_sw_t *sw, int chip_id) {
    constexpr uint8_t kPage = 0x00;
    constexpr uint8_t kOffset = 0x0e;
    constexpr uint8_t kEnable = 0x10;
    uint8_t value = 0;
    if (int rv = tarn_mii_reg_read(sw, chip_id, kPage, kOffset, &value, 1); rv != 0) return rv;
    if (value & kEnable) return 0;
    value |= kEnable;
    if (int rv = tarn_mii_reg_write(sw, chip_id, kPage, kOffset, &value, 1); rv != 0) return rv;
    return tarn_mii_reg_read(sw, chip_id, kPage, kOffset, &value, 1);
}
