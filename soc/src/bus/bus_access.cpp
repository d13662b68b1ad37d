// The device enumerator's view of the switch access handle.
#include "bde.h"
#include "tarn_bus.h"

namespace {

tarn_sw_t *handle(void *h) {
    return static_cast<tarn_sw_t *>(h);
}

void *attach(sb_t *sbh, uint32_t cs, uint32_t clk, uint32_t dout, uint32_t din) {
    return tarn_sw_attach(sbh, cs, clk, dout, din);
}

void detach(void *h) {
    tarn_sw_detach(handle(h));
}

void mode_set(void *h, int mode) {
    tarn_sw_mode_set(handle(h), mode);
}

int mii_reg_read(void *h, int chip_id, uint8_t page, uint8_t offset, uint8_t *buf, int len) {
    return tarn_mii_reg_read(handle(h), chip_id, page, offset, buf, len);
}

int mii_reg_write(void *h, int chip_id, uint8_t page, uint8_t offset, uint8_t *buf, int len) {
    return tarn_mii_reg_write(handle(h), chip_id, page, offset, buf, len);
}

int spi_reg_read(void *h, uint8_t page, uint8_t offset, uint8_t *buf, int len) {
    return tarn_spi_reg_read(handle(h), page, offset, buf, len);
}

int spi_reg_write(void *h, uint8_t page, uint8_t offset, uint8_t *buf, int len) {
    return tarn_spi_reg_write(handle(h), page, offset, buf, len);
}

int spi_byte_read(void *h, uint8_t addr, uint8_t *byte) {
    return tarn_spi_byte_read(handle(h), addr, byte);
}

int spi_status_read(void *h, uint8_t *status) {
    return tarn_spi_status_read(handle(h), status);
}

constexpr bde_switch_access kAccess = {
    .attach = attach,
    .detach = detach,
    .mode_set = mode_set,
    .mii_reg_read = mii_reg_read,
    .mii_reg_write = mii_reg_write,
    .spi_reg_read = spi_reg_read,
    .spi_reg_write = spi_reg_write,
    .spi_byte_read = spi_byte_read,
    .spi_status_read = spi_status_read,
};

}  // namespace

const bde_switch_access *tarn_bus_access(void) {
    return &kAccess;
}

void tarn_bus_register(void) {
    bde_switch_access_register(&kAccess);
}
