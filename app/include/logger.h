// Log core and its loggers. A component logs a line with a level (0-7) and a
// module number; the core hands it to every logger whose level mask has the
// bit 1 << level: the RAM ring, the flash ring, the console and up to four
// syslog servers.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

constexpr int LOG_LEVEL_ERROR = 0;
constexpr int LOG_LEVEL_WARNING = 1;
constexpr int LOG_LEVEL_INFO = 2;
constexpr int LOG_LEVEL_DEBUG = 3;
constexpr int LOG_LEVEL_COUNT = 8;  // 4-7 are LOCAL1-LOCAL4

// Module numbers. 0-32 belong to the SDK layers and share the name "SDK".
enum : int {
    LOG_MOD_GENERAL = 33,
    LOG_MOD_SYSTEM = 34,
    LOG_MOD_CONSOLE = 35,
    LOG_MOD_TELNET = 36,
    LOG_MOD_TIMER = 37,
    LOG_MOD_NETWORK = 38,
    LOG_MOD_PERSISTENCE = 39,
    LOG_MOD_LOGGER = 40,
    LOG_MOD_WEB = 41,
    LOG_MOD_HTTPD = 42,
    LOG_MOD_DHCP = 43,
    LOG_MOD_SNMPD = 44,
    LOG_MOD_RMON = 45,
    LOG_MOD_CABLEDIAG = 46,
    LOG_MOD_VLAN = 47,
    LOG_MOD_PORT = 48,
    LOG_MOD_L2 = 49,
    LOG_MOD_MIRROR = 50,
    LOG_MOD_RATE = 51,
    LOG_MOD_QOS = 52,
    LOG_MOD_AGING = 53,
    LOG_MOD_TRUNKING = 54,
    LOG_MOD_DOS = 55,
    LOG_MOD_AUTOVOIP = 56,
    LOG_MOD_DYNAMICARP = 57,
    LOG_MODULE_COUNT = 58,
};

// A record's text holds at most LOGGER_TEXT_MAX - 1 characters; longer lines
// are cut, and CR, LF and other control characters become spaces.
constexpr int LOGGER_TEXT_MAX = 256;
constexpr int LOGGER_RAM_RECORDS = 512;
constexpr int LOGGER_SYSLOG_SLOTS = 4;
constexpr int LOGGER_SYSLOG_NAME_SIZE = 13;  // 12 characters and the NUL

// Level masks the loggers start with (bit 1 << level).
constexpr uint32_t LOGGER_RAM_DEFAULT_MASK = 0x07;      // ERROR, WARNING, INFO
constexpr uint32_t LOGGER_FLASH_DEFAULT_MASK = 0x03;    // ERROR, WARNING
constexpr uint32_t LOGGER_CONSOLE_DEFAULT_MASK = 0x03;  // ERROR, WARNING
constexpr uint32_t LOGGER_SYSLOG_DEFAULT_MASK = 0x07;   // ERROR, WARNING, INFO

struct logger;

// One stored line. `seq` selects the record to read and stays as given.
struct logger_record {
    uint32_t seq;
    int level;
    int module;
    uint32_t time;  // seconds since 1970-01-01
};

struct logger_ops {
    int (*level_mask_set)(uint32_t mask, logger *l);
    uint32_t (*level_mask_get)(logger *l);
    int (*clear)(logger *l);
    // Number of stored records; *first_seq gets the oldest one's sequence.
    int (*count)(uint32_t *first_seq, logger *l);
    // 1 when the record with rec->seq was read (text may be null), else 0.
    int (*read)(logger_record *rec, char *text, int size, logger *l);
    // Takes one line from the log core (called with the core's lock held).
    int (*write)(const logger_record *rec, const char *text, logger *l);
};

struct logger {
    const logger_ops *ops;
};

// Creates the RAM and console loggers and, when the flash has a log region,
// the flash logger with its "flashlog" thread. Safe to call again. 0, or -1
// when a logger could not be made.
int logger_init(void);

// Levels above 7 are logged as 7, negative ones as 0. Lines logged before
// logger_init, or from inside a logger, are dropped.
int logger_printf(int level, int module, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
int logger_vprintf(int level, int module, const char *fmt, va_list ap);
int logger_puts(int level, int module, const char *text);
// 1 when some logger keeps lines of this level: callers skip formatting
// lines nobody keeps.
int logger_level_kept(int level);

logger *logger_ram_get(void);      // null when absent
logger *logger_flash_get(void);    // null when absent
logger *logger_console_get(void);  // null when absent

// The syslog logger of a slot (0-3), null when the slot is empty; *name gets
// its 13-byte name field.
logger *logger_syslog_get(int slot, const char **name);
// Adds a server in the first free slot: the slot, or -1 for a bad or
// duplicate name, an address that does not parse, a port of 0, a facility
// outside 0-23, no free slot, or a socket that cannot be made.
int logger_syslog_add(const char *name, const char *ip, int port, int facility);
int logger_syslog_remove(int slot);  // 0, or -1 for an empty or bad slot
// A syslog logger's server address text, with its port and facility; null
// for other loggers.
const char *logger_syslog_info(logger *l, int *port, int *facility);

const char *logger_level_name(int level);    // "UNKNOWN" outside 0-7
const char *logger_module_name(int module);  // "UNKNOWN" outside 0-57

// Handler of the settings item "loggers" (registered at start-up).
struct settings_medium;
int settings_item_loggers(int op, settings_medium *m);
