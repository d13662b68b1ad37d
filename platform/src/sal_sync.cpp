// Recursive mutexes, semaphores and the interrupt-masking lock.
#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <new>
#include <string>

#include "sal.h"
#include "sal_host.h"
#include "sal_internal.h"

struct sal_mutex_s {
    pthread_mutex_t m;
    std::string name;
};

struct sal_sem_s {
    pthread_mutex_t lock;
    pthread_cond_t cond;
    int count;
    bool binary;
    std::string name;
};

namespace {

// Holds the mutex for the scope; released also when a cancellation unwinds.
struct PthreadLock {
    pthread_mutex_t *m;
    explicit PthreadLock(pthread_mutex_t *mx) : m(mx) { pthread_mutex_lock(m); }
    ~PthreadLock() { pthread_mutex_unlock(m); }
};

pthread_mutex_t make_recursive() {
    pthread_mutex_t m;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m, &attr);
    pthread_mutexattr_destroy(&attr);
    return m;
}

pthread_mutex_t spl_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
thread_local int spl_depth = 0;
thread_local bool in_interrupt = false;

}  // namespace

sal_mutex_t sal_mutex_create(const char *name) {
    auto *mx = new (std::nothrow) sal_mutex_s;
    if (mx == nullptr) return nullptr;
    mx->m = make_recursive();
    mx->name = name ? name : "";
    return mx;
}

void sal_mutex_destroy(sal_mutex_t m) {
    if (m == nullptr) return;
    pthread_mutex_destroy(&m->m);
    delete m;
}

// Lock time-outs guard against deadlock, so they run on real time even under
// a manual test clock, and on the monotonic clock so that setting the host's
// date cannot stretch or cut them. The race checker does not see clocklock:
// its builds keep the real-time call.
#if defined(__SANITIZE_THREAD__)
constexpr clockid_t kLockClock = CLOCK_REALTIME;
#else
constexpr clockid_t kLockClock = CLOCK_MONOTONIC;
#endif

int sal_mutex_take(sal_mutex_t m, int usec) {
    if (m == nullptr) return -1;
    if (usec < 0) return pthread_mutex_lock(&m->m) == 0 ? 0 : -1;
    if (usec == 0) return pthread_mutex_trylock(&m->m) == 0 ? 0 : -1;
    timespec ts;
    clock_gettime(kLockClock, &ts);
    ts.tv_sec += usec / 1000000;
    ts.tv_nsec += static_cast<long>(usec % 1000000) * 1000;
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
#if defined(__SANITIZE_THREAD__)
    return pthread_mutex_timedlock(&m->m, &ts) == 0 ? 0 : -1;
#else
    return pthread_mutex_clocklock(&m->m, kLockClock, &ts) == 0 ? 0 : -1;
#endif
}

int sal_mutex_give(sal_mutex_t m) {
    if (m == nullptr) return -1;
    return pthread_mutex_unlock(&m->m) == 0 ? 0 : -1;
}

sal_sem_t sal_sem_create(const char *name, int binary, int initial_count) {
    if (initial_count < 0) return nullptr;
    auto *s = new (std::nothrow) sal_sem_s;
    if (s == nullptr) return nullptr;
    pthread_mutex_init(&s->lock, nullptr);
    sal_internal::cond_init(&s->cond);
    s->binary = binary != 0;
    s->count = s->binary && initial_count > 1 ? 1 : initial_count;
    s->name = name ? name : "";
    return s;
}

void sal_sem_destroy(sal_sem_t s) {
    if (s == nullptr) return;
    pthread_cond_destroy(&s->cond);
    pthread_mutex_destroy(&s->lock);
    delete s;
}

namespace sal_internal {

int sem_take_until(sal_sem_t s, uint64_t deadline) {
    if (s == nullptr) return -1;
    PthreadLock g(&s->lock);
    while (s->count == 0) {
        bool more = sal_internal::cond_wait_until(&s->cond, &s->lock, deadline);
        if (!more && s->count == 0) return -1;
    }
    s->count--;
    return 0;
}

}  // namespace sal_internal

// The board's kernel times waits in whole 10 ms ticks, rounded up: a wait of
// 1 us lasts a tick. Threads that step faster than that (the L2 shadow's
// 366 us step) run at the tick rate there, and so they do here.
int sal_sem_take(sal_sem_t s, int usec) {
    if (usec <= 0) return sal_internal::sem_take_until(s, sal_internal::deadline_after(usec));
    uint64_t ticks = (static_cast<uint64_t>(usec) + SAL_TICK_USECS - 1) / SAL_TICK_USECS;
    return sal_internal::sem_take_until(s, sal_internal::wait_clock_now() + ticks * SAL_TICK_USECS);
}

int sal_sem_give(sal_sem_t s) {
    if (s == nullptr) return -1;
    PthreadLock g(&s->lock);
    if (s->binary) {
        s->count = 1;
    } else if (s->count < INT32_MAX) {
        s->count++;
    }
    pthread_cond_signal(&s->cond);
    return 0;
}

int sal_splhi(void) {
    pthread_mutex_lock(&spl_lock);
    return spl_depth++;
}

int sal_spl(int level) {
    (void)level;
    if (spl_depth == 0) return -1;  // not raised by this thread
    spl_depth--;
    pthread_mutex_unlock(&spl_lock);
    return 0;
}

int sal_int_context(void) {
    return in_interrupt ? 1 : 0;
}

void sal_host_intr_run(void (*fn)(void *), void *arg) {
    int level = sal_splhi();
    bool was = in_interrupt;
    in_interrupt = true;
    fn(arg);
    in_interrupt = was;
    sal_spl(level);
}
