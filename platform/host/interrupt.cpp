// The host "interrupt" thread: simulated interrupt and DSR work runs here, one
// item at a time, with interrupts masked.
#include <pthread.h>

#include <deque>
#include <utility>

#include "sal.h"
#include "sal_host.h"

namespace {

struct IntrQueue {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
    std::deque<std::pair<void (*)(void *), void *>> work;
    bool started = false;
};

IntrQueue &intr() {
    static auto *q = new IntrQueue;
    return *q;
}

void intr_thread(void *) {
    // Outlives the session whose post started it: print to the board's console.
    sal_console_bind(nullptr);
    IntrQueue &q = intr();
    for (;;) {
        pthread_mutex_lock(&q.lock);
        while (q.work.empty())
            pthread_cond_wait(&q.cond, &q.lock);
        auto item = q.work.front();
        q.work.pop_front();
        pthread_mutex_unlock(&q.lock);
        sal_host_intr_run(item.first, item.second);
    }
}

}  // namespace

int sal_host_intr_post(void (*fn)(void *), void *arg) {
    if (fn == nullptr) return -1;
    IntrQueue &q = intr();
    pthread_mutex_lock(&q.lock);
    if (!q.started) {
        if (sal_thread_create("interrupt", 0, 0, intr_thread, nullptr) == SAL_THREAD_ERROR) {
            pthread_mutex_unlock(&q.lock);
            return -1;
        }
        q.started = true;
    }
    q.work.emplace_back(fn, arg);
    pthread_cond_signal(&q.cond);
    pthread_mutex_unlock(&q.lock);
    return 0;
}
