// Hand-over recursive mutexes, semaphores and the interrupt-masking lock.
#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

#include "sal.h"
#include "sal_host.h"
#include "sal_internal.h"

// A recursive lock that serves its waiters in arrival order: the last give
// hands the lock to the oldest waiter, so a thread that gives and takes again
// in a loop queues behind those already waiting instead of taking it back
// before they wake.
struct sal_mutex_s {
    struct Waiter {
        std::condition_variable granted_cv;
        bool granted = false;
        std::thread::id thread;
        Waiter *next = nullptr;
    };
    std::mutex state;  // guards the fields below, never held while waiting
    std::thread::id owner;
    int depth = 0;
    Waiter *first = nullptr;
    Waiter *last = nullptr;
    int waiters = 0;
    char race_checker_tag = 0;  // the address the race checker knows the lock by
    std::string name;

    explicit sal_mutex_s(const char *lock_name) : name(lock_name) {}
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

pthread_mutex_t spl_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
thread_local int spl_depth = 0;
thread_local bool in_interrupt = false;

}  // namespace

namespace {

// Lock time-outs guard against deadlock, so they run on real time even under
// a manual test clock, and on the monotonic clock so that setting the host's
// date cannot stretch or cut them. The race checker does not see waits on
// the monotonic clock: its builds keep the real-time one.
#if defined(__SANITIZE_THREAD__)
using LockClock = std::chrono::system_clock;
#else
using LockClock = std::chrono::steady_clock;
#endif

void unqueue(sal_mutex_t m, sal_mutex_s::Waiter *w) {
    sal_mutex_s::Waiter **link = &m->first;
    sal_mutex_s::Waiter *prev = nullptr;
    while (*link != nullptr && *link != w) {
        prev = *link;
        link = &prev->next;
    }
    if (*link == nullptr) return;
    *link = w->next;
    if (m->last == w) m->last = prev;
    m->waiters--;
}

// The race checker is told of the lock itself (its lock order and what it
// orders between threads, recursion included); between the marks around a
// take or a give it ignores the state lock and the wait inside.
#if defined(__SANITIZE_THREAD__)
void race_checker_create(sal_mutex_t m) {
    __tsan_mutex_create(&m->race_checker_tag, 0);
}
void race_checker_destroy(sal_mutex_t m) {
    __tsan_mutex_destroy(&m->race_checker_tag, 0);
}
void race_checker_before_take(sal_mutex_t m, bool may_fail) {
    __tsan_mutex_pre_lock(&m->race_checker_tag, may_fail ? __tsan_mutex_try_lock : 0);
}
void race_checker_after_take(sal_mutex_t m, bool may_fail, bool taken) {
    unsigned flags = may_fail ? __tsan_mutex_try_lock : 0;
    if (!taken) flags |= __tsan_mutex_try_lock_failed;
    __tsan_mutex_post_lock(&m->race_checker_tag, flags, 0);
}
void race_checker_before_give(sal_mutex_t m) {
    __tsan_mutex_pre_unlock(&m->race_checker_tag, 0);
}
void race_checker_after_give(sal_mutex_t m) {
    __tsan_mutex_post_unlock(&m->race_checker_tag, 0);
}
#else
void race_checker_create(sal_mutex_t) {}
void race_checker_destroy(sal_mutex_t) {}
void race_checker_before_take(sal_mutex_t, bool) {}
void race_checker_after_take(sal_mutex_t, bool, bool) {}
void race_checker_before_give(sal_mutex_t) {}
void race_checker_after_give(sal_mutex_t) {}
#endif

}  // namespace

sal_mutex_t sal_mutex_create(const char *name) {
    auto *mx = new (std::nothrow) sal_mutex_s(name != nullptr ? name : "");
    if (mx == nullptr) return nullptr;
    race_checker_create(mx);
    return mx;
}

void sal_mutex_destroy(sal_mutex_t m) {
    if (m == nullptr) return;
    race_checker_destroy(m);
    delete m;
}

namespace {

bool take_queued(sal_mutex_t m, int usec) {
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock<std::mutex> g(m->state);
    if (m->depth > 0 && m->owner == me) {
        m->depth++;
        return true;
    }
    // A free lock has no waiters: a give hands it on whenever one waits.
    if (m->depth == 0) {
        m->owner = me;
        m->depth = 1;
        return true;
    }
    if (usec == 0) return false;
    sal_mutex_s::Waiter w;
    w.thread = me;
    (m->last != nullptr ? m->last->next : m->first) = &w;
    m->last = &w;
    m->waiters++;
    if (usec < 0) {
        w.granted_cv.wait(g, [&] { return w.granted; });
    } else {
        const auto deadline = LockClock::now() + std::chrono::microseconds(usec);
        if (!w.granted_cv.wait_until(g, deadline, [&] { return w.granted; })) unqueue(m, &w);
    }
    return w.granted;
}

// Called with the state lock held by the lock's holder.
void give_to_next(sal_mutex_t m) {
    if (--m->depth > 0) return;
    if (sal_mutex_s::Waiter *w = m->first) {
        unqueue(m, w);
        m->owner = w->thread;
        m->depth = 1;
        w->granted = true;
        // Under the state lock: the waiter's record lives until it sees this.
        w->granted_cv.notify_one();
    } else {
        m->owner = std::thread::id();
    }
}

}  // namespace

int sal_mutex_take(sal_mutex_t m, int usec) {
    if (m == nullptr) return -1;
    const bool may_fail = usec >= 0;
    race_checker_before_take(m, may_fail);
    const bool taken = take_queued(m, usec);
    race_checker_after_take(m, may_fail, taken);
    return taken ? 0 : -1;
}

int sal_mutex_give(sal_mutex_t m) {
    if (m == nullptr) return -1;
    std::unique_lock<std::mutex> g(m->state);
    // A give by a thread that does not hold the lock fails, and the race
    // checker is not told of it.
    if (m->depth == 0 || m->owner != std::this_thread::get_id()) return -1;
    race_checker_before_give(m);
    give_to_next(m);
    g.unlock();
    race_checker_after_give(m);
    return 0;
}

int sal_mutex_waiters(sal_mutex_t m) {
    if (m == nullptr) return 0;
    std::lock_guard<std::mutex> g(m->state);
    return m->waiters;
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

int sem_take_real(sal_sem_t s, uint32_t usecs) {
    if (s == nullptr) return -1;
    PthreadLock g(&s->lock);
    if (s->count == 0) sal_internal::cond_wait_real(&s->cond, &s->lock, usecs);
    if (s->count == 0) return -1;
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
