// Clock sources, sleeps, the firmware wall clock and the platform's waits.
#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <atomic>
#include <mutex>

#include "sal.h"
#include "sal_host.h"
#include "sal_internal.h"

namespace {

std::atomic<bool> manual_clock{false};
std::atomic<uint64_t> manual_now{0};

uint64_t monotonic_usecs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

uint64_t active_usecs() {
    return manual_clock.load() ? manual_now.load() : monotonic_usecs();
}

// The wait clock is the active clock minus the jumps made by switching
// sources. A switch makes the sequence odd while it moves the offset.
struct SourceSwitch {
    std::mutex lock;
    std::atomic<uint32_t> seq{0};
    std::atomic<uint64_t> offset{0};
};
SourceSwitch source;

void switch_source(bool manual, uint64_t start) {
    {
        std::lock_guard<std::mutex> g(source.lock);
        const uint64_t before = active_usecs();
        source.seq.fetch_add(1);
        if (manual) manual_now.store(start);
        manual_clock.store(manual);
        source.offset.fetch_add(active_usecs() - before);
        source.seq.fetch_add(1);
    }
    sal_internal::wake_waits(nullptr);
}

struct WallClock {
    std::mutex lock;
    double base_seconds = 0;  // wall time at ref_usecs of the wait clock
    uint64_t ref_usecs = 0;
    bool initialised = false;
};
WallClock wall;

double wall_now() {
    std::lock_guard<std::mutex> g(wall.lock);
    if (!wall.initialised) {
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        wall.base_seconds = static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
        wall.ref_usecs = sal_internal::wait_clock_now();
        wall.initialised = true;
    }
    return wall.base_seconds +
           static_cast<double>(sal_internal::wait_clock_now() - wall.ref_usecs) / 1e6;
}

timespec to_timespec(uint64_t usecs) {
    timespec ts;
    ts.tv_sec = static_cast<time_t>(usecs / 1000000u);
    ts.tv_nsec = static_cast<long>((usecs % 1000000u) * 1000u);
    return ts;
}

// Every wait in progress, so that whatever ends it early (a stop request, a
// clock step) can wake it instead of the wait polling for it.
struct Waiter {
    pthread_cond_t *cond;
    pthread_mutex_t *mutex;
    const sal_thread_s *thread;
    Waiter *prev;
    Waiter *next;
};

struct WaitList {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    Waiter head{nullptr, nullptr, nullptr, &head, &head};
};

WaitList &waits() {
    static auto *w = new WaitList;  // never destroyed: detached threads wait at exit
    return *w;
}

// Listed for the scope of one wait; also removed when a stop unwinds it.
struct WaitRegistration {
    Waiter self;
    WaitRegistration(pthread_cond_t *cond, pthread_mutex_t *mutex)
        : self{cond, mutex, sal_thread_self(), nullptr, nullptr} {
        WaitList &w = waits();
        pthread_mutex_lock(&w.lock);
        self.prev = w.head.prev;
        self.next = &w.head;
        w.head.prev->next = &self;
        w.head.prev = &self;
        pthread_mutex_unlock(&w.lock);
    }
    ~WaitRegistration() {
        WaitList &w = waits();
        pthread_mutex_lock(&w.lock);
        self.prev->next = self.next;
        self.next->prev = self.prev;
        pthread_mutex_unlock(&w.lock);
    }
    WaitRegistration(const WaitRegistration &) = delete;
    WaitRegistration &operator=(const WaitRegistration &) = delete;
};

struct SleepSlot {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond;
    SleepSlot() { sal_internal::cond_init(&cond); }
    ~SleepSlot() {
        pthread_cond_destroy(&cond);
        pthread_mutex_destroy(&mutex);
    }
};

struct MutexHold {
    pthread_mutex_t *m;
    explicit MutexHold(pthread_mutex_t *mx) : m(mx) { pthread_mutex_lock(m); }
    ~MutexHold() { pthread_mutex_unlock(m); }
};

}  // namespace

void sal_clock_manual(uint64_t start_usecs) {
    switch_source(true, start_usecs);
}

void sal_clock_advance(uint64_t usecs) {
    manual_now.fetch_add(usecs);
    if (manual_clock.load()) sal_internal::wake_waits(nullptr);
}

void sal_clock_real(void) {
    switch_source(false, 0);
}

int sal_clock_is_manual(void) {
    return manual_clock.load() ? 1 : 0;
}

uint64_t sal_clock_usecs64(void) {
    return active_usecs();
}

int sal_host_thread_waiting(sal_thread_t t) {
    WaitList &w = waits();
    MutexHold g(&w.lock);
    for (Waiter *n = w.head.next; n != &w.head; n = n->next) {
        if (n->thread == t) return 1;
    }
    return 0;
}

uint32_t sal_time_usecs(void) {
    return static_cast<uint32_t>(sal_clock_usecs64());
}

uint32_t sal_time(void) {
    return static_cast<uint32_t>(wall_now());
}

double sal_time_double(void) {
    return wall_now();
}

void sal_wallclock_set(uint32_t seconds) {
    std::lock_guard<std::mutex> g(wall.lock);
    wall.initialised = true;
    wall.base_seconds = seconds;
    wall.ref_usecs = sal_internal::wait_clock_now();
}

void sal_sleep(int seconds) {
    if (seconds <= 0) return;
    sal_internal::sleep_until(sal_internal::wait_clock_now() +
                              static_cast<uint64_t>(seconds) * 1000000u);
}

void sal_usleep(uint32_t usec) {
    uint64_t ticks = (static_cast<uint64_t>(usec) + SAL_TICK_USECS - 1) / SAL_TICK_USECS;
    if (ticks == 0) ticks = 1;
    sal_internal::sleep_until(sal_internal::wait_clock_now() + ticks * SAL_TICK_USECS);
}

void sal_udelay(uint32_t usec) {
    // Busy wait on the real clock: delays pace hardware, not the test clock.
    uint64_t end = monotonic_usecs() + usec;
    while (monotonic_usecs() < end) {
    }
}

void board_udelay(uint32_t usec) {
    sal_udelay(usec);
}

int sal_date_get(uint32_t *) {
    return -1;
}
int sal_date_set(uint32_t) {
    return -1;
}

namespace sal_internal {

uint64_t wait_clock_now() {
    for (;;) {
        const uint32_t seq = source.seq.load();
        if (seq & 1u) {
            sched_yield();
            continue;
        }
        const uint64_t now = active_usecs() - source.offset.load();
        if (source.seq.load() == seq) return now;
    }
}

uint64_t deadline_after(int usec) {
    if (usec < 0) return kForever;
    return wait_clock_now() + static_cast<uint64_t>(usec);
}

void cond_init(pthread_cond_t *cond) {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(cond, &attr);
    pthread_condattr_destroy(&attr);
}

bool cond_wait_until(pthread_cond_t *cond, pthread_mutex_t *mutex, uint64_t deadline) {
    // Listed before the checks: whoever changes what they look at wakes the
    // wait after, and cannot do so before the mutex is released by the wait.
    WaitRegistration listed(cond, mutex);
    honour_destroy();
    const uint64_t now = wait_clock_now();
    if (deadline != kForever && now >= deadline) return false;
    if (deadline == kForever || manual_clock.load()) {
        pthread_cond_wait(cond, mutex);
    } else {
        timespec ts = to_timespec(monotonic_usecs() + (deadline - now));
        pthread_cond_timedwait(cond, mutex, &ts);
    }
    honour_destroy();
    // The caller re-checks its condition and calls again; false only once
    // the deadline has passed.
    return deadline == kForever || wait_clock_now() < deadline;
}

void cond_wait_real(pthread_cond_t *cond, pthread_mutex_t *mutex, uint32_t usecs) {
    timespec ts = to_timespec(monotonic_usecs() + usecs);
    pthread_cond_timedwait(cond, mutex, &ts);
}

void sleep_until(uint64_t deadline) {
    static thread_local SleepSlot slot;
    MutexHold g(&slot.mutex);
    while (cond_wait_until(&slot.cond, &slot.mutex, deadline)) {
    }
}

void wake_waits(const sal_thread_s *thread) {
    WaitList &w = waits();
    for (;;) {
        bool missed = false;
        pthread_mutex_lock(&w.lock);
        for (Waiter *n = w.head.next; n != &w.head; n = n->next) {
            if (thread != nullptr && n->thread != thread) continue;
            // The waiter holds its mutex from its checks until it blocks;
            // taking it here means it is blocked and the wake cannot be lost.
            if (pthread_mutex_trylock(n->mutex) != 0) {
                missed = true;
                continue;
            }
            pthread_cond_broadcast(n->cond);
            pthread_mutex_unlock(n->mutex);
        }
        pthread_mutex_unlock(&w.lock);
        if (!missed) return;
        sched_yield();
    }
}

}  // namespace sal_internal
