// The L2 shadow thread, its start and stop, and the L2 freeze.
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <initializer_list>
#include <vector>

#include "drv_arl.h"
#include "drv_mem.h"
#include "sal_config.h"
#include "soc.h"
#include "soc_arl.h"
#include "soc_error.h"
#include "soc_miim.h"

namespace {

constexpr int kWords = DRV_ARL_ENTRY_WORDS;
constexpr int kStopTimeout = 5000000;

struct ArlUnit {
    int interval;  // microseconds, 0 = stopped
    int mode;
    char name[16];
    // Freeze record.
    int frozen;
    int learn[SOC_MAX_NUM_PORTS];
    uint32_t age_time;
    uint32_t age_enable;
};
ArlUnit arl_units[SOC_MAX_NUM_DEVICES];

// The interval and thread id are read by the thread and written by start
// and stop: both under arl_table_lock.
class TableLock {
  public:
    explicit TableLock(soc_control_t *soc) : lock_(soc->arl_table_lock) {
        sal_mutex_take(lock_, -1);
    }
    ~TableLock() { sal_mutex_give(lock_); }

  private:
    sal_mutex_t lock_;
};

int entry_count(int unit) {
    return static_cast<int>(soc_arl_shadow_length(unit));
}

int step_time(int unit, soc_control_t *soc, int count) {
    TableLock lock(soc);
    return arl_units[unit].interval / count;
}

void sync_slot(int unit, soc_control_t *soc, int index, const uint32_t *found, int *rv) {
    auto *shadow = static_cast<uint32_t *>(soc->arl_table);
    int i = index;
    *rv = DRV_SERVICES(unit)->arl_sync(unit, &i, shadow + index * kWords, found);
}

struct Lists {
    uint32_t *exist = nullptr;
    uint32_t *current = nullptr;
    uint32_t *del = nullptr;
    // Entries set in exist and current, and the delete marks counted at the
    // last end pass (which clears every mark it finds): an idle table skips
    // the end pass.
    int exist_count = 0;
    int current_count = 0;
    uint32_t marks_seen = 0;
    // The indexes ever set in exist and set in current since the last end
    // pass: without new marks an end pass visits only these, not the whole
    // table (the scan repeats every few steps on a sparse table).
    std::vector<int> exist_at;
    std::vector<int> current_at;
};

// One index of the end pass: a marked entry goes, a vanished one is reported
// and followed by one step's sleep (none once the thread is being stopped).
void reconcile_one(int unit, soc_control_t *soc, Lists &l, int i, int step) {
    static const uint32_t kEmpty[kWords] = {0, 0, 0};
    int rv = 0;
    // A marked entry goes whether or not the scan still saw it: one added
    // and flushed between two scans is in no list but the shadow.
    if (l.del[i]) {
        sync_slot(unit, soc, i, kEmpty, &rv);
        l.del[i] = 0;
    } else if (l.exist[i] && !l.current[i]) {
        sync_slot(unit, soc, i, kEmpty, &rv);
        if (arl_units[unit].interval == 0) return;
        sal_mutex_give(soc->arl_table_lock);
        soc_cm_debug_print(0x10080, "soc_arl_thread: unit=%d: SLEEP\n", unit);
        sal_sem_take(soc->arl_intr_sem, step);
        sal_mutex_take(soc->arl_table_lock, -1);
    }
}

// End of a hardware search: report what vanished and what was marked. The
// lock is held over the walk and let go only for the sleep after a report.
void reconcile(int unit, soc_control_t *soc, Lists &l, int count, int step) {
    sal_mutex_take(soc->arl_table_lock, -1);
    const uint32_t marks = soc_arl_delete_marks(unit);
    if (l.exist_count == 0 && l.current_count == 0 && marks == l.marks_seen) {
        sal_mutex_give(soc->arl_table_lock);
        return;  // nothing was seen and nothing is marked: the pass changes nothing
    }
    const bool marked = marks != l.marks_seen;
    l.marks_seen = marks;  // marks made while the pass sleeps are found by the next one
    if (marked) {
        for (int i = 0; i < count; i++)
            reconcile_one(unit, soc, l, i, step);
    } else {
        // No mark since the last pass cleared them all: only entries seen in
        // the last scan can have vanished. In index order, as the full walk.
        std::sort(l.exist_at.begin(), l.exist_at.end());
        for (int i : l.exist_at)
            reconcile_one(unit, soc, l, i, step);
    }
    for (int i : l.exist_at)
        l.exist[i] = 0;
    for (int i : l.current_at) {
        l.exist[i] = 1;
        l.current[i] = 0;
    }
    l.exist_at.swap(l.current_at);
    l.current_at.clear();
    l.exist_count = l.current_count;
    l.current_count = 0;
    sal_mutex_give(soc->arl_table_lock);
}

void arl_thread(void *arg) {
    int unit = static_cast<int>(reinterpret_cast<intptr_t>(arg));
    soc_control_t *soc = SOC_CONTROL(unit);
    int count = entry_count(unit);
    Lists l;
    l.exist = static_cast<uint32_t *>(sal_alloc(count * sizeof(uint32_t), "arl_exist_list"));
    l.current = static_cast<uint32_t *>(sal_alloc(count * sizeof(uint32_t), "arl_current_list"));
    l.del = static_cast<uint32_t *>(sal_alloc(count * sizeof(uint32_t), "arl_delete_list"));
    if (l.exist == nullptr || l.current == nullptr || l.del == nullptr) {
        soc_cm_debug_print(DK_ERR, "soc_arl_thread: not enough memory, exiting\n");
    } else {
        {
            // Before the list is set: a mark in between is looked for, not missed.
            TableLock lock(soc);
            l.marks_seen = soc_arl_delete_marks(unit);
        }
        soc_arl_delete_list_set(unit, l.del);
        const drv_if_t *s = DRV_SERVICES(unit);
        // Removals counted when the running search began.
        uint32_t pass_start = soc_arl_shadow_removals(unit);
        for (int step; (step = step_time(unit, soc, count)) != 0;) {
            int index = 0;
            uint32_t found[kWords] = {0, 0, 0};
            int rv =
                s->mem_search(unit, DRV_MEM_ARL, &index, found, nullptr, DRV_MEM_OP_SEARCH_BUSY);
            if (rv == 0) {
                reconcile(unit, soc, l, count, step);
                pass_start = soc_arl_shadow_removals(unit);
                if (s->mem_search(unit, DRV_MEM_ARL, &index, found, nullptr,
                                  DRV_MEM_OP_SEARCH_START) < 0)
                    break;
            } else if (rv != SOC_E_BUSY) {
                break;  // no search engine on this chip
            }
            rv = s->mem_search(unit, DRV_MEM_ARL, &index, found, nullptr, DRV_MEM_OP_SEARCH_NEXT);
            if (rv == SOC_E_EXISTS && drv_arl_entry_field(unit, found, DRV_MEM_FIELD_VALID) &&
                index >= 0 && index < count) {
                static const uint32_t kEmpty[kWords] = {0, 0, 0};
                TableLock lock(soc);
                int r = 0;
                if (!l.current[index]) {
                    l.current_count++;
                    l.current_at.push_back(index);
                }
                l.current[index] = 1;
                if (l.del[index]) {
                    sync_slot(unit, soc, index, kEmpty, &r);
                    if (r == 0) {
                        if (l.exist[index]) l.exist_count--;
                        l.del[index] = l.exist[index] = 0;
                    }
                }
                // An entry read before a delete or flush may be gone: the
                // next pass finds it if it is not.
                if (r == 0 && !soc_arl_shadow_removed_since(unit, index, pass_start) &&
                    !soc_arl_shadow_flushed_since(unit, found, pass_start))
                    sync_slot(unit, soc, index, found, &r);
                if (r < 0) break;
            }
            soc_cm_debug_print(0x10080, "soc_arl_thread: unit=%d: SLEEP\n", unit);
            sal_sem_take(soc->arl_intr_sem, step);
        }
    }
    soc_arl_delete_list_set(unit, nullptr);
    for (uint32_t *p : {l.exist, l.current, l.del}) {
        if (p != nullptr) sal_free(p);
    }
    soc_cm_debug_print(0x80, "soc_arl_thread: exiting\n");
    TableLock lock(soc);
    soc->arl_pid = SAL_THREAD_ERROR;
}

// The shadow holds what the chip holds before the thread starts: entries
// written before it existed (the CPU's own addresses) are not missing until
// the thread's first pass. Under arl_table_lock, which holds back every
// insert's and removal's shadow update until the fill is done. The search
// is the thread's, which is not running yet.
void shadow_fill(int unit, soc_control_t *soc, int count) {
    std::memset(soc->arl_table, 0, count * kWords * sizeof(uint32_t));
    const drv_if_t *s = DRV_SERVICES(unit);
    int index = 0;
    uint32_t found[kWords] = {0, 0, 0};
    if (s->mem_search(unit, DRV_MEM_ARL, &index, found, nullptr, DRV_MEM_OP_SEARCH_START) < 0)
        return;
    // Bounded by the table's length: a chip whose search never ends.
    for (int n = 0; n <= count; n++) {
        index = -1;
        if (s->mem_search(unit, DRV_MEM_ARL, &index, found, nullptr, DRV_MEM_OP_SEARCH_NEXT) !=
            SOC_E_EXISTS)
            return;
        if (!drv_arl_entry_field(unit, found, DRV_MEM_FIELD_VALID) || index < 0 || index >= count)
            continue;
        int rv = 0;
        sync_slot(unit, soc, index, found, &rv);
    }
}

bool thread_running(soc_control_t *soc) {
    TableLock lock(soc);
    return soc->arl_pid != SAL_THREAD_ERROR;
}

}  // namespace

int soc_arl_start(int unit, int interval) {
    soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr) return SOC_E_UNIT;
    ArlUnit &a = arl_units[unit];
    soc_cm_debug_print(0x80, "soc_arl_start: unit=%d interval=%d\n", unit, interval);
    const char *log = sal_config_get("reg_write_log");
    if (log == nullptr || std::strtol(log, nullptr, 0) == 0)
        sal_snprintf(a.name, sizeof a.name, "dxpARL.%d", unit);
    TableLock lock(soc);
    a.interval = interval;
    if (interval == 0) return 0;
    if (soc->arl_table == nullptr) {
        size_t bytes = static_cast<size_t>(entry_count(unit)) * kWords * sizeof(uint32_t);
        soc->arl_table = sal_alloc(bytes, "arl_table");
        // The thread never runs without a shadow.
        if (soc->arl_table == nullptr) return SOC_E_MEMORY;
    }
    if (soc->arl_pid != SAL_THREAD_ERROR) return 0;
    shadow_fill(unit, soc, entry_count(unit));
    soc->arl_pid = sal_thread_create(a.name, 16384, 50, arl_thread,
                                     reinterpret_cast<void *>(static_cast<intptr_t>(unit)));
    if (soc->arl_pid == SAL_THREAD_ERROR) {
        soc_cm_debug_print(DK_ERR, "soc_arl_start: Could not start arl thread\n");
        return SOC_E_MEMORY;
    }
    return 0;
}

int soc_arl_stop(int unit) {
    soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr) return SOC_E_UNIT;
    soc_cm_debug_print(0x80, "soc_arl_stop: unit=%d\n", unit);
    {
        TableLock lock(soc);
        arl_units[unit].interval = 0;
    }
    int rv = 0;
    if (thread_running(soc)) {
        sal_sem_give(soc->arl_intr_sem);
        soc_timeout_t to;
        soc_timeout_init(&to, kStopTimeout, 0);
        while (thread_running(soc)) {
            if (soc_timeout_check(&to)) {
                soc_cm_debug_print(DK_ERR, "soc_arl_stop: thread will not exit\n");
                rv = SOC_E_INTERNAL;
                break;
            }
        }
    }
    TableLock lock(soc);
    // Never free the shadow under a thread that is still running.
    if (soc->arl_pid == SAL_THREAD_ERROR && soc->arl_table != nullptr) {
        sal_free(soc->arl_table);
        soc->arl_table = nullptr;
    }
    return rv;
}

int soc_arl_mode_set(int unit, int mode) {
    sal_usleep(1000);
    if (int rv = soc_arl_stop(unit); rv < 0) return rv;
    arl_units[unit].mode = mode;
    if (mode == SOC_ARL_MODE_OFF) return 0;
    if (mode != SOC_ARL_MODE_SHADOW) return SOC_E_INTERNAL;
    int rv = soc_arl_start(unit, SOC_ARL_DEFAULT_INTERVAL);
    return rv < 0 ? rv : 0;
}

int soc_arl_freeze(int unit) {
    soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr) return SOC_E_UNIT;
    ArlUnit &a = arl_units[unit];
    sal_mutex_t lock = soc->mem_state[L2_ARLm].lock;
    sal_mutex_take(lock, -1);
    if (++a.frozen != 1) {
        sal_mutex_give(lock);
        return 0;
    }
    const drv_if_t *s = DRV_SERVICES(unit);
    int rv = 0;
    for (int p = soc->e.min; rv == 0 && p >= 0 && p <= soc->e.max; p++) {
        if (soc_pbmp_member(soc->e.bitmap, p)) rv = s->arl_learn_enable_get(unit, p, &a.learn[p]);
    }
    if (rv == 0) rv = s->arl_learn_enable_set(unit, soc->all.bitmap, 2);
    if (rv == 0) rv = s->age_timer_get(unit, &a.age_enable, &a.age_time);
    if (rv == 0 && a.age_enable) rv = s->age_timer_set(unit, 0, a.age_time);
    if (rv < 0) {
        a.frozen--;
        sal_mutex_give(lock);
        return rv;
    }
    return 0;  // the lock stays held until the last thaw
}

int soc_arl_thaw(int unit) {
    soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr) return SOC_E_UNIT;
    ArlUnit &a = arl_units[unit];
    sal_mutex_t lock = soc->mem_state[L2_ARLm].lock;
    sal_mutex_take(lock, -1);
    if (a.frozen <= 0) {
        sal_mutex_give(lock);
        return 0;
    }
    if (--a.frozen > 0) {
        sal_mutex_give(lock);
        return 0;
    }
    soc_pbmp_t learning{};
    for (int p = soc->e.min; p >= 0 && p <= soc->e.max; p++) {
        if (soc_pbmp_member(soc->e.bitmap, p) && a.learn[p] == 1) soc_pbmp_port_add(&learning, p);
    }
    const drv_if_t *s = DRV_SERVICES(unit);
    int rv = s->arl_learn_enable_set(unit, learning, 1);
    if (rv == 0 && a.age_enable) rv = s->age_timer_set(unit, a.age_enable, a.age_time);
    // Once for this call, once for the first freeze's hold.
    sal_mutex_give(lock);
    sal_mutex_give(lock);
    return rv;
}
