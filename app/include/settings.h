// Settings manager: saves the items of g_serializers to the NVRAM store (the
// item under its name, its version word under the name + "_ver"), loads them
// at boot, writes and restores the backup image, and restores the factory
// defaults. Items apply group by group in ascending bit order of their group
// mask, in table order within a group.
#pragma once

#include <cstddef>
#include <cstdint>

#include "serialize.h"

// Size of the caller's buffer for settings_backup_to_memory; the restore page
// accepts uploads up to this size.
constexpr size_t SETTINGS_BACKUP_SIZE = 262144;
// Largest binary (factory-default) image.
constexpr size_t SETTINGS_IMAGE_MAX = 262144;
// Name under which the web pages serve the backup image.
constexpr const char *SETTINGS_BACKUP_FILE_NAME = "config_RW3090.log";

// Creates the manager's lock; called once at start-up (safe to call again).
int settings_init(void);

// The settings lock: the outermost lock of the firmware. Every save, load,
// restore and factory reset holds it, and so does each change a web form
// makes, so that a change and the save that follows it are one step against
// a load on another thread. It is recursive. Feature-manager locks, the API's
// locks and the driver's locks are taken under it, never around it; the
// receive, counter, link-scan and SNMP agent threads never take it.
void settings_lock_take(void);
void settings_lock_give(void);

class SettingsLock {
  public:
    SettingsLock() { settings_lock_take(); }
    ~SettingsLock() { settings_lock_give(); }
    SettingsLock(const SettingsLock &) = delete;
    SettingsLock &operator=(const SettingsLock &) = delete;
};

// Start-up gate: closed by "Main App" before it starts the servers, opened
// once it has loaded the stored settings. The servers take no change while it
// is closed (a change then would be overwritten by the load, or would reach
// managers not yet set up). Open when no start-up runs (unit tests).
void settings_startup_begin(void);
void settings_startup_done_set(void);
int settings_startup_done(void);
// Waits up to usecs for the gate to open: 1 once open, 0 on time-out.
int settings_startup_wait(long usecs);

// Saves one item to the NVRAM store and commits it, logging the result: 1, or
// 0 or less on failure (unknown name, no handler, handler or store failure).
int settings_save_item(const char *name);
// Saves every item whose group intersects the mask, then commits once: 1 when
// all of them were saved.
int settings_save_group(uint32_t mask);

// Boot: non-zero when every item that has a handler is stored with a matching
// version and a well-formed value.
int settings_nvram_validate(void);
// Boot: loads every item of the groups from the NVRAM store; an item stored
// with another version or a bad record is refused with a log line, takes its
// value from the factory image and is saved with it (it keeps its current
// state when the image has none). 1 when all loaded from the store.
int settings_load_group(uint32_t mask);

// The same, writing into `skipped` (NUL-terminated, cut to size) one line for
// each row an item's load skipped, e.g. a port under self-test.
int settings_load_group_noting(uint32_t mask, char *skipped, size_t size);
// Called by an item's load for a row it leaves as it is: logged, and noted
// for the caller of settings_load_group_noting.
void settings_load_skipped(int log_module, const char *fmt, ...)
    __attribute__((format(printf, 2, 3)));

// Writes every item as text lines into buf, which holds SETTINGS_BACKUP_SIZE
// bytes; the text ends with a LF and a NUL. Non-zero on success.
int settings_backup_to_memory(char *buf);
// Non-zero when the NUL-terminated text is a complete backup image (header,
// item lines, count and checksum) whose versions match this firmware's
// items. Line ends after the image are tolerated. It logs nothing: the
// caller, who knows who sent the image, logs a refusal.
int settings_validate_memory(const char *buf);
// Why the last settings_validate_memory of the calling thread refused its
// image; empty when it did not.
const char *settings_validate_error(void);
// The value an item's check refused in the last settings_validate_memory of
// the calling thread, as the check named it; empty when none was refused.
const char *settings_validate_reason(void);
// Validates, then loads every item found in the image; an invalid image
// changes nothing. 1 when every item loaded.
int settings_restore_from_memory(const char *buf);

// The board's factory-default image (first word: its byte count, big-endian),
// chosen by the board probe; null when the board has none.
void settings_factory_image_set(const uint8_t *image);
const uint8_t *settings_factory_image_get(void);
// Registers the RMON probe's table reset, which the factory defaults call
// (0 on success): 0, or -1 for null or when one is registered already.
int settings_rmon_reset_set(int (*fn)(void));
// Non-zero when a factory image is set and well-formed with matching versions.
int settings_factory_default_validate(void);
// Resets the RMON probe and loads every other item found in the factory
// image: 1 on success.
int settings_factory_default(void);

// Factory-default images of the 52-port (A), 28-port (B) and 26-port (C)
// boards, generated at build time from app/factory/*.txt.
extern const uint8_t factory_default_image_a[];
extern const uint8_t factory_default_image_b[];
extern const uint8_t factory_default_image_c[];

// C-array medium: saves every item into a binary image: its byte count, or
// -1 when a handler fails or size is too small.
int settings_image_build(uint8_t *buf, size_t size);
// Converts settings text lines ("name_ver=0x...", "name=value"; '#' comments
// and blank lines allowed) into a binary image: its byte count, or -1 with
// the reason in err.
int settings_image_from_text(const char *text, uint8_t *buf, size_t size, char *err,
                             size_t err_size);
// Prints an image as C source defining `const uint8_t symbol[]`. Returns the
// length of the whole text (as snprintf does), or -1 for a malformed image.
int settings_carray_format(const uint8_t *image, const char *symbol, char *out, size_t size);
