// Timer service: one-shot and periodic timers whose callbacks run on the
// thread "timer_thread". Time counts in ticks of 10 ms; the thread sleeps
// until the next timer is due.
#pragma once

#include <cstdint>

constexpr int WP_TIMER_ONESHOT = 1;
constexpr int WP_TIMER_PERIODIC = 2;
constexpr uint32_t WP_TIMER_TICK_USECS = 10000;

struct wp_timer;
using wp_timer_t = wp_timer *;
// Called on "timer_thread" with the timer and the parameter block given to
// wpTimerStart. A callback may start or delete its own timer.
using wp_timer_cb_t = void (*)(wp_timer_t timer, void *params);

// Starts "timer_thread" when it is not running yet: 0, or -1.
int wpTimerInit(void);
// A stopped timer of type 1 (one-shot) or 2 (periodic), or null for another
// type, a null callback, no memory or no timer thread.
wp_timer_t wpTimerCreate(int type, wp_timer_cb_t cb);
// The parameter block starts with the interval in milliseconds as a uint32_t
// and stays the caller's; it is handed to the callback. (Re)starts the timer:
// it fires after the interval, a periodic one every interval. 0, or -1 for a
// null timer or block, or an interval of 0.
int wpTimerStart(wp_timer_t t, void *params);
// Stops, unlinks and frees the timer. From another thread it waits until a
// callback of this timer in progress has returned (from inside that callback
// it does not wait). 0, or -1 for null or a timer already deleted.
int wpTimerDelete(wp_timer_t t);
