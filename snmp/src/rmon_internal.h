// What the probe's source files share: column templates, locks, logging,
// value checks and the row timers of history and alarm rows.
#pragma once

#include <cstdint>

#include "kernel.h"
#include "log_gate.h"
#include "logger.h"
#include "rmon.h"

namespace rmonp {

// Every column value is read and written with the scheduler locked.
struct SchedLock {
    SchedLock() { cyg_scheduler_lock(); }
    ~SchedLock() { cyg_scheduler_unlock(); }
    SchedLock(const SchedLock &) = delete;
    SchedLock &operator=(const SchedLock &) = delete;
};

struct TableLock {
    explicit TableLock(rmon_table *t) : m(t->mutex) { sal_mutex_take(m, sal_mutex_FOREVER); }
    ~TableLock() { sal_mutex_give(m); }
    TableLock(const TableLock &) = delete;
    TableLock &operator=(const TableLock &) = delete;
    sal_mutex_t m;
};

struct ColumnSpec {
    uint8_t access = 0;
    uint8_t type = 0;
    uint16_t bytes = 0;   // buffer size
    uint16_t length = 0;  // default length (bytes, or sub-identifiers)
    const rmon_oid_t *def = nullptr;
};

constexpr int kOwnerMax = 127;
constexpr uint32_t kIndexMax = 65535;

const ColumnSpec *columns(int tbl_magic, int *count);
inline rmon_table *table(int tbl_magic) {
    return rmon_mibtree[tbl_magic];
}
int magic_of(const rmon_table *t);
// Frees a row that is in no table.
void row_discard(rmon_entry *row);
int row_count_of(int tbl_magic);  // columns per row

void log(int level, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

// Column value helpers for the handlers: get copies type, length and bytes
// (integers as their first 4 bytes) into value, whose length is the room.
int get_column(rmon_entry *row, int var_id, oid_val *value);
bool printable(const oid_val *value);
// INTEGER of length 4 in lo..hi: 0, or the error.
int check_int(const oid_val *value, int64_t lo, int64_t hi);
int32_t int_of(const oid_val *value);
// OCTET STRING shorter than 128 bytes of printable characters: 0, or the
// error (an unprintable byte overrides the others).
int check_text(const oid_val *value);
// The handler of a writable table: the variable id check, get, nothing,
// set of the columns in settable (bit per column; others noAccess), and for
// a test the row state (a row that is not under creation takes only its
// status: busy_error), the column's access and then test_fn.
using ColumnTest = int (*)(rmon_entry *row, int column, const oid_val *value);
int handle_writable(const char *who, rmon_entry *row, int var_id, int action, oid_val *value,
                    int *error, uint32_t settable, int busy_error, ColumnTest test_fn);
constexpr uint32_t column_bit(int column) {
    return 1u << column;
}

// Create callback of the alarm and event tables: a row with its defaults
// (set_defaults, holding the row's mutex), or status 5 for a bad index and
// 8 for a full table, each message logged with the index.
struct CreateTexts {
    const char *bad_index, *full, *created;
};
int create_row(int tbl_magic, uint32_t index, int *error, const CreateTexts &texts,
               void (*set_defaults)(rmon_entry *row));
// Result of a delete callback: genErr and fail_fmt for a failure, done_fmt
// otherwise (each logged with the index); returns status.
int deletion_logged(int status, uint32_t index, int *error, const char *fail_fmt,
                    const char *done_fmt);
// Texts: stored length up to the first zero byte.
void set_text(rmon_entry *row, int var_id, const oid_val *value);
void set_oid(rmon_entry *row, int var_id, const oid_val *value);

// Row timers. arm gives the row a new serial and queues fn for the interval
// (long intervals wait in parts); stop moves the serial on, so that a timer
// still queued does nothing, and waits for a timer call in progress. A
// timer call holds the row's mutex, never its table's, so that whoever
// stops the row may hold that.
void timer_arm(rmon_entry *row, uint32_t seconds, sal_dpc_fn_t fn);
void timer_rearm(rmon_entry *row, uint32_t seconds, sal_dpc_fn_t fn);  // in a timer call
void timer_stop(rmon_entry *row);
// In a timer call: true, with the row's mutex held, when the row is still
// the one armed, valid, and its interval is over. When a long interval
// still has parts to wait, the next part is queued and false returned.
bool timer_fired(void *row, void *serial, sal_dpc_fn_t fn);

// Alarm traps decided while the tables are locked go out once they are not.
struct PendingTrap {
    int kind;
    char community[128];
    uint32_t alarm_index;
    rmon_oid_t variable[16];
    int variable_len;
    uint32_t sample_type;
    uint32_t value;
    uint32_t threshold;
};
void event_trigger(uint32_t event_index, rmon_entry *alarm, int kind, PendingTrap *trap,
                   bool *trap_due);
void trap_send(const PendingTrap &trap);

// Set-up of the default rows of the statistics and history tables.
void etherstats_defaults(void);
void histcontrol_defaults(void);
uint32_t num_ports(void);
// Create and delete callbacks of the statistics and history control tables,
// whose rows are made at start-up only: resourceUnavailable.
int refuse_create(int tbl_magic, uint32_t index, int *error);
int refuse_remove(int tbl_magic, rmon_entry *row, int *error);

// Whole-probe lock order: tables are locked in tbl_magic order where two are
// held; the agent lock is never taken under a table mutex.
}  // namespace rmonp
