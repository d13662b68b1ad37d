// Register description helpers of the diagnostics: a raw register address to
// a description (register id, array index, port, field) and back to text,
// reads and writes through a description, and a walk over every register
// instance of the unit's chip.
#pragma once

#include <cstddef>
#include <cstdint>

#include "drv_reg.h"

// Fills the description; an address without a register gives reg -1.
void soc_reg_addr_decode(int unit, soc_regaddrinfo_t *ainfo, uint32_t addr);
// The register's value cut to its length. 0, -4 without a register or for a
// register of length 0, or the read's error.
int soc_reg_info_read(int unit, const soc_regaddrinfo_t *ainfo, uint64_t *value);
int soc_reg_info_write(int unit, const soc_regaddrinfo_t *ainfo, uint64_t value);
// "Invalid Address", "Reserved", or "[hi:lo] " (fields that ask for it), the
// register name, "(idx)", ".block", ".port-name" and ".FIELD"; cut to size.
void soc_reg_info_sprint(int unit, char *buf, size_t size, const soc_regaddrinfo_t *ainfo);

using soc_reg_iter_f = int (*)(int unit, soc_regaddrinfo_t *ainfo, void *data);
// Calls fn for every register instance of types 1, 2, 6 and 7; its result is
// not checked.
void soc_reg_iterate(int unit, soc_reg_iter_f fn, void *data);
