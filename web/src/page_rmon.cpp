// The RMON-lite form handlers: alarms and events are created, modified and
// deleted, history control rows edited and Ethernet statistics rows
// enabled, disabled and restarted in the probe; each change saves "rmon".
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "logger.h"
#include "page_rmon_internal.h"
#include "settings.h"
#include "web_pages.h"

namespace rmonpage {

const char kAlarmCreated = 0, kAlarmShown = 0, kEventCreated = 0, kEventShown = 0,
           kHistCtrlShown = 0, kHistoryShown = 0, kLogShown = 0, kStatShown = 0;

namespace {

constexpr size_t kOidRoom = 16;

void column_oid(Table t, uint32_t column, rmon_oid_t *oid) {
    const rmon_oid_t head[] = {1, 3, 6, 1, 2, 1, 16, t.group, t.table, 1, column};
    std::memcpy(oid, head, sizeof head);
}

// The probe's answer to a test of the value (0 when it would take it).
int test(Table t, uint32_t var_id, uint32_t index, oid_val v) {
    int error = -1;
    rmonp_var_set(t.group, t.table, var_id, index, &v, RMON_ACT_TEST, &error);
    return error;
}

int write(Table t, uint32_t var_id, uint32_t index, oid_val v) {
    int error = test(t, var_id, index, v);
    if (error == 0) rmonp_var_set(t.group, t.table, var_id, index, &v, RMON_ACT_SET, &error);
    return error;
}

oid_val int_value(int32_t *value) {
    return {.type = RMON_ASN_INTEGER, .length = 4, .value = value};
}

// Null for a text too long for a value record.
bool text_value(const char *text, oid_val *v) {
    size_t n = std::strlen(text);
    if (n > 0xffff) return false;
    *v = {.type = RMON_ASN_OCTET_STR,
          .length = static_cast<uint16_t>(n),
          .value = const_cast<char *>(text)};
    return true;
}

int status_write(Table t, uint32_t index, int32_t status) {
    oid_val v{.type = RMON_ASN_INTEGER, .length = 4, .value = &status};
    int error = -1;
    rmonp_row_status_set(t.group, t.table, index, &v, &error);
    return error;
}

}  // namespace

const char *alarm_var_name(int var) {
    static const char *const names[kAlarmVarCount] = {"etherStatsDropEvents",
                                                      "etherStatsOctets",
                                                      "etherStatsPkts",
                                                      "etherStatsBroadcastPkts",
                                                      "etherStatsMulticastPkts",
                                                      "etherStatsCRCAlignErrors",
                                                      "etherStatsUndersizePkts",
                                                      "etherStatsOversizePkts",
                                                      "etherStatsFragments",
                                                      "etherStatsJabbers",
                                                      "etherStatsCollisions",
                                                      "etherStatsPkts64Octets",
                                                      "etherStatsPkts65to127Octets",
                                                      "etherStatsPkts128to255Octets",
                                                      "etherStatsPkts256to511Octets",
                                                      "etherStatsPkts512to1023Octets",
                                                      "etherStatsPkts1024to1518Octets"};
    return var >= 1 && var <= kAlarmVarCount ? names[var - 1] : nullptr;
}

uint32_t Value::u32() const {
    uint32_t v = 0;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

namespace {

// One read through the probe's application read; on a next read the
// instance found goes to `found`.
int probe_get(Table t, uint32_t column, const uint32_t *instance, int parts, int exact, Value *out,
              uint32_t *found) {
    rmon_oid_t variable[kOidRoom] = {};
    rmon_oid_t oid[kOidRoom] = {};
    column_oid(t, column, variable);
    column_oid(t, column, oid);
    for (int i = 0; i < parts; i++)
        oid[11 + i] = instance[i];
    uint16_t len = static_cast<uint16_t>(11 + parts);
    oid_val v{.type = 0, .length = sizeof out->bytes, .value = out->bytes};
    oid_val *vp = &v;
    int error = -1, result = 0;
    rmon_get_request r{.variable_oid = variable,
                       .variable_len = 11,
                       .oid = oid,
                       .oid_len = &len,
                       .exact = exact,
                       .value = &vp,
                       .error = &error,
                       .result = &result};
    if (rmonprobe_applop_get(&r) != 0 && error == 0) error = RMON_GEN_ERR;
    out->error = error;
    out->type = v.type;
    out->length = v.length;
    if (error != 0 || exact) return error;
    // A row past the last one lies in the next column.
    if (len < 11 + 1 || oid[10] != column || oid[8] != t.table) return RMON_NO_SUCH_NAME;
    for (int i = 0; i < len - 11 && i < 2; i++)
        found[i] = oid[11 + i];
    return 0;
}

}  // namespace

int read(Table t, uint32_t column, const uint32_t *instance, int parts, Value *out) {
    return probe_get(t, column, instance, parts, 1, out, nullptr);
}

int read(Table t, uint32_t column, uint32_t index, Value *out) {
    return read(t, column, &index, 1, out);
}

int next(Table t, uint32_t column, const uint32_t *after, int parts, uint32_t *found) {
    Value scratch;
    return probe_get(t, column, after, parts, 0, &scratch, found);
}

int set_int(Table t, uint32_t var_id, uint32_t index, int32_t value) {
    return write(t, var_id, index, int_value(&value));
}

int set_text(Table t, uint32_t var_id, uint32_t index, const char *text) {
    oid_val v;
    return text_value(text, &v) ? write(t, var_id, index, v) : RMON_WRONG_LENGTH;
}

int set_oid(Table t, uint32_t var_id, uint32_t index, const rmon_oid_t *oid, uint16_t len) {
    return write(
        t, var_id, index,
        {.type = RMON_ASN_OBJECT_ID, .length = len, .value = const_cast<rmon_oid_t *>(oid)});
}

int rmon_row_op(Table t, uint32_t index, int op) {
    switch (op) {
        case 1:
        case 2:
        case 3:
            return status_write(t, index, op);
        case 4:
        case 5: {
            int error = status_write(t, index, RMON_UNDER_CREATION);
            if (error != 0) return error;
            return status_write(t, index, op == 4 ? RMON_INVALID : RMON_VALID);
        }
        default:
            return 0;
    }
}

void save() {
    if (settings_save_item("rmon") != 1)
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_RMON, "Save RMON settings to nvram failed\n");
}

void stored_set(httpd_request *req, const void *key, uint32_t index) {
    auto *slot = static_cast<uint32_t *>(httpd_req_state_get(req, key, sizeof(uint32_t)));
    if (slot != nullptr) *slot = index;
}

uint32_t stored(const httpd_request *req, const void *key) {
    const auto *slot = static_cast<const uint32_t *>(httpd_req_state_find(req, key));
    return slot != nullptr ? *slot : 0;
}

bool int_field(const char *text, int32_t *out) {
    return web_form_int(text, INT32_MIN, INT32_MAX, out);
}

const char *first_value(const httpd_event *ev) {
    return ev->b.num > 0 ? ev->a.pairs[0].value : nullptr;
}

const char *field(const httpd_event *ev, const char *name) {
    for (int i = 0; i < ev->b.num; i++) {
        if (std::strcmp(ev->a.pairs[i].name, name) == 0) return ev->a.pairs[i].value;
    }
    return nullptr;
}

}  // namespace rmonpage

using namespace rmonpage;

namespace {

// A row index posted as the first value: 1 to 65534, else 0.
uint32_t posted_index(const char *text) {
    int32_t v = 0;
    return int_field(text, &v) && v >= 1 && static_cast<uint32_t>(v) <= kIndexMax
               ? static_cast<uint32_t>(v)
               : 0;
}

int refuse(httpd_event *ev, httpd_request *req, const char *title, const char *message) {
    return web_error_page(ev, req, title, message, WEB_RETRY_LABEL, WEB_RETRY_ACTION);
}

// Creates a row at the lowest free index of the table.
int create_row(Table t, uint32_t status_column, const void *key, const char *title, httpd_event *ev,
               httpd_request *req, bool alarm) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    uint32_t index = 0;
    for (uint32_t i = 1; i <= kIndexMax && index == 0; i++) {
        Value v;
        if (read(t, status_column, i, &v) == RMON_NO_SUCH_NAME) index = i;
    }
    if (index == 0 || rmon_row_op(t, index, 2) != 0) {
        if (alarm)
            web_refused_puts(req, LOG_MOD_RMON, "Alarm row creation failed!!!\n");
        else
            web_refused_printf(req, LOG_MOD_RMON, "%s row creation failed!!!\n",
                               "ssphandler_rmonlite_event_create_cgi");
        return refuse(ev, req, title, "Fail on creating New Event entry!");
    }
    stored_set(req, key, index);
    save();
    return 0;
}

// One column a modify handler writes.
struct Column {
    uint32_t var_id;
    const char *name;  // in "Set the RMON_<table>.<name> failed!"
    const char *field;
    enum Kind { kInt, kText, kVariable } kind;
};

const Column alarm_columns[] = {
    {1, "Interval", "input_interval", Column::kInt},
    {2, "Variable", nullptr, Column::kVariable},
    {3, "SampleType", "sel_alarm_sample_type", Column::kInt},
    {5, "StartupAlarm", "sel_alarm_startup", Column::kInt},
    {6, "RisingThreshold", "input_alarm_rising_threshold", Column::kInt},
    {7, "FallingThreshold", "input_alarm_falling_threshold", Column::kInt},
    {8, "RisingEventIndex", "sel_rising_event", Column::kInt},
    {9, "FallingEventIndex", "sel_falling_event", Column::kInt},
    {10, "Owner", "input_owner", Column::kText},
};

const Column event_columns[] = {
    {2, "EventType", "input_type", Column::kInt},
    {1, "Description", "input_Desc", Column::kText},
    {3, "Community", "input_community", Column::kText},
    {5, "Owner", "input_owner", Column::kText},
};

struct ModifyKind {
    Table table;
    const char *handler;
    const char *title;
    const char *table_name;  // "Alarm", "Event"
    const Column *columns;
    size_t count;
    const void *key;
    const void *created;  // key of the create handler's index
    uint32_t status_column;
};

enum class ColumnStep { kTest, kSet };

// Tests or sets one column from the form; 0, or the probe's error
// (RMON_WRONG_VALUE for a field that is not a number). A column whose field
// is absent stays.
int set_column(const ModifyKind &k, const Column &c, uint32_t index, const httpd_event *ev,
               ColumnStep step) {
    auto apply = [&](oid_val v) {
        return step == ColumnStep::kTest ? test(k.table, c.var_id, index, v)
                                         : write(k.table, c.var_id, index, v);
    };
    if (c.kind == Column::kVariable) {
        int32_t port = 0, var = 0;
        if (!int_field(field(ev, "sel_var_interface"), &port)) port = 0;
        if (!int_field(field(ev, "sel_alarm_var"), &var)) var = 0;
        if (port <= 0 || var <= 0) return 0;
        rmon_oid_t oid[kAlarmVarLen];
        std::memcpy(oid, kAlarmVarBase, sizeof kAlarmVarBase);
        oid[10] = static_cast<rmon_oid_t>(var + 2);
        oid[11] = static_cast<rmon_oid_t>(port);
        return apply({.type = RMON_ASN_OBJECT_ID, .length = kAlarmVarLen, .value = oid});
    }
    const char *text = field(ev, c.field);
    if (text == nullptr) return 0;
    if (c.kind == Column::kText) {
        oid_val v;
        return text_value(text, &v) ? apply(v) : RMON_WRONG_LENGTH;
    }
    int32_t v = 0;
    if (!int_field(text, &v)) return RMON_WRONG_VALUE;
    return apply(int_value(&v));
}

// An alarm starts again once its post is applied: a variable the post leaves
// as it is must still name a row to sample (SNMP may have named one since
// deleted), or the start would fail after the columns changed.
bool kept_variable_samples(uint32_t index, const httpd_event *ev) {
    int32_t port = 0, var = 0;
    if (int_field(field(ev, "sel_var_interface"), &port) &&
        int_field(field(ev, "sel_alarm_var"), &var) && port > 0 && var > 0)
        return true;  // the post's own, which the column test checks
    Value v;
    if (read(kAlarm, 3, index, &v) != 0) return false;
    rmon_oid_t oid[kOidRoom] = {};
    const size_t n = std::min<size_t>(v.length, kOidRoom);
    std::memcpy(oid, v.bytes, n * sizeof(rmon_oid_t));
    return rmon_alarm_variable_test(oid, static_cast<int>(n)) == RMON_NO_ERROR;
}

// The error page "Set the RMON_<table>.<column> failed!".
int set_failed(const ModifyKind &k, const char *column, httpd_event *ev, httpd_request *req) {
    char msg[80];
    std::snprintf(msg, sizeof msg, "Set the RMON_%s.%s failed!", k.table_name, column);
    return refuse(ev, req, k.title, msg);
}

int modify_row(const ModifyKind &k, httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    uint32_t index = posted_index(field(ev, "ctrl_id"));
    stored_set(req, k.key, index);
    if (ev->b.num < 2 || index == 0) return 0;
    // Numbers are checked before the row is touched.
    for (size_t i = 0; i < k.count; i++) {
        const Column &c = k.columns[i];
        int32_t v = 0;
        const char *text = c.field != nullptr ? field(ev, c.field) : nullptr;
        if (c.kind == Column::kInt && text != nullptr && !int_field(text, &v))
            return set_failed(k, c.name, ev, req);
    }
    if (k.table.group == kAlarm.group && !kept_variable_samples(index, ev))
        return set_failed(k, "Variable", ev, req);
    Value status;
    const bool was_valid =
        read(k.table, k.status_column, index, &status) == 0 && status.u32() == RMON_VALID;
    if (rmon_row_op(k.table, index, 3) != 0) return set_failed(k, "Status", ev, req);
    // Every column is tested before any is set: a refused post leaves the
    // row as it was, running again if it ran.
    for (ColumnStep step : {ColumnStep::kTest, ColumnStep::kSet}) {
        for (size_t i = 0; i < k.count; i++) {
            const Column &c = k.columns[i];
            if (set_column(k, c, index, ev, step) == 0) continue;
            web_refused_printf(req, LOG_MOD_RMON, "%s, var_id=%d, rmonp set failed!\n", k.handler,
                               static_cast<int>(c.var_id));
            if (was_valid) rmon_row_op(k.table, index, 1);
            return set_failed(k, c.name, ev, req);
        }
    }
    if (rmon_row_op(k.table, index, 1) != 0) return set_failed(k, "Status", ev, req);
    logger_printf(LOG_LEVEL_INFO, LOG_MOD_RMON, "%s index=%d, entry modified!\n", k.table_name,
                  static_cast<int>(index));
    save();
    return 0;
}

int delete_row(Table t, const char *title, httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    uint32_t index = posted_index(first_value(ev));
    if (index == 0) return refuse(ev, req, title, "Invalid entry index!");
    if (rmon_row_op(t, index, 4) != 0) return refuse(ev, req, title, "Entry not found!");
    save();
    return 0;
}

const ModifyKind alarm_kind = {
    .table = kAlarm,
    .handler = "ssphandler_rmonlite_alarm_modify_cgi",
    .title = "RMON Alarm Table Set",
    .table_name = "Alarm",
    .columns = alarm_columns,
    .count = sizeof alarm_columns / sizeof alarm_columns[0],
    .key = &kAlarmShown,
    .created = &kAlarmCreated,
    .status_column = 12,
};

const ModifyKind event_kind = {
    .table = kEvent,
    .handler = "ssphandler_rmonlite_event_modify_cgi",
    .title = "RMON Event Table Set",
    .table_name = "Event",
    .columns = event_columns,
    .count = sizeof event_columns / sizeof event_columns[0],
    .key = &kEventShown,
    .created = &kEventCreated,
    .status_column = 7,
};

}  // namespace

// The create, modify and delete handlers of the alarm or event table.
#define RMON_ROW_HANDLERS(NAME, TABLE, STATUS_COLUMN, KIND, ALARM, WORD)                        \
    int ssphandler_rmonlite_##NAME##_create_cgi(httpd_event *ev, httpd_request *req) {          \
        return create_row(TABLE, STATUS_COLUMN, KIND.created, "RMON " WORD " Table create", ev, \
                          req, ALARM);                                                          \
    }                                                                                           \
    int ssphandler_rmonlite_##NAME##_modify_cgi(httpd_event *ev, httpd_request *req) {          \
        return modify_row(KIND, ev, req);                                                       \
    }                                                                                           \
    int ssphandler_rmonlite_##NAME##_delete_cgi(httpd_event *ev, httpd_request *req) {          \
        return delete_row(TABLE, "RMON " WORD " Table delete", ev, req);                        \
    }

RMON_ROW_HANDLERS(alarm, kAlarm, 12, alarm_kind, true, "Alarm")
RMON_ROW_HANDLERS(event, kEvent, 7, event_kind, false, "Event")

int ssphandler_rmonlite_histctrl_modify_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    static const char handler[] = "ssphandler_rmonlite_histctrl_modify_cgi";
    static const char title[] = "RMON History Control Table modify";
    uint32_t index = posted_index(field(ev, "ctrl_id"));
    stored_set(req, &kHistCtrlShown, index);
    if (ev->b.num < 2 || index == 0) return 0;
    const char *interval_text = field(ev, "input_interval");
    const char *owner = field(ev, "input_owner");
    int32_t interval = 0, enable = 2;
    if (interval_text != nullptr && !int_field(interval_text, &interval))
        return refuse(ev, req, title, "Set the RMON_HistCtrl.Interval failed!");
    if (owner != nullptr && std::strlen(owner) > 127)
        return refuse(ev, req, title, "Set the RMON_HistCtrl.Owner failed!");
    if (!int_field(field(ev, "histctrl_enable"), &enable)) enable = 2;
    Value status;
    if (read(kHistCtrl, 7, index, &status) != 0)
        return refuse(ev, req, title, "Set the RMON_HistCtrl.Interval failed!");
    // The probe takes new settings only on a row under creation: a running
    // row stops for the change.
    bool was_valid = status.u32() == RMON_VALID;
    if (was_valid && rmon_row_op(kHistCtrl, index, 3) != 0)
        return refuse(ev, req, title, "Set the RMON_HistCtrl.Interval failed!");
    // Both fields are tested before either is set: a refused post leaves the
    // row as it was.
    const char *failed = nullptr;
    int var = 0;
    oid_val owner_value{};
    if (interval_text != nullptr && test(kHistCtrl, 4, index, int_value(&interval)) != 0) {
        failed = "Set the RMON_HistCtrl.Interval failed!";
        var = 4;
    } else if (owner != nullptr &&
               (!text_value(owner, &owner_value) || test(kHistCtrl, 5, index, owner_value) != 0)) {
        failed = "Set the RMON_HistCtrl.Owner failed!";
        var = 5;
    } else if (interval_text != nullptr && set_int(kHistCtrl, 4, index, interval) != 0) {
        failed = "Set the RMON_HistCtrl.Interval failed!";
        var = 4;
    } else if (owner != nullptr && set_text(kHistCtrl, 5, index, owner) != 0) {
        failed = "Set the RMON_HistCtrl.Owner failed!";
        var = 5;
    }
    if (failed != nullptr) {
        web_refused_printf(req, LOG_MOD_RMON, "%s, rmonp_var_set(var=%d) failed!\n", handler, var);
        if (was_valid) rmon_row_op(kHistCtrl, index, 1);
        return refuse(ev, req, title, failed);
    }
    rmon_row_op(kHistCtrl, index, enable == 1 ? 1 : 3);
    save();
    return 0;
}

int ssphandler_rmonlite_eventlog_index_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event == HTTPD_EV_ARGS) stored_set(req, &kLogShown, posted_index(first_value(ev)));
    return 0;
}

int ssphandler_rmonlite_histstat_index_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event == HTTPD_EV_ARGS) stored_set(req, &kHistoryShown, posted_index(first_value(ev)));
    return 0;
}

int ssphandler_rmonlite_stat_port_cgi(httpd_event *ev, httpd_request *req) {
    if (ev->event != HTTPD_EV_ARGS) return 0;
    static const char title[] = "RMON Statistics";
    uint32_t index = posted_index(field(ev, "port_id"));
    if (index == 0) return refuse(ev, req, title, "Invalid entry index!");
    stored_set(req, &kStatShown, index);
    int32_t action = 0;
    if (!int_field(field(ev, "set_row_sts"), &action)) return 0;
    static const int ops[] = {0, 1, 3, 5};
    int op = action >= 1 && action <= 3 ? ops[action] : 0;
    if (op == 0) return 0;
    if (rmon_row_op(kStats, index, op) != 0)
        return refuse(ev, req, title, "Set the RMON_Statistics.Status failed!");
    save();
    return 0;
}
