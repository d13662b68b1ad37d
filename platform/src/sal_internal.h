// Shared by the platform's own modules; not part of the public interface.
#pragma once

#include <pthread.h>

#include <cstdint>

struct sal_thread_s;
struct sal_sem_s;

namespace sal_internal {

constexpr uint64_t kForever = UINT64_MAX;

// Time that platform waits measure deadlines on: the active clock, kept
// continuous across a change of clock source so that waits already running
// keep the time they have left.
uint64_t wait_clock_now();

// Deadline for a time-out in microseconds (-1: for ever).
uint64_t deadline_after(int usec);

// sal_sem_take to the microsecond, not to the tick: the board glue's own
// threads pace the chip model, which is not under the board's kernel.
int sem_take_until(sal_sem_s *s, uint64_t deadline);

// Waits on cond (mutex held) until woken or the deadline passes. Returns
// false once the deadline has passed. The condition variable must have been
// made by cond_init. Blocks without polling: a stop request, a change of
// clock source and a step of the manual clock wake it. A cancellation point.
bool cond_wait_until(pthread_cond_t *cond, pthread_mutex_t *mutex, uint64_t deadline);

void cond_init(pthread_cond_t *cond);

// Waits on cond (mutex held, made by cond_init) for at most usecs of real
// time, whatever clock the platform runs on: a pause that hands host threads
// a turn would last for ever under a manual clock that nobody steps.
void cond_wait_real(pthread_cond_t *cond, pthread_mutex_t *mutex, uint32_t usecs);

// sal_sem_take for at most usecs of real time (see cond_wait_real).
int sem_take_real(sal_sem_s *s, uint32_t usecs);

// Sleeps until the deadline. A cancellation point.
void sleep_until(uint64_t deadline);

// Wakes the waits of one thread (a stop request), or every wait (null).
void wake_waits(const sal_thread_s *thread);

// True on threads made by sal_thread_create.
bool on_sdk_thread();

// Ends the calling thread if sal_thread_destroy asked it to stop. Every wait
// of the platform calls it, so a destroyed thread stops at its next wait.
void honour_destroy();

}  // namespace sal_internal
