// Board variables: lookups in the boot-variable list and the NVRAM store,
// MAC address text and the CRC-8 of the NVRAM image.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC-8, polynomial x^8+x^2+x+1 (0x07), most significant bit first,
// continuing from init.
uint8_t pvk_crc8(const void *data, size_t len, uint8_t init);

// The name in the boot-variable list ("name=value\0...\0", may be null), then
// in the NVRAM store; null when in neither.
const char *pvk_getvar(const char *vars, const char *name);
// pvk_getvar converted with base 0 (decimal, 0x hex, leading-0 octal); 0 when absent.
int pvk_getintvar(const char *vars, const char *name);

// Reads six hexadecimal fields of one or two digits separated by ':' or '-';
// true when all six were read and nothing follows. mac is left untouched on
// failure.
bool pvk_ether_atoe(const char *text, uint8_t mac[6]);
// Writes "xx:xx:xx:xx:xx:xx" into buf (18 bytes) and returns buf.
char *pvk_ether_ntoa(const uint8_t mac[6], char *buf);
