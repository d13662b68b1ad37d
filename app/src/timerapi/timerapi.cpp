// Timer service on the thread "timer_thread": it sleeps until the next timer
// is due (in whole 10 ms ticks), then runs the callbacks of the timers that
// are due, one at a time and without the list lock, so a callback may start
// or delete any timer.
#include "timerapi.h"

#include <cstring>

#include "sal.h"
#include "sal_lock.h"

struct wp_timer {
    int type;
    wp_timer_cb_t cb;
    void *params;
    uint64_t interval_usecs;
    uint64_t due;          // on the service's 64-bit clock
    bool active;           // started and not yet expired
    bool running;          // its callback is in progress
    bool deleted;          // freed by the timer thread once its callback returns
    sal_sem_t deleter;     // given when the callback of a deleted timer returns
    uint32_t starts;       // counts wpTimerStart, to see a restart from the callback
    uint32_t ran_in_tick;  // a timer runs at most once per pass
    wp_timer *next;
};

namespace {

// With no timer the thread still looks at the clock this often, so that it
// sees every wrap of the 32-bit microsecond clock.
constexpr uint64_t kIdleWaitUsecs = 600ull * 1000000;
constexpr uint64_t kNever = ~0ull;

struct Service {
    sal_mutex_t lock;  // the list, the clock and every timer's fields
    sal_sem_t wake;    // a timer became due before the planned wake-up
    wp_timer *head = nullptr;
    uint32_t tick = 0;  // counts the passes over the list
    bool started = false;
    uint32_t last_usecs;  // the 32-bit clock wraps; the service keeps 64 bits
    uint64_t clock = 0;
    uint64_t wake_at = 0;  // when the sleeping thread looks next; 0 while awake
    sal_thread_t thread = nullptr;
};

Service &service() {
    static Service s{.lock = sal_mutex_create("timerapi"),
                     .wake = sal_sem_create("timerapi wake", sal_sem_BINARY, 0),
                     .last_usecs = sal_time_usecs()};
    return s;
}

// A step back (a change of clock source) is not followed.
uint64_t now_locked(Service &s) {
    uint32_t now = sal_time_usecs();
    int32_t step = static_cast<int32_t>(now - s.last_usecs);
    if (step > 0) s.clock += static_cast<uint32_t>(step);
    s.last_usecs = now;
    return s.clock;
}

void unlink_locked(Service &s, wp_timer *t) {
    for (wp_timer **p = &s.head; *p; p = &(*p)->next) {
        if (*p == t) {
            *p = t->next;
            return;
        }
    }
}

// What the timer thread runs, copied under the lock: another thread may
// restart the timer with a new parameter block while its callback runs.
struct DueCall {
    wp_timer *timer;
    wp_timer_cb_t cb;
    void *params;
    uint32_t starts;
};

// The next due timer not yet run in this pass, marked running; false when none.
bool take_due(Service &s, uint64_t now, DueCall &call) {
    SalLock hold(s.lock);
    for (wp_timer *t = s.head; t; t = t->next) {
        if (t->active && t->due <= now && t->ran_in_tick != s.tick) {
            t->ran_in_tick = s.tick;
            t->running = true;
            call = DueCall{t, t->cb, t->params, t->starts};
            return true;
        }
    }
    return false;
}

void finish(Service &s, wp_timer *t, uint32_t starts_before, uint64_t now) {
    SalLock hold(s.lock);
    t->running = false;
    if (t->deleted) {
        if (t->deleter) sal_sem_give(t->deleter);
        sal_free(t);
        return;
    }
    if (t->starts != starts_before || !t->active) return;  // restarted by the callback
    if (t->type == WP_TIMER_ONESHOT) {
        t->active = false;
    } else {
        t->due += t->interval_usecs;
        if (t->due <= now) t->due = now + t->interval_usecs;  // fell behind: no burst
    }
}

// How long to sleep: until the earliest timer is due, in whole ticks; not at
// all when one fell due while the callbacks ran.
uint32_t plan_sleep_locked(Service &s) {
    uint64_t now = now_locked(s);
    uint64_t next = kNever;
    for (wp_timer *t = s.head; t; t = t->next) {
        if (t->active && t->due < next) next = t->due;
    }
    uint64_t wait = next == kNever ? kIdleWaitUsecs : next > now ? next - now : 0;
    if (wait > kIdleWaitUsecs) wait = kIdleWaitUsecs;
    wait = (wait + WP_TIMER_TICK_USECS - 1) / WP_TIMER_TICK_USECS * WP_TIMER_TICK_USECS;
    s.wake_at = now + wait;
    return static_cast<uint32_t>(wait);
}

void timer_thread_main(void *) {
    Service &s = service();
    uint32_t sleep_usecs;
    {
        SalLock hold(s.lock);
        s.thread = sal_thread_self();
        sleep_usecs = plan_sleep_locked(s);
    }
    for (;;) {
        sal_sem_take(s.wake, static_cast<int>(sleep_usecs));
        uint64_t now;
        {
            SalLock hold(s.lock);
            s.wake_at = 0;
            now = now_locked(s);
            s.tick++;
        }
        DueCall call{};
        while (take_due(s, now, call)) {
            call.cb(call.timer, call.params);
            finish(s, call.timer, call.starts, now);
        }
        SalLock hold(s.lock);
        sleep_usecs = plan_sleep_locked(s);
    }
}

}  // namespace

int wpTimerInit(void) {
    Service &s = service();
    if (s.lock == nullptr || s.wake == nullptr) return -1;
    SalLock hold(s.lock);
    if (!s.started) {
        if (sal_thread_create("timer_thread", 16384, 50, timer_thread_main, nullptr) ==
            SAL_THREAD_ERROR) {
            return -1;
        }
        s.started = true;
    }
    return 0;
}

wp_timer_t wpTimerCreate(int type, wp_timer_cb_t cb) {
    if ((type != WP_TIMER_ONESHOT && type != WP_TIMER_PERIODIC) || cb == nullptr) return nullptr;
    if (wpTimerInit() != 0) return nullptr;
    auto *t = static_cast<wp_timer *>(sal_alloc(sizeof(wp_timer), "wpTimer"));
    if (t == nullptr) return nullptr;
    *t = wp_timer{};
    t->type = type;
    t->cb = cb;
    Service &s = service();
    SalLock hold(s.lock);
    t->ran_in_tick = s.tick;
    t->next = s.head;
    s.head = t;
    return t;
}

int wpTimerStart(wp_timer_t t, void *params) {
    if (t == nullptr || params == nullptr) return -1;
    uint32_t interval_ms;
    std::memcpy(&interval_ms, params, sizeof interval_ms);
    if (interval_ms == 0) return -1;
    Service &s = service();
    SalLock hold(s.lock);
    t->params = params;
    t->interval_usecs = uint64_t{interval_ms} * 1000;
    t->due = now_locked(s) + t->interval_usecs;
    t->active = true;
    t->starts++;
    if (s.wake_at != 0 && t->due < s.wake_at) sal_sem_give(s.wake);
    return 0;
}

int wpTimerDelete(wp_timer_t t) {
    if (t == nullptr) return -1;
    Service &s = service();
    sal_sem_t done;
    {
        SalLock hold(s.lock);
        if (t->deleted) return -1;  // already deleted while its callback runs
        unlink_locked(s, t);
        t->active = false;
        if (!t->running) {
            sal_free(t);
            return 0;
        }
        // Its callback is in progress: the timer thread frees it afterwards.
        t->deleted = true;
        // From inside the callback there is nothing to wait for.
        if (sal_thread_self() == s.thread) return 0;
        done = t->deleter = sal_sem_create("timer deleted", sal_sem_BINARY, 0);
    }
    // Only this timer's callback is waited for: the caller may hold a lock
    // that another timer's callback needs.
    sal_sem_take(done, sal_sem_FOREVER);
    sal_sem_destroy(done);
    return 0;
}
