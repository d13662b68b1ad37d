// NVRAM store: the switch's name=value settings, kept whole in RAM and
// written to the last 128 KB of flash on commit.
#pragma once

#include <cstddef>

// Reads the image from flash into the RAM table; 0, or negative when the
// flash cannot be read (the store then starts empty).
int nvram_init(void);
// Value of a variable, or null when absent ("" when the store is not open).
// The text stays valid until a later set, unset or reopen replaces it, and
// for two seconds after that: read it right away, copy what is kept.
const char *nvram_get(const char *name);
// 0, or negative (null or empty name, '=' in the name, store full).
int nvram_set(const char *name, const char *value);
int nvram_unset(const char *name);  // 0, or negative when absent
// Copies every "name=value" followed by a NUL, the list ended by an empty
// string, into buf; 0, or negative when count bytes are too few.
int nvram_getall(char *buf, size_t count);
// Writes the whole image to flash; 0, or negative on failure.
int nvram_commit(void);
