// SDK threads on detached POSIX threads. Priorities are recorded only: on the
// board the scheduler never sees the caller's number either.
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>

#include "sal.h"
#include "sal_internal.h"

struct sal_thread_s {
    std::string name;
    int os_priority = SAL_THREAD_PRIO_DEFAULT;
    pthread_t tid{};
    void (*entry)(void *) = nullptr;
    void *arg = nullptr;
    const sal_console_ops *console = nullptr;
    bool sdk = false;
    std::atomic<bool> destroy_requested{false};
};

namespace {

// glibc needs more stack than the board's 16 KB requests.
constexpr size_t kMinStack = 256 * 1024;

// Never destroyed: detached threads may still end while the process exits.
struct Registry {
    std::mutex lock;
    std::unordered_set<sal_thread_s *> live;
    sal_thread_t main_thread = nullptr;
};
Registry &registry() {
    static auto *r = new Registry;
    return *r;
}

thread_local sal_thread_s *self_record = nullptr;

bool has_service_prefix(const char *name) {
    for (const char *prefix : {"dxpDPC", "dxpRX", "dxpTX"}) {
        if (std::strncmp(name, prefix, std::strlen(prefix)) == 0) return true;
    }
    return false;
}

// Unregisters and frees the record when the thread ends by return, exit or
// cancellation.
struct ThreadRecordOwner {
    sal_thread_s *rec;
    ~ThreadRecordOwner() {
        int old;
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &old);
        {
            std::lock_guard<std::mutex> g(registry().lock);
            registry().live.erase(rec);
            if (registry().main_thread == rec) registry().main_thread = nullptr;
        }
        self_record = nullptr;
        delete rec;
    }
};

void *trampoline(void *p) {
    auto *rec = static_cast<sal_thread_s *>(p);
    ThreadRecordOwner owner{rec};
    self_record = rec;
    // The OS keeps 15 characters; top and gdb then show the firmware's names.
    char os_name[16];
    std::snprintf(os_name, sizeof os_name, "%s", rec->name.c_str());
    if (os_name[0] != '\0') pthread_setname_np(pthread_self(), os_name);
    sal_console_bind(rec->console);
    rec->entry(rec->arg);
    return nullptr;
}

}  // namespace

sal_thread_t sal_thread_create(const char *name, int stack_bytes, int prio, void (*entry)(void *),
                               void *arg) {
    (void)prio;
    if (entry == nullptr) return SAL_THREAD_ERROR;
    auto *rec = new (std::nothrow) sal_thread_s;
    if (rec == nullptr) return SAL_THREAD_ERROR;
    rec->name = name ? name : "";
    rec->os_priority =
        has_service_prefix(rec->name.c_str()) ? SAL_THREAD_PRIO_SERVICE : SAL_THREAD_PRIO_DEFAULT;
    rec->entry = entry;
    rec->arg = arg;
    rec->console = sal_console_bound();
    rec->sdk = true;

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    size_t stack = std::max(kMinStack, stack_bytes > 0 ? static_cast<size_t>(stack_bytes) : 0);
    pthread_attr_setstacksize(&attr, stack);

    // Registered before it starts, so that a destroy right after create finds it.
    std::unique_lock<std::mutex> g(registry().lock);
    registry().live.insert(rec);
    int rc = pthread_create(&rec->tid, &attr, trampoline, rec);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        registry().live.erase(rec);
        g.unlock();
        delete rec;
        return SAL_THREAD_ERROR;
    }
    return rec;
}

int sal_thread_destroy(sal_thread_t t) {
    if (t == nullptr || t == SAL_THREAD_ERROR) return -1;
    if (t == self_record) sal_thread_exit(0);
    {
        std::lock_guard<std::mutex> g(registry().lock);
        if (registry().live.count(t) == 0) return -1;
        // The thread stops at its next platform wait (semaphore, sleep,
        // deferred call queue); the record stays valid while it is in the
        // registry.
        t->destroy_requested.store(true);
    }
    // A thread already waiting is woken to stop now; t is only compared.
    sal_internal::wake_waits(t);
    return 0;
}

void sal_thread_exit(int code) {
    (void)code;
    pthread_exit(nullptr);
}

sal_thread_t sal_thread_self(void) {
    if (self_record == nullptr) {
        // A thread the platform did not start (the process's main thread, a
        // test's thread): give it a record of its own, kept for its lifetime.
        static thread_local sal_thread_s foreign;
        foreign.tid = pthread_self();
        return &foreign;
    }
    return self_record;
}

void sal_thread_yield(void) {
    sched_yield();
}

void sal_thread_main_set(sal_thread_t t) {
    std::lock_guard<std::mutex> g(registry().lock);
    registry().main_thread = t;
}

sal_thread_t sal_thread_main_get(void) {
    std::lock_guard<std::mutex> g(registry().lock);
    return registry().main_thread;
}

const char *sal_thread_name(sal_thread_t t, char *buf, size_t size) {
    if (buf == nullptr || size == 0) return buf;
    buf[0] = '\0';
    if (t == nullptr || t == SAL_THREAD_ERROR) return buf;
    std::lock_guard<std::mutex> g(registry().lock);
    if (t == sal_thread_self() || registry().live.count(t) != 0) {
        std::snprintf(buf, size, "%s", t->name.c_str());
    }
    return buf;
}

int sal_thread_os_priority(sal_thread_t t) {
    if (t == nullptr || t == SAL_THREAD_ERROR) return -1;
    std::lock_guard<std::mutex> g(registry().lock);
    if (t != sal_thread_self() && registry().live.count(t) == 0) return -1;
    return t->os_priority;
}

namespace sal_internal {
bool on_sdk_thread() {
    return self_record != nullptr;
}

void honour_destroy() {
    if (self_record != nullptr && self_record->destroy_requested.load()) pthread_exit(nullptr);
}
}  // namespace sal_internal
