// Shared utilities: CRC-32, sorting, bit operations and 64-bit number text.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 (IEEE 802.3, reflected) continuing from start; callers pass ~0 and
// invert the result.
uint32_t shr_crc32(uint32_t start, const void *data, size_t len);

// In-place sort; cmp answers -1, 0 or 1.
void shr_sort(void *base, int count, int size, int (*cmp)(void *a, void *b));

int shr_popcount(uint32_t word);
uint8_t shr_bit_rev8(uint8_t byte);
uint16_t shr_swap16(uint16_t v);
uint32_t shr_swap32(uint32_t v);

// Allocates size bytes into *p only while *p is null: 0, or -2 when out of memory.
int shr_alloc_once(void **p, size_t size, const char *tag);

// "0x" and 16 hexadecimal digits, high word first; a null buffer gives null.
// The buffer must hold 19 bytes.
char *shr_format_uint64_hex(uint32_t low, uint32_t high, char *buf);
char *shr_format_uint64_hex(uint64_t value, char *buf);

// "0x..." hexadecimal up to 64 bits, or decimal: 0, or -1 on a bad character
// or a number that does not fit.
int shr_parse_uint64(const char *text, uint32_t words[2]);  // low word first
int shr_parse_uint64(const char *text, uint64_t *value);

// Value of one hexadecimal digit (either case), or -1 for any other character.
int shr_hex_digit(char c);

int shr_ctoi(const char *text);  // same rules as sal_ctoi
uint32_t shr_ctou(const char *text);

// Scales a count for rate printing: the value divided by 1000 (or 1024 when
// binary) until it is below that base, giving the whole part, one decimal
// and the unit letter ("", "K", "M", "G", "T", "P", "E").
struct shr_scaled {
    uint64_t whole;
    unsigned tenths;
    char unit;  // '\0' when unscaled
};
shr_scaled shr_scale_uint64(uint64_t value, int binary);
