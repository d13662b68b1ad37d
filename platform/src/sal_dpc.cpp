// Deferred calls: one "dxpDPC" thread runs queued calls in due-time order.
#include <pthread.h>

#include <array>
#include <cstdint>

#include "sal.h"
#include "sal_internal.h"

namespace {

struct DpcEntry {
    uint32_t due;
    sal_dpc_fn_t fn;
    void *owner;
    void *args[4];
};

struct DpcQueue {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond;
    std::array<DpcEntry, SAL_DPC_QUEUE_SIZE> entries{};
    int count = 0;  // entries[0..count) ordered by due time
    bool started = false;
    // The call being made now, so that a cancel can wait for it to end.
    void *running_owner = nullptr;
    bool running = false;
    pthread_t thread{};
    pthread_cond_t done;
};

DpcQueue &queue() {
    static DpcQueue *q = [] {
        auto *nq = new DpcQueue;
        sal_internal::cond_init(&nq->cond);
        sal_internal::cond_init(&nq->done);
        return nq;
    }();
    return *q;
}

// Signed 32-bit difference: due times up to 2^31 - 1 us ahead are in the
// future, anything beyond counts as already due.
int32_t until_due(uint32_t due) {
    return static_cast<int32_t>(due - sal_time_usecs());
}

struct Unlock {
    pthread_mutex_t *m;
    ~Unlock() { pthread_mutex_unlock(m); }
};

void dpc_thread(void *) {
    // Outlives the session whose call started it: print to the board's console.
    sal_console_bind(nullptr);
    DpcQueue &q = queue();
    pthread_mutex_lock(&q.lock);
    q.thread = pthread_self();
    pthread_mutex_unlock(&q.lock);
    for (;;) {
        DpcEntry e;
        {
            pthread_mutex_lock(&q.lock);
            Unlock u{&q.lock};
            for (;;) {
                if (q.count == 0) {
                    sal_internal::cond_wait_until(&q.cond, &q.lock, sal_internal::kForever);
                    continue;
                }
                int32_t wait = until_due(q.entries[0].due);
                if (wait <= 0) break;
                sal_internal::cond_wait_until(&q.cond, &q.lock, sal_internal::deadline_after(wait));
            }
            e = q.entries[0];
            for (int i = 1; i < q.count; i++)
                q.entries[i - 1] = q.entries[i];
            q.count--;
            q.running = true;
            q.running_owner = e.owner;
        }
        // A call that ends the thread (an assertion) must not leave
        // cancels of its owner waiting for ever.
        struct RunningEnd {
            DpcQueue &q;
            ~RunningEnd() {
                pthread_mutex_lock(&q.lock);
                q.running = false;
                pthread_cond_broadcast(&q.done);
                pthread_mutex_unlock(&q.lock);
            }
        } running_end{q};
        e.fn(e.owner, e.args[0], e.args[1], e.args[2], e.args[3]);
    }
}

int enqueue(uint32_t delay, sal_dpc_fn_t fn, void *owner, void *a1, void *a2, void *a3, void *a4) {
    if (fn == nullptr) return -1;
    DpcQueue &q = queue();
    pthread_mutex_lock(&q.lock);
    Unlock u{&q.lock};
    if (!q.started) {
        if (sal_thread_create("dxpDPC", 16384, 0, dpc_thread, nullptr) == SAL_THREAD_ERROR) {
            sal_console_printf("sal_dpc: cannot start the deferred-call thread\n");
            return -1;
        }
        q.started = true;
    }
    if (q.count == SAL_DPC_QUEUE_SIZE) {
        sal_console_printf("sal_dpc: queue full (%d calls), call not queued\n", q.count);
        return -1;
    }
    // Delays beyond the signed 32-bit range count as due at once; queued as
    // such, so they do not sort behind calls due far in the future.
    if (delay > static_cast<uint32_t>(INT32_MAX)) delay = 0;
    DpcEntry e{sal_time_usecs() + delay, fn, owner, {a1, a2, a3, a4}};
    // Insert after every entry due no later, so equal times keep queue order.
    int pos = q.count;
    while (pos > 0 && static_cast<int32_t>(q.entries[pos - 1].due - e.due) > 0) {
        q.entries[pos] = q.entries[pos - 1];
        pos--;
    }
    q.entries[pos] = e;
    q.count++;
    pthread_cond_signal(&q.cond);
    return 0;
}

}  // namespace

int sal_core_init(void) {
    DpcQueue &q = queue();
    pthread_mutex_lock(&q.lock);
    Unlock u{&q.lock};
    if (q.started) return 0;
    if (sal_thread_create("dxpDPC", 16384, 0, dpc_thread, nullptr) == SAL_THREAD_ERROR) return -1;
    q.started = true;
    return 0;
}

int sal_dpc(sal_dpc_fn_t fn, void *owner, void *a1, void *a2, void *a3, void *a4) {
    return enqueue(0, fn, owner, a1, a2, a3, a4);
}

int sal_dpc_time(uint32_t usec, sal_dpc_fn_t fn, void *owner, void *a1, void *a2, void *a3,
                 void *a4) {
    return enqueue(usec, fn, owner, a1, a2, a3, a4);
}

void sal_dpc_cancel(void *owner) {
    DpcQueue &q = queue();
    pthread_mutex_lock(&q.lock);
    Unlock u{&q.lock};
    int kept = 0;
    for (int i = 0; i < q.count; i++) {
        if (q.entries[i].owner != owner) q.entries[kept++] = q.entries[i];
    }
    q.count = kept;
    pthread_cond_signal(&q.cond);
    // The owner may be freed once this returns, so a call of it still running
    // is waited for; not from inside that call, which would wait for itself.
    if (q.started && pthread_equal(q.thread, pthread_self())) return;
    while (q.running && q.running_owner == owner)
        sal_internal::cond_wait_until(&q.done, &q.lock, sal_internal::kForever);
}
