// Geometry of the board's flash chip and where each user of it keeps its
// data. Every module that addresses flash takes its region from here.
#pragma once

#include <cstdint>

constexpr uint32_t FLASH_SECTOR_SIZE = 0x10000;  // 64 KB
constexpr uint32_t FLASH_NUM_SECTORS = 64;
constexpr uint32_t FLASH_SIZE = FLASH_SECTOR_SIZE * FLASH_NUM_SECTORS;  // 4 MB

// Boot loader and its own data; the firmware never writes here.
constexpr uint32_t FLASH_BOOT_OFFSET = 0x000000;
constexpr uint32_t FLASH_BOOT_SIZE = 0x100000;

// The gzip firmware image that the boot loader starts. Its size is the one
// limit a firmware upgrade checks against: the file-system copy, the flash
// log and the NVRAM store follow the image directly, so a larger image, or
// one written from a later start, would overwrite them.
constexpr uint32_t FLASH_IMAGE_OFFSET = 0x100000;
constexpr uint32_t FLASH_IMAGE_SIZE = 0x200000;
constexpr uint32_t FLASH_IMAGE_END = FLASH_IMAGE_OFFSET + FLASH_IMAGE_SIZE;

// Copy of the RAM file system.
constexpr uint32_t FLASH_FS_OFFSET = 0x300000;
constexpr uint32_t FLASH_FS_SIZE = 0x80000;

// Ring of the flash logger.
constexpr uint32_t FLASH_LOG_OFFSET = 0x380000;
constexpr uint32_t FLASH_LOG_SIZE = 0x60000;

// NVRAM store: the last 128 KB, two alternating copies of one sector each.
constexpr uint32_t FLASH_NVRAM_OFFSET = 0x3E0000;
constexpr uint32_t FLASH_NVRAM_SIZE = 0x20000;
constexpr uint32_t FLASH_NVRAM_COPIES = 2;
constexpr uint32_t FLASH_NVRAM_COPY_SIZE = FLASH_NVRAM_SIZE / FLASH_NVRAM_COPIES;

constexpr uint32_t flash_sector_of(uint32_t offset) {
    return offset / FLASH_SECTOR_SIZE;
}

// Bytes an image written from start may take: up to the end of the image
// region, none from a start outside it.
constexpr uint32_t flash_image_room(uint32_t start) {
    return start >= FLASH_IMAGE_OFFSET && start < FLASH_IMAGE_END ? FLASH_IMAGE_END - start : 0;
}

static_assert(FLASH_BOOT_OFFSET + FLASH_BOOT_SIZE == FLASH_IMAGE_OFFSET);
static_assert(FLASH_IMAGE_END == FLASH_FS_OFFSET,
              "the image region ends where the file-system copy begins");
static_assert(FLASH_FS_OFFSET + FLASH_FS_SIZE == FLASH_LOG_OFFSET);
static_assert(FLASH_LOG_OFFSET + FLASH_LOG_SIZE == FLASH_NVRAM_OFFSET);
static_assert(FLASH_NVRAM_OFFSET + FLASH_NVRAM_SIZE == FLASH_SIZE);
static_assert(FLASH_NVRAM_COPY_SIZE % FLASH_SECTOR_SIZE == 0);
static_assert(FLASH_FS_OFFSET % FLASH_SECTOR_SIZE == 0 &&
              FLASH_LOG_OFFSET % FLASH_SECTOR_SIZE == 0);
static_assert(flash_image_room(FLASH_IMAGE_OFFSET) == FLASH_IMAGE_SIZE);
static_assert(flash_image_room(FLASH_FS_OFFSET) == 0 && flash_image_room(FLASH_BOOT_OFFSET) == 0);
