// Board variables over the boot-variable list and the NVRAM store, MAC
// address text and the CRC-8 of the NVRAM image.
#include "pvk.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "nvram.h"
#include "sal.h"
#include "shr.h"

namespace {

constexpr std::array<uint8_t, 256> make_crc8_table() {
    std::array<uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; i++) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; bit++)
            crc = (crc & 0x80) ? ((crc << 1) ^ 0x07) : (crc << 1);
        table[i] = static_cast<uint8_t>(crc);
    }
    return table;
}

constexpr std::array<uint8_t, 256> kCrc8Table = make_crc8_table();

}  // namespace

uint8_t pvk_crc8(const void *data, size_t len, uint8_t init) {
    const auto *p = static_cast<const uint8_t *>(data);
    uint8_t crc = init;
    for (size_t i = 0; i < len; i++)
        crc = kCrc8Table[crc ^ p[i]];
    return crc;
}

const char *pvk_getvar(const char *vars, const char *name) {
    if (name == nullptr) return nullptr;
    const size_t len = std::strlen(name);
    for (const char *v = vars; v != nullptr && *v != '\0'; v += std::strlen(v) + 1) {
        if (std::strncmp(v, name, len) == 0 && v[len] == '=') return v + len + 1;
    }
    return nvram_get(name);
}

int pvk_getintvar(const char *vars, const char *name) {
    const char *value = pvk_getvar(vars, name);
    return value ? static_cast<int>(std::strtoul(value, nullptr, 0)) : 0;
}

bool pvk_ether_atoe(const char *text, uint8_t mac[6]) {
    if (text == nullptr || mac == nullptr) return false;
    uint8_t out[6];
    const char *p = text;
    for (int field = 0; field < 6; field++) {
        if (field > 0) {
            if (*p != ':' && *p != '-') return false;
            p++;
        }
        int hi = shr_hex_digit(p[0]);
        if (hi < 0) return false;
        int lo = shr_hex_digit(p[1]);
        if (lo < 0) {
            out[field] = static_cast<uint8_t>(hi);
            p += 1;
        } else {
            out[field] = static_cast<uint8_t>(hi * 16 + lo);
            p += 2;
        }
    }
    if (*p != '\0') return false;
    std::memcpy(mac, out, sizeof out);
    return true;
}

char *pvk_ether_ntoa(const uint8_t mac[6], char *buf) {
    if (mac == nullptr || buf == nullptr) return buf;
    sal_snprintf(buf, 18, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4],
                 mac[5]);
    return buf;
}
