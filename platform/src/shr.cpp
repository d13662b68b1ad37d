// Shared utilities.
#include "shr.h"

#include <array>
#include <cstring>

#include "sal.h"

namespace {

constexpr std::array<uint32_t, 256> make_crc32_table() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int k = 0; k < 8; k++)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}
constexpr auto crc32_table = make_crc32_table();

}  // namespace

uint32_t shr_crc32(uint32_t start, const void *data, size_t len) {
    const auto *p = static_cast<const uint8_t *>(data);
    uint32_t crc = start;
    for (size_t i = 0; i < len; i++)
        crc = crc32_table[(crc ^ p[i]) & 0xff] ^ (crc >> 8);
    return crc;
}

void shr_sort(void *base, int count, int size, int (*cmp)(void *a, void *b)) {
    if (base == nullptr || count < 2 || size <= 0 || cmp == nullptr) return;
    auto *b = static_cast<uint8_t *>(base);
    auto sz = static_cast<size_t>(size);
    auto *tmp = static_cast<uint8_t *>(sal_alloc(sz, "shr_sort"));
    if (tmp == nullptr) return;
    // Insertion sort: stable, and the lists sorted here are short.
    for (int i = 1; i < count; i++) {
        std::memcpy(tmp, b + static_cast<size_t>(i) * sz, sz);
        int j = i - 1;
        while (j >= 0 && cmp(b + static_cast<size_t>(j) * sz, tmp) > 0) {
            std::memcpy(b + static_cast<size_t>(j + 1) * sz, b + static_cast<size_t>(j) * sz, sz);
            j--;
        }
        std::memcpy(b + static_cast<size_t>(j + 1) * sz, tmp, sz);
    }
    sal_free(tmp);
}

int shr_popcount(uint32_t word) {
    return __builtin_popcount(word);
}

uint8_t shr_bit_rev8(uint8_t byte) {
    uint8_t r = 0;
    for (int i = 0; i < 8; i++)
        r = static_cast<uint8_t>(r | (((byte >> i) & 1) << (7 - i)));
    return r;
}

uint16_t shr_swap16(uint16_t v) {
    return static_cast<uint16_t>((v >> 8) | (v << 8));
}

uint32_t shr_swap32(uint32_t v) {
    return __builtin_bswap32(v);
}

int shr_alloc_once(void **p, size_t size, const char *tag) {
    if (p == nullptr) return -4;
    if (*p != nullptr) return 0;
    *p = sal_alloc(size, tag);
    return *p == nullptr ? -2 : 0;
}

char *shr_format_uint64_hex(uint32_t low, uint32_t high, char *buf) {
    if (buf == nullptr) return nullptr;
    sal_snprintf(buf, 19, "0x%08x%08x", high, low);
    return buf;
}

char *shr_format_uint64_hex(uint64_t value, char *buf) {
    return shr_format_uint64_hex(static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32),
                                 buf);
}

int shr_parse_uint64(const char *text, uint64_t *value) {
    if (text == nullptr || value == nullptr || *text == '\0') return -1;
    uint64_t v = 0;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const char *s = text + 2;
        if (*s == '\0') return -1;
        for (; *s; s++) {
            int d = shr_hex_digit(*s);
            if (d < 0 || (v >> 60) != 0) return -1;
            v = (v << 4) | static_cast<uint64_t>(d);
        }
    } else {
        for (const char *s = text; *s; s++) {
            if (*s < '0' || *s > '9') return -1;
            auto d = static_cast<uint64_t>(*s - '0');
            if (v > (UINT64_MAX - d) / 10) return -1;
            v = v * 10 + d;
        }
    }
    *value = v;
    return 0;
}

int shr_parse_uint64(const char *text, uint32_t words[2]) {
    uint64_t v;
    if (words == nullptr || shr_parse_uint64(text, &v) != 0) return -1;
    words[0] = static_cast<uint32_t>(v);
    words[1] = static_cast<uint32_t>(v >> 32);
    return 0;
}

int shr_ctoi(const char *text) {
    return sal_ctoi(text, nullptr);
}

uint32_t shr_ctou(const char *text) {
    if (text != nullptr && *text == '-') return 0;
    return static_cast<uint32_t>(sal_ctoi(text, nullptr));
}

shr_scaled shr_scale_uint64(uint64_t value, int binary) {
    static const char units[] = {'\0', 'K', 'M', 'G', 'T', 'P', 'E'};
    const uint64_t base = binary ? 1024 : 1000;
    uint64_t rest = 0;
    unsigned u = 0;
    while (value >= base && u + 1 < sizeof units) {
        rest = value % base;
        value /= base;
        u++;
    }
    return {value, static_cast<unsigned>(rest * 10 / base), units[u]};
}

int shr_hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
