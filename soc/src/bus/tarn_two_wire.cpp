// The two-wire framing of the management interface: start and stop
// conditions on the clock and data-out pins, chip select held high, data read
// back on data-in.
#include "sal.h"
#include "sb.h"
#include "tarn_bus.h"
#include "tarn_sw_internal.h"
#include "soc_error.h"

using namespace tarn_bus;

namespace {

void start(tarn_sw_t *sw) {
    pin_set(sw, sw->dout, Level::High);
    pin_set(sw, sw->clk, Level::High);
    pin_set(sw, sw->dout, Level::Low);
    pin_set(sw, sw->clk, Level::Low);
}

void stop(tarn_sw_t *sw) {
    pin_set(sw, sw->clk, Level::High);
    pin_set(sw, sw->dout, Level::Low);
    pin_set(sw, sw->dout, Level::High);
    sw->out_levels = sb_gpioout(sw->sbh, sw->clk | sw->dout, sw->clk | sw->dout);
}

void clock_pulse(tarn_sw_t *sw) {
    pin_set(sw, sw->clk, Level::High);
    pin_set(sw, sw->clk, Level::Low);
}

// Most significant bit first, then one acknowledge clock whose answer is not
// checked.
void send(tarn_sw_t *sw, uint8_t byte) {
    for (int bit = 7; bit >= 0; bit--) {
        pin_set(sw, sw->dout, level_of((byte >> bit) & 1));
        clock_pulse(sw);
    }
    pin_set(sw, sw->clk, Level::High);
    (void)sb_gpioin(sw->sbh);
    pin_set(sw, sw->clk, Level::Low);
}

// The last byte is answered with a not-acknowledge, the others with an
// acknowledge so that the chip goes on.
uint8_t receive(tarn_sw_t *sw, bool last) {
    uint8_t byte = 0;
    for (int bit = 0; bit < 8; bit++) {
        pin_set(sw, sw->clk, Level::High);
        byte = static_cast<uint8_t>(byte << 1 | (data_in(sw) ? 1 : 0));
        pin_set(sw, sw->clk, Level::Low);
    }
    pin_set(sw, sw->dout, level_of(last));
    clock_pulse(sw);
    return byte;
}

uint8_t address_byte(uint8_t page) {
    return static_cast<uint8_t>((0x20 | page) << 1);
}

// Chip select stays high so that the four-wire slave ignores the transaction.
void begin(tarn_sw_t *sw) {
    pin_set(sw, sw->cs, Level::High);
    start(sw);
}

}  // namespace

int tarn_spi_reg_write(tarn_sw_t *sw, uint8_t page, uint8_t offset, const uint8_t *buf, int len) {
    if (sw == nullptr || !length_ok(buf, len)) return SOC_E_INTERNAL;
    Transaction t(sw);
    begin(sw);
    send(sw, address_byte(page));
    send(sw, offset);
    for (int i = 0; i < len; i++)
        send(sw, buf[i]);
    stop(sw);
    return 0;
}

int tarn_spi_reg_read(tarn_sw_t *sw, uint8_t page, uint8_t offset, uint8_t *buf, int len) {
    if (sw == nullptr || !length_ok(buf, len)) return SOC_E_INTERNAL;
    Transaction t(sw);
    begin(sw);
    send(sw, address_byte(page));
    send(sw, offset);
    start(sw);
    send(sw, static_cast<uint8_t>(((page & 0x7f) | 0x20) << 1 | 1));
    for (int i = 0; i < len; i++)
        buf[i] = receive(sw, i == len - 1);
    stop(sw);
    return 0;
}

int tarn_spi_byte_read(tarn_sw_t *sw, uint8_t addr, uint8_t *byte) {
    if (sw == nullptr || byte == nullptr) return SOC_E_INTERNAL;
    Transaction t(sw);
    begin(sw);
    send(sw, static_cast<uint8_t>(addr << 1 | 0x41));
    *byte = receive(sw, true);
    stop(sw);
    return 0;
}

int tarn_spi_status_read(tarn_sw_t *sw, uint8_t *status) {
    if (sw == nullptr || status == nullptr) return SOC_E_INTERNAL;
    Transaction t(sw);
    begin(sw);
    send(sw, 0x19);
    uint8_t byte = receive(sw, true);
    stop(sw);
    *status = (byte & 0x41) ? static_cast<uint8_t>((byte >> 1) & 0xf) : 0;
    return 0;
}
