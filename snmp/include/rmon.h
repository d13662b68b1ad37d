// The RMON-lite probe: the statistics, history, alarm, event and log tables
// of the RMON MIB, kept in RAM as ordered row lists, with the counter thread,
// the history and alarm timers, the event log and alarm traps, and the
// reclaim of rows that managers began and left behind.
#pragma once

#include <atomic>
#include <cstdint>

#include "sal.h"
#include "serialize.h"

// EntryStatus.
constexpr uint8_t RMON_VALID = 1;
constexpr uint8_t RMON_CREATE_REQUEST = 2;
constexpr uint8_t RMON_UNDER_CREATION = 3;
constexpr uint8_t RMON_INVALID = 4;

// SNMP error-status values the probe reports.
constexpr int RMON_NO_ERROR = 0;
constexpr int RMON_NO_SUCH_NAME = 2;
constexpr int RMON_GEN_ERR = 5;
constexpr int RMON_NO_ACCESS = 6;
constexpr int RMON_WRONG_TYPE = 7;
constexpr int RMON_WRONG_LENGTH = 8;
constexpr int RMON_WRONG_VALUE = 10;
constexpr int RMON_NO_CREATION = 11;
constexpr int RMON_RESOURCE_UNAVAILABLE = 13;
constexpr int RMON_NOT_WRITABLE = 17;

// ASN.1 tags of the column values.
constexpr uint8_t RMON_ASN_INTEGER = 0x02;
constexpr uint8_t RMON_ASN_OCTET_STR = 0x04;
constexpr uint8_t RMON_ASN_OBJECT_ID = 0x06;
constexpr uint8_t RMON_ASN_COUNTER = 0x41;
constexpr uint8_t RMON_ASN_TIMETICKS = 0x43;
constexpr uint8_t RMON_ASN_COUNTER64 = 0x46;

constexpr uint8_t RMON_RO = 1;
constexpr uint8_t RMON_RW = 2;

// tbl_magic of the six tables.
constexpr int RMON_ETHERSTATS = 0;
constexpr int RMON_HISTCONTROL = 1;
constexpr int RMON_ETHERHISTORY = 2;
constexpr int RMON_ALARM = 3;
constexpr int RMON_EVENT = 4;
constexpr int RMON_LOG = 5;
constexpr int RMON_TABLES = 6;

// Row flags.
constexpr uint32_t RMON_FLAG_REBASE = 0x1;
constexpr uint32_t RMON_FLAG_BUSY = 0x2;

// Probe actions of the table handlers.
constexpr int RMON_ACT_TEST = 1;
constexpr int RMON_ACT_NOTHING = 2;
constexpr int RMON_ACT_SET = 3;
constexpr int RMON_ACT_GET = 4;

// OID sub-identifiers, u32 each; lengths count sub-identifiers.
using rmon_oid_t = uint32_t;

struct oid_val {
    uint8_t type;
    uint16_t length;  // bytes, or sub-identifiers for an OBJECT IDENTIFIER
    void *value;
};

struct rmon_var {
    uint32_t id;  // column - 1
    uint8_t access;
    uint8_t type;
    uint16_t length;
    void *value;  // the row's own buffer
};

struct rmon_entry {
    rmon_entry *prev;
    rmon_entry *next;
    std::atomic<uint8_t> status;
    sal_mutex_t mutex;
    std::atomic<uint32_t> reclaim;
    std::atomic<uint32_t> flags;
    rmon_var *variables;
    uint32_t mib_var_count;
    uint32_t prev_raw;  // alarm rows: previous raw reading
    // Timer of history and alarm rows: the serial that a pending timer
    // carries (a disable moves it on, so stale timers do nothing) and the
    // part of a long interval still to wait.
    uint32_t timer_serial;
    uint64_t timer_left_us;
    uint32_t timer_due;  // when the queued part is due (µs clock)
};

struct rmon_aux_info {
    rmon_aux_info *next;
    uint32_t parent;
    uint32_t next_index;
};

struct rmon_table {
    uint32_t group = 0;
    uint8_t table = 0;
    uint8_t control = 0;
    uint16_t row_limit = 0;
    rmon_entry *first = nullptr;
    uint32_t count = 0;
    sal_mutex_t mutex = nullptr;
    rmon_aux_info *aux_info = nullptr;
    sal_mutex_t aux_mutex = nullptr;
    int (*create)(int tbl_magic, uint32_t index, int *error) = nullptr;
    int (*remove)(int tbl_magic, rmon_entry *row, int *error) = nullptr;
    int (*enable)(int tbl_magic, rmon_entry *row, int on, int *error) = nullptr;
};

struct rmon_oid_key {
    rmon_oid_t *oid;
    uint16_t len;
};

// Read request of callback slot (0,5): variable_oid is the agent variable's
// OID (group at sub-identifier 7, table at 8, column at 10).
struct rmon_get_request {
    const rmon_oid_t *variable_oid;
    uint16_t variable_len;
    rmon_oid_t *oid;  // instance OID: read, and rewritten on next (room for 13)
    uint16_t *oid_len;
    int exact;
    oid_val **value;  // in: type and buffer size; out: type, length, bytes
    int *error;
    int *result;
};

// Write request of callback slot (0,6); action 0 test, 1 nothing, 3 set,
// 6 EntryStatus, 7 test for a row not made yet (as its createRequest would
// make it), 8 test of a createRequest, making nothing (the value: how many
// rows of the table the caller makes before it).
struct rmon_set_request {
    int action;
    const rmon_oid_t *oid;
    uint16_t oid_len;
    oid_val *value;
    int *error;
    int *result;
};

constexpr int RMON_CB_MAJOR = 0;
constexpr int RMON_CB_GET_MINOR = 5;
constexpr int RMON_CB_SET_MINOR = 6;

// ---- tables and rows
extern rmon_table *rmon_mibtree[RMON_TABLES];
int rmon_tbl_magic(uint32_t group, uint32_t table);  // -1 for no table
int _rowp_default_row_setup(int tbl_magic, rmon_entry **row);
rmon_entry *rmon_row_ctrl_create(rmon_table *t, uint32_t index);
rmon_entry *rmon_row_data_create(rmon_table *t, uint32_t parent, uint32_t data_index,
                                 uint32_t max_rows);
int rmon_row_ctrl_delete(rmon_table *t, rmon_entry *row);
int rmon_row_data_delete(rmon_table *t, rmon_entry *row);
int rmon_row_data_delete_all(rmon_table *t, uint32_t group, uint32_t parent);
int rmon_row_ctrl_modify(rmon_entry *row);
int rmon_row_ctrl_enable(rmon_entry *row);
rmon_entry *rmon_row_search(int exact, uint32_t group, uint32_t table, uint32_t index,
                            uint32_t second);
bool rmon_row_exists(rmon_table *t, uint32_t index);
uint32_t rmon_data_index_next(rmon_table *t, uint32_t parent);
rmon_entry *rmon_idx_oid_var_search(int exact, rmon_oid_key *key, int *found);

// Column values, read and written with the scheduler locked.
uint32_t rmon_var_u32(rmon_entry *row, int column);
void rmon_var_u32_set(rmon_entry *row, int column, uint32_t value);
uint64_t rmon_var_u64(rmon_entry *row, int column);
// Copies bytes (OID: sub-identifiers) out; returns the length.
int rmon_var_copy(rmon_entry *row, int column, void *out, int room);
// Bytes of a text, or sub-identifiers of an OID, cut to the column's room.
void rmon_var_bytes_set(rmon_entry *row, int column, const void *bytes, uint16_t length);
void rmon_var_text_set(rmon_entry *row, int column, const char *text, uint16_t length);
uint32_t rmon_row_index(rmon_entry *row);

// ---- probe entry points
int rmonp_var_get(uint32_t group, uint32_t table, uint32_t var_id, rmon_oid_t *oid,
                  uint16_t *oid_len, oid_val *value, int exact, int *error);
int rmonp_var_set(uint32_t group, uint32_t table, uint32_t var_id, uint32_t index, oid_val *value,
                  int action, int *error);
// The tests of actions 8 and 7: the error a createRequest would meet with
// also_new more rows in the table, and a column's test on a new row.
int rmonp_row_create_test(uint32_t group, uint32_t table, uint32_t index, uint32_t also_new,
                          int *error);
int rmonp_var_test_new(uint32_t group, uint32_t table, uint32_t var_id, oid_val *value, int *error);
int rmonp_row_status_set(uint32_t group, uint32_t table, uint32_t index, oid_val *value,
                         int *error);
int rmonprobe_snmpop_get_callback(int major, int minor, void *request, void *arg);
int rmonprobe_snmpop_set_callback(int major, int minor, void *request, void *arg);
int rmonprobe_callbacks_register(void);
int rmonprobe_applop_get(rmon_get_request *request);
int rmonprobe_applop_set(rmon_set_request *request);

// ---- table handlers and callbacks
int rmon_mib_etherstats(rmon_entry *row, int var_id, int action, oid_val *value, int *error);
int rmon_mib_histcontrol(rmon_entry *row, int var_id, int action, oid_val *value, int *error);
int rmon_mib_histethstats(rmon_entry *row, int var_id, int action, oid_val *value, int *error);
int rmon_mib_alarm(rmon_entry *row, int var_id, int action, oid_val *value, int *error);
int rmon_mib_event(rmon_entry *row, int var_id, int action, oid_val *value, int *error);
int rmon_mib_log(rmon_entry *row, int var_id, int action, oid_val *value, int *error);

int rmon_etherstats_enable(int tbl_magic, rmon_entry *row, int on, int *error);
int rmon_histcontrol_enable(int tbl_magic, rmon_entry *row, int on, int *error);
int rmon_alarm_create(int tbl_magic, uint32_t index, int *error);
int rmon_alarm_delete(int tbl_magic, rmon_entry *row, int *error);
int rmon_alarm_enable(int tbl_magic, rmon_entry *row, int on, int *error);
// The variable a new alarm samples: etherStatsCRCAlignErrors of row 1.
constexpr rmon_oid_t RMON_ALARM_VARIABLE_DEFAULT[12] = {1, 3, 6, 1, 2, 1, 16, 1, 1, 1, 8, 1};
// Whether an alarm may sample the instance: an existing integer, counter or
// time-ticks column of the probe; 0, or wrongValue.
int rmon_alarm_variable_test(const rmon_oid_t *oid, int len);
// The same for an instance of a control row that its maker has yet to make.
int rmon_alarm_new_row_variable_test(const rmon_oid_t *oid, int len);
int rmon_event_create(int tbl_magic, uint32_t index, int *error);
int rmon_event_delete(int tbl_magic, rmon_entry *row, int *error);
int rmon_event_enable(int tbl_magic, rmon_entry *row, int on, int *error);

// ---- statistics
extern rmon_entry **rmon_port_entries;
void rmon_port_entries_init(void);
void rmon_counter_base_init(void);
void rmon_port_entry_set(int port_index, rmon_entry *row);
void rmon_counter_thread(void *arg);
// One pass of the counter thread over every user port.
void rmon_counter_pass(void);
void rmon_counter_period_set(int32_t usecs);

// ---- history, alarms, events
uint32_t rmon_timeticks_now(void);
void rmon_history_sample(void *row, void *serial, void *, void *, void *);
void rmon_history_compute(uint32_t sample_index, rmon_entry *history, rmon_entry *stats,
                          uint32_t interval_us);
void rmon_alarm_sample(void *row, void *serial, void *, void *, void *);
void rmon_mib_event_trigger(uint32_t event_index, rmon_entry *alarm, int kind);
void rmon_alarm_trap_send(const char *community, rmon_entry *alarm, int kind);

// ---- start-up, reset, reclaim
void rmon_init(void);
void rmon_table_init(uint32_t group, uint32_t table);
int rmonp_table_reset(void);
void rmon_resource_reclaim_thread(void *arg);
// One pass of the reclaim thread over the control tables.
void rmon_resource_reclaim_pass(void);
void rmon_reclaim_period_set(int32_t usecs);

// Settings item "rmon": the control rows and their settings.
int rmon_settings_item(int op, settings_medium *m);
// Stores the item soon, on a thread of its own: for changes made on threads
// that may not take the settings lock (the SNMP agent's). Nothing until
// rmon_init has run.
void rmon_settings_save_later(void);
// Saves asked for and not yet written: a restart waits for them.
int rmon_settings_saves_waiting(void);
