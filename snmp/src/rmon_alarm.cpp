// Alarms: each valid row samples one integer object of the probe at its
// interval, absolute or as a delta, and fires its rising or falling event
// when the sample crosses a threshold.
#include <cstring>

#include "rmon_internal.h"

using namespace rmonp;

namespace {

enum class Reading { kOk, kMissing, kBusy };

// The raw reading of an alarm variable: the first 4 bytes of its value. A
// sample does not wait for the alarm table (the thread holding it may wait
// for the sample to end): kBusy.
Reading read_variable(const rmon_oid_t *oid, int len, uint32_t *raw, bool in_sample = false) {
    rmon_oid_t key_oid[13] = {};
    if (len < 12 || len > 13) return Reading::kMissing;
    std::memcpy(key_oid, oid, len * sizeof(rmon_oid_t));
    static const rmon_oid_t rmon[7] = {1, 3, 6, 1, 2, 1, 16};
    if (std::memcmp(key_oid, rmon, sizeof rmon) != 0 || key_oid[9] != 1) return Reading::kMissing;
    int magic = rmon_tbl_magic(key_oid[7], key_oid[8]);
    if (magic < 0 || key_oid[10] == 0) return Reading::kMissing;
    rmon_table *t = table(magic);
    if (sal_mutex_take(t->mutex, in_sample && magic == RMON_ALARM ? 0 : sal_mutex_FOREVER) != 0)
        return Reading::kBusy;
    rmon_oid_key key{.oid = key_oid, .len = static_cast<uint16_t>(len)};
    int found = 0;
    rmon_entry *row = rmon_idx_oid_var_search(1, &key, &found);
    Reading r = row != nullptr && found ? Reading::kOk : Reading::kMissing;
    if (r == Reading::kOk) *raw = rmon_var_u32(row, static_cast<int>(key_oid[10]));
    sal_mutex_give(t->mutex);
    return r;
}

}  // namespace

int rmon_alarm_create(int, uint32_t index, int *error) {
    static const CreateTexts texts = {
        .bad_index = "Alarm table row creation failed, index=%d\n",
        .full = "Spec. Limitation! Alarm table entry creation failed, index=%d\n",
        .created = "Alarm table entry created, index=%d\n",
    };
    return create_row(RMON_ALARM, index, error, texts, [](rmon_entry *row) {
        // Absolute, rising.
        rmon_var_u32_set(row, 4, 1);
        rmon_var_u32_set(row, 6, 1);
        rmon_var_bytes_set(row, 3, RMON_ALARM_VARIABLE_DEFAULT, 12);
    });
}

int rmon_alarm_delete(int, rmon_entry *row, int *error) {
    *error = RMON_NO_ERROR;
    uint32_t index = rmon_row_index(row);
    TableLock hold(table(RMON_ALARM));
    // A valid row stays, and keeps sampling.
    int status = row->status == RMON_VALID ? 5 : 0;
    if (status == 0) {
        timer_stop(row);
        status = rmon_row_ctrl_delete(table(RMON_ALARM), row);
    }
    return deletion_logged(status, index, error, "Alarm table entry deletion faild, index=%d\n",
                           "Alarm table entry deleted, index=%d\n");
}

int rmon_alarm_enable(int, rmon_entry *row, int on, int *error) {
    *error = RMON_NO_ERROR;
    TableLock hold(table(RMON_ALARM));
    int status;
    if (!on) {
        status = rmon_row_ctrl_modify(row);
        timer_stop(row);
    } else {
        rmon_oid_t var[13];
        int len = rmon_var_copy(row, 3, var, sizeof var);
        uint32_t raw = 0;
        // An alarm whose variable is gone cannot sample: refused.
        if (read_variable(var, len, &raw) != Reading::kOk) {
            *error = RMON_WRONG_VALUE;
            return 1;
        }
        bool was_valid = row->status == RMON_VALID;
        status = rmon_row_ctrl_enable(row);
        row->prev_raw = raw;
        if (!was_valid) {
            timer_arm(row, rmon_var_u32(row, 2), rmon_alarm_sample);
        }
    }
    if (status == 0)
        log(LOG_LEVEL_INFO, "Alarm table entry %s, index=%d\n", on ? "enabled" : "disabled",
            static_cast<int>(rmon_row_index(row)));
    return status;
}

void rmon_alarm_sample(void *owner, void *serial, void *, void *, void *) {
    if (!timer_fired(owner, serial, rmon_alarm_sample)) return;
    auto *row = static_cast<rmon_entry *>(owner);
    uint32_t interval = rmon_var_u32(row, 2);
    // The next interval starts now, whatever this sample takes.
    if (interval > 0) timer_rearm(row, interval, rmon_alarm_sample);
    uint32_t type = rmon_var_u32(row, 4);
    uint32_t before = rmon_var_u32(row, 5);
    uint32_t startup = rmon_var_u32(row, 6);
    uint32_t rising = rmon_var_u32(row, 7);
    uint32_t falling = rmon_var_u32(row, 8);
    uint32_t index = rmon_row_index(row);
    rmon_oid_t var[13];
    int len = rmon_var_copy(row, 3, var, sizeof var);
    uint32_t raw = 0;
    PendingTrap traps[2];
    bool due[2] = {false, false};
    Reading got = read_variable(var, len, &raw, true);
    if (got != Reading::kOk) {
        sal_mutex_give(row->mutex);
        // The variable is gone: so is the alarm, unless its table is busy,
        // in which case the next sample tries again.
        rmon_table *t = table(RMON_ALARM);
        if (got == Reading::kMissing && sal_mutex_take(t->mutex, 0) == 0) {
            row->status = RMON_UNDER_CREATION;
            timer_stop(row);
            if (rmon_row_ctrl_delete(t, row) == 0)
                log(LOG_LEVEL_INFO, "Alarm table entry deleted, index=%d\n",
                    static_cast<int>(index));
            sal_mutex_give(t->mutex);
        }
        return;
    }
    uint32_t sample = type == 2 ? raw - row->prev_raw : raw;
    rmon_var_u32_set(row, 5, sample);
    bool test_rising = startup == 1 || startup == 3;
    bool test_falling = startup == 2 || startup == 3;
    if (startup < 1 || startup > 3)
        log(LOG_LEVEL_WARNING, "Alarm #%d: invalid startup_alarm value=%d\n",
            static_cast<int>(index), static_cast<int>(startup));
    if (test_rising && sample >= rising && before < rising) {
        uint32_t event = rmon_var_u32(row, 9);
        event_trigger(event, row, 1, &traps[0], &due[0]);
        log(LOG_LEVEL_INFO, "Alarm #%d: rising event fired! Event_ID=%d\n", static_cast<int>(index),
            static_cast<int>(event));
    }
    if (test_falling && sample <= falling && before > falling) {
        uint32_t event = rmon_var_u32(row, 10);
        event_trigger(event, row, 2, &traps[1], &due[1]);
        log(LOG_LEVEL_INFO, "Alarm #%d: falling event fired! Event_ID=%d\n",
            static_cast<int>(index), static_cast<int>(event));
    }
    row->prev_raw = raw;
    sal_mutex_give(row->mutex);
    // The trap sender takes the agent lock, which the agent holds while it
    // reads the tables.
    for (int k = 0; k < 2; k++)
        if (due[k]) trap_send(traps[k]);
}

namespace {

// Whether the column of the instance's table holds a number to sample.
bool samples_a_number(const rmon_oid_t *oid) {
    int count = 0;
    int magic = rmon_tbl_magic(oid[7], oid[8]);
    if (magic < 0 || oid[10] < 1 || oid[10] > static_cast<rmon_oid_t>(row_count_of(magic)))
        return false;
    uint8_t type = columns(magic, &count)[oid[10] - 1].type;
    return type == RMON_ASN_INTEGER || type == RMON_ASN_COUNTER || type == RMON_ASN_TIMETICKS ||
           type == RMON_ASN_COUNTER64;
}

}  // namespace

int rmon_alarm_variable_test(const rmon_oid_t *oid, int len) {
    uint32_t raw;
    rmon_oid_t key_oid[13] = {};
    bool ok = oid != nullptr && len >= 12 && len <= 13;
    if (ok) std::memcpy(key_oid, oid, len * sizeof(rmon_oid_t));
    if (ok) ok = read_variable(key_oid, len, &raw) == Reading::kOk;
    return ok && samples_a_number(key_oid) ? RMON_NO_ERROR : RMON_WRONG_VALUE;
}

int rmon_alarm_new_row_variable_test(const rmon_oid_t *oid, int len) {
    static const rmon_oid_t rmon[7] = {1, 3, 6, 1, 2, 1, 16};
    if (oid == nullptr || len != 12 || std::memcmp(oid, rmon, sizeof rmon) != 0 || oid[9] != 1)
        return RMON_WRONG_VALUE;
    int magic = rmon_tbl_magic(oid[7], oid[8]);
    return magic >= 0 && table(magic)->control && samples_a_number(oid) ? RMON_NO_ERROR
                                                                        : RMON_WRONG_VALUE;
}

namespace {

int alarm_test(rmon_entry *, int column, const oid_val *value) {
    int error = RMON_NO_ERROR;
    switch (column) {
        case 2:
            error = check_int(value, 0, INT32_MAX);
            if (error == RMON_WRONG_VALUE) error = RMON_WRONG_LENGTH;
            break;
        case 3:
            error = rmon_alarm_variable_test(static_cast<const rmon_oid_t *>(value->value),
                                             value->length);
            break;
        case 4:
            error = check_int(value, 1, 2);
            break;
        case 6:
            error = check_int(value, 1, 3);
            break;
        case 7:
        case 8:
            error = check_int(value, INT32_MIN, INT32_MAX);
            break;
        case 9:
        case 10:
            error = check_int(value, 0, kIndexMax);
            break;
        case 11:
            error = check_text(value);
            break;
        case 12:
            error = check_int(value, 1, 4);
            break;
        default:
            error = RMON_NO_ACCESS;
            break;
    }
    return error;
}

}  // namespace

int rmon_mib_alarm(rmon_entry *row, int var_id, int action, oid_val *value, int *error) {
    // Every column but the index and the status can be set.
    return handle_writable(__func__, row, var_id, action, value, error, 0xFFC, RMON_NO_CREATION,
                           alarm_test);
}
