// Test-frame payload helpers: a counting big-endian word pattern, a random
// fill, a compare that reports the first differing byte and a big-endian
// field reader. Any buffer alignment.
#pragma once

#include <cstdint>

// Returns the pattern that continues the stream.
uint32_t packet_pattern_fill(uint8_t *buf, int length, uint32_t pattern, uint32_t increment);
void packet_random_fill(uint8_t *buf, int length);
// Offset of the first differing byte, or -1.
int packet_pattern_compare(const uint8_t *expected, const uint8_t *actual, int length);
uint32_t packet_unpack_be(const uint8_t *bytes, int count);
