// Raw register reads and writes over the device's host vector, serialised by
// the process-wide "SPI" mutex.
#include <cstring>

#include "drv_reg.h"
#include "soc_cm.h"
#include "soc_error.h"

namespace {

// Bus byte k carries register bits 8k..8k+7.
void bytes_to_words(const uint8_t bytes[8], uint32_t words[2]) {
    for (int w = 0; w < 2; w++) {
        words[w] = 0;
        for (int b = 0; b < 4; b++)
            words[w] |= static_cast<uint32_t>(bytes[4 * w + b]) << (8 * b);
    }
}

void words_to_bytes(const uint32_t words[2], uint8_t bytes[8]) {
    for (int k = 0; k < 8; k++)
        bytes[k] = static_cast<uint8_t>(words[k / 4] >> (8 * (k % 4)));
}

// A failed transfer is a time-out or another bus failure.
int bus_error(int rv) {
    return rv == SOC_E_TIMEOUT ? SOC_E_TIMEOUT : SOC_E_INTERNAL;
}

// One bus transfer under the "SPI" mutex; SOC_E_INTERNAL while no unit holds it.
template <typename Transfer>
int with_spi_mutex(Transfer transfer) {
    sal_mutex_t spi = soc_spi_mutex();
    if (spi == nullptr) return SOC_E_INTERNAL;
    sal_mutex_take(spi, sal_mutex_FOREVER);
    int rv = transfer();
    sal_mutex_give(spi);
    return rv;
}

}  // namespace

int soc_cm_bus_reg_read(int unit, uint32_t addr, uint8_t *buf, int len) {
    soc_cm_dev_t *dev = soc_cm_dev(unit);
    if (dev == nullptr || dev->vectors.switch_reg_read == nullptr) return SOC_E_INTERNAL;
    return dev->vectors.switch_reg_read(dev, addr, buf, len);
}

int soc_cm_bus_reg_write(int unit, uint32_t addr, uint8_t *buf, int len) {
    soc_cm_dev_t *dev = soc_cm_dev(unit);
    if (dev == nullptr || dev->vectors.switch_reg_write == nullptr) return SOC_E_INTERNAL;
    return dev->vectors.switch_reg_write(dev, addr, buf, len);
}

int drv_reg_read(int unit, uint32_t addr, void *data, int len) {
    soc_cm_debug_print(DK_REG, "drv_reg_read: unit = %d, addr = %x, length = %d\n", unit, addr,
                       len);
    if (len < 1 || len > 8 || data == nullptr) return SOC_E_PARAM;
    uint8_t bytes[8] = {};
    int rv = with_spi_mutex([&] { return soc_cm_bus_reg_read(unit, addr, bytes, len); });
    if (rv < 0) {
        // The caller's data stays as it was: no stale or zero value passes for a read.
        soc_cm_print("drv_reg_read: unit=0x%x addr=0x%x\n", unit, addr);
        return bus_error(rv);
    }
    uint32_t words[2];
    bytes_to_words(bytes, words);
    if (len <= 4) {
        std::memcpy(data, words, 4);
        soc_cm_debug_print(DK_REG, "len <= 4");
    } else {
        std::memcpy(data, words, 8);
        soc_cm_debug_print(DK_REG, "len > 4");
    }
    return 0;
}

int drv_reg_write(int unit, uint32_t addr, const void *data, int len) {
    soc_cm_debug_print(DK_REG, "drv_reg_write: unit = %d, addr = %x, length = %d\n", unit, addr,
                       len);
    if (len < 1 || len > 8 || data == nullptr) return SOC_E_PARAM;
    uint32_t words[2] = {0, 0};
    std::memcpy(words, data, len <= 4 ? 4 : 8);
    uint8_t bytes[8];
    words_to_bytes(words, bytes);
    int rv = with_spi_mutex([&] { return soc_cm_bus_reg_write(unit, addr, bytes, len); });
    return rv < 0 ? bus_error(rv) : 0;
}
