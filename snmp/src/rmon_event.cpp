// Events, the event log and alarm traps: what a fired alarm does (nothing, a
// log line, a trap, or both), with at most 50 log lines per event.
#include <cstdio>
#include <cstring>

#include "rmon_internal.h"
#include "snmp_agent.h"
#include "snmp_netsnmp.h"
#include "snmpcfg.h"

using namespace rmonp;

namespace {

constexpr uint32_t kMaxLogPerEvent = 50;

void alarm_snapshot(rmon_entry *alarm, int kind, PendingTrap *trap) {
    trap->kind = kind;
    trap->alarm_index = rmon_row_index(alarm);
    trap->variable_len = rmon_var_copy(alarm, 3, trap->variable, sizeof trap->variable);
    trap->sample_type = rmon_var_u32(alarm, 4);
    trap->value = rmon_var_u32(alarm, 5);
    trap->threshold = rmon_var_u32(alarm, kind == 1 ? 7 : 8);
}

void log_line(uint32_t event_index, const PendingTrap &a) {
    char text[256] = {};
    size_t n = 0;
    auto add = [&](const char *fmt, auto... args) {
        if (n < sizeof text) n += std::snprintf(text + n, sizeof text - n, fmt, args...);
    };
    add("Alarm(#id=%d) %s event!  [Variable=", static_cast<int>(a.alarm_index),
        a.kind == 1 ? "rising" : "falling");
    for (int i = 0; i < a.variable_len; i++)
        add("%s%d%s", "", static_cast<int>(a.variable[i]), i + 1 < a.variable_len ? "." : "; ");
    add("%s type=%s;", "", a.sample_type == 1 ? "absolute(1)" : "delta(2)");
    add("%s value=%u;", "", a.value);
    add("%s threshold=%u]\n", "", a.threshold);
    n = strnlen(text, sizeof text - 1);
    rmon_table *t = table(RMON_LOG);
    uint32_t log_index = rmon_data_index_next(t, event_index);
    TableLock hold(t);
    rmon_entry *row = rmon_row_data_create(t, event_index, log_index, kMaxLogPerEvent);
    if (row == nullptr) return;
    rmon_var_u32_set(row, 3, rmon_timeticks_now());
    rmon_var_bytes_set(row, 4, text, static_cast<uint16_t>(n));
}

}  // namespace

namespace rmonp {

void event_trigger(uint32_t event_index, rmon_entry *alarm, int kind, PendingTrap *trap,
                   bool *trap_due) {
    *trap_due = false;
    if (event_index == 0) return;
    rmon_table *t = table(RMON_EVENT);
    TableLock hold(t);
    rmon_entry *event = rmon_row_search(1, t->group, t->table, event_index, 0);
    if (event == nullptr) {
        log(LOG_LEVEL_WARNING, "%s,no such event entry.\n", "rmon_mib_event_trigger");
        return;
    }
    if (event->status != RMON_VALID) {
        log(LOG_LEVEL_WARNING, "%s,inactive event entry.\n", "rmon_mib_event_trigger");
        return;
    }
    rmon_var_u32_set(event, 5, rmon_timeticks_now());
    uint32_t type = rmon_var_u32(event, 3);
    alarm_snapshot(alarm, kind, trap);
    if (type == 2 || type == 4) log_line(event_index, *trap);
    if (type == 3 || type == 4) {
        std::memset(trap->community, 0, sizeof trap->community);
        rmon_var_copy(event, 4, trap->community, sizeof trap->community - 1);
        log(LOG_LEVEL_DEBUG, "Alarm - %s event Trap issuing! (alarm id=%d, event id=%d)\n",
            kind == 1 ? "rising" : "falling", static_cast<int>(trap->alarm_index),
            static_cast<int>(event_index));
        *trap_due = true;
    }
}

void trap_send(const PendingTrap &trap) {
    oid name[12] = {1, 3, 6, 1, 2, 1, 16, 3, 1, 1, 0, trap.alarm_index};
    oid variable[16];
    for (int i = 0; i < trap.variable_len; i++)
        variable[i] = trap.variable[i];
    long index = static_cast<long>(trap.alarm_index);
    long type = static_cast<long>(trap.sample_type);
    long value = static_cast<long>(static_cast<int32_t>(trap.value));
    long threshold = static_cast<long>(static_cast<int32_t>(trap.threshold));
    struct Binding {
        oid column;
        u_char type;
        const void *value;
        size_t len;
    } bindings[5] = {
        {1, ASN_INTEGER, &index, sizeof index},
        {3, ASN_OBJECT_ID, variable, trap.variable_len * sizeof(oid)},
        {4, ASN_INTEGER, &type, sizeof type},
        {5, ASN_INTEGER, &value, sizeof value},
        {static_cast<oid>(trap.kind == 1 ? 7 : 8), ASN_INTEGER, &threshold, sizeof threshold},
    };
    netsnmp_variable_list vars[5] = {};
    for (int i = 0; i < 5; i++) {
        name[10] = bindings[i].column;
        snmp_set_var_objid(&vars[i], name, 12);
        vars[i].type = bindings[i].type;
        snmp_set_var_value(&vars[i], bindings[i].value, bindings[i].len);
        vars[i].next_variable = i < 4 ? &vars[i + 1] : nullptr;
    }
    send_rmon_alarm_trap(trap.kind, trap.community, vars);
    for (auto &v : vars)
        snmp_free_var_internals(&v);
}

}  // namespace rmonp

void rmon_mib_event_trigger(uint32_t event_index, rmon_entry *alarm, int kind) {
    PendingTrap trap{};
    bool due = false;
    event_trigger(event_index, alarm, kind, &trap, &due);
    if (due) trap_send(trap);
}

void rmon_alarm_trap_send(const char *community, rmon_entry *alarm, int kind) {
    PendingTrap trap{};
    alarm_snapshot(alarm, kind, &trap);
    std::snprintf(trap.community, sizeof trap.community, "%s", community);
    trap_send(trap);
}

int rmon_event_create(int, uint32_t index, int *error) {
    static const CreateTexts texts = {
        .bad_index = "Event row creation failed, index_id=%d\n",
        .full = "Spec. Limitation! Event table entry creation failed, index=%d\n",
        .created = "Event table entry created, index=%d\n",
    };
    return create_row(RMON_EVENT, index, error, texts,
                      [](rmon_entry *row) { rmon_var_u32_set(row, 3, 1); });  // type none
}

int rmon_event_delete(int, rmon_entry *row, int *error) {
    *error = RMON_NO_ERROR;
    uint32_t index = rmon_row_index(row);
    int status = rmon_row_ctrl_delete(table(RMON_EVENT), row);
    return deletion_logged(status, index, error, "Failed on deleting event table entry, index=%d\n",
                           "Event table entry deleted, index=%d\n");
}

int rmon_event_enable(int, rmon_entry *row, int on, int *error) {
    *error = RMON_NO_ERROR;
    int status = on ? rmon_row_ctrl_enable(row) : rmon_row_ctrl_modify(row);
    if (status == 0)
        log(LOG_LEVEL_INFO, "Event table entry %s, index=%d\n", on ? "enabled" : "disabled",
            static_cast<int>(rmon_row_index(row)));
    return status;
}

namespace {

bool text_column(int column) {
    return column == 2 || column == 4 || column == 6;
}

int event_test(rmon_entry *, int column, const oid_val *value) {
    return text_column(column) ? check_text(value) : check_int(value, 1, 4);
}

}  // namespace

int rmon_mib_event(rmon_entry *row, int var_id, int action, oid_val *value, int *error) {
    // Columns 1 to 7 (bits 1-7) can be set.
    return handle_writable(__func__, row, var_id, action, value, error, 0xFE, RMON_NO_CREATION,
                           event_test);
}

int rmon_mib_log(rmon_entry *row, int var_id, int action, oid_val *value, int *error) {
    *error = RMON_NO_ERROR;
    if (var_id >= static_cast<int>(row->mib_var_count)) {
        log_refused_printf(LOG_LEVEL_WARNING, LOG_MOD_RMON, "%s: invalid variable id:%d\n",
                           __func__, var_id);
        *error = RMON_NO_SUCH_NAME;
        return 0;
    }
    if (action == RMON_ACT_GET) return get_column(row, var_id, value);
    return 5;
}
