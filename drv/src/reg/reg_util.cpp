// Conversions between register values and port bitmaps or MAC addresses, and
// the register address lists of the diagnostics.
#include "drv_reg.h"
#include "soc_error.h"

int soc_tarn_regval_to_pbmp(int unit, soc_pbmp_t *bmp, uint32_t word0, uint32_t word1) {
    bmp->w[0] = word0;
    bmp->w[1] = SOC_PBMP_WIDE(unit) ? word1 : 0;
    return 0;
}

int soc_tarn_pbmp_to_regval(int unit, soc_pbmp_t bmp, uint32_t *value) {
    value[0] = bmp.w[0];
    // A unit of up to 32 ports passes a one-word value.
    if (SOC_PBMP_WIDE(unit)) value[1] = bmp.w[1];
    return 0;
}

int soc_regaddrlist_alloc(soc_regaddrlist_t *list) {
    list->ainfo = static_cast<soc_regaddrinfo_t *>(sal_alloc(SOC_REGADDRLIST_BYTES, "regaddrlist"));
    if (list->ainfo == nullptr) return SOC_E_MEMORY;
    list->count = 0;
    return 0;
}

int soc_regaddrlist_free(soc_regaddrlist_t *list) {
    if (list->ainfo != nullptr) sal_free(list->ainfo);
    list->ainfo = nullptr;
    list->count = 0;
    return 0;
}

void soc_tarn_field_to_mac(const uint32_t *fldbuf, uint8_t mac[6]) {
    mac[0] = static_cast<uint8_t>(fldbuf[1] >> 8);
    mac[1] = static_cast<uint8_t>(fldbuf[1]);
    for (int i = 0; i < 4; i++)
        mac[2 + i] = static_cast<uint8_t>(fldbuf[0] >> (24 - 8 * i));
}

void soc_tarn_mac_to_field(const uint8_t mac[6], uint32_t *fldbuf) {
    fldbuf[1] = static_cast<uint32_t>(mac[0]) << 8 | mac[1];
    fldbuf[0] = 0;
    for (int i = 0; i < 4; i++)
        fldbuf[0] |= static_cast<uint32_t>(mac[2 + i]) << (24 - 8 * i);
}
