// Shared by the platform's own modules; not part of the public interface.
#pragma once

#include <pthread.h>

#include <cstdint>

namespace sal_internal {

constexpr uint64_t kForever = UINT64_MAX;

// Deadline on the active clock for a time-out in microseconds (-1: for ever).
uint64_t deadline_after(int usec);

// Waits on cond (mutex held) until woken or the deadline of the active clock
// passes. Returns false once the deadline has passed. The condition variable
// must have been made by cond_init. A cancellation point.
bool cond_wait_until(pthread_cond_t *cond, pthread_mutex_t *mutex, uint64_t deadline);

void cond_init(pthread_cond_t *cond);

// Sleeps until the deadline of the active clock. A cancellation point.
void sleep_until(uint64_t deadline);

// True on threads made by sal_thread_create.
bool on_sdk_thread();

// Ends the calling thread if sal_thread_destroy asked it to stop. Every wait
// of the platform calls it, so a destroyed thread stops at its next wait.
void honour_destroy();

// Longest stretch a platform wait sleeps before it looks for a destroy.
constexpr uint64_t kDestroyPollUsecs = 20000;

}  // namespace sal_internal
