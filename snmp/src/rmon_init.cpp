// Start-up of the probe with its default rows, the reset back to them, the
// reclaim of rows that managers began and left behind, and the settings item
// that keeps the control rows.
#include <atomic>
#include <cstring>
#include <vector>

#include "rmon_internal.h"
#include "settings.h"

using namespace rmonp;

namespace {

constexpr int32_t kCounterPeriod = 100000;
constexpr int32_t kReclaimPeriod = 1800000000;
constexpr int kResetAttempts = 10;
std::atomic<int32_t> reclaim_period{kReclaimPeriod};
// Saves asked for by rmon_settings_save_later, and the wake-up of the thread
// that writes them.
std::atomic<int> saves_waiting{0};
std::atomic<sal_sem_t> save_wanted{nullptr};

void rmon_settings_save_thread(void *arg) {
    auto wanted = static_cast<sal_sem_t>(arg);
    for (;;) {
        sal_sem_take(wanted, sal_sem_FOREVER);
        // One save takes every change asked for before it.
        const int asked = saves_waiting.load();
        if (asked == 0) continue;
        if (settings_save_item("rmon") != 1)
            log(LOG_LEVEL_ERROR, "Save RMON settings to nvram failed\n");
        saves_waiting -= asked;
    }
}

bool owned_by_monitor(rmon_entry *row) {
    char owner[8] = {};
    int column = 0;
    switch (row->mib_var_count) {
        case 21:
            column = 20;
            break;
        case 12:
            column = 11;
            break;
        default:  // history control and event rows
            column = 6;
            break;
    }
    rmon_var_copy(row, column, owner, 7);
    return std::memcmp(owner, "monitor", 7) == 0;
}

// Runs op on a row until it succeeds, at most kResetAttempts times.
template <typename Op>
bool retry(Op op) {
    for (int i = 0; i <= kResetAttempts; i++)
        if (op()) return true;
    return false;
}

}  // namespace

void rmon_table_init(uint32_t group, uint32_t tbl) {
    int magic = rmon_tbl_magic(group, tbl);
    if (magic < 0) {
        log(LOG_LEVEL_WARNING, "Not predefined default table\n");
        return;
    }
    rmon_table *t = rmon_mibtree[magic];
    t->group = group;
    t->table = static_cast<uint8_t>(tbl);
    auto control = [t](uint32_t limit, auto create, auto remove, auto enable) {
        t->control = 1;
        t->row_limit = static_cast<uint16_t>(limit);
        t->create = create;
        t->remove = remove;
        t->enable = enable;
    };
    switch (magic) {
        case RMON_ETHERSTATS:
            control(num_ports(), refuse_create, refuse_remove, rmon_etherstats_enable);
            etherstats_defaults();
            break;
        case RMON_HISTCONTROL:
            control(2 * num_ports(), refuse_create, refuse_remove, rmon_histcontrol_enable);
            histcontrol_defaults();
            break;
        case RMON_ALARM:
            control(30, rmon_alarm_create, rmon_alarm_delete, rmon_alarm_enable);
            break;
        case RMON_EVENT:
            control(60, rmon_event_create, rmon_event_delete, rmon_event_enable);
            break;
        default:  // the data tables: no limit, no callbacks
            break;
    }
}

void rmon_init(void) {
    static bool started = false;
    if (started) return;
    started = true;
    for (auto &head : rmon_mibtree) {
        head = new (sal_alloc(sizeof(rmon_table), "rmon_probe")) rmon_table{};
        SAL_ASSERT(head);
        head->mutex = sal_mutex_create("rmon table mutex");
        head->aux_mutex = sal_mutex_create("rmon aux_info mutex");
        SAL_ASSERT(head->mutex && head->aux_mutex);
    }
    rmon_port_entries_init();
    rmon_counter_base_init();
    static const uint32_t order[][2] = {{1, 1}, {2, 1}, {2, 2}, {3, 1}, {9, 1}, {9, 2}};
    for (const auto &gt : order)
        rmon_table_init(gt[0], gt[1]);
    if (sal_thread_create("rmon_counter", 16384, 50, rmon_counter_thread, nullptr) ==
        SAL_THREAD_ERROR) {
        log(LOG_LEVEL_WARNING, "Init: failed on creating counter thread.\n");
        return;
    }
    if (sal_thread_create("rmon_resource_reclaim", 16384, 50, rmon_resource_reclaim_thread,
                          nullptr) == SAL_THREAD_ERROR) {
        log(LOG_LEVEL_WARNING, "rmon_init: failed on creating resource reclaim thread.\n");
        return;
    }
    sal_sem_t wanted = sal_sem_create("rmon save", sal_sem_BINARY, 0);
    if (wanted == nullptr || sal_thread_create("rmon_save", 16384, 50, rmon_settings_save_thread,
                                               wanted) == SAL_THREAD_ERROR) {
        log(LOG_LEVEL_WARNING, "rmon_init: failed on creating the save thread.\n");
        return;
    }
    save_wanted.store(wanted);
    rmonprobe_callbacks_register();
    log(LOG_LEVEL_INFO, "RMON Probe init, done!\n");
}

int rmonp_table_reset(void) {
    if (rmon_mibtree[0] == nullptr) return 0;
    rmon_counter_period_set(0);
    rmon_reclaim_period_set(0);
    int last = 0;
    uint32_t n = num_ports();
    // Disables every row of the table, then hands each disabled row to
    // reset_row.
    auto disable_rows = [&last](int magic, const char *fail_fmt, auto reset_row) {
        rmon_table *t = table(magic);
        TableLock hold(t);
        for (rmon_entry *r = t->first; r != nullptr; r = r->next) {
            bool ok = retry([&] {
                int error = 0;
                if (r->status != RMON_UNDER_CREATION) last = t->enable(magic, r, 0, &error);
                return r->status == RMON_UNDER_CREATION;
            });
            if (ok)
                reset_row(r);
            else
                log(LOG_LEVEL_WARNING, fail_fmt, magic, static_cast<int>(rmon_row_index(r)));
        }
    };
    disable_rows(RMON_HISTCONTROL, "Entry Reset failed! table_magic=%d, entry_index=%d\n",
                 [n](rmon_entry *r) {
                     rmon_var_u32_set(r, 3, 50);
                     rmon_var_u32_set(r, 5, rmon_row_index(r) <= n ? 1800 : 3600);
                     rmon_var_text_set(r, 6, "monitor", 7);
                 });
    disable_rows(RMON_ETHERSTATS, "Entry Reset failed! table_magic=%d, index=%d\n",
                 [](rmon_entry *) {});
    for (int magic : {RMON_ALARM, RMON_EVENT}) {
        rmon_table *t = table(magic);
        TableLock hold(t);
        rmon_entry *r = t->first;
        while (r != nullptr) {
            rmon_entry *next = r->next;
            uint32_t index = rmon_row_index(r);
            bool ok = retry([&] {
                int error = 0;
                if (r->status != RMON_UNDER_CREATION) t->enable(magic, r, 0, &error);
                last = t->remove(magic, r, &error);
                return last == 0;
            });
            if (!ok)
                log(LOG_LEVEL_WARNING, "Entry Reset failed! table_magic=%d, index=%d\n", magic,
                    static_cast<int>(index));
            r = next;
        }
    }
    log(LOG_LEVEL_INFO, "Reset RMON table Finished.");
    rmon_counter_period_set(kCounterPeriod);
    rmon_reclaim_period_set(kReclaimPeriod);
    return last;
}

void rmon_reclaim_period_set(int32_t usecs) {
    reclaim_period = usecs;
}

void rmon_resource_reclaim_pass(void) {
    for (int magic : {RMON_ETHERSTATS, RMON_HISTCONTROL, RMON_ALARM, RMON_EVENT}) {
        rmon_table *t = table(magic);
        std::vector<uint32_t> deleted_events;
        bool reclaimed = false;
        sal_mutex_take(t->mutex, sal_mutex_FOREVER);
        rmon_entry *r = t->first;
        while (r != nullptr) {
            rmon_entry *next = r->next;
            if (r->status == RMON_UNDER_CREATION && !owned_by_monitor(r)) {
                uint32_t index = rmon_row_index(r);
                if (r->reclaim == 0) {
                    log(LOG_LEVEL_INFO, "Reclaiming set age!tid=%d,row_id=%d\n", t->table,
                        static_cast<int>(index));
                    r->reclaim = 1;
                } else {
                    log(LOG_LEVEL_INFO, "Reclaiming entry!gid=%d,tid:%d,row_id=%d\n",
                        static_cast<int>(t->group), t->table, static_cast<int>(index));
                    if (magic == RMON_ALARM) timer_stop(r);
                    const bool deleted = rmon_row_ctrl_delete(t, r) == 0;
                    reclaimed |= deleted;
                    if (deleted && magic == RMON_EVENT) deleted_events.push_back(index);
                }
            }
            r = next;
        }
        sal_mutex_give(t->mutex);
        // A row a manager began is stored with its status: the store
        // forgets it too.
        if (reclaimed) rmon_settings_save_later();
        if (deleted_events.empty()) continue;
        rmon_table *alarms = table(RMON_ALARM);
        TableLock hold(alarms);
        for (uint32_t event : deleted_events) {
            for (rmon_entry *a = alarms->first; a != nullptr; a = a->next) {
                if (rmon_var_u32(a, 9) == event) {
                    rmon_var_u32_set(a, 9, 0);
                    log(LOG_LEVEL_INFO, "alarm entry id=%d, %s been reset!\n",
                        static_cast<int>(rmon_row_index(a)), "alarmRisingEventIndex");
                }
                if (rmon_var_u32(a, 10) == event) rmon_var_u32_set(a, 10, 0);
            }
        }
    }
}

void rmon_settings_save_later(void) {
    sal_sem_t wanted = save_wanted.load();
    if (wanted == nullptr) return;
    saves_waiting++;
    sal_sem_give(wanted);
}

int rmon_settings_saves_waiting(void) {
    return saves_waiting.load();
}

void rmon_resource_reclaim_thread(void *) {
    for (;;) {
        while (reclaim_period == 0)
            sal_usleep(1000000);
        sal_usleep(static_cast<uint32_t>(reclaim_period.load()));
        rmon_resource_reclaim_pass();
    }
}

// ---- settings item "rmon"

namespace {

constexpr uint32_t kItemVersion = 0x88740001;
constexpr int kSavedTables[] = {RMON_ETHERSTATS, RMON_HISTCONTROL, RMON_EVENT, RMON_ALARM};

struct SavedColumn {
    int column = 0;
    uint8_t type = 0;
    std::vector<uint8_t> bytes{};  // integers: 4 bytes; OIDs: 4 per sub-identifier
    uint16_t length = 0;
};

struct SavedRow {
    int magic = 0;
    uint32_t index = 0;
    uint16_t status = 0;
    std::vector<SavedColumn> columns{};
};

// The writable columns but the status: what a row's settings are.
template <typename Fn>
void each_setting(int magic, Fn fn) {
    int count = 0;
    const ColumnSpec *cols = columns(magic, &count);
    for (int c = 1; c < count; c++)
        if (cols[c - 1].access == RMON_RW) fn(c, cols[c - 1]);
}

int save(settings_medium *m) {
    const settings_medium_ops *o = m->ops;
    int bytes = 0;
    bool ok = true;
    for (int magic : kSavedTables) {
        rmon_table *t = table(magic);
        TableLock hold(t);
        ok &= o->write_u16(m, static_cast<uint16_t>(t->count)) == 0;
        bytes += 2;
        for (rmon_entry *r = t->first; r != nullptr; r = r->next) {
            ok &= o->write_u32(m, rmon_row_index(r)) == 0;
            ok &= o->write_u16(m, r->status) == 0;
            bytes += 6;
            each_setting(magic, [&](int c, const ColumnSpec &s) {
                if (s.type == RMON_ASN_INTEGER) {
                    ok &= o->write_u32(m, rmon_var_u32(r, c)) == 0;
                    bytes += 4;
                    return;
                }
                uint8_t buf[256];
                int n = rmon_var_copy(r, c, buf, sizeof buf);
                ok &= o->write_u16(m, static_cast<uint16_t>(n)) == 0;
                if (s.type == RMON_ASN_OBJECT_ID) {
                    for (int i = 0; i < n; i++) {
                        uint32_t sub;
                        std::memcpy(&sub, buf + 4 * i, 4);
                        ok &= o->write_u32(m, sub) == 0;
                    }
                    bytes += 2 + 4 * n;
                } else {
                    ok &= n == 0 || o->write_bytes(m, buf, static_cast<size_t>(n)) == 0;
                    bytes += 2 + n;
                }
            });
        }
    }
    return ok ? bytes : -1;
}

bool read_rows(settings_medium *m, std::vector<SavedRow> &rows) {
    const settings_medium_ops *o = m->ops;
    for (int magic : kSavedTables) {
        uint16_t count = 0;
        if (o->read_u16(m, &count) != 0 || count > 255) return false;
        for (int i = 0; i < count; i++) {
            SavedRow row{.magic = magic};
            if (o->read_u32(m, &row.index) != 0 || o->read_u16(m, &row.status) != 0) return false;
            if (row.index < 1 || row.index > kIndexMax) return false;
            bool ok = true;
            each_setting(magic, [&](int c, const ColumnSpec &s) {
                SavedColumn col{.column = c, .type = s.type};
                if (!ok) return;
                if (s.type == RMON_ASN_INTEGER) {
                    uint32_t v = 0;
                    ok = o->read_u32(m, &v) == 0;
                    col.bytes.resize(4);
                    std::memcpy(col.bytes.data(), &v, 4);
                    col.length = 4;
                } else if (s.type == RMON_ASN_OBJECT_ID) {
                    ok = o->read_u16(m, &col.length) == 0 && col.length <= s.bytes / 4;
                    col.bytes.resize(4u * col.length);
                    for (int k = 0; ok && k < col.length; k++) {
                        uint32_t sub = 0;
                        ok = o->read_u32(m, &sub) == 0;
                        std::memcpy(col.bytes.data() + 4 * k, &sub, 4);
                    }
                } else {
                    ok = o->read_u16(m, &col.length) == 0 && col.length <= kOwnerMax;
                    col.bytes.resize(col.length);
                    if (ok && col.length > 0)
                        ok = o->read_bytes(m, col.bytes.data(), col.length) == 0;
                }
                row.columns.push_back(std::move(col));
            });
            if (!ok) return false;
            rows.push_back(std::move(row));
        }
    }
    return true;
}

void apply(const SavedRow &saved) {
    rmon_table *t = table(saved.magic);
    TableLock hold(t);
    int error = 0;
    rmon_entry *row = rmon_row_search(1, t->group, t->table, saved.index, 0);
    if (row == nullptr && (t->create(saved.magic, saved.index, &error) != 0 || error != 0)) return;
    row = rmon_row_search(1, t->group, t->table, saved.index, 0);
    if (row == nullptr) return;
    for (const SavedColumn &c : saved.columns) {
        if (c.type == RMON_ASN_INTEGER) {
            uint32_t v;
            std::memcpy(&v, c.bytes.data(), 4);
            rmon_var_u32_set(row, c.column, v);
        } else {
            rmon_var_bytes_set(row, c.column, c.bytes.data(), c.length);
        }
    }
}

void enable(const SavedRow &saved) {
    rmon_table *t = table(saved.magic);
    TableLock hold(t);
    int error = 0;
    rmon_entry *row = rmon_row_search(1, t->group, t->table, saved.index, 0);
    if (row != nullptr && saved.status == RMON_VALID) t->enable(saved.magic, row, 1, &error);
}

int load(settings_medium *m) {
    std::vector<SavedRow> rows;
    if (rmon_mibtree[0] == nullptr || !read_rows(m, rows)) return -1;
    rmonp_table_reset();
    // Every row is there before any starts: an alarm may sample any row,
    // another alarm's of a higher index included.
    for (const SavedRow &r : rows)
        apply(r);
    for (const SavedRow &r : rows)
        enable(r);
    return static_cast<int>(rows.size());
}

}  // namespace

int rmon_settings_item(int op, settings_medium *m) {
    return settings_item_dispatch(op, m, load, save, kItemVersion);
}
