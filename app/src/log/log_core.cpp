// Log core: level and module names, the logger registry, line formatting and
// routing, and the "loggers" settings item.
#include <cstdio>
#include <cstring>
#include <span>

#include "log_gate.h"
#include "log_internal.h"
#include "net_util.h"
#include "sal_lock.h"
#include "serialize.h"

namespace log_internal {

sal_mutex_t core_lock() {
    static sal_mutex_t lock = sal_mutex_create("logger");
    return lock;
}

int mask_set(uint32_t mask, logger *l) {
    if (l == nullptr) return -1;
    static_cast<LoggerBase *>(l)->mask.store(mask);
    return 0;
}

uint32_t mask_get(logger *l) {
    return l ? static_cast<LoggerBase *>(l)->mask.load() : 0;
}

int no_records_clear(logger *) {
    return 0;
}

int no_records_count(uint32_t *first_seq, logger *) {
    if (first_seq) *first_seq = 0;
    return 0;
}

int no_records_read(logger_record *, char *, int, logger *) {
    return 0;
}

}  // namespace log_internal

using namespace log_internal;

namespace {

const char *const kLevelNames[LOG_LEVEL_COUNT] = {"ERROR",  "WARNING", "INFO",   "DEBUG",
                                                  "LOCAL1", "LOCAL2",  "LOCAL3", "LOCAL4"};

// Modules 0-32 are the SDK layers'.
const char *const kAppModuleNames[LOG_MODULE_COUNT - LOG_MOD_GENERAL] = {
    "GENERAL",  "SYSTEM", "CONSOLE",  "TELNET",    "TIMER", "NETWORK", "PERSISTENCE",
    "LOGGER",   "WEB",    "HTTPD",    "DHCP",      "SNMPD", "RMON",    "CABLEDIAG",
    "VLAN",     "PORT",   "L2",       "MIRROR",    "RATE",  "QOS",     "AGING",
    "TRUNKING", "DOS",    "AUTOVOIP", "DYNAMICARP"};

struct Registry {
    logger *ram = nullptr;
    logger *flash = nullptr;
    logger *console = nullptr;
    bool initialised = false;
};
Registry registry;  // guarded by core_lock()

// Set while this thread is inside the log core: a logger that logs is ignored.
thread_local bool in_log = false;

void sanitise(char *text) {
    size_t len = std::strlen(text);
    while (len > 0 && (text[len - 1] == '\n' || text[len - 1] == '\r'))
        text[--len] = '\0';
    for (size_t i = 0; i < len; i++) {
        if (static_cast<unsigned char>(text[i]) < 0x20 || text[i] == 0x7f) text[i] = ' ';
    }
}

void dispatch(logger *l, const logger_record &rec, const char *text) {
    if (l != nullptr && (l->ops->level_mask_get(l) & (1u << rec.level)) != 0) {
        l->ops->write(&rec, text, l);
    }
}

}  // namespace

const char *logger_level_name(int level) {
    return level >= 0 && level < LOG_LEVEL_COUNT ? kLevelNames[level] : "UNKNOWN";
}

const char *logger_module_name(int module) {
    if (module < 0 || module >= LOG_MODULE_COUNT) return "UNKNOWN";
    return module < LOG_MOD_GENERAL ? "SDK" : kAppModuleNames[module - LOG_MOD_GENERAL];
}

int logger_init(void) {
    SalLock hold(core_lock());
    if (!registry.initialised) {
        registry.ram = ram_logger_create();
        registry.console = console_logger_create();
        registry.flash = flash_logger_create();
        registry.initialised = true;
    }
    log_gates_shared_reset();
    return registry.ram && registry.console ? 0 : -1;
}

int logger_puts(int level, int module, const char *text) {
    if (in_log) return 0;
    char line[LOGGER_TEXT_MAX];
    std::snprintf(line, sizeof line, "%s", text ? text : "");
    sanitise(line);
    logger_record rec{0,
                      level < 0                  ? 0
                      : level >= LOG_LEVEL_COUNT ? LOG_LEVEL_COUNT - 1
                                                 : level,
                      module, sal_time()};

    SalLock hold(core_lock());
    if (!registry.initialised) return 0;
    in_log = true;
    dispatch(registry.ram, rec, line);
    dispatch(registry.flash, rec, line);
    dispatch(registry.console, rec, line);
    for (int slot = 0; slot < LOGGER_SYSLOG_SLOTS; slot++)
        dispatch(syslog_slot(slot), rec, line);
    in_log = false;
    return 0;
}

int logger_vprintf(int level, int module, const char *fmt, va_list ap) {
    char line[LOGGER_TEXT_MAX];
    std::vsnprintf(line, sizeof line, fmt ? fmt : "", ap);
    return logger_puts(level, module, line);
}

int logger_printf(int level, int module, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int result = logger_vprintf(level, module, fmt, ap);
    va_end(ap);
    return result;
}

int logger_level_kept(int level) {
    if (level < 0 || level >= LOG_LEVEL_COUNT) return 0;
    SalLock hold(core_lock());
    if (!registry.initialised) return 0;
    uint32_t bit = 1u << level;
    logger *fixed[] = {registry.ram, registry.flash, registry.console};
    for (logger *l : fixed) {
        if (l != nullptr && (l->ops->level_mask_get(l) & bit) != 0) return 1;
    }
    for (int slot = 0; slot < LOGGER_SYSLOG_SLOTS; slot++) {
        logger *l = syslog_slot(slot);
        if (l != nullptr && (l->ops->level_mask_get(l) & bit) != 0) return 1;
    }
    return 0;
}

logger *logger_ram_get(void) {
    SalLock hold(core_lock());
    return registry.ram;
}

logger *logger_flash_get(void) {
    SalLock hold(core_lock());
    return registry.flash;
}

logger *logger_console_get(void) {
    SalLock hold(core_lock());
    return registry.console;
}

logger *logger_syslog_get(int slot, const char **name) {
    SalLock hold(core_lock());
    logger *l = slot >= 0 && slot < LOGGER_SYSLOG_SLOTS ? syslog_slot(slot) : nullptr;
    if (name) *name = l ? syslog_name(l) : nullptr;
    return l;
}

int logger_syslog_add(const char *name, const char *ip, int port, int facility) {
    SalLock hold(core_lock());
    if (!syslog_name_valid(name)) return -1;
    int free_slot = -1;
    for (int slot = LOGGER_SYSLOG_SLOTS - 1; slot >= 0; slot--) {
        logger *l = syslog_slot(slot);
        if (l == nullptr) free_slot = slot;
        if (l != nullptr && std::strcmp(syslog_name(l), name) == 0) return -1;
    }
    if (free_slot < 0 || syslog_open(free_slot, name, ip, port, facility) != 0) return -1;
    return free_slot;
}

int logger_syslog_remove(int slot) {
    SalLock hold(core_lock());
    if (slot < 0 || slot >= LOGGER_SYSLOG_SLOTS || syslog_slot(slot) == nullptr) return -1;
    syslog_close(slot);
    return 0;
}

// ---- "loggers" settings item: the level masks of the RAM, flash and console
// loggers, then four syslog slots {used (1), name (13), address text (16),
// port (u16), facility (1), level mask (u32)}.
namespace {

constexpr uint32_t kLoggersVersion = 0x88740001;
constexpr int kLocalLoggers = 3;
constexpr int kIpTextSize = 16;
constexpr int kSlotBytes = 1 + LOGGER_SYSLOG_NAME_SIZE + kIpTextSize + 2 + 1 + 4;
constexpr int kLoggersRecordBytes = kLocalLoggers * 4 + LOGGER_SYSLOG_SLOTS * kSlotBytes;

struct SyslogSetting {
    uint8_t used = 0;
    char name[LOGGER_SYSLOG_NAME_SIZE] = {};
    char ip[kIpTextSize] = {};
    uint16_t port = 0;
    uint8_t facility = 0;
    uint32_t mask = 0;
};

int write_slot(settings_medium *m, const SyslogSetting &s) {
    if (medium_write_bytes(m, &s.used, 1) != 0 || medium_write_bytes(m, s.name, sizeof s.name) ||
        medium_write_bytes(m, s.ip, sizeof s.ip) || medium_write_u16(m, s.port) ||
        medium_write_bytes(m, &s.facility, 1) || medium_write_u32(m, s.mask))
        return -1;
    return 0;
}

int read_slot(settings_medium *m, SyslogSetting &s) {
    if (medium_read_bytes(m, &s.used, 1) != 0 || medium_read_bytes(m, s.name, sizeof s.name) ||
        medium_read_bytes(m, s.ip, sizeof s.ip) || medium_read_u16(m, &s.port) ||
        medium_read_bytes(m, &s.facility, 1) || medium_read_u32(m, &s.mask))
        return -1;
    return 0;
}

bool slot_valid(const SyslogSetting &s) {
    uint8_t addr[4];
    if (!s.used) return true;
    return s.name[sizeof s.name - 1] == '\0' && s.ip[sizeof s.ip - 1] == '\0' &&
           syslog_name_valid(s.name) && net_util_ip_parse(s.ip, addr) >= 0 && s.port != 0 &&
           s.facility <= 23;
}

int loggers_save(settings_medium *m) {
    SalLock hold(core_lock());
    logger *locals[kLocalLoggers] = {registry.ram, registry.flash, registry.console};
    const uint32_t defaults[kLocalLoggers] = {LOGGER_RAM_DEFAULT_MASK, LOGGER_FLASH_DEFAULT_MASK,
                                              LOGGER_CONSOLE_DEFAULT_MASK};
    for (int i = 0; i < kLocalLoggers; i++) {
        uint32_t mask = locals[i] ? mask_get(locals[i]) : defaults[i];
        if (medium_write_u32(m, mask) != 0) return -1;
    }
    for (int slot = 0; slot < LOGGER_SYSLOG_SLOTS; slot++) {
        SyslogSetting s;
        if (logger *l = syslog_slot(slot)) {
            int port = 0;
            int facility = 0;
            const char *ip = logger_syslog_info(l, &port, &facility);
            s.used = 1;
            std::snprintf(s.name, sizeof s.name, "%s", syslog_name(l));
            std::snprintf(s.ip, sizeof s.ip, "%s", ip);
            s.port = static_cast<uint16_t>(port);
            s.facility = static_cast<uint8_t>(facility);
            s.mask = mask_get(l);
        }
        if (write_slot(m, s) != 0) return -1;
    }
    return kLoggersRecordBytes;
}

int loggers_load(settings_medium *m) {
    uint32_t masks[kLocalLoggers];
    SyslogSetting servers[LOGGER_SYSLOG_SLOTS];
    for (uint32_t &mask : masks) {
        if (medium_read_u32(m, &mask) != 0) return -1;
    }
    for (SyslogSetting &s : servers) {
        if (read_slot(m, s) != 0 || !slot_valid(s)) return -1;
    }
    SalLock hold(core_lock());
    logger *locals[kLocalLoggers] = {registry.ram, registry.flash, registry.console};
    for (int i = 0; i < kLocalLoggers; i++)
        mask_set(masks[i], locals[i]);
    int result = kLoggersRecordBytes;
    for (int slot = 0; slot < LOGGER_SYSLOG_SLOTS; slot++) {
        syslog_close(slot);
        const SyslogSetting &s = servers[slot];
        if (!s.used) continue;
        if (syslog_open(slot, s.name, s.ip, s.port, s.facility) != 0) {
            result = -1;
            continue;
        }
        mask_set(s.mask, syslog_slot(slot));
    }
    return result;
}

}  // namespace

int settings_item_loggers(int op, settings_medium *m) {
    auto check = [](settings_medium *medium) {
        return settings_check_record_size(medium, kLoggersVersion, kLoggersRecordBytes);
    };
    return settings_item_dispatch(op, m, loggers_load, loggers_save, kLoggersVersion, check);
}
