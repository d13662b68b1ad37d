// Shared by the log core and the loggers.
#pragma once

#include <atomic>
#include <cstdint>

#include "logger.h"
#include "sal.h"

namespace log_internal {

// Guards the registry and every logger's records; recursive, so a logger's
// ops may be called from inside a write.
sal_mutex_t core_lock();

// Every logger starts with its level mask.
struct LoggerBase : logger {
    std::atomic<uint32_t> mask{0};
};

int mask_set(uint32_t mask, logger *l);
uint32_t mask_get(logger *l);
// For loggers that keep no records.
int no_records_clear(logger *l);
int no_records_count(uint32_t *first_seq, logger *l);
int no_records_read(logger_record *rec, char *text, int size, logger *l);

// Each returns the logger, or null when it cannot be made.
logger *ram_logger_create();
logger *console_logger_create();
logger *flash_logger_create();  // null too when the flash has no log region

// Syslog slots: each returns 0, or -1 when the server cannot be set up.
int syslog_open(int slot, const char *name, const char *ip, int port, int facility);
void syslog_close(int slot);
logger *syslog_slot(int slot);  // null when empty
const char *syslog_name(logger *l);
bool syslog_name_valid(const char *name);

}  // namespace log_internal
