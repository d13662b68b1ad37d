// History control and sampling: two control rows per user port, each of
// which, while valid, adds one etherHistory sample per interval and keeps at
// most bucketsRequested of them. Also the row timers that history and alarm
// rows share.
#include <atomic>
#include <cstring>

#include "rmon_internal.h"
#include "sal_lock.h"
#include "snmp_netsnmp.h"

using namespace rmonp;

namespace {

// sal_dpc_time honours delays up to 2^31 - 1 µs: longer intervals wait in
// parts of this size.
constexpr uint64_t kTimerPart = 2000000000ull;
std::atomic<uint32_t> timer_serials{0};

// Queues the next part of the interval, due a part after base: each part
// and each interval starts when the one before was due, unless that is
// already past.
void queue_part(rmon_entry *row, sal_dpc_fn_t fn, uint32_t base) {
    uint64_t part = row->timer_left_us < kTimerPart ? row->timer_left_us : kTimerPart;
    row->timer_left_us -= part;
    uint32_t now = sal_time_usecs();
    row->timer_due = base + static_cast<uint32_t>(part);
    auto wait = static_cast<int32_t>(row->timer_due - now);
    if (wait < 0 && -static_cast<int64_t>(wait) >= static_cast<int64_t>(part)) {
        // Over a part late: no catching up, the schedule starts again now.
        row->timer_due = now + static_cast<uint32_t>(part);
        wait = static_cast<int32_t>(part);
    } else if (wait < 0) {
        wait = 0;  // a little late (the previous part ran late): due now
    }
    auto serial = reinterpret_cast<void *>(static_cast<uintptr_t>(row->timer_serial));
    sal_dpc_time(static_cast<uint32_t>(wait), fn, row, serial, nullptr, nullptr, nullptr);
}

}  // namespace

namespace rmonp {

void timer_arm(rmon_entry *row, uint32_t seconds, sal_dpc_fn_t fn) {
    SalLock hold(row->mutex);
    row->timer_serial = ++timer_serials;
    row->timer_left_us = static_cast<uint64_t>(seconds) * 1000000u;
    queue_part(row, fn, sal_time_usecs());
}

void timer_rearm(rmon_entry *row, uint32_t seconds, sal_dpc_fn_t fn) {
    row->timer_left_us = static_cast<uint64_t>(seconds) * 1000000u;
    queue_part(row, fn, row->timer_due);
}

void timer_stop(rmon_entry *row) {
    {
        SalLock hold(row->mutex);
        row->timer_serial = ++timer_serials;
    }
    // Waits for a sample of the row in progress: the row may go next.
    sal_dpc_cancel(row);
}

bool timer_fired(void *row, void *serial, sal_dpc_fn_t fn) {
    auto *r = static_cast<rmon_entry *>(row);
    sal_mutex_take(r->mutex, sal_mutex_FOREVER);
    bool live = r->timer_serial == reinterpret_cast<uintptr_t>(serial) && r->status == RMON_VALID;
    if (live && r->timer_left_us == 0) return true;
    if (live) queue_part(r, fn, r->timer_due);
    sal_mutex_give(r->mutex);
    return false;
}

void histcontrol_defaults(void) {
    rmon_table *t = table(RMON_HISTCONTROL);
    uint32_t n = num_ports();
    for (uint32_t i = 1; i <= 2 * n; i++) {
        rmon_entry *row = rmon_row_ctrl_create(t, i);
        if (row == nullptr) continue;
        uint32_t port = i <= n ? i : i - n;
        rmon_oid_t source[11] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 1, port};
        rmon_var_bytes_set(row, 2, source, 11);
        rmon_var_u32_set(row, 3, 50);
        rmon_var_u32_set(row, 4, 50);
        rmon_var_u32_set(row, 5, i <= n ? 1800 : 3600);
        rmon_var_text_set(row, 6, "monitor", 7);
        row->flags = 0;
    }
    log(LOG_LEVEL_INFO, "%d historyControl entries created with disabled status!\n",
        static_cast<int>(2 * n));
}

}  // namespace rmonp

uint32_t rmon_timeticks_now(void) {
    return static_cast<uint32_t>(netsnmp_get_agent_uptime());
}

int rmon_histcontrol_enable(int, rmon_entry *row, int on, int *error) {
    rmon_table *t = table(RMON_HISTCONTROL);
    TableLock hold(t);
    int status;
    int deleted = 0;
    if (!on) {
        status = rmon_row_ctrl_modify(row);
        timer_stop(row);
        rmon_table *h = table(RMON_ETHERHISTORY);
        deleted = rmon_row_data_delete_all(h, h->group, rmon_row_index(row));
    } else {
        bool was_valid = row->status == RMON_VALID;
        status = rmon_row_ctrl_enable(row);
        // A second enable keeps the timer it has.
        if (!was_valid) timer_arm(row, rmon_var_u32(row, 5), rmon_history_sample);
    }
    if (status == 0) {
        log(LOG_LEVEL_INFO, "HisotoryControl table entry %s, index=%d\n",
            on ? "enabled" : "disabled", static_cast<int>(rmon_row_index(row)));
        if (deleted > 0)
            log(LOG_LEVEL_INFO, "EtherHisotory %d entries deleted for this entry disabling.\n",
                deleted);
    }
    *error = RMON_NO_ERROR;
    return status;
}

void rmon_history_sample(void *owner, void *serial, void *, void *, void *) {
    if (!timer_fired(owner, serial, rmon_history_sample)) return;
    auto *row = static_cast<rmon_entry *>(owner);
    uint32_t interval = rmon_var_u32(row, 5);
    // The next interval starts now, whatever this sample takes.
    timer_rearm(row, interval, rmon_history_sample);
    rmon_oid_t source[11];
    int source_len = rmon_var_copy(row, 2, source, sizeof source);
    rmon_entry *stats = nullptr;
    {
        rmon_table *es = table(RMON_ETHERSTATS);
        TableLock hold(es);
        rmon_oid_t other[11];
        uint32_t seen = 0;
        for (rmon_entry *r = es->first; r != nullptr && seen < es->count; r = r->next, seen++) {
            int n = rmon_var_copy(r, 2, other, sizeof other);
            if (n == source_len && std::memcmp(other, source, n * sizeof(rmon_oid_t)) == 0) {
                stats = r;
                break;
            }
        }
    }
    if (stats == nullptr) {
        log(LOG_LEVEL_WARNING, "No matched interface for sampling, interval=%d\n",
            static_cast<int>(interval * 1000000u));
    } else {
        rmon_table *h = table(RMON_ETHERHISTORY);
        uint32_t index = rmon_row_index(row);
        uint32_t sample = rmon_data_index_next(h, index);
        TableLock hold(h);
        rmon_entry *entry = rmon_row_data_create(h, index, sample, rmon_var_u32(row, 3));
        SAL_ASSERT(entry);
        if (entry != nullptr) rmon_history_compute(sample, entry, stats, interval * 1000000u);
    }
    sal_mutex_give(row->mutex);
}

void rmon_history_compute(uint32_t sample_index, rmon_entry *history, rmon_entry *stats,
                          uint32_t interval_us) {
    rmon_var_u32_set(history, 3, rmon_timeticks_now());
    rmon_entry *prev = nullptr;
    // Only a sample of the same control row is a previous sample.
    if (sample_index > 1 && history->prev != nullptr &&
        rmon_var_u32(history->prev, 1) == rmon_var_u32(history, 1))
        prev = history->prev;
    uint32_t diffs[11];
    for (int k = 0; k < 11; k++) {
        uint32_t raw = rmon_var_u32(stats, k + 3);
        uint32_t words[2] = {0, raw};
        SchedLock hold;
        uint32_t before = 0;
        if (prev != nullptr)
            std::memcpy(&before, static_cast<uint8_t *>(prev->variables[k + 3].value) + 4, 4);
        words[0] = raw - before;
        diffs[k] = words[0];
        std::memcpy(history->variables[k + 3].value, words, 8);
        history->variables[k + 3].length = 4;
    }
    double seconds = static_cast<double>(interval_us / 1000000u);
    double u = (diffs[2] * 16.0 + diffs[1] * 0.8) / (seconds * 10000.0);
    uint32_t utilization = u >= 0 && u < 4294967296.0 ? static_cast<uint32_t>(u) : 0;
    rmon_var_u32_set(history, 15, utilization);
}

int rmon_mib_histcontrol(rmon_entry *row, int var_id, int action, oid_val *value, int *error) {
    *error = RMON_NO_ERROR;
    SAL_ASSERT(var_id < 7);
    if (var_id >= 7) {
        *error = RMON_NO_SUCH_NAME;
        return 0;
    }
    int column = var_id + 1;
    if (action == RMON_ACT_GET) return get_column(row, var_id, value);
    if (action == RMON_ACT_NOTHING) return 0;
    if (action != RMON_ACT_TEST && action != RMON_ACT_SET) return 5;
    if (row->status != RMON_UNDER_CREATION && column != 7) {
        *error = RMON_NO_ACCESS;
        return 0;
    }
    const rmon_var &var = row->variables[var_id];
    switch (column) {
        case 1:
        case 4:
            *error = RMON_NO_ACCESS;
            return 0;
        case 2:
        case 3:
            *error = RMON_GEN_ERR;
            return 0;
        case 5:
            if (action == RMON_ACT_SET) {
                rmon_var_u32_set(row, 5, static_cast<uint32_t>(int_of(value)));
                return 0;
            }
            if (var.access != RMON_RW) *error = RMON_NOT_WRITABLE;
            if (value->type != var.type) *error = RMON_WRONG_TYPE;
            if (value->length != 4 || int_of(value) < 1 || int_of(value) > 3600)
                *error = RMON_WRONG_VALUE;
            return 0;
        case 6:
            if (action == RMON_ACT_SET) {
                set_text(row, var_id, value);
                return 0;
            }
            if (var.access != RMON_RW) *error = RMON_NOT_WRITABLE;
            if (value->type != var.type) *error = RMON_WRONG_TYPE;
            if (value->length >= 128) *error = RMON_WRONG_LENGTH;
            if (!printable(value)) *error = RMON_WRONG_VALUE;
            if (value->length < 7 || std::memcmp(value->value, "monitor", 7) != 0)
                *error = RMON_WRONG_VALUE;
            return 0;
        default:
            // Status changes go through rmonp_row_status_set.
            if (action == RMON_ACT_SET) return 0;
            if (var.access != RMON_RW) *error = RMON_NOT_WRITABLE;
            if (value->type != var.type) *error = RMON_WRONG_TYPE;
            if (value->length != 4 || int_of(value) < 1 || int_of(value) > 4)
                *error = RMON_WRONG_VALUE;
            return 0;
    }
}

int rmon_mib_histethstats(rmon_entry *row, int var_id, int action, oid_val *value, int *error) {
    *error = RMON_NO_ERROR;
    if (var_id >= 15) {
        *error = RMON_NO_SUCH_NAME;
        return 0;
    }
    if (action == RMON_ACT_GET) return get_column(row, var_id, value);
    *error = RMON_NOT_WRITABLE;
    return 0;
}
