// What the RMON-lite page handlers and their tags share: reads of the
// probe's columns through its application read, column writes, row
// operations, and the row indexes a handler keeps for the answer page.
#pragma once

#include <cstddef>
#include <cstdint>

#include "httpd.h"
#include "rmon.h"

namespace rmonpage {

// Probe table addresses (group, table).
struct Table {
    uint32_t group, table;
};
constexpr Table kStats{1, 1};
constexpr Table kHistCtrl{2, 1};
constexpr Table kHistory{2, 2};
constexpr Table kAlarm{3, 1};
constexpr Table kEvent{9, 1};
constexpr Table kLog{9, 2};

constexpr uint32_t kIndexMax = 65534;
// Second tag argument that selects the index the create handler stored.
constexpr uint16_t kCreated = 56784;

// Rising and falling alarm variables: the ten sub-identifiers of the
// Ethernet statistics entry; the column (variable + 2) and port follow.
constexpr rmon_oid_t kAlarmVarBase[10] = {1, 3, 6, 1, 2, 1, 16, 1, 1, 1};
constexpr int kAlarmVarLen = 12;
constexpr int kAlarmVarCount = 17;
// Name of alarm variable 1..17, null otherwise.
const char *alarm_var_name(int var);

struct Value {
    int error = -1;
    uint8_t type = 0;
    uint16_t length = 0;  // bytes, sub-identifiers for an OID
    uint8_t bytes[256] = {};
    uint32_t u32() const;
};

// Exact read of one column (1-based) of a row; instance holds one or two
// index parts. Returns the probe's error (0 when read).
int read(Table t, uint32_t column, const uint32_t *instance, int parts, Value *out);
int read(Table t, uint32_t column, uint32_t index, Value *out);
// Next read of a column after `after` (parts index sub-identifiers, 0 for
// the start); the row found goes to `found`. RMON_NO_SUCH_NAME at the end.
int next(Table t, uint32_t column, const uint32_t *after, int parts, uint32_t *found);

// Writes column var_id + 1 (test, then set); the probe's error.
int set_int(Table t, uint32_t var_id, uint32_t index, int32_t value);
int set_text(Table t, uint32_t var_id, uint32_t index, const char *text);
int set_oid(Table t, uint32_t var_id, uint32_t index, const rmon_oid_t *oid, uint16_t len);

// 1 valid, 2 createRequest, 3 underCreation, 4 delete, 5 restart, else
// nothing; the probe's error.
int rmon_row_op(Table t, uint32_t index, int op);
// Saves the item "rmon"; a failure is logged.
void save();

// The index a handler keeps for the answer page of this request (0 none).
void stored_set(httpd_request *req, const void *key, uint32_t index);
uint32_t stored(const httpd_request *req, const void *key);
// Keys of the stored indexes.
extern const char kAlarmCreated, kAlarmShown, kEventCreated, kEventShown, kHistCtrlShown,
    kHistoryShown, kLogShown, kStatShown;

// Integer of a posted field; false when absent or not a whole number.
bool int_field(const char *text, int32_t *out);
// The value of the first posted pair, null when none.
const char *first_value(const httpd_event *ev);
const char *field(const httpd_event *ev, const char *name);

}  // namespace rmonpage
