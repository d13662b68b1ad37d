// Counting-pattern and random payloads of test frames, and their compare.
// The byte stream never depends on the buffer's alignment; whole 32-bit
// words are moved wherever the alignment allows.
#include <cstdint>
#include <cstring>

#include "diag_pattern.h"
#include "sal.h"

namespace {

bool aligned(const void *p) {
    return (reinterpret_cast<uintptr_t>(p) & 3) == 0;
}

void store_be(uint8_t *p, uint32_t v) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                              static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    std::memcpy(p, bytes, 4);
}

}  // namespace

uint32_t packet_pattern_fill(uint8_t *buf, int length, uint32_t pattern, uint32_t increment) {
    int done = 0;  // bytes of the current pattern word already written
    int i = 0;
    auto put_byte = [&]() {
        buf[i++] = static_cast<uint8_t>(pattern >> (24 - 8 * done));
        if (++done == 4) {
            done = 0;
            pattern += increment;
        }
    };
    while (i < length && !aligned(buf + i))
        put_byte();
    // Each aligned store takes the rest of the current pattern word and the
    // head of the next one.
    for (; length - i >= 4; i += 4) {
        uint32_t next = pattern + increment;
        uint32_t word = done == 0 ? pattern : (pattern << (8 * done)) | (next >> (32 - 8 * done));
        store_be(buf + i, word);
        pattern = next;
    }
    while (i < length)
        put_byte();
    return pattern;
}

void packet_random_fill(uint8_t *buf, int length) {
    for (int i = 0; i < length; i += 4) {
        uint32_t r = sal_rand();
        for (int b = 0; b < 4 && i + b < length; b++)
            buf[i + b] = static_cast<uint8_t>(r >> (24 - 8 * b));
    }
}

int packet_pattern_compare(const uint8_t *expected, const uint8_t *actual, int length) {
    int i = 0;
    if (((reinterpret_cast<uintptr_t>(expected) ^ reinterpret_cast<uintptr_t>(actual)) & 3) == 0) {
        for (; i < length && !aligned(expected + i); i++) {
            if (expected[i] != actual[i]) return i;
        }
        for (; length - i >= 4; i += 4) {
            uint32_t a, b;
            std::memcpy(&a, expected + i, 4);
            std::memcpy(&b, actual + i, 4);
            if (a != b) break;
        }
    }
    for (; i < length; i++) {
        if (expected[i] != actual[i]) return i;
    }
    return -1;
}

uint32_t packet_unpack_be(const uint8_t *bytes, int count) {
    if (count > 4) count = 4;
    uint32_t v = 0;
    for (int i = 0; i < count; i++)
        v = v << 8 | bytes[i];
    return v;
}
