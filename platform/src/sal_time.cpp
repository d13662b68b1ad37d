// Clock sources, sleeps and the firmware wall clock.
#include <time.h>

#include <atomic>
#include <mutex>

#include "sal.h"
#include "sal_host.h"
#include "sal_internal.h"

namespace {

std::atomic<bool> manual_clock{false};
std::atomic<uint64_t> manual_now{0};

// Manual waits look at the clock this often (real time).
constexpr long kManualPollNs = 1000 * 1000;

uint64_t monotonic_usecs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

struct WallClock {
    std::mutex lock;
    double base_seconds = 0;  // wall time at ref_usecs
    uint64_t ref_usecs = 0;
    bool initialised = false;
};
WallClock wall;

void wall_init_locked() {
    if (wall.initialised) return;
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    wall.base_seconds = static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
    wall.ref_usecs = sal_clock_usecs64();
    wall.initialised = true;
}

double wall_now() {
    std::lock_guard<std::mutex> g(wall.lock);
    wall_init_locked();
    return wall.base_seconds + static_cast<double>(sal_clock_usecs64() - wall.ref_usecs) / 1e6;
}

// Keeps the wall clock continuous across a change of clock source.
void rebase_wall(void (*change)()) {
    std::lock_guard<std::mutex> g(wall.lock);
    wall_init_locked();
    double now =
        wall.base_seconds + static_cast<double>(sal_clock_usecs64() - wall.ref_usecs) / 1e6;
    change();
    wall.base_seconds = now;
    wall.ref_usecs = sal_clock_usecs64();
}

timespec to_timespec(uint64_t usecs) {
    timespec ts;
    ts.tv_sec = static_cast<time_t>(usecs / 1000000u);
    ts.tv_nsec = static_cast<long>((usecs % 1000000u) * 1000u);
    return ts;
}

}  // namespace

void sal_clock_manual(uint64_t start_usecs) {
    static uint64_t pending;
    pending = start_usecs;
    rebase_wall([] {
        manual_now.store(pending);
        manual_clock.store(true);
    });
}

void sal_clock_advance(uint64_t usecs) {
    manual_now.fetch_add(usecs);
}

void sal_clock_real(void) {
    rebase_wall([] { manual_clock.store(false); });
}

int sal_clock_is_manual(void) {
    return manual_clock.load() ? 1 : 0;
}

uint64_t sal_clock_usecs64(void) {
    return manual_clock.load() ? manual_now.load() : monotonic_usecs();
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
    wall.ref_usecs = sal_clock_usecs64();
}

void sal_sleep(int seconds) {
    if (seconds <= 0) return;
    sal_internal::sleep_until(sal_clock_usecs64() + static_cast<uint64_t>(seconds) * 1000000u);
}

void sal_usleep(uint32_t usec) {
    uint64_t ticks = (static_cast<uint64_t>(usec) + SAL_TICK_USECS - 1) / SAL_TICK_USECS;
    if (ticks == 0) ticks = 1;
    sal_internal::sleep_until(sal_clock_usecs64() + ticks * SAL_TICK_USECS);
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

uint64_t deadline_after(int usec) {
    if (usec < 0) return kForever;
    return sal_clock_usecs64() + static_cast<uint64_t>(usec);
}

void cond_init(pthread_cond_t *cond) {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(cond, &attr);
    pthread_condattr_destroy(&attr);
}

// Waits are cut into slices so that a destroyed thread notices soon, and a
// manual clock is looked at often.
bool cond_wait_until(pthread_cond_t *cond, pthread_mutex_t *mutex, uint64_t deadline) {
    honour_destroy();
    if (deadline != kForever && sal_clock_usecs64() >= deadline) return false;
    uint64_t slice = manual_clock.load() ? kManualPollNs / 1000 : kDestroyPollUsecs;
    uint64_t real_now = monotonic_usecs();
    uint64_t wake = real_now + slice;
    if (deadline != kForever && !manual_clock.load() && deadline < wake) wake = deadline;
    timespec ts = to_timespec(wake);
    pthread_cond_timedwait(cond, mutex, &ts);
    honour_destroy();
    // The caller re-checks its condition and calls again; false only once
    // the deadline has passed.
    return deadline == kForever || sal_clock_usecs64() < deadline;
}

void sleep_until(uint64_t deadline) {
    for (;;) {
        honour_destroy();
        uint64_t now = sal_clock_usecs64();
        if (now >= deadline) return;
        uint64_t slice = manual_clock.load() ? kManualPollNs / 1000 : kDestroyPollUsecs;
        if (!manual_clock.load() && deadline - now < slice) slice = deadline - now;
        timespec ts = to_timespec(slice);
        nanosleep(&ts, nullptr);
    }
}

}  // namespace sal_internal
