// Deferred actions: callbacks that run on the "httpd_timer" thread, so that
// a page can answer first and, for instance, reboot afterwards.
#include <atomic>

#include "httpd_internal.h"
#include "sal.h"

struct httpd_timer {
    int period;  // seconds; 0: every tick
    uint32_t last_run;
    void *arg;
    httpd_timer_fn cb;  // null: cancelled, freed on the next pass
    httpd_timer *next;
};

namespace {

constexpr uint32_t kTickUsecs = 750000;

httpd_timer *timer_list = nullptr;
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

}  // namespace

httpd_timer *httpd_timer_add(int period, httpd_timer_fn cb, void *arg) {
    if (cb == nullptr) return nullptr;
    auto *rec = static_cast<httpd_timer *>(sal_alloc(sizeof(httpd_timer), "httpd_timer"));
    if (rec == nullptr) return nullptr;
    rec->period = period;
    rec->last_run = sal_time();
    rec->arg = arg;
    rec->cb = cb;
    timer_guard guard;
    rec->next = timer_list;
    timer_list = rec;
    return rec;
}

void httpd_timer_cancel(httpd_timer_fn cb) {
    timer_guard guard;
    for (httpd_timer *rec = timer_list; rec != nullptr; rec = rec->next) {
        if (rec->cb == cb) rec->cb = nullptr;
    }
}

void httpd_timer_run_due(void) {
    uint32_t now = sal_time();
    timer_guard guard;
    httpd_timer **link = &timer_list;
    while (*link != nullptr) {
        httpd_timer *rec = *link;
        if (rec->cb == nullptr) {
            *link = rec->next;
            sal_free(rec);
            continue;
        }
        if (rec->period <= 0 || now - rec->last_run >= static_cast<uint32_t>(rec->period)) {
            rec->last_run = now;
            httpd_timer_fn cb = rec->cb;
            void *arg = rec->arg;
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
