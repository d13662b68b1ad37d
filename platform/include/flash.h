// Flash driver: sector reads, NOR programming (bits only go from 1 to 0) and
// sector erase. Sectors are numbered from 0; offsets are within the sector.
#pragma once

#include <cstddef>
#include <cstdint>

// Sector size in bytes (65536 on this board).
extern const int flash_sector_size;

// Probes the flash (opening the default flash file when none is open yet);
// 0, or -1 on failure.
int flashInit(void);
// Number of sectors found by the last flashInit; 0 before it.
int flashNumSectors(void);
// Each returns 0, or -1 on a bad sector, a range that leaves the sector, a
// null buffer, no flash, or a device failure.
int flashBlkRead(int sector, void *buf, int offset, int len);
int flashBlkWrite(int sector, const void *buf, int offset, int len);
int flashEraseBank(int first, int count);

// Byte-addressed forms over the whole chip, for regions that span sectors.
int flash_read(uint32_t offset, void *buf, size_t len);
int flash_program(uint32_t offset, const void *buf, size_t len);
int flash_erase(uint32_t offset, size_t len);  // whole sectors only
