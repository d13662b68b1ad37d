// Deferred actions: callbacks that run on the "httpd_timer" thread, so that
// a page can answer first and, for instance, reboot afterwards. Actions run
// in the order they were added: the list keeps that order and periods count
// from the microsecond an action was added, so of two one-second actions the
// one added first is due first and runs first.
#include <atomic>

#include "httpd_internal.h"
#include "sal.h"

struct httpd_timer {
    uint32_t period_usecs;  // 0: every tick
    uint32_t last_run;      // sal_time_usecs()
    bool once;              // cancelled by its own run
    void *arg;
    httpd_timer_fn cb;  // null: cancelled, freed on the next pass
    httpd_timer *next;
};

namespace {

constexpr uint32_t kTickUsecs = 750000;
// Periods are kept in microseconds of a 32-bit clock that wraps.
constexpr int kPeriodMax = 2000;

httpd_timer *timer_list = nullptr;
httpd_timer **timer_tail = &timer_list;
// The tick schedule: ticks fall on fixed times, however long a pass took.
std::atomic<uint32_t> next_tick{0};
std::atomic<uint32_t> passes{0};

// Handlers add and cancel on "httpd" while "httpd_timer" walks the list.
sal_mutex_t timer_lock() {
    static sal_mutex_t lock = sal_mutex_create("httpd_timer");
    return lock;
}

class timer_guard {
  public:
    timer_guard() { sal_mutex_take(timer_lock(), sal_mutex_FOREVER); }
    ~timer_guard() { sal_mutex_give(timer_lock()); }
    timer_guard(const timer_guard &) = delete;
    timer_guard &operator=(const timer_guard &) = delete;
};

void timer_thread(void *) {
    for (;;) {
        auto wait = static_cast<int32_t>(next_tick.load() - sal_time_usecs());
        if (wait > 0) sal_usleep(static_cast<uint32_t>(wait));
        httpd_timer_run_due();
        next_tick += kTickUsecs;
        passes++;
    }
}

httpd_timer *timer_append(int period, httpd_timer_fn cb, void *arg, bool once) {
    if (cb == nullptr || period < 0 || period > kPeriodMax) return nullptr;
    auto *rec = static_cast<httpd_timer *>(sal_alloc(sizeof(httpd_timer), "httpd_timer"));
    if (rec == nullptr) return nullptr;
    rec->period_usecs = static_cast<uint32_t>(period) * 1000000u;
    rec->arg = arg;
    rec->cb = cb;
    rec->once = once;
    rec->next = nullptr;
    timer_guard guard;
    // Stamped under the lock, so that list order and due times agree.
    rec->last_run = sal_time_usecs();
    *timer_tail = rec;
    timer_tail = &rec->next;
    return rec;
}

}  // namespace

httpd_timer *httpd_timer_add(int period, httpd_timer_fn cb, void *arg) {
    return timer_append(period, cb, arg, false);
}

bool httpd_timer_once(int period, httpd_timer_fn cb, void *arg) {
    return timer_append(period, cb, arg, true) != nullptr;
}

void httpd_timer_cancel(httpd_timer_fn cb) {
    timer_guard guard;
    for (httpd_timer *rec = timer_list; rec != nullptr; rec = rec->next) {
        if (rec->cb == cb) rec->cb = nullptr;
    }
}

void httpd_timer_run_due(void) {
    const uint32_t now = sal_time_usecs();
    timer_guard guard;
    httpd_timer **link = &timer_list;
    while (*link != nullptr) {
        httpd_timer *rec = *link;
        if (rec->cb == nullptr) {
            *link = rec->next;
            if (timer_tail == &rec->next) timer_tail = link;
            sal_free(rec);
            continue;
        }
        // Added during this pass (after `now`): due on a later one.
        const auto since = static_cast<int32_t>(now - rec->last_run);
        if (since >= 0 && static_cast<uint32_t>(since) >= rec->period_usecs) {
            rec->last_run = now;
            httpd_timer_fn cb = rec->cb;
            void *arg = rec->arg;
            if (rec->once) rec->cb = nullptr;
            // Called unlocked: callbacks cancel themselves and add others.
            // Only this thread frees records, so rec stays valid.
            sal_mutex_give(timer_lock());
            cb(arg);
            sal_mutex_take(timer_lock(), sal_mutex_FOREVER);
        }
        link = &rec->next;
    }
}

uint32_t httpd_timer_passes(uint32_t *next) {
    uint32_t done = passes.load();
    if (next != nullptr) *next = next_tick.load();
    return done;
}

bool httpd_timer_start(void) {
    timer_lock();
    next_tick = sal_time_usecs() + kTickUsecs;
    sal_thread_t t = sal_thread_create("httpd_timer", 65535, 128, timer_thread, nullptr);
    return t != nullptr && t != SAL_THREAD_ERROR;
}
