// Host-only controls of the storage layer: which file stands for the flash
// chip, fault injection for power-cut tests, closing the NVRAM store to
// simulate a reboot, and where the RAM file system lives. The firmware itself
// never calls these; the host entry point, the host tools and the tests do.
#pragma once

#include <cstdint>

// ---- flash file
constexpr const char *FLASH_HOST_DEFAULT_PATH = "var/flash.bin";

// Opens the file that stands for the flash chip, closing any previous one.
// A missing file is created erased (all 0xFF) when create is non-zero,
// together with its directory, and a shorter one is then filled up with
// erased bytes (it says so on the console). A larger file, or a shorter one
// without create, is refused and left untouched. 0, or -1 with the reason in
// flash_host_last_error(). flashInit is still needed before use.
int flash_host_open(const char *path, int create);
// Flushes and closes the file; flashNumSectors is 0 again.
void flash_host_close(void);
// Path of the open file ("" when none).
const char *flash_host_path(void);
// Why the last open failed.
const char *flash_host_last_error(void);
// Pushes written data to the disk.
int flash_host_sync(void);

// Power-cut simulation. After `ops` more erase-sector or program calls
// succeed, the next one fails and so does every later one until the fault is
// cleared with flash_host_fault_clear. A torn fault lets the failing call
// change the first half of its range (half-programmed bytes, half-erased
// sector) before it fails.
enum class flash_fault { stop, torn };
void flash_host_fault_after(unsigned ops, flash_fault kind);
void flash_host_fault_clear(void);
// Erase-sector plus program calls made since the file was opened.
uint64_t flash_host_write_ops(void);

// ---- NVRAM store
// Drops the RAM table as a reboot would; nvram_get answers "" until the next
// nvram_init.
void nvram_host_close(void);

struct nvram_host_state {
    int open;               // nvram_init has run
    int active_copy;        // copy the store was read from or last committed to; -1: none
    uint32_t commit_count;  // commit counter of that copy
    int bad_copies;         // copies ignored at the last open for a bad header, CRC or record
    uint32_t image_bytes;   // size the image of the current table would have
    uint32_t image_limit;   // largest image a copy holds
};
void nvram_host_state_get(nvram_host_state *out);

// ---- RAM file system
constexpr const char *SAL_FS_HOST_DEFAULT_ROOT = "var/fs";
constexpr const char *SAL_FS_HOST_DEFAULT_TFTP_ROOT = "var/tftp";

// Chooses the directory of the RAM file system and the one that "host:"
// names reach (null: the defaults), creating them; the current and home
// directories become "/". When the file-system directory is empty and the
// flash holds a valid copy, the copy is unpacked into it (the RAM file system
// comes back after a reboot). 0, or -1 with a console message.
int sal_fs_host_init(const char *root, const char *tftp_root);
