// The counter collector: per unit three arrays of 64-bit values indexed by
// counter index (port x stride + the register's row in the counter map): the
// last hardware value read, the accumulated total and the last difference.
// The "tCOUNTER.<unit>" thread refreshes them every interval; every update
// of one counter and every read of a total happen under the interrupt lock,
// so a reader never sees half a total. Each read of a register and its
// update hold the hardware lock, which a self-test takes while it changes a
// register and puts it back: no pass ever reads a value the test wrote.
#include <atomic>
#include <cstring>

#include "drv_counter.h"
#include "drv_port.h"
#include "drv_reg.h"
#include "sal.h"
#include "sal_lock.h"
#include "soc.h"
#include "soc_error.h"

namespace {

constexpr uint32_t kDebugCounter = 0x400000;
constexpr uint32_t kDebugCounterThread = 0x410000;
constexpr int kThreadStack = 16384;
constexpr int kThreadPriority = 50;
constexpr int kFirstWaitUsecs = 1000000;
constexpr int kWaitUsecs = 8000000;
constexpr int kStopWaits = 4;  // the wait, renewed three times

struct CounterState {
    int unit;
    bool thread_alive;  // started and not yet seen to end (start and stop only)
    char name[16];
    std::atomic<int> interval;
    std::atomic<int> sync_request;
    soc_pbmp_t pbmp;
    uint32_t flags;
    uint32_t prev_time;  // under the interrupt lock
    uint32_t cur_time;
    sal_sem_t notify;     // wakes the thread
    sal_sem_t sync_done;  // a requested sync pass is over
    sal_sem_t exited;     // the thread has ended
    sal_mutex_t hw_lock;  // the hardware counters, between a pass and a self-test
    int stride;
    int ports;
    uint64_t *prev;
    uint64_t *val;
    uint64_t *delta;
    const soc_cmap_t *port_cmap[SOC_MAX_NUM_PORTS];
};

CounterState *state_of(int unit) {
    soc_control_t *soc = SOC_CONTROL(unit);
    return soc == nullptr ? nullptr : static_cast<CounterState *>(soc->counter_state);
}

// A counter register of the unit's chip: the counter flag and not type 4.
const chipdata_reg *counter_row(int unit, int reg) {
    const chipdata_reg *row = SOC_REG_INFO(unit, static_cast<uint32_t>(reg));
    if (row == nullptr || !(row->flags & CHIPDATA_RF_COUNTER) || row->type == 4) return nullptr;
    return row;
}

void not_a_counter(const char *op, int unit, int reg) {
    const char *name = chipdata_reg_name(reg);
    soc_cm_print("%s: unit %d: ctr_reg %d (%s) is not a counter\n", op, unit, reg,
                 name != nullptr ? name : "?");
}

// The array slot of (port, register), -1 outside the arrays.
int counter_index(const CounterState *st, const chipdata_reg *row, int port) {
    if (port < 0 || port >= st->ports || row->counter_index < 0 || row->counter_index >= st->stride)
        return -1;
    return port * st->stride + row->counter_index;
}

// The unit's state and the slot of (port, reg) for the operation op: false,
// said on the console, when reg is none of the unit's counters; the slot is
// -1 for a port outside the arrays.
bool find_slot(const char *op, int unit, int port, int reg, CounterState **st, int *idx) {
    *st = state_of(unit);
    const chipdata_reg *row = *st != nullptr ? counter_row(unit, reg) : nullptr;
    if (row == nullptr) {
        not_a_counter(op, unit, reg);
        return false;
    }
    *idx = counter_index(*st, row, port);
    return true;
}

// Calls fn(port, reg) for each counter register of the ports in bmp that have
// a counter map, up to the first failure.
template <typename Fn>
int for_each_counter(const CounterState *st, soc_pbmp_t bmp, Fn fn) {
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        const soc_cmap_t *map = st->port_cmap[port];
        if (!soc_pbmp_member(bmp, port) || map == nullptr || map->counters == nullptr) continue;
        for (int i = 0; i < map->num; i++) {
            if (map->counters[i] < 0) continue;
            if (int rv = fn(port, map->counters[i]); rv < 0) return rv;
        }
    }
    return SOC_E_NONE;
}

// A 64-bit read narrowed to its low word.
int read_low_word(int (*read64)(int, int, int, uint64_t *), int unit, int port, int reg,
                  uint32_t *value) {
    uint64_t v = 0;
    int rv = read64(unit, port, reg, &v);
    *value = static_cast<uint32_t>(v);
    return rv;
}

void build_port_cmap(int unit, CounterState *st) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    const soc_cmap_t *maps = soc->chip_driver->counter_maps;
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        const soc_cmap_t *map = nullptr;
        if (soc_pbmp_member(soc->port.bitmap, port)) {
            if (soc_pbmp_member(soc->fe.bitmap, port)) map = &maps[0];
            if (soc_pbmp_member(soc->ge.bitmap, port)) map = &maps[1];
        }
        // The CPU port.
        if (map == nullptr && (soc->port_type[port] & 0x60))
            map = (soc->chip_flags & SOC_CHIP_DXP7102) ? &maps[0] : &maps[1];
        st->port_cmap[port] = map;
        if (soc_pbmp_member(soc->e.bitmap, port) && (map == nullptr || map->counters == nullptr))
            sal_assert("_port_cmap[unit][port]->cmap_base", __FILE__, __LINE__);
    }
}

void free_arrays(CounterState *st) {
    for (uint64_t **a : {&st->prev, &st->val, &st->delta}) {
        if (*a != nullptr) sal_free(*a);
        *a = nullptr;
    }
}

// Reads one counter register of the port: 8 bytes for the octet counters,
// 4 for the others.
int read_counter(int unit, int reg, int port, uint64_t *value) {
    const drv_if_t *svc = DRV_SERVICES(unit);
    uint32_t addr = svc->reg_addr(unit, static_cast<uint32_t>(reg), port, 0);
    int len = svc->reg_length_get(unit, static_cast<uint32_t>(reg)) == 8 ? 8 : 4;
    uint32_t buf[2] = {0, 0};
    int rv = svc->reg_read(unit, addr, buf, len);
    if (rv < 0) return rv;
    *value = static_cast<uint64_t>(buf[1]) << 32 | buf[0];
    return SOC_E_NONE;
}

bool full_duplex(int unit, int port) {
    uint32_t duplex = 0;
    return DRV_SERVICES(unit)->port_get(unit, port, PROP_DUPLEX, &duplex) == 0 && duplex == 2;
}

// One pass over the collection ports; with discard the hardware values are
// only remembered.
int collect(int unit, CounterState *st, bool discard) {
    for (int port = 0; port < 64 && port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(st->pbmp, port)) continue;
        const soc_cmap_t *map = st->port_cmap[port];
        if (map == nullptr || map->counters == nullptr) continue;
        for (int i = 0; i < map->num; i++) {
            int reg = map->counters[i];
            if (reg < 0) continue;
            const chipdata_reg *row = counter_row(unit, reg);
            int idx = row != nullptr ? counter_index(st, row, port) : -1;
            if (idx < 0) continue;
            bool counts = reg != R_TXPAUSEPKTS || discard || full_duplex(unit, port);
            SalLock hold(st->hw_lock);
            uint64_t now = 0;
            if (int rv = read_counter(unit, reg, port, &now); rv < 0) return rv;
            int level = sal_splhi();
            uint64_t before = st->prev[idx];
            if (now == before) {
                st->delta[idx] = 0;
            } else if (discard || !counts) {
                st->prev[idx] = now;
                st->delta[idx] = 0;
            } else {
                // A counter that wrapped passed 2^width (its first field's
                // width); 64-bit counters wrap with the arithmetic.
                uint64_t d = now - before;
                int width = row->num_fields > 0 ? row->fields[0].len : 64;
                if (now < before && width < 64) d = now + (1ull << width) - before;
                st->val[idx] += d;
                st->delta[idx] = d;
                st->prev[idx] = now;
            }
            sal_spl(level);
        }
        sal_thread_yield();
    }
    return SOC_E_NONE;
}

void counter_thread(void *arg) {
    auto *st = static_cast<CounterState *>(arg);
    const int unit = st->unit;
    soc_cm_debug_print(kDebugCounter, "soc_tarn_counter_thread: unit=%d\n", unit);
    int wait = kFirstWaitUsecs;
    while (st->interval.load() != 0) {
        soc_cm_debug_print(kDebugCounterThread, "soc_tarn_counter_thread: sleep %d\n", wait);
        sal_sem_take(st->notify, wait);
        wait = st->interval.load();
        if (wait == 0) break;
        bool sync = st->sync_request.load() != 0;
        int level = sal_splhi();
        st->prev_time = st->cur_time;
        st->cur_time = sal_time_usecs();
        sal_spl(level);
        if (collect(unit, st, false) < 0)
            soc_cm_debug_print(DK_ERR, "soc_tarn_counter_thread: collect failed. \n");
        if (sync) {
            st->sync_request.store(0);
            sal_sem_give(st->sync_done);
        }
    }
    soc_cm_debug_print(kDebugCounter, "soc_tarn_counter_thread: exiting\n");
    st->interval.store(0);
    sal_sem_give(st->exited);
}

const drv_counter_collector_t kCollector = {
    .start = soc_tarn_counter_start,
    .stop = soc_tarn_counter_stop,
    .sync = soc_tarn_counter_sync,
    .read = soc_tarn_counter_read,
    .clear_one = soc_tarn_counter_clear_one,
    .set = soc_tarn_counter_set,
    .sw_set = soc_tarn_counter_sw_set,
};

}  // namespace

int soc_tarn_counter_attach(int unit) {
    if (!SOC_UNIT_VALID(unit)) {
        sal_assert("SOC_UNIT_VALID(unit)", __FILE__, __LINE__);
        return SOC_E_UNIT;
    }
    soc_control_t *soc = SOC_CONTROL(unit);
    auto *st = static_cast<CounterState *>(soc->counter_state);
    if (st == nullptr) {
        st = new CounterState{};
        st->unit = unit;
        st->notify = sal_sem_create("counter_notify", sal_sem_BINARY, 0);
        st->sync_done = sal_sem_create("counter sync", sal_sem_BINARY, 0);
        st->exited = sal_sem_create("counter exit", sal_sem_BINARY, 0);
        st->hw_lock = sal_mutex_create("counter hw");
        soc->counter_state = st;
        if (st->notify == nullptr || st->sync_done == nullptr || st->exited == nullptr ||
            st->hw_lock == nullptr) {
            soc_tarn_counter_detach(unit);
            return SOC_E_MEMORY;
        }
    }
    st->interval.store(0);
    st->pbmp = soc_pbmp_t{};
    st->prev_time = st->cur_time = sal_time_usecs();
    const soc_cmap_t &map0 = soc->chip_driver->counter_maps[0];
    st->stride = map0.num;
    st->ports = SOC_MAX_NUM_PORTS;
    size_t n_bytes = static_cast<size_t>(st->ports) * st->stride * sizeof(uint64_t);
    if (n_bytes == 0) sal_assert("n_bytes > 0", __FILE__, __LINE__);
    for (uint64_t **a : {&st->prev, &st->val, &st->delta}) {
        if (*a == nullptr && n_bytes > 0) *a = static_cast<uint64_t *>(sal_alloc(n_bytes, "cdma"));
        if (*a == nullptr) {
            free_arrays(st);
            return SOC_E_MEMORY;
        }
        std::memset(*a, 0, n_bytes);
    }
    build_port_cmap(unit, st);
    drv_counter_collector_register(&kCollector);
    return SOC_E_NONE;
}

int soc_tarn_counter_detach(int unit) {
    soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr) {
        sal_assert("SOC_UNIT_VALID(unit)", __FILE__, __LINE__);
        return SOC_E_UNIT;
    }
    CounterState *st = state_of(unit);
    if (st == nullptr) return SOC_E_NONE;
    int rv = soc_tarn_counter_stop(unit);
    if (rv < 0) return rv;  // the thread still uses the state
    free_arrays(st);
    for (sal_sem_t s : {st->notify, st->sync_done, st->exited}) {
        if (s != nullptr) sal_sem_destroy(s);
    }
    if (st->hw_lock != nullptr) sal_mutex_destroy(st->hw_lock);
    delete st;
    soc->counter_state = nullptr;
    return SOC_E_NONE;
}

int soc_tarn_counter_start(int unit, uint32_t flags, int interval, soc_pbmp_t bmp) {
    CounterState *st = state_of(unit);
    if (st == nullptr || st->val == nullptr) return SOC_E_INIT;
    soc_cm_debug_print(kDebugCounter,
                       "soc_tarn_counter_start: unit=%d flags=0x%x interval=%d pbmp=0x%08x%08x\n",
                       unit, flags, interval, bmp.w[1], bmp.w[0]);
    if (st->thread_alive) {
        if (int rv = soc_tarn_counter_stop(unit); rv < 0) return rv;
    }
    sal_snprintf(st->name, sizeof st->name, "tCOUNTER.%d", unit);
    // Stale wake-ups of an earlier run must not count as requests.
    while (sal_sem_take(st->notify, 0) == 0) {
    }
    while (sal_sem_take(st->sync_done, 0) == 0) {
    }
    st->sync_request.store(0);
    st->pbmp = bmp;
    st->flags = flags;
    build_port_cmap(unit, st);
    int level = sal_splhi();
    st->prev_time = st->cur_time = sal_time_usecs();
    sal_spl(level);
    // Prime: the first pass only remembers the hardware values.
    if (int rv = collect(unit, st, true); rv < 0) return rv;
    st->interval.store(interval);
    if (interval == 0) {
        soc_cm_debug_print(kDebugCounter, "soc_tarn_counter_start: Inactive\n");
        return SOC_E_NONE;
    }
    sal_thread_t t = sal_thread_create(st->name, kThreadStack, kThreadPriority, counter_thread, st);
    if (t == SAL_THREAD_ERROR || t == nullptr) {
        st->interval.store(0);
        soc_cm_debug_print(DK_ERR, "soc_tarn_counter_start: Thread create failed\n");
        return SOC_E_MEMORY;
    }
    st->thread_alive = true;
    soc_cm_debug_print(kDebugCounter, "soc_tarn_counter_start: Complete\n");
    return SOC_E_NONE;
}

int soc_tarn_counter_stop(int unit) {
    CounterState *st = state_of(unit);
    if (st == nullptr) return SOC_E_NONE;
    soc_cm_debug_print(kDebugCounter, "soc_tarn_counter_stop: unit=%d\n", unit);
    st->interval.store(0);
    if (st->thread_alive) {
        sal_sem_give(st->notify);
        // The thread's last act is the exit signal: once it is taken the
        // thread no longer touches the state.
        for (int waits = 0; waits < kStopWaits && st->thread_alive; waits++) {
            if (sal_sem_take(st->exited, kWaitUsecs) == 0) st->thread_alive = false;
        }
        if (st->thread_alive) {
            soc_cm_debug_print(DK_ERR, "soc_tarn_counter_stop: thread will not exit\n");
            return SOC_E_INTERNAL;
        }
    }
    soc_cm_debug_print(kDebugCounter, "soc_tarn_counter_stop: stopped\n");
    return SOC_E_NONE;
}

int soc_tarn_counter_sync(int unit) {
    CounterState *st = state_of(unit);
    if (st == nullptr || st->interval.load() == 0) return SOC_E_DISABLED;
    st->sync_request.store(1);
    sal_sem_give(st->notify);
    if (sal_sem_take(st->sync_done, kWaitUsecs) == 0) return SOC_E_NONE;
    soc_cm_debug_print(DK_ERR, "soc_tarn_counter_sync: counter thread not responding\n");
    st->sync_request.store(0);
    return SOC_E_INTERNAL;
}

int soc_tarn_counter_hw_hold(int unit) {
    CounterState *st = state_of(unit);
    if (st == nullptr || st->hw_lock == nullptr) return SOC_E_INIT;
    sal_mutex_take(st->hw_lock, sal_mutex_FOREVER);
    return SOC_E_NONE;
}

void soc_tarn_counter_hw_release(int unit) {
    CounterState *st = state_of(unit);
    if (st != nullptr && st->hw_lock != nullptr) sal_mutex_give(st->hw_lock);
}

int soc_tarn_counter_status(int unit, int *interval, soc_pbmp_t *bmp, uint32_t *flags) {
    CounterState *st = state_of(unit);
    if (st == nullptr) return SOC_E_INIT;
    *interval = st->interval.load();
    *bmp = st->pbmp;
    *flags = st->flags;
    return SOC_E_NONE;
}

int soc_tarn_counter_get(int unit, int port, int reg, int clear, uint64_t *value) {
    CounterState *st = nullptr;
    int idx = -1;
    if (!find_slot("soc_tarn_counter_get", unit, port, reg, &st, &idx)) {
        *value = 0;
        return SOC_E_NONE;
    }
    if (idx < 0) return SOC_E_PORT;
    int level = sal_splhi();
    *value = st->val[idx];
    if (clear) st->val[idx] = 0;
    sal_spl(level);
    return SOC_E_NONE;
}

int soc_tarn_counter_read(int unit, int port, int reg, uint64_t *value) {
    return soc_tarn_counter_get(unit, port, reg, 0, value);
}

int soc_tarn_counter_read32(int unit, int port, int reg, uint32_t *value) {
    return read_low_word(soc_tarn_counter_read, unit, port, reg, value);
}

int soc_tarn_counter_read_clear(int unit, int port, int reg, uint64_t *value) {
    return soc_tarn_counter_get(unit, port, reg, 1, value);
}

int soc_tarn_counter_read_clear32(int unit, int port, int reg, uint32_t *value) {
    return read_low_word(soc_tarn_counter_read_clear, unit, port, reg, value);
}

int soc_tarn_counter_set_core(int unit, int port, int reg, uint64_t value) {
    CounterState *st = nullptr;
    int idx = -1;
    if (!find_slot("soc_tarn_counter_set", unit, port, reg, &st, &idx)) return SOC_E_NONE;
    if (idx < 0) return SOC_E_PORT;
    // The set counts from now: what the hardware counted since the last pass
    // is taken in as already seen, or the next pass would add frames of
    // before the set to it.
    SalLock hold(st->hw_lock);
    uint64_t hardware = 0;
    const bool seen = read_counter(unit, reg, port, &hardware) >= 0;
    int level = sal_splhi();
    st->val[idx] = value;
    st->delta[idx] = 0;
    if (seen) st->prev[idx] = hardware;
    sal_spl(level);
    return SOC_E_NONE;
}

int soc_tarn_counter_clear_one(int unit, int port, int reg) {
    return soc_tarn_counter_set_core(unit, port, reg, 0);
}

int soc_tarn_counter_set(int unit, soc_pbmp_t bmp, uint64_t value) {
    CounterState *st = state_of(unit);
    if (st == nullptr) return SOC_E_INIT;
    return for_each_counter(st, bmp, [&](int port, int reg) {
        return soc_tarn_counter_set_core(unit, port, reg, value);
    });
}

int soc_tarn_counter_set32(int unit, soc_pbmp_t bmp, uint32_t value) {
    return soc_tarn_counter_set(unit, bmp, value);
}

int soc_tarn_counter_set_all_ports(int unit, int reg, uint64_t value) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr) return SOC_E_UNIT;
    for (int port = 0; port < soc->port_num; port++) {
        if (int rv = soc_tarn_counter_set_core(unit, port, reg, value); rv < 0) return rv;
    }
    return SOC_E_NONE;
}

int soc_tarn_counter_sw_set(int unit, soc_pbmp_t bmp, uint64_t value) {
    CounterState *st = state_of(unit);
    if (st == nullptr) return SOC_E_INIT;
    return for_each_counter(st, bmp, [&](int port, int reg) {
        const chipdata_reg *row = counter_row(unit, reg);
        int idx = row != nullptr ? counter_index(st, row, port) : -1;
        if (idx < 0) return SOC_E_NONE;
        int level = sal_splhi();
        st->val[idx] = value;
        st->prev[idx] = value;
        st->delta[idx] = 0;
        sal_spl(level);
        return SOC_E_NONE;
    });
}

int soc_tarn_counter_rate_get(int unit, int port, int reg, uint64_t *rate) {
    CounterState *st = nullptr;
    int idx = -1;
    if (!find_slot("soc_tarn_counter_rate_get", unit, port, reg, &st, &idx)) return SOC_E_NONE;
    if (idx < 0) return SOC_E_PORT;
    if (st->interval.load() == 0) {
        *rate = 0;
        return SOC_E_NONE;
    }
    int level = sal_splhi();
    double seconds = static_cast<int32_t>(st->cur_time - st->prev_time) / 1000000.0;
    uint32_t delta = static_cast<uint32_t>(st->delta[idx]);
    sal_spl(level);
    // The rate is a 32-bit figure: the high word stays 0.
    *rate = seconds < 0.0001 ? 0 : static_cast<uint64_t>(delta / seconds + 0.5) & 0xffffffffu;
    return SOC_E_NONE;
}

int soc_tarn_counter_rate_get32(int unit, int port, int reg, uint32_t *rate) {
    return read_low_word(soc_tarn_counter_rate_get, unit, port, reg, rate);
}

int soc_tarn_counter_idx_get(int unit, int reg, int port) {
    CounterState *st = state_of(unit);
    const chipdata_reg *row = st != nullptr ? counter_row(unit, reg) : nullptr;
    return row == nullptr ? -1 : counter_index(st, row, port);
}

const soc_cmap_t *soc_tarn_port_cmap_get(int unit, int port) {
    CounterState *st = state_of(unit);
    if (st == nullptr || port < 0 || port >= SOC_MAX_NUM_PORTS) return nullptr;
    return st->port_cmap[port];
}
