// Scheduler lock of the kernel shim.
#include <pthread.h>

#include "kernel.h"

namespace {
pthread_mutex_t scheduler_mutex = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
}  // namespace

void cyg_scheduler_lock(void) {
    pthread_mutex_lock(&scheduler_mutex);
}

void cyg_scheduler_unlock(void) {
    pthread_mutex_unlock(&scheduler_mutex);
}
